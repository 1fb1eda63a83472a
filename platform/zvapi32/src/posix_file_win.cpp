// The state directory's file primitives on the Win32 file API.

#include "posix_file.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include <windows.h>

namespace zvemu::posix {
namespace {

class File {
public:
    explicit File(HANDLE h) : h_(h) {}
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    bool Close()
    {
        const bool closed = h_ == INVALID_HANDLE_VALUE || ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE h_;
};

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, DWORD error = ::GetLastError())
{
    throw std::runtime_error(what + " " + path.string() + ": Windows error " + std::to_string(error));
}

// Readers share delete access, so a writer can still rename a new version
// over the file while it is being read.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void WriteAll(HANDLE file, const uint8_t* data, size_t size, const std::filesystem::path& path)
{
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr)) {
            Fail("cannot write", path);
        }
        data += written;
        size -= written;
    }
}

}  // namespace

void WriteAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes)
{
    const std::span<const uint8_t> pieces[] = {bytes};
    WriteAtomically(target, pieces);
}

void WriteAtomically(const std::filesystem::path& target, std::span<const std::span<const uint8_t>> pieces)
{
    static std::atomic<unsigned> counter{0};
    auto temp = target;
    temp += ".tmp." + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(counter++);
    {
        File file(
            ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.ok()) {
            Fail("cannot create", temp);
        }
        try {
            for (const auto& piece : pieces) {
                WriteAll(file.get(), piece.data(), piece.size(), temp);
            }
            if (!::FlushFileBuffers(file.get())) {
                Fail("cannot flush", temp);
            }
            if (!file.Close()) {
                Fail("cannot close", temp);
            }
        } catch (...) {
            file.Close();
            ::DeleteFileW(temp.c_str());
            throw;
        }
    }
    // Windows refuses to replace a file that someone has open (another
    // process reading the camera, a virus scanner); such holds are short, so
    // the rename is tried again for up to two seconds.
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            break;
        }
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 100) {
            ::DeleteFileW(temp.c_str());
            Fail("cannot rename onto", target, error);
        }
        ::Sleep(20);
    }
}

void WriteInPlace(const std::filesystem::path& path, uint64_t offset, std::span<const uint8_t> bytes)
{
    File file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) {
        Fail("cannot open", path);
    }
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) {
        Fail("cannot seek in", path);
    }
    WriteAll(file.get(), bytes.data(), bytes.size(), path);
    if (!::FlushFileBuffers(file.get())) {
        Fail("cannot flush", path);
    }
}

std::optional<size_t> ReadAt(const std::filesystem::path& path, uint64_t offset, std::span<uint8_t> out)
{
    File file(
        ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return std::nullopt;
        }
        Fail("cannot open", path, error);
    }
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) {
        Fail("cannot seek in", path);
    }
    // Until out is full or the file ends (a position past the end reads nothing).
    size_t done = 0;
    while (done < out.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file.get(), out.data() + done, chunk, &got, nullptr)) {
            Fail("cannot read", path);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

std::optional<std::vector<uint8_t>> ReadWhole(const std::filesystem::path& path)
{
    File file(
        ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return std::nullopt;
        }
        Fail("cannot open", path, error);
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        Fail("cannot read", path);
    }
    if (static_cast<unsigned long long>(size.QuadPart) > std::numeric_limits<size_t>::max()) {
        Fail("too large to read", path, ERROR_FILE_TOO_LARGE);
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(size.QuadPart));
    uint8_t chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
            Fail("cannot read", path);
        }
        if (got == 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

void AppendLine(const std::filesystem::path& path, const std::string& line)
{
    File file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) {
        Fail("cannot open", path);
    }
    // Appenders of every process take turns on a lock of one byte far past
    // any real end of the file, so finding the end and writing there is one
    // step (append-only handles alone do not make it one under every
    // implementation of the API).
    OVERLAPPED turn{};
    turn.Offset = 0xFFFFFFFF;
    turn.OffsetHigh = 0x7FFFFFFF;
    if (!::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn)) {
        Fail("cannot lock", path);
    }
    const std::string text = line + "\n";
    const LARGE_INTEGER zero{};
    const bool atEnd = ::SetFilePointerEx(file.get(), zero, nullptr, FILE_END);
    const DWORD error = ::GetLastError();
    if (atEnd) {
        try {
            WriteAll(file.get(), reinterpret_cast<const uint8_t*>(text.data()), text.size(), path);
        } catch (...) {
            ::UnlockFileEx(file.get(), 0, 1, 0, &turn);
            throw;
        }
    }
    ::UnlockFileEx(file.get(), 0, 1, 0, &turn);
    if (!atEnd) {
        Fail("cannot seek the end of", path, error);
    }
}

// Nothing is watched here: every read goes to the files.
FolderWatch::FolderWatch() = default;
FolderWatch::~FolderWatch() = default;

bool FolderWatch::Watch(const std::filesystem::path&)
{
    return false;
}

bool FolderWatch::Changed()
{
    return true;
}

std::filesystem::path PerUserStateRoot()
{
    if (const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA"); local && *local) {
        return std::filesystem::path(local) / L"zvapi-emulator";
    }
    return std::filesystem::temp_directory_path() / L"zvapi-emulator";
}

}  // namespace zvemu::posix
