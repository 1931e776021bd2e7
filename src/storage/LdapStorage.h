#pragma once

#include <memory>
#include <string>
#include <vector>

#include "helper/MigrationContext.h"
#include "ldap/LdapHelper.h"
#include "storage/LdapSchema.h"
#include "storage/ObjectValues.h"
#include "storage/StorageObject.h"

namespace KvMigration {

// Identifiers asked for in one Active Directory search when many objects are completed.
inline constexpr size_t AdLookupChunk = 500;

// What GetLdapObjects does with a product object that has no Active Directory counterpart.
enum class NotFoundMode {
    Raise = 0,   // raise "Object %s not found in Active Directory"
    Warn = 1,    // skip it with a yellow console warning
    Silent = 2,  // skip it
};

// The product storage seen through the open directory connections. Construction discovers the
// schema version and, for AD LDS, the security domain and its Active Directory domain.
class CLdapStorage {
public:
    // An empty server SID means the local computer account's SID.
    CLdapStorage(const StorageSession& session, const std::wstring& serverSid);

    bool IsLds() const { return isLds_; }
    SchemaVersion GetSchemaVersion() const { return schemaVersion_; }
    SchemaVersion GetProductVersion() const { return productVersion_; }
    const std::wstring& ServerSid() const { return serverSid_; }
    const std::wstring& SecurityDomainDn() const { return securityDomainDn_; }
    const std::wstring& SecurityDomainId() const { return securityDomainId_; }
    const std::wstring& DomainGuid() const { return domainGuid_; }
    const std::wstring& DomainCanonicalName() const { return domainCanonicalName_; }

    // The session that holds product objects: the global catalogue of an LDS storage at 7.16,
    // its security domain later on, the Active Directory session otherwise.
    const LdapHelper::session_ptr& GetObjectSession() const;
    // The security-domain DN; empty (the session's default root) for Active Directory.
    const std::wstring& ObjectSearchRoot() const { return securityDomainDn_; }
    // The DN an object of the kind gets under the security domain. The identifier becomes the
    // relative name, so it must be a well-formed SID or GUID text of the kind's key; anything
    // else (a hand-edited file, "x,CN=Servers") raises before a DN is made of it.
    std::wstring MakeObjectDn(const CObjectSchema& schema, const std::wstring& name) const;
    // The DN of the one existing entry of the kind with the identifier; "Object %s not found"
    // when there is none or several.
    std::wstring RealObjectDn(const CObjectSchema& schema, const std::wstring& id) const;

    // Empty when the storage has no such object; raises when its Active Directory object is
    // missing.
    LdapObjectPtr GetLdapObject(const CObjectSchema& schema, const std::wstring& id) const;
    std::vector<CLdapObject> GetLdapObjects(const CObjectSchema& schema,
                                            NotFoundMode mode = NotFoundMode::Warn) const;
    // Organisational units (and the domain) carrying policy links, by identifier.
    ObjectDataMap GetContainers() const;
    ObjectDataMap GetLdsContainers() const;
    ObjectDataMap GetAdContainers() const;

    // Writes, used only on import into an AD LDS storage. An object lives twice: in the
    // security-domain partition and, with "-GC" appended to its DN, in the global catalogue.
    // Updates an existing server or service in both copies (a container in the first only),
    // leaving the protected attributes out of the global-catalogue copy and the mark
    // "objectMigrated" in the first copy's description. Nothing is committed when every value is
    // a policy link: links are written by SetPolicyLink only.
    void SetObject(const CObjectValues& values);
    // Creates the object in the security-domain partition (code 87 when it exists there) and,
    // with `alsoGlobalCatalogue`, creates or updates its copy in the global catalogue.
    void CreateObject(const CObjectValues& values, bool alsoGlobalCatalogue);
    // Deletes the policy with its subtree where it exists; a missing policy is no error.
    void DeletePolicy(const CObjectSchema& schema, const std::wstring& id,
                      bool alsoGlobalCatalogue);
    // Replaces the policy links of a container, server or domain and marks it "policyMigrated".
    // A server's global-catalogue copy gets the same links (without the mark), so that it never
    // keeps links to policies the import deleted.
    void SetPolicyLink(const CObjectSchema& schema, const std::wstring& id,
                       const std::vector<std::wstring>& links);
    // Whether the organisational unit lies inside the Active Directory domain of the security
    // domain; false when Active Directory does not know it.
    bool IsDomainSubtreeContainer(const std::wstring& id) const;

private:
    void FindOutSchemaVersion();
    void FindOutDomainInfo();
    // The attributes a read of the kind asks for: the list, the key, and `description`.
    static LdapHelper::attr_list ObjectAttributes(const CObjectSchema& schema);
    // Reads the Active Directory object of `object` into its name and canonical name; false
    // when it is not found exactly once.
    bool CompleteFromAd(ObjectKind kind, CLdapObject& object) const;
    // The Active Directory objects of many product objects, asked for in chunks: for each
    // identifier, the entries whose objectSid (servers, services) or objectGUID matches it.
    std::vector<LdapHelper::object_list> FindAdObjects(ObjectKind kind,
                                                       const std::vector<std::wstring>& ids) const;
    static void TakeAdNames(ObjectKind kind, const LdapHelper::object& adObject,
                            CLdapObject& object);
    CLdapObject MakeLdapObject(const CObjectSchema& schema,
                               const LdapHelper::object_ptr& entry) const;
    // Stages the values on one copy of an object and commits them; false when nothing was set.
    bool WriteAttributes(const CObjectValues& values, LdapHelper::object& entry,
                         bool primary) const;
    const LdapHelper::session_ptr& SecurityDomainSession() const;
    const LdapHelper::session_ptr& GlobalCatalogueSession() const;

    LdapHelper::session_ptr adSession_;
    bool isLds_ = false;
    LdapHelper::session_ptr ldsSession_;
    LdapHelper::session_ptr ldsGcSession_;
    SchemaVersion schemaVersion_;
    SchemaVersion productVersion_;
    std::wstring serverSid_;
    std::wstring securityDomainDn_;
    std::wstring securityDomainId_;
    std::wstring domainGuid_;
    std::wstring domainCanonicalName_;
};
using LdapStoragePtr = std::shared_ptr<CLdapStorage>;

// The part of a self-server DN that names the security domain, and the identifier in its braces.
// Rejects a DN without "CN=Korvant 5.0 Configuration," or a security domain without braces with
// an error object instead of reading past the text.
struct SecurityDomainName {
    std::wstring dn;
    std::wstring id;
};
SecurityDomainName SecurityDomainFromServerDn(const std::wstring& serverDn, bool keepGcSuffix);

}  // namespace KvMigration
