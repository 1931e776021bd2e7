#pragma once

#include <initializer_list>
#include <string>

namespace KvBase {
class IKvErrorW;
}

namespace KvMigration {

class MigrationJournal;

// The console lines of the client passes: the parts with a single blank between them, so that
// "Found ", 3, "person" and " objects..." read "Found  3 person  objects...".
std::wstring JoinParts(std::initializer_list<std::wstring> parts);
void PrintParts(std::initializer_list<std::wstring> parts);

// What the client passes do with an error before going on: its dump into the trace at level 4,
// the system-log report, and its code as the thread's last error.
void ReportClientError(const KvBase::IKvErrorW& error);

// The journal's failure of a part without an identifier of its own (the section "Client", a
// container): the part's name is its kind, identifier and name.
void RecordPartFailure(MigrationJournal& journal, const std::wstring& part,
                       const KvBase::IKvErrorW& error);

}  // namespace KvMigration
