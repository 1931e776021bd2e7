#include "icheck/ICheckReport.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "diagnostics/ReportError.h"
#include "helper/ConsoleOutput.h"
#include "platform/Process.h"

namespace KvMigration {

std::wstring JoinMessage(std::initializer_list<std::wstring> pieces) {
    std::wstring line;
    for (const std::wstring& piece : pieces) {
        if (&piece != pieces.begin()) {
            line += L' ';
        }
        line += piece;
    }
    return line;
}

void PrintJoined(std::initializer_list<std::wstring> pieces) {
    PrintMessage(JoinMessage(pieces));
}

void ReportICheckError(const KvBase::IKvErrorW& error) {
    // The description names what failed; the dump adds where, which the trace keeps as well.
    KvBase::GetTrace().Trace(KvBase::TraceError, L"%ls", error.Description().c_str());
    KvBase::GetTrace().Trace(KvBase::TraceError, L"%ls", KvBase::TraceableDump(error).c_str());
    KvBase::ReportError(error);
    Platform::SetLastError(static_cast<int>(error.Code()));
}

}  // namespace KvMigration
