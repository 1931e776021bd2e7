#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "ldap/LdapHelper.h"
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

}  // namespace
