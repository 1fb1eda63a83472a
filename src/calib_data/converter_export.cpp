// Calibration data export: the listings of every camera-mode page (a
// structured CSV that the import reads back, or a text grid for people), the
// named bits of the image-control words, a dump of one page's records, the
// per-field CSV and the packed bytes of one page.

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "calib_data_structure_converter.h"
#include "cds_error.h"
#include "cds_format.h"
#include "os_file_path.h"

namespace {

// Files are closed by their stream on every path; a write that failed is
// reported once the file is complete.
void FinishFile(std::ofstream& file, const char* operation, const char* fileName)
{
    file.close();
    if (!file) {
        ThrowCDSError(operation, "Failed to write file", fileName);
    }
}

}  // namespace

void CalibDataStructureConverter::WriteUnpackedCalibData(const char* fileName, bool structured)
{
    const char* const operation = "WriteUnpackedCalibData";
    if (fileName == nullptr) {
        ThrowCDSError(operation, "File name is null");
    }
    RequireSettings(operation, kModel | kStruct);
    const CdsDefinition def = RequireDefinition(operation);
    const auto rows = static_cast<size_t>(def.GetGridRows());
    const auto cols = static_cast<size_t>(def.GetGridCols());
    std::ofstream file(zv::os::FilePath(fileName), std::ios::binary | std::ios::trunc);
    if (!file) {
        ThrowCDSError(operation, "Failed to open file for storing unpacked EEPROM calibration data", fileName);
    }
    if (structured) {
        file << "Mode ID,"
             << "Name,"
             << "Value,"
             << "Unit\n";
    }
    for (const auto& page : pages_) {
        if (page->IsPackedOnly() != 0) {
            ThrowCDSError(operation, "Cannot convert packed page data, please unpack them first");
        }
        def.Initialize();
        if (structured) {
            std::vector<CalibTextRow> cells;
            cells.reserve(rows * cols);
            def.GetCalibData(page->Unpacked(), &cells);
            if (cells.size() != rows * cols) {
                ThrowCDSError(operation, "Reported file structure is not valid");
            }
            // Every row carries the page's own mode id, so the import finds
            // the page whatever the page's Mode_ID field holds.
            const std::string modeId = CdsFormat("0x5A%02X", page->GetPageIndex());
            for (size_t r = 0; r < rows; ++r) {
                for (size_t c = 0; c < cols; ++c) {
                    const CalibTextRow& cell = cells[c * rows + r];
                    if (cell.name.empty()) {
                        continue;
                    }
                    file << modeId << ',' << cell.name << ',' << cell.value << ',' << cell.unit << '\n';
                }
            }
        } else {
            std::vector<std::string> cells;
            cells.reserve(rows * cols);
            def.GetCalibData(page->Unpacked(), &cells);
            if (cells.size() != rows * cols) {
                ThrowCDSError(operation, "Reported file structure is not valid");
            }
            for (size_t r = 0; r < rows; ++r) {
                for (size_t c = 0; c < cols; ++c) {
                    file << "| " << cells[c * rows + r];
                    file << (c + 1 < cols ? "\t" : " |\n");
                }
            }
        }
        WriteSpecificFieldLines(def, *page, file, structured);
        if (!structured) {
            file << "\n\n\n";
        }
    }
    FinishFile(file, operation, fileName);
}

void CalibDataStructureConverter::WriteUnpackedSpecificFields(const SensorModePage& page, std::ostream& out,
                                                              bool csvForm)
{
    WriteSpecificFieldLines(RequireDefinition("WriteUnpackedSpecificFields"), page, out, csvForm);
}

void CalibDataStructureConverter::WriteSpecificFieldLines(const CdsDefinition& def, const SensorModePage& page,
                                                          std::ostream& out, bool csvForm)
{
    const UnpackedField* descriptors = def.GetBitDescriptors();
    if (descriptors == nullptr) {
        return;
    }
    const auto records = page.Unpacked();
    const size_t count = std::min<size_t>(def.GetFieldTableCount(), records.size());
    const auto pageIndex = static_cast<int>(page.GetPageIndex());
    for (size_t i = 0; i < count; ++i) {
        const UnpackedField& record = records[i];
        if (record.name == nullptr) {
            continue;
        }
        const std::string name = record.name;
        // Descriptors 0-15 name the bits of IMG_CTRL, 16-31 those of IMG_CTR2.
        size_t first = 0;
        if (name == "IMG_CTR2") {
            first = 16;
        } else if (name != "IMG_CTRL") {
            continue;
        }
        const uint32_t word = static_cast<uint32_t>(record.value) & 0xFFFFu;
        for (size_t bit = 0; bit < 16; ++bit) {
            WriteFieldBitLine(pageIndex, record.name, FieldNameOf(descriptors[first + bit]),
                              static_cast<int>((word >> bit) & 1u), out, csvForm);
        }
    }
}

void CalibDataStructureConverter::WriteFieldBitLine(int pageIndex, const char* registerName, const char* bitName,
                                                    int bitValue, std::ostream& out, bool csvForm)
{
    if (csvForm) {
        out << CdsFormat("0x5A%02X,%s.%s,%d,", pageIndex, registerName, bitName, bitValue) << '\n';
    } else {
        out << CdsFormat("%s.%s : %d", registerName, bitName, bitValue) << '\n';
    }
}

void CalibDataStructureConverter::WriteUnpackedPageData(const char* fileName, unsigned short pageIndex)
{
    const char* const operation = "WriteUnpackedPageData";
    if (fileName == nullptr) {
        ThrowCDSError(operation, "File name is null");
    }
    if (pageIndex >= pages_.size()) {
        ThrowCDSError(operation, "Page index too high",
                      CdsFormat("input %d, max. %llu", pageIndex, static_cast<unsigned long long>(pages_.size())));
    }
    const CdsDefinition def = RequireDefinition(operation);
    std::ofstream file(zv::os::FilePath(fileName), std::ios::binary | std::ios::trunc);
    if (!file) {
        ThrowCDSError(operation, "Failed to open file for storing unpacked EEPROM page data", fileName);
    }
    file << "Bit count\tData\tName\tComment\n";
    const auto records = pages_[pageIndex]->Unpacked();
    const size_t count = std::min<size_t>(def.fields_count & 0xFFFFu, records.size());
    for (size_t i = 0; i < count; ++i) {
        const UnpackedField& record = records[i];
        const char* comment = record.comment != nullptr ? record.comment : "";
        file << CdsFormat(record.flags > 32 ? "0x%X\t%d\t%s\t%s\n" : "%u\t%d\t%s\t%s\n", record.flags, record.value,
                          FieldNameOf(record), comment);
    }
    FinishFile(file, operation, fileName);
}

void CalibDataStructureConverter::WriteUnpackedCalibDataCsv(const char* fileName)
{
    const char* const operation = "WriteUnpackedCalibDataCsv";
    if (fileName == nullptr) {
        ThrowCDSError(operation, "File name is null");
    }
    RequireSettings(operation, kModel | kStruct);
    RequireDefinition(operation);
    std::ofstream file(zv::os::FilePath(fileName), std::ios::binary | std::ios::trunc);
    if (!file) {
        ThrowCDSError(operation, "Failed to open file for storing unpacked EEPROM calibration data", fileName);
    }
    file << "Mode ID,"
         << "Name,"
         << "Value\n";
    for (size_t p = 0; p < pages_.size(); ++p) {
        const SensorModePage& page = *pages_[p];
        if (page.IsPackedOnly() != 0) {
            ThrowCDSError(operation, "Cannot convert packed page data, please unpack them first");
        }
        SelectFieldsPage(page.GetPageIndex());
        const uint32_t count = GetFieldsCount();
        for (uint32_t i = 0; i < count; ++i) {
            SelectFieldByIndex(i);
            const CdsFieldType type = GetFieldType();
            if (type == CdsFieldType::None) {
                continue;
            }
            const int32_t v = GetFieldValueInt32();
            // Quotients in single precision, as the file has always shown
            // them; signed values keep their sign.
            std::string text;
            switch (type) {
            case CdsFieldType::Decimal:
                text = CdsFormat("%d", v);
                break;
            case CdsFieldType::Hundredths:
                text = CdsFormat("%f", static_cast<double>(static_cast<float>(v) / 100.0f));
                break;
            case CdsFieldType::Thousandths:
            case CdsFieldType::EnumGain:
                text = CdsFormat("%f", static_cast<double>(static_cast<float>(v) / 1000.0f));
                break;
            case CdsFieldType::Fraction32768:
                text = CdsFormat("%f", static_cast<double>(static_cast<float>(v) / 32768.0f));
                break;
            case CdsFieldType::Hexadecimal:
                text = CdsFormat("0x%x", static_cast<uint32_t>(v));
                break;
            default:
                ThrowCDSError(operation, "Unknown data type");
            }
            const SensorModePage& selected = *pages_[selectedPage_];
            file << CdsFormat("%04d", static_cast<int>(page.GetPageIndex())) << ','
                 << FieldNameOf(selected.Unpacked()[selectedField_]) << ',' << text << '\n';
        }
    }
    FinishFile(file, operation, fileName);
}

void CalibDataStructureConverter::WritePackedPageData(const char* fileName, unsigned short pageIndex)
{
    const char* const operation = "WritePackedPageData";
    if (fileName == nullptr) {
        ThrowCDSError(operation, "Data file is not defined");
    }
    if (pageIndex >= pages_.size()) {
        ThrowCDSError(operation, "Page index too high",
                      CdsFormat("input %d, max. %llu", pageIndex, static_cast<unsigned long long>(pages_.size())));
    }
    const CdsDefinition def = RequireDefinition(operation);
    std::ofstream file(zv::os::FilePath(fileName), std::ios::binary | std::ios::trunc);
    if (!file) {
        ThrowCDSError(operation, "Failed to open file for storing unpacked EEPROM data", fileName);
    }
    const auto bytes = pages_[pageIndex]->Packed();
    const size_t count = std::min<size_t>(def.page_size, bytes.size());
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(count));
    FinishFile(file, operation, fileName);
}
