#pragma once

// The folder of an import's undo files ("-undo <folder>"): one file per directory instance the
// import writes to, named after the instance ("127.0.0.1_50000.ldif"), made at its first write.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/UndoFile.h"

namespace KvMigration {

class UndoFolder {
public:
    // Creates the folder (mode 0700: the files hold directory data) when it is missing. Raises
    // when it is no folder or already holds undo files ("*.ldif", "*.ldif.part"), which an
    // import must never overwrite.
    explicit UndoFolder(std::string path);
    UndoFolder(const UndoFolder&) = delete;
    UndoFolder& operator=(const UndoFolder&) = delete;

    // The undo file of the instance at host:port, made on the first call.
    std::shared_ptr<UndoFile> FileFor(const std::string& host, int port, bool ssl);

    // A reversal could not be saved: from here on no change may be sent, and the run must end
    // with `description` even where a section goes on after a failed object.
    void SetFailure(const std::wstring& description);
    // Raises the failure set above, if any.
    void CheckUsable() const;

    // Writes every file in its final order; raises the first failure, the one set above first.
    void Finish();

private:
    std::string path_;
    mutable std::mutex lock_;
    std::map<std::string, std::shared_ptr<UndoFile>> files_;
    std::optional<std::wstring> failure_;
};

// "host_port.ldif" with every character of the host that is no letter, digit, '.' or '-' as '_'.
std::string UndoFileName(const std::string& host, int port);

}  // namespace KvMigration
