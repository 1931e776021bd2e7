#include "icheck/RestoreFile.h"

#include "base/KvError.h"
#include "base/SystemMessages.h"
#include "base/Trace.h"
#include "helper/Base64.h"
#include "platform/CodePage.h"
#include "platform/Process.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace KvMigration {
namespace {

constexpr wchar_t kFunction[] = L"WriteRestoreFile";

// RFC 2849: a SAFE-STRING starts with neither a blank, a colon nor "<", holds no NUL, CR or LF,
// and here also only ASCII, so that the file reads the same in any locale; it must not end with a
// blank either, which LDIF readers drop.
bool IsSafe(const std::string& value) {
    if (value.empty()) {
        return true;
    }
    if (value.front() == ' ' || value.front() == ':' || value.front() == '<' ||
        value.back() == ' ') {
        return false;
    }
    return std::all_of(value.begin(), value.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte != 0 && byte != '\r' && byte != '\n' && byte < 0x80;
    });
}

void AppendLine(std::string& out, const std::string& name, const std::string& value) {
    if (IsSafe(value)) {
        out += name + ": " + value + "\n";
    } else {
        out += name +
               ":: " + Base64Encode(reinterpret_cast<const uint8_t*>(value.data()), value.size()) +
               "\n";
    }
}

// The number of RDNs, for ordering parents before children; an escaped comma is not a separator.
size_t Depth(const std::wstring& dn) {
    size_t depth = 1;
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == L'\\') {
            ++i;
        } else if (dn[i] == L',') {
            ++depth;
        }
    }
    return depth;
}

// Named by its path: the system's code alone would read like a failure of the directory (5 is
// also what a refused write there becomes).
[[noreturn]] void RaiseWriteFailure(const std::string& path, int error) {
    KV_RAISE_ERROR(kFunction, L"The restore file \"" + Platform::Utf8ToWide(path) +
                                  L"\" cannot be written: " +
                                  KvBase::MessageForCode(Platform::ErrnoToWin32(error)));
}

std::string Timestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof(text), "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace

std::string FormatRestoreLdif(std::vector<RestoreEntry> entries, const std::wstring& comment) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return Depth(a.dn) < Depth(b.dn); });
    std::string out;
    std::string text = Platform::WideToUtf8(comment);
    for (size_t begin = 0; begin <= text.size();) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        out += "# " + text.substr(begin, end - begin) + "\n";
        begin = end + 1;
    }
    out += "version: 1\n";
    for (const RestoreEntry& entry : entries) {
        out += "\n";
        AppendLine(out, "dn", Platform::WideToUtf8(entry.dn));
        for (const auto& [name, values] : entry.attributes) {
            for (const std::string& value : values) {
                AppendLine(out, Platform::WideToUtf8(name), value);
            }
        }
    }
    return out;
}

std::string RestoreFolder() {
    std::string log = KvBase::GetTraceLogPath();
    size_t slash = log.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        return log.substr(0, slash);
    }
    for (const char* name : {"TMPDIR", "TMP"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return "/tmp";
}

std::wstring WriteRestoreFile(const std::string& folder, const std::wstring& platformName,
                              const std::string& ldif) {
    const std::string path = folder + "/KvICheckModel-" + Platform::WideToUtf8(platformName) + "-" +
                             Timestamp() + "-" + std::to_string(Platform::CurrentProcessId()) +
                             ".ldif";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        RaiseWriteFailure(path, errno);
    }
    int error = 0;
    for (size_t done = 0; done < ldif.size() && error == 0;) {
        ssize_t put = write(fd, ldif.data() + done, ldif.size() - done);
        if (put >= 0) {
            done += static_cast<size_t>(put);
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    // The model is erased right after this; the file must be on the disk by then.
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        // A part of the model is no restore file: nothing is erased, and nothing is left to be
        // taken for one.
        unlink(path.c_str());
        RaiseWriteFailure(path, error);
    }
    return Platform::Utf8ToWide(path);
}

}  // namespace KvMigration
