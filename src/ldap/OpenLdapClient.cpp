#include <ldap.h>
#include <sasl/sasl.h>
#include <sys/time.h>

#include <memory>

#include "ldap/LdapClient.h"

namespace LdapHelper {
namespace {

// Owns the C arrays of controls and modifications that libldap takes for one call.
class ControlArray {
public:
    explicit ControlArray(const std::vector<LdapControl>& controls) {
        for (const LdapControl& control : controls) {
            LDAPControl item{};
            item.ldctl_oid = const_cast<char*>(control.oid.c_str());
            if (control.value) {
                item.ldctl_value.bv_val = const_cast<char*>(control.value->data());
                item.ldctl_value.bv_len = control.value->size();
            }
            item.ldctl_iscritical = control.critical ? 1 : 0;
            items_.push_back(item);
        }
        for (LDAPControl& item : items_) {
            pointers_.push_back(&item);
        }
    }
    LDAPControl** get() {
        if (pointers_.empty()) {
            return nullptr;
        }
        terminated_ = pointers_;
        terminated_.push_back(nullptr);
        return terminated_.data();
    }

private:
    std::vector<LDAPControl> items_;
    std::vector<LDAPControl*> pointers_;
    std::vector<LDAPControl*> terminated_;
};

class ModArray {
public:
    explicit ModArray(const std::vector<LdapModification>& mods) {
        values_.resize(mods.size());
        for (size_t i = 0; i < mods.size(); ++i) {
            for (const std::string& value : mods[i].values) {
                values_[i].push_back(
                    berval{static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())});
            }
        }
        pointers_.resize(mods.size());
        items_.resize(mods.size());
        for (size_t i = 0; i < mods.size(); ++i) {
            for (berval& value : values_[i]) {
                pointers_[i].push_back(&value);
            }
            pointers_[i].push_back(nullptr);
            items_[i].mod_op = mods[i].op;
            items_[i].mod_type = const_cast<char*>(mods[i].type.c_str());
            items_[i].mod_bvalues = pointers_[i].data();
        }
        for (LDAPMod& item : items_) {
            list_.push_back(&item);
        }
        list_.push_back(nullptr);
    }
    LDAPMod** get() { return list_.data(); }

private:
    std::vector<std::vector<berval>> values_;
    std::vector<std::vector<berval*>> pointers_;
    std::vector<LDAPMod> items_;
    std::vector<LDAPMod*> list_;
};

// Kerberos binds need no answers from the user; every prompt gets its default.
int SaslInteract(LDAP*, unsigned, void*, void* prompts) {
    for (auto* prompt = static_cast<sasl_interact_t*>(prompts);
         prompt != nullptr && prompt->id != SASL_CB_LIST_END; ++prompt) {
        const char* value = prompt->defresult ? prompt->defresult : "";
        prompt->result = value;
        prompt->len = static_cast<unsigned>(std::char_traits<char>::length(value));
    }
    return LDAP_SUCCESS;
}

class OpenLdapClient final : public ILdapClient {
public:
    ~OpenLdapClient() override { unbind(); }

    int init(const std::string& host, int port, bool ssl) override {
        ssl_ = ssl;
        std::string bracketed = host.find(':') != std::string::npos ? "[" + host + "]" : host;
        std::string uri =
            std::string(ssl ? "ldaps://" : "ldap://") + bracketed + ":" + std::to_string(port);
        return track(ldap_initialize(&ld_, uri.c_str()));
    }

    int set_timeouts(const ClientTimeouts& timeouts) override {
        write_timeout_ = timeouts.write_seconds;
        if (ld_ == nullptr || timeouts.handshake_seconds <= 0) {
            return 0;
        }
        // LDAP_OPT_TIMEOUT bounds every synchronous call and every wait without a time of its
        // own; the writes below therefore wait with an explicit time.
        timeval limit{timeouts.handshake_seconds, 0};
        ldap_set_option(ld_, LDAP_OPT_NETWORK_TIMEOUT, &limit);
        return track(ldap_set_option(ld_, LDAP_OPT_TIMEOUT, &limit));
    }

    int set_option(int option, int value) override {
        switch (option) {
            case LDAP_OPTION_PROTOCOL_VERSION:
                return track(ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &value));
            case LDAP_OPTION_REFERRALS:
                // libldap would follow referrals with anonymous binds; they end the search
                // instead, which the library treats as an empty result.
                return track(ldap_set_option(ld_, LDAP_OPT_REFERRALS, LDAP_OPT_OFF));
            case LDAP_OPTION_SSL:
                // An existing plain handle cannot become LDAPS.
                return track(value && !ssl_ ? LDAP_NOT_SUPPORTED : LDAP_SUCCESS);
            case LDAP_OPTION_ENCRYPT:
                // Honoured by StartTLS before a password is sent, or by a SASL security layer.
                return 0;
            default:
                return track(LDAP_PARAM_ERROR);
        }
    }

    int get_option(int option, int& value) override {
        switch (option) {
            case LDAP_OPTION_SSL:
                value = ssl_ ? 1 : 0;
                return 0;
            case LDAP_OPTION_PROTOCOL_VERSION:
                return track(ldap_get_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &value));
            default:
                return track(LDAP_PARAM_ERROR);
        }
    }

    int connect(int timeout_seconds) override {
        if (timeout_seconds != -1) {
            timeval limit{timeout_seconds, 0};
            ldap_set_option(ld_, LDAP_OPT_NETWORK_TIMEOUT, &limit);
        }
        return track(ldap_connect(ld_));
    }

    std::string host_name() const override {
        char* name = nullptr;
        if (ld_ == nullptr || ldap_get_option(ld_, LDAP_OPT_HOST_NAME, &name) != LDAP_SUCCESS ||
            name == nullptr) {
            return {};
        }
        std::string result = name;
        ldap_memfree(name);
        return result;
    }

    int start_tls() override {
        int rc = track(ldap_start_tls_s(ld_, nullptr, nullptr));
        tls_ = rc == 0;
        return rc;
    }

    bool tls_active() const override { return ssl_ || tls_; }

    int simple_bind(const std::string& login, const std::string& password) override {
        berval credentials{static_cast<ber_len_t>(password.size()),
                           const_cast<char*>(password.data())};
        return track(ldap_sasl_bind_s(ld_, login.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr,
                                      nullptr, nullptr));
    }

    int kerberos_bind(bool security_layer) override {
        // Samba refuses signing or sealing inside TLS, so over TLS no layer is negotiated.
        const char* properties = security_layer ? "minssf=56" : "minssf=0,maxssf=0";
        ldap_set_option(ld_, LDAP_OPT_X_SASL_SECPROPS, properties);
        int rc = ldap_sasl_interactive_bind_s(ld_, nullptr, "GSS-SPNEGO", nullptr, nullptr,
                                              LDAP_SASL_QUIET, SaslInteract, nullptr);
        if (rc != LDAP_SUCCESS && rc != LDAP_INVALID_CREDENTIALS && rc != LDAP_SERVER_DOWN &&
            rc != LDAP_TIMEOUT) {
            rc = ldap_sasl_interactive_bind_s(ld_, nullptr, "GSSAPI", nullptr, nullptr,
                                              LDAP_SASL_QUIET, SaslInteract, nullptr);
        }
        return track(rc);
    }

    int search(const SearchRequest& request, SearchResult& result) override;

    int add(const std::string& dn, const std::vector<LdapModification>& mods,
            const std::vector<LdapControl>& controls) override {
        ModArray list(mods);
        ControlArray server(controls);
        int messageId = 0;
        int sent = ldap_add_ext(ld_, dn.c_str(), list.get(), server.get(), nullptr, &messageId);
        return finish_write(sent, messageId);
    }

    int modify(const std::string& dn, const std::vector<LdapModification>& mods,
               const std::vector<LdapControl>& controls) override {
        ModArray list(mods);
        ControlArray server(controls);
        int messageId = 0;
        int sent = ldap_modify_ext(ld_, dn.c_str(), list.get(), server.get(), nullptr, &messageId);
        return finish_write(sent, messageId);
    }

    int remove(const std::string& dn, const std::vector<LdapControl>& controls) override {
        ControlArray server(controls);
        int messageId = 0;
        int sent = ldap_delete_ext(ld_, dn.c_str(), server.get(), nullptr, &messageId);
        return finish_write(sent, messageId);
    }

    int rename(const std::string& dn, const std::string& new_rdn, const std::string& new_parent,
               bool delete_old_rdn, const std::vector<LdapControl>& controls) override {
        ControlArray server(controls);
        int messageId = 0;
        int sent = ldap_rename(ld_, dn.c_str(), new_rdn.c_str(),
                               new_parent.empty() ? nullptr : new_parent.c_str(),
                               delete_old_rdn ? 1 : 0, server.get(), nullptr, &messageId);
        return finish_write(sent, messageId);
    }

    int last_error() const override { return last_; }

    int unbind() override {
        if (ld_ == nullptr) {
            return 0;
        }
        int rc = ldap_unbind_ext_s(ld_, nullptr, nullptr);
        ld_ = nullptr;
        return FromOpenLdapCode(rc);
    }

private:
    int track(int rc) {
        last_ = FromOpenLdapCode(rc);
        return last_;
    }

    // Waits for the result of a sent write; a server that has not answered within the write
    // time-out is told to abandon it.
    int finish_write(int sent, int messageId) {
        if (sent != LDAP_SUCCESS) {
            return track(sent);
        }
        timeval wait{write_timeout_, 0};
        LDAPMessage* message = nullptr;
        int rc = ldap_result(ld_, messageId, LDAP_MSG_ALL, write_timeout_ > 0 ? &wait : nullptr,
                             &message);
        if (rc == 0) {
            ldap_abandon_ext(ld_, messageId, nullptr, nullptr);
            return track(LDAP_TIMEOUT);
        }
        if (rc < 0) {
            int code = LDAP_SERVER_DOWN;
            ldap_get_option(ld_, LDAP_OPT_RESULT_CODE, &code);
            return track(code != LDAP_SUCCESS ? code : LDAP_SERVER_DOWN);
        }
        int code = LDAP_SUCCESS;
        rc = ldap_parse_result(ld_, message, &code, nullptr, nullptr, nullptr, nullptr, 1);
        return track(rc != LDAP_SUCCESS ? rc : code);
    }

    LDAP* ld_ = nullptr;
    bool ssl_ = false;
    bool tls_ = false;
    int last_ = 0;
    int write_timeout_ = 0;
};

void ReadEntries(LDAP* ld, LDAPMessage* message, SearchResult& result) {
    for (LDAPMessage* entry = ldap_first_entry(ld, message); entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        LdapEntryData data;
        if (char* dn = ldap_get_dn(ld, entry)) {
            data.dn = dn;
            ldap_memfree(dn);
        }
        BerElement* ber = nullptr;
        for (char* name = ldap_first_attribute(ld, entry, &ber); name != nullptr;
             name = ldap_next_attribute(ld, entry, ber)) {
            if (berval** values = ldap_get_values_len(ld, entry, name)) {
                std::vector<std::string> copied;
                for (berval** value = values; *value != nullptr; ++value) {
                    copied.emplace_back((*value)->bv_val, (*value)->bv_len);
                }
                ldap_value_free_len(values);
                data.attributes.emplace_back(name, std::move(copied));
            }
            ldap_memfree(name);
        }
        if (ber != nullptr) {
            ber_free(ber, 0);
        }
        result.entries.push_back(std::move(data));
    }
}

int OpenLdapClient::search(const SearchRequest& request, SearchResult& result) {
    std::vector<LdapControl> sent = request.server_controls;
    if (request.page_size) {
        // Built here rather than with ldap_create_page_control, which refuses the page size 0
        // that asks the server to end a paged search.
        std::string value;
        if (BerEncodePage(*request.page_size, request.page_cookie, value) != 0) {
            return track(LDAP_NO_MEMORY);
        }
        sent.push_back({LDAP_CONTROL_PAGEDRESULTS, value, false});
    }
    ControlArray server(sent);

    std::vector<char*> attributes;
    for (const std::string& name : request.attributes) {
        attributes.push_back(const_cast<char*>(name.c_str()));
    }
    attributes.push_back(nullptr);

    // The server-side limit goes with the request; the client waits at most the search time-out.
    int serverLimit =
        request.time_limit_seconds > 0 ? request.time_limit_seconds : request.timeout_seconds;
    timeval serverTime{serverLimit, 0};
    int messageId = 0;
    int rc = ldap_search_ext(
        ld_, request.base ? request.base->c_str() : nullptr, request.scope, request.filter.c_str(),
        request.attributes.empty() ? nullptr : attributes.data(), 0, server.get(), nullptr,
        serverLimit > 0 ? &serverTime : nullptr, 0, &messageId);
    if (rc != LDAP_SUCCESS) {
        return track(rc);
    }
    timeval wait{request.timeout_seconds, 0};
    LDAPMessage* message = nullptr;
    rc = ldap_result(ld_, messageId, LDAP_MSG_ALL, request.timeout_seconds > 0 ? &wait : nullptr,
                     &message);
    if (rc == 0) {
        ldap_abandon_ext(ld_, messageId, nullptr, nullptr);
        return track(LDAP_TIMEOUT);
    }
    if (rc < 0) {
        int code = LDAP_SERVER_DOWN;
        ldap_get_option(ld_, LDAP_OPT_RESULT_CODE, &code);
        return track(code != LDAP_SUCCESS ? code : LDAP_SERVER_DOWN);
    }
    std::unique_ptr<LDAPMessage, int (*)(LDAPMessage*)> owner(message, ldap_msgfree);

    int code = LDAP_SUCCESS;
    LDAPControl** controls = nullptr;
    rc = ldap_parse_result(ld_, message, &code, nullptr, nullptr, nullptr, &controls, 0);
    if (rc != LDAP_SUCCESS) {
        return track(rc);
    }
    ReadEntries(ld_, message, result);
    for (LDAPControl** control = controls; control && *control; ++control) {
        LdapControl copied;
        copied.oid = (*control)->ldctl_oid ? (*control)->ldctl_oid : "";
        if ((*control)->ldctl_value.bv_val != nullptr) {
            copied.value =
                std::string((*control)->ldctl_value.bv_val, (*control)->ldctl_value.bv_len);
        }
        copied.critical = (*control)->ldctl_iscritical != 0;
        result.controls.push_back(std::move(copied));
    }
    if (request.page_size && controls != nullptr) {
        if (LDAPControl* response =
                ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls, nullptr)) {
            ber_int_t total = 0;
            berval cookie{0, nullptr};
            if (ldap_parse_pageresponse_control(ld_, response, &total, &cookie) == LDAP_SUCCESS) {
                result.page_total = total;
                if (cookie.bv_val != nullptr) {
                    result.page_cookie.assign(cookie.bv_val, cookie.bv_len);
                    ber_memfree(cookie.bv_val);
                }
            }
        }
    }
    if (controls != nullptr) {
        ldap_controls_free(controls);
    }
    result.result_code = FromOpenLdapCode(code);
    track(code);
    return 0;
}

}  // namespace

std::unique_ptr<ILdapClient> CreateOpenLdapClient() {
    return std::make_unique<OpenLdapClient>();
}

}  // namespace LdapHelper
