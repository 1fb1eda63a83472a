#include "gain_tables.h"

#include <algorithm>
#include <cmath>

namespace {

double Db(double gain, double reference)
{
    return 20.0 * std::log10(gain / reference);
}

// TestCam and JV966: the odd codes 1..63 are the fine steps 0.4..6.6 (the
// product first, then the sum), the even codes 24..62 the coarse steps
// 7.0..16.5.
CdsGainTable BuildCodes52()
{
    CdsGainTable table;
    for (int i = 0; i < 32; ++i) {
        GainTableEntry& e = table.entries[static_cast<size_t>(i)];
        e.registerCode = 2 * i + 1;
        e.gain = i * 0.2 + 0.4;
    }
    for (int j = 0; j < 20; ++j) {
        GainTableEntry& e = table.entries[static_cast<size_t>(32 + j)];
        e.registerCode = 24 + 2 * j;
        e.gain = 7.0 + 0.5 * j;
    }
    for (size_t i = 0; i < 52; ++i) {
        table.entries[i].index = static_cast<int32_t>(i);
        table.entries[i].gainDb = Db(table.entries[i].gain, 1.4);
    }
    table.filled = 52;
    return table;
}

// JR574 and JR825: a fine run from 0.8 in steps of 0.2 and a coarse run in
// steps of 0.5, each by repeated addition; a terminator entry follows.
CdsGainTable BuildCounted(int fineLastCode, double coarseFirstGain, int coarseFirstCode)
{
    CdsGainTable table;
    size_t n = 0;
    auto add = [&](double gain, int code) {
        GainTableEntry& e = table.entries[n];
        e.gain = gain;
        e.gainDb = Db(gain, 1.0);
        e.index = static_cast<int32_t>(n);
        e.registerCode = code;
        ++n;
    };
    double g = 0.8;
    for (int code = 5; code <= fineLastCode; code += 2) {
        add(g, code);
        g += 0.2;
    }
    g = coarseFirstGain;
    for (int code = coarseFirstCode; code <= 62; code += 2) {
        add(g, code);
        g += 0.5;
    }
    table.filled = static_cast<uint32_t>(n);
    table.entries[n].index = -1;
    return table;
}

struct GainPair {
    double gain;
    int32_t code;
};
constexpr GainPair kD88Pairs[] = {{0.66, 0}, {1.85, 1}, {2.49, 2}, {3.68, 3}, {1.29, 4}, {4.95, 6}, {7.25, 7}};

void SortAndNumber(CdsGainTable& table)
{
    const auto filled = table.entries.begin() + table.filled;
    std::sort(table.entries.begin(), filled,
              [](const GainTableEntry& a, const GainTableEntry& b) { return CompareGainValues(a, b) < 0; });
    const double reference = table.entries[0].gain;
    for (size_t i = 0; i < table.filled; ++i) {
        table.entries[i].gainDb = Db(table.entries[i].gain, reference);
        table.entries[i].index = static_cast<int32_t>(i);
    }
}

CdsGainTable BuildD88()
{
    CdsGainTable table;
    for (const GainPair& pair : kD88Pairs) {
        GainTableEntry& e = table.entries[table.filled++];
        e.gain = pair.gain;
        e.registerCode = pair.code;
    }
    SortAndNumber(table);
    return table;
}

CdsGainTable BuildD88Extended()
{
    CdsGainTable table;
    for (size_t i = 0; i < 6; ++i) {
        GainTableEntry& e = table.entries[table.filled++];
        e.gain = kD88Pairs[i].gain;
        e.registerCode = kD88Pairs[i].code;
    }
    for (const GainPair& pair : kD88Pairs) {
        GainTableEntry& e = table.entries[table.filled++];
        e.gain = pair.gain * 8.5;
        e.registerCode = pair.code | 0x40;
    }
    SortAndNumber(table);
    return table;
}

}  // namespace

const CdsGainTable& GetCdsGainTable(CdsGainTableKind kind)
{
    static const CdsGainTable codes52 = BuildCodes52();
    static const CdsGainTable jr574 = BuildCounted(53, 6.0, 20);
    static const CdsGainTable jr825 = BuildCounted(63, 7.0, 24);
    static const CdsGainTable d88 = BuildD88();
    static const CdsGainTable empty{};
    switch (kind) {
    case CdsGainTableKind::Codes52:
        return codes52;
    case CdsGainTableKind::JR574:
        return jr574;
    case CdsGainTableKind::JR825:
        return jr825;
    case CdsGainTableKind::JR574D88:
        return d88;
    case CdsGainTableKind::Empty:
        break;
    }
    return empty;
}

const CdsGainTable& GetJR574D88ExtendedGainTable()
{
    static const CdsGainTable extended = BuildD88Extended();
    return extended;
}

bool IsNearlyEqual(double a, double b, int digits)
{
    if (std::isnan(a) || std::isnan(b)) {
        return false;
    }
    return std::fabs(a - b) < std::pow(10.0, -digits);
}

int CompareGainValues(const GainTableEntry& a, const GainTableEntry& b)
{
    return static_cast<int>((a.gain - b.gain) * 1000.0);
}
