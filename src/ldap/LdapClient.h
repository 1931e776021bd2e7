#pragma once

// The narrow interface to the LDAP client library. Everything above it is written against this
// interface; OpenLdapClient implements it over libldap, the tests script it.
// Result codes use the numbering of the Windows LDAP API (LDAP_SERVER_DOWN 0x51 ...
// LDAP_REFERRAL_LIMIT_EXCEEDED 0x61), which the library's texts and decisions are written in.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace LdapHelper {

inline constexpr int LDAP_RC_SUCCESS = 0x00;
inline constexpr int LDAP_RC_OPERATIONS_ERROR = 0x01;
inline constexpr int LDAP_RC_SIZELIMIT_EXCEEDED = 0x04;
inline constexpr int LDAP_RC_REFERRAL = 0x0a;
inline constexpr int LDAP_RC_NO_SUCH_OBJECT = 0x20;
inline constexpr int LDAP_RC_INVALID_DN_SYNTAX = 0x22;
inline constexpr int LDAP_RC_INVALID_CREDENTIALS = 0x31;
inline constexpr int LDAP_RC_INSUFFICIENT_RIGHTS = 0x32;
inline constexpr int LDAP_RC_SERVER_DOWN = 0x51;
inline constexpr int LDAP_RC_LOCAL_ERROR = 0x52;
inline constexpr int LDAP_RC_TIMEOUT = 0x55;
inline constexpr int LDAP_RC_PARAM_ERROR = 0x59;
inline constexpr int LDAP_RC_NO_MEMORY = 0x5a;
inline constexpr int LDAP_RC_CONNECT_ERROR = 0x5b;
inline constexpr int LDAP_RC_NOT_SUPPORTED = 0x5c;
inline constexpr int LDAP_RC_NO_RESULTS_RETURNED = 0x5e;

// Option numbers of the Windows LDAP API.
inline constexpr int LDAP_OPTION_REFERRALS = 0x08;
inline constexpr int LDAP_OPTION_SSL = 0x0a;
inline constexpr int LDAP_OPTION_PROTOCOL_VERSION = 0x11;
inline constexpr int LDAP_OPTION_ENCRYPT = 0x96;
inline constexpr int LDAP_CHASE_EXTERNAL = 0x40;

inline constexpr int LDAP_MODOP_ADD = 0x00;
inline constexpr int LDAP_MODOP_DELETE = 0x01;
inline constexpr int LDAP_MODOP_REPLACE = 0x02;
inline constexpr int LDAP_MODOP_BVALUES = 0x80;

struct LdapControl {
    std::string oid;
    std::optional<std::string> value;
    bool critical = false;
    friend bool operator==(const LdapControl&, const LdapControl&) = default;
};

struct LdapEntryData {
    std::string dn;
    // Attribute names as the server returned them, each with its values.
    std::vector<std::pair<std::string, std::vector<std::string>>> attributes;
};

struct SearchRequest {
    std::optional<std::string> base;  // none: the root DSE (null base)
    int scope = 0;
    std::string filter;
    std::vector<std::string> attributes;  // empty: all user attributes
    std::vector<LdapControl> server_controls;
    int timeout_seconds = 0;     // client-side wait, 0 for none
    int time_limit_seconds = 0;  // server-side limit, 0 for none
    // The simple paged results control (RFC 2696) sent with the request when set.
    std::optional<uint32_t> page_size;
    std::string page_cookie;
};

struct SearchResult {
    int result_code = 0;                 // the server's result code (Windows numbering)
    std::vector<LdapEntryData> entries;  // search references are not entries
    std::vector<LdapControl> controls;   // response controls
    std::string page_cookie;             // from the paged results response; empty at the end
    int page_total = 0;
};

struct ClientTimeouts {
    // Connection set-up, StartTLS, binds, and searches that name no wait of their own; 0: none.
    int handshake_seconds = 0;
    // Adds, modifications, deletes and renames; 0: the handshake bound.
    int write_seconds = 0;
};

struct LdapModification {
    int op = LDAP_MODOP_REPLACE | LDAP_MODOP_BVALUES;
    std::string type;
    std::vector<std::string> values;  // empty: no values (a replace removes the attribute)
    friend bool operator==(const LdapModification&, const LdapModification&) = default;
};

class ILdapClient {
public:
    virtual ~ILdapClient() = default;

    // Creates the connection handle ("ldap://" or "ldaps://"); no traffic yet.
    virtual int init(const std::string& host, int port, bool ssl) = 0;
    // Bounds the waits for the server from here on.
    virtual int set_timeouts(const ClientTimeouts& timeouts) = 0;
    virtual int set_option(int option, int value) = 0;
    virtual int get_option(int option, int& value) = 0;
    // Opens the TCP (and, for LDAPS, TLS) connection; -1: no connect time-out.
    virtual int connect(int timeout_seconds) = 0;
    // The host the handle is connected to; empty when unknown.
    virtual std::string host_name() const = 0;
    virtual int start_tls() = 0;
    virtual bool tls_active() const = 0;
    // Simple bind with the login as typed (a DN, user@domain or DOMAIN\user).
    virtual int simple_bind(const std::string& login, const std::string& password) = 0;
    // SASL GSS-SPNEGO (else GSSAPI) with the caller's Kerberos ticket; `security_layer` asks for
    // a SASL security layer of at least 56 bits, otherwise none is negotiated.
    virtual int kerberos_bind(bool security_layer) = 0;
    // Returns a client-side failure (no result arrived), else 0 with the server's code in
    // `result.result_code`.
    virtual int search(const SearchRequest& request, SearchResult& result) = 0;
    virtual int add(const std::string& dn, const std::vector<LdapModification>& mods,
                    const std::vector<LdapControl>& controls) = 0;
    virtual int modify(const std::string& dn, const std::vector<LdapModification>& mods,
                       const std::vector<LdapControl>& controls) = 0;
    virtual int remove(const std::string& dn, const std::vector<LdapControl>& controls) = 0;
    virtual int rename(const std::string& dn, const std::string& new_rdn,
                       const std::string& new_parent, bool delete_old_rdn,
                       const std::vector<LdapControl>& controls) = 0;
    // The last result code on this connection (LdapGetLastError).
    virtual int last_error() const = 0;
    virtual int unbind() = 0;
};

std::unique_ptr<ILdapClient> CreateOpenLdapClient();

// The client library's text for a result code (ldap_err2string).
std::string LdapErrorString(int code);
// The Windows error code closest to an LDAP result code (the published MS-ERREF table).
uint32_t LdapMapErrorToWin32(uint32_t code);
// A libldap result code in the Windows numbering.
int FromOpenLdapCode(int code);

// Splits a DN after its first relative name (DsGetRdnW over ldap_bv2rdn), at a ',' or, as in the
// older DN syntax, a ';'; false when the DN does not parse. `rdn` keeps the type and value
// exactly as they stand in the DN, without the blanks around them that are not escaped;
// `parent` holds the names that follow, each as it stands, with ',' between them.
bool SplitFirstRdn(const std::string& dn, std::string& rdn, std::string& parent);

// BER values of the controls; 0 on success, else E_OUTOFMEMORY or E_FAIL (ber_flatten).
uint32_t BerEncodeFlags(int flags, std::string& value);  // "{i}"
uint32_t BerEncodeDirsync(int flags, int max_bytes, const std::string& cookie,
                          std::string& value);  // "{iio}"
// The simple paged results control (RFC 2696): "{io}" of the page size and the cookie.
uint32_t BerEncodePage(uint32_t size, const std::string& cookie, std::string& value);
// Reads "{iiO}"; false when the value does not decode.
bool BerDecodeDirsync(const std::string& value, int& more, std::string& cookie);

}  // namespace LdapHelper
