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

extern int8_t  G_UtcOffset;     // hours from UTC (clock-memory register 8)
extern int32_t G_ClockFormat;   // 0 12-hour, 1 local 24-hour, 2 UTC 24-hour (register 16)

// I2C bus, the clock chip and its battery-backed registers, the backlight.
void    I2cInit();
int32_t GetRtcTime();                                        // 0, or -1 with nothing changed
int32_t WriteClockMem(uint8_t* source, int32_t reg, int32_t count);
void    InitPwm();
void    SetBacklight(int32_t percent);
