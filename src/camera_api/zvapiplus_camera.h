#pragma once

#include <cstdint>

#include "error_items.h"
#include "param_forms.h"
#include "zvapi32.h"
#include "zvapiplus_exception.h"
#include "zvapiplus_image.h"

// A camera of the camera API library: owns one device handle, opens and
// closes it, and reaches every camera parameter through accessor methods
// generated from camera_params.def. Every failing camera-API result becomes
// a zvAPIplus_Exception naming the method that failed.
class zvAPIplus_Camera {
public:
    zvAPIplus_Camera() = default;
    // Closes a still open device; never throws.
    ~zvAPIplus_Camera();
    // One camera object owns one handle: no copies.
    zvAPIplus_Camera(const zvAPIplus_Camera&) = delete;
    zvAPIplus_Camera& operator=(const zvAPIplus_Camera&) = delete;

    // Opening a camera object that already holds a device opens the new one
    // first; only then is the old handle closed and replaced. A failed open
    // leaves the object as it was.
    void OpenByID(int32_t index);
    void OpenByPath(const char* path);
    void OpenBySN(const char* serial);
    void OpenByUserID(const char* userId);
    void OpenByLocation(const char* location);
    void OpenFirst();
    // Releases the device; a failure is thrown and the handle kept. The
    // camera's own image is emptied (the library's pixels end with the
    // device); the acquisition flag stays as it was.
    void Close();

    // Handle ownership. Adopt takes a handle opened elsewhere (the object
    // then uses it like its own; a handle it held before is forgotten, not
    // closed), Release gives the handle back without closing it and leaves the
    // object closed. Handle is the open device, 0 while closed.
    void Adopt(ZV_HANDLE handle) { deviceHandle = handle; }
    ZV_HANDLE Release()
    {
        const ZV_HANDLE handle = deviceHandle;
        deviceHandle = 0;
        return handle;
    }
    ZV_HANDLE Handle() const { return deviceHandle; }

    int32_t GetNumberOfConnectedCameras();

    // Raise a non-zero code under the method's name ("<method> - <parameter>"
    // for the by-name accessors).
    static void CheckResult(int32_t code, const char* method);
    static void CheckResult(int32_t code, const char* method, const char* parameter);

    // By-name accessors: the caller names the parameter; arguments pass to
    // the camera API unchanged.
    void GetZVAPIParam(const char* parameter, void* value, uint32_t* size, int32_t* type);
    void GetZVAPIParamInt(const char* parameter, int* value);
    void GetZVAPIParamFloat(const char* parameter, float* value);
    void GetZVAPIParamStr(const char* parameter, char* buffer, int size);
    void SetZVAPIParam(const char* parameter, const void* value, uint32_t size, int32_t type);
    void SetZVAPIParamInt(const char* parameter, int value);
    void SetZVAPIParamFloat(const char* parameter, float value);
    // The size is sent as given: data of any bytes with their count, or an
    // address with size 0 ("api_progress_callback").
    void SetZVAPIParamStr(const char* parameter, const void* value, int size);

    // Images and acquisition. GetNextImage fills the given image, or the
    // camera's own (GetLastImage) when it is null, with the library's next
    // frame and answers the image filled; an image that owned a copied
    // buffer releases it first. The timeout is passed to the library
    // unchecked. The acquisition flag follows the last start or stop that
    // succeeded; nothing in the wrapper consults it.
    zvAPIplus_Image* GetNextImage(zvAPIplus_Image* image);
    int32_t GetNextImageTimeout() const { return nextImageTimeout; }
    void SetNextImageTimeout(int32_t milliseconds) { nextImageTimeout = milliseconds; }
    zvAPIplus_Image* GetLastImage() { return &lastImage; }
    void StartAcquisition();
    void StopAcquisition();
    bool IsAcquisitionStarted() const { return acquisitionStarted; }

    // One family of accessors per camera parameter.
#define ZV_PARAM ZVP_DECLARE
#include "camera_params.def"
#undef ZV_PARAM

    // The open device; 0 while closed. Only this class and its tests touch
    // it; everyone else goes through Adopt, Release and Handle.
    ZV_HANDLE deviceHandle = 0;

private:
    int32_t nextImageTimeout = 2000;
    zvAPIplus_Image lastImage;
    bool acquisitionStarted = false;

    enum class HandleTest {
        CHECKED,
        NO_HANDLE_TEST
    };

    void Open(const char* method, int32_t result, ZV_HANDLE opened);
    void OpenByText(const char* method, int32_t kind, const char* text);
    void TestHandle(HandleTest test, const char* method) const;
    void TestHandleByName(const char* method) const;

    int GetINTForm(const char* param, const char* method, HandleTest test);
    float GetFLOATForm(const char* param, const char* method, HandleTest test);
    uint64_t GetRAWForm(const char* param, const char* method, HandleTest test);
    void GetSTRINGForm(const char* param, const char* method, HandleTest test, char* buffer, int size);
    void SetINTForm(const char* param, const char* method, HandleTest test, int value);
    void SetFLOATForm(const char* param, const char* method, HandleTest test, float value);
    void SetSTRINGForm(const char* param, const char* method, HandleTest test, const char* text);
    bool IsForm(const char* param, const char* method, HandleTest test);
};
