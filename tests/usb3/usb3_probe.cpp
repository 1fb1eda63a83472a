// A second process on the emulated USB3 camera, for the tests of the device
// lock and of memories that outlive a process:
//   lock-wait INDEX          opens the camera and sends one request that takes
//                            the lock; prints the result, the OS clock time it
//                            spent and the debug output
//   hold-and-die INDEX       takes the camera's lock and is killed holding it
//   write-and-die INDEX N    writes N 64-byte pieces to SPI flash 0x210000 on,
//                            then is killed

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "os_clock.h"
#include "os_debug_output.h"
#include "u3_device.h"
#include "u3_transport.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        return 2;
    }
    const std::string mode = argv[1];
    const unsigned index = static_cast<unsigned>(std::atoi(argv[2]));
    zv::os::DebugOutputCapture debug;
    const std::uint32_t start = zv::os::TickCountMs();
    auto context = OpenDeviceUSB30(index);
    if (!context) {
        std::printf("no camera\n");
        return 1;
    }
    if (mode == "lock-wait") {
        std::uint8_t version[2] = {};
        const int rc = u3VrReq(*context, 0xC0, 0, 0, version, 2, 0, 1);
        std::printf("rc=%d waited=%u\n%s", rc, zv::os::TickCountMs() - start, debug.Text().c_str());
        return 0;
    }
    if (mode == "hold-and-die") {
        if (!LockResourceAccess(*context)) {
            std::printf("not held\n");
            return 1;
        }
        std::printf("held\n");
        std::fflush(stdout);
        std::raise(SIGKILL);
    }
    if (mode == "write-and-die" && argc == 4) {
        const int pieces = std::atoi(argv[3]);
        for (int i = 0; i < pieces; ++i) {
            const std::uint32_t address = 0x210000 + 64u * static_cast<std::uint32_t>(i);
            std::uint8_t block[8] = {0x02, static_cast<std::uint8_t>(address >> 16),
                                     static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 32};
            std::uint8_t data[64];
            for (int b = 0; b < 64; ++b) {
                data[b] = static_cast<std::uint8_t>(i + b);
            }
            if (u3VrReq(*context, 0xE4, 0, 0, block, 8, 1, 1) != 0 ||
                u3VrReq(*context, 0xE8, 0, 0, data, 64, 1, 1) != 0) {
                std::printf("write %d failed\n", i);
                return 1;
            }
        }
        std::printf("wrote %d\n", pieces);
        std::fflush(stdout);
        std::raise(SIGKILL);
    }
    return 2;
}
