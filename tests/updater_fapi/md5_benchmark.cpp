// Throughput of the MD5 digest over a 64 MiB payload, next to the library
// implementation of the same digest on the same machine.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <random>
#include <vector>

#include "md5.h"

namespace {

constexpr std::size_t kPayloadSize = 64u * 1024 * 1024;

const std::vector<std::uint8_t>& Payload()
{
    static const std::vector<std::uint8_t> payload = [] {
        std::mt19937 random(1321);
        std::vector<std::uint8_t> bytes(kPayloadSize);
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        return bytes;
    }();
    return payload;
}

void BM_MD5(benchmark::State& state)
{
    const auto& payload = Payload();
    for (auto _ : state) {
        MD5 md5;
        md5.Update(payload.data(), static_cast<std::uint32_t>(payload.size()));
        benchmark::DoNotOptimize(md5.Finalize().HexDigest());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(payload.size()));
}

void BM_LibraryMD5(benchmark::State& state)
{
    const auto& payload = Payload();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(payload.data(), payload.size(), digest, &length, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(payload.size()));
}

BENCHMARK(BM_MD5)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LibraryMD5)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
