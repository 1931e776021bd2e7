#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/helper/CValue.h"
#include "app/helper/ObjectText.h"

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

// The exchange record of one object between the storage and the migration file.
struct CObjectData {
    ObjectKind kind = KindPolicy;
    std::wstring id;
    std::wstring name;
    std::wstring canonicalName;
    std::map<std::wstring, CValue> attributes;
    bool objectMigrated = false;
    bool policyMigrated = false;
};
using ObjectDataPtr = std::shared_ptr<CObjectData>;
using ObjectDataMap = std::map<std::wstring, ObjectDataPtr>;

// The marks an import leaves in an object's description.
struct MigrationMarks {
    bool objectMigrated = false;
    bool policyMigrated = false;
};
MigrationMarks ReadMigrationMarks(const std::wstring& description);

}  // namespace KvMigration
