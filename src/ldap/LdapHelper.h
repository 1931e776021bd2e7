#pragma once

// The directory access library: the only code of the program that talks LDAP.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ldap/AttrValue.h"
#include "ldap/LdapHooks.h"
#include "ldap/SecurityDescriptor.h"
#include "platform/Guid.h"

namespace LdapHelper {

// Connection parameters; `context_dn` is only stored and handed back through `server`.
struct server_cfg {
    std::wstring host;
    int32_t port = 389;
    int32_t ssl_port = 636;
    std::wstring context_dn;
};

class session;

// A directory entry read from the server or created in memory, with staged changes. Must not
// outlive the session that produced it.
class object {
public:
    virtual ~object() = default;
    virtual session* get_session() const = 0;
    // The pending change for the name, else the value read, else the empty value.
    virtual attr_value get_attr(const wchar_t* name) const = 0;
    // Stages a change; nothing reaches the server before `commit`.
    virtual void set_attr(const wchar_t* name, const attr_value& value) = 0;
    // Stages the removal of the attribute.
    virtual void remove_attr(const wchar_t* name) = 0;
    // Sends the pending changes as one add (new object) or modify request.
    virtual void commit() = 0;
    virtual bool is_new() const = 0;
    // True when neither a pending change nor a read value (even an empty one) exists.
    virtual bool is_absent(const wchar_t* name) const = 0;
    virtual bool is_modified() const = 0;
    virtual std::wstring dn() const = 0;
    // The "nTSecurityDescriptor" value in absolute form.
    virtual security_descriptor get_sd() const = 0;
    // Stages the descriptor; non-zero flags attach the security-descriptor-flags control to
    // every later commit.
    virtual void set_sd(const security_descriptor& sd, uint32_t flags) = 0;

    attr_value get_attr(const std::wstring& name) const { return get_attr(name.c_str()); }
    void set_attr(const std::wstring& name, const attr_value& value) {
        set_attr(name.c_str(), value);
    }
    void remove_attr(const std::wstring& name) { remove_attr(name.c_str()); }
    bool is_absent(const std::wstring& name) const { return is_absent(name.c_str()); }
};

using object_ptr = std::shared_ptr<object>;
// Objects in the order the server returned the entries.
using object_list = std::vector<object_ptr>;
// Attribute name -> filter text, ordered by code unit (case-sensitive).
using conditions = std::map<std::wstring, std::wstring>;

inline constexpr int32_t SCOPE_BASE = 0;
inline constexpr int32_t SCOPE_ONELEVEL = 1;
inline constexpr int32_t SCOPE_SUBTREE = 2;

// A search request. An empty base is the session's default naming context; "*" the root DSE.
struct query {
    query(const wchar_t* base, int32_t scope, const wchar_t* filter);
    query(const std::wstring& base, int32_t scope, const std::wstring& filter);
    // The filter built from the conditions: "(objectClass=*)" for none, "(name=text)" for one,
    // "(&(a=x)(b=y))" for more, in map order. Names are not escaped; values are expected to
    // come through filter_value.
    query(const wchar_t* base, int32_t scope, const conditions& terms);
    query(const std::wstring& base, int32_t scope, const conditions& terms);

    std::wstring base;
    int32_t scope = SCOPE_SUBTREE;
    std::wstring filter;
};

// The text for a filter value; with `escape` the filter's special characters become "\xx".
// A null text gives an empty string.
std::wstring filter_value(const wchar_t* text, bool escape);
std::wstring filter_value(const std::wstring& text, bool escape);
// 16 raw bytes (a GUID) as a filter value: every byte as "\xx".
std::wstring escape_filter_bytes(const uint8_t* bytes);
std::wstring escape_filter_bytes(const Platform::Guid& guid);

// An open, bound connection. Every failure leaves through the hooks, that is as an exception.
class session {
public:
    virtual ~session() = default;
    // A new object that exists only in memory until its first commit.
    virtual object_ptr add_object(const wchar_t* dn, const wchar_t* object_class) = 0;
    // The entry at the DN (null: the root DSE), or null when there is none.
    virtual object_ptr open_object(const wchar_t* dn, const attr_list& attrs) = 0;
    // A plain search, paged when the server refuses it for its size. A missing base, a
    // referral or an operations error give an empty list.
    virtual object_list search(const query& q, const attr_list& attrs) = 0;
    // Directory synchronisation; `cookie` is read and replaced with the newest cookie.
    virtual object_list dirsync_search(const query& q, const attr_list& attrs,
                                       std::vector<uint8_t>& cookie) = 0;
    // Deletes the entry with its whole subtree.
    virtual void remove_object(const wchar_t* dn) = 0;
    // Renames and, when the parent differs, moves the entry.
    virtual void rename_object(const wchar_t* old_dn, const wchar_t* new_dn) = 0;
    virtual std::wstring default_naming_context() const = 0;
    virtual server_cfg server() const = 0;
    // "Server: 'host:port' User: 'name' Error: text (0xNN)." in the locale's code set.
    virtual std::string error_text(uint32_t code) const = 0;
    // lDAPDisplayName -> schemaIDGUID; names without a match are missing.
    virtual std::map<std::wstring, Platform::Guid> schema_guids(const attr_list& names) = 0;
};

using session_ptr = std::shared_ptr<session>;

// Opens and binds a session. With `use_ssl` the connection is LDAPS on `ssl_port`; otherwise
// StartTLS on `port` protects a password. Without a user the caller's Kerberos ticket is used.
// `connect_timeout` is in seconds, -1 for none.
session_ptr open_session(const server_cfg& cfg, bool use_ssl, const wchar_t* user,
                         const wchar_t* password, int32_t connect_timeout = -1);

// The domain controller of the domain (null: the local computer's domain) from the DNS SRV
// records "_ldap._tcp.dc._msdcs.<domain>"; failure code 1355 (ERROR_NO_SUCH_DOMAIN).
server_cfg get_ADDC_server(const wchar_t* domain, bool force_rediscovery);

// The SRV record name that get_ADDC_server looks up for `domain` (null: the local computer's
// domain, "domain" or the first "search" entry of resolv.conf, or LOCALDOMAIN); empty when the
// local computer has no domain to look in. For messages that tell an administrator what failed.
std::wstring dc_locator_record(const wchar_t* domain);

// The account the process acts as: the default Kerberos principal, else the login name.
// Returns 0 or an error code (errno).
uint32_t GetCurUserName(std::wstring& name);

}  // namespace LdapHelper
