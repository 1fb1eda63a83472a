#include "zvemu/usb3_face.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "mapped_file.h"

namespace zvemu {
namespace {

constexpr std::uint32_t kKiB = 1024;
constexpr std::uint32_t kMiB = 1024 * 1024;

// Flash map entries (start, size) 0 to 8 of each generation, as the camera
// leaves the factory with them.
using FlashMap = std::array<std::array<std::uint32_t, 2>, 9>;

// Generations 0 and 2 share one layout.
constexpr FlashMap kFirstGenerationMap{{{0, 0x400000},
                                        {0, 0x40000},
                                        {0x40000, 0x10000},
                                        {0x50000, 0x10000},
                                        {0x60000, 0xA0000},
                                        {0x100000, 0x100000},
                                        {0x200000, 0x40000},
                                        {0x240000, 0xA0000},
                                        {0, 0}}};

constexpr std::array<FlashMap, 5> kFlashMaps{{
    kFirstGenerationMap,
    // generation 1: twice the flash, large FPGA bitstreams sharing one region
    {{{0, 0x800000},
      {0, 0x40000},
      {0x40000, 0x10000},
      {0x50000, 0x10000},
      {0x60000, 0x300000},
      {0x360000, 0x200000},
      {0x560000, 0x80000},
      {0x60000, 0x300000},
      {0, 0}}},
    kFirstGenerationMap,
    // generation 3: no second FPGA
    {{{0, 0x400000},
      {0, 0x40000},
      {0x40000, 0x10000},
      {0x50000, 0x10000},
      {0x60000, 0xA0000},
      {0x100000, 0x200000},
      {0x300000, 0x40000},
      {0, 0},
      {0, 0}}},
    // generation 4: no FPGA bitstream in the flash
    {{{0, 0x400000},
      {0, 0x40000},
      {0x40000, 0x10000},
      {0x50000, 0x10000},
      {0, 0},
      {0x60000, 0x1A0000},
      {0x200000, 0x80000},
      {0, 0},
      {0x280000, 0x10000}}},
}};

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i) {
        bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

template <class T>
T Number(std::string_view key, std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        throw std::runtime_error("usb3.txt: bad number for " + std::string(key) + ": " + std::string(text));
    }
    return value;
}

bool Flag(std::string_view key, std::string_view text)
{
    if (text == "0" || text == "1") {
        return text == "1";
    }
    throw std::runtime_error("usb3.txt: " + std::string(key) + " is 0 or 1");
}

std::string Hex(std::uint32_t v, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, v);
    return text;
}

std::filesystem::path MemoryPath(const StateDir& dir, const std::string& id, Usb3Memory memory)
{
    return dir.Root() / id / Usb3MemoryFile(memory);
}

// FNV-1a of a text, for bytes that differ between cameras.
std::uint32_t Digest(std::string_view text, std::uint32_t seed = 2166136261u)
{
    std::uint32_t h = seed;
    for (const char ch : text) {
        h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
    }
    return h;
}

std::optional<std::vector<std::uint8_t>> ReadFaceFile(const std::filesystem::path& path)
{
    // Streams open a path in its own encoding (UTF-16 on Windows), so any
    // state directory works.
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::size_t Usb3MemorySize(Usb3Memory memory, int generation)
{
    switch (memory) {
    case Usb3Memory::Spi:
        return generation == 1 ? 8 * kMiB : 4 * kMiB;
    case Usb3Memory::Cpu2:
        return 512 * kKiB;
    case Usb3Memory::Cpu3:
    case Usb3Memory::Cpu4:
        return 64 * kKiB;
    case Usb3Memory::Mcu1:
        return 8 * kKiB;
    }
    return 0;
}

const char* Usb3MemoryFile(Usb3Memory memory)
{
    switch (memory) {
    case Usb3Memory::Spi:
        return "spi.bin";
    case Usb3Memory::Cpu2:
        return "cpu2.bin";
    case Usb3Memory::Cpu3:
        return "cpu3.bin";
    case Usb3Memory::Cpu4:
        return "cpu4.bin";
    case Usb3Memory::Mcu1:
        return "mcu1.bin";
    }
    return "";
}

std::optional<Usb3Memory> Usb3MemoryByName(std::string_view name)
{
    static constexpr std::pair<std::string_view, Usb3Memory> kNames[] = {{"spi", Usb3Memory::Spi},
                                                                         {"cpu2", Usb3Memory::Cpu2},
                                                                         {"cpu3", Usb3Memory::Cpu3},
                                                                         {"cpu4", Usb3Memory::Cpu4},
                                                                         {"mcu1", Usb3Memory::Mcu1}};
    for (const auto& [text, memory] : kNames) {
        if (text == name) {
            return memory;
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> Usb3FlashMapDescriptor(int generation)
{
    if (generation < 0 || generation > 4) {
        return {};
    }
    std::vector<std::uint8_t> descriptor(96, 0);
    Put32(descriptor, 0, 1);
    Put32(descriptor, 4, 96);
    const FlashMap& map = kFlashMaps[static_cast<std::size_t>(generation)];
    for (std::size_t entry = 0; entry < map.size(); ++entry) {
        Put32(descriptor, 8 + 8 * entry, map[entry][0]);
        Put32(descriptor, 12 + 8 * entry, map[entry][1]);
    }
    return descriptor;
}

std::string SerializeUsb3Face(const Usb3Face& f)
{
    std::string out;
    auto line = [&](std::string_view key, const std::string& value) {
        out.append(key).append("=").append(value).append("\n");
    };
    line("generation", std::to_string(f.generation));
    line("class", f.publicClass ? "public" : "maker");
    line("bare", f.bare ? "1" : "0");
    line("controller", std::to_string(f.controllerMajor) + "." + std::to_string(f.controllerMinor));
    line("speed", f.highSpeed ? "high" : "super");
    line("ccd", f.ccd ? "1" : "0");
    line("mcu_bus", f.c2Bus ? "c2" : "stm32");
    line("stm32_version", Hex(f.stm32Version, 4));
    line("fpga_version", Hex(f.fpgaVersion, 8));
    if (!f.usb3Path.empty()) {
        line("path", f.usb3Path);
    }
    if (!f.instance.empty()) {
        line("instance", f.instance);
    }
    return out;
}

Usb3Face ParseUsb3Face(std::string_view text)
{
    Usb3Face f;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            throw std::runtime_error("usb3.txt: line without '=': " + std::string(line));
        }
        const auto key = line.substr(0, eq);
        const auto value = line.substr(eq + 1);
        if (key == "generation") {
            f.generation = Number<int>(key, value);
        } else if (key == "class") {
            if (value != "public" && value != "maker") {
                throw std::runtime_error("usb3.txt: class is public or maker");
            }
            f.publicClass = value == "public";
        } else if (key == "bare") {
            f.bare = Flag(key, value);
        } else if (key == "controller") {
            const auto dot = value.find('.');
            if (dot == std::string_view::npos) {
                throw std::runtime_error("usb3.txt: controller is MAJOR.MINOR");
            }
            f.controllerMajor = Number<std::uint8_t>(key, value.substr(0, dot));
            f.controllerMinor = Number<std::uint8_t>(key, value.substr(dot + 1));
        } else if (key == "speed") {
            if (value != "high" && value != "super") {
                throw std::runtime_error("usb3.txt: speed is high or super");
            }
            f.highSpeed = value == "high";
        } else if (key == "ccd") {
            f.ccd = Flag(key, value);
        } else if (key == "mcu_bus") {
            if (value != "stm32" && value != "c2") {
                throw std::runtime_error("usb3.txt: mcu_bus is stm32 or c2");
            }
            f.c2Bus = value == "c2";
        } else if (key == "stm32_version") {
            f.stm32Version = Number<std::uint16_t>(key, value);
        } else if (key == "fpga_version") {
            f.fpgaVersion = Number<std::uint32_t>(key, value);
        } else if (key == "path") {
            f.usb3Path = value;
        } else if (key == "instance") {
            f.instance = value;
        } else {
            throw std::runtime_error("usb3.txt: unknown key " + std::string(key));
        }
    }
    if (f.generation < 0 || f.generation > 4) {
        throw std::runtime_error("usb3.txt: generation is 0 to 4");
    }
    return f;
}

std::optional<Usb3Face> LoadUsb3Face(const StateDir& dir, const std::string& id)
{
    const auto bytes = dir.ReadSmallFile(std::filesystem::path(id) / "usb3.txt", ReadFaceFile);
    if (!bytes) {
        return std::nullopt;
    }
    return ParseUsb3Face(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

void SaveUsb3Face(const StateDir& dir, const std::string& id, const Usb3Face& face)
{
    // Written beside, then renamed over: a reader sees the old or the new face.
    const auto path = dir.Root() / id / "usb3.txt";
    auto temp = path;
    temp += ".tmp";
    const std::string text = SerializeUsb3Face(face);
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + temp.string());
    }
    std::filesystem::rename(temp, path);
}

std::string Usb3InterfacePath(const StateDir& dir, const std::string& id, const CameraRecord& record,
                              const Usb3Face& face)
{
    if (!face.usb3Path.empty()) {
        return face.usb3Path;
    }
    std::error_code ec;
    auto root = std::filesystem::weakly_canonical(dir.Root(), ec);
    if (ec) {
        root = dir.Root();
    }
    // The folder as every system spells it (no drive, '/' between names), so
    // a program on Windows (or under wine) and the tools here derive the same
    // path for the same camera.
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", Digest(root.relative_path().generic_string() + "/" + id));
    const std::string_view guid =
        face.publicClass ? "{ae18aa60-7f6a-11d4-97dd-00010229b959}" : "{4b7e21c9-3a5d-4f08-b6e2-91d07c5a3e64}";
    return "\\\\?\\usb#vid_20f7&pid_3001#" + record.serial + "&" + tag + "#" + std::string(guid);
}

std::vector<std::uint8_t> ReadUsb3Memory(const StateDir& dir, const std::string& id, Usb3Memory memory,
                                         std::uint64_t offset, std::uint64_t length)
{
    const auto face = LoadUsb3Face(dir, id);
    if (!face) {
        throw std::runtime_error("camera " + id + " has no USB3 face");
    }
    const std::size_t size = Usb3MemorySize(memory, face->generation);
    if (offset > size || length > size - offset) {
        throw std::runtime_error(std::string(Usb3MemoryFile(memory)) + " holds " + std::to_string(size) + " bytes");
    }
    MappedFile file(MemoryPath(dir, id, memory), size);
    return {file.data() + offset, file.data() + offset + length};
}

void WriteUsb3Memory(const StateDir& dir, const std::string& id, Usb3Memory memory, std::uint64_t offset,
                     std::span<const std::uint8_t> bytes)
{
    const auto face = LoadUsb3Face(dir, id);
    if (!face) {
        throw std::runtime_error("camera " + id + " has no USB3 face");
    }
    const std::size_t size = Usb3MemorySize(memory, face->generation);
    if (offset > size || bytes.size() > size - offset) {
        throw std::runtime_error(std::string(Usb3MemoryFile(memory)) + " holds " + std::to_string(size) + " bytes");
    }
    MappedFile file(MemoryPath(dir, id, memory), size);
    std::copy(bytes.begin(), bytes.end(), file.data() + offset);
}

void AddUsb3Face(const StateDir& dir, const std::string& id, const CameraRecord& record, const Usb3Seed& seed)
{
    Usb3Face face = seed.face;
    std::random_device random;
    face.instance = std::to_string(random()) + std::to_string(random());
    if (face.generation < 0 || face.generation > 4) {
        throw std::runtime_error("the USB3 generation is 0 to 4");
    }
    if (seed.infoFormat < 1 || seed.infoFormat > 3) {
        throw std::runtime_error("the info partition format is 1, 2 or 3");
    }
    for (auto memory : {Usb3Memory::Spi, Usb3Memory::Cpu2, Usb3Memory::Cpu3, Usb3Memory::Cpu4, Usb3Memory::Mcu1}) {
        MappedFile::Create(MemoryPath(dir, id, memory), Usb3MemorySize(memory, face.generation), 0xFF);
    }
    SaveUsb3Face(dir, id, face);
    const FlashMap& map = kFlashMaps[static_cast<std::size_t>(face.generation)];
    const std::uint32_t unique = Digest(record.serial);

    // SPI flash: the controller's boot image carrying its version, the flash
    // map, the info partition, the FPGA image and the XML manifest.
    std::vector<std::uint8_t> cpu1(0x20, 0);
    cpu1[0] = 'C';
    cpu1[1] = 'Y';
    cpu1[2] = 0x1C;
    cpu1[3] = 0xB0;
    Put32(cpu1, 4, 4);           // section of 4 words
    Put32(cpu1, 8, 0x40000000);  // at the start of RAM
    Put32(cpu1, 0x10,
          static_cast<std::uint32_t>(face.controllerMinor) | (static_cast<std::uint32_t>(face.controllerMajor) << 8));
    WriteUsb3Memory(dir, id, Usb3Memory::Spi, map[1][0], cpu1);
    WriteUsb3Memory(dir, id, Usb3Memory::Spi, kUsb3DescriptorAddress, Usb3FlashMapDescriptor(face.generation));

    std::vector<std::uint8_t> info(1024, 0);
    for (std::size_t i = 0; i < info.size(); i += 4) {
        Put32(info, i, Digest(std::to_string(i), unique));  // bytes unique to the camera
    }
    Put32(info, 0, seed.infoFormat);
    Put32(info, 4, seed.infoFormat == 3 ? Digest("word4", unique) : 304);
    Put32(info, 12, seed.olderSerialNumber);
    Put32(info, 288, seed.flags);
    for (std::size_t i = 0; i < 8; ++i) {
        info[292 + i] = seed.sneRecord[i];
    }
    WriteUsb3Memory(dir, id, Usb3Memory::Spi, kUsb3InfoAddress, info);

    if (map[4][1] != 0) {
        std::vector<std::uint8_t> fpga(0x20, 0);
        Put32(fpga, 0x10, face.fpgaVersion);
        WriteUsb3Memory(dir, id, Usb3Memory::Spi, map[4][0], fpga);
    }
    std::vector<std::uint8_t> xmlman(72, ' ');
    Put32(xmlman, 8, seed.xmlmanVersion);
    WriteUsb3Memory(dir, id, Usb3Memory::Spi, map[6][0], xmlman);

    // The MCUs: the STM32 image with its version, the C51 flash and EEPROM
    // versions.
    std::vector<std::uint8_t> stm32(0x20, 0);
    stm32[0x10] = static_cast<std::uint8_t>(face.stm32Version);
    stm32[0x11] = static_cast<std::uint8_t>(face.stm32Version >> 8);
    WriteUsb3Memory(dir, id, Usb3Memory::Cpu2, 0, stm32);
    std::vector<std::uint8_t> c51(9, 0);
    Put32(c51, 5, seed.c51Version);
    WriteUsb3Memory(dir, id, Usb3Memory::Cpu3, 0, c51);
    std::vector<std::uint8_t> eeprom(4, 0);
    Put32(eeprom, 0, seed.c51EepromVersion);
    WriteUsb3Memory(dir, id, Usb3Memory::Cpu4, 0xFC0E, eeprom);
}

}  // namespace zvemu
