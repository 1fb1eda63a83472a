/*
 * zvapi32: the camera API library interface.
 *
 * Every function answers an int32 result code: 0 for success, otherwise one
 * of the error codes listed at the end of this header. Outputs are written
 * only on success; a failing call leaves every output untouched.
 *
 * Parameters are named by text. The limit of a number parameter (int, float
 * or raw) is read by appending ":min", ":max" or ":inc" to its name.
 *
 * Camera settings: every parameter starts from the camera's default in each
 * process and after a "device_reset"; values behind a selector are kept per
 * selector value. A set out of range or off the step answers 114, a set of
 * a read-only parameter 109, a get of a write-only one 106, the limits of a
 * string 107, a wrong type 103, a change of region or format while any
 * handle of the camera acquires 121, and every parameter of a feature the
 * model lacks (colour, cooling, lens, time of flight) 106. The library's own
 * settings answer on the null handle too. With "trigger_source" 3 a frame
 * comes for each "trigger_software" of 1 (119 when not acquiring with that
 * source); zvGetImage answers 10 at once when no frame can come. The
 * processing context has one parameter, "imgdataformat" (an int, size 4):
 * the format it converts pushed images to (0, 1, 2, 3, 5, 6 or 8; 204 for
 * others; 203 for a pushed image it cannot read); unset, images pass as
 * they are.
 *
 * This build of the library emulates cameras whose state persists in a
 * directory (see "Emulated cameras" in README.md): the environment variable
 * ZVAPI_EMULATOR_DIR names it; when unset, a per-user default is used
 * ($XDG_STATE_HOME/zvapi-emulator, else ~/.local/state/zvapi-emulator).
 *
 * Flash file system (FFS) of a camera, reached through parameters:
 *   "ffs_file_name"   selects a file by name (1 to 64 printable characters)
 *                     and resets the file offset of the handle to 0.
 *   "ffs_file_offset" byte offset of the next read or write; a transfer
 *                     does not move it.
 *   "ffs_file_size"   size of the selected file; 0 when it does not exist.
 *                     "File_EEPROM1" always has 65,536 bytes.
 *   "ffs_access_key"  key for the following writes of this handle.
 *   "read_file_ffs"   string get: copies exactly the requested number of
 *                     bytes from the offset, no terminator; bytes past the
 *                     end of the file read 0xFF (erased flash).
 *   "write_file_ffs"  string set with data and byte count: at offset 0 the
 *                     data replace the file; at a higher offset they patch
 *                     it in place and extend it (a gap reads 0xFF).
 *                     "File_EEPROM1" is a fixed region: writes patch it and
 *                     may not pass its end.
 *   Keys: writing "File_EEPROM1" needs ZV_EEPROM_ACCESS_KEY; "FFS_Partition",
 *   "FullFlashContent" and "UserSetFactory" need the camera's special key;
 *   "FwOperationLog.zip" needs none; every other file needs the camera's
 *   access key (ZV_DEFAULT_ACCESS_KEY unless the camera was set up with
 *   another). Reads need no key. A refused key changes nothing.
 *   "api_progress_callback" string set with a ZV_PROGRESS_CALLBACK address as
 *   the value and size 0 registers a callback for this handle (a null value
 *   unregisters it); reads and writes of the handle call it on the caller's
 *   thread with non-decreasing percentages that end at 100.
 */
#ifndef ZVAPI32_H
#define ZVAPI32_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define ZVAPI_CALL __stdcall
#define ZVAPI_EXPORT
#else
#define ZVAPI_CALL
#define ZVAPI_EXPORT __attribute__((visibility("default")))
#endif

/* An open camera; 0 is no camera. Handles are never reused in a process. */
typedef uint32_t ZV_HANDLE;
/* An image-processing context; 0 is none. */
typedef uintptr_t ZV_PROC_HANDLE;
typedef int32_t ZV_RETURN;

/* Kinds of zvOpenDeviceBy. */
typedef enum {
    ZV_OPEN_BY_INST_PATH = 0,
    ZV_OPEN_BY_SN = 1,
    ZV_OPEN_BY_USER_ID = 2,
    ZV_OPEN_BY_LOC_PATH = 3
} ZV_OPEN_DEVICE_BY;

/* Value types of zvGetParam and zvSetParam. */
typedef enum {
    zvTypeInteger = 0,
    zvTypeFloat = 1,
    zvTypeString = 2,
    zvTypeEnum = 3,
    zvTypeBoolean = 4,
    zvTypeCommand = 5,
    zvTypeInteger64 = 6
} ZV_PARAM_TYPE;

/* Values of "version_selector": which version "version" answers. */
typedef enum {
    ZV_VER_API = 0,
    ZV_VER_DRV = 1,
    ZV_VER_MCU1 = 2,
    ZV_VER_MCU2 = 3,
    ZV_VER_MCU3 = 4,
    ZV_VER_FPGA1 = 5,
    ZV_VER_XMLMAN = 6,
    ZV_VER_HW_REV = 7,
    ZV_VER_FACTORY_SET = 8
} ZV_VERSION_SELECTOR;

#define ZV_EEPROM_ACCESS_KEY 0x3C91E5A7u
#define ZV_DEFAULT_ACCESS_KEY 0x6B2F08D4u

/* Registered through "api_progress_callback"; percent runs from 0 to 100. */
typedef void(ZVAPI_CALL* ZV_PROGRESS_CALLBACK)(int percent);

/* One image, 304 bytes on the 32-bit target. The caller sets size to
 * sizeof(ImageDescriptor) before handing the record over; the library fills
 * the rest. Callers rely on size, pixelBuffer, format, width, height and
 * linePadding only; every other byte is the library's. The pixel buffer
 * belongs to the library and stays valid until the next image of the same
 * handle or context, or until that is closed.
 *
 * Pixel data: height lines of width pixels, each line followed by
 * linePadding bytes. Formats (values of "imgdataformat"): 0 MONO8, 1 MONO16,
 * 2 RGB24, 3 RGB32, 4 RGB_PLANAR (three planes of 8-bit samples, one after
 * the other), 5 RAW8, 6 RAW16, 7 transport data (the bytes as the camera
 * sent them: 12-bit samples, two in three bytes, no padding), 8 RGB48,
 * 9 RGB64, 10 RGB16_PLANAR, 11 RAW8X2, 12 RAW8X4, 13 RAW16X2, 14 RAW16X4,
 * 15 RAW32, 16 RAW32FLOAT, 17 RAW8X3, 18 RAW16X3 (the RAWnXk formats carry k
 * components of n bits per pixel). */
typedef struct ImageDescriptor {
    uint32_t size;
    void* pixelBuffer;
    uint32_t reserved0;
    uint32_t format;
    uint32_t width;
    uint32_t height;
    uint32_t frameNumber; /* this emulation's own: counts the frames of a handle */
    uint32_t reserved1[4];
    uint32_t linePadding; /* bytes after each line */
    uint8_t reserved2[256];
} ImageDescriptor;

ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvGetNumberDevices(uint32_t* count);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvOpenDevice(uint32_t index, ZV_HANDLE* handle);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvOpenDeviceBy(int32_t kind, const char* text, ZV_HANDLE* handle);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvCloseDevice(ZV_HANDLE handle);

ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvGetParamInt(ZV_HANDLE handle, const char* param, int32_t* value);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvGetParamFloat(ZV_HANDLE handle, const char* param, float* value);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvGetParamString(ZV_HANDLE handle, const char* param, char* buffer, int32_t size);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvGetParam(ZV_HANDLE handle, const char* param, void* value, uint32_t* size,
                                             int32_t* type);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvSetParamInt(ZV_HANDLE handle, const char* param, int32_t value);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvSetParamFloat(ZV_HANDLE handle, const char* param, float value);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvSetParamString(ZV_HANDLE handle, const char* param, const void* value,
                                                   uint32_t size);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvSetParam(ZV_HANDLE handle, const char* param, const void* value, uint32_t size,
                                             int32_t type);

ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvStartAcquisition(ZV_HANDLE handle);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvStopAcquisition(ZV_HANDLE handle);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvGetImage(ZV_HANDLE handle, uint32_t timeoutMs, ImageDescriptor* image);

ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvProcOpen(ZV_PROC_HANDLE* proc);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvProcClose(ZV_PROC_HANDLE proc);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvProcPushImage(ZV_PROC_HANDLE proc, ImageDescriptor* image);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvProcPullImage(ZV_PROC_HANDLE proc, int32_t reserved, ImageDescriptor* image);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvProcSetParam(ZV_PROC_HANDLE proc, const char* param, const void* value,
                                                 uint32_t size, int32_t type);

ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvGetDeviceInfoString(uint32_t index, const char* param, char* buffer, uint32_t size);
ZVAPI_EXPORT ZV_RETURN ZVAPI_CALL zvSetDeviceInfoString(uint32_t index, const char* param, const char* value,
                                                        uint32_t size);

/* Result codes this library answers. */
#define ZV_OK 0
#define ZV_INVALID_HANDLE 1
#define ZV_READ_REG_ERROR 2
#define ZV_WRITE_REG_ERROR 3
#define ZV_READ_BLOCK_ERROR 7
#define ZV_WRITE_BLOCK_ERROR 8
#define ZV_NO_IMAGE 9
#define ZV_TIMEOUT 10
#define ZV_INVALID_ARG 11
#define ZV_CAMERA_CONTEXT_ERROR 20
#define ZV_ACQUISITION_ALREADY_UP 41
#define ZV_DEVICE_NOT_READY 49
#define ZV_NOT_ENOUGH_PRIVILEGES 52
#define ZV_NO_DEVICES_FOUND 56
#define ZV_BUFFER_TOO_SMALL 58
#define ZV_ACQUISITION_STOPPED 45
#define ZV_UNKNOWN_PARAM 100
#define ZV_WRONG_PARAM_VALUE 101
#define ZV_WRONG_PARAM_TYPE 103
#define ZV_WRONG_PARAM_SIZE 104
#define ZV_PARAM_NOT_SUPPORTED 106
#define ZV_PARAM_INFO_NOT_SUPPORTED 107
#define ZV_DATA_FORMAT_NOT_SUPPORTED 108
#define ZV_READ_ONLY_PARAM 109
#define ZV_FFS_FILE_SELECTOR_INVALID 112
#define ZV_PARAM_VALUE_CANNOT_BE_SET 114
#define ZV_PARAM_CONDITIONALLY_NOT_AVAILABLE 119
#define ZV_NOT_SUPPORTED_WHILE_ACQUISITION 121
#define ZV_PROC_INPUT_FORMAT_UNSUPPORTED 203
#define ZV_PROC_OUTPUT_FORMAT_UNSUPPORTED 204

#ifdef __cplusplus
}
#endif

#endif /* ZVAPI32_H */
