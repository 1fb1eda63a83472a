// The error table, RaiseError and the wrapper's exception.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "error_items.h"
#include "raised.h"

namespace {

using zvtest::Catch;

TEST(ErrorTable, HoldsExactlyTheDocumentedCodes)
{
    EXPECT_EQ(error_items.size(), 118u);
    // Codes up to 1036 that have no text.
    auto missing = [](int32_t c) {
        return c == 37 || (c >= 62 && c <= 99) || c == 102 || c == 110 || (c >= 122 && c <= 200) ||
               (c >= 206 && c <= 1000) || (c >= 1015 && c <= 1019);
    };
    for (int32_t code = 0; code <= 1036; ++code) {
        EXPECT_EQ(FindErrorText(code) == nullptr, missing(code)) << code;
    }
    EXPECT_EQ(FindErrorText(-1), nullptr);
    EXPECT_EQ(FindErrorText(1037), nullptr);

    const std::pair<int32_t, const char*> texts[] = {
        {0, "Function call succeeded"},  // the first row of code 0 wins over "Result OK"
        {6, "Freeing bandwith error"},
        {52, "Application does not have enough privileges (one or more app)"},
        {112, "FFS file selector is invalid or NULL"},
        {205, "Parameter value is out of range"},
        {1022, "Couldn't open process"},
        {1023, "Couldn't open process"},
        {1026, "Image intensity is our of range"},
        {1036, "Image can't be processed due to image width alignment is not supported by Image Processor."},
    };
    for (const auto& [code, text] : texts) {
        EXPECT_STREQ(FindErrorText(code), text) << code;
    }
}

TEST(RaiseError, BuildsTheDescription)
{
    struct Case {
        int32_t code;
        std::string method;
        std::string text;
    } cases[] = {
        {1, "GetDeviceId", "Invalid handle (zvAPIplus_Camera::GetDeviceId)"},
        {100, "GetZVAPIParamInt - foo", "Unknown parameter (zvAPIplus_Camera::GetZVAPIParamInt - foo)"},
        {37, "Close", "(missing_error_description)"},
        {1015, "Close", "(missing_error_description)"},
        {1019, "Close", "(missing_error_description)"},
        // "Invalid handle" has 14 characters: with a 159-character name the
        // description has 194 characters and fits; one more does not.
        {1, std::string(159, 'm'), "Invalid handle (zvAPIplus_Camera::" + std::string(159, 'm') + ")"},
        {1, std::string(160, 'm'), "(descr_too_long)"},
        {1, "", "Invalid handle (zvAPIplus_Camera::)"},
    };
    for (const auto& c : cases) {
        const auto raised = Catch([&] { RaiseError(c.code, c.method.c_str()); });
        EXPECT_TRUE(raised.thrown);
        EXPECT_EQ(raised.code, c.code);
        EXPECT_EQ(raised.text, c.text) << c.code << " " << c.method.size();
        EXPECT_LE(raised.text.size(), 199u);
    }
    EXPECT_EQ(Catch([] { RaiseError(1, nullptr); }).text, "Invalid handle (zvAPIplus_Camera::)");
}

TEST(Exception, KeepsAtMost199CharactersAndCopiesOutTerminated)
{
    EXPECT_EQ(Catch([] { throw zvAPIplus_Exception(3, nullptr); }).text, "");
    const std::string long_text(250, 'x');
    EXPECT_EQ(Catch([&] { throw zvAPIplus_Exception(3, long_text.c_str()); }).text, std::string(199, 'x'));

    const zvAPIplus_Exception e(1, "Invalid handle (zvAPIplus_Camera::GetDeviceId)");
    EXPECT_EQ(e.GetErrorNumber(), 1);
    char small[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    e.GetDescription(small, 3);  // too small to take anything
    EXPECT_EQ(std::string(small, 8), "########");
    e.GetDescription(nullptr, 100);
    e.GetDescription(small, 4);
    EXPECT_EQ(std::string(small, 8), std::string("Inv\0####", 8));
    char exact[47];
    std::fill(std::begin(exact), std::end(exact), '#');
    e.GetDescription(exact, 46);  // one short of the text and its terminator
    EXPECT_EQ(std::string(exact), "Invalid handle (zvAPIplus_Camera::GetDeviceId");
    EXPECT_EQ(exact[46], '#');
    char roomy[60];
    std::fill(std::begin(roomy), std::end(roomy), '#');
    e.GetDescription(roomy, 60);
    EXPECT_EQ(std::string(roomy), "Invalid handle (zvAPIplus_Camera::GetDeviceId)");
    EXPECT_EQ(roomy[59], '\0');

    testing::internal::CaptureStdout();
    e.PrintError();
    zvAPIplus_Exception(3, long_text.c_str()).PrintError();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "zvAPIplus-Error 1:Invalid handle (zvAPIplus_Camera::GetDeviceId)\n"
              "zvAPIplus-Error 3:" +
                  std::string(199, 'x') + "\n");
}

}  // namespace
