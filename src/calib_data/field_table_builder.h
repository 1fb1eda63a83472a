#pragma once

// Compile-time building blocks of the field tables and display grids.
//
// The field lists are written as the sensors' register documentation gives
// them: one list per family, and each further version as that list with its
// differences applied (records removed, replaced or inserted). The grids are
// written with the field names shown in their cells and resolved here to
// record numbers. Every edit checks the records it replaces and every grid
// cell must name exactly one record, so a slip in the data stops the build.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "unpacked_field.h"

namespace cds_tables {

// A bit-field record: width in bits and raw data type (0 plain, 1 hexadecimal,
// 3 count code, 4 gain register code) with its initial value.
constexpr UnpackedField B(const char* name, uint32_t width, uint32_t rawType = 0, int32_t value = 0)
{
    return UnpackedField{width | (rawType << 12), value, name, ""};
}

// A 16-bit calibration word record with its whole flags word.
constexpr UnpackedField W(const char* name, uint32_t flags, int32_t value = 0)
{
    return UnpackedField{flags, value, name, ""};
}

// The record that closes a section: flags 0, value 0, empty texts.
inline constexpr std::array<UnpackedField, 1> kSectionEnd{UnpackedField{0, 0, "", ""}};

// ---- constexpr text helpers ------------------------------------------------

constexpr size_t TextLength(const char* text)
{
    size_t n = 0;
    while (text[n] != '\0') {
        ++n;
    }
    return n;
}

constexpr bool TextEquals(const char* a, const char* b)
{
    size_t i = 0;
    for (; a[i] != '\0' && b[i] != '\0'; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return a[i] == b[i];
}

// True when `name` without its leading and trailing blanks equals text[0, length).
constexpr bool TrimmedEquals(const char* name, const char* text, size_t length)
{
    size_t begin = 0;
    size_t end = TextLength(name);
    while (begin < end && name[begin] == ' ') {
        ++begin;
    }
    while (end > begin && name[end - 1] == ' ') {
        --end;
    }
    if (end - begin != length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (name[begin + i] != text[i]) {
            return false;
        }
    }
    return true;
}

// ---- tables ------------------------------------------------------------------

template <size_t... N>
constexpr std::array<UnpackedField, (N + ... + 0)> Join(const std::array<UnpackedField, N>&... parts)
{
    std::array<UnpackedField, (N + ... + 0)> out{};
    size_t at = 0;
    ((std::copy(parts.begin(), parts.end(), out.begin() + static_cast<std::ptrdiff_t>(at)), at += N), ...);
    return out;
}

template <size_t N>
constexpr uint32_t CountRecords(const std::array<UnpackedField, N>&)
{
    return static_cast<uint32_t>(N);
}

// Sum of the widths of the records before the first closing record.
template <size_t N>
constexpr uint32_t BitFieldWidthSum(const std::array<UnpackedField, N>& table)
{
    uint32_t sum = 0;
    for (const UnpackedField& record : table) {
        if (record.flags == 0) {
            break;
        }
        sum += record.flags & 0x1FFu;
    }
    return sum;
}

// Index of the n-th closing record (n = 0 is the separator after the bit fields).
template <size_t N>
constexpr uint16_t ClosingRecord(const std::array<UnpackedField, N>& table, int n)
{
    for (size_t i = 0; i < N; ++i) {
        if (table[i].flags == 0 && n-- == 0) {
            return static_cast<uint16_t>(i);
        }
    }
    throw "the table has fewer closing records";
}

// Records of a section: counts bit fields (n = 0) or the records between the
// n-th and (n+1)-th closing record.
template <size_t N>
constexpr uint32_t SectionRecordCount(const std::array<UnpackedField, N>& table, int n)
{
    const size_t begin = n == 0 ? 0 : ClosingRecord(table, n - 1) + 1u;
    return static_cast<uint32_t>(ClosingRecord(table, n) - begin);
}

// One difference between a version's table and the table it is written
// against. `first` counts records in the base table; `replaced` repeats the
// base records that go away (checked), `inserted` the records that take their
// place. An edit with nothing replaced inserts before `first`.
struct TableEdit {
    uint32_t first;
    std::span<const UnpackedField> replaced;
    std::span<const UnpackedField> inserted;
};

constexpr TableEdit Replace(uint32_t first, std::span<const UnpackedField> replaced,
                            std::span<const UnpackedField> inserted)
{
    return TableEdit{first, replaced, inserted};
}

constexpr TableEdit Remove(uint32_t first, std::span<const UnpackedField> replaced)
{
    return TableEdit{first, replaced, {}};
}

constexpr TableEdit InsertAfter(uint32_t record, std::span<const UnpackedField> inserted)
{
    return TableEdit{record + 1, {}, inserted};
}

template <size_t E>
constexpr size_t EditedSize(size_t baseSize, const TableEdit (&edits)[E])
{
    size_t size = baseSize;
    for (const TableEdit& edit : edits) {
        size = size + edit.inserted.size() - edit.replaced.size();
    }
    return size;
}

constexpr bool SameRecord(const UnpackedField& a, const UnpackedField& b)
{
    return a.flags == b.flags && TextEquals(a.name, b.name);
}

template <size_t Out, size_t In, size_t E>
constexpr std::array<UnpackedField, Out> ApplyEdits(const std::array<UnpackedField, In>& base,
                                                    const TableEdit (&edits)[E])
{
    std::array<UnpackedField, Out> out{};
    size_t o = 0;
    size_t b = 0;
    auto put = [&](const UnpackedField& record) {
        if (o >= Out) {
            throw "edited table is larger than declared";
        }
        out[o++] = record;
    };
    for (const TableEdit& edit : edits) {
        if (edit.first < b || edit.first + edit.replaced.size() > In) {
            throw "edits must be in record order and inside the base table";
        }
        while (b < edit.first) {
            put(base[b++]);
        }
        for (const UnpackedField& old : edit.replaced) {
            if (!SameRecord(base[b++], old)) {
                throw "an edit names a record the base table does not hold there";
            }
        }
        for (const UnpackedField& record : edit.inserted) {
            put(record);
        }
    }
    while (b < In) {
        put(base[b++]);
    }
    if (o != Out) {
        throw "edited table is smaller than declared";
    }
    return out;
}

// ---- display grids -------------------------------------------------------------

// A grid as its cells show it: field names without leading and trailing
// blanks, "(empty)" for an empty cell, and "<name> (record k)" where the name
// occurs more than once in the table.
template <size_t R, size_t C>
using GridText = std::array<std::array<const char*, C>, R>;

// A cell that differs in another version of a grid; row and column count from 1.
struct GridCell {
    uint32_t row;
    uint32_t column;
    const char* text;
};

template <size_t R, size_t C, size_t N>
constexpr GridText<R, C> WithCells(GridText<R, C> grid, const GridCell (&cells)[N])
{
    for (const GridCell& cell : cells) {
        if (cell.row < 1 || cell.row > R || cell.column < 1 || cell.column > C) {
            throw "grid cell outside the grid";
        }
        grid[cell.row - 1][cell.column - 1] = cell.text;
    }
    return grid;
}

template <size_t T>
constexpr uint16_t ResolveCell(const char* text, const std::array<UnpackedField, T>& table, uint16_t emptyRecord)
{
    if (TextEquals(text, "(empty)")) {
        return emptyRecord;
    }
    size_t length = TextLength(text);
    // "<name> (record k)": the name is repeated in the table; k picks one.
    constexpr const char kRecordTag[] = " (record ";
    constexpr size_t kTagLength = sizeof(kRecordTag) - 1;
    for (size_t at = 0; at + kTagLength < length; ++at) {
        bool tag = true;
        for (size_t i = 0; i < kTagLength && tag; ++i) {
            tag = text[at + i] == kRecordTag[i];
        }
        if (!tag) {
            continue;
        }
        size_t record = 0;
        size_t i = at + kTagLength;
        for (; text[i] >= '0' && text[i] <= '9'; ++i) {
            record = record * 10 + static_cast<size_t>(text[i] - '0');
        }
        if (text[i] != ')' || record >= T || !TrimmedEquals(table[record].name, text, at)) {
            throw "a grid cell names a record that does not carry that name";
        }
        return static_cast<uint16_t>(record);
    }
    size_t found = T;
    for (size_t i = 0; i < T; ++i) {
        if (table[i].flags != 0 && TrimmedEquals(table[i].name, text, length)) {
            if (found != T) {
                throw "a grid cell names a field that occurs more than once";
            }
            found = i;
        }
    }
    if (found == T) {
        throw "a grid cell names a field the table does not hold";
    }
    return static_cast<uint16_t>(found);
}

// Record numbers of the grid, stored row by row (entry [row][column]).
template <size_t R, size_t C, size_t T>
constexpr std::array<uint16_t, R * C> ResolveGrid(const GridText<R, C>& grid, const std::array<UnpackedField, T>& table,
                                                  uint16_t emptyRecord)
{
    std::array<uint16_t, R * C> cells{};
    for (size_t r = 0; r < R; ++r) {
        for (size_t c = 0; c < C; ++c) {
            cells[r * C + c] = ResolveCell(grid[r][c], table, emptyRecord);
        }
    }
    return cells;
}

// Bit-descriptor entries that differ in another version's table.
struct DescriptorChange {
    uint32_t entry;
    const char* name;     // nullptr: same as the base
    const char* comment;  // nullptr: same as the base
};

template <size_t N, size_t M>
constexpr std::array<UnpackedField, N> WithDescriptors(std::array<UnpackedField, N> table,
                                                       const DescriptorChange (&changes)[M])
{
    for (const DescriptorChange& change : changes) {
        if (change.entry >= N) {
            throw "descriptor entry outside the table";
        }
        if (change.name != nullptr) {
            table[change.entry].name = change.name;
        }
        if (change.comment != nullptr) {
            table[change.entry].comment = change.comment;
        }
    }
    return table;
}

}  // namespace cds_tables
