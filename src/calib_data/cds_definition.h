#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "calib_text_row.h"
#include "default_images.h"
#include "field_tables.h"
#include "field_values.h"
#include "page_layouts.h"
#include "unpacked_field.h"

// The form of a definition's upgrade step from the previous version of its
// model: none (the model's first version, or a row repeating the versions of
// the row before it), the generic merge of every page, or the generic merge
// with the page or field rules of the test models.
enum class CdsUpgradeStep : uint8_t {
    None,
    Generic,
    TestCam01PageRulesToV20,
    TestCam01PageRulesToV30,
    TestCam03FieldRulesToV21,
};

// One calibration structure definition: which camera models and CPU firmware
// versions it serves, the data-structure and mode-defaults versions, the page
// geometry and field table, and the data behind its functions (layout, display
// grid, bit descriptors, default pages). A record of static data: lookups hand
// out copies, and a zero-initialised record means "no definition".
struct CdsDefinition {
    const char* model_pattern = nullptr;  // ECMAScript pattern, anchored with "^"
    const char* cpu_fw_min = nullptr;     // lowest CPU firmware version, inclusive
    const char* cpu_fw_max = nullptr;     // highest CPU firmware version, inclusive
    uint8_t eeprom_struct_ver = 0;
    uint8_t mode_defaults_ver = 0;
    uint32_t pages_count = 0;
    uint32_t page_size = 0;
    const UnpackedField* fields = nullptr;  // the template of one unpacked page
    uint32_t fields_size = 0;               // kFieldRecordSize x fields_count
    uint32_t field_record_size = 0;         // kFieldRecordSize
    uint32_t fields_count = 0;              // closing records included

    // Index of the row in CdsDefinitionTable, so a copy knows which
    // version's functions and texts it stands for; -1 in an empty record.
    int table_row = -1;
    CdsPageLayout layout = CdsPageLayout::Backward128;
    CdsSensorFamily sensor_family = CdsSensorFamily::JV966;
    int grid_rows = 0;
    int grid_cols = 0;
    const uint16_t* grid_cells = nullptr;  // grid_rows x grid_cols records; null without a listing
    const UnpackedField* bit_descriptors = nullptr;
    // The default packed pages of every camera mode; null when the row has
    // none (then the row of the same model and versions that has one lends it).
    const CdsDefaultImage* mode_defaults_image = nullptr;
    // Calibration CSV text whose rows name the fields that always take the new
    // default when the data are upgraded to this version; null when none.
    const char* mode_defaults_csv = nullptr;
    CdsUpgradeStep upgrade_step = CdsUpgradeStep::None;

    // The CPU firmware the calibration data depend on.
    uint32_t assoc_fw_type = 0;  // firmware type id: 1 CPU1, 2 CPU2
    uint32_t zv_fw_type = 0;     // camera-API version selector of that CPU
    uint32_t curr_dus = 0;       // device-unit selector of that CPU
    const char* assoc_ffs_name = nullptr;

    // Writes a whole page (page_size bytes) from the values of an unpacked
    // field array.
    void Pack(std::span<uint8_t> page, std::span<const UnpackedField> fields) const;
    // Fills the values of an unpacked field array from a page; 0, or -1 when
    // a 512-byte page fails its checksum (the array is then left as it was).
    int Unpack(std::span<const uint8_t> page, std::span<UnpackedField> fields) const;

    int GetGridRows() const { return grid_rows; }
    int GetGridCols() const { return grid_cols; }
    // Field-table record numbers of the display grid, row by row; empty for
    // the versions without a listing.
    std::span<const uint16_t> GetGridCells() const;

    uint32_t GetFieldTableCount() const { return fields_count; }
    // 32 bit descriptors of IMG_CTRL and IMG_CTR2, or null.
    const UnpackedField* GetBitDescriptors() const { return bit_descriptors; }

    std::span<const UnpackedField> FieldTable() const { return {fields, fields_count}; }

    // ---- engineering values, listing and text parser -------------------------
    // Per model family and raw type (flags bits 12-15); every failure is an
    // UpdaterError. A record without a table row (table_row -1) has no
    // functions and refuses every call.

    // Prepares the gain tables the listing and the text parser read. The
    // tables are built once and never change, so this only refuses the
    // versions that have none (TestCam01 V2.0 and V3.0).
    void Initialize() const;
    // Raw register value -> engineering integer (gains x 1000, counts
    // decoded, milli-decibels, ...).
    int32_t GetFieldValue(const UnpackedField& field) const;
    // Engineering integer -> raw value, stored in the field. A value the
    // field cannot hold (out of range, no matching gain, not representable in
    // the register form) fails and leaves the field as it was.
    void SetFieldValue(int32_t value, UnpackedField& field) const;
    CdsFieldType GetFieldType(const UnpackedField& field) const;
    // Item `index` (0-63) of a gain field's enumeration: the gain x 1000, and
    // the raw field value that selects it.
    int32_t GetEnumValue(uint32_t index) const;
    int32_t GetEnumValueRaw(uint32_t index) const;

    // The listing of one unpacked page: one item per display-grid cell,
    // column by column (cell k is column k / rows, row k % rows).
    void GetCalibData(std::span<const UnpackedField> fields, std::vector<CalibTextRow>* out) const;
    void GetCalibData(std::span<const UnpackedField> fields, std::vector<std::string>* out) const;
    // The value text the structured listing shows for one field; none for a
    // version without a listing or a raw type it does not show.
    std::optional<std::string> ListingValueText(const UnpackedField& field) const;

    // Parses a value text of the named grid field by its raw type and stores
    // the raw value. Only fields shown in the display grid can be set.
    void SetVal(std::span<UnpackedField> fields, const char* name, const char* value) const;
    // Index of the record SetVal sets for the name (the last grid row that
    // shows it, the leftmost cell of that row), or -1.
    int FindSettableField(std::span<const UnpackedField> fields, const char* name) const;
    // Whether the version has a text parser (SetVal) at all.
    bool HasTextParser() const;
};

inline constexpr size_t kCdsDefinitionCount = 35;

// The static table of definitions, walked in index order 0 to 34. Built on
// first use; never written afterwards.
const std::array<CdsDefinition, kCdsDefinitionCount>& CdsDefinitionTable();

// Whether the model-name pattern of a row finds a match in the model name
// (an ECMAScript search; every pattern is anchored at the name's start). Each
// pattern is compiled once.
bool CdsPatternMatches(size_t row, const char* model);
