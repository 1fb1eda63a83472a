// internal_tests on damaged data: every damage ends the suite with an error
// line that names the check or the file, "Done return 1" and status 1.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "file_io.h"
#include "selftest_files.h"
#include "selftest_helpers.h"
#include "selftest_run.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Damage {
    std::string name;
    std::function<void(const fs::path& work)> apply;
    std::string error;  // part of the error line
};

fs::path InWork(const fs::path& work, const char* suiteName)
{
    return work / SuitePath(suiteName);
}

void ChangeByte(const fs::path& file, size_t offset, uint8_t value)
{
    std::vector<uint8_t> bytes = zvtest::ReadFile(file);
    ASSERT_LT(offset, bytes.size());
    bytes[offset] = value;
    zvtest::WriteFile(file, bytes);
}

// One of the values the cherry-pick upgrade must carry over, changed in the
// image the way a camera would hold it.
void ChangeCherryPickValue(const fs::path& work)
{
    const std::string image = InWork(work, selftest_files::kCherryPick).string();
    CalibDataStructureConverter converter;
    converter.SetCameraModel("TestCam03");
    converter.SetCpuFirmwareVersion("01.80");
    converter.SetNewCpuFirmwareVersion("01.80");
    converter.ReadRawData(image.c_str(), CdsDataType::WholeImage);
    converter.UnpackSensorModesData();
    converter.SelectFieldsPage(0);
    converter.SelectFieldByName(" 51 VRAMP_SLOPE");
    converter.SetFieldValueInt32(44);
    converter.WriteRawData(image.c_str(), CdsDataType::WholeImage);
}

// A second row for the bit of the first data row, with the opposite value.
void ContradictFirstPatchRow(const fs::path& work)
{
    const fs::path patch = InWork(work, selftest_files::kPatch1);
    std::istringstream text(zvtest::ReadText(patch));
    std::string header;
    std::string row;
    std::getline(text, header);
    std::getline(text, row);
    const size_t valueAt = row.find(',', row.find(',') + 1) + 1;
    ASSERT_NE(valueAt, 0u);
    row[valueAt] = row[valueAt] == '0' ? '1' : '0';
    std::ofstream(patch, std::ios::app) << row << "\n";
}

void DropFirstModelCpuVersion(const fs::path& work)
{
    const fs::path xml = InWork(work, selftest_files::kCompatibilityXml);
    std::string text = zvtest::ReadText(xml);
    const size_t model = text.find("test_model=\"JV966");
    ASSERT_NE(model, std::string::npos);
    const size_t attribute = text.find("cpu_ver=", model);
    ASSERT_NE(attribute, std::string::npos);
    text.replace(attribute, 7, "firmware");
    zvtest::WriteText(xml, text);
}

std::vector<Damage> Damages()
{
    std::vector<Damage> damages;
    for (const char* input : selftest_files::kAll) {
        const std::string file = SuitePath(input);
        damages.push_back({"missing " + fs::path(file).filename().string(),
                           [input](const fs::path& work) { fs::remove(InWork(work, input)); }, file});
    }
    damages.push_back({"table cut to 100 bytes",
                       [](const fs::path& work) { fs::resize_file(InWork(work, selftest_files::kJR825Modes), 100); },
                       "Compared files are not similar"});
    damages.push_back(
        {"unused byte of a JR574 page set",
         [](const fs::path& work) { ChangeByte(InWork(work, selftest_files::kJR574Modes), 5 * 128 + 120, 1); },
         "Compared files are not similar"});
    damages.push_back({"cherry-pick value changed", ChangeCherryPickValue,
                       "CherryPick upgrade failed, page 0 field  51 VRAMP_SLOPE should be 45, but is 44"});
    damages.push_back({"patch bit given both values", ContradictFirstPatchRow, "was NOT updated correctly"});
    damages.push_back({"compatibility list without cpu_ver", DropFirstModelCpuVersion,
                       "Invalid XML structure, missing cpu_ver attribute definition"});
    damages.push_back({"output name taken by a folder",
                       [](const fs::path& work) { fs::create_directory(work / "test_data" / "CamTest_temp_raw.bin"); },
                       "WriteRawData - Failed to open file (test_data/CamTest_temp_raw.bin)"});
    return damages;
}

void PrintTo(const Damage& damage, std::ostream* out)
{
    *out << damage.name;
}

class DamagedData : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedData, EndsTheSuiteWithAnErrorNamingIt)
{
    zvtest::TempDir dir;
    const fs::path work = e2e::WriteSuiteData(dir.path());
    GetParam().apply(work);
    const e2e::ProgramRun r = e2e::RunSuiteIn(work);
    const std::string errorLine = "\n******** Error: ";
    const size_t at = r.out.rfind(errorLine);
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_NE(r.out.find(GetParam().error, at), std::string::npos) << r.out.substr(at);
    const std::string failed = "Done return 1\n";
    EXPECT_EQ(r.out.compare(r.out.size() - std::min(r.out.size(), failed.size()), failed.size(), failed), 0)
        << r.out.substr(at);
    EXPECT_EQ(r.out.find("All internal tests OK"), std::string::npos);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
}

std::string CaseName(const ::testing::TestParamInfo<Damage>& info)
{
    std::string name;
    for (const char c : info.param.name) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(SelfTest, DamagedData, ::testing::ValuesIn(Damages()), CaseName);

}  // namespace
