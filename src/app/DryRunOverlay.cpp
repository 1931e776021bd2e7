#include "app/DryRunOverlay.h"

#include <algorithm>

#include "app/EntryFilter.h"
#include "ldap/LdapHelper.h"

namespace KvMigration {
namespace {

using LdapHelper::LdapEntryData;
using LdapHelper::LdapModification;
using LdapHelper::SearchRequest;
using LdapHelper::SearchResult;

// Longer values (bodies, keys) are not indexed; a search for one scans the made entries.
constexpr size_t kIndexedValue = 256;

using Attribute = std::pair<std::string, std::vector<std::string>>;

std::vector<Attribute>::iterator FindAttribute(LdapEntryData& entry, const std::string& name) {
    return std::find_if(
        entry.attributes.begin(), entry.attributes.end(),
        [&](const Attribute& attribute) { return SameText(attribute.first, name); });
}

// What a search asking for `request.attributes` gets of an entry.
LdapEntryData Projected(const LdapEntryData& entry, const SearchRequest& request) {
    const auto& wanted = request.attributes;
    const bool all = wanted.empty() || std::find(wanted.begin(), wanted.end(), "*") != wanted.end();
    LdapEntryData copy{entry.dn, {}};
    for (const Attribute& attribute : entry.attributes) {
        const bool asked = all || std::any_of(wanted.begin(), wanted.end(), [&](const auto& name) {
                               return SameText(name, attribute.first);
                           });
        if (asked && !attribute.second.empty()) {
            copy.attributes.push_back(attribute);
        }
    }
    const bool dnAsked = std::any_of(wanted.begin(), wanted.end(), [](const std::string& name) {
        return SameText(name, "distinguishedName");
    });
    if (dnAsked && FindAttribute(copy, "distinguishedName") == copy.attributes.end()) {
        copy.attributes.push_back({"distinguishedName", {entry.dn}});
    }
    return copy;
}

std::string ParentOf(const std::string& dn) {
    std::string rdn;
    std::string parent;
    return LdapHelper::SplitFirstRdn(dn, rdn, parent) ? parent : std::string();
}

// Whether the made entry `folded` is in the scope of a search from the folded `base`.
bool InScope(int scope, const std::string& base, const std::string& folded) {
    switch (scope) {
        case LdapHelper::SCOPE_BASE:
            return folded == base;
        case LdapHelper::SCOPE_ONELEVEL:
            return FoldText(ParentOf(folded)) == base;
        default:
            return DnAtOrBelow(folded, base);
    }
}

}  // namespace

void ApplyModifications(LdapEntryData& entry, const std::vector<LdapModification>& mods) {
    for (const LdapModification& mod : mods) {
        const int op = mod.op & ~LdapHelper::LDAP_MODOP_BVALUES;
        auto found = FindAttribute(entry, mod.type);
        if (op == LdapHelper::LDAP_MODOP_REPLACE ||
            (op == LdapHelper::LDAP_MODOP_DELETE && mod.values.empty())) {
            if (found != entry.attributes.end()) {
                entry.attributes.erase(found);
            }
            if (op == LdapHelper::LDAP_MODOP_REPLACE && !mod.values.empty()) {
                entry.attributes.push_back({mod.type, mod.values});
            }
            continue;
        }
        if (found == entry.attributes.end()) {
            if (op == LdapHelper::LDAP_MODOP_DELETE) {
                continue;
            }
            entry.attributes.push_back({mod.type, {}});
            found = std::prev(entry.attributes.end());
        }
        std::vector<std::string>& values = found->second;
        for (const std::string& value : mod.values) {
            auto same = std::find(values.begin(), values.end(), value);
            if (op == LdapHelper::LDAP_MODOP_DELETE && same != values.end()) {
                values.erase(same);
            } else if (op != LdapHelper::LDAP_MODOP_DELETE && same == values.end()) {
                values.push_back(value);
            }
        }
        if (values.empty()) {
            entry.attributes.erase(found);
        }
    }
}

void DryRunOverlay::Index(const std::string& folded, const LdapEntryData& entry, bool present) {
    for (const auto& [type, values] : entry.attributes) {
        const std::string attribute = FoldText(type);
        for (const std::string& value : values) {
            if (value.size() > kIndexedValue) {
                continue;
            }
            auto key = std::make_pair(attribute, FoldText(value));
            if (present) {
                index_[std::move(key)].insert(folded);
            } else if (auto found = index_.find(key); found != index_.end()) {
                found->second.erase(folded);
                if (found->second.empty()) {
                    index_.erase(found);
                }
            }
        }
    }
}

void DryRunOverlay::Forget(std::map<std::string, LdapEntryData>::iterator made) {
    Index(made->first, made->second, false);
    added_.erase(made);
}

void DryRunOverlay::Add(const std::string& dn, const std::vector<LdapModification>& mods) {
    LdapEntryData entry{dn, {}};
    ApplyModifications(entry, mods);
    const std::string folded = FoldText(dn);
    modified_.erase(folded);
    if (auto made = added_.find(folded); made != added_.end()) {
        Forget(made);
    }
    Index(folded, entry, true);
    added_[folded] = std::move(entry);
}

void DryRunOverlay::Modify(const std::string& dn, const std::vector<LdapModification>& mods) {
    const std::string folded = FoldText(dn);
    if (auto made = added_.find(folded); made != added_.end()) {
        Index(folded, made->second, false);
        ApplyModifications(made->second, mods);
        Index(folded, made->second, true);
        return;
    }
    std::vector<LdapModification>& pending = modified_[folded];
    pending.insert(pending.end(), mods.begin(), mods.end());
}

void DryRunOverlay::Remove(const std::string& dn) {
    const std::string folded = FoldText(dn);
    for (auto made = added_.begin(); made != added_.end();) {
        if (DnAtOrBelow(made->first, folded)) {
            Index(made->first, made->second, false);
            made = added_.erase(made);
        } else {
            ++made;
        }
    }
    std::erase_if(modified_,
                  [&](const auto& changed) { return DnAtOrBelow(changed.first, folded); });
    removed_.insert(folded);
}

void DryRunOverlay::Rename(const std::string& dn, const std::string& newDn) {
    const std::string folded = FoldText(dn);
    auto made = added_.find(folded);
    if (made == added_.end()) {
        // The entry's values are the server's: the overlay cannot show it under the new name.
        removed_.insert(folded);
        return;
    }
    LdapEntryData entry = made->second;
    Forget(made);
    entry.dn = newDn;
    const std::string newFolded = FoldText(newDn);
    if (auto taken = added_.find(newFolded); taken != added_.end()) {
        Forget(taken);
    }
    Index(newFolded, entry, true);
    added_[newFolded] = std::move(entry);
}

bool DryRunOverlay::IsRemoved(const std::string& folded) const {
    if (removed_.empty() || added_.count(folded) != 0) {
        return false;
    }
    if (removed_.count(folded) != 0) {
        return true;
    }
    // The entry's parents: the rest of the DN after each ',' that no odd run of '\' escapes.
    size_t backslashes = 0;
    for (size_t i = 0; i < folded.size(); ++i) {
        if (folded[i] == '\\') {
            ++backslashes;
            continue;
        }
        if (folded[i] == ',' && backslashes % 2 == 0 && removed_.count(folded.substr(i + 1)) != 0) {
            return true;
        }
        backslashes = 0;
    }
    return false;
}

std::optional<SearchResult> DryRunOverlay::AnswerLocally(const SearchRequest& request) const {
    if (request.scope != LdapHelper::SCOPE_BASE || !request.base || request.base->empty()) {
        return std::nullopt;
    }
    const std::string folded = FoldText(*request.base);
    SearchResult result;
    if (auto made = added_.find(folded); made != added_.end()) {
        if (MatchesFilter(request.filter, made->second)) {
            result.entries.push_back(Projected(made->second, request));
        }
        return result;
    }
    if (IsRemoved(folded)) {
        result.result_code = LdapHelper::LDAP_RC_NO_SUCH_OBJECT;
        return result;
    }
    return std::nullopt;
}

void DryRunOverlay::Adjust(const SearchRequest& request, SearchResult& result) const {
    // The root DSE, or nothing dropped yet: the server's answer is the whole truth.
    if (!request.base || (added_.empty() && modified_.empty() && removed_.empty())) {
        return;
    }
    const std::string base = FoldText(*request.base);
    if (result.result_code == LdapHelper::LDAP_RC_NO_SUCH_OBJECT && added_.count(base) != 0) {
        result.result_code = LdapHelper::LDAP_RC_SUCCESS;
    }
    if (result.result_code != LdapHelper::LDAP_RC_SUCCESS) {
        return;
    }
    // The server's entries that the dropped writes removed or made again leave; the ones they
    // modified show the modification.
    size_t kept = 0;
    for (size_t i = 0; i < result.entries.size(); ++i) {
        LdapEntryData& entry = result.entries[i];
        const std::string folded = FoldText(entry.dn);
        if (IsRemoved(folded) || added_.count(folded) != 0) {
            continue;
        }
        if (auto changed = modified_.find(folded); changed != modified_.end()) {
            LdapEntryData changedEntry = entry;
            ApplyModifications(changedEntry, changed->second);
            entry = Projected(changedEntry, request);
        }
        if (kept != i) {
            result.entries[kept] = std::move(entry);
        }
        ++kept;
    }
    result.entries.resize(kept);
    if (!result.page_cookie.empty()) {
        return;
    }
    auto join = [&](const std::string& folded, const LdapEntryData& made) {
        if (InScope(request.scope, base, folded) && MatchesFilter(request.filter, made)) {
            result.entries.push_back(Projected(made, request));
        }
    };
    std::optional<Equality> required = RequiredEquality(request.filter);
    if (!required || required->value.size() > kIndexedValue) {
        for (const auto& [folded, made] : added_) {
            join(folded, made);
        }
        return;
    }
    if (auto found = index_.find({required->attribute, required->value}); found != index_.end()) {
        for (const std::string& folded : found->second) {
            join(folded, added_.at(folded));
        }
    }
}

}  // namespace KvMigration
