#include "default_images.h"

#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cds_definition.h"
#include "count_codes.h"

// How the default images are made
// --------------------------------
// A default image holds the mode defaults of every camera mode of one
// structure version: each page is an unpacked copy of the version's field
// table whose values are filled as below and then packed with the version's
// own layout. Nothing is stored as bytes; the same code gives the same image
// on every run.
//
// - Mode_ID of page p is 0x5A00 + p.
// - Unused fillers ("No use" fields, unnamed words) and fields wider than 32
//   bits are 0.
// - Every other field gets a value drawn from a hash of the model pattern,
//   the field's name (with its occurrence number), the page and a version
//   step, shaped to be valid for the field's raw type and sensor family:
//   plain, hexadecimal and decimal fields any value of their width; DAC words
//   0-3300 mV; count fields a count in their register code (three-part for
//   TestCam/JV966, two-part with offset 32 for JR574 and 64 for JR825); gain
//   fields one of the family's gain register codes (gain-table positions for
//   JR825); unity-based gains (JR574, JR825) 0.75-1.25 of 32768 while the
//   decibel-coded FFC_GAIN of TestCam/JV966 stays at 32768 (0 dB); signed
//   offsets -200..200; JV285 words any 16-bit value.
// - Versions of one model form a line (its rows in table order). Going from
//   one version to the next, each (field, page) value is redrawn with a
//   probability of one in five, and kept otherwise. So consecutive versions
//   share most values and differ in some, which gives the upgrade merge both
//   kinds of field; fields a version adds get fresh values.
// - A few values are pinned (kPinned) where the converter's self-tests and
//   the defaults CSV rely on them.
//
// Every page passes its own layout: it unpacks and packs back to the same
// bytes, and the 512-byte pages carry a valid checksum (Mode_ID is never 0).

namespace {

struct PinnedValue {
    size_t row;
    uint32_t page;
    const char* field;
    int32_t raw;
};

constexpr PinnedValue kPinned[] = {
    // The TestCam02 upgrade from V2.0 to V2.1 must change page 2
    // "375 SAMP_READ_EN" (record 4) of an image that holds the V2.0 defaults.
    {4, 2, "375 SAMP_READ_EN", 0},
    {5, 2, "375 SAMP_READ_EN", 1},
    // TestCam03 V2.0 holds the values that the cherry-pick upgrade to V2.1
    // carries over on pages 0 and 1; V2.1's own defaults differ in each.
    {6, 0, " 51 VRAMP_SLOPE", 45},
    {6, 0, "269 CNT_INT_T", ThreePartCountEncode(-1000)},
    {6, 0, " 96 CNT_INT_B", ThreePartCountEncode(-1000)},
    {6, 0, "134 I_DRIV_CLIP", 3},
    {6, 1, "VDRL", 1000},
    {6, 1, "318 SER_BIN_EN", 0},
    {6, 1, "HDR_GAIN", 3000},
    {7, 0, " 51 VRAMP_SLOPE", 38},
    {7, 0, "269 CNT_INT_T", ThreePartCountEncode(-668)},
    {7, 0, " 96 CNT_INT_B", ThreePartCountEncode(-668)},
    {7, 0, "134 I_DRIV_CLIP", 5},
    {7, 1, "VDRL", 1200},
    {7, 1, "318 SER_BIN_EN", 1},
    {7, 1, "HDR_GAIN", 2000},
    // TestCam01 V2.0 (row 1, whose pages row 2 borrows): page 0 agrees with
    // the defaults CSV below.
    {1, 0, "VRD", 1500},
    {1, 0, "VLDC", 1200},
    {1, 0, "VRF", 2100},
    {1, 0, "VPC", 1800},
    {1, 0, "VRS", 900},
    {1, 0, "VDRL", 400},
    {1, 0, "VDRV", 3300},
    {1, 0, "VDDSF", 2800},
    {1, 0, " 51 VRAMP_SLOPE", 38},
    {1, 0, " 44 DIG_GAIN", 2},
    {1, 0, "134 I_DRIV_CLIP", 5},
    {1, 0, "269 CNT_INT_T", ThreePartCountEncode(-668)},
    {1, 0, " 96 CNT_INT_B", ThreePartCountEncode(-668)},
    {1, 0, "HDR_GAIN", 1000},
    {1, 0, "Crop X", 0},
};

// Values as the TestCam listing prints them (volts with three decimals,
// "%2d" for plain and count fields, "%3d" for decimal words).
constexpr const char kTestCam01V20DefaultsCsv[] = "Mode ID,Name,Value,Unit\n"
                                                  "0x5A00,VRD,1.500,V\n"
                                                  "0x5A00,VLDC,1.200,V\n"
                                                  "0x5A00,VRF,2.100,V\n"
                                                  "0x5A00,VPC,1.800,V\n"
                                                  "0x5A00,VRS,0.900,V\n"
                                                  "0x5A00,VDRL,0.400,V\n"
                                                  "0x5A00,VDRV,3.300,V\n"
                                                  "0x5A00,VDDSF,2.800,V\n"
                                                  "0x5A00, 51 VRAMP_SLOPE,38,\n"
                                                  "0x5A00, 44 DIG_GAIN, 2,\n"
                                                  "0x5A00,134 I_DRIV_CLIP, 5,\n"
                                                  "0x5A00,269 CNT_INT_T,-668,\n"
                                                  "0x5A00, 96 CNT_INT_B,-668,\n"
                                                  "0x5A00,HDR_GAIN,1000,\n"
                                                  "0x5A00,Crop X,  0,\n";

constexpr int32_t kJV966GainCodes[] = {
    1,  3,  5,  7,  9,  11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39, 41, 43, 45, 47, 49, 51,
    53, 55, 57, 59, 61, 63, 24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 44, 46, 48, 50, 52, 54, 56, 58, 60, 62,
};
constexpr int32_t kJR574GainCodes[] = {
    5,  7,  9,  11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39, 41, 43, 45, 47, 49, 51,
    53, 20, 22, 24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 44, 46, 48, 50, 52, 54, 56, 58, 60, 62,
};
constexpr int32_t kJR574D88GainCodes[] = {0, 1, 2, 3, 4, 6, 7};
constexpr uint32_t kJR825GainPositions = 50;

static_assert(std::size(kJV966GainCodes) == 52 && std::size(kJR574GainCodes) == 47);

uint64_t Mix(uint64_t x)
{
    // splitmix64 finaliser
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

uint64_t HashText(const std::string& text)
{
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
    for (const char c : text) {
        h = (h ^ static_cast<uint8_t>(c)) * 0x100000001B3ull;
    }
    return h;
}

uint64_t Combine(uint64_t a, uint64_t b)
{
    return Mix(a ^ Mix(b));
}

bool IsUnusedName(std::string_view text)
{
    if (text.find("No use") != std::string_view::npos || text.find("No Use") != std::string_view::npos) {
        return true;
    }
    return text.find_first_not_of(' ') == std::string_view::npos;
}

uint32_t WidthOf(const CdsDefinition& def, uint32_t flags)
{
    return def.layout == CdsPageLayout::Checksum512 ? FieldWidth512(flags) : FieldWidth(flags);
}

// A value valid for the field's raw type in the sensor family, from hash h.
int32_t ShapedValue(const CdsDefinition& def, const UnpackedField& field, uint64_t h)
{
    const uint32_t width = WidthOf(def, field.flags);
    const uint32_t mask = width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u);
    const auto any = static_cast<uint32_t>(h) & mask;
    const CdsSensorFamily family = def.sensor_family;
    const bool jr =
        family == CdsSensorFamily::JR574 || family == CdsSensorFamily::JR574D88 || family == CdsSensorFamily::JR825;
    uint32_t value = any;
    switch (FieldRawType(field.flags)) {
    case 2:  // millivolts
        value = static_cast<uint32_t>(h % 3301);
        break;
    case 3:  // count code
        if (family == CdsSensorFamily::JV966) {
            value = static_cast<uint32_t>(ThreePartCountEncode(2 * static_cast<int32_t>(h % 4001) - 4000));
        } else if (family == CdsSensorFamily::JR574) {
            value = static_cast<uint32_t>(TwoPartCountEncode(32 + static_cast<int32_t>(h % 16384), 32));
        } else if (family == CdsSensorFamily::JR825) {
            value = static_cast<uint32_t>(TwoPartCountEncode(64 + static_cast<int32_t>(h % 16384), 64));
        }
        break;
    case 4:  // gain register code
        if (family == CdsSensorFamily::JV966) {
            value = static_cast<uint32_t>(kJV966GainCodes[h % std::size(kJV966GainCodes)]);
        } else if (family == CdsSensorFamily::JR574) {
            value = static_cast<uint32_t>(kJR574GainCodes[h % std::size(kJR574GainCodes)]);
        } else if (family == CdsSensorFamily::JR574D88) {
            value = static_cast<uint32_t>(kJR574D88GainCodes[h % std::size(kJR574D88GainCodes)]);
        } else if (family == CdsSensorFamily::JR825) {
            value = static_cast<uint32_t>(h % kJR825GainPositions);
        }
        break;
    case 6:  // decibels in hundredths (JR), millivolt magnitudes (JV285)
        value = static_cast<uint32_t>(jr ? h % 2401 : h % 3301);
        break;
    case 7:  // gain multiplier: 32768 is 1.0 (0 dB in the TestCam/JV966 decibel form)
        if (family == CdsSensorFamily::JV966) {
            value = 32768;
        } else if (jr) {
            value = static_cast<uint32_t>(24576 + h % 16385);
        }
        break;
    case 8:  // signed 16-bit offsets in the JR families
        if (jr) {
            value = static_cast<uint32_t>(static_cast<int32_t>(h % 401) - 200);
        }
        break;
    default:
        break;
    }
    return static_cast<int32_t>(value & mask);
}

// The image of one definition row.
std::vector<uint8_t> BuildImage(size_t row)
{
    const auto& table = CdsDefinitionTable();
    const CdsDefinition& def = table[row];
    const std::string pattern = def.model_pattern;
    const uint64_t seed = HashText(pattern);
    // The version step: this row's position among the rows of its model.
    uint64_t step = 0;
    for (size_t r = 0; r < row; ++r) {
        step += pattern == table[r].model_pattern ? 1u : 0u;
    }

    const std::span<const UnpackedField> fields = def.FieldTable();
    // A stable key per record: its name and how often the name came before.
    // What each record gets does not depend on the page, so it is settled
    // once: the mode id, a zero (unused or wider than a value), or a value.
    enum class Fill : uint8_t {
        Value,
        ModeId,
        Zero
    };
    std::vector<uint64_t> keys(fields.size());
    std::vector<Fill> fills(fields.size(), Fill::Value);
    std::map<std::string, uint64_t> occurrences;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string name = fields[i].name;
        keys[i] = Combine(HashText(name), occurrences[name]++);
        if (fields[i].flags == 0) {
            continue;
        }
        if (name == "Mode_ID") {
            fills[i] = Fill::ModeId;
        } else if (IsUnusedName(name) || WidthOf(def, fields[i].flags) > 32) {
            fills[i] = Fill::Zero;
        }
    }

    // Combine(a, b) is Mix(a ^ Mix(b)): the Mix of every b that recurs (the
    // field's key under the seed, the page, the version steps) is taken once.
    std::vector<uint64_t> fieldBase(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        fieldBase[i] = Combine(seed, keys[i]);
    }
    // Indexed by the version step k (the step counts rows, so it fits).
    const auto steps = static_cast<size_t>(step);
    std::vector<uint64_t> mixedChange(steps + 1);
    std::vector<uint64_t> mixedStep(steps + 1);
    for (size_t k = 0; k <= steps; ++k) {
        mixedChange[k] = Mix(k);
        mixedStep[k] = Mix(0x1000 + k);
    }

    std::vector<uint8_t> image(static_cast<size_t>(def.pages_count) * def.page_size);
    std::vector<UnpackedField> page;
    for (uint32_t p = 0; p < def.pages_count; ++p) {
        page.assign(fields.begin(), fields.end());
        const uint64_t mixedPage = Mix(p);
        size_t section = 0;
        for (size_t i = 0; i < page.size() && section < 2; ++i) {
            UnpackedField& field = page[i];
            if (field.flags == 0) {
                ++section;
                continue;
            }
            if (fills[i] == Fill::ModeId) {
                field.value = static_cast<int32_t>(0x5A00 + p);
                continue;
            }
            if (fills[i] == Fill::Zero) {
                field.value = 0;
                continue;
            }
            const uint64_t place = Mix(fieldBase[i] ^ mixedPage);  // Combine(Combine(seed, key), p)
            size_t lastChange = 0;
            for (size_t k = steps; k >= 1; --k) {
                if (Mix(place ^ mixedStep[k]) % 5 == 0) {  // Combine(place, 0x1000 + k)
                    lastChange = k;
                    break;
                }
            }
            field.value = ShapedValue(def, field, Mix(place ^ mixedChange[lastChange]));
        }
        for (const PinnedValue& pin : kPinned) {
            if (pin.row != row || pin.page != p) {
                continue;
            }
            bool found = false;
            for (UnpackedField& field : page) {
                if (field.flags != 0 && std::string_view(field.name) == pin.field) {
                    field.value = pin.raw;
                    found = true;
                    break;
                }
            }
            if (!found) {
                throw std::logic_error(std::string("default image pins a field the table does not hold: ") + pin.field);
            }
        }
        def.Pack(std::span<uint8_t>(image).subspan(static_cast<size_t>(p) * def.page_size, def.page_size), page);
    }
    return image;
}

}  // namespace

std::span<const uint8_t> CdsDefaultImage::Bytes() const
{
    std::call_once(once_, [this] { bytes_ = BuildImage(row_); });
    return bytes_;
}

const CdsDefaultImage* CdsDefaultImageForRow(size_t row)
{
    static const std::deque<CdsDefaultImage> images = [] {
        std::deque<CdsDefaultImage> all;
        for (size_t r = 0; r < kCdsDefinitionCount; ++r) {
            all.emplace_back(r);
        }
        return all;
    }();
    return row < images.size() ? &images[row] : nullptr;
}

const char* CdsDefaultsCsvText()
{
    return kTestCam01V20DefaultsCsv;
}
