// Dates of Unix times and back (UTC, the Gregorian calendar throughout), as
// logger files write them.
#pragma once

#include <chrono>

namespace lx {

constexpr long long SECONDS_PER_MINUTE = 60;
constexpr long long SECONDS_PER_HOUR = 3600;
constexpr long long SECONDS_PER_DAY = 86400;
constexpr double LAST_DATE_SECONDS = 253402300800.0; // 1 January 10000: dates have four digits

struct CivilTime {
    int year = 1970;
    unsigned month = 1, day = 1;
    long long seconds_of_day = 0;
};

// Days from 1 January 1970 to this date; a day past the month's end runs on.
inline long long unix_days(int year, int month, int day) {
    using namespace std::chrono;
    sys_days first{std::chrono::year{year} / month / 1};
    return (first + days{day - 1}).time_since_epoch().count();
}

// Hours, minutes and seconds of a time of day in whole seconds.
struct ClockTime {
    long long hours, minutes, seconds;
};
inline ClockTime clock_time(long long seconds_of_day) {
    return {seconds_of_day / SECONDS_PER_HOUR, seconds_of_day / SECONDS_PER_MINUTE % 60,
            seconds_of_day % SECONDS_PER_MINUTE};
}

inline CivilTime civil_time(long long unix_seconds) {
    using namespace std::chrono;
    sys_seconds t{seconds{unix_seconds}};
    sys_days day = floor<days>(t);
    year_month_day date{day};
    return {int(date.year()), unsigned(date.month()), unsigned(date.day()), (t - day).count()};
}

} // namespace lx
