#include "app/DryRunClient.h"

#include <algorithm>
#include <cwchar>
#include <optional>
#include <utility>

#include "app/EntryFilter.h"
#include "ldap/LdapHelper.h"
#include "platform/CodePage.h"

namespace KvMigration {
namespace {

using LdapHelper::LdapControl;
using LdapHelper::LdapModification;
using LdapHelper::SearchRequest;
using LdapHelper::SearchResult;
using Action = DroppedWrite::Action;

constexpr const char* kPolicyLink = "orvexKVPolicyLink";
// The migration mark a relink adds beside the links.
constexpr const char* kMark = "description";

// The directory's text for the console: control characters (C0, DEL, C1) as "\xNN".
std::wstring Shown(const std::string& utf8) {
    std::wstring shown;
    for (wchar_t c : Platform::Utf8ToWide(utf8)) {
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) {
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\x%02X", static_cast<unsigned>(c));
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

const wchar_t* Verb(Action action) {
    switch (action) {
        case Action::Create:
            return L"Would create";
        case Action::Update:
            return L"Would update";
        case Action::Relink:
            return L"Would relink";
        case Action::Delete:
            return L"Would delete";
        case Action::Rename:
            return L"Would rename";
    }
    return L"Would write";
}

std::string FirstRdnValue(const std::string& dn) {
    std::string rdn;
    std::string parent;
    if (!LdapHelper::SplitFirstRdn(dn, rdn, parent)) {
        return dn;
    }
    const size_t equals = rdn.find('=');
    return equals == std::string::npos ? rdn : rdn.substr(equals + 1);
}

const std::vector<std::string>* Values(
    const std::vector<std::pair<std::string, std::vector<std::string>>>& attributes,
    std::string_view name) {
    for (const auto& [type, values] : attributes) {
        if (SameText(type, name) && !values.empty()) {
            return &values;
        }
    }
    return nullptr;
}

// The kind and name of an entry from its class and naming attributes.
void TakeNames(const std::vector<std::pair<std::string, std::vector<std::string>>>& attributes,
               DroppedWrite& write) {
    // The directory lists an entry's classes from "top" down: the last is the most specific.
    if (const auto* classes = Values(attributes, "objectClass")) {
        write.kind = classes->back();
    }
    for (const char* naming : {"name", "displayName", "cn"}) {
        if (const auto* names = Values(attributes, naming)) {
            write.name = names->front();
            return;
        }
    }
}

std::vector<std::pair<std::string, std::vector<std::string>>> AsAttributes(
    const std::vector<LdapModification>& mods) {
    std::vector<std::pair<std::string, std::vector<std::string>>> attributes;
    for (const LdapModification& mod : mods) {
        attributes.emplace_back(mod.type, mod.values);
    }
    return attributes;
}

}  // namespace

DryRunListing::DryRunListing(MigrationJournalPtr journal, Printer print)
    : journal_(std::move(journal)), print_(std::move(print)) {}

void DryRunListing::Write(const DroppedWrite& write) {
    std::lock_guard guard(lock_);
    const std::wstring section = journal_ ? journal_->CurrentSection() : std::wstring();
    if (!headed_ || section != section_) {
        headed_ = true;
        section_ = section;
        print_(section.empty() ? L"Dry run, outside the sections:"
                               : L"Dry run of the " + section + L" section:");
    }
    print_(FormatDroppedWrite(write));
}

std::wstring FormatDroppedWrite(const DroppedWrite& write) {
    std::wstring line = L"  ";
    line += Verb(write.action);
    line += L' ';
    line += write.kind.empty() ? L"entry" : Shown(write.kind);
    line += L' ' + Shown(write.id);
    if (!write.name.empty() && !SameText(write.name, write.id)) {
        line += L" \"" + Shown(write.name) + L'"';
    }
    for (size_t i = 0; i < write.attributes.size(); ++i) {
        line += (i == 0 ? L": " : L", ") + Shown(write.attributes[i]);
    }
    if (write.action == Action::Rename) {
        line += L" to " + Shown(write.newDn);
    }
    line += L" (" + Shown(write.dn) + L')';
    return line;
}

DryRunLdapClient::DryRunLdapClient(std::unique_ptr<LdapHelper::ILdapClient> inner,
                                   std::shared_ptr<DryRunListing> listing)
    : ForwardingLdapClient(std::move(inner)), listing_(std::move(listing)) {}

int DryRunLdapClient::Forwarded(int rc) {
    lastDropped_ = false;
    return rc;
}

int DryRunLdapClient::search(const SearchRequest& request, SearchResult& result) {
    std::lock_guard guard(lock_);
    if (std::optional<SearchResult> local = overlay_.AnswerLocally(request)) {
        result = std::move(*local);
        return Forwarded(0);
    }
    const int rc = inner_->search(request, result);
    if (rc == 0) {
        overlay_.Adjust(request, result);
    }
    return Forwarded(rc);
}

void DryRunLdapClient::Describe(DroppedWrite& write) {
    SearchRequest request;
    request.base = write.dn;
    request.scope = LdapHelper::SCOPE_BASE;
    request.filter = "(objectClass=*)";
    request.attributes = {"objectClass", "name", "displayName", "cn"};
    SearchResult result;
    // Only the line needs it: an entry that cannot be read is listed without kind and name.
    if (search(request, result) == 0 && result.result_code == 0 && !result.entries.empty()) {
        TakeNames(result.entries.front().attributes, write);
    }
}

int DryRunLdapClient::Dropped(DroppedWrite write) {
    write.id = FirstRdnValue(write.dn);
    listing_->Write(write);
    lastDropped_ = true;
    return LdapHelper::LDAP_RC_SUCCESS;
}

int DryRunLdapClient::add(const std::string& dn, const std::vector<LdapModification>& mods,
                          const std::vector<LdapControl>&) {
    std::lock_guard guard(lock_);
    DroppedWrite write;
    write.action = Action::Create;
    write.dn = dn;
    TakeNames(AsAttributes(mods), write);
    overlay_.Add(dn, mods);
    return Dropped(std::move(write));
}

int DryRunLdapClient::modify(const std::string& dn, const std::vector<LdapModification>& mods,
                             const std::vector<LdapControl>&) {
    std::lock_guard guard(lock_);
    DroppedWrite write;
    write.dn = dn;
    Describe(write);
    bool links = false;
    bool others = false;
    for (const LdapModification& mod : mods) {
        if (std::none_of(write.attributes.begin(), write.attributes.end(),
                         [&](const std::string& name) { return SameText(name, mod.type); })) {
            write.attributes.push_back(mod.type);
        }
        links = links || SameText(mod.type, kPolicyLink);
        others = others || (!SameText(mod.type, kPolicyLink) && !SameText(mod.type, kMark));
    }
    write.action = links && !others ? Action::Relink : Action::Update;
    overlay_.Modify(dn, mods);
    return Dropped(std::move(write));
}

int DryRunLdapClient::remove(const std::string& dn, const std::vector<LdapControl>&) {
    std::lock_guard guard(lock_);
    DroppedWrite write;
    write.action = Action::Delete;
    write.dn = dn;
    Describe(write);
    overlay_.Remove(dn);
    return Dropped(std::move(write));
}

int DryRunLdapClient::rename(const std::string& dn, const std::string& new_rdn,
                             const std::string& new_parent, bool, const std::vector<LdapControl>&) {
    std::lock_guard guard(lock_);
    DroppedWrite write;
    write.action = Action::Rename;
    write.dn = dn;
    Describe(write);
    std::string parent = new_parent;
    if (parent.empty()) {
        std::string rdn;
        LdapHelper::SplitFirstRdn(dn, rdn, parent);
    }
    write.newDn = parent.empty() ? new_rdn : new_rdn + "," + parent;
    overlay_.Rename(dn, write.newDn);
    return Dropped(std::move(write));
}

int DryRunLdapClient::last_error() const {
    return lastDropped_ ? LdapHelper::LDAP_RC_SUCCESS : inner_->last_error();
}

}  // namespace KvMigration
