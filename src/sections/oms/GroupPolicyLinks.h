#pragma once

#include <string>
#include <vector>

namespace KvMigration {

// The group-policy objects a container's gPLink value names, in order, without the links that
// are switched off (bit 0 of their options). Each link is "[LDAP://<DN>;<options>]".
std::vector<std::wstring> EnabledGroupPolicyLinks(const std::wstring& gpLink);

// The security template of a group-policy object on this machine: its gPCFileSysPath (a share,
// placed under `uncRoot`) and MACHINE/Microsoft/Windows NT/SecEdit/GptKorvant.inf. Empty when the
// path has no place here.
std::wstring GroupPolicyTemplatePath(const std::wstring& fileSysPath, const std::wstring& uncRoot);

}  // namespace KvMigration
