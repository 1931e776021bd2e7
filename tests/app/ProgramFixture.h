#pragma once

// Runs the real binary with a registry file of its own (trace in a scratch folder, a computer
// SID) and the output of both standard streams kept apart.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/RunProcess.h"
#include "support/ScopedTempDir.h"
#include "support/TerminalProcess.h"

namespace KvTest {

class ProgramFixture : public testing::Test {
protected:
    void SetUp() override {
        WriteRegistry("\"TracePath\"=\"" + dir_.Path() + "/logs\"\r\n");
        std::filesystem::create_directories(dir_.File("work"));
    }

    // The registry file with the computer SID and `traceValues` under the trace key.
    void WriteRegistry(const std::string& traceValues) {
        WriteFile(dir_.File("registry.reg"),
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]\r\n"
                  "\"ComputerSid\"=\"S-1-5-21-1-2-3-1000\"\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\r\n" +
                      traceValues);
    }

    std::map<std::string, std::string> Environment() const {
        return {{"KV_REGISTRY_FILE", dir_.File("registry.reg")}, {"NO_COLOR", "1"}};
    }

    ProcessResult Run(const std::vector<std::string>& arguments,
                      std::map<std::string, std::string> environment = {}) {
        environment.merge(Environment());
        return RunProcess(KV_BINARY_PATH, arguments, environment, 60, dir_.File("work"));
    }

    TerminalResult RunOnTerminal(const std::vector<std::string>& arguments,
                                 TerminalOptions options) {
        options.environment = Environment();
        options.workingFolder = dir_.File("work");
        return KvTest::RunOnTerminal(KV_BINARY_PATH, arguments, options);
    }

    std::string LogPath() const { return dir_.File("logs/KvMigrationUtil.log"); }
    std::string Log() const { return ReadFile(LogPath()); }
    // The last line of every fatal output.
    std::string TraceLine() const { return "Trace file: " + LogPath() + "\n"; }

    // The help text byte for byte, CR LF inside, then the "\n" and the end of line of its output.
    static std::string Usage() {
        return "KvMigrationUtil [-ex|-im <file_path>] [-ad|-lds <lds_port>:<lds_ssl_port>] \r\n"
               "                [-cr <login>:<password>] [-fi] [-winpol] [-kvpol]\r\n"
               "\r\n"
               "Parameters:\r\n"
               "-h/-?           Display this help message.\r\n"
               "-ex             Specify program for export.\r\n"
               "-im             Specify program for import.\r\n"
               "-ad             Specify AD as centralized data storage.\r\n"
               "-lds            Specify LDS as centralized data storage.\r\n"
               "-cr             Specify login:password. Don't use for current user credential.\r\n"
               "-fi             Forced import - ignore import history.\r\n"
               "-winpol         Set the priority for policy merging to Windows policy.\r\n"
               "-kvpol          Set the priority for policy merging to KVR policy. By default.\r\n"
               "\r\n"
               "Keys for defining import objects, all of them if not specifed.\r\n"
               "-server\r\n"
               "-clients\r\n"
               "-policies\r\n"
               "-icheck\r\n"
               "-users\r\n"
               "\r\n"
               "Example:\r\n"
               "KvMigrationUtil -ex C:\\KVRBackup.xml -lds\r\n"
               "KvMigrationUtil -im C:\\KVRBackup.xml\r\n"
               "KvMigrationUtil -im C:\\KVRBackup.xml -lds 50100:501002 -cr "
               "user@domain.com:password -fi -server -policies -winpol"
               "\n\n";
    }

    ScopedTempDir dir_;
};

}  // namespace KvTest
