// Tank settings and calibration screen: size, limits, alarm, enable, units,
// the number of calibration points and the points themselves in three
// columns (display value, ground A/D, flight A/D); key 4 captures the live
// A/D value into the selected A/D column.
#include <cstdio>

#include "core/util.h"
#include "engine/calscreens.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "engine/tanks.h"
#include "setup/setup.h"
#include "ui/knob.h"
#include "ui/pages.h"

static constexpr int32_t kRowTop = 60, kRowStep = 13, kPointTop = 177, kCountRow = 7, kFirstPointRow = 8;
static constexpr int32_t kColumnX[3] = {210, 355, 500};
static constexpr int32_t kRawReadsBeforeDraw = 41;
static char s_value[48];

static int32_t Inst() { return G_SettingsScreen.nInst; }
static InstCfg& Cfg() { return G_InstCfg[Inst()]; }
static TankRecord& Tank() { return G_TankTable[Inst() - kInstTank1]; }
static int32_t ClampCount(int32_t n) { return n < 1 ? 1 : (n > kTankPoints ? kTankPoints : n); }
static int32_t PointCount() { return ClampCount(Tank().nCount); }

int32_t TankScreenRows() { return kCountRow + PointCount(); }

static int32_t RowY(int32_t row) {
    return row < kFirstPointRow ? kRowTop + kRowStep * (row - 1) : kPointTop + kRowStep * (row - kFirstPointRow);
}

static const char* RowLabel(int32_t row) {
    static const char* const kLabels[kCountRow] = {"1. TankSize", "2. Yellow Low At", "3. Red Low At",
                                                   "4. Audio On/Off", "5. Instrument On/Off", "6. Units",
                                                   "7. Num Cal Points"};
    return kLabels[row - 1];
}

static int32_t* LimitOf(int32_t row) {
    InstCfg& c = Cfg();
    if (row == 1) return &c.nMax;
    if (row == 2) return &c.nYellowLow;
    if (row == 3) return &c.nRedLow;
    return nullptr;
}

static int32_t& PointField(int32_t row, int32_t column) {
    TankPoint& p = Tank().point[row - kFirstPointRow];
    return column == 0 ? p.nDisplay : (column == 1 ? p.nAdGround : p.nAdFlight);
}

static void FormatPointField(int32_t row, int32_t column) {
    const int32_t v = PointField(row, column);
    if (column == 0)
        std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(ShownFuelLimit(Inst(), v)));
    else
        std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(v));
}

// The text of a row's value; a point row gives its selected column.
const char* TankScreenValue(int32_t row) {
    const InstCfg& c = Cfg();
    s_value[0] = 0;
    if (const int32_t* v = LimitOf(row))
        std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(ShownFuelLimit(Inst(), *v)));
    else if (row == 4)
        std::snprintf(s_value, sizeof s_value, "%s", c.nAudio == 1 ? " ON" : " OFF");
    else if (row == 5)
        std::snprintf(s_value, sizeof s_value, "%s", c.nEnable == 1 ? " ON" : " OFF");
    else if (row == 6)
        std::snprintf(s_value, sizeof s_value, "%s", G_InstCfg[kInstFuelFlow].nUnits == 1 ? " LITERS" : " GALLONS");
    else if (row == kCountRow)
        std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(PointCount()));
    else if (row >= kFirstPointRow && row < kFirstPointRow + PointCount())
        FormatPointField(row, G_SettingsScreen.nColumn);
    return s_value;
}

static void DrawPointRow(int32_t row) {
    const int32_t y = RowY(row);
    const int32_t cursor = row == G_SettingsScreen.nRow;
    ClearSettingsLine(y);
    for (int32_t col = 0; col < 3; ++col) {
        FormatPointField(row, col);
        const int32_t highlighted = cursor && col == G_SettingsScreen.nColumn;
        DrawTextF(highlighted ? 14 : 31, 6, highlighted ? 14 : 2, kColumnX[col], y, "%s", s_value);
    }
    DrawSettingsCursor(y, cursor);
}

static void DrawRow(int32_t row) {
    if (row >= kFirstPointRow) {
        DrawPointRow(row);
        return;
    }
    if (row == kCountRow && !G_SettingsScreen.bEditable) return;
    const int32_t y = RowY(row);
    DrawSettingsLabel(y, RowLabel(row));
    DrawSettingsValue(y, row == G_SettingsScreen.nRow, "%s", TankScreenValue(row));
    DrawSettingsCursor(y, row == G_SettingsScreen.nRow);
}

static void DrawRows() {
    for (int32_t row = 1; row < kFirstPointRow; ++row) DrawRow(row);
    DrawTextF(31, 6, 2, 385, 164, "AD VAL GROUND");
    DrawTextF(31, 6, 2, 500, 164, "AD VAL FLIGHT");
    for (int32_t row = kFirstPointRow; row < kFirstPointRow + kTankPoints; ++row) {
        if (row < kFirstPointRow + PointCount())
            DrawPointRow(row);
        else
            ClearSettingsLine(RowY(row));
    }
}

void TankScreenOpen(int32_t inst) {
    BeginSettingsScreen((inst >= kInstTank1 && inst <= kInstTank4) ? inst : kInstTank1);
    // The count is used as a bound below: keep it within the record.
    Tank().nCount = PointCount();
    for (int32_t i = 0; i < kRawReadsBeforeDraw; ++i) G_SettingsScreen.nLiveAd = ReadInstrumentRaw(Inst());
    ClearSettingsArea();
    DrawRows();
}

static void EditRow(int32_t row, int32_t delta) {
    InstCfg& c = Cfg();
    if (int32_t* v = LimitOf(row)) {
        *v = EditFuelLimit(Inst(), *v, delta);
    } else if (row == 4) {
        c.nAudio = StepOffOn(c.nAudio, delta);
    } else if (row == 5) {
        c.nEnable = StepOffOn(c.nEnable, delta);
    } else if (row == 6) {
        InstCfg& flow = G_InstCfg[kInstFuelFlow];
        flow.nUnits = static_cast<int32_t>(Toggle01(static_cast<uint32_t>(flow.nUnits)));
        G_InstCfg[kInstFuelComp].nUnits = flow.nUnits;
        for (int32_t i = kInstTank1; i <= kInstTank4; ++i) G_InstCfg[i].nUnits = flow.nUnits;
        DrawRows();
        return;
    } else if (row == kCountRow) {
        // At most the points the record holds, at least one.
        const int64_t n = static_cast<int64_t>(Tank().nCount) + delta;
        Tank().nCount = static_cast<int32_t>(n < 1 ? 1 : (n > kTankPoints ? kTankPoints : n));
        CalcTankSlopes(Inst());
        DrawRows();
        return;
    } else if (row >= kFirstPointRow) {
        const int32_t col = G_SettingsScreen.nColumn;
        int32_t& field = PointField(row, col);
        field = col == 0 ? EditFuelLimit(Inst(), field, delta) : field + delta;
        CalcTankSlopes(Inst());
    }
    DrawRow(row);
}

static void CaptureLiveAd() {
    const int32_t row = G_SettingsScreen.nRow;
    if (row < kFirstPointRow || G_SettingsScreen.nColumn == 0) return;
    PointField(row, G_SettingsScreen.nColumn) = G_SettingsScreen.nLiveAd;
    CalcTankSlopes(Inst());
    DrawRow(row);
}

int32_t TankScreenInput(int32_t key, int32_t delta) {
    const int32_t k = SettingsKey(key);
    const SettingsKeyStep step = SharedSettingsKey(k, TankScreenRows(), DrawRow);
    if (step == SettingsKeyStep::kLeave) return 1;
    if (step == SettingsKeyStep::kDone) return 0;
    if (k == 4) CaptureLiveAd();
    if (k == 6) {
        G_SettingsScreen.nColumn = (G_SettingsScreen.nColumn + 1) % 3;
        if (G_SettingsScreen.nRow >= kFirstPointRow) DrawRow(G_SettingsScreen.nRow);
    }
    if (k == 5) {
        ClearSettingsArea();
        SaveEngineSettings();
        SaveTanksCal();
        LoadEngineSettings();
        LoadTanksCal();
        Tank().nCount = PointCount();
        if (G_SettingsScreen.nRow > TankScreenRows()) G_SettingsScreen.nRow = TankScreenRows();
        DrawRows();
    }
    if (delta != 0) EditRow(G_SettingsScreen.nRow, delta);
    return 0;
}

static void PollTank() {
    G_SettingsScreen.nLiveAd = ReadInstrumentRaw(Inst());
    DrawTextF(14, 6, 2, 210, 151, " AD_VALUE: %4d", static_cast<int>(G_SettingsScreen.nLiveAd));
}

void TanksCalMenu(int32_t inst) {
    TankScreenOpen(inst);
    RunSettingsScreen(TankScreenInput, PollTank);
}
