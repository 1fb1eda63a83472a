// The firmware file container: the first byte chooses how the rest is taken
// (scrambled binary with its check word, plain binary, Intel HEX, hex data
// text, serial number text, sensor serial text).

#include "fuzz_target.h"
#include "fw_decrypter.h"

#include <exception>
#include <string>

ZV_FUZZ_TARGET(fw_file)
{
    if (size == 0) {
        return false;
    }
    const std::span<const std::uint8_t> content(data + 1, size - 1);
    const std::string text(content.begin(), content.end());
    FwDecrypter container;
    try {
        bool accepted = false;
        switch (data[0] % 6) {
        case 0:
        case 1:
        case 2: {
            const zvfuzz::ScratchFile file(".bin", content);
            if (data[0] % 6 == 1) {
                container.ClearScrambled();
            } else if (data[0] % 6 == 2) {
                container.ClearScrambled();
                container.SetHexFormat();
            }
            accepted = container.LoadFile(file.Path()) && container.Decrypt();
            break;
        }
        case 3:
            container.ClearScrambled();
            accepted = container.ParseHexFromStringToBuffer(text.c_str());
            break;
        case 4:
            container.ClearScrambled();
            accepted = container.ParseSnSneFromStringToBuffer(text.c_str());
            break;
        default:
            container.ClearScrambled();
            accepted = container.SSnFromNameToBuffer(text.c_str());
            break;
        }
        // Whatever the container says it holds must be there to read.
        const std::span<const std::uint8_t> buffer = container.GetFileBuffer();
        if (container.GetDataSize() > buffer.size()) {
            __builtin_trap();
        }
        volatile unsigned sum = 0;
        for (std::uint8_t b : buffer.first(container.GetDataSize())) {
            sum = sum + b;
        }
        return accepted;
    } catch (const std::exception&) {
        return false;
    }
}
