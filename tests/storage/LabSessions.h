#pragma once

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "ldap/LdapHelper.h"
#include "platform/CodePage.h"
#include "support/LabEnv.h"
#include "xml/MigrationContext.h"

namespace KvTest {

// The running directory lab: its client settings, the identifiers of its seed, and sessions to
// its instances opened as the lab administrator.
class Lab {
public:
    // Loads the settings once and puts them into this process's environment, so that libldap
    // trusts the lab CA and the registry file is the lab's. Throws when the lab is not up.
    static const Lab& Get() {
        static const Lab lab;
        return lab;
    }

    const LabEnv& Env() const { return env_; }
    const LabEnv& Ids() const { return ids_; }
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
        std::wstring user = Platform::Utf8ToWide(env_.Get("KV_LAB_USER"));
        std::wstring password = Platform::Utf8ToWide(env_.Get("KV_LAB_PASSWORD"));
        return LdapHelper::open_session(cfg, useSsl, user.c_str(), password.c_str(), -1);
    }
    LdapHelper::session_ptr OpenAd() const { return Open(env_.Get("KV_LAB_AD"), 389, 636); }

    // The source pair listens on 50000-50003, the target pair on 51000-51003.
    KvMigration::StorageSession LdsStorage(int32_t basePort) const {
        const std::string host = env_.Get("KV_LAB_LDS_HOST");
        return {OpenAd(), true, Open(host, basePort, basePort + 1),
                Open(host, basePort + 2, basePort + 3)};
    }
    KvMigration::StorageSession AdStorage() const { return {OpenAd(), false, nullptr, nullptr}; }

private:
    Lab() : env_(), ids_(env_.Get("KV_LAB_IDS")) {
        if (!env_.Loaded() || !ids_.Loaded()) {
            throw std::runtime_error("the directory lab is not up: no " + env_.Path() +
                                     " (run lab/up)");
        }
        for (const auto& [key, value] : env_.All()) {
            if (key != "KV_LAB_PASSWORD") {
                setenv(key.c_str(), value.c_str(), 1);
            }
        }
    }

    LabEnv env_;
    LabEnv ids_;
};

}  // namespace KvTest
