#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "ldap/LdapHelper.h"
#include "ldap/LdapSession.h"
#include "support/ScopedTempDir.h"
#include "support/ScriptedLdapClient.h"

namespace KvTest {

// A session over the scripted client, with the trace recorded and no registry file.
class ScriptedSessionTest : public testing::Test {
protected:
    ScriptedSessionTest() : registry_("KV_REGISTRY_FILE", dir_.File("missing.reg")) {
        cfg_.host = L"dc1";
        cfg_.port = 389;
        cfg_.ssl_port = 636;
    }

    LdapHelper::session_ptr Open(bool ssl = false, const wchar_t* user = L"CORP\\admin",
                                 const wchar_t* password = L"Secret-1") {
        script_->ReplyRootDse("DC=corp,DC=local");
        return LdapHelper::open_session(std::make_unique<ScriptedLdapClient>(script_), cfg_, ssl,
                                        user, password, -1);
    }

    // The calls after the opening (which ends with the root DSE search).
    std::vector<std::string> CallsAfterOpening() const {
        return std::vector<std::string>(script_->calls.begin() + static_cast<long>(opened_),
                                        script_->calls.end());
    }
    void MarkOpened() {
        opened_ = script_->calls.size();
        trace_.lines.clear();
    }

    ScopedTempDir dir_;
    ScopedEnv registry_;
    LdapHelper::server_cfg cfg_;
    std::shared_ptr<LdapScript> script_ = std::make_shared<LdapScript>();
    RecordingLdapTrace trace_;
    size_t opened_ = 0;
};

}  // namespace KvTest
