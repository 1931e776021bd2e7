#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/Format.h"
#include "helper/Identifiers.h"
#include "storage/LdapStorage.h"
#include "storage/LdapValue.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidFunction = 1;
constexpr uint32_t kInvalidParameter = 87;

constexpr const wchar_t* kObjectMigrated = L"objectMigrated";
constexpr const wchar_t* kPolicyMigrated = L"policyMigrated";
constexpr const wchar_t* kPolicyLink = L"orvexKVPolicyLink";
constexpr const wchar_t* kGcSuffix = L"-GC";

// Settings the product keeps per partition: an update never copies them into the global catalogue.
constexpr std::array<std::wstring_view, 8> kProtectedServerAttributes = {
    L"orvexKVOMSShedule",        L"orvexKVOMSHttpTransportSettings",
    L"orvexKVOMSMailSettings",   L"orvexKVOMSArchiveJournalSchedule",
    L"orvexKVOMSADQueryTimeOut", L"orvexKVOMSConfig",
    L"orvexKVOMSFlags",          L"orvexKVOMSSecurityDescriptor"};
constexpr std::array<std::wstring_view, 2> kProtectedServiceAttributes = {
    L"orvexKVOMSShedule", L"orvexKVOMSHttpTransportSettings"};

bool IsProtected(ObjectKind kind, const std::wstring& name) {
    auto contains = [&name](const auto& names) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    if (kind == KindServer) {
        return contains(kProtectedServerAttributes);
    }
    if (kind == KindService) {
        return contains(kProtectedServiceAttributes);
    }
    return false;
}

// Appends "<mark>;" to the first description value unless the description holds the mark already.
void AppendMark(LdapHelper::object& entry, const wchar_t* mark) {
    std::wstring description = FirstText(entry.get_attr(L"description"));
    if (description.find(mark) == std::wstring::npos) {
        entry.set_attr(L"description", LdapHelper::attr_value(description + mark + L";"));
    }
}

void SetKey(LdapHelper::object& entry, const CObjectValues& values) {
    const CAttribute& key = *values.schema->keyAttribute;
    entry.set_attr(key.Name(), AttributeToLdapValue(key.Type(), CValue(values.id)));
}

void SetEveryValue(LdapHelper::object& entry, const CObjectValues& values) {
    for (const auto& [attribute, value] : values.values) {
        entry.set_attr(attribute->Name(), AttributeToLdapValue(attribute->Type(), value));
    }
}

}  // namespace

const LdapHelper::session_ptr& CLdapStorage::SecurityDomainSession() const {
    return ldsSession_;
}

const LdapHelper::session_ptr& CLdapStorage::GlobalCatalogueSession() const {
    return ldsGcSession_;
}

bool CLdapStorage::WriteAttributes(const CObjectValues& values, LdapHelper::object& entry,
                                   bool primary) const {
    bool any = false;
    for (const auto& [attribute, value] : values.values) {
        const std::wstring& name = attribute->Name();
        if (name == kPolicyLink || (!primary && IsProtected(values.schema->kind, name))) {
            continue;
        }
        entry.set_attr(name, AttributeToLdapValue(attribute->Type(), value));
        any = true;
    }
    if (!any) {
        return false;
    }
    if (primary) {
        AppendMark(entry, kObjectMigrated);
    }
    entry.commit();
    return true;
}

void CLdapStorage::SetObject(const CObjectValues& values) {
    const wchar_t* function = L"CLdapStorage::SetObject";
    const CObjectSchema& schema = *values.schema;
    const std::wstring dn = RealObjectDn(schema, values.id);

    LdapHelper::object_ptr entry = SecurityDomainSession()->open_object(dn.c_str(), {});
    if (!entry) {
        KV_RAISE_ERROR_CODE(function, kInvalidParameter);
    }
    WriteAttributes(values, *entry, true);

    if (schema.kind != KindContainer) {
        const std::wstring gcDn = dn + kGcSuffix;
        LdapHelper::object_ptr copy = GlobalCatalogueSession()->open_object(gcDn.c_str(), {});
        if (!copy) {
            KV_RAISE_ERROR_CODE(function, kInvalidParameter);
        }
        WriteAttributes(values, *copy, false);
    }
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"%ls was successfully imported.",
                             ObjectDescription(schema.kind, values.id, L"", L"").c_str());
}

void CLdapStorage::CreateObject(const CObjectValues& values, bool alsoGlobalCatalogue) {
    const CObjectSchema& schema = *values.schema;
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Start create object: type=%ls id=%ls",
                             GetObjectClassName(schema.kind).c_str(), values.id.c_str());
    const std::wstring dn = MakeObjectDn(schema, values.id);
    if (SecurityDomainSession()->open_object(dn.c_str(), {})) {
        KV_RAISE_ERROR_CODE(L"CLdapStorage::CreateObject", kInvalidParameter);
    }

    LdapHelper::object_ptr entry =
        SecurityDomainSession()->add_object(dn.c_str(), schema.objectClass.c_str());
    SetEveryValue(*entry, values);
    entry->set_attr(L"name", LdapHelper::attr_value(values.id));
    if (schema.kind != KindPolicy) {
        entry->set_attr(L"description", LdapHelper::attr_value(std::wstring(kObjectMigrated) +
                                                               L";" + kPolicyMigrated + L";"));
    }
    SetKey(*entry, values);
    entry->commit();

    if (alsoGlobalCatalogue) {
        const std::wstring gcDn = dn + kGcSuffix;
        LdapHelper::object_ptr copy = GlobalCatalogueSession()->open_object(gcDn.c_str(), {});
        if (!copy) {
            copy = GlobalCatalogueSession()->add_object(gcDn.c_str(), schema.objectClass.c_str());
            copy->set_attr(L"name", LdapHelper::attr_value(values.id));
        }
        SetEveryValue(*copy, values);
        SetKey(*copy, values);
        copy->commit();
    }
}

void CLdapStorage::DeletePolicy(const CObjectSchema& schema, const std::wstring& id,
                                bool alsoGlobalCatalogue) {
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Start delete policy with id=%ls", id.c_str());
    if (schema.kind != KindPolicy) {
        KV_RAISE_ERROR_CODE(L"CLdapStorage::DeletePolicy", kInvalidParameter);
    }
    const std::wstring dn = MakeObjectDn(schema, id);
    if (SecurityDomainSession()->open_object(dn.c_str(), {})) {
        SecurityDomainSession()->remove_object(dn.c_str());
    }
    if (alsoGlobalCatalogue) {
        const std::wstring gcDn = dn + kGcSuffix;
        if (GlobalCatalogueSession()->open_object(gcDn.c_str(), {})) {
            GlobalCatalogueSession()->remove_object(gcDn.c_str());
        }
    }
}

void CLdapStorage::SetPolicyLink(const CObjectSchema& schema, const std::wstring& id,
                                 const std::vector<std::wstring>& links) {
    const std::wstring dn = RealObjectDn(schema, id);
    LdapHelper::object_ptr entry = SecurityDomainSession()->open_object(dn.c_str(), {});
    if (!entry) {
        KV_RAISE_ERROR_CODE(L"CLdapStorage::SetPolicyLink", kInvalidParameter);
    }
    AppendMark(*entry, kPolicyMigrated);
    entry->set_attr(kPolicyLink, LdapHelper::attr_value(LdapHelper::attr_list(links)));
    entry->commit();

    // DeletePolicy removes a server's old policies from both partitions; the global-catalogue
    // copy of the server must not go on linking them.
    if (schema.kind == KindServer) {
        const std::wstring gcDn = dn + kGcSuffix;
        if (LdapHelper::object_ptr copy = GlobalCatalogueSession()->open_object(gcDn.c_str(), {})) {
            copy->set_attr(kPolicyLink, LdapHelper::attr_value(LdapHelper::attr_list(links)));
            copy->commit();
        } else {
            KvBase::GetTrace().Trace(KvBase::TraceInfo,
                                     L"The server %ls has no global-catalogue copy to link.",
                                     id.c_str());
        }
    }
}

bool CLdapStorage::IsDomainSubtreeContainer(const std::wstring& id) const {
    LdapHelper::object_list found = adSession_->search(
        LdapHelper::query(L"", LdapHelper::SCOPE_SUBTREE,
                          LdapHelper::conditions{{L"objectGUID", LdapHelper::escape_filter_bytes(
                                                                     GuidFromString(id))}}),
        {L"canonicalName"});
    if (found.empty()) {
        return false;
    }
    if (found.size() > 1) {
        KV_RAISE_ERROR_CODE(L"CLdapStorage::IsDomainSubtreeContainer", kInvalidFunction);
    }
    std::wstring container = FirstText(found.front()->get_attr(L"canonicalName"));
    std::wstring domain = domainCanonicalName_;
    for (std::wstring* name : {&container, &domain}) {
        if (name->empty() || name->back() != L'/') {
            *name += L'/';
        }
    }
    return container.compare(0, domain.size(), domain) == 0;
}

}  // namespace KvMigration
