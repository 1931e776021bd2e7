#pragma once

#include <map>
#include <memory>
#include <string>

#include "helper/CValue.h"
#include "helper/ObjectText.h"

namespace KvMigration {

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

}  // namespace KvMigration
