#include "cds_definition.h"

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "default_images.h"
#include "field_tables.h"

namespace {

// The CPU firmware that a model's calibration data depend on.
struct CpuAssociation {
    uint32_t fwType;
    uint32_t zvFwType;
    uint32_t devUnitSelector;
    const char* ffsName;
};
constexpr CpuAssociation kCpu1{1, 2, 6, "File_FW_CPU1"};
constexpr CpuAssociation kCpu2{2, 3, 7, "File_FW_CPU2"};

using T = CdsTableId;
using G = CdsGridId;
using enum CdsUpgradeStep;
constexpr bool yes = true;
constexpr bool no = false;
constexpr std::optional<CdsGridId> kNoListing{};

struct RowSpec {
    const char* pattern;
    const char* cpuFrom;
    const char* cpuTo;
    uint8_t structVer;
    uint8_t defaultsVer;
    uint32_t pages;
    uint32_t pageSize;
    CdsTableId table;
    uint32_t fields;  // record count of the row's table (checked below)
    bool defaultImage;
    bool defaultsCsv;
    CdsUpgradeStep upgrade;
    std::optional<CdsGridId> grid;
    const CpuAssociation* cpu;
};

// The definitions, row by row: model pattern, CPU firmware range, data-structure
// and mode-defaults versions, n pages of `size` bytes, the field table and its
// record count, whether the row carries a default image and a defaults CSV,
// its upgrade step from the model's previous version, its display grid and its
// CPU.
// clang-format off
constexpr RowSpec kRows[kCdsDefinitionCount] = {
//   pattern              CPU from CPU to   ver   n    size table            recs img  csv  upgrade step             grid           CPU
    {"^TestCam01",        "01.30", "01.40", 1, 0, 128, 128, T::TestCam,      165, yes, no,  None,                     G::TestCam,    &kCpu1},  //  0
    {"^TestCam01",        "01.50", "01.70", 2, 0, 128, 128, T::TestCam01V20, 156, yes, no,  TestCam01PageRulesToV20,  kNoListing,    &kCpu1},  //  1
    {"^TestCam01",        "01.80", "01.90", 2, 0, 128, 128, T::TestCam01V20, 156, no,  yes, None,                     kNoListing,    &kCpu1},  //  2
    {"^TestCam01",        "02.00", "02.00", 3, 0, 128, 128, T::TestCam01V30, 169, yes, no,  TestCam01PageRulesToV30,  kNoListing,    &kCpu1},  //  3
    {"^TestCam02",        "02.00", "02.00", 2, 0, 128, 128, T::TestCam,      165, yes, no,  None,                     G::TestCam,    &kCpu1},  //  4
    {"^TestCam02",        "02.00", "02.00", 2, 1, 128, 128, T::TestCam,      165, yes, no,  Generic,                  G::TestCam,    &kCpu1},  //  5
    {"^TestCam03",        "01.80", "01.90", 2, 0, 128, 128, T::TestCam,      165, yes, no,  None,                     G::TestCam,    &kCpu1},  //  6
    {"^TestCam03",        "02.00", "02.00", 2, 1, 128, 128, T::TestCam,      165, yes, no,  TestCam03FieldRulesToV21, G::TestCam,    &kCpu1},  //  7
    {"^JV966.*K-TD-G.*",  "01.02", "03.99", 2, 1, 128, 128, T::JV966,        165, yes, no,  None,                     G::TestCam,    &kCpu1},  //  8
    {"^JV966.*K-TD-G.*",  "01.02", "03.99", 2, 2, 128, 128, T::JV966,        165, yes, no,  Generic,                  G::TestCam,    &kCpu1},  //  9
    {"^JV966.*K-TD-G.*",  "01.02", "03.99", 2, 3, 128, 128, T::JV966,        165, yes, no,  Generic,                  G::TestCam,    &kCpu1},  // 10
    {"^JV966.*K-TD-B.*",  "01.02", "03.99", 2, 1, 128, 128, T::JV966,        165, yes, no,  None,                     G::TestCam,    &kCpu1},  // 11
    {"^JV966.*K-TD-B.*",  "01.02", "03.99", 2, 2, 128, 128, T::JV966,        165, yes, no,  Generic,                  G::TestCam,    &kCpu1},  // 12
    {"^JV966.*K-TD-B.*",  "01.02", "03.99", 2, 3, 128, 128, T::JV966,        165, yes, no,  Generic,                  G::TestCam,    &kCpu1},  // 13
    {"^JR574.*D0-BSI.*",  "03.11", "03.99", 2, 0, 128, 128, T::JR574D0V2,    127, yes, no,  None,                     G::JR574D0V2,  &kCpu2},  // 14
    {"^JR574.*D0-BSI.*",  "03.11", "03.99", 2, 1, 128, 128, T::JR574D0V2,    127, yes, no,  Generic,                  G::JR574D0V2,  &kCpu2},  // 15
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 0, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V30, &kCpu2},  // 16
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 1, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V30, &kCpu2},  // 17
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 2, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V30, &kCpu2},  // 18
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 3, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V30, &kCpu2},  // 19
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 4, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V30, &kCpu2},  // 20
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 5, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V35, &kCpu2},  // 21
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 6, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V35, &kCpu2},  // 22
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 7, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V35, &kCpu2},  // 23
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 8, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V35, &kCpu2},  // 24
    {"^JR574.*D0-BSI.*",  "04.00", "04.99", 3, 9, 128, 128, T::JR574D0V3,    127, yes, no,  Generic,                  G::JR574D0V35, &kCpu2},  // 25
    {"^JR574.*D88-BSI.*", "05.00", "05.99", 2, 0, 128, 128, T::JR574D88,     85,  yes, no,  None,                     G::JR574D88,   &kCpu2},  // 26
    {"^JR574.*D88-BSI.*", "05.00", "05.99", 2, 1, 128, 128, T::JR574D88,     85,  yes, no,  Generic,                  G::JR574D88,   &kCpu2},  // 27
    {"^JR825.*",          "03.14", "03.99", 2, 0, 128, 128, T::JR825V2,      125, yes, no,  None,                     G::JR825V2,    &kCpu2},  // 28
    {"^JR825.*",          "03.14", "03.99", 2, 1, 128, 128, T::JR825V2,      125, yes, no,  Generic,                  G::JR825V2,    &kCpu2},  // 29
    {"^JR825.*",          "04.00", "04.99", 3, 0, 128, 128, T::JR825V3,      125, yes, no,  Generic,                  G::JR825V3,    &kCpu2},  // 30
    {"^JV285.*",          "02.00", "02.99", 1, 1, 64,  512, T::JV285V11,     456, yes, no,  None,                     G::JV285V11,   &kCpu1},  // 31
    {"^JV285.*",          "03.00", "03.99", 2, 0, 64,  512, T::JV285V2,      462, yes, no,  Generic,                  G::JV285V2,    &kCpu1},  // 32
    {"^JV285.*",          "03.00", "03.99", 2, 1, 64,  512, T::JV285V2,      462, yes, no,  Generic,                  G::JV285V2,    &kCpu1},  // 33
    {"^JV285.*",          "06.00", "06.99", 2, 1, 64,  512, T::JV285V2,      462, no,  no,  None,                     G::JV285V2,    &kCpu1},  // 34
};
// clang-format on

constexpr bool RowsAgreeWithTables()
{
    for (const RowSpec& row : kRows) {
        const CdsTableShape& shape = CdsTableShapeOf(row.table);
        if (row.fields != shape.records || row.pageSize != PageSizeOf(shape.layout)) {
            return false;
        }
    }
    return true;
}
static_assert(RowsAgreeWithTables(), "a row's record count or page size disagrees with its field table");

constexpr int CountUpgradeSteps()
{
    int n = 0;
    for (const RowSpec& row : kRows) {
        n += row.upgrade != CdsUpgradeStep::None ? 1 : 0;
    }
    return n;
}
static_assert(CountUpgradeSteps() == 24);

// Compiled model-name patterns: one regex per distinct pattern text, shared
// by the rows that carry it.
class PatternSet {
public:
    PatternSet()
    {
        for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
            size_t found = texts_.size();
            for (size_t i = 0; i < texts_.size(); ++i) {
                if (texts_[i] == kRows[row].pattern) {
                    found = i;
                }
            }
            if (found == texts_.size()) {
                texts_.emplace_back(kRows[row].pattern);
                patterns_.emplace_back(texts_.back(), std::regex::ECMAScript);
            }
            rowPattern_[row] = found;
        }
    }

    // A run asks about one model name over and over: each pattern's answer
    // for the last name asked is kept.
    bool Matches(size_t row, const char* model) const
    {
        struct Answers {
            std::string model;
            std::vector<int8_t> known;  // -1: not asked yet, else the answer
        };
        thread_local Answers last;
        if (last.known.size() != patterns_.size() || last.model != model) {
            last.model = model;
            last.known.assign(patterns_.size(), -1);
        }
        int8_t& answer = last.known[rowPattern_[row]];
        if (answer < 0) {
            answer = std::regex_search(model, patterns_[rowPattern_[row]]) ? 1 : 0;
        }
        return answer != 0;
    }

private:
    std::vector<std::string> texts_;
    std::vector<std::regex> patterns_;
    std::array<size_t, kCdsDefinitionCount> rowPattern_{};
};

const PatternSet& Patterns()
{
    static const PatternSet patterns;
    return patterns;
}

CdsDefinition MakeDefinition(size_t index)
{
    const RowSpec& row = kRows[index];
    const CdsFieldTable& table = GetCdsFieldTable(row.table);
    CdsDefinition def;
    def.model_pattern = row.pattern;
    def.cpu_fw_min = row.cpuFrom;
    def.cpu_fw_max = row.cpuTo;
    def.eeprom_struct_ver = row.structVer;
    def.mode_defaults_ver = row.defaultsVer;
    def.pages_count = row.pages;
    def.page_size = row.pageSize;
    def.fields = table.records.data();
    def.fields_count = static_cast<uint32_t>(table.records.size());
    def.field_record_size = kFieldRecordSize;
    def.fields_size = kFieldRecordSize * def.fields_count;
    def.table_row = static_cast<int>(index);
    def.layout = table.layout;
    def.sensor_family = table.family;
    // Every grid has the shape of its family's listing; the TestCam01 V2.0 and
    // V3.0 definitions keep the 38 x 4 shape without a listing of their own.
    if (row.grid) {
        const CdsDisplayGrid grid = GetCdsDisplayGrid(*row.grid);
        def.grid_rows = grid.rows;
        def.grid_cols = grid.columns;
        def.grid_cells = grid.cells.data();
    } else {
        def.grid_rows = 38;
        def.grid_cols = 4;
    }
    def.bit_descriptors = table.bitDescriptors;
    def.mode_defaults_image = row.defaultImage ? CdsDefaultImageForRow(index) : nullptr;
    def.mode_defaults_csv = row.defaultsCsv ? CdsDefaultsCsvText() : nullptr;
    def.upgrade_step = row.upgrade;
    def.assoc_fw_type = row.cpu->fwType;
    def.zv_fw_type = row.cpu->zvFwType;
    def.curr_dus = row.cpu->devUnitSelector;
    def.assoc_ffs_name = row.cpu->ffsName;
    return def;
}

}  // namespace

void CdsDefinition::Pack(std::span<uint8_t> page, std::span<const UnpackedField> array) const
{
    PackPage(layout, page, array);
}

int CdsDefinition::Unpack(std::span<const uint8_t> page, std::span<UnpackedField> array) const
{
    return UnpackPage(layout, page, array);
}

std::span<const uint16_t> CdsDefinition::GetGridCells() const
{
    if (grid_cells == nullptr) {
        return {};
    }
    return {grid_cells, static_cast<size_t>(grid_rows) * static_cast<size_t>(grid_cols)};
}

const std::array<CdsDefinition, kCdsDefinitionCount>& CdsDefinitionTable()
{
    static const std::array<CdsDefinition, kCdsDefinitionCount> table = [] {
        std::array<CdsDefinition, kCdsDefinitionCount> rows;
        for (size_t i = 0; i < kCdsDefinitionCount; ++i) {
            rows[i] = MakeDefinition(i);
        }
        return rows;
    }();
    return table;
}

bool CdsPatternMatches(size_t row, const char* model)
{
    return row < kCdsDefinitionCount && model != nullptr && Patterns().Matches(row, model);
}
