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

}  // namespace zv::os
