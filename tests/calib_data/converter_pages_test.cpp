#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "test_support.h"

using calib_test::DebugCapture;
using calib_test::ErrorText;

namespace {

void Prepare(CalibDataStructureConverter& converter, const char* model, const char* cpu)
{
    converter.SetCameraModel(model);
    converter.SetCpuFirmwareVersion(cpu);
    converter.SetNewCpuFirmwareVersion(cpu);
}

// A whole image: the default pages of the definition, a partition table with
// its versions, 0xFF elsewhere.
std::vector<uint8_t> DefaultImage(size_t row)
{
    const CdsDefinition& def = CdsDefinitionTable()[row];
    std::vector<uint8_t> image(0x10000, 0xFF);
    const auto pages = def.mode_defaults_image->Bytes();
    std::copy(pages.begin(), pages.end(), image.begin());
    CalibDataStructureConverter table;
    table.CreatePartitionTable();
    table.SetCalibrationDataStructureVersion(def.eeprom_struct_ver);
    table.SetCameraModeDefaultsVersion(def.mode_defaults_ver);
    table.GetRawData(image.data() + 0xFE00, 0x100, CdsDataType::PartitionTable);
    return image;
}

std::vector<uint8_t> WholeImage(CalibDataStructureConverter& converter)
{
    std::vector<uint8_t> image(0x10000);
    converter.GetRawData(image.data(), 0x10000, CdsDataType::WholeImage);
    return image;
}

struct ImageCase {
    size_t row;
    const char* model;
    const char* cpu;
};

void PrintTo(const ImageCase& c, std::ostream* os)
{
    *os << c.model << " row " << c.row;
}

class PagesOfAnImage : public ::testing::TestWithParam<ImageCase> {};

TEST_P(PagesOfAnImage, LoadUnpackAndSaveKeepTheImage)
{
    const ImageCase& c = GetParam();
    const CdsDefinition& def = CdsDefinitionTable()[c.row];
    const std::vector<uint8_t> image = DefaultImage(c.row);

    CalibDataStructureConverter converter;
    Prepare(converter, c.model, c.cpu);
    converter.SetRawData(image.data(), 0x10000, CdsDataType::WholeImage);

    const SensorModePageList& pages = converter.SensorModes();
    ASSERT_EQ(pages.size(), def.pages_count);
    EXPECT_EQ(converter.GetPagesCount(), def.pages_count);
    EXPECT_EQ(converter.GetPackedPageSize(), def.page_size);
    for (uint32_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i]->IsPackedOnly(), 1);
        EXPECT_EQ(pages[i]->GetPageIndex(), i);
        ASSERT_TRUE(std::equal(pages[i]->Packed().begin(), pages[i]->Packed().end(),
                               image.begin() + static_cast<ptrdiff_t>(i * def.page_size)));
    }

    converter.UnpackSensorModesData();
    for (const auto& page : pages) {
        ASSERT_EQ(page->IsPackedOnly(), 0);
    }
    const auto fields = def.FieldTable();
    const auto modeId = std::find_if(fields.begin(), fields.end(),
                                     [](const UnpackedField& f) { return std::string(f.name) == "Mode_ID"; });
    ASSERT_NE(modeId, fields.end());
    EXPECT_EQ(pages[3]->Unpacked()[static_cast<size_t>(modeId - fields.begin())].value, 0x5A03);
    converter.SaveSensorModes();
    EXPECT_EQ(WholeImage(converter), image);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PagesOfAnImage,
                         ::testing::Values(ImageCase{5, "TestCam02", "02.00"}, ImageCase{3, "TestCam01", "02.00"},
                                           ImageCase{25, "JR574JK-TD-D0-BSI", "04.00"}, ImageCase{30, "JR825", "04.00"},
                                           ImageCase{33, "JV285VT-TD", "03.50"}));

TEST(Pages, PackClearsTheArraysAndUnpackRestoresThem)
{
    CalibDataStructureConverter converter;
    Prepare(converter, "JR574JK-TD-D0-BSI", "04.00");
    const std::vector<uint8_t> image = DefaultImage(25);
    converter.SetRawData(image.data(), 0x10000, CdsDataType::WholeImage);
    converter.UnpackSensorModesData();
    const int32_t before = converter.SensorModes()[7]->Unpacked()[8].value;  // CNT_TOP
    converter.PackSensorModesData();
    for (const auto& page : converter.SensorModes()) {
        ASSERT_EQ(page->IsPackedOnly(), 1);
        EXPECT_EQ(page->Unpacked()[8].value, 0);
        EXPECT_EQ(page->Unpacked()[8].name, nullptr);
    }
    EXPECT_EQ(WholeImage(converter), image) << "saving packed-only pages copies their bytes";
    converter.UnpackSensorModesData();
    EXPECT_EQ(converter.SensorModes()[7]->Unpacked()[8].value, before);
}

TEST(Pages, EditedValuesReachTheImageWhenSaved)
{
    CalibDataStructureConverter converter;
    Prepare(converter, "TestCam02", "02.00");
    const std::vector<uint8_t> image = DefaultImage(5);
    converter.SetRawData(image.data(), 0x10000, CdsDataType::WholeImage);
    converter.UnpackSensorModesData();
    // Page 1, first bit field (5 bits, the top of the backward stream). The
    // field operations that edit values are not part of this test; the page
    // itself is not const, only the view of the list is.
    const_cast<SensorModePage&>(*converter.SensorModes()[1]).Unpacked()[0].value = 0x1F;
    const std::vector<uint8_t> saved = WholeImage(converter);
    EXPECT_EQ(saved[128 + 127] & 0xF8, 0xF8);
    EXPECT_EQ(converter.SensorModes()[1]->IsPackedOnly(), 1);
    EXPECT_EQ(converter.SensorModes()[1]->Unpacked()[0].value, 0x1F) << "saving keeps the values";
}

TEST(Pages, ModeDefaultsOfARowWithoutImageAreBorrowed)
{
    CalibDataStructureConverter converter;
    Prepare(converter, "JV285VT-TD", "06.50");  // row 34, versions 2 / 1, no image of its own
    converter.AllocateCacheIfNeeded();
    converter.UnpackSensorModesDefaultsData();
    const auto image = CdsDefinitionTable()[33].mode_defaults_image->Bytes();
    ASSERT_EQ(converter.SensorModes().size(), 64u);
    for (const auto& page : converter.SensorModes()) {
        EXPECT_EQ(page->IsPackedOnly(), 0);
        EXPECT_TRUE(
            std::equal(page->Packed().begin(), page->Packed().end(), image.begin() + page->GetPageIndex() * 512));
    }
    std::vector<uint8_t> region(0x100);
    converter.GetRawData(region.data(), 0x100, CdsDataType::PartitionTable);
    EXPECT_EQ(region, std::vector<uint8_t>(0x100, 0xFF)) << "the image is not touched";
}

TEST(Pages, DefinitionMissingForTheVersions)
{
    CalibDataStructureConverter converter;
    Prepare(converter, "TestCam01", "01.30");
    converter.CreatePartitionTable();
    converter.SetCameraCalibDataVersion("01.05");
    std::vector<uint8_t> pages(0x4000, 0);
    EXPECT_EQ(ErrorText([&] { converter.SetRawData(pages.data(), 0x4000, CdsDataType::CameraModesTable); }),
              "LoadSensorModes CDS definition not available for model and eeprom_version - TestCam01");
    EXPECT_TRUE(converter.SensorModes().empty());
    EXPECT_EQ(ErrorText([&] { converter.GetPackedPagesCount(); }),
              "GetPackedPagesCount - CDS definition not available");
    EXPECT_FALSE(converter.UpdateCurrentCalibDataDesc());
    EXPECT_FALSE(converter.UpdateCurrentCalibDataDesc()) << "a failed lookup is not cached";
    converter.SetCameraModeDefaultsVersion(0);
    EXPECT_TRUE(converter.UpdateCurrentCalibDataDesc());
    converter.LoadSensorModes();
    converter.SetCameraModeDefaultsVersion(5);
    EXPECT_EQ(ErrorText([&] { converter.UnpackSensorModesData(); }),
              "UnpackSensorModesData - CDS definition not available");
    EXPECT_EQ(ErrorText([&] { converter.GetPagesCount(); }), "GetPagesCount - CDS definition not available");
}

TEST(Pages, DataStructureVersionZeroCannotLoadPages)
{
    CalibDataStructureConverter converter;
    Prepare(converter, "TestCam02", "02.00");
    converter.SetEepromDataStructVersion(0);
    converter.AllocateCacheIfNeeded();
    EXPECT_EQ(ErrorText([&] { converter.LoadSensorModes(); }),
              "LoadSensorModes - EEPROM data structure is not defined");
}

struct PreconditionCase {
    const char* operation;
    std::function<void(CalibDataStructureConverter&)> call;
};

// Each operation refuses a converter that lacks what it needs, in the fixed
// order of the checks, with a text of its own name.
TEST(Pages, PreconditionsAreCheckedInOrder)
{
    const std::vector<PreconditionCase> cases = {
        {"UnpackSensorModesData", [](CalibDataStructureConverter& c) { c.UnpackSensorModesData(); }},
        {"PackSensorModesData", [](CalibDataStructureConverter& c) { c.PackSensorModesData(); }},
        {"GetPagesCount", [](CalibDataStructureConverter& c) { c.GetPagesCount(); }},
    };
    for (const PreconditionCase& c : cases) {
        const std::string name = c.operation;
        CalibDataStructureConverter converter;
        EXPECT_EQ(ErrorText([&] { c.call(converter); }), name + " - model name is not defined");
        converter.SetCameraModel("TestCam02");
        EXPECT_EQ(ErrorText([&] { c.call(converter); }), name + " - EEPROM data structure is not defined");
        converter.SetEepromDataStructVersion(2);
        EXPECT_EQ(ErrorText([&] { c.call(converter); }), name + " - current firmware version is not defined");
        converter.SetCpuFirmwareVersion("02.00");
        EXPECT_EQ(ErrorText([&] { c.call(converter); }), name + " - prepared firmware version is not defined");
        converter.SetNewCpuFirmwareVersion("02.00");
        EXPECT_EQ(ErrorText([&] { c.call(converter); }), name + " - partition was not allocated");
        converter.AllocateCacheIfNeeded();
        EXPECT_EQ(ErrorText([&] { c.call(converter); }), name + " - camera mode data was not loaded");
    }
    CalibDataStructureConverter converter;
    Prepare(converter, "TestCam02", "02.00");
    EXPECT_EQ(ErrorText([&] { converter.LoadSensorModes(); }), "LoadSensorModes - Partition was not allocated");
    EXPECT_EQ(ErrorText([&] { converter.SaveSensorModes(); }), "SaveSensorModes - Partition was not allocated");
}

TEST(Pages, APageThatFailsItsChecksumPassesThroughUnchanged)
{
    std::vector<uint8_t> image = DefaultImage(33);
    image[5 * 512 + 200] ^= 0x01;  // page 5 no longer sums to 1
    const std::vector<uint8_t> corrupted = image;

    DebugCapture debug;
    CalibDataStructureConverter converter;
    Prepare(converter, "JV285VT-TD", "03.50");
    converter.SetRawData(image.data(), 0x10000, CdsDataType::WholeImage);
    converter.UnpackSensorModesData();
    EXPECT_EQ(CdsLastErrorText(),
              "UnpackSensorModesData - Camera mode page failed its checksum and stays packed (page 5)");
    EXPECT_EQ(debug.texts.back(), CdsLastErrorText());
    EXPECT_EQ(converter.SensorModes()[5]->IsPackedOnly(), 1);
    EXPECT_EQ(converter.SensorModes()[4]->IsPackedOnly(), 0);

    converter.PackSensorModesData();
    EXPECT_EQ(WholeImage(converter), corrupted) << "the bad page is neither rebuilt nor replaced";
    converter.UnpackSensorModesData();
    EXPECT_EQ(WholeImage(converter), corrupted);
}

TEST(SensorModePageBuffers, SizesAreChecked)
{
    SensorModePage page;
    EXPECT_EQ(page.IsPackedOnly(), 1);
    EXPECT_EQ(page.GetPackedData(), nullptr);
    page.AllocateBuffers(128, 16 * 4);
    EXPECT_EQ(page.GetPackedSize(), 128u);
    EXPECT_EQ(page.GetUnpackedSize(), 64u);
    std::vector<uint8_t> bytes(129, 7);
    EXPECT_EQ(ErrorText([&] { page.SetPackedData(bytes.data(), 129); }), "SetPackedData - Invalid data size.");
    EXPECT_EQ(ErrorText([&] { page.SetPackedData(bytes.data(), 0); }), "SetPackedData - Invalid data size.");
    EXPECT_EQ(ErrorText([&] { page.SetPackedData(nullptr, 1); }), "SetPackedData - Invalid data pointer.");
    page.SetPackedData(bytes.data(), 128);
    EXPECT_EQ(page.Packed()[127], 7);

    const UnpackedField fields[5] = {
        {1, 1, "a", ""}, {2, 2, "b", ""}, {3, 3, "c", ""}, {4, 4, "d", ""}, {5, 5, "e", ""}};
    EXPECT_EQ(ErrorText([&] { page.SetUnPackedData(fields, 80); }), "SetUnPackedData - Invalid data size.");
    EXPECT_EQ(ErrorText([&] { page.SetUnPackedData(nullptr, 16); }), "SetUnPackedData - Invalid data pointer.");
    page.SetUnPackedData(fields, 32);
    EXPECT_EQ(page.Unpacked()[1].value, 2);
    EXPECT_EQ(page.Unpacked()[2].value, 0);

    page.ReAllocUnapckedDataBuffer(16 * 6);
    EXPECT_EQ(page.GetUnpackedSize(), 96u);
    EXPECT_EQ(page.Unpacked()[1].value, 0) << "the resized array starts zeroed";

    page.FreeBuffers();
    EXPECT_EQ(page.GetPackedSize(), 0u);
    EXPECT_EQ(ErrorText([&] { page.ReAllocUnapckedDataBuffer(16); }),
              "ReAllocUnapckedDataBuffer - Unpacked data buffer was not allocated");
}

}  // namespace
