#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace http {

// Reads an Internet date text into seconds since 1970-01-01 00:00 UTC. Accepted: an optional
// leading day name; day and month in either order, separated by "-" or blanks; a four-digit
// year, or a two-digit one (below 80: 20xx, else 19xx); an optional time H:MM[:SS]; an
// optional zone (GMT, UT, UTC, Z, the US zones, +hhmm, -hhmm, +hh:mm, GMT+hhmm). A date without
// a zone is taken as GMT. Nothing when the text is not such a date. Never reads past the text.
std::optional<std::int64_t> readInternetDate(std::string_view text);

// The moment unixSeconds as local time, written "Tue, 5 Mar 2024 14:03:07 +0100": day name,
// day, month name, year, time, offset from UTC. readInternetDate reads it back exactly.
std::string writeInternetDate(std::int64_t unixSeconds);

} // namespace http
