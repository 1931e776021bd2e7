#include "sections/mapping/ObjectMapImporter.h"

#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "helper/Identifiers.h"
#include "ldap/LdapHelper.h"
#include "storage/LdapData.h"

namespace KvMigration {

void ImporterObjectMap::BeginImport(const MigrationContext& context, const Attributes&) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[ImporterObjectMap::BeginImport] ");
    context_ = context;
    table_.clear();
    CLdapData data(context_, SchemaUse::Source);
    serverSid_ = data.GetServerSid();
    securityDomainId_ = data.GetSecurityDomainId();
}

void ImporterObjectMap::StartNode(const std::wstring&, const Attributes& attributes) {
    auto oldId = attributes.find(L"oldId");
    auto newName = attributes.find(L"newName");
    if (oldId != attributes.end() && newName != attributes.end()) {
        table_[oldId->second] = Target{newName->second, true};
    }
}

std::wstring ImporterObjectMap::GetNewName(const std::wstring& oldId) const {
    auto found = table_.find(oldId);
    return found == table_.end() ? std::wstring() : found->second.newName;
}

std::wstring ImporterObjectMap::MapServiceSid(const std::wstring& oldId) {
    auto found = table_.find(oldId);
    if (found == table_.end()) {
        return oldId;
    }
    Target& target = found->second;
    if (!target.resolvable) {
        return L"";
    }
    // A name blanked in the file names no computer; it is not sent as an empty filter value.
    if (!target.newName.empty() && context_.storage.adSession) {
        LdapHelper::object_list computers = context_.storage.adSession->search(
            LdapHelper::query(
                L"", LdapHelper::SCOPE_SUBTREE,
                LdapHelper::conditions{
                    {L"objectClass", LdapHelper::filter_value(L"computer", true)},
                    {L"dNSHostName", LdapHelper::filter_value(target.newName, true)}}),
            {L"objectSid"});
        if (computers.size() == 1) {
            std::vector<std::string> sid = computers.front()->get_attr(L"objectSid").values();
            if (!sid.empty()) {
                return SidToString(reinterpret_cast<const uint8_t*>(sid.front().data()),
                                   sid.front().size());
            }
        }
    }
    if (context_.sections.count(SectionClients) != 0) {
        PrintWarning(L"Object " + target.newName + L" not found in Active Directory");
        target.resolvable = false;
        missing_.push_back(target.newName);
    }
    return L"";
}

std::wstring ImporterObjectMap::MissingContent() const {
    if (missing_.empty()) {
        return {};
    }
    std::wstring names;
    for (const std::wstring& name : missing_) {
        names += (names.empty() ? L"\"" : L", \"") + name + L"\"";
    }
    return FormatString(
        L"No computer of the target domain has the newName of %d service(s) of the "
        L"Mapping section (%ls), so they were left out; mend the names in the file "
        L"and import again.",
        static_cast<int>(missing_.size()), names.c_str());
}

}  // namespace KvMigration
