// Acquisition and the image-processing context. The emulated sensor renders
// its region in the current "imgdataformat": the chosen "test_pattern", or
// with the pattern off a grey ramp that moves with the frame number. With
// the software trigger as "trigger_source" a frame comes for each
// "trigger_software"; with a hardware trigger none ever does. The processing
// context converts pushed images to its "imgdataformat" (8-bit, 16-bit and
// RGB formats) or passes them unchanged.

#include <algorithm>
#include <cstring>

#include "emulator.h"

using namespace zvemu;

namespace {

struct FormatShape {
    uint32_t stride;  // bytes of one pixel within a line; 0: no fixed size
    uint32_t planes;
    uint32_t components;  // samples per pixel
    bool padded;          // lines padded to a multiple of 16 bytes
};

// By image format, ZV_MONO8 = 0 to ZV_RAW16X3 = 18.
constexpr FormatShape kShapes[] = {
    {1, 1, 1, false},  // 0 MONO8
    {2, 1, 1, true},   // 1 MONO16
    {3, 1, 3, true},   // 2 RGB24
    {4, 1, 4, false},  // 3 RGB32
    {1, 3, 1, false},  // 4 RGB_PLANAR
    {1, 1, 1, false},  // 5 RAW8
    {2, 1, 1, true},   // 6 RAW16
    {0, 1, 1, false},  // 7 transport data
    {6, 1, 3, false},  // 8 RGB48
    {8, 1, 4, false},  // 9 RGB64
    {2, 3, 1, false},  // 10 RGB16_PLANAR
    {2, 1, 2, false},  // 11 RAW8X2
    {4, 1, 4, false},  // 12 RAW8X4
    {4, 1, 2, false},  // 13 RAW16X2
    {8, 1, 4, false},  // 14 RAW16X4
    {4, 1, 1, false},  // 15 RAW32
    {4, 1, 1, false},  // 16 RAW32FLOAT
    {3, 1, 3, false},  // 17 RAW8X3
    {6, 1, 3, false},  // 18 RAW16X3
};
constexpr uint32_t kTransportData = 7;
constexpr uint32_t kRaw32Float = 16;
constexpr uint32_t kSoftwareTrigger = 3;
// Larger images are refused by the processing context.
constexpr uint64_t kMaxProcessedBytes = 256ull << 20;

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

// The record handed back: the caller's size, the library's pixels.
void Fill(ImageDescriptor* image, const FrameLayout& layout, std::vector<uint8_t>& pixels, uint32_t frameNumber)
{
    const uint32_t size = image->size;
    std::memset(image, 0, sizeof *image);
    image->size = size;
    image->pixelBuffer = pixels.data();
    image->format = layout.format;
    image->width = layout.width;
    image->height = layout.height;
    image->linePadding = layout.linePadding;
    image->frameNumber = frameNumber;
}

// One sample of the test pattern, 16 bits, for pixel (x, y) of a w x h region.
uint16_t PatternSample(int64_t pattern, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t component,
                       uint32_t frame)
{
    const uint32_t wide = std::max<uint32_t>(w, 2) - 1, tall = std::max<uint32_t>(h, 2) - 1;
    uint32_t v;
    switch (pattern) {
    case 1:  // black
        return 0;
    case 2:  // white
        return 0xFFFF;
    case 3:  // horizontal ramp
        v = x * 0xFFFFu / wide;
        break;
    case 4:  // vertical ramp
        v = y * 0xFFFFu / tall;
        break;
    case 5:  // moving horizontal ramp
        v = ((x + frame) % (wide + 1)) * 0xFFFFu / wide;
        break;
    case 6:  // moving vertical ramp
        v = ((y + frame) % (tall + 1)) * 0xFFFFu / tall;
        break;
    case 9:  // colour bars: eight stripes
        v = (x * 8 / (wide + 1)) & (1u << (component % 3)) ? 0xFFFF : 0;
        return static_cast<uint16_t>(v);
    default:  // the live image: a grey ramp moving with the frame number
        v = ((x + y + frame) & 0xFF) * 0x101u;
        break;
    }
    return static_cast<uint16_t>(v + component * 0x1000u);
}

void PutSample(uint8_t* at, uint32_t bytes, uint32_t format, uint16_t sample)
{
    switch (bytes) {
    case 1:
        *at = static_cast<uint8_t>(sample >> 8);
        break;
    case 2:
        std::memcpy(at, &sample, 2);
        break;
    default: {  // 32-bit samples
        if (format == kRaw32Float) {
            const float f = static_cast<float>(sample) / 65535.0f;
            std::memcpy(at, &f, 4);
        } else {
            const uint32_t wide = uint32_t{sample} << 16;
            std::memcpy(at, &wide, 4);
        }
    }
    }
}

void Render(const FrameLayout& layout, int64_t pattern, uint32_t frame, std::vector<uint8_t>& pixels)
{
    pixels.assign(static_cast<size_t>(layout.payload), 0);
    const uint32_t w = layout.width, h = layout.height;
    if (layout.format == kTransportData) {
        // 12-bit samples, two in three bytes, as they travel.
        size_t at = 0;
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x + 1 < w; x += 2) {
                const uint16_t a = PatternSample(pattern, x, y, w, h, 0, frame) >> 4;
                const uint16_t b = PatternSample(pattern, x + 1, y, w, h, 0, frame) >> 4;
                pixels[at++] = static_cast<uint8_t>(a);
                pixels[at++] = static_cast<uint8_t>((a >> 8) | (b << 4));
                pixels[at++] = static_cast<uint8_t>(b >> 4);
            }
        }
        return;
    }
    const FormatShape& shape = kShapes[layout.format];
    const uint32_t sampleBytes = shape.stride / shape.components;
    const uint64_t line = uint64_t{w} * shape.stride + layout.linePadding;
    for (uint32_t plane = 0; plane < shape.planes; ++plane) {
        for (uint32_t y = 0; y < h; ++y) {
            uint8_t* row = pixels.data() + (uint64_t{plane} * h + y) * line;
            for (uint32_t x = 0; x < w; ++x) {
                for (uint32_t k = 0; k < shape.components; ++k) {
                    const uint16_t sample = PatternSample(pattern, x, y, w, h, plane + k, frame);
                    PutSample(row + x * shape.stride + k * sampleBytes, sampleBytes, layout.format, sample);
                }
            }
        }
    }
}

// --- conversion of the processing context ---------------------------------------

struct Rgb16 {
    uint16_t r, g, b;
};

// Formats the context reads and writes: MONO8, MONO16, RGB24, RGB32, RAW8,
// RAW16 and RGB48.
bool Convertible(uint32_t format)
{
    return format == 0 || format == 1 || format == 2 || format == 3 || format == 5 || format == 6 || format == 8;
}

Rgb16 ReadPixel(const uint8_t* at, uint32_t format)
{
    uint16_t v[3] = {};
    switch (format) {
    case 0:
    case 5:
        v[0] = v[1] = v[2] = static_cast<uint16_t>(at[0] * 0x101u);
        break;
    case 1:
    case 6:
        std::memcpy(&v[0], at, 2);
        v[1] = v[2] = v[0];
        break;
    case 2:
    case 3:
        for (int i = 0; i < 3; ++i) {
            v[i] = static_cast<uint16_t>(at[i] * 0x101u);
        }
        break;
    default:  // RGB48
        std::memcpy(v, at, 6);
    }
    return {v[0], v[1], v[2]};
}

void WritePixel(uint8_t* at, uint32_t format, Rgb16 p)
{
    const uint16_t grey = static_cast<uint16_t>((uint32_t{p.r} + 2u * p.g + p.b) / 4);
    switch (format) {
    case 0:
    case 5:
        at[0] = static_cast<uint8_t>(grey >> 8);
        break;
    case 1:
    case 6:
        std::memcpy(at, &grey, 2);
        break;
    case 2:
    case 3:
        at[0] = static_cast<uint8_t>(p.r >> 8);
        at[1] = static_cast<uint8_t>(p.g >> 8);
        at[2] = static_cast<uint8_t>(p.b >> 8);
        if (format == 3) {
            at[3] = 0xFF;
        }
        break;
    default: {
        const uint16_t v[3] = {p.r, p.g, p.b};
        std::memcpy(at, v, 6);
    }
    }
}

}  // namespace

namespace zvemu {

bool LayoutOf(uint32_t format, uint32_t width, uint32_t height, FrameLayout& out)
{
    if (format >= std::size(kShapes)) {
        return false;
    }
    const FormatShape& shape = kShapes[format];
    out = FrameLayout{};
    out.format = format;
    out.width = width;
    out.height = height;
    if (format == kTransportData) {
        out.payload = uint64_t{width} * height * 3 / 2;
        return true;
    }
    out.stride = shape.stride;
    out.planes = shape.planes;
    const uint64_t bytes = uint64_t{width} * shape.stride;
    out.linePadding = shape.padded ? static_cast<uint32_t>((16 - bytes % 16) % 16) : 0;
    out.payload = (bytes + out.linePadding) * height * shape.planes;
    return true;
}

FrameLayout CurrentLayout(Call& c)
{
    FrameLayout layout;
    LayoutOf(static_cast<uint32_t>(IntSetting(c, "imgdataformat")), static_cast<uint32_t>(IntSetting(c, "width")),
             static_cast<uint32_t>(IntSetting(c, "height")), layout);
    return layout;
}

}  // namespace zvemu

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
        if (!CameraAcquiring(c)) {
            c.session->pendingTriggers.erase(c.cameraId);
        }
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
        // Triggered acquisition: a frame per software trigger; a hardware
        // edge never comes. Nothing waits: the timeout passes at once.
        if (const int64_t source = IntSetting(c, "trigger_source"); source != 0) {
            uint32_t& pending = c.session->pendingTriggers[c.cameraId];
            if (source != kSoftwareTrigger || pending == 0) {
                return ZV_TIMEOUT;
            }
            --pending;
        }
        HandleState& hs = *c.hs;
        const uint32_t n = hs.frameNumber++;
        const FrameLayout layout = CurrentLayout(c);
        Render(layout, IntSetting(c, "test_pattern"), n, hs.frame);
        Fill(image, layout, hs.frame, n);
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
        FrameLayout in;
        if (!LayoutOf(image->format, image->width, image->height, in) || image->format == kTransportData) {
            return ZV_DATA_FORMAT_NOT_SUPPORTED;
        }
        // The caller's padding, not the camera's.
        const uint64_t line = uint64_t{image->width} * in.stride + image->linePadding;
        const uint64_t bytes = line * image->height * in.planes;
        if (bytes > kMaxProcessedBytes) {
            return ZV_WRONG_PARAM_SIZE;
        }
        if (bytes > 0 && !image->pixelBuffer) {
            return ZV_INVALID_ARG;
        }
        ProcContext& ctx = it->second;
        const auto* pixels = static_cast<const uint8_t*>(image->pixelBuffer);
        const int32_t wanted = ctx.outputFormat;
        if (wanted < 0 || static_cast<uint32_t>(wanted) == image->format) {
            ctx.pixels.assign(pixels, pixels + bytes);
            ctx.processed = *image;
            ctx.hasImage = true;
            return ZV_OK;
        }
        if (!Convertible(image->format)) {
            return ZV_PROC_INPUT_FORMAT_UNSUPPORTED;
        }
        FrameLayout out;
        LayoutOf(static_cast<uint32_t>(wanted), image->width, image->height, out);
        out.linePadding = 0;  // converted images are packed
        out.payload = uint64_t{image->width} * out.stride * image->height;
        ctx.pixels.assign(static_cast<size_t>(out.payload), 0);
        for (uint32_t y = 0; y < image->height; ++y) {
            for (uint32_t x = 0; x < image->width; ++x) {
                const Rgb16 p = ReadPixel(pixels + y * line + uint64_t{x} * in.stride, image->format);
                WritePixel(ctx.pixels.data() + (uint64_t{y} * image->width + x) * out.stride, out.format, p);
            }
        }
        ctx.processed = ImageDescriptor{};
        ctx.processed.size = sizeof(ImageDescriptor);
        ctx.processed.format = out.format;
        ctx.processed.width = image->width;
        ctx.processed.height = image->height;
        ctx.processed.frameNumber = image->frameNumber;
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
        ProcContext& ctx = it->second;
        if (!ctx.hasImage) {
            return ZV_NO_IMAGE;
        }
        const uint32_t size = image->size;
        *image = ctx.processed;
        image->size = size;
        image->pixelBuffer = ctx.pixels.data();
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
        auto it = c.emu.procs.find(proc);
        if (it == c.emu.procs.end()) {
            return ZV_INVALID_HANDLE;
        }
        if (!param || (!value && size > 0)) {
            return ZV_INVALID_ARG;
        }
        // The one parameter of the context: its output format.
        if (std::strcmp(param, "imgdataformat") != 0) {
            return ZV_UNKNOWN_PARAM;
        }
        if (type != zvTypeInteger && type != zvTypeEnum) {
            return ZV_WRONG_PARAM_TYPE;
        }
        if (size != sizeof(int32_t) || !value) {
            return ZV_WRONG_PARAM_SIZE;
        }
        int32_t format;
        std::memcpy(&format, value, sizeof format);
        c.Note("value", format);
        if (format < 0 || !Convertible(static_cast<uint32_t>(format))) {
            return ZV_PROC_OUTPUT_FORMAT_UNSUPPORTED;
        }
        it->second.outputFormat = format;
        return ZV_OK;
    });
}

}  // extern "C"
