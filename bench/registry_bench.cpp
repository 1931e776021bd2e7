// How the cost of reading the registry file grows with one long binary value, as `reg export`
// writes it: "hex:" data continued over many lines of 25 bytes each.
//
// BM_ReadLongHexValue: a value of 5,000, 10,000, 20,000 and 40,000 continued lines, parsed from
// the text in memory. Counter: lines.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/Registry.h"

namespace {

std::wstring RegistryWithLongValue(long lines) {
    std::wstring text =
        L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
        L"\"Blob\"=hex:";
    const std::wstring line =
        L"00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,"
        L"16,17,18,\\\r\n  ";
    text.reserve(text.size() + static_cast<size_t>(lines) * line.size() + 64);
    for (long i = 0; i < lines; ++i) {
        text += line;
    }
    text += L"ff\r\n\"After\"=\"ok\"\r\n";
    return text;
}

void BM_ReadLongHexValue(benchmark::State& state) {
    const std::wstring text = RegistryWithLongValue(state.range(0));
    for (auto _ : state) {
        Platform::RegFileRegistry registry = Platform::RegFileRegistry::FromText(text);
        benchmark::DoNotOptimize(registry.GetValue(L"HKEY_LOCAL_MACHINE\\K", L"Blob"));
    }
    state.counters["lines"] = static_cast<double>(state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadLongHexValue)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
