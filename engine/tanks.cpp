#include "engine/tanks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/boot.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "storage/config.h"

TankRecord G_TankTable[kTanks] = {};

namespace {
constexpr int kTanksFile = 6;
// The last condition logged per tank: the error line is written when it changes.
int32_t s_logged[kTanks] = {0, 0, 0, 0};
}  // namespace

static int32_t ClampCount(int32_t n) { return n < 1 ? 1 : (n > kTankPoints ? kTankPoints : n); }

void ParseTanksCal() {
    char key[kCfgFieldBytes];
    for (int32_t t = 0; t < kTanks; ++t) {
        const char* name = InstrumentNames[kInstTank1 + t];
        TankRecord& rec = G_TankTable[t];
        std::snprintf(key, sizeof key, "%s.%s", name, "NUM_CAL_PTS");
        LookupCfgInt(key, &rec.nCount);
        if (rec.nCount == 0) rec.nCount = kTankPoints;
        rec.nCount = ClampCount(rec.nCount);   // the record holds 15 points
        for (int32_t i = 0; i < kTankPoints; ++i) {
            std::snprintf(key, sizeof key, "%s.%s%d", name, "DISPLAY_VALUE_", static_cast<int>(i));
            LookupCfgInt(key, &rec.point[i].nDisplay);
            std::snprintf(key, sizeof key, "%s.%s%d", name, "AD_VALUE_GND_", static_cast<int>(i));
            LookupCfgInt(key, &rec.point[i].nAdGround);
            std::snprintf(key, sizeof key, "%s.%s%d", name, "AD_VALUE_FLT_", static_cast<int>(i));
            LookupCfgInt(key, &rec.point[i].nAdFlight);
        }
        CalcTankSlopes(kInstTank1 + t);
    }
}

void LoadTanksCal() {
    if (ReadConfigFile(kTanksFile, kExtKvc) == 0) ParseTanksCal();
}

int32_t FormatTanksCal() {
    int32_t n = 0;
    auto put = [&n](const char* key, int32_t value) {
        if (n >= kCfgPairs) return;
        std::snprintf(G_CfgKey[n], kCfgFieldBytes, "%s", key);
        std::snprintf(G_CfgValue[n], kCfgFieldBytes, "%d", static_cast<int>(value));
        ++n;
    };
    char key[kCfgFieldBytes];
    for (int32_t t = 0; t < kTanks; ++t) {
        const char* name = InstrumentNames[kInstTank1 + t];
        const TankRecord& rec = G_TankTable[t];
        const int32_t count = ClampCount(rec.nCount);
        std::snprintf(key, sizeof key, "%s.NUM_CAL_PTS", name);
        put(key, count);
        for (int32_t i = 0; i < count; ++i) {
            std::snprintf(key, sizeof key, "%s.DISPLAY_VALUE_%d", name, static_cast<int>(i));
            put(key, rec.point[i].nDisplay);
            std::snprintf(key, sizeof key, "%s.AD_VALUE_GND_%d", name, static_cast<int>(i));
            put(key, rec.point[i].nAdGround);
            std::snprintf(key, sizeof key, "%s.AD_VALUE_FLT_%d", name, static_cast<int>(i));
            put(key, rec.point[i].nAdFlight);
        }
    }
    G_CfgCount = static_cast<uint32_t>(n);
    return n;
}

int32_t SaveTanksCal() {
    TFS_Defrag(0);
    return WriteEngineFile("TANKS.KVC", FormatTanksCal(), kTanksFile, kExtKvc, kPopupWhite);
}

static int32_t Ad(const TankPoint& p, int32_t column) { return column == 0 ? p.nAdGround : p.nAdFlight; }

void CalcTankSlopes(int32_t inst) {
    if (inst < kInstTank1 || inst > kInstTank4) return;
    TankRecord& rec = G_TankTable[inst - kInstTank1];
    rec.nCount = ClampCount(rec.nCount);
    const int32_t count = rec.nCount;
    for (int32_t c = 0; c < 2; ++c) {
        bool stopped = false;
        for (int32_t i = 0; i + 1 < count && !stopped; ++i) {
            const TankPoint& p0 = rec.point[i];
            const TankPoint& p1 = rec.point[i + 1];
            TankSegment& s = rec.segment[c][i];
            s.nStartAd = Ad(p0, c);
            rec.nStopAd[c] = Ad(p0, c);
            rec.nStopPoint[c] = i;
            if (Ad(p0, c) == Ad(p1, c)) {
                for (int32_t j = i; j + 1 < count; ++j)
                    rec.segment[c][j] = {0.0f, static_cast<float>(p0.nDisplay), Ad(p0, c)};
                stopped = true;
                break;
            }
            s.fSlope = static_cast<float>(static_cast<int64_t>(p1.nDisplay) - p0.nDisplay) /
                       static_cast<float>(static_cast<int64_t>(Ad(p1, c)) - Ad(p0, c));
            s.fIntercept = static_cast<float>(p0.nDisplay) - static_cast<float>(Ad(p0, c)) * s.fSlope;
        }
        if (!stopped) {
            rec.nStopAd[c] = 0;
            rec.nStopPoint[c] = count - 1;
        }
        rec.segment[c][count - 1] = {0.0f, static_cast<float>(rec.point[count - 1].nDisplay), rec.nStopAd[c]};
    }
}

static int32_t TankColumn() {
    if (G_NetStreamCfg[kStreamAir].INST != 0) return G_AirData.nIas > 250 ? 1 : 0;
    return G_InstReading[kInstRpm].nValue > 17000 ? 1 : 0;
}

static void LogUnhandled(int32_t tank, int32_t x, int32_t condition) {
    if (s_logged[tank] == condition) return;
    s_logged[tank] = condition;
    if (condition != 0) DebugPrintf("ERROR: Tank:%d reading:%d not handled\n", static_cast<int>(tank), static_cast<int>(x));
}

int32_t TankLevelFromAd(int32_t inst, int32_t x) {
    if (inst < kInstTank1 || inst > kInstTank4) return 0;
    const int32_t tank = inst - kInstTank1;
    TankRecord& rec = G_TankTable[tank];
    GaugeLayout& g = G_GaugeLayout[inst];
    if (x < 0) x = 0;
    const int32_t c = TankColumn();
    const int32_t count = ClampCount(rec.nCount);
    auto set = [&g](float slope, float intercept) {
        g.fActiveSlope = slope;
        g.fActiveIntercept = intercept;
    };
    const float stopValue = rec.segment[c][ClampCount(rec.nStopPoint[c] + 1) - 1].fIntercept;
    if (Ad(rec.point[0], c) == Ad(rec.point[1], c)) {
        set(0.0f, 0.0f);
        LogUnhandled(tank, x, 0);
        return 1;
    }
    if (count < 2) {
        set(0.0f, stopValue);
        LogUnhandled(tank, x, 1);
        return 0;
    }
    const bool rising = Ad(rec.point[0], c) < Ad(rec.point[1], c);
    const int32_t stop = rec.nStopAd[c];
    const int32_t first = Ad(rec.point[0], c), last = Ad(rec.point[count - 1], c);
    for (int32_t i = 0; i + 1 < count; ++i) {
        const int32_t a = Ad(rec.point[i], c), b = Ad(rec.point[i + 1], c);
        const int32_t stopPoint = ClampCount(rec.nStopPoint[c] + 1) - 1;
        if (stop != 0 && (rising ? x >= stop : x <= stop)) {
            set(0.0f, static_cast<float>(rec.point[stopPoint].nDisplay));
            LogUnhandled(tank, x, 0);
            return 1;
        }
        if (rising ? (a <= x && x < b) : (a >= x && x > b)) {
            set(rec.segment[c][i].fSlope, rec.segment[c][i].fIntercept);
            LogUnhandled(tank, x, 0);
            return 0;
        }
        if (rising ? x < first : x > first) {
            set(0.0f, static_cast<float>(rec.point[0].nDisplay));
            LogUnhandled(tank, x, 0);
            return 0;
        }
        if (rising ? x >= last : x <= last) {
            set(0.0f, static_cast<float>(rec.point[count - 1].nDisplay));
            LogUnhandled(tank, x, 0);
            return 0;
        }
    }
    set(0.0f, stopValue);
    LogUnhandled(tank, x, 2);
    return 0;
}
