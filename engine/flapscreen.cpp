// Flap calibration screen: the A/D values of the flaps-up and flaps-down
// positions (captured live with key 4 or turned in) and whether the flap
// indicator is off, hidden automatically or always shown.
#include <cstdio>

#include "core/util.h"
#include "engine/calscreens.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "setup/setup.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

static constexpr int32_t kRows = 3, kRowTop = 41, kRowStep = 13;
static char s_value[32];

static int32_t RowY(int32_t row) { return kRowTop + kRowStep * (row - 1); }
static InstCfg& Cfg() { return G_InstCfg[kInstFlapAng]; }
static int32_t& PointAd(int32_t row) { return G_InstCal[kInstFlapAng].point[row - 1].nAd; }

// A point set here must reach the file: the writer stops at the point count.
// Nothing else sets the flap's display values; left equal they would make the
// reading raw counts from flaps up, so up and down become 0 and 100.0 %.
static void KeepBothPoints() {
    InstCal& cal = G_InstCal[kInstFlapAng];
    if (cal.nNumPts < 2) cal.nNumPts = 2;
    if (cal.point[0].nDisplay == cal.point[1].nDisplay) {
        cal.point[0].nDisplay = 0;
        cal.point[1].nDisplay = 1000;
    }
}

const char* FlapScreenValue(int32_t row) {
    s_value[0] = 0;
    if (row == 1 || row == 2) {
        std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(PointAd(row)));
    } else if (row == 3) {
        // Anything but off or auto hide reads as always on, and is stored so.
        if (Cfg().nEnable != 0 && Cfg().nEnable != 1) Cfg().nEnable = 2;
        static const char* const kModes[] = {"OFF", "AUTO HIDE", "ALWAYS ON"};
        std::snprintf(s_value, sizeof s_value, " %s", kModes[Cfg().nEnable]);
    }
    return s_value;
}

static void DrawRow(int32_t row) {
    static const char* const kLabels[kRows] = {"1. UP (AD_VALUE_0)", "2. DOWN (AD_VALUE_1)", "3. Instrument On/Off"};
    const int32_t y = RowY(row);
    DrawSettingsLabel(y, kLabels[row - 1]);
    DrawSettingsValue(y, row == G_SettingsScreen.nRow, "%s", FlapScreenValue(row));
    DrawSettingsCursor(y, row == G_SettingsScreen.nRow);
}

static void DrawRows() {
    for (int32_t row = 1; row <= kRows; ++row) DrawRow(row);
}

void FlapScreenOpen() {
    BeginSettingsScreen(kInstFlapAng);
    UpdateSoftKeys();
    DrawStatusBar();
    ClearSettingsArea();
    DrawRows();
}

static void EditRow(int32_t row, int32_t delta) {
    if (row == 1 || row == 2) {
        const int64_t v = static_cast<int64_t>(PointAd(row)) + delta;
        PointAd(row) = static_cast<int32_t>(v < 0 ? 0 : (v > INT32_MAX ? INT32_MAX : v));
        KeepBothPoints();
    } else if (row == 3) {
        // One step per knob event, whichever way it turns.
        Cfg().nEnable = (Cfg().nEnable + 1) % 3;
    }
    DrawRow(row);
}

int32_t FlapScreenInput(int32_t key, int32_t delta) {
    const int32_t k = SettingsKey(key);
    const SettingsKeyStep step = SharedSettingsKey(k, kRows, DrawRow);
    if (step == SettingsKeyStep::kLeave) return 1;
    if (step == SettingsKeyStep::kDone) return 0;
    if (k == 4 && (G_SettingsScreen.nRow == 1 || G_SettingsScreen.nRow == 2)) {
        PointAd(G_SettingsScreen.nRow) = G_SettingsScreen.nLiveAd;
        KeepBothPoints();
        DrawRow(G_SettingsScreen.nRow);
    }
    if (k == 5) {
        ClearSettingsArea();
        SaveEngineCal();
        SaveEngineSettings();
        LoadEngineCal();
        LoadEngineSettings();
        return 1;
    }
    if (delta != 0) EditRow(G_SettingsScreen.nRow, delta);
    return 0;
}

static void PollFlap() {
    G_SettingsScreen.nLiveAd = ReadInstrumentRaw(kInstFlapAng);
    if (G_SettingsScreen.bEditable) DrawNumber(14, 6, 2, 500, 25, G_SettingsScreen.nLiveAd, 10);
}

void FlapCalMenu() {
    FlapScreenOpen();
    RunSettingsScreen(FlapScreenInput, PollFlap);
}
