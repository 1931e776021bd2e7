#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "helper/MigrationJournal.h"

namespace KvMigration {

enum class PassKind : uint8_t { Export, Import, DryRunImport };
enum class PassEnd : uint8_t { Completed, Failed };

// What the summary after a pass is made of.
struct PassSummary {
    PassKind kind = PassKind::Export;
    PassEnd end = PassEnd::Completed;
    std::vector<SectionTally> sections;  // every section that began, in their order
    std::wstring file;                   // the migration file of an export
    std::optional<uint64_t> fileSize;    // its size in bytes; no file line without it
    std::wstring reportFile;             // -report, when it was given
};

// The summary's lines, none when no section began (the pass failed before its first section):
//
//   Import summary:
//     Mapping  created  0  updated 0  skipped 1  failed 0
//     Oms      created 12  updated 3  skipped 0  failed 0  deleted 4
//   -report <file> names each skipped and failed object.
//
// One line per section. The columns are those of the pass (an export's exported, skipped and
// failed; an import's created, updated, skipped and failed), and any other action that some
// section counted, deleted included, so that nothing counted is left out; numbers are aligned
// per column. The heading says when the pass stopped at a failure and, for a dry run, that the
// counts are what the import would do. An export adds "File: <path>, <n> bytes" (", incomplete"
// after a failure), and skipped or failed objects add the sentence on where they are named.
std::vector<std::wstring> SummaryLines(const PassSummary& summary);

}  // namespace KvMigration
