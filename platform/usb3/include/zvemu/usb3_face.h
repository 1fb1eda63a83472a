#pragma once

// The USB3 face of an emulated camera: a camera of the state directory that
// the emulated USB3 driver also shows (its camera-API face, identity and
// operation log stay in camera.txt and ffs/). Kept beside camera.txt:
//   usb3.txt        the settings below, one "key=value" per line
//   spi.bin         the controller's SPI flash (4 MiB; 8 MiB in generation 1)
//   cpu2.bin        the STM32 flash (CPU2/CPU5), 512 KiB, seen at 0x8000000
//   cpu3.bin        the C51 MCU's flash (CPU3), 64 KiB
//   cpu4.bin        the C51 MCU's EEPROM (CPU4), 64 KiB
//   mcu1.bin        the C2 MCU's flash (MCU1), 8 KiB
// The memories are mapped files: every write the device makes lands in the
// file at once, so a process killed mid-way leaves exactly what was written.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zvemu/camera_record.h"
#include "zvemu/state_dir.h"

namespace zvemu {

enum class Usb3Memory {
    Spi,
    Cpu2,
    Cpu3,
    Cpu4,
    Mcu1
};

struct Usb3Face {
    int generation = 0;                // camera generation 0 to 4 (flash map)
    bool publicClass = false;          // enumerated in the public driver's class, else the maker's
    bool bare = false;                 // a controller without firmware: takes a boot image into RAM
    std::uint8_t controllerMajor = 5;  // controller firmware version, as answered to 0xC0
    std::uint8_t controllerMinor = 2;
    bool highSpeed = false;               // 512-byte bulk packets (else 1024)
    bool ccd = false;                     // CCD model: the C51 boot loader needs the global erase
    bool c2Bus = false;                   // the MCU programming requests reach the C2 MCU (MCU1), else the STM32
    std::uint16_t stm32Version = 0x0100;  // running STM32 version, major in the high byte
    std::uint32_t fpgaVersion = 0x0100;   // FPGA version register
    std::string usb3Path;                 // interface path; empty: derived (see Usb3InterfacePath)
    std::string instance;                 // set when the face is made: tells a remade camera from the old one

    // Which request family the controller firmware speaks.
    enum class Family {
        Old,
        Middle,
        New
    };
    // Asked at every request of the flash engine: kept inline.
    Family ControllerFamily() const
    {
        if (controllerMajor < 2 || (controllerMajor == 2 && controllerMinor <= 6)) {
            return Family::Old;
        }
        if (controllerMajor > 4 || (controllerMajor == 4 && controllerMinor > 33)) {
            return Family::New;
        }
        return Family::Middle;
    }
};

// A new USB3 face: its settings and what its memories are seeded with.
struct Usb3Seed {
    Usb3Face face;
    // The info partition's serial: the 8-byte serial-number record (all 0xFF
    // for a camera of the older form) and the older form's u32 at offset 12.
    std::array<std::uint8_t, 8> sneRecord{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::uint32_t olderSerialNumber = 0;
    std::uint32_t infoFormat = 3;              // info partition format 1, 2 or 3
    std::uint32_t flags = 0;                   // device flags word of the info partition
    std::uint16_t c51Version = 0x0100;         // CPU3: flash bytes 5 (minor) and 6 (major)
    std::uint16_t c51EepromVersion = 0x0100;   // CPU4: EEPROM bytes 0xFC0E (minor) and 0xFC0F (major)
    std::uint32_t xmlmanVersion = 0x01000000;  // XMLMAN bytes 8-11: u16 build, minor, major
};

std::size_t Usb3MemorySize(Usb3Memory memory, int generation);
const char* Usb3MemoryFile(Usb3Memory memory);
std::optional<Usb3Memory> Usb3MemoryByName(std::string_view name);  // spi, cpu2, cpu3, cpu4, mcu1

// Text form of usb3.txt; Parse throws std::runtime_error.
std::string SerializeUsb3Face(const Usb3Face& face);
Usb3Face ParseUsb3Face(std::string_view text);

std::optional<Usb3Face> LoadUsb3Face(const StateDir& dir, const std::string& id);
void SaveUsb3Face(const StateDir& dir, const std::string& id, const Usb3Face& face);
// Gives camera `id` a USB3 face: writes usb3.txt and every memory, seeded
// with the generation's flash map descriptor, the info partition (format,
// serial, flags, bytes unique to the camera) and version-carrying images.
// Throws std::runtime_error on a bad setting.
void AddUsb3Face(const StateDir& dir, const std::string& id, const CameraRecord& record, const Usb3Seed& seed);

// The interface path the driver shows: usb3Path when set, else one made of the
// camera's serial and a tag of the state directory (so separate state
// directories never share a device lock).
std::string Usb3InterfacePath(const StateDir& dir, const std::string& id, const CameraRecord& record,
                              const Usb3Face& face);

// Whole-memory access for tools and tests (through the same mapped files).
std::vector<std::uint8_t> ReadUsb3Memory(const StateDir& dir, const std::string& id, Usb3Memory memory,
                                         std::uint64_t offset, std::uint64_t length);
void WriteUsb3Memory(const StateDir& dir, const std::string& id, Usb3Memory memory, std::uint64_t offset,
                     std::span<const std::uint8_t> bytes);

// The flash map descriptor of a generation (96 bytes); empty for an unknown one.
std::vector<std::uint8_t> Usb3FlashMapDescriptor(int generation);
inline constexpr std::uint32_t kUsb3DescriptorAddress = 0x40000;
inline constexpr std::uint32_t kUsb3InfoAddress = 0x50000;

}  // namespace zvemu
