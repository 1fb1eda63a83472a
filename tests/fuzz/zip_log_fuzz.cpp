// The operation log archive as the camera hands it back.

#include "fuzz_target.h"
#include "fw_operation_log.h"

#include <exception>

ZV_FUZZ_TARGET(zip_log)
{
    try {
        const std::optional<std::string> text = UnpackFwLog(std::span<const std::uint8_t>(data, size));
        if (!text) {
            return false;
        }
        // What was read is written back with one more line.
        return PackFwLog(*text + "\n[2025-03-07 142501] fuzz").has_value();
    } catch (const std::exception&) {
        return false;
    }
}
