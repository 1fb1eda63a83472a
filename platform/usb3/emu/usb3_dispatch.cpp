#include "usb3_dispatch.h"

#include "usb3_hook_layer.h"
#include "zvusb3/usb3_protocol.h"
#include "zvusb3/usb3_transfer.h"

namespace zvemu {
namespace {

using namespace zv::usb3;

constexpr std::uint32_t kSetupBlockSize = 8;

std::unique_ptr<MappedFile> Map(const Usb3Core& core, Usb3Memory memory)
{
    return std::make_unique<MappedFile>(core.dir.Root() / core.id / Usb3MemoryFile(memory),
                                        Usb3MemorySize(memory, core.face.generation));
}

}  // namespace

Usb3Dispatcher::Usb3Dispatcher(Usb3Core& core, Usb3HookSet& hooks, Usb3Endpoint& endpoint)
    : core_(core),
      endpoint_(endpoint),
      registers_(core),
      spi_(core, hooks, registers_, Map(core, Usb3Memory::Spi)),
      mcu_(core, Map(core, Usb3Memory::Cpu2), Map(core, Usb3Memory::Mcu1)),
      tunnel_(core, hooks),
      c51_(core, hooks, Map(core, Usb3Memory::Cpu3), Map(core, Usb3Memory::Cpu4)),
      ram_(core)
{
}

std::array<Usb3Dispatcher::Handler, 256> Usb3Dispatcher::MakeTable()
{
    std::array<Handler, 256> table;
    // No family sends the others.
    table.fill([](Usb3Dispatcher&, const Usb3Request&, Usb3Reply&) { return Usb3Outcome::Error; });
    const Handler bus = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply& reply) { return d.spi_.Bus(r, reply); };
    for (const std::uint8_t code :
         {kReqSpiSelect, kReqSpiOut, kReqSpiIn, kReqSpiDeselect, kReqRegSelect, kReqRegDeselect}) {
        table[code] = bus;
    }
    table[kReqSetup] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply&) { return d.Setup(r); };
    // The data requests of the newer families.
    table[kReqSpiDataIn] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply& reply) {
        return d.OldFamily() ? Usb3Outcome::Error : d.spi_.DataIn(r, reply);
    };
    table[kReqSpiDataOut] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply&) {
        return d.OldFamily() ? Usb3Outcome::Error : d.spi_.DataOut(r);
    };
    table[kReqRegDataIn] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply& reply) {
        return d.OldFamily() ? Usb3Outcome::Error : d.registers_.Handle(r, reply);
    };
    table[kReqRegWrite] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply& reply) {
        return d.registers_.Handle(r, reply);
    };
    const Handler mcu = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply& reply) { return d.mcu_.Handle(r, reply); };
    for (const std::uint8_t code : {kReqMcuProgInit, kReqMcuDataOut, kReqMcuDataIn, kReqMcuErase, kReqStmReset}) {
        table[code] = mcu;
    }
    table[kReqMcuTunnel] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply& reply) {
        return d.tunnel_.Handle(r, reply);
    };
    table[kReqC51Channel] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply& reply) {
        return d.c51_.Handle(r, reply);
    };
    table[kReqControllerVersion] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply& reply) {
        return d.ControllerVersion(r, reply);
    };
    table[kReqStartupProbe] = [](Usb3Dispatcher&, const Usb3Request& r, Usb3Reply&) {
        return r.direction == kDirectionOut ? Usb3Outcome::Ok : Usb3Outcome::Error;
    };
    table[kReqStartupDone] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply& reply) {
        return d.StartupDone(r, reply);
    };
    table[kReqCameraReset] = [](Usb3Dispatcher& d, const Usb3Request&, Usb3Reply&) { return d.Reset(); };
    table[kReqRamWrite] = [](Usb3Dispatcher& d, const Usb3Request& r, Usb3Reply&) { return d.ram_.Handle(r); };
    return table;
}

const std::array<Usb3Dispatcher::Handler, 256> Usb3Dispatcher::kTable = Usb3Dispatcher::MakeTable();

Usb3Outcome Usb3Dispatcher::Setup(const Usb3Request& r)
{
    if (r.direction != kDirectionOut || r.carried != kSetupBlockSize) {
        return Usb3Outcome::Error;
    }
    core_.setupWord = GetLe32(r.data);  // the second word is not used
    return Usb3Outcome::Ok;
}

Usb3Outcome Usb3Dispatcher::ControllerVersion(const Usb3Request& r, Usb3Reply& reply) const
{
    if (r.direction != kDirectionIn || r.wanted != 2) {
        return Usb3Outcome::Error;
    }
    reply.bytes[0] = core_.face.controllerMinor;
    reply.bytes[1] = core_.face.controllerMajor;
    reply.length = 2;
    return Usb3Outcome::Ok;
}

Usb3Outcome Usb3Dispatcher::StartupDone(const Usb3Request& r, Usb3Reply& reply)
{
    if (r.direction != kDirectionIn || r.wanted != 1) {
        return Usb3Outcome::Error;
    }
    if (core_.session->warmupPolls > 0) {
        --core_.session->warmupPolls;
        reply.bytes[0] = 0;
    } else {
        reply.bytes[0] = 1;
    }
    reply.length = 1;
    return Usb3Outcome::Ok;
}

}  // namespace zvemu
