#pragma once

// FW_Updater_USB30: the updater the front end builds without --zvapi. It
// selects a USB3 camera by index, device path, location or serial number,
// reads versions, identifiers and the FLAG_U3V flag, resets the camera, and
// programs, verifies and dumps the camera's memories through its flash
// engine (FlashOperation), over the direct USB3 path (CameraFW).
//
// Every failure is a thrown UpdaterError; the camera is closed on every exit.

#include "camera_fw.h"
#include "fw_updater.h"
#include "usb3_memory_map.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct FlashJob;

class FW_Updater_USB30 : public FW_Updater {
public:
    // The operations of FlashOperation, in the order its range check knows.
    enum class FlashOp {
        kVerify = 1,
        kProgram = 2,
        kEmergencyBoot = 3,
        kDump = 4
    };
    using enum FlashOp;

    FW_Updater_USB30() = default;
    ~FW_Updater_USB30() override = default;

    void SetBulkMode(int on);
    void SetCCD() { camera.SetCCD(); }
    // Driver used to count and open cameras: 1 is the maker's USB3 driver, 0 is opened as 1.
    void SetCameraDriver(int driver) { camera.SetDriver(driver); }
    // Number of USB3 cameras present for the set driver.
    virtual int GetCameraOnBusCount() { return camera.GetCameraOnBusCount(); }
    int GetBulkMode() const { return bulkFlag; }

    void SelectCameraOnBus(int index) override;
    void SelectCameraByPath(const std::string& path) override;
    void SelectCameraBySN(const std::string& serial) override;
    void SelectCameraByLocation(const std::string& location) override;
    void GetU3VFlag(std::uint8_t& flag) override;
    std::string GetCurrentFirmwareVersion() override;
    void UpdateFirmware() override;
    void VerifyFirmware() override;
    void EmergencyBoot() override;
    void ResetCamera() override;
    void DumpFlash() override;
    bool IsUpdatePossible() override { return true; }
    bool IsDataUpgradeNeeded() override { return false; }
    void UpgradeFirmware() override;

    // The flash engine: verify, program, emergency boot or dump the current
    // firmware type. Throws when the operation cannot run to its end.
    void FlashOperation(FlashOp operation);
    // Sets the boot-loader request of the info partition and resets the
    // camera, so that its STM32 answers in its boot loader.
    void EnterBootloader();

    CameraFW& Camera() { return camera; }
    const CameraFW& Camera() const { return camera; }

private:
    void RunEmergencyBoot(const FlashJob& job);
    // The info partition read once, or twice when it is to be rewritten
    // (throws when the readings differ).
    std::vector<std::uint8_t> ReadInfoPartition(const usb3map::MemoryRegion& region, bool twice);
    // The partition rewritten with the flag set: a run that writes restores
    // this camera's backup first when a rewrite was cut off.
    void PrepareInfoPartition(FlashJob& job, const usb3map::FlagType& flag, std::uint32_t value, bool writes);
    void CheckMapFitsCamera(const FlashJob& job);
    // The open camera's location, which names its operation lock.
    void RememberSelection(const std::string& location);
    template <typename Match>
    void SelectByText(const char* operation, const std::string& text, Match&& readText);

    std::uint8_t bulkFlag = 0;
    CameraFW camera;
};
