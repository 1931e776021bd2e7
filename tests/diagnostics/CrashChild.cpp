// Crashes on purpose, with the program's catchers installed, for the crash-report tests.

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Trace.h"
#include "diagnostics/Diagnostics.h"

namespace {

volatile int g_zero = 0;
int* volatile g_null = nullptr;

// Holds the standard output's lock, as a thread in the middle of a printf would.
void* HoldStandardOutput(void* ready) {
    flockfile(stdout);
    *static_cast<volatile bool*>(ready) = true;
    for (;;) {
        pause();
    }
}

}  // namespace

int main(int argc, char** argv) {
    KvBase::GetTrace();
    auto diagnostics = KvBase::InstallDiagnostics();
    std::string kind = argc > 1 ? argv[1] : "";
    if (kind == "null-read") {
        return *g_null;
    }
    if (kind == "divide") {
        return 10 / g_zero;
    }
    if (kind == "abort") {
        std::abort();
    }
    if (kind == "thread-alive") {
        volatile bool ready = false;
        pthread_t thread;
        pthread_create(&thread, nullptr, &HoldStandardOutput, const_cast<bool*>(&ready));
        while (!ready) {
            usleep(1000);
        }
        return *g_null;
    }
    return 0;
}
