#pragma once

// Request sequences that reach a USB3 camera's memories through its USB
// controller: the controller's SPI flash and registers, the C2 MCU, the
// STM32 MCU, the C51 MCU (flash and EEPROM, over its command channel) and the
// controller's RAM (boot image).
//
// Each routine holds the device lock for its whole sequence (result 1 and
// "hRWMutex failed" in the debug output when it cannot get it), ORs the
// results of its requests and answers 0 for success, non-zero for failure.
// Diagnostics go to the debug print only; CameraFW turns failures into texts.
// The sequence a routine sends depends on the controller firmware's family,
// read from the version the context took at open.

#include "u3_device.h"

#include <cstdint>

enum class ControllerFamily {
    Old,
    Middle,
    New
};
ControllerFamily ControllerFamilyOf(const U3DeviceContext& ctx);

// Memory kinds of SpiRead and SpiWrite that a command reaches.
inline constexpr int kSpiKindFlash = 0;
inline constexpr int kSpiKindRegister = 1;

// Bounds the updater adds to waits the camera could otherwise keep going.
inline constexpr std::uint32_t kSectorEraseTimeoutMs = 5000;
inline constexpr int kSpiWriteBusyReads = 300;
inline constexpr std::uint32_t kC51ClosingFetchTimeoutMs = 30000;

int SpiSectorErase(U3DeviceContext& ctx, std::uint32_t sector);
int SpiReadStatus(U3DeviceContext& ctx, std::uint8_t* status);
int SpiRead(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, int kind);
int SpiWrite(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length, int kind);

int c2PageErase(U3DeviceContext& ctx, std::uint32_t page);
int c2Read(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first);
int c2Write(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool first);

int PageEraseSTM32F4XX(U3DeviceContext& ctx, std::uint32_t sector, bool first);
int ReadSTM32F4XX(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first);
int WriteSTM32F4XX(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length,
                   bool first);
int ResetSTM32F4XX(U3DeviceContext& ctx, std::uint8_t value);
// The MCU's 12-byte unique id: six 16-bit words, each high byte first.
int GetSID_From_STM32F4XX(U3DeviceContext& ctx, std::uint8_t* buffer, int size);

// The C51 command channel: one exchange in one or two parts. `replyLength`
// (may be null) grows by what the device answered.
int USB_JR_SendCommand(U3DeviceContext& ctx, std::uint16_t channelCommand, const std::uint8_t* write, int writeLength,
                       std::uint8_t* reply, int replyCapacity, int* replyLength);
// Delivers a request block, then fetches its reply into `reply` (never more
// than `replyCapacity` bytes in all).
int C51Transaction(U3DeviceContext& ctx, const std::uint8_t* block, std::uint8_t* reply, int blockLength,
                   int replyCapacity, int retries);
int C51SendRequest(U3DeviceContext& ctx, const std::uint8_t* block, int blockLength, int retries);
int ProbeC51Bootloader(U3DeviceContext& ctx);
int GlobalEraseFlashC51_JR(U3DeviceContext& ctx, std::uint32_t length, bool ccd);
int WriteC51Falsh_JR(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length,
                     bool ccd);
int ReadC51Flash(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length);
int ReadEepromC51_JR(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length);
int WriteEepromC51_JR(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length);

// Loads a boot image into the controller's RAM and starts it. The image's
// sections and checksum are checked before anything is written: a damaged
// image is never started. 0, or 255 on any failure.
int LoadFW_From_Buffer(U3DeviceContext& ctx, const std::uint8_t* image, std::uint32_t size);
