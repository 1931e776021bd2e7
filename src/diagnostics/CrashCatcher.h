#pragma once

// Processor faults become the error object of the crash table with a crash report beside it.
// There are no structured exceptions here: the faults arrive as signals, and neither can the
// error object be thrown out of a signal handler nor may the handler allocate, take locks or
// format through the C library (another thread may hold the heap or stdio lock, and the faulting
// code may have broken the heap). So everything the fatal output needs is prepared when the
// catchers are installed, and the handler writes it with plain system calls: the crash report,
// the description on the console, the dump and "End." in the trace, the wait for a key on an
// attended terminal, exit status 255. An alarm ends a handler that hangs all the same.

#include <csignal>
#include <cstdint>
#include <string>

namespace KvBase {

// SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP, handled on an alternate stack so that a stack
// overflow is caught too. The destructor restores the previous handlers.
class CSehCatcher {
public:
    CSehCatcher();
    virtual ~CSehCatcher();
    CSehCatcher(const CSehCatcher&) = delete;
    CSehCatcher& operator=(const CSehCatcher&) = delete;

private:
    struct sigaction previous_[5];
};

// The C runtime's own fatal reports (a failed assertion, a detected heap corruption, an
// unhandled exception) end in abort(): SIGABRT, reported with the invalid-parameter code.
class CCRTInvalidParamCatcher {
public:
    CCRTInvalidParamCatcher();
    virtual ~CCRTInvalidParamCatcher();
    CCRTInvalidParamCatcher(const CCRTInvalidParamCatcher&) = delete;
    CCRTInvalidParamCatcher& operator=(const CCRTInvalidParamCatcher&) = delete;

private:
    struct sigaction previous_;
};

// The error code of the crash table for a signal and its si_code.
uint32_t CrashCode(int signal, int signalCode, bool stackOverflow);

// The crash report's file name: "<program>-<tick count %08X>.dmp" in the temporary folder.
std::string CrashReportPath(const std::string& programPath, uint32_t tickCount);

// Seconds a crash handler may take before the process ends without it.
inline constexpr unsigned CrashHandlerSeconds = 5;

}  // namespace KvBase
