#include "SessionFixture.h"

#include <chrono>

namespace {

using namespace LdapHelper;
using KvTest::Entry;
using KvTest::ScriptedSessionTest;
using testing::ElementsAre;

class Objects : public ScriptedSessionTest {
protected:
    void SetUp() override {
        session_ = Open();
        MarkOpened();
    }
    object_ptr Existing() {
        script_->Reply(
            0, {Entry("CN=obj,DC=corp,DC=local", {{"description", {"old"}}, {"cn", {"obj"}}})});
        return session_->open_object(L"CN=obj,DC=corp,DC=local", {});
    }
    session_ptr session_;
};

constexpr int kAdd = LDAP_MODOP_ADD | LDAP_MODOP_BVALUES;
constexpr int kReplace = LDAP_MODOP_REPLACE | LDAP_MODOP_BVALUES;

TEST_F(Objects, NewObjectIsAddedWithoutItsEmptyValues) {
    object_ptr created = session_->add_object(L"CN=new,DC=corp,DC=local", L"container");
    EXPECT_TRUE(created->is_new());
    created->set_attr(L"description", attr_value(L"text"));
    created->set_attr(L"empty", attr_value());
    created->set_attr(L"blank", attr_value(std::wstring()));
    created->set_attr(L"multi", attr_value(attr_list{L"a", L"b"}));
    created->set_attr(L"one", attr_value(attr_list{L"a"}));
    created->commit();
    ASSERT_EQ(script_->changes.size(), 1u);
    const KvTest::LdapChange& change = script_->changes[0];
    EXPECT_EQ(change.op, "add");
    EXPECT_EQ(change.dn, "CN=new,DC=corp,DC=local");
    EXPECT_THAT(change.mods, ElementsAre(LdapModification{kAdd, "blank", {std::string(1, '\0')}},
                                         LdapModification{kAdd, "description", {"text"}},
                                         LdapModification{kAdd, "multi", {"a", "b"}},
                                         LdapModification{kAdd, "objectClass", {"container"}},
                                         LdapModification{kAdd, "one", {"a"}}));
    EXPECT_TRUE(change.controls.empty());
    EXPECT_FALSE(created->is_new());
    EXPECT_FALSE(created->is_modified());
    EXPECT_EQ(created->get_attr(L"multi").to_list(), (attr_list{L"a", L"b"}));
    EXPECT_EQ(trace_.lines[0],
              L"I: Add object (dn: CN=new,DC=corp,DC=local, objectClass: container)");
    EXPECT_EQ(trace_.lines[1], L"I: ---> commit(CN=new,DC=corp,DC=local): ADD");
    EXPECT_EQ(trace_.lines[2], L"I: Number of attributes: 5");
    EXPECT_EQ(trace_.lines[3], L"I: Attr[0]: blank blocks: 1 multi: false");
    EXPECT_EQ(trace_.lines[4], L"I: Size: 1\nData:\n  00" + std::wstring(46, L' ') + L" | .\r\n");
}

TEST_F(Objects, ExistingObjectIsReplacedAndAnEmptyValueRemovesTheAttribute) {
    object_ptr found = Existing();
    ASSERT_NE(found, nullptr);
    EXPECT_FALSE(found->is_absent(L"cn"));
    EXPECT_TRUE(found->is_absent(L"mail"));
    found->remove_attr(L"description");
    found->set_attr(L"cn", attr_value(L"renamed"));
    EXPECT_TRUE(found->is_modified());
    EXPECT_FALSE(found->is_new());
    EXPECT_FALSE(found->is_absent(L"description"));
    EXPECT_TRUE(found->get_attr(L"description").empty());
    trace_.lines.clear();
    found->commit();
    ASSERT_EQ(script_->changes.size(), 1u);
    EXPECT_EQ(script_->changes[0].op, "modify");
    EXPECT_THAT(script_->changes[0].mods,
                ElementsAre(LdapModification{kReplace, "cn", {"renamed"}},
                            LdapModification{kReplace, "description", {}}));
    EXPECT_THAT(
        trace_.lines,
        ElementsAre(L"I: ---> commit(CN=obj,DC=corp,DC=local): REPLACE",
                    L"I: Number of attributes: 2", L"I: Attr[0]: cn blocks: 1 multi: false",
                    L"I: Size: 7\nData:\n  72 65 6E 61 6D 65 64" + std::wstring(28, L' ') +
                        L" | renamed\r\n",
                    L"I: Attr[1]: description blocks: 0 multi: false", L"I: Remove attribute!"));
}

TEST_F(Objects, CommitWithoutChangesSendsNothing) {
    object_ptr found = Existing();
    trace_.lines.clear();
    found->commit();
    EXPECT_TRUE(script_->changes.empty());
    EXPECT_TRUE(trace_.lines.empty());
}

TEST_F(Objects, FailedCommitKeepsThePendingChanges) {
    object_ptr found = Existing();
    found->set_attr(L"cn", attr_value(L"x"));
    script_->changeRc = 19;
    EXPECT_THROW(found->commit(), CExceptionHandler);
    EXPECT_TRUE(found->is_modified());
    EXPECT_EQ(trace_.lines.back(), L"E: ldap_modify_s: 00000013 Constraint violation");
}

TEST_F(Objects, HexDumpLinesAreSeventyOneCharactersWhenFull) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 20; ++i) {
        data.push_back(static_cast<uint8_t>(i == 3 ? 'A' : 0x7F + i));
    }
    std::wstring dump = detail::hex_dump(data.data(), data.size());
    size_t firstEnd = dump.find(L"\r\n") + 2;
    EXPECT_EQ(firstEnd, 71u);
    EXPECT_EQ(dump.substr(0, firstEnd),
              L"  7F 80 81 41 83 84 85 86  87 88 89 8A 8B 8C 8D 8E | ...A............\r\n");
    EXPECT_EQ(dump.substr(firstEnd),
              L"  8F 90 91 92                                      | ....\r\n");
}

TEST_F(Objects, CommitOfAMultiMegabyteValueDumpsOnlyItsFirstBytes) {
    std::vector<uint8_t> photo(8 << 20);
    for (size_t i = 0; i < photo.size(); ++i) {
        photo[i] = static_cast<uint8_t>('A' + i % 16);
    }
    object_ptr found = Existing();
    found->set_attr(L"jpegPhoto", attr_value(photo));
    trace_.lines.clear();
    auto start = std::chrono::steady_clock::now();
    found->commit();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    ASSERT_EQ(script_->changes.size(), 1u);
    EXPECT_EQ(script_->changes[0].mods[0].values[0].size(), photo.size());
    ASSERT_EQ(trace_.lines.size(), 4u);
    const std::wstring& dump = trace_.lines[3];
    const std::wstring head = L"I: Size: 8388608\nData:\n";
    const std::wstring line =
        L"  41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50 | ABCDEFGHIJKLMNOP\r\n";
    const std::wstring tail = L" ... 8384512 more bytes not dumped\r\n";
    EXPECT_EQ(dump.size(), head.size() + 256 * line.size() + tail.size());
    EXPECT_EQ(dump.substr(0, head.size() + line.size()), head + line);
    EXPECT_EQ(dump.substr(dump.size() - line.size() - tail.size()), line + tail);
}

TEST_F(Objects, ValueOfFourKibibytesIsDumpedWhole) {
    object_ptr found = Existing();
    found->set_attr(L"jpegPhoto", attr_value(std::vector<uint8_t>(4096, 'z')));
    trace_.lines.clear();
    found->commit();
    ASSERT_EQ(trace_.lines.size(), 4u);
    EXPECT_EQ(trace_.lines[3].size(), std::wstring(L"I: Size: 4096\nData:\n").size() + 256 * 71);
}

TEST_F(Objects, RemoveSendsTheCriticalTreeDeleteControl) {
    session_->remove_object(L"OU=scratch,DC=corp,DC=local");
    EXPECT_THAT(CallsAfterOpening(), ElementsAre("remove OU=scratch,DC=corp,DC=local"));
    EXPECT_THAT(script_->removeControls,
                ElementsAre(LdapControl{"1.2.840.113556.1.4.805", std::nullopt, true}));
}

TEST_F(Objects, RemoveOfANullDnIsInvalidDnSyntax) {
    try {
        session_->remove_object(nullptr);
        FAIL() << "no failure";
    } catch (const CExceptionHandler& e) {
        EXPECT_THAT(e.what(), testing::HasSubstr("Invalid DN syntax (0x22)., Code: 34"));
    }
    EXPECT_THAT(CallsAfterOpening(), testing::IsEmpty());
}

TEST_F(Objects, RenameSplitsTheNewDnAfterItsFirstName) {
    struct Case {
        const wchar_t* newDn;
        const char* call;
    };
    const Case cases[] = {
        {L"CN=b,OU=x,DC=corp",
         "rename CN=a,OU=x,DC=corp -> CN=b | OU=x,DC=corp delete=1 controls=0"},
        {L"CN=Smith\\, John,OU=y,DC=corp",
         "rename CN=a,OU=x,DC=corp -> CN=Smith\\, John | OU=y,DC=corp delete=1 controls=0"},
        {L"CN=top", "rename CN=a,OU=x,DC=corp -> CN=top |  delete=1 controls=0"},
        {L"CN=foo\\ ,OU=x,DC=corp",
         "rename CN=a,OU=x,DC=corp -> CN=foo\\  | OU=x,DC=corp delete=1 controls=0"},
        {L"CN=x;OU=y,DC=corp",
         "rename CN=a,OU=x,DC=corp -> CN=x | OU=y,DC=corp delete=1 controls=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        session_->rename_object(L"CN=a,OU=x,DC=corp", c.newDn);
        EXPECT_EQ(script_->calls.back(), c.call);
    }
}

TEST_F(Objects, MissingSecurityDescriptorCallsTheHooksTwice) {
    struct Recorder : IExceptionHandler {
        void handle(uint32_t code, const std::string& message, const char*, int32_t) override {
            seen.emplace_back(code, message);
        }
        std::vector<std::pair<uint32_t, std::string>> seen;
    } hook;
    object_ptr found = Existing();
    set_exception_handler(&hook);
    EXPECT_THROW(found->get_sd(), CExceptionHandler);
    set_exception_handler(nullptr);
    EXPECT_THAT(hook.seen, ElementsAre(std::make_pair(13u, std::string("Error read SD")),
                                       std::make_pair(0x80004005u, std::string("Fatal error SD"))));
}

TEST_F(Objects, SecurityDescriptorIsStagedWithItsFlagsControl) {
    security_descriptor sd;
    const uint8_t owner[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    sd.set_owner(std::vector<uint8_t>(owner, owner + 12));
    sd.set_dacl({2, 0, 8, 0, 0, 0, 0, 0}, true);
    object_ptr found = Existing();
    found->set_sd(sd, DACL_SECURITY_INFORMATION);
    EXPECT_EQ(found->get_sd(), sd);
    found->commit();
    ASSERT_EQ(script_->changes.size(), 1u);
    EXPECT_THAT(script_->changes[0].controls,
                ElementsAre(LdapControl{"1.2.840.113556.1.4.801",
                                        std::string("\x30\x03\x02\x01\x04", 5), true}));
    const std::string& bytes = script_->changes[0].mods[0].values[0];
    EXPECT_EQ(script_->changes[0].mods[0].type, "nTSecurityDescriptor");
    EXPECT_EQ(bytes.size(), sd.length());
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x01\x00\x04\x80", 4));
}

TEST(SecurityDescriptor, SelfRelativeRoundTripAndDamagedBytes) {
    security_descriptor sd;
    sd.set_owner({1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0});
    sd.set_group({1, 1, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0});
    sd.set_dacl({2, 0, 8, 0, 0, 0, 0, 0}, true);
    std::vector<uint8_t> bytes = sd.to_self_relative();
    EXPECT_EQ(bytes.size(), 20u + 8 + 12 + 12);
    EXPECT_EQ(security_descriptor::from_self_relative(bytes), sd);
    for (size_t cut : {size_t{0}, size_t{19}, bytes.size() - 1}) {
        SCOPED_TRACE(cut);
        try {
            security_descriptor::from_self_relative(bytes.data(), cut);
            FAIL() << "accepted";
        } catch (const sd_exception& e) {
            EXPECT_EQ(e.hresult(), 0x8007053Au);
        }
    }
}

}  // namespace
