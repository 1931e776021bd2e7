#include "helper/ReportLines.h"

#include "helper/JsonText.h"

namespace KvMigration {
namespace {

void AppendMember(std::string& line, const char* key, const std::wstring& value) {
    line += '"';
    line += key;
    line += "\":";
    AppendJsonString(line, value);
    line += ',';
}

}  // namespace

std::string ReportObjectLine(const ObjectEvent& event) {
    std::string line = "{";
    AppendMember(line, "section", event.section);
    AppendMember(line, "kind", event.kind);
    AppendMember(line, "id", event.id);
    AppendMember(line, "name", event.name);
    AppendMember(line, "action", ObjectActionName(event.action));
    AppendMember(line, "reason", event.reason);
    line += "\"code\":" + std::to_string(event.code) + "}\n";
    return line;
}

std::string ReportSummaryLine(const ReportSummary& summary) {
    std::string line = "{\"summary\":{";
    for (size_t s = 0; s < summary.sections.size(); ++s) {
        const SectionTally& tally = summary.sections[s];
        line += s == 0 ? "" : ",";
        AppendJsonString(line, tally.section);
        line += ":{";
        for (size_t a = 0; a < ObjectActionCount; ++a) {
            line += a == 0 ? "" : ",";
            AppendJsonString(line, ObjectActionName(static_cast<ObjectAction>(a)));
            line += ':' + std::to_string(tally.counts[a]);
        }
        line += '}';
    }
    line += "},\"status\":" + std::to_string(summary.status);
    line += summary.isExport ? ",\"pass\":\"export\"" : ",\"pass\":\"import\"";
    line += summary.dryRun ? ",\"dryRun\":true}\n" : ",\"dryRun\":false}\n";
    return line;
}

}  // namespace KvMigration
