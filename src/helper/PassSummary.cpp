#include "helper/PassSummary.h"

#include <algorithm>
#include <array>

namespace KvMigration {
namespace {

std::wstring Heading(const PassSummary& summary) {
    const bool failed = summary.end == PassEnd::Failed;
    switch (summary.kind) {
        case PassKind::Export:
            return failed ? L"Export summary up to the failure:" : L"Export summary:";
        case PassKind::Import:
            return failed ? L"Import summary up to the failure:" : L"Import summary:";
        case PassKind::DryRunImport:
            return std::wstring(failed ? L"Dry-run summary up to the failure"
                                       : L"Dry-run summary") +
                   L" (what the import would do; nothing was written):";
    }
    return {};
}

bool BelongsToPass(PassKind kind, ObjectAction action) {
    switch (action) {
        case ObjectAction::Exported:
            return kind == PassKind::Export;
        case ObjectAction::Created:
        case ObjectAction::Updated:
            return kind != PassKind::Export;
        case ObjectAction::Skipped:
        case ObjectAction::Failed:
            return true;
        case ObjectAction::Deleted:
            return false;
    }
    return false;
}

// The order of the columns: what happened to an object, then what went wrong, then deletions,
// which only some imports have.
constexpr std::array<ObjectAction, ObjectActionCount> kColumns = {
    ObjectAction::Exported, ObjectAction::Created, ObjectAction::Updated,
    ObjectAction::Skipped,  ObjectAction::Failed,  ObjectAction::Deleted};

std::wstring PadRight(std::wstring text, size_t width) {
    text.resize(std::max(text.size(), width), L' ');
    return text;
}

std::wstring PadLeft(const std::wstring& text, size_t width) {
    return std::wstring(width > text.size() ? width - text.size() : 0, L' ') + text;
}

}  // namespace

std::vector<std::wstring> SummaryLines(const PassSummary& summary) {
    if (summary.sections.empty()) {
        return {};
    }
    size_t nameWidth = 0;
    for (const SectionTally& tally : summary.sections) {
        nameWidth = std::max(nameWidth, tally.section.size());
    }
    struct Column {
        ObjectAction action;
        size_t width;
    };
    std::vector<Column> columns;
    for (ObjectAction action : kColumns) {
        size_t width = 0;
        bool counted = false;
        for (const SectionTally& tally : summary.sections) {
            width = std::max(width, std::to_wstring(tally.Count(action)).size());
            counted = counted || tally.Count(action) != 0;
        }
        if (BelongsToPass(summary.kind, action) || counted) {
            columns.push_back({action, width});
        }
    }

    std::vector<std::wstring> lines = {Heading(summary)};
    uint64_t unfinished = 0;
    for (const SectionTally& tally : summary.sections) {
        std::wstring line = L"  " + PadRight(tally.section, nameWidth);
        for (const Column& column : columns) {
            line += L"  " + std::wstring(ObjectActionName(column.action)) + L" " +
                    PadLeft(std::to_wstring(tally.Count(column.action)), column.width);
        }
        lines.push_back(line);
        unfinished += tally.Count(ObjectAction::Skipped) + tally.Count(ObjectAction::Failed);
    }
    if (summary.kind == PassKind::Export && summary.fileSize) {
        lines.push_back(L"File: " + summary.file + L", " + std::to_wstring(*summary.fileSize) +
                        L" bytes" + (summary.end == PassEnd::Failed ? L", incomplete" : L""));
    }
    if (unfinished != 0) {
        lines.push_back(summary.reportFile.empty()
                            ? L"-report <file> names each skipped and failed object."
                            : L"The report " + summary.reportFile +
                                  L" names each skipped and failed object.");
    }
    return lines;
}

}  // namespace KvMigration
