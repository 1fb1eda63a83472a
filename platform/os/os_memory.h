#pragma once

#include <cstddef>

namespace zv::os {

// Asks the system to back a large, not yet touched buffer with large pages
// where it has them, so filling it (a firmware file read into it, a camera
// read-back) takes a fault per large page instead of one per 4 KiB. Only
// advice: the buffer works the same when the system ignores it.
void AdviseLargeBuffer(void* data, std::size_t size);

// Maps every page of a buffer about to be written whole (fresh memory, a
// range of a mapped file) now, in one call, where the system can: writing it
// then takes no fault per page. Only advice, like the above.
void PrefaultBuffer(void* data, std::size_t size);

// Memory the process frees is kept for its next allocations instead of going
// back to the system, where the allocator allows it: a freed block taken
// again costs nothing, fresh pages a fault each (the operation log, for one,
// builds and frees its compression tables for every line). Buffers of a MiB
// and more still come and go on their own.
void KeepFreedMemory();

}  // namespace zv::os
