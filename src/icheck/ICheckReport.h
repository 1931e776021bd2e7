#pragma once

#include <initializer_list>
#include <string>

namespace KvBase {
class IKvErrorW;
}

namespace KvMigration {

// The console lines of the integrity-check passes: the pieces with one blank between them, each
// keeping its own blanks, so that "Starting export Icheck model for ", "x86" and " platform" read
// "Starting export Icheck model for  x86  platform".
std::wstring JoinMessage(std::initializer_list<std::wstring> pieces);
void PrintJoined(std::initializer_list<std::wstring> pieces);

// What the integrity-check passes do with an error before going on: its description into the
// trace at level 4, the system-log report, and its code as the thread's last error.
void ReportICheckError(const KvBase::IKvErrorW& error);

}  // namespace KvMigration
