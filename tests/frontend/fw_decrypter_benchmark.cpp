// Loading and descrambling a large firmware file. Not part of the test run:
// run build/bin/fw_decrypter_benchmark by hand.

#include "fw_decrypter.h"
#include "scramble_for_tests.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

const std::string& ScrambledFile()
{
    static const std::string path = [] {
        constexpr std::size_t kSize = 64u << 20;
        std::vector<std::uint8_t> payload(kSize);
        std::mt19937 engine(1);
        for (auto& b : payload) {
            b = static_cast<std::uint8_t>(engine());
        }
        const auto file = testing_support::Scramble(payload);
        const auto name = (std::filesystem::temp_directory_path() / "zv_bench_fw_64MiB.bin").string();
        std::ofstream(name, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        return name;
    }();
    return path;
}

void BM_LoadAndDescramble64MiB(benchmark::State& state)
{
    const std::string& file = ScrambledFile();
    for (auto _ : state) {
        FwDecrypter d;
        d.LoadFile(file);
        if (!d.IsChecksumValid()) {
            state.SkipWithError("check word mismatch");
        }
        benchmark::DoNotOptimize(d.GetFileBuffer().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (64 << 20));
}
BENCHMARK(BM_LoadAndDescramble64MiB)->Unit(benchmark::kMillisecond);

// Descrambling alone, the file already in memory.
void BM_Descramble64MiB(benchmark::State& state)
{
    const std::string& file = ScrambledFile();
    for (auto _ : state) {
        state.PauseTiming();
        FwDecrypter d;
        d.LoadFile(file);
        state.ResumeTiming();
        if (!d.IsChecksumValid()) {
            state.SkipWithError("check word mismatch");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (64 << 20));
}
BENCHMARK(BM_Descramble64MiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
