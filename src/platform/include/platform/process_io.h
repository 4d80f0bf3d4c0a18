#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// Bytes this process has handed to write() so far, to files removed since too, where the system
// keeps that count (Linux: wchar of /proc/self/io); for checking how much work a run did.
std::optional<std::int64_t> bytesWrittenByProcess();

} // namespace platform
