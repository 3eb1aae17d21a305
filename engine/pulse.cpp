#include "engine/pulse.h"

#include <cmath>
#include <cstring>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "engine/lean.h"
#include "platform/hw.h"
#include "storage/nvram.h"

RpmPulse      G_RpmPulse = {};
FuelFlowPulse G_FuelFlowPulse = {};

namespace {
constexpr uint32_t GPLR2 = 0x40E00008;
constexpr uint32_t GPDR2 = 0x40E00014;
constexpr uint32_t GRER2 = 0x40E00038;
constexpr uint32_t GFER2 = 0x40E00044;
constexpr uint32_t GEDR2 = 0x40E00050;
constexpr uint32_t GAFR2_L = 0x40E00064;
constexpr uint32_t kPinFuelFlow = 1u << 7;    // GPIO71
constexpr uint32_t kPinRpm = 1u << 8;         // GPIO72
constexpr uint32_t kInjectorMaxTicks = 110592;   // 30 ms

struct RpmConsts {
    float   p2;
    int32_t n;
    int32_t refill;       // samples pushed after a time-out
    uint32_t minAt1000;   // us
    uint32_t maxAt120;
    uint32_t timeout;     // OS-timer ticks without an edge: the engine stopped
};
RpmConsts s_rpm = {2.0f, 2, 9, 60000, 500000, 1843200};

struct RateEntry {
    uint32_t time;
    uint32_t count;
};
RateEntry s_rate[5] = {};
int32_t   s_rateWr = 1, s_rateRd = 0;
}  // namespace

static int32_t RoundHalfAway(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v >= 0 ? v + 0.5 : v - 0.5);
}

float RpmP2(int32_t code) {
    if (code <= 0) code = 2;
    return code >= 9 ? static_cast<float>(code) * 0.5f : static_cast<float>(code);
}

int32_t RpmN(int32_t code) {
    if (code <= 0) code = 2;
    return code <= 8 ? code : static_cast<int32_t>(static_cast<double>(code) * 0.5 + 0.5);
}

static int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

static void SetEdgeDetect(uint32_t pin, bool rising, bool falling) {
    HwWrite32(GPDR2, HwRead32(GPDR2) & ~pin);
    const uint32_t bit = pin == kPinRpm ? 8u : 7u;
    HwWrite32(GAFR2_L, HwRead32(GAFR2_L) & ~(3u << (2 * bit)));
    HwWrite32(GRER2, rising ? (HwRead32(GRER2) | pin) : (HwRead32(GRER2) & ~pin));
    HwWrite32(GFER2, falling ? (HwRead32(GFER2) | pin) : (HwRead32(GFER2) & ~pin));
    HwWrite32(GEDR2, pin);
}

void InitRpm() {
    int32_t& code = G_InstCfg[kInstRpm].nShiftAdj;
    if (code <= 0) code = 2;   // a negative code would give negative periods
    RpmConsts& k = s_rpm;
    k.p2 = RpmP2(code);
    k.n = RpmN(code);
    std::memset(&G_RpmPulse, 0, sizeof G_RpmPulse);
    k.minAt1000 = static_cast<uint32_t>(1.2e8f / (k.p2 * 1000.0f));
    k.maxAt120 = static_cast<uint32_t>(1e6f / k.p2);
    k.refill = static_cast<int32_t>(std::floor(k.p2 * 4.0f)) + 1;
    k.timeout = static_cast<uint32_t>((1e6f / k.p2) * 3.6864f);
    AvgInit(&G_RpmPulse.avg, static_cast<int32_t>(k.maxAt120), static_cast<int32_t>(k.p2 * 4.0f));
    const int32_t tenths = static_cast<int32_t>(std::lround(k.p2 * 10.0f)) % 10;
    DebugPrintf("RPM Init: PPRev:%d.%d, MinPulse:%dus, MaxPulse:%dus\n", static_cast<int>(k.p2),
                static_cast<int>(tenths), static_cast<int>(k.minAt1000), static_cast<int>(k.maxAt120));
    if (k.minAt1000 == 0) k.minAt1000 = 1;
    G_RpmPulse.nMinPeriod = k.minAt1000;
    G_RpmPulse.nMaxPeriod = k.maxAt120;
    SetEdgeDetect(kPinRpm, true, false);
    LoadEngineTimers();
    ClearTodayIfNewDay();
}

void MarkRpmPulseDisturbed() { G_RpmPulse.nSkip = 1; }

static void RefillSlow(RpmPulse& r) {
    for (int32_t i = 0; i < s_rpm.refill; ++i) AvgAdd(&r.avg, static_cast<int32_t>(s_rpm.maxAt120));
}

void RpmPulseIsr(uint32_t t) {
    RpmPulse& r = G_RpmPulse;
    if (r.nWriteInProgress) {
        r.nSkip = 1;
        G_FuelFlowPulse.nSkip = 1;
    } else if (r.nSkip == 1) {
        r.nSkip = 0;
    } else {
        // The handler is the one writer of the ring: the main loop's refill
        // after a time-out is done here.
        if (r.nRefillReq) {
            RefillSlow(r);
            r.nRefillReq = 0;
        }
        const uint32_t period = static_cast<uint32_t>(static_cast<double>(t - r.nStamp) / 3.6864 + 0.5);
        r.nPeriod = period;
        if (period > r.nMinPeriod && period < r.nMaxPeriod) {
            AvgAdd(&r.avg, static_cast<int32_t>(period));
            r.nRejects = 0;
        } else {
            const int32_t before = r.nRejects++;
            if (before > s_rpm.n + 1) {
                const uint32_t edge = period < r.nMinPeriod ? r.nMinPeriod : r.nMaxPeriod;
                AvgAdd(&r.avg, static_cast<int32_t>(edge));
                r.nRejects = 0;
            }
        }
        if (G_InstCfg[kInstFuelFlow].nGaugeType == 1) {
            G_FuelFlowPulse.nStart = t;
            G_FuelFlowPulse.nEnd = t;
            G_FuelFlowPulse.bArmed = 1;
        }
    }
    r.nStamp = t;
    r.nEdges += 1;
}

void CalcRpm() {
    RpmPulse& r = G_RpmPulse;
    const RpmConsts& k = s_rpm;
    int32_t rpm = 0;
    if (ReadOsTimer() - r.nStamp >= k.timeout) {
        r.nRejects = 0;
        r.nRefillReq = 1;
    } else if (r.avg.nMean > 0) {
        rpm = RoundHalfAway(static_cast<double>(1.2e8f / (static_cast<float>(r.avg.nMean) * k.p2)));
    }
    if (rpm < 1000) {
        r.nMinPeriod = k.minAt1000;
        r.nMaxPeriod = k.maxAt120;
    } else {
        const double p = r.nPeriod;
        const float f = static_cast<float>((2000.0 * p) / (static_cast<double>(rpm) * 2.0e6));
        const int32_t d = RoundHalfAway(p * static_cast<double>(f));
        r.nMinPeriod = static_cast<uint32_t>(p) - static_cast<uint32_t>(d);
        r.nMaxPeriod = static_cast<uint32_t>(p) + static_cast<uint32_t>(d);
    }
    const int32_t top = RoundHalfAway(G_InstCfg[kInstRpm].nMax / 10.0);
    if (rpm > top) rpm = top;
    if (rpm <= 179) rpm = 0;
    // Shifts from the A/D table, kept where the arithmetic stays in range.
    const int32_t s = Clamp(G_InstAd[kInstRpm].nFiltScale, 0, 16);
    const int32_t kk = Clamp(G_InstAd[kInstRpm].nFiltShift, 0, 8);
    const int64_t target = static_cast<int64_t>(rpm) << s;
    int64_t acc = r.nFiltAcc + ((target - r.nFiltAcc) >> kk);
    acc = acc > INT32_MAX ? INT32_MAX : (acc < INT32_MIN ? INT32_MIN : acc);
    r.nFiltAcc = static_cast<int32_t>(acc);
    // Rounded, so that a steady speed settles on itself and not one below.
    r.nFiltered = static_cast<int32_t>((acc + (s > 0 ? (int64_t{1} << (s - 1)) : 0)) >> s);
    int64_t value = static_cast<int64_t>(r.nFiltered) * 10;
    G_InstReading[kInstRpm].nValue = static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value);
    G_InstReading[kInstRpm].bValid = 1;
}

// ---- fuel flow ----------------------------------------------------------------------------

void InitFuelFlow() {
    FuelFlowPulse& f = G_FuelFlowPulse;
    std::memset(&f, 0, sizeof f);
    AvgInit(&f.flow25, 0, 25);
    AvgInit(&f.flow10, 0, 10);
    f.nStart = f.nEnd = ReadOsTimer();
    f.nSkip = 1;
    const InstCfg& c = G_InstCfg[kInstFuelFlow];
    if (c.nShiftAdj > 0) {
        f.dFuelPerPulse = 1.0 / (c.nShiftAdj * 10.0);
    } else {
        DebugPrintf("BAD FuelFlow SHIFTADJ: %d\n", static_cast<int>(c.nShiftAdj));
        f.dFuelPerPulse = 1.0 / 6800.0;
    }
    // Counts from before a restart would give a huge first rate.
    std::memset(s_rate, 0, sizeof s_rate);
    s_rate[0] = {f.nStart, 0};
    s_rateWr = 1, s_rateRd = 0;
    if (c.nGaugeType == 1) {
        DebugPrintf("FUEL_FLOW: Init As FF_INJECTION_TIME\n");
        f.nDelay = static_cast<uint32_t>(static_cast<double>(c.nScaleFctr > 0 ? c.nScaleFctr : 0) * 3.6864);
        AvgInit(&f.openAvg, 0, 25);
        SetEdgeDetect(kPinFuelFlow, true, false);
    } else {
        SetEdgeDetect(kPinFuelFlow, false, true);
    }
}

double FuelUsed() { return NvGetF64(kNvGalsUsed) + G_FuelFlowPulse.dPendingUsed; }
double FuelRemaining() { return NvGetF64(kNvGalsRem) - G_FuelFlowPulse.dPendingUsed; }

void RefreshFuelCompReading() {
    InstReading& r = G_InstReading[kInstFuelComp];
    r.nValue = RoundHalfAway(static_cast<double>(static_cast<float>(FuelUsed())));
    r.nValue2 = RoundHalfAway(static_cast<double>(static_cast<float>(FuelRemaining())));
}

void FuelFlowPulseIsr(uint32_t t) {
    FuelFlowPulse& f = G_FuelFlowPulse;
    const int32_t type = G_InstCfg[kInstFuelFlow].nGaugeType;
    if (type == 0) {
        f.nCount += 1;
        f.dPendingUsed += f.dFuelPerPulse;
    } else if (type == 1 && f.nSuspend == 0) {
        if (f.nSkip == 1) {
            f.nSkip = 0;
        } else if ((HwRead32(GPLR2) & kPinFuelFlow) && f.bArmed == 1) {
            f.nEnd = t;
            f.nCount += 1;
            f.nOpen = f.nEnd - f.nStart;
            f.nNetOpen = f.nOpen - f.nDelay;
            const int32_t net = static_cast<int32_t>(f.nNetOpen);
            if (net > 0 && f.nNetOpen < kInjectorMaxTicks) {
                AvgAdd(&f.openAvg, net);
                const double fuel = (f.nNetOpen / 3686400.0) * (G_InstCfg[kInstFuelFlow].nShiftAdj / 3785.4119) / 60.0;
                f.dFuelPerPulse = fuel;
                f.dPendingUsed += fuel;
            } else {
                AvgAdd(&f.openAvg, 0);
            }
            f.nStart = f.nEnd = t;
            f.bArmed = 0;
        }
    }
    RefreshFuelCompReading();
}

void FoldFuelTotals() {
    // The handler's share moves with the edge interrupt masked, so the image
    // is never changed by the handler while it is checked and written.
    const bool on = (HwRead32(ICMR) & kIntGpio) != 0;
    if (on) IntDisable(kIntGpio);
    const double d = G_FuelFlowPulse.dPendingUsed;
    G_FuelFlowPulse.dPendingUsed = 0.0;
    if (on) IntEnable(kIntGpio);
    if (d == 0.0) return;
    NvSetF64(kNvGalsUsed, NvGetF64(kNvGalsUsed) + d);
    NvSetF64(kNvGalsRem, NvGetF64(kNvGalsRem) - d);
}

static int32_t FlowFromSensor() {
    const FuelFlowPulse& f = G_FuelFlowPulse;
    s_rate[s_rateWr] = {ReadOsTimer(), f.nCount};
    s_rateRd = s_rateWr;
    s_rateWr = (s_rateWr + 1) % 5;
    const RateEntry& n = s_rate[s_rateRd];
    const RateEntry& o = s_rate[s_rateWr];
    const uint32_t dt = n.time - o.time;
    if (dt == 0) return 0;
    const uint64_t p = static_cast<uint64_t>(n.count - o.count) * 3686400u / dt;
    const int32_t k = G_InstCfg[kInstFuelFlow].nShiftAdj;
    if (k <= 0) return 0;   // no divisor: no flow rather than a crash
    const double flow = static_cast<double>(p) * 3600.0 * 10.0 / (k * 100.0) + 0.5;
    return flow >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(flow);
}

// Tenths of a gallon an hour: injections a minute x open seconds x K (tenths
// of cc/min) / 3785.4 cc per gallon. The RPM reading is in tenths, so it is
// taken in whole revolutions, as the handler's per-injection fuel is.
static int32_t FlowFromInjector() {
    const float pulses = RpmP2(G_InstCfg[kInstRpm].nShiftAdj) * 0.5f;
    const float open = static_cast<float>(G_FuelFlowPulse.openAvg.nMean) / 3686400.0f;
    const float rate = static_cast<float>(G_InstCfg[kInstFuelFlow].nShiftAdj) / 3785.4119f;
    const float rpm = static_cast<float>(G_InstReading[kInstRpm].nValue) / 10.0f;
    const float flow = pulses * open * rpm * rate;
    return RoundHalfAway(static_cast<double>(flow));
}

static void ClampMean(RunningAvg& a, int32_t top) {
    if (a.nMean < 0) a.nMean = 0;
    if (a.nMean > top) a.nMean = top;
}

void CalcFuelFlow() {
    FuelFlowPulse& f = G_FuelFlowPulse;
    const int32_t flow = G_InstCfg[kInstFuelFlow].nGaugeType == 1 ? FlowFromInjector() : FlowFromSensor();
    AvgAdd(&f.flow25, flow);
    AvgAdd(&f.flow10, flow);
    const int64_t top64 = static_cast<int64_t>(G_InstCfg[kInstFuelFlow].nMax) * 10;
    const int32_t top = top64 > INT32_MAX ? INT32_MAX : (top64 < 0 ? 0 : static_cast<int32_t>(top64));
    ClampMean(f.flow25, top);
    ClampMean(f.flow10, top);
    InstReading& r = G_InstReading[kInstFuelFlow];
    r.nValue = G_LeanMode == 1 ? f.flow10.nMean : f.flow25.nMean;
    r.bValid = 1;
}
