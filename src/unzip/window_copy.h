#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Copies of back-references inside an output window, shared by the LZ77 decoders.
namespace unzip::window_copy {

inline void copy8(std::uint8_t* to, const std::uint8_t* from)
{
    std::uint64_t word;
    std::memcpy(&word, from, sizeof word);
    std::memcpy(to, &word, sizeof word);
}

// Copies len bytes from from to to, where from lies before to, front to back: when the regions
// overlap (to - from < len) the most recent bytes repeat, as LZ77 references require. Writes
// nothing beyond to + len, since the window past the output still holds the older history.
inline void copyBackReference(std::uint8_t* to, const std::uint8_t* from, std::size_t len)
{
    const auto distance = static_cast<std::size_t>(to - from);
    if (distance >= 8 && len >= 8) {
        // Every eight-byte step reads only bytes that are final already.
        std::uint8_t* const end = to + len;
        do {
            copy8(to, from);
            to += 8;
            from += 8;
        } while (end - to >= 8);
        if (to != end) {
            const std::size_t back = 8 - static_cast<std::size_t>(end - to);
            copy8(end - 8, from - back);
        }
    } else if (distance == 1) {
        std::memset(to, to[-1], len);
    } else {
        for (std::size_t k = 0; k < len; ++k)
            to[k] = from[k];
    }
}

inline void copy16(std::uint8_t* to, const std::uint8_t* from)
{
    std::uint8_t block[16];
    std::memcpy(block, from, sizeof block);
    std::memcpy(to, block, sizeof block);
}

// kKeepBeyond[n]: the masks of the bytes beyond the first n of two words in memory order.
inline constexpr auto kKeepBeyond = [] {
    std::array<std::array<std::uint64_t, 2>, 17> masks{};
    for (unsigned n = 0; n <= 16; ++n) {
        for (unsigned byte = n; byte < 16; ++byte) {
            const unsigned shift =
                std::endian::native == std::endian::big ? 56 - 8 * (byte % 8) : 8 * (byte % 8);
            masks[n][byte / 8] |= std::uint64_t{0xFF} << shift;
        }
    }
    return masks;
}();

// Copies a match for the hot loops, where at least 16 bytes from to and from on are inside the
// buffer: from lies before to (a back-reference, with copyBackReference's result), or at least
// 16 bytes after it (a reference into the window's previous pass, whose bytes are not yet
// overwritten). Short matches go out as whole words that keep the bytes beyond the match as
// they were, without a branch on the length.
inline void copyMatchWithRoom(std::uint8_t* to, const std::uint8_t* from, std::size_t len)
{
    const std::size_t gap = from > to ? 16 : static_cast<std::size_t>(to - from);
    if (gap >= 16 && len <= 16) {
        std::uint64_t source[2];
        std::uint64_t target[2];
        std::memcpy(source, from, sizeof source);
        std::memcpy(target, to, sizeof target);
        const std::uint64_t keepLow = kKeepBeyond[len][0];
        const std::uint64_t keepHigh = kKeepBeyond[len][1];
        target[0] = (source[0] & ~keepLow) | (target[0] & keepLow);
        target[1] = (source[1] & ~keepHigh) | (target[1] & keepHigh);
        std::memcpy(to, target, sizeof target);
    } else if (gap >= 16) {
        // Every 16-byte step reads bytes that are final, or not yet overwritten.
        std::uint8_t* const end = to + len;
        do {
            copy16(to, from);
            to += 16;
            from += 16;
        } while (end - to >= 16);
        if (to != end)
            copy16(end - 16, from - (16 - static_cast<std::size_t>(end - to)));
    } else {
        copyBackReference(to, from, len);
    }
}

// Copies len bytes inside a window from position from to position to as a front-to-back byte
// copy would, whatever the order of the two positions.
inline void copyInWindow(std::uint8_t* window, std::size_t to, std::size_t from, std::size_t len)
{
    if (to > from)
        copyBackReference(window + to, window + from, len);
    else if (from > to)
        std::memmove(window + to, window + from, len); // the source runs ahead of the copy
}

} // namespace unzip::window_copy
