// Peak memory of the built program while it programs and verifies a large
// firmware file through the camera API: at most the payload and one
// read-back buffer (about twice the file) plus a fixed allowance, whatever
// the file's size. The program for the camera is a 32-bit one, so copies of
// a large file run out of address space long before they run out of memory.

#include "emu_dir.h"
#include "file_io.h"
#include "os_process.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kFileSize = 64 * kMiB;
constexpr std::uint64_t kAllowance = 10 * 1000 * 1000;

// A large file takes a while through a sanitizer build on a busy machine.
zv::os::ProcessResult RunSlowly(const std::vector<std::string>& args,
                                const std::vector<std::pair<std::string, std::string>>& env)
{
    return zv::os::RunProcess(e2e::ProgramPath(), args, "", env, std::chrono::minutes(10));
}

// Largest resident set of the children waited for so far, in bytes.
std::uint64_t PeakOfChildren()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

TEST(MemoryRun, ProgrammingAndVerifyingALargeFileHoldsItAboutTwice)
{
    zvtest::EmuDir emu;
    // A model without calibration data, with room for the file.
    emu.AddCamera("KV410XX-B", [](zvemu::CameraRecord& r) { r.ffsCapacity = 4 * kFileSize; });
    std::vector<std::uint8_t> payload(kFileSize);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(i * 131 + (i >> 12));
    }
    const auto file = emu.Root() / "fpga.bin";
    zvtest::WriteFile(file, payload);
    const std::vector<std::pair<std::string, std::string>> env = {
        {"ZVAPI_EMULATOR_DIR", emu.Root().string()},
        {"ZVOS_VIRTUAL_SLEEP", "1"},
        // Freed blocks go back at once, as without the address sanitizer.
        {"ASAN_OPTIONS", "quarantine_size_mb=0:allocator_release_to_os_interval_ms=0"}};

    // What the program holds without any file: its code, libraries and (in
    // a sanitizer build) the sanitizer's own tables.
    EXPECT_EQ(RunSlowly({}, env).exitStatus, 1);
    const std::uint64_t baseline = PeakOfChildren();

    std::uint64_t budget = 2 * kFileSize + kAllowance;
#ifdef ZV_SANITIZED
    // Shadow memory: one byte for every eight the program touches.
    budget = baseline + budget + budget / 8;
#endif

    for (const char* command : {"prog", "verify"}) {
        SCOPED_TRACE(command);
        const zv::os::ProcessResult run =
            RunSlowly({command, "FPGA1", file.string(), "--plain_file", "--zvapi", "--yes"}, env);
        ASSERT_FALSE(run.timedOut);
        ASSERT_EQ(run.exitStatus, 0) << run.out;
        const std::uint64_t peak = PeakOfChildren();
        EXPECT_LE(peak, budget) << "peak " << peak / kMiB << " MiB, baseline " << baseline / kMiB << " MiB";
    }
    EXPECT_EQ(emu.State().FfsFileSize(emu.CameraId(0), "File_FW_FPGA1"), kFileSize);
}

}  // namespace
