#pragma once

#include "camera_fapi.h"
#include "fw_decrypter.h"
#include "fw_updater.h"
#include "text_limits.h"
#include "updater_error.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class zvAPIplus_Exception;
class CalibDataStructureConverter;

// The updater that works through the camera maker's camera API. The entry
// function builds one per camera, hands it the options, selects the camera
// and lets the dispatcher call its operations; each operation opens the
// camera itself (CameraFAPI::Open) and moves files in and out of the camera's
// flash file system with the transfers below.
class FW_Updater_FAPI : public FW_Updater {
public:
    // Key the camera wants for writing its calibration EEPROM file, whatever
    // key the run was given.
    static constexpr std::uint32_t kEepromFileAccessKey = 0x3C91E5A7;

    // Its operation log is the camera's own, written through the camera API.
    FW_Updater_FAPI();
    // Closes the camera unless its handle was supplied from outside.
    ~FW_Updater_FAPI() override;

    // Selection only records the choice; nothing touches a camera until an
    // operation opens it.
    void SelectCameraOnBus(int index) override;
    void SelectCameraByPath(const std::string& path) override;
    void SelectCameraBySN(const std::string& serial) override;
    void SelectCameraByLocation(const std::string& location) override;

    // Prints "Device id:<i> location: <path>" for every camera the camera
    // API counts, without opening any.
    void ListOfCamerasLocations() override;
    // Opens the camera, reads its model name and closes it again (unless the
    // handle was supplied). Camera API failures pass out unchanged.
    std::string GetCameraModel() override;

    void SetNewFirmwareVersion(const std::string& version) override;
    void SetLedBlinkCumberAfterInfo(int count) override;
    // Adopts a camera opened elsewhere; the updater never closes it.
    void SetCameraHandle(CameraApiHandle handle) override;

    // Number of cameras the camera API sees, those in golden mode included;
    // a camera API failure is thrown as its description.
    virtual int GetConnectedCamerasCount();
    virtual void SetCurrentFirmwareVersion(const std::string& version);

    void SetCameraModelName(const std::string& model);
    void SetEEPROMVersion(const std::string& version);
    void SetSkipEEPROMUpgrade() { skipEepromUpgrade = true; }
    void SetEEPROMVersionFromCpu() { eepromVersionFromCpu = true; }
    void SetForcedModelSNE(const std::string& sne) { camera.SetForcedModelSNE(sne); }

    // ---- calibration workflows -------------------------------------------------
    //
    // The camera's calibration data lives in its flash file "File_EEPROM1".
    // Those that need a camera expect it open unless they say otherwise.
    //
    // Converts the camera's calibration data from what the current CPU
    // firmware version needs to what the new one needs (an empty new version
    // takes --new_fw_ver). Before anything in the camera changes, a verified
    // backup of the whole image is written to eeprom_backup_<model>_<serial>.bin
    // in the working directory; while the converted image is written and read
    // back, the partition table carries the update-in-progress mark. A camera
    // found with that mark set is first restored from its backup (or, without
    // a good backup, refused with nothing written). Failures are thrown.
    void EEPROMDataUpdate(const std::string& currentCpuVersion, const std::string& newCpuVersion);
    // The version of the CPU firmware the camera runs, found through the
    // calibration definitions of its model; none (the reason printed) when
    // they do not know the model.
    std::optional<std::string> GetCpuFirmwareVersion();

    // prog EEPROM1_VER: rewrites the two data version bytes in the camera's
    // partition table (--eeprom_ver, or with --eeprom_ver_associate_from_cpu_ver
    // those the running CPU firmware needs). The rest of the table and of
    // the image stays; a camera whose update-in-progress mark is set is
    // refused.
    void OperationEEPROMVersionUpdate();
    // verify EEPROM1_VER: whether --model, --cur_fw_ver and --eeprom_ver
    // belong together; needs no camera.
    void OperationVerifyEEPROMVersions();
    // The camera's EEPROM data version "ss.dd", read once per updater and
    // cached; the text must be shorter than `capacity`.
    std::string GetEEPROMDataVersion(std::size_t capacity);
    // The versions the camera's running CPU firmware needs. Opens the camera.
    std::string GetLatestAvailableEEPROMDataVersion() override;
    // For EEPROM1: whether the camera's data can be brought to, or must be
    // brought to, what --new_fw_ver needs (true and false for any other type).
    // Open the camera themselves.
    bool IsUpdatePossible() override;
    bool IsDataUpgradeNeeded() override;
    // "major.minor" as two bytes; both stay as they are when the text has no
    // point, the minor one when nothing follows it. A number outside 0-255
    // is refused.
    static void SplitMajorMinor(const std::string& version, std::uint8_t& major, std::uint8_t& minor);

    // extract EEPROM1 <file>: the image file as a text and a CSV listing, and
    // as a completed image when it lacks a partition table (no camera).
    void ExtractData() override;
    // insert EEPROM1 <csv> (or <image> --patch_file <csv>): a packed image
    // file from a calibration CSV over the model's defaults or over an image.
    void InsertData() override;
    // diff / file_diff EEPROM1: the fields of the camera's image (or of an
    // image file) that differ from the model's defaults, as a report file.
    void DiffFirmwareContent() override;
    // After dump EEPROM1: the dumped image as listings beside the dump file.
    // Only camera API failures pass out: listings that cannot be made (also
    // for a model the calibration definitions do not know) are explained on
    // the console and the dump stands.
    void ConvertEEPROMDumpData(std::span<const std::uint8_t> dump);

    // Flash-file-system transfers on the open camera. Each prints its own
    // progress lines; camera API failures pass out as zvAPIplus_Exception.
    //
    // Reads buffer.size() bytes of the file from the offset.
    void ReadFileFFS(std::span<std::uint8_t> buffer, std::string_view ffsFileName, std::uint32_t offset);
    // The same without the progress lines.
    void ReadFfsBytes(std::span<std::uint8_t> buffer, std::string_view ffsFileName, std::uint32_t offset);
    // Writes the data into the file at the offset ("FFS_Partition" takes no
    // offset).
    void WriteFileFFS(std::span<const std::uint8_t> data, std::string_view ffsFileName, std::uint32_t offset);
    // Reads expected.size() bytes back and compares them with expected. For
    // a CPU image the firmware-ok mark (byte 34 of the file, when the range
    // covers it) is the camera's: 0xFF (not yet started) or 0xA5 (confirmed)
    // is copied into expected, any other value fails. Throws when the
    // contents differ.
    void VerifyFileFFS(std::span<std::uint8_t> expected, std::string_view ffsFileName, std::uint32_t offset);
    // The same comparison on bytes it may not change (the payload itself, no
    // copy of it): the camera's mark stands whatever expected holds there.
    // Answers the mark when the range covered it.
    std::optional<std::uint8_t> CompareFileFFS(std::span<const std::uint8_t> expected, std::string_view ffsFileName,
                                               std::uint32_t offset);

    // A camera API failure as the updater reports it: its description.
    static UpdaterError CameraApiError(const zvAPIplus_Exception& error);

    // Operations on the camera's flash-file-system file of the firmware type.
    // OperationFFS runs one: verify against the input file, program (write,
    // then verify), dump into the local file named by the input file name, or
    // bring the EEPROM data to what the running CPU firmware needs. A failure
    // is thrown as UpdaterError (a camera API failure becomes its
    // description); on every way out the camera is closed (unless its handle
    // was supplied) and the progress callback unregistered.
    enum class FfsOperation { kVerify = 1, kProgram = 2, kDump = 4, kEepromUpgrade = 5 };
    void OperationFFS(FfsOperation operation);

    // Logs "started", programs, logs "finished"; a thrown failure leaves only
    // the "started" line.
    void UpdateFirmware() override;
    void VerifyFirmware() override;
    void DumpFlash() override;
    void UpgradeFirmware() override;
    // No emergency boot exists on this path; refused without touching the camera.
    void EmergencyBoot() override;

    // The version text of the selected firmware type, as the front end prints
    // it (at most kVersionTextCapacity - 1 characters). With a blink count set,
    // the camera's LEDs blink afterwards. The camera stays open.
    static constexpr std::size_t kVersionTextCapacity = 100;
    std::string GetCurrentFirmwareVersion() override;

    // Content version of the camera's factory user set ("UserSetFactory") or
    // user sets ("UserSets"): the text of content_version right below the XML
    // document's root element. The camera must be open. The text must be
    // shorter than capacity.
    std::string GetUserSetFactoryVersion(std::size_t capacity = kVersionTextCapacity);
    std::string GetUserSetsVersion(std::size_t capacity = kVersionTextCapacity);
    std::string GetVersionFactorySet(std::string_view ffsFileName, std::size_t capacity);

protected:
    // The steps before and after a file is programmed into the camera. For a
    // camera model the calibration definitions know, programming the model's
    // CPU firmware brings its EEPROM data along and restarts the CPU; every
    // other camera and file needs nothing.
    //
    // Before: for the model's own CPU firmware, converts the EEPROM data for
    // the version the image carries (bytes 6 and 5; --cur_fw_ver stands in for
    // the camera's version, --skip_eeprom_upgrade leaves the data alone) and
    // prints the camera's bootloader versions. After: resets the CPU so the
    // new firmware starts, and reopens a "JR" camera, which reconnects.
    virtual void HandleModelSpecificOperation_BeforeProgramming();
    virtual void HandleModelSpecificOperation_AfterProgramming();
    // A bootloader version register of a device unit; 0 when the camera
    // cannot read it (selecting the unit and register must succeed).
    std::uint32_t ReadBootloaderVersion(std::uint32_t deviceUnit, std::uint32_t registerIndex);
    // After the CPU reset: the camera runs the version the programmed image
    // carries (thrown otherwise), or it has left the bus to start it
    // (cameraGoneAfterReset).
    void ConfirmNewFirmwareRuns(const std::string& model);

    // The calibration work the flash-file-system operations hand over to.
    //
    // verify EEPROM1_VER: checks model, CPU version and EEPROM data version
    // given on the command line against each other, without a camera.
    virtual void VerifyEepromVersionsOffline();
    // prog EEPROM1_VER: rewrites the two version bytes of the camera's EEPROM.
    virtual void UpdateEepromVersionInCamera();
    // Converts the camera's EEPROM data from what the current CPU firmware
    // version needs to what the new one needs.
    virtual void UpdateEepromData(const std::string& currentCpuVersion, const std::string& newCpuVersion);
    // After dump EEPROM1: the dumped image as calibration listings beside the
    // dump file.
    virtual void ConvertDumpedEeprom(std::span<const std::uint8_t> dump);
    // info EEPROM1: the camera's EEPROM data version.
    virtual std::string ReadEepromDataVersion();

    // Operations that transfer files map the camera API's progress onto this
    // updater's callback from here until they finish or abandon.
    void StartTransferProgress();
    // The end of such an operation: progress unregistered, the camera closed
    // unless its handle was supplied. Failures are thrown.
    void FinishCameraOperation();
    // The same on an error path: it never throws, so the error that ended the
    // operation is the one reported.
    void AbandonCameraOperation() noexcept;
    // Closes the camera unless its handle was supplied.
    void CloseCamera();

    // The camera's model name and serial number as it answers them now. A
    // camera that answers otherwise than when it was opened is not trusted
    // with any decision: that is thrown.
    std::string ReadCameraModel();
    std::string ReadCameraSerial();

    // The calibration workflows' access to "File_EEPROM1": its size as the
    // camera reports it (refused unless it is a whole 64 KB image), the whole
    // file, and the partition table as the converter holds it.
    std::uint32_t SelectEepromFile();
    // The whole file, read twice: two readings that differ are thrown, since
    // what is decided from the image must not rest on a faulty one.
    std::vector<std::uint8_t> ReadCameraEeprom(std::uint32_t size);
    // Whether the whole file reads back as meant (the reading's progress
    // lines printed or not).
    bool EepromReadsBackAs(std::span<const std::uint8_t> meant, bool printed = false);
    // Writes the partition table of the meant image alone, then checks that
    // the whole file reads back as meant; a write that did nothing or went
    // elsewhere is mended by writing the whole image once. Throws when the
    // camera still differs.
    void WriteEepromTable(std::span<const std::uint8_t> meant);
    // Sets or clears the update-in-progress mark in an image's table.
    static void SetUpdateInProgressMark(std::vector<std::uint8_t>& image, std::uint8_t mark);
    // Puts the backup of an interrupted update back into the camera, which
    // holds `current`: the mark is set before the first byte of the restore
    // and cleared once the whole backup reads back. Answers the restored
    // image.
    std::vector<std::uint8_t> RestoreEepromFromBackup(const std::string& model, const std::string& serial,
                                                      std::span<const std::uint8_t> current);
    // A read of the camera's calibration data that finds the update mark set
    // holds the data of an interrupted update: it must not present them as
    // calibration data. Throws, naming the update's backup file and the
    // command that finishes it.
    void RefuseInterruptedUpdate(std::span<const std::uint8_t> image);
    // prog EEPROM1: the file must be a whole image of the camera's size;
    // the camera's image is saved to eeprom_prog_backup_<model>_<serial>.bin
    // before it is replaced. Throws, with nothing written, otherwise.
    void BackUpEepromBeforeProgramming(std::span<const std::uint8_t> fileImage);
    // Reads the camera's image once per updater into eepromCache; answers
    // whether this call read it.
    bool FillEepromCache(std::uint32_t size);
    bool QueryEepromUpgrade(bool possible);

    CameraFAPI camera;
    std::string newFwVersion;      // CPU firmware version after the update (--new_fw_ver)
    std::string currentFwVersion;  // stands in for the camera's own (--cur_fw_ver)
    std::string modelName;         // camera model for work without a camera (--model)
    std::string eepromVersion;     // EEPROM data version "major.minor" (--eeprom_ver)
    bool skipEepromUpgrade = false;
    bool eepromVersionFromCpu = false;
    FwDecrypter decrypter;  // content given as text in place of a file
    // The whole payload of a program or verify operation (without a check
    // word), in `decrypter` or in the loaded input file.
    std::span<const std::uint8_t> payloadData;
    std::int32_t ledBlinkCount = 0;
    std::vector<std::uint8_t> eepromCache;  // "File_EEPROM1" as read once by the version queries
    bool handleSupplied = false;
    // The camera left the bus after the CPU reset of the operation under way:
    // its handle is gone, which says nothing about the firmware written.
    bool cameraGoneAfterReset = false;
    // Set by a data update that converted the camera's EEPROM image: the
    // camera whose backup holds the image as it was before.
    struct ConvertedEeprom {
        std::string model;
        std::string serial;
        std::vector<std::uint8_t> image;  // as the camera holds it now
    };
    std::optional<ConvertedEeprom> convertedEeprom;
    // Set while the step before programming runs: a data update leaves its
    // mark set; the programming clears it once the firmware reads back.
    bool holdEepromUpdateMark = false;

private:
    // The bytes an operation writes or compares: the payload from the window
    // start to its (possibly cut) end, and where that window lies in the file.
    struct FfsPayload {
        std::span<const std::uint8_t> bytes;
        std::uint32_t start = 0;  // file offset of bytes[0]
        std::uint32_t size = 0;   // payload size up to the window end
    };

    void RunOperationFFS(FfsOperation operation);
    FfsPayload LoadPayload(std::string_view ffsFileName);
    void ProgramPayload(const FfsPayload& payload, std::string_view ffsFileName);
    // After the firmware could not be programmed over converted EEPROM data:
    // puts the data back as they were; says how that went, never throws.
    void RestoreEepromAfterFailedProgramming() noexcept;
    void DumpFfsFile(std::string_view ffsFileName);
    std::string ReadFirmwareVersionOfType();
    void BlinkLeds() noexcept;
};
