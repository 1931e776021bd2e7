#include "server/IniParser.h"

#include <string_view>

namespace KvMigration {

int ParseIni(const std::wstring& text, const IniHandler& handler) {
    std::wstring_view section;
    bool sectionSeen = false;
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        if (end == start) {
            start = end + 1;
            continue;
        }
        std::wstring_view line(text.data() + start, end - start);
        start = end + 1;
        if (size_t comment = line.find_first_of(L";#"); comment != std::wstring_view::npos) {
            line = line.substr(0, comment);
        }
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == L'[') {
                size_t close = line.find(L']', i + 1);
                if (close == std::wstring_view::npos) {
                    return lineNumber;
                }
                section = line.substr(i + 1, close - i - 1);
                sectionSeen = true;
                break;
            }
            if (line[i] == L'=' && sectionSeen) {
                if (!handler(section, line.substr(0, i), line.substr(i + 1))) {
                    return lineNumber;
                }
            }
        }
        ++lineNumber;
    }
    return IniParsed;
}

}  // namespace KvMigration
