#include "fw_decrypter.h"


#include "sne_record.h"
#include "updater_error.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include "os_file_path.h"

namespace {

// One byte of the descrambling register: eight shifts, each taking in the XOR
// of register bits 0, 8, 14 and 24 and the next bit of the feed byte (most
// significant first). The key byte is the register's low byte afterwards.
constexpr std::uint8_t StepRegister(std::uint32_t& state, std::uint8_t feed)
{
    for (int i = 0; i < 8; ++i) {
        const std::uint32_t bit = ((state >> 0) ^ (state >> 8) ^ (state >> 14) ^ (state >> 24) ^ (feed >> 7)) & 1u;
        feed = static_cast<std::uint8_t>(feed << 1);
        state = (state << 1) | bit;
    }
    return static_cast<std::uint8_t>(state);
}

// The register is linear over GF(2) in its state and its feed bytes, so four
// bytes at a time can be done with table lookups instead of 32 bit steps.
// For a block of four scrambled bytes c0..c3, a register state s and the plain
// byte p before the block, the register after the block is
//   S0[s0] ^ S1[s1] ^ S2[s2] ^ S3[s3] ^ P[p] ^ C0[c0] ^ C1[c1] ^ C2[c2]
// and it holds the four key bytes, first key in its top byte. (c3 only feeds
// the next block.) Each table entry is the block run on one input byte alone.
struct BlockTables {
    std::array<std::array<std::uint32_t, 256>, 4> state{};
    std::array<std::uint32_t, 256> prev{};
    std::array<std::array<std::uint32_t, 256>, 3> cipher{};
};

constexpr std::uint32_t RunBlock(std::uint32_t state, std::uint8_t prev, std::array<std::uint8_t, 3> c)
{
    std::uint8_t feed = prev;
    for (std::size_t j = 0; j < 4; ++j) {
        const std::uint8_t key = StepRegister(state, feed);
        feed = j < 3 ? static_cast<std::uint8_t>(c[j] ^ key) : 0;
    }
    return state;
}

constexpr BlockTables MakeBlockTables()
{
    BlockTables t;
    for (std::uint32_t b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        for (std::uint32_t k = 0; k < 4; ++k) {
            t.state[k][b] = RunBlock(b << (8 * k), 0, {0, 0, 0});
        }
        t.prev[b] = RunBlock(0, byte, {0, 0, 0});
        t.cipher[0][b] = RunBlock(0, 0, {byte, 0, 0});
        t.cipher[1][b] = RunBlock(0, 0, {0, byte, 0});
        t.cipher[2][b] = RunBlock(0, 0, {0, 0, byte});
    }
    return t;
}

constexpr BlockTables kBlockTables = MakeBlockTables();

// The tables must agree with the bit-level register; checked at compile time
// on a block with every input non-zero.
static_assert([] {
    std::uint32_t state = 0x12345678u ^ FwDecrypter::kSeed;
    std::uint8_t prev = 0xA5;
    const std::array<std::uint8_t, 4> c{0x3C, 0x81, 0xFE, 0x07};
    std::uint32_t viaTables = kBlockTables.state[0][state & 0xFF] ^ kBlockTables.state[1][(state >> 8) & 0xFF] ^
                              kBlockTables.state[2][(state >> 16) & 0xFF] ^ kBlockTables.state[3][state >> 24] ^
                              kBlockTables.prev[prev] ^ kBlockTables.cipher[0][c[0]] ^ kBlockTables.cipher[1][c[1]] ^
                              kBlockTables.cipher[2][c[2]];
    for (std::size_t j = 0; j < 4; ++j) {
        const std::uint8_t key = StepRegister(state, prev);
        prev = static_cast<std::uint8_t>(c[j] ^ key);
    }
    return viaTables == state;
}());

// The same for eight bytes at a time, which halves the chain of dependent
// steps through the register. For scrambled bytes c0..c7, register state s
// and the plain byte p before them, the 64-bit value
//   W0[s0] ^ W1[s1] ^ W2[s2] ^ W3[s3] ^ Q[p] ^ D0[c0] ^ ... ^ D6[c6]
// holds the eight key bytes, the first in its top byte; its low 32 bits are
// the register after the eight bytes. (c7 only feeds the next block.)
struct WideTables {
    std::array<std::array<std::uint64_t, 256>, 4> state{};
    std::array<std::uint64_t, 256> prev{};
    std::array<std::array<std::uint64_t, 256>, 7> cipher{};
};

constexpr std::uint64_t RunWideBlock(std::uint32_t state, std::uint8_t prev, std::size_t at, std::uint8_t byte)
{
    std::uint8_t feed = prev;
    std::uint64_t keys = 0;
    for (std::size_t j = 0; j < 8; ++j) {
        const std::uint8_t key = StepRegister(state, feed);
        keys = keys << 8 | key;
        feed = static_cast<std::uint8_t>((j == at ? byte : 0) ^ key);
    }
    return keys;
}

constexpr WideTables MakeWideTables()
{
    constexpr std::size_t kNone = 8;
    WideTables t;
    for (std::uint32_t b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        for (std::size_t k = 0; k < 4; ++k) {
            t.state[k][b] = RunWideBlock(b << (8 * k), 0, kNone, 0);
        }
        t.prev[b] = RunWideBlock(0, byte, kNone, 0);
        for (std::size_t j = 0; j < 7; ++j) {
            t.cipher[j][b] = RunWideBlock(0, 0, j, byte);
        }
    }
    return t;
}

constexpr WideTables kWideTables = MakeWideTables();

static_assert([] {
    std::uint32_t state = 0x89ABCDEFu ^ FwDecrypter::kSeed;
    std::uint8_t prev = 0x5A;
    const std::array<std::uint8_t, 8> c{0x3C, 0x81, 0xFE, 0x07, 0x42, 0x99, 0x10, 0xC3};
    std::uint64_t viaTables = kWideTables.state[0][state & 0xFF] ^ kWideTables.state[1][(state >> 8) & 0xFF] ^
                              kWideTables.state[2][(state >> 16) & 0xFF] ^ kWideTables.state[3][state >> 24] ^
                              kWideTables.prev[prev];
    for (std::size_t j = 0; j < 7; ++j) {
        viaTables ^= kWideTables.cipher[j][c[j]];
    }
    std::uint64_t keys = 0;
    for (std::size_t j = 0; j < 8; ++j) {
        const std::uint8_t key = StepRegister(state, prev);
        keys = keys << 8 | key;
        prev = static_cast<std::uint8_t>(c[j] ^ key);
    }
    return viaTables == keys && static_cast<std::uint32_t>(keys) == state;
}());

// The wide tables arranged for the loop below. The register is linear, so the
// feed term of the plain byte before a block splits as Q[p] = Q[c] ^ Q[k]
// where c is that byte as scrambled and k its key byte, which is the low byte
// of the register s at the block. Q[k] = Q[s0] folds into the table of s0,
// and Q[c] depends on the file's bytes only: the next register then waits on
// four lookups of the present one, and everything else is worked out beside
// that chain.
struct ChainTables {
    std::array<std::array<std::uint64_t, 256>, 4> state{};
    std::array<std::array<std::uint64_t, 256>, 8> cipher{};  // [7]: the byte before the block
};

constexpr ChainTables MakeChainTables()
{
    ChainTables t;
    for (std::size_t b = 0; b < 256; ++b) {
        t.state[0][b] = kWideTables.state[0][b] ^ kWideTables.prev[b];
        for (std::size_t k = 1; k < 4; ++k) {
            t.state[k][b] = kWideTables.state[k][b];
        }
        for (std::size_t j = 0; j < 7; ++j) {
            t.cipher[j][b] = kWideTables.cipher[j][b];
        }
        t.cipher[7][b] = kWideTables.prev[b];
    }
    return t;
}

constexpr ChainTables kChainTables = MakeChainTables();

bool HexDigitValue(char c, std::uint8_t& value)
{
    if (c >= '0' && c <= '9') {
        value = static_cast<std::uint8_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
        value = static_cast<std::uint8_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
        value = static_cast<std::uint8_t>(c - 'A' + 10);
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::uint8_t FwDecrypter::DecryptByte(std::uint8_t feed)
{
    return StepRegister(keyState, feed);
}

std::uint32_t FwDecrypter::DescrambleInPlace(std::uint32_t count)
{
    const std::uint32_t limit = fileSize >= kCheckWordSize ? fileSize - kCheckWordSize : 0;
    if (position >= limit) {
        return 0;
    }
    count = std::min(count, limit - position);
    std::uint8_t* data = file_buffer.data();
    const std::uint32_t start = position;
    const std::uint32_t end = start + count;
    std::uint32_t pos = start;
    std::uint32_t state = keyState;
    // The feed of each byte is the plain byte before it (0 for the first byte
    // of the file); bytes before `position` are already plain.
    std::uint8_t prev = pos == 0 ? 0 : data[pos - 1];
    if (pos + 8 <= end) {
        const auto& w = kChainTables;
        // The byte before the block as it was scrambled (see ChainTables).
        std::uint8_t before = static_cast<std::uint8_t>(prev ^ state);
        for (; pos + 8 <= end; pos += 8) {
            std::uint8_t* p = data + pos;
            std::array<std::uint8_t, 8> c;
            std::copy_n(p, 8, c.begin());
            const std::uint64_t fed = w.cipher[7][before] ^ w.cipher[0][c[0]] ^ w.cipher[1][c[1]] ^ w.cipher[2][c[2]] ^
                                      w.cipher[3][c[3]] ^ w.cipher[4][c[4]] ^ w.cipher[5][c[5]] ^ w.cipher[6][c[6]];
            const std::uint64_t keys = (w.state[0][state & 0xFF] ^ w.state[1][(state >> 8) & 0xFF]) ^
                                       (w.state[2][(state >> 16) & 0xFF] ^ w.state[3][state >> 24]) ^ fed;
            for (std::size_t j = 0; j < 8; ++j) {
                p[j] = static_cast<std::uint8_t>(c[j] ^ (keys >> (56 - 8 * j)));
            }
            before = c[7];
            state = static_cast<std::uint32_t>(keys);
        }
        prev = data[pos - 1];
    }
    const auto& t = kBlockTables;
    for (; pos + 4 <= end; pos += 4) {
        std::uint8_t* p = data + pos;
        state = t.state[0][state & 0xFF] ^ t.state[1][(state >> 8) & 0xFF] ^ t.state[2][(state >> 16) & 0xFF] ^
                t.state[3][state >> 24] ^ t.prev[prev] ^ t.cipher[0][p[0]] ^ t.cipher[1][p[1]] ^ t.cipher[2][p[2]];
        p[0] = static_cast<std::uint8_t>(p[0] ^ (state >> 24));
        p[1] = static_cast<std::uint8_t>(p[1] ^ (state >> 16));
        p[2] = static_cast<std::uint8_t>(p[2] ^ (state >> 8));
        p[3] = static_cast<std::uint8_t>(p[3] ^ state);
        prev = p[3];
    }
    for (; pos < end; ++pos) {
        const std::uint8_t key = StepRegister(state, prev);
        data[pos] = static_cast<std::uint8_t>(data[pos] ^ key);
        prev = data[pos];
    }
    keyState = state;
    position = end;
    return count;
}

std::int32_t FwDecrypter::DecryptBlock(std::span<std::uint8_t> out)
{
    const std::uint32_t start = position;
    const auto wanted =
        static_cast<std::uint32_t>(std::min<std::size_t>(out.size(), std::numeric_limits<std::int32_t>::max()));
    const std::uint32_t done = DescrambleInPlace(wanted);
    std::copy_n(file_buffer.begin() + static_cast<std::ptrdiff_t>(start), done, out.begin());
    return static_cast<std::int32_t>(done);
}

bool FwDecrypter::IsChecksumValid()
{
    if (hexFormat || !scrambled) {
        return true;
    }
    while (DescrambleInPlace(std::numeric_limits<std::uint32_t>::max()) != 0) {}
    if (fileSize < kCheckWordSize) {
        return false;
    }
    for (std::uint32_t i = 0; i < kCheckWordSize; ++i) {
        if (file_buffer[fileSize - kCheckWordSize + i] != static_cast<std::uint8_t>(keyState >> (8 * i))) {
            return false;
        }
    }
    return true;
}

bool FwDecrypter::LoadFile(const std::string& fileName)
{
    if (hexFormat && scrambled) {
        throw UpdaterError("LoadFile - Encrypted hex files are not supported");
    }
    if (hexFormat) {
        LoadIntelHex(fileName);
    } else {
        LoadBinary(fileName);
    }
    position = 0;
    ResetKey();
    return true;
}

void FwDecrypter::LoadBinary(const std::string& fileName)
{
    std::error_code ec;
    if (std::filesystem::is_directory(zv::os::FilePath(fileName), ec)) {
        throw UpdaterError("LoadFile - Can not open fw file");
    }
    std::ifstream in(zv::os::FilePath(fileName), std::ios::binary);
    if (!in) {
        throw UpdaterError("LoadFile - Can not open fw file");
    }
    if (!in.seekg(0, std::ios::end)) {
        throw UpdaterError("LoadFile - Can not seek file end");
    }
    const std::streamoff length = in.tellg();
    if (length < 0) {
        throw UpdaterError("LoadFile - Can not seek file end");
    }
    if (length < static_cast<std::streamoff>(kCheckWordSize)) {
        throw UpdaterError("LoadFile - File is too small");
    }
    // The size is kept in 32 bits, like the camera's own file sizes. A 32-bit
    // program cannot hold more than half its address space in one buffer:
    // such a file is refused here, before the library would throw its own
    // text for a buffer longer than it can make.
    if (static_cast<std::uint64_t>(length) > std::numeric_limits<std::uint32_t>::max() - kBinaryPadding ||
        static_cast<std::uint64_t>(length) + kBinaryPadding > file_buffer.max_size()) {
        throw UpdaterError("LoadFile - error allocating memory");
    }
    in.seekg(0, std::ios::beg);
    try {
        // Only the padding is zeroed: the file's bytes are read over the rest.
        file_buffer.clear();
        file_buffer.resize(static_cast<std::size_t>(length) + kBinaryPadding);
        std::fill(file_buffer.begin() + static_cast<std::ptrdiff_t>(length), file_buffer.end(), 0);
    } catch (const std::bad_alloc&) {
        throw UpdaterError("LoadFile - error allocating memory");
    }
    fileSize = static_cast<std::uint32_t>(length);
    in.read(reinterpret_cast<char*>(file_buffer.data()), static_cast<std::streamsize>(length));
    if (in.gcount() != length) {
        throw UpdaterError("LoadFile - read data error");
    }
}

void FwDecrypter::LoadIntelHex(const std::string& fileName)
{
    std::error_code ec;
    if (std::filesystem::is_directory(zv::os::FilePath(fileName), ec)) {
        throw UpdaterError("LoadFile - Can not open fw file");
    }
    std::ifstream in(zv::os::FilePath(fileName), std::ios::binary);
    if (!in) {
        throw UpdaterError("LoadFile - Can not open fw file");
    }
    // Four more bytes than the image: the size counts a check word after the
    // highest record end, and those bytes read 0xFF like every unwritten one.
    file_buffer.assign(kHexImageSize + kCheckWordSize, 0xFF);
    fileSize = 0;
    std::uint32_t base = 0;  // set by extended segment (02) and linear (04) address records

    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] != ':') {
            throw UpdaterError("Unknown file format");
        }
        const auto byteAt = [&line](std::size_t at) {
            if (at + 2 > line.size()) {
                throw UpdaterError("LoadFile - Record is shorter than its byte count");
            }
            std::uint8_t hi = 0;
            std::uint8_t lo = 0;
            if (!HexDigitValue(line[at], hi) || !HexDigitValue(line[at + 1], lo)) {
                throw UpdaterError("LoadFile - Invalid character in hex record");
            }
            return static_cast<std::uint8_t>(hi << 4 | lo);
        };
        const std::uint8_t count = byteAt(1);
        const std::uint32_t address = static_cast<std::uint32_t>(byteAt(3)) << 8 | byteAt(5);
        const std::uint8_t type = byteAt(7);
        if (type == 1) {
            break;  // end of file record: nothing after it is read
        }

        std::array<std::uint8_t, 255> data{};
        std::uint8_t sum = static_cast<std::uint8_t>(count + (address & 0xFF) + (address >> 8) + type);
        for (std::size_t i = 0; i < count; ++i) {
            data[i] = byteAt(9 + 2 * i);
            sum = static_cast<std::uint8_t>(sum + data[i]);
        }
        const std::uint8_t stored = byteAt(9 + 2 * static_cast<std::size_t>(count));
        if (static_cast<std::uint8_t>(sum + stored) != 0) {
            throw UpdaterError("LoadFile - Wrong checksum");
        }

        switch (type) {
        case 0: {
            const std::uint64_t start = static_cast<std::uint64_t>(base) + address;
            const std::uint64_t end = start + count;
            if (end > kHexImageSize) {
                throw UpdaterError("LoadFile - Data beyond 64 KiB");
            }
            std::copy_n(data.begin(), count, file_buffer.begin() + static_cast<std::ptrdiff_t>(start));
            fileSize = std::max(fileSize, static_cast<std::uint32_t>(end));
            break;
        }
        case 2:
        case 4: {
            if (count != 2) {
                throw UpdaterError("LoadFile - Invalid extended address record");
            }
            const std::uint32_t value = static_cast<std::uint32_t>(data[0]) << 8 | data[1];
            base = type == 2 ? value << 4 : value << 16;
            break;
        }
        case 3:
        case 5:
            break;  // start addresses mean nothing to the camera's flash
        default:
            throw UpdaterError("LoadFile - Unsupported record type");
        }
    }
    fileSize += kCheckWordSize;
}

bool FwDecrypter::ParseHexFromStringToBuffer(const char* text)
{
    if (text == nullptr) {
        throw UpdaterError("ParseHexFromStringToBuffer - error input string is null");
    }
    const std::string_view hex(text);
    const std::size_t n = (hex.size() + 1) / 2;
    if (hex == "-" || n == 0) {
        // An empty content still has a buffer, so callers never see a null one.
        file_buffer.assign(10, 0);
        fileSize = 0;
        return true;
    }
    if (n > std::numeric_limits<std::uint32_t>::max()) {
        throw UpdaterError("ParseHexFromStringToBuffer - error allocating memory");
    }
    file_buffer.assign(n, 0);
    // Pieces of two characters from the start of the text fill the buffer from
    // its end: the text is the number written most significant byte first.
    for (std::size_t piece = 0; piece < n; ++piece) {
        const std::string_view digits = hex.substr(2 * piece, 2);
        std::uint8_t value = 0;
        for (const char c : digits) {
            std::uint8_t nibble = 0;
            if (!HexDigitValue(c, nibble)) {
                throw UpdaterError("ParseHexFromStringToBuffer - invalid hex character in input string");
            }
            value = static_cast<std::uint8_t>(value << 4 | nibble);
        }
        file_buffer[n - 1 - piece] = value;
    }
    fileSize = static_cast<std::uint32_t>(n);
    return true;
}

void DecodeLegacySN(std::string_view text, std::span<std::uint8_t, 4> out)
{
    if (text.size() < 8) {
        throw UpdaterError("DecodeLegacySN small input");
    }
    for (std::size_t i = 0; i < 4; ++i) {
        std::uint8_t hi = 0;
        std::uint8_t lo = 0;
        if (!HexDigitValue(text[6 - 2 * i], hi) || !HexDigitValue(text[7 - 2 * i], lo)) {
            throw UpdaterError("DecodeLegacySN invalid character in serial number");
        }
        out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
}

bool FwDecrypter::ParseSnSneFromStringToBuffer(const char* text)
{
    if (text == nullptr) {
        throw UpdaterError("ParseSnSneFromStringToBuffer - error input string is null");
    }
    const std::string_view sn(text);
    file_buffer.assign(13, 0);
    const auto decodeSne = [this](std::string_view sneText, const char* failure) {
        SNERecord record;
        if (DecodeSNE(sneText, record) != 0) {
            throw UpdaterError(failure);
        }
        const auto bytes = record.ToBytes();
        std::copy(bytes.begin(), bytes.end(), file_buffer.begin() + 4);
    };
    switch (sn.size()) {
    case 8:
        DecodeLegacySN(sn, std::span<std::uint8_t, 4>(file_buffer.data(), 4));
        fileSize = 4;
        break;
    case 20:
        DecodeLegacySN(sn.substr(0, 8), std::span<std::uint8_t, 4>(file_buffer.data(), 4));
        decodeSne(sn.substr(8), "ParseSnSneFromStringToBuffer Error on parsing SNE from string");
        fileSize = 12;
        break;
    case 12:
        // An SNE alone leaves the legacy serial number unprogrammed (all ones).
        std::fill(file_buffer.begin(), file_buffer.end(), 0xFF);
        decodeSne(sn, "ParseSnSneFromStringToBuffer Error on parsing only SNE from string");
        fileSize = 12;
        break;
    default:
        throw UpdaterError("ParseSnSneFromStringToBuffer - error unexpected size of sn_sne_string");
    }
    return true;
}

bool FwDecrypter::SSnFromNameToBuffer(const char* text)
{
    if (text == nullptr) {
        throw UpdaterError("SSnFromNameToBuffer - error input string is null");
    }
    const std::string_view ssn(text);
    file_buffer.assign(ssn.size() + 1, 0);
    std::copy(ssn.begin(), ssn.end(), file_buffer.begin());
    fileSize = static_cast<std::uint32_t>(ssn.size());
    return true;
}
