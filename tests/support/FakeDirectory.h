#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ldap/LdapHelper.h"

namespace KvTest {

// An entry as a search hands it out: a DN and the values read.
class FakeObject : public LdapHelper::object {
public:
    FakeObject(std::wstring dn, std::map<std::wstring, LdapHelper::attr_value> values)
        : dn_(std::move(dn)), values_(std::move(values)) {}

    LdapHelper::session* get_session() const override { return nullptr; }
    LdapHelper::attr_value get_attr(const wchar_t* name) const override {
        auto found = values_.find(name);
        return found == values_.end() ? LdapHelper::attr_value() : found->second;
    }
    void set_attr(const wchar_t*, const LdapHelper::attr_value&) override { Unexpected(); }
    void remove_attr(const wchar_t*) override { Unexpected(); }
    void commit() override { Unexpected(); }
    bool is_new() const override { return false; }
    bool is_absent(const wchar_t* name) const override { return values_.count(name) == 0; }
    bool is_modified() const override { return false; }
    std::wstring dn() const override { return dn_; }
    LdapHelper::security_descriptor get_sd() const override { Unexpected(); }
    void set_sd(const LdapHelper::security_descriptor&, uint32_t) override { Unexpected(); }

private:
    [[noreturn]] static void Unexpected() { throw std::logic_error("not used by readers"); }
    std::wstring dn_;
    std::map<std::wstring, LdapHelper::attr_value> values_;
};

inline LdapHelper::object_ptr Entry(std::wstring dn,
                                    std::map<std::wstring, LdapHelper::attr_value> values = {}) {
    return std::make_shared<FakeObject>(std::move(dn), std::move(values));
}

// One request the fake received.
struct FakeRequest {
    std::wstring base;  // "*" for the root DSE
    int32_t scope = 0;
    std::wstring filter;
    LdapHelper::attr_list attributes;
};

// A session that answers every search and open from a script keyed by base and filter, and
// records what it was asked. A request without an answer gets an empty list, as a missing base
// does on a real server.
class FakeSession : public LdapHelper::session {
public:
    void Answer(const std::wstring& base, const std::wstring& filter,
                LdapHelper::object_list entries) {
        answers_[{base, filter}] = std::move(entries);
    }
    const std::vector<FakeRequest>& Requests() const { return requests_; }

    LdapHelper::object_list search(const LdapHelper::query& q,
                                   const LdapHelper::attr_list& attrs) override {
        requests_.push_back({q.base, q.scope, q.filter, attrs});
        auto found = answers_.find({q.base, q.filter});
        return found == answers_.end() ? LdapHelper::object_list() : found->second;
    }
    LdapHelper::object_ptr open_object(const wchar_t* dn,
                                       const LdapHelper::attr_list& attrs) override {
        LdapHelper::object_list found =
            search(LdapHelper::query(dn ? std::wstring(dn) : std::wstring(L"*"),
                                     LdapHelper::SCOPE_BASE, std::wstring(L"(objectClass=*)")),
                   attrs);
        return found.empty() ? nullptr : found.front();
    }
    LdapHelper::object_ptr add_object(const wchar_t*, const wchar_t*) override { Unexpected(); }
    LdapHelper::object_list dirsync_search(const LdapHelper::query&, const LdapHelper::attr_list&,
                                           std::vector<uint8_t>&) override {
        Unexpected();
    }
    void remove_object(const wchar_t*) override { Unexpected(); }
    void rename_object(const wchar_t*, const wchar_t*) override { Unexpected(); }
    std::wstring default_naming_context() const override { return L"DC=corp,DC=local"; }
    LdapHelper::server_cfg server() const override { return {}; }
    std::string error_text(uint32_t) const override { return {}; }
    std::map<std::wstring, Platform::Guid> schema_guids(const LdapHelper::attr_list&) override {
        Unexpected();
    }

private:
    [[noreturn]] static void Unexpected() { throw std::logic_error("not used by readers"); }
    std::map<std::pair<std::wstring, std::wstring>, LdapHelper::object_list> answers_;
    std::vector<FakeRequest> requests_;
};

}  // namespace KvTest
