#include "diagnostics/Diagnostics.h"

#include "ldap/LdapHooks.h"

namespace KvBase {

Diagnostics::Diagnostics() {
    // The library keeps plain pointers to its hooks until the process ends; they are never freed.
    LdapHelper::set_exception_handler(new CClientException);
    LdapHelper::set_trace_handler(new CTraceHandler);
}

Diagnostics::~Diagnostics() = default;

std::unique_ptr<Diagnostics> InstallDiagnostics() {
    return std::make_unique<Diagnostics>();
}

}  // namespace KvBase
