#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

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

// What every exporter and importer learns about the run.
struct MigrationContext {
    StorageSession storage;
    std::wstring serverSid;
    std::set<int> sections;  // import only
    bool forceImport = false;
    bool importPrivileges = false;
    bool kvPolicyPriority = true;
};

// Attributes of an element: qualified name -> value.
using Attributes = std::map<std::wstring, std::wstring>;

}  // namespace KvMigration
