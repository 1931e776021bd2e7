#include "ldap/LdapHooks.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "ldap/LdapTrace.h"

namespace LdapHelper {
namespace {

CExceptionHandler g_defaultException;
CTraceHandler g_defaultTrace;
IExceptionHandler* g_exceptionHook = &g_defaultException;
ITraceHandler* g_traceHook = &g_defaultTrace;

std::string SiteText(const char* prefix, const char* file, int32_t line) {
    return std::string(prefix) + " File: " + (file ? file : "") + ", Line: " + std::to_string(line);
}

}  // namespace

access_denied_exception::access_denied_exception(const char* file, int32_t line)
    : message_(SiteText("Access denied!", file, line)) {}

size_limit_exception::size_limit_exception(const char* file, int32_t line)
    : message_(SiteText("Size Limit Exeeded!", file, line)) {}

void CExceptionHandler::handle(uint32_t code, const std::string& message, const char* file,
                               int32_t line) {
    if (code == 50) {
        throw access_denied_exception(file, line);
    }
    if (code == 49) {
        throw invalid_credentials_exception(file, line);
    }
    throw CExceptionHandler(message + ", Code: " + std::to_string(code) +
                            ", File: " + (file ? file : "") + ", Line: " + std::to_string(line));
}

void CTraceHandler::trace(bool /*error*/, const wchar_t* format, ...) {
    // The line would go to a debugger; there is none to receive it on this platform. The length
    // check stays so that the hook formats exactly what the debugger output would have taken.
    wchar_t buffer[2048];
    va_list args;
    va_start(args, format);
    int length = std::vswprintf(buffer, 2048, format, args);
    va_end(args);
    if (length < 0 || length >= 2048) {
        return;
    }
    wchar_t wrapped[2048 + 32];
    std::swprintf(wrapped, sizeof(wrapped) / sizeof(wrapped[0]), L"[LdapHelper] %ls\r\n", buffer);
}

void set_exception_handler(IExceptionHandler* handler) {
    g_exceptionHook = handler ? handler : &g_defaultException;
}

void set_trace_handler(ITraceHandler* handler) {
    g_traceHook = handler ? handler : &g_defaultTrace;
}

void report_failure(uint32_t code, const std::string& message, const char* file, int32_t line) {
    g_exceptionHook->handle(code, message, file, line);
    g_defaultException.handle(code, message, file, line);
    // The default hook always throws; this keeps the promise of never returning.
    throw CExceptionHandler(message);
}

namespace detail {

ITraceHandler& trace_hook() {
    return *g_traceHook;
}

}  // namespace detail
}  // namespace LdapHelper
