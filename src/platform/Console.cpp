#include "platform/Console.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace Platform {
namespace {

const char* AnsiSequence(int attribute) {
    switch (attribute) {
        case ColorLightRed:
            return "\033[91m";
        case ColorYellow:
            return "\033[33m";
        default:
            return "\033[0m";
    }
}

// Someone sits at the terminal and this run has it: standard input and output are the terminal
// and the process is in its foreground process group. A background job ("&") would be stopped
// by the terminal on its first read or mode change, and a redirected run would wait invisibly.
bool AttendedTerminal() {
    return isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0 &&
           tcgetpgrp(STDIN_FILENO) == getpgrp();
}

class TerminalConsole final : public IConsole {
public:
    void Write(std::string_view bytes) override {
        std::lock_guard guard(lock_);
        BlankStatus();
        Put(bytes, stdout);
    }

    void WriteError(std::string_view bytes) override {
        std::lock_guard guard(lock_);
        BlankStatus();
        Put(bytes, stderr);
    }

    bool OutputIsTerminal() override {
        static const bool terminal = isatty(STDOUT_FILENO) != 0;
        return terminal;
    }

    void WriteStatus(std::string_view bytes) override {
        std::lock_guard guard(lock_);
        // Spaces over whatever of a longer previous line would otherwise stay visible.
        std::string line = "\r" + std::string(bytes);
        if (statusWidth_ > bytes.size()) {
            line.append(statusWidth_ - bytes.size(), ' ');
        }
        Put(line, stdout);
        statusWidth_ = std::max(statusWidth_, bytes.size());
    }

    int SetTextAttribute(int attribute) override {
        int previous = attribute_;
        attribute_ = attribute;
        if (ColorsEnabled()) {
            WriteError(AnsiSequence(attribute));
        }
        return previous;
    }

    void Pause() override {
        if (!AttendedTerminal()) {
            return;
        }
        WriteError("Press any key to continue . . . ");
        termios saved{};
        bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
        if (raw) {
            termios single = saved;
            single.c_lflag &= ~(ICANON | ECHO);
            single.c_cc[VMIN] = 1;
            single.c_cc[VTIME] = 0;
            tcsetattr(STDIN_FILENO, TCSANOW, &single);
        }
        char key = 0;
        [[maybe_unused]] ssize_t n = read(STDIN_FILENO, &key, 1);
        if (raw) {
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        }
        WriteError("\n");
    }

    void WaitForEnter() override {
        if (!AttendedTerminal()) {
            return;
        }
        int c = 0;
        while ((c = std::getchar()) != EOF && c != '\n') {
        }
    }

private:
    static void Put(std::string_view bytes, FILE* stream) {
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::fflush(stream);
    }

    // Spaces rather than an erase sequence, so that a terminal without one shows no stray bytes.
    void BlankStatus() {
        if (statusWidth_ != 0) {
            Put("\r" + std::string(statusWidth_, ' ') + "\r", stdout);
            statusWidth_ = 0;
        }
    }

    static bool ColorsEnabled() {
        static const bool enabled =
            isatty(STDERR_FILENO) != 0 && std::getenv("NO_COLOR") == nullptr;
        return enabled;
    }

    int attribute_ = ColorDefault;
    std::mutex lock_;
    size_t statusWidth_ = 0;  // the widest status line shown since the last blank; 0: none
};

}  // namespace

IConsole& SystemConsole() {
    static TerminalConsole console;
    return console;
}

}  // namespace Platform
