#include "app/StorageClients.h"

#include "app/DryRunClient.h"
#include "app/UndoFolder.h"
#include "app/UndoRecordingClient.h"
#include "helper/ConsoleOutput.h"
#include "platform/CodePage.h"

namespace KvMigration {

StorageClients::StorageClients(const InputParameters& parameters,
                               const MigrationJournalPtr& journal) {
    if (parameters.dryRun) {
        listing_ = std::make_shared<DryRunListing>(
            journal, [](std::wstring_view line) { PrintMessage(line); });
    } else if (!parameters.undoFolder.empty()) {
        undo_ = std::make_shared<UndoFolder>(Platform::WideToUtf8(parameters.undoFolder));
    }
}

std::unique_ptr<LdapHelper::ILdapClient> StorageClients::Make() const {
    std::unique_ptr<LdapHelper::ILdapClient> client = LdapHelper::CreateOpenLdapClient();
    if (undo_) {
        client = std::make_unique<UndoRecordingClient>(std::move(client), undo_);
    }
    // Outermost, so that nothing below it (the undo files among them) sees a write at all.
    if (listing_) {
        client = std::make_unique<DryRunLdapClient>(std::move(client), listing_);
    }
    return client;
}

}  // namespace KvMigration
