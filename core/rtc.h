// Date and time of day, kept from the real-time clock.
#pragma once
#include <cstdint>

struct DateTime {
    uint32_t nYear;        // full year, e.g. 2015
    uint32_t nMonth;       // 1..12
    uint32_t nDayOfWeek;   // as the clock chip stores it
    uint32_t nDay;         // day of the month
    uint32_t nHours;       // 0..23
    uint32_t nMinutes;
    uint32_t nSeconds;
};
static_assert(sizeof(DateTime) == 28);

extern DateTime G_DateTime;
