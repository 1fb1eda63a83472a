#include "os_memory.h"

namespace zv::os {

// Large pages need a privilege that ordinary accounts do not hold: the
// buffer keeps the system's normal pages.
void AdviseLargeBuffer(void*, std::size_t) {}

// The pages come one fault at a time.
void PrefaultBuffer(void*, std::size_t) {}

// The system heap keeps freed blocks for the process already.
void KeepFreedMemory() {}

}  // namespace zv::os
