#pragma once

#include <optional>
#include <string>

namespace Platform {

// An absolute, lexically normal form of a path typed by the user (relative names are taken from
// the current folder). Nothing when the path cannot be qualified: empty, an embedded NUL, or a
// result longer than the 260-character buffer the program allows for it, or a name (or current
// folder) that is not valid UTF-8.
std::optional<std::wstring> QualifyPath(const std::wstring& path);

// File names are UTF-8 on disk.
// The folder part of a qualified path: everything before its last "/" ("/" for the root).
std::wstring FolderPart(const std::wstring& path);

// A path in the form a Windows server stores it, placed on this machine: "\\server\share\rest"
// becomes <uncRoot>/server/share/rest; the product's default log folder "C:\Logs\" becomes
// /var/log/korvant/; a path with "/" separators is taken as it is. Any other drive path has no
// place here: nothing.
std::optional<std::wstring> MapWindowsPath(const std::wstring& path, const std::wstring& uncRoot);

// Where the product's "C:\Logs\" lives on this machine.
inline constexpr const wchar_t* DefaultLogFolder = L"/var/log/korvant/";

// TMPDIR, then TMP, then /tmp.
std::string TempFolder();

}  // namespace Platform
