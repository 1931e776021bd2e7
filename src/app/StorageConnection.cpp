#include "app/StorageConnection.h"

#include "app/StorageClients.h"
#include "ldap/LdapSession.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "helper/Identifiers.h"
#include "storage/LdapStorage.h"

#include <exception>

namespace KvMigration {
namespace {

constexpr int32_t kNoTimeout = -1;

LdapHelper::session_ptr Open(const LdapHelper::server_cfg& cfg, const InputParameters& parameters,
                             const StorageClients& clients) {
    const bool withUser = !parameters.userName.empty();
    return LdapHelper::open_session(clients.Make(), cfg, parameters.useSsl,
                                    withUser ? parameters.userName.c_str() : nullptr,
                                    withUser ? parameters.password.c_str() : nullptr, kNoTimeout);
}

LdapHelper::server_cfg LdsConfig(const std::wstring& host, int32_t port, int32_t defaultPort,
                                 int32_t defaultSslPort) {
    LdapHelper::server_cfg cfg;
    cfg.host = host;
    cfg.port = port != 0 ? port : defaultPort;
    cfg.ssl_port = port != 0 ? port : defaultSslPort;
    return cfg;
}

// What an administrator can do when no domain controller was found: the record DNS was asked for
// has no usable answer, or this computer has no DNS domain at all.
std::wstring DiscoveryHint() {
    std::wstring record = LdapHelper::dc_locator_record(nullptr);
    if (record.empty()) {
        return L"This computer has no DNS domain (\"domain\" or \"search\" in /etc/resolv.conf) in "
               L"which to look for a domain controller; name one with -dc.";
    }
    return L"No domain controller was found through the DNS SRV record \"" + record +
           L"\"; name one with -dc.";
}

// The domain-controller connection has a guard of its own so that its failure is told apart from
// a failure of the storage itself.
LdapHelper::session_ptr OpenDomainController(const InputParameters& parameters,
                                             const StorageClients& clients) {
    bool discovering = false;
    try {
        LdapHelper::server_cfg cfg;
        if (!parameters.dcName.empty()) {
            cfg.host = parameters.dcName;
        } else {
            discovering = true;
            cfg = LdapHelper::get_ADDC_server(nullptr, false);
            discovering = false;
        }
        cfg.port = 389;
        cfg.ssl_port = 636;
        return Open(cfg, parameters, clients);
    } catch (const std::exception& e) {
        PrintFatalException("An exception occurred while connecting to domain controller: %s", e);
    } catch (const KvBase::CKvError& e) {
        if (discovering) {
            PrintFatalError(e, {DiscoveryHint()});
        }
        PrintFatalError(e);
    } catch (...) {  // Every other failure of the connection ends the run like the entry's guards.
        PrintFatalError(
            std::wstring_view(L"An unhandled exception occurred while connecting to domain "
                              L"controller."));
    }
}

}  // namespace

StorageSession GetStorageSession(const InputParameters& parameters, const StorageClients& clients) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[GetStorageSession] ");
    StorageSession session;
    session.adSession = OpenDomainController(parameters, clients);
    session.isLds = parameters.isLds;
    if (parameters.isLds) {
        const std::wstring host =
            parameters.serverName.empty() ? GetComputerNameW() : parameters.serverName;
        LdapHelper::server_cfg ldsCfg = LdsConfig(host, parameters.ldsPort, 50000, 50001);
        std::wstring domainSdDn;
        if (!parameters.isExport) {
            domainSdDn = GetDomainSdDn(Open(ldsCfg, parameters, clients));
        }
        // The import writes the integrity-check model below the security domain, whose DN it
        // takes from the security-domain session as from the global-catalogue one.
        ldsCfg.context_dn = domainSdDn;
        session.ldsSession = Open(ldsCfg, parameters, clients);
        LdapHelper::server_cfg gcCfg = LdsConfig(host, parameters.ldsGcPort, 50002, 50003);
        gcCfg.context_dn = domainSdDn;
        session.ldsGcSession = Open(gcCfg, parameters, clients);
    }
    PrintMessage(L"Connection to the storage was successfully established.");
    return session;
}

std::wstring GetDomainSdDn(const LdapHelper::session_ptr& session) {
    LdapHelper::object_list domains = session->search(
        LdapHelper::query(
            L"DC=Korvant", LdapHelper::SCOPE_ONELEVEL,
            LdapHelper::conditions{{L"objectClass", LdapHelper::filter_value(L"domainDNS", true)}}),
        {});
    if (domains.size() != 1) {
        KV_RAISE_ERROR(L"GetDomainSdDn", L"Not found security domain");
    }
    return domains.front()->dn();
}

void CheckSchemaVersion(const InputParameters& parameters, const StorageSession& session) {
    CLdapStorage storage(session, parameters.omsId);
    const SchemaVersion version = storage.GetSchemaVersion();
    if (parameters.isExport) {
        if (version != SchemaVersionBase) {
            KV_RAISE_ERROR(L"CheckSchemaVersion",
                           FormatString(L"Current server version (%d.%d) is invalid for export.",
                                        version.major, version.minor));
        }
    } else if (version < SchemaVersion718) {
        KV_RAISE_ERROR(L"CheckSchemaVersion", L"The minimum server version for import is 8.2.");
    }
}

}  // namespace KvMigration
