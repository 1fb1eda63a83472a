// Vendor requests over bulk frames and endpoint 0, against the emulated
// camera: the frames byte for byte, the limits, the waits and what the
// transport makes of every kind of acknowledgement.

#include <gtest/gtest.h>

#include <algorithm>

#include "debug_print.h"
#include "u3_mcu_tunnel.h"
#include "updater_error.h"
#include "usb3_fixture.h"

namespace usb3test {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

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
    context->highSpeed = 0;
    EXPECT_EQ(GetMaxPieceSize(*context), 960);
    context->bulkMode = 0;
    EXPECT_EQ(GetMaxPieceSize(*context), 64);
    EXPECT_TRUE(CloseDeviceUSB30(std::move(context)));
    EXPECT_FALSE(CloseDeviceUSB30(nullptr));
}

// One request and everything it must show.
struct RequestCase {
    const char* name;
    bool highSpeed;
    bool bulk;
    std::uint8_t request;
    int length;  // data bytes (carried, or wanted back)
    bool hostToDevice;
    const char* hook;  // camera hook line, or ""
    int result;
    Bytes frameHead;                 // expected first bytes of the command frame (bulk)
    std::uint32_t waitMs;            // virtual time the request spends
    std::vector<std::string> lines;  // expected debug lines, in order
    bool sent;                       // whether the device saw the request
};

Bytes Frame(std::uint16_t length, std::uint16_t direction, std::uint8_t request, std::uint16_t dataLength)
{
    // magic, status, command, length, id 0, direction, request, value, index, data length
    return {0x70,
            0x56,
            0x33,
            0x55,
            0,
            0,
            0x3F,
            0,
            static_cast<std::uint8_t>(length),
            static_cast<std::uint8_t>(length >> 8),
            0,
            0,
            static_cast<std::uint8_t>(direction),
            0,
            request,
            0,
            0x34,
            0x12,
            0x78,
            0x56,
            static_cast<std::uint8_t>(dataLength),
            static_cast<std::uint8_t>(dataLength >> 8)};
}

TEST_F(Usb3Test, RequestsFramesLimitsAndAcknowledgements)
{
    const std::string reset = "u3VrReq error: unknown ack. Reset endpoints.\n";
    const RequestCase cases[] = {
        {"device-to-host carries no data", false, true, 0xC0, 2, false, "", 0, Frame(10, 1, 0xC0, 2), 0, {}, true},
        {"host-to-device carries its data", false, true, 0xE4, 8, true, "", 0, Frame(18, 0, 0xE4, 8), 0, {}, true},
        {"no data: 22 bytes, length 10", false, true, 0xEA, 0, false, "", 0, Frame(10, 1, 0xEA, 0), 0, {}, true},
        {"490 bytes at high speed", true, true, 0xB0, 490, true, "", 1, Frame(500, 0, 0xB0, 490), 0, {}, true},
        {"491 bytes at high speed", true, true, 0xB0, 491, true, "", 1, {}, 0, {}, false},
        {"1002 bytes at super speed", false, true, 0xB0, 1002, true, "", 1, Frame(1012, 0, 0xB0, 1002), 0, {}, true},
        {"1003 bytes at super speed", false, true, 0xB0, 1003, true, "", 1, {}, 0, {}, false},
        {"endpoint 0: 512 bytes",
         false,
         false,
         0xB0,
         512,
         true,
         "",
         1,
         {},
         100,
         {"u3VrReq DeviceIoControl error: 31\n"},
         true},
        {"endpoint 0: no data comes back empty", false, false, 0xEA, 0, false, "", 0, {}, 0, {}, true},
        {"endpoint 0: 513 bytes", false, false, 0xB0, 513, true, "", 1, {}, 0, {}, false},
        {"error acknowledgement", false, true, 0xC0, 2, false, "u3ack answer=error req=0xC0 nth=2", 1, {}, 0, {}, true},
        {"missing acknowledgement",
         false,
         true,
         0xC0,
         2,
         false,
         "u3ack answer=none req=0xC0 nth=2",
         1,
         {},
         1000,
         {"u3VrReqBulk u3VrReq timeout\n", reset},
         true},
        {"start-up probe waits 200 ms",
         false,
         true,
         0xB6,
         0,
         true,
         "u3ack answer=none req=0xB6",
         1,
         {},
         200,
         {"u3VrReqBulk u3VrReq timeout\n", reset},
         true},
        {"bad magic",
         false,
         true,
         0xC0,
         2,
         false,
         "u3ack answer=bad req=0xC0 nth=2",
         1,
         {},
         0,
         {"ZAV u3VrReq bad ack 1429427825!=1429427824 0!=0 63!=63\n", reset},
         true},
        {"bad id",
         false,
         true,
         0xC0,
         2,
         false,
         "u3ack answer=bad field=id req=0xC0 nth=2",
         1,
         {},
         0,
         {"ZAV u3VrReq bad ack 1429427824!=1429427824 1!=0 63!=63\n", reset},
         true},
        {"pending of 3000 ms",
         false,
         true,
         0xC0,
         2,
         false,
         "u3ack answer=pending ms=3000 req=0xC0 nth=2",
         0,
         {},
         2999,
         {},
         true},
        {"eight pendings pass",
         false,
         true,
         0xC0,
         2,
         false,
         "u3ack answer=pending count=8 ms=10 req=0xC0 nth=2",
         0,
         {},
         72,
         {},
         true},
        {"nine pendings fail, no reset",
         false,
         true,
         0xC0,
         2,
         false,
         "u3ack answer=pending count=9 ms=10 req=0xC0 nth=2",
         1,
         {},
         72,
         {},
         true},
        {"short reply",
         false,
         true,
         0xC0,
         2,
         false,
         "u3ack answer=short req=0xC0 nth=2",
         1,
         {},
         0,
         {"u3VrReq short reply 1 of 2\n"},
         true},
        {"length beyond the reply",
         false,
         true,
         0xC0,
         2,
         false,
         "u3ack answer=long req=0xC0 nth=2",
         1,
         {},
         0,
         {"u3VrReq bad reply length 18 (carried 2, room 2)\n"},
         true},
        {"endpoint 0 short reply",
         false,
         false,
         0xC0,
         2,
         false,
         "u3ack answer=short req=0xC0 nth=2",
         1,
         {},
         0,
         {"u3VrReq short reply 1 of 2\n"},
         true},
        {"failed command write",
         false,
         true,
         0xC0,
         2,
         false,
         "u3write req=0xC0 nth=2",
         1,
         {},
         0,
         {"XferData30 error 31\r\n", "u3VrReq couldn't write command\n"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emu_.State().RemoveAll();
        AddUsb3(Seed(0, 5, 2, c.highSpeed));
        if (*c.hook != '\0') {
            Hook(0, c.hook);
        }
        emu_.StartTrace();
        auto context = OpenDeviceUSB30(0);
        ASSERT_TRUE(context);
        context->bulkMode = c.bulk ? 1 : 0;
        emu_.ClearTrace();
        const std::string before = debug_.Text();
        const std::uint32_t start = clock_.Now();
        SetU3ReqId(0);
        Bytes data(static_cast<std::size_t>(c.length), 0x5A);
        std::fill(data.begin(), data.end(), c.hostToDevice ? 0x5A : 0xEE);
        const Bytes untouched = data;
        EXPECT_EQ(u3VrReq(*context, c.request, 0x1234, 0x5678, data.empty() ? nullptr : data.data(), c.length,
                          c.hostToDevice ? 1 : 0, 1),
                  c.result);
        EXPECT_EQ(clock_.Now() - start, c.waitMs);
        if (!c.frameHead.empty()) {
            EXPECT_TRUE(std::equal(c.frameHead.begin(), c.frameHead.end(), context->commandBuffer.begin()));
        }
        if (!c.hostToDevice && c.result != 0) {
            EXPECT_EQ(data, untouched);  // a failed read copies nothing
        }
        std::vector<std::string> lines;
        const std::string text = debug_.Text().substr(before.size());
        for (std::size_t at = 0; (at = text.find(kDebugPrefix, at)) != std::string::npos;) {
            const std::size_t next = text.find(kDebugPrefix, at + 1);
            lines.push_back(text.substr(at + 7, next == std::string::npos ? std::string::npos : next - at - 7));
            at = next == std::string::npos ? text.size() : next;
        }
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(!emu_.TraceWith(c.bulk ? "usb3 request" : "usb3 ep0 request").empty(), c.sent);
        // A time-out or a bad acknowledgement resets the three endpoints and the port.
        const bool resets = std::find(c.lines.begin(), c.lines.end(), reset) != c.lines.end();
        std::vector<std::string> resetTrace;
        for (const auto& line : emu_.Trace()) {
            if (Contains(line, "pipe") || Contains(line, "reset port")) {
                resetTrace.push_back(line);
            }
        }
        if (resets) {
            EXPECT_EQ(resetTrace, (std::vector<std::string>{"usb3 abort pipe ep=0x81", "usb3 reset pipe ep=0x81",
                                                            "usb3 abort pipe ep=0x02", "usb3 reset pipe ep=0x02",
                                                            "usb3 abort pipe ep=0x82", "usb3 reset pipe ep=0x82",
                                                            "usb3 reset port"}));
        } else {
            EXPECT_TRUE(resetTrace.empty());
        }
        // The counter moved on, also after a failure, but not for an unsent request.
        EXPECT_EQ(GetU3ReqId(), c.bulk && c.sent ? 1 : 0);
        if (c.result == 0 && !c.hostToDevice && c.request == 0xC0) {
            EXPECT_EQ(data, (Bytes{2, 5}));
        }
    }
}

TEST_F(Usb3Test, ResetIsNotAcknowledgedAndKeepsTheRequestId)
{
    AddUsb3(Seed(0, 5, 2));
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    SetU3ReqId(7);
    EXPECT_EQ(u3VrReq(*context, 0xFF, 0, 0, nullptr, 0, 0, 1), 1);
    EXPECT_TRUE(Contains(debug_.Text(), "u3VrReq Sent reset Not wait ack\n"));
    EXPECT_EQ(GetU3ReqId(), 7);
    std::uint8_t version[2] = {};
    EXPECT_EQ(u3VrReq(*context, 0xC0, 0, 0, version, 2, 0, 1), 0);  // goes out with id 7 and is answered
    EXPECT_EQ(GetU3ReqId(), 8);
}

TEST_F(Usb3Test, AMissingAcknowledgementLeavesNothingBehind)
{
    // The abandoned read is cancelled before its buffer is used again: the
    // requests after it succeed (and the sanitizers see no stray write).
    AddUsb3(Seed(0, 5, 2));
    Hook(0, "u3ack answer=none req=0x90");
    Hook(0, "u3ack answer=none req=0xC0 nth=2");  // the open sends the first
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    std::uint8_t frame[10] = {};
    std::uint8_t reply[260] = {};
    EXPECT_EQ(SendCommandToStmMcu(*context, kMcuCommandVersion, reply, sizeof reply, frame, 10), 1);
    EXPECT_TRUE(Contains(debug_.Text(), "u3VrReqBulkBid u3VrReq timeout\n"));
    EXPECT_EQ(SendCommandToStmMcu(*context, kMcuCommandVersion, reply, sizeof reply, frame, 10), 0);
    std::uint8_t version[2] = {};
    EXPECT_EQ(u3VrReq(*context, 0xC0, 0, 0, version, 2, 0, 1), 1);
    EXPECT_EQ(u3VrReq(*context, 0xC0, 0, 0, version, 2, 0, 1), 0);
    EXPECT_EQ(version[1], 5);
}

TEST_F(Usb3Test, BidirectionalLimitsAndReplies)
{
    struct Case {
        bool highSpeed;
        int writeLength;
        int result;
    };
    for (const Case& c : {Case{true, 502, 0}, Case{true, 503, 1}, Case{false, 1014, 0}, Case{false, 1015, 1}}) {
        SCOPED_TRACE(c.writeLength);
        emu_.State().RemoveAll();
        AddUsb3(Seed(0, 5, 2, c.highSpeed));
        auto context = OpenDeviceUSB30(0);
        ASSERT_TRUE(context);
        Bytes frame(static_cast<std::size_t>(c.writeLength), 0);
        frame[0] = 0x0C;
        frame[1] = 0xF3;  // an MCU frame: the tunnel answers with its header and the version
        Bytes reply(300, 0xEE);
        int replyLength = -1;
        const std::uint16_t id = GetU3ReqId();
        EXPECT_EQ(u3VrReqBulkBid(*context, 0x90, 0, 0, frame.data(), c.writeLength, reply.data(), 300, &replyLength, 1),
                  c.result);
        EXPECT_EQ(replyLength, c.result == 0 ? 10 : -1);
        EXPECT_EQ(GetU3ReqId(), c.result == 0 ? id + 1 : id);
    }
    // A reply beyond the capacity is not copied and fails.
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    std::uint8_t frame[10] = {0x0C, 0xF3};
    Bytes reply(9, 0xEE);
    int replyLength = -1;
    EXPECT_EQ(u3VrReqBulkBid(*context, 0x90, 0, 0, frame, 10, reply.data(), 9, &replyLength, 1), 1);
    EXPECT_EQ(reply, Bytes(9, 0xEE));
    EXPECT_EQ(replyLength, -1);
}

TEST_F(Usb3Test, McuTunnelFormsAndTheirChecks)
{
    AddUsb3(Seed(0, 5, 2));
    auto context = OpenDeviceUSB30(0);
    ASSERT_TRUE(context);
    std::uint8_t frame[10] = {};
    std::uint8_t reply[260] = {};
    // The version, and the frame as it went out.
    context->mcuReqId = 41;
    ASSERT_EQ(SendCommandToStmMcu(*context, kMcuCommandVersion, reply, sizeof reply, frame, 10), 0);
    EXPECT_EQ(Bytes(frame, frame + 10), (Bytes{0x0C, 0xF3, 10, 0, 0, 0, 0, 0, 41, 0}));
    EXPECT_EQ(reply[8] | (reply[9] << 8), 0x0100);
    EXPECT_EQ(SendCommandToStmMcu(*context, kMcuCommandUniqueId, reply, sizeof reply, frame, 10), 0);
    EXPECT_EQ(frame[8], 42);

    struct Case {
        const char* hook;
        const char* plainLine;  // the plain form's debug line
        const char* thrown;     // the object form's text; null: it passes
    };
    const Case cases[] = {
        {"u3mcu fault=status", "SendCommandToStmMcu ack is not FX3_MCU_ACK_OK\n", nullptr},
        {"u3mcu fault=status status=1", "SendCommandToStmMcu ack is not FX3_MCU_ACK_OK\n",
         "MCU Communication ERROR ack"},
        {"u3mcu fault=prefix", "SendCommandToStmMcu wrong FX3_MCU_PREFIX\n", "MCU Communication ERROR Prefix"},
        {"u3mcu fault=id", "CameraFW::SendCommandToStmMcu ack-req_id is not cmd-req_id\n",
         "MCU Communication ERROR req_id"},
        {"u3mcu fault=short", "SendCommandToStmMcu reply too short\n", "MCU Communication ERROR short reply"},
        {"u3ack answer=error req=0x90", "SendCommandToStmMcu error on u3VrReqBulkBid\n",
         "MCU Communication ERROR u3VrReqBulkBid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hook);
        emu_.ClearHooks(0);
        Hook(0, std::string(c.hook) + " times=2");
        context.reset();
        context = OpenDeviceUSB30(0);
        ASSERT_TRUE(context);
        const std::string before = debug_.Text();
        const std::uint16_t plainId = context->mcuReqId;
        std::fill(std::begin(reply), std::end(reply), 0);
        EXPECT_EQ(SendCommandToStmMcu(*context, kMcuCommandVersion, reply, sizeof reply, frame, 10), 1);
        EXPECT_EQ(debug_.Text().substr(before.size()).find(c.plainLine) != std::string::npos, true);
        EXPECT_EQ(context->mcuReqId, plainId + 1);  // counted also when it failed
        const std::uint16_t objectId = GetMcuObjectReqId();
        if (c.thrown == nullptr) {
            EXPECT_NO_THROW(SendMcuCommand(*context, kMcuCommandVersion, reply, sizeof reply, frame, 10));
        } else {
            try {
                SendMcuCommand(*context, kMcuCommandVersion, reply, sizeof reply, frame, 10);
                ADD_FAILURE() << "no throw";
            } catch (const UpdaterError& e) {
                EXPECT_STREQ(e.what(), c.thrown);
            }
        }
        EXPECT_EQ(GetMcuObjectReqId(), static_cast<std::uint16_t>(objectId + 1));
        EXPECT_EQ(SendCommandToStmMcu(*context, kMcuCommandVersion, reply, sizeof reply, frame, 10), 0);
    }
}

}  // namespace
}  // namespace usb3test
