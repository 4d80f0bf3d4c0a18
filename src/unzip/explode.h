#pragma once

#include <cstdint>

#include "bit_input.h"
#include "output_window.h"

namespace unzip {

// Decodes an imploded member (method 6) from the input into the window, flushing it to its sink
// whenever it is full and once at the end. flags: the general-purpose flags (bit 1: 8 KB
// dictionary, else 4 KB; bit 2: literals coded with a third tree, else plain bytes).
// compressedSize picks the distance table's root width; decoding stops once uncompressedSize
// bytes were produced (the last match may overshoot) or the input ran out. Returns 0;
// kOutputFailed; kPrematureEnd when the input ran out (the output was flushed first: always so
// for the unknown-size marker); kInvalidData for a tree whose runs give too many or too few
// lengths, an incomplete or over-subscribed tree, or an invalid code.
std::int32_t Explode(BitInput& in, OutputWindow& window, std::uint16_t flags,
                     std::int64_t compressedSize, std::int64_t uncompressedSize);

} // namespace unzip
