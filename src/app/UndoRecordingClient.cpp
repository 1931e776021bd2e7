#include "app/UndoRecordingClient.h"

#include <algorithm>
#include <set>

#include "app/EntryFilter.h"
#include "app/UndoLdif.h"
#include "base/KvError.h"
#include "ldap/LdapHelper.h"
#include "ldap/LdapSession.h"
#include "platform/CodePage.h"

namespace KvMigration {
namespace {

using LdapHelper::LdapControl;
using LdapHelper::LdapEntryData;
using LdapHelper::LdapModification;

constexpr uint32_t kPageSize = 500;

// What the directory makes itself and refuses, or makes anew, on an add: an entry added back
// gets new ones of these (a new objectGUID above all).
bool IsMadeByServer(const std::string& name) {
    static const std::set<std::string> made = {"objectguid",
                                               "objectsid",
                                               "whencreated",
                                               "whenchanged",
                                               "usncreated",
                                               "usnchanged",
                                               "name",
                                               "instancetype",
                                               "objectcategory",
                                               "distinguishedname",
                                               "dscorepropagationdata",
                                               "replpropertymetadata",
                                               "ntsecuritydescriptor"};
    return made.count(FoldText(name)) != 0;
}

// RDNs above the entry: parents have fewer, so sorting by it puts them first.
size_t Depth(const std::string& dn) {
    size_t depth = 0;
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\') {
            ++i;
        } else if (dn[i] == ',' || dn[i] == ';') {
            ++depth;
        }
    }
    return depth;
}

bool HasControl(const std::vector<LdapControl>& controls, const char* oid) {
    return std::any_of(controls.begin(), controls.end(),
                       [oid](const LdapControl& control) { return control.oid == oid; });
}

std::vector<LdapControl> SdFlagsOf(const std::vector<LdapControl>& controls) {
    std::vector<LdapControl> kept;
    std::copy_if(
        controls.begin(), controls.end(), std::back_inserter(kept),
        [](const LdapControl& control) { return control.oid == LdapHelper::OID_SD_FLAGS; });
    return kept;
}

// A refusal by the server: the change did not happen. A client-side failure (no answer, the
// connection lost) may come after the server made the change, so its reversal stays.
bool Refused(int rc) {
    return rc != 0 && rc < LdapHelper::LDAP_RC_SERVER_DOWN;
}

std::wstring Wide(const std::string& text) {
    return Platform::Utf8ToWide(text);
}

}  // namespace

UndoRecordingClient::UndoRecordingClient(std::unique_ptr<LdapHelper::ILdapClient> inner,
                                         std::shared_ptr<UndoFolder> folder)
    : ForwardingLdapClient(std::move(inner)), folder_(std::move(folder)) {}

int UndoRecordingClient::init(const std::string& host, int port, bool ssl) {
    host_ = host;
    port_ = port;
    ssl_ = ssl;
    return inner_->init(host, port, ssl);
}

int UndoRecordingClient::add(const std::string& dn, const std::vector<LdapModification>& mods,
                             const std::vector<LdapControl>& controls) {
    folder_->CheckUsable();
    int rc = 0;
    // An entry that is there already makes the add fail: deleting it would destroy what the
    // import found, so no reversal is saved for it.
    if (!Read(dn, LdapHelper::SCOPE_BASE, {"1.1"}, {}, rc).empty()) {
        return inner_->add(dn, mods, controls);
    }
    if (rc != 0) {
        return rc;
    }
    return SendSaved(LdifDeleteRecord(dn), [&] { return inner_->add(dn, mods, controls); });
}

int UndoRecordingClient::modify(const std::string& dn, const std::vector<LdapModification>& mods,
                                const std::vector<LdapControl>& controls) {
    folder_->CheckUsable();
    std::vector<LdifAttribute> previous;
    std::vector<std::string> names;
    for (const LdapModification& mod : mods) {
        const bool listed = std::any_of(previous.begin(), previous.end(),
                                        [&](const auto& a) { return SameText(a.first, mod.type); });
        if (!listed) {
            previous.push_back({mod.type, {}});
            names.push_back(mod.type);
        }
    }
    // The security descriptor is read with the flags it is written with, so that the parts the
    // change replaces (and only those) come back.
    const std::vector<LdapControl> sdFlags = SdFlagsOf(controls);
    int rc = 0;
    std::vector<LdapEntryData> entries = Read(dn, LdapHelper::SCOPE_BASE, names, sdFlags, rc);
    if (rc != 0) {
        return rc;
    }
    if (entries.empty()) {
        // The modification of a missing entry fails and changes nothing.
        return inner_->modify(dn, mods, controls);
    }
    for (const auto& [name, values] : entries.front().attributes) {
        for (LdifAttribute& attribute : previous) {
            if (SameText(attribute.first, name)) {
                attribute.second = values;
            }
        }
    }
    return SendSaved(LdifRestoreRecord(dn, previous, sdFlags),
                     [&] { return inner_->modify(dn, mods, controls); });
}

int UndoRecordingClient::remove(const std::string& dn, const std::vector<LdapControl>& controls) {
    folder_->CheckUsable();
    const int scope = HasControl(controls, LdapHelper::OID_TREE_DELETE) ? LdapHelper::SCOPE_SUBTREE
                                                                        : LdapHelper::SCOPE_BASE;
    int rc = 0;
    std::vector<LdapEntryData> entries = Read(dn, scope, {}, {}, rc);
    if (rc != 0) {
        return rc;
    }
    if (entries.empty()) {
        return inner_->remove(dn, controls);
    }
    std::string records;
    for (const LdapEntryData& entry : entries) {
        std::vector<LdifAttribute> attributes;
        for (const auto& [name, values] : entry.attributes) {
            if (!IsMadeByServer(name)) {
                attributes.push_back({name, values});
            }
        }
        records += LdifAddRecord(entry.dn, attributes);
    }
    return SendSaved(records, [&] { return inner_->remove(dn, controls); });
}

int UndoRecordingClient::rename(const std::string& dn, const std::string& new_rdn,
                                const std::string& new_parent, bool delete_old_rdn,
                                const std::vector<LdapControl>& controls) {
    folder_->CheckUsable();
    std::string oldRdn;
    std::string oldParent;
    if (!LdapHelper::SplitFirstRdn(dn, oldRdn, oldParent)) {
        // A DN that does not parse is refused by the server before anything changes.
        return inner_->rename(dn, new_rdn, new_parent, delete_old_rdn, controls);
    }
    const std::string movedParent = new_parent.empty() ? oldParent : new_parent;
    const std::string movedDn = movedParent.empty() ? new_rdn : new_rdn + "," + movedParent;
    return SendSaved(LdifMoveRecord(movedDn, oldRdn, new_parent.empty() ? "" : oldParent), [&] {
        return inner_->rename(dn, new_rdn, new_parent, delete_old_rdn, controls);
    });
}

std::vector<LdapEntryData> UndoRecordingClient::Read(const std::string& dn, int scope,
                                                     const std::vector<std::string>& attributes,
                                                     const std::vector<LdapControl>& controls,
                                                     int& rc) {
    LdapHelper::SearchRequest request;
    request.base = dn;
    request.scope = scope;
    request.filter = "(objectClass=*)";
    request.attributes = attributes;
    request.server_controls = controls;
    if (scope != LdapHelper::SCOPE_BASE) {
        request.page_size = kPageSize;
    }
    std::vector<LdapEntryData> entries;
    do {
        LdapHelper::SearchResult result;
        rc = inner_->search(request, result);
        if (rc != 0) {
            return {};
        }
        // No entry there (or none in this partition): the change will be refused and needs no
        // reversal. Only the first page can say so: a later one that does has lost the entries
        // below, and a tree delete sent then would take them without their reversal.
        const bool firstPage = request.page_cookie.empty();
        if (firstPage && (result.result_code == LdapHelper::LDAP_RC_NO_SUCH_OBJECT ||
                          result.result_code == LdapHelper::LDAP_RC_REFERRAL)) {
            return {};
        }
        if (result.result_code != LdapHelper::LDAP_RC_SUCCESS) {
            Fail(L"The entry \"" + Wide(dn) + L"\" could not be read for its undo record: " +
                 Wide(LdapHelper::LdapErrorString(result.result_code)) +
                 L". Nothing more was written.");
        }
        for (LdapEntryData& entry : result.entries) {
            for (const auto& attribute : entry.attributes) {
                // A ranged value list is only a part of the values: written back, it would lose
                // the rest.
                if (attribute.first.find(";range=") != std::string::npos) {
                    Fail(L"The attribute \"" + Wide(attribute.first) + L"\" of \"" +
                         Wide(entry.dn) +
                         L"\" has more values than one read returns, so its undo record cannot "
                         L"hold them. Nothing more was written.");
                }
            }
            entries.push_back(std::move(entry));
        }
        request.page_cookie = result.page_cookie;
    } while (request.page_size && !request.page_cookie.empty());
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return Depth(a.dn) < Depth(b.dn); });
    return entries;
}

std::pair<std::shared_ptr<UndoFile>, size_t> UndoRecordingClient::Save(const std::string& records) {
    try {
        std::shared_ptr<UndoFile> file = folder_->FileFor(host_, port_, ssl_);
        const size_t record = file->Append(records);
        return {std::move(file), record};
    } catch (const KvBase::CKvError& e) {
        Fail(e.Description() + L" The change it was to reverse was not sent.");
    }
}

template <typename Send>
int UndoRecordingClient::SendSaved(const std::string& records, Send&& send) {
    const auto [file, record] = Save(records);
    const int rc = send();
    if (Refused(rc)) {
        file->Withdraw(record);
    }
    return rc;
}

void UndoRecordingClient::Fail(const std::wstring& description) {
    folder_->SetFailure(description);
    KV_RAISE_ERROR(L"UndoRecordingClient", description);
}

}  // namespace KvMigration
