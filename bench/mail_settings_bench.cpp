// How the cost of converting alarm-mail settings grows with a rule that lists N addresses and
// names the same category N times, for N of 1,000, 2,000 and 4,000.
//
// BM_MergeMailRules: the transformer alone (expansion and merging of the rules read).
// BM_TransformMailSettingsText: the whole conversion of the attribute's text: reading,
// transforming and writing.
#include <benchmark/benchmark.h>

#include <string>

#include "ChildProcess.h"
#include "transform/MailSettings.h"
#include "transform/MailSettingsTransformer.h"

namespace {

using namespace KvMigration;

std::wstring Address(long i) {
    return L"user" + std::to_wstring(i) + L"@corp.local";
}

LegacyMailSettings RepeatedCategoryRule(long count) {
    LegacyMailRule rule;
    rule.title = L"Alarms";
    rule.subject = L"Alarm";
    rule.isActive = L"1";
    rule.attach = L"0";
    for (long i = 0; i < count; ++i) {
        rule.addresses.push_back(Address(i));
        rule.securityEvents.push_back(L"Logon");
    }
    LegacyMailSettings settings;
    settings.rules.push_back(rule);
    return settings;
}

std::wstring RepeatedCategoryText(long count) {
    std::wstring text =
        L"<UAMailFilter from=\"kv@corp.local\" mailServer=\"mx.corp.local\" user=\"mailer\" "
        L"password=\"\" port=\"25\" authenticate=\"0\"><Rules>"
        L"<Rule title=\"Alarms\" subject=\"Alarm\" isActive=\"1\" attach=\"0\"><Addresses>";
    for (long i = 0; i < count; ++i) {
        text += L"<Address>" + Address(i) + L"</Address>";
    }
    text += L"</Addresses><SecurityEvents>";
    for (long i = 0; i < count; ++i) {
        text += L"<Eng>Logon</Eng>";
    }
    return text + L"</SecurityEvents></Rule></Rules></UAMailFilter>";
}

void BM_MergeMailRules(benchmark::State& state) {
    KvBench::SendTraceNowhere();
    const LegacyMailSettings settings = RepeatedCategoryRule(state.range(0));
    const CMailSettingsTransformer transformer;
    for (auto _ : state) {
        NewMailSettings result = transformer.Transform(settings);
        if (result.rules.size() != 1 ||
            result.rules[0].addresses.size() != static_cast<size_t>(state.range(0))) {
            state.SkipWithError("unexpected result");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    state.SetComplexityN(state.range(0));
}

void BM_TransformMailSettingsText(benchmark::State& state) {
    KvBench::SendTraceNowhere();
    const std::wstring text = RepeatedCategoryText(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(TransformMailSettingsText(text));
    }
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_MergeMailRules)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_TransformMailSettingsText)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

BENCHMARK_MAIN();
