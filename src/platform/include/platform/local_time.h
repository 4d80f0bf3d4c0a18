#pragma once

#include <cstdint>

namespace platform {

// A moment broken down in the machine's local time zone.
struct LocalTime
{
    int year = 1970;
    int month = 1;   // 1 to 12
    int day = 1;     // 1 to 31
    int weekday = 4; // 0 = Sunday
    int hour = 0;
    int minute = 0;
    int second = 0;
    int utcOffsetSeconds = 0; // local time minus UTC, daylight saving included
};

// Breaks down seconds since 1970-01-01 00:00 UTC in the local time zone. Safe from any thread.
LocalTime toLocalTime(std::int64_t unixSeconds);

} // namespace platform
