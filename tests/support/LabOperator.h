// The lab's product operator, who may read the storages but not write them: the seed keeps the
// account disabled and without a password, and a test enables it for the runs it makes with it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ldap/LdapClient.h"
#include "platform/CodePage.h"
#include "support/Lab.h"

namespace KvTest {

// Enables the account with the lab's password on `ad` and the target pair, or disables it again.
// The password is set straight through the client library, which writes no trace, so that it
// goes nowhere but to the servers.
inline void SetLabOperator(const Lab& lab, bool enabled) {
    const std::string password = lab.Value("KV_LAB_PASSWORD");
    const std::string quoted =
        Platform::WideToUtf16Le(L"\"" + Platform::Utf8ToWide(password) + L"\"");
    const std::pair<std::string, std::string> accounts[] = {
        {lab.Value("KV_LAB_AD"), "CN=kvoperator,CN=Users," + lab.Value("KV_LAB_AD_NC")},
        {lab.Value("KV_LAB_DST_SD"), "CN=kvoperator,CN=Lab Accounts,DC=korvant"},
        {lab.Value("KV_LAB_DST_GC"), "CN=kvoperator,CN=Lab Accounts,DC=korvant-gc"},
    };
    for (const auto& [host, dn] : accounts) {
        SCOPED_TRACE(dn);
        std::unique_ptr<LdapHelper::ILdapClient> client = LdapHelper::CreateOpenLdapClient();
        ASSERT_EQ(client->init(host, 389, false), 0);
        ASSERT_EQ(client->set_option(LdapHelper::LDAP_OPTION_PROTOCOL_VERSION, 3), 0);
        ASSERT_EQ(client->connect(-1), 0);
        ASSERT_EQ(client->start_tls(), 0);
        ASSERT_EQ(client->simple_bind(lab.Value("KV_LAB_USER"), password), 0);
        std::vector<LdapHelper::LdapModification> changes;
        if (enabled) {
            changes.push_back({LdapHelper::LDAP_MODOP_REPLACE | LdapHelper::LDAP_MODOP_BVALUES,
                               "unicodePwd",
                               {quoted}});
        }
        changes.push_back({LdapHelper::LDAP_MODOP_REPLACE | LdapHelper::LDAP_MODOP_BVALUES,
                           "userAccountControl",
                           {enabled ? "66048" : "66050"}});
        EXPECT_EQ(client->modify(dn, changes, {}), 0);
    }
}

}  // namespace KvTest
