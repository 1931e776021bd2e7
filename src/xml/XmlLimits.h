#pragma once

#include <cstddef>
#include <string>

namespace KvMigration {

// What one XML document may hold. Integrity-check bodies and policy documents run to tens of
// megabytes; beyond that the bounds keep the reader's memory in proportion to the largest value
// rather than to the file, which may be as large as the disk allows. The writer refuses whatever
// the reader would refuse, so that an exported file can always be imported.

// One attribute value, or the text between two tags, in UTF-8 bytes with references decoded.
inline constexpr size_t XmlMaxValueBytes = 64 * 1024 * 1024;
// One piece of markup the parser must hold whole before it can deliver anything of it, as it stands
// in the file: a start tag with all its attributes, a comment, a processing instruction. Four
// values' worth leaves room for a value of the largest size with many characters escaped.
inline constexpr size_t XmlMaxMarkupBytes = 4 * XmlMaxValueBytes;
// One element or attribute name, in UTF-8 bytes; the parser's own limit before large documents
// were allowed.
inline constexpr size_t XmlMaxNameBytes = 50000;
// Elements open at once, the root counting as one; the parser's own limit before large documents
// were allowed.
inline constexpr int XmlMaxDepth = 256;

// The bounds a reading applies; tests narrow them to reach them cheaply.
struct XmlLimits {
    size_t valueBytes = XmlMaxValueBytes;
    size_t markupBytes = XmlMaxMarkupBytes;
    size_t nameBytes = XmlMaxNameBytes;
    int depth = XmlMaxDepth;
};

// "64 MiB" for whole mebibytes, "1000 bytes" otherwise: a limit as messages name it.
inline std::wstring LimitText(size_t bytes) {
    constexpr size_t MiB = 1024 * 1024;
    if (bytes >= MiB && bytes % MiB == 0) {
        return std::to_wstring(bytes / MiB) + L" MiB";
    }
    return std::to_wstring(bytes) + L" bytes";
}

// A name as messages show it: a name of thousands of characters is cut.
inline std::wstring ShownName(std::wstring name) {
    constexpr size_t ShownLength = 64;
    if (name.size() > ShownLength) {
        name.resize(ShownLength);
        name += L"...";
    }
    return name;
}

}  // namespace KvMigration
