// Where the flash-file-system operations hand over to the calibration
// workflows: the EEPROM data update, the EEPROM version checks and updates,
// and the conversion of an EEPROM dump into listings.

#include "fw_updater_fapi.h"

#include <cstdio>

void FW_Updater_FAPI::VerifyEepromVersionsOffline()
{
    OperationVerifyEEPROMVersions();
}

void FW_Updater_FAPI::UpdateEepromVersionInCamera()
{
    OperationEEPROMVersionUpdate();
}

void FW_Updater_FAPI::UpdateEepromData(const std::string& currentCpuVersion, const std::string& newCpuVersion)
{
    EEPROMDataUpdate(currentCpuVersion, newCpuVersion);
}

void FW_Updater_FAPI::ConvertDumpedEeprom(std::span<const std::uint8_t> dump)
{
    std::printf("Converting EEPROM data\n");
    ConvertEEPROMDumpData(dump);
}

std::string FW_Updater_FAPI::ReadEepromDataVersion()
{
    return GetEEPROMDataVersion(kVersionTextCapacity);
}
