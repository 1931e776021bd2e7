#include "icheck/CaseFold.h"

#include <locale.h>
#include <clocale>
#include <cwctype>

namespace KvMigration {
namespace {

// The names compared are the product's own (task and group names with Cyrillic letters), so
// the fold must not depend on the locale the administrator runs the program in: a locale with
// full Unicode case tables is used when the system has one.
locale_t UnicodeLocale() {
    static const locale_t locale = [] {
        locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return made != static_cast<locale_t>(nullptr) ? made : LC_GLOBAL_LOCALE;
    }();
    return locale;
}

wint_t Fold(wchar_t c) {
    return towlower_l(static_cast<wint_t>(c), UnicodeLocale());
}

}  // namespace

bool EqualsIgnoreCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && Fold(a[i]) != Fold(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace KvMigration
