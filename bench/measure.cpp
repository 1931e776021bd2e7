// Runs a command several times and prints the best wall-clock time in seconds and the largest
// peak resident memory in megabytes of the runs: "measure <runs> <program> [arguments...]".
// Standard output of the command is discarded; a failing run ends the measurement with its status.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: measure <runs> <program> [arguments...]\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    double best = 1e30;
    long peakKb = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        pid_t child = fork();
        if (child == 0) {
            int null = open("/dev/null", O_RDWR);
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            execvp(argv[2], argv + 2);
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "%s failed (status %d)\n", argv[2], status);
            return 1;
        }
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, seconds);
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    std::printf("%.3f %.1f\n", best, static_cast<double>(peakKb) / 1024.0);
    return 0;
}
