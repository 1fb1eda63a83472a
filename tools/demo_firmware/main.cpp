// zv-demo-firmware: writes a CPU firmware file to try the updater with on an
// emulated camera. The image carries its version where a camera's CPU
// firmware does (major in byte 6, minor in byte 5, two decimal digits per
// byte) and is scrambled with its check word, as the maker's files are.
//
//   zv-demo-firmware --version MM.mm [--size BYTES] OUTFILE

#include "scramble_for_tests.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kDefaultSize = 0xFC00;  // the CPU firmware region of the JV966, JV285 and JV085
constexpr std::size_t kMinSize = 0x40;        // past the header with the version and the firmware-ok mark
constexpr std::size_t kMaxSize = 0x100000;

// One part of "MM.mm": one or two decimal digits, as one byte of two
// decimal digits (12 becomes 0x12).
std::optional<std::uint8_t> DecimalByte(std::string_view digits)
{
    unsigned value = 0;
    if (digits.empty() || digits.size() > 2) {
        return std::nullopt;
    }
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10));
}

int Usage(const std::string& why)
{
    std::printf("zv-demo-firmware: %s\nusage: zv-demo-firmware --version MM.mm [--size BYTES] OUTFILE\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string version;
    std::string sizeText;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "--version" || arg == "--size") && i + 1 < argc) {
            (arg == "--version" ? version : sizeText) = argv[++i];
        } else if (!arg.starts_with("--") && output.empty()) {
            output = arg;
        } else {
            return Usage("unexpected argument '" + std::string(arg) + "'");
        }
    }
    if (version.empty() || output.empty()) {
        return Usage("--version and OUTFILE are needed");
    }

    const std::size_t point = version.find('.');
    const std::optional<std::uint8_t> major =
        point == std::string::npos ? std::nullopt : DecimalByte(std::string_view(version).substr(0, point));
    const std::optional<std::uint8_t> minor =
        point == std::string::npos ? std::nullopt : DecimalByte(std::string_view(version).substr(point + 1));
    if (!major || !minor) {
        return Usage("the version must be MM.mm in decimal digits, got '" + version + "'");
    }

    std::size_t size = kDefaultSize;
    if (!sizeText.empty()) {
        const auto [end, ec] = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size);
        if (ec != std::errc() || end != sizeText.data() + sizeText.size() || size < kMinSize || size > kMaxSize) {
            return Usage("--size must be " + std::to_string(kMinSize) + " to " + std::to_string(kMaxSize));
        }
    }

    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(0x5A ^ (i * 31) ^ (i >> 8));
    }
    image[5] = *minor;
    image[6] = *major;

    const std::vector<std::uint8_t> file = testing_support::Scramble(image);
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) {
        return Usage("cannot write " + output);
    }
    std::printf("%s: CPU firmware %02x.%02x, %zu bytes\n", output.c_str(), *major, *minor, size);
    return 0;
}
