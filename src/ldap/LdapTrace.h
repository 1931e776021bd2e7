#pragma once

// Trace lines and failure reports of the library go through the installed hooks only.

#include "ldap/LdapHooks.h"

namespace LdapHelper::detail {

// The file name every failure report of the library names.
inline constexpr const char* kSourceFile = "LdapHelper";
inline constexpr const char* kSourceFileCfg = "LdapHelperCfg";

ITraceHandler& trace_hook();

template <typename... Args>
void trace_line(bool error, const wchar_t* format, Args... args) {
    trace_hook().trace(error, format, args...);
}

template <typename... Args>
void trace_info(const wchar_t* format, Args... args) {
    trace_hook().trace(false, format, args...);
}

template <typename... Args>
void trace_error(const wchar_t* format, Args... args) {
    trace_hook().trace(true, format, args...);
}

}  // namespace LdapHelper::detail
