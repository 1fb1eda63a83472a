// Named locks as Windows named mutexes (CreateMutexA): every process that
// opens the same name, also programs of other makers that serialise a device
// by its name, waits on the same system object. A mutex is re-entrant for
// the thread that owns it and the system marks it abandoned when its owner
// ends without releasing it, which is what NamedLock promises.

#include "os_named_lock.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>


namespace zv::os {

struct NamedLock::Shared {
    HANDLE mutex = nullptr;
    ~Shared()
    {
        if (mutex != nullptr) {
            ::CloseHandle(mutex);
        }
    }
};

namespace {

// ZVOS_LOCK_DIR, a test setting of this layer, keeps the locks of one set of
// processes apart from everyone else's, as the lock folder does where locks
// are files: tests that run side by side do not contend for the names of
// their cameras. Without it the mutex carries the plain name, and builds for
// real cameras have no such setting.
std::string MutexName(std::string_view name)
{
    std::string text = LockSystemName(name);
#if defined(ZVOS_ENVIRONMENT_SWITCHES)
    if (const char* dir = std::getenv("ZVOS_LOCK_DIR"); dir != nullptr && *dir != '\0') {
        std::uint32_t hash = 2166136261u;  // FNV-1a of the folder's name
        for (const char ch : std::string_view(dir)) {
            hash = (hash ^ static_cast<unsigned char>(ch)) * 16777619u;
        }
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(hash));
        text += suffix;
    }
#endif
    return text;
}

}  // namespace

std::filesystem::path NamedLockDirectory()
{
    // Windows keeps named mutexes itself; the folder only names the set of
    // locks (see MutexName).
#if defined(ZVOS_ENVIRONMENT_SWITCHES)
    if (const char* dir = std::getenv("ZVOS_LOCK_DIR"); dir && *dir) {
        return dir;
    }
#endif
    return std::filesystem::temp_directory_path() / "zvos-locks";
}

std::unique_ptr<NamedLock> NamedLock::Open(std::string_view name)
{
    // The system removes a mutex with its last handle: nothing is left behind.
    // The system takes names of up to MAX_PATH characters without '\'
    // (MutexName replaces it); any other name cannot be a mutex.
    const std::string text = MutexName(name);
    auto shared = std::make_shared<Shared>();
    shared->mutex = ::CreateMutexA(nullptr, FALSE, text.c_str());
    if (shared->mutex == nullptr) {
        return nullptr;
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

LockWait NamedLock::Wait(std::uint32_t timeoutMs)
{
    // Queued on the mutex itself: the system hands it on in turn, and the
    // wait ends the moment it is free.
    switch (::WaitForSingleObject(shared_->mutex, timeoutMs)) {
    case WAIT_OBJECT_0:
        ++held_;
        return LockWait::Acquired;
    case WAIT_ABANDONED:
        // Ours now; its previous holder ended without releasing it.
        ++held_;
        return LockWait::Abandoned;
    case WAIT_TIMEOUT:
        return LockWait::Timeout;
    default:
        return LockWait::Failed;
    }
}

bool NamedLock::Release()
{
    // ReleaseMutex refuses a thread that does not own the mutex.
    if (held_ == 0 || !::ReleaseMutex(shared_->mutex)) {
        return false;
    }
    --held_;
    return true;
}

}  // namespace zv::os
