#include "camera_fw.h"

#include "os_clock.h"
#include "u3_mcu_tunnel.h"
#include "u3_transport.h"
#include "updater_error.h"
#include "usb3_routines.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kModelMax = 63;
constexpr std::size_t kSerialMax = 19;
constexpr int kMcuReplyCapacity = 260;
constexpr std::uint16_t kMcuFrameLength = 10;

using zv::usb3::kReqCameraReset;
using zv::usb3::kReqControllerVersion;
using zv::usb3::kReqStartupDone;
using zv::usb3::kReqStartupProbe;

void Check(int result, const char* text)
{
    if (result != 0) {
        throw UpdaterError(text);
    }
}

}  // namespace

void CameraFW::Clear()
{
    Close();
    bulkMode = 0;
    cameraIndex = 0;
    driver = 1;
    serial = "def_serial";
    model = "def_model";
    ccd = 0;
}

int CameraFW::GetCameraOnBusCount() const
{
    if (driver != 0 && driver != 1) {
        throw UpdaterError("CameraFW::GetCameraOnBusCount: Invalid driver selected");
    }
    return GetNumberDevicesUSB30();
}

void CameraFW::Open()
{
    if (driver != 0 && driver != 1) {
        throw UpdaterError("Unknown driver");
    }
    // Only the low 16 bits of the index reach the driver; an index that does
    // not fit is no camera rather than another one.
    if (cameraIndex > 0xFFFF) {
        throw UpdaterError("Can not open USB3 device using zavro driver");
    }
    Close();
    U3DevicePtr opened = OpenDeviceUSB30(static_cast<std::uint16_t>(cameraIndex));
    if (!opened) {
        throw UpdaterError("Can not open USB3 device using zavro driver");
    }
    if (!opened->hDevice) {
        throw UpdaterError("Can not open USB3 device using zavro driver - invalid device NOVL");
    }
    opened->bulkMode = bulkMode != 0 ? 1 : 0;
    context_ = std::move(opened);
}

void CameraFW::Close()
{
    if (context_) {
        CloseDeviceUSB30(std::move(context_));
        context_ = nullptr;
    }
}

U3DeviceContext& CameraFW::Context()
{
    if (!context_) {
        throw UpdaterError("USB3 device is not open");
    }
    return *context_;
}

void CameraFW::SetCameraModel(const char* text)
{
    if (text == nullptr) {
        throw UpdaterError("CameraFW::SetCameraModel: Invalid parameter");
    }
    model.assign(text, strnlen(text, kModelMax));
}

void CameraFW::SetCameraSerial(const char* text)
{
    if (text == nullptr) {
        throw UpdaterError("CameraFW::SetCameraSerial: Invalid parameter");
    }
    serial.assign(text, strnlen(text, kSerialMax));
}

std::string CameraFW::DevicePath()
{
    return Context().devicePath;
}
std::string CameraFW::Location()
{
    return Context().location;
}

bool CameraFW::WaitOpenReady()
{
    if (u3VrReq(Context(), kReqStartupProbe, 0, 0, nullptr, 0, 1, 1) != 0) {
        zv::os::SleepMs(100);
        Close();
        return false;
    }
    std::uint8_t ready = 0;
    if (u3VrReq(Context(), kReqStartupDone, 0, 0, &ready, 1, 0, 1) == 0 && ready != 0) {
        std::printf("Waiting for opendevice - open ready\n");
        return true;
    }
    return false;
}

void CameraFW::Reset()
{
    // The camera restarts at once and sends no acknowledgement.
    (void)u3VrReq(Context(), kReqCameraReset, 0, 0, nullptr, 0, 0, 1);
}

void CameraFW::GetCpu1Version(std::uint16_t* version)
{
    std::array<std::uint8_t, 2> bytes{};
    Check(u3VrReq(Context(), kReqControllerVersion, 0, 0, bytes.data(), 2, 0, 1), "Error getting CPU version");
    *version = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[0]);
}

void CameraFW::SendCommandToStmMcu(std::uint16_t command, std::uint8_t* reply, int replyCapacity, std::uint8_t* frame,
                                   std::uint16_t frameLength)
{
    Check(::SendCommandToStmMcu(Context(), command, reply, replyCapacity, frame, frameLength),
          "CameraFW::SendCommandToStmMcu failed");
}

void CameraFW::GetMcuVersion(std::uint16_t* version)
{
    std::array<std::uint8_t, kMcuReplyCapacity> reply{};
    std::array<std::uint8_t, kMcuFrameLength> frame{};
    SendCommandToStmMcu(0, reply.data(), kMcuReplyCapacity, frame.data(), kMcuFrameLength);
    *version = static_cast<std::uint16_t>(reply[9] << 8 | reply[8]);
}

void CameraFW::GetC51Version(std::uint32_t* version)
{
    std::array<std::uint8_t, 4> bytes{};
    c51ReadFlash(5, bytes.data(), 4);
    *version = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
               static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void CameraFW::GetC51EepromVersion(std::uint32_t* version)
{
    std::array<std::uint8_t, 4> bytes{};
    c51ReadEeprom(0xFC0E, bytes.data(), 4);
    *version = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
               static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void CameraFW::GetSID2(std::uint8_t* buffer, int size)
{
    Check(GetSID_From_STM32F4XX(Context(), buffer, size), "Get SID2 failed");
}

void CameraFW::LoadEmergencyFW(const std::uint8_t* image, std::uint32_t size)
{
    Check(LoadFW_From_Buffer(Context(), image, size), "Error loading emergency FW");
}

void CameraFW::SectorErase(std::uint32_t sector)
{
    Check(SpiSectorErase(Context(), sector), "SectorErase does not respond");
}

void CameraFW::WriteSPI(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, int kind)
{
    Check(SpiWrite(Context(), address, data, length, kind), "WriteSPI does not respond1");
}

void CameraFW::ReadSPI(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, int kind)
{
    Check(SpiRead(Context(), address, buffer, length, kind), "Read device_info fails");
}

void CameraFW::c2iPageErase(std::uint32_t page)
{
    Check(c2PageErase(Context(), page), "c2iPageErase does not respond");
}

void CameraFW::c2iRead(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first)
{
    Check(c2Read(Context(), address, buffer, length, first), "c2iRead does not respond");
}

void CameraFW::c2iWrite(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool first)
{
    Check(c2Write(Context(), address, data, length, first), "c2iWrite does not respond");
}

void CameraFW::c51Erase(std::uint32_t length)
{
    Check(GlobalEraseFlashC51_JR(Context(), length, ccd != 0), "c51Erase error");
}

void CameraFW::c51ReadFlash(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length)
{
    Check(ReadC51Flash(Context(), address, buffer, length), "c51ReadFlash does not respond");
}

void CameraFW::c51WriteFlash(std::uint32_t address, const std::uint8_t* data, std::uint32_t length)
{
    Check(WriteC51Falsh_JR(Context(), address, data, length, ccd != 0), "c51WriteFlash does not respond");
}

void CameraFW::c51ReadEeprom(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length)
{
    Check(ReadEepromC51_JR(Context(), address, buffer, length), "ReadEepromC51_JR does not respond");
}

void CameraFW::c51WriteEeprom(std::uint32_t address, const std::uint8_t* data, std::uint32_t length)
{
    Check(WriteEepromC51_JR(Context(), address, data, length), "WriteEepromC51_JR does not respond");
}

void CameraFW::cpu2PageErase(std::uint32_t sector, bool first)
{
    Check(PageEraseSTM32F4XX(Context(), sector, first), "cpu2PageErase error");
}

void CameraFW::cpu2Read(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first)
{
    Check(ReadSTM32F4XX(Context(), address, buffer, length, first), "cpu2Read does not respond2");
}

void CameraFW::cpu2Write(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool first)
{
    Check(WriteSTM32F4XX(Context(), address, data, length, first), "cpu2Write does not respond1");
}

void CameraFW::cpu2SetToReset()
{
    Check(ResetSTM32F4XX(Context(), 0), "cpu2SetToReset error");
}
