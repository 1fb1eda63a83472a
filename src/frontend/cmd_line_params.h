#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Whether an option takes the next word as its value.
enum class OptionKind : std::uint8_t {
    Flag,
    Value
};

// One row of the option table: the option word, the action code the parser
// switches on, and the help text of the usage screen.
struct CmdLineOption {
    std::string_view name;
    std::int32_t optionType;
    OptionKind kind;
    std::string_view help;
};

// The 32 options, in the order the usage screen lists them. The help texts are
// printed as they stand (some name another option; they are kept verbatim
// because scripts and manuals quote them).
inline constexpr std::array<CmdLineOption, 32> kCmdLineOptions{{
    {"--campath", 1, OptionKind::Value, "--campath <path> selects camera with given device path"},
    {"--camlocation", 2, OptionKind::Value, "--camlocation <location_path> selects camera with given location path"},
    {"--camsn", 3, OptionKind::Value, "--camsn <serial> selects camera with given serial number"},
    {"--camid", 4, OptionKind::Value, "--camid <id> selects one camera 0-X"},
    {"--allcameras", 5, OptionKind::Flag, "--allcameras Select all cameras"},
    {"--plain_file", 6, OptionKind::Flag,
     "--plain_file disables decrypting of file and checking checksum. Default is encrypted file with checksum."},
    {"--zvapi", 7, OptionKind::Flag,
     "--fapi select zvAPI based update (default no). E.g. for PCIe, TBT based cameras. Default is using low level USB3 "
     "calls (e.g. OpenDeviceUSB30)."},
    {"--key", 8, OptionKind::Value,
     "--key <access_key> to enable access to some operations. E.g. updating golden bitstream or factory data"},
    {"--hexfileformat", 9, OptionKind::Flag, "--hexfileformat defines that file content is hex format"},
    {"--hexfilename", 10, OptionKind::Flag,
     "--hexfilename to use filename as hex sequence (LSB) instead of binary file content. e.g. prog FileSN 12345678 "
     "--hexfilename"},
    {"--snsnefilename", 11, OptionKind::Flag,
     "--snsnefilename to use filename as SN/SNE or Sensor SN sequence (LSB) instead of binary file content. e.g. "
     "--hexfilename aabbccdd"},
    {"--u3v_cam", 12, OptionKind::Flag, "--u3v_cam - same as --ucam_type1"},
    {"--ucam_type1", 13, OptionKind::Flag,
     "--ucam_type1 selects 2nd generation of U3V cameras (e.g. zvW). Default is 1st generation of U3V cameras (e.g. "
     "zvH, zvE)"},
    {"--ucam_type2", 19, OptionKind::Flag,
     "--ucam_type2 selects JR USB3 cameras. Default is 1st generation of U3V cameras (e.g. zvH, zvE)"},
    {"--ucam_type3", 20, OptionKind::Flag,
     "--ucam_type3 selects JL838 USB3 cameras. Default is 1st generation of U3V cameras (e.g. zvH, zvE)"},
    {"--ucam_type4", 21, OptionKind::Flag, "--ucam_type4 selects JL810 USB3 cameras."},
    {"--yes", 14, OptionKind::Flag, "--yes No interactive questions - assume yes for all"},
    {"--cpu4_start", 15, OptionKind::Value, "start address to write CPU4 firmware"},
    {"--cpu4_stop", 16, OptionKind::Value, "stop address to write CPU4 firmware"},
    {"--fw_start", 17, OptionKind::Value, "start address to write firmware(same as cpu4_start"},
    {"--fw_stop", 18, OptionKind::Value, "stop address to write firmware(same as cpu4_stop"},
    {"--ccd", 22, OptionKind::Flag, "--ccd to be used with JR CCD models. e.g. prog FileSN 12345678 --ccd"},
    {"--new_fw_ver", 23, OptionKind::Value,
     "--new_fw_ver version of new firmware to be used for EEEPROM update for CPU2 on JR and CPU1 on JV966, e.g. "
     "--new_fw_ver 2.00"},
    {"--cur_fw_ver", 24, OptionKind::Value,
     "--cur_fw_ver version of current firmware to be used for EEEPROM update for CPU2 on JR and CPU1 on JV966, e.g. "
     "--cur_fw_ver 2.00"},
    {"--model", 25, OptionKind::Value, "--model camera model name used for extraction of EEPROM data"},
    {"--eeprom_ver", 26, OptionKind::Value, "--eeprom_ver version EEPROM data to be used for extraction"},
    {"--skip_eeprom_upgrade", 27, OptionKind::Flag,
     "--skip_eeprom_upgrade skip EEPROM upgrade process during programming of CPU2 on JR and CPU1 on JV966"},
    {"--eeprom_ver_associate_from_cpu_ver", 28, OptionKind::Flag,
     "--eeprom_ver_associate_from_cpu_ver version of EEPROM will be assumed from CPU firmware version"},
    {"--number_of_led_blinks_on_end", 29, OptionKind::Value,
     "--number_of_led_blinks_on_end <number> define how many times LEDs blinks on the end of operation if succeed"},
    {"--patch_file", 30, OptionKind::Value,
     "--patch_file define patch file to update EEPROM binary with specific values"},
    {"--output_file_name", 31, OptionKind::Value,
     "--patch_file if operation produces output file, so name of it can be defined, instead default name will be "
     "generated."},
    {"--forced_model_sne", 32, OptionKind::Value,
     "--forced_model_sne <SNE> forced programming of data for camera model forced by SNE"},
}};

// Longest values the options accept. The updaters hand these texts to fixed
// fields of the camera API and the calibration code, so a longer value is
// refused rather than cut into something the operator did not type.
inline constexpr std::size_t kMaxSelectionTextLength = 259;   // --campath, --camlocation, --camsn
inline constexpr std::size_t kMaxVersionTextLength = 199;     // --new_fw_ver, --cur_fw_ver, --model
inline constexpr std::size_t kMaxEepromVersionLength = 9;     // --eeprom_ver
inline constexpr std::size_t kMaxOptionFileNameLength = 299;  // --patch_file, --output_file_name
inline constexpr std::size_t kMaxForcedModelSneLength = 19;   // --forced_model_sne

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
    void StoreValue(const CmdLineOption& option, std::string_view word);
    void ReportMissingValue();
};

// The run's one instance.
CmdLineParams& TheCmdLineParams();

// Finds an option row by its exact word; nullptr when there is none.
const CmdLineOption* FindCmdLineOption(std::string_view name);
