#pragma once

#include <cstddef>

namespace platform {

// Asks the system to back the whole huge pages inside [data, data + size) with huge pages, which
// spares a page fault per 4 KiB while a large buffer is filled for the first time (a 200 MB
// download body otherwise costs some 50,000 faults). A hint only: nothing happens where the
// system has no such pages or declines. Safe from any thread.
void preferHugePages(void* data, std::size_t size);

} // namespace platform
