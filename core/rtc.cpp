#include "core/rtc.h"

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "platform/hw.h"
#include "storage/clockmem.h"

DateTime G_DateTime = {};
int8_t   G_UtcOffset = -7;
int32_t  G_ClockFormat = 0;

// Control values.
constexpr uint32_t kIcrUnitReset  = 0x4000;
constexpr uint32_t kIcrSetup      = 1952;
constexpr uint32_t kIcrUnitEnable = 64;
constexpr uint32_t kIcrIdle       = 2016;
constexpr uint32_t kIcrStart      = 1;
constexpr uint32_t kIcrStop       = 2;
constexpr uint32_t kIcrStartTb    = 2025;
constexpr uint32_t kIcrStopTb     = 2026;
constexpr uint32_t kIcrTb         = 2024;
constexpr uint32_t kIcrStopNakTb  = 2030;
// Status bits.
constexpr uint32_t kIsrNak        = 2;
constexpr uint32_t kIsrUnitBusy   = 4;
constexpr uint32_t kIsrBusBusy    = 8;
constexpr uint32_t kIsrArbLoss    = 32;
constexpr uint32_t kIsrTxEmpty    = 64;
constexpr uint32_t kIsrRxFull     = 128;
constexpr uint32_t kIsrBusError   = 0x400;
constexpr uint32_t kIsrClearAll   = 2047;
constexpr uint32_t kCkenI2c       = 1u << 14;
constexpr uint32_t kIntI2c        = 1u << 18;
constexpr uint32_t kI2cTimeout    = 368600;   // 100 ms
constexpr uint32_t kSettleTicks   = 3686;     // 1 ms

// GPIO.
constexpr uint32_t GPDR0   = 0x40E0000C;
constexpr uint32_t GPDR2   = 0x40E00014;
constexpr uint32_t GPSR2   = 0x40E00020;
constexpr uint32_t GPCR2   = 0x40E0002C;
constexpr uint32_t GAFR0_U = 0x40E00058;
constexpr uint32_t kGpio16 = 1u << 16;          // PWM 0 output, bank 0
constexpr uint32_t kGpio77 = 1u << (77 - 64);   // backlight enable, bank 2

constexpr uint32_t kBacklightDuty[12] = {0, 37, 55, 74, 92, 111, 129, 147, 166, 184, 203, 369};

// ---- I2C unit --------------------------------------------------------------------

void I2cInit() {
    HwWrite32(ICR, kIcrUnitReset);
    DelayTicks(kSettleTicks);
    HwWrite32(ISR, kIsrClearAll);
    HwWrite32(ICR, 0);
    DelayTicks(kSettleTicks);
    HwWrite32(CKEN, HwRead32(CKEN) | kCkenI2c);
    HwWrite32(ISAR, 1);
    HwWrite32(ICR, kIcrSetup);
    HwWrite32(ISR, kIsrClearAll);
    HwWrite32(ICR, HwRead32(ICR) | kIcrUnitEnable);
    DelayTicks(kSettleTicks);
}

int32_t I2cWaitIrq(uint32_t mask) {
    // The unit's interrupt stays masked: its raw pending bit is polled.
    uint32_t start = ReadOsTimer();
    while (!(HwRead32(ICPR) & kIntI2c)) {
        if (static_cast<uint32_t>(ReadOsTimer() - start) > kI2cTimeout) {
            DebugPrintf("Timed out waiting for i2c interrupt.\n");
            return -1;
        }
    }
    uint32_t status = HwRead32(ISR);
    if (!(status & mask)) return -1;
    HwWrite32(ISR, (status & mask) | kIsrArbLoss | kIsrBusError);
    // A device that does not acknowledge its address or a byte, or a bus
    // error, is a failed step, not a completed one.
    if (status & kIsrBusError) return -1;
    if ((mask & kIsrTxEmpty) && (status & kIsrNak)) return -1;
    return 0;
}

static int32_t StatusSetThrice(uint32_t bit) {
    for (int i = 0; i < 3; ++i)
        if (!(HwRead32(ISR) & bit)) return 0;
    return 1;
}

int32_t I2cBusBusy() { return StatusSetThrice(kIsrBusBusy); }
int32_t I2cUnitBusy() { return StatusSetThrice(kIsrUnitBusy); }
void I2cCtlStart() { HwWrite32(ICR, (HwRead32(ICR) | kIcrStart) & ~kIcrStop); }
void I2cCtlStop() { HwWrite32(ICR, (HwRead32(ICR) | kIcrStop) & ~kIcrStart); }

// One byte out with the given control value; `code` on failure.
static int32_t SendByte(uint32_t byte, uint32_t control, int32_t code) {
    HwWrite32(IDBR, byte);
    HwWrite32(ICR, control);
    return I2cWaitIrq(kIsrTxEmpty) == 0 ? 0 : code;
}

static int32_t ReceiveByte(uint8_t* out, uint32_t control, int32_t code) {
    HwWrite32(ICR, control);
    if (I2cWaitIrq(kIsrRxFull) != 0) return code;
    *out = static_cast<uint8_t>(HwRead32(IDBR));
    return 0;
}

// Leaves the unit idle whatever step ended the transfer.
static int32_t EndTransfer(int32_t result) {
    HwWrite32(ICR, kIcrIdle);
    return result;
}

static bool BusBusyAtStart() {
    HwWrite32(ISR, kIsrClearAll);
    if (!I2cBusBusy()) return false;
    DebugPrintf("bus is busy\n");
    return true;
}

// Register pointer, then `count` bytes read; the pointer survives the STOP.
static int32_t ReadRegisters(uint32_t address, uint8_t reg, uint8_t* out, int32_t count) {
    int32_t r;
    if ((r = SendByte(address * 2, kIcrStartTb, -1)) != 0) return EndTransfer(r);
    if ((r = SendByte(reg, kIcrStopTb, -2)) != 0) return EndTransfer(r);
    if ((r = SendByte(address * 2 + 1, kIcrStartTb, -3)) != 0) return EndTransfer(r);
    for (int32_t i = 0; i < count - 1; ++i)
        if ((r = ReceiveByte(&out[i], kIcrTb, -4)) != 0) return EndTransfer(r);
    return EndTransfer(ReceiveByte(&out[count - 1], kIcrStopNakTb, -5));
}

static int32_t WriteRegisters(uint32_t address, uint8_t reg, const uint8_t* in, int32_t count, int32_t lastCode) {
    int32_t r;
    if ((r = SendByte(address * 2, kIcrStartTb, -1)) != 0) return EndTransfer(r);
    HwWrite32(IDBR, reg);
    if (I2cBusBusy()) return EndTransfer(-11);
    HwWrite32(ICR, kIcrTb);
    if (I2cWaitIrq(kIsrTxEmpty) != 0) return EndTransfer(-2);
    for (int32_t i = 0; i < count - 1; ++i)
        if ((r = SendByte(in[i], kIcrTb, -4)) != 0) return EndTransfer(r);
    return EndTransfer(SendByte(in[count - 1], kIcrStopTb, lastCode));
}

int32_t ReadRtcTime(uint32_t address, uint8_t* regs) {
    if (BusBusyAtStart()) return -11;
    return ReadRegisters(address, 0, regs, 7);
}

int32_t WriteRtcTime(uint32_t address, const uint8_t* regs) {
    if (BusBusyAtStart()) return -11;
    return WriteRegisters(address, 0, regs, 7, -12);
}

static bool ClockMemRangeOk(int32_t reg, int32_t count) {
    return reg >= 0 && count >= 1 && reg + count < kClockMemEnd;
}

int32_t ReadClockMem(uint8_t* buffer, int32_t reg, int32_t count) {
    if (!ClockMemRangeOk(reg, count)) {
        DebugPrintf("ReadClockMem: attempt to read past end\n");
        return -1;
    }
    if (BusBusyAtStart()) return -11;
    return ReadRegisters(kRtcAddress, static_cast<uint8_t>(reg), buffer, count);
}

int32_t WriteClockMem(const uint8_t* buffer, int32_t reg, int32_t count) {
    if (!ClockMemRangeOk(reg, count)) {
        DebugPrintf("WriteClockMem: attempt to read past end\n");
        return -1;
    }
    if (BusBusyAtStart()) return -11;
    return WriteRegisters(kRtcAddress, static_cast<uint8_t>(reg), buffer, count, -12);
}

// ---- time and date -------------------------------------------------------------

uint8_t BinToBcd(uint32_t value) { return static_cast<uint8_t>((value / 10) * 16 + value % 10); }

uint32_t BcdToBin(uint8_t value, uint8_t mask) { return (value & 15u) + ((value & mask) >> 4) * 10u; }

static void SetRtcCounter() {
    HwWrite32(RCNR, G_DateTime.nHours * 3600 + G_DateTime.nMinutes * 60 + G_DateTime.nSeconds);
}

// A damaged register must not put the offset outside what the knob allows.
static int8_t ClampUtcOffset(int8_t value) {
    if (value < kUtcOffsetMin) return static_cast<int8_t>(kUtcOffsetMin);
    if (value > kUtcOffsetMax) return static_cast<int8_t>(kUtcOffsetMax);
    return value;
}

int32_t GetRtcTime() {
    uint8_t r[7];
    if (ReadRtcTime(kRtcAddress, r) != 0) return -1;
    G_DateTime.nSeconds = BcdToBin(r[0], 0x70);
    G_DateTime.nMinutes = BcdToBin(r[1], 0x70);
    G_DateTime.nHours = BcdToBin(r[2], 0x30);
    G_DateTime.nDayOfWeek = r[3] & 15u;
    G_DateTime.nDay = BcdToBin(r[4], 0x30);
    G_DateTime.nMonth = BcdToBin(r[5], 0x10);
    G_DateTime.nYear = 2000 + BcdToBin(r[6], 0xF0);
    uint8_t b = 0;
    if (ReadClockMem(&b, kRegUtcOffset, 1) == 0) {
        G_ClockMem[kRegUtcOffset] = b;
        G_UtcOffset = ClampUtcOffset(static_cast<int8_t>(b));
    }
    if (ReadClockMem(&b, kRegClockFormat, 1) == 0) {
        G_ClockMem[kRegClockFormat] = b;
        G_ClockFormat = b;
    }
    SetRtcCounter();
    return 0;
}

int32_t SetRtcTime() {
    uint8_t r[7] = {
        BinToBcd(G_DateTime.nSeconds),   // bit 7 clear: the oscillator runs
        BinToBcd(G_DateTime.nMinutes),
        BinToBcd(G_DateTime.nHours),
        static_cast<uint8_t>(G_DateTime.nDayOfWeek),
        BinToBcd(G_DateTime.nDay),
        BinToBcd(G_DateTime.nMonth),
        BinToBcd(G_DateTime.nYear % 100),
    };
    if (WriteRtcTime(kRtcAddress, r) != 0) return -1;
    G_ClockMem[kRegUtcOffset] = static_cast<uint8_t>(G_UtcOffset);
    G_ClockMem[kRegClockFormat] = static_cast<uint8_t>(G_ClockFormat);
    WriteClockMem(&G_ClockMem[kRegUtcOffset], kRegUtcOffset, 1);
    WriteClockMem(&G_ClockMem[kRegClockFormat], kRegClockFormat, 1);
    SetRtcCounter();
    return 0;
}

static uint32_t DaysInMonth(uint32_t month, uint32_t year) {
    static const uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) return 29;
    return month >= 1 && month <= 12 ? days[month - 1] : 31;
}

static void CarryDate() {
    G_DateTime.nDayOfWeek = G_DateTime.nDayOfWeek % 7 + 1;
    if (++G_DateTime.nDay <= DaysInMonth(G_DateTime.nMonth, G_DateTime.nYear)) return;
    G_DateTime.nDay = 1;
    if (++G_DateTime.nMonth <= 12) return;
    G_DateTime.nMonth = 1;
    ++G_DateTime.nYear;
}

void UpdateDateTime() {
    uint32_t c = HwRead32(RCNR);
    if (c >= 86400) {
        // Midnight passed: the date must not stay at yesterday.
        if (GetRtcTime() != 0) {
            for (; c >= 86400; c -= 86400) CarryDate();
            HwWrite32(RCNR, c);
        }
        c = HwRead32(RCNR);
    }
    G_DateTime.nSeconds = c % 60;
    G_DateTime.nMinutes = (c / 60) % 60;
    G_DateTime.nHours = (c / 3600) % 24;
}

// ---- backlight -------------------------------------------------------------------

void InitPwm() {
    HwWrite32(GPDR0, HwRead32(GPDR0) | kGpio16);
    HwWrite32(GAFR0_U, (HwRead32(GAFR0_U) & ~3u) | 2u);
    HwWrite32(GPDR2, HwRead32(GPDR2) | kGpio77);
    HwWrite32(PWM_CTRL0, 0);
    HwWrite32(PWM_PERVAL0, kBacklightPeriod);
    HwWrite32(PWM_PWDUTY0, 184);
}

void SetBacklight(int32_t percent) {
    // A damaged setting above 100 would wrap the step index to 0: black with the lamp on.
    if (percent > 100) percent = 100;
    if (percent < 0) percent = 0;
    if (percent >= 10) {
        HwWrite32(PWM_PWDUTY0, kBacklightDuty[(percent / 10 + 1) % 12]);
        HwWrite32(GPSR2, kGpio77);
    } else if (percent >= 5) {
        HwWrite32(PWM_PWDUTY0, 37);
        HwWrite32(GPSR2, kGpio77);
    } else {
        HwWrite32(PWM_PWDUTY0, 0);
        HwWrite32(GPCR2, kGpio77);
    }
}
