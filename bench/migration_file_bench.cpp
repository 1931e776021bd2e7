// Writing and reading a generated migration file of 10 and 100 MB. Each run happens in a child
// process of its own so that its peak resident memory (ru_maxrss) is its own: when the reader
// streams and the writer does not buffer, the peak stays the same for both sizes.
//
// Counters: file_MB, peak_rss_MB (the child's peak), start_rss_MB (the child's resident memory
// before the work), MB_per_s. The file is written to $TMPDIR (else /tmp) and removed afterwards.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "ChildProcess.h"
#include "platform/CodePage.h"
#include "xml/SaxReader.h"
#include "xml/SaxWriter.h"

namespace {

using namespace KvMigration;
using KvBench::ChildReport;
using KvBench::RunInChild;

// One object of about 600 bytes in the file, shaped like a product object of the Oms section.
constexpr int BytesPerObject = 600;

class GeneratedObjects : public IExporter {
public:
    explicit GeneratedObjects(long count) : count_(count) {}
    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext&) override {
        const std::wstring blob(240, L'Q');
        for (long i = 0; i < count_; ++i) {
            std::wstring number = std::to_wstring(i);
            writer->StartNode(L"Object", L"");
            writer->WriteAttribute(L"class", L"orvexKVService");
            writer->WriteAttribute(L"dn", L"CN=Service " + number + L",CN=Services,DC=Korvant");
            writer->StartNode(L"objectGUID", L"5f1c2a9e-0d4b-4a77-9c1e-" + number);
            writer->EndNode();
            writer->StartNode(L"description", L"Migrated service & its <settings> #" + number);
            writer->EndNode();
            writer->StartNode(L"orvexKVSettings", blob);
            writer->EndNode();
            writer->StartNode(L"orvexKVFlags", L"true");
            writer->EndNode();
            writer->EndNode();
        }
    }

private:
    long count_;
};

class CountingImporter : public IImporter {
public:
    long elements = 0;
    size_t textBytes = 0;
    void BeginImport(const MigrationContext&, const Attributes&) override {}
    void StartNode(const std::wstring&, const Attributes&) override { ++elements; }
    void Value(const std::wstring& text) override { textBytes += text.size(); }
    void EndNode(const std::wstring&) override {}
    void EndImport() override {}
};

std::string FilePath(long megabytes) {
    return KvBench::TempFolder() + "/kv_migration_bench_" + std::to_string(getpid()) + "_" +
           std::to_string(megabytes) + ".xml";
}

void WriteFile(const std::string& path, long megabytes) {
    SaxWriter writer(Platform::Utf8ToWide(path), MigrationContext{});
    writer.RegisterExporter(L"Korvant/Data/Oms", std::make_shared<GeneratedObjects>(
                                                     megabytes * 1000000 / BytesPerObject));
    for (const wchar_t* name : {L"Korvant", L"Config", L"Mapping"}) {
        writer.StartNode(name, L"");
    }
    writer.EndNode();
    writer.StartNode(L"Common", L"");
    writer.EndNode();
    writer.EndNode();
    writer.StartNode(L"Data", L"");
    writer.StartNode(L"Oms", L"");
    writer.EndNode();
    writer.EndNode();
    writer.EndNode();
}

void ReadFile(const std::string& path) {
    auto importer = std::make_shared<CountingImporter>();
    SaxReader reader(Platform::Utf8ToWide(path), MigrationContext{});
    reader.RegisterImporter(L"Korvant/Data/Oms", importer);
    reader.Resume();
    if (reader.Outcome() != ReadOutcome::Complete || importer->elements == 0) {
        throw std::runtime_error("the generated file did not read back");
    }
}

double FileMb(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<double>(info.st_size) / 1e6 : 0.0;
}

void Report(benchmark::State& state, const ChildReport& report, double fileMb, double seconds) {
    if (report.failed != 0) {
        state.SkipWithError("the child process failed");
        return;
    }
    state.counters["file_MB"] = fileMb;
    state.counters["start_rss_MB"] = static_cast<double>(report.startKb) / 1024.0;
    state.counters["peak_rss_MB"] = static_cast<double>(report.peakKb) / 1024.0;
    state.counters["MB_per_s"] = seconds > 0 ? fileMb / seconds : 0.0;
}

template <typename Work>
void Measure(benchmark::State& state, Work&& work, const std::string& path) {
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        ChildReport report = RunInChild(work);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        Report(state, report, FileMb(path), seconds);
    }
}

void BM_WriteMigrationFile(benchmark::State& state) {
    long megabytes = state.range(0);
    std::string path = FilePath(megabytes);
    Measure(
        state,
        [&] {
            WriteFile(path, megabytes);
            return 0L;
        },
        path);
    std::remove(path.c_str());
}

void BM_ReadMigrationFile(benchmark::State& state) {
    long megabytes = state.range(0);
    std::string path = FilePath(megabytes);
    if (RunInChild([&] {
            WriteFile(path, megabytes);
            return 0L;
        }).failed != 0) {
        state.SkipWithError("the file could not be generated");
        return;
    }
    Measure(
        state,
        [&] {
            ReadFile(path);
            return 0L;
        },
        path);
    std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_WriteMigrationFile)
    ->Arg(10)
    ->Arg(100)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadMigrationFile)
    ->Arg(10)
    ->Arg(100)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
