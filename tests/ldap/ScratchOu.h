#pragma once

#include <unistd.h>

#include <exception>
#include <string>

#include "ldap/LdapHelper.h"

namespace KvTest {

// A scratch OU under the domain, removed with its subtree at the end so that tests can rerun.
class ScratchOu {
public:
    ScratchOu(LdapHelper::session& s, const std::wstring& name) : session_(s) {
        dn_ = L"OU=" + name + L"," + s.default_naming_context();
        if (s.open_object(dn_.c_str(), {L"ou"})) {
            s.remove_object(dn_.c_str());
        }
        s.add_object(dn_.c_str(), L"organizationalUnit")->commit();
    }
    ~ScratchOu() {
        try {
            session_.remove_object(dn_.c_str());
        } catch (const std::exception&) {
            // Left for the next run, which removes it first.
        }
    }
    ScratchOu(const ScratchOu&) = delete;
    ScratchOu& operator=(const ScratchOu&) = delete;

    const std::wstring& Dn() const { return dn_; }

private:
    LdapHelper::session& session_;
    std::wstring dn_;
};

// A name of this process for scratch objects, so that runs side by side do not meet.
inline std::wstring ScratchName(const std::wstring& prefix) {
    return prefix + L"-" + std::to_wstring(getpid());
}

}  // namespace KvTest
