#include "transform/MailSettingsTransformer.h"

#include <set>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "base/Trace.h"
#include "transform/MailCategories.h"

namespace KvMigration {
namespace {

constexpr const wchar_t* kRuleNamePrefix = L"Правило №";
constexpr const wchar_t* kRuleSubject = L"Korvant Suite. Рассылка о тревогах.";

struct MergedRule {
    MailRule rule;
    std::set<std::wstring> addresses;  // each once, in ordinal order
};

}  // namespace

CMailSettingsTransformer::CMailSettingsTransformer()
    : productCategories_(ProductEventCategories()),
      productLspCategories_(ProductLspEventCategories()),
      securityCategories_(SecurityAuditCategories()) {}

std::wstring CMailSettingsTransformer::GetCategoryId(const CategoryTable& table,
                                                     const std::wstring& name) const {
    auto found = table.find(name);
    if (found == table.end()) {
        KvBase::GetTrace().Trace(
            KvBase::TraceInfo,
            L"Can not transform the event category \"%ls\". The category will be discarded.",
            name.c_str());
        return {};
    }
    return found->second;
}

NewMailSettings CMailSettingsTransformer::Transform(const LegacyMailSettings& settings) const {
    NewMailSettings result;
    result.from = settings.from;
    result.mailServer = settings.mailServer;
    result.user = settings.user;
    result.password = settings.password;
    result.port = settings.port;
    result.authenticate = settings.authenticate;

    const std::tuple<const std::vector<std::wstring> LegacyMailRule::*, const wchar_t*,
                     const CategoryTable*>
        sources[] = {
            {&LegacyMailRule::productEvents, ProductEventSource, &productCategories_},
            {&LegacyMailRule::productLspEvents, ProductLspEventSource, &productLspCategories_},
            {&LegacyMailRule::securityEvents, SecurityEventSource, &securityCategories_},
        };

    // Entries in order of creation, found by (attach, sourceName, category).
    std::vector<MergedRule> merged;
    std::map<std::tuple<std::wstring, std::wstring, std::wstring>, size_t> index;
    for (const LegacyMailRule& legacy : settings.rules) {
        // A rule that names one category many times meets the same entry each time; adding its
        // addresses once per entry instead of once per mention keeps the merge linear.
        std::set<std::pair<std::wstring_view, std::wstring>> mentioned;
        std::vector<size_t> reached;
        for (const auto& [list, sourceName, table] : sources) {
            for (const std::wstring& name : legacy.*list) {
                std::wstring category = GetCategoryId(*table, name);
                if (category.empty() || !mentioned.emplace(sourceName, category).second) {
                    continue;
                }
                auto key = std::make_tuple(legacy.attach, std::wstring(sourceName), category);
                auto [position, created] = index.try_emplace(std::move(key), merged.size());
                if (created) {
                    MergedRule entry;
                    entry.rule.name = legacy.title;
                    entry.rule.subject = legacy.subject;
                    entry.rule.attach = legacy.attach;
                    entry.rule.sourceName = sourceName;
                    entry.rule.category = std::move(category);
                    merged.push_back(std::move(entry));
                }
                reached.push_back(position->second);
            }
        }
        for (size_t entry : reached) {
            merged[entry].addresses.insert(legacy.addresses.begin(), legacy.addresses.end());
        }
    }

    int number = 1;
    for (MergedRule& entry : merged) {
        MailRule rule = std::move(entry.rule);
        rule.name = kRuleNamePrefix + std::to_wstring(number++);
        rule.subject = kRuleSubject;
        rule.eventID.clear();
        rule.addresses.assign(entry.addresses.begin(), entry.addresses.end());
        result.rules.push_back(std::move(rule));
    }
    return result;
}

}  // namespace KvMigration
