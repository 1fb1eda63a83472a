// One upgrade step: the three-way merge of a page, the page and field rules
// of the test models, the defaults CSV lookup and the table of steps.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "calib_upgrade_steps.h"
#include "test_support.h"
#include "upgrade_support.h"

using calib_test::ErrorText;
using calib_test::ReadFile;
using upgrade_test::BuildImage;
using upgrade_test::DefaultPages;
using upgrade_test::Edit;
using upgrade_test::FieldOf;
using upgrade_test::Load;
using upgrade_test::UpgradeTest;
using upgrade_test::Values;

namespace {

// ---- the merge rule -------------------------------------------------------------------------

struct MergeCase {
    const char* name;
    std::optional<int32_t> source;  // none: the source version has no such field
    int32_t oldDefault;
    int32_t newDefault;
    bool listed;  // the target version's defaults CSV names the field for the page
    int32_t expected;
    const char* why;
};

// In target order; the source holds the same fields (those it has) behind a
// field the target dropped, so records meet by name, not by position.
const MergeCase kMergeCases[] = {
    {"A", 5, 5, 7, false, 7, "a value still at the old default takes the new default"},
    {"D", std::nullopt, 0, 7, false, 7, "a field the source lacks takes the new default"},
    {"B", 9, 5, 7, false, 9, "a changed value survives, though it equals neither default"},
    {"C", 9, 5, 7, true, 7, "a field the defaults CSV lists takes the new default, whatever its value"},
    {"E", 7, 5, 7, false, 7, "a changed value equal to the new default stays"},
    {"No use", 5, 5, 6, false, 6, "first record of a repeated name, at its default"},
    {"No use", 9, 5, 6, false, 9, "second record of that name keeps its own value"},
};

// B is listed for page 1 only, which must not touch page 0.
constexpr const char* kMergeCsv = "Mode ID,Name,Value,Unit\n0x5A00,C,1,x\n0x5A01,B,1,x\n";

constexpr uint32_t kFlags8Bit = 8;

CdsDefinition SyntheticDefinition(const std::vector<UnpackedField>& table, const char* csv)
{
    CdsDefinition def;
    def.fields = table.data();
    def.fields_count = static_cast<uint32_t>(table.size());
    def.field_record_size = kFieldRecordSize;
    def.fields_size = kFieldRecordSize * def.fields_count;
    def.pages_count = 1;
    def.page_size = 128;
    def.mode_defaults_csv = csv;
    return def;
}

std::unique_ptr<SensorModePage> UnpackedPage(const std::vector<UnpackedField>& records)
{
    auto page = std::make_unique<SensorModePage>();
    page->AllocateBuffers(128, static_cast<uint32_t>(records.size()) * kFieldRecordSize);
    page->SetUnPackedData(records.data(), static_cast<uint32_t>(records.size()) * kFieldRecordSize);
    page->SetPackedState(0);
    return page;
}

TEST(UpgradeMerge, EachFieldKeepsTheCamerasValueUnlessItWasAtTheOldDefaultOrIsListed)
{
    std::vector<UnpackedField> sourceTable{{kFlags8Bit, 3, "Dropped", ""}};
    std::vector<UnpackedField> sourceValues{{kFlags8Bit, 4, "Dropped", ""}};
    std::vector<UnpackedField> targetTable;
    for (const MergeCase& c : kMergeCases) {
        if (c.source) {
            sourceTable.push_back({kFlags8Bit, c.oldDefault, c.name, ""});
            sourceValues.push_back({kFlags8Bit, *c.source, c.name, ""});
        }
        targetTable.push_back({kFlags8Bit, c.newDefault, c.name, ""});
    }
    const UnpackedField closing{0, 0, "", ""};
    sourceTable.push_back(closing);
    sourceValues.push_back(closing);
    targetTable.push_back(closing);

    SensorModePageList pages;
    pages.push_back(UnpackedPage(sourceValues));
    CameraDataUpdateContext context;
    context.sourcePages = &pages;
    context.sourceDefinition = SyntheticDefinition(sourceTable, nullptr);
    context.targetDefinition = SyntheticDefinition(targetTable, kMergeCsv);
    context.sourceDefaults.push_back(UnpackedPage(sourceTable));
    context.targetDefaults.push_back(UnpackedPage(targetTable));
    context.targetPages.push_back(UnpackedPage(targetTable));

    CalibDataStructureConverter::RunCameraDataUpdate(&context);

    SensorModePage& page = *pages[0];
    EXPECT_EQ(page.GetUnpackedSize(), context.targetDefinition.fields_size);
    EXPECT_EQ(page.IsPackedOnly(), 0);
    std::map<std::string, size_t> seen;
    for (const MergeCase& c : kMergeCases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(FieldOf(page, c.name, seen[c.name]++).value, c.expected);
    }
}

// Merges one after the other between different field tables (as the steps of
// a walk run them) each meet records by their own tables' names.
TEST(UpgradeMerge, RecordsMeetByTheirOwnTablesFromMergeToMerge)
{
    const UnpackedField closing{0, 0, "", ""};
    const std::vector<UnpackedField> targetTable{{kFlags8Bit, 1, "A", ""}, {kFlags8Bit, 2, "B", ""}, closing};
    struct Source {
        std::vector<UnpackedField> table;
        std::vector<UnpackedField> values;
        int32_t a;
        int32_t b;
    };
    const Source both{{{kFlags8Bit, 10, "A", ""}, {kFlags8Bit, 20, "B", ""}, closing},
                      {{kFlags8Bit, 11, "A", ""}, {kFlags8Bit, 21, "B", ""}, closing},
                      11,
                      21};
    const Source onlyB{{{kFlags8Bit, 20, "B", ""}, closing}, {{kFlags8Bit, 22, "B", ""}, closing}, 1, 22};
    for (const Source* source : {&both, &onlyB, &both}) {
        SensorModePageList pages;
        pages.push_back(UnpackedPage(source->values));
        CameraDataUpdateContext context;
        context.sourcePages = &pages;
        context.sourceDefinition = SyntheticDefinition(source->table, nullptr);
        context.targetDefinition = SyntheticDefinition(targetTable, nullptr);
        context.sourceDefaults.push_back(UnpackedPage(source->table));
        context.targetDefaults.push_back(UnpackedPage(targetTable));
        context.targetPages.push_back(UnpackedPage(targetTable));

        CalibDataStructureConverter::RunCameraDataUpdate(&context);

        EXPECT_EQ(FieldOf(*pages[0], "A", 0).value, source->a);
        EXPECT_EQ(FieldOf(*pages[0], "B", 0).value, source->b);
    }
}

// ---- the defaults CSV -----------------------------------------------------------------------

struct CsvCase {
    const char* field;
    uint8_t page;
    bool listed;
};

TEST(UpgradeDefaultsCsv, ListsAFieldForThePageOfItsModeId)
{
    const char* csv = "Mode ID,Name,Value,Unit\n"
                      "0x5A00, 51 VRAMP_SLOPE,38,x\n"
                      "0x5A03,VRD,1.500,V\n"
                      "lonely\n"
                      "0x5A01,,3,x\n";
    const CsvCase cases[] = {
        {" 51 VRAMP_SLOPE", 0, true},
        {"51 VRAMP_SLOPE", 0, false},
        {" 51 VRAMP_SLOPE", 1, false},
        {"VRD", 3, true},
        {"VRD", 0, false},
        {"Name", 0, false},
        {"", 1, false},
        {"lonely", 0, false},
    };
    for (const CsvCase& c : cases) {
        EXPECT_EQ(CalibDataStructureConverter::IsFieldInCsv(csv, c.page, c.field), c.listed)
            << "'" << c.field << "' page " << int(c.page);
    }
    EXPECT_FALSE(CalibDataStructureConverter::IsFieldInCsv(nullptr, 0, "VRD"));
    // The only defaults CSV of the definitions: TestCam01 2.0 for CPU 01.80-01.90.
    EXPECT_TRUE(CalibDataStructureConverter::IsFieldInCsv(CdsDefinitionTable()[2].mode_defaults_csv, 0, "VRD"));
}

TEST(UpgradeDefaultsCsv, AModeIdThatIsNoNumberIsAnErrorText)
{
    EXPECT_EQ(ErrorText([] { (void)CalibDataStructureConverter::IsFieldInCsv("0x5AZZ,VRD,1,V\n", 0, "VRD"); }),
              "IsFieldInCsv - Invalid mode id in defaults CSV (0x5AZZ)");
    EXPECT_EQ(ErrorText([] { (void)CalibDataStructureConverter::IsFieldInCsv("0x5,VRD,1,V\n", 0, "VRD"); }),
              "IsFieldInCsv - Invalid mode id in defaults CSV (0x5)");
}

// ---- rules that cannot run ----------------------------------------------------------------------

constexpr const char* kTestCam02 = "TestCam02";

struct RuleCase {
    const char* name;
    std::vector<PageMapping> pageRules;
    std::vector<FieldMapping> fieldRules;
    const char* error;
};

void PrintTo(const RuleCase& c, std::ostream* os)
{
    *os << c.name;
}

class UpgradeRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(UpgradeRules, AreRefusedAndLeaveTheCallersPagesAlone)
{
    const RuleCase& c = GetParam();
    SensorModePageList pages = DefaultPages(4, kTestCam02);
    const std::vector<int32_t> page0 = Values(*pages[0]);
    CameraDataUpdateContext context;
    context.sourcePages = &pages;
    CalibDataStructureConverter::GetCurrentCalibInfo(&context.sourceDefinition, kTestCam02, 2, 0);
    CalibDataStructureConverter::GetCurrentCalibInfo(&context.targetDefinition, kTestCam02, 2, 1);
    CalibDataStructureConverter::LoadAndUnpackDstModeDefaults(kTestCam02, &context.sourceDefinition,
                                                              &context.sourceDefaults);
    CalibDataStructureConverter::LoadAndUnpackDstModeDefaults(kTestCam02, &context.targetDefinition,
                                                              &context.targetDefaults);
    CalibDataStructureConverter::LoadAndUnpackDstModeDefaults(kTestCam02, &context.targetDefinition,
                                                              &context.targetPages);
    context.pageMappings = c.pageRules;
    context.fieldMappings = c.fieldRules;

    EXPECT_EQ(ErrorText([&] { CalibDataStructureConverter::RunCameraDataUpdate(&context); }), c.error);
    EXPECT_EQ(Values(*pages[0]), page0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpgradeRules,
    ::testing::Values(RuleCase{"range backwards",
                               {{"range", 5, 4}},
                               {},
                               "RunCameraDataUpdate - Invalid page range definition provided (curr. 5, max. 4)"},
                      RuleCase{"from beyond the pages",
                               {{"page", 0, 0}, {"page", 128, 0}},
                               {},
                               "RunCameraDataUpdate - Invalid page index value 'from' provided"},
                      RuleCase{"to beyond the pages",
                               {{"page", 0, 128}},
                               {},
                               "RunCameraDataUpdate - Invalid page index value 'to' provided"},
                      RuleCase{"unknown method",
                               {{"swap", 0, 1}},
                               {},
                               "RunCameraDataUpdate - Unknown mapping method used in definition (swap)"},
                      RuleCase{"field rule beyond the pages",
                               {},
                               {{"Mode128", 128, {"VDRL"}}},
                               "RunCameraDataUpdate - invalid page index value provided"},
                      RuleCase{"field missing in the source",
                               {},
                               {{"Mode0", 0, {"VDRL", "No such field"}}},
                               "DoPageFieldUpdate - Could not find field in source EEPROM data (No such field)"}));

// ---- the steps of the test models -------------------------------------------------------------

constexpr const char* kTestCam01 = "TestCam01";
constexpr const char* kTestCam03 = "TestCam03";

// Marks page p of a TestCam image with VTD = 4000 + p, a value no default
// holds (DAC words are 0-3300 mV), so every page can be followed through the
// page rules.
std::vector<Edit> MarkEveryPage()
{
    std::vector<Edit> edits;
    for (uint32_t p = 0; p < 128; ++p) {
        edits.push_back({p, "VTD", static_cast<int32_t>(4000 + p)});
    }
    return edits;
}

// Where each target page's marker must come from; -1: the page holds the
// target version's defaults.
void ExpectPagesFrom(const SensorModePageList& pages, const SensorModePageList& targetDefaults,
                     const std::map<uint32_t, int>& sourceOf)
{
    for (uint32_t p = 0; p < 128; ++p) {
        SCOPED_TRACE("page " + std::to_string(p));
        const auto from = sourceOf.find(p);
        if (from == sourceOf.end()) {
            EXPECT_EQ(Values(*pages[p]), Values(*targetDefaults[p]));
        } else {
            EXPECT_EQ(FieldOf(*pages[p], "VTD").value, 4000 + from->second);
        }
    }
}

TEST_F(UpgradeTest, TestCam01V10ToV20SwapsAndMovesPagesAndResetsTheOthers)
{
    std::vector<Edit> edits = MarkEveryPage();
    edits.push_back({0, "VRD", 3000});  // listed in the 2.0 defaults CSV
    CalibDataStructureConverter converter;
    Load(converter, kTestCam01, "01.30", "01.50", BuildImage(0, kTestCam01, edits));
    converter.UpgradeData();

    const SensorModePageList& pages = converter.SensorModes();
    std::map<uint32_t, int> sourceOf{{0, 0}, {3, 2}, {2, 3}, {8, 5}};
    for (uint32_t p = 10; p <= 20; ++p) {
        sourceOf[p] = static_cast<int>(p);
    }
    ExpectPagesFrom(pages, DefaultPages(1, kTestCam01), sourceOf);
    EXPECT_EQ(FieldOf(*pages[0], "VRD").value, 1500);
    for (const auto& page : pages) {
        EXPECT_EQ(page->GetUnpackedSize(), 156u * kFieldRecordSize);
    }
}

TEST_F(UpgradeTest, TestCam01V20ToV30WritesPage7TwiceAndTheLastRuleWins)
{
    CalibDataStructureConverter converter;
    Load(converter, kTestCam01, "01.80", "02.00", BuildImage(1, kTestCam01, MarkEveryPage()));
    converter.UpgradeData();

    std::map<uint32_t, int> sourceOf{{7, 9}, {10, 8}};
    for (uint32_t p = 0; p <= 5; ++p) {
        sourceOf[p] = static_cast<int>(p);
    }
    ExpectPagesFrom(converter.SensorModes(), DefaultPages(3, kTestCam01), sourceOf);
}

TEST_F(UpgradeTest, EveryBackupHoldsThePagesOfItsVersionAlsoThoseNoRuleRead)
{
    CalibDataStructureConverter converter;
    Load(converter, kTestCam01, "01.30", "02.00", BuildImage(0, kTestCam01, MarkEveryPage()));
    converter.UpgradeData();

    const std::vector<std::string> names = Backups();
    ASSERT_EQ(names, (std::vector<std::string>{BackupName(kTestCam01, 1, 0), BackupName(kTestCam01, 2, 0),
                                               BackupName(kTestCam01, 3, 0)}));
    // Page 1 takes the defaults of each version reached: no rule reads it.
    const std::vector<uint8_t> v20 = ReadFile(BackupPath(names[1]));
    const std::vector<uint8_t> v30 = ReadFile(BackupPath(names[2]));
    const auto defaults20 = CdsDefinitionTable()[1].mode_defaults_image->Bytes();
    const auto defaults30 = CdsDefinitionTable()[3].mode_defaults_image->Bytes();
    EXPECT_TRUE(std::equal(v20.begin() + 128, v20.begin() + 256, defaults20.begin() + 128));
    EXPECT_TRUE(std::equal(v30.begin() + 128, v30.begin() + 256, defaults30.begin() + 128));
    EXPECT_EQ(v20[0xFE00 + 116], 2);
    EXPECT_EQ(v30[0xFE00 + 116], 3);
}

TEST_F(UpgradeTest, TestCam03V20ToV21CherryPicksTheListedFieldsOnly)
{
    CalibDataStructureConverter converter;
    const std::vector<Edit> edits = {{0, "VTD", 4000}, {1, "VTD", 4001}, {2, "VTD", 4002}};
    Load(converter, kTestCam03, "01.80", "02.00", BuildImage(6, kTestCam03, edits));
    converter.UpgradeData();

    const SensorModePageList& pages = converter.SensorModes();
    SensorModePageList oldDefaults = DefaultPages(6, kTestCam03);
    SensorModePageList newDefaults = DefaultPages(7, kTestCam03);
    const std::map<uint32_t, std::vector<std::string>> picked = {
        {0, {" 51 VRAMP_SLOPE", "269 CNT_INT_T", " 96 CNT_INT_B", "134 I_DRIV_CLIP"}},
        {1, {"VDRL", "318 SER_BIN_EN", "HDR_GAIN"}},
    };
    for (uint32_t p = 0; p < 128; ++p) {
        SCOPED_TRACE("page " + std::to_string(p));
        std::vector<int32_t> expected = Values(*newDefaults[p]);
        const auto rule = picked.find(p);
        if (rule != picked.end()) {
            for (const std::string& name : rule->second) {
                // Copied even where the camera still held the old default.
                const int32_t oldValue = FieldOf(*oldDefaults[p], name).value;
                ASSERT_NE(oldValue, FieldOf(*newDefaults[p], name).value) << name;
                const auto index = &FieldOf(*newDefaults[p], name) - newDefaults[p]->Unpacked().data();
                expected[static_cast<size_t>(index)] = oldValue;
            }
        }
        EXPECT_EQ(Values(*pages[p]), expected);
    }
}

// ---- the table of steps ---------------------------------------------------------------------------

TEST(UpgradeSteps, EachStepGoesFromTheModelsPreviousVersionToItsRowsVersion)
{
    const auto& table = CdsDefinitionTable();
    size_t steps = 0;
    for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        const CdsDefinition& def = table[row];
        const CdsUpgradeStepRecord* step = FindCdsUpgradeStep(row);
        ASSERT_EQ(step != nullptr, def.upgrade_step != CdsUpgradeStep::None);
        if (step == nullptr) {
            continue;
        }
        ++steps;
        const CdsDataVersion own{def.eeprom_struct_ver, def.mode_defaults_ver};
        EXPECT_EQ(step->to, own);
        // The highest version of the same model below the row's own.
        std::optional<CdsDataVersion> previous;
        for (size_t other = 0; other < kCdsDefinitionCount; ++other) {
            const CdsDataVersion v{table[other].eeprom_struct_ver, table[other].mode_defaults_ver};
            if (std::string(table[other].model_pattern) == def.model_pattern && v < own &&
                (!previous || *previous < v)) {
                previous = v;
            }
        }
        ASSERT_TRUE(previous.has_value());
        EXPECT_EQ(step->from, *previous);
    }
    EXPECT_EQ(steps, 24u);
    EXPECT_EQ(CdsUpgradeSteps().size(), 24u);
}

TEST(UpgradeSteps, ARowWithoutAStepRefusesToRunOne)
{
    SensorModePageList pages = DefaultPages(0, kTestCam01);
    EXPECT_EQ(ErrorText([&] { UpgradeFromPrevious(CdsDefinitionTable()[0], &pages, kTestCam01); }),
              "UpgradeFromPrevious - No upgrade step to EEPROM data version (TestCam01 01.00)");
}

}  // namespace
