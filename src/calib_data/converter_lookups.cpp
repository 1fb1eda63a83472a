// Definition lookups of the converter: which row of the definition table
// applies to a camera model, a CPU firmware version and a version pair.

#include <cstring>

#include "calib_data_structure_converter.h"
#include "cds_error.h"
#include "cds_format.h"
#include "cds_version.h"

namespace {

// The first row whose pattern matches the model, or kCdsDefinitionCount.
size_t FirstMatchingRow(const char* model)
{
    for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
        if (CdsPatternMatches(row, model)) {
            return row;
        }
    }
    return kCdsDefinitionCount;
}

const CdsDefinition& AssociatedRow(const char* operation, const char* model, const void* out)
{
    if (model == nullptr || out == nullptr) {
        ThrowCDSError(operation, "Input value is not valid.");
    }
    const size_t row = FirstMatchingRow(model);
    if (row == kCdsDefinitionCount) {
        ThrowCDSError(operation, "Value is not defined.");
    }
    return CdsDefinitionTable()[row];
}

}  // namespace

void CalibDataStructureConverter::RequireSettings(const char* operation, unsigned checks) const
{
    if ((checks & kModel) != 0 && modelName_.empty()) {
        ThrowCDSError(operation, "Model name is not defined");
    }
    if ((checks & kStruct) != 0 && eepromStructVer_ == 0) {
        ThrowCDSError(operation, "EEPROM data structure is not defined");
    }
    if ((checks & kCurrentFw) != 0 && cpuFwVersion_.empty()) {
        ThrowCDSError(operation, "Current firmware version is not defined");
    }
}

bool CalibDataStructureConverter::IsVersionInRange(const char* version, const char* from, const char* to)
{
    if (version == nullptr) {
        ThrowCDSError("IsVersionInRange ERROR", "Invalid current version string");
    }
    if (from == nullptr) {
        ThrowCDSError("IsVersionInRange ERROR", "ThrowCDSError invalid version from string");
    }
    if (to == nullptr) {
        ThrowCDSError("IsVersionInRange ERROR", "Invalid version to string");
    }
    const CdsVersion v(version);
    if (v < CdsVersion(from)) {
        return false;
    }
    return !(v > CdsVersion(to));
}

bool CalibDataStructureConverter::IsCameraModelKnown(const char* model)
{
    return model != nullptr && FirstMatchingRow(model) != kCdsDefinitionCount;
}

bool CalibDataStructureConverter::IsCameraModelSupported(const char* model)
{
    return IsCameraModelKnown(model);
}

bool CalibDataStructureConverter::GetCurrentCalibInfo(CdsDefinition* out, const char* model, uint8_t structVersion,
                                                      uint8_t defaultsVersion)
{
    if (out == nullptr || model == nullptr) {
        ThrowCDSError("GetCurrentCalibInfo", "Invalid input parameters");
    }
    if (model[0] == '\0') {
        ThrowCDSError("GetCurrentCalibInfo", "Model name is not defined");
    }
    const auto& table = CdsDefinitionTable();
    bool found = false;
    // The last qualifying row answers.
    for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
        if (CdsPatternMatches(row, model) && table[row].eeprom_struct_ver == structVersion &&
            table[row].mode_defaults_ver == defaultsVersion) {
            *out = table[row];
            found = true;
        }
    }
    if (!found) {
        ReportCdsError("GetCurrentCalibInfo", "CDS definition not available",
                       CdsFormat("%s %02d.%02d", model, structVersion, defaultsVersion));
    }
    return found;
}

bool CalibDataStructureConverter::FindDataVersionsForCpu(const char* cpuVersion, uint8_t* structVersion,
                                                         uint8_t* defaultsVersion) const
{
    if (structVersion == nullptr || defaultsVersion == nullptr) {
        ThrowCDSError("FindDataVersionsForCpu", "Invalid input parameters");
    }
    const auto& table = CdsDefinitionTable();
    bool found = false;
    // The newest version of the CPU range wins: every qualifying row writes.
    for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
        if (CdsPatternMatches(row, modelName_.c_str()) &&
            IsVersionInRange(cpuVersion, table[row].cpu_fw_min, table[row].cpu_fw_max)) {
            *structVersion = table[row].eeprom_struct_ver;
            *defaultsVersion = table[row].mode_defaults_ver;
            found = true;
        }
    }
    return found;
}

bool CalibDataStructureConverter::IsCpuFirmwareVersionSupported(const char* cpuVersion) const
{
    RequireSettings("IsCpuFirmwareVersionSupported", kModel);
    const auto& table = CdsDefinitionTable();
    for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
        if (CdsPatternMatches(row, modelName_.c_str()) &&
            IsVersionInRange(cpuVersion, table[row].cpu_fw_min, table[row].cpu_fw_max)) {
            return true;
        }
    }
    return false;
}

bool CalibDataStructureConverter::IsEEPROMStructModeDefaultsVersionSupported(uint8_t structVersion,
                                                                             uint8_t defaultsVersion) const
{
    const char* const operation = "IsEEPROMStructModeDefaultsVersionSupported";
    RequireSettings(operation, kModel | kCurrentFw);
    const auto& table = CdsDefinitionTable();
    for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
        if (CdsPatternMatches(row, modelName_.c_str()) &&
            IsVersionInRange(cpuFwVersion_.c_str(), table[row].cpu_fw_min, table[row].cpu_fw_max) &&
            table[row].eeprom_struct_ver == structVersion && table[row].mode_defaults_ver == defaultsVersion) {
            return true;
        }
    }
    return false;
}

namespace {

struct VersionPair {
    uint8_t structVersion = 0;
    uint8_t defaultsVersion = 0;
};

}  // namespace

uint8_t CalibDataStructureConverter::GetEepromDataStructVersionForCurrentCpu() const
{
    const char* const operation = "GetEepromDataStructVersionForCurrentCpu";
    RequireSettings(operation, kModel | kCurrentFw);
    VersionPair found;
    if (!FindDataVersionsForCpu(cpuFwVersion_.c_str(), &found.structVersion, &found.defaultsVersion)) {
        ThrowCDSError(operation, "Missing EEPROM data structure definition",
                      CdsFormat("%s and current CPU firmware %s", modelName_.c_str(), cpuFwVersion_.c_str()));
    }
    return found.structVersion;
}

uint8_t CalibDataStructureConverter::GetCameraModeDefaultsVersionForCurrentCpu() const
{
    const char* const operation = "GetCameraModeDefaultsVersionForCurrentCpu";
    RequireSettings(operation, kModel | kCurrentFw);
    VersionPair found;
    if (!FindDataVersionsForCpu(cpuFwVersion_.c_str(), &found.structVersion, &found.defaultsVersion)) {
        ThrowCDSError(operation, "Missing EEPROM data structure definition",
                      CdsFormat("%s and current CPU firmware %s", modelName_.c_str(), cpuFwVersion_.c_str()));
    }
    return found.defaultsVersion;
}

void CalibDataStructureConverter::GetAssociatedFwType(const char* model, uint32_t* fwType)
{
    *fwType = AssociatedRow("GetAssociatedFwType", model, fwType).assoc_fw_type;
}

void CalibDataStructureConverter::GetAssocZvFwType(const char* model, uint32_t* zvFwType)
{
    *zvFwType = AssociatedRow("GetAssocZvFwType", model, zvFwType).zv_fw_type;
}

void CalibDataStructureConverter::GetAccocDevUnitSelector(const char* model, uint32_t* devUnitSelector)
{
    *devUnitSelector = AssociatedRow("GetAccocDevUnitSelector", model, devUnitSelector).curr_dus;
}

void CalibDataStructureConverter::GetAssocFfsFileName(const char* model, char* buffer, uint32_t bufferSize)
{
    if (bufferSize == 0) {
        ThrowCDSError("GetAssocFfsFileName", "Input value is not valid.");
    }
    const char* name = AssociatedRow("GetAssocFfsFileName", model, buffer).assoc_ffs_name;
    const size_t length = std::strlen(name);
    // The name goes out with its terminating zero, so it needs one more byte.
    if (length >= bufferSize) {
        ThrowCDSError("GetAssocFfsFileName", "Input buffer is too small.");
    }
    std::memcpy(buffer, name, length + 1);
}
