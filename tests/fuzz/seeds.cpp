#include "seeds.h"

#include "calib_fuzz_support.h"
#include "eeprom_test_support.h"
#include "fuzz_target.h"
#include "fw_operation_log.h"
#include "scramble_for_tests.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zvfuzz {

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Prefixed(std::uint8_t first, const Bytes& rest)
{
    // Sized once and filled: GCC 12 sees a one-byte vector grown by insert()
    // as written past its end (-Warray-bounds) in optimised builds.
    Bytes bytes(rest.size() + 1);
    bytes[0] = first;
    std::copy(rest.begin(), rest.end(), bytes.begin() + 1);
    return bytes;
}

Bytes TextBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// A model's default image at the data version its CPU firmware expects.
Bytes DefaultImage(const CalibModel& model)
{
    CalibDataStructureConverter converter;
    PrepareConverter(converter, model);
    // The JV966's VRD calibrated, as the tests' cameras have it.
    const bool jv966 = &model == &kCalibModels[0];
    return eeprom_test::DefaultsImage(model.model, model.cpu, converter.GetEepromDataStructVersionForCurrentCpu(),
                                      converter.GetCameraModeDefaultsVersionForCurrentCpu(),
                                      [&](CalibDataStructureConverter& c) {
                                          if (jv966) {
                                              eeprom_test::SetField(c, 0, "VRD", 2300);
                                          }
                                      });
}

// The structured listing of the image, as extract writes it.
Bytes Listing(const CalibModel& model, const Bytes& image)
{
    CalibDataStructureConverter converter;
    PrepareConverter(converter, model);
    converter.SetRawData(image.data(), static_cast<std::uint32_t>(image.size()), CdsDataType::WholeImage);
    converter.UnpackSensorModesData();
    const ScratchFile listing(".csv", {});
    converter.WriteUnpackedCalibData(listing.Path().c_str(), true);
    std::ifstream in(listing.Path(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Firmware(std::size_t size)
{
    Bytes payload(size);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    payload[5] = 0x60;
    payload[6] = 0x02;
    return payload;
}

}  // namespace

const std::vector<std::string>& TargetNames()
{
    static const std::vector<std::string> names = {"csv_import", "csv_rows", "eeprom_image",
                                                   "fw_file",    "xml",      "zip_log"};
    return names;
}

std::vector<Seed> SeedsOf(const std::string& target)
{
    std::vector<Seed> seeds;
    if (target == "fw_file") {
        seeds.push_back({"scrambled.bin", Prefixed(0, testing_support::Scramble(Firmware(512)))});
        seeds.push_back({"plain.bin", Prefixed(1, Firmware(300))});
        seeds.push_back({"image.hex", Prefixed(2, TextBytes(":0300300002337A1E\n:040100001122334451\n:00000001FF\n"))});
        seeds.push_back({"hex_text", Prefixed(3, TextBytes("0102ABCD"))});
        seeds.push_back({"sn_sne_text", Prefixed(4, TextBytes("12345678ABCDE21070AV"))});
        seeds.push_back({"sensor_text", Prefixed(5, TextBytes("SENSOR-42"))});
    } else if (target == "csv_rows" || target == "csv_import") {
        for (std::uint8_t m = 0; m < kCalibModels.size(); ++m) {
            const Bytes listing = Listing(kCalibModels[m], DefaultImage(kCalibModels[m]));
            const std::string name = std::string(kCalibModels[m].model).substr(0, 5) + ".csv";
            seeds.push_back({name, target == "csv_rows" ? listing : Prefixed(m, listing)});
        }
        const Bytes patch = TextBytes("0,VRD,2.350,V\n1,IMG_CTRL.FLIP_H,1\n");
        seeds.push_back({"patch.csv", target == "csv_rows" ? patch : Prefixed(0, patch)});
    } else if (target == "eeprom_image") {
        // The JV966 and the JR574: a whole image, one without its table, and
        // the JV966's camera-mode pages alone.
        for (std::uint8_t m = 0; m < 2; ++m) {
            const Bytes image = DefaultImage(kCalibModels[m]);
            const std::string name = std::string(kCalibModels[m].model).substr(0, 5);
            seeds.push_back({name + "_image.bin", Prefixed(m, image)});
            Bytes noTable = image;
            std::fill(noTable.begin() + eeprom_test::kTableOffset, noTable.end(), 0xFF);
            seeds.push_back({name + "_no_table.bin", Prefixed(m, noTable)});
        }
        const Bytes image = DefaultImage(kCalibModels[0]);
        seeds.push_back({"JV966_pages.bin", Prefixed(0, Bytes(image.begin(), image.begin() + 0x4000))});
    } else if (target == "zip_log") {
        for (const char* text : {"[2025-03-07 142501] Firmware Updater V2.64 started",
                                 "[2025-03-07 142501] Firmware Updater V2.64 started\n"
                                 "[2025-03-07 142502] FW prog of CPU1 [0123456789] started\n"
                                 "[2025-03-07 142509] FW prog of CPU1 [0123456789] finished"}) {
            seeds.push_back({"log" + std::to_string(seeds.size()) + ".zip", PackFwLog(text).value()});
        }
    } else if (target == "xml") {
        seeds.push_back(
            {"user_sets.xml", TextBytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- factory -->\n<Sets>\n"
                                        "  <content_version>1.2</content_version>\n"
                                        "  <UserSet name=\"Default\"><Gain>0</Gain></UserSet>\n</Sets>\n")});
        seeds.push_back({"compatibility.xml",
                         TextBytes("<?xml version=\"1.0\"?>\n<Compatibility>\n  <Camera model=\"JV966\">\n"
                                   "    <Firmware cpu=\"02.60\" data=\"2.3\"/>\n  </Camera>\n</Compatibility>\n")});
    }
    return seeds;
}

}  // namespace zvfuzz
