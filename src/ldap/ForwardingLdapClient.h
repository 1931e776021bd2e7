#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ldap/LdapClient.h"

namespace LdapHelper {

// A client that hands every call to the client it wraps: the base of the clients that change
// only some calls of another (those that keep writes back, those that save what a write changes).
class ForwardingLdapClient : public ILdapClient {
public:
    explicit ForwardingLdapClient(std::unique_ptr<ILdapClient> inner) : inner_(std::move(inner)) {}

    int init(const std::string& host, int port, bool ssl) override {
        return Forwarded(inner_->init(host, port, ssl));
    }
    int set_timeouts(const ClientTimeouts& timeouts) override {
        return Forwarded(inner_->set_timeouts(timeouts));
    }
    int set_option(int option, int value) override {
        return Forwarded(inner_->set_option(option, value));
    }
    int get_option(int option, int& value) override {
        return Forwarded(inner_->get_option(option, value));
    }
    int connect(int timeout_seconds) override {
        return Forwarded(inner_->connect(timeout_seconds));
    }
    std::string host_name() const override { return inner_->host_name(); }
    int start_tls() override { return Forwarded(inner_->start_tls()); }
    bool tls_active() const override { return inner_->tls_active(); }
    int simple_bind(const std::string& login, const std::string& password) override {
        return Forwarded(inner_->simple_bind(login, password));
    }
    int kerberos_bind(bool security_layer) override {
        return Forwarded(inner_->kerberos_bind(security_layer));
    }
    int search(const SearchRequest& request, SearchResult& result) override {
        return Forwarded(inner_->search(request, result));
    }
    int add(const std::string& dn, const std::vector<LdapModification>& mods,
            const std::vector<LdapControl>& controls) override {
        return Forwarded(inner_->add(dn, mods, controls));
    }
    int modify(const std::string& dn, const std::vector<LdapModification>& mods,
               const std::vector<LdapControl>& controls) override {
        return Forwarded(inner_->modify(dn, mods, controls));
    }
    int remove(const std::string& dn, const std::vector<LdapControl>& controls) override {
        return Forwarded(inner_->remove(dn, controls));
    }
    int rename(const std::string& dn, const std::string& new_rdn, const std::string& new_parent,
               bool delete_old_rdn, const std::vector<LdapControl>& controls) override {
        return Forwarded(inner_->rename(dn, new_rdn, new_parent, delete_old_rdn, controls));
    }
    int last_error() const override { return inner_->last_error(); }
    int unbind() override { return Forwarded(inner_->unbind()); }

protected:
    // Every call the wrapped client answered passes its result through here.
    virtual int Forwarded(int rc) { return rc; }

    std::unique_ptr<ILdapClient> inner_;
};

}  // namespace LdapHelper
