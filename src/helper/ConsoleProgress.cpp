#include "helper/ConsoleProgress.h"

#include "platform/CodePage.h"

#include <utility>

namespace KvMigration {

ConsoleProgress::ConsoleProgress(Platform::IConsole& console, Clock clock)
    : console_(console), clock_(std::move(clock)), terminal_(console.OutputIsTerminal()) {}

void ConsoleProgress::OnObject(const ObjectEvent& event, const MigrationJournal& journal) {
    if (terminal_) {
        // Redrawn for the first object of each section and then by time: a redraw per object
        // would cost more terminal output than the pass writes to the directory.
        const auto now = clock_();
        if (!shown_ || event.section != shownSection_ || now - lastShown_ >= TerminalInterval) {
            ShowStatus(event.section, journal);
            lastShown_ = now;
            shown_ = true;
            shownSection_ = event.section;
        }
        return;
    }
    const uint64_t count = ++objects_[event.section];
    if (count % LogStep == 0) {
        console_.Write(Platform::WideToAnsi(event.section + L": " + std::to_wstring(count) +
                                            L" objects...\n"));
    }
}

void ConsoleProgress::ShowStatus(const std::wstring& section, const MigrationJournal& journal) {
    for (const SectionTally& tally : journal.Tallies()) {
        if (tally.section == section) {
            std::wstring text = ProgressText(tally);
            // One terminal row: a wrapped line could no longer be rewritten from its start.
            constexpr size_t kRow = 79;
            if (text.size() > kRow) {
                text.resize(kRow);
            }
            console_.WriteStatus(Platform::WideToAnsi(text));
            return;
        }
    }
}

std::wstring ProgressText(const SectionTally& tally) {
    uint64_t total = 0;
    std::wstring counts;
    for (size_t i = 0; i < ObjectActionCount; ++i) {
        const uint64_t count = tally.counts[i];
        total += count;
        if (count != 0) {
            counts += (counts.empty() ? L"" : L", ") + std::to_wstring(count) + L" " +
                      ObjectActionName(static_cast<ObjectAction>(i));
        }
    }
    std::wstring text =
        tally.section + L": " + std::to_wstring(total) + (total == 1 ? L" object" : L" objects");
    if (!counts.empty()) {
        text += L" (" + counts + L")";
    }
    return text;
}

}  // namespace KvMigration
