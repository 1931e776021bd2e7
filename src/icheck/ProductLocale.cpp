#include "icheck/ProductLocale.h"

#include "base/KvError.h"
#include "icheck/CaseFold.h"
#include "platform/Registry.h"

namespace KvMigration {
namespace {

constexpr wchar_t kFunction[] = L"CProductLocale::CProductLocale";
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kInvalidData = 13;

bool IsRussian() {
    return EqualsIgnoreCase(CProductLocale(), L"ru-ru");
}

}  // namespace

std::wstring CProductLocale() {
    std::shared_ptr<const Platform::IRegistry> registry = Platform::OpenSystemRegistry();
    std::optional<Platform::RegValue> value = registry->GetValue(KeyKorvantSuite, L"ProductLocale");
    if (!value) {
        KV_RAISE_ERROR_CODE(kFunction, kFileNotFound);
    }
    const bool text = value->type == Platform::RegValue::Type::String ||
                      value->type == Platform::RegValue::Type::ExpandString;
    // Five characters and the terminator, as "ru-ru" is stored.
    if (!text || value->text.size() != 5) {
        KV_RAISE_ERROR_CODE(kFunction, kInvalidData);
    }
    return value->text;
}

std::wstring LocalizedScenarioName() {
    return IsRussian() ? L"Контроль ресурсов Korvant Suite" : L"Korvant Suite resources control";
}

std::wstring LocalizedJobName() {
    return IsRussian() ? L"Задание для контроля ресурсов Korvant Suite"
                       : L"Korvant Suite resources control job";
}

}  // namespace KvMigration
