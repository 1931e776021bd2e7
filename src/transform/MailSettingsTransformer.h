#pragma once

#include <map>
#include <string>

#include "transform/MailSettings.h"

namespace KvMigration {

// The event sources of the new form, each with its category table (name -> id).
inline constexpr const wchar_t* ProductEventSource = L"Korvant";
inline constexpr const wchar_t* ProductLspEventSource = L"KorvantLSP";
inline constexpr const wchar_t* SecurityEventSource = L"Microsoft-Windows-Security-Auditing";

// Expands every old rule into one rule per event source and category, merges rules of equal
// attachment, source and category (their addresses joined, each once, in ordinal order) and
// numbers the result by first appearance. Unknown category names are traced and dropped;
// categories known to have no id are dropped silently.
class CMailSettingsTransformer : public IMailSettingsTransformer {
public:
    CMailSettingsTransformer();
    NewMailSettings Transform(const LegacyMailSettings& settings) const override;

private:
    using CategoryTable = std::map<std::wstring, std::wstring>;

    std::wstring GetCategoryId(const CategoryTable& table, const std::wstring& name) const;

    CategoryTable productCategories_;
    CategoryTable productLspCategories_;
    CategoryTable securityCategories_;
};

}  // namespace KvMigration
