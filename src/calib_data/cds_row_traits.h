#pragma once

#include <cstddef>

#include <cstdint>

#include "gain_tables.h"

// What distinguishes the definitions' value, listing and text-parser
// functions: a handful of rule families, and the class names that their
// error texts carry (historically irregular, so they are data here).

// The engineering-value functions shared by the rows of one model family.
enum class CdsValueFamily : uint8_t {
    JV966,     // TestCam01-03 and JV966: three-part counts, 52 gain codes, milli-dB gains
    JR574,     // JR574 D0: two-part counts (offset 32), 47 gain codes
    JR574D88,  // JR574 D88: 7 gain codes
    JR825,     // JR825: two-part counts (offset 64), fields hold gain-table positions
    JV285V11,  // JV285 V1.1
    JV285V20,  // JV285 V2.0
    JV285V21,  // JV285 V2.1
};

// How a listing prints, and the text parser reads, values by raw type.
enum class CdsTextFamily : uint8_t {
    None,  // not implemented for the row
    TestCam01V10,
    TestCam,
    JV966,
    JR574,
    JR574D88,
    JR825,
    JV285V11,
    JV285V2,
};

// One row of a per-family rule table (the listing's and the text parser's).
template <typename Rules>
struct CdsFamilyRules {
    CdsTextFamily family;
    const Rules* rules;
};

// The family's rules in such a table; null for a family it has no row for.
template <typename Rules, std::size_t N>
constexpr const Rules* FindFamilyRules(const CdsFamilyRules<Rules> (&table)[N], CdsTextFamily family)
{
    for (const CdsFamilyRules<Rules>& row : table) {
        if (row.family == family) {
            return row.rules;
        }
    }
    return nullptr;
}

struct CdsRowTraits {
    // Class prefix of the row's listing and text-parser texts, such as
    // "RegJR574_V2_0_Def::"; empty for JR574 V3.5-V3.9, whose texts have none.
    const char* prefix;
    // Prefix of the listing's unknown-type text ("Reg4545G::" for JR574 V3.5-V3.9).
    const char* listingTypePrefix;
    // The text parser's unknown-type text; null when it handles every type.
    const char* parserTypeError;
    CdsTextFamily listing;
    CdsTextFamily parser;
    // JR825 V3.0 names the field in its not-found text.
    bool notFoundNamesField;
    // False for the TestCam01 V2.0 and V3.0 rows, which have no gain table
    // (their Initialize fails).
    bool hasGainTable;
    CdsGainTableKind gain;
    CdsValueFamily values;
};

// The traits of a definition row; an UpdaterError for a row outside the table.
const CdsRowTraits& CdsRowTraitsOf(int row);
