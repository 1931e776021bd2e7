#pragma once

#include <memory>
#include <string>
#include <vector>

#include "helper/MigrationJournal.h"
#include "icheck/ICheckModel.h"
#include "ldap/LdapHelper.h"
#include "xml/Exporter.h"

namespace KvMigration {

// Writes the ICheck section: one element per platform (x86, then x64) named by its object class,
// holding one "IcheckObject" per exported object of the platform's container, in the order the
// directory returns them.
//
// A platform whose objects cannot be read is reported (a yellow line naming it, the error in the
// trace and the system log) and left out of the file entirely, so that an import never takes a
// part of a model for the whole of it; the next platform and the other sections are still
// exported, and MissingContent() names what is missing so that the run does not end as a success.
//
// The journal learns of every object read: exported, or skipped with the reason the export rule
// leaves it out; and of every platform that failed.
class ICheckExporter : public IExporter {
public:
    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) override;
    std::wstring MissingContent() const override;

private:
    void ExportPlatform(ISaxWriter& writer, LdapHelper::session& session,
                        const ICheckPlatform& platform, MigrationJournal& journal);

    std::vector<std::wstring> failedPlatforms_;
};

}  // namespace KvMigration
