#include "error_items.h"

#include <cstring>
#include <string>

#include "zvapiplus_exception.h"

const std::array<error_item_t, 118> error_items = {{
    // Camera API
    {0, "Function call succeeded"},
    {1, "Invalid handle"},
    {2, "Register read error"},
    {3, "Register write error"},
    {4, "Freeing resources error"},
    {5, "Freeing channel error"},
    {6, "Freeing bandwith error"},
    {7, "Read block error"},
    {8, "Write block error"},
    {9, "No image"},
    {10, "Timeout"},
    {11, "Invalid arguments supplied"},
    {12, "Not supported"},
    {13, "Attach buffers error"},
    {14, "Overlapped result"},
    {15, "Memory allocation error"},
    {16, "DLL context is NULL"},
    {17, "DLL context is non zero"},
    {18, "DLL context exists"},
    {19, "Too many devices connected"},
    {20, "Camera context error"},
    {21, "Unknown hardware"},
    {22, "Invalid TM file"},
    {23, "Invalid TM tag"},
    {24, "Incomplete TM"},
    {25, "Bus reset error"},
    {26, "Not implemented"},
    {27, "Shading is too bright"},
    {28, "Shading is too dark"},
    {29, "Gain is too low"},
    {30, "Invalid sensor defect correction list"},
    {31, "Error while sensor defect correction list reallocation"},
    {32, "Invalid pixel list"},
    {33, "Invalid Flash File System"},
    {34, "Invalid profile"},
    {35, "Invalid calibration"},
    {36, "Invalid buffer"},
    {38, "Invalid data"},
    {39, "Timing generator is busy"},
    {40, "Wrong operation open/write/read/close"},
    {41, "Acquisition already started"},
    {42, "Old version of device driver installed to the system."},
    {43, "To get error code please call GetLastError function."},
    {44, "Data cannot be processed"},
    {45, "Acquisition is stopped. It needs to be started to perform operation."},
    {46, "Acquisition has been stopped with an error."},
    {47, "Input ICC profile missing or corrupted"},
    {48, "Output ICC profile missing or corrupted"},
    {49, "Device not ready to operate"},
    {50, "Shading is too contrast"},
    {51, "Module already initialized"},
    {52, "Application does not have enough privileges (one or more app)"},
    {53, "Installed driver is not compatible with current software"},
    {54, "TM file was not loaded successfully from resources"},
    {55, "Device has been reset, abnormal initial state"},
    {56, "No Devices Found"},
    {57, "Resource (device) or function locked by mutex"},
    {58, "Buffer provided by user is too small"},
    {59, "Could not initialize processor."},
    {60, "The object/module/procedure/process being referred to has not been started."},
    {61, "Resource not found(could be processor, file, item...)."},
    // Parameters
    {100, "Unknown parameter"},
    {101, "Wrong parameter value"},
    {103, "Wrong parameter type"},
    {104, "Wrong parameter size"},
    {105, "Input buffer is too small"},
    {106, "Parameter is not supported"},
    {107, "Parameter info not supported"},
    {108, "Data format is not supported"},
    {109, "Read only parameter"},
    {111, "This camera does not support currently available bandwidth"},
    {112, "FFS file selector is invalid or NULL"},
    {113, "FFS file not found"},
    {114, "Parameter value cannot be set (might be out of range or invalid)."},
    {115, "Safe buffer policy is not supported. E.g. when transport target is set to GPU (GPUDirect)."},
    {116, "GPUDirect is not available. E.g. platform isn't supported or CUDA toolkit isn't installed."},
    {117, "Incorrect sensor board unique identifier checksum."},
    {118, "Incorrect or unknown FPGA firmware type used for camera."},
    {119, "Parameter is not available in current context. Available only if another feature is turned on."},
    {120, "Frame buffer RAM initialization error."},
    {121, "Parameter is not supported while acquisition is running."},
    // Processing
    {201, "Processing error - other"},
    {202, "Error while image processing."},
    {203, "Input format is not supported for processing."},
    {204, "Output format is not supported for processing."},
    {205, "Parameter value is out of range"},
    // Image processing (its code 0 is shadowed by the first row)
    {0, "Result OK"},
    {1001, "Invalid argument detected (out of range)"},
    {1002, "Implementation is not yet done"},
    {1003, "This value is not supported"},
    {1004, "Using of unknown parameter"},
    {1005, "Input buffer is not allocated"},
    {1006, "Output buffer is not allocated"},
    {1007, "Output buffer allocation error"},
    {1008, "There are no processors in chain"},
    {1009, "Some requirement is not met"},
    {1010, "Processors chain is full"},
    {1011, "Processor is not initialized yet"},
    {1012, "Processor generates error"},
    {1013, "Unknown data format"},
    {1014, "Unknown color filter array pattern type"},
    {1020, "Couldn't load library"},
    {1021, "Couldn't load function"},
    {1022, "Couldn't open process"},
    {1023, "Couldn't open process"},
    {1024, "Unsupported input format"},
    {1025, "Unsupported output format"},
    {1026, "Image intensity is our of range"},
    {1027, "Timeout waiting for event"},
    {1028, "Processor execution disabled"},
    {1029, "Defect already in list"},
    {1030, "Couldn't open input file"},
    {1031, "Couldn't allocate memory"},
    {1032, "Couldn't read"},
    {1033, "Couldn't write"},
    {1034, "Operation is read only"},
    {1035, "Input data not compatible with current FFC processor settings"},
    {1036, "Image can't be processed due to image width alignment is not supported by Image Processor."},
}};

const char* FindErrorText(int32_t code)
{
    for (const auto& item : error_items) {
        if (item.code == code) {
            return item.text;
        }
    }
    return nullptr;
}

void RaiseError(int32_t code, const char* method)
{
    const std::string name = method ? method : "";
    std::string description = "(missing_error_description)";
    if (const char* text = FindErrorText(code)) {
        // The description must stay within 199 characters: text, the 20
        // characters " (zvAPIplus_Camera::" and ")", and the method name.
        if (std::strlen(text) + name.size() + 26 < 200) {
            description = std::string(text) + " (zvAPIplus_Camera::" + name + ")";
        } else {
            description = "(descr_too_long)";
        }
    }
    throw zvAPIplus_Exception(code, description.c_str());
}
