// The library's C entry points: cameras, handles, parameters and device
// information. Every entry point runs as one Call (emulator.h): it binds its
// target, lets the test hooks answer first, then checks its arguments and
// writes its outputs only on success.

#include <cstring>

#include "emulator.h"

using namespace zvemu;

namespace {

bool IsBase32(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '2' && c <= '7');
}
bool IsBase32Hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'V');
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A serial the camera accepts: the current 12-character form.
bool IsValidSerial(std::string_view s)
{
    if (s.size() != 12) {
        return false;
    }
    for (int i = 0; i < 5; ++i) {
        if (!IsBase32(s[static_cast<size_t>(i)])) {
            return false;
        }
    }
    // Tens of the first pair run past 9 as ':', ';' and '<' (values 100-127).
    if (!(IsDigit(s[5]) || s[5] == ':' || s[5] == ';' || s[5] == '<')) {
        return false;
    }
    if (!IsDigit(s[6]) || !IsDigit(s[7]) || !IsDigit(s[8])) {
        return false;
    }
    return IsBase32Hex(s[9]) && IsBase32Hex(s[10]) && IsBase32Hex(s[11]);
}

int32_t NewHandle(Call& c, const std::string& id, ZV_HANDLE* out)
{
    if (!out) {
        return ZV_INVALID_ARG;
    }
    Emulator& emu = c.emu;
    const ZV_HANDLE h = emu.nextHandle++;
    HandleState state;
    state.dir = c.dir.Root();
    state.cameraId = id;
    emu.handles.emplace(h, std::move(state));
    *out = h;
    c.Note("opened", static_cast<int64_t>(h));
    return ZV_OK;
}

// Copies a text with its terminator when it fits.
int32_t CopyText(const std::string& text, char* buffer, int64_t size)
{
    if (!buffer) {
        return ZV_INVALID_ARG;
    }
    if (size < 0) {
        return ZV_INVALID_ARG;
    }
    if (static_cast<int64_t>(text.size()) + 1 > size) {
        return ZV_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return ZV_OK;
}

// Answers a string get: exact bytes for the FFS transfer, a terminated text otherwise.
int32_t GetString(Call& c, const char* param, char* buffer, int64_t size)
{
    if (size < 0) {
        return ZV_INVALID_ARG;
    }
    const bool bytes = IsByteParam(param);
    if (!buffer && (size > 0 || !bytes)) {
        return ZV_INVALID_ARG;
    }
    Value v;
    if (bytes && size > 0) {
        c.readBuffer = buffer;  // the bytes land there without a copy
    }
    if (int32_t rc = GetParamValue(c, param, ParamKind::String, static_cast<uint32_t>(size), v)) {
        return rc;
    }
    const auto& text = std::get<std::string>(v);
    if (bytes) {
        if (size > 0 && !text.empty()) {
            std::memcpy(buffer, text.data(), std::min<size_t>(text.size(), static_cast<size_t>(size)));
        }
        return ZV_OK;
    }
    if (int32_t rc = CopyText(text, buffer, size)) {
        return rc;
    }
    c.Note("value", text);
    return ZV_OK;
}

int32_t SetString(Call& c, const char* param, const void* value, uint32_t size)
{
    c.rawValue = value;
    c.rawSize = size;
    const bool address = param && std::strcmp(param, "api_progress_callback") == 0;
    if (!value && size > 0) {
        return ZV_INVALID_ARG;
    }
    // The flash-file bytes stay where the caller has them (rawValue).
    std::string data;
    if (!address && value && !IsByteParam(param)) {
        data.assign(static_cast<const char*>(value), size);
    }
    if (!IsByteParam(param) && !address) {
        c.Note("value", data);
    }
    return SetParamValue(c, param, ParamKind::String, data);
}

}  // namespace

extern "C" {

ZV_RETURN ZVAPI_CALL zvGetNumberDevices(uint32_t* count)
{
    return RunCall("zvGetNumberDevices", [&](Call& c) -> int32_t {
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        if (!count) {
            return ZV_INVALID_ARG;
        }
        *count = static_cast<uint32_t>(c.VisibleCameras().size());
        c.Note("count", *count);
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvOpenDevice(uint32_t index, ZV_HANDLE* handle)
{
    return RunCall("zvOpenDevice", [&](Call& c) -> int32_t {
        c.Note("index", index);
        const auto visible = c.VisibleCameras();
        c.CountOpenAttempt();
        if (index < visible.size()) {
            c.TargetCamera(visible[index]);
        }
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        if (!handle) {
            return ZV_INVALID_ARG;
        }
        if (index >= visible.size()) {
            return ZV_NO_DEVICES_FOUND;
        }
        return NewHandle(c, visible[index], handle);
    });
}

ZV_RETURN ZVAPI_CALL zvOpenDeviceBy(int32_t kind, const char* text, ZV_HANDLE* handle)
{
    return RunCall("zvOpenDeviceBy", [&](Call& c) -> int32_t {
        c.Note("kind", kind);
        if (text) {
            c.Note("text", text);
        }
        const auto visible = c.VisibleCameras();
        c.CountOpenAttempt();
        std::string found;
        if (text) {
            for (const auto& id : visible) {
                auto r = c.dir.LoadCamera(id);
                if (!r) {
                    continue;
                }
                const std::string key = kind == ZV_OPEN_BY_INST_PATH  ? r->instPath
                                        : kind == ZV_OPEN_BY_SN       ? c.EffectiveSerial(id, *r)
                                        : kind == ZV_OPEN_BY_USER_ID  ? r->userId
                                        : kind == ZV_OPEN_BY_LOC_PATH ? r->locPath
                                                                      : std::string();
                if (!key.empty() && key == text) {
                    found = id;
                    break;
                }
            }
        }
        if (!found.empty()) {
            c.TargetCamera(found);
        }
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        if (!text || !handle || kind < ZV_OPEN_BY_INST_PATH || kind > ZV_OPEN_BY_LOC_PATH) {
            return ZV_INVALID_ARG;
        }
        if (found.empty()) {
            return ZV_NO_DEVICES_FOUND;
        }
        return NewHandle(c, found, handle);
    });
}

ZV_RETURN ZVAPI_CALL zvCloseDevice(ZV_HANDLE handle)
{
    return RunCall("zvCloseDevice", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        // A handle whose camera was removed can still be released.
        auto it = c.emu.handles.find(handle);
        if (handle == 0 || it == c.emu.handles.end()) {
            return ZV_INVALID_HANDLE;
        }
        c.emu.handles.erase(it);
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvGetParamInt(ZV_HANDLE handle, const char* param, int32_t* value)
{
    return RunCall("zvGetParamInt", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (param) {
            c.Note("param", param);
        }
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        if (!value) {
            return ZV_INVALID_ARG;
        }
        Value v;
        if (int32_t rc = GetParamValue(c, param, ParamKind::Int, 0, v)) {
            return rc;
        }
        *value = static_cast<int32_t>(std::get<int64_t>(v));
        c.Note("value", *value);
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvGetParamFloat(ZV_HANDLE handle, const char* param, float* value)
{
    return RunCall("zvGetParamFloat", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (param) {
            c.Note("param", param);
        }
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        if (!value) {
            return ZV_INVALID_ARG;
        }
        Value v;
        if (int32_t rc = GetParamValue(c, param, ParamKind::Float, 0, v)) {
            return rc;
        }
        *value = std::get<float>(v);
        c.Note("value", std::to_string(*value));
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvGetParamString(ZV_HANDLE handle, const char* param, char* buffer, int32_t size)
{
    return RunCall("zvGetParamString", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (param) {
            c.Note("param", param);
        }
        c.Note("size", size);
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        return GetString(c, param, buffer, size);
    });
}

ZV_RETURN ZVAPI_CALL zvGetParam(ZV_HANDLE handle, const char* param, void* value, uint32_t* size, int32_t* type)
{
    return RunCall("zvGetParam", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (param) {
            c.Note("param", param);
        }
        if (size) {
            c.Note("size", *size);
        }
        if (type) {
            c.Note("type", *type);
        }
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        if (!value || !size || !type) {
            return ZV_INVALID_ARG;
        }
        switch (*type) {
        case zvTypeInteger:
        case zvTypeEnum:
        case zvTypeBoolean: {
            if (*size < sizeof(int32_t)) {
                return ZV_BUFFER_TOO_SMALL;
            }
            Value v;
            if (int32_t rc = GetParamValue(c, param, ParamKind::Int, 0, v)) {
                return rc;
            }
            const int32_t i = static_cast<int32_t>(std::get<int64_t>(v));
            std::memcpy(value, &i, sizeof i);
            *size = sizeof i;
            c.Note("value", i);
            return ZV_OK;
        }
        case zvTypeInteger64: {
            if (*size < sizeof(int64_t)) {
                return ZV_BUFFER_TOO_SMALL;
            }
            Value v;
            if (int32_t rc = GetParamValue(c, param, ParamKind::Raw, 0, v)) {
                return rc;
            }
            const int64_t i = std::get<int64_t>(v);
            std::memcpy(value, &i, sizeof i);
            *size = sizeof i;
            c.Note("value", i);
            return ZV_OK;
        }
        case zvTypeFloat: {
            if (*size < sizeof(float)) {
                return ZV_BUFFER_TOO_SMALL;
            }
            Value v;
            if (int32_t rc = GetParamValue(c, param, ParamKind::Float, 0, v)) {
                return rc;
            }
            const float f = std::get<float>(v);
            std::memcpy(value, &f, sizeof f);
            *size = sizeof f;
            return ZV_OK;
        }
        case zvTypeString:
            return GetString(c, param, static_cast<char*>(value), *size);
        default:
            return ZV_WRONG_PARAM_TYPE;
        }
    });
}

ZV_RETURN ZVAPI_CALL zvSetParamInt(ZV_HANDLE handle, const char* param, int32_t value)
{
    return RunCall("zvSetParamInt", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (param) {
            c.Note("param", param);
        }
        c.Note("value", value);
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        return SetParamValue(c, param, ParamKind::Int, int64_t{value});
    });
}

ZV_RETURN ZVAPI_CALL zvSetParamFloat(ZV_HANDLE handle, const char* param, float value)
{
    return RunCall("zvSetParamFloat", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (param) {
            c.Note("param", param);
        }
        c.Note("value", std::to_string(value));
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        return SetParamValue(c, param, ParamKind::Float, value);
    });
}

ZV_RETURN ZVAPI_CALL zvSetParamString(ZV_HANDLE handle, const char* param, const void* value, uint32_t size)
{
    return RunCall("zvSetParamString", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (param) {
            c.Note("param", param);
        }
        c.Note("size", size);
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        return SetString(c, param, value, size);
    });
}

ZV_RETURN ZVAPI_CALL zvSetParam(ZV_HANDLE handle, const char* param, const void* value, uint32_t size, int32_t type)
{
    return RunCall("zvSetParam", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (param) {
            c.Note("param", param);
        }
        c.Note("size", size);
        c.Note("type", type);
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        switch (type) {
        case zvTypeInteger:
        case zvTypeEnum:
        case zvTypeBoolean: {
            if (!value) {
                return ZV_INVALID_ARG;
            }
            if (size != sizeof(int32_t)) {
                return ZV_WRONG_PARAM_SIZE;
            }
            int32_t i;
            std::memcpy(&i, value, sizeof i);
            c.Note("value", i);
            return SetParamValue(c, param, ParamKind::Int, int64_t{i});
        }
        case zvTypeInteger64: {
            if (!value) {
                return ZV_INVALID_ARG;
            }
            if (size != sizeof(int64_t)) {
                return ZV_WRONG_PARAM_SIZE;
            }
            int64_t i;
            std::memcpy(&i, value, sizeof i);
            c.Note("value", i);
            if (i < INT32_MIN || i > INT32_MAX) {
                return ZV_PARAM_VALUE_CANNOT_BE_SET;
            }
            return SetParamValue(c, param, ParamKind::Int, i);
        }
        case zvTypeFloat: {
            if (!value) {
                return ZV_INVALID_ARG;
            }
            if (size != sizeof(float)) {
                return ZV_WRONG_PARAM_SIZE;
            }
            float f;
            std::memcpy(&f, value, sizeof f);
            return SetParamValue(c, param, ParamKind::Float, f);
        }
        case zvTypeString:
            return SetString(c, param, value, size);
        default:
            return ZV_WRONG_PARAM_TYPE;
        }
    });
}

ZV_RETURN ZVAPI_CALL zvGetDeviceInfoString(uint32_t index, const char* param, char* buffer, uint32_t size)
{
    return RunCall("zvGetDeviceInfoString", [&](Call& c) -> int32_t {
        c.Note("index", index);
        if (param) {
            c.Note("param", param);
        }
        c.Note("size", size);
        const auto visible = c.VisibleCameras();
        if (index < visible.size()) {
            c.TargetCamera(visible[index]);
        }
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        if (!param || !buffer) {
            return ZV_INVALID_ARG;
        }
        if (index >= visible.size()) {
            return ZV_NO_DEVICES_FOUND;
        }
        const CameraRecord& r = c.Camera();
        const std::string_view p = param;
        std::string text;
        if (p == "device_name") {
            text = r.model;
        } else if (p == "device_sn") {
            text = c.EffectiveSerial(c.cameraId, r);
        } else if (p == "device_id") {
            text = r.deviceId;
        } else if (p == "device_inst_path") {
            text = r.instPath;
        } else if (p == "device_loc_path") {
            text = r.locPath;
        } else if (p == "device_user_id") {
            text = r.userId;
        } else {
            return ZV_UNKNOWN_PARAM;
        }
        if (int32_t rc = CopyText(text, buffer, size)) {
            return rc;
        }
        c.Note("value", text);
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvSetDeviceInfoString(uint32_t index, const char* param, const char* value, uint32_t size)
{
    return RunCall("zvSetDeviceInfoString", [&](Call& c) -> int32_t {
        c.Note("index", index);
        if (param) {
            c.Note("param", param);
        }
        c.Note("size", size);
        const auto visible = c.VisibleCameras();
        if (index < visible.size()) {
            c.TargetCamera(visible[index]);
        }
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        if (!param || !value) {
            return ZV_INVALID_ARG;
        }
        if (index >= visible.size()) {
            return ZV_NO_DEVICES_FOUND;
        }
        const std::string_view p = param;
        if (p != "device_sn") {
            const bool known = p == "device_name" || p == "device_id" || p == "device_inst_path" ||
                               p == "device_loc_path" || p == "device_user_id";
            return known ? ZV_READ_ONLY_PARAM : ZV_UNKNOWN_PARAM;
        }
        // The serial is taken up to its terminator, at most size characters.
        const std::string serial(value, ::strnlen(value, size));
        c.Note("value", serial);
        if (!IsValidSerial(serial)) {
            return ZV_WRONG_PARAM_VALUE;
        }
        // Forced for the rest of this process only; the camera keeps its own.
        c.session->forcedSerial[c.cameraId] = serial;
        return ZV_OK;
    });
}

}  // extern "C"
