// How the cost of turning a group-policy template into a product policy grows with the template.
//
// BM_PolicyFromShortSettings: templates of 0.1, 1, 2 and 3 MB (the argument is in kilobytes)
// made of short "a=" lines, each a setting of its own, through the export path (the policy
// record and the normalisation of both its documents). Each run happens in a child process so
// that its peak resident memory is its own. Counters: template_MB, peak_rss_MB, start_rss_MB,
// policy (1 when a policy was made).
//
// BM_ParseVersionLineOfEquals: a "[Version]" section holding one line of 40k, 80k and 160k "="
// characters, parsed in memory.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "ChildProcess.h"
#include "platform/CodePage.h"
#include "server/KvPolicy.h"
#include "server/PolicyTemplate.h"
#include "server/PolicyValue.h"

namespace {

using namespace KvMigration;

std::string ShortSettingsTemplate(long kilobytes) {
    const std::string line = "a=\r\n";
    std::string text = "[Version]\r\nRevision=1\r\n[Korvant]\r\n";
    const size_t size = static_cast<size_t>(kilobytes) * 1000;
    text.reserve(size + line.size());
    while (text.size() < size) {
        text += line;
    }
    return text;
}

long ExportPolicy(const std::wstring& path) {
    ObjectDataPtr record = CreateKvPolicy(path);
    if (!record) {
        return 0;
    }
    TransformPolicyValue(record->attributes[L"orvexKVPolicyBase"].text);
    TransformPolicyValue(record->attributes[L"orvexKVPolicyDevices"].text);
    return 1;
}

void BM_PolicyFromShortSettings(benchmark::State& state) {
    KvBench::SendTraceNowhere();
    const std::string text = ShortSettingsTemplate(state.range(0));
    const std::string path = KvBench::TempFolder() + "/kv_policy_bench_" +
                             std::to_string(getpid()) + "_" + std::to_string(state.range(0)) +
                             ".inf";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    const std::wstring widePath = Platform::Utf8ToWide(path);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        KvBench::ChildReport report = KvBench::RunInChild([&] { return ExportPolicy(widePath); });
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (report.failed != 0) {
            state.SkipWithError("the child process failed");
            break;
        }
        state.counters["template_MB"] = static_cast<double>(text.size()) / 1e6;
        state.counters["start_rss_MB"] = static_cast<double>(report.startKb) / 1024.0;
        state.counters["peak_rss_MB"] = static_cast<double>(report.peakKb) / 1024.0;
        state.counters["policy"] = static_cast<double>(report.result);
    }
    std::remove(path.c_str());
}

void BM_ParseVersionLineOfEquals(benchmark::State& state) {
    KvBench::SendTraceNowhere();
    const std::wstring text = L"[Version]\nRevision=1\n" +
                              std::wstring(static_cast<size_t>(state.range(0)), L'=') + L"\n";
    for (auto _ : state) {
        PolicyTemplate policy;
        benchmark::DoNotOptimize(ParsePolicyTemplate(text, policy));
        benchmark::DoNotOptimize(policy);
    }
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_PolicyFromShortSettings)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(3000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseVersionLineOfEquals)
    ->Arg(40000)
    ->Arg(80000)
    ->Arg(160000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

BENCHMARK_MAIN();
