#pragma once

#include <cstdint>

#include "bit_input.h"
#include "output_window.h"

namespace unzip {

// Positive results of Inflate; the driver ends the walk on them.
inline constexpr std::int32_t kInflateRepeatOverrun =
    1;                                              // code-length repeat 16/17 runs past the end
inline constexpr std::int32_t kInflateNoMemory = 3; // no memory for the fixed-block table

// Decodes a deflate stream (RFC 1951) from the input into the window, flushing it to its sink
// whenever it is full and once after the last block; input after the last block is not read.
// Returns 0; kInflateRepeatOverrun or kInflateNoMemory; kOutputFailed when a write fails;
// kPrematureEnd when the input ran out (endOfInput) before a symbol or inside a stored block;
// kInvalidData for block type 3, a stored length whose complement disagrees, a code that cannot
// be built (over-subscribed, or an incomplete code-length or literal/length code), a repeat code
// 18 running past the end, a missing table that a symbol needs, or an invalid code.
// References before the start of the output read the window's zero bytes.
std::int32_t Inflate(BitInput& in, OutputWindow& window);

// Inflate without the instructions it may choose at run time (BMI2), for comparing the two.
std::int32_t InflatePortable(BitInput& in, OutputWindow& window);
// Whether Inflate uses BMI2 on this machine.
bool inflateUsesBmi2();

} // namespace unzip
