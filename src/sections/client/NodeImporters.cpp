#include "sections/client/NodeImporters.h"

#include <stdexcept>

#include "base/KvError.h"
#include "base/Trace.h"
#include "client/ClientSwitches.h"
#include "client/NodeConversions.h"
#include "client/NodeQueries.h"
#include "helper/ConsoleOutput.h"
#include "platform/CodePage.h"
#include "sections/client/ClientReport.h"

namespace KvMigration {
namespace {

constexpr uint32_t kAccessDenied = 5;
// What a directory failure maps to when the server went away (LDAP "server down") or can no
// longer be reached ("connect error").
constexpr uint32_t kServerDown = 58;
constexpr uint32_t kConnectionRefused = 1225;

bool IsConnectionLost(uint32_t code) {
    return code == kServerDown || code == kConnectionRefused;
}

}  // namespace

CAutoCommitObject::~CAutoCommitObject() {
    try {
        Commit();
    } catch (const KvBase::CKvError& e) {
        KvBase::GetTrace().Trace(KvBase::TraceError, L"%ls", KvBase::TraceableDump(e).c_str());
    } catch (const std::exception& e) {  // A destructor must not let any failure out.
        KvBase::GetTrace().Trace(KvBase::TraceError, "CAutoCommitObject: %s", e.what());
    }
}

void CAutoCommitObject::Commit() {
    LdapHelper::object_ptr object = std::move(object_);
    if (object && object->is_modified()) {
        object->commit();
    }
}

template <class Query>
std::wstring TLdapCreator<Query>::FunctionName(const char* member) {
    return Platform::Utf8ToWide(std::string("TLdapCreator<") + TypeName<Query>::value +
                                " >::" + member);
}

template <class Query>
LdapHelper::object_ptr TLdapCreator<Query>::CreateIf(const std::wstring& name) {
    Query query(*session_);
    outcome_ = Outcome::None;
    LdapHelper::object_list found = query.search(name);
    if (found.empty()) {
        return Create(query.base(), name);
    }
    return CheckEmptyObject(found.front());
}

template <class Query>
LdapHelper::object_ptr TLdapCreator<Query>::CheckEmptyObject(LdapHelper::object_ptr object) {
    const std::wstring description = object->get_attr(L"description").to_string();
    if (ForceImportMode() || description != MigratedMark) {
        outcome_ = Outcome::Reused;
        return object;
    }
    outcome_ = Outcome::AlreadyMigrated;
    KV_RAISE_ERROR(FunctionName("CheckEmptyObject"), L"Object already exists. Use -fi flag.");
}

template <class Query>
LdapHelper::object_ptr TLdapCreator<Query>::Create(const std::wstring& base,
                                                   const std::wstring& name) {
    const std::wstring dn = L"CN=" + EscapeRdnValue(name) + L"," + base;
    LdapHelper::object_ptr object =
        session_->Session().add_object(dn.c_str(), objectClass_.c_str());
    object->set_attr(L"cn", LdapHelper::attr_value(name));
    outcome_ = Outcome::Created;
    return object;
}

LdapHelper::attr_value CStagedObject::get_attr(const wchar_t* name) const {
    for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
        if (it->first == name) {
            return it->second;
        }
    }
    return {};
}

void CStagedObject::set_attr(const wchar_t* name, const LdapHelper::attr_value& value) {
    if (name == nullptr) {
        return;
    }
    for (auto& change : changes_) {
        if (change.first == name) {
            change.second = value;
            return;
        }
    }
    changes_.emplace_back(name, value);
}

bool CStagedObject::is_absent(const wchar_t* name) const {
    return name == nullptr || get_attr(name).empty();
}

LdapHelper::security_descriptor CStagedObject::get_sd() const {
    throw std::logic_error("a staged client object has no security descriptor");
}

void CStagedObject::set_sd(const LdapHelper::security_descriptor&, uint32_t) {
    throw std::logic_error("a staged client object has no security descriptor");
}

void CStagedObject::ApplyTo(LdapHelper::object& target) const {
    for (const auto& [name, value] : changes_) {
        target.set_attr(name, value);
    }
}

void CNodeImporter::Release() {
    KvBase::GetTrace().Trace(KvBase::TraceInfo, "%s::%s()", TypeName(), "CNodeImporter::Release");
    delete this;
}

template <class Holder, class Query>
bool CNodeImporter::ImportT(const CNodeHolder& record, const wchar_t* objectClass,
                            uint64_t& counter) {
    Holder node;
    static_cast<CNodeHolder&>(node) = record;
    TLdapCreator<Query> creator(*session_, objectClass);
    try {
        // Converted before anything is searched or written, so that a record the file holds in
        // a form the directory cannot take changes nothing there: no half-made object, no
        // existing object half overwritten and marked migrated.
        CStagedObject staged;
        staged << node;
        LdapHelper::object_ptr object = creator.CreateIf(node.name);
        CAutoCommitObject guard(object);
        staged.ApplyTo(*object);
        guard.Commit();
        ++counter;
        journal_->Record(node.className, node.name, node.name,
                         creator.LastOutcome() == TLdapCreator<Query>::Outcome::Created
                             ? ObjectAction::Created
                             : ObjectAction::Updated);
        return true;
    } catch (const KvBase::CKvError& e) {
        PrintMessage(ErrorLine(node.name, e.Description()));
        if (creator.LastOutcome() == TLdapCreator<Query>::Outcome::AlreadyMigrated) {
            journal_->Record(node.className, node.name, node.name, ObjectAction::Skipped,
                             e.Description());
        } else {
            journal_->RecordFailure(node.className, node.name, node.name, e);
        }
        ReportClientError(e);
        // Without rights, or without the server, every further record would fail the same way.
        if (e.Code() == kAccessDenied || IsConnectionLost(e.Code())) {
            counters_->stoppedBy = e.Code();
            return false;
        }
        return true;
    } catch (const std::invalid_argument& e) {
        ReportConversion(node, e);
    } catch (const std::out_of_range& e) {
        ReportConversion(node, e);
    }
    return true;
}

void CNodeImporter::ReportConversion(const CNodeHolder& record, const std::exception& e) const {
    const KvBase::CKvError error(Platform::Utf8ToWide(e.what()), KvBase::SourceName(__FILE__),
                                 __LINE__, L"operator <<");
    PrintMessage(ErrorLine(record.name, error.Description()));
    journal_->RecordFailure(record.className, record.name, record.name, error);
    ReportClientError(error);
}

bool CGlobalNodeImporter::Import(const CNodeHolder& record) {
    return ImportT<CGlobalNodeHolder, GlobalQuery>(record, GlobalCategory, counters_->globals);
}

std::wstring CGlobalNodeImporter::ErrorLine(const std::wstring&,
                                            const std::wstring& description) const {
    return JoinParts({L"Global Quill Data import finished with error: ", description});
}

bool CUsersNodeImporter::Import(const CNodeHolder& record) {
    return ImportT<CUserNodeHolder, UserQuery>(record, L"user", counters_->users);
}

std::wstring CUsersNodeImporter::ErrorLine(const std::wstring& name,
                                           const std::wstring& description) const {
    return JoinParts({L"User ", name, L" import finished with error: ", description});
}

bool CElidsNodeImporter::Import(const CNodeHolder& record) {
    return ImportT<CElidNodeHolder, ElidQuery>(record, ElidCategory, counters_->tokens);
}

std::wstring CElidsNodeImporter::ErrorLine(const std::wstring& name,
                                           const std::wstring& description) const {
    return JoinParts({L"User token ", name, L" import finished with error: ", description});
}

}  // namespace KvMigration
