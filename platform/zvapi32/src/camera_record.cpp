#include "zvemu/camera_record.h"

#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace zvemu {
namespace {

std::string Hex32(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

template <class T>
bool ParseNumber(std::string_view text, T& out)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) {
        return false;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && end == text.data() + text.size();
}

template <class T>
T NumberOrThrow(std::string_view key, std::string_view text)
{
    T value{};
    if (!ParseNumber(text, value)) {
        throw std::runtime_error("camera.txt: bad number for " + std::string(key) + ": " + std::string(text));
    }
    return value;
}

// "a.b" -> (a, b)
std::pair<uint32_t, uint32_t> SplitPair(std::string_view key, std::string_view text)
{
    const auto dot = text.find('.');
    if (dot == std::string_view::npos) {
        throw std::runtime_error("camera.txt: bad key " + std::string(key));
    }
    return {NumberOrThrow<uint32_t>(key, text.substr(0, dot)), NumberOrThrow<uint32_t>(key, text.substr(dot + 1))};
}

bool Flag(std::string_view key, std::string_view text)
{
    if (text != "0" && text != "1") {
        throw std::runtime_error("camera.txt: " + std::string(key) + " must be 0 or 1");
    }
    return text == "1";
}

bool IsCameraVersion(std::string_view key)
{
    for (auto v : kCameraVersionParams) {
        if (v == key) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string CameraRecord::Version(std::string_view param) const
{
    auto it = versions.find(std::string(param));
    return it == versions.end() ? std::string() : it->second;
}

int CpuOfModel(std::string_view model)
{
    return model.substr(0, 2) == "JR" ? 2 : 1;
}

uint32_t DefaultSpecialKey(std::string_view serial)
{
    uint32_t h = 2166136261u;  // FNV-1a
    for (const char ch : serial) {
        h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
    }
    return h ^ 0x5A17C0DEu;
}

CameraRecord DefaultCamera(std::string_view model, unsigned index)
{
    CameraRecord r;
    r.model = std::string(model);
    // A serial in the current 12-character form: five base32 letters, four
    // digits (the first pair never 00) and three base32hex digits.
    char serial[32];
    std::snprintf(serial, sizeof serial, "ZVEMU%02u%02u0A0", 21 + (index / 100) % 79, index % 100);
    r.serial = serial;
    char text[128];
    std::snprintf(text, sizeof text, "ZVEMU-DEV-%04u", index);
    r.deviceId = text;
    uint32_t id = 2166136261u;
    for (const char ch : model) {
        id = (id ^ static_cast<unsigned char>(ch)) * 16777619u;
    }
    r.modelId = static_cast<int32_t>(0x1000 + id % 0xF000);
    r.instPath = "\\\\?\\usb#vid_20f7&pid_3001#" + r.serial + "#{zvemu}";
    std::snprintf(text, sizeof text, "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(%u)", index + 1);
    r.locPath = text;
    r.userId = "";
    r.cpu = CpuOfModel(model);
    r.versions = {{"version_mcu1", "01.00"},     {"version_mcu2", "01.00"},   {"version_mcu3", "01.00"},
                  {"version_fpga1", "01.00"},    {"version_xmlman", "01.00"}, {"hw_revision", "A"},
                  {"factory_set_version", "1.0"}};
    r.accessKey = kDefaultAccessKey;
    r.specialKey = DefaultSpecialKey(r.serial);
    // The CPU's bootloader: register 0 its version, register 1 the auxiliary one.
    r.registers[{r.CpuUnit(), 0}] = 0x30161;
    r.registers[{r.CpuUnit(), 1}] = 0;
    return r;
}

bool IsValidSensorSize(uint32_t width, uint32_t height)
{
    return width >= kMinSensorWidth && width <= kMaxSensorWidth && width % 4 == 0 && height >= kMinSensorHeight &&
           height <= kMaxSensorHeight && height % 2 == 0;
}

bool IsStorableText(std::string_view text)
{
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == '\0') {
            return false;
        }
    }
    return true;
}

std::string Serialize(const CameraRecord& r)
{
    std::string out;
    auto line = [&](std::string_view key, std::string_view value) {
        out.append(key).append("=").append(value).append("\n");
    };
    line("model", r.model);
    line("serial", r.serial);
    line("device_id", r.deviceId);
    line("model_id", std::to_string(r.modelId));
    line("inst_path", r.instPath);
    line("loc_path", r.locPath);
    line("user_id", r.userId);
    for (const auto& [key, value] : r.versions) {
        line(key, value);
    }
    line("cpu", std::to_string(r.cpu));
    line("access_key", Hex32(r.accessKey));
    line("special_key", Hex32(r.specialKey));
    line("leds", std::to_string(r.ledCount));
    for (const auto& [led, mode] : r.ledModes) {
        line("led_mode." + std::to_string(led), std::to_string(mode));
    }
    for (const auto& [where, value] : r.registers) {
        line("register." + std::to_string(where.first) + "." + std::to_string(where.second), Hex32(value));
    }
    line("ffs_capacity", std::to_string(r.ffsCapacity));
    line("sensor_width", std::to_string(r.sensorWidth));
    line("sensor_height", std::to_string(r.sensorHeight));
    line("color", r.color ? "1" : "0");
    line("cooling", r.cooling ? "1" : "0");
    line("lens", r.lens ? "1" : "0");
    line("tof", r.tof ? "1" : "0");
    return out;
}

CameraRecord Parse(std::string_view text)
{
    CameraRecord r;
    r.versions.clear();
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            throw std::runtime_error("camera.txt: line without '=': " + std::string(line));
        }
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        if (key == "model") {
            r.model = value;
        } else if (key == "serial") {
            r.serial = value;
        } else if (key == "device_id") {
            r.deviceId = value;
        } else if (key == "model_id") {
            r.modelId = NumberOrThrow<int32_t>(key, value);
        } else if (key == "inst_path") {
            r.instPath = value;
        } else if (key == "loc_path") {
            r.locPath = value;
        } else if (key == "user_id") {
            r.userId = value;
        } else if (IsCameraVersion(key)) {
            r.versions[std::string(key)] = value;
        } else if (key == "cpu") {
            r.cpu = NumberOrThrow<int>(key, value);
        } else if (key == "access_key") {
            r.accessKey = NumberOrThrow<uint32_t>(key, value);
        } else if (key == "special_key") {
            r.specialKey = NumberOrThrow<uint32_t>(key, value);
        } else if (key == "leds") {
            r.ledCount = NumberOrThrow<int>(key, value);
        } else if (key.starts_with("led_mode.")) {
            r.ledModes[NumberOrThrow<int>(key, key.substr(9))] = NumberOrThrow<int>(key, value);
        } else if (key.starts_with("register.")) {
            r.registers[SplitPair(key, key.substr(9))] = NumberOrThrow<uint32_t>(key, value);
        } else if (key == "ffs_capacity") {
            r.ffsCapacity = NumberOrThrow<uint64_t>(key, value);
        } else if (key == "sensor_width") {
            r.sensorWidth = NumberOrThrow<uint32_t>(key, value);
        } else if (key == "sensor_height") {
            r.sensorHeight = NumberOrThrow<uint32_t>(key, value);
        } else if (key == "color") {
            r.color = Flag(key, value);
        } else if (key == "cooling") {
            r.cooling = Flag(key, value);
        } else if (key == "lens") {
            r.lens = Flag(key, value);
        } else if (key == "tof") {
            r.tof = Flag(key, value);
        } else {
            throw std::runtime_error("camera.txt: unknown key " + std::string(key));
        }
    }
    if (r.cpu != 1 && r.cpu != 2) {
        throw std::runtime_error("camera.txt: cpu must be 1 or 2");
    }
    if (r.ledCount < 1 || r.ledCount > 5) {
        throw std::runtime_error("camera.txt: leds must be 1 to 5");
    }
    if (!IsValidSensorSize(r.sensorWidth, r.sensorHeight)) {
        throw std::runtime_error("camera.txt: bad sensor size");
    }
    return r;
}

}  // namespace zvemu
