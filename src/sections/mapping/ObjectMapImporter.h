#pragma once

#include <map>
#include <string>
#include <vector>

#include "sections/interfaces/IObjectMapper.h"
#include "xml/Importer.h"

namespace KvMigration {

// Reads the Mapping section into a table old identifier -> new host name, and translates service
// identifiers by looking the host name up among the computers of the target's Active Directory.
class ImporterObjectMap : public IImporter, public IObjectMapper {
public:
    // Learns the target's management server and security domain from the storage.
    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    // Any element with both `oldId` and `newName` enters the table; a later one replaces an
    // earlier one with the same `oldId`.
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring&) override {}
    void EndNode(const std::wstring&) override {}
    void EndImport() override {}

    // A host that the target lacks is reported once in yellow (when the client section is
    // selected) and answered with "" from then on.
    std::wstring MapServiceSid(const std::wstring& oldId) override;
    // The hosts reported missing: their services were left out of the import.
    std::wstring MissingContent() const override;
    std::wstring GetNewName(const std::wstring& oldId) const override;
    std::wstring GetServerSid() const override { return serverSid_; }
    std::wstring GetSecurityDomainId() const override { return securityDomainId_; }

private:
    struct Target {
        std::wstring newName;
        bool resolvable = true;
    };

    MigrationContext context_;
    std::wstring serverSid_;
    std::wstring securityDomainId_;
    std::map<std::wstring, Target> table_;
    std::vector<std::wstring> missing_;
};

}  // namespace KvMigration
