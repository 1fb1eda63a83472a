#pragma once

// The camera controller's vendor-request protocol as both ends speak it: the
// request codes, the bulk command frame and its acknowledgement, the MCU
// tunnel, the C51 boot loader's blocks, the SPI NOR commands the serial bus
// carries, the endpoints and the sizes of the memories' pages. The updater
// sends these and the emulated camera answers them; neither names a code of
// its own.

#include <cstddef>
#include <cstdint>

namespace zv::usb3 {

// ---- endpoints and request types -------------------------------------------

inline constexpr std::uint8_t kEndpointControl = 0x00;
inline constexpr std::uint8_t kEndpointBulkOut = 0x02;
inline constexpr std::uint8_t kEndpointBulkIn = 0x82;
inline constexpr std::uint8_t kEndpointInterruptIn = 0x81;

inline constexpr std::uint8_t kRequestTypeVendorOut = 0x40;  // vendor, device recipient, host to device
inline constexpr std::uint8_t kRequestTypeVendorIn = 0xC0;   // the same, device to host
inline constexpr std::uint8_t kRequestTypeDeviceToHost = 0x80;  // the direction bit of a request type

// ---- vendor requests ---------------------------------------------------------

// Serial bus: select the SPI flash or the register bus, shift bytes out and
// in, deselect (the flash acts on its command at deselect).
inline constexpr std::uint8_t kReqSpiSelect = 0xBA;
inline constexpr std::uint8_t kReqSpiOut = 0xB0;
inline constexpr std::uint8_t kReqSpiIn = 0xB1;
inline constexpr std::uint8_t kReqSpiDeselect = 0xB9;
inline constexpr std::uint8_t kReqRegSelect = 0xBC;
inline constexpr std::uint8_t kReqRegDeselect = 0xBB;
// Set-up block (two words; the first is the address or command word) for
// the data requests that follow it.
inline constexpr std::uint8_t kReqSetup = 0xE4;
inline constexpr std::uint8_t kReqSpiDataIn = 0xE6;   // newer families only
inline constexpr std::uint8_t kReqSpiDataOut = 0xE8;  // newer families only
inline constexpr std::uint8_t kReqRegDataIn = 0xE7;   // newer families only
inline constexpr std::uint8_t kReqRegWrite = 0xE3;
// MCU programming bus (STM32 flash, or the C2 MCU's flash).
inline constexpr std::uint8_t kReqMcuProgInit = 0xEA;
inline constexpr std::uint8_t kReqMcuDataOut = 0xEB;
inline constexpr std::uint8_t kReqMcuDataIn = 0xEC;
inline constexpr std::uint8_t kReqMcuErase = 0xEE;
inline constexpr std::uint8_t kReqStmReset = 0xF3;
// Bidirectional channels.
inline constexpr std::uint8_t kReqMcuTunnel = 0x90;
inline constexpr std::uint8_t kReqC51Channel = 0x91;
// Controller.
inline constexpr std::uint8_t kReqRamWrite = 0xA0;          // no data: start the loaded image
inline constexpr std::uint8_t kReqControllerVersion = 0xC0;  // 2 bytes: minor, major
inline constexpr std::uint8_t kReqStartupProbe = 0xB6;       // acknowledged within 200 ms
inline constexpr std::uint8_t kReqStartupDone = 0xC1;        // 1 byte: 1 once started
inline constexpr std::uint8_t kReqCameraReset = 0xFF;        // never acknowledged

// ---- bulk command frame ------------------------------------------------------

// 12-byte header (magic, status, command, length after the header, request
// id), then for a command the 10-byte request block (direction, request,
// value, index, data length) and its data. An acknowledgement is the header
// and the reply.
inline constexpr std::uint32_t kFrameMagic = 0x55335670;
inline constexpr std::uint16_t kFrameCommand = 0x3F;
inline constexpr std::uint16_t kAckPending = 0x88;  // wait: length holds the milliseconds
inline constexpr std::uint16_t kAckError = 0x8A;
inline constexpr int kFrameHeaderSize = 12;
inline constexpr int kRequestBlockSize = 10;

// Offsets within a frame.
inline constexpr std::size_t kFrameMagicOffset = 0;
inline constexpr std::size_t kFrameStatusOffset = 4;
inline constexpr std::size_t kFrameCommandOffset = 6;
inline constexpr std::size_t kFrameLengthOffset = 8;
inline constexpr std::size_t kFrameIdOffset = 10;
inline constexpr std::size_t kFrameDirectionOffset = 12;
inline constexpr std::size_t kFrameRequestOffset = 14;
inline constexpr std::size_t kFrameValueOffset = 16;
inline constexpr std::size_t kFrameIndexOffset = 18;
inline constexpr std::size_t kFrameDataLengthOffset = 20;
inline constexpr std::size_t kFrameDataOffset = kFrameHeaderSize + kRequestBlockSize;  // 22

// Directions of the request block.
inline constexpr std::uint16_t kDirectionOut = 0;
inline constexpr std::uint16_t kDirectionIn = 1;
inline constexpr std::uint16_t kDirectionBoth = 2;

// ---- MCU tunnel (kReqMcuTunnel) ----------------------------------------------

// Frame: u16 prefix, 4 bytes, u16 command at 6, u16 request id at 8.
// Reply: u16 prefix, u16 length, u16 status, u16 request id, data.
inline constexpr std::uint16_t kMcuPrefix = 0xF30C;
inline constexpr std::uint16_t kMcuAckOk = 0;
inline constexpr int kMcuFrameHeaderSize = 10;
inline constexpr int kMcuReplyHeaderSize = 8;
inline constexpr std::size_t kMcuCommandOffset = 6;
inline constexpr std::size_t kMcuRequestIdOffset = 8;

inline constexpr std::uint16_t kMcuCommandVersion = 0;      // reply: u16 at 8, major in the high byte
inline constexpr std::uint16_t kMcuCommandUniqueId = 0x10;  // reply: six u16 at 8..19

// ---- C51 channel (kReqC51Channel) ----------------------------------------------

// Each exchange: u16 channel command, u16 part, u16 length, then data.
inline constexpr std::uint16_t kC51ChannelSend = 0;   // part 1 begins a block, 2 continues, 3 ends it
inline constexpr std::uint16_t kC51ChannelFetch = 1;  // a reply chunk, in parts
inline constexpr std::uint32_t kC51FetchChunk = 768;
// Boot loader blocks: op, two signature bytes, sub-op, u16 length at 4, u16
// address at 6, data at 8.
inline constexpr std::uint8_t kC51OpProbe = 0xFD;
inline constexpr std::uint8_t kC51OpEraseAll = 0xF0;
inline constexpr std::uint8_t kC51OpWriteFlash = 0xF1;
inline constexpr std::uint8_t kC51OpReadFlash = 0xF2;
inline constexpr std::uint8_t kC51OpReadEeprom = 0xE0;
inline constexpr std::uint8_t kC51OpWriteEeprom = 0xE1;
inline constexpr std::uint8_t kC51Signature0 = 0xA5;
inline constexpr std::uint8_t kC51Signature1 = 0xF1;
inline constexpr std::uint8_t kC51SubOpErase = 0x03;
inline constexpr std::uint8_t kC51SubOpWrite = 0x01;
inline constexpr std::size_t kC51BlockHeaderSize = 8;

// ---- SPI NOR commands (shifted out on the serial bus) ------------------------

inline constexpr std::uint8_t kSpiWriteEnable = 0x06;
inline constexpr std::uint8_t kSpiWriteDisable = 0x04;
inline constexpr std::uint8_t kSpiReadStatusCmd = 0x05;
inline constexpr std::uint8_t kSpiReadCmd = 0x03;
inline constexpr std::uint8_t kSpiPageProgram = 0x02;
inline constexpr std::uint8_t kSpiSectorEraseCmd = 0xD8;
inline constexpr std::uint8_t kSpiChipEraseCmd = 0xC7;
inline constexpr std::uint8_t kSpiStatusBusy = 0x01;
inline constexpr std::uint8_t kSpiStatusWriteEnabled = 0x02;

// The register bus: a write carries 0x80 + register, then the value most
// significant byte first.
inline constexpr std::uint8_t kRegisterWriteFlag = 0x80;
inline constexpr std::uint8_t kRegisterMask = 0x7F;
// The identification sequence: once registers 29, 30 and 31 hold these
// values, they read back the camera's own identifier.
inline constexpr std::uint8_t kIdentityRegisterFirst = 29;
inline constexpr std::uint32_t kIdentityKey[3] = {0x0000, 0x47A9, 0x0001};

// ---- memories ------------------------------------------------------------------

inline constexpr std::uint32_t kSpiPageSize = 256;
inline constexpr std::uint32_t kSpiSectorSize = 0x10000;
inline constexpr std::uint32_t kC2PageSize = 512;
inline constexpr std::uint32_t kC51PageSize = 512;
inline constexpr std::uint32_t kStm32FlashBase = 0x8000000;
inline constexpr std::uint32_t kRamBase = 0x40000000;
inline constexpr std::uint16_t kBootSignature = 0x5943;  // "CY" at the start of the controller's image

}  // namespace zv::usb3
