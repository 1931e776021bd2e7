#include "app/StorageClients.h"

    #include "app/DryRunClient.h"

    namespace KvMigration {

    std::unique_ptr<LdapHelper::ILdapClient> MakeStorageClient(const InputParameters& parameters,
                                                               const MigrationJournalPtr& journal) {
        std::unique_ptr<LdapHelper::ILdapClient> client = LdapHelper::CreateOpenLdapClient();
        // Outermost, so that nothing below it (the undo files among them) sees a write at all.
        if (parameters.dryRun) {
            client = std::make_unique<DryRunLdapClient>(std::move(client), DryRunListing::Of(journal));
        }
        return client;
    }

    }  // namespace KvMigration
    