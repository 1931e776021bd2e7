#pragma once

#include <string>

namespace KvMigration {

// The in-memory SAX writer turns every character beyond ASCII into a hexadecimal character
// reference ("&#x41F;"). The texts written here are stored as strings, not bytes, and are
// compared and shown as such, so the references are turned back into their characters. A
// reference cannot come from the data: the writer escapes every "&" of a value as "&amp;".
// Decimal references (tab, line feeds in attribute values) and references below U+0080 stay.
std::wstring WithLiteralCharacters(const std::wstring& xml);

}  // namespace KvMigration
