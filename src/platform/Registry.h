#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// One value of a registry key as a `.reg` export holds it.
struct RegValue {
    enum class Type { String, ExpandString, MultiString, Dword, Qword, Binary };
    Type type = Type::String;
    std::wstring text;               // String, ExpandString
    std::vector<std::wstring> list;  // MultiString
    uint64_t number = 0;             // Dword, Qword
    std::vector<uint8_t> bytes;      // Binary and any other hex(n) type
};

// Read-only view of the machine's registry. Key paths are full ("HKEY_LOCAL_MACHINE\SOFTWARE\...");
// key paths and value names compare case-insensitively. A missing key behaves as an empty one.
class IRegistry {
public:
    virtual ~IRegistry() = default;
    virtual bool KeyExists(std::wstring_view keyPath) const = 0;
    virtual std::optional<RegValue> GetValue(std::wstring_view keyPath,
                                             std::wstring_view name) const = 0;

    // A 32-bit number as a 4-byte query would read it: a dword, the low half of a qword, or the
    // first four bytes of binary data. Strings give nothing.
    std::optional<uint32_t> GetDword(std::wstring_view keyPath, std::wstring_view name) const;
    // The text of a string or expandable-string value.
    std::optional<std::wstring> GetString(std::wstring_view keyPath, std::wstring_view name) const;
};

// The largest registry file that is read: a `.reg` export of the product's keys is a few
// kilobytes; anything beyond this is not one.
inline constexpr size_t MaxRegistryFileBytes = 16u << 20;

// The registry read from a Windows `.reg` export ("Windows Registry Editor Version 5.00" in
// UTF-16LE with BOM, or UTF-8 / "REGEDIT4"). Lines it cannot understand are ignored. Reading
// takes time and memory in proportion to the text.
class RegFileRegistry final : public IRegistry {
public:
    RegFileRegistry() = default;
    static RegFileRegistry FromText(std::wstring_view text);
    static RegFileRegistry FromBytes(std::string_view bytes);
    // A file that is missing or unreadable gives an empty registry. So does a path that is not a
    // regular file (a FIFO, a device) or a file over MaxRegistryFileBytes; `problem` then says
    // why, for the trace.
    static RegFileRegistry FromFile(const std::string& path, std::string* problem = nullptr);

    bool KeyExists(std::wstring_view keyPath) const override;
    std::optional<RegValue> GetValue(std::wstring_view keyPath,
                                     std::wstring_view name) const override;

private:
    using Values = std::map<std::wstring, RegValue>;  // lower-cased value name -> value
    std::map<std::wstring, Values> keys_;             // lower-cased key path -> values
};

// The path of the machine's registry file: $KV_REGISTRY_FILE, else /etc/korvant/registry.reg.
std::string SystemRegistryPath();
// The machine's registry file, read once for each version of it (path, file identity, size and
// modification time): a run reads it once, however many values it asks for.
std::shared_ptr<const IRegistry> OpenSystemRegistry();
// Why the machine's registry file was refused (not a regular file, too large); empty when it was
// read or is missing.
std::string SystemRegistryProblem();

inline constexpr std::wstring_view KeyKorvant = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5";

}  // namespace Platform
