// Cost of one vendor request on the emulated camera: 64-byte SPI writes
// (0xE4 then 0xE8) and reads (0xE4 then 0xE6) of the new controller family,
// with the device lock held as a flash routine holds it. The flash engine
// moves megabytes this way, so a request must cost no system call, no
// allocation and no file write (the memories are mapped).

#include <benchmark/benchmark.h>

#include "emu_dir.h"
#include "u3_device.h"
#include "u3_transport.h"
#include "zvemu/usb3_face.h"

namespace {

struct Camera {
    zvtest::EmuDir emu;
    U3DevicePtr context;

    Camera()
    {
        ::setenv("ZVOS_LOCK_DIR", (emu.Root() / "locks").c_str(), 1);
        const unsigned index = emu.AddCamera();
        zvemu::Usb3Seed seed;
        seed.face.controllerMajor = 5;  // new family
        seed.face.controllerMinor = 2;
        zvemu::AddUsb3Face(emu.State(), emu.CameraId(index), emu.Camera(index), seed);
        context = OpenDeviceUSB30(0);
        if (!context || !LockResourceAccess(*context)) {
            throw std::runtime_error("no emulated camera");
        }
    }
    ~Camera()
    {
        UnlockResourceAccess(*context);
        CloseDeviceUSB30(std::move(context));
    }
};

void SetUp(std::uint8_t* block, std::uint8_t command, std::uint32_t address)
{
    block[0] = command;
    block[1] = static_cast<std::uint8_t>(address >> 16);
    block[2] = static_cast<std::uint8_t>(address >> 8);
    block[3] = static_cast<std::uint8_t>(address);
    block[4] = 32;
}

void BM_SpiWrite64(benchmark::State& state)
{
    Camera camera;
    std::uint8_t block[8] = {};
    std::uint8_t data[64] = {};
    std::uint32_t address = 0x100000;
    for (auto _ : state) {
        SetUp(block, 0x02, address);
        if (u3VrReq(*camera.context, 0xE4, 0, 0, block, 8, 1, 0) != 0 ||
            u3VrReq(*camera.context, 0xE8, 0, 0, data, 64, 1, 0) != 0) {
            state.SkipWithError("request failed");
            break;
        }
        address = 0x100000 + (address + 64) % 0x100000;
    }
    state.SetItemsProcessed(2 * state.iterations());  // items = requests
    state.SetBytesProcessed(64 * state.iterations());
}
BENCHMARK(BM_SpiWrite64);

void BM_SpiRead64(benchmark::State& state)
{
    Camera camera;
    std::uint8_t block[8] = {};
    std::uint8_t data[64] = {};
    std::uint32_t address = 0;
    for (auto _ : state) {
        SetUp(block, 0x03, address);
        if (u3VrReq(*camera.context, 0xE4, 0, 0, block, 8, 1, 0) != 0 ||
            u3VrReq(*camera.context, 0xE6, 0, 0, data, 64, 0, 0) != 0) {
            state.SkipWithError("request failed");
            break;
        }
        benchmark::DoNotOptimize(data);
        address = (address + 64) % 0x400000;
    }
    state.SetItemsProcessed(2 * state.iterations());
    state.SetBytesProcessed(64 * state.iterations());
}
BENCHMARK(BM_SpiRead64);

// The same with every request taking the (already held) lock again, as the
// stand-alone requests do.
void BM_SpiRead64TakingTheLock(benchmark::State& state)
{
    Camera camera;
    std::uint8_t block[8] = {};
    std::uint8_t data[64] = {};
    for (auto _ : state) {
        SetUp(block, 0x03, 0);
        u3VrReq(*camera.context, 0xE4, 0, 0, block, 8, 1, 1);
        u3VrReq(*camera.context, 0xE6, 0, 0, data, 64, 0, 1);
        benchmark::DoNotOptimize(data);
    }
    state.SetItemsProcessed(2 * state.iterations());
}
BENCHMARK(BM_SpiRead64TakingTheLock);

}  // namespace

BENCHMARK_MAIN();
