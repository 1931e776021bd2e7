// How the cost of reading a password file ("-y") grows with the file: it should not. Only the
// first line is read, at most 1024 bytes and its line end, whatever follows.
//
// BM_ReadPasswordFile: a 12-byte password followed by 64 KiB to 64 MiB of other lines.
// BM_ReadFileWithoutLineEnd: a file of 64 KiB to 64 MiB without any line end (refused as too
// long). Counter: file bytes.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Secret.h"

namespace {

// A scratch file of its owner only, removed when the benchmark ends.
class ScratchFile {
public:
    ScratchFile(const std::string& head, long fillBytes, bool lineEnds) {
        char name[] = "/tmp/kv-secret-bench-XXXXXX";
        int fd = mkstemp(name);
        path_ = name;
        std::string chunk(1 << 16, 'x');
        for (size_t i = 63; lineEnds && i < chunk.size(); i += 64) {
            chunk[i] = '\n';
        }
        bool ok =
            fd >= 0 && write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size());
        for (long left = fillBytes; ok && left > 0; left -= static_cast<long>(chunk.size())) {
            ok = write(fd, chunk.data(), chunk.size()) == static_cast<ssize_t>(chunk.size());
        }
        if (fd >= 0) {
            fchmod(fd, 0600);
            close(fd);
        }
        if (!ok) {
            std::fprintf(stderr, "cannot write %s\n", name);
            std::abort();
        }
    }
    ~ScratchFile() { unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void Run(benchmark::State& state, const std::string& head, bool lineEnds,
         Platform::SecretStatus expected) {
    ScratchFile file(head, state.range(0), lineEnds);
    for (auto _ : state) {
        Platform::Secret secret = Platform::ReadSecretFile(file.Path());
        if (secret.status != expected) {
            state.SkipWithError("unexpected status");
            break;
        }
        benchmark::DoNotOptimize(secret.text);
    }
    state.counters["bytes"] = static_cast<double>(state.range(0));
    state.SetComplexityN(state.range(0));
}

void BM_ReadPasswordFile(benchmark::State& state) {
    Run(state, "Pa55-w0rd-42\n", true, Platform::SecretStatus::Read);
}

void BM_ReadFileWithoutLineEnd(benchmark::State& state) {
    Run(state, "", false, Platform::SecretStatus::TooLong);
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
    for (long size : {64L << 10, 1L << 20, 16L << 20, 64L << 20}) {
        benchmark->Arg(size);
    }
    benchmark->Unit(benchmark::kMicrosecond)->Complexity();
}

BENCHMARK(BM_ReadPasswordFile)->Apply(Sizes);
BENCHMARK(BM_ReadFileWithoutLineEnd)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
