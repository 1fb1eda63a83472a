#pragma once

#include "fw_decrypter.h"
#include "fw_log_sink.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Receiver of progress reports: (percent, context given at installation).
using FwProgressCallback = void (*)(int percent, std::uint32_t context);

// Opaque device handle of the camera API library; 0 = no device.
using CameraApiHandle = std::uint32_t;

// Access key the camera's flash file system expects when none is given.
inline constexpr std::uint32_t kDefaultAccessKey = 0x6B2F08D4;

// Base of the two updaters (camera API and direct USB3). The front end drives
// every updater through this class only. Each virtual operation has a default
// that refuses it with a text naming it; an updater overrides what it supports.
// An operation returns nothing: a failure is thrown as UpdaterError. Only
// the questions (IsUpdatePossible, IsDataUpgradeNeeded) answer with a bool.
class FW_Updater {
public:
    FW_Updater() = default;
    virtual ~FW_Updater() = default;
    FW_Updater(const FW_Updater&) = delete;
    FW_Updater& operator=(const FW_Updater&) = delete;

    virtual void SelectCameraOnBus(int index);
    virtual void SelectCameraByPath(const std::string& path);
    virtual void SelectCameraBySN(const std::string& serial);
    virtual void SelectCameraByLocation(const std::string& location);
    virtual void ListOfCamerasLocations();
    virtual void DiffFirmwareContent();
    virtual void GetU3VFlag(std::uint8_t& flag);
    virtual std::string GetCurrentFirmwareVersion();
    virtual void UpdateFirmware();
    virtual void VerifyFirmware();
    virtual void EmergencyBoot();
    virtual void ResetCamera();
    virtual void DumpFlash();
    virtual void ExtractData();
    virtual void InsertData();
    virtual bool IsUpdatePossible();
    virtual bool IsDataUpgradeNeeded();
    virtual void UpgradeFirmware();
    virtual void SetNewFirmwareVersion(const std::string& version);
    virtual std::string GetCameraModel();
    virtual void SetLedBlinkCumberAfterInfo(int count);
    virtual void SetCameraHandle(CameraApiHandle handle);
    virtual std::string GetLatestAvailableEEPROMDataVersion();

    void SetFirmwareType(std::int32_t type) { firmwareType = type; }
    void SetInputFile(const std::string& name) { inputFile = name; }
    void SetPatchFile(const std::string& name) { patchFile = name; }
    void SetOutputFile(const std::string& name) { outputFile = name; }
    void SetHexFormat(bool on) { hexFormat = on; }
    void SetNameIsHex(bool on) { nameIsHex = on; }
    void SetNameIsSnSne(bool on) { nameIsSnSne = on; }
    void ClearScrambled() { scrambled = false; }
    void SetCameraGeneration(std::int32_t generation) { cameraGeneration = generation; }
    void SetFwStart(std::uint32_t start) { fwStart = start; }
    void SetFwStop(std::uint32_t stop) { fwStop = stop; }
    void SetProgressCallback(FwProgressCallback callback, std::uint32_t context)
    {
        progressCallback = callback;
        progressContext = context;
    }
    void SetAccessKey(std::uint32_t key) { accessKey = key; }

    std::uint32_t GetAccessKey() const { return accessKey; }
    std::uint32_t GetFwStart() const { return fwStart; }
    std::uint32_t GetFwStop() const { return fwStop; }

    // Passes a progress report to the installed callback, if any.
    void ReportProgress(int percent);

    // Loads and checks the input file before prog and verify; throws when
    // it is not good.
    void CheckInputFile();

    // The operation log the lines below go to; none (the default) writes
    // no lines.
    void SetOperationLog(std::shared_ptr<FwOperationLog> log) { operationLog = std::move(log); }

    // One time-stamped line in the operation log of the selected camera.
    // Never throws: a failure is printed and the operation goes on.
    static void LogOperationMessage(FW_Updater& updater, std::string_view message);
    // "FW prog of <type> [<digest>] <word>" in the operation log.
    void LogFirmwareOperation(std::int32_t firmwareTypeId, std::string_view word);

protected:
    // The input file as a file, loaded, descrambled and checked once per run
    // with the name and format flags it was loaded with: the input check, the
    // operation and the operation log's digest share it.
    struct LoadedInputFile {
        std::string name;
        bool scrambled = true;
        bool hexFormat = false;
        FwDecrypter content;
        bool checksumValid = false;
        std::string digest;  // the operation log's, once computed
    };
    // The loaded input file, loaded now when the name or the format flags
    // differ from the kept one. Throws "Invalid filename" without a name and
    // the container's load failures (nothing is kept then).
    LoadedInputFile& LoadInputFile();

    // Settings handed over by the dispatcher; read directly by the updaters.
    std::optional<std::string> inputFile;  // file name, or the content text with nameIsHex/nameIsSnSne
    std::optional<std::string> patchFile;
    std::optional<std::string> outputFile;
    std::int32_t firmwareType = 0;
    bool scrambled = true;
    bool hexFormat = false;
    bool nameIsHex = false;
    bool nameIsSnSne = false;
    std::int32_t cameraGeneration = 0;
    // Camera selection, written by the updaters' selection operations; the
    // operation log opens the camera again from the first one that is set.
    std::int32_t cameraIndex = -1;
    std::string cameraSN;
    std::string cameraPath;
    std::string cameraLocation;
    FwProgressCallback progressCallback = nullptr;
    std::uint32_t progressContext = 0;
    std::uint32_t accessKey = 0;
    std::uint32_t fwStart = 0;  // 0 = from the beginning of the file
    std::uint32_t fwStop = 0;   // 0 = to the end of the file

private:
    FwLogCameraSelection LogSelection() const { return {cameraIndex, cameraSN, cameraPath, cameraLocation}; }
    // The payload's short digest for its firmware-operation line; empty, with
    // the reason printed, when the payload cannot give one.
    std::string LoggedPayloadDigest();

    std::unique_ptr<LoadedInputFile> loadedInput;
    std::shared_ptr<FwOperationLog> operationLog;
};
