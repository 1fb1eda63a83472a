#include "camera_fapi.h"

#include "camera_text.h"
#include "updater_error.h"
#include "zvapi32.h"
#include "zvapiplus_global.h"

#include <cstdio>

namespace {

std::string Bounded(std::string_view text, std::size_t maxLength)
{
    return std::string(text.substr(0, maxLength));
}

}  // namespace

void CameraFAPI::SelectByIndex(std::int32_t cameraIndex)
{
    mode = Mode::ByIndex;
    index = cameraIndex;
}

void CameraFAPI::SelectByPath(std::string_view devicePath)
{
    mode = Mode::ByPath;
    path = Bounded(devicePath, kMaxSelectionTextLength);
}

void CameraFAPI::SelectBySerial(std::string_view serialNumber)
{
    mode = Mode::BySerial;
    serial = Bounded(serialNumber, kMaxSelectionTextLength);
}

void CameraFAPI::SelectByLocation(std::string_view locationPath)
{
    mode = Mode::ByLocation;
    location = Bounded(locationPath, kMaxSelectionTextLength);
}

void CameraFAPI::SetForcedModelSNE(std::string_view sne)
{
    forced = true;
    forcedSNE = Bounded(sne, kMaxForcedModelSneLength);
}

void CameraFAPI::Open()
{
    // Cameras in golden mode are enumerated too; the sensor is not started
    // and no bandwidth is reserved, since only the flash is needed. The last
    // two go to the handle as it is (the null handle while closed).
    zvAPIplus_Global().EnableCamEnumGoldenEnabled();
    camera.EnableCameraSensorInitDisabled();
    camera.DisableAutoBandwidthCalculation();

    const bool open = camera.Handle() != 0 && camera.IsExist();
    if (!open) {
        if (forced) {
            ForceModelSerial();
        }
        OpenByMode();
    }
    PrintIdentification();
}

void CameraFAPI::ForceModelSerial()
{
    // The serial goes to a device index, so the camera must be chosen by one.
    if (mode != Mode::First && mode != Mode::ByIndex) {
        throw UpdaterError("Model force is not supported for other, than first camera or --camid selector.");
    }
    std::printf("zvSetDeviceInfoString model_forced_sne %s\n", forcedSNE.c_str());
    const std::int32_t result = zvSetDeviceInfoString(static_cast<std::uint32_t>(index), "device_sn", forcedSNE.c_str(),
                                                      static_cast<std::uint32_t>(forcedSNE.size()));
    if (result != 0) {
        throw UpdaterError("Error on setting forced SNE after zvSetDeviceInfoString. E.g. incorrect SNE entered on "
                           "--forced_model_sne");
    }
}

void CameraFAPI::OpenByMode()
{
    switch (mode) {
    case Mode::First:
        camera.OpenFirst();
        break;
    case Mode::ByIndex:
        camera.OpenByID(index);
        break;
    case Mode::ByPath:
        camera.OpenByPath(path.c_str());
        break;
    case Mode::BySerial:
        camera.OpenBySN(serial.c_str());
        break;
    case Mode::ByLocation:
        camera.OpenByLocation(location.c_str());
        break;
    }
}

void CameraFAPI::PrintIdentification()
{
    identified = false;
    const std::string sn =
        ReadCameraText<30>([&](char* text, int size) { camera.GetZVAPIParamStr("device_sn", text, size); });
    const std::string model = ReadCameraText<100>([&](char* text, int size) { camera.GetCameraName(text, size); });
    const std::string fpga = ReadCameraText<100>([&](char* text, int size) { camera.GetVersionFPGA1(text, size); });
    std::printf("Camera SN:%s, Model:%s, FPGA1:V%s\n", sn.c_str(), model.c_str(), fpga.c_str());
    identified = true;
    openedModel = model;
    openedSerial = sn;

    // The device id is only informative: a camera that cannot tell it is
    // still usable.
    try {
        const std::string id = ReadCameraText<100>([&](char* text, int size) { camera.GetDeviceId(text, size); });
        std::printf("Device ID:%s\n", id.c_str());
    } catch (...) {}
}
