#include "helper/PassSummary.h"

#include <gtest/gtest.h>

namespace KvMigration {
namespace {

// A tally with counts in the order exported, created, updated, skipped, deleted, failed.
SectionTally Tally(std::wstring section, std::array<uint64_t, ObjectActionCount> counts) {
    return SectionTally{std::move(section), counts};
}

std::wstring Joined(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& line : lines) {
        text += line + L"\n";
    }
    return text;
}

TEST(PassSummary, EachPassShowsItsColumnsAlignedAndWhatFollowsFromItsCounts) {
    struct Case {
        const char* title;
        PassSummary summary;
        std::wstring text;
    };
    const std::vector<Case> cases = {
        {"a completed export with its file",
         {PassKind::Export,
          PassEnd::Completed,
          {Tally(L"Mapping", {3, 0, 0, 0, 0, 0}), Tally(L"Common", {1, 0, 0, 0, 0, 0}),
           Tally(L"Oms", {42, 0, 0, 0, 0, 0}), Tally(L"Client", {1017, 0, 0, 2, 0, 0}),
           Tally(L"ICheck", {30, 0, 0, 0, 0, 1})},
          L"/srv/kv.xml",
          123456,
          {}},
         L"Export summary:\n"
         L"  Mapping  exported    3  skipped 0  failed 0\n"
         L"  Common   exported    1  skipped 0  failed 0\n"
         L"  Oms      exported   42  skipped 0  failed 0\n"
         L"  Client   exported 1017  skipped 2  failed 0\n"
         L"  ICheck   exported   30  skipped 0  failed 1\n"
         L"File: /srv/kv.xml, 123456 bytes\n"
         L"-report <file> names each skipped and failed object.\n"},
        {"an export that stopped in its third section",
         {PassKind::Export,
          PassEnd::Failed,
          {Tally(L"Mapping", {3, 0, 0, 0, 0, 0}), Tally(L"Common", {1, 0, 0, 0, 0, 0}),
           Tally(L"Oms", {0, 0, 0, 0, 0, 0})},
          L"/srv/kv.xml",
          2048,
          {}},
         L"Export summary up to the failure:\n"
         L"  Mapping  exported 3  skipped 0  failed 0\n"
         L"  Common   exported 1  skipped 0  failed 0\n"
         L"  Oms      exported 0  skipped 0  failed 0\n"
         L"File: /srv/kv.xml, 2048 bytes, incomplete\n"},
        {"an export whose file could not be measured",
         {PassKind::Export,
          PassEnd::Failed,
          {Tally(L"Mapping", {0, 0, 0, 0, 0, 0})},
          L"/x",
          {},
          {}},
         L"Export summary up to the failure:\n"
         L"  Mapping  exported 0  skipped 0  failed 0\n"},
        {"an import with deletions in one section and a report file",
         {PassKind::Import,
          PassEnd::Completed,
          {Tally(L"Mapping", {0, 0, 0, 1, 0, 0}), Tally(L"Common", {0, 0, 0, 0, 0, 0}),
           Tally(L"Oms", {0, 12, 3, 0, 4, 0})},
          {},
          {},
          L"/srv/report.json"},
         L"Import summary:\n"
         L"  Mapping  created  0  updated 0  skipped 1  failed 0  deleted 0\n"
         L"  Common   created  0  updated 0  skipped 0  failed 0  deleted 0\n"
         L"  Oms      created 12  updated 3  skipped 0  failed 0  deleted 4\n"
         L"The report /srv/report.json names each skipped and failed object.\n"},
        {"a dry run",
         {PassKind::DryRunImport,
          PassEnd::Completed,
          {Tally(L"Client", {0, 5, 0, 0, 0, 0})},
          {},
          {},
          {}},
         L"Dry-run summary (what the import would do; nothing was written):\n"
         L"  Client  created 5  updated 0  skipped 0  failed 0\n"},
        {"a dry run that failed",
         {PassKind::DryRunImport,
          PassEnd::Failed,
          {Tally(L"Client", {0, 5, 0, 0, 0, 1})},
          {},
          {},
          {}},
         L"Dry-run summary up to the failure (what the import would do; nothing was written):\n"
         L"  Client  created 5  updated 0  skipped 0  failed 1\n"
         L"-report <file> names each skipped and failed object.\n"},
        {"an import that failed in a section that counted an export",
         {PassKind::Import, PassEnd::Failed, {Tally(L"ICheck", {2, 0, 0, 0, 0, 0})}, {}, {}, {}},
         L"Import summary up to the failure:\n"
         L"  ICheck  exported 2  created 0  updated 0  skipped 0  failed 0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Joined(SummaryLines(c.summary)), c.text);
    }
}

TEST(PassSummary, APassThatFailedBeforeItsFirstSectionHasNone) {
    PassSummary summary;
    summary.end = PassEnd::Failed;
    summary.file = L"/srv/kv.xml";
    summary.fileSize = 10;
    EXPECT_TRUE(SummaryLines(summary).empty());
}

}  // namespace
}  // namespace KvMigration
