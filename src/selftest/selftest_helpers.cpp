#include "selftest_helpers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "updater_error.h"
#include "os_file_path.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The whole content of an open file; false when it cannot be read.
bool ReadWhole(std::FILE* file, std::vector<uint8_t>& bytes)
{
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return false;
    }
    const long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        return false;
    }
    bytes.assign(static_cast<size_t>(size), 0);
    return std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace

std::string SuitePath(std::string_view name)
{
    std::string path(name);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool CompareBuffers(const uint8_t* found, const uint8_t* expected, size_t size)
{
    if (size == 0 || std::equal(found, found + size, expected)) {
        return true;
    }
    std::printf("ERROR, data buffer content does not match:\n");
    for (size_t offset = 0; offset < size; ++offset) {
        if (found[offset] != expected[offset]) {
            std::printf("Offset[%06zu]: found 0x%02X expected 0x%02X\n", offset, found[offset], expected[offset]);
        }
    }
    return false;
}

void CompareFiles(const char* firstFile, const char* secondFile, FileComparison how)
{
    const File first(firstFile != nullptr ? zv::os::OpenFile(firstFile, "rb") : nullptr);
    const File second(secondFile != nullptr ? zv::os::OpenFile(secondFile, "rb") : nullptr);
    if (!first || !second) {
        throw UpdaterError("Failed to open files for comparison");
    }
    std::vector<uint8_t> firstBytes;
    std::vector<uint8_t> secondBytes;
    if (!ReadWhole(first.get(), firstBytes) || !ReadWhole(second.get(), secondBytes)) {
        throw UpdaterError("Failed to open files for comparison");
    }
    // A file cut short, or one that lost its content, is not the same data
    // as its original, even where the bytes they share agree.
    const bool lengthsFit = how == FileComparison::Whole ? firstBytes.size() == secondBytes.size()
                                                         : firstBytes.size() <= secondBytes.size();
    if (firstBytes.empty() || secondBytes.empty() || !lengthsFit) {
        std::printf("Compared files differ in size: %s has %zu bytes, %s has %zu bytes\n", firstFile, firstBytes.size(),
                    secondFile, secondBytes.size());
        throw UpdaterError("Compared files are not similar");
    }
    if (!std::equal(firstBytes.begin(), firstBytes.end(), secondBytes.begin())) {
        throw UpdaterError("Compared files are not similar");
    }
}

void ParseVersionString(const std::string& text, uint8_t* major, uint8_t* minor)
{
    const size_t point = text.find('.');
    if (point == std::string::npos) {
        return;
    }
    *major = static_cast<uint8_t>(std::atoi(text.substr(0, point).c_str()));
    if (point + 1 < text.size()) {
        *minor = static_cast<uint8_t>(std::atoi(text.c_str() + point + 1));
    }
}

void SaveBufferToFile(const char* fileName, const void* data, size_t size)
{
    File file(fileName != nullptr ? zv::os::OpenFile(fileName, "wb") : nullptr);
    if (!file) {
        throw UpdaterError("Failed to open files for writing");
    }
    const size_t written = size == 0 ? 0 : std::fwrite(data, 1, size, file.get());
    const bool closed = std::fclose(file.release()) == 0;
    if (written != size || !closed) {
        throw UpdaterError("Failed to write file data");
    }
}
