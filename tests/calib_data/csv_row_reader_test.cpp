#include "csv_row_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows ReadAll(const std::string& text)
{
    std::istringstream in(text);
    Rows rows;
    for (CsvRowIterator it(in), end; it != end; ++it) {
        std::vector<std::string> cells;
        for (std::size_t i = 0; i < it->size(); ++i) {
            cells.push_back((*it)[i]);
        }
        rows.push_back(cells);
    }
    return rows;
}

struct CsvCase {
    const char* input;
    Rows expected;
};

class CsvRowReaderCases : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvRowReaderCases, SplitsLinesIntoCells)
{
    EXPECT_EQ(ReadAll(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CsvRowReaderCases,
    ::testing::Values(CsvCase{"0x5A03,GAIN,12,dB\n", {{"0x5A03", "GAIN", "12", "dB"}}},
                      CsvCase{"a,,b\n", {{"a", "", "b"}}}, CsvCase{"a,b,\n", {{"a", "b", ""}}},
                      CsvCase{",\n", {{"", ""}}}, CsvCase{"x\n\ny\n", {{"x"}, {""}, {"y"}}},
                      CsvCase{"Mode ID,Name,Value,Unit\n0x5A00,Gain,1200,\n",
                              {{"Mode ID", "Name", "Value", "Unit"}, {"0x5A00", "Gain", "1200", ""}}},
                      // No trailing newline: the last line is still delivered, and only once.
                      CsvCase{"a,b\nc", {{"a", "b"}, {"c"}}}, CsvCase{"a,b\nc\n", {{"a", "b"}, {"c"}}},
                      // Quotes are ordinary characters; blanks and '\r' stay.
                      CsvCase{"a,\"b,c\"\n", {{"a", "\"b", "c\""}}}, CsvCase{" a , b\r\n", {{" a ", " b\r"}}},
                      CsvCase{"", {}}));

TEST(CsvRowIterator, FailedStreamIsEndAtOnce)
{
    std::istringstream in("a,b\n");
    in.setstate(std::ios::failbit);
    CsvRowIterator it(in);
    EXPECT_TRUE(it == CsvRowIterator());
}

TEST(CsvRowIterator, LiveIteratorsOnOneStreamDiffer)
{
    std::istringstream in("a\nb\nc\n");
    CsvRowIterator first(in);
    CsvRowIterator second(in);
    EXPECT_TRUE(first == first);
    EXPECT_FALSE(first == second);
    EXPECT_EQ((*first)[0], "a");
    EXPECT_EQ((*second)[0], "b");
}

TEST(CsvRowReader, ReportsLineLength)
{
    std::istringstream in(std::string(5000, 'x') + "\nab\n");
    CsvRowReader row;
    in >> row;
    EXPECT_EQ(row.LineLength(), 5000u);
    in >> row;
    EXPECT_EQ(row.LineLength(), 2u);
}

TEST(CsvRowReader, AHugeLineIsCountedButOnlyItsStartIsKept)
{
    // A file that is no CSV: one line of commas far longer than any row.
    const std::size_t length = 4 * CsvRowReader::kMaxKeptLineLength;
    std::istringstream in("a" + std::string(length - 1, ',') + "\nb,c");
    CsvRowReader row;
    in >> row;
    EXPECT_EQ(row.LineLength(), length);
    EXPECT_EQ(row.size(), CsvRowReader::kMaxKeptLineLength);
    EXPECT_EQ(row[0], "a");
    ASSERT_TRUE(in >> row);
    EXPECT_EQ(row.LineLength(), 3u);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[1], "c");
    EXPECT_FALSE(in >> row);
}

}  // namespace
