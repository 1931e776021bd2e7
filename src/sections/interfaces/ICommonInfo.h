#pragma once

#include "helper/SchemaVersion.h"

namespace KvMigration {

// What the Common section of the file being imported says about its data.
class ICommonInfo {
public:
    // The schema version the file's data were written in; raises code 1 while the file has
    // given none.
    virtual SchemaVersion DataSchemaVersion() const = 0;
    virtual ~ICommonInfo() = default;
};

}  // namespace KvMigration
