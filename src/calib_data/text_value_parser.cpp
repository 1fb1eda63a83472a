// The text value parser of the definitions (SetVal): a value text of a field
// shown in the display grid, read by the field's raw type and the
// definition's parser family, stored as the raw register value.
//
// It reads the texts the structured listing writes. A text that is not a
// number, a gain that names no table entry, a value outside the field's bits
// or its register form, and a field that cannot be set are all refused with
// the field unchanged: nothing is stored as 0 or cut to the field's width.

#include <cmath>
#include <cstring>
#include <string>

#include "cds_definition.h"
#include "cds_format.h"
#include "cds_row_traits.h"
#include "count_codes.h"
#include "gain_tables.h"
#include "updater_error.h"
#include "value_text.h"

namespace {

constexpr size_t kRawTypes = 16;

enum class Parse : uint8_t {
    Dec,             // decimal, unsigned
    SignedDec,       // decimal, signed in the field's width
    Hex,             // hexadecimal with or without "0x"
    Thousandths,     // round(x * 1000): volts to millivolts
    Hundredths,      // round(x * 100)
    ThreePart,       // a count in the three-part register code
    TwoPart32,       // a count in the two-part code with offset 32
    TwoPart64,       // ... with offset 64
    GainCode,        // the code of the table gain within 0.001 of x
    GainIndex,       // the table position of that gain
    AbsThousandths,  // |round(x * 1000)|: the magnitude of a negative voltage
    DbTruncated,     // trunc(32768 * 10^(x / 20))
    DbRounded,       // round(32768 * 10^(x / 20))
    Fraction,        // round(x * 32768)
    NotSettable,     // the version does not read this field's texts
    Error,           // the family's unknown-type failure
};

using enum Parse;

struct ParserRules {
    Parse parse[kRawTypes];
};

// clang-format off
// Raw types:                 0    1    2            3           4          5            6               7            8          9-15
constexpr ParserRules kTestCam{{Dec, Hex, Thousandths, ThreePart,  GainCode,  Dec,         Hundredths,     DbTruncated, Error,     Error, Error, Error, Error, Error, Error, Error}};
constexpr ParserRules kJV966{{  Dec, Hex, Thousandths, ThreePart,  GainCode,  Dec,         Hundredths,     DbRounded,   Error,     Error, Error, Error, Error, Error, Error, Error}};
constexpr ParserRules kJR574{{  Dec, Hex, Thousandths, TwoPart32,  GainCode,  Dec,         Hundredths,     Fraction,    SignedDec, Error, Error, Error, Error, Error, Error, Error}};
constexpr ParserRules kJR574D88{{Dec, Hex, Thousandths, TwoPart64, GainCode,  Dec,         Hundredths,     Fraction,    SignedDec, Error, Error, Error, Error, Error, Error, Error}};
constexpr ParserRules kJR825{{  Dec, Hex, Thousandths, TwoPart64,  GainIndex, Dec,         Hundredths,     Fraction,    SignedDec, Error, Error, Error, Error, Error, Error, Error}};
constexpr ParserRules kJV285V11{{Dec, Hex, Thousandths, TwoPart64, GainCode,  NotSettable, AbsThousandths, NotSettable, Hex,       Hex,   Hex,   Hex,   Hex,   Hex,   Hex,   Hex}};
constexpr ParserRules kJV285V2{{Dec,  Hex, Thousandths, Hundredths, GainCode, Dec,         AbsThousandths, Dec,         Hex,       Hex,   Hex,   Hex,   Hex,   Hex,   Hex,   Hex}};
// clang-format on

constexpr CdsFamilyRules<ParserRules> kParserRulesByFamily[] = {
    {CdsTextFamily::TestCam, &kTestCam},   {CdsTextFamily::JV966, &kJV966}, {CdsTextFamily::JR574, &kJR574},
    {CdsTextFamily::JR574D88, &kJR574D88}, {CdsTextFamily::JR825, &kJR825}, {CdsTextFamily::JV285V11, &kJV285V11},
    {CdsTextFamily::JV285V2, &kJV285V2},
};

const ParserRules* RulesOf(CdsTextFamily family)
{
    return FindFamilyRules(kParserRulesByFamily, family);
}

// Products beyond this cannot be a field value; refusing them first keeps
// the rounding defined.
constexpr double kScaledLimit = 1099511627776.0;  // 2^40

class ValueText {
public:
    ValueText(std::string prefix, const char* text) : prefix_(std::move(prefix)), text_(text) {}

    [[noreturn]] void Fail(const char* problem) const
    {
        throw UpdaterError(prefix_ + "SetVal - error, " + problem + " ('" + text_ + "')");
    }

    int64_t Decimal() const
    {
        const auto value = ParseDecimalText(text_);
        if (!value) {
            Fail("value is not a number");
        }
        return *value;
    }

    int64_t Hexadecimal() const
    {
        const auto value = ParseHexText(text_);
        if (!value) {
            Fail("value is not a hexadecimal number");
        }
        return *value;
    }

    double Real() const
    {
        const auto value = ParseRealText(text_);
        if (!value) {
            Fail("value is not a number");
        }
        return *value;
    }

    // round(x * k), halves away from zero.
    int64_t Scaled(double x, double k) const { return Rounded(x * k); }

    int64_t Rounded(double x) const
    {
        if (!(std::fabs(x) < kScaledLimit)) {
            Fail("value does not fit the field");
        }
        return std::llround(x);
    }

    int64_t Truncated(double x) const
    {
        if (!(std::fabs(x) < kScaledLimit)) {
            Fail("value does not fit the field");
        }
        return static_cast<int64_t>(x);
    }

private:
    std::string prefix_;
    std::string text_;
};

int64_t GainMatch(const ValueText& text, const CdsGainTable& gains, bool byIndex)
{
    const double x = text.Real();
    for (const GainTableEntry& entry : gains.Filled()) {
        if (IsNearlyEqual(entry.gain, x, 3)) {
            return byIndex ? entry.index : entry.registerCode;
        }
    }
    text.Fail("unknown gain value");
}

}  // namespace

bool CdsDefinition::HasTextParser() const
{
    return RulesOf(CdsRowTraitsOf(table_row).parser) != nullptr;
}

int CdsDefinition::FindSettableField(std::span<const UnpackedField> pageFields, const char* name) const
{
    if (name == nullptr) {
        return -1;
    }
    const auto cells = GetGridCells();
    const auto rows = static_cast<size_t>(GetGridRows());
    const auto cols = static_cast<size_t>(GetGridCols());
    if (cells.size() != rows * cols) {
        return -1;
    }
    // The last grid row that shows the name wins; within a row the leftmost cell.
    int found = -1;
    for (size_t r = 0; r < rows; ++r) {
        for (size_t c = 0; c < cols; ++c) {
            const uint16_t record = cells[r * cols + c];
            if (record < pageFields.size() && std::strcmp(FieldNameOf(pageFields[record]), name) == 0) {
                found = record;
                break;
            }
        }
    }
    return found;
}

void CdsDefinition::SetVal(std::span<UnpackedField> pageFields, const char* name, const char* value) const
{
    const CdsRowTraits& traits = CdsRowTraitsOf(table_row);
    const std::string prefix = traits.prefix;
    const ParserRules* rules = RulesOf(traits.parser);
    if (rules == nullptr) {
        throw UpdaterError(prefix + "SetVal - error, not implemented");
    }
    if (pageFields.data() == nullptr) {
        throw UpdaterError(prefix + "SetVal - error, data pointer is not valid");
    }
    if (name == nullptr) {
        throw UpdaterError(prefix + "SetVal - error, name pointer is not valid");
    }
    if (value == nullptr) {
        throw UpdaterError(prefix + "SetVal - error, value pointer is not valid");
    }
    const int index = FindSettableField(pageFields, name);
    if (index < 0) {
        std::string text = prefix + "SetVal - error, could not find respective value in unpacked features list";
        if (traits.notFoundNamesField) {
            text += std::string(": feature name: ") + name;
        }
        throw UpdaterError(text);
    }

    UnpackedField& field = pageFields[static_cast<size_t>(index)];
    const ValueText text(prefix, value);
    const uint32_t mask = FieldValueMask(field.flags);
    const uint32_t width = FieldWidth(field.flags);
    const uint32_t t = FieldRawType(field.flags);
    if (mask == 0) {
        text.Fail("field cannot be set");
    }
    const Parse rule = rules->parse[t];
    if (rule == Error) {
        throw UpdaterError(traits.parserTypeError != nullptr ? traits.parserTypeError
                                                             : prefix + "SetVal - ERROR, unknown data type");
    }

    const CdsGainTable& gains = GetCdsGainTable(traits.gain);
    bool isSigned = false;
    int64_t raw = 0;
    switch (rule) {
    case Dec:
        raw = text.Decimal();
        break;
    case SignedDec:
        raw = text.Decimal();
        isSigned = true;
        break;
    case Hex:
        raw = text.Hexadecimal();
        break;
    case Thousandths:
        raw = text.Scaled(text.Real(), 1000.0);
        break;
    case Hundredths:
        raw = text.Scaled(text.Real(), 100.0);
        break;
    case ThreePart: {
        const int64_t count = text.Decimal();
        // Odd counts and counts beyond 17 bits have no code of their own.
        if (count < -65536 || count > 65534 ||
            ThreePartCountDecode(ThreePartCountEncode(static_cast<int32_t>(count))) != count) {
            text.Fail("value cannot be stored in the field's count code");
        }
        raw = ThreePartCountEncode(static_cast<int32_t>(count));
        break;
    }
    case TwoPart32:
    case TwoPart64: {
        const int32_t offset = rule == TwoPart32 ? 32 : 64;
        const int64_t count = text.Decimal();
        if (count < offset || count > offset + 16383) {
            text.Fail("value cannot be stored in the field's count code");
        }
        raw = TwoPartCountEncode(static_cast<int32_t>(count), offset);
        break;
    }
    case GainCode:
        raw = GainMatch(text, gains, false);
        break;
    case GainIndex:
        raw = GainMatch(text, gains, true);
        break;
    case AbsThousandths:
        raw = std::llabs(text.Scaled(text.Real(), 1000.0));
        break;
    case DbTruncated:
        raw = text.Truncated(32768.0 * std::pow(10.0, text.Real() / 20.0));
        break;
    case DbRounded:
        raw = text.Rounded(std::pow(10.0, text.Real() / 20.0) * 32768.0);
        break;
    case Fraction:
        raw = text.Scaled(text.Real(), 32768.0);
        break;
    case NotSettable:
    case Error:
        text.Fail("field cannot be set");
    }

    if (isSigned) {
        const int64_t low = width >= 32 ? INT32_MIN : -(int64_t{1} << (width - 1));
        const int64_t high = width >= 32 ? INT32_MAX : (int64_t{1} << (width - 1)) - 1;
        if (raw < low || raw > high) {
            text.Fail("value does not fit the field");
        }
    } else {
        if (raw < 0) {
            text.Fail("negative value for an unsigned field");
        }
        if (static_cast<uint64_t>(raw) > mask) {
            text.Fail("value does not fit the field");
        }
    }
    field.value = static_cast<int32_t>(static_cast<uint32_t>(raw) & mask);
}
