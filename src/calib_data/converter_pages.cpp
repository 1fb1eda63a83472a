// The converter's camera-mode pages: building them from the image, unpacking
// and packing them with the definition's layout, saving them into the image
// and replacing them by the definition's mode defaults.

#include <algorithm>
#include <memory>

#include "calib_data_structure_converter.h"
#include "cds_error.h"
#include "cds_format.h"
#include "default_images.h"

void CalibDataStructureConverter::RequirePageGeometry(const CdsDefinition& def, const SensorModePage& page,
                                                      const char* operation)
{
    // Pages are built from a definition; one of another geometry (the version
    // bytes changed to a definition of another page size) is refused rather
    // than packed past its buffer.
    if (page.GetPackedSize() != def.page_size) {
        ThrowCDSError(operation, "Camera mode page does not match the data structure definition",
                      CdsFormat("page %u holds %u bytes, the definition %u", page.GetPageIndex(), page.GetPackedSize(),
                                def.page_size));
    }
}

void CalibDataStructureConverter::UnpackPage(const CdsDefinition& def, SensorModePage& page, const char* operation)
{
    RequirePageGeometry(def, page, operation);
    page.SetUnPackedData(def.fields, def.fields_size);
    if (def.Unpack(page.Packed(), page.Unpacked()) != 0) {
        // A page that fails its checksum keeps its bytes as they are: it stays
        // packed only, so saving copies it unchanged and nothing replaces its
        // values by the field table's.
        ReportCdsError(operation, "Camera mode page failed its checksum and stays packed",
                       CdsFormat("page %u", page.GetPageIndex()));
        page.SetPackedState(1);
        return;
    }
    page.SetPackedState(0);
}

void CalibDataStructureConverter::LoadSensorModes()
{
    CheckPreconditions("LoadSensorModes", kSettings);
    if (cache_.empty()) {
        ThrowCDSError("LoadSensorModes", "Partition was not allocated");
    }
    ClearSensorModes();
    CdsDefinition def;
    if (!GetCurrentCalibInfo(&def, modelName_.c_str(), eepromStructVer_, modeDefaultsVer_)) {
        ThrowCDSError("LoadSensorModes CDS definition not available for model and eeprom_version", modelName_);
    }
    for (uint32_t i = 0; i < def.pages_count; ++i) {
        auto page = std::make_unique<SensorModePage>();
        page->AllocateBuffers(def.page_size, def.fields_size);
        page->SetPackedData(cache_.data() + static_cast<size_t>(i) * def.page_size, def.page_size);
        page->SetUnPackedData(def.fields, def.fields_size);
        page->SetPageIndex(i);
        pages_.push_back(std::move(page));
    }
}

void CalibDataStructureConverter::UnpackSensorModesData()
{
    CheckPreconditions("UnpackSensorModesData", kAll);
    const CdsDefinition def = RequireDefinition("UnpackSensorModesData");
    for (const auto& page : pages_) {
        UnpackPage(def, *page, "UnpackSensorModesData");
    }
}

void CalibDataStructureConverter::PackSensorModesData()
{
    CheckPreconditions("PackSensorModesData", kAll);
    const CdsDefinition def = RequireDefinition("PackSensorModesData");
    for (const auto& page : pages_) {
        // A page that is packed only has no values to pack: its bytes stay.
        if (page->IsPackedOnly() != 0) {
            continue;
        }
        RequirePageGeometry(def, *page, "PackSensorModesData");
        def.Pack(page->Packed(), page->Unpacked());
        page->SetPackedState(1);
        page->ClearUnpackedData();
    }
}

void CalibDataStructureConverter::SaveSensorModes()
{
    CheckPreconditions("SaveSensorModes", kSettings);
    if (cache_.empty()) {
        ThrowCDSError("SaveSensorModes", "Partition was not allocated");
    }
    const CdsDefinition def = RequireDefinition("SaveSensorModes");
    size_t position = 0;
    for (const auto& page : pages_) {
        RequirePageGeometry(def, *page, "SaveSensorModes");
        if (page->IsPackedOnly() == 0) {
            def.Pack(page->Packed(), page->Unpacked());
            page->SetPackedState(1);
        }
        if (position + def.page_size > cache_.size()) {
            ThrowCDSError("SaveSensorModes", "Camera mode pages do not fit the image",
                          CdsFormat("page %u", page->GetPageIndex()));
        }
        std::copy(page->Packed().begin(), page->Packed().end(), cache_.begin() + static_cast<ptrdiff_t>(position));
        position += def.page_size;
    }
}

void CalibDataStructureConverter::UnpackSensorModesDefaultsData()
{
    CheckPreconditions("UnpackSensorModesDefaultsData", kSettings);
    CdsDefinition def = RequireDefinition("UnpackSensorModesDefaultsData");
    ClearSensorModes();
    LoadAndUnpackDstModeDefaults(modelName_.c_str(), &def, &pages_);
}

void CalibDataStructureConverter::ClearSensorModes()
{
    pages_.clear();
}

uint32_t CalibDataStructureConverter::GetPagesCount()
{
    CheckPreconditions("GetPagesCount", kAll);
    FreeCurrentCalibDataDesc();
    if (!UpdateCurrentCalibDataDesc()) {
        ThrowCDSError("GetPagesCount", "CDS definition not available");
    }
    return currentDesc_->pages_count;
}

uint32_t CalibDataStructureConverter::GetPackedPagesCount() const
{
    CheckPreconditions("GetPackedPagesCount", kSettings);
    return RequireDefinition("GetPackedPagesCount").pages_count;
}

uint32_t CalibDataStructureConverter::GetPackedPageSize() const
{
    CheckPreconditions("GetPackedPageSize", kSettings);
    return RequireDefinition("GetPackedPageSize").page_size;
}

void CalibDataStructureConverter::LoadAndUnpackDstModeDefaults(const char* model, CdsDefinition* definition,
                                                               SensorModePageList* out)
{
    const char* const operation = "LoadAndUnpackDstModeDefaults";
    if (model == nullptr || definition == nullptr || out == nullptr) {
        ThrowCDSError(operation, "Invalid input parameters");
    }
    if (definition->mode_defaults_image == nullptr) {
        // Borrow the image of the first row of the same model and versions.
        const auto& table = CdsDefinitionTable();
        for (size_t row = 0; row < kCdsDefinitionCount; ++row) {
            if (table[row].mode_defaults_image != nullptr &&
                table[row].eeprom_struct_ver == definition->eeprom_struct_ver &&
                table[row].mode_defaults_ver == definition->mode_defaults_ver && CdsPatternMatches(row, model)) {
                definition->mode_defaults_image = table[row].mode_defaults_image;
                break;
            }
        }
    }
    if (definition->mode_defaults_image == nullptr) {
        ThrowCDSError(operation, "ERROR mode defaults file is not defined");
    }
    const std::span<const uint8_t> image = definition->mode_defaults_image->Bytes();
    if (image.size() < static_cast<size_t>(definition->pages_count) * definition->page_size) {
        ThrowCDSError(operation, "Mode defaults image is smaller than the definition's pages");
    }
    const size_t first = out->size();
    for (uint32_t i = 0; i < definition->pages_count; ++i) {
        auto page = std::make_unique<SensorModePage>();
        page->AllocateBuffers(definition->page_size, definition->fields_size);
        page->SetPackedData(image.data() + static_cast<size_t>(i) * definition->page_size, definition->page_size);
        page->SetUnPackedData(definition->fields, definition->fields_size);
        page->SetPageIndex(i);
        out->push_back(std::move(page));
    }
    for (size_t i = first; i < out->size(); ++i) {
        UnpackPage(*definition, *(*out)[i], operation);
    }
}
