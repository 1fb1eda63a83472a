// Acquisition and the image-processing context. The emulated sensor delivers
// a small 8-bit grey ramp that moves with the frame number; the processing
// chain passes images through unchanged and knows no parameters.

#include <cstring>

#include "emulator.h"

using namespace zvemu;

namespace {

constexpr uint32_t kFrameWidth = 64;
constexpr uint32_t kFrameHeight = 48;

// Bytes of one pixel (or sample, or component) by image format; 0 for the
// formats that carry no pixels of a fixed size.
constexpr uint32_t kBytesPerPixel[] = {1, 2, 3, 4, 1, 1, 2, 0, 6, 8, 2, 1, 1, 2, 2, 4, 4, 1, 2};

int32_t CheckDescriptor(const ImageDescriptor* image)
{
    if (!image) {
        return ZV_INVALID_ARG;
    }
    if (image->size != sizeof(ImageDescriptor)) {
        return ZV_INVALID_ARG;
    }
    return ZV_OK;
}

int32_t CameraHandle(Call& c)
{
    if (c.staleHandle || !c.hs) {
        return ZV_INVALID_HANDLE;
    }
    if (c.Vanished(c.cameraId)) {
        return ZV_DEVICE_NOT_READY;
    }
    return ZV_OK;
}

void Fill(ImageDescriptor* image, const ImageDescriptor& from, std::vector<uint8_t>& pixels)
{
    const uint32_t size = image->size;
    *image = from;
    image->size = size;
    image->pixelBuffer = pixels.data();
    image->bufferSize = static_cast<uint32_t>(pixels.size());
}

}  // namespace

extern "C" {

ZV_RETURN ZVAPI_CALL zvStartAcquisition(ZV_HANDLE handle)
{
    return RunCall("zvStartAcquisition", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        if (int32_t rc = CameraHandle(c)) {
            return rc;
        }
        if (c.hs->acquiring) {
            return ZV_ACQUISITION_ALREADY_UP;
        }
        c.hs->acquiring = true;
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvStopAcquisition(ZV_HANDLE handle)
{
    return RunCall("zvStopAcquisition", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        if (int32_t rc = CameraHandle(c)) {
            return rc;
        }
        if (!c.hs->acquiring) {
            return ZV_ACQUISITION_STOPPED;
        }
        c.hs->acquiring = false;
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvGetImage(ZV_HANDLE handle, uint32_t timeoutMs, ImageDescriptor* image)
{
    return RunCall("zvGetImage", [&](Call& c) -> int32_t {
        c.TargetHandle(handle);
        c.Note("timeout", timeoutMs);
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        if (int32_t rc = CameraHandle(c)) {
            return rc;
        }
        if (int32_t rc = CheckDescriptor(image)) {
            return rc;
        }
        if (!c.hs->acquiring) {
            return ZV_ACQUISITION_STOPPED;
        }
        HandleState& hs = *c.hs;
        const uint32_t n = hs.frameNumber++;
        hs.frame.resize(kFrameWidth * kFrameHeight);
        for (uint32_t y = 0; y < kFrameHeight; ++y) {
            for (uint32_t x = 0; x < kFrameWidth; ++x) {
                hs.frame[y * kFrameWidth + x] = static_cast<uint8_t>(x + y + n);
            }
        }
        ImageDescriptor frame{};
        frame.format = 0;  // ZV_MONO8
        frame.width = kFrameWidth;
        frame.height = kFrameHeight;
        frame.frameNumber = n;
        frame.linePadding = 0;
        Fill(image, frame, hs.frame);
        c.Note("frame", n);
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvProcOpen(ZV_PROC_HANDLE* proc)
{
    return RunCall("zvProcOpen", [&](Call& c) -> int32_t {
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        if (!proc) {
            return ZV_INVALID_ARG;
        }
        const ZV_PROC_HANDLE h = c.emu.nextProc++;
        c.emu.procs.emplace(h, ProcContext{});
        *proc = h;
        c.Note("proc", static_cast<int64_t>(h));
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvProcClose(ZV_PROC_HANDLE proc)
{
    return RunCall("zvProcClose", [&](Call& c) -> int32_t {
        c.Note("proc", static_cast<int64_t>(proc));
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        return c.emu.procs.erase(proc) ? ZV_OK : ZV_INVALID_HANDLE;
    });
}

ZV_RETURN ZVAPI_CALL zvProcPushImage(ZV_PROC_HANDLE proc, ImageDescriptor* image)
{
    return RunCall("zvProcPushImage", [&](Call& c) -> int32_t {
        c.Note("proc", static_cast<int64_t>(proc));
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        auto it = c.emu.procs.find(proc);
        if (it == c.emu.procs.end()) {
            return ZV_INVALID_HANDLE;
        }
        if (int32_t rc = CheckDescriptor(image)) {
            return rc;
        }
        if (image->format >= std::size(kBytesPerPixel) || kBytesPerPixel[image->format] == 0) {
            return ZV_DATA_FORMAT_NOT_SUPPORTED;
        }
        const uint64_t line = uint64_t{image->width} * kBytesPerPixel[image->format] + image->linePadding;
        const uint64_t bytes = line * image->height;
        if (bytes > 0 && !image->pixelBuffer) {
            return ZV_INVALID_ARG;
        }
        if (image->bufferSize != 0 && image->bufferSize < bytes) {
            return ZV_BUFFER_TOO_SMALL;
        }
        if (bytes > (256u << 20)) {
            return ZV_WRONG_PARAM_SIZE;
        }
        ProcContext& ctx = it->second;
        const auto* pixels = static_cast<const uint8_t*>(image->pixelBuffer);
        ctx.pixels.assign(pixels, pixels + bytes);
        ctx.pushed = *image;
        ctx.hasImage = true;
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvProcPullImage(ZV_PROC_HANDLE proc, int32_t reserved, ImageDescriptor* image)
{
    return RunCall("zvProcPullImage", [&](Call& c) -> int32_t {
        c.Note("proc", static_cast<int64_t>(proc));
        c.Note("reserved", reserved);
        if (auto r = c.InjectedResult({})) {
            return *r;
        }
        auto it = c.emu.procs.find(proc);
        if (it == c.emu.procs.end()) {
            return ZV_INVALID_HANDLE;
        }
        if (int32_t rc = CheckDescriptor(image)) {
            return rc;
        }
        if (!it->second.hasImage) {
            return ZV_NO_IMAGE;
        }
        Fill(image, it->second.pushed, it->second.pixels);
        return ZV_OK;
    });
}

ZV_RETURN ZVAPI_CALL zvProcSetParam(ZV_PROC_HANDLE proc, const char* param, const void* value, uint32_t size,
                                    int32_t type)
{
    return RunCall("zvProcSetParam", [&](Call& c) -> int32_t {
        c.Note("proc", static_cast<int64_t>(proc));
        if (param) {
            c.Note("param", param);
        }
        c.Note("size", size);
        c.Note("type", type);
        if (auto r = c.InjectedResult(param ? param : "")) {
            return *r;
        }
        if (c.emu.procs.find(proc) == c.emu.procs.end()) {
            return ZV_INVALID_HANDLE;
        }
        if (!param || (!value && size > 0)) {
            return ZV_INVALID_ARG;
        }
        return ZV_UNKNOWN_PARAM;  // the pass-through chain has no parameters
    });
}

}  // extern "C"
