#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/DryRunOverlay.h"
#include "helper/MigrationJournal.h"
#include "ldap/ForwardingLdapClient.h"

namespace KvMigration {

// One write a dry run kept from the directory.
struct DroppedWrite {
    enum class Action { Create, Update, Relink, Delete, Rename };
    Action action = Action::Create;
    std::string kind;  // the entry's most specific object class; empty when unknown
    std::string id;    // the value of the DN's first relative name
    std::string name;  // "name", "displayName" or "cn"; empty when the entry has none
    std::string dn;
    std::vector<std::string> attributes;  // of an update or relink
    std::string newDn;                    // of a rename
};

// The console listing of every connection's dropped writes, one line each, under a heading
// whenever the section of the pass changes. The sessions of a run share one listing, so that
// writes alternating between the instances stay under one heading.
class DryRunListing {
public:
    using Printer = std::function<void(std::wstring_view)>;
    DryRunListing(MigrationJournalPtr journal, Printer print);

    void Write(const DroppedWrite& write);

private:
    MigrationJournalPtr journal_;
    Printer print_;
    std::mutex lock_;
    bool headed_ = false;
    std::wstring section_;
};

// "Would create orvexKVPolicyObject {…} (CN={…},CN=Policies,…)" and the like; the values of the
// directory are shown with control characters escaped, so that a name cannot drive the terminal.
std::wstring FormatDroppedWrite(const DroppedWrite& write);

// Passes every read through and keeps every add, modify, delete and rename from the server: it
// answers success, lists the write and remembers its effect for the reads that follow.
class DryRunLdapClient final : public LdapHelper::ForwardingLdapClient {
public:
    DryRunLdapClient(std::unique_ptr<LdapHelper::ILdapClient> inner,
                     std::shared_ptr<DryRunListing> listing);

    int search(const LdapHelper::SearchRequest& request, LdapHelper::SearchResult& result) override;
    int add(const std::string& dn, const std::vector<LdapHelper::LdapModification>& mods,
            const std::vector<LdapHelper::LdapControl>& controls) override;
    int modify(const std::string& dn, const std::vector<LdapHelper::LdapModification>& mods,
               const std::vector<LdapHelper::LdapControl>& controls) override;
    int remove(const std::string& dn,
               const std::vector<LdapHelper::LdapControl>& controls) override;
    int rename(const std::string& dn, const std::string& new_rdn, const std::string& new_parent,
               bool delete_old_rdn, const std::vector<LdapHelper::LdapControl>& controls) override;
    int last_error() const override;

private:
    // A call the server answered: the last error is its own again.
    int Forwarded(int rc) override;
    int Dropped(DroppedWrite write);
    // The kind and name of an entry as the directory (with the dropped writes) holds it.
    void Describe(DroppedWrite& write);

    std::shared_ptr<DryRunListing> listing_;
    DryRunOverlay overlay_;
    std::recursive_mutex lock_;
    bool lastDropped_ = false;
};

}  // namespace KvMigration
