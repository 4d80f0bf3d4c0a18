// Inflate throughput: our decoder against zlib's raw inflate on the same deflate stream.
//
// inflate_bench FILE [RUNS]: compresses FILE with zlib (raw deflate, level 6, as zip writes it),
// then decodes the stream RUNS times with each decoder (default 9) and prints the medians. Both
// decoders get the whole stream from memory and hand out their output in 32 KB pieces that
// are thrown away, so only decoding is measured.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

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

std::size_t ourInflate(const std::vector<std::uint8_t>& stream)
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

std::size_t zlibInflate(const std::vector<std::uint8_t>& stream)
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

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: inflate_bench FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    const std::vector<std::uint8_t> data = readAll(argv[1]);
    const std::vector<std::uint8_t> stream = deflateRaw(data);
    std::printf("corpus %.1f MB, deflated (zlib level 6) %.1f MB\n", data.size() / 1e6,
                stream.size() / 1e6);

    std::vector<double> ours, theirs;
    for (int run = 0; run < runs; ++run) {
        // Alternate, so that both see the same machine load.
        auto start = Clock::now();
        if (ourInflate(stream) != data.size())
            throw std::runtime_error("our inflate gave the wrong size");
        ours.push_back(seconds(Clock::now() - start));
        start = Clock::now();
        if (zlibInflate(stream) != data.size())
            throw std::runtime_error("zlib gave the wrong size");
        theirs.push_back(seconds(Clock::now() - start));
    }
    const double mb = data.size() / 1e6;
    const double ourRate = mb / median(ours);
    const double zlibRate = mb / median(theirs);
    std::printf("kavor inflate  %7.1f MB/s  (median of %d, output bytes per second)\n", ourRate,
                runs);
    std::printf("zlib inflate   %7.1f MB/s  (zlib %s)\n", zlibRate, zlibVersion());
    std::printf("ratio          %7.2fx zlib's throughput\n", ourRate / zlibRate);
    return 0;
}
