#include "platform/convert_error.h"

namespace platform {

std::optional<std::int32_t> tryParseInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';

    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;

    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * (hex ? 16 : 10) + digit;
        if (value > (hex ? 0xFFFFFFFFull : 0x80000000ull))
            return std::nullopt;
    }
    if (hex) {
        const auto wrapped = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(wrapped))
                        : wrapped;
    }
    if (!negative && value == 0x80000000ull)
        return std::nullopt;
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value))
                    : static_cast<std::int32_t>(value);
}

std::int32_t parseIntOrThrow(std::string_view text)
{
    if (auto value = tryParseInt(text))
        return *value;
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace platform
