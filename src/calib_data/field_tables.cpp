#include "field_tables.h"

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "cds_format.h"
#include "field_lists_jr574.h"
#include "field_lists_jr825.h"
#include "field_lists_jv285.h"
#include "field_lists_testcam.h"

namespace {

using namespace cds_tables;

// Record counts and bit-field widths of every table, as the register maps
// give them: bit fields + separator + words + terminator (JV285 V2.x: + five
// extra fields + terminator).
template <size_t N>
constexpr bool HasShape(const std::array<UnpackedField, N>& table, uint32_t records, uint32_t bitFields, uint32_t bits,
                        uint32_t words)
{
    return CountRecords(table) == records && SectionRecordCount(table, 0) == bitFields &&
           BitFieldWidthSum(table) == bits && SectionRecordCount(table, 1) == words;
}

static_assert(HasShape(kTestCamTable, 165, 123, 384, 40));
static_assert(HasShape(kJV966Table, 165, 123, 384, 40));
static_assert(HasShape(kTestCam01V20Table, 156, 114, 358, 40));
static_assert(HasShape(kTestCam01V30Table, 169, 127, 404, 40));
static_assert(HasShape(kJR574D0V2Table, 127, 85, 256, 40));
static_assert(HasShape(kJR574D0V3Table, 127, 85, 256, 40));
static_assert(HasShape(kJR574D88Table, 85, 43, 256, 40));
static_assert(HasShape(kJR825V2Table, 125, 83, 384, 40));
static_assert(HasShape(kJR825V3Table, 125, 83, 384, 40));
static_assert(HasShape(kJV285V11Table, 456, 390, 2960, 64));
static_assert(HasShape(kJV285V2Table, 462, 390, 2960, 64) && SectionRecordCount(kJV285V2Table, 2) == 5);
static_assert(CdsTableShapeOf(CdsTableId::TestCam).records == kTestCamTable.size() &&
              CdsTableShapeOf(CdsTableId::JV966).records == kJV966Table.size() &&
              CdsTableShapeOf(CdsTableId::TestCam01V20).records == kTestCam01V20Table.size() &&
              CdsTableShapeOf(CdsTableId::TestCam01V30).records == kTestCam01V30Table.size() &&
              CdsTableShapeOf(CdsTableId::JR574D0V2).records == kJR574D0V2Table.size() &&
              CdsTableShapeOf(CdsTableId::JR574D0V3).records == kJR574D0V3Table.size() &&
              CdsTableShapeOf(CdsTableId::JR574D88).records == kJR574D88Table.size() &&
              CdsTableShapeOf(CdsTableId::JR825V2).records == kJR825V2Table.size() &&
              CdsTableShapeOf(CdsTableId::JR825V3).records == kJR825V3Table.size() &&
              CdsTableShapeOf(CdsTableId::JV285V11).records == kJV285V11Table.size() &&
              CdsTableShapeOf(CdsTableId::JV285V2).records == kJV285V2Table.size());
// The JV966 grid differs from the TestCam grid only in a cell's spelling; both
// name record 139, so one grid serves both tables.
static_assert(kTestCamGrid == kJV966Grid);

bool IsFiller(const char* name)
{
    const std::string text(name);
    return text.find("No use") != std::string::npos || text.find("No Use") != std::string::npos;
}

// A field table with the comments that describe where each record lives in
// the page. Comments are kept in a deque so their addresses stay put.
struct BuiltTable {
    std::vector<UnpackedField> records;
    std::deque<std::string> comments;
    CdsFieldTable view{};
};

template <size_t N>
void BuildTable(BuiltTable& out, CdsTableId id, const std::array<UnpackedField, N>& source,
                const UnpackedField* bitDescriptors)
{
    const CdsPageLayout layout = CdsTableShapeOf(id).layout;
    const bool wide = layout == CdsPageLayout::Checksum512;
    auto width = [wide](uint32_t flags) { return wide ? FieldWidth512(flags) : FieldWidth(flags); };

    uint32_t totalBits = 0;
    size_t section = 0;
    for (const UnpackedField& record : source) {
        if (record.flags == 0) {
            break;
        }
        totalBits += width(record.flags);
    }

    out.records.assign(source.begin(), source.end());
    uint32_t streamPos = 0;
    uint32_t word = 0;
    for (UnpackedField& record : out.records) {
        if (record.flags == 0) {
            ++section;
            record.comment = "";
            continue;
        }
        std::string comment;
        if (section == 0) {
            // Bit numbers of the field in the section's stream read as one
            // number whose first field holds the topmost bits.
            const uint32_t w = width(record.flags);
            const uint32_t hi = totalBits - 1 - streamPos;
            const uint32_t lo = totalBits - streamPos - w;
            comment = w == 1 ? CdsFormat("%u", hi) : CdsFormat("%u:%u", hi, lo);
            if (IsFiller(record.name)) {
                comment += " unused";
            }
            streamPos += w;
        } else if (section == 1) {
            comment = CdsFormat("word %u, bytes %u-%u", word, 2 * word, 2 * word + 1);
            if (FieldRawType(record.flags) == 2) {
                comment += ", millivolts";
            }
            ++word;
        } else {
            comment = "kept with the unpacked page, not stored in it";
        }
        out.comments.push_back(std::move(comment));
        record.comment = out.comments.back().c_str();
    }
    out.view = CdsFieldTable{out.records, layout, CdsTableShapeOf(id).family, bitDescriptors};
}

// Built in place once, so the spans and comment pointers never move.
class TableSet {
public:
    TableSet()
    {
        Build(CdsTableId::TestCam, kTestCamTable, nullptr);
        Build(CdsTableId::JV966, kJV966Table, nullptr);
        Build(CdsTableId::TestCam01V20, kTestCam01V20Table, nullptr);
        Build(CdsTableId::TestCam01V30, kTestCam01V30Table, nullptr);
        Build(CdsTableId::JR574D0V2, kJR574D0V2Table, nullptr);
        Build(CdsTableId::JR574D0V3, kJR574D0V3Table, nullptr);
        Build(CdsTableId::JR574D88, kJR574D88Table, nullptr);
        Build(CdsTableId::JR825V2, kJR825V2Table, nullptr);
        Build(CdsTableId::JR825V3, kJR825V3Table, nullptr);
        Build(CdsTableId::JV285V11, kJV285V11Table, kJV285V11BitDescriptors.data());
        Build(CdsTableId::JV285V2, kJV285V2Table, kJV285V2BitDescriptors.data());
    }
    TableSet(const TableSet&) = delete;
    TableSet& operator=(const TableSet&) = delete;

    const CdsFieldTable& View(CdsTableId id) const { return tables_[static_cast<size_t>(id)].view; }

private:
    template <size_t N>
    void Build(CdsTableId id, const std::array<UnpackedField, N>& source, const UnpackedField* bitDescriptors)
    {
        BuildTable(tables_[static_cast<size_t>(id)], id, source, bitDescriptors);
    }

    std::array<BuiltTable, kCdsTableCount> tables_;
};

template <size_t N>
constexpr CdsDisplayGrid Grid(int rows, int columns, const std::array<uint16_t, N>& cells)
{
    return CdsDisplayGrid{rows, columns, std::span<const uint16_t>(cells)};
}

}  // namespace

const CdsFieldTable& GetCdsFieldTable(CdsTableId id)
{
    static const TableSet tables;
    return tables.View(id);
}

CdsDisplayGrid GetCdsDisplayGrid(CdsGridId id)
{
    switch (id) {
    case CdsGridId::TestCam:
        return Grid(38, 4, kTestCamGrid);
    case CdsGridId::JR574D0V2:
        return Grid(24, 4, kJR574D0V2Grid);
    case CdsGridId::JR574D0V30:
        return Grid(24, 4, kJR574D0V30Grid);
    case CdsGridId::JR574D0V35:
        return Grid(24, 4, kJR574D0V35Grid);
    case CdsGridId::JR574D88:
        return Grid(24, 4, kJR574D88Grid);
    case CdsGridId::JR825V2:
        return Grid(24, 4, kJR825V2Grid);
    case CdsGridId::JR825V3:
        return Grid(24, 4, kJR825V3Grid);
    case CdsGridId::JV285V11:
        return Grid(32, 5, kJV285V11Grid);
    case CdsGridId::JV285V2:
        return Grid(35, 5, kJV285V2Grid);
    }
    return CdsDisplayGrid{0, 0, {}};
}
