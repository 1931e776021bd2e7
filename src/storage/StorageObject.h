#pragma once

#include <map>
#include <memory>
#include <string>

#include "helper/ObjectData.h"

namespace LdapHelper {
class object;
}

namespace KvMigration {

// One product object found in the storage, completed from Active Directory.
struct CLdapObject {
    std::shared_ptr<LdapHelper::object> entry;  // kept for reading further attributes
    std::wstring canonicalName;
    std::wstring name;  // `name` for containers, `dNSHostName` for servers and services
    std::wstring id;
    bool objectMigrated = false;
    bool policyMigrated = false;
};
using LdapObjectPtr = std::shared_ptr<CLdapObject>;

// The marks an import leaves in an object's description.
struct MigrationMarks {
    bool objectMigrated = false;
    bool policyMigrated = false;
};
MigrationMarks ReadMigrationMarks(const std::wstring& description);

}  // namespace KvMigration
