#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "unpacked_field.h"

// One camera-mode page: its packed bytes and, once unpacked, its array of
// field records. A new page is packed only, without buffers.
//
// Unpacked sizes are counted in bytes of kFieldRecordSize per record, the way
// the definitions count their field tables (fields_size).
class SensorModePage {
public:
    SensorModePage() = default;
    SensorModePage(const SensorModePage&) = delete;
    SensorModePage& operator=(const SensorModePage&) = delete;

    // Drops any buffers, then makes zero-filled buffers of the given sizes.
    void AllocateBuffers(uint32_t packedSize, uint32_t unpackedSize);
    void FreeBuffers();

    // Copies count bytes to the start of the packed buffer.
    void SetPackedData(const uint8_t* data, uint32_t count);
    // Copies byteCount bytes' worth of records to the start of the array.
    void SetUnPackedData(const UnpackedField* fields, uint32_t byteCount);
    // Resizes the array to newSize bytes' worth of records, all zero.
    void ReAllocUnapckedDataBuffer(uint32_t newSize);
    // Zeroes every record of the array (the page no longer holds values).
    void ClearUnpackedData();

    uint8_t* GetPackedData() { return packed_.empty() ? nullptr : packed_.data(); }
    UnpackedField* GetUnpackedData() { return unpacked_.empty() ? nullptr : unpacked_.data(); }
    std::span<uint8_t> Packed() { return packed_; }
    std::span<const uint8_t> Packed() const { return packed_; }
    std::span<UnpackedField> Unpacked() { return unpacked_; }
    std::span<const UnpackedField> Unpacked() const { return unpacked_; }
    uint32_t GetPackedSize() const { return static_cast<uint32_t>(packed_.size()); }
    uint32_t GetUnpackedSize() const { return static_cast<uint32_t>(unpacked_.size()) * kFieldRecordSize; }

    uint32_t GetPageIndex() const { return pageIndex_; }
    void SetPageIndex(uint32_t index) { pageIndex_ = index; }
    // 1: packed only (the array holds no values of the page); 0: unpacked.
    uint8_t IsPackedOnly() const { return state_; }
    void SetPackedState(uint8_t state) { state_ = state; }

private:
    uint8_t state_ = 1;
    std::vector<uint8_t> packed_;
    std::vector<UnpackedField> unpacked_;
    uint32_t pageIndex_ = 0;
};

// The camera-mode pages of an image in page order, owned by their list.
using SensorModePageList = std::vector<std::unique_ptr<SensorModePage>>;

// A page with its own copies of the page's buffers, index and state.
std::unique_ptr<SensorModePage> CopySensorModePage(const SensorModePage& page);
