#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "helper/MigrationContext.h"

namespace KvMigration {

class CommandLine;

struct InputParameters {
    bool isExport = true;
    bool isLds = true;
    bool useSsl = false;
    int32_t ldsPort = 0;
    int32_t ldsGcPort = 0;
    std::wstring fileName;
    std::wstring userName;
    std::wstring password;
    bool forceImport = false;
    bool kvPolicyPriority = true;
    bool importPrivileges = false;
    std::set<int> sections;  // empty means all
    std::wstring serverName;
    std::wstring dcName;
    std::wstring omsId;
    // "-n": an import that reads everything and writes nothing.
    bool dryRun = false;
    // "-report <file>": one JSON line per object; empty for none.
    std::wstring reportFile;
    // "-undo <folder>": the LDIF files that reverse the import; empty for none.
    std::wstring undoFolder;
};

// Reads and validates the arguments (without the program name). Prints the help text and ends
// the process for "-h", "-?" or no key; raises the error object or a standard exception
// otherwise.
InputParameters ReadInputParameters(const std::vector<std::wstring>& arguments);

// The first value of `key`; when there is none: an error if `required`, else an empty text.
std::wstring ReadFirstArgument(const CommandLine& commandLine, const std::wstring& key,
                               bool required);

// The help text, byte for byte as the program prints it.
const std::string& UsageText();
void PrintUsage();

// The "Input string: ..." trace line with the value after "-cr" hidden.
void EchoCommandLine(const std::vector<std::wstring>& arguments);

// Base-10 conversion as std::stoi does it, with the texts "invalid stoi argument" and
// "stoi argument out of range" in its standard exceptions.
int32_t StringToInt(const std::wstring& text);

}  // namespace KvMigration
