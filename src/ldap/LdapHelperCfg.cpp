#include <arpa/nameser.h>
#include <netinet/in.h>
#include <pwd.h>
#include <resolv.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ldap/LdapHelper.h"
#include "ldap/LdapHelperCfg.h"
#include "ldap/LdapTrace.h"
#include "platform/CodePage.h"

namespace LdapHelper {

using detail::trace_error;
using detail::trace_info;

namespace {

constexpr uint32_t ERROR_NO_SUCH_DOMAIN = 1355;
// The system's text of ERROR_NO_SUCH_DOMAIN, the one code discovery reports.
constexpr const char* kNoSuchDomainText =
    "The specified domain either does not exist or could not be contacted.";

uint32_t ReadBigEndian32(std::istream& in, bool& ok) {
    unsigned char b[4];
    if (!in.read(reinterpret_cast<char*>(b), 4)) {
        ok = false;
        return 0;
    }
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
           static_cast<uint32_t>(b[2]) << 8 | b[3];
}

bool ReadCounted(std::istream& in, std::string& text) {
    bool ok = true;
    uint32_t length = ReadBigEndian32(in, ok);
    if (!ok || length > 4096) {
        return false;
    }
    text.resize(length);
    return static_cast<bool>(in.read(text.data(), length));
}

// The default principal of a FILE credential cache (MIT format versions 1 to 4).
bool CachePrincipal(const std::string& path, std::string& principal) {
    std::ifstream in(path, std::ios::binary);
    unsigned char version[2];
    if (!in.read(reinterpret_cast<char*>(version), 2) || version[0] != 5 || version[1] < 1 ||
        version[1] > 4) {
        return false;
    }
    if (version[1] == 4) {
        unsigned char size[2];
        if (!in.read(reinterpret_cast<char*>(size), 2)) {
            return false;
        }
        in.ignore(size[0] << 8 | size[1]);
    }
    bool ok = true;
    uint32_t components = 0;
    if (version[1] != 1) {
        ReadBigEndian32(in, ok);  // name type
    }
    components = ReadBigEndian32(in, ok);
    if (version[1] == 1 && components > 0) {
        --components;  // version 1 counts the realm among the components
    }
    if (!ok || components == 0 || components > 16) {
        return false;
    }
    std::string realm;
    if (!ReadCounted(in, realm)) {
        return false;
    }
    std::string name;
    for (uint32_t i = 0; i < components; ++i) {
        std::string part;
        if (!ReadCounted(in, part)) {
            return false;
        }
        name += (i ? "/" : "") + part;
    }
    principal = name + "@" + realm;
    return true;
}

std::string DefaultCachePath() {
    const char* configured = std::getenv("KRB5CCNAME");
    if (configured == nullptr || *configured == '\0') {
        return "/tmp/krb5cc_" + std::to_string(geteuid());
    }
    std::string name = configured;
    if (name.rfind("FILE:", 0) == 0) {
        return name.substr(5);
    }
    // Other cache types (KEYRING, KCM, DIR, MEMORY) are not files this code can read.
    return name.find(':') == std::string::npos ? name : std::string();
}

}  // namespace

namespace detail {

bool pick_srv_target(const unsigned char* answer, size_t size, int length, std::string& host) {
    if (length <= 0) {
        return false;
    }
    ns_msg message;
    if (ns_initparse(answer, static_cast<int>(std::min(static_cast<size_t>(length), size)),
                     &message) != 0) {
        return false;
    }
    bool found = false;
    uint16_t bestPriority = 0;
    uint16_t bestWeight = 0;
    std::string best;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv ||
            ns_rr_rdlen(record) < 7) {
            continue;
        }
        const unsigned char* data = ns_rr_rdata(record);
        auto priority = static_cast<uint16_t>(data[0] << 8 | data[1]);
        auto weight = static_cast<uint16_t>(data[2] << 8 | data[3]);
        char expanded[NS_MAXDNAME];
        if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, expanded,
                      sizeof(expanded)) < 0) {
            continue;
        }
        std::string target = expanded;
        if (target.empty() || target == ".") {
            continue;
        }
        if (!found || priority < bestPriority ||
            (priority == bestPriority && weight > bestWeight)) {
            bestPriority = priority;
            bestWeight = weight;
            best = target;
            found = true;
        }
    }
    if (found) {
        if (best.back() == '.') {
            best.pop_back();
        }
        host = best;
    }
    return found;
}

bool query_srv_target(const SrvQuery& query, std::string& host) {
    std::vector<unsigned char> answer(8192);
    int length = query(answer.data(), static_cast<int>(answer.size()));
    if (length > static_cast<int>(answer.size()) && length <= NS_MAXMSG) {
        answer.resize(static_cast<size_t>(length));
        length = query(answer.data(), static_cast<int>(answer.size()));
    }
    return pick_srv_target(answer.data(), answer.size(), length, host);
}

}  // namespace detail

uint32_t GetCurUserName(std::wstring& name) {
    name.clear();
    std::string principal;
    std::string cache = DefaultCachePath();
    if (!cache.empty() && CachePrincipal(cache, principal)) {
        name = Platform::Utf8ToWide(principal);
        trace_info(L"GetCurUserName: %ls", name.c_str());
        return 0;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    int rc = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
    if (found == nullptr) {
        uint32_t error = rc != 0 ? static_cast<uint32_t>(rc) : static_cast<uint32_t>(ENOENT);
        trace_info(L"GetCurUserName: %ls", name.c_str());
        return error;
    }
    name = Platform::AnsiToWide(found->pw_name);
    trace_info(L"GetCurUserName: %ls", name.c_str());
    return 0;
}

namespace {

// The locator record of `domain`, or of the resolver's own domain; empty without a domain.
std::string LocatorRecord(const wchar_t* domain, const struct __res_state& state) {
    std::string name = domain && *domain ? Platform::WideToUtf8(domain) : state.defdname;
    return name.empty() ? std::string() : "_ldap._tcp.dc._msdcs." + name;
}

}  // namespace

std::wstring dc_locator_record(const wchar_t* domain) {
    struct __res_state state {};
    if (res_ninit(&state) != 0) {
        return domain && *domain ? L"_ldap._tcp.dc._msdcs." + std::wstring(domain) : L"";
    }
    std::string record = LocatorRecord(domain, state);
    res_nclose(&state);
    return Platform::Utf8ToWide(record);
}

server_cfg get_ADDC_server(const wchar_t* domain, bool /*force_rediscovery*/) {
    // Nothing is cached between calls, so every discovery is a fresh one.
    struct __res_state state {};
    std::string host;
    std::string record;
    bool found = false;
    if (res_ninit(&state) == 0) {
        record = LocatorRecord(domain, state);
        if (!record.empty()) {
            found = detail::query_srv_target(
                [&](unsigned char* answer, int size) {
                    return res_nquery(&state, record.c_str(), ns_c_in, ns_t_srv, answer, size);
                },
                host);
        }
        res_nclose(&state);
    }
    if (!found) {
        if (record.empty()) {
            trace_error(L"get_ADDC_server: this computer has no DNS domain to look in");
        } else {
            trace_error(L"get_ADDC_server: no domain controller in the DNS SRV record %s",
                        record.c_str());
        }
        trace_error(L"get_ADDC_server::DsGetDcName: %08X", ERROR_NO_SUCH_DOMAIN);
        report_failure(ERROR_NO_SUCH_DOMAIN, std::string("DsGetDcName error: ") + kNoSuchDomainText,
                       detail::kSourceFileCfg, __LINE__);
    }
    server_cfg cfg;
    cfg.host = Platform::Utf8ToWide(host);
    return cfg;
}

}  // namespace LdapHelper
