#include "calib_upgrade_steps.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "calib_data_structure_converter.h"
#include "calib_upgrade.h"
#include "cds_error.h"
#include "cds_format.h"

namespace {

// TestCam01 1.0 -> 2.0: pages 2 and 3 change places, source page 5 becomes
// page 8, pages 0 and 10-20 are merged in place; every other page takes the
// 2.0 defaults.
constexpr CdsPageRule kTestCam01ToV20[] = {
    {"page", 0, 0}, {"page", 2, 3}, {"page", 3, 2}, {"page", 5, 8}, {"range", 10, 20},
};

// TestCam01 2.0 -> 3.0: pages 0-5 in place, source page 8 becomes page 10;
// target page 7 is written twice and ends as the merge of source page 9.
constexpr CdsPageRule kTestCam01ToV30[] = {
    {"range", 0, 5},
    {"page", 6, 7},
    {"page", 8, 10},
    {"page", 9, 7},
};

// TestCam03 2.0 -> 2.1: pages 0 and 1 take only these fields from the camera;
// everything else takes the 2.1 defaults.
constexpr const char* kTestCam03Mode0[] = {" 51 VRAMP_SLOPE", "269 CNT_INT_T", " 96 CNT_INT_B", "134 I_DRIV_CLIP"};
constexpr const char* kTestCam03Mode1[] = {"VDRL", "318 SER_BIN_EN", "HDR_GAIN"};
constexpr CdsFieldRule kTestCam03ToV21[] = {
    {"Mode0", 0, kTestCam03Mode0},
    {"Mode1", 1, kTestCam03Mode1},
};

constexpr CdsDataVersion V(uint8_t structVersion, uint8_t defaultsVersion)
{
    return CdsDataVersion{structVersion, defaultsVersion};
}

// Each step converts from the previous version of its model to the version of
// its row. The rows 2 and 34 repeat the versions of the row before them and
// every model's first row has no earlier version, so they carry no step.
// clang-format off
constexpr CdsUpgradeStepRecord kSteps[] = {
//   row  from       to
    { 1, V(1, 0), V(2, 0)},  // TestCam01 (page rules)
    { 3, V(2, 0), V(3, 0)},  // TestCam01 (page rules)
    { 5, V(2, 0), V(2, 1)},  // TestCam02
    { 7, V(2, 0), V(2, 1)},  // TestCam03 (field rules)
    { 9, V(2, 1), V(2, 2)},  // JV966 K-TD-G
    {10, V(2, 2), V(2, 3)},
    {12, V(2, 1), V(2, 2)},  // JV966 K-TD-B
    {13, V(2, 2), V(2, 3)},
    {15, V(2, 0), V(2, 1)},  // JR574 D0-BSI
    {16, V(2, 1), V(3, 0)},
    {17, V(3, 0), V(3, 1)},
    {18, V(3, 1), V(3, 2)},
    {19, V(3, 2), V(3, 3)},
    {20, V(3, 3), V(3, 4)},
    {21, V(3, 4), V(3, 5)},
    {22, V(3, 5), V(3, 6)},
    {23, V(3, 6), V(3, 7)},
    {24, V(3, 7), V(3, 8)},
    {25, V(3, 8), V(3, 9)},
    {27, V(2, 0), V(2, 1)},  // JR574 D88-BSI
    {29, V(2, 0), V(2, 1)},  // JR825
    {30, V(2, 1), V(3, 0)},
    {32, V(1, 1), V(2, 0)},  // JV285
    {33, V(2, 0), V(2, 1)},
};
// clang-format on
static_assert(std::size(kSteps) == 24);

constexpr bool StepsAreOrderedAndUpgrade()
{
    for (size_t i = 0; i < std::size(kSteps); ++i) {
        if (!(kSteps[i].from < kSteps[i].to) || kSteps[i].row >= kCdsDefinitionCount) {
            return false;
        }
        if (i > 0 && kSteps[i - 1].row >= kSteps[i].row) {
            return false;
        }
    }
    return true;
}
static_assert(StepsAreOrderedAndUpgrade(), "every step goes up one version, one step per row, rows in order");

// A default page that fails its layout's check has no values to merge with;
// such a page would turn every field of the camera's page into garbage.
void RequireUnpacked(const SensorModePageList& pages, const char* which)
{
    for (const auto& page : pages) {
        if (page->IsPackedOnly() != 0) {
            ThrowCDSError("UpgradeFromPrevious", std::string(which) + " default page failed its checksum",
                          CdsFormat("page %u", page->GetPageIndex()));
        }
    }
}

}  // namespace

std::span<const CdsUpgradeStepRecord> CdsUpgradeSteps()
{
    return kSteps;
}

const CdsUpgradeStepRecord* FindCdsUpgradeStep(size_t row)
{
    const auto* found = std::find_if(std::begin(kSteps), std::end(kSteps),
                                     [row](const CdsUpgradeStepRecord& s) { return s.row == row; });
    return found == std::end(kSteps) ? nullptr : found;
}

std::span<const CdsPageRule> CdsPageRulesOf(CdsUpgradeStep form)
{
    switch (form) {
    case CdsUpgradeStep::TestCam01PageRulesToV20:
        return kTestCam01ToV20;
    case CdsUpgradeStep::TestCam01PageRulesToV30:
        return kTestCam01ToV30;
    default:
        return {};
    }
}

std::span<const CdsFieldRule> CdsFieldRulesOf(CdsUpgradeStep form)
{
    if (form == CdsUpgradeStep::TestCam03FieldRulesToV21) {
        return kTestCam03ToV21;
    }
    return {};
}

void UpgradeFromPrevious(const CdsDefinition& definition, SensorModePageList* pages, const char* model)
{
    if (pages == nullptr || model == nullptr) {
        ThrowCDSError("UpgradeFromPrevious", "Invalid input parameters");
    }
    const CdsUpgradeStepRecord* step =
        definition.table_row < 0 ? nullptr : FindCdsUpgradeStep(static_cast<size_t>(definition.table_row));
    if (step == nullptr || definition.upgrade_step == CdsUpgradeStep::None) {
        ThrowCDSError("UpgradeFromPrevious", "No upgrade step to EEPROM data version",
                      CdsFormat("%s %02d.%02d", model, definition.eeprom_struct_ver, definition.mode_defaults_ver));
    }

    CameraDataUpdateContext context;
    context.sourcePages = pages;
    // The last row of the model with each version answers; a version without
    // a row leaves the empty definition, which has no default pages to load.
    CalibDataStructureConverter::GetCurrentCalibInfo(&context.sourceDefinition, model, step->from.structVersion,
                                                     step->from.defaultsVersion);
    CalibDataStructureConverter::GetCurrentCalibInfo(&context.targetDefinition, model, step->to.structVersion,
                                                     step->to.defaultsVersion);

    for (const CdsPageRule& rule : CdsPageRulesOf(definition.upgrade_step)) {
        context.pageMappings.push_back(PageMapping{rule.method, rule.from, rule.to});
    }
    std::vector<std::string> names;
    for (const CdsFieldRule& rule : CdsFieldRulesOf(definition.upgrade_step)) {
        names.clear();
        for (const char* field : rule.fields) {
            names.emplace_back(field);
        }
        context.fieldMappings.push_back(FieldMapping{rule.label, rule.page, names});
    }

    CalibDataStructureConverter::LoadAndUnpackDstModeDefaults(model, &context.sourceDefinition,
                                                              &context.sourceDefaults);
    CalibDataStructureConverter::LoadAndUnpackDstModeDefaults(model, &context.targetDefinition,
                                                              &context.targetDefaults);
    // The pages the step writes start as copies of the target defaults just
    // unpacked (a default page that failed its check is loaded again, so it
    // is reported as before).
    if (std::all_of(context.targetDefaults.begin(), context.targetDefaults.end(),
                    [](const auto& page) { return page->IsPackedOnly() == 0; })) {
        for (const auto& page : context.targetDefaults) {
            context.targetPages.push_back(CopySensorModePage(*page));
        }
    } else {
        CalibDataStructureConverter::LoadAndUnpackDstModeDefaults(model, &context.targetDefinition,
                                                                  &context.targetPages);
    }
    RequireUnpacked(context.sourceDefaults, "Source");
    RequireUnpacked(context.targetDefaults, "Target");

    CalibDataStructureConverter::RunCameraDataUpdate(&context);
    CalibDataStructureConverter::ClearUpdateContext(&context);
}
