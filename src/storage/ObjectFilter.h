#pragma once

#include <string>

#include "ldap/LdapHelper.h"
#include "storage/LdapSchema.h"

namespace KvMigration {

// The filter that finds objects of a kind in the product storage: the class term, the identifier
// term (none for an empty identifier) and, for servers and services, the term that keeps only the
// management server being migrated and its agents. Identifiers come from migration files and the
// server SID from the command line, so both are escaped as filter values; a GUID key is matched
// by its bytes (a malformed GUID text raises code 13).
std::wstring ObjectFilter(const CObjectSchema& schema, const std::wstring& id,
                          const std::wstring& serverSid);

// The one condition that finds the Active Directory object of a product object: `objectSid` for
// servers and services, `objectGUID` for policies and containers.
LdapHelper::conditions AdFilter(ObjectKind kind, const std::wstring& id);

// The searched attribute list without repetitions, in first-seen order.
void AddAttribute(LdapHelper::attr_list& list, const std::wstring& name);

}  // namespace KvMigration
