// The converter's settings, its EEPROM image with the partition table and
// version bytes, raw-data transfers between the image, buffers and files,
// and the cached definition.

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "calib_data_structure_converter.h"
#include "cds_error.h"
#include "cds_format.h"
#include "partition_table.h"
#include "os_file_path.h"

namespace {

constexpr uint32_t kWholeImageSize = partition_table::kImageSize;
constexpr uint32_t kModesAndPartitionSize = 0xFF00;
constexpr uint32_t kDefaultModesTableSize = 0x4000;

void RequireInfo(const char* operation, const PartitionInfo* info)
{
    if (info == nullptr) {
        ThrowCDSError(operation, "Partition info is null");
    }
}

// A text that must fit the converter's 259-character fields.
void RequireFits(const char* operation, const char* what, const char* text)
{
    const size_t length = std::strlen(text);
    if (length > CalibDataStructureConverter::kMaxTextLength) {
        ThrowCDSError(operation, std::string(what) + " is too long",
                      CdsFormat("%zu characters, at most %zu", length, CalibDataStructureConverter::kMaxTextLength));
    }
}

// A version token read like atoi: leading white space, an optional sign,
// decimal digits up to the first other character, 0 when there are none.
// Saturates instead of overflowing.
long long ReadToken(const std::string& token)
{
    size_t i = 0;
    while (i < token.size() && std::isspace(static_cast<unsigned char>(token[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])); ++i) {
        value = std::min<long long>(value * 10 + (token[i] - '0'), INT_MAX);
    }
    return negative ? -value : value;
}

}  // namespace

// ---- settings ----------------------------------------------------------------------

void CalibDataStructureConverter::SetCameraModel(const char* model)
{
    if (model == nullptr) {
        ThrowCDSError("SetCameraModel", "Model name is null");
    }
    RequireFits("SetCameraModel", "Model name", model);
    if (!IsCameraModelKnown(model)) {
        ThrowCDSError("SetCameraModel", "Unknown camera model", model);
    }
    modelName_ = model;
}

void CalibDataStructureConverter::SetCpuFirmwareVersion(const char* version)
{
    if (version == nullptr) {
        ThrowCDSError("SetCpuFirmwareVersion", "Version is null");
    }
    RequireFits("SetCpuFirmwareVersion", "Version text", version);
    cpuFwVersion_ = version;
    // The text stays stored when no definition covers it; the bytes do not change then.
    eepromStructVer_ = GetEepromDataStructVersionForCurrentCpu();
    modeDefaultsVer_ = GetCameraModeDefaultsVersionForCurrentCpu();
}

void CalibDataStructureConverter::SetNewCpuFirmwareVersion(const char* version)
{
    if (version == nullptr) {
        ThrowCDSError("SetNewCpuFirmwareVersion", "Version is null");
    }
    RequireFits("SetNewCpuFirmwareVersion", "Version text", version);
    newCpuFwVersion_ = version;
}

void CalibDataStructureConverter::SetEepromDataStructVersion(uint8_t version)
{
    eepromStructVer_ = version;
}

void CalibDataStructureConverter::SetModeDefaultsVersion(uint8_t version)
{
    modeDefaultsVer_ = version;
}

// ---- preconditions and the current definition -------------------------------------------

void CalibDataStructureConverter::CheckPreconditions(const char* operation, unsigned checks) const
{
    if ((checks & kModel) != 0 && modelName_.empty()) {
        ThrowCdsPrecondition(operation, "model name is not defined");
    }
    if ((checks & kStruct) != 0 && eepromStructVer_ == 0) {
        ThrowCdsPrecondition(operation, "EEPROM data structure is not defined");
    }
    if ((checks & kCurrentFw) != 0 && cpuFwVersion_.empty()) {
        ThrowCdsPrecondition(operation, "current firmware version is not defined");
    }
    if ((checks & kNewFw) != 0 && newCpuFwVersion_.empty()) {
        ThrowCdsPrecondition(operation, "prepared firmware version is not defined");
    }
    if ((checks & kImage) != 0 && cache_.empty()) {
        ThrowCdsPrecondition(operation, "partition was not allocated");
    }
    if ((checks & kPages) != 0 && pages_.empty()) {
        ThrowCdsPrecondition(operation, "camera mode data was not loaded");
    }
}

CdsDefinition CalibDataStructureConverter::RequireDefinition(const char* operation) const
{
    CdsDefinition def;
    if (!GetCurrentCalibInfo(&def, modelName_.c_str(), eepromStructVer_, modeDefaultsVer_)) {
        ThrowCDSError(operation, "CDS definition not available");
    }
    return def;
}

bool CalibDataStructureConverter::UpdateCurrentCalibDataDesc()
{
    if (currentDesc_ && currentDescModel_ == modelName_ && currentDescStruct_ == eepromStructVer_ &&
        currentDescDefaults_ == modeDefaultsVer_) {
        return true;
    }
    currentDesc_.reset();
    if (modelName_.empty()) {
        return false;
    }
    CdsDefinition def;
    if (!GetCurrentCalibInfo(&def, modelName_.c_str(), eepromStructVer_, modeDefaultsVer_)) {
        return false;
    }
    currentDesc_ = def;
    currentDescModel_ = modelName_;
    currentDescStruct_ = eepromStructVer_;
    currentDescDefaults_ = modeDefaultsVer_;
    return true;
}

void CalibDataStructureConverter::FreeCurrentCalibDataDesc()
{
    currentDesc_.reset();
}

// ---- image and regions ----------------------------------------------------------------

void CalibDataStructureConverter::AllocateCacheIfNeeded()
{
    if (!cache_.empty()) {
        return;
    }
    PartitionInfo whole;
    GetWholeEepromDataInfo(&whole);
    try {
        cache_.assign(whole.size, 0xFF);
    } catch (const std::bad_alloc&) {
        ThrowCDSError("AllocateCacheIfNeeded", "Failed to allocate raw data cache");
    }
}

void CalibDataStructureConverter::GetWholeEepromDataInfo(PartitionInfo* info)
{
    RequireInfo("GetWholeEepromDataInfo", info);
    info->offset = 0;
    info->size = kWholeImageSize;
}

void CalibDataStructureConverter::GetCameraModesAndPartitionDataInfo(PartitionInfo* info)
{
    RequireInfo("GetCameraModesAndPartitionDataInfo", info);
    info->offset = 0;
    info->size = kModesAndPartitionSize;
}

void CalibDataStructureConverter::GetPartitionTableDataInfo(PartitionInfo* info)
{
    RequireInfo("GetPartitionTableDataInfo", info);
    info->offset = partition_table::kOffset;
    info->size = partition_table::kRegionSize;
}

void CalibDataStructureConverter::GetCameraModesTableDataInfo(PartitionInfo* info) const
{
    RequireInfo("GetCameraModesTableDataInfo", info);
    info->offset = 0;
    info->size = CameraModesRegionSize();
}

uint32_t CalibDataStructureConverter::CameraModesRegionSize() const
{
    // The pages of the current definition; 64 pages of 512 bytes need 0x8000.
    if (!modelName_.empty()) {
        const auto& table = CdsDefinitionTable();
        const CdsDefinition* found = nullptr;
        for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
            if (table[row].eeprom_struct_ver == eepromStructVer_ && table[row].mode_defaults_ver == modeDefaultsVer_ &&
                CdsPatternMatches(row, modelName_.c_str())) {
                found = &table[row];
            }
        }
        if (found != nullptr) {
            return found->pages_count * found->page_size;
        }
    }
    return kDefaultModesTableSize;
}

void CalibDataStructureConverter::GetDataTypeDescription(CdsDataType type, uint32_t* offset, uint32_t* size) const
{
    if (offset == nullptr) {
        ThrowCDSError("GetDataTypeDescription", "Partition base is null");
    }
    if (size == nullptr) {
        ThrowCDSError("GetDataTypeDescription", "Partition size is null");
    }
    PartitionInfo info;
    switch (type) {
    case CdsDataType::WholeImage:
        GetWholeEepromDataInfo(&info);
        break;
    case CdsDataType::CameraModesAndPartition:
        GetCameraModesAndPartitionDataInfo(&info);
        break;
    case CdsDataType::PartitionTable:
        GetPartitionTableDataInfo(&info);
        break;
    case CdsDataType::CameraModesTable:
        GetCameraModesTableDataInfo(&info);
        break;
    default:
        ThrowCDSError("GetDataTypeDescription", "Unknown data type selected", CdsFormat("%d", static_cast<int>(type)));
    }
    *offset = info.offset;
    *size = info.size;
}

bool CalibDataStructureConverter::RegionHoldsPages(CdsDataType type) const
{
    return type == CdsDataType::WholeImage || type == CdsDataType::CameraModesAndPartition ||
           type == CdsDataType::CameraModesTable;
}

void CalibDataStructureConverter::CreatePartitionTable()
{
    AllocateCacheIfNeeded();
    const auto table = partition_table::MakeNew();
    SetRawData(table.data(), static_cast<uint32_t>(table.size()), CdsDataType::PartitionTable);
}

bool CalibDataStructureConverter::IsPartitionTableValid()
{
    uint8_t magic[2] = {0, 0};
    GetRawData(magic, sizeof(magic), CdsDataType::PartitionTable);
    return magic[0] == 0xCA && magic[1] == 0x1B;
}

void CalibDataStructureConverter::GetRawData(uint8_t* buffer, uint32_t count, CdsDataType type)
{
    if (buffer == nullptr) {
        ThrowCDSError("GetRawData", "Data buffer is null");
    }
    if (count == 0) {
        ThrowCDSError("GetRawData", "Data size is zero");
    }
    if (cache_.empty()) {
        ThrowCDSError("GetRawData", "Data cache was not allocated");
    }
    uint32_t offset = 0;
    uint32_t size = 0;
    GetDataTypeDescription(type, &offset, &size);
    if (uint64_t{offset} + count > cache_.size()) {
        ThrowCDSError(
            "GetRawData", "New data are out of bounds of camera memory space",
            CdsFormat("%llu is bigger than %zu", static_cast<unsigned long long>(offset) + count, cache_.size()));
    }
    if (RegionHoldsPages(type)) {
        SaveSensorModes();
    }
    std::copy_n(cache_.begin() + static_cast<std::ptrdiff_t>(offset), count, buffer);
}

void CalibDataStructureConverter::SetRawData(const uint8_t* buffer, uint32_t count, CdsDataType type)
{
    if (buffer == nullptr) {
        ThrowCDSError("SetRawData", "Data pointer is null");
    }
    if (count == 0) {
        ThrowCDSError("SetRawData", "Data size is zero");
    }
    uint32_t offset = 0;
    uint32_t size = 0;
    GetDataTypeDescription(type, &offset, &size);
    // Every region, the pages included, takes at most its own size: nothing
    // is dropped and nothing spills into the next region.
    if (count > size) {
        ThrowCDSError("SetRawData - unexpected data size", CdsFormat("current %u, expected %u", count, size));
    }
    AllocateCacheIfNeeded();
    if (uint64_t{offset} + count > cache_.size()) {
        ThrowCDSError(
            "SetRawData", "New data are out of bounds of camera memory space",
            CdsFormat("%llu is bigger than %zu", static_cast<unsigned long long>(offset) + count, cache_.size()));
    }
    std::copy_n(buffer, count, cache_.begin() + static_cast<std::ptrdiff_t>(offset));
    if (type != CdsDataType::CameraModesTable) {
        RereadVersionBytes();
    }
    if (RegionHoldsPages(type)) {
        LoadSensorModes();
    }
}

void CalibDataStructureConverter::ReadRawData(const char* fileName, CdsDataType type)
{
    if (fileName == nullptr) {
        ThrowCDSError("ReadRawData", "File name is not defined");
    }
    uint32_t offset = 0;
    uint32_t size = 0;
    GetDataTypeDescription(type, &offset, &size);
    std::ifstream file(zv::os::FilePath(fileName), std::ios::binary);
    if (!file) {
        ThrowCDSError("ReadRawData", "Failed to open file", fileName);
    }
    file.seekg(0, std::ios::end);
    const std::streamoff length = file.tellg();
    file.seekg(0, std::ios::beg);
    if (length < 0 || !file) {
        ThrowCDSError("ReadRawData", "Failed to read file", fileName);
    }
    if (length > static_cast<std::streamoff>(size)) {
        ThrowCDSError("ReadRawData", "Failed to open file",
                      CdsFormat("expected %u, read %lld", size, static_cast<long long>(length)));
    }
    AllocateCacheIfNeeded();
    if (offset + static_cast<uint64_t>(length) > cache_.size()) {
        ThrowCDSError("ReadRawData", "New data are out of bounds of camera memory space",
                      CdsFormat("%llu is higher than %zu",
                                static_cast<unsigned long long>(offset) + static_cast<unsigned long long>(length),
                                cache_.size()));
    }
    // Read into a buffer first, so a short read leaves the image as it was.
    std::vector<uint8_t> data(static_cast<size_t>(length));
    if (length > 0) {
        file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(length));
        if (file.gcount() != length) {
            ThrowCDSError("ReadRawData", "Failed to read file",
                          CdsFormat("%s: expected %lld bytes, read %lld", fileName, static_cast<long long>(length),
                                    static_cast<long long>(file.gcount())));
        }
    }
    std::copy(data.begin(), data.end(), cache_.begin() + static_cast<std::ptrdiff_t>(offset));
    if (type != CdsDataType::CameraModesTable) {
        RereadVersionBytes();
    }
    if (RegionHoldsPages(type)) {
        LoadSensorModes();
    }
}

void CalibDataStructureConverter::WriteRawData(const char* fileName, CdsDataType type)
{
    if (fileName == nullptr) {
        ThrowCDSError("WriteRawData", "Data file is not defined");
    }
    if (cache_.empty()) {
        ThrowCDSError("WriteRawData", "Data cache was not allocated");
    }
    if (RegionHoldsPages(type)) {
        SaveSensorModes();
    }
    uint32_t offset = 0;
    uint32_t size = 0;
    GetDataTypeDescription(type, &offset, &size);
    std::ofstream file(zv::os::FilePath(fileName), std::ios::binary | std::ios::trunc);
    if (!file) {
        ThrowCDSError("WriteRawData", "Failed to open file", fileName);
    }
    file.write(reinterpret_cast<const char*>(cache_.data() + offset), static_cast<std::streamsize>(size));
    file.close();
    if (!file) {
        ThrowCDSError("WriteRawData", "Failed to write file", fileName);
    }
}

// ---- version bytes and update flag ----------------------------------------------------------

void CalibDataStructureConverter::RequireImage(const char* operation) const
{
    if (cache_.empty()) {
        ThrowCDSError(operation, "Raw data cache not allocated");
    }
}

void CalibDataStructureConverter::ReadPartitionTable(const char* operation, std::vector<uint8_t>& table)
{
    RequireImage(operation);
    table.assign(partition_table::kSize, 0);
    GetRawData(table.data(), partition_table::kSize, CdsDataType::PartitionTable);
}

void CalibDataStructureConverter::WritePartitionTable(std::vector<uint8_t>& table)
{
    SetRawData(table.data(), partition_table::kSize, CdsDataType::PartitionTable);
}

void CalibDataStructureConverter::RereadVersionBytes()
{
    // Only defined values are taken over: a data-structure byte of 0 or 0xFF
    // and a mode-defaults byte of 0xFF leave the converter's bytes alone.
    GetCalibrationDataStructureVersion(&eepromStructVer_);
    GetCameraModeDefaultsVersion(&modeDefaultsVer_);
}

void CalibDataStructureConverter::GetCalibrationDataStructureVersion(uint8_t* version)
{
    std::vector<uint8_t> table;
    ReadPartitionTable("GetCalibrationDataStructureVersion", table);
    if (version == nullptr) {
        ThrowCDSError("GetCalibrationDataStructureVersion", "Version pointer is null");
    }
    const uint8_t value = table[partition_table::kStructVersion];
    if (value != partition_table::kUndefinedVersion && value != 0) {
        *version = value;
    }
}

void CalibDataStructureConverter::GetCameraModeDefaultsVersion(uint8_t* version)
{
    std::vector<uint8_t> table;
    ReadPartitionTable("GetCameraModeDefaultsVersion", table);
    if (version == nullptr) {
        ThrowCDSError("GetCameraModeDefaultsVersion", "Version pointer is null");
    }
    const uint8_t value = table[partition_table::kDefaultsVersion];
    if (value != partition_table::kUndefinedVersion) {
        *version = value;
    }
}

void CalibDataStructureConverter::SetCalibrationDataStructureVersion(uint8_t version)
{
    std::vector<uint8_t> table;
    ReadPartitionTable("SetCalibrationDataStructureVersion", table);
    table[partition_table::kStructVersion] = version;
    WritePartitionTable(table);
    eepromStructVer_ = version;
}

void CalibDataStructureConverter::SetCameraModeDefaultsVersion(uint8_t version)
{
    std::vector<uint8_t> table;
    ReadPartitionTable("SetCameraModeDefaultsVersion", table);
    table[partition_table::kDefaultsVersion] = version;
    WritePartitionTable(table);
    modeDefaultsVer_ = version;
}

void CalibDataStructureConverter::SetCameraCalibDataVersion(const char* version)
{
    if (version == nullptr) {
        ThrowCDSError("SetCameraCalibDataVersion", "Version is null");
    }
    RequireImage("SetCameraCalibDataVersion");
    uint8_t structVersion = 0;
    uint8_t defaultsVersion = 0;
    SplitVersionString(version, &structVersion, &defaultsVersion);
    SetCalibrationDataStructureVersion(structVersion);
    SetCameraModeDefaultsVersion(defaultsVersion);
}

void CalibDataStructureConverter::SplitVersionString(const char* text, uint8_t* first, uint8_t* second)
{
    if (text == nullptr) {
        ThrowCDSError("SplitVersionString ERROR", "Invalid version string");
    }
    if (first == nullptr) {
        ThrowCDSError("SplitVersionString ERROR", "Invalid major version pointer");
    }
    if (second == nullptr) {
        ThrowCDSError("SplitVersionString ERROR", "Invalid minor version pointer");
    }
    // Points in a row separate nothing; leading and trailing points are ignored.
    std::vector<std::string> tokens;
    const std::string copy(text);
    size_t at = 0;
    while (at < copy.size()) {
        const size_t begin = copy.find_first_not_of('.', at);
        if (begin == std::string::npos) {
            break;
        }
        const size_t end = copy.find('.', begin);
        tokens.push_back(copy.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
        at = end == std::string::npos ? copy.size() : end;
    }
    if (tokens.size() != 2) {
        ThrowCDSError("SetCameraDataVersion", "Version string does not contain major/minor definition", text);
    }
    const long long major = ReadToken(tokens[0]);
    const long long minor = ReadToken(tokens[1]);
    // A version byte holds 0 to 255; anything else would be stored as a
    // different version.
    if (major < 0 || major > 255 || minor < 0 || minor > 255) {
        ThrowCDSError("SplitVersionString ERROR", "Version number is out of range 0-255", text);
    }
    *first = static_cast<uint8_t>(major);
    *second = static_cast<uint8_t>(minor);
}

uint8_t CalibDataStructureConverter::GetUpdateInProgressFlag()
{
    std::vector<uint8_t> table;
    ReadPartitionTable("GetUpdateInProgressFlag", table);
    const uint8_t flag = table[partition_table::kUpdateInProgress];
    return flag == 0xFF ? 0 : flag;
}

void CalibDataStructureConverter::SetUpdateInProgressFlag(uint8_t flag)
{
    std::vector<uint8_t> table;
    ReadPartitionTable("SetUpdateInProgressFlag", table);
    table[partition_table::kUpdateInProgress] = flag;
    WritePartitionTable(table);
}
