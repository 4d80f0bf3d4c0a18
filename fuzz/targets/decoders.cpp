// The three decoders on raw streams, without an archive around them.

#include <algorithm>
#include <string>
#include <vector>

#ifdef KAVOR_FUZZ_WITH_ZLIB
#include <zlib.h>
#endif

#include "bit_input.h"
#include "check.h"
#include "fuzz_targets.h"
#include "inflate.h"
#include "memory_decoding.h"
#include "output_window.h"
#include "unshrink.h"
#include "unzip/unzip_archive.h"
#include "zip_format.h"

namespace fuzz {
namespace {

using namespace unzip;

// Enough output to cover several window wraps; a hostile stream that expands further ends with
// kOutputFailed instead of filling the fuzzer's memory.
constexpr std::size_t kOutputLimit = std::size_t{1} << 20;
constexpr std::size_t kWindowSize = 32768;

// Bytes behind a member's data that the extractor lets a decoder look at: the look-ahead of
// its last code. Every stream zlib reads must decode with no more.
constexpr std::size_t kArchiveSlack = 2;

void checkResult(std::int32_t result, std::initializer_list<std::int32_t> allowed,
                 std::string_view decoder)
{
    if (std::find(allowed.begin(), allowed.end(), result) == allowed.end())
        fail(std::string(decoder) + " gave the undocumented result " + std::to_string(result));
}

// The window reaches the sink in whole windows and one final remainder.
void checkWrites(const MemoryDecodeResult& decoded, std::string_view decoder)
{
    const auto& sizes = decoded.writeSizes;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i] > kWindowSize)
            fail(std::string(decoder) + " wrote more than a window at once");
        if (i + 1 < sizes.size() && decoded.result != kOutputFailed && sizes[i] != kWindowSize)
            fail(std::string(decoder) + " wrote a partial window early");
    }
}

MemoryDecodeResult decode(std::uint16_t method, std::uint16_t flags, Input data,
                          std::int64_t compressedSize, std::int64_t uncompressedSize)
{
    MemberFormat format;
    format.method = method;
    format.flags = flags;
    format.compressedSize = compressedSize;
    format.uncompressedSize = uncompressedSize;
    return decodeFromMemory(format, data, kOutputLimit);
}

#ifdef KAVOR_FUZZ_WITH_ZLIB
// zlib's raw inflate of data: the output when the stream ends properly within data, else
// nothing. Output beyond the limit counts as no result.
bool zlibInflate(Input data, std::vector<std::uint8_t>& output)
{
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    output.resize(kOutputLimit);
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    const int status = inflate(&stream, Z_FINISH);
    output.resize(stream.total_out);
    inflateEnd(&stream);
    return status == Z_STREAM_END;
}
#endif

} // namespace

void inflate(Input input)
{
    const auto exact =
        decode(zip_format::method::kDeflated, 0, input, static_cast<std::int64_t>(input.size()), 0);
    checkResult(exact.result,
                {0, kInflateRepeatOverrun, kOutputFailed, kPrematureEnd, kInvalidData}, "inflate");
    checkWrites(exact, "inflate");

    // In an archive the decoder's look-ahead runs into the bytes behind the member's data, never
    // into the end of the input, so the comparison with zlib decodes the data that way.
    std::vector<std::uint8_t> padded(input.begin(), input.end());
    padded.resize(padded.size() + kArchiveSlack);
    const auto inArchive = decode(zip_format::method::kDeflated, 0, padded,
                                  static_cast<std::int64_t>(input.size()), 0);
    checkResult(inArchive.result,
                {0, kInflateRepeatOverrun, kOutputFailed, kPrematureEnd, kInvalidData}, "inflate");
    if (inflateUsesBmi2()) {
        MemorySource source(padded);
        MemorySink sink(kOutputLimit);
        OutputWindow window(sink);
        BitInput in(source, static_cast<std::int64_t>(input.size()));
        check(InflatePortable(in, window) == inArchive.result,
              "inflate's two builds end differently");
        check(sink.bytes() == inArchive.output, "inflate's two builds write differently");
    }
#ifdef KAVOR_FUZZ_WITH_ZLIB
    // A stream zlib reads to its end must give the same bytes here (the reverse does not hold:
    // references before the start of the output read zeros here, where zlib refuses them).
    static std::vector<std::uint8_t> expected; // kept: a fresh megabyte per input costs more
    if (zlibInflate(input, expected)) {
        if (inArchive.result != 0 && inArchive.result != kOutputFailed)
            fail("inflate refused a stream zlib reads, with " + std::to_string(inArchive.result));
        if (inArchive.result == 0)
            check(inArchive.output == expected, "inflate and zlib disagree on the output");
    }
#endif
}

void explode(Input input)
{
    if (input.size() < 4)
        return;
    const std::uint8_t selector = input[0];
    std::uint16_t flags = 0;
    if (selector & 0x01)
        flags |= zip_format::flag::kImplode8KDictionary;
    if (selector & 0x02)
        flags |= zip_format::flag::kImplodeThreeTrees;
    const Input data = input.subspan(4);
    std::int64_t compressedSize = static_cast<std::int64_t>(data.size());
    std::int64_t uncompressedSize = input[1] | (input[2] << 8) | (input[3] << 16);
    // Large members use a wider distance root; the size only matters for that choice and for
    // when the input counts as used up, and the source ends where the data end either way.
    if (selector & 0x04)
        compressedSize = 200001;
    if (selector & 0x08) {
        flags |= zip_format::flag::kDataDescriptor;
        compressedSize = uncompressedSize = zip_format::kUnknownSize;
    }
    const auto decoded =
        decode(zip_format::method::kImploded, flags, data, compressedSize, uncompressedSize);
    checkResult(decoded.result, {0, kOutputFailed, kPrematureEnd, kInvalidData}, "explode");
    checkWrites(decoded, "explode");
    if (decoded.result == 0)
        check(decoded.output.size() >= static_cast<std::size_t>(uncompressedSize),
              "explode ended before producing the uncompressed size");
}

void unshrink(Input input)
{
    // In an archive the two bytes of look-ahead behind a member's data always exist (the
    // central directory follows); the decoder may read them without counting them as data.
    std::vector<std::uint8_t> withLookAhead(input.begin(), input.end());
    withLookAhead.resize(withLookAhead.size() + 2);
    const auto decoded = decode(zip_format::method::kShrunk, 0, withLookAhead,
                                static_cast<std::int64_t>(input.size()), 0);
    checkResult(decoded.result, {0, kOutputFailed, kInvalidData}, "unshrink");
    for (std::size_t size : decoded.writeSizes)
        check(size <= 767, "unshrink wrote more than its buffer at once");
    // Strings copied from the recent output must read as their chains spell them.
    MemorySource source(withLookAhead);
    MemorySink sink(kOutputLimit);
    BitInput in(source, static_cast<std::int64_t>(input.size()));
    check(UnshrinkByChains(in, sink, static_cast<std::int64_t>(input.size())) == decoded.result,
          "unshrink and its plain form end differently");
    check(sink.bytes() == decoded.output && sink.writeSizes() == decoded.writeSizes,
          "unshrink and its plain form write differently");
}

} // namespace fuzz
