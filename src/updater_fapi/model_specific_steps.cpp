// What a camera model needs around the programming of a file. Only models
// the calibration definitions know need anything, and only when their own
// CPU firmware is programmed: its calibration EEPROM data must follow the
// new firmware, and the CPU must restart to run it.
//
// That conversion is not part of this build yet. Until it is, programming a
// known model's CPU firmware is refused before anything is written, so that
// no camera ends up running a firmware its calibration data does not fit.

#include "calib_data_structure_converter.h"
#include "camera_text.h"
#include "fw_updater_fapi.h"

#include <cstdio>

namespace {

constexpr std::size_t kModelTextSize = 260;

struct ModelNeeds {
    bool known = false;              // the calibration definitions know the model
    bool programsItsCpu = false;     // the programmed type is the model's CPU firmware
};

ModelNeeds NeedsOf(const std::string& model, std::int32_t firmwareType)
{
    ModelNeeds needs;
    needs.known = CalibDataStructureConverter::IsCameraModelSupported(model.c_str());
    if (needs.known) {
        std::uint32_t cpuType = 0;
        CalibDataStructureConverter::GetAssociatedFwType(model.c_str(), &cpuType);
        needs.programsItsCpu = static_cast<std::int64_t>(cpuType) == firmwareType;
    }
    return needs;
}

}  // namespace

void FW_Updater_FAPI::HandleModelSpecificOperation_BeforeProgramming()
{
    const std::string model =
        ReadCameraText<kModelTextSize>([&](char* text, int size) { camera.Camera().GetCameraName(text, size); });
    const ModelNeeds needs = NeedsOf(model, firmwareType);
    if (!needs.known) {
        std::printf("HandleModelSpecificOperation_BeforeProgramming: No operation required.\n");
        return;
    }
    if (needs.programsItsCpu)
        throw UpdaterError("HandleModelSpecificOperation_BeforeProgramming: the CPU firmware of " + model +
                           " needs its EEPROM data converted first, which this build cannot do yet.");
}

void FW_Updater_FAPI::HandleModelSpecificOperation_AfterProgramming()
{
    const std::string model =
        ReadCameraText<kModelTextSize>([&](char* text, int size) { camera.Camera().GetCameraName(text, size); });
    if (!NeedsOf(model, firmwareType).known)
        std::printf("HandleModelSpecificOperation_AfterProgramming: No operation required.\n");
    // Any other file of a known model needs nothing afterwards; its CPU
    // firmware never gets this far (see above).
}
