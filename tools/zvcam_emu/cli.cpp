#include "zvcam_emu/cli.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>

#include "zvcam_emu/eeprom_seed.h"
#include "zvcam_emu/usb3_cli.h"
#include "zvemu/hooks.h"
#include "zvemu/state_dir.h"
#include "zvemu/usb3_hooks.h"

namespace zvcam_emu {
namespace {

using zvemu::CameraRecord;
using zvemu::StateDir;

constexpr const char* kUsage = "usage: zvcam-emu [--dir DIR] COMMAND ...\n"
                               "  add --model NAME [--serial S] [--cpu-version V] [--fpga-version V] [--location L]\n"
                               "      [--path P] [--user-id U] [--device-id D] [--model-id N]\n"
                               "      [--mcu1-version V] [--mcu2-version V] [--mcu3-version V] [--xmlman-version V]\n"
                               "      [--hw-revision V] [--factory-set-version V] [--access-key K] [--special-key K]\n"
                               "      [--leds N] [--bootloader V] [--aux-bootloader V] [--register UNIT:REG=VALUE]\n"
                               "      [--ffs-capacity BYTES] [--eeprom-version S.D] [--sensor WIDTHxHEIGHT]\n"
                               "      [--features LIST]  (LIST: none or some of color,cooling,lens,tof)\n"
                               "      [--usb3 GEN [--controller-version MAJ.MIN] [--speed high|super] [--public]\n"
                               "       [--bare] [--ccd] [--mcu-bus stm32|c2] [--info-format 1|2|3] [--older-serial N]\n"
                               "       [--flags N] [--stm32-version V] [--fpga-register V] [--c51-version V]\n"
                               "       [--c51-eeprom-version V] [--xmlman-word V]]  with a USB3 face (generation 0-4)\n"
                               "                                        adds a camera, prints its index\n"
                               "  list                                  one line per camera\n"
                               "  show INDEX                            everything about one camera\n"
                               "  get INDEX FFSNAME OUTFILE             copies a flash file out of the camera\n"
                               "  put INDEX FFSNAME INFILE              stores a file in the camera's flash\n"
                               "  read INDEX MEMORY OFFSET LENGTH OUTFILE  copies USB3 memory out (spi, cpu2, cpu3,\n"
                               "                                        cpu4, mcu1)\n"
                               "  write INDEX MEMORY OFFSET INFILE      stores a file into USB3 memory\n"
                               "  fault INDEX|all HOOK... | clear       adds (or clears) a test hook\n"
                               "  clear                                 removes every camera and hook\n"
                               "The state directory is DIR, else $ZVAPI_EMULATOR_DIR, else the per-user default.\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Hex32(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

template <class T>
T Number(const std::string& what, const std::string& text)
{
    std::string_view digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    T value{};
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
        throw UsageError("bad number for " + what + ": '" + text + "'");
    }
    return value;
}

std::string Text(const std::string& what, const std::string& text)
{
    if (!zvemu::IsStorableText(text) || text.size() > 255) {
        throw UsageError("bad text for " + what);
    }
    return text;
}

// Index of the camera in the library's order.
std::string CameraIdAt(const StateDir& dir, const std::string& index)
{
    const auto ids = dir.CameraIds();
    const auto i = Number<size_t>("INDEX", index);
    if (i >= ids.size()) {
        throw std::runtime_error("no camera " + index + " (" + std::to_string(ids.size()) + " camera(s) in " +
                                 dir.Root().string() + ")");
    }
    return ids[i];
}

std::vector<uint8_t> ReadLocalFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw std::runtime_error("cannot read " + path);
    }
    return bytes;
}

void WriteLocalFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

// "S.D": the data-structure and mode-defaults versions, decimal, as the
// updater prints and takes them.
DataVersion ParseDataVersion(const std::string& text)
{
    const auto point = text.find('.');
    if (point == std::string::npos) {
        throw UsageError("--eeprom-version wants S.D, got '" + text + "'");
    }
    DataVersion version;
    version.structVersion = Number<uint8_t>("--eeprom-version", text.substr(0, point));
    version.defaultsVersion = Number<uint8_t>("--eeprom-version", text.substr(point + 1));
    return version;
}

// "WIDTHxHEIGHT": the sensor's size in pixels.
void ParseSensor(const std::string& text, CameraRecord& r)
{
    const auto x = text.find('x');
    if (x == std::string::npos) {
        throw UsageError("--sensor wants WIDTHxHEIGHT, got '" + text + "'");
    }
    const auto width = Number<uint32_t>("--sensor", text.substr(0, x));
    const auto height = Number<uint32_t>("--sensor", text.substr(x + 1));
    if (!zvemu::IsValidSensorSize(width, height)) {
        throw UsageError("--sensor: the width must be a multiple of 4 from " + std::to_string(zvemu::kMinSensorWidth) +
                         " to " + std::to_string(zvemu::kMaxSensorWidth) + ", the height a multiple of 2 from " +
                         std::to_string(zvemu::kMinSensorHeight) + " to " + std::to_string(zvemu::kMaxSensorHeight));
    }
    r.sensorWidth = width;
    r.sensorHeight = height;
}

// "none" or a comma-separated list of color, cooling, lens and tof.
void ParseFeatures(const std::string& text, CameraRecord& r)
{
    r.color = r.cooling = r.lens = r.tof = false;
    if (text == "none") {
        return;
    }
    size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        const std::string word = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (word == "color") {
            r.color = true;
        } else if (word == "cooling") {
            r.cooling = true;
        } else if (word == "lens") {
            r.lens = true;
        } else if (word == "tof") {
            r.tof = true;
        } else {
            throw UsageError("--features: unknown feature '" + word + "' (none, or color, cooling, lens, tof)");
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
}

std::string FeatureList(const CameraRecord& r)
{
    std::string list;
    for (const auto& [has, name] : {std::pair{r.color, "color"}, std::pair{r.cooling, "cooling"},
                                    std::pair{r.lens, "lens"}, std::pair{r.tof, "tof"}}) {
        if (has) {
            list.append(list.empty() ? "" : ",").append(name);
        }
    }
    return list.empty() ? "none" : list;
}

void CheckUnique(const StateDir& dir, const CameraRecord& r)
{
    const auto ids = dir.CameraIds();
    for (size_t i = 0; i < ids.size(); ++i) {
        auto other = dir.LoadCamera(ids[i]);
        if (!other) {
            continue;
        }
        auto clash = [&](const std::string& a, const std::string& b, const char* what) {
            if (!a.empty() && a == b) {
                throw std::runtime_error(std::string(what) + " '" + a + "' is used by camera " + std::to_string(i));
            }
        };
        clash(r.serial, other->serial, "serial");
        clash(r.locPath, other->locPath, "location");
        clash(r.instPath, other->instPath, "path");
        clash(r.userId, other->userId, "user id");
    }
}

int Add(const StateDir& dir, std::vector<std::string> args, std::ostream& out)
{
    std::optional<Usb3AddOptions> usb3;
    try {
        usb3 = TakeUsb3Options(args);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
    std::map<std::string, std::string> single;
    std::vector<std::string> registers;
    static const char* const kOptions[] = {
        "--model",        "--serial",         "--cpu-version",    "--fpga-version", "--location",
        "--path",         "--user-id",        "--device-id",      "--model-id",     "--mcu1-version",
        "--mcu2-version", "--mcu3-version",   "--xmlman-version", "--hw-revision",  "--factory-set-version",
        "--access-key",   "--special-key",    "--leds",           "--bootloader",   "--aux-bootloader",
        "--ffs-capacity", "--eeprom-version", "--sensor",         "--features"};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) {
            throw UsageError(name + " needs a value");
        }
        const std::string& value = args[++i];
        if (name == "--register") {
            registers.push_back(value);
            continue;
        }
        if (std::find(std::begin(kOptions), std::end(kOptions), name) == std::end(kOptions)) {
            throw UsageError("unknown option for add: " + name);
        }
        if (!single.emplace(name, value).second) {
            throw UsageError(name + " given twice");
        }
    }
    auto opt = [&](const char* name) -> std::optional<std::string> {
        auto it = single.find(name);
        return it == single.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    const auto model = opt("--model");
    if (!model || model->empty()) {
        throw UsageError("add needs --model NAME");
    }

    const auto index = static_cast<unsigned>(dir.CameraIds().size());
    CameraRecord r = zvemu::DefaultCamera(Text("--model", *model), index);
    if (auto v = opt("--serial")) {
        if (v->empty()) {
            throw UsageError("--serial may not be empty");
        }
        r.serial = Text("--serial", *v);
        r.instPath = "\\\\?\\usb#vid_20f7&pid_3001#" + r.serial + "#{zvemu}";
        r.specialKey = zvemu::DefaultSpecialKey(r.serial);
    }
    if (auto v = opt("--location")) {
        r.locPath = Text("--location", *v);
    }
    if (auto v = opt("--path")) {
        r.instPath = Text("--path", *v);
    }
    if (auto v = opt("--user-id")) {
        r.userId = Text("--user-id", *v);
    }
    if (auto v = opt("--device-id")) {
        r.deviceId = Text("--device-id", *v);
    }
    if (auto v = opt("--model-id")) {
        r.modelId = Number<int32_t>("--model-id", *v);
    }
    static const std::pair<const char*, const char*> kVersions[] = {{"--mcu1-version", "version_mcu1"},
                                                                    {"--mcu2-version", "version_mcu2"},
                                                                    {"--mcu3-version", "version_mcu3"},
                                                                    {"--fpga-version", "version_fpga1"},
                                                                    {"--xmlman-version", "version_xmlman"},
                                                                    {"--hw-revision", "hw_revision"},
                                                                    {"--factory-set-version", "factory_set_version"}};
    for (const auto& [option, param] : kVersions) {
        if (auto v = opt(option)) {
            r.versions[param] = Text(option, *v);
        }
    }
    // The CPU version is that of the MCU running the model's CPU firmware.
    if (auto v = opt("--cpu-version")) {
        r.versions[r.CpuVersionParam()] = Text("--cpu-version", *v);
    } else if (auto cpu = DefaultCpuVersion(r.model); !cpu.empty()) {
        r.versions[r.CpuVersionParam()] = cpu;
    }
    if (auto v = opt("--access-key")) {
        r.accessKey = Number<uint32_t>("--access-key", *v);
    }
    if (auto v = opt("--special-key")) {
        r.specialKey = Number<uint32_t>("--special-key", *v);
    }
    if (auto v = opt("--leds")) {
        r.ledCount = Number<int>("--leds", *v);
        if (r.ledCount < 1 || r.ledCount > 5) {
            throw UsageError("--leds must be 1 to 5");
        }
    }
    if (auto v = opt("--bootloader")) {
        r.registers[{r.CpuUnit(), 0}] = Number<uint32_t>("--bootloader", *v);
    }
    if (auto v = opt("--aux-bootloader")) {
        r.registers[{r.CpuUnit(), 1}] = Number<uint32_t>("--aux-bootloader", *v);
    }
    for (const auto& entry : registers) {
        const auto colon = entry.find(':');
        const auto eq = entry.find('=');
        if (colon == std::string::npos || eq == std::string::npos || eq < colon) {
            throw UsageError("--register wants UNIT:REG=VALUE, got '" + entry + "'");
        }
        r.registers[{Number<uint32_t>("--register", entry.substr(0, colon)),
                     Number<uint32_t>("--register", entry.substr(colon + 1, eq - colon - 1))}] =
            Number<uint32_t>("--register", entry.substr(eq + 1));
    }
    if (auto v = opt("--sensor")) {
        ParseSensor(*v, r);
    }
    if (auto v = opt("--features")) {
        ParseFeatures(*v, r);
    }
    if (auto v = opt("--ffs-capacity")) {
        r.ffsCapacity = Number<uint64_t>("--ffs-capacity", *v);
    }

    // The calibration data, made before the camera exists so that a version
    // the model has no data for adds nothing.
    std::vector<uint8_t> eeprom;
    if (auto v = opt("--eeprom-version")) {
        eeprom = EepromImageAtVersion(r, ParseDataVersion(*v));
    } else {
        eeprom = InitialEepromImage(r);
    }

    std::optional<zvemu::Usb3Seed> usb3Seed;
    if (usb3) {
        try {
            usb3Seed = Usb3SeedFor(r, *usb3);
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
    }

    CheckUnique(dir, r);
    const std::string id = dir.AddCamera(r);
    dir.WriteFfsFile(id, "File_EEPROM1", eeprom);
    if (usb3Seed) {
        zvemu::AddUsb3Face(dir, id, r, *usb3Seed);
    }
    out << index << "\n";
    return 0;
}

int List(const StateDir& dir, std::ostream& out)
{
    const auto ids = dir.CameraIds();
    if (ids.empty()) {
        out << "no cameras in " << dir.Root().string() << "\n";
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        auto r = dir.LoadCamera(ids[i]);
        if (!r) {
            continue;
        }
        out << i << "  " << r->model << "  sn " << r->serial << "  cpu" << r->cpu << " "
            << r->Version(r->CpuVersionParam()) << "  fpga1 " << r->Version("version_fpga1") << "  loc " << r->locPath
            << Usb3ListText(dir, ids[i]) << "\n";
    }
    for (const auto& line : dir.LoadHooks("")) {
        out << "library hook: " << line << "\n";
    }
    return 0;
}

int Show(const StateDir& dir, const std::string& index, std::ostream& out)
{
    const std::string id = CameraIdAt(dir, index);
    auto r = dir.LoadCamera(id);
    if (!r) {
        throw std::runtime_error("camera " + index + " is unreadable");
    }
    auto row = [&](const std::string& key, const std::string& value) {
        out << "  " << key << std::string(key.size() < 22 ? 22 - key.size() : 1, ' ') << value << "\n";
    };
    out << "camera " << index << " (" << (dir.Root() / id).string() << ")\n";
    row("device_name", r->model);
    row("device_sn", r->serial);
    row("device_id", r->deviceId);
    row("device_model_id", std::to_string(r->modelId));
    row("device_inst_path", r->instPath);
    row("device_loc_path", r->locPath);
    row("device_user_id", r->userId);
    for (auto param : zvemu::kCameraVersionParams) {
        row(std::string(param), r->Version(param));
    }
    row("cpu firmware",
        r->CpuFileName() + " (" + r->CpuVersionParam() + ", device unit " + std::to_string(r->CpuUnit()) + ")");
    row("access key", Hex32(r->accessKey));
    row("special key", Hex32(r->specialKey));
    std::string leds = std::to_string(r->ledCount) + " (modes";
    for (int led = 1; led <= r->ledCount; ++led) {
        auto it = r->ledModes.find(led);
        leds.append(" ").append(std::to_string(led)).append("=");
        leds.append(std::to_string(it == r->ledModes.end() ? 0 : it->second));
    }
    row("leds", leds + ")");
    for (const auto& [where, value] : r->registers) {
        row("register " + std::to_string(where.first) + ":" + std::to_string(where.second), Hex32(value));
    }
    row("ffs capacity", std::to_string(r->ffsCapacity));
    row("sensor", std::to_string(r->sensorWidth) + "x" + std::to_string(r->sensorHeight));
    row("features", FeatureList(*r));
    ShowUsb3(dir, id, *r, out);
    out << "  files:\n";
    const auto files = dir.ListFfsFiles(id);
    if (files.empty()) {
        out << "    (none)\n";
    }
    for (const auto& [name, size] : files) {
        out << "    " << name << std::string(name.size() < 24 ? 24 - name.size() : 1, ' ') << size << "\n";
    }
    const auto hooks = dir.LoadHooks(id);
    if (!hooks.empty()) {
        out << "  hooks:\n";
    }
    for (const auto& line : hooks) {
        out << "    " << line << "\n";
    }
    return 0;
}

int Get(const StateDir& dir, const std::string& index, const std::string& name, const std::string& path,
        std::ostream& out)
{
    const std::string id = CameraIdAt(dir, index);
    auto bytes = dir.ReadFfsFile(id, name);
    if (name == "File_EEPROM1") {
        if (!bytes) {
            bytes.emplace();
        }
        bytes->resize(zvemu::kEepromSize, 0xFF);
    }
    if (!bytes) {
        throw std::runtime_error("camera " + index + " has no file " + name);
    }
    WriteLocalFile(path, *bytes);
    out << name << ": " << bytes->size() << " bytes written to " << path << "\n";
    return 0;
}

int Put(const StateDir& dir, const std::string& index, const std::string& name, const std::string& path,
        std::ostream& out)
{
    const std::string id = CameraIdAt(dir, index);
    if (!zvemu::IsValidFfsName(name)) {
        throw UsageError("bad flash file name '" + name + "'");
    }
    const auto bytes = ReadLocalFile(path);
    if (name == "File_EEPROM1" && bytes.size() > zvemu::kEepromSize) {
        throw std::runtime_error("File_EEPROM1 holds at most 65536 bytes");
    }
    dir.WriteFfsFile(id, name, bytes);
    out << name << ": " << bytes.size() << " bytes stored in camera " << index << "\n";
    return 0;
}

int Fault(const StateDir& dir, const std::vector<std::string>& args, std::ostream& out)
{
    if (args.size() < 2) {
        throw UsageError("fault needs INDEX (or all) and a hook, or clear");
    }
    const bool library = args[0] == "all";
    const std::string id = library ? std::string() : CameraIdAt(dir, args[0]);
    if (args.size() == 2 && args[1] == "clear") {
        dir.SaveHooks(id, {});
        out << "hooks cleared\n";
        return 0;
    }
    std::string line;
    for (size_t i = 1; i < args.size(); ++i) {
        line += (i > 1 ? " " : "") + args[i];
    }
    std::string error;
    if (zvemu::IsUsb3HookLine(line)) {
        // The USB3 face's hooks belong to one camera.
        if (!zvemu::ParseUsb3Hook(line, &error)) {
            throw UsageError("bad hook: " + error);
        }
        if (library) {
            throw UsageError("this hook belongs to one camera");
        }
        auto lines = dir.LoadHooks(id);
        lines.push_back(line);
        dir.SaveHooks(id, lines);
        out << "hook added: " << line << "\n";
        return 0;
    }
    auto hook = zvemu::ParseHook(line, &error);
    if (!hook) {
        throw UsageError("bad hook: " + error);
    }
    if (library && !zvemu::HookAllowedLibraryWide(*hook)) {
        throw UsageError("this hook belongs to one camera");
    }
    if (!library && !zvemu::HookAllowedForCamera(*hook)) {
        throw UsageError("this hook is library-wide: use 'all'");
    }
    auto lines = dir.LoadHooks(id);
    lines.push_back(line);
    dir.SaveHooks(id, lines);
    out << "hook added: " << line << "\n";
    return 0;
}

int Clear(const StateDir& dir, std::ostream& out)
{
    const auto count = dir.CameraIds().size();
    dir.RemoveAll();
    out << "removed " << count << " camera(s)\n";
    return 0;
}

}  // namespace

int Run(const std::vector<std::string>& all, std::ostream& out)
{
    std::vector<std::string> args;
    std::optional<std::string> dirOption;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] == "--dir") {
            if (i + 1 >= all.size()) {
                out << "zvcam-emu: --dir needs a directory\n" << kUsage;
                return 1;
            }
            dirOption = all[++i];
        } else {
            args.push_back(all[i]);
        }
    }
    if (args.empty() || args[0] == "help" || args[0] == "--help") {
        out << kUsage;
        return args.empty() ? 1 : 0;
    }
    try {
        const StateDir dir(dirOption ? std::filesystem::path(*dirOption) : StateDir::FromEnvironment());
        const std::string& command = args[0];
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        auto want = [&](size_t n) {
            if (rest.size() != n) {
                throw UsageError(command + " takes " + std::to_string(n) + " argument(s)");
            }
        };
        if (command == "add") {
            return Add(dir, rest, out);
        }
        if (command == "list") {
            return want(0), List(dir, out);
        }
        if (command == "show") {
            return want(1), Show(dir, rest[0], out);
        }
        if (command == "get") {
            return want(3), Get(dir, rest[0], rest[1], rest[2], out);
        }
        if (command == "put") {
            return want(3), Put(dir, rest[0], rest[1], rest[2], out);
        }
        if (command == "read" || command == "write") {
            if (rest.empty()) {
                throw UsageError(command + " needs INDEX MEMORY OFFSET ...");
            }
            const std::string id = CameraIdAt(dir, rest[0]);
            const std::vector<std::string> memoryArgs(rest.begin() + 1, rest.end());
            try {
                return command == "read" ? ReadMemory(dir, id, memoryArgs, out) : WriteMemory(dir, id, memoryArgs, out);
            } catch (const std::invalid_argument& e) {
                throw UsageError(e.what());
            }
        }
        if (command == "fault") {
            return Fault(dir, rest, out);
        }
        if (command == "clear") {
            return want(0), Clear(dir, out);
        }
        throw UsageError("unknown command '" + command + "'");
    } catch (const UsageError& e) {
        out << "zvcam-emu: " << e.what() << "\n" << kUsage;
    } catch (const std::exception& e) {
        out << "zvcam-emu: " << e.what() << "\n";
    }
    return 1;
}

}  // namespace zvcam_emu
