#include "diagnostics/ClientException.h"

#include <cstdarg>

#include "base/KvError.h"
#include "base/Trace.h"
#include "ldap/LdapClient.h"
#include "platform/CodePage.h"

namespace KvBase {

void CClientException::handle(uint32_t code, const std::string& message, const char* file,
                              int32_t line) {
    CKvError error(LdapHelper::LdapMapErrorToWin32(code), Platform::AnsiToWide(file ? file : ""),
                   line, L"LDAP");
    error.SetEntry(L"LDAP", Platform::AnsiToWide(message));
    throw error;
}

void CTraceHandler::trace(bool error, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    GetTrace().TraceV(error ? TraceError : TraceInfo, format, args);
    va_end(args);
}

}  // namespace KvBase
