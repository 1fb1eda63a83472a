#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "mapped_file.h"

namespace zvemu {

MappedFile::MappedFile(const std::filesystem::path& path, std::size_t size) : size_(size)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + path.string() + ": " + std::strerror(errno));
    }
    std::error_code ec;
    const auto actual = std::filesystem::file_size(path, ec);
    if (ec || actual < size) {
        ::close(fd);
        throw std::runtime_error(path.string() + " is shorter than " + std::to_string(size) + " bytes");
    }
    void* map = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) {
        throw std::runtime_error("cannot map " + path.string() + ": " + std::strerror(errno));
    }
    data_ = static_cast<std::uint8_t*>(map);
    // Large pages where the system has them: a memory's pages are then mapped
    // a few at a time instead of 4 KiB each, and pages the file system reads
    // back in come as large pieces too. Only a hint; nothing changes without.
    ::madvise(map, size, MADV_HUGEPAGE);
}

MappedFile::~MappedFile()
{
    if (data_ != nullptr) {
        ::munmap(data_, size_);
    }
}

void MappedFile::Create(const std::filesystem::path& path, std::size_t size, std::uint8_t fill)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path.string() + ": " + std::strerror(errno));
    }
    // Written in pieces of up to 2 MiB, so that the file's cached pages come
    // in pieces as large and a mapping can take them as large pages.
    const std::vector<std::uint8_t> block(std::min<std::size_t>(size, std::size_t{2} << 20), fill);
    std::size_t left = size;
    while (left > 0) {
        const std::size_t n = std::min(left, block.size());
        const ssize_t written = ::write(fd, block.data(), n);
        if (written <= 0) {
            ::close(fd);
            throw std::runtime_error("cannot write " + path.string());
        }
        left -= static_cast<std::size_t>(written);
    }
    ::close(fd);
}

}  // namespace zvemu
