#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace LdapHelper {

// A failure of a descriptor conversion, carrying the HRESULT Windows would give.
class sd_exception : public std::exception {
public:
    explicit sd_exception(uint32_t hresult);
    uint32_t hresult() const { return hresult_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    uint32_t hresult_;
    std::string message_;
};

inline constexpr uint32_t OWNER_SECURITY_INFORMATION = 0x1;
inline constexpr uint32_t GROUP_SECURITY_INFORMATION = 0x2;
inline constexpr uint32_t DACL_SECURITY_INFORMATION = 0x4;
inline constexpr uint32_t SACL_SECURITY_INFORMATION = 0x8;

// A Windows security descriptor. Held in absolute form: the header fields and the owner, group,
// SACL and DACL each in a buffer of its own (binary SID and ACL layouts as Windows has them).
class security_descriptor {
public:
    static constexpr uint16_t SE_DACL_PRESENT = 0x0004;
    static constexpr uint16_t SE_SACL_PRESENT = 0x0010;
    static constexpr uint16_t SE_SELF_RELATIVE = 0x8000;

    security_descriptor() = default;

    // Parses a self-relative descriptor; malformed bytes throw sd_exception
    // (HRESULT_FROM_WIN32(ERROR_INVALID_SECURITY_DESCR)).
    static security_descriptor from_self_relative(const uint8_t* data, size_t size);
    static security_descriptor from_self_relative(const std::vector<uint8_t>& bytes) {
        return from_self_relative(bytes.data(), bytes.size());
    }

    // The self-relative layout: 20-byte header, then SACL, DACL, owner and group.
    std::vector<uint8_t> to_self_relative() const;
    // The length of the self-relative form (GetSecurityDescriptorLength).
    size_t length() const;

    uint8_t revision() const { return revision_; }
    // The control word of the absolute form (never SE_SELF_RELATIVE).
    uint16_t control() const { return control_; }
    const std::vector<uint8_t>& owner() const { return owner_; }
    const std::vector<uint8_t>& group() const { return group_; }
    const std::vector<uint8_t>& sacl() const { return sacl_; }
    const std::vector<uint8_t>& dacl() const { return dacl_; }

    void set_owner(std::vector<uint8_t> sid) { owner_ = std::move(sid); }
    void set_group(std::vector<uint8_t> sid) { group_ = std::move(sid); }
    // An empty ACL buffer with the present flag is a NULL ACL.
    void set_dacl(std::vector<uint8_t> acl, bool present);
    void set_sacl(std::vector<uint8_t> acl, bool present);

    friend bool operator==(const security_descriptor&, const security_descriptor&) = default;

private:
    uint8_t revision_ = 1;
    uint16_t control_ = 0;
    std::vector<uint8_t> owner_;
    std::vector<uint8_t> group_;
    std::vector<uint8_t> sacl_;
    std::vector<uint8_t> dacl_;
};

}  // namespace LdapHelper
