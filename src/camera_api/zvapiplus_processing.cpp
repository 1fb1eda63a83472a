#include "zvapiplus_processing.h"

#include "error_items.h"

zvAPIplus_Processing::zvAPIplus_Processing()
{
    CheckResult(zvProcOpen(&procHandle), "zvProcOpen");
}

zvAPIplus_Processing::~zvAPIplus_Processing()
{
    try {
        CheckResult(zvProcClose(procHandle), "zvProcClose");
    } catch (...) {
        // Nothing can be reported from here; the context is gone either way.
    }
}

void zvAPIplus_Processing::CheckResult(int32_t code, const char* name)
{
    if (code != 0) {
        RaiseError(code, name);
    }
}

void zvAPIplus_Processing::PushImage(ImageDescriptor* pushed)
{
    CheckResult(zvProcPushImage(procHandle, pushed), "zvProcPushImage");
}

void zvAPIplus_Processing::PullImage()
{
    image.ReleaseBuffer();
    CheckResult(zvProcPullImage(procHandle, 0, &image.descriptor), "zvPullImage");
}

void zvAPIplus_Processing::SetParam(const char* param, const void* value, uint32_t size, int32_t type)
{
    CheckResult(zvProcSetParam(procHandle, param, value, size, type), "zvProcSetParam");
}

void zvAPIplus_Processing::GetImage(zvAPIplus_Image* destination)
{
    image.CopyTo(destination);
}
