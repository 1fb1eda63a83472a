#pragma once

// What an emulated camera is, as kept in its folder of the state directory:
// identity, version texts, keys, LEDs and device-unit registers. The files
// of its flash file system are kept beside it (see StateDir).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace zvemu {

inline constexpr uint32_t kEepromKey = 0x3C91E5A7u;
inline constexpr uint32_t kDefaultAccessKey = 0x6B2F08D4u;
inline constexpr uint32_t kEepromSize = 0x10000;       // "File_EEPROM1" is always this long
inline constexpr uint32_t kFirmwareOkOffset = 0x22;    // firmware-ok byte of a CPU image
inline constexpr uint8_t kFirmwareUnconfirmed = 0xFF;  // written, not yet started
inline constexpr uint8_t kFirmwareConfirmed = 0xA5;    // started after a reset
inline constexpr uint64_t kDefaultFfsCapacity = 64ull << 20;
inline constexpr size_t kMaxFfsNameLength = 64;
inline constexpr uint32_t kDefaultSensorWidth = 1280;
inline constexpr uint32_t kDefaultSensorHeight = 1024;
// Sensor sizes a camera may have: widths in steps of 4, heights of 2.
inline constexpr uint32_t kMinSensorWidth = 16, kMaxSensorWidth = 16384;
inline constexpr uint32_t kMinSensorHeight = 2, kMaxSensorHeight = 16384;

// The version texts a camera carries, by parameter name. The library's own
// versions ("api_version", "drv_version") are not the camera's.
inline constexpr std::string_view kCameraVersionParams[] = {"version_mcu1",       "version_mcu2",   "version_mcu3",
                                                            "version_fpga1",      "version_xmlman", "hw_revision",
                                                            "factory_set_version"};

struct CameraRecord {
    std::string model;                            // "device_name"
    std::string serial;                           // "device_sn"
    std::string deviceId;                         // "device_id"
    int32_t modelId = 0;                          // "device_model_id"
    std::string instPath;                         // "device_inst_path", opened with ZV_OPEN_BY_INST_PATH
    std::string locPath;                          // "device_loc_path"
    std::string userId;                           // "device_user_id"
    std::map<std::string, std::string> versions;  // keys from kCameraVersionParams
    // The MCU that runs the model's CPU firmware: its file is "File_FW_CPU<n>",
    // its version "version_mcu<n>" and its device unit 5 + n.
    int cpu = 1;
    uint32_t accessKey = kDefaultAccessKey;                       // firmware and data files
    uint32_t specialKey = 0;                                      // partition, full flash, factory user set
    int ledCount = 3;                                             // "led_selector" runs from 1 to this
    std::map<int, int> ledModes;                                  // "led_mode" per LED; 0 when never set
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> registers;  // (unit, register) -> value
    uint64_t ffsCapacity = kDefaultFfsCapacity;
    // The sensor: its full size in pixels ("width" runs up to sensorWidth
    // less "offsetX", in steps of 4; "height" up to sensorHeight less
    // "offsetY", in steps of 2) and the features the model has. A parameter
    // of a feature the model lacks answers "Parameter is not supported".
    uint32_t sensorWidth = kDefaultSensorWidth;
    uint32_t sensorHeight = kDefaultSensorHeight;
    bool color = false;    // colour sensor: white balance, colour management and correction
    bool cooling = false;  // cooled sensor: cooling and target temperature
    bool lens = false;     // controlled lens
    bool tof = false;      // time-of-flight sensor

    std::string CpuFileName() const { return "File_FW_CPU" + std::to_string(cpu); }
    std::string CpuVersionParam() const { return "version_mcu" + std::to_string(cpu); }
    uint32_t CpuUnit() const { return 5u + static_cast<uint32_t>(cpu); }
    std::string Version(std::string_view param) const;
};

// The camera family decides which MCU runs the CPU firmware: 2 for "JR"
// models, 1 for every other.
int CpuOfModel(std::string_view model);

// A fresh camera of the model with every default filled in; index makes the
// serial, paths and ids unique among the cameras of one state directory.
CameraRecord DefaultCamera(std::string_view model, unsigned index);

// The key that guards the partition, full-flash and factory user-set files
// when none was given: derived from the serial, so cameras differ.
uint32_t DefaultSpecialKey(std::string_view serial);

// Text form of the record, one "key=value" per line. Parse throws
// std::runtime_error on a line it cannot read.
std::string Serialize(const CameraRecord& record);
CameraRecord Parse(std::string_view text);

// Whether a sensor size is one a camera may have.
bool IsValidSensorSize(uint32_t width, uint32_t height);

// Whether a value may be stored (no line breaks or NULs).
bool IsStorableText(std::string_view text);

}  // namespace zvemu
