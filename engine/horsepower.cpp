// Percent power: HORSEPWR.KVD's table of power against RPM and manifold
// pressure, the computation behind the HP reading, and its gauge.
#include <cstdio>
#include <cstring>

#include "core/util.h"
#include "ui/knob.h"
#include "engine/enginecfg.h"
#include "engine/engine.h"
#include "engine/fuelcomp.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "storage/config.h"
#include "storage/tfs.h"
#include "ui/pages.h"

HorsepowerCfg G_HorsepowerCfg = {};

namespace {
constexpr int32_t kHorsepowerFile = 4;
struct HpKey {
    const char* name;
    int32_t HorsepowerCfg::*field;
};
constexpr HpKey kKeys[] = {
    {"ENABLE", &HorsepowerCfg::nEnable},    {"RATED_HP", &HorsepowerCfg::nRatedHp},
    {"LOW_MAP", &HorsepowerCfg::nLowMap},   {"HIGH_MAP", &HorsepowerCfg::nHighMap},
    {"NUM_PTS", &HorsepowerCfg::nCount},
};
constexpr const char* kRowKeys[3] = {"HP_LOW_MAP_", "HP_HIGH_MAP_", "RPM_"};
}  // namespace

void LoadHorsepowerTable() {
    ReadConfigFile(kHorsepowerFile, kExtKvd);
    HorsepowerCfg& c = G_HorsepowerCfg;
    for (const HpKey& k : kKeys) LookupCfgInt(k.name, &(c.*k.field));
    c.nCount = c.nCount < 0 ? 0 : (c.nCount > kHpRows ? kHpRows : c.nCount);
    char key[32];
    for (int32_t r = 0; r < c.nCount; ++r) {
        for (int32_t w = 0; w < 3; ++w) {
            std::snprintf(key, sizeof key, "%s%d", kRowKeys[w], static_cast<int>(r + 1));
            LookupCfgInt(key, &c.row[r][w]);
        }
    }
}

int32_t FormatHorsepowerTable() {
    std::memset(G_CfgKey, 0, sizeof G_CfgKey);
    std::memset(G_CfgValue, 0, sizeof G_CfgValue);
    const HorsepowerCfg& c = G_HorsepowerCfg;
    int32_t n = 0;
    auto line = [&n](const char* key, int32_t value) {
        std::snprintf(G_CfgKey[n], kCfgFieldBytes, "%s", key);
        std::snprintf(G_CfgValue[n], kCfgFieldBytes, "%d", static_cast<int>(value));
        ++n;
    };
    for (const HpKey& k : kKeys) line(k.name, c.*k.field);
    char key[32];
    const int32_t rows = c.nCount < 0 ? 0 : (c.nCount > kHpRows ? kHpRows : c.nCount);
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t w = 0; w < 3; ++w) {
            std::snprintf(key, sizeof key, "%s%d", kRowKeys[w], static_cast<int>(r + 1));
            line(key, c.row[r][w]);
        }
    }
    G_CfgCount = static_cast<uint32_t>(n);
    return n;
}

int32_t SaveHorsepowerTable() {
    TFS_Defrag(0);
    return WriteEngineFile("HORSEPWR.KVD", FormatHorsepowerTable(), kHorsepowerFile, kExtKvd, kPopupRed);
}

static double Lerp(double x, double x0, double x1, double y0, double y1) {
    return x1 == x0 ? y0 : y0 + (x - x0) * (y1 - y0) / (x1 - x0);
}

// Value: percent of rated power in tenths; second value: power in tenths of
// hp. Valid with a running engine, a valid manifold pressure and a usable
// table; RPM outside the table takes its end row, MAP is extrapolated.
void CalcPercentPower() {
    PercentPower& p = G_PercentPower;
    p.nValid = 0;
    p.nValue = p.nValue2 = 0;
    const HorsepowerCfg& c = G_HorsepowerCfg;
    const InstReading& rpmR = G_InstReading[kInstRpm];
    const InstReading& mapR = G_InstReading[kInstManifold];
    if (c.nCount < 2 || c.nRatedHp <= 0 || c.nHighMap == c.nLowMap) return;
    if (!rpmR.bValid || !mapR.bValid || rpmR.nValue <= 0) return;
    const int32_t rpm = rpmR.nValue / 10;
    const int32_t i = FindSegmentIndex(c.row, c.nCount, rpm);
    if (i < 0) return;
    const int32_t* a = c.row[i];
    const int32_t* b = c.row[i + 1 < c.nCount ? i + 1 : i];
    const double first = c.row[0][2], last = c.row[c.nCount - 1][2];
    const double x = rpm < first ? first : (rpm > last ? last : rpm);
    const double low = Lerp(x, a[2], b[2], a[0], b[0]);
    const double high = Lerp(x, a[2], b[2], a[1], b[1]);
    double hp = Lerp(mapR.nValue, c.nLowMap, c.nHighMap, low, high);
    if (hp < 0) hp = 0;
    p.nValue2 = RoundHalfAway(static_cast<float>(hp * 10.0));
    p.nValue = RoundHalfAway(static_cast<float>(hp * 1000.0 / c.nRatedHp));
    p.nValid = 1;
}

// The gauge: "% PWR" over the percent, in the reading's colour. The large
// layout has room beside the fuel box; the strip shows it at its top left.
void DrawHpGauge() {
    const PaneRecord& pane = G_EnginePane;
    const bool large = G_EngLayoutIdx != 0;
    const int32_t x = pane.x0 + (large ? 190 : 4), y = pane.y0 + (large ? 100 : 2);
    const InstReading& r = G_InstReading[kInstHp];
    char text[16];
    if (r.bValid) std::snprintf(text, sizeof text, "%d%%", static_cast<int>((r.nValue + 5) / 10));
    else std::snprintf(text, sizeof text, "---");
    const uint32_t colour = r.bValid ? SetInstColor(kInstHp) : kColourWhite;
    if (large) {
        DrawTextF(kColourWhite, 9, 18, x, y, "%% PWR");
        DrawTextF(colour, 11, 18, x, y + 20, "%s", text);
    } else {
        DrawTextF(colour, 2, 18, x, y, "%s PWR", text);
    }
}
