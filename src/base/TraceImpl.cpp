#include "base/TraceImpl.h"

#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>

namespace KvBase {
namespace {

// Where Windows would fall back to "C:\Logs\".
const std::string kDefaultLogFolder = Platform::WideToUtf8(Platform::DefaultLogFolder);

void MakeFolders(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::filesystem::path current;
    for (const auto& part : folder) {
        current /= part;
        if (current.string() == "/" || current.empty()) {
            continue;
        }
        if (mkdir(current.c_str(), 01777) == 0) {
            // The log folder is shared by the product's tools and users, as on Windows.
            chmod(current.c_str(), 01777);
        }
    }
}

// False with errno set when not every byte was written (a full disk, a quota).
bool WriteAll(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

CTraceImpl::CTraceImpl(const wchar_t* moduleName, uint32_t enableMask, uint32_t params1,
                       uint32_t params2, const Platform::IRegistry* registry)
    : moduleName_(moduleName != nullptr ? moduleName : L"") {
    std::wstring path;
    if (registry != nullptr) {
        ReadRegistry(*registry, path);
    } else {
        ReadRegistry(*Platform::OpenSystemRegistry(), path);
    }
    // This program forces its own levels and layout whatever the shared configuration says.
    enableMask_ = enableMask;
    paramsMask_ = params1 | params2;
    std::string folder;
    std::string narrowPath = Platform::WideToUtf8(path);
    if (auto slash = narrowPath.rfind('/'); slash != std::string::npos) {
        folder = narrowPath.substr(0, slash + 1);
    } else {
        folder = kDefaultLogFolder;
    }
    logPath_ = folder + Platform::WideToUtf8(moduleName_) + ".log";
    OpenAtStart();
}

bool CTraceImpl::ReadRegistry(const Platform::IRegistry& registry, std::wstring& path) {
    const std::wstring key = TraceKey;
    if (!registry.KeyExists(key)) {
        return false;
    }
    uint32_t enable = registry.GetDword(key, L"EnableMask").value_or(0);
    uint32_t params = registry.GetDword(key, L"ParamsMask").value_or(0);
    uint32_t common = registry.GetDword(key, L"CommonFileFlag").value_or(0);
    uint32_t context = 0xFFFFFFFF;
    std::wstring commonName;
    const std::wstring moduleKey = key + L"\\" + moduleName_;
    if (registry.KeyExists(moduleKey)) {
        enable = registry.GetDword(moduleKey, L"EnableMask").value_or(enable);
        params = registry.GetDword(moduleKey, L"ParamsMask").value_or(params);
        common = registry.GetDword(moduleKey, L"CommonFileFlag").value_or(common);
        context = registry.GetDword(moduleKey, L"ContextMask").value_or(context);
        if (common != 0) {
            commonName = registry.GetString(moduleKey, L"CommonFileName").value_or(L"");
            if (commonName.size() > 520) {
                commonName.resize(520);
            }
        }
    }
    enable = registry.GetDword(key, L"ForceEnableMask").value_or(enable);
    params = registry.GetDword(key, L"ForceParamsMask").value_or(params);
    common = registry.GetDword(key, L"ForceCommonFileFlag").value_or(common);
    if (registry.GetDword(key, L"DisableContextFlag").value_or(0) != 0) {
        context = 0xFFFFFFFF;
    }
    if (common != 0 && !commonName.empty()) {
        path = commonName;
    } else {
        std::wstring file = common != 0 ? L"KvTrace" : moduleName_;
        if (file.size() < 4 || file.substr(file.size() - 4) != L".log") {
            file += L".log";
        }
        std::wstring folder;
        if (auto tracePath = registry.GetString(key, L"TracePath");
            tracePath && !tracePath->empty()) {
            const std::wstring uncRoot =
                registry.GetString(Platform::KeyKorvant, L"UncRoot").value_or(L"/mnt");
            if (auto mapped = Platform::MapWindowsPath(*tracePath, uncRoot)) {
                folder = *mapped;
            } else {
                folder = Platform::DefaultLogFolder;
                notices_.push_back("The trace folder \"" +
                                   Platform::WideToCodePage(*tracePath, Platform::CodePage1251) +
                                   "\" of the registry is a Windows path without a place on this "
                                   "machine; the trace is written to " +
                                   kDefaultLogFolder + " instead.");
            }
        } else {
            folder = Platform::Utf8ToWide(Platform::TempFolder());
        }
        if (!folder.empty() && folder.back() != L'/') {
            folder.push_back(L'/');
        }
        path = folder + file;
    }
    enableMask_ = enable;
    paramsMask_ = params;
    commonFileFlag_ = common;
    contextMask_ = context;
    return true;
}

bool CTraceImpl::Reload(const Platform::IRegistry* registry) {
    std::wstring path;
    bool read = registry != nullptr ? ReadRegistry(*registry, path)
                                    : ReadRegistry(*Platform::OpenSystemRegistry(), path);
    if (read && !path.empty()) {
        logPath_ = Platform::WideToUtf8(path);
    }
    OpenAtStart();
    return read;
}

bool CTraceImpl::OutputOn() const {
    return enableMask_.load() != 0 && (paramsMask_.load() & 0xFF) != 0;
}

std::vector<std::string> CTraceImpl::TakeNotices() {
    return std::exchange(notices_, {});
}

std::vector<std::wstring> CTraceImpl::TakeConsoleProblems() {
    return std::exchange(consoleProblems_, {});
}

void CTraceImpl::NoteWriteFailure(int error) {
    writeProblem_ = Platform::Utf8ToWide(logPath_) + L" cannot be written (" +
                    Platform::AnsiToWide(std::strerror(error)) + L")";
    // Said once: a run whose trace cannot be written would otherwise say it on every line.
    if (!writeFailureSaid_) {
        writeFailureSaid_ = true;
        consoleProblems_.push_back(L"The trace file " + writeProblem_ +
                                   L"; this run leaves no trace.");
    }
}

// The log is shared by every user's runs and the product's tools, as on Windows ("Everyone full
// access"): a file made here is readable and writable by all, in folders made like /tmp. What is
// found at the name is trusted only when it is a plain file of its own: a symbolic link is never
// followed (someone else may have put it in the shared folder) and a hard link is refused.
int CTraceImpl::OpenLog(bool truncate) {
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = open(logPath_.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
        fchmod(fd, 0666);
        return fd;
    }
    if (errno != EEXIST) {
        return -1;
    }
    fd = open(logPath_.c_str(), flags | (truncate ? O_TRUNC : 0));
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

int CTraceImpl::OpenForAppend(bool truncate) {
    int fd = OpenLog(truncate);
    if (fd < 0 && errno == ENOENT) {
        MakeFolders(logPath_);
        fd = OpenLog(truncate);
    }
    // A log another user made before without sharing it: this run writes a file of its own next
    // to it rather than losing every line.
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == ELOOP) && !ownFile_) {
        ownFile_ = true;
        const std::string shared = logPath_;
        std::string::size_type dot = logPath_.rfind(".log");
        logPath_ = logPath_.substr(0, dot) + "." + std::to_string(geteuid()) + ".log";
        fd = OpenLog(truncate);
        if (fd < 0) {
            // A folder this user may not write at all: nothing of the run reaches a file, and
            // the shared log is the one to name.
            const int error = errno;
            logPath_ = shared;
            errno = error;
            return fd;
        }
        notices_.push_back("The log file " + shared +
                           " cannot be written by this user or is not a plain file; this run "
                           "writes its trace to " +
                           logPath_ + ".");
        consoleProblems_.push_back(Platform::Utf8ToWide(notices_.back()));
    }
    return fd;
}

void CTraceImpl::OpenAtStart() {
    uint32_t params = paramsMask_.load();
    if ((params & TraceParams::File) == 0 || !OutputOn()) {
        return;
    }
    bool append = (params & TraceParams::AppendWithBanner) != 0 || commonFileFlag_.load() != 0;
    int fd = OpenForAppend(!append);
    if (fd < 0) {
        NoteWriteFailure(errno);
        return;
    }
    if ((params & TraceParams::AppendWithBanner) != 0 && commonFileFlag_.load() == 0 &&
        !WriteAll(fd, "\r\n" + std::string(68, '*') + "\r\n\r\n")) {
        NoteWriteFailure(errno);
    }
    close(fd);
}

void CTraceImpl::WriteLine(uint32_t level, const std::string& textBytes) {
    const uint32_t params = paramsMask_.load();
    std::string line;
    char buffer[64];
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    if ((params & TraceParams::Date) != 0) {
        std::snprintf(buffer, sizeof(buffer), "%02d.%02d.%04d ", local.tm_mday, local.tm_mon + 1,
                      local.tm_year + 1900);
        line += buffer;
    }
    if ((params & TraceParams::Time) != 0) {
        std::snprintf(buffer, sizeof(buffer), "%02d:%02d:%02d", local.tm_hour, local.tm_min,
                      local.tm_sec);
        line += buffer;
        if ((params & TraceParams::Milliseconds) != 0) {
            std::snprintf(buffer, sizeof(buffer), ".%03u",
                          static_cast<unsigned>(now.tv_nsec / 1000000));
            line += buffer;
        }
    }
    if ((params & TraceParams::ModuleName) != 0 || commonFileFlag_.load() != 0) {
        line += "[" + Platform::WideToCodePage(moduleName_, Platform::CodePage1251) + "] ";
    }
    if ((params & TraceParams::Session) != 0) {
        std::snprintf(buffer, sizeof(buffer), "[%08X] ", static_cast<unsigned>(getsid(0)));
        line += buffer;
    }
    if ((params & TraceParams::ProcessThread) != 0) {
        std::snprintf(buffer, sizeof(buffer), "[%X:%X] ", Platform::CurrentProcessId(),
                      Platform::CurrentThreadId());
        line += buffer;
    }
    if (level == 4) {
        line += "W> ";
    } else if (level == 8) {
        line += "E> ";
    }
    line += textBytes;
    line += "\r\n";
    // The debugger output and a console of the trace's own do not exist here; only the file is
    // written.
    if ((params & TraceParams::File) != 0) {
        int fd = OpenForAppend(false);
        if (fd < 0) {
            NoteWriteFailure(errno);
            return;
        }
        if (WriteAll(fd, line)) {
            writeProblem_.clear();
        } else {
            NoteWriteFailure(errno);
        }
        close(fd);
    }
}

}  // namespace KvBase
