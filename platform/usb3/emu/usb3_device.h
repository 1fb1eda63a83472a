#pragma once

// The emulated USB3 camera behind this platform's driver: the controller's
// vendor requests over bulk frames or endpoint 0, with the camera's memories
// mapped from its folder of the state directory. One object per camera and
// process while handles are open; what must outlive the process (memories,
// versions made running by a reset, a bare controller turned camera) is kept
// in the camera's folder.

#include <array>
#include <cstdint>
#include <memory>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mapped_file.h"
#include "zvemu/hooks.h"
#include "zvemu/state_dir.h"
#include "zvemu/usb3_face.h"
#include "zvemu/usb3_hooks.h"

namespace zvemu {

// One overlapped read of the bulk IN endpoint, as the driver keeps it.
struct Usb3Read {
    std::uint8_t* buffer = nullptr;
    std::uint32_t capacity = 0;
    bool pending = false;
    bool done = false;
    bool ok = false;
    std::uint32_t bytes = 0;
};

// A present camera as enumeration shows it.
struct Usb3Present {
    std::string id;
    std::string path;
    std::string location;  // location paths
    std::vector<Usb3Hook> locationHooks;
};

// What the process remembers of one camera (not persisted).
struct Usb3Session {
    std::map<std::string, std::uint64_t> hookCounts;  // by hook line and its occurrence
    std::uint32_t vanishLeft = 0;           // enumerations still to miss it
    bool goneNow = false;                   // missing in the current enumeration round
    std::uint32_t warmupPolls = 0;          // start-up polls still answered "not ready"
    bool silent = false;                    // a u3silent hook fired
};

class Usb3Device {
public:
    Usb3Device(StateDir dir, std::string id);
    ~Usb3Device();
    Usb3Device(const Usb3Device&) = delete;
    Usb3Device& operator=(const Usb3Device&) = delete;

    // Re-reads the hooks and the library-wide settings (at every open).
    void LoadHooks();
    bool Tracing() const { return trace_; }
    void Trace(const std::string& line) const;
    // A trace line of the driver itself, when the state directory traces.
    static void TraceTo(const StateDir& dir, const std::string& line);

    bool HighSpeed() const { return face_.highSpeed; }

    // Driver entry points. BulkOut may be given the read that the host starts
    // on the bulk IN endpoint right after the command (`next`, its buffer and
    // capacity set): when nothing waits on the endpoint and no hook is set, the
    // acknowledgement goes straight into it and completes it (done), just as
    // queueing it and then BeginRead would have; otherwise `next` is left to
    // BeginRead as usual.
    bool BulkOut(const std::uint8_t* data, std::uint32_t size, std::uint32_t* error, Usb3Read* next = nullptr);
    bool BulkInNow(std::uint8_t* out, std::uint32_t capacity, std::uint32_t* returned, std::uint32_t* error);
    bool Ep0(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* returned, std::uint32_t* error);
    // Registers the read; true when it completed at once.
    bool BeginRead(Usb3Read* read);
    bool WaitRead(Usb3Read* read, std::uint32_t timeoutMs);
    void CancelRead(Usb3Read* read);
    void AbortPipe(std::uint8_t endpoint);
    void ResetPipe(std::uint8_t endpoint);
    void ResetPort();

private:
    enum class Outcome {
        Ok,
        Error,
        Drop,
        Reset
    };
    // Small: the handlers out of line take it by value, so that a request
    // answered inline (the flash's data requests) stays in registers.
    struct Request {
        std::uint16_t direction = 0;  // 0 out, 1 in, 2 both
        std::uint8_t code = 0;
        std::uint16_t value = 0;
        std::uint16_t index = 0;
        const std::uint8_t* data = nullptr;
        std::uint32_t carried = 0;
        std::uint32_t wanted = 0;  // bytes asked back (device to host)
    };
    struct Packet {
        std::array<std::uint8_t, 1024> bytes;
        std::uint32_t length = 0;
        bool delayed = false;  // waits for readyAt on the OS clock
        std::uint32_t readyAt = 0;
    };

    // Hooks: the one that answers request `code` now, if any.
    const Usb3Hook* Firing(Usb3Hook::Kind kind, int code)
    {
        return hooks_.empty() ? nullptr : FiringAmongHooks(kind, code);  // most cameras have none
    }
    const Usb3Hook* FiringAmongHooks(Usb3Hook::Kind kind, int code);
    bool HookSet(Usb3Hook::Kind kind) const;

    // BulkOut of a camera with hooks or trace, or of a command whose
    // acknowledgement cannot go straight to the waiting read: the hooks have
    // their say before and after Execute.
    bool Answer(Request r, std::uint16_t id, std::uint32_t size, std::uint16_t dataLength, bool sane,
                std::uint32_t* error, Usb3Read* next);
    Outcome Execute(const Request& request, std::uint8_t* reply, std::uint32_t capacity, std::uint32_t* replyLength);
    Outcome Spi(Request r, std::uint8_t* reply, std::uint32_t* replyLength);
    Outcome SpiDataIn(const Request& r, std::uint8_t* reply, std::uint32_t* replyLength);
    Outcome SpiDataOut(const Request& r);
    void SpiDeselect();
    bool SpiBusy() const { return busyPolls_ > 0 || (!hooks_.empty() && HookSet(Usb3Hook::Kind::Busy)); }
    void ProgramSpi(std::uint32_t address, const std::uint8_t* data, std::uint32_t length, bool pageWrap);
    Outcome Register(Request r, std::uint8_t* reply, std::uint32_t* replyLength);
    std::uint32_t RegisterValue(std::uint8_t reg) const;
    Outcome McuBus(Request r, std::uint8_t* reply, std::uint32_t* replyLength);
    Outcome Tunnel(Request r, std::uint8_t* reply, std::uint32_t capacity, std::uint32_t* replyLength);
    Outcome C51Channel(Request r, std::uint8_t* reply, std::uint32_t capacity, std::uint32_t* replyLength);
    bool C51Execute();
    Outcome Reset();
    Outcome Ram(Request r);
    void Vanish(std::uint32_t opens);
    void SaveFace();

    [[gnu::cold, gnu::noinline]] void TraceNoCommand(std::uint32_t size) const;
    [[gnu::cold, gnu::noinline]] void TraceRequest(Request r, std::uint16_t id, std::uint32_t size,
                                                   std::uint16_t dataLength) const;
    [[gnu::cold, gnu::noinline]] void TraceResult(std::uint16_t id, const char* what) const;
    [[gnu::cold, gnu::noinline]] void TraceAck(std::uint16_t id, std::uint16_t status, std::uint16_t length,
                                               std::uint32_t delayMs) const;
    void QueueAck(std::uint16_t status, std::uint16_t command, std::uint16_t length, std::uint16_t id,
                  std::uint32_t magic, const std::uint8_t* reply, std::uint32_t replyLength, std::uint32_t delayMs);
    void Deliver();
    // Completes `next` with an acknowledgement whose reply already sits in its
    // buffer, when nothing is queued on the endpoint or waits there; false
    // (nothing done) otherwise.
    bool AckStraight(Usb3Read* next, std::uint16_t status, std::uint16_t length, std::uint16_t id,
                     std::uint32_t replyLength);
    // The same without the checks and the trace, for a caller that made them.
    void Complete(Usb3Read* next, std::uint16_t status, std::uint16_t length, std::uint16_t id,
                  std::uint32_t replyLength);
    // Completes `read` with the head packet and takes the packet off the endpoint.
    void Hand(Usb3Read* read);

    StateDir dir_;
    std::string id_;
    Usb3Face face_;
    std::uint32_t packet_ = 0;  // the bulk packet size of the camera's speed, which stays as it was made
    Usb3Session* session_ = nullptr;
    std::vector<Usb3Hook> hooks_;
    std::vector<std::string> hookKeys_;  // their counters
    std::optional<std::uint32_t> vanishOpens_;
    bool trace_ = false;
    bool plain_ = true;  // no hook and no trace: a request takes the short way

    std::unique_ptr<MappedFile> spi_, cpu2_, cpu3_, cpu4_, mcu1_;
    std::vector<std::uint8_t> ram_;

    // Endpoint 0x82: acknowledgements waiting, reads waiting.
    static constexpr std::size_t kPackets = 32;
    static constexpr std::size_t kReads = 8;
    std::vector<Packet> packets_;
    std::size_t packetHead_ = 0, packetCount_ = 0;
    std::array<Usb3Read*, kReads> reads_{};
    std::size_t readHead_ = 0, readCount_ = 0;

    // Controller state.
    enum class Select {
        None,
        Spi,
        Register
    };
    Select select_ = Select::None;
    std::vector<std::uint8_t> shift_;  // bytes sent while selected
    std::uint32_t shiftIn_ = 0;        // bytes read back while selected
    bool writeEnabled_ = false;
    std::uint32_t busyPolls_ = 0;
    std::uint32_t word_ = 0;  // the last set-up block's first word
    std::array<std::uint32_t, 128> registers_{};
    bool mcuProgramming_ = false;

    // C51 command channel.
    std::vector<std::uint8_t> c51Block_;
    std::vector<std::uint8_t> c51Reply_;
    std::size_t c51ReplyPos_ = 0;
    std::uint32_t c51ChunkLeft_ = 0;
    std::uint32_t c51Busy_ = 0;
    std::uint32_t c51Written_ = 0;
    bool c51Closed_ = false;
};

// The cameras with a USB3 face of one class, in index order. Applies the
// library-wide "nocameras" hook and the cameras missing after a reset: those
// miss `vanish opens=N` enumeration rounds, a new round beginning with each
// enumeration of the public class (newRound).
std::vector<Usb3Present> PresentUsb3Cameras(const StateDir& dir, bool publicClass, bool newRound);
// The camera object of a present camera with this interface path, shared by
// every handle of the process; null when none.
std::shared_ptr<Usb3Device> AttachUsb3Device(const StateDir& dir, const std::string& path);

}  // namespace zvemu
