#include "bootloader_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "updater_error.h"

namespace {

// The checksum written the other way round: the byte at distance d from the
// end lands shifted left by d, everything beyond 16 bits is lost.
uint16_t ReferenceChecksum(std::span<const uint8_t> bytes)
{
    uint32_t c = 0;
    const size_t n = bytes.size();
    for (size_t d = 0; d < 16 && d < n; ++d) {
        c ^= uint32_t{bytes[n - 1 - d]} << d;
    }
    return static_cast<uint16_t>(c);
}

bool IsAuxiliary(uint32_t type)
{
    return type == 2 || type == 4;
}

std::string DottedVersion(uint32_t version)
{
    char text[32];
    std::snprintf(text, sizeof text, "%x.%x.%02x", (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
    return text;
}

// Position of text in bytes, or npos.
size_t Find(std::span<const uint8_t> bytes, const std::string& text)
{
    const auto it = std::search(bytes.begin(), bytes.end(), text.begin(), text.end(),
                                [](uint8_t b, char c) { return b == static_cast<uint8_t>(c); });
    return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}

struct VerifyOutcome {
    std::string printed;
    std::string error;  // empty when the verification passed
};

VerifyOutcome Verify(std::span<const FirmwareBinary> table)
{
    VerifyOutcome outcome;
    testing::internal::CaptureStdout();
    try {
        BootloaderRequirements::VerifyFirmwareBinaries(table);
    } catch (const UpdaterError& e) {
        outcome.error = e.what();
    }
    outcome.printed = testing::internal::GetCapturedStdout();
    return outcome;
}

// A copy of the table whose images are owned by the copy, so a test can
// change bytes without touching the program's static data.
struct TableCopy {
    std::vector<std::vector<uint8_t>> images;
    std::vector<FirmwareBinary> rows;

    TableCopy()
    {
        for (const FirmwareBinary& row : firmware_binaries) {
            images.emplace_back(row.Bytes().begin(), row.Bytes().end());
        }
        for (size_t i = 0; i < firmware_binaries.size(); ++i) {
            FirmwareBinary row = firmware_binaries[i];
            row.image = images[i].data();
            rows.push_back(row);
        }
    }
};

const char kChecksumError[] =
    "Firmware checksum error. Please update version and cheksum in structure firmware_binaries";

std::string MismatchLine(const FirmwareBinary& row, uint16_t computed)
{
    char line[160];
    std::snprintf(line, sizeof line,
                  "Checksum of firmware type %d, version 0x%04x calculated 0x%04x is different than real binary\n",
                  static_cast<int>(row.type), static_cast<unsigned>(row.version), static_cast<unsigned>(computed));
    return line;
}

TEST(FirmwareChecksum, OnlyTheLastSixteenBytesCount)
{
    struct Case {
        std::vector<uint8_t> bytes;
        uint16_t expected;
    };
    const Case cases[] = {
        {{}, 0x0000},
        {{0xA5}, 0x00A5},
        {{0x01, 0x00}, 0x0002},
        {{0xFF, 0xFF}, 0x0101},  // 0x1FE ^ 0xFF
        // A byte 15 places from the end keeps only its lowest bit.
        {{0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x8000},
        // 16 places and more: gone.
        {{0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x0000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FirmwareChecksum(c.bytes), c.expected) << c.bytes.size() << " bytes";
    }

    std::mt19937 random(7);
    for (size_t size : {1u, 15u, 16u, 17u, 511u, 639u}) {
        std::vector<uint8_t> bytes(size);
        for (auto& b : bytes) {
            b = static_cast<uint8_t>(random());
        }
        EXPECT_EQ(FirmwareChecksum(bytes), ReferenceChecksum(bytes)) << size << " bytes";
    }
}

TEST(FirmwareBinaries, RowsInTheirFixedOrder)
{
    struct Expected {
        uint32_t type, version;
        uint16_t checksum;
        uint32_t offset, size;
    };
    const Expected expected[] = {
        {1, 0x30101, 0x52EF, 0xFA00, 511}, {2, 0x30101, 0x37C4, 0xEE00, 512}, {3, 0x30161, 0x51EF, 0xFA00, 511},
        {4, 0x30161, 0x3704, 0xEE00, 512}, {3, 0x30161, 0x51EF, 0xFA00, 511}, {4, 0x30161, 0x3704, 0xEE00, 512},
        {6, 0x30161, 0x51EF, 0xF980, 639}, {5, 0x30161, 0x51EF, 0xF980, 639},
    };
    ASSERT_EQ(firmware_binaries.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const FirmwareBinary& row = firmware_binaries[i];
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(row.type, expected[i].type);
        EXPECT_EQ(row.version, expected[i].version);
        EXPECT_EQ(row.checksum, expected[i].checksum);
        EXPECT_EQ(row.offset, expected[i].offset);
        EXPECT_EQ(row.size, expected[i].size);
        ASSERT_NE(row.image, nullptr);
    }
}

TEST(FirmwareBinaries, EveryImageCarriesItsChecksumTagAndTail)
{
    for (size_t i = 0; i < firmware_binaries.size(); ++i) {
        const FirmwareBinary& row = firmware_binaries[i];
        SCOPED_TRACE("row " + std::to_string(i + 1));
        const std::span<const uint8_t> bytes = row.Bytes();
        ASSERT_EQ(bytes.size(), row.size);

        EXPECT_EQ(ReferenceChecksum(bytes), row.checksum);

        const std::string tag = (IsAuxiliary(row.type) ? "AuxBL:" : "BL:") + DottedVersion(row.version);
        const size_t at = Find(bytes, tag);
        ASSERT_NE(at, std::string::npos) << tag;
        // Near the end: just before the bytes that make the checksum.
        EXPECT_GE(at + tag.size(), bytes.size() - 32) << tag;
        if (!IsAuxiliary(row.type)) {
            EXPECT_EQ(Find(bytes, "AuxBL:"), std::string::npos);
        }

        if (IsAuxiliary(row.type)) {
            EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 3, bytes.end()), (std::vector<uint8_t>{0x02, 0xEE, 0x00}));
        } else {
            EXPECT_EQ(bytes.back(), 0xA5);
        }
    }
    // Spot-check the version spelling against the texts cameras report.
    EXPECT_NE(Find(firmware_binaries[0].Bytes(), "BL:3.1.01"), std::string::npos);
    EXPECT_NE(Find(firmware_binaries[3].Bytes(), "AuxBL:3.1.61"), std::string::npos);
}

TEST(FirmwareBinaries, SharedAndDistinctImages)
{
    const auto& row3 = firmware_binaries[2];
    const auto& row5 = firmware_binaries[4];
    EXPECT_EQ(row3.checksum, row5.checksum);
    EXPECT_FALSE(std::ranges::equal(row3.Bytes(), row5.Bytes())) << "rows 3 and 5 must hold different images";

    const auto& row7 = firmware_binaries[6];
    const auto& row8 = firmware_binaries[7];
    EXPECT_TRUE(std::ranges::equal(row7.Bytes(), row8.Bytes())) << "rows 7 and 8 hold one image";
    EXPECT_NE(row7.type, row8.type);

    // Apart from those two rows every image is its own.
    for (size_t i = 0; i < firmware_binaries.size(); ++i) {
        for (size_t j = i + 1; j < firmware_binaries.size(); ++j) {
            if (i == 6 && j == 7) {
                continue;
            }
            EXPECT_FALSE(std::ranges::equal(firmware_binaries[i].Bytes(), firmware_binaries[j].Bytes()))
                << "rows " << i + 1 << " and " << j + 1;
        }
    }
}

TEST(FindFirmwareBinary, FirstRowOfTheType)
{
    const struct {
        uint32_t type;
        size_t row;  // index into firmware_binaries
    } cases[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 7}, {6, 6}};
    for (const auto& c : cases) {
        EXPECT_EQ(&BootloaderRequirements::FindFirmwareBinary(c.type), &firmware_binaries[c.row]) << "type " << c.type;
    }
}

TEST(FindFirmwareBinary, UnknownTypeIsRefused)
{
    for (uint32_t type : {0u, 7u, 0xFFFFFFFFu}) {
        try {
            BootloaderRequirements::FindFirmwareBinary(type);
            ADD_FAILURE() << "type " << type << " was found";
        } catch (const UpdaterError& e) {
            EXPECT_STREQ(e.what(), "Firmware binary not found for given type");
        }
    }
}

TEST(VerifyFirmwareBinaries, StoredTablePasses)
{
    testing::internal::CaptureStdout();
    BootloaderRequirements().VerifyFirmwareBinaries();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Checksum of all 8 firmwares are OK\n");

    const VerifyOutcome copy = Verify(TableCopy().rows);
    EXPECT_EQ(copy.error, "");
    EXPECT_EQ(copy.printed, "Checksum of all 8 firmwares are OK\n");
}

TEST(VerifyFirmwareBinaries, AnyChangeInTheLastSixteenBytesIsCaught)
{
    for (size_t r = 0; r < firmware_binaries.size(); ++r) {
        const uint32_t size = firmware_binaries[r].size;
        for (uint32_t pos = size - 16; pos < size; ++pos) {
            TableCopy table;
            table.images[r][pos] ^= 0x01;
            const uint16_t computed = FirmwareChecksum(table.images[r]);
            const VerifyOutcome outcome = Verify(table.rows);
            SCOPED_TRACE("row " + std::to_string(r + 1) + ", byte " + std::to_string(pos));
            EXPECT_EQ(outcome.error, kChecksumError);
            // Fails at that record: earlier rows pass silently, no summary line.
            EXPECT_EQ(outcome.printed, MismatchLine(table.rows[r], computed));
        }
    }
}

TEST(VerifyFirmwareBinaries, EarlierBytesAreNotSeen)
{
    // The checksum's known blind spot: bytes before the last 16 never count.
    for (size_t r = 0; r < firmware_binaries.size(); ++r) {
        const uint32_t size = firmware_binaries[r].size;
        for (uint32_t pos : {0u, size / 2, size - 17}) {
            TableCopy table;
            table.images[r][pos] ^= 0xFF;
            EXPECT_EQ(Verify(table.rows).error, "") << "row " << r + 1 << ", byte " << pos;
        }
    }
}

TEST(VerifyFirmwareBinaries, StopsAtTheFirstBadRecord)
{
    TableCopy table;
    table.rows[1].checksum ^= 0x0100;  // type 2
    table.rows[6].checksum ^= 0x0001;  // type 6
    const VerifyOutcome outcome = Verify(table.rows);
    EXPECT_EQ(outcome.error, kChecksumError);
    EXPECT_EQ(outcome.printed,
              "Checksum of firmware type 2, version 0x30101 calculated 0x37c4 is different than real binary\n");
}

TEST(VerifyFirmwareBinaries, RecordWithoutBytesFailsCleanly)
{
    TableCopy table;
    table.rows[0].image = nullptr;  // size stays 511
    const VerifyOutcome outcome = Verify(table.rows);
    EXPECT_EQ(outcome.error, kChecksumError);
    EXPECT_EQ(outcome.printed,
              "Checksum of firmware type 1, version 0x30101 calculated 0x0000 is different than real binary\n");

    EXPECT_EQ(Verify({}).printed, "Checksum of all 0 firmwares are OK\n");
}

TEST(BootloaderRequirements, StartsWithTypeOneAndNothingRead)
{
    const BootloaderRequirements r;
    EXPECT_EQ(r.CurrentBootloaderVersion(), 0u);
    EXPECT_EQ(r.CurrentAuxBootloaderVersion(), 0u);
    EXPECT_EQ(r.BootloaderType(), 1u);
    EXPECT_EQ(r.CameraModelId(), 0u);
}

TEST(BootloaderRequirements, UpgradeIsNeverNeeded)
{
    const struct {
        uint32_t version, aux, type, model;
    } records[] = {
        {0, 0, 1, 0},      // nothing known about the camera
        {1, 0, 1, 0x932},  // a model id no camera has
        {1, 0, 3, 0x932},
        {0x30161, 0, 3, 0x0911},        // already up to date
        {0x30001, 0x30001, 1, 0x0811},  // older than the embedded image
    };
    for (const auto& rec : records) {
        BootloaderRequirements r;
        r.SetCurrentBootloaderVersion(rec.version);
        r.SetCurrentAuxBootloaderVersion(rec.aux);
        r.SetBootloaderType(rec.type);
        r.SetCameraModelId(rec.model);
        testing::internal::CaptureStdout();
        bool needed = true;
        EXPECT_NO_THROW(needed = r.IsUpgradeOfBootloaderNeeded());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Bootloader updating is disabled. Not needed.\n");
        EXPECT_FALSE(needed) << "model 0x" << std::hex << rec.model;
    }
}

TEST(BootloaderModelRequirements, EveryModelNamesAnImageThatSatisfiesIt)
{
    ASSERT_EQ(bootloader_model_requirements.size(), 25u);
    std::set<uint32_t> ids;
    for (const BootloaderModelRequirement& m : bootloader_model_requirements) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%04X", static_cast<unsigned>(m.camera_model_id));
        SCOPED_TRACE(std::string("model ") + id);
        EXPECT_TRUE(ids.insert(m.camera_model_id).second) << "listed twice";
        // 0 means "model unknown" and 0x932 is the self-test's invalid model.
        EXPECT_NE(m.camera_model_id, 0u);
        EXPECT_NE(m.camera_model_id, 0x932u);
        EXPECT_FALSE(IsAuxiliary(m.bootloader_type)) << "a model asks for a main bootloader";
        const FirmwareBinary* image = nullptr;
        EXPECT_NO_THROW(image = &BootloaderRequirements::FindFirmwareBinary(m.bootloader_type));
        if (image != nullptr) {
            // An update with the embedded image must be able to meet the minimum.
            EXPECT_LE(m.min_bootloader_version, image->version);
        }
    }
}

}  // namespace
