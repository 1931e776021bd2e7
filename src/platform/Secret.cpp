#include "platform/Secret.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

namespace Platform {
namespace {

// The terminal whose echo is off, for the signal handler that turns it back on.
int g_terminal = -1;
termios g_saved{};

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A signal that ends the run while echo is off must not leave the person's terminal without echo:
// restore it, then let the signal do what it would have done.
void RestoreAndRaise(int signal) {
    if (g_terminal >= 0) {
        tcsetattr(g_terminal, TCSAFLUSH, &g_saved);
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

// Reads until a line end, the end of input, or room for SecretMaxBytes and a line end is used up;
// what is left of an overlong line is read and dropped so that it does not reach the shell.
Secret ReadLine(int fd) {
    Secret secret;
    char buffer[SecretMaxBytes + 2];
    size_t length = 0;
    bool overlong = false;
    for (;;) {
        char chunk[256];
        ssize_t n = read(fd, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            secret.error = errno;
            break;
        }
        if (n == 0) {
            secret.status = length == 0 && !overlong ? SecretStatus::Ended : SecretStatus::Read;
            break;
        }
        const char* end =
            static_cast<const char*>(std::memchr(chunk, '\n', static_cast<size_t>(n)));
        size_t take = end != nullptr ? static_cast<size_t>(end - chunk) : static_cast<size_t>(n);
        if (length + take > SecretMaxBytes) {
            overlong = true;
        } else {
            std::memcpy(buffer + length, chunk, take);
            length += take;
        }
        explicit_bzero(chunk, sizeof(chunk));
        if (end != nullptr) {
            secret.status = SecretStatus::Read;
            break;
        }
    }
    if (secret.status == SecretStatus::Read) {
        if (overlong) {
            secret.status = SecretStatus::TooLong;
        } else {
            secret.text.assign(buffer, length);
            if (!secret.text.empty() && secret.text.back() == '\r') {
                secret.text.pop_back();
            }
        }
    }
    explicit_bzero(buffer, sizeof(buffer));
    return secret;
}

}  // namespace

Secret AskSecretOnTerminal(std::string_view prompt) {
    Secret secret;
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        secret.status = SecretStatus::NoTerminal;
        secret.error = errno;
        return secret;
    }
    termios saved{};
    if (tcgetattr(fd, &saved) != 0) {
        secret.status = SecretStatus::NoTerminal;
        secret.error = errno;
        close(fd);
        return secret;
    }
    struct sigaction previous[std::size(kEndingSignals)];
    g_saved = saved;
    g_terminal = fd;
    struct sigaction restore {};
    restore.sa_handler = RestoreAndRaise;
    sigemptyset(&restore.sa_mask);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
        sigaction(kEndingSignals[i], &restore, &previous[i]);
    }
    // Stopped with Ctrl-Z and continued, the prompt would read on with echo back on; the key is
    // ignored while the password is typed.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction previousStop {};
    sigaction(SIGTSTP, &ignore, &previousStop);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
    quiet.c_lflag |= ICANON;
    // Echo goes off before the prompt shows, so that nothing typed after it is ever echoed;
    // flushing drops what was typed before it, which was echoed and is no password.
    tcsetattr(fd, TCSAFLUSH, &quiet);
    WriteAll(fd, prompt);
    secret = ReadLine(fd);
    tcsetattr(fd, TCSAFLUSH, &saved);
    sigaction(SIGTSTP, &previousStop, nullptr);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
        sigaction(kEndingSignals[i], &previous[i], nullptr);
    }
    g_terminal = -1;
    // The Enter that ended the line was not echoed.
    WriteAll(fd, "\n");
    close(fd);
    return secret;
}

Secret FirstSecretLine(std::string_view bytes, bool complete) {
    Secret secret;
    size_t end = bytes.find('\n');
    if (end == std::string_view::npos) {
        if (!complete || bytes.size() > SecretMaxBytes) {
            secret.status = SecretStatus::TooLong;
            return secret;
        }
        end = bytes.size();
    }
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.size() > SecretMaxBytes) {
        secret.status = SecretStatus::TooLong;
        return secret;
    }
    secret.status = SecretStatus::Read;
    secret.text.assign(line);
    return secret;
}

Secret ReadSecretFile(const std::string& path) {
    Secret secret;
    // Non-blocking, so that a FIFO at the name does not hold the run until someone writes to it.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        secret.error = errno;
        return secret;
    }
    // The file that was opened is the one judged, whatever the name points at by now.
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        secret.error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        secret.status = SecretStatus::NotAFile;
    } else if (info.st_uid != geteuid() && info.st_uid != 0) {
        secret.status = SecretStatus::NotOwner;
    } else if ((info.st_mode & 077) != 0) {
        secret.status = SecretStatus::OpenToOthers;
        secret.mode = static_cast<unsigned>(info.st_mode & 07777);
    } else {
        // A line end after the longest password, and one byte more for "\r\n".
        char buffer[SecretMaxBytes + 2];
        size_t length = 0;
        bool complete = false;
        while (length < sizeof(buffer)) {
            ssize_t n = read(fd, buffer + length, sizeof(buffer) - length);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                secret.error = errno;
                break;
            }
            if (n == 0) {
                complete = true;
                break;
            }
            length += static_cast<size_t>(n);
        }
        if (secret.error == 0) {
            secret = FirstSecretLine(std::string_view(buffer, length), complete);
        }
        explicit_bzero(buffer, sizeof(buffer));
    }
    close(fd);
    return secret;
}

}  // namespace Platform
