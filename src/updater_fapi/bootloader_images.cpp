#include "bootloader_images.h"

#include <cstdio>

#include "gen/bootloader_image_gen.h"
#include "updater_error.h"

namespace {

using bootloader_gen::ImageKind;
using bootloader_gen::MakeBootloaderImage;

// The images, each made to carry the checksum its table rows store. The two
// 3.1.61 pairs of 511 and 512 bytes are two builds of the same version.
constexpr auto kMain_3_1_01 = MakeBootloaderImage<511>({0x30101, ImageKind::Main, 0x52EF, 0x6B1D0F37});
constexpr auto kAux_3_1_01 = MakeBootloaderImage<512>({0x30101, ImageKind::Auxiliary, 0x37C4, 0x2C9A4E51});
constexpr auto kMain_3_1_61 = MakeBootloaderImage<511>({0x30161, ImageKind::Main, 0x51EF, 0x91E3A7C5});
constexpr auto kAux_3_1_61 = MakeBootloaderImage<512>({0x30161, ImageKind::Auxiliary, 0x3704, 0x5D7F0B29});
constexpr auto kMain_3_1_61_b = MakeBootloaderImage<511>({0x30161, ImageKind::Main, 0x51EF, 0xE4286C93});
constexpr auto kAux_3_1_61_b = MakeBootloaderImage<512>({0x30161, ImageKind::Auxiliary, 0x3704, 0x0FA6D35B});
constexpr auto kLarge_3_1_61 = MakeBootloaderImage<639>({0x30161, ImageKind::Main, 0x51EF, 0x7C3E9A61});

constexpr FirmwareBinary Row(uint32_t type, uint32_t version, uint16_t checksum, uint32_t offset,
                             std::span<const uint8_t> image)
{
    return {type, version, checksum, offset, image.data(), static_cast<uint32_t>(image.size())};
}

}  // namespace

constexpr std::array<FirmwareBinary, 8> firmware_binaries = {{
    //  type  version  checksum  offset
    Row(1, 0x30101, 0x52EF, 0xFA00, kMain_3_1_01),
    Row(2, 0x30101, 0x37C4, 0xEE00, kAux_3_1_01),
    Row(3, 0x30161, 0x51EF, 0xFA00, kMain_3_1_61),
    Row(4, 0x30161, 0x3704, 0xEE00, kAux_3_1_61),
    // Never found by type: rows 3 and 4 come first.
    Row(3, 0x30161, 0x51EF, 0xFA00, kMain_3_1_61_b),
    Row(4, 0x30161, 0x3704, 0xEE00, kAux_3_1_61_b),
    // One image serves both of these types.
    Row(6, 0x30161, 0x51EF, 0xF980, kLarge_3_1_61),
    Row(5, 0x30161, 0x51EF, 0xF980, kLarge_3_1_61),
}};

namespace {

constexpr bool EveryStoredChecksumMatches()
{
    for (const FirmwareBinary& row : firmware_binaries) {
        if (FirmwareChecksum(row.Bytes()) != row.checksum) {
            return false;
        }
    }
    return true;
}

// A row paired with the wrong image stops the build here rather than at the
// self-test.
static_assert(EveryStoredChecksumMatches());

}  // namespace

constexpr std::array<BootloaderModelRequirement, 25> bootloader_model_requirements = {{
    // camera model id, bootloader type, minimum bootloader version
    // "JR" family: main bootloader type 1.
    {0x0811, 1, 0x30101},
    {0x0812, 1, 0x30101},
    {0x0813, 1, 0x30101},
    {0x0814, 1, 0x30101},
    {0x0815, 1, 0x30101},
    {0x0816, 1, 0x30101},
    {0x0821, 1, 0x30101},
    {0x0822, 1, 0x30101},
    {0x0823, 1, 0x30101},
    {0x0824, 1, 0x30101},
    {0x0831, 1, 0x30101},
    {0x0832, 1, 0x30101},
    // "JV" family: main bootloader type 3.
    {0x0911, 3, 0x30161},
    {0x0912, 3, 0x30161},
    {0x0913, 3, 0x30161},
    {0x0914, 3, 0x30161},
    {0x0915, 3, 0x30161},
    {0x0921, 3, 0x30161},
    {0x0922, 3, 0x30161},
    {0x0923, 3, 0x30161},
    {0x0924, 3, 0x30161},
    {0x0941, 3, 0x30161},
    {0x0942, 3, 0x30161},
    // The two "JV" models with the larger bootloader: type 5.
    {0x0951, 5, 0x30161},
    {0x0952, 5, 0x30161},
}};

bool BootloaderRequirements::IsUpgradeOfBootloaderNeeded() const
{
    // Writing a bootloader is switched off in this program: the images stay
    // in the static data and no camera's bootloader is touched.
    std::printf("Bootloader updating is disabled. Not needed.\n");
    return false;
}

const FirmwareBinary& BootloaderRequirements::FindFirmwareBinary(uint32_t type)
{
    for (const FirmwareBinary& row : firmware_binaries) {
        if (row.type == type) {
            return row;
        }
    }
    throw UpdaterError("Firmware binary not found for given type");
}

void BootloaderRequirements::VerifyFirmwareBinaries()
{
    VerifyFirmwareBinaries(firmware_binaries);
}

void BootloaderRequirements::VerifyFirmwareBinaries(std::span<const FirmwareBinary> table)
{
    int good = 0;
    for (const FirmwareBinary& row : table) {
        const uint16_t computed = FirmwareChecksum(row.Bytes());
        if (computed != row.checksum) {
            std::printf(
                "Checksum of firmware type %d, version 0x%04x calculated 0x%04x is different than real binary\n",
                static_cast<int>(row.type), static_cast<unsigned>(row.version), static_cast<unsigned>(computed));
            throw UpdaterError(
                "Firmware checksum error. Please update version and cheksum in structure firmware_binaries");
        }
        ++good;
    }
    std::printf("Checksum of all %d firmwares are OK\n", good);
}
