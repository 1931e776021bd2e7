// What the per-object report costs a pass: each event made into its JSON line and written with
// write(2) as it comes, next to writing the same bytes raw.
//
// BM_ReportEvents: 10,000 to 100,000 events through the report (escaping, UTF-8, one write each).
// BM_RawLines: the same lines, made beforehand, one write each.
// BM_RawBlock: the same bytes in one write.
// Counters: events, bytes per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ObjectReport.h"
#include "helper/ReportLines.h"
#include "platform/CodePage.h"

namespace {

using KvMigration::ObjectAction;
using KvMigration::ObjectEvent;

// Events as an import of users and policies records them: SIDs and GUIDs, Cyrillic names, a
// reason with a quote and a line end for every tenth.
std::vector<ObjectEvent> Events(long count) {
    std::vector<ObjectEvent> events;
    events.reserve(static_cast<size_t>(count));
    for (long i = 0; i < count; ++i) {
        const bool skipped = i % 10 == 0;
        events.push_back(ObjectEvent{
            L"Client", i % 2 == 0 ? L"User" : L"Token",
            L"S-1-5-21-3623811015-3361044348-30300820-" + std::to_wstring(100000 + i),
            L"\x41f\x43e\x43b\x44c\x437\x43e\x432\x430\x442\x435\x43b\x44c " + std::to_wstring(i),
            skipped ? ObjectAction::Skipped : ObjectAction::Created,
            skipped ? L"already migrated; use \"-fi\"\n" : L"", 0});
    }
    return events;
}

std::string ScratchName() {
    return "/tmp/kv-report-bench-" + std::to_string(getpid()) + ".jsonl";
}

// The program always traces; a trace folder that cannot be opened keeps the benchmark's runs out
// of the machine's log.
void SendTraceNowhere() {
    const std::string path = "/tmp/kv-report-bench-registry.reg";
    if (FILE* file = std::fopen(path.c_str(), "w")) {
        std::fputs(
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0"
            "\\Trace]\n\"TracePath\"=\"/dev/null/\"\n",
            file);
        std::fclose(file);
    }
    setenv("KV_REGISTRY_FILE", path.c_str(), 1);
}

void BM_ReportEvents(benchmark::State& state) {
    SendTraceNowhere();
    const std::vector<ObjectEvent> events = Events(state.range(0));
    KvMigration::InputParameters parameters;
    parameters.isExport = false;
    parameters.fileName = L"/tmp/kv-report-bench-none.xml";
    parameters.reportFile = Platform::Utf8ToWide(ScratchName());
    KvMigration::MigrationJournal journal;
    for (auto _ : state) {
        std::shared_ptr<KvMigration::ObjectReport> report =
            KvMigration::ObjectReport::Open(parameters);
        for (const ObjectEvent& event : events) {
            report->OnObject(event, journal);
        }
    }
    unlink(ScratchName().c_str());
    state.counters["events"] = static_cast<double>(state.range(0));
    state.SetComplexityN(state.range(0));
}

std::vector<std::string> Lines(long count) {
    std::vector<std::string> lines;
    for (const ObjectEvent& event : Events(count)) {
        lines.push_back(KvMigration::ReportObjectLine(event));
    }
    return lines;
}

void WriteAll(int fd, const std::string& bytes) {
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::fprintf(stderr, "cannot write the scratch file\n");
        std::abort();
    }
}

void BM_RawLines(benchmark::State& state) {
    const std::vector<std::string> lines = Lines(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) {
        FILE* file = std::fopen(ScratchName().c_str(), "w");
        bytes = 0;
        for (const std::string& line : lines) {
            WriteAll(fileno(file), line);
            bytes += line.size();
        }
        std::fclose(file);
    }
    unlink(ScratchName().c_str());
    state.counters["events"] = static_cast<double>(state.range(0));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetComplexityN(state.range(0));
}

void BM_RawBlock(benchmark::State& state) {
    std::string block;
    for (const std::string& line : Lines(state.range(0))) {
        block += line;
    }
    for (auto _ : state) {
        FILE* file = std::fopen(ScratchName().c_str(), "w");
        WriteAll(fileno(file), block);
        std::fclose(file);
    }
    unlink(ScratchName().c_str());
    state.counters["events"] = static_cast<double>(state.range(0));
    state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_ReportEvents)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_RawLines)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_RawBlock)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
