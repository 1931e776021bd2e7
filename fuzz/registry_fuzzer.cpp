// Feeds arbitrary bytes to the registry-file reader and the command-line reader: both take text
// that an administrator (or a damaged file) supplies.
#include "app/CommandLine.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto registry = Platform::RegFileRegistry::FromBytes(bytes);
    registry.GetDword(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5", L"ComputerSid");
    registry.GetString(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5", L"ComputerSid");

    std::vector<std::wstring> arguments;
    std::wstring text = Platform::Utf8ToWide(bytes);
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == L' ') {
            arguments.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    KvMigration::CommandLine commandLine(arguments);
    for (const auto& argument : arguments) {
        for (size_t v = 0; v < commandLine.ValueCount(argument); ++v) {
            commandLine.Value(argument, v);
        }
    }
    return 0;
}
