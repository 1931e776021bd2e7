#pragma once

// A scripted LDAP client for the directory library's tests: it records every call in order and
// answers from a script, so tests can check exact option, control and modification sequences.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ldap/LdapClient.h"
#include "ldap/LdapHooks.h"

namespace KvTest {

struct SearchReply {
    int rc = 0;  // a client-side failure; 0 when the result below arrived
    LdapHelper::SearchResult result;
};

struct LdapChange {
    std::string op;  // "add" or "modify"
    std::string dn;
    std::vector<LdapHelper::LdapModification> mods;
    std::vector<LdapHelper::LdapControl> controls;
};

struct LdapScript {
    // Every call as one line: "init host:389 ssl=0", "set_option 17=3", "search ..." ...
    std::vector<std::string> calls;
    std::vector<LdapHelper::SearchRequest> searches;
    std::vector<LdapHelper::LdapControl> removeControls;
    std::vector<LdapChange> changes;
    std::deque<SearchReply> replies;  // answered in order; none left: an empty success

    int initRc = 0;
    int setOptionRc = 0;
    int connectRc = 0;
    int startTlsRc = 0;
    int bindRc = 0;
    int changeRc = 0;  // add, modify, remove, rename
    int unbindRc = 0;
    int sslOptionValue = 1;
    std::string hostName = "dc1.corp.local";

    // Scripts the root DSE read of the opening.
    void ReplyRootDse(const std::string& namingContext);
    void Reply(int resultCode, std::vector<LdapHelper::LdapEntryData> entries = {},
               std::vector<LdapHelper::LdapControl> controls = {}, std::string pageCookie = {});
    void ReplyFailure(int rc);
};

LdapHelper::LdapEntryData Entry(
    const std::string& dn,
    std::vector<std::pair<std::string, std::vector<std::string>>> attributes = {});

class ScriptedLdapClient final : public LdapHelper::ILdapClient {
public:
    explicit ScriptedLdapClient(std::shared_ptr<LdapScript> script) : script_(std::move(script)) {}

    int init(const std::string& host, int port, bool ssl) override;
    int set_timeouts(const LdapHelper::ClientTimeouts& timeouts) override;
    int set_option(int option, int value) override;
    int get_option(int option, int& value) override;
    int connect(int timeout_seconds) override;
    std::string host_name() const override { return script_->hostName; }
    int start_tls() override;
    bool tls_active() const override { return ssl_ || tls_; }
    int simple_bind(const std::string& login, const std::string& password) override;
    int kerberos_bind(bool security_layer) override;
    int search(const LdapHelper::SearchRequest& request, LdapHelper::SearchResult& result) override;
    int add(const std::string& dn, const std::vector<LdapHelper::LdapModification>& mods,
            const std::vector<LdapHelper::LdapControl>& controls) override;
    int modify(const std::string& dn, const std::vector<LdapHelper::LdapModification>& mods,
               const std::vector<LdapHelper::LdapControl>& controls) override;
    int remove(const std::string& dn,
               const std::vector<LdapHelper::LdapControl>& controls) override;
    int rename(const std::string& dn, const std::string& new_rdn, const std::string& new_parent,
               bool delete_old_rdn, const std::vector<LdapHelper::LdapControl>& controls) override;
    int last_error() const override { return last_; }
    int unbind() override;

private:
    int track(int rc) { return last_ = rc; }

    std::shared_ptr<LdapScript> script_;
    bool ssl_ = false;
    bool tls_ = false;
    int last_ = 0;
};

// Collects the library's trace lines as "I: text" / "E: text" for a scope and restores the
// default hook afterwards.
class RecordingLdapTrace final : public LdapHelper::ITraceHandler {
public:
    RecordingLdapTrace();
    ~RecordingLdapTrace();
    RecordingLdapTrace(const RecordingLdapTrace&) = delete;
    RecordingLdapTrace& operator=(const RecordingLdapTrace&) = delete;

    void trace(bool error, const wchar_t* format, ...) override;
    std::vector<std::wstring> lines;
};

}  // namespace KvTest
