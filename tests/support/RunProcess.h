#pragma once

#include <map>
#include <string>
#include <vector>

namespace KvTest {

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs a program with standard input from /dev/null (so it never waits for a key), the given
// extra environment, and collects both outputs. `timeoutSeconds` kills a hung child.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment = {},
                         int timeoutSeconds = 120, const std::string& workingFolder = "");

}  // namespace KvTest
