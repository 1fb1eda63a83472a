#include "sne_record.h"

namespace {

constexpr std::string_view kBase32Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr std::string_view kBase32HexAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUV";

std::uint8_t IndexIn(std::string_view alphabet, char c, std::uint8_t& index)
{
    const auto at = alphabet.find(c);
    if (c == '\0' || at == std::string_view::npos) {
        return 1;
    }
    index = static_cast<std::uint8_t>(at);
    return 0;
}

// The value of a two-character decimal pair, or -1 when the pair is not one:
// a tens character from '0' up to highestTens ('<' stands for 12 tens, the
// characters the encoder writes for 100-127), a digit, and at most maxValue.
int DecimalPair(char tens, char units, char highestTens, int maxValue)
{
    if (tens < '0' || tens > highestTens || units < '0' || units > '9') {
        return -1;
    }
    const int value = (tens - '0') * 10 + (units - '0');
    return value <= maxValue ? value : -1;
}

}  // namespace

std::array<std::uint8_t, 8> SNERecord::ToBytes() const
{
    std::array<std::uint8_t, 8> bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(word0 >> (8 * i));
        bytes[4 + i] = static_cast<std::uint8_t>(word1 >> (8 * i));
    }
    return bytes;
}

SNERecord SNERecord::FromBytes(const std::array<std::uint8_t, 8>& bytes)
{
    SNERecord record;
    for (std::size_t i = 0; i < 4; ++i) {
        record.word0 |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
        record.word1 |= static_cast<std::uint32_t>(bytes[4 + i]) << (8 * i);
    }
    return record;
}

char Base32Char(std::uint8_t index)
{
    return index < 32 ? kBase32Alphabet[index] : kBase32Alphabet[0];
}
char Base32HexChar(std::uint8_t index)
{
    return index < 32 ? kBase32HexAlphabet[index] : kBase32HexAlphabet[0];
}
std::uint8_t Base32Index(char c, std::uint8_t& index)
{
    return IndexIn(kBase32Alphabet, c, index);
}
std::uint8_t Base32HexIndex(char c, std::uint8_t& index)
{
    return IndexIn(kBase32HexAlphabet, c, index);
}

std::string EncodeSNE(const SNERecord& record)
{
    std::string text(kSneTextLength, '\0');
    for (std::size_t i = 0; i < 5; ++i) {
        text[i] = Base32Char(record.Alpha(i));
    }
    // Values of 100-127 give a tens character past '9' (':', ';', '<'), which is
    // how such records have always been shown.
    text[5] = static_cast<char>('0' + record.DecimalA() / 10);
    text[6] = static_cast<char>('0' + record.DecimalA() % 10);
    text[7] = static_cast<char>('0' + record.DecimalB() / 10);
    text[8] = static_cast<char>('0' + record.DecimalB() % 10);
    for (std::size_t i = 0; i < 3; ++i) {
        text[9 + i] = Base32HexChar(record.ExtHex(i));
    }
    return text;
}

std::uint8_t DecodeSNE(std::string_view text, SNERecord& record)
{
    record = SNERecord{};
    if (text.size() < kSneTextLength) {
        return 1;
    }
    for (std::size_t i = 0; i < 5; ++i) {
        std::uint8_t index = 0;
        if (Base32Index(text[i], index) != 0) {
            return 1;
        }
        record.SetAlpha(i, index);
    }
    // The decimal positions take digits only (the 7-bit field also the tens
    // characters past '9' that its values 100-127 are written with): a typed
    // SNE with anything else is a typing error, not a value to be written into
    // the camera.
    const int decimalA = DecimalPair(text[5], text[6], '<', 127);
    const int decimalB = DecimalPair(text[7], text[8], '9', 63);
    if (decimalA < 0 || decimalB < 0) {
        return 1;
    }
    record.SetDecimalA(static_cast<std::uint8_t>(decimalA));
    record.SetDecimalB(static_cast<std::uint8_t>(decimalB));
    for (std::size_t i = 0; i < 3; ++i) {
        std::uint8_t index = 0;
        if (Base32HexIndex(text[9 + i], index) != 0) {
            return 1;
        }
        record.SetExtHex(i, index);
    }
    return 0;
}

std::uint8_t CheckSNE(const SNERecord& record)
{
    if (record.Alpha(0) == 31 || record.DecimalA() == 127 || record.DecimalA() == 0) {
        return 3;
    }
    return 0;
}
