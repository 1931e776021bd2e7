#include "diagnostics/CrashCatcher.h"

#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

#include "base/SystemMessages.h"
#include "base/Trace.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "platform/Process.h"

namespace KvBase {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr uint32_t kUnknownException = 1064;
constexpr uint32_t kInvalidParameter = 0xE6060019;

// Every code a handler can report: what CrashCode gives, and the invalid-parameter code.
constexpr uint32_t kCrashCodes[] = {
    0xE6060005, 0xE6060006, 0xE6060007, 0xE6060008,        0xE606000A,       0xE606000B,
    0xE606000C, 0xE606000D, 0xE6060010, 0xE6060011,        0xE6060012,       0xE6060013,
    0xE6060016, 0xE6060017, 0xE6060018, kInvalidParameter, kUnknownException};

// Text that a handler only copies. Everything here is filled at installation.
struct Prepared {
    struct Description {
        uint32_t code;
        char console[256];  // the locale's code set
        char trace[256];    // code page 1251, as every trace line
    };
    Description descriptions[std::size(kCrashCodes)];
    char reportPrefix[PATH_MAX];  // "<temporary folder>/<program>-"
    char tracePath[PATH_MAX];     // empty when the trace writes no file
    bool colors = false;
    long utcOffset = 0;  // seconds east of UTC when installed
    bool ready = false;
};

Prepared g_prepared;
std::atomic<long> g_crashThread{0};
char g_altStack[256 * 1024];
uintptr_t g_stackLow = 0;

// A small text built without the C library's formatting, which is not safe in a handler.
class Text {
public:
    void Add(const char* text) {
        while (*text != '\0' && length_ + 1 < sizeof(data_)) {
            data_[length_++] = *text++;
        }
        data_[length_] = '\0';
    }
    void AddNumber(uint64_t value, unsigned base = 10, int width = 0) {
        char digits[32];
        int count = 0;
        do {
            digits[count++] = "0123456789ABCDEF"[value % base];
            value /= base;
        } while (value != 0 && count < 32);
        while (count < width && count < 32) {
            digits[count++] = '0';
        }
        char reversed[33];
        for (int i = 0; i < count; ++i) {
            reversed[i] = digits[count - 1 - i];
        }
        reversed[count] = '\0';
        Add(reversed);
    }
    void AddSigned(int64_t value) {
        if (value < 0) {
            Add("-");
            AddNumber(static_cast<uint64_t>(-(value + 1)) + 1);
        } else {
            AddNumber(static_cast<uint64_t>(value));
        }
    }
    const char* Data() const { return data_; }
    size_t Length() const { return length_; }

private:
    char data_[4096] = {};
    size_t length_ = 0;
};

void WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
}

void WriteAll(int fd, const Text& text) {
    WriteAll(fd, text.Data(), text.Length());
}

void CopyInto(char* target, size_t size, const std::string& text) {
    size_t length = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

void Prepare() {
    Prepared& p = g_prepared;
    if (p.ready) {
        return;
    }
    for (size_t i = 0; i < std::size(kCrashCodes); ++i) {
        p.descriptions[i].code = kCrashCodes[i];
        const std::wstring description = MessageForCode(kCrashCodes[i]);
        CopyInto(p.descriptions[i].console, sizeof(p.descriptions[i].console),
                 Platform::WideToAnsi(description));
        CopyInto(p.descriptions[i].trace, sizeof(p.descriptions[i].trace),
                 Platform::WideToCodePage(description, Platform::CodePage1251));
    }
    std::string report = CrashReportPath(Platform::ProgramPath(), 0);
    CopyInto(p.reportPrefix, sizeof(p.reportPrefix), report.substr(0, report.size() - 12));
    CopyInto(p.tracePath, sizeof(p.tracePath), GetTraceLogPath());
    p.colors = isatty(STDERR_FILENO) != 0 && std::getenv("NO_COLOR") == nullptr;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    p.utcOffset = local.tm_gmtoff;
    // backtrace() loads its unwinder on first use, which allocates: done here, not in a crash.
    void* frame[1];
    backtrace(frame, 1);
    p.ready = true;
}

const Prepared::Description* DescriptionOf(uint32_t code) {
    for (const auto& description : g_prepared.descriptions) {
        if (description.code == code) {
            return &description;
        }
    }
    return nullptr;
}

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "Segmentation fault";
        case SIGBUS:
            return "Bus error";
        case SIGFPE:
            return "Floating point exception";
        case SIGILL:
            return "Illegal instruction";
        case SIGTRAP:
            return "Trace/breakpoint trap";
        case SIGABRT:
            return "Aborted";
        default:
            return "Signal";
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

// Signal, fault address, backtrace and memory map. Returns the report's path, or the reason it
// could not be written, in `entry`.
void WriteReport(int signal, const siginfo_t* info, Text& entry) {
    Text path;
    path.Add(g_prepared.reportPrefix);
    path.AddNumber(TickCount(), 16, 8);
    path.Add(".dmp");
    int fd = open(path.Data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        entry.Add("Can't create file in temp folder!");
        return;
    }
    Text head;
    head.Add("Signal: ");
    head.AddNumber(static_cast<uint64_t>(signal));
    head.Add(" (");
    head.Add(SignalName(signal));
    head.Add(")\nCode: ");
    head.AddSigned(info != nullptr ? info->si_code : 0);
    head.Add("\nFault address: 0x");
    head.AddNumber(info != nullptr ? reinterpret_cast<uintptr_t>(info->si_addr) : 0, 16);
    head.Add("\nProcess: ");
    head.AddNumber(static_cast<uint64_t>(getpid()));
    head.Add("\n\nBacktrace:\n");
    WriteAll(fd, head);
    void* frames[64];
    int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, fd);
    const char mapTitle[] = "\nMemory map:\n";
    WriteAll(fd, mapTitle, sizeof(mapTitle) - 1);
    int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps >= 0) {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = read(maps, buffer, sizeof(buffer))) > 0) {
            WriteAll(fd, buffer, static_cast<size_t>(got));
        }
        close(maps);
    }
    const bool synced = fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    close(fd);
    if (synced) {
        entry.Add(path.Data());
    } else {
        entry.Add("0x");
        entry.AddNumber(static_cast<uint32_t>(error), 16, 8);
        entry.Add(" (");
        entry.AddSigned(error);
        entry.Add(")");
    }
}

// "dd.mm.yyyy hh:mm:ss.mmm[PID:TID] ", the layout of every trace line, from the raw clock.
void AddTracePrefix(Text& line) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t seconds = static_cast<int64_t>(now.tv_sec) + g_prepared.utcOffset;
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    int64_t ofDay = seconds - days * 86400;
    // Civil date of a day count since 1970-01-01 (proleptic Gregorian).
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t dayOfEra = z - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    line.AddNumber(static_cast<uint64_t>(day), 10, 2);
    line.Add(".");
    line.AddNumber(static_cast<uint64_t>(month), 10, 2);
    line.Add(".");
    line.AddNumber(static_cast<uint64_t>(year), 10, 4);
    line.Add(" ");
    line.AddNumber(static_cast<uint64_t>(ofDay / 3600), 10, 2);
    line.Add(":");
    line.AddNumber(static_cast<uint64_t>(ofDay / 60 % 60), 10, 2);
    line.Add(":");
    line.AddNumber(static_cast<uint64_t>(ofDay % 60), 10, 2);
    line.Add(".");
    line.AddNumber(static_cast<uint64_t>(now.tv_nsec / 1000000), 10, 3);
    line.Add("[");
    line.AddNumber(static_cast<uint64_t>(getpid()), 16);
    line.Add(":");
    line.AddNumber(static_cast<uint64_t>(syscall(SYS_gettid)), 16);
    line.Add("] ");
}

void WriteTrace(uint32_t code, const Prepared::Description* description, const Text& entry) {
    if (g_prepared.tracePath[0] == '\0') {
        return;
    }
    int fd = open(g_prepared.tracePath, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    Text dump;
    AddTracePrefix(dump);
    dump.Add("W> Code: 0x");
    dump.AddNumber(code, 16, 8);
    dump.Add("\r\nDescription: ");
    dump.Add(description != nullptr ? description->trace : "");
    dump.Add("\r\nMiniDumpFile: ");
    dump.Add(entry.Data());
    dump.Add("\r\n\r\n");
    WriteAll(fd, dump);
    Text end;
    AddTracePrefix(end);
    end.Add("End.\r\n");
    WriteAll(fd, end);
    close(fd);
}

// The command interpreter's "pause", for a person at the terminal only (see the console).
void PauseOnTerminal() {
    if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0 ||
        tcgetpgrp(STDIN_FILENO) != getpgrp()) {
        return;
    }
    const char prompt[] = "Press any key to continue . . . ";
    WriteAll(STDERR_FILENO, prompt, sizeof(prompt) - 1);
    termios saved{};
    const bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (raw) {
        termios single = saved;
        single.c_lflag &= ~(ICANON | ECHO);
        single.c_cc[VMIN] = 1;
        single.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &single);
    }
    char key = 0;
    [[maybe_unused]] ssize_t n = read(STDIN_FILENO, &key, 1);
    if (raw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
    WriteAll(STDERR_FILENO, "\n", 1);
}

void OnAlarm(int) {
    _exit(255);
}

[[noreturn]] void EndCrash(uint32_t code, int signal, const siginfo_t* info) {
    const long thread = static_cast<long>(syscall(SYS_gettid));
    long idle = 0;
    if (!g_crashThread.compare_exchange_strong(idle, thread)) {
        if (idle == thread) {
            // A fault while reporting a fault: leave at once.
            const char text[] = "Fatal error while reporting a crash.\n";
            WriteAll(STDERR_FILENO, text, sizeof(text) - 1);
            _exit(255);
        }
        // Another thread reports its crash and ends the process; this one waits for that.
        for (;;) {
            pause();
        }
    }
    struct sigaction alarmAction {};
    alarmAction.sa_handler = OnAlarm;
    sigemptyset(&alarmAction.sa_mask);
    sigaction(SIGALRM, &alarmAction, nullptr);
    alarm(CrashHandlerSeconds);

    Text entry;
    if (g_prepared.ready) {
        WriteReport(signal, info, entry);
    } else {
        entry.Add("Can't create file in temp folder!");
    }
    const Prepared::Description* description = DescriptionOf(code);
    Text console;
    if (g_prepared.colors) {
        console.Add("\033[91m");
    }
    console.Add(description != nullptr ? description->console : "");
    console.Add("\n");
    if (g_prepared.colors) {
        console.Add("\033[0m");
    }
    // Where to look next, as after every other failure.
    console.Add("Crash report: ");
    console.Add(entry.Data());
    console.Add("\n");
    if (g_prepared.tracePath[0] != '\0') {
        console.Add("Trace file: ");
        console.Add(g_prepared.tracePath);
        console.Add("\n");
    }
    WriteAll(STDERR_FILENO, console);
    WriteTrace(code, description, entry);
    alarm(0);
    PauseOnTerminal();
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

CSehCatcher::CSehCatcher() {
    Prepare();
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

CCRTInvalidParamCatcher::CCRTInvalidParamCatcher() {
    Prepare();
    Install(SIGABRT, OnAbort, &previous_);
}

CCRTInvalidParamCatcher::~CCRTInvalidParamCatcher() {
    sigaction(SIGABRT, &previous_, nullptr);
}

}  // namespace KvBase
