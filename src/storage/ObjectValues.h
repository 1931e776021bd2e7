#pragma once

#include <string>
#include <utility>
#include <vector>

#include "helper/CValue.h"
#include "storage/LdapSchema.h"

namespace KvMigration {

// What the facade hands to the storage writer: the object's kind (through its schema), its
// identifier, and the values to write in the order they were collected. The attributes are the
// schema's own objects, so a later ApplyVersion renames them here too.
struct CObjectValues {
    ObjectSchemaPtr schema;
    std::wstring id;
    std::vector<std::pair<AttributePtr, CValue>> values;
};

}  // namespace KvMigration
