// What a camera model needs around the programming of a file. Only models
// the calibration definitions know need anything, and only when their own
// CPU firmware is programmed: before, their calibration EEPROM data must be
// converted for the new firmware and their bootloader looked at; after, the
// CPU must restart to run the new firmware, and cameras of the "JR" family
// drop off the bus while they do and must be opened again.

#include "bootloader_images.h"
#include "calib_data_structure_converter.h"
#include "camera_text.h"
#include "fw_updater_fapi.h"
#include "os_clock.h"
#include "text_format.h"
#include "zvapiplus_exception.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

namespace {

constexpr std::size_t kCameraTextSize = 260;
constexpr std::uint32_t kResetSettleMs = 2000;
constexpr int kReopenAttempts = 20;
constexpr std::uint32_t kReopenIntervalMs = 1000;
constexpr std::string_view kReconnectingFamily = "JR";

// Which bootloader a model carries: a few models by their full name, the
// others by family (the first two characters of the name). The first rule
// that matches decides.
struct BootloaderRule {
    std::string_view model;   // the whole name, or empty
    std::string_view family;  // the family, or empty
    std::uint32_t type;
};
constexpr BootloaderRule kBootloaderRules[] = {
    {"JV285VT-TD-BM-TQ-VKU", {}, 5},
    {"JV085JK-OA-V7T9-BB-N9W", {}, 5},
    {{}, "JR", 1},
    {{}, "JV", 3},
};

std::string_view FamilyOf(std::string_view model)
{
    return model.substr(0, 2);
}

// None for a model without a bootloader of ours (the test cameras): there is
// nothing to look at.
std::optional<std::uint32_t> BootloaderTypeOf(std::string_view model)
{
    for (const BootloaderRule& rule : kBootloaderRules) {
        if ((!rule.model.empty() && rule.model == model) || (!rule.family.empty() && rule.family == FamilyOf(model))) {
            return rule.type;
        }
    }
    return std::nullopt;
}

// The version a CPU firmware image carries: major in byte 6, minor in byte 5,
// each two decimal digits coded in one byte, as the camera reports its
// version. Empty when the image is too short to hold them.
std::string VersionOfImage(std::span<const std::uint8_t> image)
{
    if (image.size() < 7) {
        return {};
    }
    return FormatText("%02x.%02x", image[6], image[5]);
}

// Version texts are read as decimal numbers; a byte that is not two decimal
// digits would be read as some other version, and the data converted for it.
bool IsDecimalVersion(std::string_view version)
{
    return std::all_of(version.begin(), version.end(),
                       [](char c) { return c == '.' || std::isdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

std::uint32_t FW_Updater_FAPI::ReadBootloaderVersion(std::uint32_t deviceUnit, std::uint32_t registerIndex)
{
    zvAPIplus_Camera& cam = camera.Camera();
    cam.SetDeviceUnitSelector(static_cast<int>(deviceUnit));
    cam.SetDeviceUnitRegisterSelector(static_cast<int>(registerIndex));
    try {
        return static_cast<std::uint32_t>(cam.GetDeviceUnitRegister());
    } catch (const zvAPIplus_Exception&) {
        // A camera without that register has no bootloader version to tell.
        return 0;
    }
}

void FW_Updater_FAPI::HandleModelSpecificOperation_BeforeProgramming()
{
    zvAPIplus_Camera& cam = camera.Camera();
    const std::string model = ReadCameraModel();
    if (!CalibDataStructureConverter::IsCameraModelSupported(model.c_str())) {
        std::printf("HandleModelSpecificOperation_BeforeProgramming: No operation required.\n");
        return;
    }
    const std::optional<std::uint32_t> bootloaderType = BootloaderTypeOf(model);

    std::uint32_t cpuType = 0;
    CalibDataStructureConverter::GetAssociatedFwType(model.c_str(), &cpuType);
    if (static_cast<std::int64_t>(cpuType) != firmwareType) {
        return;
    }

    std::uint32_t deviceUnit = 0;
    std::uint32_t versionSelector = 0;
    CalibDataStructureConverter::GetAccocDevUnitSelector(model.c_str(), &deviceUnit);
    CalibDataStructureConverter::GetAssocZvFwType(model.c_str(), &versionSelector);
    cam.SetVersionSelector(static_cast<int>(versionSelector));
    std::string currentVersion =
        ReadCameraText<kCameraTextSize>([&](char* text, int size) { cam.GetVersion(text, size); });
    // The image is the payload, not the container's whole buffer.
    const std::string newVersion = VersionOfImage(payloadData);

    if (!skipEepromUpgrade) {
        if (!currentFwVersion.empty()) {
            currentVersion = currentFwVersion;
        }
        if (!IsDecimalVersion(newVersion)) {
            throw UpdaterError(
                "The firmware image carries the version " + newVersion +
                ", which is not a version of decimal digits; the EEPROM data cannot be converted for it");
        }
        EEPROMDataUpdate(currentVersion, newVersion);
    }

    if (!bootloaderType) {
        return;
    }
    BootloaderRequirements requirements;
    requirements.SetCameraModelId(static_cast<std::uint32_t>(cam.GetModelId()));
    requirements.SetCurrentBootloaderVersion(ReadBootloaderVersion(deviceUnit, 0));
    // Only a camera without a main bootloader version tells the auxiliary one.
    if (requirements.CurrentBootloaderVersion() == 0) {
        requirements.SetCurrentAuxBootloaderVersion(ReadBootloaderVersion(deviceUnit, 1));
    }
    std::printf("Current bootloader version in camera: %08X, aux: %08X\n", requirements.CurrentBootloaderVersion(),
                requirements.CurrentAuxBootloaderVersion());
    requirements.SetBootloaderType(*bootloaderType);
    requirements.IsUpgradeOfBootloaderNeeded();
}

void FW_Updater_FAPI::ConfirmNewFirmwareRuns(const std::string& model)
{
    // The version the image carries is the one the camera runs once its CPU
    // has started it; an image too short to carry one is not checked.
    const std::string expected = VersionOfImage(payloadData);
    if (expected.empty()) {
        return;
    }
    zvAPIplus_Camera& cam = camera.Camera();
    // A camera that left the bus after its reset is starting the new
    // firmware; it cannot tell its version now.
    bool present = false;
    try {
        present = cam.IsExist();
    } catch (const zvAPIplus_Exception&) {
        present = false;
    }
    if (!present) {
        cameraGoneAfterReset = true;
        std::printf("The camera is not on the bus after its CPU reset (it starts the new firmware): its operation "
                    "log can be written only once it is back.\n");
        return;
    }
    std::uint32_t versionSelector = 0;
    CalibDataStructureConverter::GetAssocZvFwType(model.c_str(), &versionSelector);
    cam.SetVersionSelector(static_cast<int>(versionSelector));
    const std::string running =
        ReadCameraText<kCameraTextSize>([&](char* text, int size) { cam.GetVersion(text, size); });
    if (running != expected) {
        throw UpdaterError(FormatText("The camera's CPU did not start the new firmware: it runs version %s, the "
                                      "firmware written is version %s. Run the command again.",
                                      running.c_str(), expected.c_str()));
    }
}

void FW_Updater_FAPI::HandleModelSpecificOperation_AfterProgramming()
{
    zvAPIplus_Camera& cam = camera.Camera();
    const std::string model = ReadCameraModel();
    if (!CalibDataStructureConverter::IsCameraModelSupported(model.c_str())) {
        std::printf("HandleModelSpecificOperation_AfterProgramming: No operation required.\n");
        return;
    }
    std::uint32_t cpuType = 0;
    CalibDataStructureConverter::GetAssociatedFwType(model.c_str(), &cpuType);
    if (static_cast<std::int64_t>(cpuType) != firmwareType) {
        return;
    }

    std::printf("Setting firmware magic by resetting CPU ...   \n");
    cam.SetDeviceReset(1);
    zv::os::SleepMs(kResetSettleMs);
    std::printf("Resetting CPU done   \n");

    // Whether the camera reconnects is the camera's own matter, whatever
    // --model said.
    if (FamilyOf(model) != kReconnectingFamily) {
        ConfirmNewFirmwareRuns(model);
        return;
    }
    std::printf("Reopening USB cameras...\n");
    camera.Close();
    for (int count = kReopenAttempts; count >= 1; --count) {
        zv::os::SleepMs(kReopenIntervalMs);
        std::printf("Trying to reopen...(%d)\n", count);
        try {
            camera.Open();
        } catch (...) {
            // Not back yet (or not whole yet): the next attempt tells.
        }
        if (camera.GetHandle() != 0) {
            std::printf("Reopened OK\n");
            ConfirmNewFirmwareRuns(model);
            return;
        }
    }
    throw UpdaterError("Timeout of camera opening.");
}
