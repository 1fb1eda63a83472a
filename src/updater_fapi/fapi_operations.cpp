// prog, verify, dump and upgrade through the camera API: one routine finds
// the flash file of the firmware type, takes the bytes to write or compare
// from the input file, moves them with the transfers while the camera API's
// progress is mapped onto the run's progress, and always leaves the camera
// closed and the progress callback unregistered, also when it fails.

#include "camera_run_lock.h"
#include "camera_text.h"
#include "fapi_progress.h"
#include "ffs_file_table.h"
#include "fw_sel_item.h"
#include "fw_updater_fapi.h"
#include "zeroed_buffer.h"
#include "zvapiplus_exception.h"

#include <cstdio>
#include <fstream>
#include <new>
#include "os_file_path.h"

namespace {

// A dump of an empty file still reads this much, so something comes back.
constexpr std::uint32_t kEmptyFileDumpSize = 0x10000;
// These models keep their CPU firmware in the first 63 KiB of the file; the
// camera reports the size of the whole region.
constexpr std::uint32_t kSmallCpuDumpSize = 0xFC00;
constexpr std::string_view kSmallCpuModels[] = {"JV966", "JV285", "JV085"};
constexpr std::string_view kCpu1File = "File_FW_CPU1";
constexpr std::string_view kSensorSerialFile = "SensInfo";
// Zero bytes kept after a dump in its buffer.
constexpr std::size_t kDumpSlack = 1024;

// The camera API takes keys as int parameters: the same 32 bits.
int AsIntParameter(std::uint32_t value)
{
    return static_cast<int>(value);
}

using FfsOperation = FW_Updater_FAPI::FfsOperation;

bool TakesInputFile(FfsOperation operation, std::int32_t firmwareType)
{
    if (operation == FfsOperation::kDump || operation == FfsOperation::kEepromUpgrade) {
        return false;
    }
    return !(operation == FfsOperation::kProgram && firmwareType == FW_TYPE_EEPROM1_VER);
}

void WriteDumpFile(const std::optional<std::string>& fileName, std::span<const std::uint8_t> bytes)
{
    std::ofstream out;
    if (fileName && !fileName->empty()) {
        out.open(zv::os::FilePath(*fileName), std::ios::binary | std::ios::trunc);
    }
    if (!out.is_open()) {
        throw UpdaterError("WriteFile - Can not open output file");
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    // A dump that did not reach the disk whole must not be reported as read.
    if (!out) {
        throw UpdaterError("WriteFile - Can not write output file");
    }
}

}  // namespace

void FW_Updater_FAPI::OperationFFS(FfsOperation operation)
{
    try {
        RunOperationFFS(operation);
    } catch (const zvAPIplus_Exception& error) {
        AbandonCameraOperation();
        throw CameraApiError(error);
    } catch (...) {
        AbandonCameraOperation();
        throw;
    }
}

void FW_Updater_FAPI::RunOperationFFS(FfsOperation operation)
{
    // The version check of EEPROM1_VER needs no camera at all.
    if (firmwareType == FW_TYPE_EEPROM1_VER && operation == FfsOperation::kVerify) {
        VerifyEepromVersionsOffline();
        return;
    }
    cameraGoneAfterReset = false;
    if (GetConnectedCamerasCount() <= 0) {
        throw UpdaterError("No camera connected");
    }
    camera.Open();
    const std::optional<std::string_view> ffsFile = FindFfsFileName(firmwareType);
    if (!ffsFile) {
        throw UpdaterError("Unsupported file-type selection for this camera.");
    }
    // Runs that write to one camera take turns for the whole operation (its
    // backups, conversions and writes), also with runs on the direct path.
    std::optional<CameraRunLock> runLock;
    if (operation == FfsOperation::kProgram || operation == FfsOperation::kEepromUpgrade) {
        runLock.emplace(ReadCameraSerial());
    }
    SetFapiProgressPhase(0.0f, 1.0f);

    FfsPayload payload;
    if (TakesInputFile(operation, firmwareType)) {
        payload = LoadPayload(*ffsFile);
    }
    StartTransferProgress();

    switch (operation) {
    case FfsOperation::kProgram:
        if (firmwareType == FW_TYPE_EEPROM1_VER) {
            UpdateEepromVersionInCamera();
        } else {
            if (firmwareType == FW_TYPE_EEPROM1) {
                BackUpEepromBeforeProgramming(payloadData);
            }
            ProgramPayload(payload, *ffsFile);
        }
        break;
    case FfsOperation::kVerify:
        CompareFileFFS(payload.bytes, *ffsFile, payload.start);
        break;
    case FfsOperation::kDump:
        DumpFfsFile(*ffsFile);
        break;
    case FfsOperation::kEepromUpgrade: {
        const std::optional<std::string> version = GetCpuFirmwareVersion();
        if (!version) {
            throw UpdaterError("EEPROM Data Update ERROR: operation not supported for camera model");
        }
        // The data is brought to what the firmware already running needs.
        UpdateEepromData(*version, *version);
        break;
    }
    default:
        throw UpdaterError("Unsupported firmware operation");
    }

    ReportProgress(100);
    std::printf("Operation done OK  \n");
    if (cameraGoneAfterReset) {
        // The handle went with the camera: its clean-up cannot fail a write
        // that was verified.
        AbandonCameraOperation();
    } else {
        FinishCameraOperation();
    }
}

FW_Updater_FAPI::FfsPayload FW_Updater_FAPI::LoadPayload(std::string_view ffsFileName)
{
    if (!inputFile) {
        throw UpdaterError("Invalid filename");
    }
    std::span<const std::uint8_t> buffer;
    std::uint32_t size = 0;
    if (nameIsHex || nameIsSnSne) {
        decrypter = FwDecrypter();  // a container takes one load
        if (!scrambled) {
            decrypter.ClearScrambled();
        }
        if (nameIsHex) {
            decrypter.ParseHexFromStringToBuffer(inputFile->c_str());
        } else if (ffsFileName == kSensorSerialFile) {
            decrypter.SSnFromNameToBuffer(inputFile->c_str());
        } else {
            decrypter.ParseSnSneFromStringToBuffer(inputFile->c_str());
        }
        buffer = decrypter.GetFileBuffer();
        size = decrypter.GetDataSize();
    } else {
        // The file as the input check loaded it (or now, when it was not checked).
        LoadedInputFile& input = LoadInputFile();
        if (!input.checksumValid) {
            throw UpdaterError("Error file checksum");
        }
        buffer = input.content.GetFileBuffer();
        size = input.content.GetDataSize();
    }
    if (buffer.empty() || size > buffer.size()) {
        throw UpdaterError("Error getting fw data");
    }
    const std::uint32_t dataSize = size;

    const std::uint32_t start = GetFwStart();
    const std::uint32_t stop = GetFwStop();
    // A window end past the payload (scripts pass 0xFFFFFFFF for "to the end")
    // writes the payload to its end.
    if (stop != 0 && stop <= size) {
        size = stop;
    }
    if (start != 0 && start >= size) {
        throw UpdaterError("fw_start is out of file range");
    }

    payloadData = buffer.first(dataSize);
    FfsPayload payload;
    payload.bytes = buffer.subspan(start, size - start);
    payload.start = start;
    payload.size = size;
    return payload;
}

void FW_Updater_FAPI::ProgramPayload(const FfsPayload& payload, std::string_view ffsFileName)
{
    convertedEeprom.reset();
    // EEPROM data converted for this firmware keep their update-in-progress
    // mark until the firmware reads back whole: until then, whatever stops
    // the run (here or in the restore below) leaves the next run to restore
    // them from their backup.
    holdEepromUpdateMark = true;
    try {
        // Whatever fails once the EEPROM data were converted (the rest of
        // the step before programming included) leaves them without the
        // firmware they were converted for.
        HandleModelSpecificOperation_BeforeProgramming();
        holdEepromUpdateMark = false;
        if (payload.size == 0) {
            // Converted data without the firmware they were converted for
            // would not fit the firmware the camera keeps running.
            if (convertedEeprom) {
                throw UpdaterError("The firmware file holds no data, nothing was programmed");
            }
            // Nothing to write: the camera's file stays as it is (a write of
            // no bytes would empty it).
            return;
        }
        SetFapiProgressPhase(20.0f, 0.4f);
        std::printf("Writing FW\n");
        WriteFileFFS(payload.bytes, ffsFileName, payload.start);
        SetFapiProgressPhase(60.0f, 0.4f);
        CompareFileFFS(payload.bytes, ffsFileName, payload.start);
    } catch (...) {
        holdEepromUpdateMark = false;
        if (convertedEeprom) {
            RestoreEepromAfterFailedProgramming();
        }
        throw;
    }
    if (convertedEeprom) {
        // The data and the firmware they were converted for are in the
        // camera: the mark goes.
        std::vector<std::uint8_t> image = std::move(convertedEeprom->image);
        convertedEeprom.reset();
        SetUpdateInProgressMark(image, 0);
        SetFapiProgressPhase(100.0f, 0.0f);  // the operation's progress stays at its end
        WriteEepromTable(image);
    }
    HandleModelSpecificOperation_AfterProgramming();
}

void FW_Updater_FAPI::RestoreEepromAfterFailedProgramming() noexcept
{
    const ConvertedEeprom converted = std::move(*convertedEeprom);
    convertedEeprom.reset();
    try {
        try {
            std::printf("CPU firmware was not programmed, restoring EEPROM data from before the update...\n");
            RestoreEepromFromBackup(converted.model, converted.serial, converted.image);
        } catch (const zvAPIplus_Exception& error) {
            throw CameraApiError(error);
        }
    } catch (const std::exception& error) {
        // The backup stays on disk for a later restore.
        std::printf("EEPROM data restore failed: %s\n", error.what());
    } catch (...) {
        std::printf("EEPROM data restore failed\n");
    }
}

void FW_Updater_FAPI::DumpFfsFile(std::string_view ffsFileName)
{
    zvAPIplus_Camera& cam = camera.Camera();
    const std::string name(ffsFileName);
    std::printf("Reading...\n");
    cam.SetFFSAccessKey(AsIntParameter(GetAccessKey()));
    cam.SetFFSFileName(name.c_str());
    std::uint32_t dumpSize = static_cast<std::uint32_t>(cam.GetFFSFileSize());
    if (dumpSize == 0) {
        dumpSize = kEmptyFileDumpSize;
        std::printf("Required file size is zero. Using %u instead to get some data.", dumpSize);
    }
    if (ffsFileName == kCpu1File) {
        const std::string model = ReadCameraModel();
        for (std::string_view small : kSmallCpuModels) {
            if (model.find(small) != std::string::npos) {
                dumpSize = kSmallCpuDumpSize;
            }
        }
    }
    // A size beyond any flash (or a negative one) is the camera's error,
    // never a buffer size.
    if (dumpSize > kMaxFfsFileSize) {
        throw UpdaterError("Memory allocation error - dump buffer");
    }
    std::vector<std::uint8_t> dump = ZeroedBuffer(dumpSize + kDumpSlack, "Memory allocation error - dump buffer");
    // The name was just selected, which starts the read at the file's beginning.
    cam.GetReadFileFFS(reinterpret_cast<char*>(dump.data()), static_cast<int>(dumpSize));
    const std::span<const std::uint8_t> content(dump.data(), dumpSize);
    // A dump of the calibration data may be edited and programmed back: it
    // must not rest on one reading that may have delivered wrong bytes.
    if (firmwareType == FW_TYPE_EEPROM1 && !EepromReadsBackAs(content)) {
        throw UpdaterError("EEPROM data read from the camera differ between two readings; nothing was written. "
                           "Check the camera's connection and run the command again.");
    }
    WriteDumpFile(inputFile, content);
    std::printf("Read done OK\n");
    if (firmwareType == FW_TYPE_EEPROM1) {
        // The raw dump stands (it may serve the repair); listings of an
        // interrupted update's data would pass for calibration data.
        RefuseInterruptedUpdate(content);
        ConvertDumpedEeprom(content);
    }
}

void FW_Updater_FAPI::UpdateFirmware()
{
    LogFirmwareOperation(firmwareType, "started");
    OperationFFS(FfsOperation::kProgram);
    LogFirmwareOperation(firmwareType, "finished");
}

void FW_Updater_FAPI::VerifyFirmware()
{
    OperationFFS(FfsOperation::kVerify);
}

void FW_Updater_FAPI::DumpFlash()
{
    OperationFFS(FfsOperation::kDump);
}

void FW_Updater_FAPI::UpgradeFirmware()
{
    OperationFFS(FfsOperation::kEepromUpgrade);
}

void FW_Updater_FAPI::EmergencyBoot()
{
    throw UpdaterError("Emergency boot is not implemented for this camera type");
}
