#pragma once

// The STM32 MCU as the controller's tunnel reaches it (kReqMcuTunnel): it
// answers its version and its unique identifier; the u3mcu hooks bend its
// replies.

#include "usb3_request.h"

namespace zvemu {

class Usb3HookSet;

class Usb3Stm32Tunnel {
public:
    Usb3Stm32Tunnel(Usb3Core& core, Usb3HookSet& hooks) : core_(core), hooks_(hooks) {}

    Usb3Outcome Handle(const Usb3Request& r, Usb3Reply& reply);

private:
    Usb3Core& core_;
    Usb3HookSet& hooks_;
};

}  // namespace zvemu
