#pragma once

#include <string>

#include "ldap/LdapHelper.h"

namespace KvMigration {

// The directory session of a client pass with the client base DN every client query and every
// created client object is rooted at.
class CLdapSession {
public:
    // Stores the session; the base DN becomes the domain of the management server's security
    // domain (find_lds_domain) when `lds` is set, else the session's default naming context.
    void Initialize(LdapHelper::session_ptr session, const std::wstring& omsId, bool lds);

    // Empty until initialised.
    const std::wstring& BaseDn() const { return baseDn_; }
    // Raises when the wrapper holds no session yet.
    LdapHelper::session& Session() const;
    bool HasSession() const { return session_ != nullptr; }

private:
    LdapHelper::session_ptr session_;
    std::wstring baseDn_;
};

// The DN from the first "DC=" of the one management server (orvexKVOMS) named omsId, found by a
// subtree search from the wrapper's base DN (empty: the default naming context). None or more than
// one: code 1210; no "DC=" in its distinguishedName: code 1212.
std::wstring find_lds_domain(const CLdapSession& wrapper, const std::wstring& omsId);

// A text as the value of a relative distinguished name (RFC 4514): a name from the migration file
// then names exactly one entry directly below the base it is put in front of, whatever it holds.
std::wstring EscapeRdnValue(const std::wstring& value);

}  // namespace KvMigration
