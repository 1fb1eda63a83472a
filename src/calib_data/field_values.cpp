// Field types, engineering values and gain enumerations of the definitions:
// one set of rules per model family, indexed by the field's raw type.

#include "field_values.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "cds_definition.h"
#include "cds_error.h"
#include "cds_format.h"
#include "cds_row_traits.h"
#include "count_codes.h"
#include "gain_tables.h"

namespace {

constexpr size_t kRawTypes = 16;

// Raw value -> engineering integer.
enum class Get : uint8_t {
    Raw,            // the raw value
    ThreePart,      // three-part count code
    TwoPart,        // two-part count code
    GainByCode52,   // gain x 1000 of the entry with that code, first 52 entries
    GainByCode64,   // the same over all 64 entries
    GainByIndex64,  // the same, matching the entry's position field
    MilliDb,        // 20 log10(raw / 32768) in thousandths
    Error,
};

// Engineering integer -> raw value.
enum class Set : uint8_t {
    Raw,
    ThreePart,
    TwoPart32,
    TwoPart64,
    NearestGainCode,   // register code of the nearest gain
    NearestGainIndex,  // table position of the nearest gain
    FromMilliDb,       // 32768 x 10^(dB / 20)
    Error,
};

using T = CdsFieldType;
constexpr T kTypeError = static_cast<T>(0xFFFFFFFFu);

struct FamilyRules {
    // Function names the family's errors carry.
    const char* getValue;
    const char* setValue;
    const char* getType;
    const char* getEnum;
    const char* getEnumRaw;
    // GetFieldType answers None for a field without value bits; the JV285
    // functions do not look at the width.
    bool maskTest;
    CdsGainTableKind gains;
    bool enumRawIsIndex;  // the JR825 fields hold the table position
    T types[kRawTypes];
    Get get[kRawTypes];
    Set set[kRawTypes];
};

constexpr T E = kTypeError;
constexpr Get GE = Get::Error;
constexpr Set SE = Set::Error;
using enum Get;

// Per family: error names, then by raw type 0-15 the field type, the read
// rule and the write rule.
constexpr FamilyRules kJV966{
    "JV966JK_TD_B_GetFieldValue",
    "JV966JK_TD_B_SetFieldValue",
    "JV966JK_TD_B_GetFieldType",
    "JV966JK_TD_B_GetEnumValue",
    "JV966JK_TD_B_GetEnumValue",
    true,
    CdsGainTableKind::Codes52,
    false,
    {T::Decimal, T::Hexadecimal, T::Thousandths, T::Decimal, T::EnumGain, T::Decimal, T::Hundredths, T::Thousandths, E,
     E, E, E, E, E, E, E},
    {Raw, Raw, Raw, ThreePart, GainByCode52, Raw, Raw, MilliDb, GE, GE, GE, GE, GE, GE, GE, GE},
    {Set::Raw, Set::Raw, Set::Raw, Set::ThreePart, Set::NearestGainCode, Set::Raw, Set::Raw, Set::FromMilliDb, SE, SE,
     SE, SE, SE, SE, SE, SE},
};

constexpr FamilyRules kJR574{
    "JR574_GetFieldValue",
    "JR574_SetFieldValue",
    "JR574_GetFieldType",
    "JR574_GetEnumValue",
    "JR574_GetEnumValueRaw",
    true,
    CdsGainTableKind::JR574,
    false,
    {T::Decimal, T::Hexadecimal, T::Thousandths, T::Decimal, T::EnumGain, T::Decimal, T::Hundredths, T::Fraction32768,
     T::Decimal, E, E, E, E, E, E, E},
    {Raw, Raw, Raw, TwoPart, GainByCode64, Raw, Raw, Raw, Raw, GE, GE, GE, GE, GE, GE, GE},
    {Set::Raw, Set::Raw, Set::Raw, Set::TwoPart32, Set::NearestGainCode, Set::Raw, Set::Raw, Set::Raw, Set::Raw, SE, SE,
     SE, SE, SE, SE, SE},
};

constexpr FamilyRules kJR574D88{
    "JR574_GetFieldValue",
    "JR574_SetFieldValue",
    "JR574_GetFieldType",
    "JR574_GetEnumValue",
    "JR574_D88_BSI_GetEnumValueRaw",
    true,
    CdsGainTableKind::JR574D88,
    false,
    {T::Decimal, T::Hexadecimal, T::Thousandths, T::Decimal, T::EnumGain, T::Decimal, T::Hundredths, T::Fraction32768,
     T::Decimal, E, E, E, E, E, E, E},
    {Raw, Raw, Raw, Raw, GainByCode64, Raw, Raw, Raw, Raw, GE, GE, GE, GE, GE, GE, GE},
    {Set::Raw, Set::Raw, Set::Raw, Set::TwoPart64, Set::NearestGainCode, Set::Raw, Set::Raw, Set::Raw, Set::Raw, SE, SE,
     SE, SE, SE, SE, SE},
};

constexpr FamilyRules kJR825{
    "JR825_GetFieldValue",
    "JR825_SetFieldValue",
    "JR825_GetFieldType",
    "JR825_GetEnumValue",
    "JR825_GetEnumValueRaw",
    true,
    CdsGainTableKind::JR825,
    true,
    {T::Decimal, T::Hexadecimal, T::Thousandths, T::Decimal, T::EnumGain, T::Decimal, T::Hundredths, T::Fraction32768,
     T::Decimal, E, E, E, E, E, E, E},
    {Raw, Raw, Raw, TwoPart, GainByIndex64, Raw, Raw, Raw, Raw, GE, GE, GE, GE, GE, GE, GE},
    {Set::Raw, Set::Raw, Set::Raw, Set::TwoPart64, Set::NearestGainIndex, Set::Raw, Set::Raw, Set::Raw, Set::Raw, SE,
     SE, SE, SE, SE, SE, SE},
};

// JV285: every raw value is taken as it is, both ways (the engineering value
// of a voltage or hundredths field is the stored thousandths or hundredths).
#define ZV_JV285_GET                                                                                                   \
    {                                                                                                                  \
        Raw, Raw, Raw, Raw, Raw, Raw, Raw, Raw, Raw, Raw, Raw, Raw, Raw, Raw, Raw, Raw                                 \
    }
#define ZV_JV285_SET                                                                                                   \
    {                                                                                                                  \
        Set::Raw, Set::Raw, Set::Raw, Set::Raw, Set::Raw, Set::Raw, Set::Raw, Set::Raw, Set::Raw, Set::Raw, Set::Raw,  \
            Set::Raw, Set::Raw, Set::Raw, Set::Raw, Set::Raw                                                           \
    }
#define ZV_JV285_TYPES(type3)                                                                                          \
    {                                                                                                                  \
        T::Decimal, T::Hexadecimal, T::Thousandths, type3, T::Decimal, T::Decimal, T::Thousandths, T::Hexadecimal,     \
            T::Hexadecimal, T::Hexadecimal, T::Hexadecimal, T::Hexadecimal, T::Hexadecimal, T::Hexadecimal,            \
            T::Hexadecimal, T::Hexadecimal                                                                             \
    }

constexpr FamilyRules kJV285V11{
    "JV285VT_TD_GetFieldValue",
    "JV285VT_TD_SetFieldValue",
    "JV285VT_TD_GetFieldType",
    "JV285VT_TD_V1_1_GetEnumValue",
    "JV285VT_TD_V1_1_GetEnumValueRaw",
    false,
    CdsGainTableKind::Empty,
    false,
    ZV_JV285_TYPES(T::Decimal),
    ZV_JV285_GET,
    ZV_JV285_SET,
};
constexpr FamilyRules kJV285V20{
    "JV285VT_TD_GetFieldValue",
    "JV285VT_TD_SetFieldValue",
    "JV285VT_TD_GetFieldType",
    "JV285VT_TD_V2_0_GetEnumValue",
    "JV285VT_TD_V2_0_GetEnumValueRaw",
    false,
    CdsGainTableKind::Empty,
    false,
    ZV_JV285_TYPES(T::Hundredths),
    ZV_JV285_GET,
    ZV_JV285_SET,
};
constexpr FamilyRules kJV285V21{
    "JV285VT_TD_GetFieldValue",
    "JV285VT_TD_SetFieldValue",
    "JV285VT_TD_GetFieldType",
    "JV285VT_TD_V2_0_GetEnumValue",
    "JV285VT_TD_V2_1_GetEnumValueRaw",
    false,
    CdsGainTableKind::Empty,
    false,
    ZV_JV285_TYPES(T::Hundredths),
    ZV_JV285_GET,
    ZV_JV285_SET,
};
#undef ZV_JV285_GET
#undef ZV_JV285_SET
#undef ZV_JV285_TYPES

const FamilyRules& RulesOf(const CdsDefinition& def)
{
    switch (CdsRowTraitsOf(def.table_row).values) {
    case CdsValueFamily::JV966:
        return kJV966;
    case CdsValueFamily::JR574:
        return kJR574;
    case CdsValueFamily::JR574D88:
        return kJR574D88;
    case CdsValueFamily::JR825:
        return kJR825;
    case CdsValueFamily::JV285V11:
        return kJV285V11;
    case CdsValueFamily::JV285V20:
        return kJV285V20;
    case CdsValueFamily::JV285V21:
        break;
    }
    return kJV285V21;
}

[[noreturn]] void UnknownType(const char* function, uint32_t rawType)
{
    ThrowCDSError(function, "ERROR, unknown data type", CdsFormat("%u", rawType));
}

int32_t GainTimes1000(const GainTableEntry& entry)
{
    return static_cast<int32_t>(entry.gain * 1000.0);
}

// Gain x 1000 of the first of `count` entries whose code (or position) is r;
// 0 when none is.
int32_t GainOf(const CdsGainTable& table, size_t count, int32_t r, bool byIndex)
{
    for (size_t i = 0; i < count && i < table.entries.size(); ++i) {
        const GainTableEntry& entry = table.entries[i];
        if ((byIndex ? entry.index : entry.registerCode) == r) {
            return GainTimes1000(entry);
        }
    }
    return 0;
}

// The entry whose gain is nearest to g among the real entries of the table;
// a gain outside the table's range (more than 0.001 beyond its ends) has
// none.
const GainTableEntry* NearestGain(const CdsGainTable& table, double g)
{
    const auto filled = table.Filled();
    if (filled.empty()) {
        return nullptr;
    }
    if (IsNearlyEqual(g, filled.front().gain, 3) && g <= filled.front().gain) {
        return &filled.front();
    }
    if (IsNearlyEqual(g, filled.back().gain, 3) && g >= filled.back().gain) {
        return &filled.back();
    }
    if (filled.size() == 1) {
        return nullptr;
    }
    for (size_t i = 1; i < filled.size(); ++i) {
        const double low = filled[i - 1].gain;
        const double high = filled[i].gain;
        if (low <= g && g <= high) {
            // A tie takes the higher entry.
            return std::fabs(g - high) <= std::fabs(g - low) ? &filled[i] : &filled[i - 1];
        }
    }
    return nullptr;
}

[[noreturn]] void DoesNotFit(const char* function, const UnpackedField& field, int32_t value)
{
    ThrowCDSError(function, "ERROR, value does not fit the field",
                  CdsFormat("%d for %s, %u bits", value, FieldNameOf(field), FieldWidth(field.flags)));
}

// Stores an unsigned raw value, refusing one outside the field's bits.
void StoreUnsigned(const char* function, UnpackedField& field, int64_t raw, int32_t value)
{
    const uint32_t mask = FieldValueMask(field.flags);
    if (raw < 0) {
        ThrowCDSError(function, "ERROR, negative value for an unsigned field",
                      CdsFormat("%d for %s", value, FieldNameOf(field)));
    }
    if (static_cast<uint64_t>(raw) > mask) {
        DoesNotFit(function, field, value);
    }
    field.value = static_cast<int32_t>(static_cast<uint32_t>(raw));
}

}  // namespace

bool IsRegisterBitName(const std::string& name)
{
    const size_t point = name.find('.');
    if (point == std::string::npos) {
        return false;
    }
    const std::string_view reg(name.data(), point);
    return reg == "IMG_CTRL" || reg == "IMG_CTR2";
}

void CdsDefinition::Initialize() const
{
    const CdsRowTraits& traits = CdsRowTraitsOf(table_row);
    if (!traits.hasGainTable) {
        throw UpdaterError(std::string(traits.prefix) + "Initialize - error, not implemented");
    }
    GetCdsGainTable(traits.gain);
}

CdsFieldType CdsDefinition::GetFieldType(const UnpackedField& field) const
{
    const FamilyRules& rules = RulesOf(*this);
    const uint32_t t = FieldRawType(field.flags);
    if (rules.maskTest && FieldValueMask(field.flags) == 0) {
        return CdsFieldType::None;
    }
    if (rules.types[t] == kTypeError) {
        UnknownType(rules.getType, t);
    }
    return rules.types[t];
}

int32_t CdsDefinition::GetFieldValue(const UnpackedField& field) const
{
    const FamilyRules& rules = RulesOf(*this);
    const uint32_t t = FieldRawType(field.flags);
    const int32_t r = field.value;
    const CdsGainTable& gains = GetCdsGainTable(rules.gains);
    switch (rules.get[t]) {
    case Get::Raw:
        return r;
    case Get::ThreePart:
        return ThreePartCountDecode(r);
    case Get::TwoPart:
        return TwoPartCountDecode(r);
    case Get::GainByCode52:
        return GainOf(gains, 52, r, false);
    case Get::GainByCode64:
        return GainOf(gains, kGainTableSize, r, false);
    case Get::GainByIndex64:
        return GainOf(gains, kGainTableSize, r, true);
    case Get::MilliDb: {
        const auto raw = static_cast<uint32_t>(r);
        if (raw == 0) {
            return 0;  // no finite decibel value
        }
        return static_cast<int32_t>(std::lround(20.0 * std::log10(raw / 32768.0) * 1000.0));
    }
    case Get::Error:
        break;
    }
    UnknownType(rules.getValue, t);
}

void CdsDefinition::SetFieldValue(int32_t value, UnpackedField& field) const
{
    const FamilyRules& rules = RulesOf(*this);
    const char* const function = rules.setValue;
    const uint32_t t = FieldRawType(field.flags);
    const uint32_t width = FieldWidth(field.flags);
    const CdsGainTable& gains = GetCdsGainTable(rules.gains);
    switch (rules.set[t]) {
    case Set::Raw:
        if (width >= 32) {
            field.value = value;  // the engineering value is the 32-bit pattern
            return;
        }
        StoreUnsigned(function, field, value, value);
        return;
    case Set::ThreePart: {
        if (value < -65536 || value > 65534) {
            DoesNotFit(function, field, value);
        }
        // An odd count has no code of its own; it is refused rather than
        // stored as its even neighbour.
        const int32_t raw = ThreePartCountEncode(value);
        if (ThreePartCountDecode(raw) != value) {
            DoesNotFit(function, field, value);
        }
        StoreUnsigned(function, field, raw, value);
        return;
    }
    case Set::TwoPart32:
    case Set::TwoPart64: {
        const int32_t offset = rules.set[t] == Set::TwoPart32 ? 32 : 64;
        if (value < offset || value > offset + 16383) {
            DoesNotFit(function, field, value);
        }
        StoreUnsigned(function, field, TwoPartCountEncode(value, offset), value);
        return;
    }
    case Set::NearestGainCode:
    case Set::NearestGainIndex: {
        const double g = static_cast<uint32_t>(value) / 1000.0;
        const GainTableEntry* entry = NearestGain(gains, g);
        if (entry == nullptr) {
            ThrowCDSError(function, "ERROR, unknown gain value", CdsFormat("%f", g));
        }
        StoreUnsigned(function, field, rules.set[t] == Set::NearestGainIndex ? entry->index : entry->registerCode,
                      value);
        return;
    }
    case Set::FromMilliDb: {
        const double raw = std::round(32768.0 * std::pow(10.0, value / 20000.0));
        if (!(raw <= static_cast<double>(std::numeric_limits<uint32_t>::max()))) {
            DoesNotFit(function, field, value);
        }
        StoreUnsigned(function, field, static_cast<int64_t>(raw), value);
        return;
    }
    case Set::Error:
        break;
    }
    UnknownType(function, t);
}

int32_t CdsDefinition::GetEnumValue(uint32_t index) const
{
    const FamilyRules& rules = RulesOf(*this);
    if (index >= kGainTableSize) {
        ThrowCDSError(rules.getEnum, "ERROR, index value too high", CdsFormat("%u", index));
    }
    return GainTimes1000(GetCdsGainTable(rules.gains).entries[index]);
}

int32_t CdsDefinition::GetEnumValueRaw(uint32_t index) const
{
    const FamilyRules& rules = RulesOf(*this);
    if (index >= kGainTableSize) {
        ThrowCDSError(rules.getEnumRaw, "ERROR, index value too high", CdsFormat("%u", index));
    }
    const GainTableEntry& entry = GetCdsGainTable(rules.gains).entries[index];
    return rules.enumRawIsIndex ? entry.index : entry.registerCode;
}
