// The flash engine of the direct USB3 updater: erase, program, verify and
// dump of every memory a USB3 camera keeps its firmware in. It prepares the
// image and hands it to the row of its memory (flash_memory_kinds.h).

#include "camera_run_lock.h"
#include "fw_decrypter.h"
#include "flash_memory_kinds.h"
#include "fw_sel_item.h"
#include "fw_updater_usb30.h"
#include "info_partition_backup.h"
#include "os_clock.h"
#include "text_format.h"
#include "updater_error.h"
#include "usb3_routines.h"
#include "zvusb3/usb3_protocol.h"

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace usb3map;

namespace {

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

}  // namespace

void FW_Updater_USB30::FlashOperation(FlashOp operation)
{
    CameraSession session(camera);
    FlashJob job;
    job.firmwareType = firmwareType;
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
        PrepareInfoPartition(job, *flag, value, operation == kProgram);
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

    const MemoryKind& kind = KindOf(job.region.memory);
    switch (operation) {
    case kProgram:
        kind.program(*this, kind, job);
        break;
    case kVerify:
        kind.verify(*this, kind, job);
        break;
    case kEmergencyBoot:
        RunEmergencyBoot(job);
        break;
    case kDump:
        if (firmwareType != FW_TYPE_MMDESC || !kind.dumps) {
            throw UpdaterError("Invalid file type");
        }
        DumpMemory(*this, kind, job.region.region.start, job.region.region.size, *inputFile);
        break;
    default:
        break;
    }
    ReportProgress(100);
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

void FW_Updater_USB30::PrepareInfoPartition(FlashJob& job, const FlagType& flag, std::uint32_t value, bool writes)
{
    const MemoryRegion& region = job.region.region;
    job.infoPartition = true;
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
        WriteSpiRegion(*this, region.start, region.size, kept, job.region.headBytesLast);
        backup.Remove();
        std::printf("InfoPartition restored\n");
        job.original = std::move(kept);  // the flash holds it now: the write was verified
    }
    job.built = BuildInfoPartitionImage(job.original, flag.mask, value != 0);
    job.image = job.built;
}

void FW_Updater_USB30::CheckMapFitsCamera(const FlashJob& job)
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

void FW_Updater_USB30::RunEmergencyBoot(const FlashJob& job)
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
