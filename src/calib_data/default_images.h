#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

// The default packed pages (mode defaults) of one calibration structure
// definition: pages_count x page_size bytes, page 0 first. The bytes are
// generated from the definition's field table the first time they are asked
// for and stay the same for the whole run (and from run to run).
class CdsDefaultImage {
public:
    explicit CdsDefaultImage(size_t row) : row_(row) {}
    CdsDefaultImage(const CdsDefaultImage&) = delete;
    CdsDefaultImage& operator=(const CdsDefaultImage&) = delete;

    std::span<const uint8_t> Bytes() const;
    // The definition row the image belongs to.
    size_t Row() const { return row_; }

private:
    size_t row_;
    mutable std::once_flag once_;
    mutable std::vector<uint8_t> bytes_;
};

// The default image object of a definition row (every row may ask; only the
// rows whose definitions carry an image point to it).
const CdsDefaultImage* CdsDefaultImageForRow(size_t row);

// The defaults CSV text of the TestCam01 V2.0 definition for CPU 01.80-01.90:
// the page-0 fields that always take the new default when data are upgraded
// to that version, in the form of a calibration CSV.
const char* CdsDefaultsCsvText();
