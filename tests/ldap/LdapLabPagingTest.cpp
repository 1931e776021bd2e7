// Paged searching of the real client against the directory lab (label "lab"): pages of two
// entries over a scratch OU of seven contacts in the `ad` instance.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ScratchOu.h"
#include "ldap/LdapClient.h"
#include "ldap/LdapHelper.h"
#include "ldap/LdapSession.h"
#include "platform/CodePage.h"
#include "support/Lab.h"

namespace {

using namespace LdapHelper;
using KvTest::Lab;
using KvTest::ScratchOu;
using testing::ElementsAre;

constexpr int kContacts = 7;
constexpr uint32_t kTestPageSize = 2;

// What the paging client saw of one paged request and its answer.
struct PageCall {
    uint32_t size;
    std::string cookie;  // sent
    int rc;
    int resultCode;
    size_t entries;
    std::string nextCookie;  // received
};

struct PagingLog {
    bool refuseUnpaged = false;  // answers unpaged searches as a size-limited server would
    int failPage = 0;            // the paged request (from 1) that fails on the client side
    std::vector<PageCall> pages;
};

// The real client with pages of two instead of 500, so that a session's paged search walks
// several pages of a small result; every other call goes through unchanged.
class PagingClient final : public ILdapClient {
public:
    PagingClient(std::unique_ptr<ILdapClient> real, std::shared_ptr<PagingLog> log)
        : real_(std::move(real)), log_(std::move(log)) {}

    int init(const std::string& host, int port, bool ssl) override {
        return real_->init(host, port, ssl);
    }
    int set_timeouts(const ClientTimeouts& timeouts) override {
        return real_->set_timeouts(timeouts);
    }
    int set_option(int option, int value) override { return real_->set_option(option, value); }
    int get_option(int option, int& value) override { return real_->get_option(option, value); }
    int connect(int timeout_seconds) override { return real_->connect(timeout_seconds); }
    std::string host_name() const override { return real_->host_name(); }
    int start_tls() override { return real_->start_tls(); }
    bool tls_active() const override { return real_->tls_active(); }
    int simple_bind(const std::string& login, const std::string& password) override {
        return real_->simple_bind(login, password);
    }
    int kerberos_bind(bool security_layer) override { return real_->kerberos_bind(security_layer); }
    int search(const SearchRequest& request, SearchResult& result) override {
        if (!request.page_size) {
            if (log_->refuseUnpaged) {
                result = SearchResult{};
                result.result_code = LDAP_RC_SIZELIMIT_EXCEEDED;
                return 0;
            }
            return real_->search(request, result);
        }
        SearchRequest sent = request;
        if (*sent.page_size == 500) {
            sent.page_size = kTestPageSize;
        }
        PageCall call{*sent.page_size, sent.page_cookie, 0, 0, 0, {}};
        if (static_cast<int>(log_->pages.size()) + 1 == log_->failPage) {
            call.rc = LDAP_RC_SERVER_DOWN;
        } else {
            call.rc = real_->search(sent, result);
            call.resultCode = result.result_code;
            call.entries = result.entries.size();
            call.nextCookie = result.page_cookie;
        }
        log_->pages.push_back(call);
        return call.rc;
    }
    int add(const std::string& dn, const std::vector<LdapModification>& mods,
            const std::vector<LdapControl>& controls) override {
        return real_->add(dn, mods, controls);
    }
    int modify(const std::string& dn, const std::vector<LdapModification>& mods,
               const std::vector<LdapControl>& controls) override {
        return real_->modify(dn, mods, controls);
    }
    int remove(const std::string& dn, const std::vector<LdapControl>& controls) override {
        return real_->remove(dn, controls);
    }
    int rename(const std::string& dn, const std::string& new_rdn, const std::string& new_parent,
               bool delete_old_rdn, const std::vector<LdapControl>& controls) override {
        return real_->rename(dn, new_rdn, new_parent, delete_old_rdn, controls);
    }
    int last_error() const override { return real_->last_error(); }
    int unbind() override { return real_->unbind(); }

private:
    std::unique_ptr<ILdapClient> real_;
    std::shared_ptr<PagingLog> log_;
};

class LdapLabPaging : public testing::Test {
protected:
    void SetUp() override {
        KV_REQUIRE_LAB();
        const Lab& lab = Lab::Get();
        server_cfg cfg;
        cfg.host = Platform::Utf8ToWide(lab.Value("KV_LAB_AD"));
        session_ = open_session(std::make_unique<PagingClient>(CreateOpenLdapClient(), log_), cfg,
                                false, lab.Admin().c_str(), lab.Password().c_str(), -1);
        scratch_ = std::make_unique<ScratchOu>(*session_, KvTest::ScratchName(L"kv-ldap-paging"));
        for (int i = 0; i < kContacts; ++i) {
            std::wstring dn = L"CN=contact-" + std::to_wstring(i) + L"," + scratch_->Dn();
            session_->add_object(dn.c_str(), L"contact")->commit();
            expected_.insert("contact-" + std::to_string(i));
        }
    }
    void TearDown() override {
        scratch_.reset();
        session_.reset();
    }

    ILdapClient& Client() { return static_cast<LdapSession&>(*session_).client(); }

    SearchRequest PageRequest(uint32_t size, const std::string& cookie) {
        SearchRequest request;
        request.base = Platform::WideToUtf8(scratch_->Dn());
        request.scope = SCOPE_ONELEVEL;
        request.filter = "(objectClass=contact)";
        request.attributes = {"cn"};
        request.timeout_seconds = 60;
        request.page_size = size;
        request.page_cookie = cookie;
        return request;
    }

    static std::string Cn(const LdapEntryData& entry) {
        for (const auto& [name, values] : entry.attributes) {
            if (name == "cn" && !values.empty()) {
                return values.front();
            }
        }
        return {};
    }

    query ContactQuery() const {
        return query(scratch_->Dn(), SCOPE_ONELEVEL, L"(objectClass=contact)");
    }

    std::set<std::string> Names(const object_list& objects) const {
        std::set<std::string> names;
        for (const object_ptr& found : objects) {
            names.insert(Platform::WideToUtf8(found->get_attr(L"cn").to_string()));
        }
        return names;
    }

    std::shared_ptr<PagingLog> log_ = std::make_shared<PagingLog>();
    session_ptr session_;
    std::unique_ptr<ScratchOu> scratch_;
    std::set<std::string> expected_;
};

TEST_F(LdapLabPaging, RealClientWalksEveryPageWithTheServersCookie) {
    std::set<std::string> names;
    std::vector<size_t> sizes;
    std::string cookie;
    do {
        SearchResult page;
        ASSERT_EQ(Client().search(PageRequest(kTestPageSize, cookie), page), 0);
        ASSERT_EQ(page.result_code, 0);
        sizes.push_back(page.entries.size());
        for (const LdapEntryData& entry : page.entries) {
            names.insert(Cn(entry));
        }
        cookie = page.page_cookie;
        ASSERT_LE(sizes.size(), 10u) << "the server never ends the paged search";
    } while (!cookie.empty());
    EXPECT_THAT(sizes, ElementsAre(2u, 2u, 2u, 1u));
    EXPECT_EQ(names, expected_);
}

TEST_F(LdapLabPaging, RealClientAbandonsPartWayAndTheConnectionStaysUsable) {
    SearchResult first;
    ASSERT_EQ(Client().search(PageRequest(kTestPageSize, ""), first), 0);
    ASSERT_EQ(first.entries.size(), 2u);
    ASSERT_FALSE(first.page_cookie.empty());

    // A page size of 0 with the cookie tells the server to release the search (RFC 2696).
    SearchResult abandoned;
    EXPECT_EQ(Client().search(PageRequest(0, first.page_cookie), abandoned), 0);
    EXPECT_EQ(abandoned.result_code, 0);
    EXPECT_TRUE(abandoned.entries.empty());
    EXPECT_TRUE(abandoned.page_cookie.empty());

    object_list again = session_->search(ContactQuery(), {L"cn"});
    EXPECT_EQ(Names(again), expected_);
}

TEST_F(LdapLabPaging, SessionFallsBackToPagesWhenTheServerRefusesTheWholeResult) {
    log_->refuseUnpaged = true;
    object_list found = session_->search(ContactQuery(), {L"cn"});
    EXPECT_EQ(Names(found), expected_);
    ASSERT_EQ(log_->pages.size(), 4u);
    std::string cookie;
    for (size_t i = 0; i < log_->pages.size(); ++i) {
        SCOPED_TRACE(i);
        const PageCall& call = log_->pages[i];
        EXPECT_EQ(call.size, kTestPageSize);
        EXPECT_EQ(call.cookie, cookie);
        EXPECT_EQ(call.rc, 0);
        EXPECT_EQ(call.resultCode, 0);
        cookie = call.nextCookie;
    }
    EXPECT_TRUE(cookie.empty());
}

TEST_F(LdapLabPaging, SessionReleasesTheServersSearchWhenAPageFails) {
    log_->refuseUnpaged = true;
    log_->failPage = 3;
    EXPECT_THROW(session_->search(ContactQuery(), {L"cn"}), CExceptionHandler);
    ASSERT_EQ(log_->pages.size(), 4u);
    const PageCall& second = log_->pages[1];
    const PageCall& abandon = log_->pages[3];
    EXPECT_EQ(abandon.size, 0u);
    EXPECT_EQ(abandon.cookie, second.nextCookie);
    EXPECT_EQ(abandon.rc, 0);
    EXPECT_EQ(abandon.resultCode, 0);
    EXPECT_TRUE(abandon.nextCookie.empty());

    log_->refuseUnpaged = false;
    EXPECT_EQ(Names(session_->search(ContactQuery(), {L"cn"})), expected_);
}

}  // namespace
