#include "client/ClientValues.h"

#include <limits>
#include <stdexcept>
#include <vector>

#include "base/KvError.h"
#include "client/ClientBase64.h"
#include "helper/Identifiers.h"
#include "platform/CodePage.h"

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidData = 13;

const std::wstring* Find(const CNodeHolder& record, const wchar_t* name) {
    auto found = record.attributes.find(name);
    return found == record.attributes.end() ? nullptr : &found->second;
}

std::string Quoted(const std::wstring& text, const wchar_t* name) {
    return "The value \"" + Platform::WideToUtf8(text) + "\" of " + Platform::WideToUtf8(name);
}

// Digits only, after an optional sign where `negative` may be set; the magnitude must not exceed
// `limit`. Anything else, blanks included, is not a number: the file's values are written without.
uint64_t ParseDecimal(const std::wstring& text, const wchar_t* name, uint64_t limit, bool allowSign,
                      bool& negative, const char* width) {
    size_t pos = 0;
    negative = false;
    if (allowSign && !text.empty() && (text[0] == L'-' || text[0] == L'+')) {
        negative = text[0] == L'-';
        pos = 1;
    }
    if (pos == text.size()) {
        throw std::invalid_argument(Quoted(text, name) + " is not a decimal number.");
    }
    uint64_t value = 0;
    bool overflow = false;
    for (; pos < text.size(); ++pos) {
        const wchar_t c = text[pos];
        if (c < L'0' || c > L'9') {
            throw std::invalid_argument(Quoted(text, name) + " is not a decimal number.");
        }
        const uint64_t digit = static_cast<uint64_t>(c - L'0');
        if (value > (limit - digit) / 10) {
            overflow = true;
        } else {
            value = value * 10 + digit;
        }
    }
    if (overflow) {
        throw std::out_of_range(Quoted(text, name) + " is out of range for " + width + ".");
    }
    return value;
}

std::vector<uint8_t> FirstValueBytes(const LdapHelper::attr_value& value) {
    std::vector<std::string> values = value.values();
    if (values.empty()) {
        return {};
    }
    return std::vector<uint8_t>(values.front().begin(), values.front().end());
}

}  // namespace

uint32_t ParseUInt32(const std::wstring& text, const wchar_t* name) {
    bool negative = false;
    return static_cast<uint32_t>(ParseDecimal(text, name, std::numeric_limits<uint32_t>::max(),
                                              false, negative, "an unsigned 32-bit number"));
}

uint64_t ParseUInt64(const std::wstring& text, const wchar_t* name) {
    bool negative = false;
    return ParseDecimal(text, name, std::numeric_limits<uint64_t>::max(), false, negative,
                        "an unsigned 64-bit number");
}

int32_t ParseInt32(const std::wstring& text, const wchar_t* name) {
    bool negative = false;
    const uint64_t magnitude =
        ParseDecimal(text, name, uint64_t{1} << 31, true, negative, "a signed 32-bit number");
    if (!negative && magnitude > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        throw std::out_of_range(Quoted(text, name) +
                                " is out of range for a signed 32-bit number.");
    }
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                    : static_cast<int32_t>(magnitude);
}

bool ReadUInt32(const LdapHelper::object& object, const wchar_t* name, CNodeHolder& record,
                uint32_t* number) {
    const uint32_t value = object.get_attr(name).to_ulong();
    if (number != nullptr) {
        *number = value;
    }
    if (value == 0) {
        return false;
    }
    record.attributes[name] = std::to_wstring(value);
    return true;
}

bool ReadUInt64(const LdapHelper::object& object, const wchar_t* name, CNodeHolder& record) {
    const uint64_t value = object.get_attr(name).to_uint64();
    if (value == 0) {
        return false;
    }
    record.attributes[name] = std::to_wstring(value);
    return true;
}

bool ReadBool(const LdapHelper::object& object, const wchar_t* name, CNodeHolder& record) {
    if (!object.get_attr(name).to_bool()) {
        return false;
    }
    record.attributes[name] = L"1";
    return true;
}

bool ReadBlob(const LdapHelper::object& object, const wchar_t* name, size_t size,
              CNodeHolder& record, size_t* byteCount) {
    const std::vector<uint8_t> bytes = FirstValueBytes(object.get_attr(name));
    if (byteCount != nullptr) {
        *byteCount = bytes.size();
    }
    if (bytes.empty()) {
        return false;
    }
    if (size != 0 && bytes.size() != size) {
        KV_RAISE_ERROR_CODE(L"getblob", kInvalidData);
    }
    record.attributes[name] = EncodeClientBase64(bytes);
    return true;
}

std::wstring SidText(const LdapHelper::attr_value& value) {
    const std::vector<uint8_t> bytes = FirstValueBytes(value);
    if (ValidSidLength(bytes.data(), bytes.size()) == 0) {
        return L"NULL SID";
    }
    return SidToString(bytes);
}

bool WriteUInt32(LdapHelper::object& object, const wchar_t* name, const CNodeHolder& record) {
    const std::wstring* text = Find(record, name);
    if (text == nullptr) {
        return false;
    }
    object.set_attr(name, LdapHelper::attr_value(ParseUInt32(*text, name)));
    return true;
}

bool WriteUInt64(LdapHelper::object& object, const wchar_t* name, const CNodeHolder& record) {
    const std::wstring* text = Find(record, name);
    if (text == nullptr) {
        return false;
    }
    object.set_attr(name, LdapHelper::attr_value(ParseUInt64(*text, name)));
    return true;
}

bool WriteBool(LdapHelper::object& object, const wchar_t* name, const CNodeHolder& record) {
    const std::wstring* text = Find(record, name);
    if (text == nullptr) {
        return false;
    }
    object.set_attr(name, LdapHelper::attr_value(ParseInt32(*text, name) != 0));
    return true;
}

bool WriteBlob(LdapHelper::object& object, const wchar_t* name, size_t size,
               const CNodeHolder& record) {
    const std::wstring* text = Find(record, name);
    if (text == nullptr) {
        return false;
    }
    const std::vector<uint8_t> bytes = DecodeClientBase64(*text);
    if (size != 0 && bytes.size() != size) {
        KV_RAISE_ERROR_CODE(L"setblob", kInvalidData);
    }
    object.set_attr(name, LdapHelper::attr_value(bytes));
    return true;
}

bool WriteSid(LdapHelper::object& object, const wchar_t* name, const CNodeHolder& record) {
    const std::wstring* text = Find(record, name);
    if (text == nullptr) {
        return false;
    }
    SidBytes sid;
    try {
        sid = StringToSid(*text);
    } catch (const KvBase::CKvError&) {
        sid.clear();
    }
    if (sid.empty()) {
        KV_RAISE_ERROR_CODE(L"setsid", kInvalidData);
    }
    object.set_attr(name, LdapHelper::attr_value(sid));
    return true;
}

}  // namespace KvMigration
