#pragma once

#include <cstddef>
#include <cstdint>

namespace unzip {

// CRC-32 as ZIP stores it (reflected polynomial 0xEDB88320, initial and final inversion).
// Start with crc = 0 and feed the bytes in order, in as many pieces as convenient. Uses the
// carry-less multiply of the CPU where it has one (chosen once, at the first call).
std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

// The two ways of computing it, for tests and benchmarks: eight bytes a step through tables
// (any CPU), and 64 bytes a step by carry-less multiplication, which only a CPU that
// crc32FoldingAvailable() says has may run.
std::uint32_t crc32Portable(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
std::uint32_t crc32Folding(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
bool crc32FoldingAvailable();

} // namespace unzip
