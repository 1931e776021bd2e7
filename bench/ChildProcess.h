#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

namespace KvBench {

// Resident memory of this process now, in kilobytes.
inline long ResidentKb() {
    long pages = 0;
    long resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct ChildReport {
    long startKb = 0;
    long peakKb = 0;
    long result = 0;  // what the work returned
    int failed = 0;
};

// Runs `work` in a child process of its own, so that the peak resident memory (ru_maxrss) is
// that of the work alone and not of whatever ran before it in the benchmark process.
inline ChildReport RunInChild(const std::function<long()>& work) {
    int channel[2];
    if (pipe(channel) != 0) {
        std::abort();
    }
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        ChildReport report;
        report.startKb = ResidentKb();
        try {
            report.result = work();
        } catch (...) {  // Reported to the parent, which fails the benchmark.
            report.failed = 1;
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        report.peakKb = usage.ru_maxrss;
        if (write(channel[1], &report, sizeof(report)) != sizeof(report)) {
            _exit(1);
        }
        _exit(0);
    }
    close(channel[1]);
    ChildReport report;
    report.failed = read(channel[0], &report, sizeof(report)) != sizeof(report);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return report;
}

// $TMPDIR, else /tmp.
inline std::string TempFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr ? folder : "/tmp";
}

// The trace is always on in this program; without a trace key it would write every line to
// /var/log/korvant. A registry whose trace folder is /dev/null makes every open fail at once.
inline void SendTraceNowhere() {
    const std::string path = TempFolder() + "/kv-bench-registry.reg";
    std::ofstream(path, std::ios::trunc)
        << "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\n"
           "\"TracePath\"=\"/dev/null/\"\n";
    setenv("KV_REGISTRY_FILE", path.c_str(), 1);
}

}  // namespace KvBench
