#include "page_layouts.h"

#include <algorithm>
#include <array>

namespace {

constexpr size_t kForwardStreamStart = 80;
constexpr size_t kChecksumStreamStart = 128;
constexpr size_t kChecksumMaxRecords = 512;

// Section boundaries of a field array: bit fields in [0, separator), words in
// (separator, wordsEnd).
struct Sections {
    size_t separator;
    size_t wordsEnd;
};

Sections FindSections128(std::span<const UnpackedField> fields)
{
    size_t sep = 0;
    while (sep < fields.size() && FieldWidth(fields[sep].flags) != 0) {
        ++sep;
    }
    size_t end = sep < fields.size() ? sep + 1 : sep;
    while (end < fields.size() && FieldWidth(fields[end].flags) != 0) {
        ++end;
    }
    return {sep, end};
}

Sections FindSections512(std::span<const UnpackedField> fields)
{
    const size_t limit = std::min(fields.size(), kChecksumMaxRecords);
    size_t sep = 0;
    while (sep < limit && fields[sep].flags != 0) {
        ++sep;
    }
    size_t end = sep < limit ? sep + 1 : sep;
    while (end < limit && fields[end].flags != 0) {
        ++end;
    }
    return {sep, end};
}

// Where the bit stream of one layout lies in the page. Stream bits that fall
// outside the page are skipped when writing and read as 0. Fields are read
// and written a byte's worth of bits at a time.
class BitStream {
public:
    BitStream(CdsPageLayout layout, size_t pageSize) : layout_(layout), pageSize_(pageSize) {}

    // The page byte holding stream byte `step`; false outside the page.
    bool ByteOf(size_t step, size_t& byte) const
    {
        switch (layout_) {
        case CdsPageLayout::Backward128:
            if (step >= pageSize_) {
                return false;
            }
            byte = pageSize_ - 1 - step;
            return true;
        case CdsPageLayout::Forward128:
            byte = kForwardStreamStart + step;
            return byte < pageSize_;
        case CdsPageLayout::Checksum512:
            byte = kChecksumStreamStart + step;
            return byte < pageSize_;
        }
        return false;
    }

    // Most fields are narrow and lie inside the page: they are read and
    // written through the four stream bytes from the one holding their first
    // bit, as one 32-bit window whose first stream bit is its top bit (bit 7
    // first layouts) or its bottom bit (bit 0 first). False when the four
    // bytes do not all lie in the page.
    static constexpr uint32_t kWindowWidth = 25;  // a field and its offset in its first byte

    bool WindowBytes(size_t step, size_t& first) const
    {
        switch (layout_) {
        case CdsPageLayout::Backward128:
            if (step + 3 >= pageSize_) {
                return false;
            }
            first = pageSize_ - 1 - step;
            return true;
        case CdsPageLayout::Forward128:
            first = kForwardStreamStart + step;
            return first + 3 < pageSize_;
        case CdsPageLayout::Checksum512:
            first = kChecksumStreamStart + step;
            return first + 3 < pageSize_;
        }
        return false;
    }

    // The window's four page bytes in stream order.
    std::array<size_t, 4> WindowAt(size_t first) const
    {
        if (layout_ == CdsPageLayout::Backward128) {
            return {first, first - 1, first - 2, first - 3};
        }
        return {first, first + 1, first + 2, first + 3};
    }

    // The next `width` bits, the first of them the most significant, of which
    // the last 32 are kept (bit 7 of a byte comes first in the stream).
    uint32_t ReadMsbFirst(std::span<const uint8_t> page, uint32_t width)
    {
        size_t first = 0;
        if (width <= kWindowWidth && WindowBytes(pos_ / 8, first)) {
            const auto at = WindowAt(first);
            const uint32_t window = static_cast<uint32_t>(page[at[0]]) << 24 |
                                    static_cast<uint32_t>(page[at[1]]) << 16 | static_cast<uint32_t>(page[at[2]]) << 8 |
                                    static_cast<uint32_t>(page[at[3]]);
            const auto within = static_cast<uint32_t>(pos_ % 8);
            pos_ += width;
            return (window >> (32 - within - width)) & ((1u << width) - 1u);
        }
        const uint32_t kept = std::min(width, 32u);
        size_t at = pos_ + (width - kept);
        uint64_t value = 0;
        for (uint32_t k = 0; k < kept;) {
            const auto within = static_cast<uint32_t>(at % 8);
            const uint32_t n = std::min(8 - within, kept - k);
            size_t byte = 0;
            const uint32_t bits =
                ByteOf(at / 8, byte) ? (static_cast<uint32_t>(page[byte]) >> (8 - within - n)) & ((1u << n) - 1u) : 0u;
            value = (value << n) | bits;
            k += n;
            at += n;
        }
        pos_ += width;
        return static_cast<uint32_t>(value);
    }

    // The value's bits for `width` stream bits, most significant first; bits
    // above 32 are zero (the page starts cleared, so they are not written).
    void WriteMsbFirst(std::span<uint8_t> page, uint32_t width, uint32_t value)
    {
        size_t first = 0;
        if (width <= kWindowWidth && WindowBytes(pos_ / 8, first)) {
            const auto within = static_cast<uint32_t>(pos_ % 8);
            const uint32_t bits = (value & ((1u << width) - 1u)) << (32 - within - width);
            const auto at = WindowAt(first);
            for (size_t j = 0; j < 4; ++j) {
                page[at[j]] = static_cast<uint8_t>(page[at[j]] | (bits >> (24 - 8 * j)));
            }
            pos_ += width;
            return;
        }
        const uint32_t kept = std::min(width, 32u);
        size_t at = pos_ + (width - kept);
        for (uint32_t k = 0; k < kept;) {
            const auto within = static_cast<uint32_t>(at % 8);
            const uint32_t n = std::min(8 - within, kept - k);
            const uint32_t bits = static_cast<uint32_t>(value >> (kept - k - n)) & ((1u << n) - 1u);
            size_t byte = 0;
            if (bits != 0 && ByteOf(at / 8, byte)) {
                page[byte] = static_cast<uint8_t>(page[byte] | (bits << (8 - within - n)));
            }
            k += n;
            at += n;
        }
        pos_ += width;
    }

    // The next `width` bits, the first the least significant, of which the
    // first 32 are kept (bit 0 of a byte comes first in the stream).
    uint32_t ReadLsbFirst(std::span<const uint8_t> page, uint32_t width)
    {
        size_t first = 0;
        if (width <= kWindowWidth && WindowBytes(pos_ / 8, first)) {
            const auto at = WindowAt(first);
            const uint32_t window = static_cast<uint32_t>(page[at[3]]) << 24 |
                                    static_cast<uint32_t>(page[at[2]]) << 16 | static_cast<uint32_t>(page[at[1]]) << 8 |
                                    static_cast<uint32_t>(page[at[0]]);
            const auto within = static_cast<uint32_t>(pos_ % 8);
            pos_ += width;
            return (window >> within) & ((1u << width) - 1u);
        }
        const uint32_t kept = std::min(width, 32u);
        size_t at = pos_;
        uint64_t value = 0;
        for (uint32_t k = 0; k < kept;) {
            const auto within = static_cast<uint32_t>(at % 8);
            const uint32_t n = std::min(8 - within, kept - k);
            size_t byte = 0;
            const uint32_t bits =
                ByteOf(at / 8, byte) ? (static_cast<uint32_t>(page[byte]) >> within) & ((1u << n) - 1u) : 0u;
            value |= static_cast<uint64_t>(bits) << k;
            k += n;
            at += n;
        }
        pos_ += width;
        return static_cast<uint32_t>(value);
    }

    // The value's low bits for `width` stream bits, least significant first;
    // bits above 32 are zero.
    void WriteLsbFirst(std::span<uint8_t> page, uint32_t width, uint32_t value)
    {
        size_t first = 0;
        if (width <= kWindowWidth && WindowBytes(pos_ / 8, first)) {
            const auto within = static_cast<uint32_t>(pos_ % 8);
            const uint32_t bits = (value & ((1u << width) - 1u)) << within;
            const auto at = WindowAt(first);
            for (size_t j = 0; j < 4; ++j) {
                page[at[j]] = static_cast<uint8_t>(page[at[j]] | (bits >> (8 * j)));
            }
            pos_ += width;
            return;
        }
        const uint32_t kept = std::min(width, 32u);
        size_t at = pos_;
        for (uint32_t k = 0; k < kept;) {
            const auto within = static_cast<uint32_t>(at % 8);
            const uint32_t n = std::min(8 - within, kept - k);
            const uint32_t bits = static_cast<uint32_t>(value >> k) & ((1u << n) - 1u);
            size_t byte = 0;
            if (bits != 0 && ByteOf(at / 8, byte)) {
                page[byte] = static_cast<uint8_t>(page[byte] | (bits << within));
            }
            k += n;
            at += n;
        }
        pos_ += width;
    }

private:
    CdsPageLayout layout_;
    size_t pageSize_;
    size_t pos_ = 0;
};

void PutWord(std::span<uint8_t> page, size_t index, int32_t value)
{
    const size_t at = 2 * index;
    if (at + 1 < page.size()) {
        const auto v = static_cast<uint32_t>(value);
        page[at] = static_cast<uint8_t>(v & 0xFFu);
        page[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFFu);
    }
}

int32_t GetWord(std::span<const uint8_t> page, size_t index)
{
    const size_t at = 2 * index;
    if (at + 1 >= page.size()) {
        return 0;
    }
    return static_cast<int32_t>(page[at] | (static_cast<uint32_t>(page[at + 1]) << 8));
}

void Pack128(CdsPageLayout layout, std::span<uint8_t> page, std::span<const UnpackedField> fields)
{
    std::fill(page.begin(), page.end(), uint8_t{0});
    const Sections sections = FindSections128(fields);
    BitStream stream(layout, page.size());
    for (size_t i = 0; i < sections.separator; ++i) {
        stream.WriteMsbFirst(page, FieldWidth(fields[i].flags), static_cast<uint32_t>(fields[i].value));
    }
    for (size_t i = sections.separator + 1; i < sections.wordsEnd; ++i) {
        PutWord(page, i - sections.separator - 1, fields[i].value);
    }
}

void Unpack128(CdsPageLayout layout, std::span<const uint8_t> page, std::span<UnpackedField> fields)
{
    const Sections sections = FindSections128(fields);
    BitStream stream(layout, page.size());
    for (size_t i = 0; i < sections.separator; ++i) {
        fields[i].value = static_cast<int32_t>(stream.ReadMsbFirst(page, FieldWidth(fields[i].flags)));
    }
    for (size_t i = sections.separator + 1; i < sections.wordsEnd; ++i) {
        fields[i].value = GetWord(page, i - sections.separator - 1);
    }
}

void Pack512(std::span<uint8_t> page, std::span<const UnpackedField> fields)
{
    std::fill(page.begin(), page.end(), uint8_t{0});
    const Sections sections = FindSections512(fields);
    BitStream stream(CdsPageLayout::Checksum512, page.size());
    for (size_t i = sections.separator; i-- > 0;) {
        stream.WriteLsbFirst(page, FieldWidth512(fields[i].flags), static_cast<uint32_t>(fields[i].value));
    }
    for (size_t i = sections.separator + 1; i < sections.wordsEnd; ++i) {
        PutWord(page, i - sections.separator - 1, fields[i].value);
    }
    if (!page.empty()) {
        const uint8_t sum = FoldedByteSum(page.first(page.size() - 1));
        page.back() = static_cast<uint8_t>((256u - sum) & 0xFFu);
    }
}

int Unpack512(std::span<const uint8_t> page, std::span<UnpackedField> fields)
{
    if (FoldedByteSum(page) != 1) {
        return -1;
    }
    const Sections sections = FindSections512(fields);
    for (size_t i = sections.separator + 1; i < sections.wordsEnd; ++i) {
        fields[i].value = GetWord(page, i - sections.separator - 1);
    }
    BitStream stream(CdsPageLayout::Checksum512, page.size());
    for (size_t i = sections.separator; i-- > 0;) {
        fields[i].value = static_cast<int32_t>(stream.ReadLsbFirst(page, FieldWidth512(fields[i].flags)));
    }
    return 0;
}

}  // namespace

uint8_t FoldedByteSum(std::span<const uint8_t> bytes)
{
    uint32_t sum = 0;
    for (const uint8_t byte : bytes) {
        sum += byte;
        sum = (sum + (sum >> 8)) & 0xFFu;
    }
    return static_cast<uint8_t>(sum);
}

void PackPage(CdsPageLayout layout, std::span<uint8_t> page, std::span<const UnpackedField> fields)
{
    if (layout == CdsPageLayout::Checksum512) {
        Pack512(page, fields);
    } else {
        Pack128(layout, page, fields);
    }
}

int UnpackPage(CdsPageLayout layout, std::span<const uint8_t> page, std::span<UnpackedField> fields)
{
    if (layout == CdsPageLayout::Checksum512) {
        return Unpack512(page, fields);
    }
    Unpack128(layout, page, fields);
    return 0;
}
