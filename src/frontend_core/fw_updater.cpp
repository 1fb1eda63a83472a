#include "fw_updater.h"

#include "fw_decrypter.h"
#include "fw_sel_item.h"
#include "updater_error.h"

namespace {

[[noreturn]] void NotImplemented(const char* operation)
{
    throw UpdaterError(std::string("Function ") + operation + " is not implemented for this camera.");
}

[[noreturn]] void NeedsCameraApi(const char* operation)
{
    throw UpdaterError(std::string("Function ") + operation + " is not implemented. Try --zvapi");
}

}  // namespace

void FW_Updater::SelectCameraOnBus(int)
{
    NotImplemented("SelectCameraOnBus");
}
void FW_Updater::SelectCameraByPath(const std::string&)
{
    NotImplemented("SelectCameraByPath");
}
void FW_Updater::SelectCameraBySN(const std::string&)
{
    NotImplemented("SelectCameraBySN");
}
void FW_Updater::SelectCameraByLocation(const std::string&)
{
    NotImplemented("SelectCameraByLocation");
}
void FW_Updater::ListOfCamerasLocations()
{
    NeedsCameraApi("ListOfCamerasLocations");
}
void FW_Updater::DiffFirmwareContent()
{
    NeedsCameraApi("DiffFirmwareContent");
}
void FW_Updater::GetU3VFlag(std::uint8_t&)
{
    NotImplemented("GetU3VFlag");
}
std::string FW_Updater::GetCurrentFirmwareVersion()
{
    NotImplemented("GetCurrentFirmwareVersion");
}
void FW_Updater::UpdateFirmware()
{
    NotImplemented("UpdateFirmware");
}
void FW_Updater::VerifyFirmware()
{
    NotImplemented("VerifyFirmware");
}
void FW_Updater::EmergencyBoot()
{
    NotImplemented("EmergencyBoot");
}
void FW_Updater::ResetCamera()
{
    NotImplemented("ResetCamera");
}
void FW_Updater::DumpFlash()
{
    NotImplemented("DumpFlash");
}
void FW_Updater::ExtractData()
{
    NotImplemented("ExtractData");
}
void FW_Updater::InsertData()
{
    NotImplemented("InsertData");
}
bool FW_Updater::IsUpdatePossible()
{
    NotImplemented("IsUpdatePossible");
}
bool FW_Updater::IsDataUpgradeNeeded()
{
    NotImplemented("IsDataUpgradeNeeded");
}
void FW_Updater::UpgradeFirmware()
{
    NotImplemented("UpgradeFirmware");
}
void FW_Updater::SetNewFirmwareVersion(const std::string&)
{
    NotImplemented("SetNewFirmwareVersion");
}
std::string FW_Updater::GetCameraModel()
{
    NotImplemented("GetCameraModel");
}
void FW_Updater::SetLedBlinkCumberAfterInfo(int)
{
    NotImplemented("SetLedBlinkCumberAfterInfo");
}
void FW_Updater::SetCameraHandle(CameraApiHandle)
{
    NotImplemented("SetCameraHandle");
}
std::string FW_Updater::GetLatestAvailableEEPROMDataVersion()
{
    NotImplemented("GetLatestAvailableEEPROMDataVersion");
}

void FW_Updater::ReportProgress(int percent)
{
    if (progressCallback) {
        progressCallback(percent, progressContext);
    }
}

void FW_Updater::CheckInputFile()
{
    switch (firmwareType) {
    case FW_TYPE_MMDESC:
    case FW_TYPE_FLAG_U3V:
    case FW_TYPE_FLAG_U2F:
    case FW_TYPE_REST_INFO:
        return;  // these types take a value or nothing, never a file
    default:
        break;
    }
    // The file is checked the way the updater will load it, so a HEX file that
    // is not marked plain fails here with the reason, not with a checksum error.
    if (!LoadInputFile().checksumValid) {
        throw UpdaterError("Error checksum file");
    }
}

FW_Updater::LoadedInputFile& FW_Updater::LoadInputFile()
{
    if (!inputFile) {
        throw UpdaterError("Invalid filename");
    }
    if (loadedInput && loadedInput->name == *inputFile && loadedInput->scrambled == scrambled &&
        loadedInput->hexFormat == hexFormat) {
        return *loadedInput;
    }
    loadedInput.reset();
    auto loaded = std::make_unique<LoadedInputFile>();
    loaded->name = *inputFile;
    loaded->scrambled = scrambled;
    loaded->hexFormat = hexFormat;
    if (!scrambled) {
        loaded->content.ClearScrambled();
    }
    if (hexFormat) {
        loaded->content.SetHexFormat();
    }
    loaded->content.LoadFile(*inputFile);
    loaded->checksumValid = loaded->content.IsChecksumValid();
    loadedInput = std::move(loaded);
    return *loadedInput;
}
