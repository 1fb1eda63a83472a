// zv-demo-firmware: writes a firmware file to try the updater with on an
// emulated camera. The image carries its version where the camera reads it
// and is scrambled with its check word, as the maker's files are.
//
//   zv-demo-firmware [--type TYPE] --version VERSION [--size BYTES] OUTFILE
//
// TYPE CPU (the default) is a camera's CPU firmware for the camera API path:
// major in byte 6, minor in byte 5, two decimal digits per byte. The other
// types are the images of the direct USB3 path (see kTypes).

#include "scramble_for_tests.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMinSize = 0x40;  // past every header that carries a version
constexpr std::size_t kMaxSize = 0x800000;

// Where an image carries its version. Two-part versions "MM.mm" are written
// as two bytes of two decimal digits each (12 becomes 0x12), the way the
// camera shows them in hexadecimal; XMLMAN's "MM.mm.bb" as plain numbers.
enum class VersionForm {
    MajorMinorBytes,  // minor at `at`, major at `at` + 1
    XmlHeader,        // u16 build at 8, minor at 10, major at 11
    None,
};

struct TypeRow {
    std::string_view name;
    std::size_t defaultSize;
    std::size_t maxSize;  // 0: kMaxSize
    VersionForm form;
    std::size_t at;
    bool bootSignature;   // begins with the controller's boot image signature "CY"
    bool lengthInHeader;  // bytes 1-2: the length the C51 boot loader programs (big-endian)
};

constexpr TypeRow kTypes[] = {
    {"CPU", 0xFC00, 0x100000, VersionForm::MajorMinorBytes, 5, false, false},
    {"CPU1", 0x4000, 0, VersionForm::MajorMinorBytes, 0x10, true, false},
    {"CPU2", 0x8000, 0, VersionForm::MajorMinorBytes, 0x10, false, false},
    {"CPU3", 0x2000, 0xFFFF, VersionForm::MajorMinorBytes, 5, false, true},
    {"CPU4", 0x10000, 0, VersionForm::MajorMinorBytes, 0xFC0E, false, false},
    {"CPU5", 0x8000, 0, VersionForm::MajorMinorBytes, 0x10, false, false},
    {"MCU1", 0x2000, 0, VersionForm::None, 0, false, false},
    {"FPGA1", 0x20000, 0, VersionForm::MajorMinorBytes, 0x10, false, false},
    {"FPGA2", 0x20000, 0, VersionForm::MajorMinorBytes, 0x10, false, false},
    {"XMLMAN", 0x1000, 0, VersionForm::XmlHeader, 8, false, false},
};

// One part of a version: one or two decimal digits (or up to five for a build).
std::optional<unsigned> Number(std::string_view digits, std::size_t maxDigits, unsigned maxValue)
{
    unsigned value = 0;
    if (digits.empty() || digits.size() > maxDigits) {
        return std::nullopt;
    }
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value > maxValue) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> Split(std::string_view text)
{
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t point = text.find('.', from);
        parts.push_back(text.substr(from, point == std::string_view::npos ? std::string_view::npos : point - from));
        if (point == std::string_view::npos) {
            return parts;
        }
        from = point + 1;
    }
}

std::uint8_t DecimalDigitsByte(unsigned value)
{
    return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10));
}

int Usage(const std::string& why)
{
    std::printf("zv-demo-firmware: %s\nusage: zv-demo-firmware [--type "
                "CPU|CPU1|CPU2|CPU3|CPU4|CPU5|MCU1|FPGA1|FPGA2|XMLMAN] --version VERSION [--size BYTES] OUTFILE\n",
                why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string typeName = "CPU";
    std::string version;
    std::string sizeText;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "--version" || arg == "--size" || arg == "--type") && i + 1 < argc) {
            (arg == "--version" ? version : arg == "--size" ? sizeText : typeName) = argv[++i];
        } else if (!arg.starts_with("--") && output.empty()) {
            output = arg;
        } else {
            return Usage("unexpected argument '" + std::string(arg) + "'");
        }
    }
    const auto type =
        std::find_if(std::begin(kTypes), std::end(kTypes), [&](const TypeRow& row) { return row.name == typeName; });
    if (type == std::end(kTypes)) {
        return Usage("unknown type '" + typeName + "'");
    }
    if ((version.empty() && type->form != VersionForm::None) || output.empty()) {
        return Usage("--version and OUTFILE are needed");
    }

    std::size_t size = type->defaultSize;
    const std::size_t maxSize = type->maxSize != 0 ? type->maxSize : kMaxSize;
    if (!sizeText.empty()) {
        const auto [end, ec] = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size);
        if (ec != std::errc() || end != sizeText.data() + sizeText.size() || size < kMinSize || size > maxSize) {
            return Usage("--size must be " + std::to_string(kMinSize) + " to " + std::to_string(maxSize));
        }
    }
    if (type->form == VersionForm::MajorMinorBytes && type->at + 2 > size) {
        return Usage("--size must leave room for the version at byte " + std::to_string(type->at));
    }

    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(0x5A ^ (i * 31) ^ (i >> 8));
    }
    const std::vector<std::string_view> parts = Split(version);
    std::string shown;
    switch (type->form) {
    case VersionForm::MajorMinorBytes: {
        const auto major = parts.size() == 2 ? Number(parts[0], 2, 99) : std::nullopt;
        const auto minor = parts.size() == 2 ? Number(parts[1], 2, 99) : std::nullopt;
        if (!major || !minor) {
            return Usage("the version must be MM.mm in decimal digits, got '" + version + "'");
        }
        image[type->at] = DecimalDigitsByte(*minor);
        image[type->at + 1] = DecimalDigitsByte(*major);
        if (type->name.starts_with("FPGA")) {
            // The FPGA version register is 32 bits wide: its upper half is 0.
            image[type->at + 2] = 0;
            image[type->at + 3] = 0;
        }
        char text[8];
        std::snprintf(text, sizeof text, "%02x.%02x", image[type->at + 1], image[type->at]);
        shown = text;
        break;
    }
    case VersionForm::XmlHeader: {
        const auto major = parts.size() == 3 ? Number(parts[0], 2, 99) : std::nullopt;
        const auto minor = parts.size() == 3 ? Number(parts[1], 2, 99) : std::nullopt;
        const auto build = parts.size() == 3 ? Number(parts[2], 5, 0xFFFF) : std::nullopt;
        if (!major || !minor || !build) {
            return Usage("the version must be MM.mm.bb in decimal digits, got '" + version + "'");
        }
        image[8] = static_cast<std::uint8_t>(*build);
        image[9] = static_cast<std::uint8_t>(*build >> 8);
        image[10] = static_cast<std::uint8_t>(*minor);
        image[11] = static_cast<std::uint8_t>(*major);
        shown = version;
        break;
    }
    case VersionForm::None:
        shown = "no version";
        break;
    }
    if (type->bootSignature) {
        image[0] = 'C';
        image[1] = 'Y';
    }
    if (type->lengthInHeader) {
        image[1] = static_cast<std::uint8_t>(size >> 8);
        image[2] = static_cast<std::uint8_t>(size);
    }

    const std::vector<std::uint8_t> file = testing_support::Scramble(image);
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) {
        return Usage("cannot write " + output);
    }
    if (type->name == "CPU") {
        std::printf("%s: CPU firmware %s, %zu bytes\n", output.c_str(), shown.c_str(), size);
    } else {
        std::printf("%s: %s firmware %s, %zu bytes\n", output.c_str(), typeName.c_str(), shown.c_str(), size);
    }
    return 0;
}
