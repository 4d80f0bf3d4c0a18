#pragma once

#include <cstddef>
#include <cstdint>

namespace unzip {

// CRC-32 as ZIP stores it (reflected polynomial 0xEDB88320, initial and final inversion).
// Start with crc = 0 and feed the bytes in order, in as many pieces as convenient.
std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

} // namespace unzip
