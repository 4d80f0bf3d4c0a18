// CRC-32 throughput, both ways the extractor can compute it: tables (eight bytes a step) and
// carry-less multiplication (where the CPU has it). The data is fed in the 32 KB pieces the
// output window hands out, from a buffer that stays in the cache, as during extraction.
//
// crc32_bench [MiB] [RUNS]: MiB of data in all per run (default 1024), RUNS runs (default 9);
// prints the median throughput of each way in GB/s.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "crc32.h"

namespace {

using Crc = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

double medianGbPerSecond(Crc crc, const std::vector<std::uint8_t>& piece, std::size_t pieces,
                         int runs, std::uint32_t& sink)
{
    std::vector<double> rates;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::uint32_t c = 0;
        for (std::size_t i = 0; i < pieces; ++i)
            c = crc(c, piece.data(), piece.size());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        sink ^= c;
        rates.push_back(static_cast<double>(piece.size() * pieces) / took.count() / 1e9);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    std::vector<std::uint8_t> piece(32 * 1024);
    std::uint32_t seed = 1;
    for (std::uint8_t& byte : piece) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    const std::size_t pieces = mib * 1024 * 1024 / piece.size();
    std::uint32_t sink = 0;
    std::printf("crc32, %zu MiB per run in 32 KiB pieces, median of %d runs\n", mib, runs);
    std::printf("tables (portable)      %6.2f GB/s\n",
                medianGbPerSecond(unzip::crc32Portable, piece, pieces, runs, sink));
    if (unzip::crc32FoldingAvailable())
        std::printf("carry-less multiply    %6.2f GB/s\n",
                    medianGbPerSecond(unzip::crc32Folding, piece, pieces, runs, sink));
    else
        std::printf("carry-less multiply    not available on this CPU\n");
    return sink == 0x12345678u ? 1 : 0; // keeps the work from being optimised away
}
