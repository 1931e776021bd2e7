#include "ldap/SecurityDescriptor.h"

#include <cstdio>

namespace LdapHelper {
namespace {

// HRESULT_FROM_WIN32(ERROR_INVALID_SECURITY_DESCR), as the Windows conversions report it.
constexpr uint32_t kInvalidDescriptor = 0x8007053A;
constexpr size_t kHeaderSize = 20;

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
}

std::vector<uint8_t> ReadSid(const uint8_t* data, size_t size, uint32_t offset) {
    if (offset == 0) {
        return {};
    }
    if (offset > size || size - offset < 8) {
        throw sd_exception(kInvalidDescriptor);
    }
    size_t length = 8 + 4 * static_cast<size_t>(data[offset + 1]);
    if (data[offset] != 1 || size - offset < length) {
        throw sd_exception(kInvalidDescriptor);
    }
    return std::vector<uint8_t>(data + offset, data + offset + length);
}

std::vector<uint8_t> ReadAcl(const uint8_t* data, size_t size, uint32_t offset) {
    if (offset == 0) {
        return {};
    }
    if (offset > size || size - offset < 8) {
        throw sd_exception(kInvalidDescriptor);
    }
    size_t length = static_cast<size_t>(data[offset + 2]) | static_cast<size_t>(data[offset + 3])
                                                                << 8;
    if (length < 8 || size - offset < length) {
        throw sd_exception(kInvalidDescriptor);
    }
    return std::vector<uint8_t>(data + offset, data + offset + length);
}

}  // namespace

sd_exception::sd_exception(uint32_t hresult) : hresult_(hresult) {
    char text[64];
    std::snprintf(text, sizeof(text), "Security descriptor error 0x%08X", hresult);
    message_ = text;
}

security_descriptor security_descriptor::from_self_relative(const uint8_t* data, size_t size) {
    if (data == nullptr || size < kHeaderSize || data[0] != 1) {
        throw sd_exception(kInvalidDescriptor);
    }
    uint16_t control = static_cast<uint16_t>(data[2] | data[3] << 8);
    if ((control & SE_SELF_RELATIVE) == 0) {
        throw sd_exception(kInvalidDescriptor);
    }
    security_descriptor sd;
    sd.revision_ = data[0];
    sd.control_ = static_cast<uint16_t>(control & ~SE_SELF_RELATIVE);
    sd.owner_ = ReadSid(data, size, ReadU32(data + 4));
    sd.group_ = ReadSid(data, size, ReadU32(data + 8));
    if (control & SE_SACL_PRESENT) {
        sd.sacl_ = ReadAcl(data, size, ReadU32(data + 12));
    }
    if (control & SE_DACL_PRESENT) {
        sd.dacl_ = ReadAcl(data, size, ReadU32(data + 16));
    }
    return sd;
}

void security_descriptor::set_dacl(std::vector<uint8_t> acl, bool present) {
    dacl_ = std::move(acl);
    control_ = present ? (control_ | SE_DACL_PRESENT) : (control_ & ~SE_DACL_PRESENT);
}

void security_descriptor::set_sacl(std::vector<uint8_t> acl, bool present) {
    sacl_ = std::move(acl);
    control_ = present ? (control_ | SE_SACL_PRESENT) : (control_ & ~SE_SACL_PRESENT);
}

size_t security_descriptor::length() const {
    return kHeaderSize + sacl_.size() + dacl_.size() + owner_.size() + group_.size();
}

std::vector<uint8_t> security_descriptor::to_self_relative() const {
    std::vector<uint8_t> out(kHeaderSize, 0);
    out[0] = revision_;
    uint16_t control = control_ | SE_SELF_RELATIVE;
    out[2] = static_cast<uint8_t>(control);
    out[3] = static_cast<uint8_t>(control >> 8);
    auto place = [&out](const std::vector<uint8_t>& part, size_t offsetField) {
        if (part.empty()) {
            return;
        }
        WriteU32(out, offsetField, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), part.begin(), part.end());
    };
    // The order MakeSelfRelativeSD writes the parts in.
    place(sacl_, 12);
    place(dacl_, 16);
    place(owner_, 4);
    place(group_, 8);
    return out;
}

}  // namespace LdapHelper
