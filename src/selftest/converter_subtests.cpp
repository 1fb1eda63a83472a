#include "converter_subtests.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string_view>
#include <system_error>
#include <vector>

#include "csv_row_reader.h"
#include "selftest_helpers.h"
#include "text_format.h"
#include "updater_error.h"
#include "os_file_path.h"

namespace {

// An output file of a sub-test: the name format filled with the model (and
// the versions), the separators made the file system's.
template <typename... Args>
std::string OutputFile(const char* format, Args... args)
{
    return SuitePath(FormatText(format, args...));
}

// Model and both CPU versions, the converter's usual first settings.
void SetModelAndCpu(CalibDataStructureConverter& converter, const char* model, const char* cpuVersion)
{
    converter.SetCameraModel(model);
    converter.SetCpuFirmwareVersion(cpuVersion);
    converter.SetNewCpuFirmwareVersion(cpuVersion);
}

uintmax_t FileSizeOrZero(const std::string& file)
{
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(zv::os::FilePath(file), error);
    return error ? 0 : size;
}

// A whole cell read as a number in the base; false for an empty cell or one
// with anything after the digits.
bool ParseWholeNumber(std::string_view text, int base, int& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (base == 10 && first != last && *first == '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, last, value, base);
    return first != last && error == std::errc() && end == last;
}

uint32_t SeedFromClock()
{
    const auto ticks = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    return static_cast<uint32_t>(ticks ^ (ticks >> 32));
}

}  // namespace

void TestUnpackPack(const char* inputFile, const char* model, const char* cpuVersion)
{
    const std::string input = SuitePath(inputFile);
    CalibDataStructureConverter converter;
    converter.AllocateCacheIfNeeded();
    SetModelAndCpu(converter, model, cpuVersion);
    converter.ReadRawData(input.c_str(), CdsDataType::CameraModesTable);
    converter.UnpackSensorModesData();
    converter.PackSensorModesData();
    const std::string output = OutputFile("test_data\\%s.bin", model);
    converter.WriteRawData(output.c_str(), CdsDataType::CameraModesTable);
    CompareFiles(input.c_str(), output.c_str());
}

void TestDataExtraction(const char* inputFile, const char* model, const char* cpuVersion, uint8_t dataStructureVersion,
                        uint8_t modeDefaultsVersion, int dataType)
{
    const std::string input = SuitePath(inputFile);
    CalibDataStructureConverter converter;
    converter.AllocateCacheIfNeeded();
    converter.CreatePartitionTable();
    SetModelAndCpu(converter, model, cpuVersion);
    converter.SetCameraModeDefaultsVersion(modeDefaultsVersion);
    converter.SetCalibrationDataStructureVersion(dataStructureVersion);
    converter.ReadRawData(input.c_str(), static_cast<CdsDataType>(dataType));
    converter.UnpackSensorModesData();
    const std::string listings[] = {
        OutputFile("test_data\\%s_CalibData_All.txt", model),
        OutputFile("test_data\\%s_CalibData_AllStructured.csv", model),
    };
    converter.WriteUnpackedCalibData(listings[0].c_str(), false);
    converter.WriteUnpackedCalibData(listings[1].c_str(), true);
    // A listing that was never written, or holds nothing, extracted nothing.
    for (const std::string& listing : listings) {
        if (FileSizeOrZero(listing) == 0) {
            throw UpdaterError(
                FormatText("TestDataExtraction ERROR: calibration listing %s is missing or empty", listing.c_str()));
        }
    }
}

void TestCsvDataUpdate(const char* inputFile, const char* model, const char* cpuVersion, uint8_t dataStructureVersion,
                       uint8_t modeDefaultsVersion)
{
    const std::string input = SuitePath(inputFile);
    CalibDataStructureConverter converter;
    converter.AllocateCacheIfNeeded();
    converter.CreatePartitionTable();
    converter.SetCameraModel(model);
    converter.SetCalibrationDataStructureVersion(dataStructureVersion);
    converter.SetCameraModeDefaultsVersion(modeDefaultsVersion);
    converter.SetCpuFirmwareVersion(cpuVersion);
    converter.SetNewCpuFirmwareVersion(cpuVersion);
    converter.ReadRawData(input.c_str(), CdsDataType::WholeImage);
    converter.UnpackSensorModesData();

    const std::string original = OutputFile("test_data\\%s_CSV_Update_original.csv", model);
    const std::string changed = OutputFile("test_data\\%s_CSV_Update_changed.csv", model);
    converter.WriteUnpackedCalibData(original.c_str(), true);
    converter.UpdatePagesFromCsv(original.c_str(), 0, 15);
    converter.WriteUnpackedCalibData(changed.c_str(), true);
    CompareFiles(original.c_str(), changed.c_str());

    converter.PackSensorModesData();
    const std::string packed = OutputFile("test_data\\%s_CSV_Update_changed_packed.bin", model);
    converter.WriteRawData(packed.c_str(), CdsDataType::WholeImage);
    // A camera-modes table loads into the start of the image, so the image
    // written out must begin with the whole table; any other input is a
    // whole image and must come back whole.
    PartitionInfo modes;
    converter.GetCameraModesTableDataInfo(&modes);
    const FileComparison how =
        FileSizeOrZero(input) == modes.size ? FileComparison::FirstIsPrefix : FileComparison::Whole;
    CompareFiles(input.c_str(), packed.c_str(), how);
}

void TestCsvDataUpdateWithRandomData(const char* model, const char* cpuVersion, uint8_t dataStructureVersion,
                                     uint8_t modeDefaultsVersion, bool strict)
{
    TestCsvDataUpdateWithRandomData(model, cpuVersion, dataStructureVersion, modeDefaultsVersion, strict,
                                    SeedFromClock());
}

void TestCsvDataUpdateWithRandomData(const char* model, const char* cpuVersion, uint8_t dataStructureVersion,
                                     uint8_t modeDefaultsVersion, bool strict, uint32_t seed)
{
    CalibDataStructureConverter converter;
    converter.AllocateCacheIfNeeded();
    converter.CreatePartitionTable();
    converter.SetCameraModel(model);
    converter.SetCalibrationDataStructureVersion(dataStructureVersion);
    converter.SetCameraModeDefaultsVersion(modeDefaultsVersion);
    converter.SetCpuFirmwareVersion(cpuVersion);
    converter.SetNewCpuFirmwareVersion(cpuVersion);

    PartitionInfo modes;
    converter.GetCameraModesTableDataInfo(&modes);
    std::vector<uint8_t> original(modes.size, 0);
    std::vector<uint8_t> updated(modes.size, 0);

    converter.UnpackSensorModesDefaultsData();

    // One seed drives every value, so the printed seed repeats a run. The
    // plain integers are drawn in 0-32767, the range the C library's
    // generator gives on the camera line's own platform.
    std::printf("Random data seed %u\n", seed);
    std::mt19937 engine(seed);
    const auto plainInteger = [&engine] { return static_cast<int32_t>(engine() & 0x7FFF); };
    const auto uniform = [&engine](int32_t high) { return std::uniform_int_distribution<int32_t>(0, high)(engine); };

    converter.SelectFieldsPage(0);
    char name[260] = {};
    for (uint32_t i = 0; i < converter.GetFieldsCount(); ++i) {
        converter.SelectFieldByIndex(i);
        converter.GetFieldName(name, sizeof name);
        const CdsFieldType type = converter.GetFieldType();
        const std::string_view fieldName = name;
        if (fieldName == "No use") {
            continue;
        }
        if (fieldName == "Mode_ID") {
            converter.SetFieldValueInt32(0x5A00);
            continue;
        }
        // A value the field refuses (or a type without random values)
        // leaves the field as it was.
        try {
            int32_t value = 0;
            switch (type) {
            case CdsFieldType::Decimal:
            case CdsFieldType::Hexadecimal:
                value = plainInteger();
                break;
            case CdsFieldType::Hundredths:
                value = uniform(10000);
                break;
            case CdsFieldType::Thousandths:
            case CdsFieldType::EnumGain:
                value = uniform(100000);
                break;
            case CdsFieldType::Fraction32768:
                value = uniform(3276800);
                break;
            default:
                throw UpdaterError("TestCsvDataUpdateWithRandomData ERROR: unknown field type");
            }
            converter.SetFieldValueInt32(value);
        } catch (...) {}
    }

    converter.PackSensorModesData();
    converter.GetRawData(original.data(), modes.size, CdsDataType::CameraModesTable);
    converter.UnpackSensorModesData();

    const std::string originalCsv = OutputFile("test_data\\%s_%02d_%02d_Rand_CSV_Update_original.csv", model,
                                               dataStructureVersion, modeDefaultsVersion);
    const std::string changedCsv = OutputFile("test_data\\%s_%02d_%02d_Rand_CSV_Update_changed.csv", model,
                                              dataStructureVersion, modeDefaultsVersion);
    converter.WriteUnpackedCalibData(originalCsv.c_str(), true);
    converter.UpdatePagesFromCsv(originalCsv.c_str(), 0, 1);
    converter.WriteUnpackedCalibData(changedCsv.c_str(), true);
    CompareFiles(originalCsv.c_str(), changedCsv.c_str());

    converter.PackSensorModesData();
    converter.GetRawData(updated.data(), modes.size, CdsDataType::CameraModesTable);
    SaveBufferToFile(OutputFile("test_data\\%s_%02d_%02d_Rand_CSV_Update_original_EEPROM.bin", model,
                                dataStructureVersion, modeDefaultsVersion)
                         .c_str(),
                     original.data(), original.size());
    SaveBufferToFile(OutputFile("test_data\\%s_%02d_%02d_Rand_CSV_Update_changed_EEPROM.bin", model,
                                dataStructureVersion, modeDefaultsVersion)
                         .c_str(),
                     updated.data(), updated.size());

    if (!CompareBuffers(updated.data(), original.data(), modes.size) && strict) {
        throw UpdaterError(FormatText("TestCsvDataUpdateWithRandomData ERROR: Verification of random data update for "
                                      "camera %s EEPROM %02d.%02d failed, binary files are not identical.",
                                      model, dataStructureVersion, modeDefaultsVersion));
    }
}

void CheckVerificationFailureCPU(const char* model, const char* cpuVersion)
{
    CalibDataStructureConverter converter;
    converter.SetCameraModel(model);
    if (converter.IsCpuFirmwareVersionSupported(cpuVersion)) {
        throw UpdaterError(FormatText(
            "CheckVerificationFailureCPU ERROR: EEPROM update for %s, CPU firmware %s should not be supported\n", model,
            cpuVersion));
    }
}

void CheckVerificationFailureEERPOMVer(const char* model, const char* cpuVersion, const char* eepromVersion)
{
    CalibDataStructureConverter converter;
    converter.SetCameraModel(model);
    if (!converter.IsCpuFirmwareVersionSupported(cpuVersion)) {
        throw UpdaterError(FormatText(
            "CheckVerificationFailureEERPOMVer ERROR: EEPROM update for %s, CPU firmware %s should be supported\n",
            model, cpuVersion));
    }
    converter.SetCpuFirmwareVersion(cpuVersion);
    converter.SetNewCpuFirmwareVersion(cpuVersion);
    uint8_t major = 0;
    uint8_t minor = 0;
    ParseVersionString(eepromVersion, &major, &minor);
    if (converter.IsEEPROMStructModeDefaultsVersionSupported(major, minor)) {
        throw UpdaterError(
            FormatText("CheckVerificationFailureEERPOMVer ERROR: update for %s, CPU firmware %s and EEPROM "
                       "version %s should not be supported\n",
                       model, cpuVersion, eepromVersion));
    }
}

void CheckEepromPatchOperation(const char* patchFile, const char* model, const char* cpuVersion)
{
    const std::string file = SuitePath(patchFile);
    CalibDataStructureConverter converter;
    converter.AllocateCacheIfNeeded();
    SetModelAndCpu(converter, model, cpuVersion);
    converter.UnpackSensorModesDefaultsData();
    converter.UpdateAllPagesFromCsv(file.c_str());

    // The import reads nothing from a file it cannot open; the check must
    // not pass on a patch it never saw.
    std::ifstream stream(zv::os::FilePath(file));
    if (!stream) {
        throw UpdaterError(FormatText("CheckEepromPatchOperation - cannot open patch file %s", file.c_str()));
    }
    int line = 0;
    int checkedRows = 0;
    const auto refuse = [&file, &line](const char* problem) {
        throw UpdaterError(FormatText("CheckEepromPatchOperation - %s row %d: %s", file.c_str(), line, problem));
    };
    for (CsvRowIterator row(stream); row != CsvRowIterator(); ++row) {
        ++line;
        const CsvRowReader& cells = *row;
        if (cells.size() == 1) {
            continue;
        }
        if (cells.size() < 3) {
            refuse("a row needs a mode id, a name and a value");
        }
        const std::string& modeId = cells[0];
        const std::string& name = cells[1];
        if (modeId == "Mode ID" || name.empty() || modeId.find("0x5A") == std::string::npos) {
            continue;
        }
        const size_t separator = name.find("::");
        if (separator == std::string::npos) {
            refuse("the name is not of the form <field>::<bit>");
        }
        if (modeId.size() < 5) {
            refuse("the mode id holds no page number");
        }
        int page = 0;
        int bit = 0;
        int expected = 0;
        if (!ParseWholeNumber(std::string_view(modeId).substr(4), 16, page)) {
            refuse("the page number is not a hexadecimal number");
        }
        if (!ParseWholeNumber(std::string_view(name).substr(separator + 2), 10, bit)) {
            refuse("the bit number is not a decimal number");
        }
        if (!ParseWholeNumber(cells[2], 10, expected)) {
            refuse("the value is not a decimal number");
        }
        if (bit < 0 || bit > 31) {
            refuse("the bit number is not in the range 0-31");
        }
        if (page < 0 || static_cast<uint32_t>(page) > converter.GetPagesCount()) {
            throw UpdaterError("CheckEepromPatchOperation - CSV file contains invalid page number");
        }
        const std::string field = name.substr(0, separator);
        converter.SelectFieldsPage(static_cast<uint32_t>(page));
        converter.SelectFieldByName(field.c_str());
        const int actual = static_cast<int>((static_cast<uint32_t>(converter.GetFieldValueInt32()) >> bit) & 1u);
        if ((actual == 1 && expected != 0) || (actual == 0 && expected == 0)) {
            std::printf("Page %d field %s bit %d was updated to %d correctly\n", page, field.c_str(), bit, actual);
        } else {
            throw UpdaterError(
                FormatText("Page %d field %s bit %d was NOT updated correctly\n", page, field.c_str(), bit));
        }
        ++checkedRows;
    }
    if (checkedRows == 0) {
        throw UpdaterError(
            FormatText("CheckEepromPatchOperation - patch file %s holds no field bit to check", file.c_str()));
    }
}

void CheckCherryPickField(CalibDataStructureConverter& converter, int page, std::string fieldName, int expected)
{
    converter.SelectFieldsPage(static_cast<uint32_t>(page));
    converter.SelectFieldByName(fieldName.c_str());
    const int32_t value = converter.GetFieldValueInt32();
    if (value != expected) {
        throw UpdaterError(FormatText("CherryPick upgrade failed, page %d field %s should be %d, but is %d", page,
                                      fieldName.c_str(), expected, value));
    }
    std::printf("CherryPick upgrade passed, page %d field %s contains %d\n", page, fieldName.c_str(), expected);
}
