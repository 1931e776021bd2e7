#pragma once

#include <string>

namespace KvMigration {

// The product's locale name ("ru-ru", "en-us"): the value "ProductLocale" of
// HKEY_LOCAL_MACHINE\SOFTWARE\Halvion\Korvant Suite, read anew at every call. A missing key or
// value raises code 2; a value of other than five characters, or not a text, code 13.
std::wstring CProductLocale();

inline constexpr wchar_t KeyKorvantSuite[] =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvion\\Korvant Suite";

// The names the new product gives its default resource-control scenario and job: Russian under
// the locale "ru-ru" (any case), English under any other.
std::wstring LocalizedScenarioName();
std::wstring LocalizedJobName();

}  // namespace KvMigration
