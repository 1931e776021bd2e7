#include "app/StorageClients.h"

namespace KvMigration {

std::unique_ptr<LdapHelper::ILdapClient> MakeStorageClient(const InputParameters&,
                                                           const MigrationJournalPtr&) {
    return LdapHelper::CreateOpenLdapClient();
}

}  // namespace KvMigration
