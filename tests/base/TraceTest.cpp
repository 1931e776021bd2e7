#include "base/Trace.h"
#include "base/TraceImpl.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "support/ScopedTempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <vector>

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

TEST_F(TraceTest, WindowsTraceFoldersArePlacedOrRefusedClearly) {
    struct Case {
        const char* title;
        std::string tracePath;
        std::string expected;
        std::string notice;
    };
    const std::vector<Case> cases = {
        {"the product's default folder", "C:\\\\Logs\\\\", "/var/log/korvant/KvMigrationUtil.log",
         ""},
        {"a folder below it", "c:\\\\logs\\\\kv", "/var/log/korvant/kv/KvMigrationUtil.log", ""},
        {"a share", "\\\\\\\\srv\\\\trace\\\\kv\\\\",
         dir_.Path() + "/unc/srv/trace/kv/KvMigrationUtil.log", ""},
        {"another drive", "D:\\\\Trace\\\\", "/var/log/korvant/KvMigrationUtil.log",
         "The trace folder \"D:\\Trace\\\" of the registry is a Windows path without a place on "
         "this machine; the trace is written to /var/log/korvant/ instead."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        auto registry = RegFileRegistry::FromText(Platform::Utf8ToWide(
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]\n\"UncRoot\"=\"" + dir_.Path() +
            "/unc\"\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\n" +
            TracePathLine(c.tracePath)));
        // Parameters 0: nothing is opened, so no folder of the machine is touched.
        KvBase::CTraceImpl probe(L"KvMigrationUtil", 15, 0, 0, &registry);
        EXPECT_EQ(probe.LogPath(), c.expected);
        std::vector<std::string> notices = probe.TakeNotices();
        EXPECT_EQ(notices.empty() ? std::string() : notices.front(), c.notice);
    }
}

TEST_F(TraceTest, TheSharedLogIsWritableByEveryone) {
    mode_t saved = umask(022);
    auto registry = TraceRegistry(TracePathLine(dir_.Path() + "/shared"));
    CKvTrace trace(L"KvMigrationUtil", 15, 1, 0, &registry);
    trace.Trace(2, "line");
    umask(saved);
    struct stat info {};
    ASSERT_EQ(stat(dir_.File("shared/KvMigrationUtil.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u);
    ASSERT_EQ(stat(dir_.File("shared").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 01777u);
}

TEST_F(TraceTest, ALinkAtTheLogNameIsNeverWrittenThrough) {
    KvTest::WriteFile(dir_.File("victim"), "precious");
    struct Case {
        const char* title;
        int (*make)(const char* target, const char* name);
    };
    const Case cases[] = {{"symbolic link", &symlink}, {"hard link", &link}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::ScopedTempDir logs;
        const std::string name = logs.File("KvMigrationUtil.log");
        ASSERT_EQ(c.make(dir_.File("victim").c_str(), name.c_str()), 0);
        auto registry = TraceRegistry(TracePathLine(logs.Path()));
        CKvTrace trace(L"KvMigrationUtil", 15, 0x101, 0, &registry);
        trace.Trace(2, "line");
        EXPECT_EQ(KvTest::ReadFile(dir_.File("victim")), "precious");
        const std::string own = logs.File("KvMigrationUtil." + std::to_string(geteuid()) + ".log");
        EXPECT_EQ(trace.LogPath(), own);
        const std::string log = KvTest::ReadFile(own);
        EXPECT_NE(log.find("line\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("W> The log file " + name +
                           " cannot be written by this user or is not a "
                           "plain file; this run writes its trace to " +
                           own + "."),
                  std::string::npos)
            << log;
    }
}

// Another user's unshared log: only root can play both users.
TEST_F(TraceTest, AnotherUsersLogMakesThisRunWriteAFileOfItsOwn) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as a second user";
    }
    const std::string logs = dir_.File("logs");
    ASSERT_EQ(mkdir(logs.c_str(), 01777), 0);
    ASSERT_EQ(chmod(logs.c_str(), 01777), 0);
    chmod(dir_.Path().c_str(), 0755);
    KvTest::WriteFile(logs + "/KvMigrationUtil.log", "root's\r\n");
    ASSERT_EQ(chmod((logs + "/KvMigrationUtil.log").c_str(), 0644), 0);
    const uid_t nobody = 65534;
    pid_t child = fork();
    if (child == 0) {
        if (setgid(nobody) != 0 || setuid(nobody) != 0) {
            _exit(2);
        }
        auto registry = TraceRegistry(TracePathLine(logs));
        CKvTrace trace(L"KvMigrationUtil", 15, 0x101, 0, &registry);
        trace.Trace(2, "nobody's line");
        _exit(trace.LogPath() == logs + "/KvMigrationUtil.65534.log" ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(KvTest::ReadFile(logs + "/KvMigrationUtil.log"), "root's\r\n");
    EXPECT_NE(KvTest::ReadFile(logs + "/KvMigrationUtil.65534.log").find("nobody's line\r\n"),
              std::string::npos);
}

TEST_F(TraceTest, AProblemWithTheLogFileIsReportedOnceAndRememberedUntilSomeoneListens) {
    struct Case {
        const char* title;
        std::string folder;
        std::wstring reported;
        std::wstring problem;  // while lines go on failing
    };
    std::filesystem::create_directories(dir_.File("linked"));
    ASSERT_EQ(symlink(dir_.File("victim").c_str(), dir_.File("linked/KvMigrationUtil.log").c_str()),
              0);
    const std::string own = "KvMigrationUtil." + std::to_string(geteuid()) + ".log";
    const Case cases[] = {
        {"a folder that cannot be made", "/proc/kv-no-such-folder",
         L"The trace file /proc/kv-no-such-folder/KvMigrationUtil.log cannot be written (No such "
         L"file or directory); this run leaves no trace.",
         L"/proc/kv-no-such-folder/KvMigrationUtil.log cannot be written (No such file or "
         L"directory)"},
        {"a link at the log's name", dir_.File("linked"),
         Platform::Utf8ToWide("The log file " + dir_.File("linked/KvMigrationUtil.log") +
                              " cannot be written by this user or is not a plain file; this run "
                              "writes its trace to " +
                              dir_.File("linked/" + own) + "."),
         L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        auto registry = TraceRegistry(TracePathLine(c.folder));
        CKvTrace trace(L"KvMigrationUtil", 15, 0x101, 0, &registry);
        std::vector<std::wstring> reported;
        trace.Trace(2, "before anyone listens");
        trace.SetProblemReporter([&](const std::wstring& problem) { reported.push_back(problem); });
        for (int i = 0; i < 3; ++i) {
            trace.Trace(2, "line %d", i);
        }
        EXPECT_EQ(reported, std::vector<std::wstring>{c.reported});
        EXPECT_EQ(trace.WriteProblem(), c.problem);
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.File("victim")));
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
