#include "page_layouts.h"

#include <algorithm>

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

// A cursor over the bit stream of one layout. Positions that fall outside the
// page are skipped when writing and read as 0.
class BitStream {
public:
    BitStream(CdsPageLayout layout, size_t pageSize) : layout_(layout), pageSize_(pageSize) {}

    bool Locate(size_t& byte, unsigned& bit) const
    {
        const size_t step = pos_ / 8;
        const unsigned within = static_cast<unsigned>(pos_ % 8);
        switch (layout_) {
        case CdsPageLayout::Backward128:
            if (step >= pageSize_) {
                return false;
            }
            byte = pageSize_ - 1 - step;
            bit = 7 - within;
            return true;
        case CdsPageLayout::Forward128:
            byte = kForwardStreamStart + step;
            bit = 7 - within;
            return byte < pageSize_;
        case CdsPageLayout::Checksum512:
            byte = kChecksumStreamStart + step;
            bit = within;
            return byte < pageSize_;
        }
        return false;
    }

    void Put(std::span<uint8_t> page, bool set)
    {
        size_t byte = 0;
        unsigned bit = 0;
        if (set && Locate(byte, bit)) {
            page[byte] = static_cast<uint8_t>(page[byte] | (1u << bit));
        }
        ++pos_;
    }

    bool Get(std::span<const uint8_t> page)
    {
        size_t byte = 0;
        unsigned bit = 0;
        const bool set = Locate(byte, bit) && ((static_cast<unsigned>(page[byte]) >> bit) & 1u) != 0;
        ++pos_;
        return set;
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
        const uint32_t width = FieldWidth(fields[i].flags);
        const auto value = static_cast<uint32_t>(fields[i].value);
        for (uint32_t k = 0; k < width; ++k) {
            const uint32_t bit = width - 1 - k;
            stream.Put(page, bit < 32 && ((value >> bit) & 1u) != 0);
        }
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
        const uint32_t width = FieldWidth(fields[i].flags);
        uint32_t value = 0;
        for (uint32_t k = 0; k < width; ++k) {
            // Shifting the unsigned value through all w bits keeps the last 32.
            value = (value << 1) | (stream.Get(page) ? 1u : 0u);
        }
        fields[i].value = static_cast<int32_t>(value);
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
        const uint32_t width = FieldWidth512(fields[i].flags);
        const auto value = static_cast<uint32_t>(fields[i].value);
        for (uint32_t j = 0; j < width; ++j) {
            stream.Put(page, j < 32 && ((value >> j) & 1u) != 0);
        }
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
        const uint32_t width = FieldWidth512(fields[i].flags);
        uint32_t value = 0;
        for (uint32_t j = 0; j < width; ++j) {
            if (stream.Get(page) && j < 32) {
                value |= 1u << j;
            }
        }
        fields[i].value = static_cast<int32_t>(value);
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
