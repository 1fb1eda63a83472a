#include "zvcam_emu/usb3_cli.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "sne_record.h"

namespace zvcam_emu {
namespace {

template <class T>
T Number(const std::string& what, std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument("bad number for " + what + ": '" + std::string(text) + "'");
    }
    return value;
}

std::string Hex(std::uint32_t v, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, v);
    return text;
}

zvemu::Usb3Memory MemoryNamed(const std::string& name)
{
    if (const auto memory = zvemu::Usb3MemoryByName(name)) {
        return *memory;
    }
    throw std::invalid_argument("MEMORY is spi, cpu2, cpu3, cpu4 or mcu1, not '" + name + "'");
}

constexpr const char* kFlags[] = {"--public", "--bare", "--ccd"};
constexpr const char* kValued[] = {
    "--usb3",  "--controller-version", "--speed",         "--mcu-bus",     "--info-format",        "--older-serial",
    "--flags", "--stm32-version",      "--fpga-register", "--c51-version", "--c51-eeprom-version", "--xmlman-word"};

}  // namespace

std::optional<Usb3AddOptions> TakeUsb3Options(std::vector<std::string>& args)
{
    std::map<std::string, std::string> given;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        const bool flag = std::find(std::begin(kFlags), std::end(kFlags), name) != std::end(kFlags);
        const bool valued = std::find(std::begin(kValued), std::end(kValued), name) != std::end(kValued);
        if (!flag && !valued) {
            rest.push_back(name);
            if (i + 1 < args.size()) {
                rest.push_back(args[++i]);  // the other options' values stay with them
            }
            continue;
        }
        if (valued && i + 1 >= args.size()) {
            throw std::invalid_argument(name + " needs a value");
        }
        if (!given.emplace(name, valued ? args[++i] : "1").second) {
            throw std::invalid_argument(name + " given twice");
        }
    }
    args = std::move(rest);
    if (given.empty()) {
        return std::nullopt;
    }
    auto opt = [&](const char* name) -> std::optional<std::string> {
        const auto it = given.find(name);
        return it == given.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    if (!opt("--usb3")) {
        throw std::invalid_argument(given.begin()->first + " belongs to --usb3 GEN");
    }
    Usb3AddOptions options;
    zvemu::Usb3Seed& seed = options.seed;
    zvemu::Usb3Face& face = seed.face;
    face.generation = Number<int>("--usb3", *opt("--usb3"));
    if (face.generation < 0 || face.generation > 4) {
        throw std::invalid_argument("--usb3 takes a generation 0 to 4");
    }
    if (auto v = opt("--controller-version")) {
        const auto dot = v->find('.');
        if (dot == std::string::npos) {
            throw std::invalid_argument("--controller-version wants MAJOR.MINOR");
        }
        face.controllerMajor = Number<std::uint8_t>("--controller-version", std::string_view(*v).substr(0, dot));
        face.controllerMinor = Number<std::uint8_t>("--controller-version", std::string_view(*v).substr(dot + 1));
    }
    if (auto v = opt("--speed")) {
        if (*v != "high" && *v != "super") {
            throw std::invalid_argument("--speed is high or super");
        }
        face.highSpeed = *v == "high";
    }
    if (auto v = opt("--mcu-bus")) {
        if (*v != "stm32" && *v != "c2") {
            throw std::invalid_argument("--mcu-bus is stm32 or c2");
        }
        face.c2Bus = *v == "c2";
    }
    face.publicClass = opt("--public").has_value() || opt("--bare").has_value();
    face.bare = opt("--bare").has_value();
    face.ccd = opt("--ccd").has_value();
    if (auto v = opt("--info-format")) {
        seed.infoFormat = Number<std::uint32_t>("--info-format", *v);
        if (seed.infoFormat < 1 || seed.infoFormat > 3) {
            throw std::invalid_argument("--info-format is 1, 2 or 3");
        }
    }
    if (auto v = opt("--older-serial")) {
        seed.olderSerialNumber = Number<std::uint32_t>("--older-serial", *v);
        options.olderSerial = true;
    }
    if (auto v = opt("--flags")) {
        seed.flags = Number<std::uint32_t>("--flags", *v);
    }
    if (auto v = opt("--stm32-version")) {
        face.stm32Version = Number<std::uint16_t>("--stm32-version", *v);
    }
    if (auto v = opt("--fpga-register")) {
        face.fpgaVersion = Number<std::uint32_t>("--fpga-register", *v);
    }
    if (auto v = opt("--c51-version")) {
        seed.c51Version = Number<std::uint16_t>("--c51-version", *v);
    }
    if (auto v = opt("--c51-eeprom-version")) {
        seed.c51EepromVersion = Number<std::uint16_t>("--c51-eeprom-version", *v);
    }
    if (auto v = opt("--xmlman-word")) {
        seed.xmlmanVersion = Number<std::uint32_t>("--xmlman-word", *v);
    }
    return options;
}

zvemu::Usb3Seed Usb3SeedFor(const zvemu::CameraRecord& record, const Usb3AddOptions& options)
{
    zvemu::Usb3Seed seed = options.seed;
    if (options.olderSerial) {
        seed.sneRecord.fill(0xFF);  // an unprogrammed record: the older form
        return seed;
    }
    SNERecord sne;
    if (record.serial.size() != kSneTextLength || DecodeSNE(record.serial, sne) != 0 || CheckSNE(sne) != 0) {
        throw std::invalid_argument("the serial '" + record.serial +
                                    "' is not in the current 12-character form: give --older-serial N");
    }
    seed.sneRecord = sne.ToBytes();
    return seed;
}

std::string Usb3ListText(const zvemu::StateDir& dir, const std::string& id)
{
    const auto face = zvemu::LoadUsb3Face(dir, id);
    if (!face) {
        return {};
    }
    return "  usb3 gen " + std::to_string(face->generation) + " " + (face->publicClass ? "public" : "maker") + " " +
           std::to_string(face->controllerMajor) + "." + std::to_string(face->controllerMinor) + " " +
           (face->highSpeed ? "high" : "super") + (face->bare ? " bare" : "");
}

void ShowUsb3(const zvemu::StateDir& dir, const std::string& id, const zvemu::CameraRecord& record, std::ostream& out)
{
    const auto face = zvemu::LoadUsb3Face(dir, id);
    if (!face) {
        return;
    }
    auto row = [&](const std::string& key, const std::string& value) {
        out << "    " << key << std::string(key.size() < 20 ? 20 - key.size() : 1, ' ') << value << "\n";
    };
    out << "  usb3:\n";
    row("generation", std::to_string(face->generation));
    row("interface class", face->publicClass ? "public" : "maker");
    row("interface path", zvemu::Usb3InterfacePath(dir, id, record, *face));
    row("location", record.locPath);
    row("controller", std::to_string(face->controllerMajor) + "." + std::to_string(face->controllerMinor) +
                          (face->bare ? " (bare, no firmware)" : ""));
    row("speed", face->highSpeed ? "high (512-byte packets)" : "super (1024-byte packets)");
    row("ccd", face->ccd ? "yes" : "no");
    row("mcu bus", face->c2Bus ? "c2" : "stm32");
    row("stm32 version", Hex(face->stm32Version, 4));
    row("fpga register", Hex(face->fpgaVersion, 8));
    for (const char* name : {"spi", "cpu2", "cpu3", "cpu4", "mcu1"}) {
        const auto memory = *zvemu::Usb3MemoryByName(name);
        row(std::string("memory ") + name, std::string(zvemu::Usb3MemoryFile(memory)) + ", " +
                                               std::to_string(zvemu::Usb3MemorySize(memory, face->generation)) +
                                               " bytes");
    }
    const auto info = zvemu::ReadUsb3Memory(dir, id, zvemu::Usb3Memory::Spi, zvemu::kUsb3InfoAddress, 300);
    auto le32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (std::size_t i = 4; i-- > 0;) {
            v = (v << 8) | info[at + i];
        }
        return v;
    };
    row("info format", std::to_string(le32(0)));
    row("device flags", Hex(le32(288), 8));
    std::array<std::uint8_t, 8> sne{};
    std::copy(info.begin() + 292, info.begin() + 300, sne.begin());
    const SNERecord record8 = SNERecord::FromBytes(sne);
    row("serial", CheckSNE(record8) == 0 ? EncodeSNE(record8) : "older form " + Hex(le32(12), 8));
}

int ReadMemory(const zvemu::StateDir& dir, const std::string& id, const std::vector<std::string>& args,
               std::ostream& out)
{
    if (args.size() != 4) {
        throw std::invalid_argument("read takes INDEX MEMORY OFFSET LENGTH OUTFILE");
    }
    const auto memory = MemoryNamed(args[0]);
    const auto bytes = zvemu::ReadUsb3Memory(dir, id, memory, Number<std::uint64_t>("OFFSET", args[1]),
                                             Number<std::uint64_t>("LENGTH", args[2]));
    std::ofstream file(args[3], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + args[3]);
    }
    out << args[0] << ": " << bytes.size() << " bytes written to " << args[3] << "\n";
    return 0;
}

int WriteMemory(const zvemu::StateDir& dir, const std::string& id, const std::vector<std::string>& args,
                std::ostream& out)
{
    if (args.size() != 3) {
        throw std::invalid_argument("write takes INDEX MEMORY OFFSET INFILE");
    }
    const auto memory = MemoryNamed(args[0]);
    std::ifstream file(args[2], std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot open " + args[2]);
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    zvemu::WriteUsb3Memory(dir, id, memory, Number<std::uint64_t>("OFFSET", args[1]), bytes);
    out << args[0] << ": " << bytes.size() << " bytes stored in camera\n";
    return 0;
}

}  // namespace zvcam_emu
