#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "calib_upgrade.h"
#include "cds_definition.h"
#include "sensor_mode_page.h"

// Region selector of the raw-data operations.
enum class CdsDataType : int {
    WholeImage = 1,               // (0, 0x10000)
    CameraModesAndPartition = 2,  // (0, 0xFF00)
    PartitionTable = 3,           // (0xFE00, 0x100)
    CameraModesTable = 4,         // (0, pages_count x page_size of the current definition; 0x4000 without one)
};

// A region of the image. `reserved` is never read or written by the getters.
struct PartitionInfo {
    uint32_t offset = 0;
    uint32_t size = 0;
    uint32_t reserved = 0;
};

// The model of one camera's 64 KB calibration EEPROM image: the raw image, the
// camera model, the current and the prepared (new) CPU firmware versions, the
// image's two calibration data version bytes and its camera-mode pages. It
// selects its calibration structure definition by model and version bytes.
// One converter serves one calibration operation.
//
// Calling order: set the model and both CPU versions (the current one derives
// both version bytes from the definitions); when the data do not carry version
// bytes of their own, allocate the image and set them (create a partition
// table first when a valid one is wanted); load the data; unpack the pages,
// work on them; pack or save them; read the data back out.
//
// Failures are thrown as UpdaterError: texts built by ThrowCDSError, and the
// fixed precondition texts "<operation> - <ending>".
class CalibDataStructureConverter {
public:
    // Model names and CPU version texts keep at most this many characters.
    static constexpr size_t kMaxTextLength = 259;

    CalibDataStructureConverter() = default;
    ~CalibDataStructureConverter() = default;
    CalibDataStructureConverter(const CalibDataStructureConverter&) = delete;
    CalibDataStructureConverter& operator=(const CalibDataStructureConverter&) = delete;

    // ---- settings ----------------------------------------------------------------
    void SetCameraModel(const char* model);
    // Stores the text, then sets both version bytes to the newest versions of
    // the matching CPU range.
    void SetCpuFirmwareVersion(const char* version);
    void SetNewCpuFirmwareVersion(const char* version);
    // Set the converter's version bytes only; the image is not touched.
    void SetEepromDataStructVersion(uint8_t version);
    void SetModeDefaultsVersion(uint8_t version);

    // ---- definition lookups --------------------------------------------------------
    static bool IsVersionInRange(const char* version, const char* from, const char* to);
    static bool IsCameraModelKnown(const char* model);
    static bool IsCameraModelSupported(const char* model);
    // The last definition whose pattern matches and whose versions are equal;
    // a miss is reported (not thrown) and leaves `out` as it was.
    static bool GetCurrentCalibInfo(CdsDefinition* out, const char* model, uint8_t structVersion,
                                    uint8_t defaultsVersion);
    // The versions of the last definition for the converter's model whose CPU
    // range holds the version.
    bool FindDataVersionsForCpu(const char* cpuVersion, uint8_t* structVersion, uint8_t* defaultsVersion) const;
    bool IsCpuFirmwareVersionSupported(const char* cpuVersion) const;
    bool IsEEPROMStructModeDefaultsVersionSupported(uint8_t structVersion, uint8_t defaultsVersion) const;
    uint8_t GetEepromDataStructVersionForCurrentCpu() const;
    uint8_t GetCameraModeDefaultsVersionForCurrentCpu() const;
    static void GetAssociatedFwType(const char* model, uint32_t* fwType);
    static void GetAssocZvFwType(const char* model, uint32_t* zvFwType);
    static void GetAccocDevUnitSelector(const char* model, uint32_t* devUnitSelector);
    // Copies the file name with its terminating zero; the buffer must have
    // room for both.
    static void GetAssocFfsFileName(const char* model, char* buffer, uint32_t bufferSize);

    // ---- image and regions -----------------------------------------------------------
    void AllocateCacheIfNeeded();
    static void GetWholeEepromDataInfo(PartitionInfo* info);
    static void GetCameraModesAndPartitionDataInfo(PartitionInfo* info);
    static void GetPartitionTableDataInfo(PartitionInfo* info);
    // The pages region, sized by the current definition.
    void GetCameraModesTableDataInfo(PartitionInfo* info) const;
    void GetDataTypeDescription(CdsDataType type, uint32_t* offset, uint32_t* size) const;
    void CreatePartitionTable();
    bool IsPartitionTableValid();
    void GetRawData(uint8_t* buffer, uint32_t count, CdsDataType type);
    void SetRawData(const uint8_t* buffer, uint32_t count, CdsDataType type);
    void ReadRawData(const char* fileName, CdsDataType type);
    void WriteRawData(const char* fileName, CdsDataType type);

    // ---- version bytes and update flag ---------------------------------------------------
    void GetCalibrationDataStructureVersion(uint8_t* version);
    void GetCameraModeDefaultsVersion(uint8_t* version);
    void SetCalibrationDataStructureVersion(uint8_t version);
    void SetCameraModeDefaultsVersion(uint8_t version);
    void SetCameraCalibDataVersion(const char* version);
    static void SplitVersionString(const char* text, uint8_t* first, uint8_t* second);
    uint8_t GetUpdateInProgressFlag();
    void SetUpdateInProgressFlag(uint8_t flag);

    // ---- cached definition -------------------------------------------------------------
    // Makes the cached copy of the definition for the model and the current
    // version bytes when there is none or when they changed since; false when
    // no definition exists (nothing is cached then).
    bool UpdateCurrentCalibDataDesc();
    void FreeCurrentCalibDataDesc();

    // ---- camera-mode pages ---------------------------------------------------------------
    void LoadSensorModes();
    void UnpackSensorModesData();
    void PackSensorModesData();
    void SaveSensorModes();
    void UnpackSensorModesDefaultsData();
    void ClearSensorModes();
    uint32_t GetPagesCount();
    uint32_t GetPackedPagesCount() const;
    uint32_t GetPackedPageSize() const;
    // The pages in page order (read-only view).
    const SensorModePageList& SensorModes() const { return pages_; }

    // Appends the definition's default pages, unpacked, to `out`. A definition
    // without a default image borrows that of the first row with the same
    // pattern match and versions that has one (stored into *definition).
    static void LoadAndUnpackDstModeDefaults(const char* model, CdsDefinition* definition, SensorModePageList* out);

    // ---- data upgrade -----------------------------------------------------------------------
    // Whether the versions the prepared CPU firmware expects differ from the
    // current version bytes. Throws when no definition of the model covers the
    // prepared CPU firmware: its data would not fit, so the caller must not
    // go on as if nothing were needed.
    bool IsDataUpgradeNeeded() const;
    // Whether definitions exist for both CPU firmware versions and the upgrade
    // steps lead from the current versions to the prepared firmware's. Each
    // "no" is explained by a line on standard output.
    bool IsDataUpgradePossible() const;
    // Steps the unpacked pages up to the prepared firmware's versions, one
    // definition at a time, with a backup in "EEPROM_Backup" before the first
    // step and after every step. Either every step succeeds, or the image,
    // the pages and the version bytes are left as they were and the error is
    // thrown.
    void UpgradeData();
    // Writes the whole image to "EEPROM_Backup/<time>_<model>_V<ss>.<dd>.bin".
    void BackupUpgradeStep(uint8_t structVersion, uint8_t defaultsVersion);

    // The merge of one upgrade step (used by the steps; no converter needed).
    static void RunCameraDataUpdate(CameraDataUpdateContext* context);
    static void DoPageUpdate(CameraDataUpdateContext* context, uint8_t sourcePage, uint8_t targetPage);
    static void DoPageFieldUpdate(CameraDataUpdateContext* context, uint8_t page, std::vector<std::string> fieldNames);
    // Whether a defaults CSV text lists the field for the page.
    static bool IsFieldInCsv(const char* csv, uint8_t page, std::string fieldName);
    static void ClearUpdateContext(CameraDataUpdateContext* context);

    // ---- field selection and access ---------------------------------------------------
    // A cursor over the unpacked pages: select a page, then a field of it (by
    // position, by name, or a named bit of IMG_CTRL or IMG_CTR2 as
    // "IMG_CTRL.<bit name>"), then read or write the selected field. Values
    // are engineering integers converted by the definition.
    void SelectFieldsPage(uint32_t page);
    void SelectFieldByIndex(uint32_t index);
    void SelectFieldByName(const char* name);
    void SelectSpecificFieldByName(std::string name);
    uint32_t GetFieldsCount();
    // Copy the selected field's name or comment with its terminating zero.
    void GetFieldName(char* buffer, uint32_t size);
    void GetFieldDescription(char* buffer, uint32_t size);
    CdsFieldType GetFieldType();
    void SetFieldType(CdsFieldType type);
    int32_t GetFieldValueInt32();
    void SetFieldValueInt32(int32_t value);
    int32_t GetSpecificFieldValueInt32();
    void SetSpecificFieldValueInt32(int32_t value);
    uint32_t GetEnumValueCount();
    uint32_t GetEnumValueIndex();
    void SetEnumValueIndex(uint32_t index);
    int32_t GetEnumValueItem();

    // ---- calibration data export ---------------------------------------------------------
    // The calibration listing of every page: structured (the CSV that
    // UpdatePagesFromCsv reads back) or as a text grid.
    void WriteUnpackedCalibData(const char* fileName, bool structured);
    // The IMG_CTRL / IMG_CTR2 bit lines of one page (definitions with named bits only).
    void WriteUnpackedSpecificFields(const SensorModePage& page, std::ostream& out, bool csvForm);
    static void WriteFieldBitLine(int pageIndex, const char* registerName, const char* bitName, int bitValue,
                                  std::ostream& out, bool csvForm);
    // Tab-separated dump of one page's field records.
    void WriteUnpackedPageData(const char* fileName, unsigned short pageIndex);
    // Every field of every page with its engineering value.
    void WriteUnpackedCalibDataCsv(const char* fileName);
    // The packed bytes of one page.
    void WritePackedPageData(const char* fileName, unsigned short pageIndex);

    // ---- calibration CSV import ----------------------------------------------------------
    // Applies a calibration CSV (a structured listing, edited or not, or a
    // patch of single fields and bits) to the unpacked pages. Rows are
    // "mode id,name,value[,unit]"; the name is a field, "IMG_CTRL.<bit>" /
    // "IMG_CTR2.<bit>" or "<field>::<bit number>". A row that restates the
    // value the page held before the import changes nothing. Every failure
    // names the file line, the page and the field; rows before it stay
    // applied.
    //
    // Range form: pages firstPage..lastPage; rows must come in page order
    // (the first row past lastPage ends the import).
    void UpdatePagesFromCsv(const char* fileName, int firstPage, int lastPage);
    // List form: the listed pages, one pass over the file for each.
    void UpdatePagesFromCsv(const char* fileName, std::list<int>& pages);
    // Every loaded page.
    void UpdateAllPagesFromCsv(const char* fileName);
    // Sets (value > 0) or clears bit `bit` of the stored raw value of a
    // field: the name is "<field>::<bit>".
    void UpdateUnpackedFieldBit(int pageIndex, std::string name, int value);
    // Sets or clears a named bit of IMG_CTRL or IMG_CTR2 in one page's records.
    void UpdateUnpackedSpecificField(std::span<UnpackedField> fields, std::string name, int value);

private:
    // The converter's preconditions, tested in this order by the operations
    // that name them; each failure throws "<operation> - <ending>".
    enum Check : unsigned {
        kModel = 1u << 0,      // model name is not defined
        kStruct = 1u << 1,     // EEPROM data structure is not defined
        kCurrentFw = 1u << 2,  // current firmware version is not defined
        kNewFw = 1u << 3,      // prepared firmware version is not defined
        kImage = 1u << 4,      // partition was not allocated
        kPages = 1u << 5,      // camera mode data was not loaded
        kSettings = kModel | kStruct | kCurrentFw | kNewFw,
        kAll = kSettings | kImage | kPages,
    };
    void CheckPreconditions(const char* operation, unsigned checks) const;
    // The same settings checked by the lookups, imports and exports, with
    // their own capitalised texts through ThrowCDSError ("Model name is not
    // defined", ...), in the order model, structure, current firmware.
    void RequireSettings(const char* operation, unsigned checks) const;

    // The definition for the model and the current version bytes, or
    // ThrowCDSError(operation, "CDS definition not available").
    CdsDefinition RequireDefinition(const char* operation) const;
    uint32_t CameraModesRegionSize() const;
    void RequireImage(const char* operation) const;
    void ReadPartitionTable(const char* operation, std::vector<uint8_t>& table);
    void WritePartitionTable(std::vector<uint8_t>& table);
    void RereadVersionBytes();
    bool RegionHoldsPages(CdsDataType type) const;
    static void RequirePageGeometry(const CdsDefinition& def, const SensorModePage& page, const char* operation);
    static void UnpackPage(const CdsDefinition& def, SensorModePage& page, const char* operation);

    // The data upgrade's walk and the state it restores on failure.
    struct UpgradePlan;
    struct SavedState;
    UpgradePlan PlanDataUpgrade() const;
    bool UpgradeDefinitionsExist(const char* operation) const;
    SavedState SaveState() const;
    void RestoreState(SavedState& state);

    std::string modelName_;
    std::vector<uint8_t> cache_;  // the raw image; empty until allocated
    std::string cpuFwVersion_;
    std::string newCpuFwVersion_;
    uint8_t eepromStructVer_ = 0;  // 0: not defined
    uint8_t modeDefaultsVer_ = 0;
    SensorModePageList pages_;

    // Field selection (see SelectFieldsPage).
    const CdsDefinition& CachedDefinition(const char* operation);
    static void RequireFieldTable(const CdsDefinition& def, const char* operation);
    SensorModePage& SelectedPage(const char* operation);
    SensorModePage& UnpackedSelectedPage(const char* operation);
    UnpackedField& SelectedRecord(const char* operation, SensorModePage& page);
    const UnpackedField* RequireBitDescriptors(const CdsDefinition& def, const char* operation);
    bool SelectionIsRegisterBit() const;
    void CopyFieldText(const char* operation, const char* text, char* buffer, uint32_t size, const char* tooSmall);

    static void WriteSpecificFieldLines(const CdsDefinition& def, const SensorModePage& page, std::ostream& out,
                                        bool csvForm);

    // Calibration CSV import (see UpdatePagesFromCsv).
    struct CsvImport;
    void ImportCsv(CsvImport& import);

    uint32_t selectedPage_ = 0;
    uint32_t selectedField_ = 0;
    uint32_t selectedBit_ = 0;
    uint32_t selectedEnumIndex_ = 0;
    std::string selectedFieldName_;
    CdsFieldType selectedFieldType_ = CdsFieldType::None;

    // The cached definition and the model and versions it was made for.
    std::optional<CdsDefinition> currentDesc_;
    std::string currentDescModel_;
    uint8_t currentDescStruct_ = 0;
    uint8_t currentDescDefaults_ = 0;
};
