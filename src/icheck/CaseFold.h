#pragma once

#include <string>

namespace KvMigration {

// Compares as the product's case-insensitive comparisons do: letters of every script fold,
// Cyrillic as well as Latin, whatever locale the process runs in.
bool EqualsIgnoreCase(const std::wstring& a, const std::wstring& b);

}  // namespace KvMigration
