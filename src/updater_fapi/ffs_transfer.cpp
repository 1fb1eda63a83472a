// Moving bytes in and out of the camera's flash file system: a file is chosen
// by name, a key and an offset are set, then one string-typed parameter read
// or write carries the bytes.

#include "camera_text.h"
#include "fw_sel_item.h"
#include "fw_updater_fapi.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

namespace {

constexpr std::string_view kEepromFile = "File_EEPROM1";
// The camera places the partition file itself; it takes no offset.
constexpr std::string_view kPartitionFile = "FFS_Partition";

// The camera's own byte in a CPU image: 0xFF once written, 0xA5 once the
// CPU has started the image.
constexpr std::size_t kFirmwareOkMarkPosition = 0x22;
constexpr std::uint8_t kMarkConfirmed = 0xA5;
constexpr std::uint8_t kMarkNotConfirmed = 0xFF;
// More difference lines than this would only bury the failure.
constexpr int kMaxCompareErrorLines = 17;

// The camera API takes transfer sizes as int.
int TransferSize(std::size_t size)
{
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw UpdaterError("Flash file transfer is too large");
    }
    return static_cast<int>(size);
}

// The camera API takes keys and offsets as int parameters: the same 32 bits.
int AsIntParameter(std::uint32_t value)
{
    return static_cast<int>(value);
}

}  // namespace

void FW_Updater_FAPI::ReadFileFFS(std::span<std::uint8_t> buffer, std::string_view ffsFileName, std::uint32_t offset)
{
    std::printf("Reading...\n");
    ReadFfsBytes(buffer, ffsFileName, offset);
    std::printf("Read done OK  \n");
}

void FW_Updater_FAPI::ReadFfsBytes(std::span<std::uint8_t> buffer, std::string_view ffsFileName, std::uint32_t offset)
{
    const int size = TransferSize(buffer.size());
    const std::string name(ffsFileName);
    zvAPIplus_Camera& cam = camera.Camera();
    cam.SetFFSAccessKey(AsIntParameter(GetAccessKey()));
    cam.SetFFSFileName(name.c_str());
    cam.SetFFSFileOffset(AsIntParameter(offset));
    cam.GetReadFileFFS(reinterpret_cast<char*>(buffer.data()), size);
}

void FW_Updater_FAPI::WriteFileFFS(std::span<const std::uint8_t> data, std::string_view ffsFileName,
                                   std::uint32_t offset)
{
    const int size = TransferSize(data.size());
    const std::string name(ffsFileName);
    zvAPIplus_Camera& cam = camera.Camera();
    std::printf("Erasing/Writing...\n");
    cam.SetFFSAccessKey(AsIntParameter(ffsFileName == kEepromFile ? kEepromFileAccessKey : GetAccessKey()));
    cam.SetFFSFileName(name.c_str());
    if (ffsFileName != kPartitionFile) {
        cam.SetFFSFileOffset(AsIntParameter(offset));
    }
    cam.SetZVAPIParamStr("write_file_ffs", data.data(), size);
    std::printf("Erase/Write done OK  \n");
}

void FW_Updater_FAPI::VerifyFileFFS(std::span<std::uint8_t> expected, std::string_view ffsFileName,
                                    std::uint32_t offset)
{
    if (const std::optional<std::uint8_t> mark = CompareFileFFS(expected, ffsFileName, offset)) {
        expected[kFirmwareOkMarkPosition - offset] = *mark;
    }
}

std::optional<std::uint8_t> FW_Updater_FAPI::CompareFileFFS(std::span<const std::uint8_t> expected,
                                                            std::string_view ffsFileName, std::uint32_t offset)
{
    const int size = TransferSize(expected.size());
    const std::string name(ffsFileName);
    zvAPIplus_Camera& cam = camera.Camera();
    std::printf("Verifying...\n");
    // The camera's read fills every byte, so the buffer is not cleared first.
    std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>> read;
    try {
        read.resize(expected.size());
    } catch (const std::bad_alloc&) {
        throw UpdaterError("Memory allocation error - verify buffer");
    }
    const std::string model = ReadCameraModel();

    cam.SetFFSAccessKey(AsIntParameter(GetAccessKey()));
    cam.SetFFSFileName(name.c_str());
    cam.SetFFSFileOffset(AsIntParameter(offset));
    cam.GetReadFileFFS(reinterpret_cast<char*>(read.data()), size);
    std::printf("Read done OK  \n");

    // The CPU firmware runs on the second CPU in the JR family, on the first
    // in all others; only that image carries the mark. The mark is a byte of
    // the image, so it is found at its place in the file whatever window of
    // the image is compared, and not at all when the window starts past it.
    const bool jrFamily = model.starts_with("JR");
    const bool checkMark = (firmwareType == FW_TYPE_CPU1 && !jrFamily) || (firmwareType == FW_TYPE_CPU2 && jrFamily);
    const bool markInRange = checkMark && offset <= kFirmwareOkMarkPosition;
    const std::size_t markAt = markInRange ? kFirmwareOkMarkPosition - offset : 0;

    // The walk in position order, jumping from one difference to the next:
    // the mark's lines come where the mark lies among the difference lines,
    // and nothing after the last difference line printed is looked at.
    const bool markInRead = markInRange && markAt < read.size();
    const auto nextDifference = [&](std::size_t from, std::size_t to) {
        // Whole pieces compare at memory speed; the piece that differs is
        // then searched byte by byte.
        constexpr std::size_t kPiece = 4096;
        while (from < to) {
            const std::size_t end = std::min(to, from + kPiece);
            const std::uint8_t* got = read.data() + from;
            const std::uint8_t* want = expected.data() + from;
            if (!std::equal(got, got + (end - from), want)) {
                return from + static_cast<std::size_t>(std::mismatch(got, got + (end - from), want).first - got);
            }
            from = end;
        }
        return to;
    };
    int differences = 0;
    std::size_t position = 0;
    while (position < read.size() && differences < kMaxCompareErrorLines) {
        const std::size_t stop = markInRead && position <= markAt ? markAt : read.size();
        const std::size_t differing = nextDifference(position, stop);
        if (differing < stop) {
            std::printf("Compare error: at position:%zu expected:x%02X read:x%02X \n", differing, expected[differing],
                        read[differing]);
            ++differences;
            position = differing + 1;
            continue;
        }
        position = stop;
        if (markInRead && position == markAt) {
            const std::uint8_t mark = read[position];
            std::printf("Firmware_ok_mark on position 0x%04zx read:x%02X\n", kFirmwareOkMarkPosition, mark);
            if (mark == kMarkConfirmed) {
                std::printf("Firmware_ok_mark shows, that firmware is confirmed to run\n");
            } else if (mark == kMarkNotConfirmed) {
                std::printf("Firmware_ok_mark shows, that firmware is not yet confirmed to run\n");
            } else {
                throw UpdaterError("Firmware_ok_mark unexpected value");
            }
            ++position;
        }
    }
    // The mark is the camera's byte: whatever the image holds there, the
    // camera's 0xFF or 0xA5 stands (a mark within the range was checked by
    // the walk, which reaches it before its seventeenth difference).
    const bool markSkipped = markInRead;
    const auto same = [&](std::size_t from, std::size_t to) {
        return std::equal(read.begin() + static_cast<std::ptrdiff_t>(from),
                          read.begin() + static_cast<std::ptrdiff_t>(to),
                          expected.begin() + static_cast<std::ptrdiff_t>(from));
    };
    const bool equal = markSkipped ? same(0, markAt) && same(markAt + 1, read.size()) : same(0, read.size());
    if (!equal) {
        throw UpdaterError("Verifying of written file failed (different content).");
    }
    std::printf("Compare done OK  \n");
    if (markSkipped) {
        return read[markAt];
    }
    return std::nullopt;
}
