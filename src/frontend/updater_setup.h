#pragma once

#include <functional>
#include <memory>

class CmdLineParams;
class FW_Updater;
class FW_Updater_FAPI;
class FW_Updater_USB30;

// How the set-up makes its updaters and what it runs on each selected camera.
// The program uses the real updaters and PerformOperation; tests put in
// updaters that record what they were given.
struct UpdaterSetup {
    std::function<std::unique_ptr<FW_Updater_FAPI>()> makeFapi;
    std::function<std::unique_ptr<FW_Updater_USB30>()> makeUsb3;
    std::function<void(FW_Updater&)> perform;
};

// The program's own set-up: real updaters, PerformOperation on the run's state.
UpdaterSetup DefaultUpdaterSetup();

// Gives the updater the run's access key: --key, or the built-in default when
// it is absent or 0.
void ApplyAccessKey(FW_Updater& updater, const CmdLineParams& params);

// Whether an updater prints its progress: the run's own updater does; the
// per-camera updaters of the all-cameras loops stay quiet.
enum class UpdaterProgress {
    Printed,
    Silent
};

// Everything the options say about a camera-API updater: access key, progress
// printer (when printed), forced model serial, versions, model, EEPROM
// settings, LED blinks. Every camera-API updater of a run goes through it, so
// all cameras of an all-cameras run get the same settings as a single camera.
void ConfigureFapiUpdater(FW_Updater_FAPI& updater, const CmdLineParams& params, UpdaterProgress progress);
// The same for a direct USB3 updater: progress printer (when printed), driver
// 0, bulk transfers, camera generation, CCD flag.
void ConfigureUsb3Updater(FW_Updater_USB30& updater, const CmdLineParams& params, UpdaterProgress progress);

// Builds the run's updater for the access path the options choose, selects
// the camera (or every camera) and performs the operation on each.
void RunUpdaters(const CmdLineParams& params, const UpdaterSetup& setup);

void DoOperationOnAllFapiCameras(const CmdLineParams& params, const UpdaterSetup& setup);
void DoOperationOnAllUsb3CamerasOnDriver(int driver, const CmdLineParams& params, const UpdaterSetup& setup);
