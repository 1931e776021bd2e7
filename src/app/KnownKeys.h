#pragma once

#include <string>
#include <vector>

namespace KvMigration {

class CommandLine;

// Whether the program knows the key; unknown keys are ignored, but named (see UnknownKeyWarnings).
bool IsKnownKey(const std::wstring& key);

// The known key an unknown one was most likely meant to be ("-polices" for "-policies"); empty
// when none is close enough to suggest.
std::wstring NearestKnownKey(const std::wstring& key);

// One warning per key of the command line that the program does not know, in name order: a typo
// such as "-polices" would otherwise leave the import running with every section.
std::vector<std::wstring> UnknownKeyWarnings(const CommandLine& commandLine);

}  // namespace KvMigration
