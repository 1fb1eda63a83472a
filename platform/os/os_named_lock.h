#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace zv::os {

// What a wait for a named lock ended with.
enum class LockWait {
    Acquired,   // this thread holds the lock
    Abandoned,  // this thread holds the lock; its previous holder ended without releasing it
    Timeout,    // another thread or process held it for the whole wait
    Failed,     // the lock could not be waited for
};

// A lock shared by every process that opens the same name: on POSIX a
// robust, process-shared mutex in a lock file of NamedLockDirectory(), on
// Windows a named system mutex. It is re-entrant for the thread that holds
// it: each successful Wait of the holder counts one more acquisition, each
// Release one less, and the lock is free for others only when the count is
// back at 0. A holder that dies (even by SIGKILL) frees it, and the next
// waiter gets Abandoned.
class NamedLock {
public:
    // Opens (creating when needed) the lock of this name, as LockSystemName
    // gives it; any text is a valid name. Null when it cannot be opened.
    static std::unique_ptr<NamedLock> Open(std::string_view name);
    ~NamedLock();  // gives back what this object still holds
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    // Waits at most timeoutMs on the OS clock (virtual in tests).
    LockWait Wait(std::uint32_t timeoutMs);
    // False when the calling thread does not hold the lock through this object.
    bool Release();

    struct Shared;

private:
    explicit NamedLock(std::shared_ptr<Shared> shared);
    std::shared_ptr<Shared> shared_;
    std::uint32_t held_ = 0;  // acquisitions made through this object
};

// The name a lock has for the system: every '\' becomes '|', since a system
// mutex name takes no '\'. Programs of other makers that serialise a device
// by its interface path escape it the same way, so a device's lock is theirs
// too. NamedLock::Open names every lock so.
inline std::string LockSystemName(std::string_view name)
{
    std::string text(name);
    for (char& c : text) {
        if (c == '\\') {
            c = '|';
        }
    }
    return text;
}

// ZVOS_LOCK_DIR when set, else a per-user folder of the temporary directory.
std::filesystem::path NamedLockDirectory();

}  // namespace zv::os
