#pragma once

// The C51 MCU behind the controller's command channel (kReqC51Channel): its
// boot loader takes blocks sent in parts and answers replies fetched in
// chunks; it reads and programs the C51's flash (cpu3.bin) and EEPROM
// (cpu4.bin).

#include <cstdint>
#include <memory>
#include <vector>

#include "mapped_file.h"
#include "usb3_request.h"

namespace zvemu {

class Usb3HookSet;

class Usb3C51 {
public:
    Usb3C51(Usb3Core& core, Usb3HookSet& hooks, std::unique_ptr<MappedFile> flash,
            std::unique_ptr<MappedFile> eeprom);

    Usb3Outcome Handle(const Usb3Request& r, Usb3Reply& reply);
    // At a controller reset: no block, no reply, not erasing.
    void Reset();

private:
    // Carries out the block received; false refuses it.
    bool Execute();
    Usb3Outcome Fetch(std::uint16_t part, std::uint16_t length, Usb3Reply& reply);

    Usb3Core& core_;
    Usb3HookSet& hooks_;
    std::unique_ptr<MappedFile> flash_;
    std::unique_ptr<MappedFile> eeprom_;
    std::vector<std::uint8_t> block_;
    std::vector<std::uint8_t> reply_;
    std::size_t replyPos_ = 0;
    std::uint32_t chunkLeft_ = 0;
    std::uint32_t busy_ = 0;     // requests still refused while erasing
    std::uint32_t written_ = 0;  // flash bytes programmed since the erase
    bool closed_ = false;        // the closing block came
};

}  // namespace zvemu
