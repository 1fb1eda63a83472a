// The flash engine of the direct USB3 updater: erase, program, verify and
// dump of every memory a USB3 camera keeps its firmware in.

#include "camera_run_lock.h"
#include "fw_decrypter.h"
#include "fw_sel_item.h"
#include "fw_updater_usb30.h"
#include "info_partition_backup.h"
#include "os_clock.h"
#include "text_format.h"
#include "updater_error.h"
#include "usb3_routines.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include "os_file_path.h"

using namespace usb3map;

namespace {

constexpr std::uint32_t kSpiPiece = 64;
constexpr std::uint32_t kCpu1BootBytes = 2;    // the controller's boot signature
constexpr std::uint32_t kInfoFormatBytes = 4;  // the info partition's format word
constexpr std::uint32_t kMapValidBytes = 4;    // the memory map's first word, 1 in a valid map
constexpr std::uint32_t kC51VerifyPiece = 512;
constexpr std::uint32_t kC2PageSize = 512;
constexpr int kC2Pages = 16;
constexpr int kCpu3ReopenAttempts = 11;
constexpr int kEmergencyConnectPolls = 40;
constexpr std::uint32_t kEmergencyOpenWindowMs = 40000;

// Closes the camera on every way out of an operation.
class CameraSession {
public:
    explicit CameraSession(CameraFW& camera) : camera_(camera) { camera_.Open(); }
    ~CameraSession() { camera_.Close(); }
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

private:
    CameraFW& camera_;
};

// The value of a flag type: the file word, 0 or 1. Anything else is refused
// rather than read as 0 (a typo must not clear a flag).
std::uint32_t FlagValue(const std::optional<std::string>& word)
{
    const std::string text = word.value_or("");
    const bool digits = !text.empty() && text.size() <= 8 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const unsigned long value = digits ? std::stoul(text) : 2;
    if (value > 1) {
        throw UpdaterError(FormatText("Invalid flag value '%s': 0 or 1 expected", text.c_str()));
    }
    return static_cast<std::uint32_t>(value);
}

void PrintVerifyError(std::uint32_t offset, std::uint8_t read, std::uint8_t expected)
{
    std::printf("FW verify check error addr x%x read x%02x, exp x%02x\n", offset, read, expected);
    throw UpdaterError("FW verify check error");
}

}  // namespace

struct FW_Updater_USB30::Job {
    int operation = 0;
    MemoryMapDescriptor map;
    TypeRegion region;
    std::vector<std::uint8_t> built;      // an image made here (info partition, memory map)
    std::span<const std::uint8_t> image;  // what is programmed or compared: `built` or the file's payload
    std::vector<std::uint8_t> original;   // the info partition as it was read
    std::uint32_t windowStart = 0;
    std::uint32_t windowStop = 0;
};

namespace {

// Reads `expected.size()` bytes in pieces through `read(offset, buffer,
// length)` and compares them, reporting 67-99 % through `report(percent)` on
// the way. A template, not std::function: both run for every 64-byte piece.
template <typename Read, typename Report>
void VerifyPieces(std::span<const std::uint8_t> expected, std::uint32_t piece, const Read& read, const Report& report)
{
    const auto size = static_cast<std::uint32_t>(expected.size());
    std::printf("FW flash verifying size:x%x\n", size);
    std::vector<std::uint8_t> buffer(piece);
    for (std::uint32_t offset = 0; offset < size; offset += piece) {
        const std::uint32_t length = std::min(piece, size - offset);
        read(offset, buffer.data(), length);
        const std::uint8_t* want = expected.data() + offset;
        if (std::memcmp(buffer.data(), want, length) != 0) {
            std::uint32_t i = 0;
            while (buffer[i] == want[i]) {
                ++i;
            }
            PrintVerifyError(offset + i, buffer[i], want[i]);
        }
        report(static_cast<int>(static_cast<std::uint64_t>(offset) * 33 / size + 67));
    }
}

}  // namespace

void FW_Updater_USB30::VerifySPI(std::uint32_t start, std::span<const std::uint8_t> expected)
{
    VerifyPieces(
        expected, kSpiPiece,
        [&](std::uint32_t offset, std::uint8_t* buffer, std::uint32_t length) {
            camera.ReadSPI(start + offset, buffer, length, kSpiKindFlash);
        },
        [this](int percent) { ReportProgress(percent); });
}

void FW_Updater_USB30::VerifyC2(std::uint32_t start, std::span<const std::uint8_t> expected)
{
    VerifyPieces(
        expected, kSpiPiece,
        [&](std::uint32_t offset, std::uint8_t* buffer, std::uint32_t length) {
            camera.c2iRead(start + offset, buffer, length, offset == 0);
        },
        [this](int percent) { ReportProgress(percent); });
}

void FW_Updater_USB30::VerifyC51(std::span<const std::uint8_t> expected)
{
    VerifyPieces(
        expected, kC51VerifyPiece,
        [&](std::uint32_t offset, std::uint8_t* buffer, std::uint32_t length) {
            camera.c51ReadFlash(offset, buffer, length);
        },
        [this](int percent) { ReportProgress(percent); });
}

void FW_Updater_USB30::VerifyC51Eeprom(std::uint32_t start, std::span<const std::uint8_t> expected)
{
    VerifyPieces(
        expected, kSpiPiece,
        [&](std::uint32_t offset, std::uint8_t* buffer, std::uint32_t length) {
            camera.c51ReadEeprom(start + offset, buffer, length);
        },
        [this](int percent) { ReportProgress(percent); });
}

void FW_Updater_USB30::VerifySTM32(std::uint32_t start, std::span<const std::uint8_t> expected)
{
    VerifyPieces(
        expected, kSpiPiece,
        [&](std::uint32_t offset, std::uint8_t* buffer, std::uint32_t length) {
            camera.cpu2Read(start + offset, buffer, length, offset == 0);
        },
        [this](int percent) { ReportProgress(percent); });
}

void FW_Updater_USB30::DumpToFile(std::uint32_t start, std::uint32_t size, const std::string& fileName)
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
        std::vector<std::uint8_t> piece(kSpiPiece);
        for (std::uint32_t offset = 0; offset < size; offset += kSpiPiece) {
            const std::uint32_t length = std::min(kSpiPiece, size - offset);
            camera.ReadSPI(start + offset, piece.data(), length, kSpiKindFlash);
            out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(length));
            ReportProgress(static_cast<int>(static_cast<std::uint64_t>(offset) * 33 / size + 67));
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

bool FW_Updater_USB30::FlashOperation(int operation)
{
    CameraSession session(camera);
    Job job;
    job.operation = operation;
    const std::optional<MemoryMapDescriptor> map = DescriptorForGeneration(cameraGeneration);
    if (!map) {
        throw UpdaterError("Unsupported camera type");
    }
    job.map = *map;
    const std::optional<TypeRegion> region = RegionOfType(firmwareType, job.map);
    if (!region) {
        throw UpdaterError("Unsupported firmware type");
    }
    job.region = *region;
    if (operation < kVerify || operation > kDump) {
        throw UpdaterError("Unsupported firmware operation");
    }
    // Held for the whole operation, so two runs never interleave their
    // writes on one camera; named by the camera's serial number, which stays
    // the same when the camera restarts under another device path.
    const CameraRunLock lock(U3DeviceSerial(camera.DevicePath()));
    if (operation == kProgram || operation == kVerify) {
        CheckMapFitsCamera(job);
    }

    // The content.
    const FlagType* flag = FindFlagType(firmwareType);
    if (flag != nullptr) {
        // Checked first: a bad value must not even restore anything.
        const std::uint32_t value = flag->valueForced ? 1 : (flag->mask == 0 ? 0 : FlagValue(inputFile));
        PrepareInfoPartition(job, *flag, value);
    } else if (operation == kDump) {
        if (!inputFile || inputFile->empty()) {
            throw UpdaterError("Invalid filename");
        }
    } else if (firmwareType == FW_TYPE_MMDESC) {
        const auto bytes = job.map.Bytes();
        job.built.assign(bytes.begin(), bytes.end());
        job.image = job.built;
    } else {
        if (!inputFile || inputFile->empty()) {
            throw UpdaterError("Invalid filename");
        }
        // The file as the input check loaded it (once per run).
        LoadedInputFile& input = LoadInputFile();
        const FwDecrypter& file = input.content;
        if (!input.checksumValid) {
            throw UpdaterError("Error file checksum");
        }
        if (file.GetFileBuffer().empty()) {
            throw UpdaterError("Error getting fw data");
        }
        const std::uint32_t size = file.GetDataSize();
        if (size == 0) {
            throw UpdaterError("Error zero size of file");
        }
        if (size > job.region.region.size) {
            throw UpdaterError("Error invalid file size for selected firmware");
        }
        job.image = file.GetFileBuffer().first(size);
        job.windowStop = GetFwStop() == 0 ? size : GetFwStop();
        job.windowStart = std::min(GetFwStart(), job.windowStop);
    }

    switch (operation) {
    case kProgram:
        RunProgram(job);
        break;
    case kVerify:
        RunVerify(job);
        break;
    case kEmergencyBoot:
        RunEmergencyBoot(job);
        break;
    case kDump:
        if (firmwareType != FW_TYPE_MMDESC) {
            throw UpdaterError("Invalid file type");
        }
        DumpToFile(job.region.region.start, job.region.region.size, *inputFile);
        break;
    default:
        break;
    }
    ReportProgress(100);
    return true;
}

std::vector<std::uint8_t> FW_Updater_USB30::ReadInfoPartition(const MemoryRegion& region, bool twice)
{
    std::vector<std::uint8_t> partition(region.size);
    camera.ReadSPI(region.start, partition.data(), region.size, kSpiKindFlash);
    if (twice) {
        // What is decided from it, and written back whole, must not rest on
        // one reading that the connection may have spoilt.
        std::vector<std::uint8_t> again(region.size);
        camera.ReadSPI(region.start, again.data(), region.size, kSpiKindFlash);
        const auto differ = std::mismatch(partition.begin(), partition.end(), again.begin());
        if (differ.first != partition.end()) {
            throw UpdaterError(FormatText("InfoPartition reads differently twice (first at x%x): the connection to "
                                          "the camera is not reliable; nothing written",
                                          static_cast<unsigned>(differ.first - partition.begin())));
        }
    }
    return partition;
}

void FW_Updater_USB30::PrepareInfoPartition(Job& job, const FlagType& flag, std::uint32_t value)
{
    const MemoryRegion& region = job.region.region;
    const bool writes = job.operation == kProgram;
    job.original = ReadInfoPartition(region, writes);
    if (IsUnfinishedInfoPartition(job.original)) {
        // Only this camera's own backup may fill it, and only a run that
        // writes anyway restores it.
        const InfoPartitionBackup backup(U3DeviceSerial(camera.DevicePath()));
        if (!writes) {
            throw UpdaterError(backup.UnfinishedForReadText());
        }
        if (!backup.Exists()) {
            throw UpdaterError(backup.MissingForRewriteText());
        }
        std::vector<std::uint8_t> kept = backup.Load(region.size);
        std::printf("InfoPartition backup %s of an unfinished rewrite found: restoring it\n", backup.Name().c_str());
        WriteSpiRegion(region.start, region.size, kept, kInfoFormatBytes);
        backup.Remove();
        std::printf("InfoPartition restored\n");
        job.original = std::move(kept);  // the flash holds it now: the write was verified
    }
    job.built = job.original;
    const std::uint32_t format = ReadLe32(job.built, kInfoFormatOffset);
    std::printf("InfoPartition format version %d\n", static_cast<int>(format));
    std::uint32_t flags = ReadLe32(job.built, kInfoFlagsOffset);
    if (format == 1) {
        std::printf("InfoPartition format auto upgrade to version 2\n");
        flags = 0;
        WriteLe32(job.built, kInfoFormatOffset, 2);
        WriteLe32(job.built, kInfoFormatWordOffset, kInfoFormatWordValue);
    } else if (format == 2) {
        WriteLe32(job.built, kInfoFormatWordOffset, kInfoFormatWordValue);
    } else if (format != 3) {
        throw UpdaterError("Format of current partition is not supported");
    }
    flags &= ~flag.mask;
    if (value != 0) {
        flags |= flag.mask;
        std::printf("Setting device flag to 1\n");
    } else {
        std::printf("Setting device flag to 0\n");
    }
    WriteLe32(job.built, kInfoFlagsOffset, flags);
    job.image = job.built;
}

void FW_Updater_USB30::CheckMapFitsCamera(const Job& job)
{
    if (job.region.memory != Memory::SpiFlash || firmwareType == FW_TYPE_MMDESC) {
        return;  // programming MMDESC is how a stored map is repaired
    }
    std::array<std::uint8_t, kDescriptorBytes> bytes{};
    camera.ReadSPI(kDescriptorAddress, bytes.data(), kDescriptorBytes, kSpiKindFlash);
    const std::optional<MemoryMapDescriptor> stored = MemoryMapDescriptor::FromStored(bytes);
    if (!stored) {
        return;
    }
    const MemoryRegion& mine = job.map.entries[job.region.entry];
    const MemoryRegion& camera_ = stored->entries[job.region.entry];
    if (mine != camera_) {
        throw UpdaterError(
            FormatText("The camera's memory map keeps %s at x%x size x%x, camera generation %d at x%x size x%x: wrong "
                       "camera generation option (--u3v_cam, --ucam_type1 to --ucam_type4); nothing written",
                       GetFwTypeName(firmwareType).c_str(), camera_.start, camera_.size,
                       static_cast<int>(cameraGeneration), mine.start, mine.size));
    }
}

// Checks that need only the file come before the first erase.
namespace {

std::uint32_t Cpu3Length(std::span<const std::uint8_t> image)
{
    const std::uint32_t length = image.size() >= 3 ? image[1] * 256u + image[2] : 0xFFFFFFFFu;
    if (length > image.size()) {
        throw UpdaterError("Error invalid CPU3 firmware length: it runs past the end of the file");
    }
    return length;
}

void CheckWindow(std::uint32_t start, std::uint32_t stop, std::size_t size)
{
    if (stop > size || start >= stop) {
        throw UpdaterError(
            FormatText("Error invalid firmware window x%x-x%x for a file of x%zx bytes", start, stop, size));
    }
}

}  // namespace

void FW_Updater_USB30::WriteSpiRegion(std::uint32_t start, std::uint32_t eraseSize, std::span<const std::uint8_t> image,
                                      std::uint32_t headBytesLast)
{
    // The first bytes of some regions tell whether the rest is whole: the
    // controller does not boot from a flash whose first two bytes are
    // erased, an info partition whose format word is erased is known to be
    // unfinished, and a memory map whose first word is erased is no map.
    // Those bytes are written last, after everything else is verified, so
    // that every interruption leaves them erased. Only then is the image
    // copied.
    const bool headLast = headBytesLast > 0 && image.size() >= headBytesLast;
    std::vector<std::uint8_t> withoutHead;
    std::span<const std::uint8_t> data = image;
    if (headLast) {
        withoutHead.assign(image.begin(), image.end());
        std::fill_n(withoutHead.begin(), headBytesLast, std::uint8_t{0xFF});
        data = withoutHead;
    }
    const std::uint32_t sectors = (eraseSize + kSpiSectorSize - 1) / kSpiSectorSize;
    std::printf("FW flash erasing\n");
    for (std::uint32_t j = 0; j < sectors; ++j) {
        std::printf("FW flash erasing - sect:%d\n", static_cast<int>(j));
        camera.SectorErase(start / kSpiSectorSize + j);
        std::printf("FW flash erased - sect:%d [OK]\n", static_cast<int>(j));
        ReportProgress(static_cast<int>(j * 33 / sectors));
    }
    std::printf("FW flash programming\n");
    const auto length = static_cast<std::uint32_t>(data.size());
    for (std::uint32_t offset = 0; offset < length; offset += kSpiPiece) {
        camera.WriteSPI(start + offset, data.data() + offset, std::min(kSpiPiece, length - offset), kSpiKindFlash);
        ReportProgress(static_cast<int>(static_cast<std::uint64_t>(offset) * 33 / length + 33));
    }
    VerifySPI(start, data);
    if (headLast) {
        const std::uint32_t head = std::min(kSpiPiece, length);
        camera.WriteSPI(start, image.data(), head, kSpiKindFlash);
        VerifySPI(start, image.first(head));
    }
}

void FW_Updater_USB30::ProgramInfoPartition(Job& job)
{
    const MemoryRegion& region = job.region.region;
    const InfoPartitionBackup backup(U3DeviceSerial(camera.DevicePath()));
    backup.Write(job.original);
    try {
        WriteSpiRegion(region.start, region.size, job.image, kInfoFormatBytes);
    } catch (const std::exception&) {
        // The partition holds what makes this camera unique: put back what
        // was there before failing.
        std::printf("InfoPartition rewrite failed: writing the kept partition back\n");
        try {
            WriteSpiRegion(region.start, region.size, job.original, kInfoFormatBytes);
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

void FW_Updater_USB30::ProgramSpi(Job& job)
{
    if (FindFlagType(firmwareType) != nullptr) {
        ProgramInfoPartition(job);
        return;
    }
    std::uint32_t head = 0;
    if (firmwareType == FW_TYPE_CPU1) {
        head = kCpu1BootBytes;
    } else if (firmwareType == FW_TYPE_MMDESC) {
        head = kMapValidBytes;  // a map cut off half way must not pass for one
    }
    WriteSpiRegion(job.region.region.start, job.region.region.size, job.image, head);
}

void FW_Updater_USB30::RunProgram(Job& job)
{
    const MemoryRegion& region = job.region.region;
    switch (job.region.memory) {
    case Memory::C2Flash: {
        std::printf("FW flash erasing\n");
        for (int i = 0; i < kC2Pages; ++i) {
            camera.c2iPageErase(region.start / kC2PageSize + static_cast<std::uint32_t>(i));
            std::printf("FW flash erasing - sect:%d\n", i);
            ReportProgress(i * 33 / kC2Pages);
        }
        std::printf("FW flash programming\n");
        camera.c2iWrite(region.start, job.image.data(), static_cast<std::uint32_t>(job.image.size()), true);
        ReportProgress(66);
        VerifyC2(region.start, job.image);
        ReportProgress(100);
        break;
    }
    case Memory::Stm32Flash: {
        const int sectors = Stm32SectorsFor(region.size);
        std::printf("FW flash erase wait\n");
        zv::os::SleepMs(1000);
        std::printf("FW flash erasing\n");
        std::uint32_t erased = 0;
        for (int s = 0; s < sectors; ++s) {
            camera.cpu2PageErase(static_cast<std::uint32_t>(s), s == 0);
            erased += kStm32SectorSizes[static_cast<std::size_t>(s)];
            ReportProgress(static_cast<int>(static_cast<std::uint64_t>(erased) * 33 / region.size));
        }
        std::printf("FW flash programming\n");
        camera.cpu2Write(region.start, job.image.data(), static_cast<std::uint32_t>(job.image.size()), true);
        VerifySTM32(region.start, job.image);
        ReportProgress(100);
        if (firmwareType == FW_TYPE_CPU5) {
            camera.cpu2SetToReset();
        }
        camera.Reset();
        break;
    }
    case Memory::C51Flash: {
        const std::uint32_t length = Cpu3Length(job.image);
        std::printf("FW flash erase wait\n");
        zv::os::SleepMs(1000);
        std::printf("FW flash erasing\n");
        camera.c51Erase(length);
        std::printf("Done\n");
        std::printf("FW flash programming\n");
        camera.c51WriteFlash(0, job.image.data(), length);
        std::printf("Done\n");
        zv::os::SleepMs(1000);
        camera.Close();
        bool opened = false;
        for (int attempt = 0; attempt < kCpu3ReopenAttempts && !opened; ++attempt) {
            zv::os::SleepMs(1000);
            try {
                opened = camera.Open();
            } catch (const UpdaterError&) {
                opened = false;
            }
        }
        // A camera that does not come back was not verified: that is no success.
        if (!opened) {
            throw UpdaterError("Couldn't not open camera, might be damaged");
        }
        VerifyC51(job.image.first(length));
        ReportProgress(100);
        break;
    }
    case Memory::C51Eeprom: {
        CheckWindow(job.windowStart, job.windowStop, job.image.size());
        std::printf("FW flash programming\n");
        const std::uint32_t length = job.windowStop - job.windowStart;
        camera.c51WriteEeprom(job.windowStart, job.image.data() + job.windowStart, length);
        VerifyC51Eeprom(job.windowStart, job.image.subspan(job.windowStart, length));
        ReportProgress(100);
        break;
    }
    case Memory::SpiFlash:
        ProgramSpi(job);
        break;
    }
}

void FW_Updater_USB30::RunVerify(Job& job)
{
    const MemoryRegion& region = job.region.region;
    switch (job.region.memory) {
    case Memory::Stm32Flash:
        VerifySTM32(region.start, job.image);
        ReportProgress(100);
        camera.Reset();
        break;
    case Memory::C51Flash:
        VerifyC51(job.image.first(Cpu3Length(job.image)));
        ReportProgress(100);
        break;
    case Memory::C51Eeprom:
        CheckWindow(job.windowStart, job.windowStop, job.image.size());
        VerifyC51Eeprom(job.windowStart, job.image.subspan(job.windowStart, job.windowStop - job.windowStart));
        ReportProgress(100);
        break;
    case Memory::C2Flash:
        VerifyC2(region.start, job.image);
        break;
    case Memory::SpiFlash:
        VerifySPI(region.start, job.image);
        break;
    }
}

void FW_Updater_USB30::RunEmergencyBoot(Job& job)
{
    std::printf("Emergency booting of JH-CPU\n");
    camera.LoadEmergencyFW(job.image.data(), static_cast<std::uint32_t>(job.image.size()));
    camera.Close();
    std::printf("Waiting for connect1\n");
    for (int retry = 0;; ++retry) {
        zv::os::SleepMs(1000);
        if (camera.GetCameraOnBusCount() > 0) {
            break;
        }
        if (retry == kEmergencyConnectPolls) {
            std::printf("Waiting for connect1 - TIMEOUT\n");
            throw UpdaterError("Camera not connected");
        }
        ReportProgress(retry * 100 / kEmergencyConnectPolls);
        std::printf("Waiting for connect1 retry %d\n", retry);
    }
    std::printf("Waiting for opendevice\n");
    zv::os::SleepMs(500);
    const std::uint32_t begin = zv::os::TickCountMs();
    bool ready = false;
    while (!ready && zv::os::TickCountMs() - begin < kEmergencyOpenWindowMs) {
        zv::os::SleepMs(100);
        std::printf("Waiting for opendevice - retry\n");
        try {
            if (!camera.IsOpen()) {
                camera.Open();
            }
        } catch (const UpdaterError&) {}
        std::printf("Waiting for opendevice - open\n");
        ready = camera.IsOpen() && camera.WaitOpenReady();
        if (!ready) {
            ReportProgress(static_cast<int>((zv::os::TickCountMs() - begin) * 100 / kEmergencyOpenWindowMs));
        }
    }
    if (!camera.IsOpen()) {
        throw UpdaterError("Can not open OpenDeviceUSB30");
    }
    if (!ready) {
        throw UpdaterError("Timeout re-opening device");
    }
}
