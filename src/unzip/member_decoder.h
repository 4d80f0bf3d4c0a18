#pragma once

#include <cstdint>

#include "byte_stream.h"

namespace unzip {

// What the local header says about a member's data.
struct MemberFormat
{
    std::uint16_t method = 0;
    std::uint16_t flags = 0;           // general-purpose flags (Explode reads bits 1 and 2)
    std::int64_t compressedSize = 0;   // or the unknown-size marker
    std::int64_t uncompressedSize = 0; // or the unknown-size marker
};

// Expands one member whose compressed data the source delivers from their first byte, writing
// the expanded bytes to the sink. Returns the decoder's result: 0, a negative code of
// unzip_archive.h or a positive code of Inflate; kUnsupportedMethod for a method other than
// stored, shrunk, imploded or deflated.
std::int32_t decodeMember(const MemberFormat& format, ByteSource& source, ByteSink& sink);

} // namespace unzip
