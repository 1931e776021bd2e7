#pragma once

#include <string>

#include "app/InputParameters.h"
#include "app/StorageClients.h"
#include "helper/MigrationContext.h"
#include "ldap/LdapHelper.h"

namespace KvMigration {

// Opens every directory connection the pass needs. A failure to reach the domain controller
// ends the process with its own messages; failures of the AD LDS connections are raised.
// Every session's client is made by `clients`.
StorageSession GetStorageSession(const InputParameters& parameters,
                                 const StorageClients& clients = {});

// The DN of the one security domain under "DC=Korvant"; "Not found security domain" otherwise.
std::wstring GetDomainSdDn(const LdapHelper::session_ptr& session);

// Export reads only storages at schema 7.16; import writes only into storages from 7.18 on.
void CheckSchemaVersion(const InputParameters& parameters, const StorageSession& session);

}  // namespace KvMigration
