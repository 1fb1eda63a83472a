#pragma once

#include <cstdint>

#include "zvapi32.h"
#include "zvapiplus_image.h"

// One image-processing context of the camera API library, open for the
// object's whole life: images are pushed in, parameters set, processed images
// pulled into the object's own image and copied out with GetImage.
class zvAPIplus_Processing {
public:
    // Opens the context; a failure is raised under "zvProcOpen" and leaves
    // no object (and nothing to close).
    zvAPIplus_Processing();
    // Closes the context; a failing close is not reported and never throws.
    ~zvAPIplus_Processing();
    zvAPIplus_Processing(const zvAPIplus_Processing&) = delete;
    zvAPIplus_Processing& operator=(const zvAPIplus_Processing&) = delete;

    // Hands the record to the library unchanged (null included).
    void PushImage(ImageDescriptor* image);
    // Fills the object's image with the next processed image; its pixels
    // are the library's, valid until the next pull or the close.
    void PullImage();
    // Arguments pass to the library unchanged.
    void SetParam(const char* param, const void* value, uint32_t size, int32_t type);
    // A copy of the object's image with a buffer of its own (CopyTo).
    void GetImage(zvAPIplus_Image* destination);

    // Raises a non-zero code under the name.
    static void CheckResult(int32_t code, const char* name);

private:
    ZV_PROC_HANDLE procHandle = 0;
    zvAPIplus_Image image;
};
