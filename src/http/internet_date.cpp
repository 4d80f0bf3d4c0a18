#include "internet_date.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/code_page.h"
#include "platform/local_time.h"

namespace http {
namespace {

constexpr std::array<const char*, 7> kDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct ZoneName
{
    const char* name;
    int offsetMinutes;
};
constexpr std::array<ZoneName, 12> kZones{{{"GMT", 0},
                                           {"UT", 0},
                                           {"UTC", 0},
                                           {"Z", 0},
                                           {"EST", -5 * 60},
                                           {"EDT", -4 * 60},
                                           {"CST", -6 * 60},
                                           {"CDT", -5 * 60},
                                           {"MST", -7 * 60},
                                           {"MDT", -6 * 60},
                                           {"PST", -8 * 60},
                                           {"PDT", -7 * 60}}};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

template <typename Predicate> bool nonEmptyAndAll(std::string_view s, Predicate predicate)
{
    if (s.empty())
        return false;
    for (char c : s) {
        if (!predicate(c))
            return false;
    }
    return true;
}

bool allDigits(std::string_view s)
{
    return nonEmptyAndAll(s, isDigit);
}
bool allAlpha(std::string_view s)
{
    return nonEmptyAndAll(s, isAlpha);
}

// Digits of at most nine places, so the value always fits.
std::optional<int> smallNumber(std::string_view s)
{
    if (!allDigits(s) || s.size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : s)
        value = value * 10 + (c - '0');
    return value;
}

struct DateParts
{
    std::optional<int> day;
    std::optional<int> month;
    std::optional<int> year;
    std::optional<int> hour;
    int minute = 0;
    int second = 0;
    std::optional<int> offsetMinutes;
};

// "+hhmm", "-hhmm", "+hh:mm" or "+hh".
bool readOffset(std::string_view s, DateParts& parts)
{
    if (s.size() < 2 || (s[0] != '+' && s[0] != '-'))
        return false;
    std::string digits;
    for (char c : s.substr(1)) {
        if (c != ':')
            digits += c;
    }
    if (!allDigits(digits) || (digits.size() != 2 && digits.size() != 4))
        return false;
    const int hours = (digits[0] - '0') * 10 + (digits[1] - '0');
    const int minutes = digits.size() == 4 ? (digits[2] - '0') * 10 + (digits[3] - '0') : 0;
    if (hours > 23 || minutes > 59)
        return false;
    parts.offsetMinutes = (s[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    return true;
}

// "H:MM" or "H:MM:SS".
bool readTime(std::string_view s, DateParts& parts)
{
    std::array<std::optional<int>, 3> fields;
    std::size_t count = 0;
    while (count < 3) {
        const auto colon = s.find(':');
        fields[count++] = smallNumber(s.substr(0, colon));
        if (colon == std::string_view::npos)
            break;
        s.remove_prefix(colon + 1);
        if (count == 3)
            return false;
    }
    if (count < 2 || !fields[0] || !fields[1] || (count == 3 && !fields[2]))
        return false;
    if (*fields[0] > 23 || *fields[1] > 59 || (count == 3 && *fields[2] > 60))
        return false;
    parts.hour = *fields[0];
    parts.minute = *fields[1];
    parts.second = count == 3 ? (*fields[2] == 60 ? 59 : *fields[2]) : 0;
    return true;
}

bool isZoneName(std::string_view word)
{
    const std::string upper = platform::asciiUpper(word);
    for (const auto& zone : kZones) {
        if (upper == zone.name)
            return true;
    }
    return false;
}

bool readWord(std::string_view word, DateParts& parts)
{
    const std::string upper = platform::asciiUpper(word);
    if (upper.size() >= 3) {
        for (std::size_t m = 0; m < kMonthNames.size(); ++m) {
            if (upper.compare(0, 3, platform::asciiUpper(kMonthNames[m])) == 0) {
                if (parts.month)
                    return false;
                parts.month = static_cast<int>(m) + 1;
                return true;
            }
        }
        for (const char* day : kDayNames) {
            if (upper.compare(0, 3, platform::asciiUpper(day)) == 0)
                return true;
        }
    }
    for (const auto& zone : kZones) {
        if (upper == zone.name) {
            parts.offsetMinutes = zone.offsetMinutes;
            return true;
        }
    }
    return false;
}

bool readNumber(std::string_view digits, DateParts& parts)
{
    const auto value = smallNumber(digits);
    if (!value)
        return false;
    if (digits.size() <= 2 && !parts.day) {
        parts.day = *value;
    } else if (!parts.year) {
        parts.year = digits.size() <= 2 ? (*value < 80 ? 2000 + *value : 1900 + *value) : *value;
    } else {
        return false;
    }
    return true;
}

bool readToken(std::string_view token, DateParts& parts)
{
    if (token.find(':') != std::string_view::npos && token[0] != '+' && token[0] != '-')
        return readTime(token, parts);
    if (token[0] == '+' || token[0] == '-')
        return parts.hour && readOffset(token, parts);
    if (allDigits(token))
        return readNumber(token, parts);
    if (allAlpha(token))
        return readWord(token, parts);

    // "GMT+0100" and the like: a zone name with an offset glued to it.
    std::size_t letters = 0;
    while (letters < token.size() && isAlpha(token[letters]))
        ++letters;
    if (letters > 0 && letters < token.size() && (token[letters] == '+' || token[letters] == '-') &&
        isZoneName(token.substr(0, letters)))
        return readWord(token.substr(0, letters), parts) &&
               readOffset(token.substr(letters), parts);

    // "06-Nov-94", "Nov-06-1994": date parts joined by "-".
    if (token.find('-') != std::string_view::npos) {
        std::size_t start = 0;
        while (start <= token.size()) {
            const auto dash = token.find('-', start);
            const auto piece = token.substr(
                start, dash == std::string_view::npos ? std::string_view::npos : dash - start);
            if (piece.empty())
                return false;
            if (!(allDigits(piece) ? readNumber(piece, parts)
                                   : allAlpha(piece) && readWord(piece, parts)))
                return false;
            if (dash == std::string_view::npos)
                break;
            start = dash + 1;
        }
        return true;
    }
    return false;
}

} // namespace

std::optional<std::int64_t> readInternetDate(std::string_view text)
{
    DateParts parts;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ','))
            ++i;
        std::size_t end = i;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != ',')
            ++end;
        if (end > i && !readToken(text.substr(i, end - i), parts))
            return std::nullopt;
        i = end;
    }
    if (!parts.day || !parts.month || !parts.year)
        return std::nullopt;

    using namespace std::chrono;
    const year_month_day date{year{*parts.year}, month{static_cast<unsigned>(*parts.month)},
                              day{static_cast<unsigned>(*parts.day)}};
    if (!date.ok() || *parts.year < 1601 || *parts.year > 9999)
        return std::nullopt;
    const std::int64_t days = sys_days{date}.time_since_epoch().count();
    const std::int64_t seconds =
        days * 86400 + parts.hour.value_or(0) * 3600 + parts.minute * 60 + parts.second;
    return seconds - static_cast<std::int64_t>(parts.offsetMinutes.value_or(0)) * 60;
}

std::string writeInternetDate(std::int64_t unixSeconds)
{
    const platform::LocalTime t = platform::toLocalTime(unixSeconds);
    const int offsetMinutes = t.utcOffsetSeconds / 60;
    const int absOffset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02d%02d",
                  kDayNames[static_cast<std::size_t>(t.weekday) % 7], t.day,
                  kMonthNames[static_cast<std::size_t>(t.month - 1) % 12], t.year, t.hour, t.minute,
                  t.second, offsetMinutes < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
    return text;
}

} // namespace http
