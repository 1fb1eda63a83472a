#include "fw_updater_fapi.h"

#include "updater_error.h"

int FW_Updater_FAPI::GetConnectedCamerasCount()
{
    throw UpdaterError("Function GetConnectedCamerasCount is not implemented for this camera.");
}
