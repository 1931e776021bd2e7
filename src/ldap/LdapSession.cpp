#include "ldap/LdapSession.h"

#include <algorithm>
#include <cwchar>

#include "ldap/LdapObject.h"
#include "ldap/LdapTrace.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"

namespace LdapHelper {

using detail::kSourceFile;
using detail::trace_error;
using detail::trace_info;

namespace {

constexpr std::wstring_view kLdapHelperKey =
    L"HKEY_LOCAL_MACHINE\\Software\\Orvex\\Korvant 5\\LdapHelper";
constexpr uint32_t kDefaultSearchTimeout = 60;
// Writes are not bounded by the search time-out: a tree delete or a large modification can take
// a slow server minutes, and a write given up on may still be carried out. A longer search
// time-out raises it.
constexpr uint32_t kWriteTimeoutSeconds = 10 * 60;

bool HasText(const wchar_t* text) {
    return text != nullptr && *text != L'\0';
}

const char* OptionName(int option) {
    switch (option) {
        case LDAP_OPTION_PROTOCOL_VERSION:
            return "LDAP_OPT_PROTOCOL_VERSION";
        case LDAP_OPTION_REFERRALS:
            return "LDAP_OPT_REFERRALS";
        case LDAP_OPTION_SSL:
            return "LDAP_OPT_SSL";
        case LDAP_OPTION_ENCRYPT:
            return "LDAP_OPT_ENCRYPT";
        default:
            return "";
    }
}

}  // namespace

LdapSession::LdapSession(std::unique_ptr<ILdapClient> client) : client_(std::move(client)) {}

LdapSession::~LdapSession() {
    if (!open_) {
        return;
    }
    trace_info(L"Close session with '%ls:%d'", cfg_.host.c_str(), active_port());
    int rc = client_->unbind();
    if (rc != 0) {
        trace_info(L"ldap_unbind returned: %d", rc);
    }
}

std::string LdapSession::error_text(uint32_t code) const {
    wchar_t text[2048];
    int written = std::swprintf(text, 2048, L"Server: '%ls:%d' User: '%ls' Error: %s (0x%.2X).",
                                cfg_.host.c_str(), active_port(), user_display_.c_str(),
                                LdapErrorString(static_cast<int>(code)).c_str(), code);
    if (written < 0) {
        // Only a host or user name of thousands of characters gets here.
        return "Server: '?' Error: " + LdapErrorString(static_cast<int>(code));
    }
    return Platform::WideToAnsi(text);
}

void LdapSession::fail(const wchar_t* traceFormat, int code, int32_t line) {
    trace_error(traceFormat, code, LdapErrorString(code).c_str());
    report_failure(static_cast<uint32_t>(code), error_text(static_cast<uint32_t>(code)),
                   kSourceFile, line);
}

void LdapSession::open(const server_cfg& cfg, bool use_ssl, const wchar_t* user,
                       const wchar_t* password, int32_t connect_timeout) {
    cfg_ = cfg;
    use_ssl_ = use_ssl;
    if (!reconnecting_) {
        user_ = user != nullptr ? user : L"";
        password_ = password != nullptr ? password : L"";
        connect_timeout_ = connect_timeout;
    }
    try {
        if (client_->init(Platform::WideToUtf8(cfg.host), active_port(), use_ssl) != 0) {
            int code = client_->last_error();
            std::string text = LdapErrorString(code);
            trace_error(
                use_ssl ? L"ldap_sslinit returned: %08X %s" : L"ldap_init returned: %08X %s", code,
                text.c_str());
            report_failure(static_cast<uint32_t>(code), text, kSourceFile, __LINE__);
        }
        open_ = true;

        if (HasText(user)) {
            user_display_ = user;
        } else if (uint32_t rc = GetCurUserName(user_display_); rc != 0) {
            trace_error(L"Can't get current user name. Error: %08X", rc);
            user_display_.clear();
        }

        auto registry = Platform::OpenSystemRegistry();
        search_timeout_ =
            registry->GetDword(kLdapHelperKey, L"SearchTimeout").value_or(kDefaultSearchTimeout);
        // The search time-out also bounds the handshake, a short exchange in any case.
        client_->set_timeouts({static_cast<int>(search_timeout_),
                               static_cast<int>(std::max(search_timeout_, kWriteTimeoutSeconds))});

        trace_info(L"Try open session to '%ls:%d'; User: %ls Password: %ls)", cfg_.host.c_str(),
                   active_port(), HasText(user) ? user : L"<NULL>",
                   HasText(password) ? L"<present>" : L"<NULL>");

        auto set = [this](int option, int value) {
            if (int rc = client_->set_option(option, value); rc != 0) {
                trace_error(L"ldap_set_option %d(%s) returned error: %08X %s", option,
                            OptionName(option), rc, LdapErrorString(rc).c_str());
                report_failure(static_cast<uint32_t>(rc), error_text(static_cast<uint32_t>(rc)),
                               kSourceFile, __LINE__);
            }
        };
        set(LDAP_OPTION_PROTOCOL_VERSION, 3);
        set(LDAP_OPTION_REFERRALS, LDAP_CHASE_EXTERNAL);
        if (use_ssl) {
            int value = 0;
            if (int rc = client_->get_option(LDAP_OPTION_SSL, value); rc != 0) {
                trace_error(L"ldap_get_option %d(%s) returned error: %08X %s", LDAP_OPTION_SSL,
                            OptionName(LDAP_OPTION_SSL), rc, LdapErrorString(rc).c_str());
                report_failure(static_cast<uint32_t>(rc), error_text(static_cast<uint32_t>(rc)),
                               kSourceFile, __LINE__);
            }
            if (value != 1) {
                set(LDAP_OPTION_SSL, 1);
            }
        } else {
            set(LDAP_OPTION_ENCRYPT, 1);
        }

        if (int rc = client_->connect(connect_timeout); rc != 0) {
            fail(L"ldap_connect error: %08X %s", rc, __LINE__);
        }
        std::string connected = client_->host_name();
        trace_info(L"ldap_connect success to server: %s",
                   connected.empty() ? "NULL" : connected.c_str());

        bind(user, password);

        object_ptr root = open_object(nullptr, {L"defaultNamingContext"});
        if (!root) {
            trace_error(L"Root object not found: %08X %s", LDAP_RC_NO_SUCH_OBJECT,
                        LdapErrorString(LDAP_RC_NO_SUCH_OBJECT).c_str());
            report_failure(LDAP_RC_INSUFFICIENT_RIGHTS, error_text(LDAP_RC_NO_SUCH_OBJECT),
                           kSourceFile, __LINE__);
        }
        default_nc_ = root->get_attr(L"defaultNamingContext").to_string();
    } catch (...) {
        // A session exists only fully opened: release the connection, pass the failure on.
        if (open_) {
            client_->unbind();
            open_ = false;
        }
        throw;
    }
}

void LdapSession::bind(const wchar_t* user, const wchar_t* password) {
    if (!HasText(user)) {
        // The caller's Kerberos ticket; without TLS a SASL security layer protects the traffic.
        if (int rc = client_->kerberos_bind(!client_->tls_active()); rc != 0) {
            fail(L"ldap_bind_s: %08X %s", rc, __LINE__);
        }
        return;
    }
    if (!use_ssl_) {
        // The password must not cross the network in clear text: without TLS the encryption
        // the connection was asked for is not there.
        if (int rc = client_->start_tls(); rc != 0) {
            trace_error(L"ldap_set_option %d(%s) returned error: %08X %s", LDAP_OPTION_ENCRYPT,
                        OptionName(LDAP_OPTION_ENCRYPT), rc, LdapErrorString(rc).c_str());
            report_failure(static_cast<uint32_t>(rc), error_text(static_cast<uint32_t>(rc)),
                           kSourceFile, __LINE__);
        }
    }
    if (!HasText(password)) {
        // A simple bind without a password is an anonymous bind that servers report as success;
        // the account given would silently not be the one used.
        fail(L"ldap_bind_s: %08X %s", LDAP_RC_INVALID_CREDENTIALS, __LINE__);
    }
    if (int rc = client_->simple_bind(Platform::WideToUtf8(user), Platform::WideToUtf8(password));
        rc != 0) {
        fail(L"ldap_bind_s: %08X %s", rc, __LINE__);
    }
}

object_ptr LdapSession::open_object(const wchar_t* dn, const attr_list& attrs) {
    trace_info(L"Open object: %ls", dn ? dn : L"NULL");
    object_list found = plain_search(query(dn ? dn : L"*", SCOPE_BASE, L"(objectClass=*)"), attrs,
                                     nullptr, nullptr);
    return found.empty() ? nullptr : found.front();
}

bool LdapSession::reconnect() {
    if (reconnecting_ || !open_) {
        return false;
    }
    trace_error(
        L"The connection to '%ls:%d' was closed by the server or the network; it is "
        L"opened again.",
        cfg_.host.c_str(), active_port());
    client_->unbind();
    open_ = false;
    reconnecting_ = true;
    bool opened = false;
    try {
        // Every use of the login and the password takes an empty one as none.
        open(cfg_, use_ssl_, user_.c_str(), password_.c_str(), connect_timeout_);
        opened = true;
    } catch (...) {  // Whatever the hooks raise: not silent, the caller reports its failure.
        // The reopening's own failure has been traced by the hooks; the failure that made it
        // necessary is the one the caller reports, and the one the administrator must see.
        trace_error(L"Opening the connection to '%ls:%d' again failed.", cfg_.host.c_str(),
                    active_port());
    }
    reconnecting_ = false;
    touch();
    return opened;
}

void LdapSession::prepare_write() {
    constexpr auto kIdleBeforeCheck = std::chrono::seconds(60);
    if (open_ && std::chrono::steady_clock::now() - last_used_ > kIdleBeforeCheck) {
        open_object(nullptr, {L"defaultNamingContext"});
    }
}

object_ptr LdapSession::add_object(const wchar_t* dn, const wchar_t* object_class) {
    trace_info(L"Add object (dn: %ls, objectClass: %ls)", dn ? dn : L"NULL",
               object_class ? object_class : L"NULL");
    try {
        auto created = std::make_shared<LdapObject>(this, dn ? dn : L"");
        created->stage_new(attr_value(object_class));
        return created;
    } catch (...) {  // Any failure to build the object in memory is the library's "no memory".
        fail(L"LdapSession::add_object: %08X %s", LDAP_RC_NO_MEMORY, __LINE__);
    }
}

void LdapSession::remove_object(const wchar_t* dn) {
    trace_info(L"Remove object: %ls", dn ? dn : L"NULL");
    if (dn == nullptr) {
        report_failure(LDAP_RC_INVALID_DN_SYNTAX, error_text(LDAP_RC_INVALID_DN_SYNTAX),
                       kSourceFile, __LINE__);
    }
    prepare_write();
    const int rc =
        client_->remove(Platform::WideToUtf8(dn), {{OID_TREE_DELETE, std::nullopt, true}});
    touch();
    if (rc != 0) {
        fail(L"ldap_delete_ext_s: %08X %s", rc, __LINE__);
    }
}

void LdapSession::rename_object(const wchar_t* old_dn, const wchar_t* new_dn) {
    std::lock_guard<std::mutex> lock(rename_lock_);
    trace_info(L"Rename object(old_dn: %ls new_dn: %ls)", old_dn ? old_dn : L"NULL",
               new_dn ? new_dn : L"NULL");
    std::string target = new_dn ? Platform::WideToUtf8(new_dn) : std::string();
    std::string rdn;
    std::string parent;
    if (!SplitFirstRdn(target, rdn, parent)) {
        rdn = target;
        parent.clear();
    }
    prepare_write();
    int rc = client_->rename(old_dn ? Platform::WideToUtf8(old_dn) : std::string(), rdn, parent,
                             true, {});
    touch();
    if (rc != 0) {
        fail(L"ldap_rename_ext_s: %08X %s", rc, __LINE__);
    }
}

std::map<std::wstring, Platform::Guid> LdapSession::schema_guids(const attr_list& names) {
    std::map<std::wstring, Platform::Guid> guids;
    object_ptr root = open_object(nullptr, {L"schemaNamingContext"});
    if (!root) {
        fail(L"Root object not found: %08X %s", LDAP_RC_NO_SUCH_OBJECT, __LINE__);
    }
    std::wstring schema = root->get_attr(L"schemaNamingContext").to_string();
    for (const std::wstring& name : names) {
        object_list found =
            search(query(schema, SCOPE_SUBTREE,
                         conditions{{L"lDAPDisplayName", filter_value(name, true)}}),
                   {L"schemaIDGUID"});
        if (!found.empty()) {
            guids[name] = found.front()->get_attr(L"schemaIDGUID").to_guid();
        }
    }
    return guids;
}

session_ptr open_session(std::unique_ptr<ILdapClient> client, const server_cfg& cfg, bool use_ssl,
                         const wchar_t* user, const wchar_t* password, int32_t connect_timeout) {
    auto opened = std::make_shared<LdapSession>(std::move(client));
    opened->open(cfg, use_ssl, user, password, connect_timeout);
    return opened;
}

session_ptr open_session(const server_cfg& cfg, bool use_ssl, const wchar_t* user,
                         const wchar_t* password, int32_t connect_timeout) {
    return open_session(CreateOpenLdapClient(), cfg, use_ssl, user, password, connect_timeout);
}

}  // namespace LdapHelper
