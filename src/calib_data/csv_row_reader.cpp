#include "csv_row_reader.h"

void CsvRowReader::ReadNextRow(std::istream& stream)
{
    std::getline(stream, line_);
    lineLength_ = line_.size();
    cells_.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line_.find(',', start);
        if (comma == std::string::npos) {
            // The piece after the last comma; empty for an empty line or a
            // line ending in ','.
            cells_.emplace_back(line_, start);
            break;
        }
        cells_.emplace_back(line_, start, comma - start);
        start = comma + 1;
    }
}

std::istream& operator>>(std::istream& stream, CsvRowReader& row)
{
    row.ReadNextRow(stream);
    return stream;
}

CsvRowIterator::CsvRowIterator(std::istream& stream)
    : stream_(stream.good() ? &stream : nullptr)
{
    ++(*this);
}

CsvRowIterator& CsvRowIterator::operator++()
{
    if (stream_ != nullptr) {
        *stream_ >> row_;
        if (stream_->fail()) {
            stream_ = nullptr;
        }
    }
    return *this;
}

bool CsvRowIterator::operator==(const CsvRowIterator& other) const
{
    return this == &other || (stream_ == nullptr && other.stream_ == nullptr);
}
