#pragma once

#include <cstdint>

#include "byte_stream.h"
#include "output_window.h"

namespace unzip {

// Copies a stored (method 0) member of compressedSize bytes from the source, which stands at its
// first byte, through the window to the sink. 0; kPrematureEnd when the source ends or fails
// before compressedSize bytes (always so for the unknown-size marker); kOutputFailed when a write
// fails.
std::int32_t CopyStored(ByteSource& source, OutputWindow& window, std::int64_t compressedSize);

} // namespace unzip
