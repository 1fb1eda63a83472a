// Acquisition through zvAPIplus_Camera and the processing context
// zvAPIplus_Processing, on emulated cameras.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "emu_dir.h"
#include "raised.h"
#include "zvapiplus_camera.h"
#include "zvapiplus_processing.h"

namespace {

using zvtest::Catch;
using zvtest::Described;
using zvtest::EmuDir;

void AddSmallCamera(EmuDir& emu)
{
    emu.AddCamera("JV966JK-TD-G8-V7T9-JND", [](zvemu::CameraRecord& r) {
        r.sensorWidth = 64;
        r.sensorHeight = 48;
    });
}

std::vector<uint8_t> Bytes(zvAPIplus_Image& image, uint64_t count)
{
    const auto* at = static_cast<const uint8_t*>(image.GetImageDescriptor()->pixelBuffer);
    return std::vector<uint8_t>(at, at + count);
}

// Every format, with a region whose lines are padded in MONO16, RGB24 and
// RAW16: the camera's image and a caller's agree with the camera's settings,
// and a copy holds the same pixels.
TEST(Acquisition, EveryFormatOfAPaddedRegion)
{
    EmuDir emu;
    AddSmallCamera(emu);
    zvAPIplus_Camera camera;
    camera.OpenFirst();
    camera.SetWidth(36);
    camera.SetHeight(10);
    camera.SetOffsetX(8);
    camera.SetOffsetY(4);
    for (int format = 0; format <= 18; ++format) {
        SCOPED_TRACE(format);
        camera.SetImageDataFormat(format);
        const auto payload = static_cast<uint64_t>(camera.GetImagePayloadSize());
        camera.StartAcquisition();
        zvAPIplus_Image mine;
        zvAPIplus_Image* own = camera.GetNextImage(nullptr);
        EXPECT_EQ(own, camera.GetLastImage());
        EXPECT_EQ(camera.GetNextImage(&mine), &mine);
        for (zvAPIplus_Image* image : {own, &mine}) {
            const ImageDescriptor& d = *image->GetImageDescriptor();
            EXPECT_EQ(d.format, static_cast<uint32_t>(camera.GetImageDataFormat()));
            EXPECT_EQ(d.width, static_cast<uint32_t>(camera.GetWidth()));
            EXPECT_EQ(d.height, static_cast<uint32_t>(camera.GetHeight()));
            EXPECT_FALSE(image->IsDataOwner());
        }
        EXPECT_EQ(mine.GetImageDescriptor()->linePadding, format == 1 || format == 6 ? 8u : format == 2 ? 4u : 0u);
        zvAPIplus_Image copy;
        if (format == 7) {
            // Transport data: 12-bit samples, no pixel size to copy by.
            EXPECT_EQ(payload, 36u * 10 * 3 / 2);
            EXPECT_EQ(Catch([&] { mine.CopyTo(&copy); }).code, 108);
            camera.StopAcquisition();
            continue;
        }
        // The pixels the record describes; the planar and multi-component
        // formats carry that many bytes per plane or component.
        const ImageDescriptor& d = *mine.GetImageDescriptor();
        const uint64_t extent =
            (uint64_t{d.width} * static_cast<uint64_t>(mine.GetBytesPerPixel()) + d.linePadding) * d.height;
        EXPECT_EQ(payload % extent, 0u);
        mine.CopyTo(&copy);
        const uint64_t compared = std::min<uint64_t>(extent, copy.GetPixelDataSize());
        EXPECT_EQ(Bytes(copy, compared), Bytes(mine, compared));
        EXPECT_TRUE(copy.IsDataOwner());
        camera.StopAcquisition();
    }
}

TEST(Acquisition, TheFlagFollowsStartAndStopThatSucceeded)
{
    EmuDir emu;
    AddSmallCamera(emu);
    zvAPIplus_Camera camera;
    for (const char* method : {"StartAcquisition", "StopAcquisition", "GetNextImage"}) {
        const auto raised = Catch([&] {
            if (std::string(method) == "StartAcquisition") {
                camera.StartAcquisition();
            } else if (std::string(method) == "StopAcquisition") {
                camera.StopAcquisition();
            } else {
                camera.GetNextImage(nullptr);
            }
        });
        EXPECT_EQ(raised.text, Described("Invalid handle", method));
    }
    camera.OpenFirst();
    emu.Hook(-1, "fail call=zvStartAcquisition code=49");
    EXPECT_EQ(Catch([&] { camera.StartAcquisition(); }).text,
              Described("Device not ready to operate", "StartAcquisition"));
    EXPECT_FALSE(camera.IsAcquisitionStarted());
    camera.StartAcquisition();
    EXPECT_TRUE(camera.IsAcquisitionStarted());
    // The geometry stays while the camera acquires.
    const auto refused = Catch([&] { camera.SetWidth(32); });
    EXPECT_EQ(refused.code, 121);
    EXPECT_EQ(refused.text, Described("Parameter is not supported while acquisition is running.", "SetWidth"));
    // A second start fails in the library; the flag stays.
    EXPECT_EQ(Catch([&] { camera.StartAcquisition(); }).code, 41);
    EXPECT_TRUE(camera.IsAcquisitionStarted());

    // The timeout goes to the library unchecked.
    emu.StartTrace();
    EXPECT_EQ(camera.GetNextImageTimeout(), 2000);
    camera.SetNextImageTimeout(0);
    camera.GetNextImage(nullptr);
    EXPECT_EQ(emu.TraceWith("zvGetImage handle=" + std::to_string(camera.deviceHandle) + " timeout=0").size(), 1u);

    // An owning image given to GetNextImage releases its copy first (the
    // leak checker watches) and then holds the library's pixels.
    zvAPIplus_Image owner;
    camera.GetLastImage()->CopyTo(&owner);
    ASSERT_TRUE(owner.IsDataOwner());
    camera.GetNextImage(&owner);
    EXPECT_FALSE(owner.IsDataOwner());

    // Closing empties the camera's image (the library's pixels end with the
    // device) and leaves the flag.
    camera.Close();
    EXPECT_EQ(camera.GetLastImage()->GetImageDescriptor()->pixelBuffer, nullptr);
    EXPECT_EQ(camera.GetLastImage()->GetPixelDataSize(), 0u);
    EXPECT_TRUE(camera.IsAcquisitionStarted());
}

TEST(Processing, ConvertsAPushedImage)
{
    EmuDir emu;
    AddSmallCamera(emu);
    zvAPIplus_Camera camera;
    camera.OpenFirst();
    camera.SetWidth(16);
    camera.SetHeight(2);
    camera.StartAcquisition();
    zvAPIplus_Image* frame = camera.GetNextImage(nullptr);

    zvAPIplus_Processing processing;
    zvAPIplus_Image empty;
    processing.GetImage(&empty);  // nothing pulled yet: an empty image
    EXPECT_EQ(empty.GetImageDescriptor()->format, 0u);
    EXPECT_EQ(empty.GetPixelDataSize(), 0u);

    const int32_t mono16 = 1;
    processing.SetParam("imgdataformat", &mono16, sizeof mono16, zvTypeInteger);
    processing.PushImage(frame->GetImageDescriptor());
    processing.PullImage();
    zvAPIplus_Image out;
    processing.GetImage(&out);
    EXPECT_TRUE(out.IsDataOwner());
    EXPECT_EQ(out.GetImageDescriptor()->format, 1u);
    EXPECT_EQ(out.GetImageDescriptor()->width, 16u);
    const auto* source = static_cast<const uint8_t*>(frame->GetImageDescriptor()->pixelBuffer);
    const auto* wide = static_cast<const uint8_t*>(out.GetImageDescriptor()->pixelBuffer);
    for (int i = 0; i < 32; ++i) {
        uint16_t v;
        std::memcpy(&v, wide + 2 * i, 2);
        EXPECT_EQ(v, source[i] * 0x101) << i;
    }
}

TEST(Processing, FailuresNameTheirCall)
{
    EmuDir emu;
    emu.AddCamera();
    emu.StartTrace();
    {
        zvAPIplus_Processing processing;
        EXPECT_EQ(Catch([&] { processing.PullImage(); }).text, Described("No image", "zvPullImage"));
        EXPECT_EQ(emu.TraceWith("zvProcPullImage").at(0).find("reserved=0") != std::string::npos, true);
        EXPECT_EQ(Catch([&] { processing.SetParam("gain", nullptr, 0, zvTypeFloat); }).text,
                  Described("Unknown parameter", "zvProcSetParam"));
        zvAPIplus_Image transport;
        transport.GetImageDescriptor()->format = 7;
        EXPECT_EQ(Catch([&] { processing.PushImage(transport.GetImageDescriptor()); }).text,
                  Described("Data format is not supported", "zvProcPushImage"));
        EXPECT_EQ(Catch([&] { processing.PushImage(nullptr); }).code, 11);
    }
    EXPECT_EQ(emu.TraceWith("zvProcClose").size(), 1u);

    emu.Hook(-1, "fail call=zvProcOpen code=59");
    emu.ClearTrace();
    std::unique_ptr<zvAPIplus_Processing> made;
    EXPECT_EQ(Catch([&] { made = std::make_unique<zvAPIplus_Processing>(); }).text,
              Described("Could not initialize processor.", "zvProcOpen"));
    EXPECT_EQ(made, nullptr);
    EXPECT_TRUE(emu.TraceWith("zvProcClose").empty());

    // A failing close stays inside the destructor.
    emu.ClearHooks(-1);
    emu.Hook(-1, "fail call=zvProcClose code=20");
    EXPECT_NO_THROW({ zvAPIplus_Processing closing; });
}

}  // namespace
