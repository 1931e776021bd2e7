#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/Identifiers.h"
#include "storage/LdapStorage.h"
#include "storage/LdapValue.h"

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidFunction = 1;

LdapHelper::conditions GuidCondition(const Platform::Guid& guid) {
    return {{L"objectGUID", LdapHelper::escape_filter_bytes(guid)}};
}

ObjectDataPtr FindOrMake(ObjectDataMap& map, const std::wstring& id) {
    ObjectDataPtr& record = map[id];
    if (!record) {
        record = std::make_shared<CObjectData>();
    }
    return record;
}

}  // namespace

ObjectDataMap CLdapStorage::GetContainers() const {
    return isLds_ ? GetLdsContainers() : GetAdContainers();
}

ObjectDataMap CLdapStorage::GetAdContainers() const {
    LdapHelper::object_list found = adSession_->search(
        LdapHelper::query(L"", LdapHelper::SCOPE_SUBTREE,
                          L"(&(|(objectClass=organizationalUnit)(objectClass=domainDNS))"
                          L"(|(orvexKVPolicyLink=*)(gPLink=*)))"),
        {L"orvexKVPolicyLink", L"gPLink", L"objectGUID", L"name", L"canonicalName"});
    ObjectDataMap containers;
    for (const LdapHelper::object_ptr& entry : found) {
        auto record = std::make_shared<CObjectData>();
        record->kind = KindContainer;
        record->id = StringFromGuid(entry->get_attr(L"objectGUID").to_guid());
        record->name = FirstText(entry->get_attr(L"name"));
        record->canonicalName = FirstText(entry->get_attr(L"canonicalName"));
        record->attributes[L"orvexKVPolicyLink"] =
            CValue(entry->get_attr(L"orvexKVPolicyLink").to_list());
        record->attributes[L"gPLink"] = CValue(FirstText(entry->get_attr(L"gPLink")));
        containers[record->id] = record;
    }
    return containers;
}

ObjectDataMap CLdapStorage::GetLdsContainers() const {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapStorage::GetLdsContainers] ");
    const wchar_t* function = L"CLdapStorage::GetLdsContainers";
    const LdapHelper::session_ptr& session = GetObjectSession();
    const LdapHelper::attr_list ldsAttributes = {L"orvexKVPolicyLink", L"orvexKVObjectGuid"};

    LdapHelper::object_list domains = session->search(
        LdapHelper::query(
            securityDomainDn_, LdapHelper::SCOPE_BASE,
            LdapHelper::conditions{{L"objectClass", LdapHelper::filter_value(L"domainDNS", true)}}),
        ldsAttributes);
    if (domains.size() != 1) {
        KV_RAISE_ERROR_CODE(function, kInvalidFunction);
    }
    LdapHelper::object_ptr securityDomain = domains.front();

    LdapHelper::object_list adDomains = adSession_->search(
        LdapHelper::query(L"", LdapHelper::SCOPE_SUBTREE,
                          GuidCondition(securityDomain->get_attr(L"orvexKVObjectGuid").to_guid())),
        {L"distinguishedName"});
    if (adDomains.size() != 1) {
        KV_RAISE_ERROR_CODE(function, kInvalidFunction);
    }
    const std::wstring adDomainDn = adDomains.front()->dn();

    LdapHelper::object_list entries = session->search(
        LdapHelper::query(securityDomainDn_, LdapHelper::SCOPE_SUBTREE,
                          L"(&(objectClass=organizationalUnit)(orvexKVPolicyLink=*))"),
        ldsAttributes);
    entries.push_back(securityDomain);

    ObjectDataMap containers;
    const LdapHelper::attr_list adAttributes = {L"name", L"canonicalName", L"gPLink"};
    for (const LdapHelper::object_ptr& entry : entries) {
        Platform::Guid guid = entry->get_attr(L"orvexKVObjectGuid").to_guid();
        auto record = std::make_shared<CObjectData>();
        record->kind = KindContainer;
        record->id = StringFromGuid(guid);
        record->attributes[L"orvexKVPolicyLink"] =
            CValue(entry->get_attr(L"orvexKVPolicyLink").to_list());

        LdapHelper::object_list adObjects = adSession_->search(
            LdapHelper::query(L"", LdapHelper::SCOPE_SUBTREE, GuidCondition(guid)), adAttributes);
        if (adObjects.empty()) {
            if (entry == securityDomain) {
                KV_RAISE_ERROR_CODE(function, kInvalidFunction);
            }
            KvBase::GetTrace().Trace(KvBase::TraceInfo,
                                     L"Container with objectGUID=%ls not found in AD.",
                                     record->id.c_str());
            continue;
        }
        if (adObjects.size() > 1) {
            KV_RAISE_ERROR_CODE(function, kInvalidFunction);
        }
        const LdapHelper::object_ptr& adObject = adObjects.front();
        record->name = FirstText(adObject->get_attr(L"name"));
        record->canonicalName = FirstText(adObject->get_attr(L"canonicalName"));
        record->attributes[L"gPLink"] = CValue(FirstText(adObject->get_attr(L"gPLink")));
        containers[record->id] = record;
    }

    LdapHelper::object_list linked =
        adSession_->search(LdapHelper::query(adDomainDn, LdapHelper::SCOPE_SUBTREE,
                                             L"(&(objectClass=organizationalUnit)(gPLink=*))"),
                           {L"gPLink", L"objectGUID", L"name", L"canonicalName"});
    for (const LdapHelper::object_ptr& entry : linked) {
        std::wstring id = StringFromGuid(entry->get_attr(L"objectGUID").to_guid());
        ObjectDataPtr record = FindOrMake(containers, id);
        record->kind = KindContainer;
        record->id = id;
        record->name = FirstText(entry->get_attr(L"name"));
        record->canonicalName = FirstText(entry->get_attr(L"canonicalName"));
        record->attributes[L"gPLink"] = CValue(FirstText(entry->get_attr(L"gPLink")));
    }
    return containers;
}

}  // namespace KvMigration
