#include "camera_run_lock.h"

#include "updater_error.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace {

std::atomic<bool> g_inUseNoted{false};

}  // namespace

void NoteCameraInUse()
{
    if (!g_inUseNoted.exchange(true)) {
        std::printf("The camera is in use by another run of the updater, waiting for it to finish...\n");
        std::fflush(stdout);
    }
}

zv::os::LockWait WaitForCamera(zv::os::NamedLock& lock, std::uint32_t waitMs)
{
    zv::os::LockWait wait = lock.Wait(0);
    if (wait == zv::os::LockWait::Timeout && waitMs > 0) {
        NoteCameraInUse();
        wait = lock.Wait(waitMs);
    }
    return wait;
}

CameraRunLock::CameraRunLock(std::string_view serial, std::uint32_t waitMs)
{
    // A camera without a serial number cannot be told from another one: its
    // runs could not take turns.
    if (serial.empty()) {
        throw UpdaterError("The camera reports no serial number: runs on it cannot be kept apart");
    }
    lock_ = zv::os::NamedLock::Open("zvcamupdater-camera-" + std::string(serial));
    if (!lock_) {
        throw UpdaterError("Can not create the lock of camera " + std::string(serial));
    }
    const zv::os::LockWait wait = WaitForCamera(*lock_, waitMs);
    // A holder that ended without giving the lock back ran no longer: its
    // turn is over.
    if (wait == zv::os::LockWait::Timeout) {
        throw UpdaterError("The camera is still in use by another run of the updater; nothing was written. "
                           "Run the command again once the other run has finished");
    }
    if (wait != zv::os::LockWait::Acquired && wait != zv::os::LockWait::Abandoned) {
        throw UpdaterError("Can not take the lock of camera " + std::string(serial));
    }
}

CameraRunLock::~CameraRunLock()
{
    lock_->Release();
}
