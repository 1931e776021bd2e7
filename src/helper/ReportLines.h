#pragma once

#include <string>
#include <vector>

#include "helper/MigrationJournal.h"

namespace KvMigration {

// The lines of the per-object report: each one JSON object in UTF-8 with its "\n", so that the
// file read up to any line end is a valid JSON-lines document.

// {"section":…,"kind":…,"id":…,"name":…,"action":"created","reason":…,"code":0}; every key is
// always there, "reason" empty and "code" 0 when the object has none.
std::string ReportObjectLine(const ObjectEvent& event);

// How the pass ended and what it counted: the last line of the report.
struct ReportSummary {
    std::vector<SectionTally> sections;
    int status = 0;  // the exit status of the run: 0, or 255 after a failure that stopped it
    bool isExport = false;
    bool dryRun = false;
};

// {"summary":{"Oms":{"exported":0,"created":2,…},…},"status":0,"pass":"import","dryRun":false};
// each section with the six counts in the order of ObjectAction.
std::string ReportSummaryLine(const ReportSummary& summary);

}  // namespace KvMigration
