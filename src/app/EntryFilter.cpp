#include "app/EntryFilter.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace KvMigration {
namespace {

// Filters come from the program's own queries; a deeper nesting is no filter it makes.
constexpr int kMaxDepth = 32;

char Fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = Fold(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The value of an assertion with its escapes resolved; nullopt for a broken escape.
std::optional<std::string> Unescape(std::string_view text) {
    std::string value;
    value.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            value += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        value += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return value;
}

const std::vector<std::string>* ValuesOf(const LdapHelper::LdapEntryData& entry,
                                         std::string_view name) {
    for (const auto& [type, values] : entry.attributes) {
        if (SameText(type, name)) {
            return &values;
        }
    }
    return nullptr;
}

// "a*b*c" against a value: the parts in order, the first at the start and the last at the end.
bool MatchesSubstrings(std::string_view pattern, const std::string& value) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t star = pattern.find('*', start);
        std::optional<std::string> part = Unescape(pattern.substr(start, star - start));
        if (!part) {
            return false;
        }
        parts.push_back(std::move(*part));
        if (star == std::string_view::npos) {
            break;
        }
        start = star + 1;
    }
    std::string folded(value);
    std::transform(folded.begin(), folded.end(), folded.begin(), Fold);
    size_t at = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string part = parts[i];
        std::transform(part.begin(), part.end(), part.begin(), Fold);
        if (i == 0) {
            if (folded.compare(0, part.size(), part) != 0) {
                return false;
            }
            at = part.size();
        } else if (i + 1 == parts.size()) {
            return folded.size() >= at + part.size() &&
                   folded.compare(folded.size() - part.size(), part.size(), part) == 0;
        } else {
            size_t found = folded.find(part, at);
            if (found == std::string::npos) {
                return false;
            }
            at = found + part.size();
        }
    }
    return true;
}

class FilterMatcher {
public:
    explicit FilterMatcher(const LdapHelper::LdapEntryData& entry) : entry_(entry) {}

    // The result of the filter at `text[at]`, which is left after it; nullopt when it does not
    // parse.
    std::optional<bool> Filter(std::string_view text, size_t& at, int depth) const {
        if (depth > kMaxDepth || at >= text.size() || text[at] != '(') {
            return std::nullopt;
        }
        ++at;
        if (at >= text.size()) {
            return std::nullopt;
        }
        std::optional<bool> result;
        const char op = text[at];
        if (op == '&' || op == '|') {
            ++at;
            bool all = true;
            bool any = false;
            int count = 0;
            while (at < text.size() && text[at] == '(') {
                std::optional<bool> item = Filter(text, at, depth + 1);
                if (!item) {
                    return std::nullopt;
                }
                all = all && *item;
                any = any || *item;
                ++count;
            }
            if (count == 0) {
                return std::nullopt;
            }
            result = op == '&' ? all : any;
        } else if (op == '!') {
            ++at;
            std::optional<bool> item = Filter(text, at, depth + 1);
            if (!item) {
                return std::nullopt;
            }
            result = !*item;
        } else {
            const size_t end = text.find(')', at);
            if (end == std::string_view::npos) {
                return std::nullopt;
            }
            result = Item(text.substr(at, end - at));
            at = end;
        }
        if (!result || at >= text.size() || text[at] != ')') {
            return std::nullopt;
        }
        ++at;
        return result;
    }

private:
    std::optional<bool> Item(std::string_view item) const {
        const size_t equals = item.find('=');
        if (equals == std::string_view::npos || equals == 0) {
            return std::nullopt;
        }
        const char before = item[equals - 1];
        if (before == '>' || before == '<' || before == '~' || before == ':') {
            return false;
        }
        const std::string_view name = item.substr(0, equals);
        const std::string_view assertion = item.substr(equals + 1);
        const std::vector<std::string>* values = ValuesOf(entry_, name);
        if (assertion == "*") {
            // Every entry has a class, also one whose add named its class alone.
            return values != nullptr || SameText(name, "objectClass");
        }
        if (values == nullptr) {
            return false;
        }
        if (assertion.find('*') != std::string_view::npos) {
            return std::any_of(values->begin(), values->end(), [&](const std::string& value) {
                return MatchesSubstrings(assertion, value);
            });
        }
        std::optional<std::string> wanted = Unescape(assertion);
        if (!wanted) {
            return std::nullopt;
        }
        return std::any_of(values->begin(), values->end(),
                           [&](const std::string& value) { return SameText(value, *wanted); });
    }

    const LdapHelper::LdapEntryData& entry_;
};

// The equality assertion of a simple item "(attr=value)", or nullopt.
std::optional<Equality> EqualityOf(std::string_view item) {
    if (item.size() < 2 || item.front() != '(' || item.back() != ')') {
        return std::nullopt;
    }
    item = item.substr(1, item.size() - 2);
    const size_t equals = item.find('=');
    if (item.empty() || item[0] == '&' || item[0] == '|' || item[0] == '!' ||
        equals == std::string_view::npos || equals == 0 ||
        item.find('*') != std::string_view::npos) {
        return std::nullopt;
    }
    const char before = item[equals - 1];
    if (before == '>' || before == '<' || before == '~' || before == ':') {
        return std::nullopt;
    }
    std::optional<std::string> value = Unescape(item.substr(equals + 1));
    if (!value) {
        return std::nullopt;
    }
    return Equality{FoldText(std::string(item.substr(0, equals))), FoldText(*value)};
}

}  // namespace

std::optional<Equality> RequiredEquality(const std::string& filter) {
    std::string_view text(filter);
    if (text.rfind("(&", 0) != 0) {
        return EqualityOf(text);
    }
    // Items of the top-level "&": values escape their parentheses, so depth counting finds them.
    std::optional<Equality> chosen;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(') {
            if (++depth == 2) {
                start = i;
            }
        } else if (text[i] == ')') {
            if (depth-- == 2) {
                std::optional<Equality> item = EqualityOf(text.substr(start, i + 1 - start));
                if (item && (!chosen || chosen->attribute == "objectclass" ||
                             chosen->attribute == "objectcategory")) {
                    chosen = std::move(item);
                }
            }
        }
    }
    return chosen;
}

std::string FoldText(const std::string& text) {
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), Fold);
    return folded;
}

bool MatchesFilter(const std::string& filter, const LdapHelper::LdapEntryData& entry) {
    // A bare item without parentheses is accepted as libldap accepts it.
    const std::string text = !filter.empty() && filter.front() == '(' ? filter : "(" + filter + ")";
    size_t at = 0;
    std::optional<bool> result = FilterMatcher(entry).Filter(text, at, 0);
    return result.value_or(false) && at == text.size();
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Fold(x) == Fold(y); });
}

bool DnAtOrBelow(const std::string& dn, const std::string& top) {
    if (dn == top) {
        return true;
    }
    if (top.empty() || dn.size() <= top.size() ||
        dn.compare(dn.size() - top.size(), top.size(), top) != 0) {
        return false;
    }
    // The separator before the suffix must be a ',' that no odd run of '\' escapes.
    size_t separator = dn.size() - top.size() - 1;
    if (dn[separator] != ',') {
        return false;
    }
    size_t backslashes = 0;
    while (separator > backslashes && dn[separator - backslashes - 1] == '\\') {
        ++backslashes;
    }
    return backslashes % 2 == 0;
}

}  // namespace KvMigration
