// The CSV row reader: any text is split into rows of cells.

#include "csv_row_reader.h"
#include "fuzz_target.h"

#include <exception>
#include <sstream>
#include <string>

ZV_FUZZ_TARGET(csv_rows)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        std::size_t cells = 0;
        for (CsvRowIterator row(in), end; row != end; ++row) {
            for (std::size_t i = 0; i < row->size(); ++i) {
                cells += (*row)[i].size() + 1;
            }
        }
        return cells <= 2 * size + 1;
    } catch (const std::exception&) {
        return false;
    }
}
