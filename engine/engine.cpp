#include "engine/engine.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "engine/instrument.h"
#include "storage/nvram.h"

int32_t  G_EngFresh = 0;
uint32_t G_EngScanStep = 44;
EngineDataFrame G_EngineDataFrame = {};
PercentPower G_PercentPower = {};
Fadec    G_Fadec = {};
int32_t  G_EngineRunCount = 0;
uint32_t G_EngineTimerStamp = 0;

namespace {
constexpr int32_t kFreshTicks = 40;

struct ScanStep {
    uint32_t step;
    uint32_t next;
    int32_t  count;
    int32_t  inst[6];
};
// Step 14 also converts the OAT channel (without air data) before HP.
constexpr ScanStep kScan[] = {
    {44, 19, 6, {18, 11, 10, 44, 26, 34}}, {19, 20, 4, {17, 19, 27, 35}}, {20, 15, 4, {16, 20, 28, 36}},
    {15, 47, 5, {11, 10, 15, 29, 37}},     {47, 21, 4, {12, 47, 30, 38}}, {21, 22, 3, {21, 31, 39}},
    {22, 14, 4, {11, 10, 22, 32}},         {14, 44, 4, {13, 14, 33, 40}},
};

struct DemoState {
    int32_t  d;
    int32_t  s;
    uint32_t stamp50, stamp100, stamp1s;
};
DemoState s_demo = {0, 1, 0, 0, 0};

// Timers accumulate in whole OS-timer ticks: single-precision hours lose
// most of a second's increment once the totals reach hundreds of hours.
struct TimerAcc {
    uint64_t hobbs, tach, today, flight;   // ticks
    bool     loaded;
};
TimerAcc s_timers = {};
constexpr double kTicksPerHour = 3686400.0 * 3600.0;
}  // namespace

static const ScanStep* FindStep(uint32_t step) {
    for (const ScanStep& s : kScan)
        if (s.step == step) return &s;
    return nullptr;
}

uint32_t UpdateInstReadingsStep() {
    const ScanStep* s = FindStep(G_EngScanStep);
    if (!s) {
        G_EngScanStep = 44;
        SetAdcChannelMode(44);
        return 0;
    }
    UpdateInstReading(kInstElevTrim);
    UpdateInstReading(kInstAilTrim);
    UpdateInstReading(kInstFlapAng);
    for (int32_t i = 0; i < s->count; ++i) {
        if (s->step == 14 && s->inst[i] == kInstHp && G_NetStreamCfg[kStreamAir].INST == 0) ConvertAirChannel(kInstOat);
        UpdateInstReading(s->inst[i]);
    }
    G_EngScanStep = s->next;
    SetAdcChannelMode(static_cast<int32_t>(G_EngScanStep));
    const uint32_t fresh = (s->step == 20 || s->step == 22) ? 1u : 0u;
    if (fresh && G_NetStreamCfg[kStreamEngine].NET != 2 && G_Fadec.nPresent == 0) G_EngFresh = kFreshTicks;
    return fresh;
}

void ClearEngineReadings() {
    if (G_Fadec.nPresent == 0) {
        std::memset(&G_InstReading[kInstFuelComp], 0, sizeof(InstReading) * (kInstHp - kInstFuelComp + 1));
        return;
    }
    // The local sensors and the fuel computer keep their records.
    for (int32_t inst = kInstRpm; inst <= kInstCht6; ++inst) {
        const bool fadec = inst == 10 || inst == 11 || inst == 12 || (inst >= 16 && inst <= 18) || inst >= kInstEgt1;
        if (fadec) std::memset(&G_InstReading[inst], 0, sizeof(InstReading));
    }
}

void SetFadecPresent(uint32_t function) {
    G_Fadec.nPresent = 1;
    G_Fadec.nFunction = function;
}

static void SetReading(int32_t inst, int32_t value) {
    G_InstReading[inst].nValue = value;
    G_InstReading[inst].bValid = 1;
}

static bool DemoDue(uint32_t& stamp, uint32_t interval) {
    const uint32_t now = ReadOsTimer();
    if (!TicksElapsed(now, stamp, interval)) return false;
    stamp = now;
    return true;
}

void DemoEngineStep() {
    DemoState& st = s_demo;
    if (DemoDue(st.stamp50, 184320)) {
        SetReading(kInstRpm, 25000 + st.d);
        SetReading(kInstManifold, st.d / 2 + 250);
        G_EngFresh = kFreshTicks;
    }
    if (DemoDue(st.stamp100, 368640)) {
        const int32_t h = st.d / 2;
        SetReading(kInstFuelFlow, h + 112);
        SetReading(12, h + 246);
        SetReading(17, st.d + 1800);
        SetReading(16, st.d + 710);
        SetReading(18, G_AirData.nOat);
        SetReading(kInstAmpsShunt, h + 145);
        SetReading(kInstAmpsHall, h + 145);
        static constexpr int32_t kEgt[6] = {13790, 13850, 13820, 13800, 13880, 13900};
        static constexpr int32_t kCht[6] = {3930, 3850, 3760, 3930, 3880, 3790};
        for (int i = 0; i < 6; ++i) {
            SetReading(kInstEgt1 + i, st.d + kEgt[i]);
            SetReading(kInstCht1 + i, st.d + kCht[i]);
        }
        SetReading(kInstTit1, st.d + 12580);
        SetReading(kInstTit2, st.d + 12500);
        CalcPercentPower();
        // Field by field: the result record's layout differs from the reading's.
        InstReading& hp = G_InstReading[kInstHp];
        hp.nValue = G_PercentPower.nValue;
        hp.nValue2 = G_PercentPower.nValue2;
        hp.bValid = static_cast<uint8_t>(G_PercentPower.nValid & 0xFF);
    }
    if (DemoDue(st.stamp1s, 3686400)) {
        st.d += st.s;
        if (st.d >= 20) st.s = -1;
        else if (st.d <= -20) st.s = 1;
        SetReading(kInstTank1, 88);
        SetReading(kInstTank1 + 1, 93);
        SetReading(kInstTank1 + 2, 50);
        SetReading(kInstTank4, 50);
        SetReading(kInstFuelComp, G_InstReading[kInstTank1].nValue + G_InstReading[kInstTank1 + 1].nValue);
    }
}

void ResetDemoEngine() { s_demo = {0, 1, 0, 0, 0}; }

// ---- engine timers ----------------------------------------------------------------

static uint64_t HoursToTicks(float hours) {
    if (!(hours > 0.0f) || !std::isfinite(hours)) return 0;
    const double t = static_cast<double>(hours) * kTicksPerHour;
    return t >= 1.8e19 ? UINT64_MAX / 2 : static_cast<uint64_t>(t + 0.5);
}

void LoadEngineTimers() {
    s_timers.hobbs = HoursToTicks(NvGetF32(kNvHobbsTime));
    s_timers.tach = HoursToTicks(NvGetF32(kNvTachTime));
    s_timers.today = HoursToTicks(NvGetF32(kNvTodayTime));
    s_timers.flight = HoursToTicks(NvGetF32(kNvLastFlight));
    s_timers.loaded = true;
}

static float TicksToHours(uint64_t ticks) { return static_cast<float>(static_cast<double>(ticks) / kTicksPerHour); }

static int32_t Hundredths(float hours) {
    const double v = static_cast<double>(hours) * 100.0;
    return static_cast<int32_t>(v >= 0 ? v + 0.5 : v - 0.5);
}

static void MirrorTimers() {
    G_InstReading[41].nValue = Hundredths(NvGetF32(kNvHobbsTime));
    G_InstReading[42].nValue = Hundredths(NvGetF32(kNvTachTime));
    G_InstReading[43].nValue = Hundredths(NvGetF32(kNvTodayTime));
    G_InstReading[46].nValue = Hundredths(NvGetF32(kNvLastFlight));
}

static void StoreTimers() {
    NvSetF32(kNvHobbsTime, TicksToHours(s_timers.hobbs));
    NvSetF32(kNvTachTime, TicksToHours(s_timers.tach));
    NvSetF32(kNvTodayTime, TicksToHours(s_timers.today));
    NvSetF32(kNvLastFlight, TicksToHours(s_timers.flight));
}

static void LogRunLine(const char* what) {
    const int32_t tach = Hundredths(NvGetF32(kNvTachTime));
    const int32_t hobbs = Hundredths(NvGetF32(kNvHobbsTime));
    DebugPrintf("Engine %s @%02d:%02d:%02d Tach: %d.%02d, Hobbs: %d.%02d\n", what,
                static_cast<int>(G_DateTime.nHours), static_cast<int>(G_DateTime.nMinutes),
                static_cast<int>(G_DateTime.nSeconds), static_cast<int>(tach / 100), static_cast<int>(tach % 100),
                static_cast<int>(hobbs / 100), static_cast<int>(hobbs % 100));
}

void ClearTodayIfNewDay() {
    if (NvGetU32(kNvTodayDate) == G_DateTime.nDay) return;
    s_timers.today = 0;
    NvSetF32(kNvTodayTime, 0.0f);
    NvSetU32(kNvTodayDate, G_DateTime.nDay);
    G_InstReading[43].nValue = 0;
}

void UpdateEngineTimers() {
    if (G_NetStreamCfg[kStreamEngine].DSRC == 3) return;
    if (!s_timers.loaded) LoadEngineTimers();
    const int32_t rpm = G_InstReading[kInstRpm].nValue;
    if (rpm <= 4000) {
        if (G_EngineRunCount != 0) LogRunLine("Shutdown");
        G_EngineRunCount = 0;
    } else {
        // The increment is the time elapsed since the last step.
        const uint32_t now = ReadOsTimer();
        uint64_t inc = now - G_EngineTimerStamp;
        G_EngineTimerStamp = now;
        if (G_EngineRunCount == 0) {
            LogRunLine("Started");
            s_timers.flight = 0;
            inc = 0;
            ClearTodayIfNewDay();
        }
        G_EngineRunCount += 1;
        s_timers.hobbs += inc;
        s_timers.today += inc;
        s_timers.flight += inc;
        if (rpm > 15000) s_timers.tach += inc;
        StoreTimers();
    }
    MirrorTimers();
}

void LogEngineStartStop() {
    const auto& t = G_DateTime;
    if (G_InstReading[kInstRpm].nValue < 4001) {
        if (G_EngineRunCount != 0)
            DebugPrintf("Engine Shutdown @%02d:%02d:%02d\n", static_cast<int>(t.nHours), static_cast<int>(t.nMinutes),
                        static_cast<int>(t.nSeconds));
        G_EngineRunCount = 0;
        return;
    }
    if (G_EngineRunCount == 0)
        DebugPrintf("Engine Started @%02d:%02d:%02d\n", static_cast<int>(t.nHours), static_cast<int>(t.nMinutes),
                    static_cast<int>(t.nSeconds));
    G_EngineRunCount += 1;
}
