#include "ldap/LdapObject.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "ldap/LdapSession.h"
#include "ldap/LdapTrace.h"
#include "platform/CodePage.h"

namespace LdapHelper {

using detail::kSourceFile;
using detail::trace_error;
using detail::trace_info;

namespace {

constexpr const wchar_t* kObjectClass = L"objectClass";
constexpr const wchar_t* kSecurityDescriptor = L"nTSecurityDescriptor";
constexpr uint32_t E_OUTOFMEMORY_CODE = 0x8007000E;
constexpr uint32_t E_FAIL_CODE = 0x80004005;
// A value of megabytes would make a dump of hundreds of megabytes that no trace line can hold;
// the first bytes are enough to recognise what was written.
constexpr size_t kCommitDumpBytes = 4096;

using Lock = std::lock_guard<std::recursive_mutex>;

}  // namespace

namespace detail {

std::recursive_mutex& library_lock() {
    static std::recursive_mutex lock;
    return lock;
}

std::wstring hex_dump(const uint8_t* data, size_t size) {
    std::wstring out;
    wchar_t hex[4];
    for (size_t line = 0; line < size; line += 16) {
        out += L' ';
        for (size_t i = 0; i < 16; ++i) {
            if (i == 8) {
                out += L' ';
            }
            if (line + i < size) {
                std::swprintf(hex, 4, L"%02X", data[line + i]);
                out += L' ';
                out += hex;
            } else {
                out += L"   ";
            }
        }
        out += L" | ";
        for (size_t i = 0; i < 16 && line + i < size; ++i) {
            uint8_t byte = data[line + i];
            out += (byte >= 0x20 && byte < 0x7F) ? static_cast<wchar_t>(byte) : L'.';
        }
        out += L"\r\n";
    }
    return out;
}

}  // namespace detail

LdapObject::LdapObject(LdapSession* owner, std::wstring dn) : session_(owner), dn_(std::move(dn)) {}

session* LdapObject::get_session() const {
    return session_;
}

attr_value LdapObject::get_attr(const wchar_t* name) const {
    if (name == nullptr) {
        return {};
    }
    Lock lock(detail::library_lock());
    if (auto it = pending_.find(name); it != pending_.end()) {
        return it->second;
    }
    if (auto it = read_.find(name); it != read_.end()) {
        return it->second;
    }
    return {};
}

bool LdapObject::is_absent(const wchar_t* name) const {
    if (name == nullptr) {
        return true;
    }
    Lock lock(detail::library_lock());
    return pending_.count(name) == 0 && read_.count(name) == 0;
}

void LdapObject::set_attr(const wchar_t* name, const attr_value& value) {
    if (name == nullptr) {
        return;
    }
    Lock lock(detail::library_lock());
    pending_[name] = value;
}

void LdapObject::remove_attr(const wchar_t* name) {
    set_attr(name, attr_value());
}

bool LdapObject::is_new() const {
    Lock lock(detail::library_lock());
    return pending_.count(kObjectClass) != 0;
}

bool LdapObject::is_modified() const {
    Lock lock(detail::library_lock());
    return !pending_.empty();
}

void LdapObject::store_read(const std::wstring& name, attr_value value) {
    Lock lock(detail::library_lock());
    read_[name] = std::move(value);
}

void LdapObject::stage_new(const attr_value& object_class) {
    Lock lock(detail::library_lock());
    read_[kObjectClass] = object_class;
    pending_[kObjectClass] = object_class;
}

void LdapObject::commit() {
    bool creating = is_new();
    Lock lock(detail::library_lock());
    if (creating) {
        // An add request cannot carry an attribute without values.
        std::erase_if(pending_, [](const auto& change) { return change.second.empty(); });
    }
    if (pending_.empty()) {
        return;
    }
    trace_info(L"---> commit(%ls): %s", dn_.c_str(), creating ? "ADD" : "REPLACE");
    trace_info(L"Number of attributes: %d", static_cast<int>(pending_.size()));

    std::vector<LdapModification> mods;
    int index = 0;
    for (const auto& [name, value] : pending_) {
        LdapModification mod;
        mod.op = (creating ? LDAP_MODOP_ADD : LDAP_MODOP_REPLACE) | LDAP_MODOP_BVALUES;
        mod.type = Platform::WideToUtf8(name);
        mod.values = value.values();
        trace_info(L"Attr[%d]: %ls blocks: %d multi: %s", index++, name.c_str(), value.count(),
                   value.multi() ? "true" : "false");
        if (value.data().empty()) {
            trace_info(L"Remove attribute!");
        } else {
            size_t size = value.data().size();
            std::wstring dump =
                detail::hex_dump(value.data().data(), std::min(size, kCommitDumpBytes));
            if (size > kCommitDumpBytes) {
                dump += L" ... " + std::to_wstring(size - kCommitDumpBytes) +
                        L" more bytes not dumped\r\n";
            }
            trace_info(L"Size: %d\nData:\n%ls", static_cast<int>(value.data().size()),
                       dump.c_str());
        }
        mods.push_back(std::move(mod));
    }

    std::vector<LdapControl> controls;
    if (sd_control_) {
        controls.push_back(*sd_control_);
    }
    session_->prepare_write();
    ILdapClient& client = session_->client();
    std::string dn = Platform::WideToUtf8(dn_);
    int rc = creating ? client.add(dn, mods, controls) : client.modify(dn, mods, controls);
    session_->touch();
    if (rc != 0) {
        trace_error(creating ? L"ldap_add_s: %08X %s" : L"ldap_modify_s: %08X %s", rc,
                    LdapErrorString(rc).c_str());
        report_failure(static_cast<uint32_t>(rc), session_->error_text(static_cast<uint32_t>(rc)),
                       kSourceFile, __LINE__);
    }
    for (auto& [name, value] : pending_) {
        read_[name] = std::move(value);
    }
    pending_.clear();
}

security_descriptor LdapObject::get_sd() const {
    try {
        attr_value value = get_attr(kSecurityDescriptor);
        if (value.data().empty()) {
            trace_error(L"get_sd: Not read SD!");
            report_failure(13, "Error read SD", kSourceFile, __LINE__);
        }
        std::vector<std::string> values = value.values();
        const std::string& bytes = values.front();
        return security_descriptor::from_self_relative(
            reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    } catch (const sd_exception& e) {
        trace_error(L"get_sd: %08X", e.hresult());
        report_failure(e.hresult(), "Error SD", kSourceFile, __LINE__);
    } catch (...) {  // Every other failure, the missing value's own report included, ends here.
        trace_error(L"get_sd: %08X", E_FAIL_CODE);
        report_failure(E_FAIL_CODE, "Fatal error SD", kSourceFile, __LINE__);
    }
}

void LdapObject::set_sd(const security_descriptor& sd, uint32_t flags) {
    if (flags != 0) {
        Lock lock(detail::library_lock());
        sd_control_.reset();
        std::string value;
        uint32_t rc = BerEncodeFlags(static_cast<int>(flags), value);
        if (rc == E_OUTOFMEMORY_CODE) {
            trace_error(L"set_sd: Ran out of memory %08X", rc);
            report_failure(rc, "Ran out of memory", kSourceFile, __LINE__);
        }
        if (rc != 0) {
            trace_error(L"set_sd: ber_flatten error %08X", rc);
            report_failure(rc, "ber_flatten error", kSourceFile, __LINE__);
        }
        sd_control_ = LdapControl{OID_SD_FLAGS, value, true};
    }
    try {
        std::vector<uint8_t> bytes = sd.to_self_relative();
        set_attr(kSecurityDescriptor, attr_value(bytes));
    } catch (const sd_exception& e) {
        trace_error(L"set_sd: %08X", e.hresult());
        report_failure(e.hresult(), "Error SD", kSourceFile, __LINE__);
    } catch (...) {  // Any other failure of the conversion is reported as a plain failure.
        trace_error(L"set_sd: %08X", E_FAIL_CODE);
        report_failure(E_FAIL_CODE, "Fatal error SD", kSourceFile, __LINE__);
    }
}

}  // namespace LdapHelper
