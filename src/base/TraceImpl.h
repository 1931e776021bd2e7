#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace Platform {
class IRegistry;
}

namespace KvBase {

// Parameter bits of the trace configuration.
namespace TraceParams {
inline constexpr uint32_t File = 0x1;
inline constexpr uint32_t Debugger = 0x8;
inline constexpr uint32_t OwnConsole = 0x10;
inline constexpr uint32_t AppendWithBanner = 0x100;
inline constexpr uint32_t Milliseconds = 0x400;
inline constexpr uint32_t ProcessThread = 0x800;
inline constexpr uint32_t Time = 0x1000;
inline constexpr uint32_t Date = 0x2000;
inline constexpr uint32_t Session = 0x4000;
inline constexpr uint32_t ModuleName = 0x8000;
}  // namespace TraceParams

inline constexpr const wchar_t* TraceKey =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace";

// Does the work of CKvTrace: configuration, line layout and file output.
class CTraceImpl {
public:
    CTraceImpl(const wchar_t* moduleName, uint32_t enableMask, uint32_t params1, uint32_t params2,
               const Platform::IRegistry* registry);

    bool Reload(const Platform::IRegistry* registry);
    void WriteLine(uint32_t level, const std::string& textBytes);
    bool OutputOn() const;

    uint32_t EnableMask() const { return enableMask_.load(); }
    uint32_t ParamsMask() const { return paramsMask_.load(); }
    uint32_t ContextMask() const { return contextMask_.load(); }
    uint32_t CommonFileFlag() const { return commonFileFlag_.load(); }
    const std::string& LogPath() const { return logPath_; }
    // What the trace had to decide on its own (a Windows path it could not place, a log file it
    // could not share), for the caller to write once the trace is up. Taking them clears them.
    std::vector<std::string> TakeNotices();
    // What a person at the console must hear of, once each: the shared log handed over to a file
    // of this user's own, and the first time lines could not be written at all. Taking them
    // clears them.
    std::vector<std::wstring> TakeConsoleProblems();
    // Why the last line did not reach the log file ("<path> cannot be written (<reason>)"); empty
    // while lines reach it.
    const std::wstring& WriteProblem() const { return writeProblem_; }

private:
    // Reads the shared configuration; returns false when the trace key is missing.
    bool ReadRegistry(const Platform::IRegistry& registry, std::wstring& path);
    void OpenAtStart();
    int OpenForAppend(bool truncate);
    int OpenLog(bool truncate);
    // Records that the log file could not be opened or written, with errno `error`.
    void NoteWriteFailure(int error);

    std::wstring moduleName_;
    std::string logPath_;
    bool ownFile_ = false;  // the shared log could not be written; this run has a file of its own
    std::vector<std::string> notices_;
    std::vector<std::wstring> consoleProblems_;
    std::wstring writeProblem_;
    bool writeFailureSaid_ = false;
    std::atomic<uint32_t> enableMask_{0};
    std::atomic<uint32_t> paramsMask_{0};
    std::atomic<uint32_t> contextMask_{0xFFFFFFFF};
    std::atomic<uint32_t> commonFileFlag_{0};
};

}  // namespace KvBase
