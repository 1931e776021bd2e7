#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Guid.h"

namespace KvMigration {

using SidBytes = std::vector<uint8_t>;

// SIDs in the standard string form "S-1-5-21-...". Both directions raise the error object:
// code 13 for a text that is not a valid SID, 1337 for bytes that are not a valid SID.
SidBytes StringToSid(const std::wstring& text);
std::wstring SidToString(const uint8_t* bytes, size_t size);
inline std::wstring SidToString(const SidBytes& sid) {
    return SidToString(sid.data(), sid.size());
}
// A SID's length when the bytes hold a valid one, else 0.
size_t ValidSidLength(const uint8_t* bytes, size_t size);

// The local computer's name (first label of the host name, upper case); errno as the code.
std::wstring GetComputerNameW();
// The SID of the computer's account, kept as "ComputerSid" in the product's registry key: 1332
// when it is missing, 13 when it is not a valid SID.
std::wstring GetLocalComputerSID();

// GUID text: 36 characters, lower-case hexadecimal, hyphens, no braces.
std::wstring StringFromGuid(const Platform::Guid& guid);
// Empty or malformed text: code 13.
Platform::Guid GuidFromString(const std::wstring& text);
// Empty text: code 13; malformed text: 1705, the status of the UUID conversion.
Platform::Guid StringToGuid(const std::wstring& text);
// The parser both use; false for anything but the 36-character form (either case).
bool ParseGuid(const std::wstring& text, Platform::Guid& guid);

}  // namespace KvMigration
