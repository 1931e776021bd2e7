#include "app/UndoFile.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/KvError.h"
#include "platform/CodePage.h"

namespace KvMigration {
namespace {

[[noreturn]] void RaiseFileError(const wchar_t* function, const std::string& path,
                                 const char* action, int error) {
    KV_RAISE_ERROR(function, L"The undo file \"" + Platform::Utf8ToWide(path) +
                                 L"\" could not be " + Platform::Utf8ToWide(action) + L": " +
                                 Platform::Utf8ToWide(std::strerror(error)) + L".");
}

// Writes everything or reports the error number: a short write on a full disk is an error too.
int WriteAll(int fd, std::string_view data, off_t offset) {
    while (!data.empty()) {
        ssize_t written = pwrite(fd, data.data(), data.size(), offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return ENOSPC;
        }
        data.remove_prefix(static_cast<size_t>(written));
        offset += written;
    }
    return 0;
}

int ReadAll(int fd, std::string& data, off_t offset) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t got = pread(fd, data.data() + done, data.size() - done, offset + done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return EIO;
        }
        done += static_cast<size_t>(got);
    }
    return 0;
}

// The folder entry of a new or removed file must reach the disk as well.
void SyncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

UndoFile::UndoFile(std::string path, std::string server)
    : path_(std::move(path)), partPath_(path_ + ".part"), server_(std::move(server)) {
    fd_ = open(partPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        RaiseFileError(L"UndoFile::UndoFile", partPath_, "created", errno);
    }
    const std::string header =
        "# The records below are in the order of the changes they reverse: the import that wrote "
        "them did not end.\n# Apply them last first (reverse the order of the records) with "
        "ldapmodify -c.\n# server: " +
        server_ + "\n\n";
    int error = WriteAll(fd_, header, 0);
    if (error == 0 && fsync(fd_) != 0) {
        error = errno;
    }
    if (error != 0) {
        // Not left behind: a ".part" without its header would stop the next run in this folder.
        close(fd_);
        fd_ = -1;
        unlink(partPath_.c_str());
        RaiseFileError(L"UndoFile::UndoFile", partPath_, "written", error);
    }
    end_ = static_cast<off_t>(header.size());
    SyncFolderOf(partPath_);
}

UndoFile::~UndoFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

size_t UndoFile::Append(std::string_view records) {
    std::lock_guard<std::mutex> guard(lock_);
    if (finished_) {
        KV_RAISE_ERROR(L"UndoFile::Append", L"The undo file \"" + Platform::Utf8ToWide(path_) +
                                                L"\" is already complete.");
    }
    int error = WriteAll(fd_, records, end_);
    if (error == 0 && fdatasync(fd_) != 0) {
        error = errno;
    }
    if (error != 0) {
        // A part of the record may be on the disk: cut it off so that the file holds whole
        // records only, or say that its last one is not.
        const bool cut = ftruncate(fd_, end_) == 0;
        RaiseFileError(L"UndoFile::Append", partPath_,
                       cut ? "written" : "written (its last record is incomplete)", error);
    }
    records_.push_back({end_, records.size(), false});
    end_ += static_cast<off_t>(records.size());
    return records_.size() - 1;
}

void UndoFile::Withdraw(size_t record) {
    std::lock_guard<std::mutex> guard(lock_);
    if (record >= records_.size() || finished_) {
        return;
    }
    records_[record].withdrawn = true;
    // Only the last record can leave the ".part"; an earlier one stays there, skipped when the
    // final file is written, and harmless if applied (its change never happened).
    if (record + 1 == records_.size()) {
        end_ = records_[record].offset;
        records_.pop_back();
        // Should the cut fail, the record stays in the ".part" alone: applying it would do no
        // harm, so the refused change is no reason to end the run.
        if (ftruncate(fd_, end_) == 0) {
            fdatasync(fd_);
        }
    }
}

void UndoFile::Finish() {
    std::lock_guard<std::mutex> guard(lock_);
    if (finished_) {
        return;
    }
    // Tried once: after a failure the run has said that the ".part" holds every record, and so
    // it stays.
    finished_ = true;
    WriteFinal();
    close(fd_);
    fd_ = -1;
    unlink(partPath_.c_str());
    SyncFolderOf(partPath_);
}

void UndoFile::WriteFinal() {
    int out = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0) {
        RaiseFileError(L"UndoFile::Finish", path_, "created", errno);
    }
    const std::string header = "# server: " + server_ +
                               "\n# Reverses an import; apply with: ldapmodify -c -H " + server_ +
                               " -f <this file>\n\n";
    int error = WriteAll(out, header, 0);
    off_t at = static_cast<off_t>(header.size());
    std::string buffer;
    for (auto record = records_.rbegin(); error == 0 && record != records_.rend(); ++record) {
        if (record->withdrawn) {
            continue;
        }
        buffer.resize(record->size);
        error = ReadAll(fd_, buffer, record->offset);
        if (error == 0) {
            error = WriteAll(out, buffer, at);
            at += static_cast<off_t>(buffer.size());
        }
    }
    if (error == 0 && fsync(out) != 0) {
        error = errno;
    }
    close(out);
    if (error != 0) {
        // Half a reversed file would pass for a whole one; the ".part" still holds every record.
        unlink(path_.c_str());
        RaiseFileError(L"UndoFile::Finish", path_, "written", error);
    }
}

}  // namespace KvMigration
