#include "usb3_routines.h"

#include "debug_print.h"
#include "os_clock.h"
#include "u3_mcu_tunnel.h"
#include "u3_transport.h"
#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// The protocol's requests and SPI commands these routines send.
using zv::usb3::kReqC51Channel;
using zv::usb3::kReqMcuDataIn;
using zv::usb3::kReqMcuDataOut;
using zv::usb3::kReqMcuErase;
using zv::usb3::kReqMcuProgInit;
using zv::usb3::kReqRamWrite;
using zv::usb3::kReqRegDataIn;
using zv::usb3::kReqRegDeselect;
using zv::usb3::kReqRegSelect;
using zv::usb3::kReqRegWrite;
using zv::usb3::kReqSetup;
using zv::usb3::kReqSpiDataIn;
using zv::usb3::kReqSpiDataOut;
using zv::usb3::kReqSpiDeselect;
using zv::usb3::kReqSpiIn;
using zv::usb3::kReqSpiOut;
using zv::usb3::kReqSpiSelect;
using zv::usb3::kReqStmReset;
using zv::usb3::kSpiPageProgram;
using zv::usb3::kSpiReadCmd;
using zv::usb3::kSpiReadStatusCmd;
using zv::usb3::kSpiSectorEraseCmd;
using zv::usb3::kSpiWriteDisable;
using zv::usb3::kSpiWriteEnable;

constexpr std::uint32_t kOldSpiPiece = 64;
constexpr std::uint32_t kMcuPiece = 64;
constexpr std::uint32_t kStm32Piece = 240;
constexpr std::uint32_t kSpiSetupSecondWord = 32;
constexpr std::uint32_t kMcuSetupSecondWord = 8;

constexpr int kC51MaxWrite = 762;
constexpr int kC51FetchSize = 768;
constexpr std::uint32_t kC51Piece = 512;
constexpr int kC51ReadRetries = 500;
constexpr int kC51EepromReadRetries = 1000;
constexpr int kC51EepromWriteRetries = 10000;
constexpr int kC51FlashWriteRetries = 500;
constexpr int kC51ClosingRetries = 1000;
constexpr int kC51EraseRetries = 2000;
constexpr int kC51ProbeRetries = 100;
constexpr int kC51WriteReplyCapacity = 0x10000;

using zv::usb3::kBootSignature;
using zv::usb3::kC2PageSize;
constexpr std::uint32_t kBootPiece = 64;

constexpr std::uint8_t kToDevice = 1;
constexpr std::uint8_t kFromDevice = 0;
constexpr std::uint8_t kNoLock = 0;
constexpr std::uint8_t kTakeLock = 1;

void Debug3(const char* text)
{
    if (GetDebugLevel() <= 3) {
        DebugPrintf("%s", text);
    }
}

// Holds the device lock for one routine's sequence.
class RoutineLock {
public:
    explicit RoutineLock(U3DeviceContext& ctx) : ctx_(ctx), held_(LockResourceAccess(ctx))
    {
        if (!held_) {
            Debug3("hRWMutex failed\r\n");
        }
    }
    ~RoutineLock()
    {
        if (held_) {
            UnlockResourceAccess(ctx_);
        }
    }
    RoutineLock(const RoutineLock&) = delete;
    RoutineLock& operator=(const RoutineLock&) = delete;
    bool Held() const { return held_; }

private:
    U3DeviceContext& ctx_;
    bool held_;
};

int Out(U3DeviceContext& ctx, std::uint8_t request, const std::uint8_t* data, int length, std::uint16_t value = 0,
        std::uint16_t index = 0)
{
    return u3VrReq(ctx, request, value, index, const_cast<std::uint8_t*>(data), length, kToDevice, kNoLock);
}

int In(U3DeviceContext& ctx, std::uint8_t request, std::uint8_t* buffer, int length)
{
    return u3VrReq(ctx, request, 0, 0, buffer, length, kFromDevice, kNoLock);
}

int SpiSelect(U3DeviceContext& ctx)
{
    return Out(ctx, kReqSpiSelect, nullptr, 0);
}
int SpiDeselect(U3DeviceContext& ctx)
{
    return Out(ctx, kReqSpiDeselect, nullptr, 0);
}

// One SPI command byte on its own between select and deselect (old style).
int SpiCommand(U3DeviceContext& ctx, std::uint8_t command)
{
    int result = SpiSelect(ctx);
    result |= Out(ctx, kReqSpiOut, &command, 1);
    result |= SpiDeselect(ctx);
    return result;
}

std::array<std::uint8_t, 4> SpiAddressed(std::uint8_t command, std::uint32_t address)
{
    return {command, static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address)};
}

// Transaction set-up block: the word and a second word, both little-endian.
int Setup(U3DeviceContext& ctx, std::uint32_t word, std::uint32_t second)
{
    std::array<std::uint8_t, 8> block;
    zv::usb3::PutLe32(block.data(), word);
    zv::usb3::PutLe32(block.data() + 4, second);
    return Out(ctx, kReqSetup, block.data(), static_cast<int>(block.size()));
}

// The SPI set-up word holds the command byte and the address bits 23-16,
// 15-8 and 7-0 in memory order.
int SpiSetup(U3DeviceContext& ctx, std::uint8_t command, std::uint32_t address)
{
    const auto bytes = SpiAddressed(command, address);
    const std::uint32_t word = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                               static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return Setup(ctx, word, kSpiSetupSecondWord);
}

int ReadStatusLocked(U3DeviceContext& ctx, std::uint8_t* status)
{
    const std::uint8_t command = kSpiReadStatusCmd;
    int result = SpiSelect(ctx);
    result |= Out(ctx, kReqSpiOut, &command, 1);
    result |= In(ctx, kReqSpiIn, status, 1);
    result |= SpiDeselect(ctx);
    return result;
}

int MaxPiece(U3DeviceContext& ctx)
{
    return GetMaxPieceSize(ctx);
}

int SpiFlashRead(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length)
{
    if (ControllerFamilyOf(ctx) == ControllerFamily::Old) {
        for (std::uint32_t offset = 0; offset < length; offset += kOldSpiPiece) {
            const std::uint32_t piece = std::min(kOldSpiPiece, length - offset);
            const auto command = SpiAddressed(kSpiReadCmd, address + offset);
            int result = SpiSelect(ctx);
            result |= Out(ctx, kReqSpiOut, command.data(), 4);
            result |= In(ctx, kReqSpiIn, buffer + offset, static_cast<int>(piece));
            result |= SpiDeselect(ctx);
            if (result != 0) {
                return result;
            }
        }
        return 0;
    }
    const auto maxPiece = static_cast<std::uint32_t>(MaxPiece(ctx));
    for (std::uint32_t offset = 0; offset < length; offset += maxPiece) {
        const std::uint32_t piece = std::min(maxPiece, length - offset);
        int result = SpiSetup(ctx, kSpiReadCmd, address + offset);
        result |= In(ctx, kReqSpiDataIn, buffer + offset, static_cast<int>(piece));
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

int SpiFlashWrite(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length)
{
    const ControllerFamily family = ControllerFamilyOf(ctx);
    const std::uint32_t pieceSize =
        family == ControllerFamily::New ? static_cast<std::uint32_t>(MaxPiece(ctx)) : kOldSpiPiece;
    for (std::uint32_t offset = 0; offset < length; offset += pieceSize) {
        const std::uint32_t piece = std::min(pieceSize, length - offset);
        int result = 0;
        if (family == ControllerFamily::Old) {
            result |= SpiCommand(ctx, kSpiWriteEnable);
            const auto command = SpiAddressed(kSpiPageProgram, address + offset);
            result |= SpiSelect(ctx);
            result |= Out(ctx, kReqSpiOut, command.data(), 4);
            result |= Out(ctx, kReqSpiOut, data + offset, static_cast<int>(piece));
            result |= SpiDeselect(ctx);
            if (result != 0) {
                return result;
            }
            int reads = 0;
            for (;;) {
                std::uint8_t status = 0xFF;
                if (ReadStatusLocked(ctx, &status) != 0) {
                    return 1;
                }
                if ((status & 1) == 0) {
                    break;
                }
                if (++reads >= kSpiWriteBusyReads) {
                    return 1;
                }
            }
            continue;
        }
        result |= SpiSetup(ctx, kSpiPageProgram, address + offset);
        result |= Out(ctx, kReqSpiDataOut, data + offset, static_cast<int>(piece));
        if (family == ControllerFamily::Middle) {
            result |= SpiCommand(ctx, kSpiWriteDisable);
        }
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

int RegisterRead(U3DeviceContext& ctx, std::uint32_t reg, std::uint8_t* buffer, std::uint32_t length)
{
    if (reg >= 128 || length > 4) {
        return 1;
    }
    if (ControllerFamilyOf(ctx) == ControllerFamily::Old) {
        const auto regByte = static_cast<std::uint8_t>(reg);
        int result = Out(ctx, kReqRegSelect, nullptr, 0);
        result |= Out(ctx, kReqSpiOut, &regByte, 1);
        result |= In(ctx, kReqSpiIn, buffer, static_cast<int>(length));
        result |= Out(ctx, kReqRegDeselect, nullptr, 0);
        if (length >= 2) {
            std::swap(buffer[0], buffer[1]);
        }
        return result;
    }
    int result = Setup(ctx, reg << 24, kMcuSetupSecondWord);
    result |= In(ctx, kReqRegDataIn, buffer, static_cast<int>(length));
    return result;
}

int RegisterWrite(U3DeviceContext& ctx, std::uint32_t reg, const std::uint8_t* data, std::uint32_t length)
{
    if (reg >= 128 || (length != 2 && length != 4)) {
        return 1;
    }
    std::array<std::uint8_t, 5> block{};
    block[0] = static_cast<std::uint8_t>(zv::usb3::kRegisterWriteFlag + reg);
    for (std::uint32_t i = 0; i < length; ++i) {
        block[1 + i] = data[length - 1 - i];
    }
    return Out(ctx, kReqRegWrite, block.data(), static_cast<int>(length + 1));
}

// The device-to-host programming init of the C2 routines and the STM32 erase takes the
// lock itself (it nests inside the routine's).
int McuProgInit(U3DeviceContext& ctx, bool hostToDevice)
{
    return u3VrReq(ctx, kReqMcuProgInit, 0, 0, nullptr, 0, hostToDevice ? kToDevice : kFromDevice,
                   hostToDevice ? kNoLock : kTakeLock);
}

int McuRead(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length,
            std::uint32_t pieceSize)
{
    int result = Setup(ctx, address, kMcuSetupSecondWord);
    for (std::uint32_t offset = 0; offset < length && result == 0; offset += pieceSize) {
        result |= In(ctx, kReqMcuDataIn, buffer + offset, static_cast<int>(std::min(pieceSize, length - offset)));
    }
    return result;
}

int McuWrite(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length,
             std::uint32_t pieceSize)
{
    int result = Setup(ctx, address, kMcuSetupSecondWord);
    for (std::uint32_t offset = 0; offset < length && result == 0; offset += pieceSize) {
        result |= Out(ctx, kReqMcuDataOut, data + offset, static_cast<int>(std::min(pieceSize, length - offset)));
    }
    return result;
}

std::uint32_t Stm32Piece(U3DeviceContext& ctx)
{
    return std::min(kStm32Piece, static_cast<std::uint32_t>(MaxPiece(ctx)));
}

int PacketSize(const U3DeviceContext& ctx)
{
    return ctx.highSpeed ? 512 : 1024;
}

// C51 request block header: operation, three bytes, length, address.
std::vector<std::uint8_t> C51Block(std::array<std::uint8_t, 4> head, std::uint16_t length, std::uint16_t address)
{
    return {head[0],
            head[1],
            head[2],
            head[3],
            static_cast<std::uint8_t>(length),
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(address >> 8)};
}

int Deliver(U3DeviceContext& ctx, const std::uint8_t* block, int blockLength, int retries)
{
    for (int attempt = 0; attempt <= retries; ++attempt) {
        if (USB_JR_SendCommand(ctx, 0, block, blockLength, nullptr, 0, nullptr) == 0) {
            return 0;
        }
        zv::os::SleepMs(1);
    }
    return 1;
}

// One reply fetch with its retries; the length the device answered in `got`.
int Fetch(U3DeviceContext& ctx, std::uint8_t* reply, int capacity, int retries, int& got)
{
    for (int attempt = 0; attempt <= retries; ++attempt) {
        got = 0;
        if (USB_JR_SendCommand(ctx, 1, nullptr, 0, reply, capacity, &got) == 0) {
            return 0;
        }
        zv::os::SleepMs(1);
    }
    return 1;
}

// Reads C51 memory in 512-byte pieces with the block's operation byte.
int C51ReadPieces(U3DeviceContext& ctx, std::uint8_t operation, std::uint32_t address, std::uint8_t* buffer,
                  std::uint32_t length, int retries)
{
    for (std::uint32_t offset = 0; offset < length; offset += kC51Piece) {
        const auto piece = static_cast<std::uint16_t>(std::min(kC51Piece, length - offset));
        const auto block = C51Block({operation, 0, 0, 0}, piece, static_cast<std::uint16_t>(address + offset));
        if (C51Transaction(ctx, block.data(), buffer + offset, static_cast<int>(block.size()), piece, retries) != 0) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

ControllerFamily ControllerFamilyOf(const U3DeviceContext& ctx)
{
    const int minor = ctx.fwVersion[0];
    const int major = ctx.fwVersion[1];
    if (major < 2 || (major == 2 && minor <= 6)) {
        return ControllerFamily::Old;
    }
    if (major > 4 || (major == 4 && minor > 33)) {
        return ControllerFamily::New;
    }
    return ControllerFamily::Middle;
}

int SpiSectorErase(U3DeviceContext& ctx, std::uint32_t sector)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    // Always the old-style sequence, whatever the controller family.
    int result = SpiCommand(ctx, kSpiWriteEnable);
    const auto command = SpiAddressed(kSpiSectorEraseCmd, sector * zv::usb3::kSpiSectorSize);
    result |= SpiSelect(ctx);
    result |= Out(ctx, kReqSpiOut, command.data(), 4);
    result |= SpiDeselect(ctx);
    if (result != 0) {
        return result;
    }
    // A flash that never leaves busy must not hold the run forever.
    const std::uint32_t begin = zv::os::TickCountMs();
    for (;;) {
        std::uint8_t status = 0xFF;
        if (ReadStatusLocked(ctx, &status) != 0) {
            return 1;
        }
        if ((status & 1) == 0) {
            break;
        }
        if (zv::os::TickCountMs() - begin >= kSectorEraseTimeoutMs) {
            Debug3("SpiSectorErase busy timeout\n");
            return 1;
        }
        zv::os::SleepMs(1);
    }
    return SpiCommand(ctx, kSpiWriteDisable);
}

int SpiReadStatus(U3DeviceContext& ctx, std::uint8_t* status)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    return ReadStatusLocked(ctx, status);
}

namespace {

// An SPI-bus access under the device lock, to the memory `kind` names: the
// flash or the registers; the other memory kinds are reached by no command.
template <typename Flash, typename Register>
int SpiAccess(U3DeviceContext& ctx, int kind, const Flash& flash, const Register& registers)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    switch (kind) {
    case kSpiKindFlash:
        return flash();
    case kSpiKindRegister:
        return registers();
    default:
        return 1;
    }
}

}  // namespace

int SpiRead(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, int kind)
{
    return SpiAccess(
        ctx, kind, [&] { return SpiFlashRead(ctx, address, buffer, length); },
        [&] { return RegisterRead(ctx, address, buffer, length); });
}

int SpiWrite(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length, int kind)
{
    return SpiAccess(
        ctx, kind, [&] { return SpiFlashWrite(ctx, address, data, length); },
        [&] { return RegisterWrite(ctx, address, data, length); });
}

int c2PageErase(U3DeviceContext& ctx, std::uint32_t page)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    int result = McuProgInit(ctx, false);
    result |= Setup(ctx, page * kC2PageSize, kMcuSetupSecondWord);
    result |= Out(ctx, kReqMcuErase, nullptr, 0);
    return result;
}

namespace {

// A read or write of an MCU's flash under the device lock; the first call
// of a pass sets up the MCU's programming first (`stm32` picks its form).
// `enter`, when given, is printed once the lock is held.
template <typename Transfer>
int McuRoutine(U3DeviceContext& ctx, bool first, bool stm32, const Transfer& transfer, const char* enter = nullptr)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    if (enter != nullptr) {
        Debug3(enter);
    }
    const int result = first ? McuProgInit(ctx, stm32) : 0;
    return result | transfer();
}

}  // namespace

int c2Read(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first)
{
    return McuRoutine(
        ctx, first, false, [&] { return McuRead(ctx, address, buffer, length, kMcuPiece); }, "ZAV 5 enter\r\n");
}

int c2Write(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool first)
{
    return McuRoutine(ctx, first, false, [&] { return McuWrite(ctx, address, data, length, kMcuPiece); });
}

int PageEraseSTM32F4XX(U3DeviceContext& ctx, std::uint32_t sector, bool first)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    int result = 0;
    if (first && McuProgInit(ctx, false) != 0) {
        Debug3("PageEraseSTM32F4XX VR_STM32F4XX_FLASH_PROG_INIT failed\r\n");
        result = 1;
    }
    result |= Setup(ctx, sector, kMcuSetupSecondWord);
    result |= Out(ctx, kReqMcuErase, nullptr, 0);
    return result;
}

int ReadSTM32F4XX(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first)
{
    return McuRoutine(ctx, first, true, [&] { return McuRead(ctx, address, buffer, length, Stm32Piece(ctx)); });
}

int WriteSTM32F4XX(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length,
                   bool first)
{
    return McuRoutine(ctx, first, true, [&] { return McuWrite(ctx, address, data, length, Stm32Piece(ctx)); });
}

int ResetSTM32F4XX(U3DeviceContext& ctx, std::uint8_t value)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    return Out(ctx, kReqStmReset, &value, 1);
}

int GetSID_From_STM32F4XX(U3DeviceContext& ctx, std::uint8_t* buffer, int size)
{
    if (size < 12) {
        Debug3("GetSID_From_STM32F4XX small buffer for SID\n");
        return 1;
    }
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    constexpr int kReplyCapacity = 260;
    std::array<std::uint8_t, kReplyCapacity> reply{};
    std::array<std::uint8_t, 10> frame{};
    if (SendCommandToStmMcu(ctx, kMcuCommandUniqueId, reply.data(), kReplyCapacity, frame.data(), kMcuFrameHeaderSize) != 0) {
        return 1;
    }
    // Six little-endian words from offset 8, each stored high byte first.
    for (std::size_t i = 0; i < 6; ++i) {
        buffer[2 * i] = reply[8 + 2 * i + 1];
        buffer[2 * i + 1] = reply[8 + 2 * i];
    }
    return 0;
}

int USB_JR_SendCommand(U3DeviceContext& ctx, std::uint16_t channelCommand, const std::uint8_t* write, int writeLength,
                       std::uint8_t* reply, int replyCapacity, int* replyLength)
{
    const int limit = PacketSize(ctx) - 80;
    if (writeLength > kC51MaxWrite || writeLength < 0 || replyCapacity < 0) {
        return 1;
    }
    if (GetDebugLevel() <= 1) {
        DebugPrintf("USB_JR_SendCommand cmd:x%x\n", channelCommand);
    }
    const bool writing = writeLength > 0;
    const int total = writing ? writeLength : replyCapacity;
    const bool twoParts = writeLength > limit || replyCapacity > limit;
    const int firstLength = twoParts ? limit : total;

    std::vector<std::uint8_t> frame(6 + static_cast<std::size_t>(std::max(firstLength, 0)));
    const auto sendPart = [&](std::uint16_t part, int length, int dataOffset, std::uint8_t* replyAt, int* got) {
        frame[0] = static_cast<std::uint8_t>(channelCommand);
        frame[1] = static_cast<std::uint8_t>(channelCommand >> 8);
        frame[2] = static_cast<std::uint8_t>(part);
        frame[3] = static_cast<std::uint8_t>(part >> 8);
        frame[4] = static_cast<std::uint8_t>(length);
        frame[5] = static_cast<std::uint8_t>(length >> 8);
        if (writing) {
            std::memcpy(frame.data() + 6, write + dataOffset, static_cast<std::size_t>(length));
        }
        return u3VrReqBulkBid(ctx, kReqC51Channel, 0, 0, frame.data(), writing ? 6 + length : 6, replyAt,
                              writing ? 0 : length, got, kNoLock);
    };

    int result = sendPart(twoParts ? 1 : 3, firstLength, 0, reply, replyLength);
    if (result == 0 && twoParts) {
        const int rest = total - limit;
        if (rest > 0) {
            int already = replyLength != nullptr ? *replyLength : 0;
            // The second part's reply goes behind the bytes already received,
            // and never past the caller's buffer.
            if (!writing && already > limit) {
                already = limit;
            }
            int second = 0;
            result = sendPart(2, rest, limit, reply != nullptr ? reply + already : nullptr, &second);
            if (result == 0 && replyLength != nullptr) {
                *replyLength += second;
            }
        }
    }
    return result;
}

int C51SendRequest(U3DeviceContext& ctx, const std::uint8_t* block, int blockLength, int retries)
{
    return Deliver(ctx, block, blockLength, retries);
}

int C51Transaction(U3DeviceContext& ctx, const std::uint8_t* block, std::uint8_t* reply, int blockLength,
                   int replyCapacity, int retries)
{
    if (Deliver(ctx, block, blockLength, retries) != 0) {
        return 1;
    }
    int received = 0;
    for (;;) {
        // Only what is left of the caller's buffer is asked for.
        const int capacity = std::min(replyCapacity - received, kC51FetchSize);
        if (capacity <= 0) {
            return 0;
        }
        int got = 0;
        if (Fetch(ctx, reply + received, capacity, retries, got) != 0) {
            return 1;
        }
        received += std::min(got, capacity);
        if (got != kC51FetchSize) {
            return 0;
        }
    }
}

int ProbeC51Bootloader(U3DeviceContext& ctx)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    std::array<std::uint8_t, 260> reply{};
    const auto block = C51Block({zv::usb3::kC51OpProbe, 0, 0, 0}, 256, 0);
    return C51Transaction(ctx, block.data(), reply.data(), static_cast<int>(block.size()),
                          static_cast<int>(reply.size()), kC51ProbeRetries);
}

int GlobalEraseFlashC51_JR(U3DeviceContext& ctx, std::uint32_t length, bool ccd)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    if (ccd) {
        const std::array<std::uint8_t, 11> block{zv::usb3::kC51OpEraseAll,
                                                 zv::usb3::kC51Signature0,
                                                 zv::usb3::kC51Signature1,
                                                 zv::usb3::kC51SubOpErase,
                                                 0x03,
                                                 0x00,
                                                 0x00,
                                                 0x00,
                                                 0x02,
                                                 static_cast<std::uint8_t>(length >> 8),
                                                 static_cast<std::uint8_t>(length)};
        std::array<std::uint8_t, 512> reply{};
        return C51Transaction(ctx, block.data(), reply.data(), static_cast<int>(block.size()),
                              static_cast<int>(reply.size()), kC51EraseRetries);
    }
    // The boot loader of other cameras erases each page it writes.
    if (ProbeC51Bootloader(ctx) == 0) {
        return 0;
    }
    Debug3("GlobalEraseFlashC51_JR: camera MCU can't be updated due to old bootloader\r\n");
    return 1;
}

int WriteC51Falsh_JR(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length,
                     bool ccd)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    if (!ccd && ProbeC51Bootloader(ctx) != 0) {
        Debug3("WriteC51Falsh_JR: camera MCU can't be updated due to old bootloader\r\n");
        return 1;
    }
    std::vector<std::uint8_t> reply;
    try {
        reply.resize(kC51WriteReplyCapacity);
    } catch (const std::bad_alloc&) {
        Debug3("hRWMutex memory allocation\r\n");
        return 1;
    }
    int pieceResult = 0;
    for (std::uint32_t offset = 0; offset < length; offset += kC51Piece) {
        const auto piece = static_cast<std::uint16_t>(std::min(kC51Piece, length - offset));
        auto block = C51Block({zv::usb3::kC51OpWriteFlash, zv::usb3::kC51Signature0, zv::usb3::kC51Signature1, zv::usb3::kC51SubOpWrite}, piece, static_cast<std::uint16_t>(address + offset));
        block.insert(block.end(), data + offset, data + offset + piece);
        if (C51Transaction(ctx, block.data(), reply.data(), static_cast<int>(block.size()), kC51WriteReplyCapacity,
                           kC51FlashWriteRetries) != 0) {
            Debug3("WriteC51Falsh_JR: couldn't write fw\r\n");
            pieceResult = 1;
            break;
        }
    }
    const auto closing = C51Block({zv::usb3::kC51OpWriteFlash, zv::usb3::kC51Signature0, zv::usb3::kC51Signature1, zv::usb3::kC51SubOpWrite}, 0, 0);
    int result = C51SendRequest(ctx, closing.data(), static_cast<int>(closing.size()), kC51ClosingRetries);
    if (ccd && result == 0) {
        // The CCD boot loader answers with what it wrote; those answers are
        // collected until they cover the length, but a camera that keeps
        // answering (or never does) must not hold the run forever.
        const std::uint32_t begin = zv::os::TickCountMs();
        const std::uint32_t maxFetches = length / 16 + 64;
        std::uint32_t collected = 0;
        std::uint32_t fetches = 0;
        while (collected < length) {
            if (fetches++ >= maxFetches || zv::os::TickCountMs() - begin >= kC51ClosingFetchTimeoutMs) {
                Debug3("WriteC51Falsh_JR: no end of the write replies\r\n");
                result = 1;
                break;
            }
            int got = 0;
            if (USB_JR_SendCommand(ctx, 1, nullptr, 0, reply.data(), kC51FetchSize, &got) == 0) {
                collected += static_cast<std::uint32_t>(std::max(got, 0));
            } else {
                zv::os::SleepMs(1);
            }
        }
    }
    return pieceResult != 0 ? pieceResult : result;
}

int ReadC51Flash(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    return C51ReadPieces(ctx, zv::usb3::kC51OpReadFlash, address, buffer, length, kC51ReadRetries);
}

int ReadEepromC51_JR(U3DeviceContext& ctx, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    return C51ReadPieces(ctx, zv::usb3::kC51OpReadEeprom, address, buffer, length, kC51EepromReadRetries);
}

int WriteEepromC51_JR(U3DeviceContext& ctx, std::uint32_t address, const std::uint8_t* data, std::uint32_t length)
{
    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    std::array<std::uint8_t, 512> reply{};
    for (std::uint32_t offset = 0; offset < length; offset += kC51Piece) {
        const auto piece = static_cast<std::uint16_t>(std::min(kC51Piece, length - offset));
        auto block = C51Block({zv::usb3::kC51OpWriteEeprom, 0, 0, 0}, piece, static_cast<std::uint16_t>(address + offset));
        block.insert(block.end(), data + offset, data + offset + piece);
        if (C51Transaction(ctx, block.data(), reply.data(), static_cast<int>(block.size()),
                           static_cast<int>(reply.size()), kC51EepromWriteRetries) != 0) {
            return 1;
        }
    }
    return 0;
}

int LoadFW_From_Buffer(U3DeviceContext& ctx, const std::uint8_t* image, std::uint32_t size)
{
    const auto word = [image](std::uint32_t at) {
        return static_cast<std::uint32_t>(image[at]) | static_cast<std::uint32_t>(image[at + 1]) << 8 |
               static_cast<std::uint32_t>(image[at + 2]) << 16 | static_cast<std::uint32_t>(image[at + 3]) << 24;
    };
    const std::uint16_t signature = size >= 2 ? static_cast<std::uint16_t>(image[0] | image[1] << 8) : 0;
    if (signature != kBootSignature) {
        if (DebugLevelAtMost(4)) {
            DebugPrintf("LoadFW_From_Buffer: invalid signature x%x\n", signature);
        }
        return 255;
    }
    // Walk the sections first: a truncated image or a wrong checksum is
    // refused before anything is written or started.
    struct Section {
        std::uint32_t offset;
        std::uint32_t bytes;
        std::uint32_t address;
    };
    std::vector<Section> sections;
    std::uint32_t at = 4;
    std::uint32_t checksum = 0;
    std::uint32_t jump = 0;
    for (;;) {
        if (size < 8 || at > size - 8) {
            if (DebugLevelAtMost(4)) {
                DebugPrintf("LoadFW_From_Buffer: image ends inside its sections\n");
            }
            return 255;
        }
        const std::uint32_t words = word(at);
        const std::uint32_t address = word(at + 4);
        at += 8;
        if (words == 0) {
            jump = address;
            break;
        }
        if (words > (size - at) / 4) {
            if (DebugLevelAtMost(4)) {
                DebugPrintf("LoadFW_From_Buffer: image ends inside its sections\n");
            }
            return 255;
        }
        for (std::uint32_t i = 0; i < words; ++i) {
            checksum += word(at + 4 * i);
        }
        sections.push_back({at, words * 4, address});
        at += words * 4;
    }
    if (at > size - 4 || size < 4) {
        if (DebugLevelAtMost(4)) {
            DebugPrintf("LoadFW_From_Buffer: image ends inside its sections\n");
        }
        return 255;
    }
    const std::uint32_t expected = word(at);
    if (checksum != expected) {
        if (DebugLevelAtMost(4)) {
            DebugPrintf("LoadFW_From_Buffer: invalid checksum x%x expected x%x\n", checksum, expected);
        }
        return 255;
    }

    RoutineLock lock(ctx);
    if (!lock.Held()) {
        return 1;
    }
    for (const Section& section : sections) {
        for (std::uint32_t offset = 0; offset < section.bytes; offset += kBootPiece) {
            const std::uint32_t address = section.address + offset;
            const auto piece = static_cast<int>(std::min(kBootPiece, section.bytes - offset));
            if (Out(ctx, kReqRamWrite, image + section.offset + offset, piece, static_cast<std::uint16_t>(address),
                    static_cast<std::uint16_t>(address >> 16)) != 0) {
                if (DebugLevelAtMost(4)) {
                    DebugPrintf("LoadFW_From_Buffer: write memory error\n");
                }
                return 255;
            }
        }
    }
    if (Out(ctx, kReqRamWrite, nullptr, 0, static_cast<std::uint16_t>(jump), static_cast<std::uint16_t>(jump >> 16)) !=
        0) {
        if (DebugLevelAtMost(4)) {
            DebugPrintf("LoadFW_From_Buffer: write memory error\n");
        }
        return 255;
    }
    return 0;
}
