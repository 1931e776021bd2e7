#include <ldap.h>

#include "ldap/LdapClient.h"

namespace LdapHelper {

bool SplitFirstRdn(const std::string& dn, std::string& rdn, std::string& parent) {
    rdn.clear();
    parent.clear();
    if (dn.empty()) {
        return false;
    }
    std::string copy = dn;
    berval input{static_cast<ber_len_t>(copy.size()), copy.data()};
    LDAPRDN parsed = nullptr;
    char* next = nullptr;
    if (ldap_bv2rdn(&input, &parsed, &next, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) {
        return false;
    }
    ldap_rdnfree(parsed);
    size_t end = next ? static_cast<size_t>(next - copy.data()) : copy.size();
    if (end > copy.size()) {
        end = copy.size();
    }
    rdn = dn.substr(0, end);
    while (!rdn.empty() && rdn.back() == ' ') {
        rdn.pop_back();
    }
    size_t comma = dn.find_first_of(",;", end);
    if (comma != std::string::npos) {
        size_t start = dn.find_first_not_of(' ', comma + 1);
        parent = start == std::string::npos ? std::string() : dn.substr(start);
    }
    return true;
}

}  // namespace LdapHelper
