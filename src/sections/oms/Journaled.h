#pragma once

#include "base/KvError.h"
#include "helper/MigrationJournal.h"
#include "helper/ObjectData.h"

namespace KvMigration {

// Runs one step of the section on a record; a failure is recorded as the record's, then raised
// on unchanged, so that the journal names the object a run ended at.
template <typename Step>
void Journaled(MigrationJournal& journal, const CObjectData& record, Step&& step) {
    try {
        step();
    } catch (const KvBase::CKvError& e) {
        journal.Record(ObjectElementName(record.kind), record.id.empty() ? record.name : record.id,
                       record.name, ObjectAction::Failed, e.Description(), e.Code());
        throw;
    }
}

}  // namespace KvMigration
