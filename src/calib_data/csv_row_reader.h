#pragma once

#include <cstddef>
#include <istream>
#include <iterator>
#include <string>
#include <vector>

// The plain CSV reader of the calibration files: a row is one line, a cell is
// whatever lies between two commas. No quoting, escaping, trimming or header
// handling; callers decide which rows and cells mean something.
class CsvRowReader {
public:
    // Characters of a line that are kept and split into cells; the rest of a
    // longer line is read past and only counted in LineLength.
    static constexpr std::size_t kMaxKeptLineLength = 64 * 1024;

    // Reads the next line and replaces the cells with that line's cells. The
    // stream fails only when not even an empty line could be read.
    void ReadNextRow(std::istream& stream);

    const std::string& operator[](std::size_t index) const { return cells_[index]; }
    std::size_t size() const { return cells_.size(); }
    // Length of the whole line, without its '\n' (also of a line longer than
    // the part that was kept).
    std::size_t LineLength() const { return lineLength_; }

private:
    std::vector<std::string> cells_;
    std::string line_;
    std::size_t lineLength_ = 0;
};

std::istream& operator>>(std::istream& stream, CsvRowReader& row);

// Input iterator over the rows of a stream; it ends when a read leaves the
// stream failed. A default-constructed iterator is the end iterator.
class CsvRowIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = CsvRowReader;
    using difference_type = std::ptrdiff_t;
    using pointer = const CsvRowReader*;
    using reference = const CsvRowReader&;

    CsvRowIterator() = default;
    explicit CsvRowIterator(std::istream& stream);

    CsvRowIterator& operator++();
    const CsvRowReader& operator*() const { return row_; }
    const CsvRowReader* operator->() const { return &row_; }

    bool operator==(const CsvRowIterator& other) const;
    bool operator!=(const CsvRowIterator& other) const { return !(*this == other); }

private:
    std::istream* stream_ = nullptr;
    CsvRowReader row_;
};
