// Fuel-computer settings screen: tank-low limits, the cross-check limit,
// alarm, enable and the fuel units shared with FUEL_FLOW.
#include <cstdio>

#include "core/util.h"
#include "engine/calscreens.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "ui/knob.h"
#include "ui/pages.h"

static constexpr int32_t kRows = 6, kRowTop = 60, kRowStep = 13;
static char s_value[32];

static InstCfg& Cfg() { return G_InstCfg[kInstFuelComp]; }
static int32_t RowY(int32_t row) { return kRowTop + kRowStep * (row - 1); }

static const char* RowLabel(int32_t row) {
    static const char* const kLabels[kRows] = {"1. Yellow Low At", "2. Red Low At", "3. Cross Check Error Limit",
                                               "4. Alarm OFF/ON", "5. Instrument OFF/ON", "6. Units"};
    return kLabels[row - 1];
}

// The field a limit row edits.
static int32_t* LimitOf(int32_t row) {
    InstCfg& c = Cfg();
    if (row == 1) return &c.nYellowLow;
    if (row == 2) return &c.nRedLow;
    if (row == 3) return &c.nShiftAdj;
    return nullptr;
}

const char* FuelCompScreenValue(int32_t row) {
    const InstCfg& c = Cfg();
    s_value[0] = 0;
    if (const int32_t* v = LimitOf(row))
        std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(ShownFuelLimit(kInstFuelComp, *v)));
    else if (row == 4)
        std::snprintf(s_value, sizeof s_value, "%s", c.nAudio == 1 ? " ON" : " OFF");
    else if (row == 5)
        std::snprintf(s_value, sizeof s_value, "%s", c.nEnable == 1 ? " ON" : " OFF");
    else if (row == 6)
        std::snprintf(s_value, sizeof s_value, "%s", G_InstCfg[kInstFuelFlow].nUnits == 1 ? " LITERS" : " GALLONS");
    return s_value;
}

static void DrawRow(int32_t row) {
    const int32_t y = RowY(row);
    DrawSettingsLabel(y, RowLabel(row));
    DrawSettingsValue(y, row == G_SettingsScreen.nRow, "%s", FuelCompScreenValue(row));
    DrawSettingsCursor(y, row == G_SettingsScreen.nRow);
}

static void DrawRows() {
    for (int32_t row = 1; row <= kRows; ++row) DrawRow(row);
}

void FuelCompScreenOpen() {
    BeginSettingsScreen(kInstFuelComp);
    ClearSettingsArea();
    DrawRows();
}

static void EditRow(int32_t row, int32_t delta) {
    InstCfg& c = Cfg();
    if (int32_t* v = LimitOf(row)) {
        *v = EditFuelLimit(kInstFuelComp, *v, delta);
    } else if (row == 4) {
        c.nAudio = StepOffOn(c.nAudio, delta);
    } else if (row == 5) {
        c.nEnable = StepOffOn(c.nEnable, delta);
    } else if (row == 6) {
        InstCfg& flow = G_InstCfg[kInstFuelFlow];
        flow.nUnits = static_cast<int32_t>(Toggle01(static_cast<uint32_t>(flow.nUnits)));
        c.nUnits = flow.nUnits;
        DrawRows();   // the limits are shown in the new unit
        return;
    }
    DrawRow(row);
}

int32_t FuelCompScreenInput(int32_t key, int32_t delta) {
    const int32_t k = SettingsKey(key);
    const SettingsKeyStep step = SharedSettingsKey(k, kRows, DrawRow);
    if (step == SettingsKeyStep::kLeave) return 1;
    if (step == SettingsKeyStep::kDone) return 0;
    if (k == 5) {
        ClearSettingsArea();
        SaveEngineSettings();
        LoadEngineSettings();
        DrawRows();
    }
    if (delta != 0) EditRow(G_SettingsScreen.nRow, delta);
    return 0;
}

void FuelCompMenu() {
    FuelCompScreenOpen();
    RunSettingsScreen(FuelCompScreenInput, nullptr);
}
