#pragma once

// Runs of this program that write to one camera take turns: each holds the
// camera's lock, named by the camera's serial number, for the whole
// operation, whichever path (camera API or direct USB3) it reaches the camera
// by. A run that finds the camera taken says so once and waits a while; when
// the other run still holds it then, it fails without writing anything.

#include "os_named_lock.h"

#include <cstdint>
#include <memory>
#include <string_view>

// How long a run waits for a camera that another run is writing to.
inline constexpr std::uint32_t kCameraInUseWaitMs = 60000;

// Prints that the camera is in use by another run, the first time in this
// run that a wait for the camera (its lock or its device lock) begins.
void NoteCameraInUse();

// Takes `lock` for a wait on the camera: at once when it is free, else after
// NoteCameraInUse, waiting at most waitMs (0: not at all).
zv::os::LockWait WaitForCamera(zv::os::NamedLock& lock, std::uint32_t waitMs);

class CameraRunLock {
public:
    // Takes the lock of the camera with this serial number, waiting at most
    // waitMs; throws an UpdaterError when it stays taken or cannot be made.
    explicit CameraRunLock(std::string_view serial, std::uint32_t waitMs = kCameraInUseWaitMs);
    // Gives the lock back; its file goes with it.
    ~CameraRunLock();
    CameraRunLock(const CameraRunLock&) = delete;
    CameraRunLock& operator=(const CameraRunLock&) = delete;

private:
    std::unique_ptr<zv::os::NamedLock> lock_;
};
