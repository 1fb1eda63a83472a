#include "zvapiplus_camera.h"

#include <cstring>
#include <string>

#include "zvapiplus_global.h"

namespace {
// Refusal of a null text, null buffer or negative size, before the camera
// API sees it.
constexpr int32_t kWrongParameterValue = 101;
constexpr int32_t kInvalidHandle = 1;
}  // namespace

zvAPIplus_Camera::~zvAPIplus_Camera()
{
    if (deviceHandle != 0) {
        // Nothing can be reported from here; a failed close only loses the handle.
        (void)zvCloseDevice(deviceHandle);
        deviceHandle = 0;
    }
}

void zvAPIplus_Camera::CheckResult(int32_t code, const char* method)
{
    if (code != 0) {
        RaiseError(code, method);
    }
}

void zvAPIplus_Camera::CheckResult(int32_t code, const char* method, const char* parameter)
{
    if (code == 0) {
        return;
    }
    // Long names give "(descr_too_long)"; nothing is cut here.
    const std::string name = std::string(method ? method : "") + " - " + (parameter ? parameter : "");
    RaiseError(code, name.c_str());
}

void zvAPIplus_Camera::Open(const char* method, int32_t result, ZV_HANDLE opened)
{
    CheckResult(result, method);
    CheckResult(opened == 0 ? kInvalidHandle : 0, method);
    if (deviceHandle != 0 && deviceHandle != opened) {
        const int32_t closed = zvCloseDevice(deviceHandle);
        if (closed != 0) {
            // Keep the object as it was: give the new device back.
            (void)zvCloseDevice(opened);
            RaiseError(closed, method);
        }
    }
    if (deviceHandle != 0 && deviceHandle != opened) {
        lastImage.Clear();  // its pixels were the old device's
    }
    deviceHandle = opened;
}

void zvAPIplus_Camera::OpenByID(int32_t index)
{
    ZV_HANDLE opened = 0;
    const int32_t result = zvOpenDevice(static_cast<uint32_t>(index), &opened);
    Open("OpenByID", result, opened);
}

void zvAPIplus_Camera::OpenByText(const char* method, int32_t kind, const char* text)
{
    if (!text) {
        RaiseError(kWrongParameterValue, method);
    }
    ZV_HANDLE opened = 0;
    const int32_t result = zvOpenDeviceBy(kind, text, &opened);
    Open(method, result, opened);
}

void zvAPIplus_Camera::OpenByPath(const char* path)
{
    OpenByText("OpenByPath", ZV_OPEN_BY_INST_PATH, path);
}
void zvAPIplus_Camera::OpenBySN(const char* serial)
{
    OpenByText("OpenBySN", ZV_OPEN_BY_SN, serial);
}
void zvAPIplus_Camera::OpenByUserID(const char* userId)
{
    OpenByText("OpenByUserID", ZV_OPEN_BY_USER_ID, userId);
}
void zvAPIplus_Camera::OpenByLocation(const char* location)
{
    OpenByText("OpenByLocation", ZV_OPEN_BY_LOC_PATH, location);
}
void zvAPIplus_Camera::OpenFirst()
{
    OpenByID(0);
}

void zvAPIplus_Camera::Close()
{
    if (deviceHandle == 0) {
        return;
    }
    CheckResult(zvCloseDevice(deviceHandle), "Close");
    deviceHandle = 0;
    lastImage.Clear();
}

int32_t zvAPIplus_Camera::GetNumberOfConnectedCameras()
{
    return zvAPIplus_Global().GetNumberOfConnectedCameras();
}

// --- images and acquisition -------------------------------------------------

zvAPIplus_Image* zvAPIplus_Camera::GetNextImage(zvAPIplus_Image* image)
{
    if (deviceHandle == 0) {
        CheckResult(kInvalidHandle, "GetNextImage");
    }
    zvAPIplus_Image* target = image ? image : &lastImage;
    target->ReleaseBuffer();
    CheckResult(zvGetImage(deviceHandle, static_cast<uint32_t>(nextImageTimeout), target->GetImageDescriptor()),
                "GetNextImage");
    return target;
}

void zvAPIplus_Camera::StartAcquisition()
{
    if (deviceHandle == 0) {
        CheckResult(kInvalidHandle, "StartAcquisition");
    }
    CheckResult(zvStartAcquisition(deviceHandle), "StartAcquisition");
    acquisitionStarted = true;
}

void zvAPIplus_Camera::StopAcquisition()
{
    if (deviceHandle == 0) {
        CheckResult(kInvalidHandle, "StopAcquisition");
    }
    CheckResult(zvStopAcquisition(deviceHandle), "StopAcquisition");
    acquisitionStarted = false;
}

// --- shared steps of the accessor forms -------------------------------------

void zvAPIplus_Camera::TestHandle(HandleTest test, const char* method) const
{
    if (test == HandleTest::CHECKED && deviceHandle == 0) {
        CheckResult(kInvalidHandle, method);
    }
}

int zvAPIplus_Camera::GetINTForm(const char* param, const char* method, HandleTest test)
{
    int32_t val = 0;
    TestHandle(test, method);
    CheckResult(zvGetParamInt(deviceHandle, param, &val), method);
    return val;
}

float zvAPIplus_Camera::GetFLOATForm(const char* param, const char* method, HandleTest test)
{
    float val = 0.0f;
    TestHandle(test, method);
    CheckResult(zvGetParamFloat(deviceHandle, param, &val), method);
    return val;
}

uint64_t zvAPIplus_Camera::GetRAWForm(const char* param, const char* method, HandleTest test)
{
    uint64_t val = 0;
    uint32_t size = sizeof val;
    int32_t type = zvTypeInteger64;
    TestHandle(test, method);
    CheckResult(zvGetParam(deviceHandle, param, &val, &size, &type), method);
    return val;
}

void zvAPIplus_Camera::GetSTRINGForm(const char* param, const char* method, HandleTest test, char* buffer, int size)
{
    TestHandle(test, method);
    if (!buffer || size < 0) {
        RaiseError(kWrongParameterValue, method);
    }
    CheckResult(zvGetParamString(deviceHandle, param, buffer, size), method);
}

void zvAPIplus_Camera::SetINTForm(const char* param, const char* method, HandleTest test, int value)
{
    TestHandle(test, method);
    CheckResult(zvSetParamInt(deviceHandle, param, value), method);
}

void zvAPIplus_Camera::SetFLOATForm(const char* param, const char* method, HandleTest test, float value)
{
    TestHandle(test, method);
    CheckResult(zvSetParamFloat(deviceHandle, param, value), method);
}

void zvAPIplus_Camera::SetSTRINGForm(const char* param, const char* method, HandleTest test, const char* text)
{
    TestHandle(test, method);
    if (!text) {
        RaiseError(kWrongParameterValue, method);
    }
    CheckResult(zvSetParamString(deviceHandle, param, text, static_cast<uint32_t>(std::strlen(text))), method);
}

bool zvAPIplus_Camera::IsForm(const char* param, const char* method, HandleTest test)
{
    int32_t val = 0;
    TestHandle(test, method);
    // The answer comes from the value alone: a failed query leaves it 0.
    (void)zvGetParamInt(deviceHandle, param, &val);
    return val != 0;
}

#define ZV_PARAM ZVP_DEFINE
#include "camera_params.def"
#undef ZV_PARAM

// --- by-name accessors --------------------------------------------------------

void zvAPIplus_Camera::TestHandleByName(const char* method) const
{
    if (deviceHandle == 0) {
        CheckResult(kInvalidHandle, method);
    }
}

void zvAPIplus_Camera::GetZVAPIParam(const char* parameter, void* value, uint32_t* size, int32_t* type)
{
    TestHandleByName("GetZVAPIParam");
    if (!parameter || !value || !size || !type) {
        RaiseError(kWrongParameterValue, "GetZVAPIParam");
    }
    CheckResult(zvGetParam(deviceHandle, parameter, value, size, type), "GetZVAPIParam", parameter);
}

void zvAPIplus_Camera::GetZVAPIParamInt(const char* parameter, int* value)
{
    TestHandleByName("GetZVAPIParamInt");
    if (!parameter || !value) {
        RaiseError(kWrongParameterValue, "GetZVAPIParamInt");
    }
    CheckResult(zvGetParamInt(deviceHandle, parameter, value), "GetZVAPIParamInt", parameter);
}

void zvAPIplus_Camera::GetZVAPIParamFloat(const char* parameter, float* value)
{
    TestHandleByName("GetZVAPIParamFloat");
    if (!parameter || !value) {
        RaiseError(kWrongParameterValue, "GetZVAPIParamFloat");
    }
    CheckResult(zvGetParamFloat(deviceHandle, parameter, value), "GetZVAPIParamFloat", parameter);
}

void zvAPIplus_Camera::GetZVAPIParamStr(const char* parameter, char* buffer, int size)
{
    TestHandleByName("GetZVAPIParamStr");
    if (!parameter || !buffer || size < 0) {
        RaiseError(kWrongParameterValue, "GetZVAPIParamStr");
    }
    CheckResult(zvGetParamString(deviceHandle, parameter, buffer, size), "GetZVAPIParamStr", parameter);
}

void zvAPIplus_Camera::SetZVAPIParam(const char* parameter, const void* value, uint32_t size, int32_t type)
{
    TestHandleByName("SetZVAPIParam");
    if (!parameter || (!value && size > 0)) {
        RaiseError(kWrongParameterValue, "SetZVAPIParam");
    }
    CheckResult(zvSetParam(deviceHandle, parameter, value, size, type), "SetZVAPIParam", parameter);
}

void zvAPIplus_Camera::SetZVAPIParamInt(const char* parameter, int value)
{
    TestHandleByName("SetZVAPIParamInt");
    if (!parameter) {
        RaiseError(kWrongParameterValue, "SetZVAPIParamInt");
    }
    CheckResult(zvSetParamInt(deviceHandle, parameter, value), "SetZVAPIParamInt", parameter);
}

void zvAPIplus_Camera::SetZVAPIParamFloat(const char* parameter, float value)
{
    TestHandleByName("SetZVAPIParamFloat");
    if (!parameter) {
        RaiseError(kWrongParameterValue, "SetZVAPIParamFloat");
    }
    CheckResult(zvSetParamFloat(deviceHandle, parameter, value), "SetZVAPIParamFloat", parameter);
}

void zvAPIplus_Camera::SetZVAPIParamStr(const char* parameter, const void* value, int size)
{
    TestHandleByName("SetZVAPIParamStr");
    if (!parameter || size < 0 || (!value && size > 0)) {
        RaiseError(kWrongParameterValue, "SetZVAPIParamStr");
    }
    CheckResult(zvSetParamString(deviceHandle, parameter, value, static_cast<uint32_t>(size)), "SetZVAPIParamStr",
                parameter);
}
