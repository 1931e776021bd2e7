#pragma once

#include <string>
#include <utility>
#include <vector>

namespace KvMigration {

// One directory entry as a restore file keeps it: its DN and the values of its attributes, each
// value as the directory's bytes.
struct RestoreEntry {
    std::wstring dn;
    std::vector<std::pair<std::wstring, std::vector<std::string>>> attributes;
};

// The entries as LDIF that `ldapadd` accepts: parents before their children, every value that
// LDIF cannot carry as it is (binary bodies, leading blanks or colons, line breaks, non-ASCII
// text) in Base64. `comment` becomes the "#" lines at the top.
std::string FormatRestoreLdif(std::vector<RestoreEntry> entries, const std::wstring& comment);

// The folder restore files go to: the trace log's folder (else $TMPDIR, else /tmp).
std::string RestoreFolder();

// Creates "<folder>/KvICheckModel-<platform>-<YYYYMMDD-HHMMSS>-<pid>.ldif" with the text and
// returns its path. The folder is shared by every user (mode 1777), so the file is made anew
// with mode 0600, never through a link and never over an existing file: nobody else can put
// entries into what an administrator will later feed to ldapadd. A failure raises the error
// object naming the file and the system's reason.
std::wstring WriteRestoreFile(const std::string& folder, const std::wstring& platformName,
                              const std::string& ldif);

}  // namespace KvMigration
