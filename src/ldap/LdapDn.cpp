#include <ldap.h>

#include "ldap/LdapClient.h"

namespace LdapHelper {
namespace {

// A blank preceded by an odd number of backslashes is part of the value.
bool IsEscaped(const std::string& text, size_t at) {
    size_t backslashes = 0;
    while (at > backslashes && text[at - backslashes - 1] == '\\') {
        ++backslashes;
    }
    return backslashes % 2 == 1;
}

// The first relative name as it stands, without the unescaped blanks around it, and the text
// after the separator that ends it (empty when none does).
bool TakeFirstRdn(const std::string& dn, std::string& rdn, std::string& rest) {
    std::string copy = dn;
    berval input{static_cast<ber_len_t>(copy.size()), copy.data()};
    LDAPRDN parsed = nullptr;
    char* next = nullptr;
    // LDAP_DN_FORMAT_LDAP also takes the older syntax, in which ';' separates names as ',' does.
    if (ldap_bv2rdn(&input, &parsed, &next, LDAP_DN_FORMAT_LDAP) != LDAP_SUCCESS) {
        return false;
    }
    ldap_rdnfree(parsed);
    size_t end = next ? static_cast<size_t>(next - copy.data()) : copy.size();
    if (end > copy.size()) {
        end = copy.size();
    }
    size_t begin = dn.find_first_not_of(' ');
    if (begin == std::string::npos || begin > end) {
        begin = end;
    }
    size_t last = end;
    while (last > begin && dn[last - 1] == ' ' && !IsEscaped(dn, last - 1)) {
        --last;
    }
    rdn = dn.substr(begin, last - begin);
    rest.clear();
    if (end < dn.size() && (dn[end] == ',' || dn[end] == ';')) {
        size_t start = dn.find_first_not_of(' ', end + 1);
        if (start != std::string::npos) {
            rest = dn.substr(start);
        }
    }
    return true;
}

}  // namespace

bool SplitFirstRdn(const std::string& dn, std::string& rdn, std::string& parent) {
    rdn.clear();
    parent.clear();
    std::string rest;
    if (dn.empty() || !TakeFirstRdn(dn, rdn, rest)) {
        rdn.clear();
        return false;
    }
    // Servers that follow RFC 4514, Samba among them, take only ',' between the names of a DN.
    std::string remaining = rest;
    while (!remaining.empty()) {
        std::string name;
        std::string next;
        if (!TakeFirstRdn(remaining, name, next)) {
            parent = rest;  // the server's own error is the clearer one
            return true;
        }
        parent += (parent.empty() ? "" : ",") + name;
        remaining = next;
    }
    return true;
}

}  // namespace LdapHelper
