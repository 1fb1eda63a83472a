#include "fw_decrypter.h"
#include "scramble_for_tests.h"
#include "test_files.h"
#include "updater_error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing_support::RandomBytes;
using testing_support::Scramble;
using testing_support::TempDir;

namespace {

std::vector<std::uint8_t> Bytes(const FwDecrypter& d, std::size_t from, std::size_t count)
{
    const auto buffer = d.GetFileBuffer();
    return {buffer.begin() + static_cast<std::ptrdiff_t>(from),
            buffer.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

std::string ThrownText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const UpdaterError& error) {
        return error.what();
    }
    return "<nothing thrown>";
}

FwDecrypter LoadHex(const TempDir& dir, std::string_view text)
{
    FwDecrypter d;
    d.ClearScrambled();
    d.SetHexFormat();
    d.LoadFile(dir.WriteText("fw.hex", text));
    return d;
}

}  // namespace

TEST(FwDecrypterScrambled, DescramblesAFileMadeFromAKnownPayload)
{
    TempDir dir;
    // Sizes around the 4-byte blocks and the 256-byte steps of the descrambler.
    for (const std::size_t size : {0u, 1u, 3u, 4u, 5u, 255u, 256u, 257u, 1000u, 4099u}) {
        SCOPED_TRACE(size);
        const auto payload = RandomBytes(size, static_cast<std::uint32_t>(size) + 7);
        FwDecrypter d;
        ASSERT_TRUE(d.LoadFile(dir.Write("fw.bin", Scramble(payload))));
        EXPECT_EQ(d.GetFileSize(), size + 4);
        EXPECT_EQ(d.GetDataSize(), size);
        EXPECT_TRUE(d.IsChecksumValid());
        EXPECT_EQ(Bytes(d, 0, size), payload);
        // A second check descrambles nothing more and gives the same answer.
        EXPECT_TRUE(d.Decrypt());
        EXPECT_EQ(Bytes(d, 0, size), payload);
        // The padding after the content stays zero.
        const auto buffer = d.GetFileBuffer();
        EXPECT_EQ(buffer.size(), size + 4 + FwDecrypter::kBinaryPadding);
        EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(size + 4), buffer.end(),
                                [](std::uint8_t b) { return b == 0; }));
    }
}

TEST(FwDecrypterScrambled, BlockStepsOfAnySizeGiveTheSamePlainBytes)
{
    TempDir dir;
    const auto payload = RandomBytes(777, 99);
    FwDecrypter d;
    d.LoadFile(dir.Write("fw.bin", Scramble(payload)));
    std::vector<std::uint8_t> collected;
    std::vector<std::uint8_t> out(13);
    // Odd step sizes resume in the middle of the four-byte blocks.
    for (std::size_t step = 1;; step = step % 13 + 1) {
        const auto n = d.DecryptBlock(std::span(out.data(), step));
        collected.insert(collected.end(), out.begin(), out.begin() + n);
        if (n == 0) {
            break;
        }
    }
    EXPECT_EQ(collected, payload);
    EXPECT_TRUE(d.IsChecksumValid());
}

TEST(FwDecrypterScrambled, DecryptByteFollowsTheRegister)
{
    FwDecrypter d;
    d.ResetKey();
    std::uint32_t reg = testing_support::kScramblerSeed;
    for (const std::uint8_t feed : {0x00, 0x80, 0x7F, 0xFF, 0x5A}) {
        EXPECT_EQ(d.DecryptByte(feed), testing_support::ScramblerKey(reg, feed));
        EXPECT_EQ(d.GetKeyState(), reg);
    }
}

TEST(FwDecrypterScrambled, CorruptedFilesFailTheCheck)
{
    TempDir dir;
    const auto payload = RandomBytes(300, 5);
    const auto good = Scramble(payload);
    for (const std::size_t at : {std::size_t{0}, std::size_t{150}, good.size() - 1}) {
        SCOPED_TRACE(at);
        auto bad = good;
        bad[at] ^= 0x01;
        FwDecrypter d;
        d.LoadFile(dir.Write("bad.bin", bad));
        EXPECT_FALSE(d.IsChecksumValid());
    }
}

TEST(FwDecrypterScrambled, FourByteFilePassesExactlyWhenItHoldsTheSeed)
{
    TempDir dir;
    FwDecrypter seed;
    seed.LoadFile(dir.Write("seed.bin", std::vector<std::uint8_t>{0x4B, 0x9E, 0x00, 0x00}));
    EXPECT_EQ(seed.GetDataSize(), 0u);
    EXPECT_TRUE(seed.IsChecksumValid());

    FwDecrypter other;
    other.LoadFile(dir.Write("other.bin", std::vector<std::uint8_t>{0x00, 0x00, 0x9E, 0x4B}));
    EXPECT_FALSE(other.IsChecksumValid());
}

TEST(FwDecrypterFiles, LoadFailures)
{
    TempDir dir;
    const auto small = dir.Write("small.bin", std::vector<std::uint8_t>{1, 2, 3});
    EXPECT_EQ(ThrownText([&] { FwDecrypter().LoadFile(small); }), "LoadFile - File is too small");
    EXPECT_EQ(ThrownText([&] {
                  FwDecrypter d;
                  d.ClearScrambled();
                  d.LoadFile(small);
              }),
              "LoadFile - File is too small");
    EXPECT_EQ(ThrownText([&] { FwDecrypter().LoadFile((dir.path() / "missing.bin").string()); }),
              "LoadFile - Can not open fw file");
    EXPECT_EQ(ThrownText([&] { FwDecrypter().LoadFile(dir.path().string()); }), "LoadFile - Can not open fw file");
    // Longer than a 32-bit size (and than a 32-bit program can hold in one
    // buffer): refused before anything is allocated or read. The file is sparse.
    const auto huge = dir.Write("huge.bin", std::vector<std::uint8_t>{0});
    std::filesystem::resize_file(huge, std::uintmax_t{5} << 30);
    EXPECT_EQ(ThrownText([&] { FwDecrypter().LoadFile(huge); }), "LoadFile - error allocating memory");
    // A HEX file still marked scrambled is refused before anything is opened.
    EXPECT_EQ(ThrownText([&] {
                  FwDecrypter d;
                  d.SetHexFormat();
                  d.LoadFile((dir.path() / "missing.hex").string());
              }),
              "LoadFile - Encrypted hex files are not supported");
}

TEST(FwDecrypterFiles, PlainBinaryIsTakenAsItIs)
{
    TempDir dir;
    const auto payload = RandomBytes(64, 3);
    FwDecrypter d;
    d.ClearScrambled();
    d.LoadFile(dir.Write("plain.bin", payload));
    EXPECT_EQ(d.GetDataSize(), 64u);
    EXPECT_TRUE(d.IsChecksumValid());
    EXPECT_EQ(Bytes(d, 0, 64), payload);
}

TEST(FwDecrypterHex, LoadsRecordsIntoAnImageOfFF)
{
    TempDir dir;
    const FwDecrypter d = LoadHex(dir, ":0300300002337A1E\n:00000001FF\n");
    EXPECT_EQ(d.GetFileSize(), 0x37u);
    EXPECT_EQ(d.GetDataSize(), 0x37u);
    EXPECT_THAT(Bytes(d, 0x30, 3), ElementsAre(0x02, 0x33, 0x7A));
    const auto buffer = d.GetFileBuffer();
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (i < 0x30 || i > 0x32) {
            ASSERT_EQ(buffer[i], 0xFF) << i;
        }
    }
}

TEST(FwDecrypterHex, AcceptedForms)
{
    TempDir dir;
    // CR-LF line ends and lower-case digits.
    EXPECT_EQ(LoadHex(dir, ":0300300002337a1e\r\n:00000001FF\r\n").GetFileSize(), 0x37u);
    // Nothing after the end record is read.
    EXPECT_EQ(LoadHex(dir, ":0300300002337A1E\n:00000001FF\ngarbage\n").GetFileSize(), 0x37u);
    // No data records: the size is the check word alone.
    EXPECT_EQ(LoadHex(dir, ":00000001FF\n").GetFileSize(), 4u);
    // Data ending exactly at 64 KiB; the four bytes after it read 0xFF.
    const FwDecrypter top = LoadHex(dir, ":01FFFF00AB56\n:00000001FF\n");
    EXPECT_EQ(top.GetFileSize(), 0x10004u);
    EXPECT_THAT(Bytes(top, 0xFFFF, 5), ElementsAre(0xAB, 0xFF, 0xFF, 0xFF, 0xFF));
}

TEST(FwDecrypterHex, AddressRecordsMoveTheDataAndStoreNothing)
{
    TempDir dir;
    // Extended linear address 0 and start address records store no bytes.
    const FwDecrypter linear = LoadHex(dir, ":020000040000FA\n:0400000300001000E9\n:01001000AA45\n:00000001FF\n");
    EXPECT_EQ(linear.GetFileSize(), 0x11u + 4);
    EXPECT_THAT(Bytes(linear, 0, 2), ElementsAre(0xFF, 0xFF));
    EXPECT_THAT(Bytes(linear, 0x10, 1), ElementsAre(0xAA));
    // Extended segment address 0x0100 moves the record by 0x1000.
    const FwDecrypter segment = LoadHex(dir, ":020000020100FB\n:01001000AA45\n:00000001FF\n");
    EXPECT_EQ(segment.GetFileSize(), 0x1011u + 4);
    EXPECT_THAT(Bytes(segment, 0x1010, 1), ElementsAre(0xAA));
    EXPECT_THAT(Bytes(segment, 0x10, 1), ElementsAre(0xFF));
}

TEST(FwDecrypterHex, BadFilesAreRefused)
{
    TempDir dir;
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {":0300300002337A1F\n:00000001FF\n", "LoadFile - Wrong checksum"},
        {"\n:0300300002337A1E\n:00000001FF\n", "Unknown file format"},
        {" :0300300002337A1E\n:00000001FF\n", "Unknown file format"},
        {":0300300002337A\n:00000001FF\n", "LoadFile - Record is shorter than its byte count"},
        {":10003000023\n", "LoadFile - Record is shorter than its byte count"},
        {":0300300002G37A1E\n:00000001FF\n", "LoadFile - Invalid character in hex record"},
        {":02FFFF00AABB9B\n:00000001FF\n", "LoadFile - Data beyond 64 KiB"},
        {":020000040001F9\n:01000000AA55\n:00000001FF\n", "LoadFile - Data beyond 64 KiB"},
        {":00000006FA\n:00000001FF\n", "LoadFile - Unsupported record type"},
        {":0100000400FB\n:00000001FF\n", "LoadFile - Invalid extended address record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ThrownText([&] { LoadHex(dir, c.text); }), c.error);
    }
}

TEST(FwDecrypterText, HexByteText)
{
    struct Case {
        const char* text;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"aabbccdd", {0xDD, 0xCC, 0xBB, 0xAA}},
        {"abc", {0x0C, 0xAB}},
        {"12345678", {0x78, 0x56, 0x34, 0x12}},
        {"F", {0x0F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        FwDecrypter d;
        d.ClearScrambled();
        ASSERT_TRUE(d.ParseHexFromStringToBuffer(c.text));
        EXPECT_EQ(d.GetDataSize(), c.bytes.size());
        EXPECT_EQ(Bytes(d, 0, c.bytes.size()), c.bytes);
    }
    for (const char* empty : {"-", ""}) {
        FwDecrypter d;
        d.ClearScrambled();
        ASSERT_TRUE(d.ParseHexFromStringToBuffer(empty));
        EXPECT_EQ(d.GetDataSize(), 0u);
        EXPECT_FALSE(d.GetFileBuffer().empty());
    }
    EXPECT_EQ(ThrownText([] { FwDecrypter().ParseHexFromStringToBuffer("12zz"); }),
              "ParseHexFromStringToBuffer - invalid hex character in input string");
    EXPECT_EQ(ThrownText([] { FwDecrypter().ParseHexFromStringToBuffer(nullptr); }),
              "ParseHexFromStringToBuffer - error input string is null");
}

TEST(FwDecrypterText, SerialNumberTexts)
{
    FwDecrypter legacy;
    legacy.ParseSnSneFromStringToBuffer("12345678");
    EXPECT_EQ(legacy.GetFileSize(), 4u);
    EXPECT_THAT(Bytes(legacy, 0, 4), ElementsAre(0x78, 0x56, 0x34, 0x12));

    FwDecrypter both;
    both.ParseSnSneFromStringToBuffer("12345678ABCDE21070AV");
    EXPECT_EQ(both.GetFileSize(), 12u);
    EXPECT_THAT(Bytes(both, 0, 13),
                ElementsAre(0x78, 0x56, 0x34, 0x12, 0x20, 0x88, 0x41, 0x2A, 0x07, 0x50, 0x1F, 0x00, 0x00));

    FwDecrypter sneOnly;
    sneOnly.ParseSnSneFromStringToBuffer("ABCDE21070AV");
    EXPECT_EQ(sneOnly.GetFileSize(), 12u);
    EXPECT_THAT(Bytes(sneOnly, 0, 13),
                ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0x20, 0x88, 0x41, 0x2A, 0x07, 0x50, 0x1F, 0x00, 0xFF));

    // decimalA 127, written "<7", as the camera shows it.
    FwDecrypter highDecimal;
    highDecimal.ParseSnSneFromStringToBuffer("ABCDE<7070AV");
    EXPECT_THAT(Bytes(highDecimal, 4, 8), ElementsAre(0x20, 0x88, 0x41, 0xFE, 0x07, 0x50, 0x1F, 0x00));

    struct Case {
        const char* text;
        const char* error;
    };
    const Case failures[] = {
        {"1234567", "ParseSnSneFromStringToBuffer - error unexpected size of sn_sne_string"},
        {"ABCDE21070AVX", "ParseSnSneFromStringToBuffer - error unexpected size of sn_sne_string"},
        {"aBCDE21070AV", "ParseSnSneFromStringToBuffer Error on parsing only SNE from string"},
        {"12345678ABCDE21070AW", "ParseSnSneFromStringToBuffer Error on parsing SNE from string"},
        {"1234567GABCDE21070AV", "DecodeLegacySN invalid character in serial number"},
        {"1234567G", "DecodeLegacySN invalid character in serial number"},
    };
    for (const Case& c : failures) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ThrownText([&] { FwDecrypter().ParseSnSneFromStringToBuffer(c.text); }), c.error);
    }
}

TEST(FwDecrypterText, SensorSerialNumberKeepsTheTextAndItsTerminator)
{
    FwDecrypter d;
    d.ClearScrambled();
    d.SSnFromNameToBuffer("SENSOR-42");
    EXPECT_EQ(d.GetDataSize(), 9u);
    const auto bytes = Bytes(d, 0, 10);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end() - 1), "SENSOR-42");
    EXPECT_EQ(bytes.back(), 0);
}

TEST(DecodeLegacySN, ReadsEightHexDigitsMostSignificantFirst)
{
    std::array<std::uint8_t, 4> out{};
    DecodeLegacySN("12345678", out);
    EXPECT_THAT(out, ElementsAre(0x78, 0x56, 0x34, 0x12));
    out = {};
    DecodeLegacySN("12345678zz", out);
    EXPECT_THAT(out, ElementsAre(0x78, 0x56, 0x34, 0x12));
    EXPECT_EQ(ThrownText([&] { DecodeLegacySN("1234567", out); }), "DecodeLegacySN small input");
}
