#pragma once

#include "text_limits.h"
#include "zvapiplus_camera.h"

#include <cstdint>
#include <string>
#include <string_view>

// The camera of the camera-API updater: remembers how the camera is to be
// found and opens it on demand with the preparations every operation needs.
// Selecting touches no camera; the first operation opens it, later ones
// reuse the open camera while it is present.
class CameraFAPI {
public:
    enum class Mode : std::int32_t {
        First = 0,
        ByIndex = 1,
        ByPath = 2,
        BySerial = 3,
        ByLocation = 4
    };

    void SelectByIndex(std::int32_t cameraIndex);
    void SelectByPath(std::string_view devicePath);
    void SelectBySerial(std::string_view serialNumber);
    void SelectByLocation(std::string_view locationPath);
    // A model serial to set on the device before it is opened; allowed only
    // for the first camera or a selection by index.
    void SetForcedModelSNE(std::string_view sne);

    // Makes sure the selected camera is open and prints its identification.
    // Camera API failures pass out as zvAPIplus_Exception.
    void Open();
    // Closes the camera (nothing when it is closed); a failure is thrown.
    void Close() { camera.Close(); }

    ZV_HANDLE GetHandle() const { return camera.Handle(); }
    // Adopts a handle opened elsewhere.
    void Adopt(ZV_HANDLE handle) { camera.Adopt(handle); }
    // Gives the handle back without closing it.
    void Release() { camera.Release(); }

    zvAPIplus_Camera& Camera() { return camera; }

    Mode GetMode() const { return mode; }
    std::int32_t GetIndex() const { return index; }
    const std::string& GetPath() const { return path; }
    const std::string& GetSerial() const { return serial; }
    const std::string& GetLocation() const { return location; }
    bool IsModelForced() const { return forced; }
    const std::string& GetForcedModelSNE() const { return forcedSNE; }

    // What the camera said it is when it was last opened (its model name and
    // serial number); none while no open has read them (a handle supplied
    // from outside). Later answers are held against these: a camera does not
    // change its identity while it is open.
    bool IsIdentified() const { return identified; }
    const std::string& OpenedModel() const { return openedModel; }
    const std::string& OpenedSerial() const { return openedSerial; }

private:
    void ForceModelSerial();
    void OpenByMode();
    void PrintIdentification();

    zvAPIplus_Camera camera;
    Mode mode = Mode::First;
    std::int32_t index = 0;  // also the device the forced serial goes to
    std::string path;
    std::string serial;
    std::string location;
    bool forced = false;
    std::string forcedSNE;
    bool identified = false;
    std::string openedModel;
    std::string openedSerial;
};
