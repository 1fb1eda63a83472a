#include "os_named_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>

#include "os_clock.h"

namespace zv::os {

// One lock name in this process: every NamedLock of the name shares it, as
// handles of one system object would. The file lock is taken while the count
// is above 0; the file's first byte holds a mark while the lock is held, so a
// holder that died leaves the mark for the next one to see. The byte is
// mapped: a device routine takes and gives back the lock around every
// request, and a store costs nothing where a write or truncate of the file
// would change its times on disk each time.
//
// The holder takes the lock again, and gives back all but its last
// acquisition, without the mutex: only the holding thread ever writes its own
// mark into `owner`, so a thread that reads its mark there holds the lock, and
// the count changes under the mutex only on the way to or from 0. Above 0
// only the holder changes the count, so it does so with a plain load and
// store: no other thread writes it meanwhile, and one that reads it sees
// either value above 0.
//
// When the last object of the name in this process goes, the file goes too,
// unless another process holds the lock or a holder that died left its mark
// (see ~Shared); a waiter that then takes the lock of the removed file opens
// the name's file again (see WaitToHold).
struct NamedLock::Shared {
    std::mutex mutex;
    std::filesystem::path path;
    int fd = -1;
    volatile char* mark = nullptr;
    std::atomic<const void*> owner{nullptr};
    std::atomic<std::uint32_t> count{0};

    ~Shared();
};

namespace {

// A thread's mark: the address of its own copy of a thread-local variable,
// unique among the running threads. Taking it costs no call into the thread
// library, which asking for the thread's id does at every re-entry.
thread_local char t_threadMark;

const void* ThisThread()
{
    return &t_threadMark;
}

std::mutex g_registryMutex;
std::map<std::string, std::weak_ptr<NamedLock::Shared>>& Registry()
{
    static std::map<std::string, std::weak_ptr<NamedLock::Shared>> registry;
    return registry;
}

// Names may be long and hold any byte: the file is named by a digest of the
// name with its first plain characters for a reader.
std::string FileNameFor(std::string_view name)
{
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (const char ch : name) {
        h = (h ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
    }
    std::string readable;
    for (char c : name) {
        if (readable.size() >= 40) {
            break;
        }
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        readable += plain ? c : '_';
    }
    char digest[20];
    std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(h));
    return readable + "-" + digest + "-" + std::to_string(name.size()) + ".lock";
}

constexpr char kHeldMark = 'H';

// With the file lock held: whether the last holder left its mark, then
// sets ours.
bool TakeMark(volatile char* mark)
{
    const bool abandoned = *mark == kHeldMark;
    *mark = kHeldMark;
    return abandoned;
}

void ClearMark(volatile char* mark)
{
    *mark = 0;
}

// The mark byte of a lock file, which is at least one byte long from here on
// (an empty file is an unmarked one). Null when it cannot be mapped.
volatile char* MapMark(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0 || (status.st_size < 1 && ::ftruncate(fd, 1) != 0)) {
        return nullptr;
    }
    void* mapped = ::mmap(nullptr, 1, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return mapped == MAP_FAILED ? nullptr : static_cast<volatile char*>(mapped);
}

// Opens the lock file at `path` and maps its mark into `shared`, closing the
// file it had. False when it cannot be opened or mapped.
bool OpenFile(NamedLock::Shared& shared, const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    volatile char* const mark = fd < 0 ? nullptr : MapMark(fd);
    if (mark == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    if (shared.mark != nullptr) {
        ::munmap(const_cast<char*>(shared.mark), 1);
    }
    if (shared.fd >= 0) {
        ::close(shared.fd);
    }
    shared.path = path;
    shared.fd = fd;
    shared.mark = mark;
    return true;
}

// Whether the file is still the name's file: another process removes it at
// its end only while it holds the file's lock itself.
bool StillNamed(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && status.st_nlink > 0;
}

}  // namespace

NamedLock::Shared::~Shared()
{
    // The lock free and without a dead holder's mark: no one needs the file
    // any more, and the lock folder keeps no file per device ever used.
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && mark != nullptr && *mark != kHeldMark) {
        ::unlink(path.c_str());
    }
    if (mark != nullptr) {
        ::munmap(const_cast<char*>(mark), 1);
    }
    if (fd >= 0) {
        ::close(fd);  // also gives back the file lock
    }
}

std::filesystem::path NamedLockDirectory()
{
#if defined(ZVOS_ENVIRONMENT_SWITCHES)
    if (const char* dir = std::getenv("ZVOS_LOCK_DIR"); dir && *dir) {
        return dir;
    }
#endif
    return std::filesystem::temp_directory_path() / ("zvos-locks-" + std::to_string(::getuid()));
}

std::unique_ptr<NamedLock> NamedLock::Open(std::string_view name)
{
    std::lock_guard registryLock(g_registryMutex);
    const std::string key = LockSystemName(name);
    auto& slot = Registry()[key];
    std::shared_ptr<Shared> shared = slot.lock();
    if (!shared) {
        const auto dir = NamedLockDirectory();
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        shared = std::make_shared<Shared>();
        if (!OpenFile(*shared, dir / FileNameFor(key))) {
            Registry().erase(key);
            return nullptr;
        }
        slot = shared;
    }
    return std::unique_ptr<NamedLock>(new NamedLock(std::move(shared)));
}

NamedLock::NamedLock(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

NamedLock::~NamedLock()
{
    while (held_ > 0) {
        if (!Release()) {
            break;
        }
    }
}

namespace {

// A wait by a thread that does not hold the lock yet.
LockWait WaitToHold(NamedLock::Shared& shared, std::uint32_t& held, std::uint32_t timeoutMs)
{
    const void* const self = ThisThread();
    // The clock is read once the first try has failed: a lock taken at once
    // costs no clock read.
    std::optional<std::uint32_t> start;
    for (;;) {
        {
            std::lock_guard guard(shared.mutex);
            if (shared.count.load(std::memory_order_relaxed) == 0) {
                if (::flock(shared.fd, LOCK_EX | LOCK_NB) == 0) {
                    if (!StillNamed(shared.fd)) {
                        // Removed at the end of another process's run: the
                        // lock lives on in the name's new file.
                        ::flock(shared.fd, LOCK_UN);
                        if (!OpenFile(shared, shared.path)) {
                            return LockWait::Failed;
                        }
                        continue;
                    }
                    const bool abandoned = TakeMark(shared.mark);
                    shared.count.store(1, std::memory_order_relaxed);
                    shared.owner.store(self, std::memory_order_relaxed);
                    ++held;
                    return abandoned ? LockWait::Abandoned : LockWait::Acquired;
                }
                if (errno != EWOULDBLOCK && errno != EINTR) {
                    return LockWait::Failed;
                }
            }
        }
        const std::uint32_t now = TickCountMs();
        if (!start) {
            start = now;
        }
        if (now - *start >= timeoutMs) {
            return LockWait::Timeout;
        }
        SleepMs(1);
    }
}

// The holder's last release: the lock becomes free for others. True, so that
// Release ends with it.
bool FreeForOthers(NamedLock::Shared& shared)
{
    std::lock_guard guard(shared.mutex);
    shared.count.store(0, std::memory_order_relaxed);
    shared.owner.store(nullptr, std::memory_order_relaxed);
    ClearMark(shared.mark);
    ::flock(shared.fd, LOCK_UN);
    return true;
}

}  // namespace

LockWait NamedLock::Wait(std::uint32_t timeoutMs)
{
    Shared& shared = *shared_;
    if (shared.owner.load(std::memory_order_relaxed) == ThisThread()) {
        shared.count.store(shared.count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        ++held_;
        return LockWait::Acquired;
    }
    return WaitToHold(shared, held_, timeoutMs);
}

bool NamedLock::Release()
{
    Shared& shared = *shared_;
    if (shared.owner.load(std::memory_order_relaxed) != ThisThread() || held_ == 0) {
        return false;
    }
    --held_;
    if (const std::uint32_t count = shared.count.load(std::memory_order_relaxed); count > 1) {
        shared.count.store(count - 1, std::memory_order_relaxed);
        return true;
    }
    return FreeForOthers(shared);
}

}  // namespace zv::os
