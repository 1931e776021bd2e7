#pragma once

#include <string>
#include <utility>

#include "base/KvError.h"
#include "helper/MigrationJournal.h"
#include "helper/ObjectData.h"
#include "helper/ObjectText.h"

namespace KvMigration {

// Runs one step on an object; a failure is recorded as the object's, then raised on unchanged, so
// that the journal names the object a run ended at. Without a journal the step just runs.
template <typename Step>
void Journaled(MigrationJournal* journal, ObjectKind kind, const std::wstring& id,
               const std::wstring& name, Step&& step) {
    try {
        std::forward<Step>(step)();
    } catch (const KvBase::CKvError& e) {
        if (journal != nullptr) {
            journal->RecordFailure(ObjectElementName(kind), id, name, e);
        }
        throw;
    }
}

// A record of the file or the directory is named by its identifier, or by its name without one.
template <typename Step>
void Journaled(MigrationJournal& journal, const CObjectData& record, Step&& step) {
    Journaled(&journal, record.kind, record.id.empty() ? record.name : record.id, record.name,
              std::forward<Step>(step));
}

}  // namespace KvMigration
