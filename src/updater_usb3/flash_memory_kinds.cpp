#include "flash_memory_kinds.h"

#include "camera_fw.h"
#include "fw_sel_item.h"
#include "fw_updater_usb30.h"
#include "info_partition_backup.h"
#include "os_clock.h"
#include "os_file_path.h"
#include "text_format.h"
#include "u3_device.h"
#include "updater_error.h"
#include "usb3_routines.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

using namespace usb3map;

namespace {

constexpr std::uint32_t kSpiPiece = 64;
constexpr std::uint32_t kC51VerifyPiece = 512;
constexpr int kCpu3ReopenAttempts = 11;

int ProgressOf(std::uint32_t done, std::uint32_t total, std::uint32_t base)
{
    return static_cast<int>(static_cast<std::uint64_t>(done) * 33 / total + base);
}

// The parts of an image a memory holds. Checks that need only the file come
// before the first erase.

ImagePart WholeImage(const FlashJob& job)
{
    return {job.region.region.start, job.image};
}

// The C51 flash holds what the image's own length field says.
ImagePart Cpu3Image(const FlashJob& job)
{
    const std::span<const std::uint8_t> image = job.image;
    const std::uint32_t length = image.size() >= 3 ? image[1] * 256u + image[2] : 0xFFFFFFFFu;
    if (length > image.size()) {
        throw UpdaterError("Error invalid CPU3 firmware length: it runs past the end of the file");
    }
    return {job.region.region.start, image.first(length)};
}

// The C51 EEPROM is written in the window the command line chose.
ImagePart WindowOfImage(const FlashJob& job)
{
    if (job.windowStop > job.image.size() || job.windowStart >= job.windowStop) {
        throw UpdaterError(FormatText("Error invalid firmware window x%x-x%x for a file of x%zx bytes",
                                      job.windowStart, job.windowStop, job.image.size()));
    }
    return {job.windowStart, job.image.subspan(job.windowStart, job.windowStop - job.windowStart)};
}

// How each memory is read back.

void ReadSpiFlash(CameraFW& camera, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool)
{
    camera.ReadSPI(address, buffer, length, kSpiKindFlash);
}

void ReadStm32(CameraFW& camera, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first)
{
    camera.cpu2Read(address, buffer, length, first);
}

void ReadC51Flash(CameraFW& camera, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool)
{
    camera.c51ReadFlash(address, buffer, length);
}

void ReadC51Eeprom(CameraFW& camera, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool)
{
    camera.c51ReadEeprom(address, buffer, length);
}

void ReadC2(CameraFW& camera, std::uint32_t address, std::uint8_t* buffer, std::uint32_t length, bool first)
{
    camera.c2iRead(address, buffer, length, first);
}

// The SPI NOR flash programs an erased head over the rest without erasing it.
void WriteSpiHead(CameraFW& camera, std::uint32_t address, std::span<const std::uint8_t> head)
{
    camera.WriteSPI(address, head.data(), static_cast<std::uint32_t>(head.size()), kSpiKindFlash);
}

// Erases, writes and verifies an SPI flash region, leaving the head erased
// until the rest is verified.
void WriteRegion(FW_Updater_USB30& updater, const MemoryKind& kind, std::uint32_t start, std::uint32_t eraseSize,
                 std::span<const std::uint8_t> image, std::uint32_t headBytesLast)
{
    CameraFW& camera = updater.Camera();
    const bool headLast = headBytesLast > 0 && image.size() >= headBytesLast;
    std::vector<std::uint8_t> withoutHead;
    std::span<const std::uint8_t> data = image;
    if (headLast) {
        withoutHead.assign(image.begin(), image.end());
        std::fill_n(withoutHead.begin(), headBytesLast, std::uint8_t{0xFF});
        data = withoutHead;
    }
    const std::uint32_t sectors = (eraseSize + kind.eraseUnit - 1) / kind.eraseUnit;
    std::printf("FW flash erasing\n");
    for (std::uint32_t j = 0; j < sectors; ++j) {
        std::printf("FW flash erasing - sect:%d\n", static_cast<int>(j));
        camera.SectorErase(start / kind.eraseUnit + j);
        std::printf("FW flash erased - sect:%d [OK]\n", static_cast<int>(j));
        updater.ReportProgress(static_cast<int>(j * 33 / sectors));
    }
    std::printf("FW flash programming\n");
    const auto length = static_cast<std::uint32_t>(data.size());
    for (std::uint32_t offset = 0; offset < length; offset += kSpiPiece) {
        camera.WriteSPI(start + offset, data.data() + offset, std::min(kSpiPiece, length - offset), kSpiKindFlash);
        updater.ReportProgress(ProgressOf(offset, length, 33));
    }
    VerifyMemory(updater, kind, start, data);
    if (headLast) {
        const auto head = image.first(std::min(kSpiPiece, length));
        kind.writeHead(camera, start, head);
        VerifyMemory(updater, kind, start, head);
    }
}

// The info partition holds what makes this camera unique: it is kept in a
// backup file while it is rewritten, and put back when the rewrite fails.
void ProgramInfoPartition(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job)
{
    const MemoryRegion& region = job.region.region;
    const std::uint32_t head = job.region.headBytesLast;
    const InfoPartitionBackup backup(U3DeviceSerial(updater.Camera().DevicePath()));
    backup.Write(job.original);
    try {
        WriteRegion(updater, kind, region.start, region.size, job.image, head);
    } catch (const std::exception&) {
        std::printf("InfoPartition rewrite failed: writing the kept partition back\n");
        try {
            WriteRegion(updater, kind, region.start, region.size, job.original, head);
            backup.Remove();
            std::printf("InfoPartition written back\n");
        } catch (const std::exception&) {
            std::printf("InfoPartition could not be written back; its backup %s is kept for the next run\n",
                        backup.Name().c_str());
        }
        throw;
    }
    backup.Remove();
}

// Programming, per memory.

void ProgramSpi(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job)
{
    if (job.infoPartition) {
        ProgramInfoPartition(updater, kind, job);
        return;
    }
    const ImagePart part = kind.part(job);
    WriteRegion(updater, kind, part.start, job.region.region.size, part.bytes, job.region.headBytesLast);
}

void ProgramStm32(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job)
{
    CameraFW& camera = updater.Camera();
    const ImagePart part = kind.part(job);
    const std::uint32_t size = job.region.region.size;
    const int sectors = Stm32SectorsFor(size);
    std::printf("FW flash erase wait\n");
    zv::os::SleepMs(1000);
    std::printf("FW flash erasing\n");
    std::uint32_t erased = 0;
    for (int s = 0; s < sectors; ++s) {
        camera.cpu2PageErase(static_cast<std::uint32_t>(s), s == 0);
        erased += kStm32SectorSizes[static_cast<std::size_t>(s)];
        updater.ReportProgress(ProgressOf(erased, size, 0));
    }
    std::printf("FW flash programming\n");
    camera.cpu2Write(part.start, part.bytes.data(), static_cast<std::uint32_t>(part.bytes.size()), true);
    VerifyMemory(updater, kind, part.start, part.bytes);
    updater.ReportProgress(100);
    if (job.firmwareType == FW_TYPE_CPU5) {
        camera.cpu2SetToReset();
    }
    camera.Reset();
}

void ProgramC51Flash(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job)
{
    CameraFW& camera = updater.Camera();
    const ImagePart part = kind.part(job);
    const auto length = static_cast<std::uint32_t>(part.bytes.size());
    std::printf("FW flash erase wait\n");
    zv::os::SleepMs(1000);
    std::printf("FW flash erasing\n");
    camera.c51Erase(length);
    std::printf("Done\n");
    std::printf("FW flash programming\n");
    camera.c51WriteFlash(part.start, part.bytes.data(), length);
    std::printf("Done\n");
    // The C51 restarts into what was written: it is verified once the camera
    // is back.
    zv::os::SleepMs(1000);
    camera.Close();
    bool opened = false;
    for (int attempt = 0; attempt < kCpu3ReopenAttempts && !opened; ++attempt) {
        zv::os::SleepMs(1000);
        try {
            camera.Open();
            opened = true;
        } catch (const UpdaterError&) {
            opened = false;
        }
    }
    // A camera that does not come back was not verified: that is no success.
    if (!opened) {
        throw UpdaterError("Couldn't not open camera, might be damaged");
    }
    VerifyMemory(updater, kind, part.start, part.bytes);
    updater.ReportProgress(100);
}

void ProgramC51Eeprom(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job)
{
    const ImagePart part = kind.part(job);
    std::printf("FW flash programming\n");
    updater.Camera().c51WriteEeprom(part.start, part.bytes.data(), static_cast<std::uint32_t>(part.bytes.size()));
    VerifyMemory(updater, kind, part.start, part.bytes);
    updater.ReportProgress(100);
}

void ProgramC2(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job)
{
    CameraFW& camera = updater.Camera();
    const ImagePart part = kind.part(job);
    const MemoryRegion& region = job.region.region;
    const auto pages = static_cast<int>(region.size / kind.eraseUnit);
    std::printf("FW flash erasing\n");
    for (int i = 0; i < pages; ++i) {
        camera.c2iPageErase(region.start / kind.eraseUnit + static_cast<std::uint32_t>(i));
        std::printf("FW flash erasing - sect:%d\n", i);
        updater.ReportProgress(i * 33 / pages);
    }
    std::printf("FW flash programming\n");
    camera.c2iWrite(part.start, part.bytes.data(), static_cast<std::uint32_t>(part.bytes.size()), true);
    updater.ReportProgress(66);
    VerifyMemory(updater, kind, part.start, part.bytes);
    updater.ReportProgress(100);
}

// Verifying, per memory.

void VerifyPart(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job)
{
    const ImagePart part = kind.part(job);
    VerifyMemory(updater, kind, part.start, part.bytes);
}

void VerifyPartToTheEnd(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job)
{
    VerifyPart(updater, kind, job);
    updater.ReportProgress(100);
}

// Reading the STM32 flash stops its program: the camera restarts afterwards.
void VerifyPartAndRestart(FW_Updater_USB30& updater, const MemoryKind& kind, const FlashJob& job)
{
    VerifyPartToTheEnd(updater, kind, job);
    updater.Camera().Reset();
}

// One row per memory kind, in the order of usb3map::Memory.
// clang-format off
constexpr std::array<MemoryKind, 5> kMemoryKinds{{
    // memory            read           piece            erase unit      head last     image part     program           verify                dumps
    {Memory::SpiFlash,   ReadSpiFlash,  kSpiPiece,       kSpiSectorSize, WriteSpiHead, WholeImage,    ProgramSpi,       VerifyPart,           true},
    {Memory::Stm32Flash, ReadStm32,     kSpiPiece,       0,              nullptr,      WholeImage,    ProgramStm32,     VerifyPartAndRestart, false},
    {Memory::C51Flash,   ReadC51Flash,  kC51VerifyPiece, 0,              nullptr,      Cpu3Image,     ProgramC51Flash,  VerifyPartToTheEnd,   false},
    {Memory::C51Eeprom,  ReadC51Eeprom, kSpiPiece,       0,              nullptr,      WindowOfImage, ProgramC51Eeprom, VerifyPartToTheEnd,   false},
    {Memory::C2Flash,    ReadC2,        kSpiPiece,       kC2PageSize,    nullptr,      WholeImage,    ProgramC2,        VerifyPart,           false},
}};
// clang-format on

}  // namespace

const MemoryKind& KindOf(Memory memory)
{
    const auto row = static_cast<std::size_t>(memory);
    if (row >= kMemoryKinds.size() || kMemoryKinds[row].memory != memory) {
        throw UpdaterError("Unsupported firmware type");
    }
    return kMemoryKinds[row];
}

std::span<const MemoryKind> MemoryKinds()
{
    return kMemoryKinds;
}

void VerifyMemory(FW_Updater_USB30& updater, const MemoryKind& kind, std::uint32_t start,
                  std::span<const std::uint8_t> expected)
{
    const auto size = static_cast<std::uint32_t>(expected.size());
    std::printf("FW flash verifying size:x%x\n", size);
    std::vector<std::uint8_t> buffer(kind.readPiece);
    for (std::uint32_t offset = 0; offset < size; offset += kind.readPiece) {
        const std::uint32_t length = std::min(kind.readPiece, size - offset);
        kind.read(updater.Camera(), start + offset, buffer.data(), length, offset == 0);
        const std::uint8_t* want = expected.data() + offset;
        if (std::memcmp(buffer.data(), want, length) != 0) {
            std::uint32_t i = 0;
            while (buffer[i] == want[i]) {
                ++i;
            }
            std::printf("FW verify check error addr x%x read x%02x, exp x%02x\n", offset + i, buffer[i], want[i]);
            throw UpdaterError("FW verify check error");
        }
        updater.ReportProgress(ProgressOf(offset, size, 67));
    }
}

void DumpMemory(FW_Updater_USB30& updater, const MemoryKind& kind, std::uint32_t start, std::uint32_t size,
                const std::string& fileName)
{
    std::printf("FW flash size:x%x\n", size);
    // Written under a temporary name and moved in place at the end: a failed
    // dump leaves no file that looks complete.
    const std::string temporary = fileName + ".partial";
    std::ofstream out(zv::os::FilePath(temporary), std::ios::binary | std::ios::trunc);
    if (!out) {
        throw UpdaterError("WriteFile - Can not open output file");
    }
    try {
        std::vector<std::uint8_t> piece(kind.readPiece);
        for (std::uint32_t offset = 0; offset < size; offset += kind.readPiece) {
            const std::uint32_t length = std::min(kind.readPiece, size - offset);
            kind.read(updater.Camera(), start + offset, piece.data(), length, offset == 0);
            out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(length));
            updater.ReportProgress(ProgressOf(offset, size, 67));
        }
        out.close();
        if (!out) {
            throw UpdaterError("WriteFile - Can not write output file");
        }
        std::error_code ec;
        zv::os::RenameFile(temporary, fileName, ec);
        if (ec) {
            throw UpdaterError("WriteFile - Can not open output file");
        }
    } catch (...) {
        out.close();
        zv::os::RemoveFile(temporary);
        throw;
    }
}

void WriteSpiRegion(FW_Updater_USB30& updater, std::uint32_t start, std::uint32_t eraseSize,
                    std::span<const std::uint8_t> image, std::uint32_t headBytesLast)
{
    WriteRegion(updater, KindOf(Memory::SpiFlash), start, eraseSize, image, headBytesLast);
}
