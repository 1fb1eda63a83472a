// The parameters of the emulated camera API: one table row per parameter
// with its type, scope, limits and behaviour.

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>

#include "emulator.h"

namespace zvemu {
namespace {

enum class Scope {
    Library,  // the library's own settings: the null handle works too
    Camera    // needs an open handle of a present camera
};

struct ParamDef;
using Getter = int32_t (*)(Call&, const ParamDef&, uint32_t requested, Value&);
using Setter = int32_t (*)(Call&, const ParamDef&, const Value&);
using Limits = void (*)(Call&, int64_t& min, int64_t& max, int64_t& inc);

struct ParamDef {
    std::string_view name;
    ParamKind kind;
    Scope scope;
    Getter get;  // null: write-only
    Setter set;  // null: read-only
    int64_t min = 0, max = 0, inc = 1;
    Limits limits = nullptr;  // limits that depend on the camera
    bool bytes = false;       // string transfers of exact bytes, no terminator
};

constexpr const char* kLibraryVersion = "01.00.00.00";
constexpr const char* kDriverVersion = "01.00.00.00";

int64_t AsInt(const Value& v)
{
    return std::get<int64_t>(v);
}

// --- library-wide settings -------------------------------------------------

int32_t& LibrarySetting(Call& c, const ParamDef& d)
{
    if (d.name == "cam_enum_golden_enabled") {
        return c.emu.camEnumGoldenEnabled;
    }
    if (d.name == "cam_sensor_init_disabled") {
        return c.emu.camSensorInitDisabled;
    }
    return c.emu.autoBandwidthCalculation;
}
int32_t GetLibrarySetting(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    out = int64_t{LibrarySetting(c, d)};
    return ZV_OK;
}
int32_t SetLibrarySetting(Call& c, const ParamDef& d, const Value& in)
{
    LibrarySetting(c, d) = static_cast<int32_t>(AsInt(in));
    return ZV_OK;
}
int32_t GetLibraryVersion(Call&, const ParamDef& d, uint32_t, Value& out)
{
    out = std::string(d.name == "api_version" ? kLibraryVersion : kDriverVersion);
    return ZV_OK;
}

// --- identity and versions -------------------------------------------------

int32_t GetExist(Call& c, const ParamDef&, uint32_t, Value& out)
{
    out = int64_t{c.Vanished(c.cameraId) ? 0 : 1};
    return ZV_OK;
}
int32_t GetIdentity(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    const CameraRecord& r = c.Camera();
    if (d.name == "device_name") {
        out = r.model;
    } else if (d.name == "device_sn") {
        out = c.EffectiveSerial(c.cameraId, r);
    } else if (d.name == "device_id") {
        out = r.deviceId;
    } else if (d.name == "device_inst_path") {
        out = r.instPath;
    } else if (d.name == "device_loc_path") {
        out = r.locPath;
    } else if (d.name == "device_user_id") {
        out = r.userId;
    } else {
        out = int64_t{r.modelId};  // "device_model_id"
    }
    return ZV_OK;
}
int32_t GetCameraVersion(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    out = c.Camera().Version(d.name);
    return ZV_OK;
}
// "version" answers what "version_selector" chose, in ZV_VER_* order.
constexpr std::array<std::string_view, 9> kVersionBySelector = {
    "api_version",   "drv_version",    "version_mcu1", "version_mcu2",       "version_mcu3",
    "version_fpga1", "version_xmlman", "hw_revision",  "factory_set_version"};
int32_t GetSelectedVersion(Call& c, const ParamDef&, uint32_t, Value& out)
{
    const auto which = kVersionBySelector.at(static_cast<size_t>(c.hs->versionSelector));
    if (which == "api_version") {
        out = std::string(kLibraryVersion);
    } else if (which == "drv_version") {
        out = std::string(kDriverVersion);
    } else {
        out = c.Camera().Version(which);
    }
    return ZV_OK;
}

// --- per-handle selectors --------------------------------------------------

int32_t& HandleInt(Call& c, const ParamDef& d)
{
    if (d.name == "version_selector") {
        return c.hs->versionSelector;
    }
    if (d.name == "led_selector") {
        return c.hs->ledSelector;
    }
    if (d.name == "device_unit_selector") {
        return c.hs->unitSelector;
    }
    return c.hs->registerSelector;  // "device_unit_register_selector"
}
int32_t GetHandleInt(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    out = int64_t{HandleInt(c, d)};
    return ZV_OK;
}
int32_t SetHandleInt(Call& c, const ParamDef& d, const Value& in)
{
    HandleInt(c, d) = static_cast<int32_t>(AsInt(in));
    return ZV_OK;
}
void LedSelectorLimits(Call& c, int64_t& min, int64_t& max, int64_t& inc)
{
    min = 1;
    max = c.Camera().ledCount;
    inc = 1;
}

// --- LEDs, reset and device-unit registers --------------------------------

int32_t GetLedMode(Call& c, const ParamDef&, uint32_t, Value& out)
{
    const auto& modes = c.Camera().ledModes;
    auto it = modes.find(c.hs->ledSelector);
    out = int64_t{it == modes.end() ? 0 : it->second};
    return ZV_OK;
}
int32_t SetLedMode(Call& c, const ParamDef&, const Value& in)
{
    if (c.hs->ledSelector < 1 || c.hs->ledSelector > c.Camera().ledCount) {
        return ZV_PARAM_VALUE_CANNOT_BE_SET;
    }
    c.Camera().ledModes[c.hs->ledSelector] = static_cast<int>(AsInt(in));
    c.SaveCamera();
    return ZV_OK;
}
int32_t SetReset(Call& c, const ParamDef&, const Value& in)
{
    return AsInt(in) == 1 ? ResetCamera(c) : ZV_OK;
}

std::pair<uint32_t, uint32_t> SelectedRegister(Call& c)
{
    return {static_cast<uint32_t>(c.hs->unitSelector), static_cast<uint32_t>(c.hs->registerSelector)};
}
int32_t GetRegister(Call& c, const ParamDef&, uint32_t, Value& out)
{
    const auto& regs = c.Camera().registers;
    auto it = regs.find(SelectedRegister(c));
    if (it == regs.end()) {
        return ZV_READ_REG_ERROR;
    }
    out = int64_t{static_cast<int32_t>(it->second)};
    return ZV_OK;
}
int32_t SetRegister(Call& c, const ParamDef&, const Value& in)
{
    auto& regs = c.Camera().registers;
    auto it = regs.find(SelectedRegister(c));
    if (it == regs.end()) {
        return ZV_WRITE_REG_ERROR;
    }
    it->second = static_cast<uint32_t>(AsInt(in));
    c.SaveCamera();
    return ZV_OK;
}

// --- flash file system -----------------------------------------------------

int32_t GetAccessKey(Call& c, const ParamDef&, uint32_t, Value& out)
{
    out = int64_t{static_cast<int32_t>(c.hs->accessKey)};
    return ZV_OK;
}
int32_t SetAccessKey(Call& c, const ParamDef&, const Value& in)
{
    c.hs->accessKey = static_cast<uint32_t>(AsInt(in));
    return ZV_OK;
}
int32_t GetFileName(Call& c, const ParamDef&, uint32_t, Value& out)
{
    out = c.hs->ffsName;
    return ZV_OK;
}
int32_t SetFileName(Call& c, const ParamDef&, const Value& in)
{
    const auto& name = std::get<std::string>(in);
    if (!IsValidFfsName(name)) {
        return ZV_FFS_FILE_SELECTOR_INVALID;
    }
    c.hs->ffsName = name;
    c.hs->ffsOffset = 0;  // a new file starts at its beginning
    return ZV_OK;
}
int32_t GetOffset(Call& c, const ParamDef&, uint32_t, Value& out)
{
    out = int64_t{c.hs->ffsOffset};
    return ZV_OK;
}
int32_t SetOffset(Call& c, const ParamDef&, const Value& in)
{
    c.hs->ffsOffset = static_cast<uint32_t>(AsInt(in));
    return ZV_OK;
}
int32_t GetFileSize(Call& c, const ParamDef&, uint32_t, Value& out)
{
    int64_t size = 0;
    if (int32_t rc = FfsFileSize(c, size)) {
        return rc;
    }
    out = size;
    return ZV_OK;
}
int32_t GetReadFile(Call& c, const ParamDef&, uint32_t requested, Value& out)
{
    std::string bytes;
    if (int32_t rc = FfsRead(c, requested, bytes)) {
        return rc;
    }
    out = std::move(bytes);
    return ZV_OK;
}
int32_t SetWriteFile(Call& c, const ParamDef&, const Value& in)
{
    return FfsWrite(c, std::get<std::string>(in));
}
int32_t SetProgressCallback(Call& c, const ParamDef&, const Value&)
{
    // The value is the address of a ZV_PROGRESS_CALLBACK, sent with size 0.
    if (c.rawSize != 0) {
        return ZV_WRONG_PARAM_SIZE;
    }
    c.hs->progress = reinterpret_cast<ZV_PROGRESS_CALLBACK>(const_cast<void*>(c.rawValue));
    return ZV_OK;
}
int32_t GetFfsSpace(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    const uint64_t used = FfsUsedBytes(c);
    const uint64_t capacity = c.Camera().ffsCapacity;
    out = static_cast<int64_t>(d.name == "used_ffs_size" ? used : (used > capacity ? 0 : capacity - used));
    return ZV_OK;
}
void FfsSpaceLimits(Call& c, int64_t& min, int64_t& max, int64_t& inc)
{
    min = 0;
    max = static_cast<int64_t>(c.Camera().ffsCapacity);
    inc = 1;
}

using K = ParamKind;
using S = Scope;
constexpr int64_t kI32Min = INT32_MIN, kI32Max = INT32_MAX;

const ParamDef kParams[] = {
    // name                          kind      scope       get                 set                  min      max      inc
    {"cam_enum_golden_enabled", K::Int, S::Library, GetLibrarySetting, SetLibrarySetting, 0, 1, 1},
    {"cam_sensor_init_disabled", K::Int, S::Library, GetLibrarySetting, SetLibrarySetting, 0, 1, 1},
    {"auto_bandwidth_calculation", K::Int, S::Library, GetLibrarySetting, SetLibrarySetting, 0, 1, 1},
    {"api_version", K::String, S::Library, GetLibraryVersion, nullptr},
    {"drv_version", K::String, S::Library, GetLibraryVersion, nullptr},
    {"isexist", K::Int, S::Camera, GetExist, nullptr, 0, 1, 1},
    {"device_name", K::String, S::Camera, GetIdentity, nullptr},
    {"device_sn", K::String, S::Camera, GetIdentity, nullptr},
    {"device_id", K::String, S::Camera, GetIdentity, nullptr},
    {"device_inst_path", K::String, S::Camera, GetIdentity, nullptr},
    {"device_loc_path", K::String, S::Camera, GetIdentity, nullptr},
    {"device_user_id", K::String, S::Camera, GetIdentity, nullptr},
    {"device_model_id", K::Int, S::Camera, GetIdentity, nullptr, 0, kI32Max, 1},
    {"version_selector", K::Int, S::Camera, GetHandleInt, SetHandleInt, ZV_VER_API, ZV_VER_FACTORY_SET, 1},
    {"version", K::String, S::Camera, GetSelectedVersion, nullptr},
    {"version_mcu1", K::String, S::Camera, GetCameraVersion, nullptr},
    {"version_mcu2", K::String, S::Camera, GetCameraVersion, nullptr},
    {"version_mcu3", K::String, S::Camera, GetCameraVersion, nullptr},
    {"version_fpga1", K::String, S::Camera, GetCameraVersion, nullptr},
    {"version_xmlman", K::String, S::Camera, GetCameraVersion, nullptr},
    {"hw_revision", K::String, S::Camera, GetCameraVersion, nullptr},
    {"factory_set_version", K::String, S::Camera, GetCameraVersion, nullptr},
    {"led_selector", K::Int, S::Camera, GetHandleInt, SetHandleInt, 1, 5, 1, LedSelectorLimits},
    {"led_mode", K::Int, S::Camera, GetLedMode, SetLedMode, 0, 9, 1},
    {"device_reset", K::Int, S::Camera, nullptr, SetReset, 0, 1, 1},
    {"device_unit_selector", K::Int, S::Camera, GetHandleInt, SetHandleInt, 0, 15, 1},
    {"device_unit_register_selector", K::Int, S::Camera, GetHandleInt, SetHandleInt, 0, 255, 1},
    {"device_unit_register_value", K::Int, S::Camera, GetRegister, SetRegister, kI32Min, kI32Max, 1},
    {"ffs_access_key", K::Int, S::Camera, GetAccessKey, SetAccessKey, kI32Min, kI32Max, 1},
    {"ffs_file_name", K::String, S::Camera, GetFileName, SetFileName},
    {"ffs_file_offset", K::Int, S::Camera, GetOffset, SetOffset, 0, kI32Max, 1},
    {"ffs_file_size", K::Int, S::Camera, GetFileSize, nullptr, 0, kI32Max, 1},
    {"read_file_ffs", K::String, S::Camera, GetReadFile, nullptr, 0, 0, 1, nullptr, true},
    {"write_file_ffs", K::String, S::Camera, nullptr, SetWriteFile, 0, 0, 1, nullptr, true},
    {"api_progress_callback", K::String, S::Camera, nullptr, SetProgressCallback},
    {"used_ffs_size", K::Raw, S::Camera, GetFfsSpace, nullptr, 0, 0, 1, FfsSpaceLimits},
    {"free_ffs_size", K::Raw, S::Camera, GetFfsSpace, nullptr, 0, 0, 1, FfsSpaceLimits},
};

enum class Limit {
    None,
    Min,
    Max,
    Inc
};

const ParamDef* Find(std::string_view name)
{
    for (const auto& d : kParams) {
        if (d.name == name) {
            return &d;
        }
    }
    return nullptr;
}

// Splits "name:min" and the like.
std::string_view Base(std::string_view param, Limit& limit)
{
    limit = Limit::None;
    const auto colon = param.rfind(':');
    if (colon == std::string_view::npos) {
        return param;
    }
    const auto suffix = param.substr(colon + 1);
    if (suffix == "min") {
        limit = Limit::Min;
    } else if (suffix == "max") {
        limit = Limit::Max;
    } else if (suffix == "inc") {
        limit = Limit::Inc;
    } else {
        return param;
    }
    return param.substr(0, colon);
}

// Handle rules shared by gets and sets.
int32_t CheckTarget(Call& c, const ParamDef& d)
{
    if (c.staleHandle) {
        return ZV_INVALID_HANDLE;
    }
    if (d.scope == Scope::Camera) {
        if (!c.hs) {
            return ZV_INVALID_HANDLE;
        }
        if (c.Vanished(c.cameraId) && d.name != "isexist") {
            return ZV_DEVICE_NOT_READY;
        }
    }
    return ZV_OK;
}

bool KindFits(ParamKind want, ParamKind have)
{
    if (want == have) {
        return true;
    }
    return want == ParamKind::Raw && have == ParamKind::Int;  // 64-bit reads of int parameters
}

void LimitsOf(Call& c, const ParamDef& d, int64_t& min, int64_t& max, int64_t& inc)
{
    min = d.min;
    max = d.max;
    inc = d.inc;
    if (d.limits) {
        d.limits(c, min, max, inc);
    }
}

}  // namespace

bool IsByteParam(const char* param)
{
    if (!param) {
        return false;
    }
    const ParamDef* d = Find(param);
    return d && d->bytes;
}

int32_t GetParamValue(Call& c, const char* param, ParamKind want, uint32_t requested, Value& out)
{
    if (!param) {
        return ZV_INVALID_ARG;
    }
    Limit limit;
    const ParamDef* d = Find(Base(param, limit));
    if (!d) {
        return ZV_UNKNOWN_PARAM;
    }
    if (int32_t rc = CheckTarget(c, *d)) {
        return rc;
    }
    if (limit != Limit::None) {
        if (d->kind == ParamKind::String || !d->get) {
            return ZV_PARAM_INFO_NOT_SUPPORTED;
        }
        if (!KindFits(want, d->kind)) {
            return ZV_WRONG_PARAM_TYPE;
        }
        int64_t min, max, inc;
        LimitsOf(c, *d, min, max, inc);
        out = limit == Limit::Min ? min : limit == Limit::Max ? max : inc;
        return ZV_OK;
    }
    if (!d->get) {
        return ZV_PARAM_NOT_SUPPORTED;
    }
    if (!KindFits(want, d->kind)) {
        return ZV_WRONG_PARAM_TYPE;
    }
    return d->get(c, *d, requested, out);
}

int32_t SetParamValue(Call& c, const char* param, ParamKind given, const Value& in)
{
    if (!param) {
        return ZV_INVALID_ARG;
    }
    Limit limit;
    const ParamDef* d = Find(Base(param, limit));
    if (!d) {
        return ZV_UNKNOWN_PARAM;
    }
    if (int32_t rc = CheckTarget(c, *d)) {
        return rc;
    }
    if (limit != Limit::None || !d->set) {
        return ZV_READ_ONLY_PARAM;
    }
    if (given != d->kind) {
        return ZV_WRONG_PARAM_TYPE;
    }
    if (d->kind == ParamKind::Int) {
        int64_t min, max, inc;
        LimitsOf(c, *d, min, max, inc);
        const int64_t v = std::get<int64_t>(in);
        if (v < min || v > max) {
            return ZV_PARAM_VALUE_CANNOT_BE_SET;
        }
    }
    return d->set(c, *d, in);
}

}  // namespace zvemu
