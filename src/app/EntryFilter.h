#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ldap/LdapClient.h"

namespace KvMigration {

// Whether an entry held in memory answers a search filter in the LDAP text form (RFC 4515):
// "&", "|", "!", equality, presence and substrings, with "\XX" escapes. Attribute names and
// values compare without regard to ASCII case, as the directory's string syntaxes do. A filter
// that does not parse, or uses an ordering or approximate match, matches nothing: an entry is
// never taken for one the directory would not return.
bool MatchesFilter(const std::string& filter, const LdapHelper::LdapEntryData& entry);

// An equality assertion every entry the filter matches must satisfy (the filter itself, or one
// item of its top-level "&"), folded and unescaped; one on another attribute than the class or
// category is preferred. nullopt when the filter has none.
struct Equality {
    std::string attribute;
    std::string value;
};
std::optional<Equality> RequiredEquality(const std::string& filter);

// The text (a DN, a name, a value) in the form the comparisons here use: ASCII letters lowered
// and every other byte as it is, whatever the locale, since the text is UTF-8 or binary.
std::string FoldText(const std::string& text);

// Whether two names are equal without regard to ASCII case, as FoldText compares them.
bool SameText(std::string_view a, std::string_view b);

// Whether the folded `dn` is the folded `top` or an entry below it.
bool DnAtOrBelow(const std::string& dn, const std::string& top);

}  // namespace KvMigration
