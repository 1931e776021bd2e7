#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "client/ClientSession.h"
#include "client/NodeHolder.h"
#include "helper/MigrationJournal.h"
#include "ldap/LdapHelper.h"

namespace KvMigration {

// How many records of each kind the import has written, and the code of the failure that ended it
// (0 while it goes on).
struct ClientImportCounters {
    uint64_t globals = 0;
    uint64_t users = 0;
    uint64_t tokens = 0;
    uint32_t stoppedBy = 0;
};

// Commits its object's pending changes when asked, or when it ends without having been asked; a
// failure at the end is traced, never raised. The changes are sent once: a commit the server
// refused is not sent again behind the back of the caller that reported it.
class CAutoCommitObject {
public:
    explicit CAutoCommitObject(LdapHelper::object_ptr object) : object_(std::move(object)) {}
    ~CAutoCommitObject();
    CAutoCommitObject(const CAutoCommitObject&) = delete;
    CAutoCommitObject& operator=(const CAutoCommitObject&) = delete;

    void Commit();

private:
    LdapHelper::object_ptr object_;
};

// Find-or-create of one kind of client object, below the kind's search base.
template <class Query>
class TLdapCreator {
public:
    // What the last CreateIf came to.
    enum class Outcome { None, Created, Reused, AlreadyMigrated };

    TLdapCreator(const CLdapSession& session, const wchar_t* objectClass)
        : session_(&session), objectClass_(objectClass) {}

    // The object of the kind whose cn is `name`, checked by CheckEmptyObject, or a new one.
    LdapHelper::object_ptr CreateIf(const std::wstring& name);
    // The object, unless an earlier import marked it migrated and "-fi" was not given.
    LdapHelper::object_ptr CheckEmptyObject(LdapHelper::object_ptr object);
    // A new object "CN=<name>,<base>" with its cn staged; the entry is made by its first commit.
    // The name is escaped, so the entry lies directly below the base whatever the name holds.
    LdapHelper::object_ptr Create(const std::wstring& base, const std::wstring& name);

    Outcome LastOutcome() const { return outcome_; }

private:
    static std::wstring FunctionName(const char* member);

    const CLdapSession* session_;
    std::wstring objectClass_;
    Outcome outcome_ = Outcome::None;
};

// Changes staged without a directory entry behind them, so that a record is converted whole
// before anything is searched, created or changed for it.
class CStagedObject : public LdapHelper::object {
public:
    LdapHelper::session* get_session() const override { return nullptr; }
    LdapHelper::attr_value get_attr(const wchar_t* name) const override;
    void set_attr(const wchar_t* name, const LdapHelper::attr_value& value) override;
    void remove_attr(const wchar_t* name) override { set_attr(name, LdapHelper::attr_value()); }
    // Nothing to send: a staged object has no entry.
    void commit() override {}
    bool is_new() const override { return false; }
    bool is_absent(const wchar_t* name) const override;
    bool is_modified() const override { return !changes_.empty(); }
    std::wstring dn() const override { return {}; }
    LdapHelper::security_descriptor get_sd() const override;
    void set_sd(const LdapHelper::security_descriptor&, uint32_t) override;

    using LdapHelper::object::get_attr;
    using LdapHelper::object::is_absent;
    using LdapHelper::object::remove_attr;
    using LdapHelper::object::set_attr;

    // Stages every change on the target, in the order they were made.
    void ApplyTo(LdapHelper::object& target) const;

private:
    std::vector<std::pair<std::wstring, LdapHelper::attr_value>> changes_;
};

// The importer of one kind of record element.
class INodeImporter {
public:
    // False only when the directory refused the import for lack of rights.
    virtual bool Import(const CNodeHolder& record) = 0;
    virtual void Release() = 0;

protected:
    ~INodeImporter() = default;
};

// Tells the journal of every record: created, updated (an existing object written again),
// skipped (already migrated, without "-fi") or failed.
class CNodeImporter : public INodeImporter {
public:
    CNodeImporter(const CLdapSession& session, ClientImportCounters& counters,
                  MigrationJournal& journal)
        : session_(&session), counters_(&counters), journal_(&journal) {}
    void Release() override;
    virtual ~CNodeImporter() = default;

protected:
    // The record is converted whole first; then its object is found or created, written and
    // committed. A failure is reported with the kind's console line and the record is skipped.
    template <class Holder, class Query>
    bool ImportT(const CNodeHolder& record, const wchar_t* objectClass, uint64_t& counter);
    virtual const char* TypeName() const = 0;
    // The kind's console line for a failed record.
    virtual std::wstring ErrorLine(const std::wstring& name,
                                   const std::wstring& description) const = 0;
    // A number of the record that does not parse: reported like an error of the record.
    void ReportConversion(const CNodeHolder& record, const std::exception& e) const;

    const CLdapSession* session_;
    ClientImportCounters* counters_;
    MigrationJournal* journal_;
};

class CGlobalNodeImporter : public CNodeImporter {
public:
    using CNodeImporter::CNodeImporter;
    bool Import(const CNodeHolder& record) override;

protected:
    const char* TypeName() const override { return "class CGlobalNodeImporter"; }
    std::wstring ErrorLine(const std::wstring& name,
                           const std::wstring& description) const override;
};

class CUsersNodeImporter : public CNodeImporter {
public:
    using CNodeImporter::CNodeImporter;
    bool Import(const CNodeHolder& record) override;

protected:
    const char* TypeName() const override { return "class CUsersNodeImporter"; }
    std::wstring ErrorLine(const std::wstring& name,
                           const std::wstring& description) const override;
};

class CElidsNodeImporter : public CNodeImporter {
public:
    using CNodeImporter::CNodeImporter;
    bool Import(const CNodeHolder& record) override;

protected:
    const char* TypeName() const override { return "class CElidsNodeImporter"; }
    std::wstring ErrorLine(const std::wstring& name,
                           const std::wstring& description) const override;
};

// A node importer handed out as a shared pointer whose deleter is Release().
template <class Importer>
std::shared_ptr<INodeImporter> MakeNodeImporter(const CLdapSession& session,
                                                ClientImportCounters& counters,
                                                MigrationJournal& journal) {
    return std::shared_ptr<INodeImporter>(new Importer(session, counters, journal),
                                          [](INodeImporter* importer) { importer->Release(); });
}

}  // namespace KvMigration
