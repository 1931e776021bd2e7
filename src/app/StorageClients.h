#pragma once

#include <memory>

#include "app/InputParameters.h"
#include "helper/MigrationJournal.h"
#include "ldap/LdapClient.h"

namespace KvMigration {

class DryRunListing;
class UndoFolder;

// The client library connections of every storage session of one run. The keys that guard an
// import wrap them here: the dry run drops their writes into one listing, the undo files record
// what each write changes, before it is sent, in one folder. The sessions of the run share both.
class StorageClients {
public:
    // Every client is the library's own.
    StorageClients() = default;
    // Makes the undo folder of "-undo" and raises as UndoFolder does; a dry run makes none.
    StorageClients(const InputParameters& parameters, const MigrationJournalPtr& journal);

    std::unique_ptr<LdapHelper::ILdapClient> Make() const;

    // Null without "-undo", and in a dry run, which changes nothing.
    const std::shared_ptr<UndoFolder>& Undo() const { return undo_; }

private:
    std::shared_ptr<UndoFolder> undo_;
    std::shared_ptr<DryRunListing> listing_;
};

}  // namespace KvMigration
