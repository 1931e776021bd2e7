#pragma once

#include <string>

#include "helper/CValue.h"
#include "ldap/AttrValue.h"
#include "storage/LdapSchema.h"

namespace KvMigration {

// The text a directory value travels as in the migration file. MultiString raises code 13 (such
// attributes are read as lists); an unknown type raises code 87.
std::wstring StringFromLdapValue(AttributeType type, const LdapHelper::attr_value& values);

// The directory value of a text from the migration file. Every type but MultiString takes the
// value's single text; an unknown type raises code 87.
LdapHelper::attr_value AttributeToLdapValue(AttributeType type, const CValue& value);

// The first value of an attribute as text (UTF-8 decoded), empty when there is none.
std::wstring FirstText(const LdapHelper::attr_value& values);

}  // namespace KvMigration
