// Fuel-flow settings screen: limits, audio, enable, units, sensor type,
// K factor and injector delay of FUEL_FLOW.
#include <cstdio>

#include "core/util.h"
#include "engine/calscreens.h"
#include "gui/text.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "engine/pulse.h"
#include "setup/setup.h"
#include "ui/knob.h"
#include "ui/pages.h"

static constexpr int32_t kRowTop = 60, kRowStep = 13;
static constexpr int32_t kInjDelayMin = 11, kInjDelayMax = 2000;   // microseconds, as the loader accepts
static constexpr float   kLitresPerGallonInv = 0.264172f;

static char s_value[48];

static InstCfg& Cfg() { return G_InstCfg[kInstFuelFlow]; }
static int32_t RowY(int32_t row) { return kRowTop + kRowStep * (row - 1); }
static int32_t Injector() { return Cfg().nGaugeType == 1 ? 1 : 0; }

int32_t FuelFlowScreenRows() { return Injector() ? 12 : 11; }

static const char* RowLabel(int32_t row) {
    static const char* const kLabels[] = {
        "1. Max (Top of Gauge)", "2. Red High At", "3. Yellow High At", "4. Yellow Low At", "5. Red Low At",
        "6. Min (Bottom of Gauge)", "7. Audio OFF/ON/etc", "8. Instrument OFF/ON", "9. Display Units",
        "10. Sensor Type"};
    if (row >= 1 && row <= 10) return kLabels[row - 1];
    if (row == 11) return Injector() ? "11. Per Pulse Flow Rate (cc/min)" : "11. K Factor";
    return "12. Injector Mechanical Delay (mSec)";
}

const char* FuelFlowScreenValue(int32_t row) {
    InstCfg& c = Cfg();
    s_value[0] = 0;
    if (row >= 1 && row <= 6) {
        std::snprintf(s_value, sizeof s_value, "%d",
                      static_cast<int>(ShownFuelLimit(kInstFuelFlow, InstCfgField(c, kFldMax + row - 1))));
    } else if (row == 7) {
        static const char* const kAudio[] = {" OFF", " ON", " ABOVE 1500 RPM"};
        std::snprintf(s_value, sizeof s_value, "%s", (c.nAudio >= 0 && c.nAudio <= 2) ? kAudio[c.nAudio] : " OFF");
    } else if (row == 8) {
        std::snprintf(s_value, sizeof s_value, "%s", c.nEnable == 1 ? " ON" : " OFF");
    } else if (row == 9) {
        std::snprintf(s_value, sizeof s_value, "%s", c.nUnits == 1 ? " LITERS" : " GALLONS");
    } else if (row == 10) {
        if (c.nGaugeType != 1) c.nGaugeType = 0;
        std::snprintf(s_value, sizeof s_value, "%s", c.nGaugeType == 1 ? "INJECTOR TIME" : "FLOW SENSOR");
    } else if (row == 11) {
        double k = c.nShiftAdj / 10.0;
        if (!Injector() && c.nUnits == 1) k *= kLitresPerGallonInv;
        GUI_FormatFixed(s_value, k, 1);
    } else if (row == 12 && Injector()) {
        std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(RoundHalfAway(c.nScaleFctr / 10.0f)));
    }
    return s_value;
}

static void DrawRow(int32_t row) {
    const int32_t y = RowY(row);
    DrawSettingsLabel(y, RowLabel(row));
    DrawSettingsValue(y, row == G_SettingsScreen.nRow, "%s", FuelFlowScreenValue(row));
    DrawSettingsCursor(y, row == G_SettingsScreen.nRow);
}

static void DrawRows() {
    ClearSettingsLine(RowY(12));
    for (int32_t row = 1; row <= FuelFlowScreenRows(); ++row) DrawRow(row);
}

void FuelFlowScreenOpen() {
    BeginSettingsScreen(kInstFuelFlow);
    ClearSettingsArea();
    DrawRows();
}

// Knob delta modulo 2 with its sign: -1, 0 or 1.
static int32_t Step2(int32_t delta) { return delta % 2; }

static void EditRow(int32_t row, int32_t delta) {
    InstCfg& c = Cfg();
    if (row >= 1 && row <= 6) {
        int32_t& v = InstCfgField(c, kFldMax + row - 1);
        v = EditFuelLimit(kInstFuelFlow, v, delta);
    } else if (row == 7) {
        c.nAudio = ((c.nAudio + Step2(delta)) % 3 + 3) % 3;
    } else if (row == 8) {
        const int32_t r = (c.nEnable + delta) % 2;
        c.nEnable = r < 0 ? -r : r;
    } else if (row == 9) {
        c.nUnits = static_cast<int32_t>(Toggle01(static_cast<uint32_t>(c.nUnits)));
        // The fuel computer and the tanks follow the flow's units.
        G_InstCfg[kInstFuelComp].nUnits = c.nUnits;
        for (int32_t i = kInstTank1; i <= kInstTank4; ++i) G_InstCfg[i].nUnits = c.nUnits;
        DrawRows();   // limits and K factor are shown in the new unit
        return;
    } else if (row == 10) {
        c.nGaugeType = static_cast<int32_t>(Toggle01(static_cast<uint32_t>(c.nGaugeType)));
        if (G_SettingsScreen.nRow > FuelFlowScreenRows()) G_SettingsScreen.nRow = FuelFlowScreenRows();
        DrawRows();
        return;
    } else if (row == 11) {
        // A K factor of 0 or less has no flow to show: it stays at 1 or more.
        c.nShiftAdj = Injector() ? c.nShiftAdj + delta : EditFuelLimit(kInstFuelFlow, c.nShiftAdj, delta);
        if (c.nShiftAdj < 1) c.nShiftAdj = 1;
    } else if (row == 12) {
        int32_t d = c.nScaleFctr + 10 * Step2(delta);
        if (d < 0) d = -d;
        c.nScaleFctr = d < kInjDelayMin ? kInjDelayMin : (d > kInjDelayMax ? kInjDelayMax : d);
        // The delay takes effect at once, before it is saved.
        G_FuelFlowPulse.nDelay = static_cast<uint32_t>(static_cast<float>(c.nScaleFctr) * 3.6864f);
    }
    DrawRow(row);
}

int32_t FuelFlowScreenInput(int32_t key, int32_t delta) {
    const int32_t k = SettingsKey(key);
    const SettingsKeyStep step = SharedSettingsKey(k, FuelFlowScreenRows(), DrawRow);
    if (step == SettingsKeyStep::kLeave) return 1;
    if (step == SettingsKeyStep::kDone) return 0;
    if (k == 5) {
        ClearSettingsArea();
        SaveEngineSettings();
        SaveEngineCal();
        LoadEngineSettings();
        LoadEngineCal();
        DrawRows();
    }
    if (delta != 0) EditRow(G_SettingsScreen.nRow, delta);
    return 0;
}

static void PollFuelFlow() {
    G_SettingsScreen.nLiveAd = ReadInstrumentRaw(kInstFuelFlow);
    if (G_SettingsScreen.bEditable)
        DrawTextF(14, 6, 2, 210, 41, "Pulse Count: %4d  ", static_cast<int>(G_FuelFlowPulse.nCount % 1000));
}

void FuelFlowCalMenu() {
    FuelFlowScreenOpen();
    RunSettingsScreen(FuelFlowScreenInput, PollFuelFlow);
}
