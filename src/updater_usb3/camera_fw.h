#pragma once

// CameraFW: the direct updater's handle on one USB3 camera. It remembers
// which camera (index on the bus) and which driver to use, opens and closes
// the device context, carries the bulk and CCD settings into the low-level
// routines and turns every failed routine into a thrown UpdaterError naming
// it. Every operation of the updater opens the camera itself and closes it
// before it ends.

#include "u3_device.h"

#include <cstdint>
#include <memory>
#include <string>

class CameraFW {
public:
    CameraFW() { Clear(); }
    ~CameraFW() { Close(); }
    CameraFW(const CameraFW&) = delete;
    CameraFW& operator=(const CameraFW&) = delete;

    // Back to a closed camera 0 on driver 1, bulk and CCD off, default texts.
    void Clear();

    void SelectCameraOnBus(int index) { cameraIndex = static_cast<std::uint32_t>(index); }
    void SetBulkMode(std::uint8_t on) { bulkMode = on; }
    void SetDriver(int newDriver) { driver = static_cast<std::uint32_t>(newDriver); }
    void SetCCD() { ccd = 1; }
    std::uint32_t GetCameraIndex() const { return cameraIndex; }
    std::uint32_t GetDriver() const { return driver; }
    bool IsCCD() const { return ccd != 0; }

    // Cameras present for driver 0 or 1; throws for any other driver.
    int GetCameraOnBusCount() const;

    // Opens the selected camera; throws when it cannot.
    void Open();
    void Close();
    bool IsOpen() const { return context_ != nullptr; }
    // The open device; throws when the camera is closed.
    U3DeviceContext& Context();

    // Nothing sets the model of a USB3 camera: it reads "def_model".
    const std::string& GetCameraModel() const { return model; }
    const std::string& GetCameraSerial() const { return serial; }
    // At most 63 or 19 characters are kept; null throws.
    void SetCameraModel(const char* text);
    void SetCameraSerial(const char* text);

    // Device path and location of the open camera.
    std::string DevicePath();
    std::string Location();

    // Start-up probe after a boot image was started: true once the camera
    // says it is ready. A failed probe closes the camera.
    bool WaitOpenReady();
    void Reset();
    void GetCpu1Version(std::uint16_t* version);
    void GetMcuVersion(std::uint16_t* version);
    void GetC51Version(std::uint32_t* version);
    void GetC51EepromVersion(std::uint32_t* version);
    void GetSID2(std::uint8_t* buffer, int size);
    void LoadEmergencyFW(const std::uint8_t* image, std::uint32_t size);
    void SendCommandToStmMcu(std::uint16_t command, std::uint8_t* reply, int replyCapacity, std::uint8_t* frame,
                             std::uint16_t frameLength);

    void SectorErase(std::uint32_t sector);
    void WriteSPI(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, int kind);
    void ReadSPI(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, int kind);
    void c2iPageErase(std::uint32_t page);
    void c2iRead(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first);
    void c2iWrite(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool first);
    void c51Erase(std::uint32_t length);
    void c51ReadFlash(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length);
    void c51WriteFlash(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);
    void c51ReadEeprom(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length);
    void c51WriteEeprom(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);
    void cpu2PageErase(std::uint32_t sector, bool first);
    void cpu2Read(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first);
    void cpu2Write(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool first);
    void cpu2SetToReset();

private:
    U3DevicePtr context_;
    std::uint8_t bulkMode = 0;
    std::uint32_t cameraIndex = 0;
    std::uint32_t driver = 1;
    std::string serial;
    std::string model;
    std::uint8_t ccd = 0;
};
