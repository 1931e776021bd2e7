#include "storage/ObjectFilter.h"

#include "helper/Identifiers.h"

#include <algorithm>

namespace KvMigration {
namespace {

const wchar_t* ClassTerm(ObjectKind kind) {
    switch (kind) {
        case KindPolicy:
            return L"(objectClass=orvexKVPolicyObject)";
        case KindServer:
            return L"(objectClass=orvexKVOMS)";
        case KindService:
            return L"(objectClass=computer)";
        default:
            return L"(|(objectClass=domainDNS)(objectClass=organizationalUnit))";
    }
}

std::wstring Term(const std::wstring& name, const std::wstring& value) {
    std::wstring term;
    term.reserve(name.size() + value.size() + 3);
    term += L'(';
    term += name;
    term += L'=';
    term += value;
    term += L')';
    return term;
}

}  // namespace

std::wstring ObjectFilter(const CObjectSchema& schema, const std::wstring& id,
                          const std::wstring& serverSid) {
    std::wstring filter = L"(&";
    filter += ClassTerm(schema.kind);
    if (!id.empty()) {
        const std::wstring& key = schema.keyAttribute->Name();
        if (schema.keyAttribute->Type() == AttributeType::Guid) {
            filter += Term(key, LdapHelper::escape_filter_bytes(GuidFromString(id)));
        } else {
            filter += Term(key, LdapHelper::filter_value(id, true));
        }
    }
    if (schema.kind == KindServer) {
        filter += Term(schema.keyAttribute->Name(), LdapHelper::filter_value(serverSid, true));
    } else if (schema.kind == KindService) {
        filter += L"(&(orvexKVComputerfAgent=TRUE)";
        filter += Term(schema.parentAttribute->Name(), LdapHelper::filter_value(serverSid, true));
        filter += L')';
    }
    filter += L')';
    return filter;
}

LdapHelper::conditions AdFilter(ObjectKind kind, const std::wstring& id) {
    if (kind == KindServer || kind == KindService) {
        return {{L"objectSid", LdapHelper::filter_value(id, true)}};
    }
    return {{L"objectGUID", LdapHelper::escape_filter_bytes(GuidFromString(id))}};
}

void AddAttribute(LdapHelper::attr_list& list, const std::wstring& name) {
    if (std::find(list.begin(), list.end(), name) == list.end()) {
        list.push_back(name);
    }
}

}  // namespace KvMigration
