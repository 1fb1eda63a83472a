#include "fw_updater_fapi.h"

#include "camera_text.h"
#include "fapi_progress.h"
#include "fw_operation_log.h"
#include "text_format.h"
#include "zvapi32.h"
#include "zvapiplus_exception.h"
#include "zvapiplus_global.h"

#include <array>
#include <cstdio>
#include <memory>

namespace {

// Camera API error texts are at most 199 characters.
constexpr std::size_t kLocationTextSize = 300;
// Model names and serial numbers are read into 260 characters.
constexpr std::size_t kCameraTextSize = 260;

std::string Bounded(std::string_view text, std::size_t maxLength)
{
    return std::string(text.substr(0, maxLength));
}

}  // namespace

FW_Updater_FAPI::FW_Updater_FAPI()
{
    SetOperationLog(std::make_shared<CameraOperationLog>());
}

FW_Updater_FAPI::~FW_Updater_FAPI()
{
    if (GetFapiProgressUpdater() == this) {
        SetFapiProgressUpdater(nullptr);
    }
    if (handleSupplied) {
        // The camera belongs to whoever supplied it.
        camera.Release();
        return;
    }
    try {
        if (camera.GetHandle() != 0 && camera.Camera().IsExist()) {
            camera.Close();
        }
    } catch (...) {
        // Nothing can be reported from a destructor; the camera object
        // releases a handle that is still set.
    }
}

UpdaterError FW_Updater_FAPI::CameraApiError(const zvAPIplus_Exception& error)
{
    return UpdaterError(error.Description());
}

void FW_Updater_FAPI::SelectCameraOnBus(int index)
{
    camera.SelectByIndex(index);
    cameraIndex = index;
}

// The text selections keep the base camera index as it is, so the operation
// log opens its camera by the same text.
void FW_Updater_FAPI::SelectCameraByPath(const std::string& path)
{
    camera.SelectByPath(path);
    cameraPath = Bounded(path, kMaxSelectionRecordLength);
}

void FW_Updater_FAPI::SelectCameraBySN(const std::string& serial)
{
    camera.SelectBySerial(serial);
    cameraSN = Bounded(serial, kMaxSelectionRecordLength);
}

void FW_Updater_FAPI::SelectCameraByLocation(const std::string& location)
{
    camera.SelectByLocation(location);
    cameraLocation = Bounded(location, kMaxSelectionRecordLength);
}

void FW_Updater_FAPI::ListOfCamerasLocations()
{
    // A failing count leaves it 0: nothing is listed.
    std::uint32_t count = 0;
    (void)zvGetNumberDevices(&count);
    for (std::uint32_t device = 0; device < count; ++device) {
        std::array<char, kLocationTextSize> location{};
        if (zvGetDeviceInfoString(device, "device_loc_path", location.data(),
                                  static_cast<std::uint32_t>(location.size())) != 0) {
            continue;
        }
        location.back() = '\0';
        std::printf("Device id:%u location: %s\n", device, location.data());
    }
}

namespace {

void CheckIdentity(const CameraFAPI& camera, const char* what, const std::string& now, const std::string& opened)
{
    if (camera.IsIdentified() && now != opened) {
        throw UpdaterError(FormatText("The camera answered its %s with \"%s\", but with \"%s\" when it was opened; "
                                      "nothing is decided on an answer that changed. Run the command again.",
                                      what, now.c_str(), opened.c_str()));
    }
}

}  // namespace

std::string FW_Updater_FAPI::ReadCameraModel()
{
    std::string model =
        ReadCameraText<kCameraTextSize>([&](char* text, int size) { camera.Camera().GetCameraName(text, size); });
    CheckIdentity(camera, "model name", model, camera.OpenedModel());
    return model;
}

std::string FW_Updater_FAPI::ReadCameraSerial()
{
    std::string serial =
        ReadCameraText<kCameraTextSize>([&](char* text, int size) { camera.Camera().GetSerialNumber(text, size); });
    CheckIdentity(camera, "serial number", serial, camera.OpenedSerial());
    return serial;
}

std::string FW_Updater_FAPI::GetCameraModel()
{
    camera.Open();
    std::string model = ReadCameraModel();
    CloseCamera();
    return model;
}

void FW_Updater_FAPI::SetNewFirmwareVersion(const std::string& version)
{
    newFwVersion = Bounded(version, kMaxVersionTextLength);
}

void FW_Updater_FAPI::SetCurrentFirmwareVersion(const std::string& version)
{
    currentFwVersion = Bounded(version, kMaxVersionTextLength);
}

void FW_Updater_FAPI::SetCameraModelName(const std::string& model)
{
    modelName = Bounded(model, kMaxVersionTextLength);
}

void FW_Updater_FAPI::SetEEPROMVersion(const std::string& version)
{
    eepromVersion = Bounded(version, kMaxEepromVersionLength);
}

void FW_Updater_FAPI::SetLedBlinkCumberAfterInfo(int count)
{
    ledBlinkCount = count;
}

void FW_Updater_FAPI::SetCameraHandle(CameraApiHandle handle)
{
    camera.Adopt(handle);
    handleSupplied = true;
}

int FW_Updater_FAPI::GetConnectedCamerasCount()
{
    try {
        zvAPIplus_Global global;
        global.EnableCamEnumGoldenEnabled();
        return global.GetNumberOfConnectedCameras();
    } catch (const zvAPIplus_Exception& error) {
        throw CameraApiError(error);
    }
}

void FW_Updater_FAPI::StartTransferProgress()
{
    SetFapiProgressUpdater(this);
    camera.Camera().SetZVAPIParamStr("api_progress_callback", reinterpret_cast<const void*>(&FapiProgressCallback), 0);
}

void FW_Updater_FAPI::FinishCameraOperation()
{
    SetFapiProgressUpdater(nullptr);
    camera.Camera().SetZVAPIParamStr("api_progress_callback", nullptr, 0);
    CloseCamera();
}

void FW_Updater_FAPI::AbandonCameraOperation() noexcept
{
    SetFapiProgressUpdater(nullptr);
    if (camera.GetHandle() == 0) {
        return;
    }
    try {
        camera.Camera().SetZVAPIParamStr("api_progress_callback", nullptr, 0);
    } catch (...) {}
    try {
        CloseCamera();
    } catch (...) {}
}

void FW_Updater_FAPI::CloseCamera()
{
    if (!handleSupplied) {
        camera.Close();
    }
}
