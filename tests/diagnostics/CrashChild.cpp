// Crashes on purpose, with the program's catchers installed, for the crash-report tests.

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/KvError.h"
#include "diagnostics/Diagnostics.h"
#include "helper/ConsoleOutput.h"
#include "platform/CodePage.h"

namespace {

void Fatal(const KvBase::IKvErrorW& error) {
    std::string dump = Platform::WideToUtf8(error.Dump());
    if (write(STDERR_FILENO, dump.data(), dump.size()) < 0) {
        _exit(254);
    }
    KvMigration::PrintFatalError(error);
}

volatile int g_zero = 0;
int* volatile g_null = nullptr;

}  // namespace

int main(int argc, char** argv) {
    auto diagnostics = KvBase::InstallDiagnostics(&Fatal);
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
    return 0;
}
