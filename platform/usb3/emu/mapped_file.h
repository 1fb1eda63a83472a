#pragma once

// A file mapped into memory, shared: stores land in the file as they are
// made (a process killed mid-way leaves exactly what it stored).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace zvemu {

class MappedFile {
public:
    // Maps the whole file, which must exist with a size of at least `size`.
    // Throws std::runtime_error.
    MappedFile(const std::filesystem::path& path, std::size_t size);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

    // Creates (or resizes) the file with `size` bytes of `fill`.
    static void Create(const std::filesystem::path& path, std::size_t size, std::uint8_t fill);

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace zvemu
