#include "diagnostics/CrashCatcher.h"

#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "base/KvError.h"
#include "platform/Paths.h"
#include "platform/Process.h"

namespace KvBase {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr uint32_t kUnknownException = 1064;
constexpr uint32_t kInvalidParameter = 0xE6060019;

FatalOutput g_fatal = nullptr;
volatile sig_atomic_t g_inCrash = 0;
uintptr_t g_stackLow = 0;
char g_altStack[256 * 1024];

void WriteText(int fd, const char* text) {
    size_t length = std::strlen(text);
    while (length > 0) {
        ssize_t written = write(fd, text, length);
        if (written <= 0) {
            return;
        }
        text += written;
        length -= static_cast<size_t>(written);
    }
}

uint32_t TickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000);
}

bool IsStackOverflow(const void* address) {
    auto fault = reinterpret_cast<uintptr_t>(address);
    // The guard pages sit just below the lowest address the main stack may grow to.
    return g_stackLow != 0 && fault + 1024 * 1024 >= g_stackLow && fault < g_stackLow + 65536;
}

// Signal, fault address, backtrace and memory map, written with plain system calls.
std::wstring WriteReport(const std::string& path, int signal, const siginfo_t* info) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return L"Can't create file in temp folder!";
    }
    char line[256];
    std::snprintf(line, sizeof(line), "Signal: %d (%s)\nCode: %d\nFault address: %p\nProcess: %u\n",
                  signal, strsignal(signal), info ? info->si_code : 0,
                  info ? info->si_addr : nullptr, static_cast<unsigned>(getpid()));
    WriteText(fd, line);
    WriteText(fd, "\nBacktrace:\n");
    void* frames[64];
    int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, fd);
    WriteText(fd, "\nMemory map:\n");
    int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps >= 0) {
        char buffer[4096];
        ssize_t got;
        while ((got = read(maps, buffer, sizeof(buffer))) > 0) {
            if (write(fd, buffer, static_cast<size_t>(got)) != got) {
                break;
            }
        }
        close(maps);
    }
    bool ok = fsync(fd) == 0 || errno == EINVAL;
    close(fd);
    if (!ok) {
        wchar_t text[32];
        std::swprintf(text, 32, L"0x%08X (%d)", static_cast<unsigned>(errno), errno);
        return text;
    }
    return std::wstring(path.begin(), path.end());
}

[[noreturn]] void EndCrash(uint32_t code, int signal, const siginfo_t* info) {
    if (g_inCrash) {
        // A fault while reporting a fault: leave at once.
        WriteText(STDERR_FILENO, "Fatal error while reporting a crash.\n");
        _exit(255);
    }
    g_inCrash = 1;
    CKvError error(code, L"", 0, L"");
    error.SetEntry(
        L"MiniDumpFile",
        WriteReport(CrashReportPath(Platform::ProgramPath(), TickCount()), signal, info));
    if (g_fatal != nullptr) {
        g_fatal(error);
    }
    _exit(255);
}

void OnFault(int signal, siginfo_t* info, void*) {
    EndCrash(CrashCode(signal, info ? info->si_code : 0, info && IsStackOverflow(info->si_addr)),
             signal, info);
}

void OnAbort(int signal, siginfo_t* info, void*) {
    EndCrash(kInvalidParameter, signal, info);
}

void RememberStackLimit() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) {
        return;
    }
    void* low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
        g_stackLow = reinterpret_cast<uintptr_t>(low);
    }
    pthread_attr_destroy(&attributes);
}

void Install(int signal, void (*handler)(int, siginfo_t*, void*), struct sigaction* previous) {
    struct sigaction action {};
    action.sa_sigaction = handler;
    // SA_NODEFER lets a fault inside the handler reach it again, where it ends the process.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, previous);
}

}  // namespace

uint32_t CrashCode(int signal, int signalCode, bool stackOverflow) {
    switch (signal) {
        case SIGSEGV:
            return stackOverflow ? 0xE6060018 : 0xE6060005;
        case SIGBUS:
            return signalCode == BUS_ADRALN ? 0xE6060008 : 0xE6060011;
        case SIGILL:
            return (signalCode == ILL_PRVOPC || signalCode == ILL_PRVREG) ? 0xE6060016 : 0xE6060010;
        case SIGTRAP:
            return signalCode == TRAP_TRACE ? 0xE6060017 : 0xE6060007;
        case SIGFPE:
            switch (signalCode) {
                case FPE_INTDIV:
                    return 0xE6060012;
                case FPE_INTOVF:
                    return 0xE6060013;
                case FPE_FLTDIV:
                    return 0xE606000A;
                case FPE_FLTOVF:
                    return 0xE606000D;
                case FPE_FLTUND:
                    return 0xE6060010;
                case FPE_FLTRES:
                    return 0xE606000B;
                case FPE_FLTINV:
                    return 0xE606000C;
                case FPE_FLTSUB:
                    return 0xE6060006;
                default:
                    return kUnknownException;
            }
        default:
            return kUnknownException;
    }
}

std::string CrashReportPath(const std::string& programPath, uint32_t tickCount) {
    std::string name = programPath.substr(programPath.find_last_of('/') + 1);
    if (auto dot = name.rfind('.'); dot != std::string::npos && dot != 0) {
        name.resize(dot);
    }
    if (name.empty()) {
        name = "dmpfile";
    }
    char tick[16];
    std::snprintf(tick, sizeof(tick), "%08X", tickCount);
    return Platform::TempFolder() + "/" + name + "-" + tick + ".dmp";
}

CSehCatcher::CSehCatcher(FatalOutput fatal) {
    g_fatal = fatal;
    RememberStackLimit();
    stack_t alternate{};
    alternate.ss_sp = g_altStack;
    alternate.ss_size = sizeof(g_altStack);
    sigaltstack(&alternate, nullptr);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        Install(kSignals[i], OnFault, &previous_[i]);
    }
}

CSehCatcher::~CSehCatcher() {
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &previous_[i], nullptr);
    }
}

CCRTInvalidParamCatcher::CCRTInvalidParamCatcher(FatalOutput fatal) {
    if (g_fatal == nullptr) {
        g_fatal = fatal;
    }
    Install(SIGABRT, OnAbort, &previous_);
}

CCRTInvalidParamCatcher::~CCRTInvalidParamCatcher() {
    sigaction(SIGABRT, &previous_, nullptr);
}

}  // namespace KvBase
