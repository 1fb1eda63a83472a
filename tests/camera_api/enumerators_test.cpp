// zvAPIplus_Enumerators: the 65 tables, FindParamItem, the result codes
// shared with the error table, and the emulated camera's limits of each
// enumerated parameter.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "emu_dir.h"
#include "error_items.h"
#include "zvapiplus_camera.h"
#include "zvapiplus_enumerators.h"

namespace {

using Enumerators = zvAPIplus_Enumerators;
using Table = Enumerators::table_t;

const Enumerators& Tables()
{
    static const Enumerators tables;
    return tables;
}

// The tables in their order, 0 to 64.
std::vector<const Table*> InOrder()
{
    const Enumerators& e = Tables();
    return {&e.downsampling,
            &e.test_pattern_generator_selector,
            &e.version_selector,
            &e.test_pattern,
            &e.decimation_pattern,
            &e.binning_pattern,
            &e.binning_selector,
            &e.binning_mode,
            &e.decimation_selector,
            &e.sensor_taps,
            &e.bits_per_pixel,
            &e.debug_level,
            &e.image_format,
            &e.color_filter_array,
            &e.image_sequence_type,
            &e.buffer_policy,
            &e.trigger_source,
            &e.trigger_selector,
            &e.trigger_overlap,
            &e.acquisition_timing_mode,
            &e.transport_data_target,
            &e.gpi_selector,
            &e.gpo_selector,
            &e.gpi_mode,
            &e.gpi_port,
            &e.gpo_mode,
            &e.gpo_port,
            &e.metadata_sampling_mode,
            &e.led_mode,
            &e.led_selector,
            &e.counter_selector,
            &e.timestamp_reset_mode,
            &e.timestamp_reset_source,
            &e.parameter_type,
            &e.switch_state,
            &e.temperature_selector,
            &e.temperature_control_mode,
            &e.temperature_element_selector,
            &e.output_data_packing_type,
            &e.downsampling_type,
            &e.exposure_time_selector,
            &e.interline_exposure_mode,
            &e.gain_selector,
            &e.shutter_type,
            &e.color_management_mode,
            &e.color_management_intent,
            &e.open_by_type,
            &e.lens_feature_selector,
            &e.sensor_feature_selector,
            &e.sensor_mode,
            &e.image_area,
            &e.sensor_output_channel_count,
            &e.sensor_defects_correction_list_selector,
            &e.acquisition_status_selector,
            &e.regions_geometry,
            &e.data_pipe_unit_selector,
            &e.data_pipe_processor_selector,
            &e.data_pipe_parameter_selector,
            &e.data_pipe_parameter_value,
            &e.user_set_selector,
            &e.dual_adc_mode,
            &e.probe_selector,
            &e.time_of_flight_readout_mode,
            &e.data_sign,
            &e.result_codes};
}

std::string NameOf(const Table& table, int value)
{
    const auto* row = Enumerators::FindParamItem(table, value);
    return row ? row->name : "(null)";
}

TEST(Enumerators, TablesAndRows)
{
    const size_t counts[] = {11, 3, 9,  12, 2,  2,  3,  2, 3, 3, 11, 6, 19, 15, 2,  2,  6, 8,  3, 3, 4,  6,
                             6,  3, 12, 19, 12, 5,  10, 5, 8, 2, 38, 7, 2,  9,  3,  4,  2, 2,  5, 2, 9,  3,
                             3,  4, 4,  6,  14, 16, 2,  7, 3, 1, 3,  2, 6,  8,  13, 27, 3, 19, 5, 3, 118};
    const auto tables = InOrder();
    ASSERT_EQ(tables.size(), 65u);
    size_t rows = 0;
    for (size_t t = 0; t < tables.size(); ++t) {
        EXPECT_EQ(tables[t]->size(), counts[t]) << "table " << t;
        rows += tables[t]->size();
        for (const auto& row : *tables[t]) {
            EXPECT_NE(row.name, nullptr);
            EXPECT_NE(row.description, nullptr) << row.name;
        }
    }
    EXPECT_EQ(rows, 570u);
    // The tables are exactly the object's members, in order.
    EXPECT_EQ(sizeof(Enumerators), 65 * sizeof(Table));
    EXPECT_EQ(static_cast<const void*>(tables.front()), static_cast<const void*>(&Tables()));

    const Enumerators::param_item_t blank;
    EXPECT_EQ(blank.name, nullptr);
    EXPECT_EQ(blank.value, 0);
    EXPECT_EQ(blank.description, nullptr);

    const Enumerators& e = Tables();
    EXPECT_STREQ(e.decimation_pattern[1].description, "");
    EXPECT_STREQ(e.test_pattern_generator_selector[1].description, " FPGA Test Pattern Generator");
    EXPECT_STREQ(e.bits_per_pixel[0].description, "8 bit per pixel");
    EXPECT_STREQ(e.user_set_selector[3].name, "ZV_US_NONE");  // out of value order
}

TEST(Enumerators, FindParamItem)
{
    const Enumerators& e = Tables();
    const struct {
        const Table* table;
        int value;
        const char* name;
    } cases[] = {
        {&e.result_codes, 0, "ZV_OK"},
        {&e.result_codes, 37, "(null)"},
        {&e.result_codes, 1023, "ZVPR_UNKNOWN_BPL_STRING"},
        {&e.result_codes, 121, "ZV_NOT_SUPPORTED_WHILE_ACQUISITION "},
        {&e.image_format, 7, "ZV_FRM_TRANSPORT_DATA"},
        {&e.image_format, 19, "(null)"},
        {&e.user_set_selector, 999, "ZV_US_NONE"},
        {&e.parameter_type, 6, "zvTypeInteger64"},
        {&e.downsampling, 16, "ZV_DWN_16x16"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NameOf(*c.table, c.value), c.name) << c.value;
    }
    // Tables without a row for 0.
    const auto tables = InOrder();
    std::vector<size_t> withoutZero;
    for (size_t t = 0; t < tables.size(); ++t) {
        if (!Enumerators::FindParamItem(*tables[t], 0)) {
            withoutZero.push_back(t);
        }
    }
    EXPECT_EQ(withoutZero, (std::vector<size_t>{0, 4, 5, 9, 10, 21, 22, 24, 26, 29, 37, 47, 51, 59}));
}

// The result codes and the error table come from the same rows: the error
// text is the description after its leading blank, the very same characters.
TEST(Enumerators, ResultCodesAreTheErrorTable)
{
    const Table& codes = Tables().result_codes;
    ASSERT_EQ(codes.size(), error_items.size());
    for (size_t i = 0; i < codes.size(); ++i) {
        EXPECT_EQ(codes[i].value, error_items[i].code) << i;
        EXPECT_EQ(codes[i].description[0], ' ') << i;
        EXPECT_EQ(codes[i].description + 1, error_items[i].text) << i;
    }
    EXPECT_STREQ(codes[1].description, " Invalid handle");
    EXPECT_STREQ(codes[86].name, "ZVPR_OK");
    EXPECT_STREQ(codes[86].description, " Result OK");
    EXPECT_STREQ(FindErrorText(0), "Function call succeeded");
}

// The emulated camera's limits and value of each enumerated parameter are
// values of its table.
TEST(Enumerators, TheEmulatedCameraStaysWithinTheTables)
{
    zvtest::EmuDir emu;
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND",
                  [](zvemu::CameraRecord& r) { r.color = r.cooling = r.lens = r.tof = true; });
    zvAPIplus_Camera camera;
    camera.OpenFirst();
    const Enumerators& e = Tables();
    const struct {
        const char* param;
        const Table* table;
    } enumerated[] = {
        {"exposure_time_selector", &e.exposure_time_selector},
        {"gain_selector", &e.gain_selector},
        {"downsampling", &e.downsampling},
        {"downsampling_type", &e.downsampling_type},
        {"test_pattern_generator_selector", &e.test_pattern_generator_selector},
        {"test_pattern", &e.test_pattern},
        {"imgdataformat", &e.image_format},
        {"image_data_sign", &e.data_sign},
        {"shutter_type", &e.shutter_type},
        {"sensor_taps", &e.sensor_taps},
        {"bpc_list_selector", &e.sensor_defects_correction_list_selector},
        {"regions_geometry", &e.regions_geometry},
        {"interline_exposure_mode", &e.interline_exposure_mode},
        {"tof_readout_mode", &e.time_of_flight_readout_mode},
        {"binning_selector", &e.binning_selector},
        {"binning_vertical_mode", &e.binning_mode},
        {"binning_horizontal_mode", &e.binning_mode},
        {"binning_horizontal_pattern", &e.binning_pattern},
        {"binning_vertical_pattern", &e.binning_pattern},
        {"decimation_selector", &e.decimation_selector},
        {"decimation_horizontal_pattern", &e.decimation_pattern},
        {"decimation_vertical_pattern", &e.decimation_pattern},
        {"sensor_bit_depth", &e.bits_per_pixel},
        {"output_bit_depth", &e.bits_per_pixel},
        {"image_data_bit_depth", &e.bits_per_pixel},
        {"output_bit_packing_type", &e.output_data_packing_type},
        {"cooling", &e.switch_state},
        {"temp_selector", &e.temperature_selector},
        {"device_temperature_ctrl_mode", &e.temperature_control_mode},
        {"device_temperature_element_sel", &e.temperature_element_selector},
        {"cms", &e.color_management_mode},
        {"cms_intent", &e.color_management_intent},
        {"cfa", &e.color_filter_array},
        {"trigger_source", &e.trigger_source},
        {"trigger_selector", &e.trigger_selector},
        {"trigger_overlap", &e.trigger_overlap},
        {"gpi_selector", &e.gpi_selector},
        {"gpi_mode", &e.gpi_mode},
        {"gpo_selector", &e.gpo_selector},
        {"gpo_mode", &e.gpo_mode},
        {"metadata_sampling_mode", &e.metadata_sampling_mode},
        {"led_selector", &e.led_selector},
        {"led_mode", &e.led_mode},
        {"lens_feature_selector", &e.lens_feature_selector},
        {"sensor_output_channel_count", &e.sensor_output_channel_count},
        {"acq_timing_mode", &e.acquisition_timing_mode},
        {"transport_data_target", &e.transport_data_target},
        {"buffer_policy", &e.buffer_policy},
        {"counter_selector", &e.counter_selector},
        {"ts_rst_mode", &e.timestamp_reset_mode},
        {"ts_rst_source", &e.timestamp_reset_source},
        {"sensor_mode", &e.sensor_mode},
        {"image_area", &e.image_area},
        {"dual_adc_mode", &e.dual_adc_mode},
        {"probe_selector", &e.probe_selector},
        {"version_selector", &e.version_selector},
        {"debug_level", &e.debug_level},
        {"sensor_feature_selector", &e.sensor_feature_selector},
        {"acquisition_status_selector", &e.acquisition_status_selector},
        {"dp_unit_selector", &e.data_pipe_unit_selector},
        {"dp_proc_selector", &e.data_pipe_processor_selector},
        {"dp_param_selector", &e.data_pipe_parameter_selector},
        {"user_set_selector", &e.user_set_selector},
        {"user_set_default", &e.user_set_selector},
    };
    for (const auto& p : enumerated) {
        for (const char* suffix : {"", ":min", ":max"}) {
            const std::string param = std::string(p.param) + suffix;
            int value = -1;
            camera.GetZVAPIParamInt(param.c_str(), &value);
            EXPECT_NE(Enumerators::FindParamItem(*p.table, value), nullptr) << param << " = " << value;
        }
    }
    for (const char* suffix : {"", ":min", ":max"}) {
        const std::string param = std::string("dp_param_value") + suffix;
        float value = -1;
        camera.GetZVAPIParamFloat(param.c_str(), &value);
        EXPECT_NE(Enumerators::FindParamItem(e.data_pipe_parameter_value, static_cast<int>(value)), nullptr) << param;
    }
}

}  // namespace
