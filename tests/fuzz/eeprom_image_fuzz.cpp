// A calibration EEPROM image and its partition table: the first byte chooses
// the model, the rest is an image file (its size tells the part of the image
// it holds, as for extract). The image is unpacked, every field read, the
// listing written, and the pages packed again.

#include "calib_fuzz_support.h"
#include "eeprom_files.h"
#include "fuzz_target.h"

#include <exception>

ZV_FUZZ_TARGET(eeprom_image)
{
    if (size == 0) {
        return false;
    }
    const std::span<const std::uint8_t> image(data + 1, size - 1);
    try {
        (void)eeprom_files::ReadPartitionTableState(image);
        const std::optional<CdsDataType> region = eeprom_files::RegionOfFileSize(image.size());
        if (!region) {
            return false;
        }
        CalibDataStructureConverter converter;
        zvfuzz::PrepareConverter(converter, zvfuzz::CalibModelOf(data[0]));
        converter.AllocateCacheIfNeeded();
        const zvfuzz::ScratchFile file(".bin", image);
        converter.ReadRawData(file.Path().c_str(), *region);
        if (!converter.IsPartitionTableValid()) {
            converter.CreatePartitionTable();
        }
        converter.UnpackSensorModesData();
        for (std::uint32_t page = 0; page < converter.GetPagesCount(); ++page) {
            converter.SelectFieldsPage(page);
            for (std::uint32_t field = 0; field < converter.GetFieldsCount(); ++field) {
                converter.SelectFieldByIndex(field);
                (void)converter.GetFieldValueInt32();
            }
        }
        const zvfuzz::ScratchFile listing(".csv", {});
        converter.WriteUnpackedCalibData(listing.Path().c_str(), true);
        converter.PackSensorModesData();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
