#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>

#include "base/KvError.h"
#include "base/SystemMessages.h"
#include "diagnostics/ClientException.h"
#include "diagnostics/CrashCatcher.h"
#include "diagnostics/ReportError.h"
#include "ldap/LdapClient.h"
#include "platform/Registry.h"
#include "support/RunProcess.h"
#include "support/ScopedTempDir.h"

namespace {

using testing::HasSubstr;

TEST(ClientException, LibraryFailureBecomesTheErrorObjectOfTheMappedCode) {
    KvBase::CClientException hook;
    LdapHelper::set_exception_handler(&hook);
    try {
        LdapHelper::report_failure(
            49, "Server: 'dc1:389' User: 'CORP\\admin' Error: Invalid credentials (0x31).",
            "LdapHelper", 212);
        FAIL() << "no failure";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Code(), 1323u);
        EXPECT_EQ(e.Dump(),
                  L"Code: 0x0000052B\r\n"
                  L"Description: Unable to update the password. The value provided as the current "
                  L"password is incorrect.\r\n"
                  L"File: LdapHelper\r\n"
                  L"Function: LDAP\r\n"
                  L"LDAP: Server: 'dc1:389' User: 'CORP\\admin' Error: Invalid credentials "
                  L"(0x31).\r\n"
                  L"Line: 212\r\n");
    }
    LdapHelper::set_exception_handler(nullptr);
}

TEST(ClientException, EveryMappedDirectoryCodeHasItsText) {
    for (uint32_t code : {0u, 1u, 10u, 32u, 49u, 50u, 53u, 68u, 80u, 81u, 85u, 91u, 97u, 98u,
                          0x80070005u, 0x8007053Au}) {
        SCOPED_TRACE(code);
        EXPECT_TRUE(KvBase::SystemMessageText(LdapHelper::LdapMapErrorToWin32(code)).has_value());
    }
    for (uint32_t code = 0; code < 0x62; ++code) {
        SCOPED_TRACE(code);
        EXPECT_TRUE(KvBase::SystemMessageText(LdapHelper::LdapMapErrorToWin32(code)).has_value());
    }
}

TEST(CrashCatcher, SignalsMapToTheCrashTable) {
    struct Case {
        int signal;
        int code;
        bool overflow;
        uint32_t expected;
    };
    const Case cases[] = {
        {SIGSEGV, SEGV_MAPERR, false, 0xE6060005},
        {SIGSEGV, SEGV_MAPERR, true, 0xE6060018},
        {SIGBUS, BUS_ADRALN, false, 0xE6060008},
        {SIGBUS, BUS_ADRERR, false, 0xE6060011},
        {SIGFPE, FPE_INTDIV, false, 0xE6060012},
        {SIGFPE, FPE_INTOVF, false, 0xE6060013},
        {SIGFPE, FPE_FLTDIV, false, 0xE606000A},
        {SIGFPE, FPE_FLTINV, false, 0xE606000C},
        {SIGILL, ILL_ILLOPC, false, 0xE6060010},
        {SIGILL, ILL_PRVOPC, false, 0xE6060016},
        {SIGTRAP, TRAP_BRKPT, false, 0xE6060007},
        {SIGTRAP, TRAP_TRACE, false, 0xE6060017},
        {SIGFPE, 0, false, 1064},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.signal << "/" << c.code);
        EXPECT_EQ(KvBase::CrashCode(c.signal, c.code, c.overflow), c.expected);
    }
}

TEST(CrashCatcher, ReportIsNamedAfterTheProgramAndTheTickCount) {
    KvTest::ScopedTempDir dir;
    KvTest::ScopedEnv tmp("TMPDIR", dir.Path());
    EXPECT_EQ(KvBase::CrashReportPath("/usr/bin/KvMigrationUtil", 0x12AB34),
              dir.Path() + "/KvMigrationUtil-0012AB34.dmp");
    EXPECT_EQ(KvBase::CrashReportPath("/opt/tool.bin", 1), dir.Path() + "/tool-00000001.dmp");
    EXPECT_EQ(KvBase::CrashReportPath("", 1), dir.Path() + "/dmpfile-00000001.dmp");
}

TEST(CrashCatcher, CrashInAChildEndsWithTheReportTheFatalOutputAndStatus255) {
    struct Case {
        const char* kind;
        const char* description;
        const char* signalLine;
    };
    const Case cases[] = {
        {"null-read", "0xE6060005 (-435814395)", "Signal: 11 (Segmentation fault)"},
        {"divide", "0xE6060012 (-435814382)", "Signal: 8 (Floating point exception)"},
        {"abort", "0xE6060019 (-435814375)", "Signal: 6 (Aborted)"},
        // Another thread holds the lock of standard output: the report must not need it.
        {"thread-alive", "0xE6060005 (-435814395)", "Signal: 11 (Segmentation fault)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        KvTest::ScopedTempDir dir;
        KvTest::ScopedTempDir traceDir;  // keeps the child's trace out of the machine's log folder
        KvTest::WriteFile(
            traceDir.File("r.reg"),
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\n"
            "\"TracePath\"=\"" +
                traceDir.Path() + "\"\n");
        auto started = std::chrono::steady_clock::now();
        KvTest::ProcessResult result = KvTest::RunProcess(
            CRASH_CHILD, {c.kind},
            {{"TMPDIR", dir.Path()}, {"KV_REGISTRY_FILE", traceDir.File("r.reg")}}, 60);
        EXPECT_LT(std::chrono::steady_clock::now() - started,
                  std::chrono::seconds(KvBase::CrashHandlerSeconds));
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, "");
        std::vector<std::filesystem::path> reports;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            reports.push_back(entry.path());
        }
        ASSERT_EQ(reports.size(), 1u);
        // The fatal output on standard error, with where to look next.
        EXPECT_EQ(result.err, std::string(c.description) +
                                  "\nCrash report: " + reports[0].string() +
                                  "\nTrace file: " + traceDir.File("KvMigrationUtil.log") + "\n");
        std::string name = reports[0].filename().string();
        EXPECT_THAT(name, testing::MatchesRegex("crash_child-[0-9A-F]{8}\\.dmp"));
        std::string report = KvTest::ReadFile(reports[0].string());
        EXPECT_THAT(report, HasSubstr(c.signalLine));
        EXPECT_THAT(report, HasSubstr("\nBacktrace:\n"));
        EXPECT_THAT(report, HasSubstr("\nMemory map:\n"));
        std::string trace = KvTest::ReadFile(traceDir.File("KvMigrationUtil.log"));
        EXPECT_THAT(trace,
                    testing::ContainsRegex(
                        "[0-9]{2}\\.[0-9]{2}\\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}"
                        "\\[[0-9A-F]+:[0-9A-F]+\\] W> Code: 0x"));
        EXPECT_THAT(trace, HasSubstr(std::string("\r\nDescription: ") + c.description +
                                     "\r\nMiniDumpFile: " + reports[0].string() + "\r\n"));
        EXPECT_THAT(trace, testing::EndsWith("] End.\r\n"));
    }
}

class RecordingSink : public KvBase::IEventSink {
public:
    void Write(const KvBase::EventRecord& record) override { records.push_back(record); }
    std::vector<KvBase::EventRecord> records;
};

TEST(ReportError, HonoursBothListsAndTheSetupMarker) {
    KvTest::ScopedTempDir dir;
    std::string marker = dir.File("KvSetupIsRunning");
    struct Case {
        uint32_t code;
        bool setupRunning;
        int expected;  // -1 nothing, 0 error, 1 warning
    };
    const Case cases[] = {
        {0xE6010006, false, 1}, {0xE6010006, true, -1},  {0x000006F7, true, -1},
        {0x000006F7, false, 0}, {0xE601005B, false, -1}, {0x000004C7, false, -1},
        {0xE6090016, true, 1},  {0x80004005, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code << " setup " << c.setupRunning);
        std::filesystem::remove(marker);
        if (c.setupRunning) {
            KvTest::WriteFile(marker, "");
        }
        RecordingSink sink;
        KvBase::ReportErrorTo(KvBase::CKvError(c.code, L"", 0, L""), sink, marker, false);
        if (c.expected < 0) {
            EXPECT_TRUE(sink.records.empty());
            continue;
        }
        ASSERT_EQ(sink.records.size(), 1u);
        EXPECT_EQ(sink.records[0].warning, c.expected == 1);
        EXPECT_EQ(sink.records[0].eventId, c.expected == 1 ? 0xA6000008u : 0xE6000007u);
    }
}

TEST(ReportError, RecordCarriesProgramCodeDescriptionAndDebugInfo) {
    RecordingSink sink;
    KvBase::CKvError error(L"Not found security domain", L"KvMigrationUtil", 464, L"GetDomainSdDn");
    KvBase::ReportErrorTo(error, sink, "/nonexistent/marker", false);
    ASSERT_EQ(sink.records.size(), 1u);
    const KvBase::EventRecord& record = sink.records[0];
    EXPECT_EQ(record.code, L"80004005");
    EXPECT_EQ(record.description, L"Not found security domain");
    EXPECT_EQ(record.debugInfo, std::string("File\0KvMigrationUtil\0Line\0"
                                            "464\0Function\0GetDomainSdDn\0",
                                            53));
    EXPECT_THAT(record.program, testing::EndsWith(L"diagnostics_tests"));
}

TEST(ReportError, SwitchedOffByNoReportErrorWhateverTheCode) {
    RecordingSink sink;
    KvBase::ReportErrorTo(KvBase::CKvError(0x80004005u, L"", 0, L""), sink, "/nonexistent", true);
    EXPECT_TRUE(sink.records.empty());

    auto on = Platform::RegFileRegistry::FromText(
        L"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KvCC0]\r\n"
        L"\"NoReportError\"=dword:00000001\r\n");
    EXPECT_TRUE(KvBase::ReportingSwitchedOff(on));
    auto zero = Platform::RegFileRegistry::FromText(
        L"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KvCC0]\r\n"
        L"\"NoReportError\"=dword:00000000\r\n");
    EXPECT_FALSE(KvBase::ReportingSwitchedOff(zero));
    EXPECT_FALSE(KvBase::ReportingSwitchedOff(Platform::RegFileRegistry()));
}

TEST(ReportError, GoesToTheInstalledSink) {
    RecordingSink sink;
    KvBase::SetEventSink(&sink);
    KvBase::ReportError(KvBase::CKvError(0xE6010075u, L"", 0, L""));  // never reported
    KvBase::ReportError(KvBase::CKvError(0xE6090004u, L"", 0, L""));
    KvBase::SetEventSink(nullptr);
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].code, L"e6090004");
    EXPECT_TRUE(sink.records[0].warning);
}

}  // namespace
