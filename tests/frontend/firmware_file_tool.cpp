// Writes a scrambled firmware file of any size for benchmarks:
//   zv-bench-firmware SIZE OUTFILE
// The payload is a fixed pattern; the file ends with its check word.

#include "scramble_for_tests.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    std::size_t size = 0;
    const std::string_view text = argc == 3 ? argv[1] : "";
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (argc != 3 || ec != std::errc() || end != text.data() + text.size() || size == 0) {
        std::printf("usage: zv-bench-firmware SIZE OUTFILE\n");
        return 1;
    }
    std::vector<std::uint8_t> payload(size);
    for (std::size_t i = 0; i < size; ++i) {
        payload[i] = static_cast<std::uint8_t>(i * 131 + (i >> 12));
    }
    const std::vector<std::uint8_t> file = testing_support::Scramble(payload);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return out ? 0 : 1;
}
