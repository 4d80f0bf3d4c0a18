#include "platform/code_page.h"

#include "platform/detail/code_page_tables.h"

namespace platform {
namespace {

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at text[i] and its code point; length 0 when invalid.
std::size_t decodeAt(std::string_view text, std::size_t i, char32_t& cp)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, cp = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string cp1251ToUtf8(std::string_view cp1251)
{
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (char c : cp1251) {
        const auto b = static_cast<unsigned char>(c);
        appendUtf8(out, b < 0x80 ? char32_t{b} : char32_t{detail::kCp1251HighHalf[b - 0x80]});
    }
    return out;
}

std::string utf8ToCp1251(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t length = decodeAt(utf8, i, cp);
        if (length == 0) {
            out += '?';
            ++i;
            continue;
        }
        const unsigned char b = detail::cp1251ByteFor(cp);
        out += (b != 0 || cp == 0) ? static_cast<char>(b) : '?';
        i += length;
    }
    return out;
}

std::string cp866ToCp1251(std::string_view cp866)
{
    std::string out;
    out.reserve(cp866.size());
    for (char c : cp866) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
            continue;
        }
        const unsigned char mapped = detail::cp1251ByteFor(detail::kCp866HighHalf[b - 0x80]);
        out += mapped != 0 ? static_cast<char>(mapped) : '?';
    }
    return out;
}

std::string asciiUpper(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

} // namespace platform
