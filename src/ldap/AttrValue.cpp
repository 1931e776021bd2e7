#include "ldap/AttrValue.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>

#include "platform/CodePage.h"

namespace LdapHelper {
namespace {

void AppendLength(std::vector<uint8_t>& data, uint32_t length) {
    for (int i = 0; i < 4; ++i) {
        data.push_back(static_cast<uint8_t>(length >> (8 * i)));
    }
}

void AppendBytes(std::vector<uint8_t>& data, const std::string& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
}

attr_value FromAscii(const std::string& text) {
    return attr_value(text.data(), text.size());
}

}  // namespace

attr_value::attr_value(const wchar_t* text) {
    if (text != nullptr) {
        *this = attr_value(std::wstring(text));
    }
}

attr_value::attr_value(const std::wstring& text) : count_(1) {
    if (text.empty()) {
        data_.push_back(0);
        return;
    }
    AppendBytes(data_, Platform::WideToUtf8(text));
}

attr_value::attr_value(const attr_list& texts)
    : count_(static_cast<int32_t>(texts.size())), multi_(true) {
    for (const std::wstring& text : texts) {
        std::string bytes = Platform::WideToUtf8(text);
        AppendLength(data_, static_cast<uint32_t>(bytes.size()));
        AppendBytes(data_, bytes);
    }
}

attr_value::attr_value(const Platform::Guid& guid) : count_(1) {
    auto bytes = guid.ToBytes();
    data_.assign(bytes.begin(), bytes.end());
}

attr_value::attr_value(const std::vector<uint8_t>& data)
    : data_(data), count_(data.empty() ? 0 : 1) {}

attr_value::attr_value(const void* data, size_t length) {
    if (data != nullptr && length != 0) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        data_.assign(bytes, bytes + length);
        count_ = 1;
    }
}

attr_value::attr_value(int32_t number) : attr_value(FromAscii(std::to_string(number))) {}
attr_value::attr_value(uint32_t number) : attr_value(FromAscii(std::to_string(number))) {}
attr_value::attr_value(uint64_t number) : attr_value(FromAscii(std::to_string(number))) {}
attr_value::attr_value(bool flag) : attr_value(FromAscii(flag ? "TRUE" : "FALSE")) {}

attr_value attr_value::from_sid(const uint8_t* sid) {
    if (sid == nullptr) {
        return {};
    }
    // Revision, sub-authority count, 6-byte authority, then 4 bytes per sub-authority.
    return attr_value(sid, 8 + 4 * static_cast<size_t>(sid[1]));
}

attr_value attr_value::from_wire(const std::vector<std::string>& values) {
    attr_value result;
    if (values.size() == 1) {
        result.data_.assign(values[0].begin(), values[0].end());
        result.count_ = 1;
    } else if (values.size() > 1) {
        for (const std::string& value : values) {
            AppendLength(result.data_, static_cast<uint32_t>(value.size()));
            AppendBytes(result.data_, value);
        }
        result.count_ = static_cast<int32_t>(values.size());
        result.multi_ = true;
    }
    return result;
}

std::vector<std::string> attr_value::values() const {
    std::vector<std::string> out;
    if (data_.empty()) {
        return out;
    }
    if (count_ <= 1 && !multi_) {
        out.emplace_back(data_.begin(), data_.end());
        return out;
    }
    // The length prefixes come from our own constructors or from the server; a damaged buffer
    // ends the walk instead of reading past its end.
    size_t pos = 0;
    while (pos + 4 <= data_.size()) {
        uint32_t length = 0;
        for (int i = 0; i < 4; ++i) {
            length |= static_cast<uint32_t>(data_[pos + i]) << (8 * i);
        }
        pos += 4;
        if (length > data_.size() - pos) {
            break;
        }
        out.emplace_back(data_.begin() + static_cast<ptrdiff_t>(pos),
                         data_.begin() + static_cast<ptrdiff_t>(pos + length));
        pos += length;
    }
    return out;
}

std::wstring attr_value::to_string() const {
    if (data_.empty() || count_ != 1) {
        return {};
    }
    if (multi_) {
        attr_list list = to_list();
        return list.empty() ? std::wstring() : list.front();
    }
    if (data_[0] == 0) {
        return {};
    }
    size_t size = data_.size();
    if (data_[size - 1] == 0) {
        --size;
    }
    return Platform::Utf8ToWide(
        std::string_view(reinterpret_cast<const char*>(data_.data()), size));
}

attr_list attr_value::to_list() const {
    attr_list list;
    if (data_.empty()) {
        return list;
    }
    if (count_ > 1 || multi_) {
        for (const std::string& value : values()) {
            list.push_back(Platform::Utf8ToWide(value));
        }
        return list;
    }
    list.push_back(to_string());
    return list;
}

Platform::Guid attr_value::to_guid() const {
    if (data_.size() != 16) {
        return {};
    }
    return Platform::Guid::FromBytes(data_.data());
}

bool attr_value::to_bool() const {
    return to_string() == L"TRUE";
}

int32_t attr_value::to_int() const {
    std::wstring text = to_string();
    errno = 0;
    long value = std::wcstol(text.c_str(), nullptr, 10);
    // The Windows long is 32 bits wide: out-of-range texts saturate there.
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

uint32_t attr_value::to_ulong() const {
    std::wstring text = to_string();
    unsigned long value = std::wcstoul(text.c_str(), nullptr, 10);
    const wchar_t* start = text.c_str();
    while (*start == L' ' || *start == L'\t') {
        ++start;
    }
    if (*start != L'-' && value > UINT32_MAX) {
        return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

uint64_t attr_value::to_uint64() const {
    std::wstring text = to_string();
    return std::wcstoull(text.c_str(), nullptr, 10);
}

}  // namespace LdapHelper
