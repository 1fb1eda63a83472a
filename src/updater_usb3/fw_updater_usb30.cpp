#include "fw_updater_usb30.h"

#include "updater_error.h"

int FW_Updater_USB30::GetCameraOnBusCount()
{
    throw UpdaterError("Function GetCameraOnBusCount is not implemented for this camera.");
}
