#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace KvBase {

// The description of a code: the system message text with its trailing line break and insert
// markers removed, or "0x%08X (%d)" when no message source knows the code. Never throws.
std::wstring MessageForCode(uint32_t code);

// The raw text of the built-in message table (Windows system messages), line break included,
// inserts unexpanded. Codes of the form 0x8007xxxx are looked up as the Windows code xxxx.
std::optional<std::wstring> SystemMessageText(uint32_t code);

// A text with its "%n" inserts filled from `inserts` (n counts from 1); used where a Windows
// facility would format a message with arguments.
std::wstring FillInserts(const std::wstring& text, const std::wstring* inserts, size_t count);

}  // namespace KvBase
