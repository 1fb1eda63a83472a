#include "zvapiplus_global.h"

#include "error_items.h"
#include "zvapi32.h"

int32_t zvAPIplus_Global::GetNumberOfConnectedCameras()
{
    uint32_t count = 0;
    const int32_t result = zvGetNumberDevices(&count);
    if (result != 0) {
        RaiseError(result, "GetNumberOfConnectedCameras");
    }
    return static_cast<int32_t>(count);
}

void zvAPIplus_Global::EnableCamEnumGoldenEnabled()
{
    const int32_t result = zvSetParamInt(0, "cam_enum_golden_enabled", 1);
    if (result != 0) {
        RaiseError(result, "EnableCamEnumGoldenEnabled");
    }
}
