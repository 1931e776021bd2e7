#pragma once

// The running directory lab for the integration tests: its client settings, the identifiers of
// its seed, and sessions to its instances opened as the lab administrator.

#include <fcntl.h>
#include <sys/file.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "helper/MigrationContext.h"
#include "ldap/LdapHelper.h"
#include "platform/CodePage.h"
#include "support/LabEnv.h"
#include "support/RunProcess.h"

namespace KvTest {

class Lab {
public:
    // Loads the settings once and puts them into this process's environment (all but the
    // password), so that libldap trusts the lab CA and the registry file is the lab's. A lab
    // that is down loads nothing; KV_REQUIRE_LAB then fails the test with a clear message.
    static const Lab& Get() {
        static const Lab lab;
        return lab;
    }

    bool Up() const { return env_.Loaded() && ids_.Loaded(); }
    const LabEnv& Env() const { return env_; }
    const LabEnv& Ids() const { return ids_; }
    std::string Value(const std::string& key, const std::string& fallback = {}) const {
        std::string value = env_.Get(key);
        return value.empty() ? fallback : value;
    }
    std::wstring Admin() const { return Platform::Utf8ToWide(Value("KV_LAB_USER")); }
    std::wstring Password() const { return Platform::Utf8ToWide(Value("KV_LAB_PASSWORD")); }
    // "-cr" of the program: the administrator login and the password.
    std::string Credentials() const {
        return Value("KV_LAB_USER") + ":" + Value("KV_LAB_PASSWORD");
    }

    std::string Id(const std::string& key) const {
        std::string value = ids_.Get(key);
        if (value.empty()) {
            throw std::runtime_error("the lab's identifiers lack " + key);
        }
        return value;
    }
    std::wstring WideId(const std::string& key) const { return Platform::Utf8ToWide(Id(key)); }
    std::wstring OmsSid() const { return Platform::Utf8ToWide(env_.Get("KV_LAB_OMS_SID")); }

    LdapHelper::session_ptr Open(const std::string& host, int32_t port, int32_t sslPort,
                                 bool useSsl = false) const {
        LdapHelper::server_cfg cfg;
        cfg.host = Platform::Utf8ToWide(host);
        cfg.port = port;
        cfg.ssl_port = sslPort;
        return LdapHelper::open_session(cfg, useSsl, Admin().c_str(), Password().c_str(), -1);
    }
    LdapHelper::session_ptr OpenAd() const { return Open(env_.Get("KV_LAB_AD"), 389, 636); }
    // The second Active Directory domain (new.local), for imports into another domain.
    LdapHelper::session_ptr OpenAdNew() const { return Open(env_.Get("KV_LAB_AD_NEW"), 389, 636); }

    // The source pair listens on 50000-50003, the target pair on 51000-51003.
    KvMigration::StorageSession LdsStorage(int32_t basePort) const {
        return LdsStorage(basePort, OpenAd());
    }
    KvMigration::StorageSession LdsStorage(int32_t basePort, LdapHelper::session_ptr ad) const {
        const std::string host = env_.Get("KV_LAB_LDS_HOST");
        return {std::move(ad), true, Open(host, basePort, basePort + 1),
                Open(host, basePort + 2, basePort + 3)};
    }
    KvMigration::StorageSession AdStorage() const { return {OpenAd(), false, nullptr, nullptr}; }

    // Brings instances back to their seeded state (lab/reset): "dst-sd", "dst-gc", ..., or
    // "dst-new" for the target pair tied to the second domain. Throws when the reset fails.
    void Reset(const std::vector<std::string>& instances) const {
        ProcessResult result = RunProcess(std::string(KV_LAB_DIR) + "/reset", instances, {}, 120);
        if (result.status != 0) {
            throw std::runtime_error("lab/reset failed: " + result.err);
        }
    }

private:
    Lab() : env_(), ids_(env_.Get("KV_LAB_IDS")) {
        // A lab instance reset under an open session closes its socket; the next write must fail
        // as a directory error, as in the program, not kill the test process.
        std::signal(SIGPIPE, SIG_IGN);
        HoldTestLock();
        for (const auto& [key, value] : env_.All()) {
            if (key != "KV_LAB_PASSWORD") {
                setenv(key.c_str(), value.c_str(), 1);
            }
        }
    }

    // One process at a time uses the lab: lab tests reset and write shared instances, so two
    // suites (or a suite and bench/export-bench.sh) running at once would see each other's
    // writes. The lock is held until the process ends; scripts take it with flock(1).
    void HoldTestLock() const {
        const std::string home = env_.Get("KV_LAB_HOME");
        if (home.empty()) {
            return;
        }
        const std::string path = home + "/tests.lock";
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || flock(fd, LOCK_EX) != 0) {
            throw std::runtime_error("cannot lock " + path);
        }
    }

    LabEnv env_;
    LabEnv ids_;
};

// Fails the test (or the fixture's SetUp) with a clear message when the lab is down; for files
// that include gtest.
#define KV_REQUIRE_LAB()                                                                   \
    do {                                                                                   \
        if (!::KvTest::Lab::Get().Up()) {                                                  \
            FAIL() << "The directory lab is not up: " << ::KvTest::Lab::Get().Env().Path() \
                   << " or its identifiers are missing. Start it with lab/up.";            \
        }                                                                                  \
    } while (0)

}  // namespace KvTest
