#include <gtest/gtest.h>

#include <vector>

#include "calib_data_structure_converter.h"
#include "test_support.h"

using calib_test::ErrorText;
using calib_test::ReadFile;
using calib_test::TempDir;
using calib_test::WriteFile;

namespace {

std::vector<uint8_t> PartitionRegion(CalibDataStructureConverter& converter)
{
    std::vector<uint8_t> region(256);
    converter.GetRawData(region.data(), 256, CdsDataType::PartitionTable);
    return region;
}

// A converter with model and CPU versions set; its version bytes are those
// of the CPU range's newest definition.
void Prepare(CalibDataStructureConverter& converter, const char* model, const char* cpu)
{
    converter.SetCameraModel(model);
    converter.SetCpuFirmwareVersion(cpu);
    converter.SetNewCpuFirmwareVersion(cpu);
}

TEST(PartitionTable, FreshTableMatchesTheLayoutByteForByte)
{
    CalibDataStructureConverter converter;
    converter.CreatePartitionTable();
    // clang-format off
    std::vector<uint8_t> expected(256, 0xFF);  // bytes 180-255 keep the fresh image's 0xFF
    const std::vector<uint8_t> table = {
        0xCA, 0x1B,                          // magic
        0, 0, 0, 0,
        180, 0,                              // tableSize
        3, 0,                                // entryCount
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0,                                   // 42: updateInProgress
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0xFF, 0xFF, 0, 0,  // 108: camera modes (0, 0x4000)
        0x00, 0xFE, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0, 0,  // 120: partition table
        0x00, 0xFF, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0, 0,  // 132: third region
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    };
    // clang-format on
    ASSERT_EQ(table.size(), 180u);
    std::copy(table.begin(), table.end(), expected.begin());
    EXPECT_EQ(PartitionRegion(converter), expected);
}

TEST(PartitionTable, ValidityFollowsTheMagic)
{
    CalibDataStructureConverter converter;
    EXPECT_EQ(ErrorText([&] { converter.IsPartitionTableValid(); }), "GetRawData - Data cache was not allocated");
    converter.AllocateCacheIfNeeded();
    EXPECT_FALSE(converter.IsPartitionTableValid());
    converter.CreatePartitionTable();
    EXPECT_TRUE(converter.IsPartitionTableValid());
    EXPECT_EQ(converter.GetUpdateInProgressFlag(), 0);
    uint8_t s = 9;
    uint8_t d = 9;
    converter.GetCalibrationDataStructureVersion(&s);
    converter.GetCameraModeDefaultsVersion(&d);
    EXPECT_EQ(s, 9) << "a new table holds undefined versions";
    EXPECT_EQ(d, 9);
}

TEST(VersionBytes, CalibDataVersionTextGoesIntoTheTable)
{
    CalibDataStructureConverter converter;
    EXPECT_EQ(ErrorText([&] { converter.SetCameraCalibDataVersion("03.05"); }),
              "SetCameraCalibDataVersion - Raw data cache not allocated");
    converter.CreatePartitionTable();
    converter.SetCameraCalibDataVersion("03.05");
    auto region = PartitionRegion(converter);
    EXPECT_EQ(region[116], 3);
    EXPECT_EQ(region[117], 5);
    converter.SetCameraCalibDataVersion("..2..1..");
    region = PartitionRegion(converter);
    EXPECT_EQ(region[116], 2);
    EXPECT_EQ(region[117], 1);
    EXPECT_EQ(ErrorText([&] { converter.SetCameraCalibDataVersion(nullptr); }),
              "SetCameraCalibDataVersion - Version is null");
}

TEST(VersionBytes, SplitNeedsExactlyTwoNumbersOfOneByte)
{
    uint8_t a = 0;
    uint8_t b = 0;
    for (const char* text : {"3", "3.5.1", "..."}) {
        EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::SplitVersionString(text, &a, &b); }),
                  std::string("SetCameraDataVersion - Version string does not contain major/minor definition (") +
                      text + ")");
    }
    // An empty detail adds nothing to the text.
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::SplitVersionString("", &a, &b); }),
              "SetCameraDataVersion - Version string does not contain major/minor definition");
    for (const char* text : {"256.1", "02.300", "-1.2"}) {
        EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::SplitVersionString(text, &a, &b); }),
                  std::string("SplitVersionString ERROR - Version number is out of range 0-255 (") + text + ")");
    }
    CalibDataStructureConverter::SplitVersionString("02.01", &a, &b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
    CalibDataStructureConverter::SplitVersionString("x.255", &a, &b);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 255);
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::SplitVersionString(nullptr, &a, &b); }),
              "SplitVersionString ERROR - Invalid version string");
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::SplitVersionString("1.2", nullptr, &b); }),
              "SplitVersionString ERROR - Invalid major version pointer");
    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::SplitVersionString("1.2", &a, nullptr); }),
              "SplitVersionString ERROR - Invalid minor version pointer");
}

TEST(VersionBytes, OperationsNeedAnImage)
{
    CalibDataStructureConverter converter;
    uint8_t v = 0;
    EXPECT_EQ(ErrorText([&] { converter.GetCalibrationDataStructureVersion(&v); }),
              "GetCalibrationDataStructureVersion - Raw data cache not allocated");
    EXPECT_EQ(ErrorText([&] { converter.SetCameraModeDefaultsVersion(1); }),
              "SetCameraModeDefaultsVersion - Raw data cache not allocated");
    EXPECT_EQ(ErrorText([&] { converter.GetUpdateInProgressFlag(); }),
              "GetUpdateInProgressFlag - Raw data cache not allocated");
    EXPECT_EQ(ErrorText([&] { converter.SetUpdateInProgressFlag(1); }),
              "SetUpdateInProgressFlag - Raw data cache not allocated");
}

TEST(VersionBytes, UpdateFlagReadsFFAsZero)
{
    CalibDataStructureConverter converter;
    converter.CreatePartitionTable();
    converter.SetUpdateInProgressFlag(1);
    EXPECT_EQ(converter.GetUpdateInProgressFlag(), 1);
    EXPECT_EQ(PartitionRegion(converter)[42], 1);
    converter.SetUpdateInProgressFlag(0xFF);
    EXPECT_EQ(converter.GetUpdateInProgressFlag(), 0);
}

// TestCam02 V2.0 and V2.1 share their geometry; their default pages differ
// in page 2 "375 SAMP_READ_EN" (record 4), which tells the two apart.
int32_t DefaultSampReadEn(CalibDataStructureConverter& converter)
{
    converter.UnpackSensorModesDefaultsData();
    return converter.SensorModes()[2]->Unpacked()[4].value;
}

TEST(VersionBytes, DefinedBytesOfTheTableReachTheConverter)
{
    CalibDataStructureConverter converter;
    Prepare(converter, "TestCam02", "02.00");  // 2 / 1
    converter.CreatePartitionTable();
    EXPECT_EQ(DefaultSampReadEn(converter), 1);

    // A data-structure byte of 0 leaves the converter's byte; a mode-defaults
    // byte of 0 is a version and is taken.
    std::vector<uint8_t> table(180);
    converter.GetRawData(table.data(), 180, CdsDataType::PartitionTable);
    table[116] = 0;
    table[117] = 0;
    converter.SetRawData(table.data(), 180, CdsDataType::PartitionTable);
    EXPECT_EQ(converter.GetPackedPagesCount(), 128u) << "still data-structure version 2";
    EXPECT_EQ(DefaultSampReadEn(converter), 0) << "now mode-defaults version 0";

    // 0xFF means not defined: nothing changes.
    table[117] = 0xFF;
    converter.SetRawData(table.data(), 180, CdsDataType::PartitionTable);
    EXPECT_EQ(DefaultSampReadEn(converter), 0);

    // The setters reach the converter even with values the re-read skips.
    converter.SetCameraModeDefaultsVersion(1);
    EXPECT_EQ(DefaultSampReadEn(converter), 1);
    converter.SetCalibrationDataStructureVersion(0);
    EXPECT_EQ(ErrorText([&] { converter.GetPackedPagesCount(); }),
              "GetPackedPagesCount - EEPROM data structure is not defined");
}

TEST(Regions, SelectorsAndTheirSizes)
{
    CalibDataStructureConverter converter;
    uint32_t offset = 1;
    uint32_t size = 1;
    converter.GetDataTypeDescription(CdsDataType::WholeImage, &offset, &size);
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(size, 0x10000u);
    converter.GetDataTypeDescription(CdsDataType::CameraModesAndPartition, &offset, &size);
    EXPECT_EQ(size, 0xFF00u);
    converter.GetDataTypeDescription(CdsDataType::PartitionTable, &offset, &size);
    EXPECT_EQ(offset, 0xFE00u);
    EXPECT_EQ(size, 0x100u);
    converter.GetDataTypeDescription(CdsDataType::CameraModesTable, &offset, &size);
    EXPECT_EQ(size, 0x4000u) << "without a definition";

    // The pages region follows the definition: 64 pages of 512 bytes.
    Prepare(converter, "JV285VT-TD", "03.50");
    converter.GetDataTypeDescription(CdsDataType::CameraModesTable, &offset, &size);
    EXPECT_EQ(size, 0x8000u);
    PartitionInfo info;
    converter.GetCameraModesTableDataInfo(&info);
    EXPECT_EQ(info.size, 0x8000u);

    EXPECT_EQ(ErrorText([&] { converter.GetDataTypeDescription(static_cast<CdsDataType>(5), &offset, &size); }),
              "GetDataTypeDescription - Unknown data type selected (5)");
    EXPECT_EQ(ErrorText([&] { converter.GetDataTypeDescription(CdsDataType::WholeImage, nullptr, &size); }),
              "GetDataTypeDescription - Partition base is null");
    EXPECT_EQ(ErrorText([&] { converter.GetDataTypeDescription(CdsDataType::WholeImage, &offset, nullptr); }),
              "GetDataTypeDescription - Partition size is null");
    EXPECT_EQ(ErrorText([] { CalibDataStructureConverter::GetWholeEepromDataInfo(nullptr); }),
              "GetWholeEepromDataInfo - Partition info is null");
    EXPECT_EQ(ErrorText([&] { converter.GetCameraModesTableDataInfo(nullptr); }),
              "GetCameraModesTableDataInfo - Partition info is null");
}

TEST(RawData, RegionsTakeAtMostTheirOwnSize)
{
    CalibDataStructureConverter converter;
    std::vector<uint8_t> data(0x8001, 0);
    EXPECT_EQ(ErrorText([&] { converter.SetRawData(data.data(), 0x4001, CdsDataType::PartitionTable); }),
              "SetRawData - unexpected data size - current 16385, expected 256");
    EXPECT_EQ(ErrorText([&] { converter.SetRawData(nullptr, 1, CdsDataType::WholeImage); }),
              "SetRawData - Data pointer is null");
    EXPECT_EQ(ErrorText([&] { converter.SetRawData(data.data(), 0, CdsDataType::WholeImage); }),
              "SetRawData - Data size is zero");

    Prepare(converter, "TestCam02", "02.00");
    EXPECT_EQ(ErrorText([&] { converter.SetRawData(data.data(), 0x4001, CdsDataType::CameraModesTable); }),
              "SetRawData - unexpected data size - current 16385, expected 16384");

    CalibDataStructureConverter jv285;
    Prepare(jv285, "JV285VT-TD", "03.50");
    EXPECT_EQ(ErrorText([&] { jv285.SetRawData(data.data(), 0x8001, CdsDataType::CameraModesTable); }),
              "SetRawData - unexpected data size - current 32769, expected 32768");
    // All 64 pages of 512 bytes go in; none is dropped.
    std::vector<uint8_t> pages(0x8000, 0x11);
    jv285.SetRawData(pages.data(), 0x8000, CdsDataType::CameraModesTable);
    ASSERT_EQ(jv285.SensorModes().size(), 64u);
    EXPECT_EQ(jv285.SensorModes()[63]->Packed()[511], 0x11);
}

TEST(RawData, GetChecksItsArguments)
{
    CalibDataStructureConverter converter;
    uint8_t byte = 0;
    EXPECT_EQ(ErrorText([&] { converter.GetRawData(nullptr, 1, CdsDataType::PartitionTable); }),
              "GetRawData - Data buffer is null");
    EXPECT_EQ(ErrorText([&] { converter.GetRawData(&byte, 0, CdsDataType::PartitionTable); }),
              "GetRawData - Data size is zero");
    converter.AllocateCacheIfNeeded();
    std::vector<uint8_t> big(0x101);
    EXPECT_EQ(ErrorText([&] { converter.GetRawData(big.data(), 0x201, CdsDataType::PartitionTable); }),
              "GetRawData - New data are out of bounds of camera memory space (65537 is bigger than 65536)");
}

TEST(RawData, FilesLoadIntoTheirRegion)
{
    TempDir dir;
    CalibDataStructureConverter converter;
    Prepare(converter, "TestCam02", "02.00");
    converter.CreatePartitionTable();
    converter.UnpackSensorModesDefaultsData();
    converter.SaveSensorModes();
    const std::string whole = dir.File("whole.bin");
    converter.WriteRawData(whole.c_str(), CdsDataType::WholeImage);
    std::vector<uint8_t> image = ReadFile(whole);
    ASSERT_EQ(image.size(), 0x10000u);

    // 0xFF00 bytes: pages and partition table.
    const std::string modes = dir.File("modes.bin");
    WriteFile(modes, std::vector<uint8_t>(image.begin(), image.begin() + 0xFF00));
    CalibDataStructureConverter second;
    Prepare(second, "TestCam02", "02.00");
    second.ReadRawData(modes.c_str(), CdsDataType::CameraModesAndPartition);
    EXPECT_TRUE(second.IsPartitionTableValid());
    EXPECT_EQ(second.SensorModes().size(), 128u);
    EXPECT_EQ(ErrorText([&] { second.ReadRawData(modes.c_str(), CdsDataType::CameraModesTable); }),
              "ReadRawData - Failed to open file (expected 16384, read 65280)");

    // A shorter file fills the start of the region only.
    const std::string small = dir.File("small.bin");
    WriteFile(small, std::vector<uint8_t>(0x100, 0x42));
    CalibDataStructureConverter third;
    Prepare(third, "TestCam02", "02.00");
    third.ReadRawData(small.c_str(), CdsDataType::WholeImage);
    std::vector<uint8_t> after(0x10000);
    third.GetRawData(after.data(), 0x10000, CdsDataType::WholeImage);
    EXPECT_EQ(after[0xFF], 0x42);
    EXPECT_EQ(after[0x100], 0xFF);

    EXPECT_EQ(ErrorText([&] { third.ReadRawData(nullptr, CdsDataType::WholeImage); }),
              "ReadRawData - File name is not defined");
    const std::string missing = dir.File("missing.bin");
    EXPECT_EQ(ErrorText([&] { third.ReadRawData(missing.c_str(), CdsDataType::WholeImage); }),
              "ReadRawData - Failed to open file (" + missing + ")");
}

TEST(RawData, FilesHoldTheWholeRegion)
{
    TempDir dir;
    CalibDataStructureConverter converter;
    EXPECT_EQ(ErrorText([&] { converter.WriteRawData("x", CdsDataType::WholeImage); }),
              "WriteRawData - Data cache was not allocated");
    EXPECT_EQ(ErrorText([&] { converter.WriteRawData(nullptr, CdsDataType::WholeImage); }),
              "WriteRawData - Data file is not defined");
    converter.CreatePartitionTable();
    const std::string table = dir.File("table.bin");
    converter.WriteRawData(table.c_str(), CdsDataType::PartitionTable);
    EXPECT_EQ(ReadFile(table), PartitionRegion(converter)) << "the table and the 76 bytes after it";

    const std::string blocked = dir.File("no/such/dir/x.bin");
    EXPECT_EQ(ErrorText([&] { converter.WriteRawData(blocked.c_str(), CdsDataType::PartitionTable); }),
              "WriteRawData - Failed to open file (" + blocked + ")");
}

TEST(RawData, JV285PagesKeepAllSixtyFourPagesInFiles)
{
    TempDir dir;
    CalibDataStructureConverter converter;
    Prepare(converter, "JV285VT-TD", "03.50");
    converter.UnpackSensorModesDefaultsData();
    converter.AllocateCacheIfNeeded();
    const std::string pages = dir.File("pages.bin");
    converter.WriteRawData(pages.c_str(), CdsDataType::CameraModesTable);
    const std::vector<uint8_t> written = ReadFile(pages);
    ASSERT_EQ(written.size(), 0x8000u);
    const auto image = CdsDefinitionTable()[33].mode_defaults_image->Bytes();
    EXPECT_TRUE(std::equal(written.begin(), written.end(), image.begin()));

    CalibDataStructureConverter reader;
    Prepare(reader, "JV285VT-TD", "03.50");
    reader.ReadRawData(pages.c_str(), CdsDataType::CameraModesTable);
    ASSERT_EQ(reader.SensorModes().size(), 64u);
    EXPECT_TRUE(std::equal(image.begin() + 63 * 512, image.end(), reader.SensorModes()[63]->Packed().begin()));
}

TEST(RawData, FailedWritesAreReported)
{
    CalibDataStructureConverter converter;
    converter.CreatePartitionTable();
    // The device accepts the open and refuses every byte.
    EXPECT_EQ(ErrorText([&] { converter.WriteRawData("/dev/full", CdsDataType::PartitionTable); }),
              "WriteRawData - Failed to write file (/dev/full)");
}

}  // namespace
