#include "member_decoder.h"

#include "bit_input.h"
#include "copy_stored.h"
#include "explode.h"
#include "inflate.h"
#include "output_window.h"
#include "unshrink.h"
#include "unzip/unzip_archive.h"
#include "zip_format.h"

namespace unzip {

std::int32_t decodeMember(const MemberFormat& format, ByteSource& source, ByteSink& sink)
{
    using namespace zip_format;
    switch (format.method) {
    case method::kStored: {
        OutputWindow window(sink);
        return CopyStored(source, window, format.compressedSize);
    }
    case method::kDeflated: {
        OutputWindow window(sink);
        BitInput in(source, format.compressedSize);
        return Inflate(in, window);
    }
    case method::kImploded: {
        OutputWindow window(sink);
        BitInput in(source, format.compressedSize);
        return Explode(in, window, format.flags, format.compressedSize, format.uncompressedSize);
    }
    case method::kShrunk: {
        BitInput in(source, format.compressedSize);
        return Unshrink(in, sink, format.compressedSize);
    }
    default:
        return kUnsupportedMethod;
    }
}

} // namespace unzip
