#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "SlowLdapServer.h"
#include "ldap/LdapClient.h"
#include "ldap/LdapHelper.h"
#include "ldap/LdapSession.h"
#include "support/ScopedTempDir.h"

namespace {

using namespace LdapHelper;

// A loopback port that accepts connections (the kernel completes them) but never answers.
class SilentServer {
public:
    SilentServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(fd_, 8);
        socklen_t length = sizeof(address);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { close(fd_); }
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

class OpenLdapClient : public testing::Test {
protected:
    OpenLdapClient() : registry_("KV_REGISTRY_FILE", dir_.File("registry.reg")) {
        KvTest::WriteFile(dir_.File("registry.reg"),
                          "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant "
                          "5\\LdapHelper]\r\n\"SearchTimeout\"=dword:00000002\r\n");
    }
    KvTest::ScopedTempDir dir_;
    KvTest::ScopedEnv registry_;
};

TEST_F(OpenLdapClient, RefusedConnectionIsAFailureWithTheServerInTheText) {
    server_cfg cfg;
    cfg.host = L"127.0.0.1";
    cfg.port = 1;  // nothing listens on tcpmux
    try {
        open_session(cfg, false, L"CORP\\admin", L"pw");
        FAIL() << "opened";
    } catch (const CExceptionHandler& e) {
        EXPECT_THAT(e.what(), testing::HasSubstr("Server: '127.0.0.1:1' User: 'CORP\\admin' "
                                                 "Error: Can't contact LDAP server (0x51)."));
    }
}

TEST_F(OpenLdapClient, SilentServerEndsWithinTheSearchTimeout) {
    SilentServer silent;
    server_cfg cfg;
    cfg.host = L"127.0.0.1";
    cfg.port = silent.Port();
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(open_session(cfg, false, L"CORP\\admin", L"pw"), CExceptionHandler);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(OpenLdapClient, PageControlTakesTheSizeZeroThatEndsAPagedSearch) {
    std::string value;
    ASSERT_EQ(BerEncodePage(0, "c1", value), 0u);
    EXPECT_EQ(value, std::string("\x30\x07\x02\x01\x00\x04\x02\x63\x31", 9));
    ASSERT_EQ(BerEncodePage(500, "", value), 0u);
    EXPECT_EQ(value, std::string("\x30\x06\x02\x02\x01\xF4\x04\x00", 8));
}

// A client bound to the slow server, with searches and the handshake bounded at one second.
std::unique_ptr<ILdapClient> BoundClient(const KvTest::SlowLdapServer& server, int writeSeconds) {
    std::unique_ptr<ILdapClient> client = CreateOpenLdapClient();
    EXPECT_EQ(client->init("127.0.0.1", server.Port(), false), 0);
    client->set_timeouts({1, writeSeconds});
    client->set_option(LDAP_OPTION_PROTOCOL_VERSION, 3);
    EXPECT_EQ(client->connect(-1), 0);
    EXPECT_EQ(client->simple_bind("CN=tester", "pw"), 0);
    return client;
}

TEST_F(OpenLdapClient, WritesOutlastTheSearchTimeout) {
    KvTest::SlowLdapServer server(std::chrono::milliseconds(1500));
    std::unique_ptr<ILdapClient> client = BoundClient(server, 30);
    const LdapModification change{LDAP_MODOP_REPLACE | LDAP_MODOP_BVALUES, "description", {"x"}};
    struct Case {
        const char* name;
        std::function<int()> write;
    };
    const Case cases[] = {
        {"delete",
         [&] {
             return client->remove("OU=tree,DC=x", {{OID_TREE_DELETE, std::nullopt, true}});
         }},
        {"add", [&] { return client->add("CN=a,DC=x", {change}, {}); }},
        {"modify", [&] { return client->modify("CN=a,DC=x", {change}, {}); }},
        {"rename", [&] { return client->rename("CN=a,DC=x", "CN=b", "OU=y,DC=x", true, {}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.write(), 0);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
    }
    EXPECT_EQ(server.WritesAnswered(), 4);
}

TEST_F(OpenLdapClient, WriteGivesUpAtTheWriteTimeout) {
    KvTest::SlowLdapServer server(std::chrono::seconds(30));
    std::unique_ptr<ILdapClient> client = BoundClient(server, 2);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client->remove("OU=tree,DC=x", {}), LDAP_RC_TIMEOUT);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::seconds(2));
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_EQ(client->last_error(), LDAP_RC_TIMEOUT);
}

}  // namespace
