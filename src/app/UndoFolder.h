#pragma once

// The folder of an import's undo files ("-undo <folder>"): one file per directory instance the
// import writes to, named after the instance ("127.0.0.1_50000.ldif"), made at its first write.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/UndoFile.h"
#include "helper/MigrationJournal.h"

namespace KvMigration {

class UndoFolder {
public:
    // Creates the folder (mode 0700: the files hold directory data) when it is missing. Raises
    // when it is no folder or already holds undo files ("*.ldif", "*.ldif.part"), which an
    // import must never overwrite.
    explicit UndoFolder(std::string path);
    // Finishes what Finish did not (the fatal output ends the process through exit()); failures
    // go to standard error, since nothing can be raised any more.
    ~UndoFolder();
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

    const std::string& Path() const { return path_; }

    // The folder of the run that `journal` accounts for, opened at the first call. It is kept
    // until the process ends, so that a run ended by the fatal output (exit() unwinds nothing)
    // still gets its files in their final order.
    static std::shared_ptr<UndoFolder> Of(const MigrationJournalPtr& journal,
                                          const std::string& path);
    // Finishes the folder of that run, if it has one; raises as Finish does.
    static void FinishOf(const MigrationJournalPtr& journal);

private:
    std::string path_;
    mutable std::mutex lock_;
    std::map<std::string, std::shared_ptr<UndoFile>> files_;
    std::optional<std::wstring> failure_;
};

// "host_port.ldif" with every character of the host that is no letter, digit, '.' or '-' as '_'.
std::string UndoFileName(const std::string& host, int port);

}  // namespace KvMigration
