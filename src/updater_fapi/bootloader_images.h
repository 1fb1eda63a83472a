#pragma once

#include <array>
#include <cstdint>
#include <span>

// One MCU bootloader image carried in the program's static data.
struct FirmwareBinary {
    // 1, 3, 5 and 6 are main bootloaders; 2 and 4 the auxiliary bootloaders
    // that go with 1 and 3.
    uint32_t type;
    // Its bytes read in hexadecimal give major.minor.build: 0x30161 is 3.1.61.
    uint32_t version;
    // FirmwareChecksum of the image, as the table stores it.
    uint16_t checksum;
    // Where the image belongs in the camera's CPU firmware file.
    uint32_t offset;
    const uint8_t* image;
    uint32_t size;

    constexpr std::span<const uint8_t> Bytes() const
    {
        // A record without bytes has an empty image rather than a bad span.
        return image ? std::span<const uint8_t>(image, size) : std::span<const uint8_t>();
    }
};

// The bootloader images' check value: shift left by one and XOR in the next
// byte, kept to 16 bits. Every shift pushes earlier bytes further out, so only
// the last 16 bytes of an image decide it.
constexpr uint16_t FirmwareChecksum(std::span<const uint8_t> bytes)
{
    uint16_t c = 0;
    for (uint8_t b : bytes) {
        c = static_cast<uint16_t>((c << 1) ^ b);
    }
    return c;
}

// The eight embedded images, in their fixed order. A lookup by type takes the
// first row of that type.
extern const std::array<FirmwareBinary, 8> firmware_binaries;

// The minimum bootloader a camera model wants, kept for the bootloader
// evaluation. The evaluation is switched off in this program, so nothing
// reads the list yet.
struct BootloaderModelRequirement {
    uint32_t camera_model_id;
    uint32_t bootloader_type;
    uint32_t min_bootloader_version;
};

extern const std::array<BootloaderModelRequirement, 25> bootloader_model_requirements;

// The bootloader state of one camera and the decision whether its bootloader
// needs an update.
class BootloaderRequirements {
public:
    BootloaderRequirements() = default;

    // Always answers false after saying so: updating a camera's bootloader is
    // disabled, whatever the record holds.
    bool IsUpgradeOfBootloaderNeeded() const;

    // The first row of firmware_binaries with this type; throws UpdaterError
    // when there is none.
    static const FirmwareBinary& FindFirmwareBinary(uint32_t type);

    // Recomputes the checksum of every image and compares it with the stored
    // one; prints the result and throws UpdaterError at the first mismatch.
    static void VerifyFirmwareBinaries();
    static void VerifyFirmwareBinaries(std::span<const FirmwareBinary> table);

    uint32_t CurrentBootloaderVersion() const { return current_bootloader_version_; }
    uint32_t CurrentAuxBootloaderVersion() const { return current_aux_bootloader_version_; }
    uint32_t BootloaderType() const { return firmware_bootloader_type_; }
    uint32_t CameraModelId() const { return camera_model_id_; }

    void SetCurrentBootloaderVersion(uint32_t version) { current_bootloader_version_ = version; }
    void SetCurrentAuxBootloaderVersion(uint32_t version) { current_aux_bootloader_version_ = version; }
    void SetBootloaderType(uint32_t type) { firmware_bootloader_type_ = type; }
    void SetCameraModelId(uint32_t id) { camera_model_id_ = id; }

private:
    uint32_t current_bootloader_version_ = 0;
    uint32_t current_aux_bootloader_version_ = 0;
    uint32_t firmware_bootloader_type_ = 1;
    uint32_t camera_model_id_ = 0;
};
