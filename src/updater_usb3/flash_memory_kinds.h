#pragma once

// What the flash engine does to each kind of memory a USB3 camera keeps
// firmware in: one row per kind (the USB controller's SPI NOR flash, the
// STM32 flash, the C51 flash and EEPROM, the C2 flash) with how it is read
// back, erased, programmed and verified, whether it can be dumped, and how
// the first bytes of an image are written last. The engine
// (FW_Updater_USB30::FlashOperation) prepares a FlashJob and dispatches
// through the row of the job's memory; it never asks which memory it has.
//
// Every operation reports progress through the updater and throws an
// UpdaterError at the first failure.

#include "usb3_memory_map.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CameraFW;
class FW_Updater_USB30;

// One operation on one firmware type, as the engine prepared it.
struct FlashJob {
    std::int32_t firmwareType = 0;
    usb3map::MemoryMapDescriptor map;
    usb3map::TypeRegion region;
    bool infoPartition = false;           // a rewrite of the info partition, kept in a backup meanwhile
    std::vector<std::uint8_t> built;      // an image made here (info partition, memory map)
    std::span<const std::uint8_t> image;  // what is programmed or compared: `built` or the file's payload
    std::vector<std::uint8_t> original;   // the info partition as it was read
    std::uint32_t windowStart = 0;
    std::uint32_t windowStop = 0;
};

// The bytes of a job's image that its memory holds, and where they start.
struct ImagePart {
    std::uint32_t start = 0;
    std::span<const std::uint8_t> bytes;
};

struct MemoryKind {
    usb3map::Memory memory;
    // Reads `length` bytes at `address`; `first` marks the first piece of a pass.
    void (*read)(CameraFW& camera, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first);
    std::uint32_t readPiece;  // bytes per read while verifying and dumping
    // Bytes one erase request clears, aligned to its size; 0 where the memory
    // is erased otherwise (STM32 sectors of their own sizes, the C51 flash by
    // length) or written over without erasing (the C51 EEPROM).
    std::uint32_t eraseUnit;
    // Writes the first bytes of an image into an already programmed region
    // whose head was left erased; none where the image goes in one request,
    // which the memory's own controller completes or rejects whole.
    void (*writeHead)(CameraFW& camera, std::uint32_t address, std::span<const std::uint8_t> head);
    ImagePart (*part)(const FlashJob& job);
    void (*program)(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job);
    void (*verify)(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job);
    bool dumps;
};

// The row of a memory kind; every kind has one.
const MemoryKind& KindOf(usb3map::Memory memory);
// Every row, for checks over the whole table.
std::span<const MemoryKind> MemoryKinds();

// Reads `expected` back from the memory in pieces and compares it, reporting
// 67-99 %; prints the first difference and throws "FW verify check error".
void VerifyMemory(FW_Updater_USB30& updater, const MemoryKind& kind, std::uint32_t start,
                  std::span<const std::uint8_t> expected);
// Reads a region into a file; the file is complete or not there at all.
void DumpMemory(FW_Updater_USB30& updater, const MemoryKind& kind, std::uint32_t start, std::uint32_t size,
                const std::string& fileName);
// Erases, writes and verifies a region of the SPI flash; its first
// `headBytesLast` bytes stay erased until everything else is verified, then
// are written and verified.
void WriteSpiRegion(FW_Updater_USB30& updater, std::uint32_t start, std::uint32_t eraseSize,
                    std::span<const std::uint8_t> image, std::uint32_t headBytesLast);
