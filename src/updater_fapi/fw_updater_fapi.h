#pragma once

#include "fw_updater.h"

#include <cstdint>
#include <string>

// The camera-API updater. For now it keeps every default of FW_Updater (so
// each operation reports that it is not implemented) and only stores the
// settings the set-up hands it; the updater proper replaces this class.
class FW_Updater_FAPI : public FW_Updater {
public:
    FW_Updater_FAPI() = default;
    ~FW_Updater_FAPI() override = default;

    virtual int GetConnectedCamerasCount();
    virtual void SetCurrentFirmwareVersion(const std::string& version) { currentFirmwareVersion = version; }

    void SetForcedModelSNE(const std::string& sne) { forcedModelSNE = sne; }
    void SetCameraModelName(const std::string& model) { cameraModelName = model; }
    void SetEEPROMVersion(const std::string& version) { eepromVersion = version; }
    void SetSkipEEPROMUpgrade() { skipEEPROMUpgrade = true; }
    void SetEEPROMVersionFromCpu() { eepromVersionFromCpu = true; }

protected:
    std::string forcedModelSNE;
    std::string currentFirmwareVersion;
    std::string cameraModelName;
    std::string eepromVersion;
    bool skipEEPROMUpgrade = false;
    bool eepromVersionFromCpu = false;
};
