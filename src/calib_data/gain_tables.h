#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Gain tables of the sensors' programmable amplifiers: which register code
// selects which linear gain. A page field of raw type 4 holds such a code (in
// the JR825 family the table position instead).
//
// The tables are computed from constants, once, with the arithmetic the
// sensors' documentation uses (repeated addition in double precision for the
// JR574 and JR825 steps), so the exact doubles of the camera's own tables
// appear: the JR574 entry for code 13 is 1.5999999999999999, not 1.6. They
// never change afterwards.

struct GainTableEntry {
    double gain = 0.0;    // linear factor, 1.0 = unity
    double gainDb = 0.0;  // 20 x log10(gain / reference)
    int32_t registerCode = 0;
    int32_t index = 0;  // position in the table; -1 in the terminator entry
};

inline constexpr size_t kGainTableSize = 64;

// The table kinds of the sensor families.
enum class CdsGainTableKind : uint8_t {
    Codes52,   // TestCam and JV966: 52 entries, dB reference 1.4
    JR574,     // JR574 D0: 47 entries and a terminator, dB reference 1.0
    JR825,     // JR825: 50 entries and a terminator; fields store the position
    JR574D88,  // JR574 D88: 7 entries sorted by gain, dB relative to the smallest
    Empty,     // JV285: no gain codes
};

struct CdsGainTable {
    std::array<GainTableEntry, kGainTableSize> entries{};
    // Entries that stand for a real gain (the rest are zero, or the
    // terminator of the counted tables).
    uint32_t filled = 0;

    std::span<const GainTableEntry> Filled() const { return std::span(entries).first(filled); }
};

// The table of a kind, built on first use.
const CdsGainTable& GetCdsGainTable(CdsGainTableKind kind);

// The extended JR574 D88 table (13 entries: the base pairs and their x8.5
// forms with code | 0x40). Built like the others; nothing in the program
// reads it yet.
const CdsGainTable& GetJR574D88ExtendedGainTable();

// |a - b| < 10^-digits (strictly); false when either is not a number.
bool IsNearlyEqual(double a, double b, int digits);

// Orders entries by ascending gain: (a - b) x 1000 truncated toward zero, so
// gains closer than 0.001 compare equal.
int CompareGainValues(const GainTableEntry& a, const GainTableEntry& b);
