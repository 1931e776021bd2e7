#pragma once

// The application's hooks into the directory library: failures become the error object, trace
// lines go to the trace log.

#include "ldap/LdapHooks.h"

namespace KvBase {

class CClientException final : public LdapHelper::IExceptionHandler {
public:
    // Throws the error object of the mapped code with the function "LDAP" and the entry "LDAP".
    [[noreturn]] void handle(uint32_t code, const std::string& message, const char* file,
                             int32_t line) override;
};

class CTraceHandler final : public LdapHelper::ITraceHandler {
public:
    // Error lines at level 4, information lines at level 2.
    void trace(bool error, const wchar_t* format, ...) override;
};

}  // namespace KvBase
