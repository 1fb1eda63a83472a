#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "text_limits.h"

// Whether an option takes the next word as its value.
enum class OptionKind : std::uint8_t {
    Flag,
    Value
};

struct CmdLineOption;

// Everything the command line says beyond the command, type and file words.
// Filled once by Parse, then only read.
class CmdLineParams {
public:
    // Hands each word, in order, to ParseParam, then reports a value option
    // that is still waiting for its value.
    void Parse(int count, const char* const* words);
    void ParseParam(std::string_view word);
    void SetError(int value) { errorFlag = value; }
    // The long usage screen with every option and its help text.
    void PrintUsage() const;

    const CmdLineOption* pendingValue = nullptr;  // value option awaiting its word
    int errorFlag = 0;
    std::string campath;
    std::string camlocation;
    std::string camsn;
    std::int32_t camid = 0;
    std::uint32_t fw_start = 0;
    std::uint32_t fw_stop = 0;
    bool allcameras = false;
    bool plain_file = false;
    bool zvapi = false;
    std::uint32_t key = 0;
    bool hexfileformat = false;
    bool hexfilename = false;
    bool snsnefilename = false;
    std::int32_t ucam_type = 0;
    bool yes = false;
    bool ccd = false;
    std::string new_fw_ver;
    std::string cur_fw_ver;
    std::string model;
    std::string eeprom_ver;
    bool skip_eeprom_upgrade = false;
    bool eeprom_ver_associate_from_cpu_ver = false;
    std::int32_t number_of_led_blinks_on_end = 0;
    std::string patch_file;
    std::string output_file_name;
    std::string forced_model_sne;

private:
    void ReportMissingValue();
};

// One row of the option table: the option word, its number in the option
// table, whether it takes a value, what it does to the run's record, and the
// help text of the usage screen.
struct CmdLineOption {
    using Apply = void (*)(CmdLineParams& params, const CmdLineOption& option, std::string_view word);

    std::string_view name;
    std::int32_t optionType;
    OptionKind kind;
    Apply apply;  // a flag gets an empty word
    std::string_view help;
};

// The value parsers behind the rows: each stores a valid word in its field or
// prints why the word was refused and marks the run as failed.
namespace cmd_line_detail {
void StoreText(CmdLineParams& params, const CmdLineOption& option, std::string_view word, std::string& field,
               std::size_t maxLength);
void StoreHex(CmdLineParams& params, const CmdLineOption& option, std::string_view word, std::uint32_t& field);
void StoreDecimal(CmdLineParams& params, const CmdLineOption& option, std::string_view word, std::int32_t& field,
                  bool nonNegative);
}  // namespace cmd_line_detail

template <bool CmdLineParams::*Field>
void SetFlag(CmdLineParams& params, const CmdLineOption&, std::string_view)
{
    params.*Field = true;
}

// The camera generation options (--u3v_cam, --ucam_type1 to --ucam_type4).
template <std::int32_t Generation>
void SetGeneration(CmdLineParams& params, const CmdLineOption&, std::string_view)
{
    params.ucam_type = Generation;
}

template <std::string CmdLineParams::*Field, std::size_t MaxLength>
void StoreText(CmdLineParams& params, const CmdLineOption& option, std::string_view word)
{
    cmd_line_detail::StoreText(params, option, word, params.*Field, MaxLength);
}

// Hexadecimal with an optional 0x prefix, as addresses and keys are written.
template <std::uint32_t CmdLineParams::*Field>
void StoreHex(CmdLineParams& params, const CmdLineOption& option, std::string_view word)
{
    cmd_line_detail::StoreHex(params, option, word, params.*Field);
}

template <std::int32_t CmdLineParams::*Field>
void StoreDecimal(CmdLineParams& params, const CmdLineOption& option, std::string_view word)
{
    cmd_line_detail::StoreDecimal(params, option, word, params.*Field, false);
}

template <std::int32_t CmdLineParams::*Field>
void StoreNonNegativeDecimal(CmdLineParams& params, const CmdLineOption& option, std::string_view word)
{
    cmd_line_detail::StoreDecimal(params, option, word, params.*Field, true);
}

// The 32 options, in the order the usage screen lists them, each with what it
// sets. The help texts are printed as they stand (some name another option;
// they are kept verbatim because scripts and manuals quote them).
inline constexpr std::array<CmdLineOption, 32> kCmdLineOptions{{
    {"--campath", 1, OptionKind::Value, StoreText<&CmdLineParams::campath, kMaxSelectionTextLength>,
     "--campath <path> selects camera with given device path"},
    {"--camlocation", 2, OptionKind::Value, StoreText<&CmdLineParams::camlocation, kMaxSelectionTextLength>,
     "--camlocation <location_path> selects camera with given location path"},
    {"--camsn", 3, OptionKind::Value, StoreText<&CmdLineParams::camsn, kMaxSelectionTextLength>,
     "--camsn <serial> selects camera with given serial number"},
    {"--camid", 4, OptionKind::Value, StoreNonNegativeDecimal<&CmdLineParams::camid>,
     "--camid <id> selects one camera 0-X"},
    {"--allcameras", 5, OptionKind::Flag, SetFlag<&CmdLineParams::allcameras>, "--allcameras Select all cameras"},
    {"--plain_file", 6, OptionKind::Flag, SetFlag<&CmdLineParams::plain_file>,
     "--plain_file disables decrypting of file and checking checksum. Default is encrypted file with checksum."},
    {"--zvapi", 7, OptionKind::Flag, SetFlag<&CmdLineParams::zvapi>,
     "--fapi select zvAPI based update (default no). E.g. for PCIe, TBT based cameras. Default is using low level USB3 "
     "calls (e.g. OpenDeviceUSB30)."},
    {"--key", 8, OptionKind::Value, StoreHex<&CmdLineParams::key>,
     "--key <access_key> to enable access to some operations. E.g. updating golden bitstream or factory data"},
    {"--hexfileformat", 9, OptionKind::Flag, SetFlag<&CmdLineParams::hexfileformat>,
     "--hexfileformat defines that file content is hex format"},
    {"--hexfilename", 10, OptionKind::Flag, SetFlag<&CmdLineParams::hexfilename>,
     "--hexfilename to use filename as hex sequence (LSB) instead of binary file content. e.g. prog FileSN 12345678 "
     "--hexfilename"},
    {"--snsnefilename", 11, OptionKind::Flag, SetFlag<&CmdLineParams::snsnefilename>,
     "--snsnefilename to use filename as SN/SNE or Sensor SN sequence (LSB) instead of binary file content. e.g. "
     "--hexfilename aabbccdd"},
    {"--u3v_cam", 12, OptionKind::Flag, SetGeneration<1>, "--u3v_cam - same as --ucam_type1"},
    {"--ucam_type1", 13, OptionKind::Flag, SetGeneration<1>,
     "--ucam_type1 selects 2nd generation of U3V cameras (e.g. zvW). Default is 1st generation of U3V cameras (e.g. "
     "zvH, zvE)"},
    {"--ucam_type2", 19, OptionKind::Flag, SetGeneration<2>,
     "--ucam_type2 selects JR USB3 cameras. Default is 1st generation of U3V cameras (e.g. zvH, zvE)"},
    {"--ucam_type3", 20, OptionKind::Flag, SetGeneration<3>,
     "--ucam_type3 selects JL838 USB3 cameras. Default is 1st generation of U3V cameras (e.g. zvH, zvE)"},
    {"--ucam_type4", 21, OptionKind::Flag, SetGeneration<4>, "--ucam_type4 selects JL810 USB3 cameras."},
    {"--yes", 14, OptionKind::Flag, SetFlag<&CmdLineParams::yes>,
     "--yes No interactive questions - assume yes for all"},
    {"--cpu4_start", 15, OptionKind::Value, StoreHex<&CmdLineParams::fw_start>, "start address to write CPU4 firmware"},
    {"--cpu4_stop", 16, OptionKind::Value, StoreHex<&CmdLineParams::fw_stop>, "stop address to write CPU4 firmware"},
    {"--fw_start", 17, OptionKind::Value, StoreHex<&CmdLineParams::fw_start>,
     "start address to write firmware(same as cpu4_start"},
    {"--fw_stop", 18, OptionKind::Value, StoreHex<&CmdLineParams::fw_stop>,
     "stop address to write firmware(same as cpu4_stop"},
    {"--ccd", 22, OptionKind::Flag, SetFlag<&CmdLineParams::ccd>,
     "--ccd to be used with JR CCD models. e.g. prog FileSN 12345678 --ccd"},
    {"--new_fw_ver", 23, OptionKind::Value, StoreText<&CmdLineParams::new_fw_ver, kMaxVersionTextLength>,
     "--new_fw_ver version of new firmware to be used for EEEPROM update for CPU2 on JR and CPU1 on JV966, e.g. "
     "--new_fw_ver 2.00"},
    {"--cur_fw_ver", 24, OptionKind::Value, StoreText<&CmdLineParams::cur_fw_ver, kMaxVersionTextLength>,
     "--cur_fw_ver version of current firmware to be used for EEEPROM update for CPU2 on JR and CPU1 on JV966, e.g. "
     "--cur_fw_ver 2.00"},
    {"--model", 25, OptionKind::Value, StoreText<&CmdLineParams::model, kMaxVersionTextLength>,
     "--model camera model name used for extraction of EEPROM data"},
    {"--eeprom_ver", 26, OptionKind::Value, StoreText<&CmdLineParams::eeprom_ver, kMaxEepromVersionLength>,
     "--eeprom_ver version EEPROM data to be used for extraction"},
    {"--skip_eeprom_upgrade", 27, OptionKind::Flag, SetFlag<&CmdLineParams::skip_eeprom_upgrade>,
     "--skip_eeprom_upgrade skip EEPROM upgrade process during programming of CPU2 on JR and CPU1 on JV966"},
    {"--eeprom_ver_associate_from_cpu_ver", 28, OptionKind::Flag,
     SetFlag<&CmdLineParams::eeprom_ver_associate_from_cpu_ver>,
     "--eeprom_ver_associate_from_cpu_ver version of EEPROM will be assumed from CPU firmware version"},
    {"--number_of_led_blinks_on_end", 29, OptionKind::Value, StoreDecimal<&CmdLineParams::number_of_led_blinks_on_end>,
     "--number_of_led_blinks_on_end <number> define how many times LEDs blinks on the end of operation if succeed"},
    {"--patch_file", 30, OptionKind::Value, StoreText<&CmdLineParams::patch_file, kMaxFileWordLength>,
     "--patch_file define patch file to update EEPROM binary with specific values"},
    {"--output_file_name", 31, OptionKind::Value, StoreText<&CmdLineParams::output_file_name, kMaxFileWordLength>,
     "--patch_file if operation produces output file, so name of it can be defined, instead default name will be "
     "generated."},
    {"--forced_model_sne", 32, OptionKind::Value, StoreText<&CmdLineParams::forced_model_sne, kMaxForcedModelSneLength>,
     "--forced_model_sne <SNE> forced programming of data for camera model forced by SNE"},
}};

// The run's one instance.
CmdLineParams& TheCmdLineParams();

// Finds an option row by its exact word; nullptr when there is none.
const CmdLineOption* FindCmdLineOption(std::string_view name);
