#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "page_layouts.h"
#include "unpacked_field.h"

// The eleven distinct field tables of the calibration structure definitions,
// their bit-descriptor tables and the display grids. Definitions that share a
// schema point to the same table (the 35 rows use these eleven).

enum class CdsTableId : uint8_t {
    TestCam,       // TestCam01 V1.0, TestCam02, TestCam03 (165 records)
    JV966,         // JV966 G and B (165 records, Vdd1_8A)
    TestCam01V20,  // TestCam01 V2.0 (156 records)
    TestCam01V30,  // TestCam01 V3.0 (169 records)
    JR574D0V2,     // JR574 D0 V2.0, V2.1 (127 records)
    JR574D0V3,     // JR574 D0 V3.0-V3.9 (127 records)
    JR574D88,      // JR574 D88 V2.0, V2.1 (85 records)
    JR825V2,       // JR825 V2.0, V2.1 (125 records)
    JR825V3,       // JR825 V3.0 (125 records)
    JV285V11,      // JV285 V1.1 (456 records)
    JV285V2,       // JV285 V2.0, V2.1 (462 records)
};
inline constexpr size_t kCdsTableCount = 11;

// The sensor family whose register conventions a table follows: how its
// count fields (raw type 3) and gain fields (raw type 4) encode their values.
enum class CdsSensorFamily : uint8_t {
    JV966,     // TestCam and JV966 tables: three-part counts, 52 gain codes
    JR574,     // JR574 D0: two-part counts (offset 32), 47 gain codes
    JR574D88,  // JR574 D88: 7 gain codes
    JR825,     // JR825: two-part counts (offset 64), gain-table positions 0-49
    JV285,     // JV285: no count codes, no gain codes
};

// Record count, page layout and sensor family of each table, in CdsTableId
// order (the counts are checked against the tables at compile time).
struct CdsTableShape {
    uint32_t records;
    CdsPageLayout layout;
    CdsSensorFamily family;
};
inline constexpr CdsTableShape kCdsTableShapes[kCdsTableCount] = {
    {165, CdsPageLayout::Backward128, CdsSensorFamily::JV966},
    {165, CdsPageLayout::Backward128, CdsSensorFamily::JV966},
    {156, CdsPageLayout::Backward128, CdsSensorFamily::JV966},
    {169, CdsPageLayout::Backward128, CdsSensorFamily::JV966},
    {127, CdsPageLayout::Forward128, CdsSensorFamily::JR574},
    {127, CdsPageLayout::Forward128, CdsSensorFamily::JR574},
    {85, CdsPageLayout::Forward128, CdsSensorFamily::JR574D88},
    {125, CdsPageLayout::Forward128, CdsSensorFamily::JR825},
    {125, CdsPageLayout::Forward128, CdsSensorFamily::JR825},
    {456, CdsPageLayout::Checksum512, CdsSensorFamily::JV285},
    {462, CdsPageLayout::Checksum512, CdsSensorFamily::JV285},
};

constexpr const CdsTableShape& CdsTableShapeOf(CdsTableId id)
{
    return kCdsTableShapes[static_cast<size_t>(id)];
}

struct CdsFieldTable {
    // The records of one unpacked page: bit fields, a closing record, words,
    // a closing record (JV285 V2.x: then five extra fields and a closing
    // record). Names and comments are static for the whole run.
    std::span<const UnpackedField> records;
    CdsPageLayout layout;
    CdsSensorFamily family;
    // 32 named bits of IMG_CTRL (entries 0-15) and IMG_CTR2 (16-31); null for
    // the tables without them.
    const UnpackedField* bitDescriptors;
};

// The table, built with its comments on first use.
const CdsFieldTable& GetCdsFieldTable(CdsTableId id);

enum class CdsGridId : uint8_t {
    TestCam,     // TestCam01 V1.0, TestCam02, TestCam03 and JV966 (38 x 4)
    JR574D0V2,   // JR574 D0 V2.0, V2.1 (24 x 4)
    JR574D0V30,  // JR574 D0 V3.0-V3.4 (24 x 4)
    JR574D0V35,  // JR574 D0 V3.5-V3.9 (24 x 4)
    JR574D88,    // JR574 D88 (24 x 4)
    JR825V2,     // JR825 V2.0, V2.1 (24 x 4)
    JR825V3,     // JR825 V3.0 (24 x 4)
    JV285V11,    // JV285 V1.1 (32 x 5)
    JV285V2,     // JV285 V2.0, V2.1 (35 x 5)
};

// A display grid: field-table record numbers stored row by row
// (cells[row * columns + column]).
struct CdsDisplayGrid {
    int rows;
    int columns;
    std::span<const uint16_t> cells;
};

CdsDisplayGrid GetCdsDisplayGrid(CdsGridId id);
