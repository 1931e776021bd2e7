#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/Paths.h"

namespace KvFuzz {

// The trace is always on in this program; without a trace key it would write every line of
// millions of runs to /var/log/korvant. A registry whose trace folder is /dev/null makes every
// open fail at once, so the fuzzers exercise the trace calls without writing anything.
inline void SendTraceNowhere() {
    const std::string path = Platform::TempFolder() + "/kv-fuzz-registry.reg";
    std::ofstream(path, std::ios::trunc)
        << "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\n"
           "\"TracePath\"=\"/dev/null/\"\n";
    setenv("KV_REGISTRY_FILE", path.c_str(), 1);
}

}  // namespace KvFuzz
