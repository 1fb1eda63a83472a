#include "csv_row_reader.h"

void CsvRowReader::ReadNextRow(std::istream& stream)
{
    using Traits = std::istream::traits_type;
    line_.clear();
    lineLength_ = 0;
    cells_.clear();
    // Read like std::getline, but keep at most kMaxKeptLineLength characters:
    // a file that is no CSV at all (one huge line of commas) must not become
    // an unbounded line and cell list before the caller can refuse it.
    const std::istream::sentry ready(stream, true);
    if (ready) {
        std::streambuf& buffer = *stream.rdbuf();
        bool extracted = false;
        for (;;) {
            const Traits::int_type c = buffer.sbumpc();
            if (Traits::eq_int_type(c, Traits::eof())) {
                stream.setstate(extracted ? std::ios::eofbit : std::ios::eofbit | std::ios::failbit);
                break;
            }
            extracted = true;
            const char ch = Traits::to_char_type(c);
            if (ch == '\n') {
                break;
            }
            if (lineLength_ < kMaxKeptLineLength) {
                line_.push_back(ch);
            }
            ++lineLength_;
        }
    }
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

CsvRowIterator::CsvRowIterator(std::istream& stream) : stream_(stream.good() ? &stream : nullptr)
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
