#pragma once

#include <algorithm>
#include <cwctype>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ldap/LdapHelper.h"
#include "platform/CodePage.h"
#include "support/LdapResultCodes.h"

namespace KvTest {

class FakeSession;

// An entry of the fake: the values read and, once it belongs to a session, the changes staged on
// it, committed through that session as one add or modify. Entries handed out by scripted
// searches belong to no session and refuse changes.
class FakeObject : public LdapHelper::object {
public:
    FakeObject(std::wstring dn, std::map<std::wstring, LdapHelper::attr_value> values,
               FakeSession* session = nullptr)
        : session_(session), dn_(std::move(dn)), read_(std::move(values)) {}

    LdapHelper::session* get_session() const override;
    LdapHelper::attr_value get_attr(const wchar_t* name) const override {
        if (auto found = pending_.find(name); found != pending_.end()) {
            return found->second;
        }
        auto found = read_.find(name);
        return found == read_.end() ? LdapHelper::attr_value() : found->second;
    }
    void set_attr(const wchar_t* name, const LdapHelper::attr_value& value) override {
        Writable();
        pending_[name] = value;
    }
    void remove_attr(const wchar_t* name) override { set_attr(name, LdapHelper::attr_value()); }
    void commit() override;
    bool is_new() const override { return pending_.count(L"objectClass") != 0; }
    bool is_absent(const wchar_t* name) const override {
        return pending_.count(name) == 0 && read_.count(name) == 0;
    }
    bool is_modified() const override { return !pending_.empty(); }
    std::wstring dn() const override { return dn_; }
    LdapHelper::security_descriptor get_sd() const override { Unexpected(); }
    void set_sd(const LdapHelper::security_descriptor&, uint32_t) override { Unexpected(); }

    void StageNew(const std::wstring& objectClass) {
        read_[L"objectClass"] = LdapHelper::attr_value(objectClass);
        pending_[L"objectClass"] = LdapHelper::attr_value(objectClass);
    }

private:
    friend class FakeSession;
    void Writable() const {
        if (session_ == nullptr) {
            throw std::logic_error("an entry of a scripted search cannot be changed");
        }
    }
    [[noreturn]] static void Unexpected() { throw std::logic_error("not used by the fake"); }

    FakeSession* session_;
    std::wstring dn_;
    std::map<std::wstring, LdapHelper::attr_value> read_;
    std::map<std::wstring, LdapHelper::attr_value> pending_;
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

// A session whose searches answer from a script keyed by base and filter (a request without an
// answer gets an empty list, as a missing base does on a real server), and whose entries live in
// an in-memory directory that `open_object`, `add_object`, `commit` and `remove_object` act on as
// a server does (the contract tests hold it to the real session). DNs compare without regard to
// case. Every write is logged ("add DN", "modify DN a b", "delete DN"); a write can be made to
// fail with a result code, which reaches the library's hooks like a server's refusal.
class FakeSession : public LdapHelper::session {
public:
    void Answer(const std::wstring& base, const std::wstring& filter,
                LdapHelper::object_list entries) {
        answers_[{base, filter}] = std::move(entries);
    }
    const std::vector<FakeRequest>& Requests() const { return requests_; }

    // Puts an entry into the directory, as if it had been there all along.
    void Put(const std::wstring& dn, std::map<std::wstring, LdapHelper::attr_value> values) {
        Stored stored;
        stored.dn = dn;
        for (auto& [name, value] : values) {
            stored.values[name] = value.values();
        }
        store_[Key(dn)] = std::move(stored);
    }
    bool Has(const std::wstring& dn) const { return store_.count(Key(dn)) != 0; }
    // The entry's values as a server would read them back; empty when it has no such attribute.
    LdapHelper::attr_value Value(const std::wstring& dn, const std::wstring& name) const {
        auto entry = store_.find(Key(dn));
        if (entry == store_.end()) {
            return {};
        }
        auto found = entry->second.values.find(name);
        return found == entry->second.values.end()
                   ? LdapHelper::attr_value()
                   : LdapHelper::attr_value::from_wire(found->second);
    }
    const std::vector<std::wstring>& Writes() const { return writes_; }
    // The next write of that kind ("add", "modify", "delete") to the DN fails with the code.
    void FailOn(const std::wstring& operation, const std::wstring& dn, uint32_t code) {
        failures_[{operation, Key(dn)}] = code;
    }

    LdapHelper::object_list search(const LdapHelper::query& q,
                                   const LdapHelper::attr_list& attrs) override {
        requests_.push_back({q.base, q.scope, q.filter, attrs});
        auto found = answers_.find({q.base, q.filter});
        return found == answers_.end() ? LdapHelper::object_list() : found->second;
    }
    LdapHelper::object_ptr open_object(const wchar_t* dn,
                                       const LdapHelper::attr_list& attrs) override {
        if (dn != nullptr) {
            auto entry = store_.find(Key(dn));
            if (entry != store_.end()) {
                requests_.push_back({dn, LdapHelper::SCOPE_BASE, L"(objectClass=*)", attrs});
                std::map<std::wstring, LdapHelper::attr_value> values;
                for (const auto& [name, wire] : entry->second.values) {
                    if (attrs.empty() ||
                        std::find(attrs.begin(), attrs.end(), name) != attrs.end()) {
                        values[name] = LdapHelper::attr_value::from_wire(wire);
                    }
                }
                return std::make_shared<FakeObject>(entry->second.dn, std::move(values), this);
            }
        }
        LdapHelper::object_list found =
            search(LdapHelper::query(dn ? std::wstring(dn) : std::wstring(L"*"),
                                     LdapHelper::SCOPE_BASE, std::wstring(L"(objectClass=*)")),
                   attrs);
        return found.empty() ? nullptr : found.front();
    }
    LdapHelper::object_ptr add_object(const wchar_t* dn, const wchar_t* objectClass) override {
        auto object = std::make_shared<FakeObject>(
            dn ? dn : L"", std::map<std::wstring, LdapHelper::attr_value>(), this);
        object->StageNew(objectClass ? objectClass : L"");
        return object;
    }
    void remove_object(const wchar_t* dn) override {
        const std::wstring key = Key(dn ? dn : L"");
        Fail(L"delete", key);
        if (store_.count(key) == 0) {
            Refuse(kNoSuchObject);
        }
        // The whole subtree goes, as with the tree-delete control.
        for (auto it = store_.begin(); it != store_.end();) {
            const std::wstring& other = it->first;
            bool below = other.size() > key.size() &&
                         other.compare(other.size() - key.size(), key.size(), key) == 0 &&
                         other[other.size() - key.size() - 1] == L',';
            it = (other == key || below) ? store_.erase(it) : std::next(it);
        }
        writes_.push_back(L"delete " + std::wstring(dn));
    }
    LdapHelper::object_list dirsync_search(const LdapHelper::query&, const LdapHelper::attr_list&,
                                           std::vector<uint8_t>&) override {
        Unexpected();
    }
    void rename_object(const wchar_t*, const wchar_t*) override { Unexpected(); }
    std::wstring default_naming_context() const override { return L"DC=corp,DC=local"; }
    LdapHelper::server_cfg server() const override { return {}; }
    std::string error_text(uint32_t code) const override {
        return "Fake error (0x" + std::to_string(code) + ").";
    }
    std::map<std::wstring, Platform::Guid> schema_guids(const LdapHelper::attr_list&) override {
        Unexpected();
    }

    // The commit of an entry: one add or modify, as the library sends it.
    void Commit(FakeObject& object) {
        const bool isNew = object.is_new();
        if (isNew) {
            for (auto it = object.pending_.begin(); it != object.pending_.end();) {
                it = it->second.empty() ? object.pending_.erase(it) : std::next(it);
            }
        }
        if (object.pending_.empty()) {
            return;
        }
        const std::wstring key = Key(object.dn_);
        std::wstring names;
        for (const auto& [name, value] : object.pending_) {
            names += L" " + name;
        }
        if (isNew) {
            Fail(L"add", key);
            if (store_.count(key) != 0) {
                Refuse(kAlreadyExists);
            }
            Stored stored;
            stored.dn = object.dn_;
            store_[key] = std::move(stored);
        } else {
            Fail(L"modify", key);
            if (store_.count(key) == 0) {
                Refuse(kNoSuchObject);
            }
        }
        Stored& stored = store_[key];
        for (const auto& [name, value] : object.pending_) {
            if (value.empty()) {
                stored.values.erase(name);
            } else {
                stored.values[name] = value.values();
            }
            object.read_[name] = value;
        }
        object.pending_.clear();
        writes_.push_back((isNew ? L"add " : L"modify ") + object.dn_ + names);
    }

private:
    struct Stored {
        std::wstring dn;
        std::map<std::wstring, std::vector<std::string>> values;
    };

    static std::wstring Key(const std::wstring& dn) {
        std::wstring key = dn;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
        return key;
    }
    void Fail(const std::wstring& operation, const std::wstring& key) {
        auto found = failures_.find({operation, key});
        if (found != failures_.end()) {
            uint32_t code = found->second;
            failures_.erase(found);
            Refuse(code);
        }
    }
    [[noreturn]] void Refuse(uint32_t code) const {
        LdapHelper::report_failure(code, error_text(code), "FakeDirectory", __LINE__);
    }
    [[noreturn]] static void Unexpected() { throw std::logic_error("not used by the fake"); }

    std::map<std::pair<std::wstring, std::wstring>, LdapHelper::object_list> answers_;
    std::vector<FakeRequest> requests_;
    std::map<std::wstring, Stored> store_;
    std::vector<std::wstring> writes_;
    std::map<std::pair<std::wstring, std::wstring>, uint32_t> failures_;
};

inline LdapHelper::session* FakeObject::get_session() const {
    return session_;
}

inline void FakeObject::commit() {
    if (pending_.empty()) {
        return;
    }
    Writable();
    session_->Commit(*this);
}

}  // namespace KvTest
