#pragma once

#include <cstdint>

#include "zvapi32.h"

class zvAPIplus_Camera;
class zvAPIplus_Processing;

// One image in the camera API's image record, and whether the image owns its
// pixel buffer.
//
// An image filled by the camera API (zvAPIplus_Camera::GetNextImage,
// zvAPIplus_Processing::PullImage) points at the library's pixels, which stay
// valid until the library's next image or until the camera or context is
// closed; it owns nothing. A CopyTo destination owns a buffer of its own and
// releases it when it is destroyed, overwritten by another copy or handed to
// the library to be filled again.
//
// Formats without a fixed pixel size (7, transport data, and every format
// above 18) have no pixel size, bit count or data size: those members raise
// code 108 ("Data format is not supported").
class zvAPIplus_Image {
public:
    // An empty record: all zero but size (304 on the 32-bit target).
    zvAPIplus_Image();
    // Releases an owned buffer; never throws.
    virtual ~zvAPIplus_Image();
    // Two images never own one buffer: copies go through CopyTo only.
    zvAPIplus_Image(const zvAPIplus_Image&) = delete;
    zvAPIplus_Image& operator=(const zvAPIplus_Image&) = delete;

    // Makes the destination a deep copy of this image: its record with a
    // pixel buffer of GetPixelDataSize() bytes that it owns. Of the source
    // it reads at most the pixels the record describes ((width x bytes per
    // pixel + linePadding) x height); what the new buffer holds beyond them
    // is zero. The new buffer is made first: a failure (108 or 104 for the
    // format or size, 15 when memory runs out) leaves the destination as it
    // was. A null destination is code 101; a copy onto itself does nothing.
    virtual void CopyTo(zvAPIplus_Image* destination);

    // Bytes and bits of one pixel (of one plane's sample for the planar
    // formats, of one component for the multi-component raw formats).
    int GetBytesPerPixel();
    int GetBitCount();
    // The line padding in pixels: halved for MONO16 and RAW16, the bytes
    // themselves for every other format.
    uint32_t GetPaddingPixels();
    // (width + padding pixels) x height x bytes per pixel; code 104 under
    // "GetPixelDataSize" when that passes 32 bits.
    uint32_t GetPixelDataSize();
    // The image's own record, as the camera API fills it.
    ImageDescriptor* GetImageDescriptor() { return &descriptor; }
    bool IsDataOwner() { return dataOwner; }

protected:
    ImageDescriptor descriptor;
    bool dataOwner = false;

private:
    friend class zvAPIplus_Camera;
    friend class zvAPIplus_Processing;

    // Back to an empty record, an owned buffer released.
    void Clear() noexcept;
    // Releases an owned buffer before the record goes to the library to be
    // filled, so the library's pointer never replaces (and loses) it.
    void ReleaseBuffer() noexcept;

    void* ownedBuffer_ = nullptr;  // what this image allocated, whatever the record says now
};
