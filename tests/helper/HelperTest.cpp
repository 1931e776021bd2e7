#include "base/KvError.h"
#include "helper/Base64.h"
#include "helper/CValue.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "helper/Identifiers.h"
#include "helper/ObjectText.h"
#include "platform/CodePage.h"
#include "support/ScopedTempDir.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace KvMigration;

uint32_t CodeOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const KvBase::CKvError& e) {
        return e.Code();
    }
    return 0;
}

TEST(FormatString, AcceptsExactly2047Characters) {
    EXPECT_EQ(FormatString(L"%ls", std::wstring(2047, L'x').c_str()).size(), 2047u);
    EXPECT_EQ(FormatStringA("%s", std::string(2047, 'x').c_str()).size(), 2047u);
    try {
        FormatString(L"%ls", std::wstring(2048, L'x').c_str());
        FAIL();
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), "string too long");
    }
    EXPECT_THROW(FormatStringA("%s", std::string(2048, 'x').c_str()), std::length_error);
    EXPECT_EQ(FormatString(L"100%% %ls", L"done"), L"100% done");
}

// A text matched literally by a death test's regular expression.
std::string Escaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

// A registry file that points the trace of a death test's child at a scratch folder.
class FatalOutputDeathTest : public testing::Test {
protected:
    FatalOutputDeathTest() : registry_("KV_REGISTRY_FILE", dir_.File("r.reg")) {}
    void SetUp() override {
        KvTest::WriteFile(
            dir_.File("r.reg"),
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\n"
            "\"TracePath\"=\"" +
                dir_.Path() + "\"\n");
    }
    std::string Log() { return KvTest::ReadFile(dir_.File("KvMigrationUtil.log")); }

    KvTest::ScopedTempDir dir_;
    KvTest::ScopedEnv registry_;
};

TEST_F(FatalOutputDeathTest, OverlongTextIsCutInsteadOfFailingInTheGuard) {
    EXPECT_EXIT(PrintFatalException("Failed: %s", std::runtime_error(std::string(5000, 'x'))),
                testing::ExitedWithCode(255), "");
    const std::string log = Log();
    const std::string cut = "W> Failed: " + std::string(1800, 'x') + "\r\n";
    EXPECT_NE(log.find(cut), std::string::npos) << log.substr(0, 200);
    EXPECT_NE(log.find("End.\r\n"), std::string::npos);
}

TEST_F(FatalOutputDeathTest, TheTracedDumpKeepsEveryEntryAfterDebugInfo) {
    KvBase::CKvError error(L"Not found security domain", L"KvMigrationUtil", 464, L"GetDomainSdDn");
    error.DebugInfo();
    EXPECT_EXIT(PrintFatalError(error), testing::ExitedWithCode(255), "");
    const std::string log = Log();
    EXPECT_NE(log.find("W> Code: 0x80004005\r\nDebugInfo: File KvMigrationUtil Line 464 Function "
                       "GetDomainSdDn  \r\nDescription: Not found security domain\r\nFile: "
                       "KvMigrationUtil\r\nFunction: GetDomainSdDn\r\nLine: 464\r\n"),
              std::string::npos)
        << log;
}

TEST_F(FatalOutputDeathTest, BelowTheRedLineComeTheDirectorysWordsTheCallersAndTheTrace) {
    KvBase::CKvError error(49, L"LdapHelper", 116, L"LDAP");
    error.SetEntry(L"LDAP",
                   L"Server: 'dc1:389' User: 'CORP\\admin' Error: Invalid credentials "
                   L"(0x31).");
    const std::string trace = "Trace file: " + dir_.File("KvMigrationUtil.log") + "\n";
    EXPECT_EXIT(PrintFatalError(error, {L"Name the domain controller with -dc."}),
                testing::ExitedWithCode(255),
                "^" +
                    Escaped(Platform::WideToAnsi(error.Description()) +
                            "\nServer: 'dc1:389' User: 'CORP\\admin' Error: Invalid credentials "
                            "(0x31).\nName the domain controller with -dc.\n" +
                            trace) +
                    "$");
    EXPECT_EXIT(PrintFatalError(std::wstring_view(L"Plain failure.")), testing::ExitedWithCode(255),
                "^" + Escaped("Plain failure.\n" + trace) + "$");
}

TEST(Base64, EncodesAndDecodes) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const Case cases[] = {
        {{'a', 'b', 'c'}, "YWJj"},
        {{0}, "AA=="},
        {{0xFF, 0xEE}, "/+4="},
        {{}, ""},
        {{0xFB, 0xFF, 0xBF, 0x00}, "+/+/AA=="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Base64Encode(c.bytes), c.text);
        EXPECT_EQ(Base64Decode(c.text), c.bytes);
    }
}

TEST(Base64, DecodingSkipsForeignCharactersAndStopsAtPadding) {
    EXPECT_EQ(Base64Decode("YW Jj"), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(Base64Decode("YWJj\r\nYWJj"), (std::vector<uint8_t>{'a', 'b', 'c', 'a', 'b', 'c'}));
    EXPECT_EQ(Base64Decode("YQ==YWJj"), (std::vector<uint8_t>{'a'}));
    EXPECT_EQ(Base64Decode("Y"), (std::vector<uint8_t>{}));
}

TEST(Sid, StringFormRoundTrips) {
    for (const wchar_t* text : {L"S-1-5-21-1004336348-1177238915-682003330-512", L"S-1-5-18",
                                L"S-1-1-0", L"S-1-5", L"S-1-0x123456789ABC-1"}) {
        SCOPED_TRACE(testing::Message() << Platform::WideToUtf8(text));
        EXPECT_EQ(SidToString(StringToSid(text)), text);
    }
    EXPECT_EQ(StringToSid(L"S-1-5-32-544"),
              (SidBytes{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0}));
}

TEST(Sid, RejectsTextsAndBytesThatAreNoSid) {
    for (const wchar_t* text :
         {L"", L"S-", L"S-1", L"X-1-5-18", L"S-2-5-18", L"S-1-5-", L"S-1-5--1", L"S-1-5-4294967296",
          L"S-1-5-1x", L"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", L"S-1-281474976710656"}) {
        SCOPED_TRACE(testing::Message() << Platform::WideToUtf8(text));
        EXPECT_EQ(CodeOf([&] { StringToSid(text); }), 13u);
    }
    const uint8_t shortSid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0};
    EXPECT_EQ(CodeOf([&] { SidToString(shortSid, sizeof(shortSid)); }), 1337u);
    EXPECT_EQ(CodeOf([&] { SidToString(nullptr, 0); }), 1337u);
}

TEST(Guid, TextFormRoundTripsInLowerCase) {
    Platform::Guid guid = GuidFromString(L"079AA557-4A18-424A-8EEE-E39F0A8D41B9");
    EXPECT_EQ(StringFromGuid(guid), L"079aa557-4a18-424a-8eee-e39f0a8d41b9");
    EXPECT_EQ(guid.ToBytes()[0], 0x57);  // Data1 is little-endian in the binary layout
    EXPECT_EQ(guid.ToBytes()[8], 0x8E);
    EXPECT_EQ(StringToGuid(L"079aa557-4a18-424a-8eee-e39f0a8d41b9"), guid);
}

TEST(Guid, RejectsEmptyAndMalformedTexts) {
    EXPECT_EQ(CodeOf([] { GuidFromString(L""); }), 13u);
    EXPECT_EQ(CodeOf([] { StringToGuid(L""); }), 13u);
    for (const wchar_t* text :
         {L"{079aa557-4a18-424a-8eee-e39f0a8d41b9}", L"079aa557-4a18-424a-8eee-e39f0a8d41b",
          L"079aa557x4a18-424a-8eee-e39f0a8d41b9", L"079aa557-4a18-424a-8eee-e39f0a8d41bg",
          L"079aa55-74a18-424a-8eee-e39f0a8d41b9"}) {
        SCOPED_TRACE(testing::Message() << Platform::WideToUtf8(text));
        EXPECT_EQ(CodeOf([&] { GuidFromString(text); }), 13u);
        EXPECT_EQ(CodeOf([&] { StringToGuid(text); }), 1705u);
    }
}

TEST(LocalComputer, SidComesFromTheRegistryFile) {
    KvTest::ScopedTempDir dir;
    KvTest::ScopedEnv env("KV_REGISTRY_FILE", dir.File("r.reg"));
    EXPECT_EQ(CodeOf([] { GetLocalComputerSID(); }), 1332u);
    KvTest::WriteFile(
        dir.File("r.reg"),
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]\n\"ComputerSid\"=\"bad\"\n");
    EXPECT_EQ(CodeOf([] { GetLocalComputerSID(); }), 13u);
    KvTest::WriteFile(dir.File("r.reg"),
                      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]\n"
                      "\"ComputerSid\"=\"S-1-5-21-1-2-3-1000\"\n");
    EXPECT_EQ(GetLocalComputerSID(), L"S-1-5-21-1-2-3-1000");
    std::wstring name = GetComputerNameW();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find(L'.'), std::wstring::npos);
}

TEST(CValue, SingleAndListAccess) {
    CValue list(std::vector<std::wstring>{L"a", L"b"});
    EXPECT_EQ(CodeOf([&] { list.GetString(); }), 13u);
    EXPECT_EQ(list.GetMultiString(), (std::vector<std::wstring>{L"a", L"b"}));
    CValue emptyList(std::vector<std::wstring>{});
    EXPECT_EQ(emptyList.GetString(), L"");
    EXPECT_TRUE(emptyList.IsEmpty());
    CValue single(L"x");
    EXPECT_EQ(CodeOf([&] { single.GetMultiString(); }), 13u);
    EXPECT_TRUE(CValue(L"").GetMultiString().empty());
    try {
        single.GetMultiString();
    } catch (const KvBase::CKvError& e) {
        EXPECT_NE(e.Dump().find(L"Function: CValue::GetMultiString"), std::wstring::npos);
    }
}

TEST(ObjectText, KindNamesAndDescriptions) {
    EXPECT_EQ(GetObjectClassName(KindICheck), L"iche\u0441k");
    EXPECT_EQ(GetObjectClassName(KindICheck)[4], L'\u0441');
    EXPECT_EQ(CodeOf([] { GetObjectClassName(6); }), 13u);
    EXPECT_EQ(CodeOf([] { GetObjectClassName(-1); }), 13u);
    EXPECT_EQ(ObjectDescription(KindServer, L"S-1-5-21-1-2-3-1000", L"srv", L""),
              L"Object \"server\" with id=S-1-5-21-1-2-3-1000 name=srv");
    EXPECT_EQ(ObjectDescription(KindContainer, L"g", L"", L"corp.local/OU"),
              L"Object \"container\" with id=g canonicalName=corp.local/OU");
    EXPECT_EQ(DirectoryText(std::wstring(L"a\0b\0", 4)), L"ab");
}

}  // namespace
