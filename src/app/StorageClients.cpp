#include "app/StorageClients.h"

#include "app/DryRunClient.h"
#include "app/UndoFolder.h"
#include "app/UndoRecordingClient.h"
#include "platform/CodePage.h"

namespace KvMigration {

std::unique_ptr<LdapHelper::ILdapClient> MakeStorageClient(const InputParameters& parameters,
                                                           const MigrationJournalPtr& journal) {
    std::unique_ptr<LdapHelper::ILdapClient> client = LdapHelper::CreateOpenLdapClient();
    // A dry run changes nothing, so there is nothing to undo and no folder to make.
    if (!parameters.undoFolder.empty() && !parameters.dryRun) {
        client = std::make_unique<UndoRecordingClient>(
            std::move(client),
            UndoFolder::Of(journal, Platform::WideToUtf8(parameters.undoFolder)));
    }
    // Outermost, so that nothing below it (the undo files among them) sees a write at all.
    if (parameters.dryRun) {
        client = std::make_unique<DryRunLdapClient>(std::move(client), DryRunListing::Of(journal));
    }
    return client;
}

}  // namespace KvMigration
