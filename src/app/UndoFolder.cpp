#include "app/UndoFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/KvError.h"
#include "platform/CodePage.h"

namespace KvMigration {
namespace {

// The first file of an earlier run in the folder; empty when there is none.
std::string EarlierUndoFile(const std::string& path) {
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr) {
        KV_RAISE_ERROR(L"UndoFolder::UndoFolder",
                       L"The undo folder \"" + Platform::Utf8ToWide(path) +
                           L"\" could not be read: " + Platform::Utf8ToWide(std::strerror(errno)) +
                           L".");
    }
    std::string found;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.ends_with(".ldif") || name.ends_with(".ldif.part")) {
            found = name;
            break;
        }
    }
    closedir(folder);
    return found;
}

}  // namespace

std::string UndoFileName(const std::string& host, int port) {
    std::string name = host;
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (!plain) {
            c = '_';
        }
    }
    return name + "_" + std::to_string(port) + ".ldif";
}

UndoFolder::UndoFolder(std::string path) : path_(std::move(path)) {
    if (mkdir(path_.c_str(), 0700) != 0 && errno != EEXIST) {
        KV_RAISE_ERROR(L"UndoFolder::UndoFolder",
                       L"The undo folder \"" + Platform::Utf8ToWide(path_) +
                           L"\" could not be created: " +
                           Platform::Utf8ToWide(std::strerror(errno)) + L".");
    }
    struct stat status {};
    if (lstat(path_.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        KV_RAISE_ERROR(
            L"UndoFolder::UndoFolder",
            L"The undo folder \"" + Platform::Utf8ToWide(path_) + L"\" is not a folder.");
    }
    if (std::string earlier = EarlierUndoFile(path_); !earlier.empty()) {
        KV_RAISE_ERROR(L"UndoFolder::UndoFolder",
                       L"The undo folder \"" + Platform::Utf8ToWide(path_) +
                           L"\" already holds \"" + Platform::Utf8ToWide(earlier) +
                           L"\" of an earlier import; name an empty or new folder with -undo.");
    }
}

std::shared_ptr<UndoFile> UndoFolder::FileFor(const std::string& host, int port, bool ssl) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::string name = UndoFileName(host, port);
    auto found = files_.find(name);
    if (found != files_.end()) {
        return found->second;
    }
    const std::string server = (ssl ? "ldaps://" : "ldap://") + host + ":" + std::to_string(port);
    auto file = std::make_shared<UndoFile>(path_ + "/" + name, server);
    files_.emplace(name, file);
    return file;
}

void UndoFolder::SetFailure(const std::wstring& description) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!failure_) {
        failure_ = description;
    }
}

void UndoFolder::CheckUsable() const {
    std::lock_guard<std::mutex> guard(lock_);
    if (failure_) {
        KV_RAISE_ERROR(L"UndoFolder::CheckUsable", *failure_);
    }
}

void UndoFolder::Finish() {
    std::optional<std::wstring> firstFailure;
    {
        std::lock_guard<std::mutex> guard(lock_);
        firstFailure = failure_;
        for (auto& [name, file] : files_) {
            try {
                file->Finish();
            } catch (const KvBase::CKvError& e) {
                if (!firstFailure) {
                    firstFailure = e.Description();
                }
            }
        }
    }
    if (firstFailure) {
        KV_RAISE_ERROR(L"UndoFolder::Finish", *firstFailure);
    }
}

}  // namespace KvMigration
