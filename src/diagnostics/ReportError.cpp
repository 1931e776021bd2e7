#include "diagnostics/ReportError.h"

#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "platform/Process.h"
#include "platform/Registry.h"

namespace KvBase {
namespace {

constexpr uint32_t kNotDuringSetup[] = {
    0xE6010006, 0xE6010060, 0xE6010061, 0xE601003D, 0xE6090001, 0xE6070011,
    0x00000426, 0xE6010009, 0xE6010007, 0xE601002B, 0x000006F7, 0xE6250005,
};
constexpr uint32_t kNeverReported[] = {
    0xE601005B, 0xE6010029, 0xE6010076, 0xE6010023, 0xE601002F, 0xE6080006,
    0xE6010018, 0xE6010043, 0xE6200002, 0xE6200007, 0xE607002F, 0xE6010067,
    0x00000BC4, 0xE601006A, 0x66010064, 0xE6010075, 0x000004C7,
};
constexpr uint32_t kWarnings[] = {
    0xE6010006, 0xE6010060, 0xE6010061, 0xE6090004, 0xE620000C, 0xE6090015, 0xE6090016,
};
constexpr uint32_t kWarningEvent = 0xA6000008;
constexpr uint32_t kErrorEvent = 0xE6000007;
constexpr size_t kDebugInfoLimit = 1024;

template <size_t N>
bool Listed(const uint32_t (&list)[N], uint32_t code) {
    return std::find(std::begin(list), std::end(list), code) != std::end(list);
}

class SyslogSink final : public IEventSink {
public:
    void Write(const EventRecord& record) override {
        // The debug info's NUL-separated names and values read as "File=x Line=y Function=z".
        std::string details;
        bool name = true;
        for (char c : record.debugInfo) {
            details += c == '\0' ? (name ? '=' : ' ') : c;
            if (c == '\0') {
                name = !name;
            }
        }
        while (!details.empty() && details.back() == ' ') {
            details.pop_back();
        }
        std::string message = Platform::WideToAnsi(record.program) + ": " +
                              Platform::WideToAnsi(record.code) + " " +
                              Platform::WideToAnsi(record.description);
        if (!details.empty()) {
            message += " [" + details + "]";
        }
        char event[16];
        std::snprintf(event, sizeof(event), "%08X", record.eventId);
        openlog("Korvant", LOG_PID, LOG_USER);
        syslog(record.warning ? LOG_WARNING : LOG_ERR, "Event 0x%s: %s", event, message.c_str());
        closelog();
    }
};

SyslogSink g_syslog;
IEventSink* g_sink = &g_syslog;

}  // namespace

bool ReportingSwitchedOff(const Platform::IRegistry& registry) {
    return registry
               .GetDword(L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KvCC0",
                         L"NoReportError")
               .value_or(0) != 0;
}

void SetEventSink(IEventSink* sink) {
    g_sink = sink ? sink : &g_syslog;
}

void ReportErrorTo(const IKvErrorW& error, IEventSink& sink, const std::string& setupMarker,
                   bool reportingOff) {
    uint32_t code = error.Code();
    if (Listed(kNotDuringSetup, code) && access(setupMarker.c_str(), F_OK) == 0) {
        return;
    }
    if (Listed(kNeverReported, code) || reportingOff) {
        return;
    }
    EventRecord record;
    record.warning = Listed(kWarnings, code);
    record.eventId = record.warning ? kWarningEvent : kErrorEvent;
    record.program = Platform::AnsiToWide(Platform::ProgramPath());
    wchar_t text[16];
    std::swprintf(text, 16, L"%x", code);
    record.code = text;
    record.description = error.Description();
    const std::wstring& info = error.DebugInfo();
    // Without the final empty string that ends the list.
    std::wstring strings = info.size() >= 1 ? info.substr(0, info.size() - 1) : info;
    record.debugInfo = Platform::WideToAnsi(strings).substr(0, kDebugInfoLimit);
    sink.Write(record);
}

void ReportError(const IKvErrorW& error) {
    static const bool reportingOff = ReportingSwitchedOff(*Platform::OpenSystemRegistry());
    try {
        ReportErrorTo(error, *g_sink, SetupMarkerPath, reportingOff);
    } catch (const std::exception&) {
        // The report never fails towards its caller: a failing conversion just ends it.
    }
}

}  // namespace KvBase
