#include "selftest_data.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "calib_data_structure_converter.h"
#include "selftest_files.h"
#include "selftest_helpers.h"
#include "text_format.h"
#include "updater_error.h"

namespace fs = std::filesystem;

namespace {

// One calibration image of the suite: a model's data at the versions a CPU
// firmware version expects, as a whole 64 KiB image (with its partition
// table) or as the camera-modes table alone.
struct ImageSpec {
    const char* file;
    const char* model;
    const char* cpu;
    uint8_t dataStructureVersion;
    uint8_t modeDefaultsVersion;
    bool wholeImage;
};

constexpr ImageSpec kImages[] = {
    {selftest_files::kTestCam01, "TestCam01", "01.30", 1, 0, true},
    {selftest_files::kJV966Modes, "JV966JK-TD-G8-V7T9-JND", "03.05", 2, 3, false},
    {selftest_files::kJR574Modes, "JR574JK-TD-D0-BSI", "03.15", 2, 1, false},
    {selftest_files::kJR825Modes, "JR825VK-TD-BM-TQ", "03.15", 2, 1, false},
    {selftest_files::kJR825V20, "JR825JT", "03.14", 2, 0, true},
    {selftest_files::kJV285, "JV285VT-TD", "02.00", 1, 1, true},
    {selftest_files::kCherryPick, "TestCam03", "01.80", 2, 0, true},
    {selftest_files::kTestCam02V20, "TestCam02", "02.00", 2, 0, false},
};

// A field whose value an image keeps as the suite expects it.
struct KeptField {
    const char* file;
    uint32_t page;
    const char* field;
};

// A field-bit row of a patch file: the page, the field and whether the row
// sets or clears the bit it picks.
struct PatchField {
    uint32_t page;
    const char* field;
    bool set;
};

constexpr PatchField kPatch1[] = {
    {0, "326 TRAIN_DATA", true}, {0, " 44 DIG_GAIN", false}, {3, "363 CLKL_CTR<3:0>", true},
    {64, "_TM3", false},         {127, "Crop X", true},
};
constexpr PatchField kPatch2[] = {
    {1, "379 I_VBN_VTEST", false}, {2, "254 I_LVDS", true},        {17, "265 TANA2", false},
    {100, "_TM7", true},           {127, "326 TRAIN_DATA", false},
};
// The patches apply to the mode defaults of both JV966 variants at this CPU.
constexpr const char* kPatchModels[] = {"JV966JK-TD-G", "JV966JK-TD-B"};
constexpr const char* kPatchCpu = "03.03";

// Models of the compatibility list with the CPU versions listed for each:
// the test models and one model of every family the definitions know.
struct ListedModel {
    const char* model;
    std::vector<const char*> cpus;
};

const std::vector<ListedModel>& CompatibilityModels()
{
    static const std::vector<ListedModel> models = {
        {"TestCam01", {"01.30", "01.50", "02.00"}},  {"TestCam02", {"02.00"}},
        {"TestCam03", {"01.80", "02.00"}},           {"JV966JK-TD-G8-V7T9-JND", {"01.02", "03.05"}},
        {"JV966JK-TD-B8-V7T9-JND", {"03.05"}},       {"JR574JK-TD-D0-BSI", {"03.15", "04.00"}},
        {"JR574JK-TD-D88-BSI", {"05.00"}},           {"JR825JK-TD", {"03.14", "04.00"}},
        {"JV285VT-TD", {"02.00", "03.00", "06.00"}},
    };
    return models;
}

[[noreturn]] void Fail(const std::string& text)
{
    throw UpdaterError(text);
}

CdsDefinition DefinitionOf(const char* model, uint8_t dataStructureVersion, uint8_t modeDefaultsVersion)
{
    CdsDefinition definition;
    if (!CalibDataStructureConverter::GetCurrentCalibInfo(&definition, model, dataStructureVersion,
                                                          modeDefaultsVersion)) {
        Fail(
            FormatText("no calibration definition for %s %02d.%02d", model, dataStructureVersion, modeDefaultsVersion));
    }
    return definition;
}

// A converter holding the model's mode defaults at the versions, unpacked,
// over an erased image with a partition table that names those versions.
void LoadModeDefaults(CalibDataStructureConverter& converter, const char* model, const char* cpu,
                      uint8_t dataStructureVersion, uint8_t modeDefaultsVersion)
{
    converter.AllocateCacheIfNeeded();
    converter.CreatePartitionTable();
    converter.SetCameraModel(model);
    converter.SetCpuFirmwareVersion(cpu);
    converter.SetNewCpuFirmwareVersion(cpu);
    converter.SetCalibrationDataStructureVersion(dataStructureVersion);
    converter.SetCameraModeDefaultsVersion(modeDefaultsVersion);
    converter.UnpackSensorModesDefaultsData();
}

bool IsFillerName(std::string_view name)
{
    return name.empty() || name.find("No use") != std::string_view::npos ||
           name.find("No Use") != std::string_view::npos || name.find_first_not_of(' ') == std::string_view::npos;
}

// Records whose value a plain number sets and reads unchanged: plain bit
// fields of 1 to 31 bits with a name of their own (no filler, no mode id,
// and no point, which would name a register bit).
std::vector<uint32_t> PlainFields(const CdsDefinition& definition)
{
    std::vector<uint32_t> indices;
    const std::span<const UnpackedField> fields = definition.FieldTable();
    for (uint32_t i = 0; i < fields.size(); ++i) {
        const UnpackedField& field = fields[i];
        const uint32_t width =
            definition.layout == CdsPageLayout::Checksum512 ? FieldWidth512(field.flags) : FieldWidth(field.flags);
        const std::string_view name = FieldNameOf(field);
        if (field.flags == 0 || FieldRawType(field.flags) != 0 || width == 0 || width >= 32 || IsFillerName(name) ||
            name == "Mode_ID" || name.find('.') != std::string_view::npos) {
            continue;
        }
        indices.push_back(i);
    }
    return indices;
}

bool IsKept(std::span<const KeptField> kept, const char* file, uint32_t page, std::string_view field)
{
    return std::any_of(kept.begin(), kept.end(), [&](const KeptField& k) {
        return std::string_view(k.file) == file && k.page == page && field == k.field;
    });
}

// Moves a few plain fields of every page off their defaults (the lowest bit
// flipped), so that round trips of the data compare values that are the
// camera's own rather than the definition's.
void MoveOffDefaults(CalibDataStructureConverter& converter, const ImageSpec& image, std::span<const KeptField> kept)
{
    const CdsDefinition definition = DefinitionOf(image.model, image.dataStructureVersion, image.modeDefaultsVersion);
    const std::vector<uint32_t> candidates = PlainFields(definition);
    if (candidates.empty()) {
        Fail(FormatText("%s has no plain field to change", image.model));
    }
    constexpr uint32_t kFieldsPerPage = 3;
    for (uint32_t page = 0; page < definition.pages_count; ++page) {
        converter.SelectFieldsPage(page);
        uint32_t changed = 0;
        for (uint32_t k = 0; k < kFieldsPerPage; ++k) {
            const uint32_t index = candidates[(page * 7 + k * 13) % candidates.size()];
            if (IsKept(kept, image.file, page, FieldNameOf(definition.fields[index]))) {
                continue;
            }
            converter.SelectFieldByIndex(index);
            const int32_t value = converter.GetFieldValueInt32() ^ 1;
            converter.SetFieldValueInt32(value);
            if (converter.GetFieldValueInt32() != value) {
                Fail(FormatText("%s page %u field %s does not keep %d", image.model, page,
                                FieldNameOf(definition.fields[index]), value));
            }
            ++changed;
        }
        if (changed == 0) {
            Fail(FormatText("%s page %u keeps its defaults", image.model, page));
        }
    }
}

int32_t FieldValue(CalibDataStructureConverter& converter, uint32_t page, const char* field)
{
    converter.SelectFieldsPage(page);
    converter.SelectFieldByName(field);
    return converter.GetFieldValueInt32();
}

void SetField(CalibDataStructureConverter& converter, uint32_t page, const char* field, int32_t value)
{
    converter.SelectFieldsPage(page);
    converter.SelectFieldByName(field);
    converter.SetFieldValueInt32(value);
    if (converter.GetFieldValueInt32() != value) {
        Fail(FormatText("page %u field %s does not keep %d", page, field, value));
    }
}

// The TestCam02 field the V2.1 upgrade must change holds the V2.0 default,
// and the V2.1 default differs from it.
void RequireUpgradeChangesField(CalibDataStructureConverter& converter)
{
    CalibDataStructureConverter next;
    LoadModeDefaults(next, "TestCam02", "02.00", 2, 1);
    const uint32_t page = selftest_files::kUpgradedPage;
    const char* field = selftest_files::kUpgradedFieldName;
    if (FieldValue(converter, page, field) == FieldValue(next, page, field)) {
        Fail(FormatText("TestCam02 V2.1 keeps page %u field %s: its upgrade would show nothing", page, field));
    }
}

void WriteImage(const ImageSpec& image, const fs::path& path)
{
    std::vector<KeptField> kept = {
        {selftest_files::kTestCam02V20, selftest_files::kUpgradedPage, selftest_files::kUpgradedFieldName}};
    for (const selftest_files::CherryPickValue& pick : selftest_files::kCherryPickValues) {
        kept.push_back({selftest_files::kCherryPick, static_cast<uint32_t>(pick.page), pick.field});
    }

    CalibDataStructureConverter converter;
    LoadModeDefaults(converter, image.model, image.cpu, image.dataStructureVersion, image.modeDefaultsVersion);
    MoveOffDefaults(converter, image, kept);
    if (std::string_view(image.file) == selftest_files::kCherryPick) {
        for (const selftest_files::CherryPickValue& pick : selftest_files::kCherryPickValues) {
            SetField(converter, static_cast<uint32_t>(pick.page), pick.field, pick.value);
        }
    }
    if (std::string_view(image.file) == selftest_files::kTestCam02V20) {
        RequireUpgradeChangesField(converter);
    }
    converter.WriteRawData(path.string().c_str(),
                           image.wholeImage ? CdsDataType::WholeImage : CdsDataType::CameraModesTable);
}

// Picks, for each row, a bit that the defaults of both JV966 variants hold
// the same way, so that the row changes it in both; the row clears a set bit
// or sets a clear one as asked, or the other way when the field has no such
// bit.
std::string PatchText(std::span<const PatchField> rows)
{
    CalibDataStructureConverter variants[std::size(kPatchModels)];
    for (size_t v = 0; v < std::size(kPatchModels); ++v) {
        CalibDataStructureConverter& converter = variants[v];
        converter.AllocateCacheIfNeeded();
        converter.SetCameraModel(kPatchModels[v]);
        converter.SetCpuFirmwareVersion(kPatchCpu);
        converter.SetNewCpuFirmwareVersion(kPatchCpu);
        converter.UnpackSensorModesDefaultsData();
    }
    const CdsDefinition definition =
        DefinitionOf(kPatchModels[0], variants[0].GetEepromDataStructVersionForCurrentCpu(),
                     variants[0].GetCameraModeDefaultsVersionForCurrentCpu());

    std::string text = "Mode ID,Name,Value,Unit\n";
    for (const PatchField& row : rows) {
        const std::span<const UnpackedField> fields = definition.FieldTable();
        const auto record = std::find_if(fields.begin(), fields.end(), [&row](const UnpackedField& f) {
            return FieldNameOf(f) == std::string_view(row.field);
        });
        if (record == fields.end()) {
            Fail(FormatText("patch field %s is not in the JV966 field table", row.field));
        }
        const uint32_t width = FieldWidth(record->flags);
        uint32_t values[std::size(kPatchModels)];
        for (size_t v = 0; v < std::size(kPatchModels); ++v) {
            values[v] = static_cast<uint32_t>(FieldValue(variants[v], row.page, row.field));
        }
        const auto findBit = [&](bool set) -> int {
            for (uint32_t bit = 0; bit < width && bit < 32; ++bit) {
                const uint32_t wanted = set ? 0u : 1u;
                if (std::all_of(std::begin(values), std::end(values),
                                [&](uint32_t value) { return ((value >> bit) & 1u) == wanted; })) {
                    return static_cast<int>(bit);
                }
            }
            return -1;
        };
        bool set = row.set;
        int bit = findBit(set);
        if (bit < 0) {
            set = !set;
            bit = findBit(set);
        }
        if (bit < 0) {
            Fail(FormatText("patch field %s on page %u has no bit both variants share", row.field, row.page));
        }
        text += FormatText("0x5A%02X,%s::%d,%d,\n", row.page, row.field, bit, set ? 1 : 0);
    }
    return text;
}

std::string CompatibilityListText()
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<firmware_and_data_compatibility>\n";
    for (const ListedModel& listed : CompatibilityModels()) {
        CalibDataStructureConverter converter;
        converter.SetCameraModel(listed.model);
        text += FormatText("  <model test_model=\"%s\">\n", listed.model);
        for (const char* cpu : listed.cpus) {
            uint8_t dataStructureVersion = 0;
            uint8_t modeDefaultsVersion = 0;
            if (!converter.FindDataVersionsForCpu(cpu, &dataStructureVersion, &modeDefaultsVersion)) {
                Fail(FormatText("%s has no calibration data for CPU firmware %s", listed.model, cpu));
            }
            text += FormatText("    <version cpu_ver=\"%s\" eeprom_ver=\"%d\" defaults_ver=\"%d\"/>\n", cpu,
                               dataStructureVersion, modeDefaultsVersion);
        }
        text += "  </model>\n";
    }
    text += "</firmware_and_data_compatibility>\n";
    return text;
}

void WriteTextFile(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        Fail("cannot write " + path.string());
    }
}

}  // namespace

std::vector<fs::path> WriteSelfTestData(const fs::path& workDir)
{
    const fs::path base = fs::absolute(workDir);
    const auto target = [&base](const char* suiteName) {
        fs::path path = (base / SuitePath(suiteName)).lexically_normal();
        fs::create_directories(path.parent_path());
        return path;
    };
    fs::create_directories(base / selftest_files::kOutputFolder);

    std::vector<fs::path> written;
    for (const ImageSpec& image : kImages) {
        written.push_back(target(image.file));
        WriteImage(image, written.back());
    }
    written.push_back(target(selftest_files::kPatch1));
    WriteTextFile(written.back(), PatchText(kPatch1));
    written.push_back(target(selftest_files::kPatch2));
    WriteTextFile(written.back(), PatchText(kPatch2));
    written.push_back(target(selftest_files::kCompatibilityXml));
    WriteTextFile(written.back(), CompatibilityListText());
    return written;
}
