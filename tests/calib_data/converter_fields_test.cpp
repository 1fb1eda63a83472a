#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "cds_error.h"
#include "converter_fixture.h"
#include "test_support.h"

using calib_test::DebugCapture;
using calib_test::DefaultImageOfRow;
using calib_test::ErrorText;
using calib_test::LoadUnpacked;

namespace {

// A converter holding the default pages of a row, unpacked.
class FieldAccess : public ::testing::Test {
protected:
    void Load(size_t row) { LoadUnpacked(converter, row, DefaultImageOfRow(row)); }

    std::string Name()
    {
        char buffer[260];
        converter.GetFieldName(buffer, sizeof(buffer));
        return buffer;
    }

    CalibDataStructureConverter converter;
};

TEST_F(FieldAccess, PagesAndFieldsAreSelectedWithinTheDefinition)
{
    Load(4);
    EXPECT_EQ(ErrorText([&] { converter.SelectFieldsPage(128); }),
              "SelectFieldsPage - Page index is too high (curr. 128, max. 128)");
    converter.SelectFieldsPage(127);
    EXPECT_EQ(ErrorText([&] { converter.SelectFieldByIndex(165); }),
              "SelectFieldByIndex - Field index is too high (curr. 165, max. 165)");
    EXPECT_EQ(converter.GetFieldsCount(), 165u);

    converter.SelectFieldByIndex(124);  // Mode_ID, the first word
    EXPECT_EQ(Name(), "Mode_ID");
    EXPECT_EQ(converter.GetFieldValueInt32(), 0x5A00 + 127);
    EXPECT_EQ(converter.GetFieldType(), CdsFieldType::Hexadecimal);
    char description[260];
    converter.GetFieldDescription(description, sizeof(description));
    EXPECT_EQ(std::string(description), "word 0, bytes 0-1");

    // The record that closes the bit fields has no name and no value bits.
    converter.SelectFieldByIndex(123);
    EXPECT_EQ(Name(), "");
    EXPECT_EQ(converter.GetFieldType(), CdsFieldType::None);
}

TEST_F(FieldAccess, NameBuffersMustHoldTheTerminatingZero)
{
    Load(4);
    converter.SelectFieldByName("Mode_ID");
    char buffer[8];
    EXPECT_EQ(ErrorText([&] { converter.GetFieldName(buffer, 7); }), "GetFieldName - Field name buffer too small");
    converter.GetFieldName(buffer, 8);
    EXPECT_STREQ(buffer, "Mode_ID");
    EXPECT_EQ(ErrorText([&] { converter.GetFieldName(nullptr, 8); }),
              "GetFieldName - Invalid field name buffer provided");
    EXPECT_EQ(ErrorText([&] { converter.GetFieldDescription(buffer, 3); }),
              "GetFieldDescription - Field description buffer too small");
}

TEST_F(FieldAccess, NamesMatchExactly)
{
    Load(4);
    converter.SelectFieldsPage(2);
    converter.SelectFieldByName(" 51 VRAMP_SLOPE");
    EXPECT_EQ(Name(), " 51 VRAMP_SLOPE");
    for (const char* wrong : {"51 VRAMP_SLOPE", " 51 vramp_slope", "vrd"}) {
        EXPECT_EQ(ErrorText([&] { converter.SelectFieldByName(wrong); }),
                  std::string("SelectFieldByName - Field name not present in unpacked calibration data (") + wrong +
                      ")");
    }
    EXPECT_EQ(Name(), " 51 VRAMP_SLOPE");  // the selection stays

    // A field whose own name holds a point is an ordinary field, by name and by index.
    converter.SelectFieldByName("Vdd1.8A");
    const int32_t millivolts = converter.GetFieldValueInt32();
    EXPECT_GE(millivolts, 0);
    EXPECT_LE(millivolts, 3300);
    converter.SetFieldValueInt32(1800);
    EXPECT_EQ(converter.GetFieldValueInt32(), 1800);
    converter.SelectFieldByIndex(139);
    EXPECT_EQ(Name(), "Vdd1.8A");
    EXPECT_EQ(converter.GetFieldValueInt32(), 1800);
}

TEST_F(FieldAccess, ValuesCrossAsEngineeringIntegers)
{
    Load(14);
    converter.SelectFieldsPage(3);
    converter.SelectFieldByName("PGA_GAIN_TOP");
    EXPECT_EQ(converter.GetFieldType(), CdsFieldType::EnumGain);
    converter.SetFieldValueInt32(1600);
    EXPECT_EQ(converter.GetFieldValueInt32(), 1599);
    EXPECT_EQ(ErrorText([&] { converter.SetFieldValueInt32(20000); }),
              "JR574_SetFieldValue - ERROR, unknown gain value (20.000000)");
    EXPECT_EQ(converter.GetFieldValueInt32(), 1599);

    converter.SelectFieldByName("CNT_TOP");
    converter.SetFieldValueInt32(15615);
    EXPECT_EQ(converter.GetFieldValueInt32(), 15615);

    // The change is in the page: packing and unpacking keeps it.
    converter.SaveSensorModes();
    converter.UnpackSensorModesData();
    converter.SelectFieldByName("PGA_GAIN_TOP");
    EXPECT_EQ(converter.GetFieldValueInt32(), 1599);
}

TEST_F(FieldAccess, ThirtyTwoBitFieldsHoldTheirWholeValue)
{
    Load(28);
    converter.SelectFieldByName("EXP_TIME");
    EXPECT_EQ(converter.GetFieldType(), CdsFieldType::Decimal);
    converter.SetFieldValueInt32(static_cast<int32_t>(0xDEADBEEF));
    EXPECT_EQ(static_cast<uint32_t>(converter.GetFieldValueInt32()), 0xDEADBEEFu);
    converter.SaveSensorModes();
    converter.UnpackSensorModesData();
    converter.SelectFieldByName("EXP_TIME");
    EXPECT_EQ(static_cast<uint32_t>(converter.GetFieldValueInt32()), 0xDEADBEEFu);
}

TEST_F(FieldAccess, EnumerationsOfGainFields)
{
    Load(12);
    converter.SelectFieldByName("297 PGA_GAIN_T");
    EXPECT_EQ(converter.GetEnumValueCount(), 64u);
    converter.SetEnumValueIndex(4);
    EXPECT_EQ(converter.GetEnumValueIndex(), 4u);
    EXPECT_EQ(converter.GetEnumValueItem(), 1200);
    converter.SetFieldType(CdsFieldType::EnumRaw);
    EXPECT_EQ(converter.GetEnumValueItem(), 9);
    converter.SetEnumValueIndex(1000);  // no range check here; the item refuses it
    EXPECT_EQ(ErrorText([&] { converter.GetEnumValueItem(); }),
              "JV966JK_TD_B_GetEnumValue - ERROR, index value too high (1000)");

    converter.SelectFieldByName("VRD");
    const int32_t before = converter.GetFieldValueInt32();
    EXPECT_EQ(converter.GetEnumValueCount(), 0u);
    EXPECT_EQ(converter.GetEnumValueItem(), 0);
    EXPECT_EQ(converter.GetFieldValueInt32(), before);
}

TEST_F(FieldAccess, NamedBitsOfTheImageControlWords)
{
    Load(33);
    converter.SelectFieldsPage(5);
    converter.SelectFieldByName("IMG_CTRL");
    converter.SetFieldValueInt32(0x8004);
    converter.SelectFieldByName("IMG_CTR2");
    converter.SetFieldValueInt32(0x0000);

    converter.SelectFieldByName("IMG_CTRL. 0 RC_OFF");
    EXPECT_EQ(converter.GetFieldValueInt32(), 0);
    converter.SetFieldValueInt32(5);
    EXPECT_EQ(converter.GetFieldValueInt32(), 1);
    converter.SelectFieldByName("IMG_CTRL. 2 RC_TEST");
    EXPECT_EQ(converter.GetFieldValueInt32(), 1);
    converter.SetFieldValueInt32(0);
    converter.SelectFieldByName("IMG_CTR2. 1 BIN.1");  // the bit name holds a point itself
    converter.SetFieldValueInt32(1);

    converter.SelectFieldByName("IMG_CTRL");
    EXPECT_EQ(converter.GetFieldValueInt32(), 0x8001);
    converter.SelectFieldByName("IMG_CTR2");
    EXPECT_EQ(converter.GetFieldValueInt32(), 0x0002);

    EXPECT_EQ(
        ErrorText([&] { converter.SelectFieldByName("IMG_CTRL.RC_OFF"); }),
        "SelectSpecificFieldByName - ERROR, field name not present in unpacked calibration data (IMG_CTRL.RC_OFF)");
    EXPECT_EQ(
        ErrorText([&] { converter.SelectFieldByName("IMG_CTRL. 0 RC_EN"); }),  // the V1.1 name
        "SelectSpecificFieldByName - ERROR, field name not present in unpacked calibration data (IMG_CTRL. 0 RC_EN)");
}

TEST_F(FieldAccess, NamedBitsNeedADefinitionThatHasThem)
{
    Load(14);
    EXPECT_EQ(ErrorText([&] { converter.SelectFieldByName("IMG_CTRL. 0 RC_EN"); }),
              "SelectSpecificFieldByName - ERROR, not supported for specified camera model and EEPROM version");
    EXPECT_EQ(ErrorText([&] { converter.GetSpecificFieldValueInt32(); }),
              "GetSpecificFieldValueInt32 - ERROR, not supported for specified camera model and EEPROM version");
}

TEST_F(FieldAccess, PackedPagesAreRefused)
{
    Load(4);
    converter.PackSensorModesData();
    EXPECT_EQ(ErrorText([&] { converter.SelectFieldByName("VRD"); }),
              "SelectFieldByName - Selected page was not unpacked");
    EXPECT_EQ(ErrorText([&] { converter.GetFieldValueInt32(); }),
              "GetFieldValueInt32 - Selected page was not unpacked");
    converter.UnpackSensorModesData();
    converter.SelectFieldByName("VRD");
}

TEST(FieldAccessChecks, TheImageChecksComeFirstWithEachOperationsName)
{
    const std::vector<std::pair<const char*, std::function<void(CalibDataStructureConverter&)>>> operations = {
        {"SelectFieldsPage", [](CalibDataStructureConverter& c) { c.SelectFieldsPage(0); }},
        {"SelectFieldByIndex", [](CalibDataStructureConverter& c) { c.SelectFieldByIndex(0); }},
        {"SelectFieldByName", [](CalibDataStructureConverter& c) { c.SelectFieldByName("VRD"); }},
        {"GetFieldsCount", [](CalibDataStructureConverter& c) { c.GetFieldsCount(); }},
        {"GetFieldName",
         [](CalibDataStructureConverter& c) {
             char b[8];
             c.GetFieldName(b, 8);
         }},
        {"GetFieldType", [](CalibDataStructureConverter& c) { c.GetFieldType(); }},
        {"SetFieldType", [](CalibDataStructureConverter& c) { c.SetFieldType(CdsFieldType::Decimal); }},
        {"GetFieldValueInt32", [](CalibDataStructureConverter& c) { c.GetFieldValueInt32(); }},
        {"SetFieldValueInt32", [](CalibDataStructureConverter& c) { c.SetFieldValueInt32(1); }},
        {"GetEnumValueCount", [](CalibDataStructureConverter& c) { c.GetEnumValueCount(); }},
        {"GetEnumValueIndex", [](CalibDataStructureConverter& c) { c.GetEnumValueIndex(); }},
        {"SetEnumValueIndex", [](CalibDataStructureConverter& c) { c.SetEnumValueIndex(1); }},
        {"GetEnumValueItem", [](CalibDataStructureConverter& c) { c.GetEnumValueItem(); }},
    };
    DebugCapture capture;
    for (const auto& operation : operations) {
        const auto& name = operation.first;
        const auto& call = operation.second;
        CalibDataStructureConverter fresh;
        EXPECT_EQ(ErrorText([&] { call(fresh); }), std::string(name) + " - model name is not defined");
        // Everything but the pages: the last image check fails.
        CalibDataStructureConverter noPages;
        noPages.SetCameraModel("TestCam02");
        noPages.SetCpuFirmwareVersion("02.00");
        noPages.SetNewCpuFirmwareVersion("02.00");
        noPages.AllocateCacheIfNeeded();
        EXPECT_EQ(ErrorText([&] { call(noPages); }), std::string(name) + " - camera mode data was not loaded");
    }
    EXPECT_TRUE(capture.texts.empty());  // the image checks are not reported
}

}  // namespace
