#pragma once

#include <map>
#include <optional>
#include <string>

#include "ldap/LdapClient.h"
#include "ldap/LdapHelper.h"

namespace LdapHelper {

class LdapSession;

// A directory object of a session: the values read and the changes staged, both under the
// library-wide lock.
class LdapObject final : public object {
public:
    LdapObject(LdapSession* owner, std::wstring dn);

    session* get_session() const override;
    attr_value get_attr(const wchar_t* name) const override;
    void set_attr(const wchar_t* name, const attr_value& value) override;
    void remove_attr(const wchar_t* name) override;
    void commit() override;
    bool is_new() const override;
    bool is_absent(const wchar_t* name) const override;
    bool is_modified() const override;
    std::wstring dn() const override { return dn_; }
    security_descriptor get_sd() const override;
    void set_sd(const security_descriptor& sd, uint32_t flags) override;

    using object::get_attr;
    using object::is_absent;
    using object::remove_attr;
    using object::set_attr;

    // A value of the entry as the server returned it.
    void store_read(const std::wstring& name, attr_value value);
    // Marks the object as not yet in the directory: "objectClass" read and pending.
    void stage_new(const attr_value& object_class);

private:
    LdapSession* session_;
    std::wstring dn_;
    std::map<std::wstring, attr_value> read_;
    std::map<std::wstring, attr_value> pending_;
    std::optional<LdapControl> sd_control_;
};

}  // namespace LdapHelper
