#include "posix_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace zvemu::posix {
namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path)
{
    throw std::runtime_error(what + " " + path.string() + ": " + std::strerror(errno));
}

void WriteAll(int fd, const uint8_t* data, size_t size, const std::filesystem::path& path)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("cannot write", path);
        }
        data += n;
        size -= static_cast<size_t>(n);
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
    temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    {
        Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.get() < 0) {
            Fail("cannot create", temp);
        }
        try {
            for (const auto& piece : pieces) {
                WriteAll(fd.get(), piece.data(), piece.size(), temp);
            }
            if (::fsync(fd.get()) != 0) {
                Fail("cannot flush", temp);
            }
        } catch (...) {
            ::unlink(temp.c_str());
            throw;
        }
        if (::close(fd.release()) != 0) {
            ::unlink(temp.c_str());
            Fail("cannot close", temp);
        }
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        Fail("cannot rename onto", target);
    }
}

void WriteInPlace(const std::filesystem::path& path, uint64_t offset, std::span<const uint8_t> bytes)
{
    Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        Fail("cannot open", path);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("cannot write", path);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.get()) != 0) {
        Fail("cannot flush", path);
    }
}

namespace {

// Reads until out is full or the file ends; answers the bytes read.
size_t ReadFully(int fd, uint64_t offset, std::span<uint8_t> out, const std::filesystem::path& path)
{
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("cannot read", path);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadWhole(const std::filesystem::path& path)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        Fail("cannot open", path);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        Fail("cannot stat", path);
    }
    // Sized once; a file that grows meanwhile is read on to its end.
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t got = ReadFully(fd.get(), 0, bytes, path);
    bytes.resize(got);
    uint8_t chunk[4096];
    while (got == static_cast<size_t>(st.st_size)) {
        const size_t more = ReadFully(fd.get(), bytes.size(), chunk, path);
        if (more == 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + more);
    }
    return bytes;
}

std::optional<size_t> ReadAt(const std::filesystem::path& path, uint64_t offset, std::span<uint8_t> out)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        Fail("cannot open", path);
    }
    return ReadFully(fd.get(), offset, out, path);
}

void AppendLine(const std::filesystem::path& path, const std::string& line)
{
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        Fail("cannot open", path);
    }
    const std::string text = line + "\n";
    WriteAll(fd.get(), reinterpret_cast<const uint8_t*>(text.data()), text.size(), path);
}

namespace {

// A child made by fork() shares the parent's notice queue: whatever it took
// from the queue the parent would miss. So a child starts a queue of its own.
std::atomic<unsigned> forksSeen{0};

void CountFork()
{
    forksSeen.fetch_add(1, std::memory_order_relaxed);
}

int NewNoticeQueue()
{
    static const bool forksCounted = ::pthread_atfork(nullptr, nullptr, CountFork) == 0;
    return forksCounted ? ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC) : -1;
}

constexpr uint32_t kChanges = IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                              IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

FolderWatch::FolderWatch() : fd_(NewNoticeQueue()), forks_(forksSeen.load(std::memory_order_relaxed)) {}

FolderWatch::~FolderWatch()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool FolderWatch::Watch(const std::filesystem::path& folder)
{
    return fd_ >= 0 && forks_ == forksSeen.load(std::memory_order_relaxed) &&
           ::inotify_add_watch(fd_, folder.c_str(), kChanges | IN_ONLYDIR | IN_DONT_FOLLOW) >= 0;
}

bool FolderWatch::Changed()
{
    if (forks_ != forksSeen.load(std::memory_order_relaxed)) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = NewNoticeQueue();
        forks_ = forksSeen.load(std::memory_order_relaxed);
        return true;
    }
    if (fd_ < 0) {
        return true;
    }
    // Any notice at all (a change, a queue overflow, a watch ended) counts.
    bool changed = false;
    alignas(inotify_event) char notices[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, notices, sizeof notices);
        if (n > 0) {
            changed = true;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return changed || !(n < 0 && errno == EAGAIN);
    }
}

std::filesystem::path PerUserStateRoot()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
        return std::filesystem::path(state) / "zvapi-emulator";
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return std::filesystem::path(home) / ".local/state/zvapi-emulator";
    }
    return std::filesystem::temp_directory_path() / ("zvapi-emulator-" + std::to_string(::getuid()));
}

}  // namespace zvemu::posix
