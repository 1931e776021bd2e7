#include "storage/LdapStorage.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/Format.h"
#include "helper/Identifiers.h"
#include "storage/LdapValue.h"
#include "storage/ObjectFilter.h"

#include <algorithm>
#include <cwctype>

namespace KvMigration {
namespace {

constexpr std::wstring_view kConfiguration = L"CN=Korvant 5.0 Configuration,";
constexpr const wchar_t* kGcRoot = L"DC=Korvant-GC";

// DNs compare without regard to letter case; the product writes this one in a single spelling,
// but a directory may hand it back in another.
size_t FindNoCase(const std::wstring& text, std::wstring_view part) {
    auto found =
        std::search(text.begin(), text.end(), part.begin(), part.end(),
                    [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
    return found == text.end() ? std::wstring::npos : static_cast<size_t>(found - text.begin());
}

// An identifier that becomes a relative name: a GUID or SID text of the key's type, made only of
// letters, digits and hyphens, so that nothing in it can change the structure of a DN.
bool IsWellFormedId(AttributeType keyType, const std::wstring& id) {
    if (id.empty() || !std::all_of(id.begin(), id.end(), [](wchar_t c) {
            return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') ||
                   (c >= L'A' && c <= L'Z') || c == L'-';
        })) {
        return false;
    }
    if (keyType == AttributeType::Guid) {
        Platform::Guid guid;
        return ParseGuid(id, guid);
    }
    if (keyType == AttributeType::Sid) {
        try {
            StringToSid(id);
            return true;
        } catch (const KvBase::CKvError&) {
            return false;
        }
    }
    return false;
}

}  // namespace

SecurityDomainName SecurityDomainFromServerDn(const std::wstring& serverDn, bool keepGcSuffix) {
    const wchar_t* function = L"CLdapStorage::FindOutDomainInfo";
    size_t cut = FindNoCase(serverDn, kConfiguration);
    if (cut == std::wstring::npos) {
        KV_RAISE_ERROR(function,
                       FormatString(L"The self server DN (%ls) lacks \"%ls\"", serverDn.c_str(),
                                    std::wstring(kConfiguration).c_str()));
    }
    SecurityDomainName result;
    result.dn = serverDn.substr(cut + kConfiguration.size());
    if (!keepGcSuffix) {
        if (result.dn.size() < 3) {
            KV_RAISE_ERROR(function, FormatString(L"The self server DN (%ls) names no security "
                                                  L"domain",
                                                  serverDn.c_str()));
        }
        result.dn.resize(result.dn.size() - 3);
    }
    size_t open = result.dn.find(L'{');
    size_t close = result.dn.find(L'}');
    if (open == std::wstring::npos || close == std::wstring::npos || close < open) {
        KV_RAISE_ERROR(function, FormatString(L"The security domain DN (%ls) holds no identifier "
                                              L"in braces",
                                              result.dn.c_str()));
    }
    result.id = result.dn.substr(open + 1, close - open - 1);
    return result;
}

CLdapStorage::CLdapStorage(const StorageSession& session, const std::wstring& serverSid)
    : adSession_(session.adSession),
      isLds_(session.isLds),
      ldsSession_(session.ldsSession),
      ldsGcSession_(session.ldsGcSession),
      serverSid_(serverSid) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapStorage::CLdapStorage] ");
    if (serverSid_.empty()) {
        serverSid_ = GetLocalComputerSID();
    }
    FindOutSchemaVersion();
    FindOutDomainInfo();
}

const LdapHelper::session_ptr& CLdapStorage::GetObjectSession() const {
    if (!isLds_) {
        return adSession_;
    }
    return schemaVersion_ == SchemaVersionBase ? ldsGcSession_ : ldsSession_;
}

std::wstring CLdapStorage::MakeObjectDn(const CObjectSchema& schema,
                                        const std::wstring& name) const {
    const AttributeType keyType = schema.keyAttribute->Type();
    if (!IsWellFormedId(keyType, name)) {
        KV_RAISE_ERROR(L"CLdapStorage::MakeObjectDn",
                       FormatString(L"The identifier \"%ls\" of a %ls is not a valid %ls.",
                                    name.c_str(), GetObjectClassName(schema.kind).c_str(),
                                    keyType == AttributeType::Guid ? L"GUID" : L"SID"));
    }
    return schema.rdnPrefix + name + L"," + schema.containerDn + securityDomainDn_;
}

std::wstring CLdapStorage::RealObjectDn(const CObjectSchema& schema, const std::wstring& id) const {
    LdapHelper::object_list found =
        GetObjectSession()->search(LdapHelper::query(ObjectSearchRoot(), LdapHelper::SCOPE_SUBTREE,
                                                     ObjectFilter(schema, id, serverSid_)),
                                   {});
    if (found.size() != 1) {
        KV_RAISE_ERROR(L"CLdapStorage::RealObjectDn",
                       FormatString(L"Object %ls not found", id.c_str()));
    }
    return found.front()->dn();
}

void CLdapStorage::FindOutSchemaVersion() {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapStorage::FindOutSchemaVersion] ");
    const wchar_t* function = L"CLdapStorage::FindOutSchemaVersion";
    const LdapHelper::session_ptr& session = isLds_ ? ldsSession_ : adSession_;

    LdapHelper::object_ptr root = session->open_object(nullptr, {L"configurationNamingContext"});
    std::wstring configuration =
        root ? FirstText(root->get_attr(L"configurationNamingContext")) : std::wstring();
    if (configuration.empty()) {
        KV_RAISE_ERROR(function, L"Unable to open configurationNamingContext");
    }
    std::wstring dn = L"CN=ADSchema,CN=Korvant 5.0 Configuration,CN=Services," + configuration;
    LdapHelper::object_ptr schema = session->open_object(
        dn.c_str(), {L"orvexKVADSchemaVersion", L"orvexKVADSchemaVersionExtended"});
    if (!schema) {
        KV_RAISE_ERROR(function,
                       L"Access denied or source storage does not contain Korvant Schema Version");
    }
    schemaVersion_ = {schema->get_attr(L"orvexKVADSchemaVersion").to_int(),
                      schema->get_attr(L"orvexKVADSchemaVersionExtended").to_int()};
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Schema version: %d.%d", schemaVersion_.major,
                             schemaVersion_.minor);
}

void CLdapStorage::FindOutDomainInfo() {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapStorage::FindOutDomainInfo] ");
    if (!isLds_) {
        return;
    }
    const wchar_t* function = L"CLdapStorage::FindOutDomainInfo";

    LdapHelper::object_list servers = ldsGcSession_->search(
        LdapHelper::query(
            kGcRoot, LdapHelper::SCOPE_SUBTREE,
            LdapHelper::conditions{{L"objectClass", LdapHelper::filter_value(L"orvexKVOMS", true)},
                                   {L"orvexKVOMSSID", LdapHelper::filter_value(serverSid_, true)}}),
        {L"orvexKVProductVersionMajor", L"orvexKVProductVersionMinor"});
    if (servers.empty()) {
        KV_RAISE_ERROR(function, FormatString(L"Not found self server (%ls)", serverSid_.c_str()));
    }
    if (servers.size() > 1) {
        KV_RAISE_ERROR(function, FormatString(L"Duplicate self server (%ls)", serverSid_.c_str()));
    }
    const LdapHelper::object_ptr& server = servers.front();
    productVersion_ = {server->get_attr(L"orvexKVProductVersionMajor").to_int(),
                       server->get_attr(L"orvexKVProductVersionMinor").to_int()};

    SecurityDomainName domain =
        SecurityDomainFromServerDn(server->dn(), schemaVersion_ == SchemaVersionBase);
    securityDomainDn_ = domain.dn;
    securityDomainId_ = domain.id;

    LdapHelper::object_list domains = ldsGcSession_->search(
        LdapHelper::query(kGcRoot, LdapHelper::SCOPE_SUBTREE,
                          LdapHelper::conditions{
                              {L"name", LdapHelper::filter_value(L"{" + domain.id + L"}", true)}}),
        {L"orvexKVObjectGuid"});
    if (domains.size() != 1) {
        KV_RAISE_ERROR(function, L"Not found security domain.");
    }
    Platform::Guid adDomain = domains.front()->get_attr(L"orvexKVObjectGuid").to_guid();
    domainGuid_ = StringFromGuid(adDomain);

    LdapHelper::object_list adDomains = adSession_->search(
        LdapHelper::query(
            L"", LdapHelper::SCOPE_SUBTREE,
            LdapHelper::conditions{{L"objectGUID", LdapHelper::escape_filter_bytes(adDomain)}}),
        {L"canonicalName"});
    if (adDomains.size() != 1) {
        KV_RAISE_ERROR_CODE(function, 1);
    }
    domainCanonicalName_ = FirstText(adDomains.front()->get_attr(L"canonicalName"));
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Security domain: %ls, domain: %ls (%ls)",
                             securityDomainDn_.c_str(), domainCanonicalName_.c_str(),
                             domainGuid_.c_str());
}

}  // namespace KvMigration
