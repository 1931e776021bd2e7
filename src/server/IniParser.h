#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace KvMigration {

// Receives one (section, key, value) triple per "=" found in a line after a section header;
// returns false to stop the parse at this line. The views point into the parsed text: a line of
// n "=" gives n calls, each with a key and a value as long as the line, so a handler that keeps
// nothing of them costs nothing per call.
using IniHandler =
    std::function<bool(std::wstring_view section, std::wstring_view key, std::wstring_view value)>;

inline constexpr int IniParsed = -1;

// Parses INI-style text as the group-policy templates use it. Lines are split at line feeds
// (empty lines are not counted), cut at the first ";" or "#", and walked from the start: "["
// opens a section header that must close with "]" on the same line; every "=" after a header
// gives one handler call with the text before and after that "=", untrimmed.
// Returns IniParsed, or the number (from 0, over non-empty lines) of a line with "[" and no "]"
// or of the line at which the handler stopped the parse.
int ParseIni(const std::wstring& text, const IniHandler& handler);

}  // namespace KvMigration
