// The parameters of the emulated camera API: one table row per parameter
// string with its type, scope, access, default, limits and behaviour. A
// camera answers like a real one: values out of range or off the step are
// refused (114), geometry and format cannot change while it acquires (121),
// and the parameters of a feature the model lacks are not supported (106).

#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <utility>

#include "emulator.h"

namespace zvemu {
namespace {

enum class Scope {
    Library,  // the library's own settings: the null handle works too
    Camera    // needs an open handle of a present camera
};
enum class Access {
    ReadWrite,
    ReadOnly,
    WriteOnly
};
enum class Feature {
    None,
    Color,
    Cooling,
    Lens,
    Tof
};

struct ParamDef;
using Getter = int32_t (*)(Call&, const ParamDef&, uint32_t requested, Value&);
using Setter = int32_t (*)(Call&, const ParamDef&, const Value&);
using Limits = void (*)(Call&, const ParamDef&, double& min, double& max, double& inc);

// One parameter. A number without a getter of its own answers the value set
// last in this process, else its default; one without a setter of its own
// stores what passes its limits. The limits are min, max and inc unless a
// function gives them for the camera at hand.
struct ParamDef {
    std::string_view name;
    ParamKind kind = ParamKind::Int;
    Scope scope = Scope::Camera;
    Access access = Access::ReadWrite;
    Feature feature = Feature::None;
    double def = 0, min = 0, max = 0, inc = 1;
    bool defaultIsMax = false;        // the default is the camera's maximum (a full-sensor region)
    std::string_view text;            // default of a string
    std::string_view selector;        // the value is kept per value of this parameter
    std::span<const int32_t> values;  // not empty: the only values a set takes
    bool whileStopped = false;        // geometry and format: refused while acquiring
    bool bytes = false;               // string transfers of exact bytes, no terminator
    Getter get = nullptr;
    Setter set = nullptr;
    Limits limits = nullptr;

private:
    // Defined before its callers: clang evaluates the table's constant
    // expressions as it meets them.
    template <class F>
    constexpr ParamDef With(F f) const
    {
        ParamDef d = *this;
        f(d);
        return d;
    }

public:
    constexpr ParamDef Lib() const
    {
        return With([](ParamDef& d) { d.scope = Scope::Library; });
    }
    constexpr ParamDef RO() const
    {
        return With([](ParamDef& d) { d.access = Access::ReadOnly; });
    }
    constexpr ParamDef WO() const
    {
        return With([](ParamDef& d) { d.access = Access::WriteOnly; });
    }
    constexpr ParamDef Needs(Feature f) const
    {
        ParamDef d = *this;
        d.feature = f;
        return d;
    }
    constexpr ParamDef PerValueOf(std::string_view sel) const
    {
        ParamDef d = *this;
        d.selector = sel;
        return d;
    }
    constexpr ParamDef OneOf(std::span<const int32_t> list) const
    {
        ParamDef d = *this;
        d.values = list;
        return d;
    }
    constexpr ParamDef Stopped() const
    {
        return With([](ParamDef& d) { d.whileStopped = true; });
    }
    constexpr ParamDef FullSensor() const
    {
        return With([](ParamDef& d) { d.defaultIsMax = true; });
    }
    constexpr ParamDef Bytes() const
    {
        return With([](ParamDef& d) { d.bytes = true; });
    }
    constexpr ParamDef Get(Getter g) const
    {
        ParamDef d = *this;
        d.get = g;
        return d;
    }
    constexpr ParamDef Set(Setter s) const
    {
        ParamDef d = *this;
        d.set = s;
        return d;
    }
    constexpr ParamDef Lim(Limits l) const
    {
        ParamDef d = *this;
        d.limits = l;
        return d;
    }
};

constexpr ParamDef Int(std::string_view name, double def, double min, double max, double inc = 1)
{
    ParamDef d;
    d.name = name;
    d.kind = ParamKind::Int;
    d.def = def;
    d.min = min;
    d.max = max;
    d.inc = inc;
    return d;
}
constexpr ParamDef Switch(std::string_view name, int def)
{
    return Int(name, def, 0, 1);
}
constexpr ParamDef Float(std::string_view name, double def, double min, double max, double inc)
{
    ParamDef d = Int(name, def, min, max, inc);
    d.kind = ParamKind::Float;
    return d;
}
constexpr ParamDef Text(std::string_view name, std::string_view def = {})
{
    ParamDef d;
    d.name = name;
    d.kind = ParamKind::String;
    d.text = def;
    return d;
}
constexpr ParamDef Raw(std::string_view name)
{
    ParamDef d;
    d.name = name;
    d.kind = ParamKind::Raw;
    return d;
}

constexpr const char* kLibraryVersion = "01.00.00.00";
constexpr const char* kDriverVersion = "01.00.00.00";
constexpr double kI32Max = INT32_MAX;
// The timestamp counts nanoseconds from a start past 32 bits.
constexpr double kTimestampMax = 4611686018427387904.0;  // 2^62
constexpr uint64_t kTimestampStart = 0x1'0000'0000ull;

int64_t AsInt(const Value& v)
{
    return std::get<int64_t>(v);
}

const ParamDef* Find(std::string_view name);
int32_t Read(Call& c, const ParamDef& d, uint32_t requested, Value& out);

std::map<std::string, Value>& Store(Call& c, const ParamDef& d)
{
    if (d.scope == Scope::Library) {
        return c.session->librarySettings;
    }
    return c.session->settings[c.cameraId];
}

// The key a value is kept under: the name, and the selector's value for a
// parameter kept per selector.
std::string Key(Call& c, const ParamDef& d)
{
    std::string key(d.name);
    if (!d.selector.empty()) {
        key.append("@").append(std::to_string(IntSetting(c, std::string(d.selector).c_str())));
    }
    return key;
}

void LimitsOf(Call& c, const ParamDef& d, double& min, double& max, double& inc)
{
    min = d.min;
    max = d.max;
    inc = d.inc;
    if (d.limits) {
        d.limits(c, d, min, max, inc);
    }
}

Value DefaultOf(Call& c, const ParamDef& d)
{
    if (d.kind == ParamKind::String) {
        return std::string(d.text);
    }
    double value = d.def;
    if (d.defaultIsMax) {
        double min, inc;
        LimitsOf(c, d, min, value, inc);
    }
    if (d.kind == ParamKind::Float) {
        return static_cast<float>(value);
    }
    return static_cast<int64_t>(value);
}

int32_t GetStored(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    auto& store = Store(c, d);
    auto it = store.find(Key(c, d));
    out = it == store.end() ? DefaultOf(c, d) : it->second;
    return ZV_OK;
}

int32_t SetStored(Call& c, const ParamDef& d, const Value& in)
{
    Store(c, d)[Key(c, d)] = in;
    return ZV_OK;
}

// Whether a number lies within the limits and on the step (or in the list).
bool Settable(Call& c, const ParamDef& d, double v)
{
    if (!d.values.empty()) {
        for (int32_t allowed : d.values) {
            if (v == allowed) {
                return true;
            }
        }
        return false;
    }
    double min, max, inc;
    LimitsOf(c, d, min, max, inc);
    const double tolerance = inc > 0 ? inc * 1e-4 : 0;
    if (!(v >= min - tolerance && v <= max + tolerance)) {
        return false;
    }
    if (inc <= 0) {
        return true;
    }
    const double steps = (v - min) / inc;
    return std::fabs(steps - std::round(steps)) <= 1e-3;
}

// --- identity, versions and presence -----------------------------------------

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
    } else if (d.name == "device_type") {
        out = std::string("USB3");
    } else if (d.name == "device_sens_sn") {
        out = "S" + r.serial;
    } else if (d.name == "device_manifest") {
        out = "<Manifest model=\"" + r.model + "\" fpga=\"" + r.Version("version_fpga1") + "\"/>";
    } else if (d.name == "sensor_model_id") {
        out = int64_t{(r.modelId & 0xFF) | 0x100};
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

int32_t GetFeature(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    const CameraRecord& r = c.Camera();
    out = int64_t{(d.name == "iscolor" ? r.color : r.cooling) ? 1 : 0};
    return ZV_OK;
}

// Colour cameras carry a Bayer filter (ZV_CFA_BAYER_RGGB), mono ones none.
int32_t GetFilterArray(Call& c, const ParamDef&, uint32_t, Value& out)
{
    out = int64_t{c.Camera().color ? 1 : 0};
    return ZV_OK;
}

// --- per-handle selectors -----------------------------------------------------

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
void LedSelectorLimits(Call& c, const ParamDef&, double& min, double& max, double& inc)
{
    min = 1;
    max = c.Camera().ledCount;
    inc = 1;
}

// --- LEDs, reset, user sets and device-unit registers --------------------------

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

// A reset starts the camera again from its defaults.
int32_t SetReset(Call& c, const ParamDef&, const Value& in)
{
    if (AsInt(in) != 1) {
        return ZV_OK;
    }
    const int32_t rc = ResetCamera(c);
    if (rc == ZV_OK) {
        c.session->settings.erase(c.cameraId);
        c.session->pendingTriggers.erase(c.cameraId);
    }
    return rc;
}

// Loading a user set brings back the camera's defaults; the user-set choice
// itself stays.
int32_t SetUserSetLoad(Call& c, const ParamDef&, const Value& in)
{
    if (AsInt(in) != 1) {
        return ZV_OK;
    }
    auto& settings = c.session->settings[c.cameraId];
    std::erase_if(settings, [](const auto& entry) { return !entry.first.starts_with("user_set_"); });
    return ZV_OK;
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

// A register is named "U<unit>R<register>"; setting the name selects it.
int32_t GetRegisterName(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    const auto [unit, reg] = SelectedRegister(c);
    // Appended piece by piece: a string literal put in front of a temporary
    // string makes GCC 12 warn about an overlapping copy in 32-bit builds.
    std::string name;
    if (d.name == "device_unit_register_selector_desc") {
        name.append("register ").append(std::to_string(reg)).append(" of device unit ").append(std::to_string(unit));
    } else {
        name.append("U").append(std::to_string(unit)).append("R").append(std::to_string(reg));
    }
    out = std::move(name);
    return ZV_OK;
}
int32_t SetRegisterName(Call& c, const ParamDef&, const Value& in)
{
    const auto& name = std::get<std::string>(in);
    unsigned unit = 0, reg = 0;
    char tail = 0;
    if (std::sscanf(name.c_str(), "U%uR%u%c", &unit, &reg, &tail) != 2 || unit > 15 || reg > 255) {
        return ZV_PARAM_VALUE_CANNOT_BE_SET;
    }
    c.hs->unitSelector = static_cast<int32_t>(unit);
    c.hs->registerSelector = static_cast<int32_t>(reg);
    return ZV_OK;
}

// --- flash file system -----------------------------------------------------------

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
// The selected file's place in the camera's listing, from 1; 0 when no file
// of that name exists.
int32_t GetFileId(Call& c, const ParamDef&, uint32_t, Value& out)
{
    int64_t id = 0, place = 0;
    for (const auto& [name, size] : c.dir.ListFfsFiles(c.cameraId)) {
        ++place;
        if (name == c.hs->ffsName) {
            id = place;
        }
    }
    out = id;
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
    // Into the caller's buffer when there is one, else into the value.
    if (c.readBuffer) {
        out = std::string();
        return FfsRead(c, std::span<uint8_t>(static_cast<uint8_t*>(c.readBuffer), requested));
    }
    std::string bytes(requested, '\0');
    if (int32_t rc = FfsRead(c, std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()))) {
        return rc;
    }
    out = std::move(bytes);
    return ZV_OK;
}
int32_t SetWriteFile(Call& c, const ParamDef&, const Value& in)
{
    // Straight from the caller's bytes when the value was not copied.
    if (c.rawValue) {
        return FfsWrite(c, std::span<const uint8_t>(static_cast<const uint8_t*>(c.rawValue), c.rawSize));
    }
    const auto& bytes = std::get<std::string>(in);
    return FfsWrite(c, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
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
void FfsSpaceLimits(Call& c, const ParamDef&, double& min, double& max, double& inc)
{
    min = 0;
    max = static_cast<double>(c.Camera().ffsCapacity);
    inc = 1;
}

// --- image geometry ----------------------------------------------------------------

// The region: "width" and "offsetX" share the sensor's width (steps of 4),
// "height" and "offsetY" its height (steps of 2).
void RegionLimits(Call& c, const ParamDef& d, double& min, double& max, double& inc)
{
    const CameraRecord& r = c.Camera();
    const bool horizontal = d.name == "width" || d.name == "offsetX";
    const double sensor = horizontal ? r.sensorWidth : r.sensorHeight;
    inc = horizontal ? 4 : 2;
    if (d.name == "width" || d.name == "height") {
        min = horizontal ? 16 : 2;
        max = sensor - static_cast<double>(IntSetting(c, horizontal ? "offsetX" : "offsetY"));
    } else {
        min = 0;
        max = sensor - static_cast<double>(IntSetting(c, horizontal ? "width" : "height"));
    }
}

// The regions of auto exposure and white balance lie on the sensor.
void RoiLimits(Call& c, const ParamDef& d, double& min, double& max, double& inc)
{
    const CameraRecord& r = c.Camera();
    const bool horizontal = d.name.ends_with("_x") || d.name.ends_with("_width");
    const double sensor = horizontal ? r.sensorWidth : r.sensorHeight;
    inc = horizontal ? 4 : 2;
    const bool offset = d.name.find("offset") != std::string_view::npos;
    min = offset ? 0 : inc * 4;
    max = offset ? sensor - inc * 4 : sensor;
}

int32_t GetSensorSize(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    const CameraRecord& r = c.Camera();
    out = int64_t{d.name == "width_total" ? r.sensorWidth : r.sensorHeight};
    return ZV_OK;
}
void SensorSizeLimits(Call& c, const ParamDef& d, double& min, double& max, double& inc)
{
    const CameraRecord& r = c.Camera();
    min = max = d.name == "width_total" ? r.sensorWidth : r.sensorHeight;
    inc = 1;
}

int32_t GetPayloadSize(Call& c, const ParamDef&, uint32_t, Value& out)
{
    out = static_cast<int64_t>(CurrentLayout(c).payload);
    return ZV_OK;
}
// Up to a full-sensor image of the largest pixels.
void PayloadLimits(Call& c, const ParamDef&, double& min, double& max, double& inc)
{
    const CameraRecord& r = c.Camera();
    FrameLayout largest;
    LayoutOf(9, r.sensorWidth, r.sensorHeight, largest);  // RGB64
    min = 0;
    max = static_cast<double>(largest.payload);
    inc = 1;
}

// Floating-point data are signed, everything else unsigned.
int32_t GetDataSign(Call& c, const ParamDef&, uint32_t, Value& out)
{
    out = int64_t{IntSetting(c, "imgdataformat") == 16 ? 2 : 0};
    return ZV_OK;
}

// --- readings ------------------------------------------------------------------------

int32_t GetTimestamp(Call& c, const ParamDef&, uint32_t, Value& out)
{
    static const auto start = std::chrono::steady_clock::now();
    (void)c;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    out = static_cast<int64_t>(kTimestampStart + static_cast<uint64_t>(std::chrono::nanoseconds(elapsed).count()));
    return ZV_OK;
}

// Each selectable sensor reads its own value.
int32_t GetReading(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    const std::string selector(d.selector);
    const double which = static_cast<double>(IntSetting(c, selector.c_str()));
    if (d.name == "temp") {
        out = static_cast<float>(35.0 + 1.5 * which);
    } else if (d.name == "probe_value") {
        out = static_cast<float>(3.3 + 0.25 * which);
    } else if (d.name == "acquisition_status") {
        out = int64_t{CameraAcquiring(c) ? 1 : 0};
    } else {
        out = static_cast<int64_t>(static_cast<int64_t>(which) % 2);  // GPI levels: odd ports read high
    }
    return ZV_OK;
}

// The look-up table starts as the identity.
int32_t GetLutValue(Call& c, const ParamDef& d, uint32_t, Value& out)
{
    auto& store = Store(c, d);
    auto it = store.find(Key(c, d));
    out = it == store.end() ? Value{IntSetting(c, "LUTIndex")} : it->second;
    return ZV_OK;
}

// --- commands ------------------------------------------------------------------------

// One frame for each software trigger while acquiring with the software
// trigger as source.
int32_t SetSoftwareTrigger(Call& c, const ParamDef&, const Value& in)
{
    if (AsInt(in) != 1) {
        return ZV_OK;
    }
    if (!CameraAcquiring(c) || IntSetting(c, "trigger_source") != 3) {
        return ZV_PARAM_CONDITIONALLY_NOT_AVAILABLE;
    }
    ++c.session->pendingTriggers[c.cameraId];
    return ZV_OK;
}

// The colour correction matrix goes back to its default (the identity).
int32_t SetMatrixDefault(Call& c, const ParamDef&, const Value& in)
{
    if (AsInt(in) == 1) {
        std::erase_if(c.session->settings[c.cameraId],
                      [](const auto& entry) { return entry.first.starts_with("ccMTX") && entry.first != "ccMTXnorm"; });
    }
    return ZV_OK;
}

// The focus moves by the movement value.
int32_t SetFocusMove(Call& c, const ParamDef&, const Value& in)
{
    if (AsInt(in) != 1) {
        return ZV_OK;
    }
    const ParamDef* distance = Find("lens_focus_distance");
    Value now;
    GetStored(c, *distance, 0, now);
    double moved = std::get<float>(now) + static_cast<double>(IntSetting(c, "lens_focus_movement_value"));
    moved = std::min(std::max(moved, distance->min), distance->max);
    Store(c, *distance)[Key(c, *distance)] = static_cast<float>(moved);
    return ZV_OK;
}

// Value lists of parameters whose values are not evenly spaced.
constexpr int32_t kDownsampling[] = {1, 2, 4};
constexpr int32_t kSensorTaps[] = {1, 2, 4};
constexpr int32_t kBitDepths[] = {8, 10, 12};
constexpr int32_t kDebugLevels[] = {0, 1, 2, 3, 4, 100};
constexpr int32_t kTemperatureElements[] = {11, 12, 31, 32};
constexpr int32_t kChannelCounts[] = {2, 4, 8};
constexpr int32_t kTransportFormats[] = {0x01080001, 0x01100003, 0x01100005};  // Mono8, Mono10, Mono12
constexpr int32_t kUserSets[] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
                                 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 999};

using F = Feature;

// Every parameter string of the camera API, in the wrapper's catalogue order.
// Enumerated values stay within the camera API's enumerations.
constexpr ParamDef kParams[] = {
    // Exposure, gain, image format, auto exposure and white balance.
    Switch("cam_enum_golden_enabled", 0).Lib(),
    Float("exposure", 10000, 10, 1000000, 1).PerValueOf("exposure_time_selector"),  // microseconds
    Int("exposure_time_selector", 0, 0, 4),
    Int("exposure_burst_count", 1, 1, 16),
    Int("gain_selector", 0, 0, 8),
    Float("gain", 0, 0, 24, 0.1).PerValueOf("gain_selector"),  // dB
    Int("downsampling", 1, 1, 4).OneOf(kDownsampling).Stopped(),
    Int("downsampling_type", 0, 0, 1).Stopped(),
    Int("test_pattern_generator_selector", 0, 0, 2),
    Int("test_pattern", 0, 0, 11).PerValueOf("test_pattern_generator_selector"),
    Int("imgdataformat", 0, 0, 18).Stopped(),
    Int("image_data_sign", 0, 0, 2).RO().Get(GetDataSign),
    Int("shutter_type", 0, 0, 2),
    Int("sensor_taps", 1, 1, 4).OneOf(kSensorTaps).Stopped(),
    Switch("aeag", 0),
    Int("aeag_roi_offset_x", 0, 0, 0).Lim(RoiLimits),
    Int("aeag_roi_offset_y", 0, 0, 0).Lim(RoiLimits),
    Int("aeag_roi_width", 0, 0, 0).Lim(RoiLimits).FullSensor(),
    Int("aeag_roi_height", 0, 0, 0).Lim(RoiLimits).FullSensor(),
    Int("bpc_list_selector", 0, 0, 2),
    Text("sens_defects_corr_list_content"),
    Switch("bpc", 1),
    Switch("auto_wb", 0).Needs(F::Color),
    Int("manual_wb", 0, 0, 1).WO().Needs(F::Color),
    Int("wb_roi_offset_x", 0, 0, 0).Lim(RoiLimits).Needs(F::Color),
    Int("wb_roi_offset_y", 0, 0, 0).Lim(RoiLimits).Needs(F::Color),
    Int("wb_roi_width", 0, 0, 0).Lim(RoiLimits).FullSensor().Needs(F::Color),
    Int("wb_roi_height", 0, 0, 0).Lim(RoiLimits).FullSensor().Needs(F::Color),
    Float("wb_kr", 1, 0, 8, 0.01).Needs(F::Color),
    Float("wb_kg", 1, 0, 8, 0.01).Needs(F::Color),
    Float("wb_kb", 1, 0, 8, 0.01).Needs(F::Color),

    // Region, flips, flat-field correction, time of flight, binning and decimation.
    Int("width", 0, 0, 0).Lim(RegionLimits).FullSensor().Stopped(),
    Int("height", 0, 0, 0).Lim(RegionLimits).FullSensor().Stopped(),
    Int("offsetX", 0, 0, 0).Lim(RegionLimits).Stopped(),
    Int("offsetY", 0, 0, 0).Lim(RegionLimits).Stopped(),
    Int("width_total", 0, 0, 0).RO().Get(GetSensorSize).Lim(SensorSizeLimits),
    Int("height_total", 0, 0, 0).RO().Get(GetSensorSize).Lim(SensorSizeLimits),
    Int("region_selector", 0, 0, 7),
    Int("region_mode", 1, 0, 1).PerValueOf("region_selector").Stopped(),
    Int("regions_geometry", 0, 0, 2).RO(),
    Switch("horizontal_flip", 0),
    Switch("vertical_flip", 0),
    Int("interline_exposure_mode", 0, 0, 1),
    Switch("ffc", 0),
    Text("ffc_flat_field_file_name"),
    Text("ffc_dark_field_file_name"),
    Int("tof_readout_mode", 0, 0, 4).Needs(F::Tof),
    Float("tof_modulation_frequency", 20, 10, 100, 0.5).Needs(F::Tof),  // MHz
    Int("tof_multiple_phases_in_buffer", 0, 0, 1).RO().Needs(F::Tof),
    Int("tof_phases_count", 4, 1, 8).Needs(F::Tof),
    Float("tof_phase_angle", 0, 0, 360, 1).PerValueOf("tof_phase_selector").Needs(F::Tof),
    Float("tof_phase_exposure_time", 1000, 10, 100000, 1).PerValueOf("tof_phase_selector").Needs(F::Tof),
    Int("tof_phase_selector", 0, 0, 7).Needs(F::Tof),
    Int("binning_selector", 0, 0, 2),
    Int("binning_vertical_mode", 0, 0, 1).PerValueOf("binning_selector"),
    Int("binning_vertical", 1, 1, 4).PerValueOf("binning_selector").Stopped(),
    Float("binning_vertical_float", 1, 1, 4, 0.5).PerValueOf("binning_selector").Stopped(),
    Int("binning_horizontal_mode", 0, 0, 1).PerValueOf("binning_selector"),
    Int("binning_horizontal", 1, 1, 4).PerValueOf("binning_selector").Stopped(),
    Float("binning_horizontal_float", 1, 1, 4, 0.5).PerValueOf("binning_selector").Stopped(),
    Int("binning_horizontal_pattern", 1, 1, 2).PerValueOf("binning_selector"),
    Int("binning_vertical_pattern", 1, 1, 2).PerValueOf("binning_selector"),
    Int("decimation_selector", 0, 0, 2),
    Int("decimation_vertical", 1, 1, 8).PerValueOf("decimation_selector").Stopped(),
    Int("decimation_horizontal", 1, 1, 8).PerValueOf("decimation_selector").Stopped(),
    Int("decimation_horizontal_pattern", 1, 1, 2).PerValueOf("decimation_selector"),
    Int("decimation_vertical_pattern", 1, 1, 2).PerValueOf("decimation_selector"),

    // Auto exposure limits, bandwidth, bit depth, temperature and colour.
    Float("exp_priority", 0.8, 0, 1, 0.01),
    Float("ag_max_limit", 24, 0, 24, 0.1),
    Int("ae_max_limit", 200000, 10, 1000000),
    Int("aeag_level", 40, 0, 100),
    Int("aeag_skip_frames_count", 4, 0, 255),
    Int("limit_bandwidth", 2400, 100, 3000),  // Mbit/s
    Int("limit_bandwidth_mode", 0, 0, 1),
    Float("sensor_line_period", 10, 2, 1000, 0.01),  // microseconds
    Int("sensor_bit_depth", 10, 8, 12).OneOf(kBitDepths).Stopped(),
    Int("output_bit_depth", 8, 8, 12).OneOf(kBitDepths).Stopped(),
    Int("image_data_bit_depth", 8, 8, 12).OneOf(kBitDepths).Stopped(),
    Switch("output_bit_packing", 0),
    Int("output_bit_packing_type", 0, 0, 1),
    Int("iscooled", 0, 0, 1).RO().Get(GetFeature),
    Int("cooling", 0, 0, 1).Needs(F::Cooling),
    Float("target_temp", 10, -10, 40, 0.5).Needs(F::Cooling),  // degrees Celsius
    Int("temp_selector", 0, 0, 8),
    Float("temp", 0, -40, 120, 0.1).RO().PerValueOf("temp_selector").Get(GetReading),
    Int("device_temperature_ctrl_mode", 0, 0, 2).Needs(F::Cooling),
    Float("chip_temp", 42.5, -40, 120, 0.1).RO(),
    Float("hous_temp", 38, -40, 120, 0.1).RO(),
    Float("hous_back_side_temp", 37.5, -40, 120, 0.1).RO(),
    Float("sensor_board_temp", 40, -40, 120, 0.1).RO(),
    Int("device_temperature_element_sel", 11, 11, 32).OneOf(kTemperatureElements),
    Float("device_temperature_element_val", 25, -40, 120, 0.1).PerValueOf("device_temperature_element_sel"),
    Int("cms", 0, 0, 2).Needs(F::Color),
    Int("cms_intent", 0, 0, 3).Needs(F::Color),
    Switch("apply_cms", 0).Needs(F::Color),
    Text("input_cms_profile", "sRGB.icc").Needs(F::Color),
    Text("output_cms_profile", "sRGB.icc").Needs(F::Color),
    Int("iscolor", 0, 0, 1).RO().Get(GetFeature),
    Int("cfa", 0, 0, 14).RO().Get(GetFilterArray),
    Float("gammaY", 1, 0.3, 1, 0.01),
    Float("gammaC", 0, 0, 1, 0.01).Needs(F::Color),
    Float("sharpness", 0, -4, 4, 0.1),
    Float("ccMTX00", 1, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX01", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX02", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX03", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX10", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX11", 1, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX12", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX13", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX20", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX21", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX22", 1, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX23", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX30", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX31", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX32", 0, -8, 8, 0.01).Needs(F::Color),
    Float("ccMTX33", 1, -8, 8, 0.01).Needs(F::Color),
    Int("defccMTX", 0, 0, 1).WO().Needs(F::Color).Set(SetMatrixDefault),
    Switch("ccMTXnorm", 0).Needs(F::Color),

    // Trigger, inputs and outputs, lens and device information.
    Int("trigger_source", 0, 0, 5),
    Int("trigger_software", 0, 0, 1).WO().Set(SetSoftwareTrigger),
    Int("trigger_selector", 0, 0, 7),
    Int("trigger_overlap", 0, 0, 2),
    Int("acq_frame_burst_count", 1, 1, 255),
    Raw("timestamp").RO().Get(GetTimestamp).Lim([](Call&, const ParamDef&, double& min, double& max, double& inc) {
        min = 0;
        max = kTimestampMax;
        inc = 1;
    }),
    Int("gpi_selector", 1, 1, 4),
    Int("gpi_mode", 0, 0, 2).PerValueOf("gpi_selector"),
    Int("gpi_level", 0, 0, 1).RO().PerValueOf("gpi_selector").Get(GetReading),
    Int("gpi_level_at_image_exp_start", 0, 0, 1).RO().PerValueOf("gpi_selector").Get(GetReading),
    Int("gpi_level_at_image_exp_end", 0, 0, 1).RO().PerValueOf("gpi_selector").Get(GetReading),
    Int("gpi_level_at_image_readout_end", 0, 0, 1).RO().PerValueOf("gpi_selector").Get(GetReading),
    Int("gpo_selector", 1, 1, 4),
    Int("gpo_mode", 0, 0, 18).PerValueOf("gpo_selector"),
    Int("metadata_sampling_mode", 0, 0, 4),
    Int("led_selector", 1, 1, 5).Get(GetHandleInt).Set(SetHandleInt).Lim(LedSelectorLimits),
    Int("led_mode", 0, 0, 9).Get(GetLedMode).Set(SetLedMode),
    Switch("dbnc_en", 0),
    Int("dbnc_t0", 0, 0, 1000),  // microseconds
    Int("dbnc_t1", 0, 0, 1000),
    Int("dbnc_pol", 0, 0, 1),
    Switch("lens_mode", 0).Needs(F::Lens),
    Float("lens_aperture_value", 2.8, 1.4, 22, 0.1).Needs(F::Lens),
    Int("lens_aperture_index", 0, 0, 15).Needs(F::Lens),
    Int("lens_focus_movement_value", 0, -1000, 1000).Needs(F::Lens),
    Int("lens_focus_move", 0, 0, 1).WO().Needs(F::Lens).Set(SetFocusMove),
    Float("lens_focus_distance", 1000, 100, 100000, 1).RO().Needs(F::Lens),  // millimetres
    Float("lens_focal_length", 25, 25, 25, 0.1).RO().Needs(F::Lens),
    Int("lens_feature_selector", 1, 1, 6).Needs(F::Lens),
    Float("lens_feature", 0, 0, 1, 1).PerValueOf("lens_feature_selector").Needs(F::Lens),
    Text("lens_comm_data").RO().Needs(F::Lens),
    Text("lens_model_name", "ZV-L25F1.4").RO().Needs(F::Lens),
    Text("lens_serial_number", "L000142").RO().Needs(F::Lens),
    Text("device_name").RO().Get(GetIdentity),
    Text("device_type").RO().Get(GetIdentity),
    Int("device_model_id", 0, 0, kI32Max).RO().Get(GetIdentity),
    Int("sensor_model_id", 0, 0, kI32Max).RO().Get(GetIdentity),
    Text("device_sn").RO().Get(GetIdentity),
    Text("device_sens_sn").RO().Get(GetIdentity),
    Text("device_id").RO().Get(GetIdentity),
    Text("device_inst_path").RO().Get(GetIdentity),
    Text("device_loc_path").RO().Get(GetIdentity),
    Text("device_user_id").RO().Get(GetIdentity),
    Text("device_manifest").RO().Get(GetIdentity),

    // Transport, buffers, corrections and sensor modes.
    Int("image_user_data", 0, 0, 65535),
    Int("imgdataformatrgb32alpha", 0, 0, 255),
    Int("imgpayloadsize", 0, 0, 0).RO().Get(GetPayloadSize).Lim(PayloadLimits),
    Int("transport_pixel_format", 0x01080001, 0x01080001, 0x01100005).OneOf(kTransportFormats).Stopped(),
    Int("transport_data_target", 0, 0, 3),
    Float("sensor_clock_freq_hz", 100e6, 50e6, 200e6, 1e6),
    Int("sensor_clock_freq_index", 0, 0, 2),
    Int("sensor_output_channel_count", 4, 2, 8).OneOf(kChannelCounts).Stopped(),
    Float("framerate", 30, 1, 120, 0.1),
    Int("counter_selector", 0, 0, 7),
    Int("counter_value", 0, 0, kI32Max).RO().PerValueOf("counter_selector"),
    Int("acq_timing_mode", 0, 0, 2),
    Int("available_bandwidth", 3000, 0, 3000).RO(),  // Mbit/s
    Int("buffer_policy", 0, 0, 1),
    Switch("LUTEnable", 0),
    Int("LUTIndex", 0, 0, 4095),
    Int("LUTValue", 0, 0, 4095).PerValueOf("LUTIndex").Get(GetLutValue),
    Int("trigger_delay", 0, 0, 1000000),  // microseconds
    Int("ts_rst_mode", 0, 0, 1),
    Int("ts_rst_source", 0, 0, 37),
    Int("isexist", 0, 0, 1).RO().Get(GetExist),
    Int("acq_buffer_size", 64 << 20, 1 << 20, 1 << 30).Stopped(),
    Int("acq_buffer_size_unit", 1, 1, 1024),
    Int("acq_transport_buffer_size", 1 << 20, 4096, 1 << 24, 4096).Stopped(),
    Int("acq_transport_buffer_commit", 32, 1, 64),
    Int("acq_transport_packet_size", 32768, 1024, 65536, 1024).Stopped(),
    Int("buffers_queue_size", 4, 2, 64),
    Int("acq_transport_data_commit_total_size", 0, 0, 1 << 24, 4096),
    Switch("recent_frame", 0),
    Int("device_reset", 0, 0, 1).WO().Set(SetReset),
    Switch("concat_img_mode", 0),
    Int("concat_img_count", 1, 1, 16).Stopped(),
    Int("concat_img_transport_img_offset", 0, 0, kI32Max).RO(),
    Int("probe_selector", 0, 0, 18),
    Float("probe_value", 0, 0, 100, 0.001).RO().PerValueOf("probe_selector").Get(GetReading),
    Int("column_fpn_correction", 0, 0, 1),
    Int("row_fpn_correction", 0, 0, 1),
    Int("column_black_offset_correction", 0, 0, 1),
    Int("row_black_offset_correction", 0, 0, 1),
    Int("image_correction_selector", 0, 0, 7),
    Float("image_correction_value", 0, -1000, 1000, 0.1).PerValueOf("image_correction_selector"),
    Int("sensor_mode", 0, 0, 15).Stopped(),
    Switch("hdr", 0),
    Int("hdr_kneepoint_count", 1, 1, 2),
    Int("hdr_t1", 50, 0, 100),
    Int("hdr_t2", 75, 0, 100),
    Int("hdr_kneepoint1", 40, 0, 100),
    Int("hdr_kneepoint2", 65, 0, 100),
    Float("trans_data_black_level_ovr", 0, 0, 4095, 1),
    Switch("trans_data_black_level_ovr_en", 0),
    Int("image_black_level", 16, 0, 4095).RO(),
    Int("image_area", 0, 0, 1).Stopped(),
    Int("dual_adc_mode", 0, 0, 2),
    Float("dual_adc_gain_ratio", 1, 1, 16, 0.1),
    Int("dual_adc_threshold", 2048, 0, 4095),
    Int("compression_region_selector", 0, 0, 3),
    Float("compression_region_start", 0, 0, 100, 0.1).PerValueOf("compression_region_selector"),
    Float("compression_region_gain", 1, 0, 4, 0.01).PerValueOf("compression_region_selector"),

    // Versions, flash file system, device registers and API settings.
    Int("version_selector", ZV_VER_API, ZV_VER_API, ZV_VER_FACTORY_SET).Get(GetHandleInt).Set(SetHandleInt),
    Text("version").RO().Get(GetSelectedVersion),
    Text("api_version", kLibraryVersion).RO().Lib(),
    Text("drv_version", kDriverVersion).RO().Lib(),
    Text("version_mcu1").RO().Get(GetCameraVersion),
    Text("version_mcu2").RO().Get(GetCameraVersion),
    Text("version_mcu3").RO().Get(GetCameraVersion),
    Text("version_fpga1").RO().Get(GetCameraVersion),
    Text("version_xmlman").RO().Get(GetCameraVersion),
    Text("hw_revision").RO().Get(GetCameraVersion),
    Text("factory_set_version").RO().Get(GetCameraVersion),
    Int("debug_level", 3, 0, 100).OneOf(kDebugLevels).Lib(),
    Switch("auto_bandwidth_calculation", 1).Lib(),
    Switch("new_process_chain_enable", 1).Lib(),
    Switch("reset_usb_if_bootloader", 0).Lib(),
    Int("cam_simulators_count", 0, 0, 8).Lib(),
    Switch("cam_sensor_init_disabled", 0).Lib(),
    Int("proc_num_threads", 4, 1, 64).Lib(),
    Int("proc_engine", 0, 0, 1).Lib(),
    Text("read_file_ffs").RO().Bytes().Get(GetReadFile),
    Text("write_file_ffs").WO().Bytes().Set(SetWriteFile),
    Text("ffs_file_name").Get(GetFileName).Set(SetFileName),
    Int("ffs_file_id", 0, 0, kI32Max).RO().Get(GetFileId),
    Int("ffs_file_offset", 0, 0, kI32Max).Get(GetOffset).Set(SetOffset),
    Int("ffs_file_size", 0, 0, kI32Max).RO().Get(GetFileSize),
    Raw("free_ffs_size").RO().Get(GetFfsSpace).Lim(FfsSpaceLimits),
    Raw("used_ffs_size").RO().Get(GetFfsSpace).Lim(FfsSpaceLimits),
    Int("ffs_access_key", 0, INT32_MIN, kI32Max).Get(GetAccessKey).Set(SetAccessKey),
    Text("zvapi_context_list").Lib(),
    Int("sensor_feature_selector", 0, 0, 13),
    Int("sensor_feature_value", 0, 0, 65535).PerValueOf("sensor_feature_selector"),
    Int("ext_feature_selector", 0, 0, 15),
    Int("ext_feature", 0, 0, 65535).PerValueOf("ext_feature_selector"),
    Int("device_unit_selector", 0, 0, 15).Get(GetHandleInt).Set(SetHandleInt),
    Int("device_unit_register_selector", 0, 0, 255).Get(GetHandleInt).Set(SetHandleInt),
    Text("device_unit_register_selector_name").Get(GetRegisterName).Set(SetRegisterName),
    Text("device_unit_register_selector_desc").RO().Get(GetRegisterName),
    Int("device_unit_register_type", 0, 0, 3),
    Int("device_unit_register_value", 0, INT32_MIN, kI32Max).Get(GetRegister).Set(SetRegister),
    Int("device_unit_register_enum_value_count", 0, 0, 255).RO(),
    Int("device_unit_register_enum_value_index", 0, 0, 255),
    Int("device_unit_register_enum_value", 0, 0, kI32Max).RO(),
    Text("api_progress_callback").WO().Set(SetProgressCallback),
    Int("acquisition_status_selector", 0, 0, 0),
    Int("acquisition_status", 0, 0, 1).RO().PerValueOf("acquisition_status_selector").Get(GetReading),
    Int("dp_unit_selector", 0, 0, 1),
    Int("dp_proc_selector", 0, 0, 5),
    Int("dp_param_selector", 0, 0, 7),
    Float("dp_param_value", 0, 0, 12, 1).PerValueOf("dp_param_selector"),
    Switch("gentl_stream_en", 0).Lib(),
    Text("gentl_stream_context").RO().Lib(),
    Int("user_set_selector", 10, 10, 999).OneOf(kUserSets),
    Int("user_set_load", 0, 0, 1).WO().Set(SetUserSetLoad),
    Int("user_set_default", 10, 10, 999).OneOf(kUserSets),
};
static_assert(std::size(kParams) == 276);

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

bool HasFeature(Call& c, Feature f)
{
    if (f == Feature::None) {
        return true;  // no need to read the camera's record
    }
    const CameraRecord& r = c.Camera();
    switch (f) {
    case Feature::Color:
        return r.color;
    case Feature::Cooling:
        return r.cooling;
    case Feature::Lens:
        return r.lens;
    case Feature::Tof:
        return r.tof;
    case Feature::None:
        break;
    }
    return true;
}

// Handle and feature rules shared by gets and sets.
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
        if (!HasFeature(c, d.feature)) {
            return ZV_PARAM_NOT_SUPPORTED;
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

int32_t Read(Call& c, const ParamDef& d, uint32_t requested, Value& out)
{
    return d.get ? d.get(c, d, requested, out) : GetStored(c, d, requested, out);
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

int64_t IntSetting(Call& c, const char* param)
{
    const ParamDef* d = Find(param);
    Value v;
    if (!d || d->kind != ParamKind::Int || Read(c, *d, 0, v) != ZV_OK) {
        return 0;
    }
    return std::get<int64_t>(v);
}

bool CameraAcquiring(Call& c)
{
    for (const auto& [handle, state] : c.emu.handles) {
        if (state.acquiring && state.cameraId == c.cameraId && state.dir == c.dir.Root()) {
            return true;
        }
    }
    return false;
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
        if (d->kind == ParamKind::String || d->access == Access::WriteOnly) {
            return ZV_PARAM_INFO_NOT_SUPPORTED;
        }
        if (!KindFits(want, d->kind)) {
            return ZV_WRONG_PARAM_TYPE;
        }
        double min, max, inc;
        LimitsOf(c, *d, min, max, inc);
        const double value = limit == Limit::Min ? min : limit == Limit::Max ? max : inc;
        if (d->kind == ParamKind::Float) {
            out = static_cast<float>(value);
        } else {
            out = static_cast<int64_t>(value);
        }
        return ZV_OK;
    }
    if (d->access == Access::WriteOnly) {
        return ZV_PARAM_NOT_SUPPORTED;
    }
    if (!KindFits(want, d->kind)) {
        return ZV_WRONG_PARAM_TYPE;
    }
    return Read(c, *d, requested, out);
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
    if (limit != Limit::None || d->access == Access::ReadOnly) {
        return ZV_READ_ONLY_PARAM;
    }
    if (given != d->kind) {
        return ZV_WRONG_PARAM_TYPE;
    }
    if (d->whileStopped && CameraAcquiring(c)) {
        return ZV_NOT_SUPPORTED_WHILE_ACQUISITION;
    }
    if (d->kind == ParamKind::Int || d->kind == ParamKind::Float) {
        const double v =
            d->kind == ParamKind::Int ? static_cast<double>(std::get<int64_t>(in)) : double{std::get<float>(in)};
        if (!Settable(c, *d, v)) {
            return ZV_PARAM_VALUE_CANNOT_BE_SET;
        }
    }
    return d->set ? d->set(c, *d, in) : SetStored(c, *d, in);
}

}  // namespace zvemu
