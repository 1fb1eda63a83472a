#include "os_named_lock.h"

#include <fcntl.h>
#include <pthread.h>
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
// handles of one system object would.
//
// Between processes the lock is a robust, process-shared mutex that lives in
// the mapped lock file (its Page). A device routine takes and gives back the
// lock around every request, so taking a free lock and giving it back must
// cost no system call: a free mutex is taken in user space, and the kernel
// only hears of it when another process waits (and then this one polls, see
// WaitToHold). A holder that dies, even by SIGKILL, is seen by the kernel's
// list of robust mutexes: the next taker gets EOWNERDEAD, makes the mutex
// consistent, and its wait ends Abandoned. The page also keeps the holder's
// mark, so that a dead holder whose death someone saw without taking the lock
// over (the last user's cleanup below) is still reported to the next taker.
//
// The page is set up once per file: Open takes the file's flock for that
// moment only, sizes the file, and initialises the mutex unless the magic
// word says it is; nobody touches the mutex before it saw the magic word.
//
// Within the process the holder takes the lock again, and gives back all but
// its last acquisition, without any mutex: only the holding thread ever
// writes its own mark into `owner`, so a thread that reads its mark there
// holds the lock, and the count changes under `mutex` only on the way to or
// from 0. Above 0 only the holder changes the count, so it does so with a
// plain load and store.
//
// The file goes when the last object of the name in this process goes,
// unless another process holds the lock or a dead holder left its mark:
// ~Shared takes the mutex, sets `removed` in the page, unlinks the file and
// gives the mutex back. A process that still has the old file open sees
// `removed` as soon as it takes the mutex, gives it back and opens the name
// again (a new file, set up anew): no process ever holds the lock of a file
// that has no name, since the flag is set before the unlink under the same
// mutex. A remover that died between the two leaves `removed` on a file that
// still has its name: the next taker sees the name still linked, clears the
// flag and keeps the lock.
struct Page;

struct NamedLock::Shared {
    std::mutex mutex;
    std::filesystem::path path;
    int fd = -1;
    Page* page = nullptr;
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

}  // namespace

// The shared part of a lock file.
struct Page {
    std::atomic<std::uint32_t> magic;  // kPageMagic once `mutex` is set up
    std::uint32_t removed;             // the file has lost its name (under `mutex`)
    std::uint32_t held;                // the holder's mark (under `mutex`)
    pthread_mutex_t mutex;
};

namespace {

constexpr std::uint32_t kPageMagic = 0x5a564c4bu;  // "ZVLK"

// Sets up the page of a lock file under its flock, which no one holds for
// longer; null when the file cannot be sized or mapped.
Page* MapPage(int fd)
{
    if (::flock(fd, LOCK_EX) != 0) {
        return nullptr;
    }
    Page* page = nullptr;
    struct stat status {};
    if (::fstat(fd, &status) == 0 &&
        (status.st_size >= static_cast<off_t>(sizeof(Page)) || ::ftruncate(fd, sizeof(Page)) == 0)) {
        void* mapped = ::mmap(nullptr, sizeof(Page), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        page = mapped == MAP_FAILED ? nullptr : static_cast<Page*>(mapped);
    }
    if (page != nullptr && page->magic.load(std::memory_order_acquire) != kPageMagic) {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
        const bool ready = pthread_mutex_init(&page->mutex, &attributes) == 0;
        pthread_mutexattr_destroy(&attributes);
        if (ready) {
            page->removed = 0;
            page->held = 0;
            page->magic.store(kPageMagic, std::memory_order_release);
        } else {
            ::munmap(page, sizeof(Page));
            page = nullptr;
        }
    }
    ::flock(fd, LOCK_UN);
    return page;
}

// Opens the lock file at `path` and maps its page into `shared`, closing the
// file it had. False when it cannot be opened or mapped.
bool OpenFile(NamedLock::Shared& shared, const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    Page* const page = fd < 0 ? nullptr : MapPage(fd);
    if (page == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    if (shared.page != nullptr) {
        ::munmap(shared.page, sizeof(Page));
    }
    if (shared.fd >= 0) {
        ::close(shared.fd);
    }
    shared.path = path;
    shared.fd = fd;
    shared.page = page;
    return true;
}

// Whether the file still has its name (only asked when the page says it
// lost it).
bool StillNamed(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && status.st_nlink > 0;
}

// Tries the mutex once: 0 when it is taken (and *abandoned says whether its
// last holder died with it), EBUSY while someone holds it, another code when
// it cannot be taken.
int TryMutex(Page& page, bool* abandoned)
{
    const int result = pthread_mutex_trylock(&page.mutex);
    if (result == EOWNERDEAD) {
        pthread_mutex_consistent(&page.mutex);
        *abandoned = true;
        return 0;
    }
    *abandoned = false;
    return result;
}


}  // namespace

NamedLock::Shared::~Shared()
{
    // The lock free and without a dead holder's mark: no one needs the file
    // any more, and the lock folder keeps no file per device ever used.
    if (page != nullptr) {
        bool abandoned = false;
        if (TryMutex(*page, &abandoned) == 0) {
            if (abandoned) {
                page->held = 1;  // the next taker hears of the dead holder
            } else if (page->held == 0 && page->removed == 0) {
                page->removed = 1;
                ::unlink(path.c_str());
            }
            pthread_mutex_unlock(&page->mutex);
        }
        ::munmap(page, sizeof(Page));
    }
    if (fd >= 0) {
        ::close(fd);
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
                Page& page = *shared.page;
                bool abandoned = false;
                const int result = TryMutex(page, &abandoned);
                if (result == 0) {
                    if (page.removed != 0 && !StillNamed(shared.fd)) {
                        // Removed at the end of another process's run: the
                        // lock lives on in the name's new file.
                        pthread_mutex_unlock(&page.mutex);
                        if (!OpenFile(shared, shared.path)) {
                            return LockWait::Failed;
                        }
                        continue;
                    }
                    page.removed = 0;  // a remover that died before its unlink
                    abandoned = abandoned || page.held != 0;
                    page.held = 1;
                    shared.count.store(1, std::memory_order_relaxed);
                    shared.owner.store(self, std::memory_order_relaxed);
                    ++held;
                    return abandoned ? LockWait::Abandoned : LockWait::Acquired;
                }
                if (result != EBUSY) {
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
    shared.page->held = 0;
    pthread_mutex_unlock(&shared.page->mutex);
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
