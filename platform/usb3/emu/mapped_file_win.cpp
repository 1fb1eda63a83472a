// The emulated camera's memories as shared file mappings of the Win32 API.

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "mapped_file.h"

#include <windows.h>

namespace zvemu {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path)
{
    throw std::runtime_error(what + " " + path.string() + ": Windows error " + std::to_string(::GetLastError()));
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

MappedFile::MappedFile(const std::filesystem::path& path, std::size_t size) : size_(size)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail("cannot open", path);
    }
    LARGE_INTEGER actual{};
    if (!::GetFileSizeEx(file, &actual) || static_cast<unsigned long long>(actual.QuadPart) < size) {
        ::CloseHandle(file);
        throw std::runtime_error(path.string() + " is shorter than " + std::to_string(size) + " bytes");
    }
    // The view keeps the mapping and the file alive once their handles are closed.
    HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    ::CloseHandle(file);
    if (mapping == nullptr) {
        Fail("cannot map", path);
    }
    void* view = ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    ::CloseHandle(mapping);
    if (view == nullptr) {
        Fail("cannot map", path);
    }
    data_ = static_cast<std::uint8_t*>(view);
}

MappedFile::~MappedFile()
{
    if (data_ != nullptr) {
        ::UnmapViewOfFile(data_);
    }
}

void MappedFile::Create(const std::filesystem::path& path, std::size_t size, std::uint8_t fill)
{
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail("cannot create", path);
    }
    const std::vector<std::uint8_t> block(65536, fill);
    std::size_t left = size;
    while (left > 0) {
        const auto n = static_cast<DWORD>(std::min(left, block.size()));
        DWORD written = 0;
        if (!::WriteFile(file, block.data(), n, &written, nullptr) || written == 0) {
            ::CloseHandle(file);
            Fail("cannot write", path);
        }
        left -= written;
    }
    ::CloseHandle(file);
}

}  // namespace zvemu
