#pragma once

#include <memory>

#include "helper/MigrationContext.h"
#include "storage/LdapData.h"

namespace KvMigration {

// The source storage as the sections of one export pass see it: discovered once, on first use,
// and each kind of object read once; every section gets its own copies of the records. Without
// it each section would discover the storage and read the services anew.
class ExportStorage {
public:
    // The facade over the context's storage and server SID (made on the first call).
    CLdapData& Data(const MigrationContext& context);

private:
    std::unique_ptr<CLdapData> data_;
};
using ExportStoragePtr = std::shared_ptr<ExportStorage>;

}  // namespace KvMigration
