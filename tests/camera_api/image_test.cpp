// zvAPIplus_Image: pixel sizes by format, data sizes and deep copies.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "raised.h"
#include "zvapiplus_image.h"

namespace {

using zvtest::Catch;
using zvtest::Described;

// An image whose record the test fills.
class TestImage : public zvAPIplus_Image {
public:
    TestImage(uint32_t format, uint32_t width, uint32_t height, uint32_t padding = 0, void* pixels = nullptr)
    {
        descriptor.format = format;
        descriptor.width = width;
        descriptor.height = height;
        descriptor.linePadding = padding;
        descriptor.pixelBuffer = pixels;
    }
};

std::vector<uint8_t> Pixels(zvAPIplus_Image& image, size_t bytes)
{
    const auto* at = static_cast<const uint8_t*>(image.GetImageDescriptor()->pixelBuffer);
    return std::vector<uint8_t>(at, at + bytes);
}

std::vector<uint8_t> Counting(size_t bytes)
{
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i) {
        v[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    return v;
}

TEST(Image, ANewImageIsEmpty)
{
    zvAPIplus_Image image;
    EXPECT_EQ(image.GetImageDescriptor()->size, sizeof(ImageDescriptor));
    EXPECT_EQ(image.GetBytesPerPixel(), 1);
    EXPECT_EQ(image.GetBitCount(), 8);
    EXPECT_EQ(image.GetPaddingPixels(), 0u);
    EXPECT_EQ(image.GetPixelDataSize(), 0u);
    EXPECT_FALSE(image.IsDataOwner());
    EXPECT_EQ(image.GetImageDescriptor()->pixelBuffer, nullptr);
}

TEST(Image, PixelSizesByFormat)
{
    const int bytes[] = {1, 2, 3, 4, 1, 1, 2, 0, 6, 8, 2, 1, 1, 2, 2, 4, 4, 1, 2};
    for (uint32_t format = 0; format < 19; ++format) {
        TestImage image(format, 10, 2);
        if (bytes[format] == 0) {
            continue;
        }
        EXPECT_EQ(image.GetBytesPerPixel(), bytes[format]) << format;
        EXPECT_EQ(image.GetBitCount(), 8 * bytes[format]) << format;
        EXPECT_EQ(image.GetPixelDataSize(), 20u * static_cast<uint32_t>(bytes[format])) << format;
    }
    // Transport data and unknown formats have no pixel size; padding still answers.
    for (uint32_t format : {7u, 19u, 0xFFFFFFFFu}) {
        TestImage image(format, 10, 2, 5);
        EXPECT_EQ(Catch([&] { image.GetBytesPerPixel(); }).text,
                  Described("Data format is not supported", "GetBytesPerPixel"))
            << format;
        EXPECT_EQ(Catch([&] { image.GetBitCount(); }).text, Described("Data format is not supported", "GetBitCount"));
        const auto raised = Catch([&] { image.GetPixelDataSize(); });
        EXPECT_EQ(raised.code, 108);
        EXPECT_EQ(raised.text, Described("Data format is not supported", "GetBytesPerPixel"));
        EXPECT_EQ(image.GetPaddingPixels(), 5u);
    }
}

TEST(Image, PaddingAndDataSize)
{
    const struct {
        uint32_t format, width, height, padding, paddingPixels, size;
    } cases[] = {
        {1, 100, 10, 6, 3, 2060},  // MONO16: padding halved
        {6, 100, 10, 7, 3, 2060},  // RAW16: halved, rounded down
        {2, 100, 10, 6, 6, 3180},  // RGB24: bytes counted as pixels
        {0, 640, 480, 0, 0, 307200},
    };
    for (const auto& c : cases) {
        TestImage image(c.format, c.width, c.height, c.padding);
        EXPECT_EQ(image.GetPaddingPixels(), c.paddingPixels) << c.format;
        EXPECT_EQ(image.GetPixelDataSize(), c.size) << c.format;
    }
    // A size past 32 bits is refused, never wrapped.
    TestImage huge(9, 65536, 65536);
    const auto raised = Catch([&] { huge.GetPixelDataSize(); });
    EXPECT_EQ(raised.code, 104);
    EXPECT_EQ(raised.text, Described("Wrong parameter size", "GetPixelDataSize"));
}

TEST(Image, CopyToMakesAnOwnedCopy)
{
    auto pixels = Counting(640 * 480);
    TestImage source(0, 640, 480, 0, pixels.data());
    zvAPIplus_Image copy;
    source.CopyTo(&copy);
    EXPECT_TRUE(copy.IsDataOwner());
    EXPECT_FALSE(source.IsDataOwner());
    EXPECT_NE(copy.GetImageDescriptor()->pixelBuffer, pixels.data());
    EXPECT_EQ(copy.GetImageDescriptor()->width, 640u);
    EXPECT_EQ(copy.GetPixelDataSize(), 307200u);
    EXPECT_EQ(Pixels(copy, 307200), pixels);

    // Copying onto an owning image releases its old buffer (the leak checker
    // watches); a copy onto itself changes nothing.
    auto small = Counting(16);
    TestImage other(0, 4, 4, 0, small.data());
    other.CopyTo(&copy);
    EXPECT_EQ(Pixels(copy, 16), small);
    void* before = copy.GetImageDescriptor()->pixelBuffer;
    copy.CopyTo(&copy);
    EXPECT_EQ(copy.GetImageDescriptor()->pixelBuffer, before);
    EXPECT_TRUE(copy.IsDataOwner());

    EXPECT_EQ(Catch([&] { source.CopyTo(nullptr); }).text, Described("Wrong parameter value", "CopyTo"));
}

// RGB24 counts its padding bytes as pixels, so its data size (3,180) is
// larger than the pixels the record describes (3,060): the copy reads no
// more than those and zero-fills the rest.
TEST(Image, CopyToReadsOnlyThePixelsOfTheRecord)
{
    auto* exact = static_cast<uint8_t*>(std::malloc(3060));
    for (int i = 0; i < 3060; ++i) {
        exact[i] = static_cast<uint8_t>(i % 251 + 1);
    }
    TestImage source(2, 100, 10, 6, exact);
    zvAPIplus_Image copy;
    source.CopyTo(&copy);
    const auto copied = Pixels(copy, 3180);
    EXPECT_EQ(std::vector<uint8_t>(copied.begin(), copied.begin() + 3060), std::vector<uint8_t>(exact, exact + 3060));
    EXPECT_EQ(std::vector<uint8_t>(copied.begin() + 3060, copied.end()), std::vector<uint8_t>(120, 0));
    std::free(exact);
}

TEST(Image, AFailingCopyLeavesTheDestinationAsItWas)
{
    auto pixels = Counting(16);
    TestImage owner(0, 4, 4, 0, pixels.data());
    zvAPIplus_Image copy;
    owner.CopyTo(&copy);
    const ImageDescriptor before = *copy.GetImageDescriptor();

    for (uint32_t format : {7u, 40u}) {
        TestImage transport(format, 8, 8, 0, pixels.data());
        EXPECT_EQ(Catch([&] { transport.CopyTo(&copy); }).code, 108);
        EXPECT_EQ(std::memcmp(copy.GetImageDescriptor(), &before, sizeof before), 0);
        EXPECT_TRUE(copy.IsDataOwner());
        EXPECT_EQ(Pixels(copy, 16), pixels);
    }
    TestImage huge(9, 65536, 65536, 0, pixels.data());
    EXPECT_EQ(Catch([&] { huge.CopyTo(&copy); }).code, 104);
    EXPECT_EQ(std::memcmp(copy.GetImageDescriptor(), &before, sizeof before), 0);
}

}  // namespace
