// Acquisition, triggers and the processing context of the emulated library.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "emu_dir.h"
#include "zvapi32.h"

namespace {

using zvtest::EmuDir;

ZV_HANDLE OpenCamera(EmuDir& emu)
{
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) {
        r.sensorWidth = 64;
        r.sensorHeight = 48;
    });
    ZV_HANDLE h = 0;
    EXPECT_EQ(zvOpenDevice(0, &h), 0);
    return h;
}

ImageDescriptor Empty()
{
    ImageDescriptor d{};
    d.size = sizeof d;
    return d;
}

int32_t Int(ZV_HANDLE h, const char* param)
{
    int32_t v = -1;
    EXPECT_EQ(zvGetParamInt(h, param, &v), 0) << param;
    return v;
}

TEST(Imaging, FramesFollowRegionFormatAndPattern)
{
    EmuDir emu;
    const ZV_HANDLE h = OpenCamera(emu);
    ImageDescriptor image = Empty();
    EXPECT_EQ(zvGetImage(h, 100, &image), ZV_ACQUISITION_STOPPED);
    ASSERT_EQ(zvSetParamInt(h, "width", 36), 0);
    ASSERT_EQ(zvSetParamInt(h, "height", 10), 0);
    ASSERT_EQ(zvSetParamInt(h, "test_pattern", 2), 0);  // white
    ASSERT_EQ(zvStartAcquisition(h), 0);
    EXPECT_EQ(zvStartAcquisition(h), ZV_ACQUISITION_ALREADY_UP);
    ASSERT_EQ(zvGetImage(h, 100, &image), 0);
    EXPECT_EQ(image.format, 0u);
    EXPECT_EQ(image.width, 36u);
    EXPECT_EQ(image.height, 10u);
    EXPECT_EQ(image.linePadding, 0u);
    const auto* pixels = static_cast<const uint8_t*>(image.pixelBuffer);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 360), std::vector<uint8_t>(360, 0xFF));
    const uint32_t first = image.frameNumber;
    ASSERT_EQ(zvGetImage(h, 100, &image), 0);
    EXPECT_EQ(image.frameNumber, first + 1);
    ImageDescriptor wrong{};
    EXPECT_EQ(zvGetImage(h, 100, &wrong), ZV_INVALID_ARG);
    ASSERT_EQ(zvStopAcquisition(h), 0);
    EXPECT_EQ(zvStopAcquisition(h), ZV_ACQUISITION_STOPPED);

    // Lines of MONO16, RGB24 and RAW16 are padded to 16 bytes, others not.
    const struct {
        int32_t format;
        uint32_t padding;
    } padded[] = {{1, 8}, {2, 4}, {6, 8}, {3, 0}, {8, 0}};
    for (const auto& p : padded) {
        ASSERT_EQ(zvSetParamInt(h, "imgdataformat", p.format), 0);
        ASSERT_EQ(zvStartAcquisition(h), 0);
        ASSERT_EQ(zvGetImage(h, 100, &image), 0);
        EXPECT_EQ(image.format, static_cast<uint32_t>(p.format));
        EXPECT_EQ(image.linePadding, p.padding) << p.format;
        ASSERT_EQ(zvStopAcquisition(h), 0);
    }
    zvCloseDevice(h);
}

TEST(Imaging, TriggeredFramesComeOnePerSoftwareTrigger)
{
    EmuDir emu;
    const ZV_HANDLE h = OpenCamera(emu);
    ASSERT_EQ(zvSetParamInt(h, "trigger_source", 3), 0);
    ASSERT_EQ(zvStartAcquisition(h), 0);
    ImageDescriptor image = Empty();
    // No trigger pending: the timeout at once, however long it is.
    EXPECT_EQ(zvGetImage(h, 3600000, &image), ZV_TIMEOUT);
    ASSERT_EQ(zvSetParamInt(h, "trigger_software", 1), 0);
    ASSERT_EQ(zvSetParamInt(h, "trigger_software", 1), 0);
    EXPECT_EQ(zvGetImage(h, 100, &image), 0);
    EXPECT_EQ(zvGetImage(h, 100, &image), 0);
    EXPECT_EQ(zvGetImage(h, 100, &image), ZV_TIMEOUT);
    // A hardware edge never comes.
    ASSERT_EQ(zvStopAcquisition(h), 0);
    ASSERT_EQ(zvSetParamInt(h, "trigger_source", 1), 0);
    ASSERT_EQ(zvStartAcquisition(h), 0);
    EXPECT_EQ(zvSetParamInt(h, "trigger_software", 1), ZV_PARAM_CONDITIONALLY_NOT_AVAILABLE);
    EXPECT_EQ(zvGetImage(h, 100, &image), ZV_TIMEOUT);
    EXPECT_EQ(Int(h, "acquisition_status"), 1);
    ASSERT_EQ(zvStopAcquisition(h), 0);
    EXPECT_EQ(Int(h, "acquisition_status"), 0);
    zvCloseDevice(h);
}

TEST(Imaging, TheProcessingContextConvertsToItsFormat)
{
    EmuDir emu;
    ZV_PROC_HANDLE proc = 0;
    ASSERT_EQ(zvProcOpen(&proc), 0);
    ImageDescriptor out = Empty();
    EXPECT_EQ(zvProcPullImage(proc, 0, &out), ZV_NO_IMAGE);

    // Two RGB24 pixels and 2 bytes of padding.
    uint8_t rgb[8] = {0x10, 0x20, 0x30, 0xFF, 0xFF, 0xFF, 0xEE, 0xEE};
    ImageDescriptor in = Empty();
    in.pixelBuffer = rgb;
    in.format = 2;
    in.width = 2;
    in.height = 1;
    in.linePadding = 2;
    // Without an output format images pass unchanged.
    ASSERT_EQ(zvProcPushImage(proc, &in), 0);
    ASSERT_EQ(zvProcPullImage(proc, 0, &out), 0);
    EXPECT_EQ(out.format, 2u);
    EXPECT_EQ(out.linePadding, 2u);
    EXPECT_EQ(std::memcmp(out.pixelBuffer, rgb, sizeof rgb), 0);

    const int32_t mono8 = 0, mono16 = 1, planar = 4;
    ASSERT_EQ(zvProcSetParam(proc, "imgdataformat", &mono8, sizeof mono8, zvTypeInteger), 0);
    ASSERT_EQ(zvProcPushImage(proc, &in), 0);
    ASSERT_EQ(zvProcPullImage(proc, 0, &out), 0);
    EXPECT_EQ(out.format, 0u);
    EXPECT_EQ(out.width, 2u);
    EXPECT_EQ(out.linePadding, 0u);
    const auto* grey = static_cast<const uint8_t*>(out.pixelBuffer);
    EXPECT_EQ(grey[0], 0x20);  // (r + 2g + b) / 4
    EXPECT_EQ(grey[1], 0xFF);

    ASSERT_EQ(zvProcSetParam(proc, "imgdataformat", &mono16, sizeof mono16, zvTypeInteger), 0);
    uint8_t mono[2] = {0x80, 0x01};
    in.pixelBuffer = mono;
    in.format = 0;
    in.linePadding = 0;
    ASSERT_EQ(zvProcPushImage(proc, &in), 0);
    ASSERT_EQ(zvProcPullImage(proc, 0, &out), 0);
    uint16_t wide[2];
    std::memcpy(wide, out.pixelBuffer, sizeof wide);
    EXPECT_EQ(wide[0], 0x8080);
    EXPECT_EQ(wide[1], 0x0101);

    // What the context cannot do.
    EXPECT_EQ(zvProcSetParam(proc, "gain", &mono8, 4, zvTypeInteger), ZV_UNKNOWN_PARAM);
    EXPECT_EQ(zvProcSetParam(proc, "imgdataformat", &planar, 4, zvTypeInteger), ZV_PROC_OUTPUT_FORMAT_UNSUPPORTED);
    EXPECT_EQ(zvProcSetParam(proc, "imgdataformat", &mono8, 2, zvTypeInteger), ZV_WRONG_PARAM_SIZE);
    in.format = planar;
    EXPECT_EQ(zvProcPushImage(proc, &in), ZV_PROC_INPUT_FORMAT_UNSUPPORTED);
    in.format = 7;
    EXPECT_EQ(zvProcPushImage(proc, &in), ZV_DATA_FORMAT_NOT_SUPPORTED);
    ASSERT_EQ(zvProcClose(proc), 0);
    EXPECT_EQ(zvProcPushImage(proc, &in), ZV_INVALID_HANDLE);
}

}  // namespace
