#include "support/TerminalProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace KvTest {
namespace {

[[noreturn]] void Exec(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

// In the child: a new session whose terminal is the pseudo-terminal (or, for NotControlling, a
// session without one), standard streams wired as asked, then the program.
[[noreturn]] void StartChild(const std::string& slaveName, const std::string& program,
                             const std::vector<std::string>& arguments,
                             const TerminalOptions& options) {
    setsid();
    const bool controlling = options.role != TerminalRole::NotControlling;
    int slave = open(slaveName.c_str(), O_RDWR | (controlling ? 0 : O_NOCTTY));
    if (slave < 0 || (controlling && ioctl(slave, TIOCSCTTY, 0) != 0)) {
        _exit(126);
    }
    int output = slave;
    if (!options.outputFile.empty()) {
        output = open(options.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (output < 0) {
            _exit(126);
        }
    }
    dup2(slave, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(output, STDERR_FILENO);
    for (const auto& [name, value] : options.environment) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    if (!options.workingFolder.empty() && chdir(options.workingFolder.c_str()) != 0) {
        _exit(126);
    }
    if (options.role != TerminalRole::Background) {
        Exec(program, arguments);
    }
    // A background job: a process group of its own in this session, while the session leader's
    // group keeps the terminal. A job stopped by the terminal counts as a failure, not a hang.
    pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        Exec(program, arguments);
    }
    int status = 0;
    if (job < 0 || waitpid(job, &status, WUNTRACED) < 0) {
        _exit(126);
    }
    if (WIFSTOPPED(status)) {
        kill(job, SIGKILL);
        waitpid(job, &status, 0);
        _exit(125);
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

}  // namespace

TerminalResult RunOnTerminal(const std::string& program, const std::vector<std::string>& arguments,
                             const TerminalOptions& options) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    const std::string slaveName = ptsname(master);
    pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        StartChild(slaveName, program, arguments, options);
    }

    TerminalResult result;
    fcntl(master, F_SETFL, O_NONBLOCK);
    auto readScreen = [&] {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = read(master, buffer, sizeof(buffer))) > 0) {
            result.screen.append(buffer, static_cast<size_t>(n));
            if (options.onScreen) {
                std::string typed = options.onScreen(result.screen, pid);
                if (!typed.empty() && write(master, typed.data(), typed.size()) < 0) {
                    return;
                }
            }
        }
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    int status = 0;
    while (true) {
        pollfd fd{master, POLLIN, 0};
        poll(&fd, 1, 50);
        readScreen();
        if (waitpid(pid, &status, WNOHANG) == pid) {
            readScreen();
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timedOut = true;
            break;
        }
    }
    close(master);
    return result;
}

}  // namespace KvTest
