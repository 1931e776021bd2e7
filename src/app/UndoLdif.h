#pragma once

// LDIF change records (RFC 2849) that put directory entries back as they were, for the undo
// files of an import. Every record ends with its blank line, so records concatenate in any order.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ldap/LdapClient.h"

namespace KvMigration {

// "name: value", or "name:: <Base64>" when the value is no safe LDIF string (anything outside
// printable ASCII, a leading blank, ':' or '<', a trailing blank), folded into lines of at most
// 76 characters whose continuations begin with one blank; ends with "\n".
std::string LdifLine(std::string_view name, std::string_view value);

// One attribute with the values it had before a change; none: it was absent.
using LdifAttribute = std::pair<std::string, std::vector<std::string>>;

// Deletes the entry that a change created.
std::string LdifDeleteRecord(const std::string& dn);

// Adds an entry back with the given attributes, in their order.
std::string LdifAddRecord(const std::string& dn, const std::vector<LdifAttribute>& attributes);

// Gives every listed attribute its earlier values back (a replace without values removes it);
// `controls` go with the request (the security-descriptor flags of the change it reverses).
std::string LdifRestoreRecord(const std::string& dn, const std::vector<LdifAttribute>& attributes,
                              const std::vector<LdapHelper::LdapControl>& controls);

// Moves an entry back to the name `rdn` under `parent` (the old RDN value is removed).
std::string LdifMoveRecord(const std::string& dn, const std::string& rdn,
                           const std::string& parent);

}  // namespace KvMigration
