#pragma once

// The backup of a camera's info partition (serial number, flags and other
// bytes unique to the camera) taken before the partition is erased for a
// rewrite. It lives in the working directory under a name made from the
// camera's own identity (the serial its device path carries, never the port
// it is plugged into), so a later run finds it even when the partition
// itself was lost, another camera in the same port never gets it, and it is
// removed once the rewrite is verified.
//
// A rewrite writes the partition's format word last: a partition whose
// format word is still erased is one whose rewrite was cut off.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A partition whose format word is one the updater knows (1, 2 or 3).
bool IsKnownInfoFormat(std::span<const std::uint8_t> partition);
// A partition whose rewrite was cut off: its format word is still erased.
bool IsUnfinishedInfoPartition(std::span<const std::uint8_t> partition);

// The partition as a rewrite leaves it: `current` with the bits of `mask` in
// its flags set when `set`, cleared otherwise, and every other byte as it
// was, but that a format 1 partition is upgraded to format 2 with its flags
// cleared first, and formats 1 and 2 get their format word. Prints the
// format it found and the flag it sets; throws for a format other than 1 to 3.
std::vector<std::uint8_t> BuildInfoPartitionImage(std::span<const std::uint8_t> current, std::uint32_t mask, bool set);

class InfoPartitionBackup {
public:
    explicit InfoPartitionBackup(std::string_view cameraIdentity);

    const std::string& Name() const { return name_; }
    bool Exists() const;
    // Writes the partition under a temporary name, reads it back and compares
    // it, then moves it in place. Throws when any of that fails.
    void Write(std::span<const std::uint8_t> partition) const;
    // The kept partition: exactly `size` bytes of a known format; throws,
    // naming the file, otherwise.
    std::vector<std::uint8_t> Load(std::size_t size) const;
    void Remove() const;

    // Why a run stops at an unfinished partition. For a rewrite: this
    // backup is not here. For a read: how to finish the rewrite, with or
    // without this backup here.
    std::string MissingForRewriteText() const;
    std::string UnfinishedForReadText() const;

private:
    std::string name_;
};
