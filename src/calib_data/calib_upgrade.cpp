// The calibration data upgrade engine: whether an upgrade is needed and
// possible, the walk over the definitions from the image's versions to those
// the prepared CPU firmware expects, the backup of every step and the page
// and field merge that each step runs.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "calib_data_structure_converter.h"
#include "calib_upgrade.h"
#include "calib_upgrade_steps.h"
#include "cds_error.h"
#include "cds_format.h"
#include "csv_row_reader.h"
#include "partition_table.h"
#include "os_file_path.h"

namespace {

CdsBackupClock& BackupClock()
{
    static CdsBackupClock clock;
    return clock;
}

std::tm LocalTimeNow()
{
    if (BackupClock()) {
        return BackupClock()();
    }
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    return local != nullptr ? *local : std::tm{};
}

std::string VersionText(CdsDataVersion version)
{
    return CdsFormat("%02d.%02d", version.structVersion, version.defaultsVersion);
}

// The upgrade queries explain a "no" on the console; like the error line that
// follows them, the text carries no line end of its own.
void PrintLine(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

// Backup names are built in a buffer of 260 characters.
constexpr size_t kMaxBackupPathLength = 259;

// The model name as part of a file name: characters that separate paths or
// are not allowed in file names become '_', so the name stays one file inside
// the backup directory whatever the model is called.
std::string FileNamePart(const std::string& model)
{
    static constexpr std::string_view kForbidden = "<>:\"/\\|?*";
    std::string part = model;
    for (char& c : part) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F || kForbidden.find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    return part;
}

// A record that carries a value: named and not one that closes a section.
bool CarriesValue(const UnpackedField& field)
{
    return field.name != nullptr && field.flags != 0;
}

// Record numbers of each name, in table order. Names repeat ("No use" fillers,
// unnamed words); the k-th record of a name in one version answers the k-th
// record of that name in the other, so no record is shadowed by an earlier
// one of the same name.
using NameIndex = std::unordered_map<std::string_view, std::vector<size_t>>;

NameIndex IndexByName(std::span<const UnpackedField> records)
{
    NameIndex index;
    for (size_t i = 0; i < records.size(); ++i) {
        if (CarriesValue(records[i])) {
            index[records[i].name].push_back(i);
        }
    }
    return index;
}

constexpr size_t kNoSource = static_cast<size_t>(-1);

// Which source record answers each target record of a page merge, with the
// record names it was worked out for. Pages of one definition share their
// field table, so every page of a step (and every step between the same
// tables) finds the match already made and only compares name pointers.
struct RecordMatch {
    std::vector<const char*> sourceNames;  // null for records without a value
    std::vector<const char*> targetNames;
    std::vector<size_t> sourceOf;  // per target record; kNoSource when none
};

const char* ValueName(const UnpackedField& record)
{
    return CarriesValue(record) ? record.name : nullptr;
}

bool SameNames(std::span<const UnpackedField> records, const std::vector<const char*>& names)
{
    if (records.size() != names.size()) {
        return false;
    }
    for (size_t i = 0; i < records.size(); ++i) {
        if (ValueName(records[i]) != names[i]) {
            return false;
        }
    }
    return true;
}

// The k-th target record of a name is answered by the k-th source record of
// that name (names repeat); a name the source lacks has no source record.
const std::vector<size_t>& MatchRecords(std::span<const UnpackedField> source, std::span<const UnpackedField> target)
{
    thread_local RecordMatch match;
    if (SameNames(source, match.sourceNames) && SameNames(target, match.targetNames)) {
        return match.sourceOf;
    }
    match.sourceNames.clear();
    match.targetNames.clear();
    match.sourceOf.assign(target.size(), kNoSource);
    for (const UnpackedField& record : source) {
        match.sourceNames.push_back(ValueName(record));
    }
    const NameIndex sourceIndex = IndexByName(source);
    std::unordered_map<std::string_view, size_t> seen;
    for (size_t i = 0; i < target.size(); ++i) {
        match.targetNames.push_back(ValueName(target[i]));
        if (!CarriesValue(target[i])) {
            continue;
        }
        const size_t occurrence = seen[target[i].name]++;
        const auto found = sourceIndex.find(target[i].name);
        if (found != sourceIndex.end() && occurrence < found->second.size()) {
            match.sourceOf[i] = found->second[occurrence];
        }
    }
    return match.sourceOf;
}

// The page of a defaults CSV row: the mode id without its first four
// characters (the "0x5A" of "0x5A03"), read as a hexadecimal number.
int CsvRowPage(const std::string& modeId)
{
    if (modeId.size() > 4) {
        try {
            return std::stoi(modeId.substr(4), nullptr, 16);
        } catch (const std::logic_error&) {
            // reported below
        }
    }
    ThrowCDSError("IsFieldInCsv", "Invalid mode id in defaults CSV", modeId);
}

// Calls f(page, field name) for every data row of a defaults CSV text.
template <typename F>
void ForEachCsvField(const char* csv, F f)
{
    if (csv == nullptr) {
        return;
    }
    std::istringstream stream(csv);
    for (CsvRowIterator row(stream), end; row != end; ++row) {
        if (row->size() == 1 || (*row)[0] == "Mode ID" || (*row)[1].empty()) {
            continue;
        }
        f(CsvRowPage((*row)[0]), (*row)[1]);
    }
}

// Gives the page an unpacked array of `size` bytes, keeping its packed bytes.
void EnsureUnpackedSize(SensorModePage& page, uint32_t size)
{
    if (page.GetUnpackedSize() == size) {
        return;
    }
    if (page.GetUnpackedSize() != 0) {
        page.ReAllocUnapckedDataBuffer(size);
        return;
    }
    const std::vector<uint8_t> packed(page.Packed().begin(), page.Packed().end());
    page.AllocateBuffers(static_cast<uint32_t>(packed.size()), size);
    if (!packed.empty()) {
        page.SetPackedData(packed.data(), static_cast<uint32_t>(packed.size()));
    }
}

void RequireContext(const char* operation, const CameraDataUpdateContext* context)
{
    if (context == nullptr) {
        ThrowCDSError(operation, "Context pointer is not valid");
    }
    if (context->sourcePages == nullptr) {
        ThrowCDSError(operation, "Source data pointer is not valid");
    }
}

void RequirePage(const char* operation, const SensorModePageList& pages, uint32_t index, const char* which)
{
    if (index >= pages.size() || !pages[index]) {
        ThrowCDSError(operation, std::string("Invalid ") + which + " page index value provided",
                      CdsFormat("curr. %u, max. %zu", index, pages.size()));
    }
}

// The records of a page as a definition lays them out; refused when the page
// holds fewer.
std::span<const UnpackedField> Records(const char* operation, const SensorModePage& page, const CdsDefinition& def)
{
    if (page.Unpacked().size() < def.fields_count) {
        ThrowCDSError(operation, "Camera mode page does not match the data structure definition",
                      CdsFormat("page %u holds %zu records, the definition %u", page.GetPageIndex(),
                                page.Unpacked().size(), def.fields_count));
    }
    return page.Unpacked().first(def.fields_count);
}

// The source page's records. A page that holds its packed bytes only is
// unpacked with the source definition first (from the field table, so an
// array cleared by an earlier pack gets its names back); a page that fails
// its checksum fails the step rather than feeding garbage into the merge.
std::span<const UnpackedField> SourceRecords(const char* operation, CameraDataUpdateContext& context, uint8_t index)
{
    RequirePage(operation, *context.sourcePages, index, "source");
    const CdsDefinition& def = context.sourceDefinition;
    SensorModePage& page = *(*context.sourcePages)[index];
    if (page.IsPackedOnly() != 0) {
        if (page.GetPackedSize() != def.page_size) {
            ThrowCDSError(operation, "Camera mode page does not match the data structure definition",
                          CdsFormat("page %u holds %u bytes, the definition %u", page.GetPageIndex(),
                                    page.GetPackedSize(), def.page_size));
        }
        EnsureUnpackedSize(page, def.fields_size);
        page.SetUnPackedData(def.fields, def.fields_size);
        if (def.Unpack(page.Packed(), page.Unpacked()) != 0) {
            ThrowCDSError(operation, "Camera mode page failed its checksum", CdsFormat("page %u", page.GetPageIndex()));
        }
        page.SetPackedState(0);
    }
    return Records(operation, page, def);
}

// The target default page's records copied into the work buffer of a merge
// (std::bad_alloc passes to the caller, which words it). The buffer is kept
// from page to page, so its memory is reused.
void TargetWorkBuffer(const char* operation, const CameraDataUpdateContext& context, uint8_t index,
                      std::vector<UnpackedField>& work)
{
    RequirePage(operation, context.targetDefaults, index, "target");
    RequirePage(operation, context.targetPages, index, "target");
    const auto defaults = Records(operation, *context.targetDefaults[index], context.targetDefinition);
    work.assign(defaults.begin(), defaults.end());
}

void StoreTargetPage(const char* operation, CameraDataUpdateContext& context, uint8_t index,
                     const std::vector<UnpackedField>& work)
{
    SensorModePage& target = *context.targetPages[index];
    const uint32_t size = context.targetDefinition.fields_size;
    if (target.GetUnpackedSize() < size || work.size() * kFieldRecordSize != size) {
        ThrowCDSError(operation, "Camera mode page does not match the data structure definition",
                      CdsFormat("target page %u", index));
    }
    target.SetUnPackedData(work.data(), size);
}

}  // namespace

void SetCdsBackupClock(CdsBackupClock clock)
{
    BackupClock() = std::move(clock);
}

// ---- the walk ----------------------------------------------------------------------------

struct CalibDataStructureConverter::UpgradePlan {
    CdsDataVersion target;
    std::vector<size_t> rows;  // the definition rows whose steps run, in order
    std::string message;       // why the walk cannot reach the target; empty when it can
    std::string detail;
};

struct CalibDataStructureConverter::SavedState {
    std::vector<uint8_t> image;
    SensorModePageList pages;
    uint8_t structVersion = 0;
    uint8_t defaultsVersion = 0;
};

bool CalibDataStructureConverter::IsDataUpgradeNeeded() const
{
    CheckPreconditions("IsDataUpgradeNeeded", kSettings);
    CdsDataVersion target;
    if (!FindDataVersionsForCpu(newCpuFwVersion_.c_str(), &target.structVersion, &target.defaultsVersion)) {
        ThrowCDSError("IsDataUpgradeNeeded", CdsFormat("missing EEPROM data structure definition for %s and new CPU "
                                                       "firmware %s",
                                                       modelName_.c_str(), newCpuFwVersion_.c_str()));
    }
    return !(target == CdsDataVersion{eepromStructVer_, modeDefaultsVer_});
}

bool CalibDataStructureConverter::UpgradeDefinitionsExist(const char* operation) const
{
    CdsDataVersion found;
    if (!FindDataVersionsForCpu(cpuFwVersion_.c_str(), &found.structVersion, &found.defaultsVersion)) {
        PrintLine(CdsFormat("%s - missing EEPROM data structure definition for %s and current CPU firmware %s",
                            operation, modelName_.c_str(), cpuFwVersion_.c_str()));
        return false;
    }
    if (!FindDataVersionsForCpu(newCpuFwVersion_.c_str(), &found.structVersion, &found.defaultsVersion)) {
        PrintLine(CdsFormat("%s - missing EEPROM data structure definition for %s and new CPU firmware %s", operation,
                            modelName_.c_str(), newCpuFwVersion_.c_str()));
        return false;
    }
    return true;
}

CalibDataStructureConverter::UpgradePlan CalibDataStructureConverter::PlanDataUpgrade() const
{
    UpgradePlan plan;
    const char* model = modelName_.c_str();
    if (!FindDataVersionsForCpu(newCpuFwVersion_.c_str(), &plan.target.structVersion, &plan.target.defaultsVersion)) {
        plan.message = "Missing EEPROM data structure definition";
        plan.detail = CdsFormat("%s and new CPU firmware %s", model, newCpuFwVersion_.c_str());
        return plan;
    }
    CdsDataVersion current{eepromStructVer_, modeDefaultsVer_};
    const CdsDataVersion start = current;
    if (plan.target == current) {
        return plan;
    }
    // Older firmware cannot read newer data, and no step converts back.
    if (plan.target < current) {
        plan.message = "Downgrade of EEPROM data is not supported";
        plan.detail = CdsFormat("%s %s to %s", model, VersionText(current).c_str(), VersionText(plan.target).c_str());
        return plan;
    }
    const auto& table = CdsDefinitionTable();
    for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
        if (!CdsPatternMatches(row, model)) {
            continue;
        }
        const CdsDataVersion version{table[row].eeprom_struct_ver, table[row].mode_defaults_ver};
        if (!(current < version)) {
            continue;
        }
        if (plan.target < version) {
            plan.message = "Upgrade would pass the target EEPROM data version";
            plan.detail =
                CdsFormat("%s %s, target %s", model, VersionText(version).c_str(), VersionText(plan.target).c_str());
            break;
        }
        const CdsUpgradeStepRecord* step = FindCdsUpgradeStep(row);
        if (step == nullptr || table[row].upgrade_step == CdsUpgradeStep::None) {
            plan.message = "No upgrade step to EEPROM data version";
            plan.detail = CdsFormat("%s %s", model, VersionText(version).c_str());
            break;
        }
        // A step reads the pages as its own source version; data of any
        // other version would be misread.
        if (step->from != current) {
            plan.message = "Upgrade step does not start at the EEPROM data version";
            plan.detail = CdsFormat("%s step %s to %s, data %s", model, VersionText(step->from).c_str(),
                                    VersionText(step->to).c_str(), VersionText(current).c_str());
            break;
        }
        plan.rows.push_back(row);
        current = version;
        if (current == plan.target) {
            return plan;
        }
    }
    if (plan.message.empty()) {
        plan.message = "Target EEPROM data version not reached";
        plan.detail = CdsFormat("%s %s to %s, reached %s", model, VersionText(start).c_str(),
                                VersionText(plan.target).c_str(), VersionText(current).c_str());
    }
    plan.rows.clear();
    return plan;
}

bool CalibDataStructureConverter::IsDataUpgradePossible() const
{
    CheckPreconditions("IsDataUpgradePossible", kSettings);
    if (!UpgradeDefinitionsExist("IsDataUpgradePossible")) {
        return false;
    }
    const UpgradePlan plan = PlanDataUpgrade();
    if (!plan.message.empty()) {
        PrintLine("IsDataUpgradePossible - " + plan.message + " (" + plan.detail + ")");
        return false;
    }
    return true;
}

CalibDataStructureConverter::SavedState CalibDataStructureConverter::SaveState() const
{
    SavedState state;
    state.image = cache_;
    state.pages.reserve(pages_.size());
    for (const auto& page : pages_) {
        state.pages.push_back(CopySensorModePage(*page));
    }
    state.structVersion = eepromStructVer_;
    state.defaultsVersion = modeDefaultsVer_;
    return state;
}

void CalibDataStructureConverter::RestoreState(SavedState& state)
{
    cache_.swap(state.image);
    pages_.swap(state.pages);
    eepromStructVer_ = state.structVersion;
    modeDefaultsVer_ = state.defaultsVersion;
    FreeCurrentCalibDataDesc();
}

void CalibDataStructureConverter::UpgradeData()
{
    const char* const operation = "UpgradeData";
    CheckPreconditions(operation, kAll);
    if (!IsDataUpgradeNeeded()) {
        ThrowCdsPrecondition(operation, "Upgrade Not needed");
    }
    if (!UpgradeDefinitionsExist("IsDataUpgradePossible")) {
        ThrowCdsPrecondition(operation, "Upgrade Not possible");
    }
    // The whole walk is known before anything is written: a path that cannot
    // reach the target fails here, before the first backup.
    const UpgradePlan plan = PlanDataUpgrade();
    if (!plan.message.empty()) {
        ThrowCDSError(operation, plan.message, plan.detail);
    }

    // All or nothing: a failure in any step or backup puts the image, the
    // pages and the version bytes back as they were before the upgrade (the
    // first backup holds the same data).
    SavedState saved = SaveState();
    try {
        BackupUpgradeStep(eepromStructVer_, modeDefaultsVer_);
        const auto& table = CdsDefinitionTable();
        for (const size_t row : plan.rows) {
            const CdsDefinition definition = table[row];
            UpgradeFromPrevious(definition, &pages_, modelName_.c_str());
            SetCalibrationDataStructureVersion(definition.eeprom_struct_ver);
            SetCameraModeDefaultsVersion(definition.mode_defaults_ver);
            FreeCurrentCalibDataDesc();
            UpdateCurrentCalibDataDesc();
            // Every page now holds the step's records; pack them all with the
            // reached version, so the image and its backup hold exactly that
            // version's data.
            SaveSensorModes();
            BackupUpgradeStep(eepromStructVer_, modeDefaultsVer_);
        }
    } catch (...) {
        RestoreState(saved);
        throw;
    }
}

void CalibDataStructureConverter::BackupUpgradeStep(uint8_t structVersion, uint8_t defaultsVersion)
{
    namespace fs = std::filesystem;
    const char* const operation = "BackupUpgradeStep";
    const std::tm now = LocalTimeNow();

    std::error_code error;
    fs::create_directory(kCdsBackupDirectory, error);
    if (!fs::is_directory(zv::os::FilePath(kCdsBackupDirectory), error)) {
        ThrowCDSError(operation, "Failed to create EERPOM backup directory", kCdsBackupDirectory);
    }

    const std::string prefix = std::string(kCdsBackupDirectory) + "//" +
                               CdsFormat("%d_%02d_%02d_%02d_%02d_%02d", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday,
                                         now.tm_hour, now.tm_min, now.tm_sec) +
                               "_";
    const std::string suffix = CdsFormat("_V%02d.%02d.bin", structVersion, defaultsVersion);
    std::string model = FileNamePart(modelName_);
    // A long model name is shortened so the whole name fits; the time and
    // the versions that tell backups apart are kept.
    const size_t room = kMaxBackupPathLength - std::min(kMaxBackupPathLength, prefix.size() + suffix.size());
    if (model.size() > room) {
        model.resize(room);
    }
    const std::string fileName = prefix + model + suffix;

    // The backup is written beside its final name and takes that name only
    // once it is complete, so a file of that name is never a partial image.
    const std::string partName = fileName + ".part";
    try {
        WriteRawData(partName.c_str(), CdsDataType::WholeImage);
        const auto written = fs::file_size(zv::os::FilePath(partName), error);
        if (error || written != partition_table::kImageSize) {
            ThrowCDSError(operation, "EEPROM backup file is incomplete", fileName);
        }
        zv::os::RenameFile(partName, fileName, error);
        if (error) {
            ThrowCDSError(operation, "Failed to write EEPROM backup file", fileName);
        }
    } catch (...) {
        zv::os::RemoveFile(partName);
        throw;
    }
}

// ---- one step's merge --------------------------------------------------------------------

void CalibDataStructureConverter::RunCameraDataUpdate(CameraDataUpdateContext* context)
{
    const char* const operation = "RunCameraDataUpdate";
    RequireContext(operation, context);
    const CdsDefinition& source = context->sourceDefinition;
    const CdsDefinition& target = context->targetDefinition;
    if (source.pages_count != target.pages_count) {
        ThrowCDSError(operation, "Packed page count must match for source and target version");
    }
    // Pages keep their packed buffers across the step.
    if (source.page_size != target.page_size) {
        ThrowCDSError(operation, "Packed page size must match for source and target version");
    }
    const uint32_t pages = target.pages_count;
    if (context->sourcePages->size() != pages || context->sourceDefaults.size() != pages ||
        context->targetDefaults.size() != pages || context->targetPages.size() != pages) {
        ThrowCDSError(operation, "Page lists do not match the page count of the definitions",
                      CdsFormat("pages %zu, source defaults %zu, target defaults %zu, target pages %zu, expected %u",
                                context->sourcePages->size(), context->sourceDefaults.size(),
                                context->targetDefaults.size(), context->targetPages.size(), pages));
    }

    if (!context->pageMappings.empty()) {
        for (const PageMapping& rule : context->pageMappings) {
            if (rule.from >= pages) {
                ThrowCDSError(operation, "Invalid page index value 'from' provided");
            }
            if (rule.to >= pages) {
                ThrowCDSError(operation, "Invalid page index value 'to' provided");
            }
            if (rule.method == "range") {
                if (rule.from > rule.to) {
                    ThrowCDSError(operation, "Invalid page range definition provided",
                                  CdsFormat("curr. %d, max. %d", rule.from, rule.to));
                }
                for (unsigned i = rule.from; i <= rule.to; ++i) {
                    DoPageUpdate(context, static_cast<uint8_t>(i), static_cast<uint8_t>(i));
                }
            } else if (rule.method == "page") {
                DoPageUpdate(context, rule.from, rule.to);
            } else {
                ThrowCDSError(operation, "Unknown mapping method used in definition", rule.method);
            }
        }
    } else if (!context->fieldMappings.empty()) {
        for (const FieldMapping& rule : context->fieldMappings) {
            if (rule.page >= pages) {
                ThrowCdsPrecondition(operation, "invalid page index value provided");
            }
            DoPageFieldUpdate(context, rule.page, rule.fieldNames);
        }
    } else {
        for (uint32_t i = 0; i < pages; ++i) {
            DoPageUpdate(context, static_cast<uint8_t>(i), static_cast<uint8_t>(i));
        }
    }

    // The result replaces the caller's pages, also where no rule ran (those
    // take the target defaults). Each page now holds values its packed bytes
    // do not, so it is marked unpacked and the next save packs it.
    for (uint32_t k = 0; k < pages; ++k) {
        SensorModePage& page = *(*context->sourcePages)[k];
        EnsureUnpackedSize(page, target.fields_size);
        page.SetUnPackedData(context->targetPages[k]->GetUnpackedData(), target.fields_size);
        page.SetPackedState(0);
    }
}

void CalibDataStructureConverter::DoPageUpdate(CameraDataUpdateContext* context, uint8_t sourcePage, uint8_t targetPage)
{
    const char* const operation = "DoPageUpdate";
    RequireContext(operation, context);
    const auto source = SourceRecords(operation, *context, sourcePage);
    RequirePage(operation, context->sourceDefaults, sourcePage, "source");
    const auto oldDefaults = Records(operation, *context->sourceDefaults[sourcePage], context->sourceDefinition);
    thread_local std::vector<UnpackedField> work;
    try {
        TargetWorkBuffer(operation, *context, targetPage, work);
    } catch (const std::bad_alloc&) {
        ThrowCDSError(operation, "Failed to allocate buffer for unpacked data update");
    }

    // Fields the target's defaults CSV names for this page always take the
    // new default.
    std::vector<std::string> listed;
    ForEachCsvField(context->targetDefinition.mode_defaults_csv, [&](int page, const std::string& name) {
        if (page == targetPage) {
            listed.push_back(name);
        }
    });

    const std::vector<size_t>& sourceOf = MatchRecords(source, work);
    for (size_t i = 0; i < work.size(); ++i) {
        UnpackedField& record = work[i];
        const size_t j = sourceOf[i];
        if (j == kNoSource) {
            continue;  // no value, or a field the source version does not have
        }
        if (std::find(listed.begin(), listed.end(), record.name) != listed.end()) {
            continue;
        }
        // A value still at the old default follows the defaults; any other
        // value is the camera's own and survives.
        if (source[j].value != oldDefaults[j].value) {
            record.value = source[j].value;
        }
    }
    StoreTargetPage(operation, *context, targetPage, work);
}

void CalibDataStructureConverter::DoPageFieldUpdate(CameraDataUpdateContext* context, uint8_t page,
                                                    std::vector<std::string> fieldNames)
{
    const char* const operation = "DoPageFieldUpdate";
    RequireContext(operation, context);
    const auto source = SourceRecords(operation, *context, page);
    std::vector<UnpackedField> work;
    try {
        TargetWorkBuffer(operation, *context, page, work);
    } catch (const std::bad_alloc&) {
        throw UpdaterError("DoPageUpdate - failed to allocate buffer for unpacked data update");
    }

    const NameIndex sourceIndex = IndexByName(source);
    const NameIndex targetIndex = IndexByName(work);
    std::unordered_map<std::string, size_t> seen;
    for (const std::string& name : fieldNames) {
        const size_t occurrence = seen[name]++;
        const auto from = sourceIndex.find(name);
        if (from == sourceIndex.end() || occurrence >= from->second.size()) {
            ThrowCDSError(operation, "Could not find field in source EEPROM data", name);
        }
        const auto to = targetIndex.find(name);
        if (to == targetIndex.end() || occurrence >= to->second.size()) {
            ThrowCDSError(operation, "Could not find filed in target EEPROM data", name);
        }
        work[to->second[occurrence]].value = source[from->second[occurrence]].value;
    }
    StoreTargetPage(operation, *context, page, work);
}

bool CalibDataStructureConverter::IsFieldInCsv(const char* csv, uint8_t page, std::string fieldName)
{
    bool found = false;
    ForEachCsvField(
        csv, [&](int rowPage, const std::string& name) { found = found || (rowPage == page && name == fieldName); });
    return found;
}

void CalibDataStructureConverter::ClearUpdateContext(CameraDataUpdateContext* context)
{
    if (context == nullptr) {
        ThrowCDSError("ClearUpdateContext", "Context pointer is not valid");
    }
    context->targetPages.clear();
    context->sourceDefaults.clear();
    context->targetDefaults.clear();
}
