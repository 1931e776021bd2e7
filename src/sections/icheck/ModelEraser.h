#pragma once

#include <cstddef>
#include <string>

#include "helper/MigrationJournal.h"
#include "icheck/BodyReader.h"
#include "icheck/ICheckModel.h"
#include "ldap/LdapHelper.h"

namespace KvMigration {

// Erases the target's model of one platform before the file's model is written, keeping what
// the target's default group lists as its clients (the trace names this step DeleteICModel).
// Every object about to be deleted, with everything below it, is first saved to a restore file
// in the trace folder, whose path is printed: a failure part-way through the import, or a file
// whose section holds only a part of a model, must not cost the administrator the previous model.
// The journal learns of every object deleted, and of the one whose deletion failed.
class ModelEraser {
public:
    ModelEraser(LdapHelper::session& session, const ICheckPlatform& platform, std::wstring baseDn,
                std::string restoreFolder, MigrationJournal& journal);

    // Returns the clients list of the target's default group: four zero bytes (no clients) when
    // there is none. Raises the first failure; when the restore file cannot be written, nothing
    // is deleted.
    Body Erase();

    // Objects deleted so far (for a caller that must know whether anything was erased).
    size_t Deleted() const { return deleted_; }
    // Whether the failure Erase raised was a deletion, which the journal already holds.
    bool FailureRecorded() const { return failureRecorded_; }
    // The restore file written, or empty when there was nothing to save.
    const std::wstring& RestoreFilePath() const { return restoreFile_; }

private:
    void SaveRestoreFile(const LdapHelper::object_list& objects);
    void TakeClientsList(const LdapHelper::object& object, Body& clients) const;

    LdapHelper::session& session_;
    const ICheckPlatform& platform_;
    std::wstring baseDn_;
    std::string restoreFolder_;
    MigrationJournal& journal_;
    size_t deleted_ = 0;
    bool failureRecorded_ = false;
    std::wstring restoreFile_;
};

}  // namespace KvMigration
