// The I2C bus as a polled master, the real-time clock chip on it (time and
// date in BCD, battery-backed clock memory from register 8), the
// processor's RTC counter as the seconds of the day, and the backlight.
#pragma once
#include <cstdint>

#include "core/clkmgr.h"

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
extern int8_t   G_UtcOffset;     // local time minus UTC, hours (clock memory register 8)
extern int32_t  G_ClockFormat;   // 0 12-hour, 1 local 24-hour, 2 UTC 24-hour (register 16)

// I2C unit.
constexpr uint32_t IBMR = 0x40301680;
constexpr uint32_t IDBR = 0x40301688;
constexpr uint32_t ICR  = 0x40301690;
constexpr uint32_t ISR  = 0x40301698;
constexpr uint32_t ISAR = 0x403016A0;

constexpr uint32_t kRtcAddress     = 0x68;
constexpr int32_t  kClockMemEnd    = 56;    // register + count must stay below
constexpr int32_t  kRegUtcOffset   = 8;
constexpr int32_t  kRegClockFormat = 16;

// PWM 0.
constexpr uint32_t PWM_CTRL0   = 0x40B00000;
constexpr uint32_t PWM_PWDUTY0 = 0x40B00004;
constexpr uint32_t PWM_PERVAL0 = 0x40B00008;
constexpr uint32_t kBacklightPeriod = 368;

constexpr int32_t kUtcOffsetMin = -14;
constexpr int32_t kUtcOffsetMax = 14;

void    I2cInit();
// Waits up to 100 ms for the unit's interrupt; 0 when a status bit of the
// mask came, -1 on time-out, a missing bit, a NAK or a bus error.
int32_t I2cWaitIrq(uint32_t mask);
int32_t I2cBusBusy();
int32_t I2cUnitBusy();
void    I2cCtlStart();
void    I2cCtlStop();

// Negative codes name the step that failed.
int32_t ReadRtcTime(uint32_t address, uint8_t* regs);
int32_t WriteRtcTime(uint32_t address, const uint8_t* regs);
// count bytes of clock memory from `reg` into/from buffer[0..count-1].
int32_t ReadClockMem(uint8_t* buffer, int32_t reg, int32_t count);
int32_t WriteClockMem(const uint8_t* buffer, int32_t reg, int32_t count);

int32_t GetRtcTime();
int32_t SetRtcTime();
// Once a second: the time of day from the RTC counter; past midnight the
// date is read again from the chip (or carried when the chip fails).
void    UpdateDateTime();

uint8_t BinToBcd(uint32_t value);
uint32_t BcdToBin(uint8_t value, uint8_t mask);

void    InitPwm();
void    SetBacklight(int32_t percent);
