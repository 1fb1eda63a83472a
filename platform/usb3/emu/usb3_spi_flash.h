#pragma once

// The camera's SPI NOR flash, mapped from spi.bin, and the serial bus that
// reaches it (select, shift out and in, deselect; the register bus shares
// the wires), plus the newer families' data requests that read and program
// it through the set-up word.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "mapped_file.h"
#include "usb3_request.h"

namespace zvemu {

class Usb3HookSet;
class Usb3Registers;

class Usb3SpiFlash {
public:
    Usb3SpiFlash(Usb3Core& core, Usb3HookSet& hooks, Usb3Registers& registers, std::unique_ptr<MappedFile> memory);

    // The serial bus requests (select, out, in, deselect of either device).
    Usb3Outcome Bus(const Usb3Request& r, Usb3Reply& reply);
    // kReqSpiDataIn and kReqSpiDataOut: the command and address in the set-up word.
    Usb3Outcome DataIn(const Usb3Request& r, Usb3Reply& reply);
    Usb3Outcome DataOut(const Usb3Request& r);
    // At a controller reset: deselected, write disabled, idle.
    void Reset();
    const MappedFile& Memory() const { return *memory_; }

private:
    enum class Select {
        None,
        Spi,
        Register
    };
    bool Busy() const;
    // The chip acts on the command shifted in while it was selected.
    void Deselect();
    void Program(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool pageWrap);
    std::uint32_t Size() const { return static_cast<std::uint32_t>(memory_->size()); }

    Usb3Core& core_;
    Usb3HookSet& hooks_;
    Usb3Registers& registers_;
    std::unique_ptr<MappedFile> memory_;
    Select select_ = Select::None;
    std::vector<std::uint8_t> shift_;  // bytes sent while selected
    std::uint32_t shiftIn_ = 0;        // bytes read back while selected
    bool writeEnabled_ = false;
    std::uint32_t busyPolls_ = 0;  // status reads still answered busy
};

}  // namespace zvemu
