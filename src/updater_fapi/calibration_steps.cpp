// Where the flash-file-system operations hand over to the calibration
// workflows: the EEPROM data update, the EEPROM version checks and updates,
// and the conversion of an EEPROM dump into listings.
//
// The workflows themselves are not part of this build yet. Until they are,
// the operations that need them end with the usual "not implemented" text
// and change nothing in the camera, and a dump of EEPROM1 is written as the
// raw image without listings.

#include "calib_data_structure_converter.h"
#include "camera_text.h"
#include "fw_updater_fapi.h"

#include <cstdio>

namespace {

constexpr std::size_t kTextSize = 260;

[[noreturn]] void NotYetAvailable(const char* operation)
{
    throw UpdaterError(std::string("Function ") + operation + " is not implemented for this camera.");
}

}  // namespace

void FW_Updater_FAPI::VerifyEepromVersionsOffline()
{
    NotYetAvailable("OperationVerifyEEPROMVersions");
}

void FW_Updater_FAPI::UpdateEepromVersionInCamera()
{
    NotYetAvailable("OperationEEPROMVersionUpdate");
}

// The calibration definitions tell which of the camera's firmware versions is
// its CPU's: the camera-API firmware type associated with the model.
std::optional<std::string> FW_Updater_FAPI::CameraCpuFirmwareVersion()
{
    zvAPIplus_Camera& cam = camera.Camera();
    try {
        const std::string model =
            ReadCameraText<kTextSize>([&](char* text, int size) { cam.GetCameraName(text, size); });
        std::uint32_t versionSelector = 0;
        CalibDataStructureConverter::GetAssocZvFwType(model.c_str(), &versionSelector);
        cam.SetVersionSelector(static_cast<int>(versionSelector));
        return ReadCameraText<kTextSize>([&](char* text, int size) { cam.GetVersion(text, size); });
    } catch (const UpdaterError& error) {
        // An unknown model: the definitions' reason, and no version.
        std::printf("%s\n", error.what());
        return std::nullopt;
    }
}

void FW_Updater_FAPI::UpdateEepromData(const std::string&, const std::string&)
{
    NotYetAvailable("EEPROMDataUpdate");
}

void FW_Updater_FAPI::ConvertDumpedEeprom(std::span<const std::uint8_t>)
{
    // The raw image is in the dump file already; listings come with the
    // calibration workflows.
}

std::string FW_Updater_FAPI::ReadEepromDataVersion()
{
    NotYetAvailable("GetEEPROMDataVersion");
}
