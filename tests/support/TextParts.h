#pragma once

// What the tests look for in a program's output.

#include <sstream>
#include <string>
#include <vector>

namespace KvTest {

// The lines of `text`, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// How often `part` occurs in `text`, overlapping occurrences included.
inline size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace KvTest
