#pragma once

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
