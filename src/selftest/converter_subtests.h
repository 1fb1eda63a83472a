#pragma once

#include <cstdint>
#include <string>

#include "calib_data_structure_converter.h"

// The converter sub-tests that the structure-updater sequence runs with fixed
// arguments. Each builds its own converter (unless it is given one), writes
// its outputs into test_data and throws an UpdaterError on the first
// mismatch; failures of the converter pass through unchanged. File names may
// be written with '\' or '/'.

// Pages unpacked and packed again must reproduce the stored camera-modes table.
void TestUnpackPack(const char* inputFile, const char* model, const char* cpuVersion);

// Writes the text and the structured listing of the data (nothing compared).
void TestDataExtraction(const char* inputFile, const char* model, const char* cpuVersion, uint8_t dataStructureVersion,
                        uint8_t modeDefaultsVersion, int dataType);

// Importing the exported listing changes neither the listing nor the image.
void TestCsvDataUpdate(const char* inputFile, const char* model, const char* cpuVersion, uint8_t dataStructureVersion,
                       uint8_t modeDefaultsVersion);

// Random values in page 0 of the mode defaults survive listing, import and
// packing. The seed drives every value; the first form takes it from the
// clock. Both print it ("Random data seed %u") before drawing a value, so a
// logged run can be repeated.
void TestCsvDataUpdateWithRandomData(const char* model, const char* cpuVersion, uint8_t dataStructureVersion,
                                     uint8_t modeDefaultsVersion, bool strict);
void TestCsvDataUpdateWithRandomData(const char* model, const char* cpuVersion, uint8_t dataStructureVersion,
                                     uint8_t modeDefaultsVersion, bool strict, uint32_t seed);

// The offline verification must refuse the CPU version for the model.
void CheckVerificationFailureCPU(const char* model, const char* cpuVersion);
// The offline verification must accept the CPU version and refuse the EEPROM
// version ("major.minor") for it.
void CheckVerificationFailureEERPOMVer(const char* model, const char* cpuVersion, const char* eepromVersion);

// A bit-level patch ("<field>::<bit>" rows) applied to the mode defaults must
// leave exactly the named bits set or cleared.
void CheckEepromPatchOperation(const char* patchFile, const char* model, const char* cpuVersion);

// The field of the page must hold the expected value after a cherry-pick
// upgrade; leaves that page and field selected.
void CheckCherryPickField(CalibDataStructureConverter& converter, int page, std::string fieldName, int expected);
