#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Console.h"

namespace KvBase {
class IKvErrorW;
}

namespace KvMigration {

// The text and "\n" on standard output, the text unchanged as a trace line at level 2.
void PrintMessage(std::wstring_view text);

// A warning in yellow on standard error (the text and "\n"), and the text as a trace line at
// `traceLevel` (2, information, unless the caller's message says otherwise).
void PrintWarning(std::wstring_view text, uint32_t traceLevel = 2);

// Light-red text on standard error, the error's dump (or the text) at level 4 and "End." at
// level 2 in the trace, the wait for a key, exit status -1. Never returns.
//
// After the red line, in the console's own colour, what an administrator needs to act on it:
// the directory's own account of a directory failure (server, login and the LDAP error, the
// error object's "LDAP" entry), the caller's `detail` lines, and where the trace of the run is.
[[noreturn]] void PrintFatalError(const KvBase::IKvErrorW& error,
                                  const std::vector<std::wstring>& detail = {});
[[noreturn]] void PrintFatalError(std::wstring_view text);
[[noreturn]] void PrintFatalError(std::string_view narrowText);

// While the scope lasts, every fatal output first runs `action` once, before its red line. Fatal
// output comes from more than one layer (the XML reader ends the run itself) and ends the process
// without unwinding, so what must come ahead of the failure (how far the pass got) or reach the
// disk however the run ends (the per-object report's last line) is left here. Scopes nest; the
// innermost action runs first.
class FatalActionScope {
public:
    explicit FatalActionScope(std::function<void()> action);
    ~FatalActionScope();
    FatalActionScope(const FatalActionScope&) = delete;
    FatalActionScope& operator=(const FatalActionScope&) = delete;
};

// "Trace file: <path>", or why there is none: the last line of every fatal output.
std::wstring TraceFileLine();

// Lets the trace say on the console, once each, that its file cannot be written (a read-only
// folder, a full disk) or that it writes a file of its own beside another user's log.
void ReportTraceProblemsOnConsole();

// The fatal output of a standard exception caught by a guard: `narrowFormat` holds one "%s" for
// what(). A what() text long enough to overflow the message limit is cut rather than lost.
[[noreturn]] void PrintFatalException(const char* narrowFormat, const std::exception& e);

// Sets a console text attribute for the length of a scope.
class ConsoleColorScope {
public:
    explicit ConsoleColorScope(int attribute,
                               Platform::IConsole& console = Platform::SystemConsole());
    ~ConsoleColorScope();
    ConsoleColorScope(const ConsoleColorScope&) = delete;
    ConsoleColorScope& operator=(const ConsoleColorScope&) = delete;

private:
    Platform::IConsole& console_;
    int saved_;
};

// Writes a wide text in the ANSI code page to standard output, to standard error.
void WriteConsole(std::wstring_view text);
void WriteConsoleError(std::wstring_view text);

// The fatal end shared by every guard: "End." in the trace, the wait for a key, status -1.
[[noreturn]] void EndProcess(int status);

}  // namespace KvMigration
