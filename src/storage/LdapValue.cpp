#include "storage/LdapValue.h"

#include "base/KvError.h"
#include "helper/Base64.h"
#include "helper/Identifiers.h"
#include "helper/ObjectText.h"
#include "platform/CodePage.h"

#include <cwchar>

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidData = 13;
constexpr uint32_t kInvalidParameter = 87;

std::string FirstBytes(const LdapHelper::attr_value& values) {
    std::vector<std::string> all = values.values();
    return all.empty() ? std::string() : std::move(all.front());
}

}  // namespace

std::wstring FirstText(const LdapHelper::attr_value& values) {
    return Platform::Utf8ToWide(FirstBytes(values));
}

std::wstring StringFromLdapValue(AttributeType type, const LdapHelper::attr_value& values) {
    switch (type) {
        case AttributeType::Sid: {
            std::string sid = FirstBytes(values);
            if (sid.empty()) {
                return {};
            }
            return SidToString(reinterpret_cast<const uint8_t*>(sid.data()), sid.size());
        }
        case AttributeType::Guid:
            return StringFromGuid(values.to_guid());
        case AttributeType::String:
            return DirectoryText(FirstText(values));
        case AttributeType::MultiString:
            KV_RAISE_ERROR_CODE(L"StringFromLdapValue", kInvalidData);
        case AttributeType::Binary: {
            std::string bytes = FirstBytes(values);
            return Platform::Utf8ToWide(
                Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        }
        case AttributeType::Integer:
            return std::to_wstring(values.to_int());
        case AttributeType::Boolean:
            return values.to_bool() ? L"true" : L"false";
    }
    KV_RAISE_ERROR_CODE(L"StringFromLdapValue", kInvalidParameter);
}

LdapHelper::attr_value AttributeToLdapValue(AttributeType type, const CValue& value) {
    switch (type) {
        case AttributeType::Sid: {
            std::wstring text = value.GetString();
            if (text.empty()) {
                return {};
            }
            return LdapHelper::attr_value(StringToSid(text));
        }
        case AttributeType::Guid:
            return LdapHelper::attr_value(GuidFromString(value.GetString()));
        case AttributeType::String:
            return LdapHelper::attr_value(value.GetString());
        case AttributeType::MultiString:
            return LdapHelper::attr_value(LdapHelper::attr_list(value.GetMultiString()));
        case AttributeType::Binary:
            return LdapHelper::attr_value(Base64Decode(Platform::WideToUtf8(value.GetString())));
        case AttributeType::Integer: {
            std::wstring text = value.GetString();
            long number = std::wcstol(text.c_str(), nullptr, 10);
            // The product's integers are 32 bits wide: out-of-range texts saturate there.
            if (number > INT32_MAX) {
                number = INT32_MAX;
            } else if (number < INT32_MIN) {
                number = INT32_MIN;
            }
            return LdapHelper::attr_value(static_cast<int32_t>(number));
        }
        case AttributeType::Boolean:
            return LdapHelper::attr_value(value.GetString() == L"true");
    }
    KV_RAISE_ERROR_CODE(L"AttributeToLdapValue", kInvalidParameter);
}

}  // namespace KvMigration
