#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "helper/MigrationJournal.h"
#include "platform/Console.h"

namespace KvMigration {

// Shows that a long pass is moving. On a terminal one status line at the end of standard output
// gives the counts of the section at work and is rewritten in place, at most every
// `TerminalInterval`; the console blanks it before any other line. Elsewhere (a file, a pipe, a
// CI log) a line "<section>: <n> objects..." follows every hundredth object of a section, so that
// a short pass prints nothing more and a log gains one line per hundred objects.
class ConsoleProgress : public IJournalSink {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr std::chrono::milliseconds TerminalInterval{100};
    static constexpr uint64_t LogStep = 100;

    explicit ConsoleProgress(Platform::IConsole& console,
                             Clock clock = std::chrono::steady_clock::now);

    void OnObject(const ObjectEvent& event, const MigrationJournal& journal) override;

private:
    void ShowStatus(const std::wstring& section, const MigrationJournal& journal);

    Platform::IConsole& console_;
    Clock clock_;
    bool terminal_;
    std::chrono::steady_clock::time_point lastShown_{};
    bool shown_ = false;
    std::wstring shownSection_;
    std::map<std::wstring, uint64_t> objects_;  // per section, for the log lines
};

// "Oms: 1234 objects (1200 created, 30 updated, 4 skipped)": the section's total and each of its
// counts that is not zero, in the order of ObjectAction.
std::wstring ProgressText(const SectionTally& tally);

}  // namespace KvMigration
