#pragma once

// The directory client of an import run with "-undo": before each add, modification, delete or
// rename reaches the directory, it reads what the change will overwrite and saves the LDIF that
// reverses it in the undo file of the instance. A change whose reversal could not be saved is
// never sent: the write raises, and so does every later one of the run.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/UndoFolder.h"
#include "ldap/ForwardingLdapClient.h"

namespace KvMigration {

class UndoRecordingClient final : public LdapHelper::ForwardingLdapClient {
public:
    UndoRecordingClient(std::unique_ptr<LdapHelper::ILdapClient> inner,
                        std::shared_ptr<UndoFolder> folder);

    int init(const std::string& host, int port, bool ssl) override;
    int add(const std::string& dn, const std::vector<LdapHelper::LdapModification>& mods,
            const std::vector<LdapHelper::LdapControl>& controls) override;
    int modify(const std::string& dn, const std::vector<LdapHelper::LdapModification>& mods,
               const std::vector<LdapHelper::LdapControl>& controls) override;
    int remove(const std::string& dn,
               const std::vector<LdapHelper::LdapControl>& controls) override;
    int rename(const std::string& dn, const std::string& new_rdn, const std::string& new_parent,
               bool delete_old_rdn, const std::vector<LdapHelper::LdapControl>& controls) override;

private:
    // The entries at `dn` (and below it for a subtree), parents first; empty when there is none.
    // A client-side failure (the server went away) is returned in `rc` for the write to report as
    // its own; anything else that keeps the entry from being read raises.
    std::vector<LdapHelper::LdapEntryData> Read(
        const std::string& dn, int scope, const std::vector<std::string>& attributes,
        const std::vector<LdapHelper::LdapControl>& controls, int& rc);
    // Saves a reversal before its change in the file of this client's instance, made at the
    // first change; returns the file and the record's number. Raises (and stops every later
    // change) when it cannot.
    std::pair<std::shared_ptr<UndoFile>, size_t> Save(const std::string& records);
    // Sends the change and takes its reversal back when the server refused it.
    template <typename Send>
    int SendSaved(const std::string& records, Send&& send);
    [[noreturn]] void Fail(const std::wstring& description);

    std::shared_ptr<UndoFolder> folder_;
    std::string host_;
    int port_ = 0;
    bool ssl_ = false;
};

}  // namespace KvMigration
