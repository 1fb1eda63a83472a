// The bulk IN endpoint of the emulated camera as the driver seam shows it:
// acknowledgements wait for reads in order, reads wait for acknowledgements in
// order, a full endpoint loses its oldest packet and a cancelled read takes
// nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

#include "usb3_fixture.h"
#include "zvusb3/usb3_transfer.h"

namespace usb3test {
namespace {

using zv::usb3::PendingTransfer;

class DriverSeamTest : public Usb3Test {
protected:
    struct Read {
        PendingTransfer transfer;
        bool completedAtOnce = false;

        const std::uint8_t* Bytes() const { return transfer.Data(); }
        std::uint16_t AckId() const { return zv::usb3::GetLe16(Bytes() + 10); }
    };

    void SetUp() override
    {
        AddUsb3();
        context_ = OpenDeviceUSB30(0);
        ASSERT_TRUE(context_);
    }

    using CommandBytes = std::array<std::uint8_t, kFrameHeaderSize + kRequestBlockSize>;

    // A controller version request (answered with 2 bytes) under this id.
    static CommandBytes CommandFrame(std::uint16_t id)
    {
        U3VrReqFrame frame;
        frame.length = kRequestBlockSize;
        frame.requestId = id;
        frame.direction = static_cast<std::uint16_t>(U3Direction::DeviceToHost);
        frame.request = 0xC0;
        frame.dataLength = 2;
        CommandBytes bytes{};
        frame.WriteTo(bytes.data());
        return bytes;
    }

    void Command(std::uint16_t id)
    {
        CommandBytes bytes = CommandFrame(id);
        int length = static_cast<int>(bytes.size());
        ASSERT_TRUE(XferData30(*context_, zv::usb3::kEndpointBulkOut, bytes.data(), &length));
    }

    // The command, then the start of a read of `capacity` bytes.
    std::unique_ptr<Read> CommandThenBegin(std::uint16_t id, std::uint32_t capacity = 1024)
    {
        CommandBytes bytes = CommandFrame(id);
        std::uint32_t returned = 0;
        std::uint32_t error = 0;
        EXPECT_TRUE(context_->hDevice->BulkTransfer(zv::usb3::kEndpointBulkOut, bytes.data(),
                                                    static_cast<std::uint32_t>(bytes.size()), &returned, &error));
        EXPECT_EQ(returned, bytes.size());
        return Begin(capacity);
    }

    // Starts a read; it either completed at once or is pending.
    std::unique_ptr<Read> Begin(std::uint32_t capacity = 1024)
    {
        auto read = std::make_unique<Read>();
        std::uint32_t error = 0;
        read->completedAtOnce =
            context_->hDeviceOvl->BeginBulkRead(zv::usb3::kEndpointBulkIn, capacity, read->transfer, &error);
        EXPECT_EQ(error, read->completedAtOnce ? 0u : zv::usb3::kErrorIoPending);
        EXPECT_EQ(read->transfer.Pending(), !read->completedAtOnce);
        return read;
    }

    static void ExpectAck(Read& read, std::uint16_t id)
    {
        EXPECT_FALSE(read.transfer.Pending());
        EXPECT_TRUE(read.transfer.Succeeded());
        EXPECT_EQ(read.transfer.BytesTransferred(), 14u);  // header and the 2-byte version
        EXPECT_EQ(read.AckId(), id);
    }

    U3DevicePtr context_;
};

TEST_F(DriverSeamTest, AcksWaitForReadsInOrderAndAFullEndpointLosesItsOldest)
{
    for (std::uint16_t id = 100; id <= 132; ++id) {  // one more than the endpoint holds
        Command(id);
    }
    for (std::uint16_t id = 101; id <= 132; ++id) {
        const auto read = Begin();
        ASSERT_TRUE(read->completedAtOnce) << id;
        ExpectAck(*read, id);
        EXPECT_TRUE(read->transfer.Wait(0));
    }
    const auto empty = Begin();
    EXPECT_FALSE(empty->completedAtOnce);
    EXPECT_FALSE(empty->transfer.Wait(10));
    empty->transfer.Cancel();
    EXPECT_FALSE(empty->transfer.Succeeded());
}

TEST_F(DriverSeamTest, ReadsWaitForAcksInOrderAndACancelledReadTakesNothing)
{
    const auto first = Begin();
    const auto second = Begin();
    ASSERT_FALSE(first->completedAtOnce);
    ASSERT_FALSE(second->completedAtOnce);

    Command(200);
    ASSERT_TRUE(first->transfer.Wait(0));
    ExpectAck(*first, 200);
    EXPECT_TRUE(second->transfer.Pending());

    // A read begun behind a waiting one does not take the next packet first.
    const auto third = Begin();
    EXPECT_FALSE(third->completedAtOnce);
    Command(201);
    ASSERT_TRUE(second->transfer.Wait(0));
    ExpectAck(*second, 201);
    EXPECT_TRUE(third->transfer.Pending());

    third->transfer.Cancel();
    EXPECT_FALSE(third->transfer.Pending());
    EXPECT_FALSE(third->transfer.Succeeded());
    Command(202);
    EXPECT_EQ(third->AckId(), 0u);  // the cancelled buffer stays untouched
    const auto fourth = Begin();
    ASSERT_TRUE(fourth->completedAtOnce);
    ExpectAck(*fourth, 202);
}

TEST_F(DriverSeamTest, APacketDueLaterHoldsBackTheReadsBehindIt)
{
    // The command after the open: two "pending" packets, the second one and
    // the acknowledgement due 49 and 98 ms later.
    Hook(0, "u3ack answer=pending count=2 ms=50 req=0xC0 nth=2");
    context_ = OpenDeviceUSB30(0);  // reloads the hooks
    ASSERT_TRUE(context_);
    Command(300);
    const auto first = Begin();
    ASSERT_TRUE(first->completedAtOnce);
    EXPECT_EQ(zv::usb3::GetLe16(first->Bytes() + 4), kAckPending);
    const auto second = Begin();
    const auto third = Begin();
    EXPECT_FALSE(second->completedAtOnce);
    EXPECT_FALSE(third->completedAtOnce);

    clock_.Advance(48);
    EXPECT_FALSE(second->transfer.Wait(0));
    clock_.Advance(1);
    ASSERT_TRUE(second->transfer.Wait(0));
    EXPECT_EQ(zv::usb3::GetLe16(second->Bytes() + 4), kAckPending);
    EXPECT_FALSE(third->transfer.Wait(48));  // waits out the time it was given
    ASSERT_TRUE(third->transfer.Wait(1));
    ExpectAck(*third, 300);
}

// A command and the read of its answer take the endpoint in order, whatever
// already waits on it.
TEST_F(DriverSeamTest, ACommandWithItsReadTakesTheEndpointInOrder)
{
    // Nothing waiting: the read has the command's own acknowledgement.
    auto read = CommandThenBegin(400);
    ASSERT_TRUE(read->completedAtOnce);
    ExpectAck(*read, 400);
    EXPECT_EQ(zv::usb3::GetLe16(read->Bytes() + 8), 2u);  // the reply's length
    const auto idle = Begin();
    EXPECT_FALSE(idle->completedAtOnce);  // nothing was queued besides
    idle->transfer.Cancel();

    // A packet waiting: the read takes it, the new one waits behind it.
    Command(401);
    read = CommandThenBegin(402);
    ASSERT_TRUE(read->completedAtOnce);
    ExpectAck(*read, 401);
    read = Begin();
    ASSERT_TRUE(read->completedAtOnce);
    ExpectAck(*read, 402);

    // A read waiting: it takes the acknowledgement, the new read waits.
    const auto waiting = Begin();
    ASSERT_FALSE(waiting->completedAtOnce);
    read = CommandThenBegin(403);
    EXPECT_FALSE(read->completedAtOnce);
    ASSERT_TRUE(waiting->transfer.Wait(0));
    ExpectAck(*waiting, 403);
    Command(404);
    ASSERT_TRUE(read->transfer.Wait(0));
    ExpectAck(*read, 404);

    // A read with less room than a packet gets what fits.
    read = CommandThenBegin(405, 13);
    ASSERT_TRUE(read->completedAtOnce);
    EXPECT_EQ(read->transfer.BytesTransferred(), 13u);
    EXPECT_EQ(read->AckId(), 405u);
    EXPECT_FALSE(Begin()->completedAtOnce);
}

// A record used again shows nothing of its last read: its buffer reads as
// zeros beyond what the new read wrote, and all zeros after a cancel.
TEST_F(DriverSeamTest, ARecordUsedAgainShowsNothingOfItsLastRead)
{
    Read read;
    const auto begin = [&](std::uint32_t capacity) {
        std::uint32_t error = 0;
        return context_->hDeviceOvl->BeginBulkRead(zv::usb3::kEndpointBulkIn, capacity, read.transfer, &error);
    };
    Command(800);
    ASSERT_TRUE(begin(1024));
    ExpectAck(read, 800);
    ASSERT_EQ(read.Bytes()[12], 2);  // the controller's major version

    Command(801);
    ASSERT_TRUE(begin(12));  // room for the header alone
    EXPECT_EQ(read.AckId(), 801u);
    EXPECT_EQ(read.Bytes()[12], 0);
    EXPECT_EQ(read.Bytes()[13], 0);

    ASSERT_FALSE(begin(1024));
    read.transfer.Cancel();
    EXPECT_TRUE(std::all_of(read.Bytes(), read.Bytes() + 1024, [](std::uint8_t b) { return b == 0; }));
}

TEST_F(DriverSeamTest, ACommandWithItsReadKeepsTheHooksAnswers)
{
    // The command after the open is answered "pending" first, then after 49 ms.
    Hook(0, "u3ack answer=pending count=1 ms=50 req=0xC0 nth=2");
    context_ = OpenDeviceUSB30(0);
    ASSERT_TRUE(context_);
    auto read = CommandThenBegin(500);
    ASSERT_TRUE(read->completedAtOnce);
    EXPECT_EQ(zv::usb3::GetLe16(read->Bytes() + 4), kAckPending);
    read = Begin();
    EXPECT_FALSE(read->completedAtOnce);
    EXPECT_FALSE(read->transfer.Wait(48));
    ASSERT_TRUE(read->transfer.Wait(1));
    ExpectAck(*read, 500);
}

// The emulated driver behaving as a real one may: ZVEMU_USB3_DRIVER for the
// life of the object, the device opened again under it.
class DriverQuirksTest : public DriverSeamTest {
protected:
    void UseDriver(const char* quirks)
    {
        ::setenv("ZVEMU_USB3_DRIVER", quirks, 1);
        context_ = OpenDeviceUSB30(0);
        ASSERT_TRUE(context_);
    }
    ~DriverQuirksTest() override { ::unsetenv("ZVEMU_USB3_DRIVER"); }
};

TEST_F(DriverQuirksTest, ACancelTheDriverIgnoresIsWaitedForWithABoundAndThePipeAbortEndsIt)
{
    UseDriver("cancel=ignore");
    const auto read = Begin();
    ASSERT_FALSE(read->completedAtOnce);
    const std::uint32_t start = clock_.Now();
    EXPECT_FALSE(read->transfer.Cancel());
    EXPECT_EQ(clock_.Now() - start, zv::usb3::kCancelWaitMs);
    EXPECT_TRUE(read->transfer.Pending());
    ASSERT_TRUE(AbortPipe30(*context_, zv::usb3::kEndpointBulkIn));
    ASSERT_TRUE(read->transfer.Wait(0));
    EXPECT_FALSE(read->transfer.Succeeded());

    // A read given up to the driver keeps its buffer; the record goes on idle.
    const auto kept = Begin();
    ASSERT_FALSE(kept->completedAtOnce);
    const std::uint8_t* keptBuffer = kept->Bytes();
    kept->transfer.Abandon();
    EXPECT_FALSE(kept->transfer.Pending());
    Command(600);
    EXPECT_EQ(zv::usb3::GetLe16(keptBuffer + 10), 600u);  // the driver still filled it
    EXPECT_FALSE(Begin()->completedAtOnce);               // and took the packet from no one else
}

// A request whose acknowledgement never comes ends as with a driver that
// honours the cancel, one bound later, and the next request is served.
TEST_F(DriverQuirksTest, ATimedOutRequestEndsAlthoughTheDriverIgnoresTheCancel)
{
    Hook(0, "u3ack answer=none req=0xC0 nth=2");
    UseDriver("cancel=ignore");
    SetU3ReqId(0);
    std::uint8_t version[2] = {};
    const std::uint32_t start = clock_.Now();
    EXPECT_EQ(u3VrReq(*context_, 0xC0, 0, 0, version, 2, 0, 1), 1);
    EXPECT_EQ(clock_.Now() - start, 1000 + zv::usb3::kCancelWaitMs);
    EXPECT_FALSE(context_->ackTransfer.Pending());
    EXPECT_EQ(u3VrReq(*context_, 0xC0, 0, 0, version, 2, 0, 1), 0);
    EXPECT_EQ(version[0], 2);
}

// Every form of request works when the driver reports no bytes moved for the
// bulk transfers: lengths come from the frames themselves.
TEST_F(DriverQuirksTest, RequestsWorkWhenTheDriverReportsNoCounts)
{
    UseDriver("counts=zero");
    Command(700);
    const auto read = Begin();
    ASSERT_TRUE(read->completedAtOnce);
    EXPECT_EQ(read->transfer.BytesTransferred(), 0u);
    EXPECT_EQ(read->AckId(), 700u);

    std::uint8_t version[2] = {};
    EXPECT_EQ(u3VrReq(*context_, 0xC0, 0, 0, version, 2, 0, 1), 0);
    EXPECT_EQ(version[0], 2);
    std::uint8_t frame[10] = {0x0C, 0xF3};  // an MCU frame: the tunnel answers with 10 bytes
    std::uint8_t reply[16] = {};
    int replyLength = -1;
    EXPECT_EQ(u3VrReqBulkBid(*context_, 0x90, 0, 0, frame, 10, reply, sizeof reply, &replyLength, 1), 0);
    EXPECT_EQ(replyLength, 10);
}

// The bytes of a request or reply are copied in pieces that overlap where
// the length is no multiple of their size: every length up to a packet must
// arrive whole, with nothing written past it.
TEST(BulkTransferHeaderTest, CarriesTheEndpointAndNothingElse)
{
    for (const std::uint8_t endpoint : {zv::usb3::kEndpointBulkOut, zv::usb3::kEndpointBulkIn}) {
        const auto bytes = zv::usb3::BulkTransferHeaderBytes(endpoint);
        zv::usb3::TransferHeader expected;
        expected.endpoint = endpoint;
        std::array<std::uint8_t, zv::usb3::kTransferHeaderSize> written{};
        zv::usb3::WriteTransferHeader(written, expected);
        EXPECT_EQ(bytes, written);
        EXPECT_EQ(zv::usb3::TransferEndpoint(bytes.data()), endpoint);
    }
}

TEST(CarriedBytesTest, EveryLengthUpToAPacketArrivesWholeAndNothingBeyond)
{
    std::array<std::uint8_t, 1024> from{};
    for (std::size_t i = 0; i < from.size(); ++i) {
        from[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    for (std::size_t n = 0; n <= from.size(); ++n) {
        std::array<std::uint8_t, 1024 + 16> to;
        to.fill(0xEE);
        zv::usb3::CopyCarried(to.data(), from.data(), n);
        ASSERT_TRUE(std::equal(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(n), to.begin())) << n;
        ASSERT_TRUE(std::all_of(to.begin() + static_cast<std::ptrdiff_t>(n), to.end(),
                                [](std::uint8_t b) { return b == 0xEE; }))
            << n;
    }
}

}  // namespace
}  // namespace usb3test
