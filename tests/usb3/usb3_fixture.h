#pragma once

// A fresh state directory with emulated USB3 cameras, a virtual clock and a
// capture of the debug output, for the tests of the USB3 transport.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "emu_dir.h"
#include "os_clock.h"
#include "os_debug_output.h"
#include "u3_device.h"
#include "u3_transport.h"
#include "zvemu/usb3_face.h"

namespace usb3test {

class Usb3Test : public ::testing::Test {
protected:
    Usb3Test() : lockDir_(emu_.Root() / "locks") { ::setenv("ZVOS_LOCK_DIR", lockDir_.c_str(), 1); }
    ~Usb3Test() override { ::unsetenv("ZVOS_LOCK_DIR"); }

    // Adds a camera with a USB3 face; answers its index among all cameras.
    unsigned AddUsb3(const zvemu::Usb3Seed& seed = {}, const std::string& model = "JV966JK-TD-G8-V7T9-JND")
    {
        const unsigned index = emu_.AddCamera(model);
        zvemu::AddUsb3Face(emu_.State(), emu_.CameraId(index), emu_.Camera(index), seed);
        return index;
    }
    static zvemu::Usb3Seed Seed(int generation, std::uint8_t major, std::uint8_t minor, bool highSpeed = false)
    {
        zvemu::Usb3Seed seed;
        seed.face.generation = generation;
        seed.face.controllerMajor = major;
        seed.face.controllerMinor = minor;
        seed.face.highSpeed = highSpeed;
        return seed;
    }
    std::vector<std::uint8_t> Spi(unsigned camera, std::uint32_t offset, std::uint32_t length) const
    {
        return zvemu::ReadUsb3Memory(emu_.State(), emu_.CameraId(camera), zvemu::Usb3Memory::Spi, offset, length);
    }
    std::vector<std::uint8_t> Memory(unsigned camera, zvemu::Usb3Memory memory, std::uint32_t offset,
                                     std::uint32_t length) const
    {
        return zvemu::ReadUsb3Memory(emu_.State(), emu_.CameraId(camera), memory, offset, length);
    }
    void Hook(unsigned camera, const std::string& line) { emu_.Hook(static_cast<int>(camera), line); }

    zvtest::EmuDir emu_;
    std::filesystem::path lockDir_;
    zv::os::VirtualClock clock_;
    zv::os::DebugOutputCapture debug_;
};

}  // namespace usb3test
