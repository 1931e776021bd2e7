#include "app/ObjectReport.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "helper/ReportLines.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace KvMigration {
namespace {

constexpr const wchar_t* kFunction = L"ObjectReport::Open";

[[noreturn]] void RaiseOpenError(const std::wstring& path, int error) {
    KV_RAISE_ERROR(kFunction, FormatString(L"Can't create the report file \"%ls\": %s.",
                                           path.c_str(), std::strerror(error)));
}

// Whether two names are one file: the same inode when both exist (a hard link, another spelling
// of the path), else the same path once the links and dots of their folders are resolved.
bool SameFile(const std::wstring& first, const std::wstring& second) {
    const std::string a = Platform::WideToUtf8(first);
    const std::string b = Platform::WideToUtf8(second);
    struct stat one {};
    struct stat two {};
    if (stat(a.c_str(), &one) == 0 && stat(b.c_str(), &two) == 0) {
        return one.st_dev == two.st_dev && one.st_ino == two.st_ino;
    }
    std::error_code ec1;
    std::error_code ec2;
    const auto canonicalA = std::filesystem::weakly_canonical(a, ec1);
    const auto canonicalB = std::filesystem::weakly_canonical(b, ec2);
    return ec1 || ec2 ? a == b : canonicalA == canonicalB;
}

}  // namespace

std::shared_ptr<ObjectReport> ObjectReport::Open(const InputParameters& parameters) {
    const std::wstring& path = parameters.reportFile;
    const std::string name = Platform::WideToUtf8(path);
    struct stat entry {};
    if (lstat(name.c_str(), &entry) == 0) {
        if (!S_ISREG(entry.st_mode)) {
            KV_RAISE_ERROR(kFunction, FormatString(L"\"%ls\" is not a regular file; -report "
                                                   L"writes only to a file.",
                                                   path.c_str()));
        }
    } else if (errno == ENOENT) {
        const std::wstring folder = Platform::FolderPart(path);
        std::error_code ec;
        if (!std::filesystem::is_directory(Platform::WideToUtf8(folder), ec)) {
            KV_RAISE_ERROR(kFunction, FormatString(L"Can't create the report file: a folder "
                                                   L"with path \"%ls\" doesn't exist",
                                                   folder.c_str()));
        }
    } else {
        RaiseOpenError(path, errno);
    }
    // Checked before the file is emptied: a report over the file to import would destroy it.
    if (SameFile(path, parameters.fileName)) {
        KV_RAISE_ERROR(kFunction, FormatString(L"The report file \"%ls\" is the migration file; "
                                               L"-report needs a file of its own.",
                                               path.c_str()));
    }
    // Nor over the trace log, which every run of the program appends to.
    if (const std::string trace = KvBase::GetTraceLogPath();
        !trace.empty() && SameFile(path, Platform::Utf8ToWide(trace))) {
        KV_RAISE_ERROR(kFunction, FormatString(L"The report file \"%ls\" is the trace log; "
                                               L"-report needs a file of its own.",
                                               path.c_str()));
    }
    // Not emptied on open: only once it is known to be a regular file, not a FIFO or device put
    // in place of the name since it was looked at.
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                  0666);
    if (fd < 0) {
        RaiseOpenError(path, errno);
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        KV_RAISE_ERROR(kFunction, FormatString(L"\"%ls\" is not a regular file; -report writes "
                                               L"only to a file.",
                                               path.c_str()));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (ftruncate(fd, 0) != 0) {
        const int error = errno;
        close(fd);
        RaiseOpenError(path, error);
    }
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Report file: %ls", path.c_str());
    return std::shared_ptr<ObjectReport>(
        new ObjectReport(fd, path, parameters.isExport, parameters.dryRun));
}

ObjectReport::ObjectReport(int fd, std::wstring path, bool isExport, bool dryRun)
    : fd_(fd), path_(std::move(path)), isExport_(isExport), dryRun_(dryRun) {}

ObjectReport::~ObjectReport() {
    close(fd_);
}

void ObjectReport::OnObject(const ObjectEvent& event, const MigrationJournal& /*journal*/) {
    std::lock_guard guard(lock_);
    if (finished_ || broken_) {
        return;
    }
    Write(ReportObjectLine(event));
}

void ObjectReport::Finish(int status, const std::vector<SectionTally>& tallies) {
    std::lock_guard guard(lock_);
    if (finished_ || broken_) {
        return;
    }
    finished_ = true;
    Write(ReportSummaryLine(ReportSummary{tallies, status, isExport_, dryRun_}));
    if (!broken_ && fsync(fd_) != 0) {
        const int error = errno;
        PrintWarning(FormatString(L"The report file \"%ls\" could not be written to disk: %s.",
                                  path_.c_str(), std::strerror(error)));
    }
}

void ObjectReport::Write(const std::string& line) {
    size_t done = 0;
    while (done < line.size()) {
        ssize_t n = write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            broken_ = true;
            // The line cut where it stopped would leave a file that no JSON reader accepts.
            if (ftruncate(fd_, lseek(fd_, 0, SEEK_CUR) - static_cast<off_t>(done)) != 0) {
                KvBase::GetTrace().Trace(KvBase::TraceError, L"The report file kept a cut line.");
            }
            PrintWarning(
                FormatString(L"The report file \"%ls\" could not be written: %s. It ends "
                             L"here; the run goes on.",
                             path_.c_str(), std::strerror(error)));
            return;
        }
        done += static_cast<size_t>(n);
    }
}

}  // namespace KvMigration
