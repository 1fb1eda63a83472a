#include "fw_updater.h"

// The operation log lives inside the camera; until the camera can be opened
// through the camera API there is nowhere to write it, so nothing is written.

void FW_Updater::LogOperationMessage(FW_Updater&, std::string_view)
{
}

void FW_Updater::LogFirmwareOperation(std::int32_t, std::string_view)
{
}
