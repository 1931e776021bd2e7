#pragma once

#include <string>

#include "ldap/LdapClient.h"

namespace KvMigration {

// Whether an entry held in memory answers a search filter in the LDAP text form (RFC 4515):
// "&", "|", "!", equality, presence and substrings, with "\XX" escapes. Attribute names and
// values compare without regard to ASCII case, as the directory's string syntaxes do. A filter
// that does not parse, or uses an ordering or approximate match, matches nothing: an entry is
// never taken for one the directory would not return.
bool MatchesFilter(const std::string& filter, const LdapHelper::LdapEntryData& entry);

// The DN in the form the comparisons below use: ASCII letters lowered.
std::string FoldDn(const std::string& dn);

// Whether the folded `dn` is the folded `top` or an entry below it.
bool DnAtOrBelow(const std::string& dn, const std::string& top);

}  // namespace KvMigration
