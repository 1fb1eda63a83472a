#include "sne_record.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

using ::testing::ElementsAre;

namespace {

SNERecord ExampleRecord()
{
    SNERecord r;
    for (int i = 0; i < 5; ++i) {
        r.SetAlpha(i, static_cast<std::uint8_t>(i));
    }
    r.SetDecimalA(21);
    r.SetDecimalB(7);
    r.SetExtHex(0, 0);
    r.SetExtHex(1, 10);
    r.SetExtHex(2, 31);
    return r;
}

}  // namespace

TEST(SNERecord, ExampleEncodesDecodesAndStoresAsDocumented)
{
    const SNERecord r = ExampleRecord();
    EXPECT_THAT(r.ToBytes(), ElementsAre(0x20, 0x88, 0x41, 0x2A, 0x07, 0x50, 0x1F, 0x00));
    EXPECT_EQ(EncodeSNE(r), "ABCDE21070AV");
    SNERecord back;
    EXPECT_EQ(DecodeSNE("ABCDE21070AV", back), 0);
    EXPECT_EQ(back.word0, r.word0);
    EXPECT_EQ(back.word1, r.word1);
    EXPECT_EQ(SNERecord::FromBytes(r.ToBytes()).word1, r.word1);
}

TEST(SNERecord, EveryRecordSurvivesTheRoundTrip)
{
    // Every value of both decimal fields (decimalA 100-127 is written with the
    // tens characters ':', ';' and '<'), the other fields at random.
    std::mt19937 engine(2024);
    for (int decimalA = 0; decimalA < 128; ++decimalA) {
        for (int decimalB = 0; decimalB < 64; ++decimalB) {
            SNERecord r;
            r.word0 = engine();
            r.word1 = engine() & 0x1FFFFF;  // the bits above 20 are not part of the text
            r.SetDecimalA(static_cast<std::uint8_t>(decimalA));
            r.SetDecimalB(static_cast<std::uint8_t>(decimalB));
            const std::string text = EncodeSNE(r);
            ASSERT_EQ(text.size(), kSneTextLength);
            SNERecord back;
            ASSERT_EQ(DecodeSNE(text, back), 0) << text;
            ASSERT_EQ(back.word0, r.word0) << text;
            ASSERT_EQ(back.word1, r.word1) << text;
        }
    }
}

TEST(SNERecord, EncodingIgnoresTheUnusedBitsAndShowsLargeDecimals)
{
    SNERecord r = ExampleRecord();
    r.word1 |= 0xFFE00000u;
    EXPECT_EQ(EncodeSNE(r), "ABCDE21070AV");
    r.SetDecimalA(127);
    EXPECT_EQ(EncodeSNE(r).substr(5, 2), "<7");
}

TEST(SNERecord, DecodeRefusesCharactersOutsideTheirPositionsAlphabet)
{
    for (const char* text : {
             "aBCDE21070AV",  // lower-case letter
             "ABCD121070AV",  // digit 1 is not a base32 letter
             "ABCDE21070AW",  // W is past the base32hex digits
             "ABCDEAB070AV",  // letters in a decimal position
             "ABCDE2:070AV",  // ':' stands for tens only, never for units
             "ABCDE<8070AV",  // 128 does not fit the 7-bit field
             "ABCDE=0070AV",  // no tens character past '<'
             "ABCDE/0070AV",  // nor before '0'
             "ABCDE21:00AV",  // the 6-bit field has no tens past '9'
             "ABCDE21640AV",  // 64 does not fit the 6-bit field
             "ABCDE",         // too short
         }) {
        SNERecord r;
        EXPECT_EQ(DecodeSNE(text, r), 1) << text;
    }
    SNERecord r;
    EXPECT_EQ(DecodeSNE("ABCDE21630AV", r), 0);
    EXPECT_EQ(r.DecimalB(), 63);
    EXPECT_EQ(DecodeSNE("ABCDE:0070AV", r), 0);
    EXPECT_EQ(r.DecimalA(), 100);
    EXPECT_EQ(DecodeSNE("ABCDE<7070AV", r), 0);
    EXPECT_EQ(r.DecimalA(), 127);
}

TEST(SNERecord, CheckTellsRecordsOfTheOlderFormat)
{
    SNERecord unprogrammed;
    unprogrammed.word0 = 0xFFFFFFFF;
    EXPECT_EQ(CheckSNE(unprogrammed), 3);
    SNERecord zeroDecimal;
    zeroDecimal.word0 = 0x01FFFFFE;
    EXPECT_EQ(CheckSNE(zeroDecimal), 3);
    SNERecord alphaAllOnes = ExampleRecord();
    alphaAllOnes.SetAlpha(0, 31);
    EXPECT_EQ(CheckSNE(alphaAllOnes), 3);
    EXPECT_EQ(CheckSNE(ExampleRecord()), 0);
}

TEST(SNERecord, CharacterFunctions)
{
    EXPECT_EQ(Base32Char(0), 'A');
    EXPECT_EQ(Base32Char(31), '7');
    EXPECT_EQ(Base32Char(32), 'A');
    EXPECT_EQ(Base32HexChar(31), 'V');
    EXPECT_EQ(Base32HexChar(200), '0');
    std::uint8_t index = 99;
    EXPECT_EQ(Base32Index('2', index), 0);
    EXPECT_EQ(index, 26);
    EXPECT_EQ(Base32Index('1', index), 1);
    EXPECT_EQ(Base32HexIndex('A', index), 0);
    EXPECT_EQ(index, 10);
    EXPECT_EQ(Base32HexIndex('a', index), 1);
    EXPECT_EQ(Base32HexIndex('\0', index), 1);
}
