#pragma once

#include <cstdint>

#include "bit_input.h"
#include "byte_stream.h"

namespace unzip {

// Decodes a shrunk member (method 1: LZW, codes of 9 to 13 bits, partial clearing) from the
// input, writing the output to the sink in pieces of 767 bytes and once at the end. Exactly
// 8 x compressedSize bits are decoded, whatever follows them; a member with fewer bits than one
// code expands to nothing. Returns 0; kOutputFailed; kPrematureEnd when the input ends before
// those bits (endOfInput); kUnsupportedMethod for the unknown-size marker (the data's length
// must be known); kInvalidData for a control code other than 256,1
// and 256,2, a code size beyond 13, or a string longer than the decode stack (a corrupt or
// circular prefix chain). Nothing outside the work area is read or written, whatever the codes.
std::int32_t Unshrink(BitInput& in, ByteSink& sink, std::int64_t compressedSize);

// Unshrink spelling every string out along its chain of prefixes, without copying strings from
// the recent output: the plain form of the same decoder, which the tests and the fuzz target
// compare it with.
std::int32_t UnshrinkByChains(BitInput& in, ByteSink& sink, std::int64_t compressedSize);

} // namespace unzip
