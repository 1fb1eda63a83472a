#pragma once

#include <cstdint>
#include <string>

#include "unpacked_field.h"

// The value class of a field's engineering integer: how a reader presents it.
enum class CdsFieldType : uint32_t {
    None = 0,           // no value bits; not listed
    Decimal = 1,        // "%d"
    Hundredths = 2,     // v / 100
    Thousandths = 3,    // v / 1000 (millivolts, milli-decibels, gains without enumeration)
    Fraction32768 = 4,  // v / 32768 (a gain multiplier, 1.0 = 32768)
    Hexadecimal = 5,    // "0x" and hex digits
    EnumGain = 6,       // gain x 1000, with a 64-item enumeration from the gain table
    EnumRaw = 7,        // enumeration of raw register values (set by callers only)
};

// The bits a field's raw value may use: none for a zero width (the records
// that close the table's sections), all 32 for fields of 32 bits or more
// (their value occupies the positions of a 32-bit value in the page).
constexpr uint32_t FieldValueMask(uint32_t flags)
{
    const uint32_t width = FieldWidth(flags);
    if (width == 0) {
        return 0;
    }
    return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u;
}

// Name of a record, empty when it has none (a cleared page array).
inline const char* FieldNameOf(const UnpackedField& field)
{
    return field.name != nullptr ? field.name : "";
}

// "IMG_CTRL.<bit>" or "IMG_CTR2.<bit>": a named bit of one of the two image
// control words (only the register part before the first point counts, the
// bit names may hold points themselves). Other names with a point, such as
// "Vdd1.8A", are ordinary field names.
bool IsRegisterBitName(const std::string& name);
