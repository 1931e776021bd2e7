#include "helper/ConsoleOutput.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/Format.h"
#include "platform/CodePage.h"
#include "platform/Process.h"

namespace KvMigration {

void WriteConsole(std::wstring_view text) {
    Platform::SystemConsole().Write(Platform::WideToAnsi(text));
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
        WriteConsole(line + L"\n");
    }
    KvBase::GetTrace().Trace(traceLevel, L"%ls", line.c_str());
}

void EndProcess(int status) {
    Platform::SystemConsole().Pause();
    Platform::ExitProcess(status);
}

namespace {

[[noreturn]] void Fatal(const std::wstring& consoleText, const std::wstring& traceText) {
    {
        ConsoleColorScope red(Platform::ColorLightRed);
        WriteConsole(consoleText + L"\n");
        KvBase::GetTrace().Trace(KvBase::TraceError, L"%ls", traceText.c_str());
        KvBase::GetTrace().Trace(KvBase::TraceInfo, L"End.");
    }
    EndProcess(-1);
}

}  // namespace

void PrintFatalError(const KvBase::IKvErrorW& error) {
    Fatal(error.Description(), KvBase::TraceableDump(error));
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
