#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "helper/ObjectText.h"
#include "helper/SchemaVersion.h"

namespace KvMigration {

// How a directory value is carried as text in the migration file.
enum class AttributeType : int32_t {
    Sid = 0,
    Guid = 1,
    String = 2,
    MultiString = 3,
    Binary = 4,
    Integer = 5,
    Boolean = 6,
};

// One attribute of an object kind. Holders share the object, so a rename made through one holder
// (the key or parent attribute) is seen by the attribute list as well.
class CAttribute {
public:
    CAttribute(AttributeType type, std::wstring name) : type_(type), name_(std::move(name)) {}

    AttributeType Type() const { return type_; }
    const std::wstring& Name() const { return name_; }
    void Rename(std::wstring name) { name_ = std::move(name); }

private:
    AttributeType type_;
    std::wstring name_;
};
using AttributePtr = std::shared_ptr<CAttribute>;

struct CObjectSchema {
    ObjectKind kind = KindPolicy;
    std::wstring rdnPrefix;
    std::wstring containerDn;  // relative to the security domain, ends with a comma
    std::wstring objectClass;
    AttributePtr keyAttribute;
    AttributePtr parentAttribute;  // may be empty
    std::vector<AttributePtr> attributes;
};
using ObjectSchemaPtr = std::shared_ptr<CObjectSchema>;

// Whether the storage is AD LDS (else Active Directory), and whether objects are read for export
// (source) or written on import.
enum class StorageKind { ActiveDirectory, Lds };
enum class SchemaUse { Target, Source };

// The product's catalogue of the four storage object kinds for one schema version.
class CLdapSchema {
public:
    CLdapSchema(SchemaVersion version, StorageKind storage, SchemaUse use);

    // The four storage kinds are always present; any other code raises code 87.
    ObjectSchemaPtr GetObjectSchema(ObjectKind kind) const;
    // The first attribute of the list named exactly `name`; key and parent attributes are found
    // only when they are in the list too.
    static AttributePtr FindAttribute(const CObjectSchema& schema, const std::wstring& name);

    // Applies the steps from the base to `version` onto what the schema holds now; an unknown
    // version changes nothing. Applying twice appends the added attributes twice.
    void ApplyVersion(SchemaVersion version);

    SchemaVersion Version() const { return version_; }
    bool IsLds() const { return isLds_; }
    bool IsSource() const { return isSource_; }

private:
    void BuildBase();
    void StepA();
    void StepB();

    SchemaVersion version_;
    bool isLds_;
    bool isSource_;
    std::map<ObjectKind, ObjectSchemaPtr> objects_;
};
using LdapSchemaPtr = std::shared_ptr<CLdapSchema>;

}  // namespace KvMigration
