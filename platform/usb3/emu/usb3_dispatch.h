#pragma once

// The emulated controller's dispatcher: a table from request code to the
// handler of the device that answers it. It owns the devices, one per memory
// or bus, and restarts them all at a controller reset.

#include <array>
#include <cstdint>
#include <memory>

#include "usb3_c51.h"
#include "usb3_endpoint.h"
#include "usb3_mcu_bus.h"
#include "usb3_ram.h"
#include "usb3_registers.h"
#include "usb3_request.h"
#include "usb3_spi_flash.h"
#include "usb3_stm32_tunnel.h"
#include "zvusb3/usb3_protocol.h"

namespace zvemu {

class Usb3HookSet;

class Usb3Dispatcher {
public:
    // Maps the camera's memories from its folder.
    Usb3Dispatcher(Usb3Core& core, Usb3HookSet& hooks, Usb3Endpoint& endpoint);

    // Carries out one request; the reply is made in `reply`.
    Usb3Outcome Execute(const Usb3Request& r, Usb3Reply& reply)
    {
        reply.length = 0;
        if (core_.face.bare && r.code != zv::usb3::kReqRamWrite) {
            return Usb3Outcome::Error;  // a controller without firmware knows only its RAM
        }
        return kTable[r.code](*this, r, reply);
    }

private:
    using Handler = Usb3Outcome (*)(Usb3Dispatcher&, const Usb3Request&, Usb3Reply&);
    static const std::array<Handler, 256> kTable;
    static std::array<Handler, 256> MakeTable();

    bool OldFamily() const { return core_.face.ControllerFamily() == Usb3Face::Family::Old; }
    Usb3Outcome Setup(const Usb3Request& r);
    Usb3Outcome ControllerVersion(const Usb3Request& r, Usb3Reply& reply) const;
    Usb3Outcome StartupDone(const Usb3Request& r, Usb3Reply& reply);
    // The controller restarts: the images in flash become what runs.
    Usb3Outcome Reset();

    Usb3Core& core_;
    Usb3Endpoint& endpoint_;
    Usb3Registers registers_;
    Usb3SpiFlash spi_;
    Usb3McuBus mcu_;
    Usb3Stm32Tunnel tunnel_;
    Usb3C51 c51_;
    Usb3Ram ram_;
};

}  // namespace zvemu
