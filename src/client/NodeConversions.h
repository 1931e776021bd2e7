#pragma once

#include "client/NodeHolder.h"
#include "ldap/LdapHelper.h"
#include "xml/Exporter.h"

namespace KvMigration {

// Directory object into record (export). Failures raise the error object naming "operator >>"
// (or "getblob"); the record may then hold part of the object.
void operator>>(const LdapHelper::object& object, CUserNodeHolder& record);
void operator>>(const LdapHelper::object& object, CElidNodeHolder& record);
void operator>>(const LdapHelper::object& object, CGlobalNodeHolder& record);

// Record into directory object (import): stages changes for the caller to commit, each product
// attribute only when the record holds it, and "description" = "objectMigrated". A failure
// half-way leaves the changes staged so far.
void operator<<(LdapHelper::object& object, const CUserNodeHolder& record);
void operator<<(LdapHelper::object& object, const CElidNodeHolder& record);
void operator<<(LdapHelper::object& object, const CGlobalNodeHolder& record);

// Record into the section writer: one element named by the class name, one attribute per map
// entry in map order, the name as its text. A record the file could not hold (a value longer than
// the reader takes) is refused before anything of it is written.
void operator<<(ISaxWriter& writer, const CNodeHolder& record);

inline constexpr wchar_t MigratedMark[] = L"objectMigrated";

}  // namespace KvMigration
