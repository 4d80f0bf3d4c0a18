#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "platform/detail/code_page_tables.h"

// Russian texts are written readably in the UTF-8 sources and turned into the engine's CP1251
// bytes at compile time:  std::string_view line = "Попытка соединения с "_cp1251;
// A character CP1251 cannot hold, or malformed UTF-8, stops the compilation.
namespace platform {
namespace detail {

template <std::size_t N> struct Utf8Literal
{
    char bytes[N]{};
    constexpr Utf8Literal(const char (&text)[N]) { std::copy_n(text, N, bytes); }
};

struct DecodedCodePoint
{
    char32_t value;
    std::size_t length;
};

constexpr DecodedCodePoint decodeUtf8(const char* p, std::size_t left)
{
    const auto lead = static_cast<unsigned char>(p[0]);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : 4;
    if (length > left || (lead >= 0x80 && lead < 0xC0) || lead >= 0xF8)
        throw "malformed UTF-8 in a CP1251 literal";
    char32_t value = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length; ++i)
        value = (value << 6) | (static_cast<unsigned char>(p[i]) & 0x3F);
    return {value, length};
}

template <Utf8Literal S> constexpr std::size_t cp1251Length()
{
    std::size_t count = 0;
    for (std::size_t i = 0; i + 1 < sizeof(S.bytes);
         i += decodeUtf8(S.bytes + i, sizeof(S.bytes) - 1 - i).length)
        ++count;
    return count;
}

template <Utf8Literal S> struct Cp1251Storage
{
    static constexpr std::array<char, cp1251Length<S>() + 1> text = [] {
        std::array<char, cp1251Length<S>() + 1> out{};
        std::size_t o = 0;
        for (std::size_t i = 0; i + 1 < sizeof(S.bytes);) {
            const auto cp = decodeUtf8(S.bytes + i, sizeof(S.bytes) - 1 - i);
            const unsigned char b = cp1251ByteFor(cp.value);
            if (b == 0 && cp.value != 0)
                throw "character not representable in CP1251";
            out[o++] = static_cast<char>(b);
            i += cp.length;
        }
        return out;
    }();
};

} // namespace detail

template <detail::Utf8Literal S> constexpr std::string_view operator""_cp1251()
{
    return {detail::Cp1251Storage<S>::text.data(), detail::Cp1251Storage<S>::text.size() - 1};
}

} // namespace platform
