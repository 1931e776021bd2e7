#pragma once

#include <string>
#include <string_view>

namespace KvMigration {

// Appends `text` as a JSON string (RFC 8259) in UTF-8, quotes included. Control characters are
// written as \u00XX (\n, \t and the like included), '"' and '\' escaped, everything else as its
// UTF-8 bytes. A code point that has no UTF-8 form (a surrogate without its partner, a value past
// U+10FFFF or below zero) becomes U+FFFD, so the output is valid UTF-8 for any input; a high
// surrogate followed by a low one, as text decoded from UTF-16 unit by unit holds it, is written
// as the character the pair stands for. At most `limit` characters of `text` are written; a
// longer text is cut there and ends in "…", so that one hostile value cannot make a line of any
// size.
void AppendJsonString(std::string& out, std::wstring_view text, size_t limit = 65536);

}  // namespace KvMigration
