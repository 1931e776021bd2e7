#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Platform {

// Ends the process; a status of -1 arrives at the parent as 255.
[[noreturn]] void ExitProcess(int status);

// The local computer's name as Windows reports a NetBIOS name: the first label of the host
// name, upper case. Empty with errno set when the host name cannot be read.
std::optional<std::wstring> LocalComputerName();

uint32_t CurrentProcessId();
uint32_t CurrentThreadId();

// The Windows error code that stands for a system error number, so that a failure reads as the
// product's other failures do ("There is not enough space on the disk."); 0x80004005 for a number
// without a counterpart.
uint32_t ErrnoToWin32(int error);

// The thread's "last error" of the Windows facilities is errno here.
int LastError();
void SetLastError(int code);

// Overwrites the password part of a "-cr" value in the process's own argument memory, which
// `ps` and /proc/<pid>/cmdline show for the whole run: everything after the first ":" (or the
// whole value, which then is the password too) becomes "x".
void HidePasswordArgument(char* value);

// Full path of the running program.
std::string ProgramPath();

}  // namespace Platform
