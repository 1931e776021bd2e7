#pragma once

#include <memory>

#include "diagnostics/ClientException.h"
#include "diagnostics/CrashCatcher.h"

namespace KvBase {

// The application's diagnostics for the whole run: the directory library's hooks installed and
// both crash catchers held (the fault catcher first).
class Diagnostics {
public:
    Diagnostics();
    ~Diagnostics();
    Diagnostics(const Diagnostics&) = delete;
    Diagnostics& operator=(const Diagnostics&) = delete;

private:
    CSehCatcher seh_;
    CCRTInvalidParamCatcher crt_;
};

// Call once at start-up, after the trace is up (a crash writes into its file) and before any
// session is opened; keep the result until the end.
std::unique_ptr<Diagnostics> InstallDiagnostics();

}  // namespace KvBase
