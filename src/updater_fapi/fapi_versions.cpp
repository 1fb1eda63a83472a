// info through the camera API: the version of one firmware type, then, when
// asked for, the camera's LEDs blink so an operator can tell which of several
// cameras was queried.

#include "camera_text.h"
#include "fw_sel_item.h"
#include "fw_updater_fapi.h"
#include "os_clock.h"
#include "zvapiplus_exception.h"

namespace {

constexpr int kLedOn = 8;
constexpr int kLedOff = 7;
constexpr std::uint32_t kBlinkRoundMs = 50;

}  // namespace

std::string FW_Updater_FAPI::GetCurrentFirmwareVersion()
{
    std::string version;
    try {
        camera.Open();
        version = ReadFirmwareVersionOfType();
    } catch (const zvAPIplus_Exception& error) {
        throw CameraApiError(error);
    }
    if (ledBlinkCount != 0) {
        BlinkLeds();
    }
    return version;
}

std::string FW_Updater_FAPI::ReadFirmwareVersionOfType()
{
    zvAPIplus_Camera& cam = camera.Camera();
    const auto read = [&](void (zvAPIplus_Camera::*getter)(char*, int)) {
        return ReadCameraText<kVersionTextCapacity>([&](char* text, int size) { (cam.*getter)(text, size); });
    };
    switch (firmwareType) {
    case FW_TYPE_CPU1:
        return read(&zvAPIplus_Camera::GetVersionMCU1);
    case FW_TYPE_CPU2:
        return read(&zvAPIplus_Camera::GetVersionMCU2);
    case FW_TYPE_CPU3:
        return read(&zvAPIplus_Camera::GetVersionMCU3);
    // Cameras report one FPGA version for both images.
    case FW_TYPE_FPGA1:
    case FW_TYPE_FPGA2:
        return read(&zvAPIplus_Camera::GetVersionFPGA1);
    case FW_TYPE_EEPROM1:
        return ReadEepromDataVersion();
    case FW_TYPE_XMLMAN:
        return read(&zvAPIplus_Camera::GetVersionXMLMAN);
    case FW_TYPE_SID1:
        throw UpdaterError("Not implemented yet");
    case FW_TYPE_FACTORYSETS:
        return GetUserSetFactoryVersion();
    case FW_TYPE_USETS:
        return GetUserSetsVersion();
    default:
        throw UpdaterError("FW_Updater_FAPI:GetCurrentFirmwareVersion: Unsupported firmware type");
    }
}

// Every LED but the last selector value is switched, off in even rounds and
// on in odd ones. The blinking is a courtesy: a camera that refuses it ends
// it and the version stands.
void FW_Updater_FAPI::BlinkLeds() noexcept
{
    try {
        zvAPIplus_Camera& cam = camera.Camera();
        for (std::int32_t round = 0; round < ledBlinkCount; ++round) {
            for (int selector = cam.GetLEDSelector_Minimum(); selector < cam.GetLEDSelector_Maximum(); ++selector) {
                cam.SetLEDSelector(selector);
                cam.SetLEDMode(round % 2 == 1 ? kLedOn : kLedOff);
            }
            zv::os::SleepMs(kBlinkRoundMs);
        }
    } catch (...) {}
}
