#include "helper/ConsoleOutput.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/Format.h"
#include "platform/CodePage.h"
#include "platform/Process.h"

#include <utility>

namespace KvMigration {

void WriteConsole(std::wstring_view text) {
    Platform::SystemConsole().Write(Platform::WideToAnsi(text));
}

void WriteConsoleError(std::wstring_view text) {
    Platform::SystemConsole().WriteError(Platform::WideToAnsi(text));
}

void PrintMessage(std::wstring_view text) {
    std::wstring line(text);
    WriteConsole(line + L"\n");
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"%ls", line.c_str());
}

void PrintWarning(std::wstring_view text, uint32_t traceLevel) {
    std::wstring line(text);
    {
        ConsoleColorScope yellow(Platform::ColorYellow);
        WriteConsoleError(line + L"\n");
    }
    KvBase::GetTrace().Trace(traceLevel, L"%ls", line.c_str());
}

std::wstring TraceFileLine() {
    std::wstring problem = KvBase::GetTraceWriteProblem();
    if (!problem.empty()) {
        return L"No trace file: " + problem + L".";
    }
    std::string path = KvBase::GetTraceLogPath();
    if (path.empty()) {
        return L"No trace file.";
    }
    return L"Trace file: " + Platform::Utf8ToWide(path);
}

namespace {

std::vector<std::function<void()>>& FatalActions() {
    static std::vector<std::function<void()>> actions;
    return actions;
}

}  // namespace

FatalActionScope::FatalActionScope(std::function<void()> action) {
    FatalActions().push_back(std::move(action));
}

FatalActionScope::~FatalActionScope() {
    if (!FatalActions().empty()) {
        FatalActions().pop_back();
    }
}

void ReportTraceProblemsOnConsole() {
    // Only the console: tracing a problem of the trace would meet the same problem again.
    KvBase::SetTraceProblemReporter([](const std::wstring& problem) {
        ConsoleColorScope yellow(Platform::ColorYellow);
        WriteConsoleError(problem + L"\n");
    });
}

void EndProcess(int status) {
    Platform::SystemConsole().Pause();
    Platform::ExitProcess(status);
}

namespace {

[[noreturn]] void Fatal(const std::wstring& consoleText, const std::wstring& traceText,
                        const std::vector<std::wstring>& detail = {}) {
    // Taken out first: a failure inside an action ends the run through here without them. Run
    // before the text, so that the failure stays the last thing on the console.
    std::vector<std::function<void()>> actions = std::exchange(FatalActions(), {});
    for (auto action = actions.rbegin(); action != actions.rend(); ++action) {
        if (*action) {
            (*action)();
        }
    }
    {
        ConsoleColorScope red(Platform::ColorLightRed);
        WriteConsoleError(consoleText + L"\n");
        KvBase::GetTrace().Trace(KvBase::TraceError, L"%ls", traceText.c_str());
        KvBase::GetTrace().Trace(KvBase::TraceInfo, L"End.");
    }
    for (const std::wstring& line : detail) {
        WriteConsoleError(line + L"\n");
    }
    // Asked after "End.", so that a trace that could not write even that line says so.
    WriteConsoleError(TraceFileLine() + L"\n");
    EndProcess(-1);
}

}  // namespace

void PrintFatalError(const KvBase::IKvErrorW& error, const std::vector<std::wstring>& detail) {
    std::vector<std::wstring> lines;
    const auto* kvError = dynamic_cast<const KvBase::CKvError*>(&error);
    if (const std::wstring* directory = kvError ? kvError->FindEntry(L"LDAP") : nullptr;
        directory != nullptr && !directory->empty()) {
        lines.push_back(*directory);
    }
    lines.insert(lines.end(), detail.begin(), detail.end());
    Fatal(error.Description(), KvBase::TraceableDump(error), lines);
}

void PrintFatalError(std::wstring_view text) {
    Fatal(std::wstring(text), std::wstring(text));
}

void PrintFatalError(std::string_view narrowText) {
    std::wstring text = Platform::AnsiToWide(narrowText);
    Fatal(text, text);
}

void PrintFatalException(const char* narrowFormat, const std::exception& e) {
    std::string what = e.what();
    constexpr size_t kRoomForWhat = 1800;
    if (what.size() > kRoomForWhat) {
        what.resize(kRoomForWhat);
    }
    PrintFatalError(std::string_view(FormatStringA(narrowFormat, what.c_str())));
}

ConsoleColorScope::ConsoleColorScope(int attribute, Platform::IConsole& console)
    : console_(console), saved_(console.SetTextAttribute(attribute)) {}

ConsoleColorScope::~ConsoleColorScope() {
    console_.SetTextAttribute(saved_);
}

}  // namespace KvMigration
