// The calibration CSV import over a model's default pages: the first byte
// chooses the model, the rest is the CSV file.

#include "calib_fuzz_support.h"
#include "fuzz_target.h"

#include <exception>

ZV_FUZZ_TARGET(csv_import)
{
    if (size == 0) {
        return false;
    }
    try {
        CalibDataStructureConverter converter;
        zvfuzz::PrepareConverter(converter, zvfuzz::CalibModelOf(data[0]));
        converter.AllocateCacheIfNeeded();
        converter.CreatePartitionTable();
        converter.UnpackSensorModesDefaultsData();
        const zvfuzz::ScratchFile csv(".csv", std::span<const std::uint8_t>(data + 1, size - 1));
        converter.UpdateAllPagesFromCsv(csv.Path().c_str());
        converter.PackSensorModesData();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
