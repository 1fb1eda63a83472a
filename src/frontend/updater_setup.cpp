#include "updater_setup.h"

#include "cmd_line_params.h"
#include "fw_operation_log.h"
#include "fw_updater_fapi.h"
#include "fw_updater_usb30.h"
#include "perform_operation.h"
#include "run_error.h"
#include "updater_error.h"

#include <cstdio>
#include <memory>

namespace {

// Driver number of the camera maker's own USB3 driver.
constexpr int kZavroUsb3Driver = 1;

void RunFapiPath(const CmdLineParams& params, const UpdaterSetup& setup)
{
    const std::unique_ptr<FW_Updater_FAPI> updater = setup.makeFapi();
    ConfigureFapiUpdater(*updater, params, UpdaterProgress::Printed);
    if (!params.campath.empty()) {
        updater->SelectCameraByPath(params.campath);
    } else if (!params.camlocation.empty()) {
        updater->SelectCameraByLocation(params.camlocation);
    } else if (!params.camsn.empty()) {
        updater->SelectCameraBySN(params.camsn);
    } else if (params.allcameras) {
        DoOperationOnAllFapiCameras(params, setup);
        return;
    } else {
        updater->SelectCameraOnBus(params.camid);
    }
    setup.perform(*updater);
}

void RunUsb3Path(const CmdLineParams& params, const UpdaterSetup& setup)
{
    if (!params.forced_model_sne.empty()) {
        FailRun("Legacy (USB3) cameras updating does not support --forced_model_sne");
    }
    const std::unique_ptr<FW_Updater_USB30> updater = setup.makeUsb3();
    ConfigureUsb3Updater(*updater, params, UpdaterProgress::Printed);
    if (!params.campath.empty()) {
        updater->SetCameraDriver(kZavroUsb3Driver);
        updater->SelectCameraByPath(params.campath);
    } else if (!params.camlocation.empty()) {
        // A location names one camera; falling back to camera 0 could program
        // the wrong one.
        updater->SetCameraDriver(kZavroUsb3Driver);
        updater->SelectCameraByLocation(params.camlocation);
    } else if (!params.camsn.empty()) {
        updater->SetCameraDriver(kZavroUsb3Driver);
        updater->SelectCameraBySN(params.camsn);
    } else if (params.allcameras) {
        DoOperationOnAllUsb3CamerasOnDriver(kZavroUsb3Driver, params, setup);
        return;
    } else {
        updater->SelectCameraOnBus(params.camid);
    }
    setup.perform(*updater);
}

}  // namespace

void ApplyAccessKey(FW_Updater& updater, const CmdLineParams& params)
{
    updater.SetAccessKey(params.key != 0 ? params.key : kDefaultAccessKey);
}

UpdaterSetup DefaultUpdaterSetup()
{
    UpdaterSetup setup;
    setup.makeFapi = [] { return std::make_unique<FW_Updater_FAPI>(); };
    setup.makeUsb3 = [] {
        // The direct path has no log of its own: its lines go into the same
        // camera's log through the camera API, by the location it selected.
        auto updater = std::make_unique<FW_Updater_USB30>();
        updater->SetOperationLog(std::make_shared<CameraOperationLog>());
        return updater;
    };
    setup.perform = [](FW_Updater& updater) { PerformOperation(updater); };
    return setup;
}

void ConfigureFapiUpdater(FW_Updater_FAPI& updater, const CmdLineParams& params, UpdaterProgress progress)
{
    ApplyAccessKey(updater, params);
    if (progress == UpdaterProgress::Printed) {
        updater.SetProgressCallback(&PrintProgress, 0);
    }
    if (!params.forced_model_sne.empty()) {
        updater.SetForcedModelSNE(params.forced_model_sne);
    }
    if (!params.new_fw_ver.empty()) {
        updater.SetNewFirmwareVersion(params.new_fw_ver);
    }
    if (!params.cur_fw_ver.empty()) {
        updater.SetCurrentFirmwareVersion(params.cur_fw_ver);
    }
    if (!params.model.empty()) {
        updater.SetCameraModelName(params.model);
    }
    if (!params.eeprom_ver.empty()) {
        updater.SetEEPROMVersion(params.eeprom_ver);
    }
    if (params.skip_eeprom_upgrade) {
        updater.SetSkipEEPROMUpgrade();
    }
    if (params.eeprom_ver_associate_from_cpu_ver) {
        updater.SetEEPROMVersionFromCpu();
    }
    if (params.number_of_led_blinks_on_end != 0) {
        updater.SetLedBlinkCumberAfterInfo(params.number_of_led_blinks_on_end);
    }
}

void ConfigureUsb3Updater(FW_Updater_USB30& updater, const CmdLineParams& params, UpdaterProgress progress)
{
    if (progress == UpdaterProgress::Printed) {
        updater.SetProgressCallback(&PrintProgress, 0);
    }
    updater.SetCameraDriver(0);
    updater.SetBulkMode(1);
    updater.SetCameraGeneration(params.ucam_type);
    if (params.ccd) {
        updater.SetCCD();
    }
}

void RunUpdaters(const CmdLineParams& params, const UpdaterSetup& setup)
{
    if (params.zvapi) {
        RunFapiPath(params, setup);
    } else {
        RunUsb3Path(params, setup);
    }
}

void DoOperationOnAllFapiCameras(const CmdLineParams& params, const UpdaterSetup& setup)
{
    int count = 0;
    {
        const std::unique_ptr<FW_Updater_FAPI> counter = setup.makeFapi();
        count = counter->GetConnectedCamerasCount();
    }
    if (count <= 0) {
        throw UpdaterError("No camera connected");
    }
    for (int index = 0; index < count; ++index) {
        std::printf("----------------------------------\n");
        std::printf("Selected camera id:%d (total:%d)\n", index, count);
        const std::unique_ptr<FW_Updater_FAPI> updater = setup.makeFapi();
        ConfigureFapiUpdater(*updater, params, UpdaterProgress::Silent);
        updater->SelectCameraOnBus(index);
        setup.perform(*updater);
    }
}

void DoOperationOnAllUsb3CamerasOnDriver(int driver, const CmdLineParams& params, const UpdaterSetup& setup)
{
    int count = 0;
    {
        const std::unique_ptr<FW_Updater_USB30> counter = setup.makeUsb3();
        counter->SetBulkMode(1);
        counter->SetCameraDriver(driver);
        count = counter->GetCameraOnBusCount();
    }
    for (int index = count - 1; index >= 0; --index) {
        std::printf("----------------------------------\n");
        std::printf("Selected camera id:%d (total %d) - driver %d\n", index, count, driver);
        const std::unique_ptr<FW_Updater_USB30> updater = setup.makeUsb3();
        ConfigureUsb3Updater(*updater, params, UpdaterProgress::Silent);
        updater->SetCameraDriver(driver);
        updater->SelectCameraOnBus(index);
        setup.perform(*updater);
    }
}
