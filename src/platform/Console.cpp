#include "platform/Console.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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

class TerminalConsole final : public IConsole {
public:
    void Write(std::string_view bytes) override {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        std::fflush(stdout);
    }

    void WriteError(std::string_view bytes) override {
        std::fwrite(bytes.data(), 1, bytes.size(), stderr);
        std::fflush(stderr);
    }

    int SetTextAttribute(int attribute) override {
        int previous = attribute_;
        attribute_ = attribute;
        if (ColorsEnabled()) {
            Write(AnsiSequence(attribute));
        }
        return previous;
    }

    void Pause() override {
        if (isatty(STDIN_FILENO) == 0) {
            return;
        }
        Write("Press any key to continue . . . ");
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
        Write("\n");
    }

    void WaitForEnter() override {
        if (isatty(STDIN_FILENO) == 0) {
            return;
        }
        int c = 0;
        while ((c = std::getchar()) != EOF && c != '\n') {
        }
    }

private:
    static bool ColorsEnabled() {
        static const bool enabled =
            isatty(STDOUT_FILENO) != 0 && std::getenv("NO_COLOR") == nullptr;
        return enabled;
    }

    int attribute_ = ColorDefault;
};

}  // namespace

IConsole& SystemConsole() {
    static TerminalConsole console;
    return console;
}

}  // namespace Platform
