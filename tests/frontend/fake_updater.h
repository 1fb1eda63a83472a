#pragma once

#include "fw_operation_log.h"
#include "fw_updater.h"

#include <gmock/gmock.h>

#include <memory>

// An updater whose operations are mocks and whose settings can be read back.
// Its lines go to the camera's operation log, as the product's updaters' do.
class FakeUpdater : public FW_Updater {
public:
    FakeUpdater() { SetOperationLog(std::make_shared<CameraOperationLog>()); }

    MOCK_METHOD(void, SelectCameraOnBus, (int), (override));
    MOCK_METHOD(void, ListOfCamerasLocations, (), (override));
    MOCK_METHOD(void, DiffFirmwareContent, (), (override));
    MOCK_METHOD(void, GetU3VFlag, (std::uint8_t&), (override));
    MOCK_METHOD(std::string, GetCurrentFirmwareVersion, (), (override));
    MOCK_METHOD(void, UpdateFirmware, (), (override));
    MOCK_METHOD(void, VerifyFirmware, (), (override));
    MOCK_METHOD(void, ResetCamera, (), (override));
    MOCK_METHOD(void, DumpFlash, (), (override));
    MOCK_METHOD(void, ExtractData, (), (override));
    MOCK_METHOD(void, InsertData, (), (override));
    MOCK_METHOD(void, UpgradeFirmware, (), (override));
    MOCK_METHOD(std::string, GetCameraModel, (), (override));

    const std::optional<std::string>& InputFile() const { return inputFile; }
    const std::optional<std::string>& PatchFile() const { return patchFile; }
    const std::optional<std::string>& OutputFile() const { return outputFile; }
    std::int32_t FirmwareType() const { return firmwareType; }
    bool Scrambled() const { return scrambled; }
    bool HexFormat() const { return hexFormat; }
    bool NameIsHex() const { return nameIsHex; }
    bool NameIsSnSne() const { return nameIsSnSne; }
    std::int32_t CameraGeneration() const { return cameraGeneration; }
    std::int32_t CameraIndex() const { return cameraIndex; }
    FwProgressCallback ProgressCallback() const { return progressCallback; }
};

// A plain base-class updater with its settings reachable, for the defaults.
class BareUpdater : public FW_Updater {
public:
    std::int32_t CameraIndex() const { return cameraIndex; }
    const std::string& CameraSN() const { return cameraSN; }
    bool Scrambled() const { return scrambled; }
};
