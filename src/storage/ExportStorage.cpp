#include "storage/ExportStorage.h"

namespace KvMigration {

CLdapData& ExportStorage::Data(const MigrationContext& context) {
    if (!data_) {
        data_ = std::make_unique<CLdapData>(
            std::make_shared<CLdapStorage>(context.storage, context.serverSid), SchemaUse::Source);
        data_->KeepReads();
    }
    return *data_;
}

}  // namespace KvMigration
