#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ldap/LdapClient.h"

namespace KvMigration {

// The directory of one connection as it would be had the writes a dry run dropped been sent.
// An import reads back what it has just written (a created container found again to link its
// policies, a deleted policy looked for before it is made anew); without this, those reads
// would see the untouched directory and the dry run would fail or take other paths than the
// real run takes.
class DryRunOverlay {
public:
    void Add(const std::string& dn, const std::vector<LdapHelper::LdapModification>& mods);
    void Modify(const std::string& dn, const std::vector<LdapHelper::LdapModification>& mods);
    // A tree delete: the entry and everything below it.
    void Remove(const std::string& dn);
    void Rename(const std::string& dn, const std::string& newDn);

    // The answer to a read of one entry that the overlay made or removed; nullopt when the
    // server answers it.
    std::optional<LdapHelper::SearchResult> AnswerLocally(
        const LdapHelper::SearchRequest& request) const;
    // Brings the server's answer in line with the dropped writes: removed entries leave it,
    // modified ones show their new values, made ones that the search would find join it (with
    // the last page of a paged search).
    void Adjust(const LdapHelper::SearchRequest& request, LdapHelper::SearchResult& result) const;

private:
    bool IsRemoved(const std::string& folded) const;
    // Keeps the index of the made entry's short values in step with the entry.
    void Index(const std::string& folded, const LdapHelper::LdapEntryData& entry, bool present);
    void Forget(std::map<std::string, LdapHelper::LdapEntryData>::iterator made);

    std::map<std::string, LdapHelper::LdapEntryData> added_;  // by folded DN
    std::map<std::string, std::vector<LdapHelper::LdapModification>> modified_;
    std::set<std::string> removed_;  // folded DNs of deleted subtrees
    // The made entries by (attribute, value), both folded: an import searches by name or
    // identifier once per object, and a scan of every made entry for each would grow with the
    // square of the import.
    std::map<std::pair<std::string, std::string>, std::set<std::string>> index_;
};

// The entry with the modifications applied: add, delete and replace of values.
void ApplyModifications(LdapHelper::LdapEntryData& entry,
                        const std::vector<LdapHelper::LdapModification>& mods);

}  // namespace KvMigration
