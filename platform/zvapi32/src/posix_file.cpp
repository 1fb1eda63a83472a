#include "posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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
    static std::atomic<unsigned> counter{0};
    auto temp = target;
    temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    {
        Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.get() < 0) {
            Fail("cannot create", temp);
        }
        try {
            WriteAll(fd.get(), bytes.data(), bytes.size(), temp);
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

std::optional<std::vector<uint8_t>> ReadWhole(const std::filesystem::path& path)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        Fail("cannot open", path);
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("cannot read", path);
        }
        if (n == 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
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

uint32_t UserId()
{
    return static_cast<uint32_t>(::getuid());
}

}  // namespace zvemu::posix
