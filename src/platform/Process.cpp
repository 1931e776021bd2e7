#include "platform/Process.h"

#include "platform/CodePage.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <filesystem>

namespace Platform {

void ExitProcess(int status) {
    std::fflush(nullptr);
    std::exit(status & 0xFF);
}

std::optional<std::wstring> LocalComputerName() {
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof(host) - 1) != 0) {
        return std::nullopt;
    }
    std::string name(host);
    if (auto dot = name.find('.'); dot != std::string::npos) {
        name.resize(dot);
    }
    std::wstring wide = AnsiToWide(name);
    for (auto& c : wide) {
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    }
    return wide;
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(getpid());
}

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

int LastError() {
    return errno;
}

void SetLastError(int code) {
    errno = code;
}

uint32_t ErrnoToWin32(int error) {
    switch (error) {
        case 0:
            return 0;
        case ENOENT:
            return 2;  // the system cannot find the file specified
        case ENOTDIR:
            return 3;  // the system cannot find the path specified
        case EMFILE:
        case ENFILE:
            return 4;  // the system cannot open the file
        case EACCES:
        case EPERM:
        case EISDIR:
            return 5;  // access is denied
        case EBADF:
            return 6;  // the handle is invalid
        case ENOMEM:
            return 8;  // not enough memory resources
        case EROFS:
            return 19;  // the media is write protected
        case EEXIST:
            return 80;  // the file exists
        case EINVAL:
            return 87;  // the parameter is incorrect
        case ENXIO:
            return 110;  // the system cannot open the device or file specified
        case ENOSPC:
        case EDQUOT:
            return 112;  // there is not enough space on the disk
        case EBUSY:
        case ETXTBSY:
            return 170;  // the requested resource is in use
        case ENAMETOOLONG:
            return 206;  // the filename or extension is too long
        case EIO:
            return 1117;  // an I/O device error
        case ELOOP:
            return 1921;  // the name of the file cannot be resolved by the system
        case ECONNREFUSED:
            return 1225;  // the remote computer refused the network connection
        case ETIMEDOUT:
            return 1460;  // the timeout period expired
        default:
            return 0x80004005;
    }
}

void HidePasswordArgument(char* value) {
    if (value == nullptr) {
        return;
    }
    char* password = std::strchr(value, ':');
    for (char* p = password != nullptr ? password + 1 : value; *p != '\0'; ++p) {
        *p = 'x';
    }
}

std::string ProgramPath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

}  // namespace Platform
