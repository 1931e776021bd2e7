#pragma once

// The report of an error to the system log (the event log of the product's design).

#include <cstdint>
#include <string>

namespace Platform {
class IRegistry;
}

namespace KvBase {

class IKvErrorW;

struct EventRecord {
    bool warning = false;  // LOG_WARNING, else LOG_ERR
    uint32_t eventId = 0;  // 0xA6000008 for a warning, 0xE6000007 for an error
    std::wstring program;  // the program's full file name
    std::wstring code;     // lower-case hexadecimal without prefix ("e6010006")
    std::wstring description;
    std::string debugInfo;  // DebugInfo's strings, NUL-separated, at most 1024 bytes
};

// Where reports go; syslog with the ident "Korvant" unless a test installs its own.
class IEventSink {
public:
    virtual ~IEventSink() = default;
    virtual void Write(const EventRecord& record) = 0;
};

inline constexpr const char* SetupMarkerPath = "/run/korvant/KvSetupIsRunning";

// Reports the error unless its code is never reported, or not while a setup runs, or reporting
// is switched off by "NoReportError" (read once per process). Never fails towards its caller.
void ReportError(const IKvErrorW& error);

// Replaces the system log (null restores it).
void SetEventSink(IEventSink* sink);

// The decision and the record, with every outside fact passed in.
void ReportErrorTo(const IKvErrorW& error, IEventSink& sink, const std::string& setupMarker,
                   bool reportingOff);

// "NoReportError" under HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\KvCC0 is not 0.
bool ReportingSwitchedOff(const Platform::IRegistry& registry);

}  // namespace KvBase
