#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Guid.h"

namespace LdapHelper {

// An ordered list of wide strings: attribute names to read, or the texts of a multi-valued value.
using attr_list = std::vector<std::wstring>;

// One attribute's values in wire form. With `multi` false and `count` 1 the data is the single
// value's bytes; otherwise each value is a 4-byte little-endian length and that many bytes.
// Text is UTF-8 without terminator; `count` 0 is the empty value, which removes an attribute.
class attr_value {
public:
    attr_value() = default;
    // A null pointer gives the empty value; an empty text gives the single byte 0x00.
    attr_value(std::nullptr_t) {}
    attr_value(const wchar_t* text);
    attr_value(const std::wstring& text);
    attr_value(const attr_list& texts);
    attr_value(const Platform::Guid& guid);
    attr_value(const std::vector<uint8_t>& data);
    attr_value(const void* data, size_t length);
    attr_value(int32_t number);
    attr_value(uint32_t number);
    attr_value(uint64_t number);
    attr_value(bool flag);
    // Any other pointer (a narrow text, bytes without their length) would silently become the
    // boolean "TRUE".
    template <typename T>
    attr_value(const T*) = delete;

    // The bytes of a binary SID (its length read from the sub-authority count); null gives the
    // empty value.
    static attr_value from_sid(const uint8_t* sid);
    // The values of an attribute as the server sent them.
    static attr_value from_wire(const std::vector<std::string>& values);

    std::wstring to_string() const;
    attr_list to_list() const;
    Platform::Guid to_guid() const;
    bool to_bool() const;
    int32_t to_int() const;
    uint32_t to_ulong() const;
    uint64_t to_uint64() const;
    bool empty() const { return count_ == 0; }

    const std::vector<uint8_t>& data() const { return data_; }
    int32_t count() const { return count_; }
    bool multi() const { return multi_; }

    // The values one by one, as they go to the server: one per stored value.
    std::vector<std::string> values() const;

private:
    std::vector<uint8_t> data_;
    int32_t count_ = 0;
    bool multi_ = false;
};

}  // namespace LdapHelper
