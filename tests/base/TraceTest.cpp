#include "base/Trace.h"
#include "base/TraceImpl.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "support/ScopedTempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>

namespace {

using KvBase::CKvTrace;
using Platform::RegFileRegistry;

RegFileRegistry TraceRegistry(const std::string& body) {
    return RegFileRegistry::FromText(Platform::Utf8ToWide(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\n" + body));
}

std::string TracePathLine(const std::string& folder) {
    return "\"TracePath\"=\"" + folder + "\"\n";
}

class TraceTest : public testing::Test {
protected:
    KvTest::ScopedTempDir dir_;
};

TEST_F(TraceTest, LogFileFollowsTheRegistryConfiguration) {
    KvTest::ScopedEnv tmp("TMPDIR", dir_.Path() + "/env-temp");
    struct Case {
        const char* name;
        std::string body;
        bool hasKey;
        std::string expected;
    };
    const Case cases[] = {
        {"no key", "", false, "/var/log/korvant/KvMigrationUtil.log"},
        {"TracePath", TracePathLine(dir_.Path() + "/logs"), true,
         dir_.Path() + "/logs/KvMigrationUtil.log"},
        {"TracePath with slash", TracePathLine(dir_.Path() + "/logs/"), true,
         dir_.Path() + "/logs/KvMigrationUtil.log"},
        {"temp folder", "\"EnableMask\"=dword:0\n", true,
         dir_.Path() + "/env-temp/KvMigrationUtil.log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto registry = c.hasKey ? TraceRegistry(c.body) : RegFileRegistry();
        // Construction opens the file; only the cases inside the scratch folder may do that.
        if (!c.hasKey) {
            KvBase::CTraceImpl probe(L"KvMigrationUtil", 15, 0, 0, &registry);
            EXPECT_EQ(probe.LogPath(), c.expected);
            continue;
        }
        CKvTrace trace(L"KvMigrationUtil", 15, 9, 0x3D00, &registry);
        EXPECT_EQ(trace.LogPath(), c.expected);
        EXPECT_TRUE(trace.IsLevelEnabled(2));  // an EnableMask of 0 does not switch this trace off
    }
}

TEST_F(TraceTest, LineLayoutOfTheForcedConfiguration) {
    auto registry = TraceRegistry(TracePathLine(dir_.Path()));
    CKvTrace trace(L"KvMigrationUtil", 15, 9, 0x3D00, &registry);
    trace.Trace(4, L"wide %ls %d", L"text", 42);
    trace.Trace(2, "narrow %s", "text");
    trace.Trace(16, "level sixteen is not enabled");
    trace.Trace(2, L"");
    std::string log = KvTest::ReadFile(dir_.File("KvMigrationUtil.log"));
    const std::string banner = "\r\n" + std::string(68, '*') + "\r\n\r\n";
    ASSERT_EQ(log.substr(0, banner.size()), banner);
    std::regex lines(
        "\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\[[0-9A-F]+:[0-9A-F]+\\] W> wide "
        "text 42\r\n"
        "\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\[[0-9A-F]+:[0-9A-F]+\\] narrow "
        "text\r\n");
    EXPECT_TRUE(std::regex_match(log.substr(banner.size()), lines)) << log;
}

TEST_F(TraceTest, WideTextIsWrittenInCodePage1251) {
    auto registry = TraceRegistry(TracePathLine(dir_.Path()));
    CKvTrace trace(L"KvMigrationUtil", 15, 1, 0, &registry);
    trace.Trace(2, L"Объект %ls", L"найден");
    EXPECT_EQ(KvTest::ReadFile(dir_.File("KvMigrationUtil.log")),
              "\xCE\xE1\xFA\xE5\xEA\xF2 \xED\xE0\xE9\xE4\xE5\xED\r\n");
}

TEST_F(TraceTest, CommonFileTagsEveryLineAndWritesNoBanner) {
    auto registry = TraceRegistry("\"ForceCommonFileFlag\"=dword:1\n" + TracePathLine(dir_.Path()));
    CKvTrace trace(L"KvMigrationUtil", 15, 0x100, 0x1, &registry);
    trace.Trace(2, "line");
    // The forced configuration names the file after the module even for a shared file.
    EXPECT_EQ(KvTest::ReadFile(dir_.File("KvMigrationUtil.log")), "[KvMigrationUtil] line\r\n");
}

TEST_F(TraceTest, WithoutAppendTheFileStartsAnew) {
    KvTest::WriteFile(dir_.File("KvMigrationUtil.log"), "old content\r\n");
    auto registry = TraceRegistry(TracePathLine(dir_.Path()));
    CKvTrace trace(L"KvMigrationUtil", 15, 1, 0, &registry);
    trace.Trace(2, "new");
    EXPECT_EQ(KvTest::ReadFile(dir_.File("KvMigrationUtil.log")), "new\r\n");
}

TEST_F(TraceTest, MissingFoldersAreCreated) {
    auto registry = TraceRegistry(TracePathLine(dir_.Path() + "/a/b"));
    CKvTrace trace(L"KvMigrationUtil", 15, 1, 0, &registry);
    trace.Trace(2, "deep");
    EXPECT_EQ(KvTest::ReadFile(dir_.File("a/b/KvMigrationUtil.log")), "deep\r\n");
}

TEST_F(TraceTest, TracingKeepsErrnoAndSurvivesAnUnwritableFolder) {
    auto registry = TraceRegistry(TracePathLine("/proc/no-such-folder"));
    CKvTrace trace(L"KvMigrationUtil", 15, 9, 0x3D00, &registry);
    errno = 1234;
    trace.Trace(2, "dropped");
    trace.Trace(2, L"%ls", std::wstring(100000, L'x').c_str());
    EXPECT_EQ(errno, 1234);
}

TEST_F(TraceTest, ScopeWritesBeginAndEndWithIndentation) {
    auto registry = TraceRegistry(TracePathLine(dir_.Path()));
    CKvTrace trace(L"KvMigrationUtil", 15, 1, 0, &registry);
    {
        KvBase::TraceScope outer(trace, "[Outer] ");
        KvBase::TraceScope inner(trace, "[Inner] ");
    }
    EXPECT_EQ(KvTest::ReadFile(dir_.File("KvMigrationUtil.log")),
              "[Outer]  Begin\r\n\t[Inner]  Begin\r\n\t[Inner]  End\r\n[Outer]  End\r\n");
}

TEST(TraceDump, LaysOutValuesByWidth) {
    std::vector<uint8_t> bytes(40);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i);
    }
    EXPECT_EQ(KvBase::FormatTraceDump(bytes.data(), 10, KvBase::DumpBytes),
              L"\r\n 00: 00 01 02 03 04 05 06 07 - 08 09");
    std::wstring lines = KvBase::FormatTraceDump(bytes.data(), 34, KvBase::DumpBytes);
    EXPECT_EQ(lines.substr(lines.rfind(L"\r\n")), L"\r\n 20: 20 21");
    EXPECT_EQ(KvBase::FormatTraceDump(bytes.data(), 18, KvBase::DumpWords),
              L"\r\n 00: 0100 0302 0504 0706 0908 0B0A 0D0C 0F0E - 1110");
    EXPECT_EQ(KvBase::FormatTraceDump(bytes.data(), 8, KvBase::DumpDwords),
              L"\r\n 00: 03020100 07060504");
    std::vector<uint8_t> big(256);
    EXPECT_EQ(KvBase::FormatTraceDump(big.data(), big.size(), 0).substr(0, 9), L"\r\n 0000: ");
}

}  // namespace
