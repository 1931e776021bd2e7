#pragma once

// The fake AD LDS storage the storage tests share: a security domain {5A5A} of the Active
// Directory domain corp.local, with the management server kServer.

#include <functional>
#include <memory>
#include <string>

#include "base/KvError.h"
#include "helper/Identifiers.h"
#include "helper/MigrationContext.h"
#include "helper/SchemaVersion.h"
#include "storage/LdapSchema.h"
#include "storage/ObjectFilter.h"
#include "support/FakeDirectory.h"

namespace KvStorageTest {

using KvMigration::SchemaVersion;
using KvTest::Entry;
using KvTest::FakeSession;
using LdapHelper::attr_value;

inline const std::wstring kServer = L"S-1-5-21-1-2-3-1000";
inline const std::wstring kDomainGuid = L"079aa557-4a18-424a-8eee-e39f0a8d41b9";
inline const std::wstring kGcServerDn =
    L"CN=srv1,CN=Operational Management Servers,CN=Korvant 5.0 Configuration,CN={5A5A},"
    L"DC=Korvant-GC";
inline const std::wstring kSchemaDn =
    L"CN=ADSchema,CN=Korvant 5.0 Configuration,CN=Services,CN=Configuration,DC=korvant";
inline const std::wstring kServerFilter =
    L"(&(objectClass=orvexKVOMS)(orvexKVOMSSID=" + kServer + L"))";
inline const std::wstring kAnyObject = L"(objectClass=*)";

inline attr_value Sid(const std::wstring& text) {
    return attr_value(KvMigration::StringToSid(text));
}

inline attr_value Guid(const std::wstring& text) {
    return attr_value(KvMigration::GuidFromString(text));
}

inline std::wstring GuidFilter(const std::wstring& guid) {
    return L"(objectGUID=" + LdapHelper::escape_filter_bytes(KvMigration::GuidFromString(guid)) +
           L")";
}

// The description of the error object `action` ends with; "no error" when it succeeds.
inline std::wstring ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const KvBase::CKvError& e) {
        return e.Description();
    }
    return L"no error";
}

// The code of the error object `action` ends with; 0 when it succeeds.
inline uint32_t ErrorCode(const std::function<void()>& action) {
    try {
        action();
    } catch (const KvBase::CKvError& e) {
        return e.Code();
    }
    return 0;
}

// An AD LDS storage at the given schema version whose security domain belongs to the domain
// kDomainGuid of Active Directory.
struct LdsStorageFixture {
    std::shared_ptr<FakeSession> ad = std::make_shared<FakeSession>();
    std::shared_ptr<FakeSession> sd = std::make_shared<FakeSession>();
    std::shared_ptr<FakeSession> gc = std::make_shared<FakeSession>();

    explicit LdsStorageFixture(SchemaVersion version) {
        sd->Answer(L"*", kAnyObject,
                   {Entry(L"", {{L"configurationNamingContext",
                                 attr_value(L"CN=Configuration,DC=korvant")}})});
        sd->Answer(
            kSchemaDn, kAnyObject,
            {Entry(kSchemaDn, {{L"orvexKVADSchemaVersion", attr_value(version.major)},
                               {L"orvexKVADSchemaVersionExtended", attr_value(version.minor)}})});
        gc->Answer(L"DC=Korvant-GC", kServerFilter,
                   {Entry(kGcServerDn, {{L"orvexKVProductVersionMajor", attr_value(5)},
                                        {L"orvexKVProductVersionMinor", attr_value(3)}})});
        gc->Answer(
            L"DC=Korvant-GC", L"(name={5A5A})",
            {Entry(L"CN={5A5A},DC=Korvant-GC", {{L"orvexKVObjectGuid", Guid(kDomainGuid)}})});
        ad->Answer(L"", GuidFilter(kDomainGuid),
                   {Entry(L"DC=corp,DC=local", {{L"canonicalName", attr_value(L"corp.local/")}})});
    }

    KvMigration::StorageSession Session() const { return {ad, true, sd, gc}; }
    // The security-domain DN of a storage after 7.16.
    static std::wstring Root() { return L"CN={5A5A},DC=Korvant"; }

    // An object of the kind that the storage finds by its identifier (the object filter's
    // search answers with `dn`) and whose entry exists in the security-domain partition and,
    // with `inGlobalCatalogue`, in the global catalogue.
    void PutObject(const KvMigration::CObjectSchema& schema, const std::wstring& id,
                   const std::wstring& dn, std::map<std::wstring, attr_value> values = {},
                   bool inGlobalCatalogue = true) {
        sd->Answer(Root(), KvMigration::ObjectFilter(schema, id, kServer), {Entry(dn, values)});
        sd->Put(dn, values);
        if (inGlobalCatalogue) {
            gc->Put(dn + L"-GC", values);
        }
    }
};

}  // namespace KvStorageTest
