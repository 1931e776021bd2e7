#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Platform {
class IRegistry;
}

namespace KvBase {

inline constexpr uint32_t TraceInfo = 2;
inline constexpr uint32_t TraceError = 4;

// Flags of TraceDump: the width of one dumped value.
inline constexpr uint32_t DumpBytes = 0;
inline constexpr uint32_t DumpWords = 0x40;
inline constexpr uint32_t DumpDwords = 0x80;

// The process-wide trace log. Formats are glibc printf formats: "%ls" for wide arguments, "%s"
// for narrow ones. Tracing never fails towards its caller and leaves errno unchanged.
class ITrace {
public:
    virtual void Trace(uint32_t level, const char* format, ...)
        __attribute__((format(printf, 3, 4))) = 0;
    virtual void Trace(uint32_t level, const wchar_t* format, ...) = 0;
    virtual void TraceV(uint32_t level, const char* format, va_list args) = 0;
    virtual void TraceV(uint32_t level, const wchar_t* format, va_list args) = 0;
    virtual void TraceDump(uint32_t level, const wchar_t* title, const void* buffer, size_t size,
                           uint32_t flags) = 0;
    virtual ~ITrace() = default;
    virtual bool Reload() = 0;
    virtual bool IsEnabled() const = 0;
    virtual bool IsLevelEnabled(uint32_t level) const = 0;
    virtual bool IsContext(uint32_t value) const = 0;
    virtual bool IsTimeShown() const = 0;
    virtual bool IsMillisecondsShown() const = 0;
};

class CTraceImpl;

class CKvTrace final : public ITrace {
public:
    // `registry` is read for the shared trace configuration; null reads the machine's registry.
    CKvTrace(const wchar_t* moduleName, uint32_t enableMask, uint32_t params1, uint32_t params2,
             const Platform::IRegistry* registry = nullptr);
    ~CKvTrace() override;
    CKvTrace(const CKvTrace&) = delete;
    CKvTrace& operator=(const CKvTrace&) = delete;

    void Trace(uint32_t level, const char* format, ...) override
        __attribute__((format(printf, 3, 4)));
    void Trace(uint32_t level, const wchar_t* format, ...) override;
    void TraceV(uint32_t level, const char* format, va_list args) override;
    void TraceV(uint32_t level, const wchar_t* format, va_list args) override;
    void TraceDump(uint32_t level, const wchar_t* title, const void* buffer, size_t size,
                   uint32_t flags) override;
    bool Reload() override;
    bool IsEnabled() const override;
    bool IsLevelEnabled(uint32_t level) const override;
    bool IsContext(uint32_t value) const override;
    bool IsTimeShown() const override;
    bool IsMillisecondsShown() const override;

    // The path of the log file (empty when the trace is inert).
    std::string LogPath() const;
    // Why the last line did not reach the log file ("<path> cannot be written (<reason>)"); empty
    // while lines reach it.
    std::wstring WriteProblem() const;

    // Hears once of each problem with the log file that a person should know of (the shared log
    // handed over to a file of this user's own, lines that cannot be written at all), from
    // inside the trace call that met it; problems met before it was set are handed over at
    // once. Tracing lives below the console, so the reporter says it there, and must not trace.
    using ProblemReporter = std::function<void(const std::wstring& problem)>;
    void SetProblemReporter(ProblemReporter reporter);

private:
    // Lines the trace owes about itself (see CTraceImpl::TakeNotices), and the problems owed to
    // the reporter.
    void WriteNotices();

    std::unique_ptr<CTraceImpl> impl_;
    ProblemReporter reporter_;
};

// The program's trace, built on first use with the forced configuration of this program.
ITrace& GetTrace();
// Its log file path, for messages and tests.
std::string GetTraceLogPath();
// Why the program's trace does not reach its file; empty while it does.
std::wstring GetTraceWriteProblem();
// The program's trace hands its problems to `reporter` (see CKvTrace::SetProblemReporter).
void SetTraceProblemReporter(CKvTrace::ProblemReporter reporter);

// Writes "<indent><name> Begin" now and "<indent><name> End" when the scope ends; names carry a
// trailing blank ("[ReadInputParameters] "). The indentation is process-wide, main thread only.
class TraceScope {
public:
    TraceScope(ITrace& trace, const char* name);
    ~TraceScope();
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

private:
    ITrace& trace_;
    const char* name_;
};

// The hexadecimal dump body of TraceDump (without the title), exposed for tests.
std::wstring FormatTraceDump(const void* buffer, size_t size, uint32_t flags);

}  // namespace KvBase
