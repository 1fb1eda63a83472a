#pragma once

// Fixtures of the data upgrade tests: images built from a version's default
// pages with a few fields changed, a working directory of the test's own for
// the backups, and a fixed backup clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "calib_upgrade.h"
#include "test_support.h"

namespace upgrade_test {

// A field value a test writes into a page: the `occurrence`-th record of that
// name (names repeat in some tables).
struct Edit {
    uint32_t page;
    const char* field;
    int32_t value;
    size_t occurrence = 0;
};

inline UnpackedField& FieldOf(SensorModePage& page, const std::string& name, size_t occurrence = 0)
{
    for (UnpackedField& field : page.Unpacked()) {
        if (field.flags == 0 || field.name == nullptr || name != field.name) {
            continue;
        }
        if (occurrence == 0) {
            return field;
        }
        --occurrence;
    }
    throw std::runtime_error("no field '" + name + "' in the page");
}

inline std::vector<int32_t> Values(const SensorModePage& page)
{
    std::vector<int32_t> values;
    for (const UnpackedField& field : page.Unpacked()) {
        values.push_back(field.value);
    }
    return values;
}

// The default pages of a definition row, unpacked.
inline SensorModePageList DefaultPages(size_t row, const char* model)
{
    CdsDefinition def = CdsDefinitionTable()[row];
    SensorModePageList pages;
    CalibDataStructureConverter::LoadAndUnpackDstModeDefaults(model, &def, &pages);
    return pages;
}

// A whole image of a row's version: its default pages with the edits
// applied, packed with the row's layout; a partition table with the row's
// versions; 0xFF elsewhere.
inline std::vector<uint8_t> BuildImage(size_t row, const char* model, std::span<const Edit> edits = {})
{
    const CdsDefinition& def = CdsDefinitionTable()[row];
    SensorModePageList pages = DefaultPages(row, model);
    for (const Edit& edit : edits) {
        FieldOf(*pages.at(edit.page), edit.field, edit.occurrence).value = edit.value;
    }
    std::vector<uint8_t> image(0x10000, 0xFF);
    for (uint32_t p = 0; p < def.pages_count; ++p) {
        def.Pack(std::span<uint8_t>(image).subspan(static_cast<size_t>(p) * def.page_size, def.page_size),
                 pages[p]->Unpacked());
    }
    CalibDataStructureConverter table;
    table.CreatePartitionTable();
    table.SetCalibrationDataStructureVersion(def.eeprom_struct_ver);
    table.SetCameraModeDefaultsVersion(def.mode_defaults_ver);
    table.GetRawData(image.data() + 0xFE00, 0x100, CdsDataType::PartitionTable);
    return image;
}

// A converter holding the image, its pages unpacked.
inline void Load(CalibDataStructureConverter& converter, const char* model, const char* cpu, const char* newCpu,
                 const std::vector<uint8_t>& image)
{
    converter.SetCameraModel(model);
    converter.SetCpuFirmwareVersion(cpu);
    converter.SetNewCpuFirmwareVersion(newCpu);
    converter.SetRawData(image.data(), static_cast<uint32_t>(image.size()), CdsDataType::WholeImage);
    converter.UnpackSensorModesData();
}

inline std::vector<uint8_t> WholeImage(CalibDataStructureConverter& converter)
{
    std::vector<uint8_t> image(0x10000);
    converter.GetRawData(image.data(), 0x10000, CdsDataType::WholeImage);
    return image;
}

// The time every backup of these tests is stamped with.
inline constexpr const char* kStamp = "2024_03_05_07_08_09";

// Runs each test in a directory of its own (backups go to the working
// directory) with the fixed backup clock.
class UpgradeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(std::filesystem::path(dir_.File("")));
        SetCdsBackupClock([] {
            std::tm time{};
            time.tm_year = 2024 - 1900;
            time.tm_mon = 2;
            time.tm_mday = 5;
            time.tm_hour = 7;
            time.tm_min = 8;
            time.tm_sec = 9;
            return time;
        });
    }
    void TearDown() override
    {
        SetCdsBackupClock(nullptr);
        std::filesystem::current_path(previous_);
    }

    static std::string BackupName(const std::string& model, int structVersion, int defaultsVersion)
    {
        char versions[16];
        std::snprintf(versions, sizeof versions, "_V%02d.%02d.bin", structVersion, defaultsVersion);
        return std::string(kStamp) + "_" + model + versions;
    }

    static std::string BackupPath(const std::string& name) { return std::string(kCdsBackupDirectory) + "/" + name; }

    // The files in the backup directory, sorted by name.
    static std::vector<std::string> Backups()
    {
        std::vector<std::string> names;
        if (!std::filesystem::exists(kCdsBackupDirectory)) {
            return names;
        }
        for (const auto& entry : std::filesystem::directory_iterator(kCdsBackupDirectory)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    calib_test::TempDir dir_;
    std::filesystem::path previous_;
};

}  // namespace upgrade_test
