#include "engine/instrument.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "engine/bargauge.h"
#include "engine/engine.h"
#include "engine/layout.h"
#include "engine/pulse.h"
#include "engine/tanks.h"
#include "storage/nvram.h"

const char InstrumentNames[kInstruments][kInstNameBytes] = {
    "ALTITUDE",   "SENSORTEMP", "WINGPRES",   "AIRSPEED",   "BATVOLTS",     "VOLTS",       "OAT",
    "BACKVOLTS",  "VERTSPEED",  "FUEL_COMP",  "RPM",        "MANIFOLD",     "FUEL_PSI",    "FUEL_FLOW",
    "AMPS_SHUNT", "AMPS_HALL",  "OIL_PSI",    "OIL_TEMP",   "CARB_TEMP",    "TANK_1",      "TANK_2",
    "TANK_3",     "TANK_4",     "ELEV_TRIM",  "AIL_TRIM",   "FLAP_ANG",     "EGT_1",       "EGT_2",
    "EGT_3",      "EGT_4",      "EGT_5",      "EGT_6",      "TIT_1",        "TIT_2",       "CHT_1",
    "CHT_2",      "CHT_3",      "CHT_4",      "CHT_5",      "CHT_6",        "HP",          "HOBBS_TIME",
    "TACH_TIME",  "TODAY_TIME", "THRMCPL_TEMP", "CLOCK",    "FLIGHT_TIME",  "COOL_TEMP",
};

const char InstFieldNames[kInstFields + 1][kInstNameBytes] = {
    "MAX",       "RED_HIGH",    "YELLOW_HIGH", "YELLOW_LOW", "RED_LOW", "MIN",   "SHIFT_ADJ",
    "SCALE_FCTR", "SCALE_APPLY", "UNITS",      "ENABLE",     "AUDIO",   "GAUGE_TYPE", "NUM_CAL_PTS",
};

InstReading G_InstReading[kInstruments] = {};
InstCfg     G_InstCfg[kInstruments] = {};
InstCal     G_InstCal[kInstruments] = {};
EngInfo     G_EngInfo = {4, 4, 0, 0, 1, 1, 0, 0, 0, {100, 100, 100}};

int32_t& InstCfgField(InstCfg& cfg, int field) {
    static int32_t InstCfg::* const kFields[kInstFields] = {
        &InstCfg::nMax,       &InstCfg::nRedHigh,   &InstCfg::nYellowHigh, &InstCfg::nYellowLow, &InstCfg::nRedLow,
        &InstCfg::nMin,       &InstCfg::nShiftAdj,  &InstCfg::nScaleFctr,  &InstCfg::nScaleApply, &InstCfg::nUnits,
        &InstCfg::nEnable,    &InstCfg::nAudio,     &InstCfg::nGaugeType,
    };
    if (field < 0 || field >= kInstFields) field = kFldMax;
    return cfg.*kFields[field];
}

static bool ValidInst(int32_t inst) { return inst >= 0 && inst < kInstruments; }

// The count the segment tables can hold, whatever a file or menu stored.
static int32_t UsablePoints(const InstCal& cal) {
    return cal.nNumPts < 2 ? 2 : (cal.nNumPts > kCalPoints ? kCalPoints : cal.nNumPts);
}

// Equal A/D values with different display values: no slope joins them.
static bool Degenerate(const CalPoint& p0, const CalPoint& p1) {
    return p0.nAd == p1.nAd && p0.nDisplay != p1.nDisplay;
}

// A float within the range of a reading; NaN and overflow never reach an int.
static bool ToReading(double v, int32_t* out) {
    if (!std::isfinite(v) || v >= 2147483647.0 || v <= -2147483648.0) {
        *out = std::isnan(v) ? 0 : (v > 0 ? INT32_MAX : INT32_MIN);
        return false;
    }
    *out = static_cast<int32_t>(v);
    return true;
}

void CalcInstCalSlopes(int32_t inst) {
    if (!ValidInst(inst)) return;
    InstCal& cal = G_InstCal[inst];
    if (cal.nNumPts > kCalPoints) cal.nNumPts = kCalPoints;
    if (cal.nNumPts < 0) cal.nNumPts = 0;
    if (cal.nNumPts < 2) {
        cal.segment[0] = {1.0f, 0.0f, G_InstCfg[inst].nMin};
        cal.segment[1] = {1.0f, 0.0f, G_InstCfg[inst].nMax};
        cal.nNumPts = 2;
        return;
    }
    bool degenerate = false;
    for (int32_t i = 0; i + 1 < cal.nNumPts; ++i) {
        const CalPoint& p0 = cal.point[i];
        const CalPoint& p1 = cal.point[i + 1];
        CalSegment& s = cal.segment[i];
        s.nStartAd = p0.nAd;
        if (p1.nDisplay == p0.nDisplay || p1.nAd == p0.nAd) {
            // Equal A/D values would divide by zero: the segment keeps the
            // shape of a flat display step, and readings on it are invalid.
            degenerate = degenerate || Degenerate(p0, p1);
            s.fSlope = 1.0f;
        } else {
            // Differences in 64 bits: points from files may span the whole i32 range.
            s.fSlope = static_cast<float>(static_cast<int64_t>(p1.nDisplay) - p0.nDisplay) /
                       static_cast<float>(static_cast<int64_t>(p1.nAd) - p0.nAd);
        }
        s.fIntercept = static_cast<float>(p0.nDisplay) - static_cast<float>(p0.nAd) * s.fSlope;
    }
    cal.segment[cal.nNumPts - 1] = cal.segment[cal.nNumPts - 2];
    if (degenerate) DebugPrintf("InstNum:%d equal A/D points\n", static_cast<int>(inst));
}

static int32_t Column(const CalPoint& p, int32_t column) { return column == 1 ? p.nAd : p.nDisplay; }

static bool Within(int32_t x, int32_t a, int32_t b) { return a <= b ? (x >= a && x <= b) : (x >= b && x <= a); }

// The segment holding x; the end segments extend the curve beyond both ends.
static int32_t SelectSegment(const InstCal& cal, int32_t x, int32_t column) {
    const int32_t n = UsablePoints(cal);
    const int32_t first = Column(cal.point[0], column);
    const int32_t last = Column(cal.point[n - 1], column);
    if (!Within(x, first, last)) {
        if (first < last) return x > first ? n - 1 : 0;
        return x <= first ? n - 1 : 0;
    }
    int32_t seg = -1;
    for (int32_t i = 0; i <= n - 3; ++i) {
        if (Within(x, Column(cal.point[i], column), Column(cal.point[i + 1], column))) seg = i;
    }
    return seg < 0 ? n - 2 : seg;
}

// A curve never built (a record zeroed at start, no file) is the identity.
static void EnsureSegments(int32_t inst) {
    if (G_InstCal[inst].nNumPts < 2) CalcInstCalSlopes(inst);
}

static int32_t ActivateSegment(int32_t inst, int32_t x, int32_t column) {
    EnsureSegments(inst);
    const InstCal& cal = G_InstCal[inst];
    const int32_t seg = SelectSegment(cal, x, column);
    GaugeLayout& g = G_GaugeLayout[inst];
    g.fActiveSlope = cal.segment[seg].fSlope;
    g.fActiveIntercept = cal.segment[seg].fIntercept;
    // Truncated to an integer, slope x 100000 is 0.
    if (!(std::fabs(static_cast<double>(g.fActiveSlope) * 100000.0) >= 1.0) || !std::isfinite(g.fActiveSlope)) {
        g.fActiveSlope = 1.0f;
        DebugPrintf("InstNum:%d ZERO Slope Corrected\n", static_cast<int>(inst));
    }
    return seg;
}

void SetInstCalSegment(int32_t inst, int32_t x, int32_t column) {
    if (ValidInst(inst)) ActivateSegment(inst, x, column);
}

// The extrapolation entry copies the segment before it.
static bool SegmentDegenerate(const InstCal& cal, int32_t seg) {
    const int32_t n = UsablePoints(cal);
    if (seg >= n - 1) seg = n - 2;
    return Degenerate(cal.point[seg], cal.point[seg + 1]);
}

static bool Convert(int32_t inst, int32_t ad, int32_t shift, int32_t* value) {
    const int32_t seg = ActivateSegment(inst, ad, 1);
    const GaugeLayout& g = G_GaugeLayout[inst];
    const float v = static_cast<float>(ad) * g.fActiveSlope + g.fActiveIntercept;
    const bool ok = ToReading(static_cast<double>(v) + 0.5 + shift, value);
    return ok && !SegmentDegenerate(G_InstCal[inst], seg);
}

bool ConvertInstAd(int32_t inst, int32_t ad, bool withShift, int32_t* value) {
    *value = 0;
    if (!ValidInst(inst)) return false;
    return Convert(inst, ad, withShift ? G_InstCfg[inst].nShiftAdj : 0, value);
}

static bool AdInRange(int32_t inst) {
    const InstAd& a = G_InstAd[inst];
    return a.nAdValue >= a.nAdLow && a.nAdValue <= a.nAdHigh;
}

static void UpdateStandard(int32_t inst, int32_t ad) {
    // The reading is packed: convert into an aligned word first.
    int32_t value = 0;
    const bool ok = ConvertInstAd(inst, ad, true, &value);
    const uint8_t valid = (ok && AdInRange(inst)) ? 1 : 0;
    G_InstReading[inst].nValue = value;
    G_InstReading[inst].bValid = valid;
}

static void UpdateTrim(int32_t inst) {
    if (!ValidInst(inst)) return;   // also keeps -O3 from doubting the index
    int32_t value = 0;
    const bool ok = ConvertInstAd(inst, ReadAdc(inst), false, &value);
    InstReading& r = G_InstReading[inst];
    r.nValue = value;
    GaugeLayout& g = G_GaugeLayout[inst];
    const int64_t moved = static_cast<int64_t>(r.nValue) - g.nShownValue;
    if (moved > 1 || moved < -1) {
        g.nShownValue = r.nValue;
        r.nValue2 = 30;
    }
    r.bValid = ok ? 1 : 0;
}

static void UpdateTank(int32_t inst) {
    TankRecord& tank = G_TankTable[inst - kInstTank1];
    const int32_t s = ReadAdc(inst);
    if (G_UptimeSec <= 10) AvgInit(&tank.avg, s, 100);
    else AvgAdd(&tank.avg, s);
    InstReading& r = G_InstReading[inst];
    if (!AdInRange(inst)) {
        r.nValue = G_InstCfg[inst].nMin;
        r.nValue2 = 0;
        r.bValid = 0;
        return;
    }
    const int32_t mean = tank.avg.nMean;
    r.nValue2 = TankLevelFromAd(inst, mean);
    const GaugeLayout& g = G_GaugeLayout[inst];
    const float v = static_cast<float>(mean) * g.fActiveSlope + g.fActiveIntercept;
    const double rounded = v >= 0 ? static_cast<double>(v) + 0.5 : static_cast<double>(v) - 0.5;
    int32_t value = 0;
    r.bValid = ToReading(rounded, &value) ? 1 : 0;
    r.nValue = value;
}

static void UpdateProbe(int32_t inst) {
    ScaleAdcChannel(inst);
    UpdateStandard(inst, ReadAdc(inst));
    if (inst == 25 + G_EngInfo.nEgtCount) {
        G_EngInfo.nHotEgt = FindHottestEgt();
        G_EngInfo.nEgtSel = FindColdestEgt();
    }
}

static void UpdateHp() {
    CalcPercentPower();
    InstReading& r = G_InstReading[kInstHp];
    r.bValid = static_cast<uint8_t>(G_PercentPower.nValid & 0xFF);
    r.nValue2 = G_PercentPower.nValue2;
    r.nValue = G_PercentPower.nValue;
}

void UpdateInstReading(int32_t inst) {
    if (!ValidInst(inst)) return;
    const uint32_t kind = G_NetStreamCfg[kStreamEngine].DSRC;
    const bool own = kind == 0;
    const bool ownOrFadec = kind == 0 || kind == 1;
    switch (inst) {
    case kInstRpm:
        if (own) CalcRpm();
        break;
    case 11: case 12: case 16: case 17: case 18: case kInstThermoTemp: case kInstCoolTemp:
        if (own) UpdateStandard(inst, ReadAdc(inst));
        break;
    case kInstFuelFlow:
        if (ownOrFadec) CalcFuelFlow();
        break;
    case kInstAmpsShunt:
        if (ownOrFadec) UpdateStandard(inst, ReadAdc(inst));
        break;
    case kInstAmpsHall:   // the Hall sensor's voltage falls as the current rises
        if (ownOrFadec) UpdateStandard(inst, 4095 - ReadAdc(inst));
        break;
    case 19: case 20: case 21: case 22:
        if (ownOrFadec) UpdateTank(inst);
        break;
    case kInstElevTrim: case kInstAilTrim: case kInstFlapAng:
        if (ownOrFadec) UpdateTrim(inst);
        break;
    case kInstHp:
        if (own) UpdateHp();
        break;
    default:
        if (inst >= kInstEgt1 && inst <= kInstCht6 && own) UpdateProbe(inst);
        break;
    }
    if (G_InstCfg[inst].nEnable == 0) G_InstReading[inst].bValid = 0;
}

namespace {
struct PrimeGroup {
    int32_t group;
    int32_t inst[4];
};
// Group 22's pass also converts the OAT between FLAP_ANG and TANK_4.
constexpr PrimeGroup kPrimeGroups[] = {
    {44, {18, 44, 26, 34}}, {19, {17, 19, 27, 35}}, {20, {16, 20, 28, 36}}, {15, {11, 15, 29, 37}},
    {47, {12, 47, 30, 38}}, {21, {23, 21, 31, 39}}, {22, {25, 22, 32, 14}}, {14, {24, 10, 13, 9}},
};
constexpr uint32_t kMuxSettleTicks = 18430;   // 5 ms
constexpr int kPrimePasses = 40;
}  // namespace

static void RestartTankAverage(int32_t group) {
    if (group < kInstTank1 || group > kInstTank4) return;
    AvgInit(&G_TankTable[group - kInstTank1].avg, ReadAdc(group), 100);
}

void InitInstReadings() {
    for (const PrimeGroup& p : kPrimeGroups) {
        SetAdcChannelMode(p.group);
        DelayTicks(kMuxSettleTicks);
        RestartTankAverage(p.group);
        for (int pass = 0; pass < kPrimePasses; ++pass) {
            for (int k = 0; k < 4; ++k) {
                UpdateInstReading(p.inst[k]);
                if (p.group == 22 && k == 0 && G_NetStreamCfg[kStreamAir].INST == 0) ConvertAirChannel(kInstOat);
            }
        }
        RestartTankAverage(p.group);
    }
    G_EngScanStep = 44;
    SetAdcChannelMode(44);
}

void LogEngineInfo() {
    EngInfo& e = G_EngInfo;
    switch (e.nEngineType) {
    case kEngStd6: case kEngJabiru6:
        e.nEgtCount = 6, e.nChtCount = 6;
        break;
    case kEngRotax912: case kEngRotax914:
        e.nEgtCount = 2, e.nChtCount = 2;
        G_InstCfg[kInstTit1].nEnable = G_InstCfg[kInstTit2].nEnable = 0;
        NvSetU32(kNvCylGaugeType, 0);
        break;
    case kEngSubaru4: case kEngSubaru6:
        e.nEgtCount = 0, e.nChtCount = 0;
        G_InstCfg[kInstTit1].nEnable = G_InstCfg[kInstTit2].nEnable = 0;
        break;
    case kEngM14:
        // TIT_1, TIT_2 and CHT_6 serve as EGT 7, 8 and 9.
        e.nEgtCount = 9, e.nChtCount = 5;
        for (int32_t inst : {kInstTit1, kInstTit2, kInstCht6}) {
            G_InstCfg[inst] = G_InstCfg[kInstEgt1];
            G_InstCal[inst] = G_InstCal[kInstEgt1];
        }
        break;
    default:
        e.nEgtCount = 4, e.nChtCount = 4;
        break;
    }
    e.nTitCount = 0;
    // The M14's TIT inputs are EGT probes: counting them as TITs would move
    // and restack the gauges for probes that are not there.
    if (e.nEngineType != kEngM14 && G_InstCfg[kInstTit1].nEnable != 0) {
        e.nTitCount = G_InstCfg[kInstTit2].nEnable != 0 ? 2 : 1;
        NvSetU32(kNvCylGaugeType, 0);
    }
    DebugPrintf("ENG_INFO: %d EGT, %d CHT, %d TIT\n", static_cast<int>(e.nEgtCount), static_cast<int>(e.nChtCount),
                static_cast<int>(e.nTitCount));
    e.bEngInfoSet = 1;
}

int32_t FindSegmentIndex(const int32_t (*table)[3], int32_t count, int32_t x) {
    if (count < 2) return -1;
    const int32_t first = table[0][2];
    const int32_t last = table[count - 1][2];
    const bool rising = first < last;
    if (!Within(x, first, last)) {
        if (rising) return x > first ? count - 1 : 0;
        return x < first ? count - 1 : 0;
    }
    for (int32_t i = 0; i <= count - 3; ++i) {
        const int32_t a = table[i][2], b = table[i + 1][2];
        if (rising ? (a <= x && x < b) : (a >= x && x > b)) return i;
    }
    return count - 2;
}

int32_t MapGaugeFont(int32_t font, int32_t large) {
    if (large != 1) return font;
    switch (font) {
    case 2: case 3: return 8;
    case 4: return 10;
    case 6: case 7: case 8: return 11;
    case 10: return 12;
    case 11: return 21;
    case 12: return 12;
    case 22: return 2;
    case 23: return 4;
    default: return font;
    }
}
