#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/InputParameters.h"
#include "helper/MigrationJournal.h"

namespace KvMigration {

// The per-object report of "-report <file>": one JSON line per object the pass handles, written
// with one write(2) each as the object is recorded, so that whatever ends the run leaves every
// line before it; and a summary line last, with the counts of the lines before it per section,
// the run's exit status, the pass and whether it was a dry run.
//
// A write that fails part-way (a full disk) is said once in yellow and ends the report, not the
// migration: the report then has no summary line, which tells a reader that it is incomplete.
class ObjectReport : public IJournalSink {
public:
    // Creates the file `parameters.reportFile`, or empties it when it is a regular file already:
    // the report tells about this run only. Raised: a name that is a folder, a device, a FIFO or a
    // symbolic link; the migration file or the trace log under any of their names; a folder that
    // does not exist; a file that cannot be opened for writing.
    static std::shared_ptr<ObjectReport> Open(const InputParameters& parameters);
    ~ObjectReport() override;
    ObjectReport(const ObjectReport&) = delete;
    ObjectReport& operator=(const ObjectReport&) = delete;

    void OnObject(const ObjectEvent& event, const MigrationJournal& journal) override;

    // Writes the summary line with the journal's counts and the run's exit status, and puts the
    // file on disk. The report sees the journal's events from its first, so the counts are those
    // of the lines above; a report that could not write one of them gets no summary. Only the
    // first call writes; events after it are not reported.
    void Finish(int status, const std::vector<SectionTally>& tallies);

private:
    ObjectReport(int fd, std::wstring path, bool isExport, bool dryRun);
    void Write(const std::string& line);

    std::mutex lock_;
    int fd_;
    std::wstring path_;
    bool isExport_;
    bool dryRun_;
    bool finished_ = false;
    bool broken_ = false;
};

}  // namespace KvMigration
