#include "zip_archive.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <new>
#include <string>
#include <string_view>

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
// The bit that once told the writer its data came compressed already; this
// writer compresses everything itself and refuses it.
constexpr int kPrecompressedFlag = 0x400;

// Archives stay within the classic format: no zip64 records, so at most
// 65535 entries and every size and offset within 32 bits.
constexpr std::int64_t kMaxEntries = 0xFFFF;
constexpr std::uint64_t kMaxArchiveSize = 0xFFFFFFFFu;
constexpr std::uint64_t kHeaderBytes = 30 + 46;  // local header + central-directory record
constexpr std::size_t kMaxNameLength = 0xFFFF;

constexpr std::size_t kReadChunk = 64 * 1024;
// A damaged directory may claim any size; never reserve more than this ahead
// of data that has actually been inflated.
constexpr std::uint64_t kMaxReserve = 16u * 1024 * 1024;

struct ArchiveCloser {
    void operator()(zip_t* archive) const noexcept { zip_discard(archive); }
};
struct SourceReleaser {
    void operator()(zip_source_t* source) const noexcept { zip_source_free(source); }
};
struct FileCloser {
    void operator()(zip_file_t* file) const noexcept { zip_fclose(file); }
};
using ArchivePtr = std::unique_ptr<zip_t, ArchiveCloser>;
using SourcePtr = std::unique_ptr<zip_source_t, SourceReleaser>;
using FilePtr = std::unique_ptr<zip_file_t, FileCloser>;

// Upper bound of the deflated size of n bytes (deflate's worst case: stored
// blocks with their block headers, plus the end of the stream).
std::uint64_t CompressedBound(std::uint64_t n, int level)
{
    if (level == 0) {
        return n;
    }
    return n + (n >> 12) + (n >> 14) + (n >> 25) + 13;
}

std::string NormalizedName(const char* name)
{
    std::string copy(name);
    std::replace(copy.begin(), copy.end(), '\\', '/');
    return copy;
}

}  // namespace

struct ZipArchive {
    enum class Mode {
        Reading,
        Writing,
        Finalized,
        Broken
    };

    struct Entry {
        std::int64_t index = -1;  // -1: no current entry
        std::string name;
        bool isDirectory = false;
        bool writing = false;  // a writer's entry between open and close
        std::vector<std::uint8_t> data;
        std::time_t time = 0;
    };

    Mode mode = Mode::Reading;
    int level = kDefaultLevel;

    // Declared before the archive, so that they outlive it: the archive reads
    // from these bytes until it is discarded or finalized.
    std::vector<std::uint8_t> input;                    // reader: copy of the archive bytes
    SourcePtr target;                                   // writer: the archive being built
    std::vector<std::vector<std::uint8_t>> entryBytes;  // writer: data of the finished entries
    ArchivePtr archive;

    std::vector<std::uint8_t> finished;  // writer: the archive once finalized
    std::int64_t entryCount = 0;         // writer: finished entries
    std::uint64_t sizeBound = 0;         // writer: upper bound of the archive size so far
    Entry entry;

    void ForgetEntry() { entry = Entry{}; }
};

void ZipArchiveDeleter::operator()(ZipArchive* zip) const noexcept
{
    delete zip;
}

namespace {

int FinishEntry(ZipArchive& zip)
{
    ZipArchive::Entry& entry = zip.entry;
    const int storedLevel = zip.level & 0x0F;
    const std::uint64_t size = entry.data.size();
    const std::uint64_t bound = zip.sizeBound + kHeaderBytes + entry.name.size() + CompressedBound(size, storedLevel);
    if (bound > kMaxArchiveSize) {
        return ZipCode::NoZip64;
    }

    zip_error_t error;
    zip_error_init(&error);
    SourcePtr source(zip_source_buffer_create(entry.data.empty() ? nullptr : entry.data.data(), size, 0, &error));
    zip_error_fini(&error);
    if (!source) {
        return ZipCode::OutOfMemory;
    }
    const zip_int64_t index = zip_file_add(zip.archive.get(), entry.name.c_str(), source.get(), ZIP_FL_ENC_GUESS);
    if (index < 0) {
        return ZipCode::CannotWriteCentralDir;
    }
    source.release();  // the archive owns the source now

    const auto index64 = static_cast<zip_uint64_t>(index);
    const bool compressionSet =
        storedLevel == 0 ? zip_set_file_compression(zip.archive.get(), index64, ZIP_CM_STORE, 0) == 0
                         : zip_set_file_compression(zip.archive.get(), index64, ZIP_CM_DEFLATE,
                                                    static_cast<zip_uint32_t>(std::min(storedLevel, 9))) == 0;
    if (!compressionSet) {
        zip_delete(zip.archive.get(), index64);
        return ZipCode::CompressorInit;
    }
    // The entry carries the time it was opened, and no host-specific
    // attributes.
    if (zip_file_set_mtime(zip.archive.get(), index64, entry.time, 0) != 0 ||
        zip_file_set_external_attributes(zip.archive.get(), index64, 0, ZIP_OPSYS_DOS, 0) != 0) {
        zip_delete(zip.archive.get(), index64);
        return ZipCode::CannotCreateHeader;
    }

    // Moving the vector keeps its heap block, which the source points into.
    zip.entryBytes.push_back(std::move(entry.data));
    ++zip.entryCount;
    zip.sizeBound = bound;
    return 0;
}

// The 22-byte end-of-central-directory record of an archive without entries.
std::vector<std::uint8_t> EmptyArchive()
{
    std::vector<std::uint8_t> bytes(22, 0);
    bytes[0] = 0x50;
    bytes[1] = 0x4B;
    bytes[2] = 0x05;
    bytes[3] = 0x06;
    return bytes;
}

// Writes the central directory and end record and keeps the finished bytes.
int Finalize(ZipArchive& zip)
{
    if (zip.entryCount == 0) {
        zip.archive.reset();
        zip.finished = EmptyArchive();
        zip.mode = ZipArchive::Mode::Finalized;
        return 0;
    }
    zip.mode = ZipArchive::Mode::Broken;  // until the bytes are safely out
    if (zip_close(zip.archive.get()) != 0) {
        zip.archive.reset();
        return ZipCode::CloseArchiveError;
    }
    zip.archive.release();  // closed and freed by zip_close
    zip.entryBytes.clear();

    zip_source_t* target = zip.target.get();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_stat(target, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0 || zip_source_open(target) != 0) {
        return ZipCode::CloseArchiveError;
    }
    zip.finished.resize(st.size);
    const zip_int64_t got = st.size == 0 ? 0 : zip_source_read(target, zip.finished.data(), st.size);
    zip_source_close(target);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) {
        zip.finished.clear();
        return ZipCode::CloseArchiveError;
    }
    zip.target.reset();
    zip.mode = ZipArchive::Mode::Finalized;
    return 0;
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

        zip_error_t error;
        zip_error_init(&error);
        struct ErrorGuard {
            zip_error_t* e;
            ~ErrorGuard() { zip_error_fini(e); }
        } guard{&error};

        if (mode == 'r' && buffer != nullptr && size != 0) {
            const auto* bytes = static_cast<const std::uint8_t*>(buffer);
            zip->input.assign(bytes, bytes + size);
            SourcePtr source(zip_source_buffer_create(zip->input.data(), size, 0, &error));
            if (!source) {
                return nullptr;
            }
            zip->archive.reset(zip_open_from_source(source.get(), ZIP_RDONLY, &error));
            if (!zip->archive) {
                return nullptr;
            }
            source.release();  // owned by the archive now
            zip->mode = ZipArchive::Mode::Reading;
            return zip;
        }
        if (mode == 'w' && buffer == nullptr && size == 0) {
            zip->target.reset(zip_source_buffer_create(nullptr, 0, 0, &error));
            if (!zip->target) {
                return nullptr;
            }
            // One reference for the archive, one for us to read the result.
            zip_source_keep(zip->target.get());
            zip->archive.reset(zip_open_from_source(zip->target.get(), ZIP_CREATE | ZIP_TRUNCATE, &error));
            if (!zip->archive) {
                zip_source_free(zip->target.get());  // the archive's reference
                return nullptr;
            }
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
            zip->ForgetEntry();
            const std::string wanted = NormalizedName(name);
            const zip_int64_t index =
                zip_name_locate(zip->archive.get(), wanted.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
            zip_stat_t st;
            zip_stat_init(&st);
            if (index < 0 ||
                zip_stat_index(zip->archive.get(), static_cast<zip_uint64_t>(index), ZIP_FL_ENC_RAW, &st) != 0) {
                return ZipCode::EntryNotFound;
            }
            zip->entry.index = index;
            zip->entry.name = (st.valid & ZIP_STAT_NAME) != 0 && st.name != nullptr ? std::string(st.name) : wanted;
            zip->entry.isDirectory = !zip->entry.name.empty() && zip->entry.name.back() == '/';
            return 0;
        }

        // An entry still being written must be closed first: starting another
        // one would drop its data.
        if (zip->mode != ZipArchive::Mode::Writing || zip->entry.writing) {
            return ZipCode::InvalidMode;
        }
        if ((zip->level & kPrecompressedFlag) != 0) {
            return ZipCode::InvalidLevel;
        }
        std::string entryName = NormalizedName(name);
        if (zip->entryCount >= kMaxEntries || zip->sizeBound + kHeaderBytes + entryName.size() > kMaxArchiveSize) {
            return ZipCode::NoZip64;
        }
        // The name must fit its 16-bit length field, and a second entry of
        // the same name would make the archive ambiguous to readers.
        if (entryName.size() > kMaxNameLength ||
            zip_name_locate(zip->archive.get(), entryName.c_str(), ZIP_FL_ENC_RAW) >= 0) {
            return ZipCode::InvalidEntryName;
        }
        zip->ForgetEntry();
        zip->entry.index = zip->entryCount;
        zip->entry.name = std::move(entryName);
        zip->entry.writing = true;
        zip->entry.time = std::time(nullptr);
        return 0;
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
    if (zip->mode != ZipArchive::Mode::Writing || !zip->entry.writing) {
        return ZipCode::CannotWriteEntryData;
    }
    // An entry beyond 4 GiB would need zip64; refuse it before holding it.
    if (size > kMaxArchiveSize - zip->entry.data.size()) {
        return ZipCode::NoZip64;
    }
    try {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        zip->entry.data.insert(zip->entry.data.end(), bytes, bytes + size);
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
    if (zip->mode != ZipArchive::Mode::Reading || zip->entry.index < 0) {
        return ZipCode::EntryNotFound;
    }
    if (zip->entry.isDirectory) {
        return ZipCode::InvalidEntryType;
    }
    block.clear();
    try {
        const auto index = static_cast<zip_uint64_t>(zip->entry.index);
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip->archive.get(), index, 0, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0) {
            return ZipCode::ExtractionFailed;
        }
        FilePtr file(zip_fopen_index(zip->archive.get(), index, 0));
        if (!file) {
            return ZipCode::ExtractionFailed;
        }
        block.reserve(std::min<std::uint64_t>(st.size, kMaxReserve));
        // Inflate piece by piece: memory grows with the data actually
        // produced, and the reader checks the CRC-32 at the end.
        std::size_t total = 0;
        for (;;) {
            if (total > st.size) {
                block.clear();
                return ZipCode::ExtractionFailed;
            }
            block.resize(total + kReadChunk);
            const zip_int64_t got = zip_fread(file.get(), block.data() + total, kReadChunk);
            if (got < 0) {
                block.clear();
                return ZipCode::ExtractionFailed;
            }
            if (got == 0) {
                break;
            }
            total += static_cast<std::size_t>(got);
        }
        block.resize(total);
        if (total != st.size) {
            block.clear();
            return ZipCode::ExtractionFailed;
        }
        return static_cast<std::int64_t>(total);
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
    if (zip->mode == ZipArchive::Mode::Writing && zip->entry.writing) {
        try {
            result = FinishEntry(*zip);
        } catch (...) {
            result = ZipCode::OutOfMemory;
        }
    }
    zip->ForgetEntry();
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
            if (zip->entry.writing) {
                return ZipCode::InvalidMode;
            }
            if (const int result = Finalize(*zip); result != 0) {
                return result;
            }
            break;
        case ZipArchive::Mode::Finalized:
            break;
        case ZipArchive::Mode::Broken:
            return ZipCode::CloseArchiveError;
        }
        block = zip->finished;
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
        return zip_get_num_entries(zip->archive.get(), 0);
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
