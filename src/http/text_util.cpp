#include "text_util.h"

namespace http {

std::string trimBlanks(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return std::string(text.substr(begin, end - begin));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

bool isDottedIPv4(std::string_view text, bool ignoreAfterFourth)
{
    for (int piece = 0; piece < 4; ++piece) {
        std::size_t digits = 0;
        int value = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
            value = value * 10 + (text[digits++] - '0');
        if (digits == 0 || digits > 3 || value > 255)
            return false;
        text.remove_prefix(digits);
        if (piece < 3) {
            if (text.empty() || text.front() != '.')
                return false;
            text.remove_prefix(1);
        }
    }
    return text.empty() || (ignoreAfterFourth && text.front() == '.');
}

} // namespace http
