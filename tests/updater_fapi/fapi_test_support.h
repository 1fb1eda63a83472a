#pragma once

// What the camera-API updater's tests share: an updater whose inner parts
// are reachable, captured standard output and the text of whatever a call
// throws.

#include "fw_updater_fapi.h"
#include "zvapiplus_exception.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

namespace fapi_test {

// The updater with the parts its later operations use made reachable.
class TestUpdater : public FW_Updater_FAPI {
public:
    using FW_Updater_FAPI::AbandonCameraOperation;
    using FW_Updater_FAPI::FinishCameraOperation;
    using FW_Updater_FAPI::StartTransferProgress;

    void Open() { camera.Open(); }
    CameraFAPI& Camera() { return camera; }
    std::int32_t CameraIndex() const { return cameraIndex; }
    const std::string& CameraSN() const { return cameraSN; }
    const std::string& CameraPath() const { return cameraPath; }
    const std::string& CameraLocation() const { return cameraLocation; }
    const std::string& NewFwVersion() const { return newFwVersion; }
    const std::string& CurrentFwVersion() const { return currentFwVersion; }
    const std::string& ModelName() const { return modelName; }
    const std::string& EepromVersion() const { return eepromVersion; }
    bool SkipEepromUpgrade() const { return skipEepromUpgrade; }
    bool EepromVersionFromCpu() const { return eepromVersionFromCpu; }
    std::int32_t LedBlinkCount() const { return ledBlinkCount; }
    const std::vector<std::uint8_t>& EepromCache() const { return eepromCache; }
};

// Runs f with standard output captured; answers what it printed.
inline std::string Printed(const std::function<void()>& f)
{
    testing::internal::CaptureStdout();
    try {
        f();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    return testing::internal::GetCapturedStdout();
}

// The text of what f throws: an UpdaterError's text, or "zvAPI: " and the
// wrapper error's description; empty when nothing is thrown.
inline std::string Thrown(const std::function<void()>& f)
{
    try {
        f();
    } catch (const zvAPIplus_Exception& e) {
        return std::string("zvAPI: ") + e.Description();
    } catch (const std::exception& e) {
        return e.what();
    }
    return std::string();
}

// Output and thrown text of one call.
struct Outcome {
    std::string printed;
    std::string error;
};

inline Outcome Capture(const std::function<void()>& f)
{
    Outcome o;
    o.printed = Printed([&] { o.error = Thrown(f); });
    return o;
}

inline std::size_t Count(const std::string& text, const std::string& piece)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) {
        ++n;
    }
    return n;
}

}  // namespace fapi_test
