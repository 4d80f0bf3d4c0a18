#include "platform/local_time.h"

#include <ctime>

namespace platform {

LocalTime toLocalTime(std::int64_t unixSeconds)
{
    const auto t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return {};
    LocalTime local;
    local.year = tm.tm_year + 1900;
    local.month = tm.tm_mon + 1;
    local.day = tm.tm_mday;
    local.weekday = tm.tm_wday;
    local.hour = tm.tm_hour;
    local.minute = tm.tm_min;
    local.second = tm.tm_sec;
    local.utcOffsetSeconds = static_cast<int>(tm.tm_gmtoff);
    return local;
}

} // namespace platform
