// info through the camera API: the version of one firmware type, then, when
// asked for, the camera's LEDs blink so an operator can tell which of several
// cameras was queried.

#include "camera_text.h"
#include "fw_updater_fapi.h"
#include "os_clock.h"
#include "zvapiplus_exception.h"

namespace {

constexpr std::int32_t kTypeCpu1 = 1;
constexpr std::int32_t kTypeCpu2 = 2;
constexpr std::int32_t kTypeCpu3 = 3;
constexpr std::int32_t kTypeFpga1 = 10;
constexpr std::int32_t kTypeFpga2 = 11;
constexpr std::int32_t kTypeEeprom1 = 15;
constexpr std::int32_t kTypeXmlman = 20;
constexpr std::int32_t kTypeSid1 = 100;
constexpr std::int32_t kTypeFactorySets = 200;
constexpr std::int32_t kTypeUserSets = 205;

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
    case kTypeCpu1:
        return read(&zvAPIplus_Camera::GetVersionMCU1);
    case kTypeCpu2:
        return read(&zvAPIplus_Camera::GetVersionMCU2);
    case kTypeCpu3:
        return read(&zvAPIplus_Camera::GetVersionMCU3);
    // Cameras report one FPGA version for both images.
    case kTypeFpga1:
    case kTypeFpga2:
        return read(&zvAPIplus_Camera::GetVersionFPGA1);
    case kTypeEeprom1:
        return ReadEepromDataVersion();
    case kTypeXmlman:
        return read(&zvAPIplus_Camera::GetVersionXMLMAN);
    case kTypeSid1:
        throw UpdaterError("Not implemented yet");
    case kTypeFactorySets:
        return GetUserSetFactoryVersion();
    case kTypeUserSets:
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
