#include "zvapiplus_image.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "error_items.h"

// The six fields the wrapper uses sit where the camera API library has them
// on its 32-bit target.
static_assert(sizeof(void*) != 4 || sizeof(ImageDescriptor) == 304);
static_assert(sizeof(void*) != 4 || offsetof(ImageDescriptor, format) == 12);
static_assert(sizeof(void*) != 4 || offsetof(ImageDescriptor, width) == 16);
static_assert(sizeof(void*) != 4 || offsetof(ImageDescriptor, height) == 20);
static_assert(sizeof(void*) != 4 || offsetof(ImageDescriptor, linePadding) == 44);

namespace {

constexpr int32_t kWrongParameterValue = 101;
constexpr int32_t kWrongParameterSize = 104;
constexpr int32_t kMemoryAllocation = 15;
constexpr int32_t kDataFormatNotSupported = 108;

struct Format {
    int bytesPerPixel;  // 0: no fixed pixel size
    bool paddingHalved;
};

// Indexed by image format (ZV_MONO8 = 0 ... ZV_RAW16X3 = 18).
constexpr Format kFormats[] = {
    {1, false},  // 0 MONO8
    {2, true},   // 1 MONO16
    {3, false},  // 2 RGB24
    {4, false},  // 3 RGB32
    {1, false},  // 4 RGB_PLANAR
    {1, false},  // 5 RAW8
    {2, true},   // 6 RAW16
    {0, false},  // 7 FRM_TRANSPORT_DATA
    {6, false},  // 8 RGB48
    {8, false},  // 9 RGB64
    {2, false},  // 10 RGB16_PLANAR
    {1, false},  // 11 RAW8X2
    {1, false},  // 12 RAW8X4
    {2, false},  // 13 RAW16X2
    {2, false},  // 14 RAW16X4
    {4, false},  // 15 RAW32
    {4, false},  // 16 RAW32FLOAT
    {1, false},  // 17 RAW8X3
    {2, false},  // 18 RAW16X3
};
static_assert(std::size(kFormats) == 19);

int BytesOf(uint32_t format, const char* method)
{
    if (format >= std::size(kFormats) || kFormats[format].bytesPerPixel == 0) {
        RaiseError(kDataFormatNotSupported, method);
    }
    return kFormats[format].bytesPerPixel;
}

}  // namespace

zvAPIplus_Image::zvAPIplus_Image()
{
    std::memset(&descriptor, 0, sizeof descriptor);
    descriptor.size = sizeof descriptor;
}

zvAPIplus_Image::~zvAPIplus_Image()
{
    ReleaseBuffer();
}

void zvAPIplus_Image::ReleaseBuffer() noexcept
{
    if (dataOwner) {
        std::free(ownedBuffer_);
        ownedBuffer_ = nullptr;
        dataOwner = false;
    }
}

void zvAPIplus_Image::Clear() noexcept
{
    ReleaseBuffer();
    std::memset(&descriptor, 0, sizeof descriptor);
    descriptor.size = sizeof descriptor;
}

int zvAPIplus_Image::GetBytesPerPixel()
{
    return BytesOf(descriptor.format, "GetBytesPerPixel");
}

int zvAPIplus_Image::GetBitCount()
{
    return 8 * BytesOf(descriptor.format, "GetBitCount");
}

uint32_t zvAPIplus_Image::GetPaddingPixels()
{
    const uint32_t format = descriptor.format;
    const bool halved = format < std::size(kFormats) && kFormats[format].paddingHalved;
    return halved ? descriptor.linePadding / 2 : descriptor.linePadding;
}

uint32_t zvAPIplus_Image::GetPixelDataSize()
{
    const auto bytes = static_cast<uint64_t>(GetBytesPerPixel());
    const uint64_t size = (uint64_t{descriptor.width} + GetPaddingPixels()) * descriptor.height * bytes;
    if (size > UINT32_MAX) {
        RaiseError(kWrongParameterSize, "GetPixelDataSize");
    }
    return static_cast<uint32_t>(size);
}

void zvAPIplus_Image::CopyTo(zvAPIplus_Image* destination)
{
    if (!destination) {
        RaiseError(kWrongParameterValue, "CopyTo");
    }
    if (destination == this) {
        return;
    }
    const uint32_t size = GetPixelDataSize();
    // The pixels the record describes: for RGB24 and the other formats whose
    // padding counts in bytes, and for odd MONO16 or RAW16 padding, the data
    // size above differs from them.
    uint64_t extent = 0;
    if (descriptor.pixelBuffer) {
        extent = (uint64_t{descriptor.width} * static_cast<uint64_t>(GetBytesPerPixel()) + descriptor.linePadding) *
                 descriptor.height;
    }
    void* buffer = nullptr;
    if (size > 0) {
        buffer = std::malloc(size);
        if (!buffer) {
            RaiseError(kMemoryAllocation, "CopyTo");
        }
        const size_t copied = static_cast<size_t>(std::min<uint64_t>(extent, size));
        if (copied > 0) {
            std::memcpy(buffer, descriptor.pixelBuffer, copied);
        }
        std::memset(static_cast<uint8_t*>(buffer) + copied, 0, size - copied);
    }
    destination->ReleaseBuffer();
    std::memcpy(&destination->descriptor, &descriptor, sizeof descriptor);
    destination->descriptor.pixelBuffer = buffer;
    destination->ownedBuffer_ = buffer;
    destination->dataOwner = true;
}
