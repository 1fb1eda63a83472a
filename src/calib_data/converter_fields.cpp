// Field selection and access: a cursor over the converter's unpacked pages.
// Values cross this interface as engineering integers; the definition's
// functions convert them to and from raw register values.

#include <algorithm>
#include <cstring>
#include <string>

#include "calib_data_structure_converter.h"
#include "cds_error.h"
#include "cds_format.h"

namespace {

constexpr const char* kNotSupported = "ERROR, not supported for specified camera model and EEPROM version";

bool IsImageControlWord(const UnpackedField& record)
{
    if (record.name == nullptr) {
        return false;
    }
    return std::strcmp(record.name, "IMG_CTRL") == 0 || std::strcmp(record.name, "IMG_CTR2") == 0;
}

}  // namespace

// ---- check groups ----------------------------------------------------------------------

const CdsDefinition& CalibDataStructureConverter::CachedDefinition(const char* operation)
{
    if (!UpdateCurrentCalibDataDesc()) {
        ThrowCDSError(operation, "CDS definition not available");
    }
    return *currentDesc_;
}

void CalibDataStructureConverter::RequireFieldTable(const CdsDefinition& def, const char* operation)
{
    if (def.fields_size == 0 || def.field_record_size == 0) {
        ThrowCDSError(operation, "Invalid unpacked data definitions");
    }
}

SensorModePage& CalibDataStructureConverter::SelectedPage(const char* operation)
{
    if (selectedPage_ >= pages_.size()) {
        ThrowCDSError(operation, "Selected page is not loaded",
                      CdsFormat("curr. %u, loaded %zu", selectedPage_, pages_.size()));
    }
    return *pages_[selectedPage_];
}

SensorModePage& CalibDataStructureConverter::UnpackedSelectedPage(const char* operation)
{
    SensorModePage& page = SelectedPage(operation);
    if (page.IsPackedOnly() != 0 || page.Unpacked().empty()) {
        ThrowCDSError(operation, "Selected page was not unpacked");
    }
    return page;
}

UnpackedField& CalibDataStructureConverter::SelectedRecord(const char* operation, SensorModePage& page)
{
    const auto records = page.Unpacked();
    if (selectedField_ >= records.size()) {
        ThrowCDSError(operation, "Field index is too high",
                      CdsFormat("curr. %u, max. %zu", selectedField_, records.size()));
    }
    return records[selectedField_];
}

const UnpackedField* CalibDataStructureConverter::RequireBitDescriptors(const CdsDefinition& def, const char* operation)
{
    const UnpackedField* descriptors = def.GetBitDescriptors();
    if (descriptors == nullptr) {
        ThrowCDSError(operation, kNotSupported);
    }
    return descriptors;
}

bool CalibDataStructureConverter::SelectionIsRegisterBit() const
{
    return IsRegisterBitName(selectedFieldName_);
}

// ---- selection ---------------------------------------------------------------------------

void CalibDataStructureConverter::SelectFieldsPage(uint32_t page)
{
    const char* const operation = "SelectFieldsPage";
    CheckPreconditions(operation, kAll);
    const CdsDefinition& def = CachedDefinition(operation);
    if (page >= def.pages_count) {
        ThrowCDSError(operation, "Page index is too high", CdsFormat("curr. %u, max. %u", page, def.pages_count));
    }
    selectedPage_ = page;
}

void CalibDataStructureConverter::SelectFieldByIndex(uint32_t index)
{
    const char* const operation = "SelectFieldByIndex";
    CheckPreconditions(operation, kAll);
    const CdsDefinition& def = CachedDefinition(operation);
    RequireFieldTable(def, operation);
    if (index >= def.fields_count) {
        ThrowCDSError(operation, "Field index is too high", CdsFormat("curr. %u, max. %u", index, def.fields_count));
    }
    selectedField_ = index;
    // The name comes from the page's records when it has them (a packed-only
    // page still holds the field table's names).
    selectedFieldName_.clear();
    if (selectedPage_ < pages_.size()) {
        const auto records = pages_[selectedPage_]->Unpacked();
        if (index < records.size()) {
            selectedFieldName_ = FieldNameOf(records[index]);
        }
    }
}

void CalibDataStructureConverter::SelectFieldByName(const char* name)
{
    const char* const operation = "SelectFieldByName";
    CheckPreconditions(operation, kAll);
    const CdsDefinition& def = CachedDefinition(operation);
    SensorModePage& page = UnpackedSelectedPage(operation);
    RequireFieldTable(def, operation);
    if (name == nullptr) {
        ThrowCDSError(operation, "Field name is null");
    }
    if (IsRegisterBitName(name)) {
        selectedFieldName_ = name;
        SelectSpecificFieldByName(name);
        return;
    }
    const auto records = page.Unpacked();
    const size_t count = std::min<size_t>(def.fields_count, records.size());
    for (size_t i = 0; i < count; ++i) {
        if (records[i].name != nullptr && std::strcmp(records[i].name, name) == 0) {
            selectedFieldName_ = name;
            selectedField_ = static_cast<uint32_t>(i);
            return;
        }
    }
    ThrowCDSError(operation, "Field name not present in unpacked calibration data", name);
}

void CalibDataStructureConverter::SelectSpecificFieldByName(std::string name)
{
    const char* const operation = "SelectSpecificFieldByName";
    const size_t point = name.find('.');
    const std::string reg = name.substr(0, point);
    const std::string bit = point == std::string::npos ? std::string() : name.substr(point + 1);
    const CdsDefinition def = RequireDefinition(operation);
    const UnpackedField* descriptors = RequireBitDescriptors(def, operation);
    const auto records = SelectedPage(operation).Unpacked();
    const size_t count = std::min<size_t>(def.GetFieldTableCount(), records.size());

    bool found = false;
    uint32_t field = selectedField_;
    uint32_t bitNumber = selectedBit_;
    for (size_t i = 0; i < count; ++i) {
        if (records[i].name == nullptr || reg != records[i].name) {
            continue;
        }
        // Descriptors 0-15 name the bits of IMG_CTRL, 16-31 those of IMG_CTR2.
        const size_t first = reg == "IMG_CTRL" ? 0 : reg == "IMG_CTR2" ? 16 : 32;
        for (size_t d = first; d < first + 16 && d < 32; ++d) {
            if (bit == FieldNameOf(descriptors[d])) {
                field = static_cast<uint32_t>(i);
                bitNumber = static_cast<uint32_t>(d - first);
                found = true;
                break;
            }
        }
    }
    if (!found) {
        ThrowCDSError(operation, "ERROR, field name not present in unpacked calibration data", name);
    }
    selectedField_ = field;
    selectedBit_ = bitNumber;
}

uint32_t CalibDataStructureConverter::GetFieldsCount()
{
    const char* const operation = "GetFieldsCount";
    CheckPreconditions(operation, kAll);
    const CdsDefinition& def = CachedDefinition(operation);
    RequireFieldTable(def, operation);
    return def.fields_count;
}

// ---- name and comment ----------------------------------------------------------------------

void CalibDataStructureConverter::CopyFieldText(const char* operation, const char* text, char* buffer, uint32_t size,
                                                const char* tooSmall)
{
    const size_t length = std::strlen(text);
    if (length >= size) {
        ThrowCDSError(operation, tooSmall);
    }
    std::memcpy(buffer, text, length + 1);
}

void CalibDataStructureConverter::GetFieldName(char* buffer, uint32_t size)
{
    const char* const operation = "GetFieldName";
    CheckPreconditions(operation, kAll);
    if (buffer == nullptr) {
        ThrowCDSError(operation, "Invalid field name buffer provided");
    }
    SensorModePage& page = UnpackedSelectedPage(operation);
    CopyFieldText(operation, FieldNameOf(SelectedRecord(operation, page)), buffer, size, "Field name buffer too small");
}

void CalibDataStructureConverter::GetFieldDescription(char* buffer, uint32_t size)
{
    const char* const operation = "GetFieldDescription";
    CheckPreconditions(operation, kAll);
    if (buffer == nullptr) {
        ThrowCDSError(operation, "Invalid field name buffer provided");
    }
    SensorModePage& page = UnpackedSelectedPage(operation);
    const UnpackedField& record = SelectedRecord(operation, page);
    CopyFieldText(operation, record.comment != nullptr ? record.comment : "", buffer, size,
                  "Field description buffer too small");
}

// ---- type and value ---------------------------------------------------------------------------

CdsFieldType CalibDataStructureConverter::GetFieldType()
{
    const char* const operation = "GetFieldType";
    CheckPreconditions(operation, kAll);
    const CdsDefinition& def = CachedDefinition(operation);
    SensorModePage& page = UnpackedSelectedPage(operation);
    selectedFieldType_ = def.GetFieldType(SelectedRecord(operation, page));
    return selectedFieldType_;
}

void CalibDataStructureConverter::SetFieldType(CdsFieldType type)
{
    CheckPreconditions("SetFieldType", kAll);
    selectedFieldType_ = type;
}

int32_t CalibDataStructureConverter::GetFieldValueInt32()
{
    const char* const operation = "GetFieldValueInt32";
    CheckPreconditions(operation, kAll);
    const CdsDefinition& def = CachedDefinition(operation);
    SensorModePage& page = UnpackedSelectedPage(operation);
    if (SelectionIsRegisterBit()) {
        return GetSpecificFieldValueInt32();
    }
    return def.GetFieldValue(SelectedRecord(operation, page));
}

void CalibDataStructureConverter::SetFieldValueInt32(int32_t value)
{
    const char* const operation = "SetFieldValueInt32";
    CheckPreconditions(operation, kAll);
    const CdsDefinition& def = CachedDefinition(operation);
    SensorModePage& page = UnpackedSelectedPage(operation);
    if (SelectionIsRegisterBit()) {
        SetSpecificFieldValueInt32(value);
        return;
    }
    def.SetFieldValue(value, SelectedRecord(operation, page));
}

int32_t CalibDataStructureConverter::GetSpecificFieldValueInt32()
{
    const char* const operation = "GetSpecificFieldValueInt32";
    const CdsDefinition& def = CachedDefinition(operation);
    RequireBitDescriptors(def, operation);
    const UnpackedField& record = SelectedRecord(operation, UnpackedSelectedPage(operation));
    if (!IsImageControlWord(record) || selectedBit_ > 15) {
        return 0;
    }
    return static_cast<int32_t>((static_cast<uint32_t>(record.value) >> selectedBit_) & 1u);
}

void CalibDataStructureConverter::SetSpecificFieldValueInt32(int32_t value)
{
    const char* const operation = "SetSpecificFieldValueInt32";
    const CdsDefinition& def = CachedDefinition(operation);
    RequireBitDescriptors(def, operation);
    UnpackedField& record = SelectedRecord(operation, UnpackedSelectedPage(operation));
    if (!IsImageControlWord(record) || selectedBit_ > 15) {
        return;
    }
    auto word = static_cast<uint32_t>(record.value);
    const uint32_t bit = 1u << selectedBit_;
    word = value != 0 ? (word | bit) : (word & ~bit);
    record.value = static_cast<int32_t>(word);
}

// ---- enumerations --------------------------------------------------------------------------------

uint32_t CalibDataStructureConverter::GetEnumValueCount()
{
    const char* const operation = "GetEnumValueCount";
    CheckPreconditions(operation, kAll);
    CachedDefinition(operation);
    UnpackedSelectedPage(operation);
    const CdsFieldType type = GetFieldType();
    return type == CdsFieldType::EnumGain || type == CdsFieldType::EnumRaw ? 64u : 0u;
}

uint32_t CalibDataStructureConverter::GetEnumValueIndex()
{
    const char* const operation = "GetEnumValueIndex";
    CheckPreconditions(operation, kAll);
    CachedDefinition(operation);
    return selectedEnumIndex_;
}

void CalibDataStructureConverter::SetEnumValueIndex(uint32_t index)
{
    const char* const operation = "SetEnumValueIndex";
    CheckPreconditions(operation, kAll);
    CachedDefinition(operation);
    selectedEnumIndex_ = index;
}

int32_t CalibDataStructureConverter::GetEnumValueItem()
{
    const char* const operation = "GetEnumValueItem";
    CheckPreconditions(operation, kAll);
    const CdsDefinition& def = CachedDefinition(operation);
    UnpackedSelectedPage(operation);
    switch (selectedFieldType_) {
    case CdsFieldType::EnumGain:
        return def.GetEnumValue(selectedEnumIndex_);
    case CdsFieldType::EnumRaw:
        return def.GetEnumValueRaw(selectedEnumIndex_);
    default:
        return 0;
    }
}
