#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace KvTest {

// How the program meets the terminal.
enum class TerminalRole {
    Foreground,     // the terminal is its controlling terminal and it is the foreground job
    Background,     // the terminal is its controlling terminal, but it is a background job
    NotControlling  // standard input is a terminal that is not its controlling terminal
};

struct TerminalOptions {
    TerminalRole role = TerminalRole::Foreground;
    // Standard output (and error) go to this file instead of the terminal when not empty.
    std::string outputFile;
    std::map<std::string, std::string> environment;
    std::string workingFolder;
    int timeoutSeconds = 20;
    // Called with everything the terminal showed so far and the program's process id whenever
    // more arrives; what it returns is typed on the terminal.
    std::function<std::string(const std::string& screen, pid_t pid)> onScreen;
};

struct TerminalResult {
    int status = -1;     // exit status, 128 + signal, or -1 when it had to be killed
    std::string screen;  // what the terminal showed
    bool timedOut = false;
};

// Runs a program on a fresh pseudo-terminal, as a person at a terminal (or a background job of
// theirs) would start it.
TerminalResult RunOnTerminal(const std::string& program, const std::vector<std::string>& arguments,
                             const TerminalOptions& options);

}  // namespace KvTest
