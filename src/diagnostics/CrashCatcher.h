#pragma once

// Processor faults become the error object of the crash table with a crash report beside it.
// There are no structured exceptions here: the faults arrive as signals, and the error object
// cannot be thrown out of a signal handler reliably, so the handler ends the run itself with the
// fatal output that the guards would have produced.

#include <csignal>
#include <cstdint>
#include <string>

namespace KvBase {

class IKvErrorW;

// The fatal output of the application: description on the console, dump in the trace, exit.
using FatalOutput = void (*)(const IKvErrorW& error);

// SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP, handled on an alternate stack so that a stack
// overflow is caught too. The destructor restores the previous handlers.
class CSehCatcher {
public:
    explicit CSehCatcher(FatalOutput fatal);
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
    explicit CCRTInvalidParamCatcher(FatalOutput fatal);
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

}  // namespace KvBase
