#pragma once

// The undo file of one directory instance. While the import runs, each reversal is appended to
// "<name>.ldif.part" and on disk before the change it reverses is sent; when the run ends the
// records are written to "<name>.ldif" last first, the order in which applying them restores
// the earlier state, and the ".part" is removed. A run that dies on the way leaves the ".part",
// whose first comment says its records must be applied last first.

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace KvMigration {

class UndoFile {
public:
    // Creates "<path>.part" (mode 0600, never over an existing file); `server` is the URL the
    // records apply to ("ldap://host:port"). Raises when the file cannot be made.
    UndoFile(std::string path, std::string server);
    ~UndoFile();
    UndoFile(const UndoFile&) = delete;
    UndoFile& operator=(const UndoFile&) = delete;

    // Appends one reversal (complete LDIF records, applied in their own order) and flushes it to
    // the disk; returns its number for Withdraw. Raises when it cannot be written whole.
    size_t Append(std::string_view records);
    // The change was refused by the server: its reversal is left out of the final file.
    void Withdraw(size_t record);
    // Writes "<path>" with the records last first and removes the ".part"; only the first call
    // does anything, and Append refuses after it. Raises on a write error, leaving the ".part"
    // in place.
    void Finish();

private:
    struct Record {
        off_t offset;
        size_t size;
        bool withdrawn;
    };

    void WriteFinal();

    std::mutex lock_;
    std::string path_;
    std::string partPath_;
    std::string server_;
    int fd_ = -1;
    off_t end_ = 0;
    std::vector<Record> records_;
    bool finished_ = false;
};

}  // namespace KvMigration
