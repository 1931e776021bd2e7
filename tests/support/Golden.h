#pragma once

// Golden files of the lab tests: what the program wrote or left in a directory, with the lab's
// identifiers (which Samba makes anew at every provisioning) replaced by their names, so that a
// file checked into tests/ stays true. KV_UPDATE_GOLDEN=1 writes the golden files instead of
// comparing (review the difference by eye before committing it).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/Lab.h"
#include "support/ScopedTempDir.h"

namespace KvTest {

inline const std::regex& GuidPattern() {
    static const std::regex guid(
        "[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}");
    return guid;
}

// The text with every identifier of the lab's seed written as {{NAME}}, longest values first so
// that a domain SID does not eat the SIDs it prefixes. `extra` adds identifiers the seed does not
// record (value, name), such as the SIDs Samba hands out to the seeded accounts.
inline std::string ReplaceLabIds(
    std::string text, const std::vector<std::pair<std::string, std::string>>& extra = {}) {
    std::vector<std::pair<std::string, std::string>> ids = extra;
    for (const auto& [name, value] : Lab::Get().Ids().All()) {
        if (value.size() >= 8 && name.find("_DN") == std::string::npos) {
            ids.emplace_back(value, name);
        }
    }
    std::sort(ids.begin(), ids.end(), [](const auto& a, const auto& b) {
        return a.first.size() != b.first.size() ? a.first.size() > b.first.size()
                                                : a.first < b.first;
    });
    for (const auto& [value, name] : ids) {
        const std::string placeholder = "{{" + name + "}}";
        for (size_t at = text.find(value); at != std::string::npos;
             at = text.find(value, at + placeholder.size())) {
            text.replace(at, value.size(), placeholder);
        }
    }
    return text;
}

// Every GUID left in the text as {{GENERATED n}}, numbered by first appearance (policies made
// from templates get new identifiers on each run).
inline std::string NumberGeneratedGuids(const std::string& text) {
    std::map<std::string, std::string> generated;
    std::string out;
    size_t last = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), GuidPattern());
         it != std::sregex_iterator(); ++it) {
        out += text.substr(last, static_cast<size_t>(it->position()) - last);
        auto entry = generated.emplace(
            it->str(), "{{GENERATED " + std::to_string(generated.size() + 1) + "}}");
        out += entry.first->second;
        last = static_cast<size_t>(it->position() + it->length());
    }
    return out + text.substr(last);
}

inline std::string NormalizeLabText(
    const std::string& text, const std::vector<std::pair<std::string, std::string>>& extra = {}) {
    return NumberGeneratedGuids(ReplaceLabIds(text, extra));
}

// Sibling elements that start at `indent` spaces (each with its lines up to the next sibling)
// sorted by their text with GUIDs masked: the program writes them by identifier, and the lab's
// identifiers change with every provisioning, so a golden file must not depend on that order.
// Escaped text never starts a line with '<', so only element lines delimit the blocks.
inline std::string SortSiblingBlocks(const std::string& text, size_t indent) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    auto indentation = [](const std::string& line) {
        size_t spaces = line.find_first_not_of(' ');
        return spaces == std::string::npos ? line.size() : spaces;
    };
    auto opens = [&](const std::string& line) {
        return indentation(line) == indent && line.compare(indent, 1, "<") == 0 &&
               line.compare(indent, 2, "</") != 0;
    };
    std::string out;
    for (size_t i = 0; i < lines.size();) {
        if (!opens(lines[i])) {
            out += lines[i++] + "\n";
            continue;
        }
        std::vector<std::pair<std::string, std::string>> blocks;  // (key, text)
        while (i < lines.size() && opens(lines[i])) {
            std::string block = lines[i++] + "\n";
            while (i < lines.size() && !opens(lines[i]) &&
                   !(lines[i].compare(0, 1, " ") == 0 && indentation(lines[i]) < indent &&
                     lines[i].find('<') == indentation(lines[i]))) {
                block += lines[i++] + "\n";
            }
            blocks.emplace_back(std::regex_replace(block, GuidPattern(), "{{GUID}}"), block);
        }
        std::stable_sort(blocks.begin(), blocks.end());
        for (const auto& block : blocks) {
            out += block.second;
        }
    }
    return out;
}

// The entries of an LDIF text (blank-line separated) sorted by their text with GUIDs masked, for
// DNs that hold identifiers the lab makes anew.
inline std::string SortLdifEntries(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> entries;  // (key, text)
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find("\n\n", begin);
        end = end == std::string::npos ? text.size() : end + 2;
        const std::string entry = text.substr(begin, end - begin);
        entries.emplace_back(std::regex_replace(entry, GuidPattern(), "{{GUID}}"), entry);
        begin = end;
    }
    std::stable_sort(entries.begin(), entries.end());
    std::string out;
    for (const auto& entry : entries) {
        out += entry.second;
    }
    return out;
}

// Compares with the golden file, or writes it when KV_UPDATE_GOLDEN is set.
inline void ExpectGolden(const std::string& actual, const std::string& goldenPath) {
    const char* update = std::getenv("KV_UPDATE_GOLDEN");
    if (update != nullptr && *update != '\0') {
        WriteFile(goldenPath, actual);
        return;
    }
    const std::string expected = ReadFile(goldenPath);
    if (expected == actual) {
        return;
    }
    std::istringstream a(actual);
    std::istringstream e(expected);
    std::string al;
    std::string el;
    int line = 1;
    while (true) {
        bool ha = static_cast<bool>(std::getline(a, al));
        bool he = static_cast<bool>(std::getline(e, el));
        if (!ha && !he) {
            break;
        }
        if (!ha || !he || al != el) {
            ADD_FAILURE() << goldenPath << " differs at line " << line
                          << "\n  expected: " << (he ? el : "<end>")
                          << "\n  actual:   " << (ha ? al : "<end>")
                          << "\n(KV_UPDATE_GOLDEN=1 rewrites it)";
            return;
        }
        ++line;
    }
}

}  // namespace KvTest
