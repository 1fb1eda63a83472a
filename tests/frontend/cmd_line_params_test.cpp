#include "cmd_line_params.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Parsed {
    CmdLineParams params;
    std::string printed;
};

Parsed ParseWords(const std::vector<std::string>& words)
{
    Parsed result;
    std::vector<const char*> argv;
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    testing::internal::CaptureStdout();
    result.params.Parse(static_cast<int>(argv.size()), argv.data());
    result.printed = testing::internal::GetCapturedStdout();
    return result;
}

}  // namespace

TEST(CmdLineParams, StartsEmpty)
{
    const CmdLineParams p;
    EXPECT_EQ(p.errorFlag, 0);
    EXPECT_EQ(p.camid, 0);
    EXPECT_EQ(p.key, 0u);
    EXPECT_EQ(p.ucam_type, 0);
    EXPECT_FALSE(p.zvapi);
    EXPECT_TRUE(p.campath.empty());
}

TEST(CmdLineParams, StoresEveryOption)
{
    const Parsed r = ParseWords({"--campath",
                                 "usb#1",
                                 "--camlocation",
                                 "PCIROOT(0)",
                                 "--camsn",
                                 "ABC123",
                                 "--camid",
                                 "3",
                                 "--allcameras",
                                 "--plain_file",
                                 "--zvapi",
                                 "--key",
                                 "0x1234abcd",
                                 "--hexfileformat",
                                 "--hexfilename",
                                 "--snsnefilename",
                                 "--yes",
                                 "--fw_start",
                                 "1000",
                                 "--fw_stop",
                                 "0x2000",
                                 "--ccd",
                                 "--new_fw_ver",
                                 "2.00",
                                 "--cur_fw_ver",
                                 "1.30",
                                 "--model",
                                 "zvW-123",
                                 "--eeprom_ver",
                                 "01.02",
                                 "--skip_eeprom_upgrade",
                                 "--eeprom_ver_associate_from_cpu_ver",
                                 "--number_of_led_blinks_on_end",
                                 "5",
                                 "--patch_file",
                                 "patch.csv",
                                 "--output_file_name",
                                 "out.bin",
                                 "--forced_model_sne",
                                 "ABCDE21070AV"});
    const CmdLineParams& p = r.params;
    EXPECT_EQ(r.printed, "");
    EXPECT_EQ(p.errorFlag, 0);
    EXPECT_EQ(p.campath, "usb#1");
    EXPECT_EQ(p.camlocation, "PCIROOT(0)");
    EXPECT_EQ(p.camsn, "ABC123");
    EXPECT_EQ(p.camid, 3);
    EXPECT_TRUE(p.allcameras && p.plain_file && p.zvapi && p.hexfileformat && p.hexfilename && p.snsnefilename &&
                p.yes && p.ccd && p.skip_eeprom_upgrade && p.eeprom_ver_associate_from_cpu_ver);
    EXPECT_EQ(p.key, 0x1234abcdu);
    EXPECT_EQ(p.fw_start, 0x1000u);
    EXPECT_EQ(p.fw_stop, 0x2000u);
    EXPECT_EQ(p.new_fw_ver, "2.00");
    EXPECT_EQ(p.cur_fw_ver, "1.30");
    EXPECT_EQ(p.model, "zvW-123");
    EXPECT_EQ(p.eeprom_ver, "01.02");
    EXPECT_EQ(p.number_of_led_blinks_on_end, 5);
    EXPECT_EQ(p.patch_file, "patch.csv");
    EXPECT_EQ(p.output_file_name, "out.bin");
    EXPECT_EQ(p.forced_model_sne, "ABCDE21070AV");
}

TEST(CmdLineParams, SharedFieldsAndLastWins)
{
    EXPECT_EQ(ParseWords({"--ucam_type2", "--u3v_cam"}).params.ucam_type, 1);
    EXPECT_EQ(ParseWords({"--u3v_cam", "--ucam_type4"}).params.ucam_type, 4);
    EXPECT_EQ(ParseWords({"--ucam_type3"}).params.ucam_type, 3);
    const Parsed window =
        ParseWords({"--fw_start", "10", "--cpu4_start", "20", "--cpu4_stop", "30", "--fw_stop", "40"});
    EXPECT_EQ(window.params.fw_start, 0x20u);
    EXPECT_EQ(window.params.fw_stop, 0x40u);
    EXPECT_EQ(ParseWords({"--camid", "1", "--camid", "2"}).params.camid, 2);
    EXPECT_EQ(ParseWords({"--key", "0"}).params.key, 0u);
    EXPECT_EQ(ParseWords({"--number_of_led_blinks_on_end", "-2"}).params.number_of_led_blinks_on_end, -2);
}

TEST(CmdLineParams, LimitsOfTextValues)
{
    // Longest accepted value of each text option, and one more character.
    struct Case {
        const char* option;
        std::size_t longest;
    };
    const Case cases[] = {
        {"--campath", 259},          {"--camlocation", 259},     {"--camsn", 259},    {"--new_fw_ver", 199},
        {"--cur_fw_ver", 199},       {"--model", 199},           {"--eeprom_ver", 9}, {"--patch_file", 299},
        {"--output_file_name", 299}, {"--forced_model_sne", 19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        EXPECT_EQ(ParseWords({c.option, std::string(c.longest, 'x')}).params.errorFlag, 0);
        const Parsed tooLong = ParseWords({c.option, std::string(c.longest + 1, 'x')});
        EXPECT_EQ(tooLong.params.errorFlag, 1);
        EXPECT_EQ(tooLong.printed, std::string("Value of parameter ") + c.option + " is too long (at most " +
                                       std::to_string(c.longest) + " characters)\n");
    }
}

TEST(CmdLineParams, RejectedWordsPrintTheirOwnLine)
{
    struct Case {
        std::vector<std::string> words;
        const char* printed;
    };
    const Case cases[] = {
        {{"--file_size"}, "Unknown parameter --file_size\n"},
        {{"--ZVAPI"}, "Unknown parameter --ZVAPI\n"},
        {{"-zvapi"}, "Invalid wait_param setr 0 / -zvapi\n"},
        {{"CPU1"}, "Invalid wait_param setr 0 / CPU1\n"},
        {{"--campath"}, "Missing value for parameter --campath\n"},
        {{"--camsn", "--zvapi"}, "Missing value for parameter --camsn\n"},
        {{"--camid", "1x"}, "Invalid value 1x for parameter --camid\n"},
        {{"--camid", "-1"}, "Invalid value -1 for parameter --camid\n"},
        {{"--camid", "99999999999"}, "Invalid value 99999999999 for parameter --camid\n"},
        {{"--key", "xyz"}, "Invalid value xyz for parameter --key\n"},
        {{"--key", "0x"}, "Invalid value 0x for parameter --key\n"},
        {{"--key", "123456789"}, "Invalid value 123456789 for parameter --key\n"},
        {{"--fw_start", "12g"}, "Invalid value 12g for parameter --fw_start\n"},
        {{"--fw_stop", "-5"}, "Invalid value -5 for parameter --fw_stop\n"},
        {{"--cpu4_start", "z"}, "Invalid value z for parameter --cpu4_start\n"},
        {{"--cpu4_stop", ""}, "Invalid value  for parameter --cpu4_stop\n"},
        {{"--number_of_led_blinks_on_end", "many"}, "Invalid value many for parameter --number_of_led_blinks_on_end\n"},
        {{"--bogus", "--also", "word"},
         "Unknown parameter --bogus\nUnknown parameter --also\nInvalid wait_param setr 0 / word\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printed);
        const Parsed r = ParseWords(c.words);
        EXPECT_EQ(r.params.errorFlag, 1);
        EXPECT_EQ(r.printed, c.printed);
    }
    // The option after a missing value still counts.
    const Parsed r = ParseWords({"--camsn", "--zvapi"});
    EXPECT_TRUE(r.params.zvapi);
    EXPECT_TRUE(r.params.camsn.empty());
}

TEST(CmdLineParams, UsageScreenListsEveryOption)
{
    testing::internal::CaptureStdout();
    CmdLineParams().PrintUsage();
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text.rfind("Usage: \n kelvo_flasher.exe [(options)] command type [filename]\nOptions: \n", 0), 0u);
    EXPECT_NE(text.find("          --campath --campath <path> selects camera with given device path\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n--eeprom_ver_associate_from_cpu_ver --eeprom_ver_associate_from_cpu_ver version"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\t\n");
    std::size_t lines = 0;
    for (const char c : text) {
        lines += c == '\n';
    }
    EXPECT_EQ(lines, 3 + kCmdLineOptions.size() + 1);
}
