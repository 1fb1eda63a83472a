#include "zip_archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "temp_dir.h"

using zvtest::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

std::uint32_t Le16(const Bytes& bytes, std::size_t at)
{
    return bytes.at(at) | (bytes.at(at + 1) << 8);
}

std::uint32_t Le32(const Bytes& bytes, std::size_t at)
{
    return Le16(bytes, at) | (Le16(bytes, at + 2) << 16);
}

std::uint32_t Crc32(const Bytes& bytes)
{
    return static_cast<std::uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

struct Entry {
    std::string name;
    Bytes data;
};

// Builds an archive with the layer under test, writing each entry's data in
// uneven pieces.
Bytes WriteArchive(const std::vector<Entry>& entries, int level = 6)
{
    ZipArchivePtr zip = ZipStreamOpen(nullptr, 0, level, 'w');
    EXPECT_NE(zip, nullptr);
    if (!zip) {
        return {};
    }
    for (const Entry& entry : entries) {
        EXPECT_EQ(ZipEntryOpen(zip.get(), entry.name.c_str()), 0) << entry.name;
        std::size_t at = 0;
        for (std::size_t piece = 1; at < entry.data.size(); piece = piece * 7 + 3) {
            const std::size_t n = std::min(piece, entry.data.size() - at);
            EXPECT_EQ(ZipEntryWrite(zip.get(), entry.data.data() + at, n), 0);
            at += n;
        }
        EXPECT_EQ(ZipEntryClose(zip.get()), 0) << entry.name;
    }
    Bytes archive;
    const std::int64_t size = ZipStreamCopy(zip.get(), archive);
    EXPECT_EQ(size, static_cast<std::int64_t>(archive.size()));
    ZipStreamClose(std::move(zip));
    return archive;
}

// Extracts one entry with the layer under test; nullopt when any step fails.
std::optional<Bytes> ReadEntry(const Bytes& archive, const char* name)
{
    ZipArchivePtr zip = ZipStreamOpen(archive.data(), archive.size(), 6, 'r');
    if (!zip || ZipEntryOpen(zip.get(), name) != 0) {
        return std::nullopt;
    }
    Bytes content;
    const std::int64_t size = ZipEntryRead(zip.get(), content);
    ZipEntryClose(zip.get());
    ZipStreamClose(std::move(zip));
    if (size < 0 || static_cast<std::size_t>(size) != content.size()) {
        return std::nullopt;
    }
    return content;
}

// An archive made without the layer under test: stored or raw-deflated
// entries behind hand-made headers, with ways to damage them.
struct FixtureEntry {
    FixtureEntry(std::string entryName, Bytes entryData) : name(std::move(entryName)), data(std::move(entryData)) {}
    FixtureEntry& Stored()
    {
        deflate = false;
        return *this;
    }
    FixtureEntry& BadCrc()
    {
        crcXor = 1;
        return *this;
    }
    FixtureEntry& Garbled()
    {
        garble = true;
        return *this;
    }
    FixtureEntry& Declaring(std::uint32_t size)
    {
        declaredSize = size;
        return *this;
    }

    std::string name;
    Bytes data;
    bool deflate = true;
    std::uint32_t crcXor = 0;                   // damages the recorded CRC-32
    std::optional<std::uint32_t> declaredSize;  // overrides the uncompressed size
    bool garble = false;                        // damages the compressed stream
};

Bytes Deflate(const Bytes& data)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Bytes Inflate(const std::uint8_t* data, std::size_t size, std::size_t expected)
{
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, -15), Z_OK);
    Bytes out(expected + 16);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

void Put16(Bytes& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

Bytes BuildFixture(const std::vector<FixtureEntry>& entries)
{
    Bytes archive;
    Bytes directory;
    for (const FixtureEntry& entry : entries) {
        Bytes payload = entry.deflate ? Deflate(entry.data) : entry.data;
        if (entry.garble) {
            for (std::size_t i = 0; i < payload.size(); i += 3) {
                payload[i] ^= 0x5A;
            }
        }
        const std::uint32_t crc = Crc32(entry.data) ^ entry.crcXor;
        const std::uint32_t size = entry.declaredSize.value_or(static_cast<std::uint32_t>(entry.data.size()));
        const auto offset = static_cast<std::uint32_t>(archive.size());
        const std::uint32_t method = entry.deflate ? 8 : 0;

        Put32(archive, 0x04034B50);
        Put16(archive, 20);
        Put16(archive, 0);
        Put16(archive, method);
        Put16(archive, 0x6000);  // 12:00:00
        Put16(archive, 0x5A67);  // 2025-03-07
        Put32(archive, crc);
        Put32(archive, static_cast<std::uint32_t>(payload.size()));
        Put32(archive, size);
        Put16(archive, static_cast<std::uint32_t>(entry.name.size()));
        Put16(archive, 0);
        archive.insert(archive.end(), entry.name.begin(), entry.name.end());
        archive.insert(archive.end(), payload.begin(), payload.end());

        Put32(directory, 0x02014B50);
        Put16(directory, 20);
        Put16(directory, 20);
        Put16(directory, 0);
        Put16(directory, method);
        Put16(directory, 0x6000);
        Put16(directory, 0x5A67);
        Put32(directory, crc);
        Put32(directory, static_cast<std::uint32_t>(payload.size()));
        Put32(directory, size);
        Put16(directory, static_cast<std::uint32_t>(entry.name.size()));
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put32(directory, 0);
        Put32(directory, offset);
        directory.insert(directory.end(), entry.name.begin(), entry.name.end());
    }
    const auto directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive.insert(archive.end(), directory.begin(), directory.end());
    Put32(archive, 0x06054B50);
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, static_cast<std::uint32_t>(entries.size()));
    Put16(archive, static_cast<std::uint32_t>(entries.size()));
    Put32(archive, static_cast<std::uint32_t>(directory.size()));
    Put32(archive, directoryOffset);
    Put16(archive, 0);
    return archive;
}

std::string Quote(const std::string& text)
{
    return "'" + text + "'";
}

int Shell(const std::string& command)
{
    return std::system(command.c_str());
}

// The log archive: its entry holds the log text and one terminating zero.
const Bytes kLogText = ToBytes(std::string_view("abc\0", 4));

TEST(ZipArchiveTest, ErrorTextsCoverTheCodes)
{
    EXPECT_STREQ(ZipStrError(-1), "not initialized");
    EXPECT_STREQ(ZipStrError(-6), "no zip 64 support");
    EXPECT_STREQ(ZipStrError(-18), "extracting data using no memory allocation");
    EXPECT_STREQ(ZipStrError(-21), "out of memory");
    EXPECT_STREQ(ZipStrError(-29), "fwrite error");
    EXPECT_EQ(ZipStrError(0), nullptr);
    EXPECT_EQ(ZipStrError(1), nullptr);
    EXPECT_EQ(ZipStrError(-30), nullptr);
    for (int code = -1; code >= -29; --code) {
        EXPECT_NE(ZipStrError(code), nullptr) << code;
    }
}

TEST(ZipArchiveTest, OpenAcceptsOnlyValidModeBufferAndLevel)
{
    const Bytes archive = WriteArchive({{"FwOperationLog.txt", kLogText}});
    const Bytes notAZip = ToBytes("this is not a zip archive at all, just some text");
    const struct {
        const char* what;
        const void* buffer;
        std::size_t size;
        int level;
        char mode;
        bool opens;
    } cases[] = {
        {"writer at the default level", nullptr, 0, -1, 'w', true},
        {"writer storing", nullptr, 0, 0, 'w', true},
        {"writer at level 10", nullptr, 0, 10, 'w', true},
        {"writer with flag bits above the level", nullptr, 0, 0x406, 'w', true},
        {"writer at level 11", nullptr, 0, 11, 'w', false},
        {"writer given a buffer", archive.data(), archive.size(), 6, 'w', false},
        {"reader", archive.data(), archive.size(), 6, 'r', true},
        {"reader with size 0", archive.data(), 0, 6, 'r', false},
        {"reader without buffer", nullptr, 0, 6, 'r', false},
        {"reader at level 15", archive.data(), archive.size(), 15, 'r', false},
        {"reader of bytes that are no archive", notAZip.data(), notAZip.size(), 6, 'r', false},
        {"reader of a cut archive", archive.data(), archive.size() - 10, 6, 'r', false},
        {"unknown mode", nullptr, 0, 6, 'x', false},
        {"append mode on memory", archive.data(), archive.size(), 6, 'a', false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ZipStreamOpen(c.buffer, c.size, c.level, c.mode) != nullptr, c.opens);
    }
}

TEST(ZipArchiveTest, FailuresAnswerTheirCodes)
{
    const Bytes archive = BuildFixture({
        FixtureEntry("FwOperationLog.txt", kLogText),
        FixtureEntry("dir/", {}).Stored(),
        FixtureEntry("badcrc.txt", ToBytes("checked on the way out")).BadCrc(),
        FixtureEntry("garbled.bin", RandomBytes(5000, 1)).Garbled(),
        FixtureEntry("short.txt", ToBytes("fewer bytes than declared")).Declaring(40),
        FixtureEntry("huge.txt", ToBytes("claims 4 GiB")).Declaring(0xFFFFFFF0u),
        FixtureEntry("long.txt", ToBytes("more bytes than declared")).Declaring(5),
    });
    const auto reader = [&] { return ZipStreamOpen(archive.data(), archive.size(), 6, 'r'); };
    const auto writer = [](int level = 6) { return ZipStreamOpen(nullptr, 0, level, 'w'); };
    const auto readEntry = [&](const char* name) -> std::int64_t {
        auto zip = reader();
        const int opened = ZipEntryOpen(zip.get(), name);
        if (opened != 0) {
            return 1000 + opened;  // not the step under test
        }
        Bytes block;
        const std::int64_t result = ZipEntryRead(zip.get(), block);
        EXPECT_TRUE(result >= 0 || block.empty());
        return result;
    };
    Bytes block;

    const struct {
        const char* what;
        std::function<std::int64_t()> run;
        std::int64_t expected;
    } cases[] = {
        {"open entry without handle", [] { return ZipEntryOpen(nullptr, "a"); }, -1},
        {"write without handle", [] { return ZipEntryWrite(nullptr, "a", 1); }, -1},
        {"read without handle", [&] { return ZipEntryRead(nullptr, block); }, -1},
        {"close entry without handle", [] { return ZipEntryClose(nullptr); }, -1},
        {"copy without handle", [&] { return ZipStreamCopy(nullptr, block); }, -1},
        {"count without handle", [] { return ZipEntriesTotal(nullptr); }, -1},

        {"writer entry without name", [&] { return ZipEntryOpen(writer().get(), nullptr); }, -2},
        {"writer entry with empty name", [&] { return ZipEntryOpen(writer().get(), ""); }, -2},
        {"reader entry without name", [&] { return ZipEntryOpen(reader().get(), nullptr); }, -2},
        {"name longer than its 16-bit field",
         [&] { return ZipEntryOpen(writer().get(), std::string(0x10000, 'n').c_str()); }, -2},
        {"second entry of the same name",
         [&] {
             auto zip = writer();
             ZipEntryOpen(zip.get(), "a\\b.txt");
             ZipEntryClose(zip.get());
             return ZipEntryOpen(zip.get(), "a/b.txt");
         },
         -2},

        {"entry missing from the archive", [&] { return ZipEntryOpen(reader().get(), "FwOperationLog.txt.bak"); }, -3},
        {"read after a failed entry open",
         [&] {
             auto zip = reader();
             EXPECT_EQ(ZipEntryOpen(zip.get(), "FwOperationLog.txt"), 0);
             EXPECT_EQ(ZipEntryOpen(zip.get(), "missing"), -3);
             return ZipEntryRead(zip.get(), block);
         },
         -3},
        {"read without an entry open", [&] { return ZipEntryRead(reader().get(), block); }, -3},
        {"read after the entry was closed",
         [&] {
             auto zip = reader();
             ZipEntryOpen(zip.get(), "FwOperationLog.txt");
             ZipEntryClose(zip.get());
             return ZipEntryRead(zip.get(), block);
         },
         -3},
        {"read on a writer",
         [&] {
             auto zip = writer();
             ZipEntryOpen(zip.get(), "a");
             return ZipEntryRead(zip.get(), block);
         },
         -3},

        {"new entry while one is open",
         [&] {
             auto zip = writer();
             ZipEntryOpen(zip.get(), "a");
             return ZipEntryOpen(zip.get(), "b");
         },
         -4},
        {"new entry after the archive was finished",
         [&] {
             auto zip = writer();
             ZipEntryOpen(zip.get(), "a");
             ZipEntryClose(zip.get());
             ZipStreamCopy(zip.get(), block);
             return ZipEntryOpen(zip.get(), "b");
         },
         -4},
        {"finishing the archive with an entry open",
         [&] {
             auto zip = writer();
             ZipEntryOpen(zip.get(), "a");
             return ZipStreamCopy(zip.get(), block);
         },
         -4},

        {"level carrying the precompressed flag", [&] { return ZipEntryOpen(writer(0x406).get(), "a"); }, -5},

        {"write without an entry open", [&] { return ZipEntryWrite(writer().get(), "a", 1); }, -8},
        {"write on a reader",
         [&] {
             auto zip = reader();
             ZipEntryOpen(zip.get(), "FwOperationLog.txt");
             return ZipEntryWrite(zip.get(), "a", 1);
         },
         -8},

        {"read of a directory entry", [&] { return readEntry("dir/"); }, -17},
        {"read with a CRC-32 mismatch", [&] { return readEntry("badcrc.txt"); }, -18},
        {"read of damaged deflate data", [&] { return readEntry("garbled.bin"); }, -18},
        {"read of fewer bytes than declared", [&] { return readEntry("short.txt"); }, -18},
        {"read of an entry claiming 4 GiB", [&] { return readEntry("huge.txt"); }, -18},
        {"read of more bytes than declared", [&] { return readEntry("long.txt"); }, -18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.run(), c.expected);
    }
}

TEST(ZipArchiveTest, NothingToWriteOrCloseIsNoError)
{
    auto zip = ZipStreamOpen(nullptr, 0, 6, 'w');
    EXPECT_EQ(ZipEntryClose(zip.get()), 0);
    ASSERT_EQ(ZipEntryOpen(zip.get(), "FwOperationLog.txt"), 0);
    EXPECT_EQ(ZipEntryWrite(zip.get(), nullptr, 5), 0);
    EXPECT_EQ(ZipEntryWrite(zip.get(), "x", 0), 0);
    EXPECT_EQ(ZipEntryWrite(zip.get(), kLogText.data(), kLogText.size()), 0);
    EXPECT_EQ(ZipEntryClose(zip.get()), 0);
    Bytes archive;
    ASSERT_GT(ZipStreamCopy(zip.get(), archive), 0);
    EXPECT_EQ(ReadEntry(archive, "FwOperationLog.txt"), kLogText);
}

TEST(ZipArchiveTest, RefusesEntriesBeyondTheClassicFormat)
{
    auto zip = ZipStreamOpen(nullptr, 0, 0, 'w');
    for (int i = 0; i < 0xFFFF; ++i) {
        ASSERT_EQ(ZipEntryOpen(zip.get(), std::to_string(i).c_str()), 0) << i;
        ASSERT_EQ(ZipEntryClose(zip.get()), 0) << i;
    }
    EXPECT_EQ(ZipEntriesTotal(zip.get()), 0xFFFF);
    EXPECT_EQ(ZipEntryOpen(zip.get(), "one too many"), -6);
}

// The operation log's archive, byte by byte: local header, deflated text,
// one central-directory record and the end record, nothing else.
TEST(ZipArchiveTest, OneEntryArchiveHasTheClassicLayout)
{
    const std::time_t before = std::time(nullptr);
    const Bytes archive = WriteArchive({{"FwOperationLog.txt", kLogText}});
    const std::time_t after = std::time(nullptr);
    const std::uint32_t n = 18;
    ASSERT_GE(archive.size(), 30 + n + 46 + n + 22);

    EXPECT_EQ(Le32(archive, 0), 0x04034B50u);
    EXPECT_EQ(Le16(archive, 4), 20u);  // version needed to extract
    EXPECT_EQ(Le16(archive, 6), 0u);   // flags: no data descriptor
    EXPECT_EQ(Le16(archive, 8), 8u);   // deflate
    const std::uint32_t time = Le16(archive, 10);
    const std::uint32_t date = Le16(archive, 12);
    EXPECT_EQ(Le32(archive, 14), Crc32(kLogText));
    const std::uint32_t compressed = Le32(archive, 18);
    EXPECT_EQ(Le32(archive, 22), kLogText.size());
    EXPECT_EQ(Le16(archive, 26), n);
    EXPECT_EQ(Le16(archive, 28), 0u);  // no extra field
    EXPECT_EQ(std::string(archive.begin() + 30, archive.begin() + 30 + n), "FwOperationLog.txt");
    EXPECT_EQ(Inflate(archive.data() + 30 + n, compressed, kLogText.size()), kLogText);

    const std::size_t cd = 30 + n + compressed;
    ASSERT_EQ(archive.size(), cd + 46 + n + 22);
    EXPECT_EQ(Le32(archive, cd), 0x02014B50u);
    EXPECT_EQ(Le16(archive, cd + 4) >> 8, 0u);  // made on MS-DOS-style attributes
    EXPECT_EQ(Le16(archive, cd + 6), 20u);
    EXPECT_EQ(Le16(archive, cd + 8), 0u);
    EXPECT_EQ(Le16(archive, cd + 10), 8u);
    EXPECT_EQ(Le16(archive, cd + 12), time);
    EXPECT_EQ(Le16(archive, cd + 14), date);
    EXPECT_EQ(Le32(archive, cd + 16), Crc32(kLogText));
    EXPECT_EQ(Le32(archive, cd + 20), compressed);
    EXPECT_EQ(Le32(archive, cd + 24), kLogText.size());
    EXPECT_EQ(Le16(archive, cd + 28), n);
    EXPECT_EQ(Le16(archive, cd + 30), 0u);  // extra field
    EXPECT_EQ(Le16(archive, cd + 32), 0u);  // comment
    EXPECT_EQ(Le16(archive, cd + 34), 0u);  // disk
    EXPECT_EQ(Le16(archive, cd + 36), 0u);  // internal attributes
    EXPECT_EQ(Le32(archive, cd + 38), 0u);  // external attributes
    EXPECT_EQ(Le32(archive, cd + 42), 0u);  // local header offset
    EXPECT_EQ(std::string(archive.begin() + static_cast<std::ptrdiff_t>(cd) + 46,
                          archive.begin() + static_cast<std::ptrdiff_t>(cd) + 46 + n),
              "FwOperationLog.txt");

    const std::size_t end = cd + 46 + n;
    EXPECT_EQ(Le32(archive, end), 0x06054B50u);
    EXPECT_EQ(Le16(archive, end + 4), 0u);
    EXPECT_EQ(Le16(archive, end + 6), 0u);
    EXPECT_EQ(Le16(archive, end + 8), 1u);
    EXPECT_EQ(Le16(archive, end + 10), 1u);
    EXPECT_EQ(Le32(archive, end + 12), 46 + n);
    EXPECT_EQ(Le32(archive, end + 16), cd);
    EXPECT_EQ(Le16(archive, end + 20), 0u);  // no archive comment

    // The DOS time stamp is the local time at which the entry was opened
    // (two-second resolution).
    std::tm stamp{};
    stamp.tm_year = static_cast<int>((date >> 9) + 80);
    stamp.tm_mon = static_cast<int>(((date >> 5) & 0x0F) - 1);
    stamp.tm_mday = static_cast<int>(date & 0x1F);
    stamp.tm_hour = static_cast<int>(time >> 11);
    stamp.tm_min = static_cast<int>((time >> 5) & 0x3F);
    stamp.tm_sec = static_cast<int>((time & 0x1F) * 2);
    stamp.tm_isdst = -1;
    const std::time_t stamped = std::mktime(&stamp);
    EXPECT_GE(stamped, before - 2);
    EXPECT_LE(stamped, after);
}

TEST(ZipArchiveTest, StoredEntriesAtLevelZero)
{
    const Bytes text = ToBytes("kept as it stands");
    const Bytes archive = WriteArchive({{"stored.txt", text}}, 0);
    EXPECT_EQ(Le16(archive, 8), 0u);
    EXPECT_EQ(Le32(archive, 18), text.size());
    EXPECT_EQ(Bytes(archive.begin() + 30 + 10, archive.begin() + 30 + 10 + 17), text);
    EXPECT_EQ(ReadEntry(archive, "stored.txt"), text);
}

TEST(ZipArchiveTest, ReadsBackWhatItWrote)
{
    const Bytes random = RandomBytes(300 * 1024 + 5, 99);
    const Bytes zeros(1024 * 1024, 0);
    Bytes archive = WriteArchive({
        {"FwOperationLog.txt", kLogText},
        {"Sub\\Dir\\Data.bin", random},
        {"empty.txt", {}},
        {"zeros.bin", zeros},
    });
    ASSERT_LT(archive.size(), 20 * 1024 + random.size());  // the zeros were deflated

    ZipArchivePtr zip = ZipStreamOpen(archive.data(), archive.size(), 6, 'r');
    ASSERT_NE(zip, nullptr);
    // The reader keeps its own copy of the bytes.
    archive.assign(archive.size(), 0xEE);
    archive.clear();
    archive.shrink_to_fit();

    EXPECT_EQ(ZipEntriesTotal(zip.get()), 4);
    const struct {
        const char* lookup;
        const Bytes& content;
    } cases[] = {
        {"FwOperationLog.txt", kLogText},
        {"FWOPERATIONLOG.TXT", kLogText},  // A-Z match either case
        {"Sub/Dir/Data.bin", random},      // the backslashes were stored as slashes
        {"sub\\dir\\data.BIN", random},
        {"empty.txt", {}},
        {"zeros.bin", zeros},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lookup);
        ASSERT_EQ(ZipEntryOpen(zip.get(), c.lookup), 0);
        Bytes content = ToBytes("stale");
        EXPECT_EQ(ZipEntryRead(zip.get(), content), static_cast<std::int64_t>(c.content.size()));
        EXPECT_EQ(content, c.content);
        EXPECT_EQ(ZipEntryClose(zip.get()), 0);
    }
    EXPECT_EQ(ZipEntryOpen(zip.get(), "Data.bin"), -3);  // no path stripping
    ZipClose(std::move(zip));
}

TEST(ZipArchiveTest, FinishedArchiveCanBeCopiedAgain)
{
    ZipArchivePtr zip = ZipStreamOpen(nullptr, 0, 6, 'w');
    ASSERT_EQ(ZipEntryOpen(zip.get(), "FwOperationLog.txt"), 0);
    ASSERT_EQ(ZipEntryWrite(zip.get(), kLogText.data(), kLogText.size()), 0);
    EXPECT_EQ(ZipEntriesTotal(zip.get()), 0);
    ASSERT_EQ(ZipEntryClose(zip.get()), 0);
    EXPECT_EQ(ZipEntriesTotal(zip.get()), 1);
    Bytes first;
    Bytes second;
    EXPECT_GT(ZipStreamCopy(zip.get(), first), 0);
    EXPECT_EQ(ZipStreamCopy(zip.get(), second), static_cast<std::int64_t>(first.size()));
    EXPECT_EQ(first, second);
}

TEST(ZipArchiveTest, ArchiveWithoutEntriesIsTheEndRecordAlone)
{
    ZipArchivePtr writer = ZipStreamOpen(nullptr, 0, 6, 'w');
    Bytes archive;
    ASSERT_EQ(ZipStreamCopy(writer.get(), archive), 22);
    EXPECT_EQ(Le32(archive, 0), 0x06054B50u);

    ZipArchivePtr reader = ZipStreamOpen(archive.data(), archive.size(), 6, 'r');
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(ZipEntriesTotal(reader.get()), 0);
    EXPECT_EQ(ZipEntryOpen(reader.get(), "FwOperationLog.txt"), -3);
}

TEST(ZipArchiveTest, ReadsArchivesBuiltByHand)
{
    const Bytes text = ToBytes("[2025-03-07 090503] Firmware Updater 2.64 started");
    const Bytes random = RandomBytes(70000, 5);
    const Bytes archive = BuildFixture({
        FixtureEntry("readme.txt", ToBytes("first")).Stored(),
        FixtureEntry("fwoperationlog.txt", text),
        FixtureEntry("payload.bin", random).Stored(),
    });
    EXPECT_EQ(ReadEntry(archive, "FwOperationLog.txt"), text);
    EXPECT_EQ(ReadEntry(archive, "payload.bin"), random);
    EXPECT_EQ(ReadEntry(archive, "readme.txt"), ToBytes("first"));
}

class ZipToolsTest : public ::testing::Test {
protected:
    static bool Have(const char* tool) { return tool[0] != '\0'; }
    TempDir dir_;
};

// Our archives as an independent reader sees them.
TEST_F(ZipToolsTest, PythonZipfileReadsOurArchives)
{
    if (!Have(ZV_PYTHON3)) {
        GTEST_SKIP() << "python3 not found";
    }
    const std::string script = dir_.Write("check.py", R"(
import sys, zipfile
pairs = list(zip(sys.argv[2::2], sys.argv[3::2]))
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        sys.exit('bad entry ' + bad)
    if z.namelist() != [name for name, _ in pairs]:
        sys.exit('names %r' % z.namelist())
    for name, path in pairs:
        if z.read(name) != open(path, 'rb').read():
            sys.exit('content of ' + name)
)");
    const Bytes random = RandomBytes(100000, 3);
    for (int level : {6, 0, 1, 9, 10}) {
        SCOPED_TRACE(level);
        const std::string archive = dir_.Write(
            "ours.zip",
            WriteArchive({{"FwOperationLog.txt", kLogText}, {"dir\\random.bin", random}, {"empty", {}}}, level));
        EXPECT_EQ(Shell(std::string(ZV_PYTHON3) + " " + Quote(script) + " " + Quote(archive) + " FwOperationLog.txt " +
                        Quote(dir_.Write("log.txt", kLogText)) + " dir/random.bin " +
                        Quote(dir_.Write("random.bin", random)) + " empty " + Quote(dir_.Write("empty", Bytes{}))),
                  0);
    }
}

TEST_F(ZipToolsTest, UnzipTestsOurArchives)
{
    if (!Have(ZV_UNZIP)) {
        GTEST_SKIP() << "unzip not found";
    }
    const std::string archive = dir_.Write(
        "ours.zip", WriteArchive({{"FwOperationLog.txt", kLogText}, {"payload.bin", RandomBytes(200000, 8)}}));
    EXPECT_EQ(Shell(std::string(ZV_UNZIP) + " -tqq " + Quote(archive)), 0);
    EXPECT_EQ(Shell(std::string(ZV_UNZIP) + " -p " + Quote(archive) + " FwOperationLog.txt > " +
                    Quote(dir_.File("extracted"))),
              0);
    EXPECT_EQ(TempDir::Read(dir_.File("extracted")), kLogText);
}

// Archives of an independent writer, deflated and stored, read with the
// layer under test.
TEST_F(ZipToolsTest, ReadsArchivesWrittenByPythonZipfile)
{
    if (!Have(ZV_PYTHON3)) {
        GTEST_SKIP() << "python3 not found";
    }
    const std::string script = dir_.Write("write.py", R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for name, method, path in zip(sys.argv[2::3], sys.argv[3::3], sys.argv[4::3]):
        kind = zipfile.ZIP_DEFLATED if method == 'deflate' else zipfile.ZIP_STORED
        z.writestr(name, open(path, 'rb').read(), compress_type=kind)
)");
    const Bytes log = ToBytes(std::string_view("[2025-03-07 090503] line one\n"
                                               "[2025-03-07 090504] line two\0",
                                               58));
    const Bytes random = RandomBytes(150000, 11);
    const std::string archive = dir_.File("python.zip");
    ASSERT_EQ(Shell(std::string(ZV_PYTHON3) + " " + Quote(script) + " " + Quote(archive) + " other.txt stored " +
                    Quote(dir_.Write("other", ToBytes("other"))) + " FWOperationLog.TXT deflate " +
                    Quote(dir_.Write("log", log)) + " data/random.bin deflate " + Quote(dir_.Write("random", random))),
              0);
    const Bytes bytes = TempDir::Read(archive);
    EXPECT_EQ(ReadEntry(bytes, "FwOperationLog.txt"), log);
    EXPECT_EQ(ReadEntry(bytes, "data\\random.bin"), random);
    EXPECT_EQ(ReadEntry(bytes, "other.txt"), ToBytes("other"));
}

// zip writing into a pipe cannot seek back, so it puts the sizes and CRC in
// data descriptors after the data.
TEST_F(ZipToolsTest, ReadsStreamedArchivesOfTheZipTool)
{
    if (!Have(ZV_ZIP)) {
        GTEST_SKIP() << "zip not found";
    }
    const Bytes random = RandomBytes(80000, 12);
    const std::string input = dir_.Write("input", random);
    const std::string archive = dir_.File("streamed.zip");
    ASSERT_EQ(Shell("cat " + Quote(input) + " | " + ZV_ZIP + " -q -fz- - - | cat > " + Quote(archive)), 0);
    const Bytes bytes = TempDir::Read(archive);
    ASSERT_NE(Le16(bytes, 6) & 0x08, 0u) << "expected a data descriptor";
    EXPECT_EQ(ReadEntry(bytes, "-"), random);
}

}  // namespace
