#pragma once

// File primitives of the state directory (POSIX).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zvemu::posix {

// Writes the bytes to a temporary file beside the target, flushes it to the
// disk and renames it over the target. Throws std::runtime_error.
void WriteAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes);

// The whole file, or nothing when it does not exist. Throws on other errors.
std::optional<std::vector<uint8_t>> ReadWhole(const std::filesystem::path& path);

// Appends one line in a single write, so concurrent writers do not mix lines.
void AppendLine(const std::filesystem::path& path, const std::string& line);

uint32_t UserId();

}  // namespace zvemu::posix
