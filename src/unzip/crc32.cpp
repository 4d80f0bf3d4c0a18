#include "crc32.h"

#include <array>

namespace unzip {
namespace {

// Eight tables, so that eight bytes are folded in per step instead of one.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables makeTables()
{
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::uint32_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
    return t;
}

constexpr Tables kTables = makeTables();

} // namespace

std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size)
{
    std::uint32_t c = ~crc;
    while (size >= 8) {
        const std::uint32_t low =
            c ^ (static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
                 (static_cast<std::uint32_t>(data[2]) << 16) |
                 (static_cast<std::uint32_t>(data[3]) << 24));
        c = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
            kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^ kTables[3][data[4]] ^
            kTables[2][data[5]] ^ kTables[1][data[6]] ^ kTables[0][data[7]];
        data += 8;
        size -= 8;
    }
    while (size-- > 0)
        c = kTables[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
    return ~c;
}

} // namespace unzip
