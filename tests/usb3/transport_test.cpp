#include <gtest/gtest.h>

#include "usb3_fixture.h"

namespace usb3test {
namespace {

TEST_F(Usb3Test, OpenReadsControllerVersionAndSpeed)
{
    AddUsb3(Seed(0, 4, 34, true));
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->fwVersion[0], 34);
    EXPECT_EQ(context->fwVersion[1], 4);
    EXPECT_EQ(context->highSpeed, 1u);
    EXPECT_EQ(context->bulkMode, 1u);
    EXPECT_EQ(GetMaxPieceSize(*context), 448);
    std::uint8_t block[8] = {0x03, 0x04, 0x00, 0x00, 32, 0, 0, 0};  // read at 0x40000
    ASSERT_EQ(u3VrReq(*context, 0xE4, 0, 0, block, 8, 1, 1), 0);
    std::uint8_t descriptor[96] = {};
    ASSERT_EQ(u3VrReq(*context, 0xE6, 0, 0, descriptor, 96, 0, 1), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(descriptor, descriptor + 96), zvemu::Usb3FlashMapDescriptor(0));
    EXPECT_TRUE(CloseDeviceUSB30(std::move(context)));
}

}  // namespace
}  // namespace usb3test
