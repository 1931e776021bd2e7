#pragma once

#include <memory>

#include "ldap/LdapHelper.h"

namespace KvBench {

// Passes every operation to a real session and counts the requests that reach the server.
class CountingSession : public LdapHelper::session {
public:
    explicit CountingSession(LdapHelper::session_ptr inner) : inner_(std::move(inner)) {}

    long Requests() const { return requests_; }
    void Reset() { requests_ = 0; }

    LdapHelper::object_ptr add_object(const wchar_t* dn, const wchar_t* objectClass) override {
        return inner_->add_object(dn, objectClass);
    }
    LdapHelper::object_ptr open_object(const wchar_t* dn,
                                       const LdapHelper::attr_list& attrs) override {
        ++requests_;
        return inner_->open_object(dn, attrs);
    }
    LdapHelper::object_list search(const LdapHelper::query& q,
                                   const LdapHelper::attr_list& attrs) override {
        ++requests_;
        return inner_->search(q, attrs);
    }
    LdapHelper::object_list dirsync_search(const LdapHelper::query& q,
                                           const LdapHelper::attr_list& attrs,
                                           std::vector<uint8_t>& cookie) override {
        ++requests_;
        return inner_->dirsync_search(q, attrs, cookie);
    }
    void remove_object(const wchar_t* dn) override {
        ++requests_;
        inner_->remove_object(dn);
    }
    void rename_object(const wchar_t* oldDn, const wchar_t* newDn) override {
        ++requests_;
        inner_->rename_object(oldDn, newDn);
    }
    std::wstring default_naming_context() const override {
        return inner_->default_naming_context();
    }
    LdapHelper::server_cfg server() const override { return inner_->server(); }
    std::string error_text(uint32_t code) const override { return inner_->error_text(code); }
    std::map<std::wstring, Platform::Guid> schema_guids(
        const LdapHelper::attr_list& names) override {
        ++requests_;
        return inner_->schema_guids(names);
    }

private:
    LdapHelper::session_ptr inner_;
    long requests_ = 0;
};

}  // namespace KvBench
