#pragma once

#include <string>
#include <string_view>

namespace KvMigration {

// Integer codes of the object kinds; 0 to 3 are the storage kinds, 4 and 5 appear only in texts.
using ObjectKind = int;
inline constexpr ObjectKind KindPolicy = 0;
inline constexpr ObjectKind KindServer = 1;
inline constexpr ObjectKind KindService = 2;
inline constexpr ObjectKind KindContainer = 3;
inline constexpr ObjectKind KindICheck = 4;
inline constexpr ObjectKind KindUser = 5;

// "policy", "server", "service", "container", "icheсk" (its fifth letter is the Cyrillic U+0441,
// as the product writes it), "user"; other codes raise code 13.
std::wstring GetObjectClassName(ObjectKind kind);

// The element name of a storage kind in the migration file, which the journal also names it by:
// "Policy", "Server", "Service", "Container"; other codes raise code 13.
const wchar_t* ObjectElementName(ObjectKind kind);

// "Object \"<kind>\" with id=<id>", then " name=<name>" and " canonicalName=<cn>" when present.
std::wstring ObjectDescription(ObjectKind kind, const std::wstring& id, const std::wstring& name,
                               const std::wstring& canonicalName);

// The text of a directory string value with every NUL character removed.
std::wstring DirectoryText(std::wstring_view value);

}  // namespace KvMigration
