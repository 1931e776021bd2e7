#include "client/ClientSession.h"

#include <cstdio>

#include "base/KvError.h"
#include "base/Trace.h"

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidComputerName = 1210;
constexpr uint32_t kInvalidDomainName = 1212;
constexpr wchar_t kFindLdsDomain[] = L"LdapHelper::find_lds_domain";

}  // namespace

void CLdapSession::Initialize(LdapHelper::session_ptr session, const std::wstring& omsId,
                              bool lds) {
    session_ = std::move(session);
    baseDn_.clear();
    std::wstring base = lds ? find_lds_domain(*this, omsId) : Session().default_naming_context();
    baseDn_ = std::move(base);
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"%s:BaseDN: %ls", "CLdapSession::Initialize",
                             baseDn_.c_str());
}

LdapHelper::session& CLdapSession::Session() const {
    if (!session_) {
        KV_RAISE_ERROR(L"CLdapSession::Session", L"The client session is not initialised.");
    }
    return *session_;
}

std::wstring find_lds_domain(const CLdapSession& wrapper, const std::wstring& omsId) {
    LdapHelper::object_list servers = wrapper.Session().search(
        LdapHelper::query(wrapper.BaseDn(), LdapHelper::SCOPE_SUBTREE,
                          LdapHelper::conditions{
                              {L"cn", LdapHelper::filter_value(omsId, true)},
                              {L"objectCategory", LdapHelper::filter_value(L"orvexKVOMS", true)}}),
        {L"cn", L"distinguishedName"});
    if (servers.size() != 1) {
        KV_RAISE_ERROR_CODE(kFindLdsDomain, kInvalidComputerName);
    }
    const std::wstring dn = servers.front()->get_attr(L"distinguishedName").to_string();
    const size_t domain = dn.find(L"DC=");
    if (domain == std::wstring::npos) {
        KV_RAISE_ERROR_CODE(kFindLdsDomain, kInvalidDomainName);
    }
    return dn.substr(domain);
}

std::wstring EscapeRdnValue(const std::wstring& value) {
    std::wstring escaped;
    escaped.reserve(value.size() + 8);
    for (size_t i = 0; i < value.size(); ++i) {
        const wchar_t c = value[i];
        const bool special = c == L',' || c == L'+' || c == L'"' || c == L'\\' || c == L'<' ||
                             c == L'>' || c == L';' || c == L'=';
        const bool edge =
            (i == 0 && (c == L' ' || c == L'#')) || (i + 1 == value.size() && c == L' ');
        if (c == L'\0') {
            escaped += L"\\00";
        } else if (special || edge) {
            escaped += L'\\';
            escaped += c;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace KvMigration
