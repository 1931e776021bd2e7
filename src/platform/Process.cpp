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
