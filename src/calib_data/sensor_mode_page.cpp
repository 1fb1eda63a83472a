#include "sensor_mode_page.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "cds_error.h"

void SensorModePage::AllocateBuffers(uint32_t packedSize, uint32_t unpackedSize)
{
    FreeBuffers();
    if (unpackedSize % kFieldRecordSize != 0) {
        ThrowCDSError("AllocateBuffers", "Invalid unpacked data size");
    }
    try {
        packed_.assign(packedSize, 0);
    } catch (const std::bad_alloc&) {
        ThrowCDSError("AllocateBuffers", "Failed to allocate packed data buffer");
    } catch (const std::length_error&) {
        ThrowCDSError("AllocateBuffers", "Failed to allocate packed data buffer");
    }
    try {
        unpacked_.assign(unpackedSize / kFieldRecordSize, UnpackedField{});
    } catch (const std::bad_alloc&) {
        ThrowCDSError("AllocateBuffers", "Failed to allocate unpacked data buffer");
    } catch (const std::length_error&) {
        ThrowCDSError("AllocateBuffers", "Failed to allocate unpacked data buffer");
    }
}

void SensorModePage::FreeBuffers()
{
    packed_.clear();
    packed_.shrink_to_fit();
    unpacked_.clear();
    unpacked_.shrink_to_fit();
}

void SensorModePage::SetPackedData(const uint8_t* data, uint32_t count)
{
    if (data == nullptr) {
        ThrowCDSError("SetPackedData", "Invalid data pointer.");
    }
    if (count == 0 || count > packed_.size()) {
        ThrowCDSError("SetPackedData", "Invalid data size.");
    }
    std::copy(data, data + count, packed_.begin());
}

void SensorModePage::SetUnPackedData(const UnpackedField* fields, uint32_t byteCount)
{
    if (fields == nullptr) {
        ThrowCDSError("SetUnPackedData", "Invalid data pointer.");
    }
    if (byteCount == 0 || byteCount > GetUnpackedSize() || byteCount % kFieldRecordSize != 0) {
        ThrowCDSError("SetUnPackedData", "Invalid data size.");
    }
    if (unpacked_.empty()) {
        ThrowCDSError("SetUnPackedData", "Unpacked data buffer was not allocated.");
    }
    std::copy(fields, fields + byteCount / kFieldRecordSize, unpacked_.begin());
}

void SensorModePage::ReAllocUnapckedDataBuffer(uint32_t newSize)
{
    if (unpacked_.empty()) {
        ThrowCDSError("ReAllocUnapckedDataBuffer", "Unpacked data buffer was not allocated");
    }
    if (newSize % kFieldRecordSize != 0) {
        ThrowCDSError("ReAllocUnapckedDataBuffer", "Invalid unpacked data size");
    }
    try {
        std::vector<UnpackedField> resized(newSize / kFieldRecordSize, UnpackedField{});
        unpacked_.swap(resized);
    } catch (const std::bad_alloc&) {
        ThrowCDSError("ReAllocUnapckedDataBuffer", "Failed to re-allocate unpacked data buffer");
    } catch (const std::length_error&) {
        ThrowCDSError("ReAllocUnapckedDataBuffer", "Failed to re-allocate unpacked data buffer");
    }
}

void SensorModePage::ClearUnpackedData()
{
    std::fill(unpacked_.begin(), unpacked_.end(), UnpackedField{});
}

std::unique_ptr<SensorModePage> CopySensorModePage(const SensorModePage& page)
{
    auto copy = std::make_unique<SensorModePage>();
    copy->AllocateBuffers(page.GetPackedSize(), page.GetUnpackedSize());
    if (page.GetPackedSize() != 0) {
        copy->SetPackedData(page.Packed().data(), page.GetPackedSize());
    }
    if (page.GetUnpackedSize() != 0) {
        copy->SetUnPackedData(page.Unpacked().data(), page.GetUnpackedSize());
    }
    copy->SetPageIndex(page.GetPageIndex());
    copy->SetPackedState(page.IsPackedOnly());
    return copy;
}
