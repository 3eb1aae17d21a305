// The air-data calibration screens of the calibration mode: altitude,
// airspeed and OAT on the gauge calibration screen (limits and calibration
// points with the live A/D value and reading), and the angle-of-attack
// screen with its live ratio and segment.
#include <cstdio>

#include "core/boot.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "core/util.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

void AltitudeCalScreen() { GaugeCalScreen(kInstAltitude); }
void AirspeedCalScreen() { GaugeCalScreen(kInstAirspeed); }
void OatCalScreen() { GaugeCalScreen(kInstOat); }

namespace {
constexpr int32_t kRowTop = 60, kPitch = 13, kRows = 5, kLiveY = 150;
constexpr uint32_t kWhite = 31, kYellow = 14;

struct AoaRow {
    const char* label;
    int32_t AoaCfg::*field;
    int32_t lo, hi;
};
constexpr AoaRow kAoaRows[kRows] = {
    {"1. AOA OFF/ON", &AoaCfg::nEnable, 0, 1},
    {"2. Zero Lift Ratio (REC)", &AoaCfg::nZeroLift, -5000, 5000},
    {"3. Stall Ratio (REC)", &AoaCfg::nStall, -5000, 5000},
    {"4. Stall Alarm Above (KTS)", &AoaCfg::nArmIas, 0, 300},
    {"5. Declutter Segment", &AoaCfg::nDeclutter, 0, kAoaTopSegment},
};
int32_t s_shownRatio = -1, s_shownAoa = -1;

int32_t RowY(int32_t row) { return kRowTop + kPitch * (row - 1); }

void DrawAoaRow(int32_t row) {
    if (row < 1 || row > kRows) return;
    const AoaRow& r = kAoaRows[row - 1];
    const int32_t y = RowY(row);
    const int32_t v = G_AoaCfg.*r.field;
    DrawSettingsLabel(y, r.label);
    if (row == 1) DrawSettingsValue(y, row == G_SettingsScreen.nRow, " %s ", v == 1 ? "ON" : "OFF");
    else DrawSettingsValue(y, row == G_SettingsScreen.nRow, " %d ", static_cast<int>(v));
    DrawSettingsCursor(y, row == G_SettingsScreen.nRow);
}

void AoaPoll() {
    SetupSampleSteps();
    if (G_Aoa.nRatio == s_shownRatio && G_Aoa.nAoa == s_shownAoa) return;
    s_shownRatio = G_Aoa.nRatio;
    s_shownAoa = G_Aoa.nAoa;
    ClearSettingsLine(kLiveY);
    ClearSettingsLine(kLiveY + kPitch);
    DrawTextF(kYellow, 6, 3, 210, kLiveY, "WING %d.%d PSF  IAS %d KTS", static_cast<int>(G_AirData.nWingPressure / 10),
              static_cast<int>(G_AirData.nWingPressure % 10), static_cast<int>(G_AirData.nIas / 10));
    DrawTextF(kYellow, 6, 3, 210, kLiveY + kPitch, "RATIO %d  SEGMENT %d", static_cast<int>(G_Aoa.nRatio),
              static_cast<int>(G_Aoa.nAoa));
}

int32_t AoaInput(int32_t key, int32_t delta) {
    const int32_t k = SettingsKey(key);
    switch (SharedSettingsKey(k, kRows, DrawAoaRow)) {
    case SettingsKeyStep::kLeave: return 1;
    case SettingsKeyStep::kDone: return 0;
    case SettingsKeyStep::kOwnKeys: break;
    }
    const int32_t row = G_SettingsScreen.nRow;
    if (k == 4 && (row == 2 || row == 3)) {
        G_AoaCfg.*kAoaRows[row - 1].field = G_Aoa.nRatio;   // recorded at the live ratio
        DrawAoaRow(row);
    } else if (k == 5) {
        ClearSettingsArea();
        WriteAoaFile();
        return 1;
    }
    if (delta != 0 && row >= 1 && row <= kRows) {
        const AoaRow& r = kAoaRows[row - 1];
        int32_t& v = G_AoaCfg.*r.field;
        v = row == 1 ? StepOffOn(v, delta) : (v + delta < r.lo ? r.lo : (v + delta > r.hi ? r.hi : v + delta));
        DrawAoaRow(row);
    }
    return 0;
}
}  // namespace

void AoaCalOpen() {
    BeginSettingsScreen(2);
    const NetStreamCfg& air = G_NetStreamCfg[kStreamAir];
    G_SettingsScreen.bEditable = (air.INST != 0 && air.NET != 2) ? 1 : 0;
    G_SettingsScreen.nRow = G_SettingsScreen.bEditable;
    G_CurPage = G_SettingsScreen.bEditable ? kPageSettingsEdit : kPageSettingsView;
    s_shownRatio = s_shownAoa = -1;
    UpdateSoftKeys();
    DrawStatusBar();
    for (int32_t row = 1; row <= kRows; ++row) DrawAoaRow(row);
}

void AoaCalScreen() {
    AoaCalOpen();
    RunSettingsScreen(AoaInput, AoaPoll);
}
