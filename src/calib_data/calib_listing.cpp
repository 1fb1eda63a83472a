// The calibration listing of one unpacked page: the definition's display
// grid walked column by column, each cell a name, a value text and a unit
// text formatted by the field's raw type and the definition's listing family.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "calib_text_row.h"
#include "cds_definition.h"
#include "cds_format.h"
#include "cds_row_traits.h"
#include "count_codes.h"
#include "gain_tables.h"
#include "updater_error.h"

namespace {

constexpr size_t kRawTypes = 16;

enum class Cell : uint8_t {
    Dec2,             // "%2d"
    Dec3,             // "%3d"
    Hex,              // "0x%X"
    Hex2,             // "0x%2X"
    Hex04,            // "0x%04X"
    Volts,            // "%5.3f" of v / 1000, "V"
    HundredthsVolts,  // "%5.2f" of v / 100, "V"
    NegativeVolts,    // "-%5.3f" of v / 1000, "V" (magnitudes of negative voltages)
    HundredthsDb,     // "%5.2f" of v / 100, "dB"
    HundredthsDbLow,  // the same with the unit "db"
    ThreePart,        // "%2d" of the three-part count code
    TwoPart,          // "%2d" of the two-part count code
    GainSearchA,      // gain of the code among the first 52 entries, else 0.0; "x"
    GainSearchB,      // gain of the code among the real entries, else nothing; "dB"
    GainByIndex,      // gain of the entry at position v; "x"
    GainByIndexX,     // the same written "%3.1fx"
    DbPlainLow,       // "%5.3f db" of 20 log10(v / 32768), "db"
    Db3,              // "%5.3f" of 20 log10(v / 32768), "dB"
    DbLong,           // "%lf" of 20 log10(v / 32768), "dB"
    Fraction,         // v / 32768: "%.15f" structured, "%.3f" as text
    Signed16,         // "%3d" of v as a signed 16-bit number
    Empty,            // nothing
    Error,            // the family's unknown-type failure
};

using enum Cell;

struct ListingRules {
    int nameWidth;
    Cell cells[kRawTypes];
};

// clang-format off
// Raw types:                   0     1     2      3                4             5     6                7           8         9-15
constexpr ListingRules kTestCam01V10{22, {Dec2, Hex2, Volts, ThreePart,       GainSearchA,  Dec3, HundredthsDbLow, DbPlainLow, Empty,    Empty, Empty, Empty, Empty, Empty, Empty, Empty}};
constexpr ListingRules kTestCam{22,      {Dec2, Hex,  Volts, ThreePart,       GainSearchA,  Dec3, HundredthsDb,    Db3,        Error,    Error, Error, Error, Error, Error, Error, Error}};
constexpr ListingRules kJV966{22,        {Dec2, Hex,  Volts, ThreePart,       GainSearchA,  Dec3, HundredthsDb,    DbLong,     Error,    Error, Error, Error, Error, Error, Error, Error}};
constexpr ListingRules kJR574{17,        {Dec2, Hex,  Volts, TwoPart,         GainSearchB,  Dec3, HundredthsDb,    Fraction,   Signed16, Error, Error, Error, Error, Error, Error, Error}};
constexpr ListingRules kJR574D88{17,     {Dec2, Hex,  Volts, Dec2,            GainSearchB,  Dec3, HundredthsDb,    Fraction,   Signed16, Error, Error, Error, Error, Error, Error, Error}};
constexpr ListingRules kJR825{17,        {Dec2, Hex,  Volts, TwoPart,         GainByIndex,  Dec3, HundredthsDb,    Fraction,   Signed16, Error, Error, Error, Error, Error, Error, Error}};
constexpr ListingRules kJV285V11{17,     {Dec2, Hex2, Volts, TwoPart,         GainByIndexX, Dec3, NegativeVolts,   Dec3,       Hex04,    Hex04, Hex04, Hex04, Hex04, Hex04, Hex04, Hex04}};
constexpr ListingRules kJV285V2{17,      {Dec2, Hex2, Volts, HundredthsVolts, GainByIndexX, Dec3, NegativeVolts,   Dec3,       Hex04,    Hex04, Hex04, Hex04, Hex04, Hex04, Hex04, Hex04}};
// clang-format on

constexpr CdsFamilyRules<ListingRules> kListingRulesByFamily[] = {
    {CdsTextFamily::TestCam01V10, &kTestCam01V10},
    {CdsTextFamily::TestCam, &kTestCam},
    {CdsTextFamily::JV966, &kJV966},
    {CdsTextFamily::JR574, &kJR574},
    {CdsTextFamily::JR574D88, &kJR574D88},
    {CdsTextFamily::JR825, &kJR825},
    {CdsTextFamily::JV285V11, &kJV285V11},
    {CdsTextFamily::JV285V2, &kJV285V2},
};

const ListingRules* RulesOf(CdsTextFamily family)
{
    return FindFamilyRules(kListingRulesByFamily, family);
}

// A gain for a listing. People read "%3.1f"; a structured listing, which is
// read back by the text parser, gets as many decimals as it takes to name
// the same table entry (the JR574 D88 gains 0.66 or 1.29 need two).
std::string GainText(double gain, bool structured)
{
    if (!structured) {
        return CdsFormat("%3.1f", gain);
    }
    std::string text;
    for (int precision = 1; precision <= 6; ++precision) {
        text = CdsFormat("%3.*f", precision, gain);
        if (std::fabs(std::strtod(text.c_str(), nullptr) - gain) < 0.0005) {
            break;
        }
    }
    return text;
}

struct CellText {
    std::string value;
    std::string unit;
};

double Decibels(int32_t v)
{
    return 20.0 * std::log10(v / 32768.0);
}

CellText FormatCell(Cell rule, const UnpackedField& field, const CdsGainTable& gains, bool structured)
{
    const int32_t v = field.value;
    const auto u = static_cast<uint32_t>(v);
    switch (rule) {
    case Dec2:
        return {CdsFormat("%2u", u), {}};
    case Dec3:
        return {CdsFormat("%3u", u), {}};
    case Hex:
        return {CdsFormat("0x%X", u), {}};
    case Hex2:
        return {CdsFormat("0x%2X", u), {}};
    case Hex04:
        return {CdsFormat("0x%04X", u), {}};
    case Volts:
        return {CdsFormat("%5.3f", v / 1000.0), "V"};
    case HundredthsVolts:
        return {CdsFormat("%5.2f", v / 100.0), "V"};
    case NegativeVolts:
        return {CdsFormat("-%5.3f", v / 1000.0), "V"};
    case HundredthsDb:
        return {CdsFormat("%5.2f", v / 100.0), "dB"};
    case HundredthsDbLow:
        return {CdsFormat("%5.2f", v / 100.0), "db"};
    case ThreePart:
        return {CdsFormat("%2d", ThreePartCountDecode(v)), {}};
    case TwoPart:
        return {CdsFormat("%2d", TwoPartCountDecode(v)), {}};
    case GainSearchA: {
        // Without a match the zero entry after the 52 codes is shown.
        const GainTableEntry* found = &gains.entries[52];
        for (size_t i = 0; i < 52; ++i) {
            if (gains.entries[i].registerCode == v) {
                found = &gains.entries[i];
                break;
            }
        }
        return {GainText(found->gain, structured), "x"};
    }
    case GainSearchB:
        for (const GainTableEntry& entry : gains.Filled()) {
            if (entry.registerCode == v) {
                return {GainText(entry.gain, structured), "dB"};
            }
        }
        return {};
    case GainByIndex:
        if (u >= kGainTableSize) {
            return {};
        }
        return {GainText(gains.entries[u].gain, structured), "x"};
    case GainByIndexX:
        if (u >= kGainTableSize) {
            return {};
        }
        return {CdsFormat("%3.1fx", gains.entries[u].gain), "x"};
    case DbPlainLow:
        return {CdsFormat("%5.3f db", Decibels(v)), "db"};
    case Db3:
        return {CdsFormat("%5.3f", Decibels(v)), "dB"};
    case DbLong:
        return {CdsFormat("%lf", Decibels(v)), "dB"};
    case Fraction:
        return {CdsFormat(structured ? "%.15f" : "%.3f", v / 32768.0), {}};
    case Signed16:
        return {CdsFormat("%3d", static_cast<int16_t>(v & 0xFFFF)), {}};
    case Empty:
    case Error:
        break;
    }
    return {};
}

// Text line of one cell: the name cut or padded to W minus the value's
// length, so every value ends in column W + 1, then a blank and the unit.
std::string TextLine(int nameWidth, const char* name, const CellText& cell)
{
    const size_t width = static_cast<size_t>(std::max(0, nameWidth - static_cast<int>(cell.value.size())));
    std::string line(name);
    line.resize(width, ' ');
    line += ':';
    line += cell.value;
    line += ' ';
    line += cell.unit;
    return line;
}

// The cells of one page in listing order, handed to `emit` as
// (record, value and unit texts).
template <typename Emit>
void WalkGrid(const CdsDefinition& def, std::span<const UnpackedField> fields, bool structured, bool outMissing,
              Emit emit)
{
    const CdsRowTraits& traits = CdsRowTraitsOf(def.table_row);
    const std::string prefix = traits.prefix;
    const ListingRules* rules = RulesOf(traits.listing);
    if (rules == nullptr) {
        throw UpdaterError(prefix + "GetCalibData - not implemented");
    }
    if (outMissing) {
        throw UpdaterError(prefix + "GetCalibData - error, data pointer is not valid");
    }
    const auto cells = def.GetGridCells();
    const auto rows = static_cast<size_t>(def.GetGridRows());
    const auto cols = static_cast<size_t>(def.GetGridCols());
    if (cells.size() != rows * cols) {
        throw UpdaterError(prefix + "GetCalibData - error, display grid is not defined");
    }
    const CdsGainTable& gains = GetCdsGainTable(traits.gain);
    for (size_t c = 0; c < cols; ++c) {
        for (size_t r = 0; r < rows; ++r) {
            const uint16_t record = cells[r * cols + c];
            if (record >= fields.size()) {
                throw UpdaterError(prefix + "GetCalibData - error, unpacked data do not match the definition");
            }
            const UnpackedField& field = fields[record];
            const Cell rule = rules->cells[FieldRawType(field.flags)];
            if (rule == Error) {
                throw UpdaterError(std::string(traits.listingTypePrefix) + "GetCalibData - ERROR, unknown data type");
            }
            emit(field, FormatCell(rule, field, gains, structured), rules->nameWidth);
        }
    }
}

}  // namespace

void CdsDefinition::GetCalibData(std::span<const UnpackedField> pageFields, std::vector<CalibTextRow>* out) const
{
    WalkGrid(*this, pageFields, true, out == nullptr, [out](const UnpackedField& field, CellText cell, int) {
        out->push_back(CalibTextRow{FieldNameOf(field), std::move(cell.value), std::move(cell.unit)});
    });
}

void CdsDefinition::GetCalibData(std::span<const UnpackedField> pageFields, std::vector<std::string>* out) const
{
    WalkGrid(*this, pageFields, false, out == nullptr,
             [out](const UnpackedField& field, const CellText& cell, int width) {
                 out->push_back(TextLine(width, FieldNameOf(field), cell));
             });
}

std::optional<std::string> CdsDefinition::ListingValueText(const UnpackedField& field) const
{
    const CdsRowTraits& traits = CdsRowTraitsOf(table_row);
    const ListingRules* rules = RulesOf(traits.listing);
    if (rules == nullptr) {
        return std::nullopt;
    }
    const Cell rule = rules->cells[FieldRawType(field.flags)];
    if (rule == Error) {
        return std::nullopt;
    }
    return FormatCell(rule, field, GetCdsGainTable(traits.gain), true).value;
}
