#pragma once

#include <string>

namespace KvMigration {

// Translates identifiers of the source storage into those of the target storage.
class IObjectMapper {
public:
    // The target SID of a service; the identifier unchanged when the file does not map it; empty
    // when the service cannot be placed in the target.
    virtual std::wstring MapServiceSid(const std::wstring& oldId) = 0;
    // The DNS host name the file gives the service in the target; empty when it gives none.
    virtual std::wstring GetNewName(const std::wstring& oldId) const = 0;
    virtual std::wstring GetServerSid() const = 0;
    virtual std::wstring GetSecurityDomainId() const = 0;
    virtual ~IObjectMapper() = default;
};

}  // namespace KvMigration
