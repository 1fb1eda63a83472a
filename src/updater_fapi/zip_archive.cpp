#include "zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

// The archives are built and read here, record by record as the classic zip
// format lays them out; zlib does the raw deflate and inflate and the CRC-32.

namespace {

constexpr std::array<const char*, 29> kErrorTexts = {
    "not initialized",
    "invalid entry name",
    "entry not found",
    "invalid zip mode",
    "invalid compression level",
    "no zip 64 support",
    "memset error",
    "cannot write data to entry",
    "cannot initialize tdefl compressor",
    "invalid index",
    "header not found",
    "cannot flush tdefl buffer",
    "cannot write entry header",
    "cannot create entry header",
    "cannot write to central dir",
    "cannot open file",
    "invalid entry type",
    "extracting data using no memory allocation",
    "file not found",
    "no permission",
    "out of memory",
    "invalid zip archive name",
    "make dir error",
    "symlink error",
    "close archive error",
    "capacity size too small",
    "fseek error",
    "fread error",
    "fwrite error",
};

constexpr int kDefaultLevel = 6;
constexpr int kMaxLevel = 10;
// zlib's strongest level; level 10 asks for no more than that.
constexpr int kMaxDeflateLevel = 9;
// The bit that once told the writer its data came compressed already; this
// writer compresses everything itself and refuses it.
constexpr int kPrecompressedFlag = 0x400;

// Archives stay within the classic format: no zip64 records, so at most
// 65535 entries and every size and offset within 32 bits.
constexpr std::int64_t kMaxEntries = 0xFFFF;
constexpr std::uint64_t kMaxArchiveSize = 0xFFFFFFFFu;
constexpr std::size_t kMaxNameLength = 0xFFFF;

// Record signatures and sizes.
constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndRecordSignature = 0x06054B50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;
// The end record may be followed by an archive comment of up to 64 KiB.
constexpr std::size_t kMaxCommentSize = 0xFFFF;

constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
// Versions of the format an entry needs: 1.0 stored, 2.0 deflated. Made by
// version 6.3 on a host with DOS attributes (high byte 0).
constexpr std::uint16_t kVersionNeededStored = 10;
constexpr std::uint16_t kVersionNeededDeflated = 20;
constexpr std::uint16_t kVersionMadeBy = 63;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
// Bits 1-2 of a deflated entry's flags tell how hard it was compressed.
constexpr std::uint16_t kFlagDeflateMaximum = 0x0002;
constexpr std::uint16_t kFlagDeflateFast = 0x0004;

// zlib's raw deflate stream (no zlib header) with its largest window and
// hash tables: archives come out byte for byte as they always have.
constexpr int kRawWindowBits = -15;
constexpr int kMemLevel = 9;

constexpr std::size_t kDeflateChunk = 64 * 1024;
// A damaged directory may claim any size; never reserve more than this ahead
// of data that has actually been inflated.
constexpr std::size_t kMaxReserve = 16u * 1024 * 1024;
constexpr std::size_t kInflateChunk = 64 * 1024;

std::string NormalizedName(const char* name)
{
    std::string copy(name);
    std::replace(copy.begin(), copy.end(), '\\', '/');
    return copy;
}

// Letters A-Z match either case; every other byte matches only itself.
bool SameNameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::uint32_t Get16(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8;
}

std::uint32_t Get32(const std::uint8_t* at)
{
    return Get16(at) | Get16(at + 2) << 16;
}

void Put16(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value)
{
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

void Append16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Append32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    Append16(out, value & 0xFFFF);
    Append16(out, value >> 16);
}

struct DosStamp {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};

// Local time in DOS form (two-second resolution); times before 1980, which
// the form cannot hold, become its first day.
DosStamp ToDosStamp(std::time_t time)
{
    const std::tm* converted = std::localtime(&time);
    if (converted == nullptr || converted->tm_year < 80) {
        return DosStamp{0, static_cast<std::uint16_t>(1 << 5 | 1)};
    }
    const std::tm local = *converted;
    DosStamp stamp;
    stamp.time = static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    stamp.date = static_cast<std::uint16_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    return stamp;
}

struct DeflateEnder {
    void operator()(z_stream* stream) const noexcept
    {
        deflateEnd(stream);
        delete stream;
    }
};
using DeflatePtr = std::unique_ptr<z_stream, DeflateEnder>;

struct InflateEnder {
    void operator()(z_stream* stream) const noexcept { inflateEnd(stream); }
};

// One entry as the central directory of an archive being read describes it.
struct DirectoryEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t localHeaderOffset = 0;
};

}  // namespace

struct ZipArchive {
    enum class Mode {
        Reading,
        Writing,
        Finalized
    };

    // The entry a writer is filling.
    struct Entry {
        std::string name;
        std::uint32_t crc = 0;
        std::uint64_t size = 0;
        std::uint64_t localHeaderOffset = 0;
        std::uint64_t dataOffset = 0;
        std::uint16_t method = kMethodStored;
        std::uint16_t flags = 0;
        std::time_t time = 0;
    };

    Mode mode = Mode::Reading;
    int level = kDefaultLevel;

    // Reader: its own copy of the archive bytes, the entries of the central
    // directory and the current one (-1: none).
    std::vector<std::uint8_t> input;
    std::vector<DirectoryEntry> directory;
    std::int64_t current = -1;

    // Writer: local headers and data so far, the central-directory records,
    // the names taken, the entry being written and the compressor (kept for
    // the next deflated entry).
    std::vector<std::uint8_t> output;
    std::vector<std::uint8_t> centralDirectory;
    std::unordered_set<std::string> names;
    std::int64_t entryCount = 0;
    bool writing = false;
    Entry entry;
    DeflatePtr deflater;
};

void ZipArchiveDeleter::operator()(ZipArchive* zip) const noexcept
{
    delete zip;
}

namespace {

// Feeds bytes to the compressor (flush Z_NO_FLUSH) or finishes its stream
// (Z_FINISH), appending what it produces to the archive.
int Compress(ZipArchive& zip, const std::uint8_t* data, std::size_t size, int flush)
{
    z_stream& stream = *zip.deflater;
    do {
        // zlib counts in 32 bits; larger pieces go through in turns.
        const std::size_t piece = std::min<std::size_t>(size, std::numeric_limits<uInt>::max());
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(piece);
        const int pieceFlush = piece == size ? flush : Z_NO_FLUSH;
        int status = Z_OK;
        do {
            const std::size_t before = zip.output.size();
            zip.output.resize(before + kDeflateChunk);
            stream.next_out = zip.output.data() + before;
            stream.avail_out = static_cast<uInt>(kDeflateChunk);
            status = deflate(&stream, pieceFlush);
            zip.output.resize(zip.output.size() - stream.avail_out);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                return ZipCode::CompressorFlush;
            }
        } while (stream.avail_out == 0 || (pieceFlush == Z_FINISH && status != Z_STREAM_END));
        data += piece;
        size -= piece;
    } while (size > 0);
    return 0;
}

int StartEntry(ZipArchive& zip, std::string name)
{
    ZipArchive::Entry entry;
    entry.localHeaderOffset = zip.output.size();
    // The local header's place, filled in when the entry is finished.
    zip.output.resize(zip.output.size() + kLocalHeaderSize, 0);
    zip.output.insert(zip.output.end(), name.begin(), name.end());
    entry.dataOffset = zip.output.size();
    const int level = zip.level & 0x0F;
    if (level != 0) {
        entry.method = kMethodDeflated;
        const int deflateLevel = std::min(level, kMaxDeflateLevel);
        if (deflateLevel <= 2) {
            entry.flags = kFlagDeflateFast;
        } else if (deflateLevel >= 8) {
            entry.flags = kFlagDeflateMaximum;
        }
        int status = Z_OK;
        if (!zip.deflater) {
            zip.deflater.reset(new z_stream{});
            status = deflateInit2(zip.deflater.get(), deflateLevel, Z_DEFLATED, kRawWindowBits, kMemLevel,
                                  Z_DEFAULT_STRATEGY);
            if (status != Z_OK) {
                delete zip.deflater.release();  // never initialized: nothing for deflateEnd
            }
        } else {
            status = deflateReset(zip.deflater.get());
        }
        if (status != Z_OK) {
            zip.output.resize(static_cast<std::size_t>(entry.localHeaderOffset));
            return ZipCode::CompressorInit;
        }
    }
    entry.name = std::move(name);
    entry.time = std::time(nullptr);
    zip.entry = std::move(entry);
    zip.writing = true;
    return 0;
}

int FinishEntry(ZipArchive& zip)
{
    ZipArchive::Entry& entry = zip.entry;
    if (entry.method == kMethodDeflated) {
        if (const int result = Compress(zip, nullptr, 0, Z_FINISH); result != 0) {
            return result;
        }
    }
    const std::uint64_t compressedSize = zip.output.size() - entry.dataOffset;
    const std::uint64_t directorySize = zip.centralDirectory.size() + kCentralHeaderSize + entry.name.size();
    if (entry.size > kMaxArchiveSize || compressedSize > kMaxArchiveSize ||
        zip.output.size() + directorySize + kEndRecordSize > kMaxArchiveSize) {
        return ZipCode::NoZip64;
    }
    const DosStamp stamp = ToDosStamp(entry.time);
    const auto nameLength = static_cast<std::uint32_t>(entry.name.size());
    const std::uint16_t versionNeeded = entry.method == kMethodDeflated ? kVersionNeededDeflated : kVersionNeededStored;

    std::uint8_t* header = zip.output.data() + entry.localHeaderOffset;
    Put32(header, kLocalHeaderSignature);
    Put16(header + 4, versionNeeded);
    Put16(header + 6, entry.flags);  // sizes and CRC-32 stand here: no data descriptor
    Put16(header + 8, entry.method);
    Put16(header + 10, stamp.time);
    Put16(header + 12, stamp.date);
    Put32(header + 14, entry.crc);
    Put32(header + 18, static_cast<std::uint32_t>(compressedSize));
    Put32(header + 22, static_cast<std::uint32_t>(entry.size));
    Put16(header + 26, nameLength);
    Put16(header + 28, 0);  // no extra field

    std::vector<std::uint8_t>& cd = zip.centralDirectory;
    Append32(cd, kCentralHeaderSignature);
    Append16(cd, kVersionMadeBy);
    Append16(cd, versionNeeded);
    Append16(cd, entry.flags);
    Append16(cd, entry.method);
    Append16(cd, stamp.time);
    Append16(cd, stamp.date);
    Append32(cd, entry.crc);
    Append32(cd, static_cast<std::uint32_t>(compressedSize));
    Append32(cd, static_cast<std::uint32_t>(entry.size));
    Append16(cd, nameLength);
    Append16(cd, 0);  // extra field
    Append16(cd, 0);  // comment
    Append16(cd, 0);  // disk
    Append16(cd, 0);  // internal attributes
    Append32(cd, 0);  // external attributes
    Append32(cd, static_cast<std::uint32_t>(entry.localHeaderOffset));
    cd.insert(cd.end(), entry.name.begin(), entry.name.end());

    zip.names.insert(entry.name);
    ++zip.entryCount;
    return 0;
}

// Appends the central directory and the end record.
void Finalize(ZipArchive& zip)
{
    const auto directoryOffset = static_cast<std::uint32_t>(zip.output.size());
    const auto directorySize = static_cast<std::uint32_t>(zip.centralDirectory.size());
    zip.output.insert(zip.output.end(), zip.centralDirectory.begin(), zip.centralDirectory.end());
    std::vector<std::uint8_t>& out = zip.output;
    Append32(out, kEndRecordSignature);
    Append16(out, 0);  // this disk
    Append16(out, 0);  // disk of the central directory
    Append16(out, static_cast<std::uint32_t>(zip.entryCount));
    Append16(out, static_cast<std::uint32_t>(zip.entryCount));
    Append32(out, directorySize);
    Append32(out, directoryOffset);
    Append16(out, 0);  // no archive comment
    zip.centralDirectory.clear();
    zip.centralDirectory.shrink_to_fit();
    zip.deflater.reset();
    zip.mode = ZipArchive::Mode::Finalized;
}

// Reads the central directory of the archive bytes; false when they are not
// a classic zip archive whose records all lie within the bytes.
bool ReadDirectory(ZipArchive& zip)
{
    const std::vector<std::uint8_t>& bytes = zip.input;
    if (bytes.size() < kEndRecordSize) {
        return false;
    }
    // The end record is the last signature whose comment length reaches
    // exactly to the end of the bytes.
    const std::size_t lowest = bytes.size() - kEndRecordSize - std::min(bytes.size() - kEndRecordSize, kMaxCommentSize);
    std::size_t end = bytes.size() - kEndRecordSize;
    for (;; --end) {
        const std::uint8_t* at = bytes.data() + end;
        if (Get32(at) == kEndRecordSignature && end + kEndRecordSize + Get16(at + 20) == bytes.size()) {
            break;
        }
        if (end == lowest) {
            return false;
        }
    }
    const std::uint8_t* record = bytes.data() + end;
    const std::uint32_t diskEntries = Get16(record + 8);
    const std::uint32_t totalEntries = Get16(record + 10);
    const std::uint64_t directorySize = Get32(record + 12);
    const std::uint64_t directoryOffset = Get32(record + 16);
    // Split archives, and zip64 archives (their counts and offsets stand in
    // other records), are not read.
    if (Get16(record + 4) != 0 || Get16(record + 6) != 0 || diskEntries != totalEntries ||
        directoryOffset + directorySize > end) {
        return false;
    }

    zip.directory.reserve(totalEntries);
    std::uint64_t at = directoryOffset;
    const std::uint64_t directoryEnd = directoryOffset + directorySize;
    for (std::uint32_t i = 0; i < totalEntries; ++i) {
        if (at + kCentralHeaderSize > directoryEnd) {
            return false;
        }
        const std::uint8_t* header = bytes.data() + at;
        if (Get32(header) != kCentralHeaderSignature) {
            return false;
        }
        const std::uint32_t nameLength = Get16(header + 28);
        const std::uint64_t recordSize =
            kCentralHeaderSize + nameLength + Get16(header + 30) + static_cast<std::uint64_t>(Get16(header + 32));
        if (at + recordSize > directoryEnd) {
            return false;
        }
        DirectoryEntry entry;
        entry.flags = static_cast<std::uint16_t>(Get16(header + 8));
        entry.method = static_cast<std::uint16_t>(Get16(header + 10));
        entry.crc = Get32(header + 16);
        entry.compressedSize = Get32(header + 20);
        entry.size = Get32(header + 24);
        entry.localHeaderOffset = Get32(header + 42);
        const auto* name = reinterpret_cast<const char*>(header + kCentralHeaderSize);
        entry.name.assign(name, nameLength);
        if (entry.localHeaderOffset >= directoryOffset) {
            return false;
        }
        zip.directory.push_back(std::move(entry));
        at += recordSize;
    }
    return true;
}

// The entry's stored bytes as its local header places them; empty span and
// false when they lie outside the archive.
bool EntryData(const ZipArchive& zip, const DirectoryEntry& entry, std::span<const std::uint8_t>& data)
{
    const std::vector<std::uint8_t>& bytes = zip.input;
    const std::uint64_t headerAt = entry.localHeaderOffset;
    if (headerAt + kLocalHeaderSize > bytes.size()) {
        return false;
    }
    const std::uint8_t* header = bytes.data() + headerAt;
    if (Get32(header) != kLocalHeaderSignature) {
        return false;
    }
    const std::uint64_t dataAt = headerAt + kLocalHeaderSize + Get16(header + 26) + Get16(header + 28);
    if (dataAt + entry.compressedSize > bytes.size()) {
        return false;
    }
    data = std::span<const std::uint8_t>(bytes.data() + dataAt, entry.compressedSize);
    return true;
}

// Inflates a raw deflate stream that must end within the data and give
// exactly `size` bytes.
bool Inflate(std::span<const std::uint8_t> data, std::uint32_t size, std::vector<std::uint8_t>& block)
{
    z_stream stream{};
    if (inflateInit2(&stream, kRawWindowBits) != Z_OK) {
        return false;
    }
    const std::unique_ptr<z_stream, InflateEnder> guard(&stream);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    block.reserve(std::min<std::size_t>(size, kMaxReserve));
    for (;;) {
        // Memory grows with the data actually produced, one piece beyond
        // the declared size at most.
        if (block.size() > size) {
            return false;
        }
        const std::size_t before = block.size();
        block.resize(before + kInflateChunk);
        stream.next_out = block.data() + before;
        stream.avail_out = static_cast<uInt>(kInflateChunk);
        const int status = inflate(&stream, Z_NO_FLUSH);
        block.resize(block.size() - stream.avail_out);
        if (status == Z_STREAM_END) {
            return block.size() == size;
        }
        if (status != Z_OK) {
            return false;  // damaged data, or data that stops before its end
        }
    }
}

}  // namespace

ZipArchivePtr ZipStreamOpen(const void* buffer, std::size_t size, int level, char mode) noexcept
{
    try {
        if (level < 0) {
            level = kDefaultLevel;
        }
        if ((level & 0x0F) > kMaxLevel) {
            return nullptr;
        }
        ZipArchivePtr zip(new ZipArchive);
        zip->level = level;
        if (mode == 'r' && buffer != nullptr && size != 0) {
            // Offsets of the format are 32-bit.
            if (size > kMaxArchiveSize) {
                return nullptr;
            }
            const auto* bytes = static_cast<const std::uint8_t*>(buffer);
            zip->input.assign(bytes, bytes + size);
            if (!ReadDirectory(*zip)) {
                return nullptr;
            }
            zip->mode = ZipArchive::Mode::Reading;
            return zip;
        }
        if (mode == 'w' && buffer == nullptr && size == 0) {
            zip->mode = ZipArchive::Mode::Writing;
            return zip;
        }
        return nullptr;
    } catch (...) {
        return nullptr;
    }
}

int ZipEntryOpen(ZipArchive* zip, const char* name) noexcept
{
    if (zip == nullptr) {
        return ZipCode::NotInitialized;
    }
    if (name == nullptr || *name == '\0') {
        return ZipCode::InvalidEntryName;
    }
    try {
        if (zip->mode == ZipArchive::Mode::Reading) {
            zip->current = -1;
            const std::string wanted = NormalizedName(name);
            const auto found =
                std::find_if(zip->directory.begin(), zip->directory.end(),
                             [&](const DirectoryEntry& entry) { return SameNameIgnoringCase(entry.name, wanted); });
            if (found == zip->directory.end()) {
                return ZipCode::EntryNotFound;
            }
            zip->current = found - zip->directory.begin();
            return 0;
        }

        // An entry still being written must be closed first: starting another
        // one would drop its data.
        if (zip->mode != ZipArchive::Mode::Writing || zip->writing) {
            return ZipCode::InvalidMode;
        }
        if ((zip->level & kPrecompressedFlag) != 0) {
            return ZipCode::InvalidLevel;
        }
        std::string entryName = NormalizedName(name);
        if (zip->entryCount >= kMaxEntries || zip->output.size() + zip->centralDirectory.size() + kLocalHeaderSize +
                                                      kCentralHeaderSize + 2 * entryName.size() + kEndRecordSize >
                                                  kMaxArchiveSize) {
            return ZipCode::NoZip64;
        }
        // The name must fit its 16-bit length field, and a second entry of
        // the same name would make the archive ambiguous to readers.
        if (entryName.size() > kMaxNameLength || zip->names.contains(entryName)) {
            return ZipCode::InvalidEntryName;
        }
        return StartEntry(*zip, std::move(entryName));
    } catch (...) {
        return ZipCode::InvalidEntryName;  // the name could not be copied
    }
}

int ZipEntryWrite(ZipArchive* zip, const void* data, std::size_t size) noexcept
{
    if (zip == nullptr) {
        return ZipCode::NotInitialized;
    }
    if (data == nullptr || size == 0) {
        return 0;
    }
    if (zip->mode != ZipArchive::Mode::Writing || !zip->writing) {
        return ZipCode::CannotWriteEntryData;
    }
    ZipArchive::Entry& entry = zip->entry;
    // An entry beyond 4 GiB would need zip64.
    if (size > kMaxArchiveSize - entry.size) {
        return ZipCode::NoZip64;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    try {
        // The CRC-32 is computed over the bytes as given, in pieces zlib can count.
        for (std::size_t done = 0; done < size;) {
            const std::size_t piece = std::min<std::size_t>(size - done, std::numeric_limits<uInt>::max());
            entry.crc = static_cast<std::uint32_t>(crc32(entry.crc, bytes + done, static_cast<uInt>(piece)));
            done += piece;
        }
        entry.size += size;
        if (entry.method == kMethodDeflated) {
            return Compress(*zip, bytes, size, Z_NO_FLUSH);
        }
        zip->output.insert(zip->output.end(), bytes, bytes + size);
        return 0;
    } catch (...) {
        return ZipCode::OutOfMemory;
    }
}

std::int64_t ZipEntryRead(ZipArchive* zip, std::vector<std::uint8_t>& block) noexcept
{
    if (zip == nullptr) {
        return ZipCode::NotInitialized;
    }
    if (zip->mode != ZipArchive::Mode::Reading || zip->current < 0) {
        return ZipCode::EntryNotFound;
    }
    const DirectoryEntry& entry = zip->directory[static_cast<std::size_t>(zip->current)];
    if (!entry.name.empty() && entry.name.back() == '/') {
        return ZipCode::InvalidEntryType;
    }
    block.clear();
    try {
        std::span<const std::uint8_t> data;
        bool extracted = false;
        if ((entry.flags & kFlagEncrypted) == 0 && EntryData(*zip, entry, data)) {
            if (entry.method == kMethodStored) {
                extracted = entry.compressedSize == entry.size;
                if (extracted) {
                    block.assign(data.begin(), data.end());
                }
            } else if (entry.method == kMethodDeflated) {
                extracted = Inflate(data, entry.size, block);
            }
        }
        if (extracted) {
            std::uint32_t crc = 0;
            for (std::size_t done = 0; done < block.size();) {
                const std::size_t piece = std::min<std::size_t>(block.size() - done, std::numeric_limits<uInt>::max());
                crc = static_cast<std::uint32_t>(crc32(crc, block.data() + done, static_cast<uInt>(piece)));
                done += piece;
            }
            extracted = crc == entry.crc;
        }
        if (!extracted) {
            block.clear();
            return ZipCode::ExtractionFailed;
        }
        return static_cast<std::int64_t>(block.size());
    } catch (...) {
        block.clear();
        block.shrink_to_fit();
        return ZipCode::OutOfMemory;
    }
}

int ZipEntryClose(ZipArchive* zip) noexcept
{
    if (zip == nullptr) {
        return ZipCode::NotInitialized;
    }
    int result = 0;
    if (zip->mode == ZipArchive::Mode::Writing && zip->writing) {
        try {
            result = FinishEntry(*zip);
        } catch (...) {
            result = ZipCode::OutOfMemory;
        }
        if (result != 0) {
            // What the failed entry left in the archive goes.
            zip->output.resize(static_cast<std::size_t>(zip->entry.localHeaderOffset));
        }
        zip->writing = false;
        zip->entry = ZipArchive::Entry{};
    }
    zip->current = -1;
    return result;
}

std::int64_t ZipStreamCopy(ZipArchive* zip, std::vector<std::uint8_t>& block) noexcept
{
    if (zip == nullptr) {
        return ZipCode::NotInitialized;
    }
    block.clear();
    try {
        switch (zip->mode) {
        case ZipArchive::Mode::Reading:
            block = zip->input;
            return static_cast<std::int64_t>(block.size());
        case ZipArchive::Mode::Writing:
            // Finishing now would leave the open entry out of the archive.
            if (zip->writing) {
                return ZipCode::InvalidMode;
            }
            Finalize(*zip);
            break;
        case ZipArchive::Mode::Finalized:
            break;
        }
        block = zip->output;
        return static_cast<std::int64_t>(block.size());
    } catch (...) {
        block.clear();
        return ZipCode::OutOfMemory;
    }
}

void ZipStreamClose(ZipArchivePtr zip) noexcept
{
    zip.reset();
}

void ZipClose(ZipArchivePtr zip) noexcept
{
    zip.reset();
}

std::int64_t ZipEntriesTotal(const ZipArchive* zip) noexcept
{
    if (zip == nullptr) {
        return ZipCode::NotInitialized;
    }
    if (zip->mode == ZipArchive::Mode::Reading) {
        return static_cast<std::int64_t>(zip->directory.size());
    }
    return zip->entryCount;
}

const char* ZipStrError(int code) noexcept
{
    if (code >= 0 || code < -static_cast<int>(kErrorTexts.size())) {
        return nullptr;
    }
    return kErrorTexts[static_cast<std::size_t>(-code - 1)];
}
