#pragma once

// Test hooks of the emulated library: fault injection, the call trace and
// "report no cameras". A hook is one line of text, kept in hooks.txt of the
// state directory (library-wide) or of a camera (that camera's calls only):
//
//   fail call=FUNCTION|param=NAME code=C [nth=N] [times=K|all] [file=F]
//        The N-th matching call (default 1) and the K-1 after it (default
//        K=1) answer C and do nothing else; code=0 answers success without
//        doing anything (no output written). param= matches the parameter
//        text as passed ("led_selector:max"); file= only while that FFS file
//        is selected on the handle.
//   cut bytes=K [code=C] [nth=N] [file=F]
//        The N-th "write_file_ffs" stores only its first K bytes, then
//        answers C (default 8, "Write block error").
//   corrupt at=OFFSET [xor=X] [nth=N] [file=F]
//        The N-th "read_file_ffs" that covers file offset OFFSET answers that
//        byte XOR X (default 0xFF).
//   vanish opens=N      (camera only) after every "device_reset" the camera
//        is gone (not counted, "isexist" 0, opens fail) for the next N open
//        attempts of the process.
//   callno=N            (fail, cut, corrupt; in place of nth=) the hook
//        applies to the N-th library call of the process, whatever its
//        function: counting every call, as the trace lists them, from 1. A
//        fail hook with callno= needs neither call= nor param= (given, they
//        must match too), and times=K|all extends it to the K-1 calls after
//        it; a cut or corrupt hook fires when that call is the write or the
//        covering read. A hook aimed at one call of a run: the trace of a
//        clean run tells its number.
//   nocameras           (library-wide) the library reports no cameras.
//   trace               (library-wide) every call is appended to trace.log.
//
// Numbers are decimal or 0x-hex. Counting is per process: every run of a
// program starts again at the first matching call.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zvemu {

struct Hook {
    enum class Kind {
        Fail,
        Cut,
        Corrupt,
        Vanish,
        NoCameras,
        Trace
    };
    Kind kind = Kind::Fail;
    std::string call;   // fail: function name
    std::string param;  // fail: parameter text
    std::string file;   // fail, cut, corrupt: FFS file filter
    int32_t code = 0;
    uint32_t nth = 1;
    uint32_t times = 1;  // 0 = every matching call from the n-th on
    uint64_t bytes = 0;  // cut
    uint64_t at = 0;     // corrupt
    uint8_t xorMask = 0xFF;
    uint32_t opens = 0;   // vanish
    uint64_t callNo = 0;  // fail, cut, corrupt: the process's N-th call (0: counted by nth)

    // Whether the k-th matching call (1-based) fires.
    bool Fires(uint64_t k) const { return k >= nth && (times == 0 || k < uint64_t{nth} + times); }
    // For a hook aimed by callno=: whether the process's call of this number fires.
    bool FiresAtCall(uint64_t number) const { return number >= callNo && (times == 0 || number < callNo + times); }
};

// Parses one hook line; on failure answers nothing and describes the
// problem in *error.
std::optional<Hook> ParseHook(std::string_view line, std::string* error);

// Whether a hook may stand in the library-wide list or in a camera's.
bool HookAllowedLibraryWide(const Hook& hook);
bool HookAllowedForCamera(const Hook& hook);

// The names of the library's functions, for "fail call=".
bool IsLibraryFunctionName(std::string_view name);

}  // namespace zvemu
