#include "app/KnownKeys.h"

#include "app/CommandLine.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

namespace KvMigration {
namespace {

// Every key the program reads. A key added to the program is added here, or it is warned about.
constexpr const wchar_t* kKnownKeys[] = {
    L"-ex",     L"-im",    L"-ad",   L"-lds",    L"-cr",      L"-fi",
    L"-winpol", L"-kvpol", L"-priv", L"-server", L"-clients", L"-policies",
    L"-icheck", L"-users", L"-srv",  L"-dc",     L"-oms",     L"-rmf",
    L"-ssl",    L"-dbg",   L"-h",    L"-?",      L"--help",   L"--version",
    L"-W",      L"-y",     L"-n",    L"-report", L"-undo",
};

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(static_cast<wint_t>(x)) ==
                      std::towlower(static_cast<wint_t>(y));
           });
}

// Edits (insert, delete, replace, swap of neighbours) that turn one key into the other; keys are
// short, so the table stays small.
size_t EditDistance(const std::wstring& a, const std::wstring& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

bool IsKnownKey(const std::wstring& key) {
    return std::find(std::begin(kKnownKeys), std::end(kKnownKeys), key) != std::end(kKnownKeys);
}

std::wstring NearestKnownKey(const std::wstring& key) {
    for (const wchar_t* known : kKnownKeys) {
        if (SameIgnoringCase(key, known)) {
            return known;
        }
    }
    // Short keys are a letter or two apart from several others; only a longer key's typo is
    // recognisable as one.
    constexpr size_t kShortest = 5;
    if (key.size() < kShortest || key.size() > 64) {
        return {};
    }
    const size_t allowed = key.size() >= 8 ? 2 : 1;
    std::wstring best;
    size_t bestDistance = allowed + 1;
    for (const wchar_t* known : kKnownKeys) {
        size_t distance = EditDistance(key, known);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = known;
        }
    }
    return best;
}

std::vector<std::wstring> UnknownKeyWarnings(const CommandLine& commandLine) {
    std::vector<std::wstring> warnings;
    for (const std::wstring& key : commandLine.Keys()) {
        if (IsKnownKey(key)) {
            continue;
        }
        // A key of thousands of characters is cut, as names in other messages are.
        constexpr size_t kShown = 64;
        std::wstring shown = key.size() > kShown ? key.substr(0, kShown) + L"..." : key;
        std::wstring warning = L"Unknown key \"" + shown + L"\" is ignored";
        if (std::wstring nearest = NearestKnownKey(key); !nearest.empty()) {
            warning += L"; did you mean \"" + nearest + L"\"?";
        } else {
            warning += L".";
        }
        warnings.push_back(std::move(warning));
    }
    return warnings;
}

}  // namespace KvMigration
