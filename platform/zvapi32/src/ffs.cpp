// The camera's flash file system and what a reset does to it.

#include <algorithm>
#include <cstdio>

#include "emulator.h"

namespace zvemu {
namespace {

constexpr uint64_t kProgressChunk = 16 * 1024;
constexpr std::string_view kEepromFile = "File_EEPROM1";

// Reports percentages of one transfer: never decreasing, each at most once.
class Progress {
public:
    Progress(ZV_PROGRESS_CALLBACK callback, uint64_t total) : callback_(callback), total_(total) {}
    void At(uint64_t done)
    {
        if (!callback_) {
            return;
        }
        const int percent = total_ == 0 ? 100 : static_cast<int>(done * 100 / total_);
        if (percent <= last_) {
            return;
        }
        last_ = percent;
        callback_(percent);
    }
    // Steps through the transfer up to `end` bytes in chunks.
    void Run(uint64_t end)
    {
        At(0);
        for (uint64_t done = std::min(end, kProgressChunk); done < end; done += kProgressChunk) {
            At(done);
        }
        At(end);
    }

private:
    ZV_PROGRESS_CALLBACK callback_;
    uint64_t total_;
    int last_ = -1;
};

// Which key a write of the file needs; nothing when the file is open to all.
std::optional<uint32_t> WriteKey(const CameraRecord& camera, const std::string& name)
{
    if (name == kEepromFile) {
        return kEepromKey;
    }
    if (name == "FFS_Partition" || name == "FullFlashContent" || name == "UserSetFactory") {
        return camera.specialKey;
    }
    if (name == "FwOperationLog.zip") {
        return std::nullopt;
    }
    return camera.accessKey;
}

bool Covers(const Hook& hook, uint64_t from, uint64_t count)
{
    return hook.at >= from && hook.at - from < count;
}

std::vector<uint8_t> Stored(Call& c, const std::string& name)
{
    auto bytes = c.dir.ReadFfsFile(c.cameraId, name);
    std::vector<uint8_t> content = bytes ? std::move(*bytes) : std::vector<uint8_t>();
    if (name == kEepromFile) {
        content.resize(kEepromSize, 0xFF);  // a fixed, erased-by-default region
    }
    return content;
}

}  // namespace

int32_t FfsFileSize(Call& c, int64_t& size)
{
    const std::string& name = c.hs->ffsName;
    if (name.empty()) {
        return ZV_FFS_FILE_SELECTOR_INVALID;
    }
    if (name == kEepromFile) {
        size = kEepromSize;
        return ZV_OK;
    }
    size = static_cast<int64_t>(c.dir.FfsFileSize(c.cameraId, name).value_or(0));
    return ZV_OK;
}

int32_t FfsRead(Call& c, std::span<uint8_t> out)
{
    const std::string& name = c.hs->ffsName;
    if (name.empty()) {
        return ZV_FFS_FILE_SELECTOR_INVALID;
    }
    const uint64_t offset = c.hs->ffsOffset;
    const uint64_t size = out.size();
    if (offset + size > std::max<uint64_t>(c.Camera().ffsCapacity, kEepromSize)) {
        return ZV_WRONG_PARAM_SIZE;
    }
    // Straight from the file into the caller's buffer; past the end of the
    // file (and of the fixed EEPROM region) the flash reads erased.
    uint64_t wanted = size;
    if (name == kEepromFile) {
        wanted = offset >= kEepromSize ? 0 : std::min<uint64_t>(size, kEepromSize - offset);
    }
    size_t got = 0;
    try {
        got = c.dir.ReadFfsBytes(c.cameraId, name, offset, out.first(static_cast<size_t>(wanted))).value_or(0);
    } catch (...) {
        return ZV_READ_BLOCK_ERROR;
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), uint8_t{0xFF});
    for (const Hook* hook : c.Firing(Hook::Kind::Corrupt, name, Covers, offset, size)) {
        const auto at = static_cast<std::size_t>(hook->at - offset);
        out[at] = static_cast<uint8_t>(out[at] ^ hook->xorMask);
    }
    Progress(c.hs->progress, size).Run(size);
    c.Note("offset", static_cast<int64_t>(offset));
    return ZV_OK;
}

int32_t FfsWrite(Call& c, std::span<const uint8_t> data)
{
    const std::string& name = c.hs->ffsName;
    if (name.empty()) {
        return ZV_FFS_FILE_SELECTOR_INVALID;
    }
    CameraRecord& camera = c.Camera();
    if (auto key = WriteKey(camera, name); key && *key != c.hs->accessKey) {
        return ZV_NOT_ENOUGH_PRIVILEGES;
    }
    const uint64_t offset = c.hs->ffsOffset;
    const uint64_t limit = name == kEepromFile ? kEepromSize : camera.ffsCapacity;
    if (offset + data.size() > limit) {
        return ZV_WRONG_PARAM_SIZE;
    }

    // An interrupted transfer: the camera keeps what arrived before the cut.
    uint64_t length = data.size();
    int32_t result = ZV_OK;
    for (const Hook* hook : c.Firing(Hook::Kind::Cut, name)) {
        if (hook->bytes < length) {
            length = hook->bytes;
        }
        if (result == ZV_OK) {
            result = hook->code;
        }
    }
    const std::span<const uint8_t> arrived = data.first(static_cast<size_t>(length));

    // A write from the start replaces the file with the caller's bytes as
    // they are; any other keeps the rest of the old content around them.
    std::vector<uint8_t> content;
    std::vector<std::span<const uint8_t>> pieces;
    if (offset == 0 && name != kEepromFile) {
        pieces.push_back(arrived);
    } else {
        try {
            content = Stored(c, name);
        } catch (...) {
            return ZV_READ_BLOCK_ERROR;
        }
        if (content.size() < offset + length) {
            content.resize(static_cast<std::size_t>(offset + length), 0xFF);
        }
        std::copy(arrived.begin(), arrived.end(), content.begin() + static_cast<std::ptrdiff_t>(offset));
        pieces.push_back(content);
    }
    // A freshly written CPU image is not confirmed until the camera has
    // started it after a reset.
    static constexpr uint8_t kUnconfirmed[] = {kFirmwareUnconfirmed};
    if (name == camera.CpuFileName() && pieces.front().size() > kFirmwareOkOffset) {
        const std::span<const uint8_t> whole = pieces.front();
        pieces = {whole.first(kFirmwareOkOffset), kUnconfirmed, whole.subspan(kFirmwareOkOffset + 1)};
    }

    Progress progress(c.hs->progress, data.size());
    progress.Run(length);
    try {
        c.dir.WriteFfsFile(c.cameraId, name, pieces);
    } catch (...) {
        return ZV_WRITE_BLOCK_ERROR;
    }
    c.Note("offset", static_cast<int64_t>(offset));
    if (length != data.size()) {
        c.Note("cut_at", static_cast<int64_t>(length));
    }
    return result;
}

int32_t ResetCamera(Call& c)
{
    CameraRecord& camera = c.Camera();
    const std::string file = camera.CpuFileName();
    // Only the image's head matters here: its version (bytes 5 and 6) and
    // the mark, which changes in place.
    uint8_t head[kFirmwareOkOffset + 1];
    const size_t got = c.dir.ReadFfsBytes(c.cameraId, file, 0, head).value_or(0);
    if (got == sizeof head && head[kFirmwareOkOffset] == kFirmwareUnconfirmed) {
        // The CPU starts the new image: it confirms it and now runs its version.
        static constexpr uint8_t kConfirmed[] = {kFirmwareConfirmed};
        char version[16];
        std::snprintf(version, sizeof version, "%02x.%02x", head[6], head[5]);
        camera.versions[camera.CpuVersionParam()] = version;
        c.dir.UpdateFfsBytes(c.cameraId, file, kFirmwareOkOffset, kConfirmed);
        c.SaveCamera();
    }
    for (const auto& line : c.dir.LoadHooks(c.cameraId)) {
        auto hook = ParseHook(line, nullptr);
        if (hook && hook->kind == Hook::Kind::Vanish) {
            c.session->vanishOpens[c.cameraId] = hook->opens;
        }
    }
    return ZV_OK;
}

uint64_t FfsUsedBytes(Call& c)
{
    uint64_t used = 0;
    for (const auto& [name, size] : c.dir.ListFfsFiles(c.cameraId)) {
        used += size;
    }
    return used;
}

}  // namespace zvemu
