#include <arpa/nameser.h>
#include <netinet/in.h>
#include <pwd.h>
#include <resolv.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ldap/LdapHelper.h"
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

struct SrvTarget {
    uint16_t priority = 0;
    uint16_t weight = 0;
    std::string host;
};

// The domain controller advertised for the domain: lowest priority, then highest weight.
bool QuerySrv(res_state state, const std::string& name, std::string& host) {
    std::vector<unsigned char> answer(8192);
    int length = res_nquery(state, name.c_str(), ns_c_in, ns_t_srv, answer.data(),
                            static_cast<int>(answer.size()));
    if (length <= 0) {
        return false;
    }
    ns_msg message;
    if (ns_initparse(answer.data(), length, &message) != 0) {
        return false;
    }
    bool found = false;
    SrvTarget best;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv ||
            ns_rr_rdlen(record) < 7) {
            continue;
        }
        const unsigned char* data = ns_rr_rdata(record);
        SrvTarget target;
        target.priority = static_cast<uint16_t>(data[0] << 8 | data[1]);
        target.weight = static_cast<uint16_t>(data[2] << 8 | data[3]);
        char expanded[NS_MAXDNAME];
        if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, expanded,
                      sizeof(expanded)) < 0) {
            continue;
        }
        target.host = expanded;
        if (target.host.empty() || target.host == ".") {
            continue;  // "service not available here"
        }
        if (!found || target.priority < best.priority ||
            (target.priority == best.priority && target.weight > best.weight)) {
            best = target;
            found = true;
        }
    }
    if (found) {
        if (best.host.back() == '.') {
            best.host.pop_back();
        }
        host = best.host;
    }
    return found;
}

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

server_cfg get_ADDC_server(const wchar_t* domain, bool /*force_rediscovery*/) {
    // Nothing is cached between calls, so every discovery is a fresh one.
    struct __res_state state {};
    std::string host;
    bool found = false;
    if (res_ninit(&state) == 0) {
        std::string name = domain && *domain ? Platform::WideToUtf8(domain) : state.defdname;
        if (!name.empty()) {
            found = QuerySrv(&state, "_ldap._tcp.dc._msdcs." + name, host);
        }
        res_nclose(&state);
    }
    if (!found) {
        trace_error(L"get_ADDC_server::DsGetDcName: %08X", ERROR_NO_SUCH_DOMAIN);
        report_failure(ERROR_NO_SUCH_DOMAIN, std::string("DsGetDcName error: ") + kNoSuchDomainText,
                       detail::kSourceFileCfg, __LINE__);
    }
    server_cfg cfg;
    cfg.host = Platform::Utf8ToWide(host);
    return cfg;
}

}  // namespace LdapHelper
