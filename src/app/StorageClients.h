#pragma once

#include <memory>

#include "app/InputParameters.h"
#include "helper/MigrationJournal.h"
#include "ldap/LdapClient.h"

namespace KvMigration {

// The client library connection of every storage session of the run. The keys that guard an
// import wrap it here: the dry run drops its writes, the undo files record what each write
// changes before it is sent.
std::unique_ptr<LdapHelper::ILdapClient> MakeStorageClient(const InputParameters& parameters,
                                                           const MigrationJournalPtr& journal);

}  // namespace KvMigration
