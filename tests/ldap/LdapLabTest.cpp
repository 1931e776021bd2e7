// Against the directory lab: real Samba domain controllers (label "lab").

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "ScratchOu.h"
#include "base/KvError.h"
#include "diagnostics/ClientException.h"
#include "ldap/LdapClient.h"
#include "ldap/LdapHelper.h"
#include "platform/Guid.h"
#include "support/Lab.h"
#include "support/ScopedTempDir.h"

namespace {

using namespace LdapHelper;
using KvTest::Lab;
using KvTest::ScratchOu;
using testing::HasSubstr;

server_cfg Ad() {
    server_cfg cfg;
    cfg.host = L"127.0.0.10";
    return cfg;
}

server_cfg SourceSd() {
    server_cfg cfg;
    cfg.host = L"127.0.0.1";
    cfg.port = 50000;
    cfg.ssl_port = 50001;
    return cfg;
}

session_ptr OpenAd(bool ssl) {
    const Lab& lab = Lab::Get();
    return open_session(Ad(), ssl, lab.Admin().c_str(), lab.Password().c_str());
}

TEST(LdapLab, StartTlsSessionReadsTheRootDse) {
    KV_REQUIRE_LAB();
    session_ptr s = OpenAd(false);
    EXPECT_EQ(s->default_naming_context(), L"DC=corp,DC=local");
    object_ptr root = s->open_object(nullptr, {L"configurationNamingContext"});
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->get_attr(L"configurationNamingContext").to_string(),
              L"CN=Configuration,DC=corp,DC=local");
}

TEST(LdapLab, LdapsSessionToTheSourcePair) {
    KV_REQUIRE_LAB();
    const Lab& lab = Lab::Get();
    session_ptr s = open_session(SourceSd(), true, lab.Admin().c_str(), lab.Password().c_str());
    EXPECT_EQ(s->default_naming_context(), L"DC=korvant");
    EXPECT_EQ(s->server().ssl_port, 50001);
}

TEST(LdapLab, WrongPasswordArrivesAsTheErrorObjectOfTheMappedCode) {
    KV_REQUIRE_LAB();
    KvBase::CClientException hook;
    set_exception_handler(&hook);
    try {
        open_session(Ad(), false, Lab::Get().Admin().c_str(), L"not-the-password");
        FAIL() << "opened";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Code(), LdapMapErrorToWin32(49));
        std::wstring dump = e.Dump();
        EXPECT_THAT(dump, HasSubstr(L"Function: LDAP\r\n"));
        EXPECT_THAT(dump, HasSubstr(L"LDAP: Server: '127.0.0.10:389' User: '" + Lab::Get().Admin() +
                                    L"' Error: Invalid credentials (0x31).\r\n"));
    }
    set_exception_handler(nullptr);
}

TEST(LdapLab, KerberosBindWithTheCallersTicket) {
    KV_REQUIRE_LAB();
    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
    KvTest::ScopedEnv cache("KRB5CCNAME", "FILE:" + dir.File("ccache"));
    std::string principal = lab.Value("KV_LAB_KRB5_PRINCIPAL", "Administrator@CORP.LOCAL");
    // The password goes to kinit on its standard input, never on a command line.
    FILE* kinit = popen(("kinit " + principal + " >/dev/null 2>&1").c_str(), "w");
    ASSERT_NE(kinit, nullptr);
    std::string password = lab.Value("KV_LAB_PASSWORD") + "\n";
    fwrite(password.data(), 1, password.size(), kinit);
    ASSERT_EQ(pclose(kinit), 0) << "kinit failed for " << principal;

    std::wstring user;
    EXPECT_EQ(GetCurUserName(user), 0u);
    EXPECT_EQ(user, std::wstring(principal.begin(), principal.end()));

    server_cfg cfg = Ad();
    std::string host = lab.Value("KV_LAB_AD_HOST", "dc1.corp.local");
    cfg.host = std::wstring(host.begin(), host.end());
    session_ptr s = open_session(cfg, false, nullptr, nullptr);
    EXPECT_EQ(s->default_naming_context(), L"DC=corp,DC=local");
}

TEST(LdapLab, SearchesBySidStringAndEscapedGuid) {
    KV_REQUIRE_LAB();
    session_ptr s = OpenAd(false);
    object_ptr domain =
        s->open_object(s->default_naming_context().c_str(), {L"objectGUID", L"objectSid"});
    ASSERT_NE(domain, nullptr);
    Platform::Guid guid = domain->get_attr(L"objectGUID").to_guid();
    ASSERT_FALSE(guid.IsNull());

    object_list byGuid =
        s->search(query(L"", SCOPE_SUBTREE, conditions{{L"objectGUID", escape_filter_bytes(guid)}}),
                  {L"distinguishedName"});
    ASSERT_EQ(byGuid.size(), 1u);
    EXPECT_EQ(byGuid[0]->dn(), s->default_naming_context());

    std::wstring adminSid = L"S-1-5-21-2750934112-1638409244-3154960710-500";
    object_list bySid = s->search(
        query(L"", SCOPE_SUBTREE, conditions{{L"objectSid", filter_value(adminSid, true)}}),
        {L"sAMAccountName"});
    ASSERT_EQ(bySid.size(), 1u);
    EXPECT_EQ(bySid[0]->get_attr(L"sAMAccountName").to_string(), L"Administrator");
}

TEST(LdapLab, MissingBaseGivesAnEmptyList) {
    KV_REQUIRE_LAB();
    session_ptr s = OpenAd(false);
    EXPECT_TRUE(
        s->search(query(L"OU=does-not-exist,DC=corp,DC=local", SCOPE_SUBTREE, L"(cn=*)"), {})
            .empty());
}

TEST(LdapLab, ObjectAddedModifiedRenamedAndRemovedWithItsSubtree) {
    KV_REQUIRE_LAB();
    session_ptr s = OpenAd(false);
    ScratchOu scratch(*s, L"kv-ldap-lab-test");
    std::wstring dn = L"CN=Item (a\\, b)," + scratch.Dn();
    object_ptr item = s->add_object(dn.c_str(), L"contact");
    std::vector<uint8_t> binary = {0x00, 0xFF, 0x10, 0x80, 0x00};
    item->set_attr(L"description", attr_value(L"first"));
    item->set_attr(L"otherTelephone", attr_value(attr_list{L"+1 555 0100", L"+1 555 0101"}));
    item->set_attr(L"userCertificate", attr_value(binary));
    item->set_attr(L"info", attr_value());  // empty: not sent with the add
    item->commit();

    object_ptr read = s->open_object(
        dn.c_str(), {L"description", L"otherTelephone", L"userCertificate", L"info"});
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->get_attr(L"userCertificate").data(), binary);
    attr_list phones = read->get_attr(L"otherTelephone").to_list();
    std::sort(phones.begin(), phones.end());
    EXPECT_EQ(phones, (attr_list{L"+1 555 0100", L"+1 555 0101"}));
    EXPECT_TRUE(read->is_absent(L"info"));

    read->set_attr(L"description", attr_value(L"second"));
    read->remove_attr(L"otherTelephone");
    read->commit();
    object_ptr again = s->open_object(dn.c_str(), {L"description", L"otherTelephone"});
    EXPECT_EQ(again->get_attr(L"description").to_string(), L"second");
    EXPECT_TRUE(again->is_absent(L"otherTelephone"));

    std::wstring child = L"OU=child," + scratch.Dn();
    s->add_object(child.c_str(), L"organizationalUnit")->commit();
    std::wstring moved = L"CN=Moved," + child;
    s->rename_object(dn.c_str(), moved.c_str());
    EXPECT_EQ(s->open_object(dn.c_str(), {}), nullptr);
    ASSERT_NE(s->open_object(moved.c_str(), {L"description"}), nullptr);

    s->remove_object(child.c_str());
    EXPECT_EQ(s->open_object(moved.c_str(), {}), nullptr);
}

TEST(LdapLab, RenameKeepsAnEscapedTrailingBlankAndTakesTheOldSeparator) {
    KV_REQUIRE_LAB();
    session_ptr s = OpenAd(false);
    ScratchOu scratch(*s, KvTest::ScratchName(L"kv-ldap-rename"));
    std::wstring child = L"OU=child," + scratch.Dn();
    s->add_object(child.c_str(), L"organizationalUnit")->commit();
    std::wstring dn = L"CN=item," + scratch.Dn();
    s->add_object(dn.c_str(), L"contact")->commit();

    std::wstring blank = L"CN=item\\ ," + scratch.Dn();
    s->rename_object(dn.c_str(), blank.c_str());
    object_ptr renamed = s->open_object(blank.c_str(), {L"cn"});
    ASSERT_NE(renamed, nullptr);
    EXPECT_EQ(renamed->get_attr(L"cn").to_string(), L"item ");

    std::wstring moved = L"CN=moved;OU=child;" + scratch.Dn();
    s->rename_object(blank.c_str(), moved.c_str());
    object_ptr found = s->open_object((L"CN=moved," + child).c_str(), {L"cn"});
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->get_attr(L"cn").to_string(), L"moved");
}

// An allowed-access ACE (type 0, no flags) of the given rights for a well-known SID.
std::vector<uint8_t> AllowAce(uint32_t mask, const std::vector<uint8_t>& sid) {
    std::vector<uint8_t> ace = {0x00, 0x00, 0, 0};
    uint16_t size = static_cast<uint16_t>(8 + sid.size());
    ace[2] = static_cast<uint8_t>(size);
    ace[3] = static_cast<uint8_t>(size >> 8);
    for (int i = 0; i < 4; ++i) {
        ace.push_back(static_cast<uint8_t>(mask >> (8 * i)));
    }
    ace.insert(ace.end(), sid.begin(), sid.end());
    return ace;
}

// The ACL with the ACE put first, its size and count raised to match.
std::vector<uint8_t> WithAceFirst(const std::vector<uint8_t>& acl,
                                  const std::vector<uint8_t>& ace) {
    std::vector<uint8_t> out(acl.begin(), acl.begin() + 8);
    out.insert(out.end(), ace.begin(), ace.end());
    out.insert(out.end(), acl.begin() + 8, acl.end());
    uint16_t size = static_cast<uint16_t>(out.size());
    uint16_t count = static_cast<uint16_t>((acl[4] | acl[5] << 8) + 1);
    out[2] = static_cast<uint8_t>(size);
    out[3] = static_cast<uint8_t>(size >> 8);
    out[4] = static_cast<uint8_t>(count);
    out[5] = static_cast<uint8_t>(count >> 8);
    return out;
}

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

TEST(LdapLab, SecurityDescriptorReadWrittenBackAndReadAgain) {
    KV_REQUIRE_LAB();
    session_ptr s = OpenAd(false);
    ScratchOu scratch(*s, KvTest::ScratchName(L"kv-ldap-sd"));
    std::wstring dn = L"OU=guarded," + scratch.Dn();
    s->add_object(dn.c_str(), L"organizationalUnit")->commit();
    auto read = [&] { return s->open_object(dn.c_str(), {L"nTSecurityDescriptor"}); };
    object_ptr entry = read();
    ASSERT_NE(entry, nullptr);
    security_descriptor original = entry->get_sd();
    ASSERT_FALSE(original.owner().empty());
    ASSERT_FALSE(original.group().empty());
    ASSERT_GE(original.dacl().size(), 8u);
    EXPECT_TRUE(original.sacl().empty());  // searches ask for owner, group and DACL only

    entry->set_sd(original, DACL_SECURITY_INFORMATION);
    entry->commit();
    object_ptr unchanged = read();
    ASSERT_NE(unchanged, nullptr);
    EXPECT_EQ(unchanged->get_sd(), original);

    // Everyone may read the object's properties (ADS_RIGHT_DS_READ_PROP).
    const std::vector<uint8_t> everyone = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    std::vector<uint8_t> ace = AllowAce(0x10, everyone);
    security_descriptor changed = original;
    changed.set_dacl(WithAceFirst(original.dacl(), ace), true);
    object_ptr writer = read();
    ASSERT_NE(writer, nullptr);
    writer->set_sd(changed, DACL_SECURITY_INFORMATION);
    writer->commit();

    object_ptr reread = read();
    ASSERT_NE(reread, nullptr);
    security_descriptor again = reread->get_sd();
    EXPECT_EQ(again.owner(), original.owner());
    EXPECT_EQ(again.group(), original.group());
    EXPECT_TRUE(Contains(again.dacl(), ace));
    EXPECT_FALSE(Contains(original.dacl(), ace));
    EXPECT_EQ(again.dacl()[4] | again.dacl()[5] << 8,
              (original.dacl()[4] | original.dacl()[5] << 8) + 1);
}

}  // namespace
