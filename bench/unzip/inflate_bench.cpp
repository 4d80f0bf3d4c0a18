// Inflate throughput: our decoder against zlib's raw inflate and libdeflate on one deflate stream.
//
// inflate_bench FILE [RUNS [DECODER]]: compresses FILE with zlib (raw deflate, level 6, as zip
// writes it), then decodes the stream RUNS times with each decoder (default 9), taking turns,
// and prints the medians. Ours and zlib get the whole stream from memory and hand out their
// output in 32 KB pieces that are thrown away, so only decoding is measured; libdeflate can only
// decode a whole buffer, so it writes the whole output into memory. A FILE ending in ".deflate"
// is taken as the raw stream itself. DECODER (kavor, zlib or libdeflate) decodes RUNS times with
// that decoder only, for counting its instructions under callgrind (decodeWith* is the function) or
// for perf record.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <libdeflate.h>
#include <zlib.h>

#include "memory_decoding.h"

namespace {

using Clock = std::chrono::steady_clock;

class DiscardingSink : public unzip::ByteSink
{
public:
    bool write(const std::uint8_t*, std::size_t size) override
    {
        m_total += size;
        return true;
    }
    std::size_t total() const { return m_total; }

private:
    std::size_t m_total = 0;
};

std::vector<std::uint8_t> readAll(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the corpus");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> deflateRaw(const std::vector<std::uint8_t>& data)
{
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<std::uint8_t> out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

[[gnu::noinline]] std::size_t decodeWithKavor(const std::vector<std::uint8_t>& stream)
{
    unzip::MemberFormat format;
    format.method = 8;
    format.compressedSize = static_cast<std::int64_t>(stream.size());
    unzip::MemorySource source(stream);
    DiscardingSink sink;
    if (unzip::decodeMember(format, source, sink) != 0)
        throw std::runtime_error("our inflate failed");
    return sink.total();
}

[[gnu::noinline]] std::size_t decodeWithZlib(const std::vector<std::uint8_t>& stream)
{
    static std::vector<std::uint8_t> window(32768);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        throw std::runtime_error("inflateInit2");
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    std::size_t total = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = window.data();
        z.avail_out = static_cast<uInt>(window.size());
        status = inflate(&z, Z_NO_FLUSH);
        total += window.size() - z.avail_out;
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END)
        throw std::runtime_error("zlib inflate failed");
    return total;
}

[[gnu::noinline]] std::size_t decodeWithLibdeflate(const std::vector<std::uint8_t>& stream,
                                                   std::vector<std::uint8_t>& output)
{
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    if (d == nullptr)
        throw std::runtime_error("libdeflate_alloc_decompressor");
    std::size_t total = 0;
    const libdeflate_result r = libdeflate_deflate_decompress(d, stream.data(), stream.size(),
                                                              output.data(), output.size(), &total);
    libdeflate_free_decompressor(d);
    if (r != LIBDEFLATE_SUCCESS)
        throw std::runtime_error("libdeflate failed");
    return total;
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: inflate_bench FILE [RUNS [kavor|zlib|libdeflate]]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    const std::string only = argc > 3 ? argv[3] : "";
    std::vector<std::uint8_t> stream = readAll(argv[1]);
    const bool raw = endsWith(argv[1], ".deflate");
    if (!raw)
        stream = deflateRaw(stream);
    if (!only.empty()) {
        // Nothing else runs: the count is the decoder's alone.
        std::vector<std::uint8_t> whole(stream.size() * 16);
        std::size_t total = 0;
        for (int run = 0; run < runs; ++run) {
            if (only == "kavor")
                total = decodeWithKavor(stream);
            else if (only == "zlib")
                total = decodeWithZlib(stream);
            else if (only == "libdeflate")
                total = decodeWithLibdeflate(stream, whole);
        }
        std::printf("%s: %zu bytes\n", only.c_str(), total);
        return total > 0 ? 0 : 1;
    }
    const std::size_t size = raw ? decodeWithZlib(stream) : readAll(argv[1]).size();
    std::vector<std::uint8_t> whole(size);
    std::printf("output %.1f MB, deflated (zlib level 6) %.1f MB\n", size / 1e6,
                stream.size() / 1e6);

    std::vector<double> ours, zlibs, libdeflates;
    const auto timed = [&](std::vector<double>& times, auto decode) {
        const auto start = Clock::now();
        if (decode() != size)
            throw std::runtime_error("a decoder gave the wrong size");
        times.push_back(seconds(Clock::now() - start));
    };
    for (int run = 0; run < runs; ++run) {
        // Take turns, so that all see the same machine load.
        timed(ours, [&] { return decodeWithKavor(stream); });
        timed(zlibs, [&] { return decodeWithZlib(stream); });
        timed(libdeflates, [&] { return decodeWithLibdeflate(stream, whole); });
    }
    const double mb = size / 1e6;
    const double ourRate = mb / median(ours);
    const double zlibRate = mb / median(zlibs);
    const double libdeflateRate = mb / median(libdeflates);
    std::printf("kavor inflate       %7.1f MB/s  (median of %d, output bytes per second)\n",
                ourRate, runs);
    std::printf("zlib inflate        %7.1f MB/s  (zlib %s)\n", zlibRate, zlibVersion());
    std::printf("libdeflate          %7.1f MB/s  (libdeflate %s, whole buffer)\n", libdeflateRate,
                LIBDEFLATE_VERSION_STRING);
    std::printf("ratio               %7.2fx zlib's throughput, %.2fx libdeflate's\n",
                ourRate / zlibRate, ourRate / libdeflateRate);
    return 0;
}
