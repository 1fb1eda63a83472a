#include "fapi_progress.h"

#include "fw_updater_fapi.h"

namespace {

struct ProgressMapping {
    FW_Updater_FAPI* updater = nullptr;
    float offset = 0.0f;
    float factor = 1.0f;
};

ProgressMapping& Mapping()
{
    static ProgressMapping mapping;
    return mapping;
}

}  // namespace

void ZVAPI_CALL FapiProgressCallback(int percent)
{
    const ProgressMapping& mapping = Mapping();
    if (mapping.updater == nullptr) {
        return;
    }
    const float scaled = static_cast<float>(percent) * mapping.factor + mapping.offset;
    // Called from inside the camera API: nothing may unwind through it.
    try {
        mapping.updater->ReportProgress(static_cast<int>(scaled));
    } catch (...) {}
}

void SetFapiProgressPhase(float offset, float factor)
{
    Mapping().offset = offset;
    Mapping().factor = factor;
}

void SetFapiProgressUpdater(FW_Updater_FAPI* updater)
{
    Mapping().updater = updater;
}

FW_Updater_FAPI* GetFapiProgressUpdater()
{
    return Mapping().updater;
}
