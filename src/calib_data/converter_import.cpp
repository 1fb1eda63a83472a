// Calibration CSV import: a structured listing (edited or not) or a patch of
// single fields and bits, applied to the converter's unpacked pages.
//
// Rows are "mode id,name,value[,more cells]". The mode id "0x5A<hex>" names
// the page; the name is a field shown in the display grid (its value text is
// parsed by the definition), a named bit of an image-control word
// ("IMG_CTRL.<bit>", "IMG_CTR2.<bit>"), or a bit of any field's stored value
// ("<field>::<bit number>"). Empty lines, lines without a comma, the header
// and rows without a mode id or a name are skipped.
//
// A row that restates what the page held before the import (the listing's
// own text of the value, or the bit as it was) changes nothing: an exported
// listing imports back byte for byte, and an edit of a field shown twice, or
// of an image-control word whose bit lines follow it, is not undone by the
// rows that still show the old value.

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "cds_error.h"
#include "cds_format.h"
#include "csv_row_reader.h"
#include "value_text.h"
#include "os_file_path.h"

namespace {

// Limits of a calibration CSV line: the listings write lines of a few dozen
// characters and four cells.
constexpr size_t kMaxCsvLineLength = 4096;
constexpr size_t kMaxCsvCells = 256;

constexpr const char* kNotSupported = "ERROR, not supported for specified camera model and EEPROM version";

struct RegisterBit {
    size_t record;
    uint32_t bit;
};

// The record and bit that "IMG_CTRL.<bit>" or "IMG_CTR2.<bit>" names: the
// first record of that register, and the first of its 16 descriptors whose
// name equals the bit part exactly.
std::optional<RegisterBit> FindRegisterBit(const CdsDefinition& def, std::span<const UnpackedField> records,
                                           const std::string& name)
{
    const UnpackedField* descriptors = def.GetBitDescriptors();
    if (descriptors == nullptr) {
        return std::nullopt;
    }
    const size_t point = name.find('.');
    const std::string reg = name.substr(0, point);
    const std::string bit = point == std::string::npos ? std::string() : name.substr(point + 1);
    if (reg != "IMG_CTRL" && reg != "IMG_CTR2") {
        return std::nullopt;
    }
    const size_t first = reg == "IMG_CTRL" ? 0 : 16;
    const size_t count = std::min<size_t>(def.GetFieldTableCount(), records.size());
    for (size_t i = 0; i < count; ++i) {
        if (records[i].name == nullptr || reg != records[i].name) {
            continue;
        }
        for (uint32_t j = 0; j < 16; ++j) {
            if (bit == FieldNameOf(descriptors[first + j])) {
                return RegisterBit{i, j};
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// The grid cells of each field name shown in the listing (the JV285 V1.1
// grid shows two different records named VREF).
std::map<std::string, std::vector<uint16_t>, std::less<>> GridCellsByName(const CdsDefinition& def)
{
    std::map<std::string, std::vector<uint16_t>, std::less<>> cells;
    const auto table = def.FieldTable();
    for (const uint16_t cell : def.GetGridCells()) {
        if (cell < table.size()) {
            cells[FieldNameOf(table[cell])].push_back(cell);
        }
    }
    return cells;
}

// The value cell of a bit row: a decimal number, above 0 sets the bit. A
// failure is completed with the row's place by the import.
int BitValue(const std::string& text)
{
    const auto value = ParseDecimalText(text);
    if (!value) {
        throw UpdaterError("ERROR, bit value is not a number ('" + text + "')");
    }
    return *value > 0 ? 1 : 0;
}

// "0x5A" and the page number in hexadecimal.
std::optional<uint32_t> PageOfModeId(std::string_view cell)
{
    if (cell.size() < 5 || cell.substr(0, 4) != "0x5A") {
        return std::nullopt;
    }
    const std::string_view digits = cell.substr(4);
    if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
        return std::nullopt;
    }
    const auto page = ParseHexText(digits);
    if (!page || *page > 0xFFFFFFFF) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(*page);
}

}  // namespace

struct CalibDataStructureConverter::CsvImport {
    CsvImport(const char* op, const char* file, const CdsDefinition& definition)
        : operation(op), fileName(file), def(definition)
    {}

    const char* operation;
    const char* fileName;
    CdsDefinition def;
    // Range form: pages first..last; list form: the one listed page.
    uint32_t first = 0;
    uint32_t last = 0;
    bool listForm = false;
    // The pages' records as they were before the import, taken when a row
    // first reaches the page.
    std::map<uint32_t, std::vector<UnpackedField>> originals;
    std::map<std::string, std::vector<uint16_t>, std::less<>> gridCells = GridCellsByName(def);

    // Whether a field row shows what the listing showed for the page before
    // the import, in any grid cell of that name.
    bool RestatesOriginal(std::span<const UnpackedField> original, const std::string& name,
                          const std::string& value) const
    {
        const auto cells = gridCells.find(name);
        if (cells == gridCells.end()) {
            return false;
        }
        const std::string_view text = TrimBlanks(value);
        for (const uint16_t cell : cells->second) {
            if (cell < original.size()) {
                const auto shown = def.ListingValueText(original[cell]);
                if (shown && TrimBlanks(*shown) == text) {
                    return true;
                }
            }
        }
        return false;
    }

    // A name the grid shows for two different records (VREF in JV285 V1.1:
    // a bit field and a word) cannot tell which one an edited row means.
    bool IsAmbiguous(const std::string& name) const
    {
        const auto cells = gridCells.find(name);
        if (cells == gridCells.end()) {
            return false;
        }
        return std::any_of(cells->second.begin(), cells->second.end(),
                           [&](uint16_t cell) { return cell != cells->second.front(); });
    }

    const std::vector<UnpackedField>& OriginalOf(uint32_t page, std::span<const UnpackedField> records)
    {
        auto [it, inserted] = originals.try_emplace(page);
        if (inserted) {
            it->second.assign(records.begin(), records.end());
        }
        return it->second;
    }
};

void CalibDataStructureConverter::ImportCsv(CsvImport& import)
{
    const char* const operation = import.operation;
    // Binary: the reader takes LF and CR LF line ends alike on every system.
    std::ifstream file(zv::os::FilePath(import.fileName), std::ios::binary);
    if (!file) {
        ThrowCDSError(operation, "Failed to open file", import.fileName);
    }
    // A UTF-8 byte-order mark before the first row is not part of it.
    char bom[3] = {};
    file.read(bom, 3);
    if (file.gcount() != 3 || std::memcmp(bom, "\xEF\xBB\xBF", 3) != 0) {
        file.clear();
        file.seekg(0);
    }

    size_t line = 0;
    for (CsvRowIterator row(file), end; row != end; ++row) {
        ++line;
        if (row->LineLength() > kMaxCsvLineLength) {
            ThrowCDSError(
                operation, "CSV line is too long",
                CdsFormat("line %zu, %zu characters, at most %zu", line, row->LineLength(), kMaxCsvLineLength));
        }
        if (row->size() > kMaxCsvCells) {
            ThrowCDSError(operation, "CSV line has too many cells",
                          CdsFormat("line %zu, %zu cells, at most %zu", line, row->size(), kMaxCsvCells));
        }
        if (row->size() == 1) {
            continue;  // an empty line, or one without a comma
        }
        if (row->size() < 3) {
            ThrowCDSError(operation, "CSV line has too few cells",
                          CdsFormat("line %zu, %zu cells, at least 3", line, row->size()));
        }
        const std::string_view modeId = TrimBlanks((*row)[0]);
        const std::string& name = (*row)[1];
        if (modeId == "Mode ID" || name.empty() || modeId.find("0x5A") == std::string_view::npos) {
            continue;
        }
        const auto page = PageOfModeId(modeId);
        if (!page) {
            ThrowCDSError(operation, "CSV file contains invalid mode id",
                          CdsFormat("line %zu, '%s'", line, std::string(modeId).c_str()));
        }
        if (*page >= pages_.size()) {
            ThrowCDSError(operation, "CSV file contains invalid page number",
                          CdsFormat("curr. %u, max. %llu, line %zu", *page,
                                    static_cast<unsigned long long>(pages_.size()), line));
        }
        if (*page < import.first) {
            continue;
        }
        if (*page > import.last) {
            break;  // rows come in page order: the range is done
        }
        SensorModePage& target = *pages_[*page];
        if (target.IsPackedOnly() != 0) {
            ThrowCDSError(operation, import.listForm ? "Cannot convert packed page data, please run unpack first"
                                                     : "Cannot convert packed page data");
        }
        const std::string& value = (*row)[2];
        try {
            const auto records = target.Unpacked();
            const std::vector<UnpackedField>& original = import.OriginalOf(*page, records);
            if (IsRegisterBitName(name)) {
                const int bit = BitValue(value);
                const auto place = FindRegisterBit(import.def, original, name);
                if (place && static_cast<int>((static_cast<uint32_t>(original[place->record].value) >> place->bit) &
                                              1u) == bit) {
                    continue;
                }
                UpdateUnpackedSpecificField(records, name, bit);
            } else if (name.find("::") != std::string::npos) {
                UpdateUnpackedFieldBit(static_cast<int>(*page), name, BitValue(value));
            } else {
                if (import.def.HasTextParser()) {
                    if (import.RestatesOriginal(original, name, value)) {
                        continue;
                    }
                    if (import.IsAmbiguous(name)) {
                        throw UpdaterError("ERROR, the name stands for more than one field of the page");
                    }
                }
                import.def.SetVal(records, name.c_str(), value.c_str());
            }
        } catch (const UpdaterError& error) {
            ThrowCDSError(operation, error.what(),
                          CdsFormat("line %zu, page %u, field '%s'", line, *page, name.c_str()));
        }
    }
}

void CalibDataStructureConverter::UpdatePagesFromCsv(const char* fileName, int firstPage, int lastPage)
{
    const char* const operation = "UpdatePagesFromCsv";
    if (fileName == nullptr) {
        ThrowCDSError(operation, "File name is null");
    }
    RequireSettings(operation, kModel | kStruct);
    if (pages_.empty()) {
        ThrowCDSError(operation, "Calibration data was not loaded");
    }
    if (firstPage < 0 || firstPage > lastPage) {
        ThrowCDSError(operation, "Invalid starting index", CdsFormat("range <%d,%d>", firstPage, lastPage));
    }
    CsvImport import(operation, fileName, RequireDefinition(operation));
    import.def.Initialize();
    import.first = static_cast<uint32_t>(firstPage);
    import.last = static_cast<uint32_t>(lastPage);
    ImportCsv(import);
}

void CalibDataStructureConverter::UpdatePagesFromCsv(const char* fileName, std::list<int>& pages)
{
    const char* const operation = "UpdatePagesFromCsv";
    if (fileName == nullptr) {
        ThrowCDSError(operation, "File name is null");
    }
    RequireSettings(operation, kModel | kStruct);
    if (pages.empty()) {
        ThrowCDSError(operation, "Provided pages list is empty");
    }
    if (pages_.empty()) {
        ThrowCDSError(operation, "Calibration data was not loaded");
    }
    CsvImport import(operation, fileName, RequireDefinition(operation));
    import.def.Initialize();
    import.listForm = true;
    for (const int page : pages) {
        if (page < 0 || static_cast<size_t>(page) >= pages_.size()) {
            ThrowCDSError(operation, "Provided pages list contains invalid page number",
                          CdsFormat("curr. %d, max. %llu", page, static_cast<unsigned long long>(pages_.size())));
        }
        if (pages_[static_cast<size_t>(page)]->IsPackedOnly() != 0) {
            ThrowCDSError(operation, "Cannot convert packed page data, please run unpack first");
        }
        import.first = static_cast<uint32_t>(page);
        import.last = static_cast<uint32_t>(page);
        ImportCsv(import);
    }
}

void CalibDataStructureConverter::UpdateAllPagesFromCsv(const char* fileName)
{
    const char* const operation = "UpdateAllPagesFromCsv";
    if (fileName == nullptr) {
        ThrowCDSError(operation, "File name is null");
    }
    RequireSettings(operation, kModel);
    if (eepromStructVer_ == 0) {
        ThrowCDSError(operation, "EEPROM data structure version is not defined");
    }
    const CdsDefinition def = RequireDefinition(operation);
    UpdatePagesFromCsv(fileName, 0, static_cast<int>(def.pages_count));
}

void CalibDataStructureConverter::UpdateUnpackedFieldBit(int pageIndex, std::string name, int value)
{
    const char* const operation = "UpdateUnpackedFieldBit";
    const size_t separator = name.find("::");
    if (separator == std::string::npos) {
        ThrowCDSError(operation, "ERROR, field bit name needs the form <field>::<bit>", name);
    }
    const std::string field = name.substr(0, separator);
    const std::string bitText = name.substr(separator + 2);
    const auto bit = ParseDecimalText(bitText);
    if (!bit) {
        ThrowCDSError(operation, "ERROR, bit number is not a number", "'" + bitText + "'");
    }
    if (*bit < 0 || *bit >= 32) {
        ThrowCDSError(operation, "ERROR, not supported to update other bits than in range 0-31",
                      CdsFormat("%u", static_cast<uint32_t>(*bit)));
    }
    if (pageIndex < 0) {
        ThrowCDSError(operation, "Page index is too high", CdsFormat("curr. %d", pageIndex));
    }
    SelectFieldsPage(static_cast<uint32_t>(pageIndex));
    SelectFieldByName(field.c_str());
    // The bit of the stored raw value, whatever the field's engineering form.
    UnpackedField& record = SelectedRecord(operation, UnpackedSelectedPage(operation));
    const uint32_t width = FieldWidth(record.flags);
    if (static_cast<uint32_t>(*bit) >= width) {
        ThrowCDSError(operation, "ERROR, bit is outside the field",
                      CdsFormat("bit %lld of %s, %u bits", static_cast<long long>(*bit), field.c_str(), width));
    }
    auto raw = static_cast<uint32_t>(record.value);
    const uint32_t mask = 1u << *bit;
    raw = value > 0 ? (raw | mask) : (raw & ~mask);
    record.value = static_cast<int32_t>(raw);
}

void CalibDataStructureConverter::UpdateUnpackedSpecificField(std::span<UnpackedField> fields, std::string name,
                                                              int value)
{
    const char* const operation = "UpdateUnpackedSpecificField";
    const CdsDefinition def = RequireDefinition(operation);
    if (def.GetBitDescriptors() == nullptr) {
        ThrowCDSError(operation, kNotSupported, name);
    }
    const auto place = FindRegisterBit(def, fields, name);
    if (!place) {
        ThrowCDSError(operation, "ERROR, field name not present in unpacked calibration data", name);
    }
    UnpackedField& record = fields[place->record];
    auto word = static_cast<uint32_t>(record.value) & 0xFFFFu;
    const uint32_t bit = 1u << place->bit;
    word = value > 0 ? (word | bit) : (word & ~bit);
    record.value = static_cast<int32_t>(word);
}
