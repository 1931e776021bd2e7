// How the cost of what the integrity-check import reads from the migration file and the product
// grows with its size: a body's Base64 text, the rewrites of the four adapted kinds of body, and
// the installation model file that gives the default scenario its text.
//
// BM_DecodeBody / BM_EncodeBody: bodies of 64 KiB to 16 MiB. Counter: bytes per second.
// BM_RewriteClientEntry: a client entry whose B block holds a text of 64 KiB to 16 MiB.
// BM_RenameJob, BM_RewriteScenario: the block behind the name of 64 KiB to 16 MiB.
// BM_ScenarioOfInstallModel: an installation model file of 1,000 to 64,000 tasks, the default
// scenario's task last (the whole file is read and searched).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "icheck/B64Str.h"
#include "icheck/GroupEntryBody.h"
#include "icheck/JobBody.h"
#include "icheck/KvsSequence.h"
#include "icheck/ScenarioBody.h"
#include "platform/Paths.h"
#include "support/ICheckBodies.h"

namespace {

constexpr long kKiB = 1024;

void BytesComplexity(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.SetComplexityN(state.range(0));
}

void BM_EncodeBody(benchmark::State& state) {
    const KvTest::Bytes body = KvTest::Filler(static_cast<size_t>(state.range(0)), 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(KvMigration::CB64Str(body).Text().size());
    }
    BytesComplexity(state);
}
BENCHMARK(BM_EncodeBody)
    ->RangeMultiplier(4)
    ->Range(64 * kKiB, 16 * 1024 * kKiB)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_DecodeBody(benchmark::State& state) {
    const std::wstring text =
        KvMigration::CB64Str(KvTest::Filler(static_cast<size_t>(state.range(0)), 1)).Text();
    for (auto _ : state) {
        benchmark::DoNotOptimize(KvMigration::CB64Str(text).Bytes().size());
    }
    BytesComplexity(state);
}
BENCHMARK(BM_DecodeBody)
    ->RangeMultiplier(4)
    ->Range(64 * kKiB, 16 * 1024 * kKiB)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_RewriteClientEntry(benchmark::State& state) {
    KvTest::GroupEntry entry;
    entry.kind = 1;
    entry.sidField = KvTest::Sid(5, {21, 1, 2, 3, 1106});
    entry.name = KvTest::Utf16(L"WS01");
    entry.blockB = KvTest::Utf16(std::wstring(static_cast<size_t>(state.range(0)) / 2 - 1, L'x'));
    const KvTest::Bytes body = KvTest::MakeGroupEntry(entry);
    const KvTest::Bytes sid = KvTest::Sid(5, {21, 7, 8, 9, 1201});
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            KvMigration::GroupEntryBody(body).ForClient(sid, L"ws01.corp.local").size());
    }
    BytesComplexity(state);
}
BENCHMARK(BM_RewriteClientEntry)
    ->RangeMultiplier(4)
    ->Range(64 * kKiB, 16 * 1024 * kKiB)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_RenameJob(benchmark::State& state) {
    const KvTest::Bytes body =
        KvTest::MakeJob({KvTest::Filler(6, 1),
                         KvTest::Filler(10, 2),
                         KvTest::Utf16(L"Old job"),
                         KvTest::Filler(static_cast<size_t>(state.range(0)), 3),
                         {}});
    for (auto _ : state) {
        benchmark::DoNotOptimize(KvMigration::JobBody(body).Renamed(L"New job name").size());
    }
    BytesComplexity(state);
}
BENCHMARK(BM_RenameJob)
    ->RangeMultiplier(4)
    ->Range(64 * kKiB, 16 * 1024 * kKiB)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_RewriteScenario(benchmark::State& state) {
    const KvTest::Bytes body = KvTest::MakeScenario(
        {KvTest::Filler(10, 1), KvTest::Utf16(L"Old scenario"),
         KvTest::Filler(static_cast<size_t>(state.range(0)), 2), KvTest::Utf16(L"old")});
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            KvMigration::ScenarioBody(body).Rewritten(L"New scenario", L"steps").size());
    }
    BytesComplexity(state);
}
BENCHMARK(BM_RewriteScenario)
    ->RangeMultiplier(4)
    ->Range(64 * kKiB, 16 * 1024 * kKiB)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// An installation folder of its own, with a registry file that names the locale.
void BM_ScenarioOfInstallModel(benchmark::State& state) {
    const std::string folder = Platform::TempFolder() + "/kv-icheck-bench";
    std::system(("mkdir -p '" + folder + "/server/en-us'").c_str());
    std::ofstream(folder + "/registry.reg", std::ios::trunc)
        << "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvion\\Korvant Suite]\n"
           "\"ProductLocale\"=\"en-us\"\n"
           // A trace folder that cannot be opened: the benchmark writes no log.
           "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\n"
           "\"TracePath\"=\"/dev/null/\"\n";
    {
        std::ofstream model(folder + "/server/en-us/KvICInstallLDS.xml", std::ios::trunc);
        model << "<InstallModel><Tasks>\n";
        for (long i = 0; i < state.range(0); ++i) {
            model << "<Task name=\"Task " << i << "\"><Sequence>check file " << i
                  << "</Sequence></Task>\n";
        }
        model << "<Task name=\"Korvant Suite resources control\"><Sequence>steps</Sequence>"
                 "</Task>\n</Tasks></InstallModel>\n";
    }
    setenv("KV_REGISTRY_FILE", (folder + "/registry.reg").c_str(), 1);
    setenv("SecurityServerDir", (folder + "/server/").c_str(), 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(KvMigration::CKVSSequence(L"Korvant Suite resources control",
                                                           KvMigration::PlatformX86())
                                     .size());
    }
    state.counters["tasks"] = static_cast<double>(state.range(0));
    state.SetComplexityN(state.range(0));
    std::system(("rm -rf '" + folder + "'").c_str());
}
BENCHMARK(BM_ScenarioOfInstallModel)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(64000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
