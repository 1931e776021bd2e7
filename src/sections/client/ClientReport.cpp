#include "sections/client/ClientReport.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "diagnostics/ReportError.h"
#include "helper/ConsoleOutput.h"
#include "helper/MigrationJournal.h"
#include "platform/Process.h"

namespace KvMigration {

std::wstring JoinParts(std::initializer_list<std::wstring> parts) {
    std::wstring line;
    for (const std::wstring& part : parts) {
        if (&part != parts.begin()) {
            line += L' ';
        }
        line += part;
    }
    return line;
}

void PrintParts(std::initializer_list<std::wstring> parts) {
    PrintMessage(JoinParts(parts));
}

void ReportClientError(const KvBase::IKvErrorW& error) {
    KvBase::GetTrace().Trace(KvBase::TraceError, L"%ls", KvBase::TraceableDump(error).c_str());
    KvBase::ReportError(error);
    Platform::SetLastError(static_cast<int>(error.Code()));
}

void RecordPartFailure(MigrationJournal& journal, const std::wstring& part,
                       const KvBase::IKvErrorW& error) {
    journal.RecordFailure(part, part, part, error);
}

}  // namespace KvMigration
