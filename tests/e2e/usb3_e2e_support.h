#pragma once

// The program on emulated USB3 cameras: a fresh state directory and working
// directory per test, firmware files made from known payloads, and the
// camera's memories read back for comparison.

#include "emu_dir.h"
#include "file_io.h"
#include "run_program.h"
#include "scramble_for_tests.h"
#include "sne_record.h"
#include "temp_dir.h"
#include "zvemu/usb3_face.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace usb3e2e {

using Bytes = std::vector<std::uint8_t>;
using zvemu::Usb3Memory;

inline const std::string kDone = "Done return 0\nAll OK\n";
inline const std::string kFailed = "Done return 1\n";

inline constexpr Usb3Memory kAllMemories[] = {Usb3Memory::Spi, Usb3Memory::Cpu2, Usb3Memory::Cpu3, Usb3Memory::Cpu4,
                                              Usb3Memory::Mcu1};

// A payload whose bytes differ from the seeded memories.
inline Bytes Payload(std::size_t size, std::uint8_t seed = 0x31)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 9));
    }
    return bytes;
}

class Usb3Test : public ::testing::Test {
protected:
    Usb3Test() : previous_(std::filesystem::current_path()) { std::filesystem::current_path(work.path()); }
    ~Usb3Test() override
    {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }

    // A camera with a USB3 face of the generation; `edit` may change its seed.
    unsigned AddUsb3(int generation, const std::function<void(zvemu::Usb3Seed&)>& edit = {})
    {
        const unsigned index = emu.AddCamera();
        zvemu::Usb3Seed seed;
        seed.face.generation = generation;
        // The serial number record of the camera's serial text, and an older
        // serial number beside it (used when the record is erased).
        SNERecord record;
        DecodeSNE(emu.Camera(index).serial, record);
        seed.sneRecord = record.ToBytes();
        seed.olderSerialNumber = 0x1A2B3C00 + index;
        if (edit) {
            edit(seed);
        }
        zvemu::AddUsb3Face(emu.State(), emu.CameraId(index), emu.Camera(index), seed);
        generations_[index] = generation;
        return index;
    }

    // `env` is added to the program's environment.
    e2e::ProgramRun Run(const std::vector<std::string>& args,
                        std::vector<std::pair<std::string, std::string>> env = {}) const
    {
        env.emplace_back("ZVOS_VIRTUAL_SLEEP", "1");
        env.emplace_back("ZVOS_LOCK_DIR", work.File("locks"));
        return e2e::RunProgram(args, {}, env);
    }
    // The run with its progress percentages taken out.
    e2e::ProgramRun RunQuiet(const std::vector<std::string>& args,
                             std::vector<std::pair<std::string, std::string>> env = {}) const
    {
        e2e::ProgramRun r = Run(args, std::move(env));
        r.out = zvtest::WithoutProgress(r.out);
        return r;
    }

    // The run from another working directory (where backups are looked for).
    e2e::ProgramRun RunQuietIn(const std::filesystem::path& directory, const std::vector<std::string>& args) const
    {
        const std::filesystem::path here = std::filesystem::current_path();
        std::filesystem::current_path(directory);
        e2e::ProgramRun r = RunQuiet(args);
        std::filesystem::current_path(here);
        return r;
    }

    Bytes Memory(unsigned camera, Usb3Memory memory) const
    {
        return zvemu::ReadUsb3Memory(emu.State(), emu.CameraId(camera), memory, 0,
                                     zvemu::Usb3MemorySize(memory, generations_.at(camera)));
    }
    std::map<Usb3Memory, Bytes> Memories(unsigned camera) const
    {
        std::map<Usb3Memory, Bytes> all;
        for (const Usb3Memory memory : kAllMemories) {
            all[memory] = Memory(camera, memory);
        }
        return all;
    }
    void SetMemory(unsigned camera, Usb3Memory memory, std::uint64_t offset, const Bytes& bytes) const
    {
        zvemu::WriteUsb3Memory(emu.State(), emu.CameraId(camera), memory, offset, bytes);
    }

    // A scrambled firmware file of the payload, as the maker ships them.
    std::string FirmwareFile(const std::string& name, const Bytes& payload) const
    {
        return work.Write(name, testing_support::Scramble(payload));
    }

    zvtest::EmuDir emu;
    zvtest::TempDir work;

private:
    std::filesystem::path previous_;
    std::map<unsigned, int> generations_;
};

// Every byte of `after` equals `before` except inside [start, start + size).
inline ::testing::AssertionResult OnlyChanged(const Bytes& before, const Bytes& after, std::size_t start,
                                              std::size_t size)
{
    if (before.size() != after.size()) {
        return ::testing::AssertionFailure() << "size " << after.size() << " != " << before.size();
    }
    for (std::size_t i = 0; i < before.size(); ++i) {
        if ((i < start || i >= start + size) && before[i] != after[i]) {
            return ::testing::AssertionFailure()
                   << "byte x" << std::hex << i << " changed outside x" << start << "+x" << size;
        }
    }
    return ::testing::AssertionSuccess();
}

inline Bytes Slice(const Bytes& bytes, std::size_t start, std::size_t size)
{
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                 bytes.begin() + static_cast<std::ptrdiff_t>(start + size));
}

// The info partition backups in a directory.
inline std::vector<std::filesystem::path> InfoBackups(const std::filesystem::path& directory)
{
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.path().filename().string().starts_with("info_backup_")) {
            found.push_back(entry.path());
        }
    }
    return found;
}

}  // namespace usb3e2e
