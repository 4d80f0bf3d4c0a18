#include "crc32.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KAVOR_CRC32_FOLDING 1
#endif

namespace unzip {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u; // x^32 + x^26 + ... + 1, bits reflected

// Eight tables, so that eight bytes are folded in per step instead of one.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables makeTables()
{
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::uint32_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
    return t;
}

constexpr Tables kTables = makeTables();

// The register as it stands, without the inversions at either end.
std::uint32_t tableUpdate(std::uint32_t c, const std::uint8_t* data, std::size_t size)
{
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
    return c;
}

#ifdef KAVOR_CRC32_FOLDING

/* Folding by carry-less multiplication.
 *
 * In ZIP's bit order the first bit of the data is the highest power of x, so 16 bytes loaded
 * little-endian into a 128-bit register hold a polynomial A with bit k the coefficient of
 * x^(127-k): the register's low 64 bits are A's upper half H, its high 64 bits the lower half
 * L (A = H x^64 + L), each with bit j the coefficient of x^(63-j).
 *
 * Moving A forward over d bits of later data multiplies it by x^d, and modulo the CRC
 * polynomial P that is  H (x^(d+64) mod P) + L (x^d mod P) : two 64 x 32-bit carry-less
 * products, of degree below 96, that fit the same 128-bit register again. For operands in this
 * reversed order the CPU's product comes out one place lower (bit j of a 64-bit product of
 * reversed 64-bit operands is the coefficient of x^(126-j), read as x^(127-j)), so each
 * constant is taken one power lower: x^(d+63) mod P and x^(d-1) mod P, bit-reversed into the
 * upper half of a 64-bit lane.
 *
 * Four registers fold over 512 bits at a time, so the products of one step overlap; they are
 * then folded into one (128 bits at a time), the 16 bytes left are a value congruent to the
 * whole data so far, and the tables finish the CRC over them and over the last few bytes.
 */

// x^n mod P in ordinary bit order (bit d the coefficient of x^d).
constexpr std::uint32_t xPowerModP(unsigned n)
{
    constexpr std::uint32_t kNormalPolynomial = 0x04C11DB7u; // P without its x^32 term
    std::uint32_t r = 1;                                     // x^0
    for (unsigned i = 0; i < n; ++i) {
        const bool carry = (r & 0x80000000u) != 0;
        r <<= 1;
        if (carry)
            r ^= kNormalPolynomial;
    }
    return r;
}

// A polynomial of degree below 32 as the reversed 64-bit operand: x^d goes to bit 63 - d.
constexpr std::uint64_t reversedOperand(std::uint32_t poly)
{
    std::uint64_t r = 0;
    for (unsigned d = 0; d < 32; ++d) {
        if (poly & (std::uint32_t{1} << d))
            r |= std::uint64_t{1} << (63 - d);
    }
    return r;
}

// Folding over d bits: the constant for H in the low lane, for L in the high one.
constexpr std::uint64_t foldHigh(unsigned d)
{
    return reversedOperand(xPowerModP(d + 63));
}
constexpr std::uint64_t foldLow(unsigned d)
{
    return reversedOperand(xPowerModP(d - 1));
}

__attribute__((target("pclmul,sse2"))) inline __m128i fold(__m128i a, __m128i constants)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(a, constants, 0x00),
                         _mm_clmulepi64_si128(a, constants, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i load(const std::uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("pclmul,sse2"))) std::uint32_t
foldingUpdate(std::uint32_t c, const std::uint8_t* data, std::size_t size)
{
    if (size < 64)
        return tableUpdate(c, data, size);
    const __m128i over512 =
        _mm_set_epi64x(static_cast<long long>(foldLow(512)), static_cast<long long>(foldHigh(512)));
    const __m128i over128 =
        _mm_set_epi64x(static_cast<long long>(foldLow(128)), static_cast<long long>(foldHigh(128)));

    // The register so far is the same as that many bits added to the first bytes of the data.
    __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = load(data + 16);
    __m128i x2 = load(data + 32);
    __m128i x3 = load(data + 48);
    data += 64;
    size -= 64;
    while (size >= 64) {
        x0 = _mm_xor_si128(fold(x0, over512), load(data));
        x1 = _mm_xor_si128(fold(x1, over512), load(data + 16));
        x2 = _mm_xor_si128(fold(x2, over512), load(data + 32));
        x3 = _mm_xor_si128(fold(x3, over512), load(data + 48));
        data += 64;
        size -= 64;
    }
    __m128i x = _mm_xor_si128(fold(x0, over128), x1);
    x = _mm_xor_si128(fold(x, over128), x2);
    x = _mm_xor_si128(fold(x, over128), x3);
    while (size >= 16) {
        x = _mm_xor_si128(fold(x, over128), load(data));
        data += 16;
        size -= 16;
    }
    alignas(16) std::uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
    return tableUpdate(tableUpdate(0, rest, sizeof rest), data, size);
}

#endif

using Update = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

Update chooseUpdate()
{
#ifdef KAVOR_CRC32_FOLDING
    if (crc32FoldingAvailable())
        return foldingUpdate;
#endif
    return tableUpdate;
}

} // namespace

bool crc32FoldingAvailable()
{
#ifdef KAVOR_CRC32_FOLDING
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
#else
    return false;
#endif
}

std::uint32_t crc32Portable(std::uint32_t crc, const std::uint8_t* data, std::size_t size)
{
    return ~tableUpdate(~crc, data, size);
}

std::uint32_t crc32Folding(std::uint32_t crc, const std::uint8_t* data, std::size_t size)
{
#ifdef KAVOR_CRC32_FOLDING
    return ~foldingUpdate(~crc, data, size);
#else
    return crc32Portable(crc, data, size);
#endif
}

std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size)
{
    // Chosen once; the choice never changes afterwards, so threads may share it.
    static const Update update = chooseUpdate();
    return ~update(~crc, data, size);
}

} // namespace unzip
