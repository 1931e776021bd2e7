#include "storage/LdapSchema.h"

#include "base/KvError.h"
#include "base/Trace.h"

namespace KvMigration {
namespace {

AttributePtr Attr(AttributeType type, const wchar_t* name) {
    return std::make_shared<CAttribute>(type, name);
}

void Append(CObjectSchema& schema, AttributeType type, const wchar_t* name) {
    schema.attributes.push_back(Attr(type, name));
}

void RenameInList(CObjectSchema& schema, const std::wstring& from, const wchar_t* to) {
    if (AttributePtr attribute = CLdapSchema::FindAttribute(schema, from)) {
        attribute->Rename(to);
    }
}

}  // namespace

CLdapSchema::CLdapSchema(SchemaVersion version, StorageKind storage, SchemaUse use)
    : version_(SchemaVersionBase),
      isLds_(storage == StorageKind::Lds),
      isSource_(use == SchemaUse::Source) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapSchema::CLdapSchema] ");
    BuildBase();
    ApplyVersion(version);
}

ObjectSchemaPtr CLdapSchema::GetObjectSchema(ObjectKind kind) const {
    auto found = objects_.find(kind);
    if (found == objects_.end()) {
        KV_RAISE_ERROR_CODE(L"CLdapSchema::GetObjectSchema", 87);
    }
    return found->second;
}

AttributePtr CLdapSchema::FindAttribute(const CObjectSchema& schema, const std::wstring& name) {
    for (const AttributePtr& attribute : schema.attributes) {
        if (attribute->Name() == name) {
            return attribute;
        }
    }
    return nullptr;
}

void CLdapSchema::BuildBase() {
    using T = AttributeType;
    const wchar_t* configuration = L"CN=Korvant 5.0 Configuration,";

    auto server = std::make_shared<CObjectSchema>();
    server->kind = KindServer;
    server->rdnPrefix = L"CN=";
    server->containerDn = std::wstring(L"CN=Operational Management Servers,") + configuration;
    server->objectClass = L"orvexKVOMS";
    server->keyAttribute = Attr(T::Sid, L"orvexKVOMSSID");
    server->parentAttribute = Attr(T::Sid, L"orvexKVOMSParentSID");
    Append(*server, T::Binary, L"orvexKVOMSSecurityDescriptor");
    Append(*server, T::String, L"orvexKVOMSArchiveJournalSchedule");
    Append(*server, T::Binary, L"orvexKVOMSHttpTransportSettings");
    Append(*server, T::String, L"orvexKVOMSMailSettings");
    Append(*server, T::String, L"orvexKVOMSShedule");
    Append(*server, T::MultiString, L"orvexKVPolicyLink");
    if (isSource_) {
        server->attributes.push_back(server->parentAttribute);
        Append(*server, T::Integer, L"orvexKVProductVersionMajor");
        Append(*server, T::Integer, L"orvexKVProductVersionMinor");
    } else {
        Append(*server, T::String, L"orvexKVOMSUAFilter");
    }

    auto policy = std::make_shared<CObjectSchema>();
    policy->kind = KindPolicy;
    policy->rdnPrefix = L"CN=";
    policy->containerDn = std::wstring(L"CN=Policies,") + configuration;
    policy->objectClass = L"orvexKVPolicyObject";
    policy->keyAttribute = Attr(T::Guid, L"objectGUID");
    Append(*policy, T::Integer, L"orvexKVPolicyVersion");
    Append(*policy, T::Integer, L"orvexKVPolicyRevision");
    Append(*policy, T::String, L"orvexKVPolicyType");
    Append(*policy, T::String, L"orvexKVPolicyBase");
    Append(*policy, T::String, L"orvexKVPolicyDevices");

    auto container = std::make_shared<CObjectSchema>();
    container->kind = KindContainer;
    container->rdnPrefix = L"OU=";
    container->containerDn = L"CN=Organizational Units,";
    container->objectClass = L"organizationalUnit";
    container->keyAttribute = Attr(T::Guid, isLds_ ? L"orvexKVObjectGuid" : L"objectGUID");
    Append(*container, T::MultiString, L"orvexKVPolicyLink");

    auto service = std::make_shared<CObjectSchema>();
    service->kind = KindService;
    service->rdnPrefix = L"CN=";
    service->containerDn = L"CN=Computers,";
    service->objectClass = L"computer";
    service->keyAttribute = Attr(T::Sid, isLds_ ? L"orvexKVObjectSid" : L"objectSid");
    service->parentAttribute = Attr(T::Sid, L"orvexKVComputerOMSSID");
    Append(*service, T::Integer, L"orvexKvComputerCriticalityLevel");
    Append(*service, T::Binary, L"orvexKVComputerHttpTransportSettings");
    Append(*service, T::String, L"orvexKVComputerShedule");
    Append(*service, T::String, L"orvexKVComputerRegWSDepartement");
    Append(*service, T::String, L"orvexKVComputerRegWSLocation");
    Append(*service, T::String, L"orvexKVComputerRegWSNumber");
    Append(*service, T::String, L"orvexKVComputerRegWSSystem");
    Append(*service, T::Binary, L"orvexKVComputerQuillKeyInfoImit");
    Append(*service, T::String, L"orvexKVComputerQuillPlantNumber");
    Append(*service, T::Binary, L"orvexKVComputerQuillPublicKey");
    Append(*service, T::Binary, L"orvexKVComputerQuillSyncData");
    Append(*service, T::Binary, L"orvexKVComputerQuillVK");
    if (isSource_) {
        service->attributes.push_back(service->parentAttribute);
        Append(*service, T::Integer, L"orvexKVProductVersionMajor");
        Append(*service, T::Integer, L"orvexKVProductVersionMinor");
    }

    objects_ = {{KindPolicy, policy},
                {KindServer, server},
                {KindService, service},
                {KindContainer, container}};
    version_ = SchemaVersionBase;
}

void CLdapSchema::ApplyVersion(SchemaVersion version) {
    if (version == SchemaVersion717) {
        StepA();
    } else if (version == SchemaVersion718) {
        StepA();
        StepB();
    } else if (version == SchemaVersion819) {
        StepA();
        StepB();
        version_ = SchemaVersion819;
    }
}

void CLdapSchema::StepA() {
    using T = AttributeType;
    CObjectSchema& server = *objects_.at(KindServer);
    CObjectSchema& service = *objects_.at(KindService);
    CObjectSchema& policy = *objects_.at(KindPolicy);

    Append(server, T::Integer, L"orvexKVProductBuild");
    Append(service, T::Integer, L"orvexKvComputerCriticalityLevel");
    RenameInList(service, L"orvexKVComputerHttpTransportSettings",
                 L"orvexKVOMSHttpTransportSettings");
    RenameInList(service, L"orvexKVComputerShedule", L"orvexKVOMSShedule");
    service.keyAttribute->Rename(L"orvexKVObjectSid");
    service.parentAttribute->Rename(L"orvexKVOMSParentSID");
    policy.keyAttribute->Rename(L"orvexKVObjectGuid");
    version_ = SchemaVersion717;
}

void CLdapSchema::StepB() {
    using T = AttributeType;
    CObjectSchema& server = *objects_.at(KindServer);
    CObjectSchema& service = *objects_.at(KindService);

    Append(service, T::String, L"orvexKVComputerType");
    Append(service, T::String, L"orvexKVComputerResponsibleEmployee");
    Append(service, T::String, L"orvexKVComputerNetworkAddress");
    Append(service, T::String, L"orvexKVComputerOperatingSystem");
    Append(service, T::String, L"orvexKVComputerDBMS");
    Append(server, T::String, L"orvexKVOMSUAFilter");
    version_ = SchemaVersion718;
}

}  // namespace KvMigration
