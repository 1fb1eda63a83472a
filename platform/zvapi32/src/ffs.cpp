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

int32_t FfsRead(Call& c, uint32_t size, std::string& out)
{
    const std::string& name = c.hs->ffsName;
    if (name.empty()) {
        return ZV_FFS_FILE_SELECTOR_INVALID;
    }
    std::vector<uint8_t> content;
    try {
        content = Stored(c, name);
    } catch (...) {
        return ZV_READ_BLOCK_ERROR;
    }
    const uint64_t offset = c.hs->ffsOffset;
    if (offset + size > std::max<uint64_t>(c.Camera().ffsCapacity, kEepromSize)) {
        return ZV_WRONG_PARAM_SIZE;
    }
    out.assign(size, static_cast<char>(0xFF));  // past the end: erased flash
    if (offset < content.size()) {
        const uint64_t n = std::min<uint64_t>(size, content.size() - offset);
        std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
    }
    for (const Hook* hook : c.Firing(Hook::Kind::Corrupt, name, Covers, offset, size)) {
        out[hook->at - offset] = static_cast<char>(static_cast<uint8_t>(out[hook->at - offset]) ^ hook->xorMask);
    }
    Progress(c.hs->progress, size).Run(size);
    c.Note("offset", static_cast<int64_t>(offset));
    return ZV_OK;
}

int32_t FfsWrite(Call& c, const std::string& data)
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

    std::vector<uint8_t> content;
    try {
        content = (offset == 0 && name != kEepromFile) ? std::vector<uint8_t>() : Stored(c, name);
    } catch (...) {
        return ZV_READ_BLOCK_ERROR;
    }
    if (content.size() < offset + length) {
        content.resize(offset + length, 0xFF);
    }
    std::copy_n(reinterpret_cast<const uint8_t*>(data.data()), length,
                content.begin() + static_cast<std::ptrdiff_t>(offset));
    // A freshly written CPU image is not confirmed until the camera has
    // started it after a reset.
    if (name == camera.CpuFileName() && content.size() > kFirmwareOkOffset) {
        content[kFirmwareOkOffset] = kFirmwareUnconfirmed;
    }

    Progress progress(c.hs->progress, data.size());
    progress.Run(length);
    try {
        c.dir.WriteFfsFile(c.cameraId, name, content);
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
    auto image = c.dir.ReadFfsFile(c.cameraId, file);
    if (image && image->size() > kFirmwareOkOffset && (*image)[kFirmwareOkOffset] == kFirmwareUnconfirmed) {
        // The CPU starts the new image: it confirms it and now runs its version.
        (*image)[kFirmwareOkOffset] = kFirmwareConfirmed;
        char version[16];
        std::snprintf(version, sizeof version, "%02x.%02x", (*image)[6], (*image)[5]);
        camera.versions[camera.CpuVersionParam()] = version;
        c.dir.WriteFfsFile(c.cameraId, file, *image);
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
