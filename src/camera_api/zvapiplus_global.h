#pragma once

#include <cstdint>

// The camera API's operations that need no camera.
class zvAPIplus_Global {
public:
    int32_t GetNumberOfConnectedCameras();
    // Lets the enumeration include cameras in golden mode, library-wide.
    void EnableCamEnumGoldenEnabled();
};
