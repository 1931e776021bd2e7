#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "helper/MigrationJournal.h"

namespace LdapHelper {
class session;
}

namespace KvMigration {

// The open directory connections of a run: the Active Directory session always, the two AD LDS
// sessions (security domain, global catalogue) only for an AD LDS storage.
struct StorageSession {
    std::shared_ptr<LdapHelper::session> adSession;
    bool isLds = false;
    std::shared_ptr<LdapHelper::session> ldsSession;
    std::shared_ptr<LdapHelper::session> ldsGcSession;
};

// Section numbers of the import keys: -policies, -server, -clients (the management server's
// client computers), -icheck, -users (the client objects).
inline constexpr int SectionPolicies = 0;
inline constexpr int SectionServer = 1;
inline constexpr int SectionClients = 2;
inline constexpr int SectionICheck = 4;
inline constexpr int SectionUsers = 5;

// What every exporter and importer learns about the run.
struct MigrationContext {
    StorageSession storage;
    std::wstring serverSid;
    std::set<int> sections;  // import only: the section numbers above
    bool forceImport = false;
    bool importPrivileges = false;
    bool kvPolicyPriority = true;
    // Import only: the directory is read but never written; the sessions drop every write.
    bool dryRun = false;
    // Never null in a pass; shared by every copy of the context.
    MigrationJournalPtr journal = std::make_shared<MigrationJournal>();
};

// Attributes of an element: qualified name -> value.
using Attributes = std::map<std::wstring, std::wstring>;

}  // namespace KvMigration
