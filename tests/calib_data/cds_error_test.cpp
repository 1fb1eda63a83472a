#include <gtest/gtest.h>

#include "cds_error.h"
#include "test_support.h"

using calib_test::DebugCapture;
using calib_test::ErrorText;

TEST(CdsError, ThrownTextJoinsOperationMessageAndDetail)
{
    DebugCapture debug;
    EXPECT_EQ(ErrorText([] { ThrowCDSError("GetDataTypeDescription", "Unknown data type selected", "5"); }),
              "GetDataTypeDescription - Unknown data type selected (5)");
    EXPECT_EQ(CdsLastErrorText(), "GetDataTypeDescription - Unknown data type selected (5)");
    // An empty detail adds nothing.
    EXPECT_EQ(ErrorText([] { ThrowCDSError("SetRawData", "Data size is zero"); }), "SetRawData - Data size is zero");
    EXPECT_EQ(CdsLastErrorText(), "SetRawData - Data size is zero");
    EXPECT_EQ(debug.texts, (std::vector<std::string>{"GetDataTypeDescription - Unknown data type selected (5)",
                                                     "SetRawData - Data size is zero"}));
}

TEST(CdsError, ThrownTextOutlivesLaterReports)
{
    try {
        ThrowCDSError("First", "one");
    } catch (const UpdaterError& first) {
        ReportCdsError("Second", "two", "detail");
        EXPECT_STREQ(first.what(), "First - one");
        EXPECT_EQ(CdsLastErrorText(), "Second - two (detail)");
    }
}

TEST(CdsError, ReportDoesNotThrowAndReturnsTheText)
{
    DebugCapture debug;
    EXPECT_EQ(ReportCdsError("GetCurrentCalibInfo", "CDS definition not available", "TestCam01 01.05"),
              "GetCurrentCalibInfo - CDS definition not available (TestCam01 01.05)");
    ASSERT_EQ(debug.texts.size(), 1u);
}

TEST(CdsError, PreconditionTextLeavesLastErrorAndDebugOutputAlone)
{
    ReportCdsError("Earlier", "failure");
    DebugCapture debug;
    EXPECT_EQ(ErrorText([] { ThrowCdsPrecondition("GetPagesCount", "prepared firmware version is not defined"); }),
              "GetPagesCount - prepared firmware version is not defined");
    EXPECT_EQ(CdsLastErrorText(), "Earlier - failure");
    EXPECT_TRUE(debug.texts.empty());
}

TEST(CdsError, SilentWithoutSink)
{
    SetCdsDebugSink(nullptr);
    EXPECT_EQ(ReportCdsError("Op", "message"), "Op - message");
}
