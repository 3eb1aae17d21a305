// Gauge calibration screen: the limits, audio, enable, unit and shift of a
// simple gauge instrument and (in administrator mode, always for the two
// amperage inputs) its calibration points, with the live reading and the
// live A/D value; SAVE writes the files that hold the instrument.
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "core/irq.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "storage/nvram.h"
#include "storage/upgrade.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

namespace {

constexpr int32_t kRowTop = 60, kPitch = 13, kCountRow = 11, kFirstPointRow = 12;
constexpr int32_t kHeaderY = 216, kPointTop = kHeaderY + kPitch;
constexpr int32_t kAdX = 403, kDisplayX = 210, kReadoutX = 500, kReadoutY = 41, kLiveAdX = 510;
constexpr int32_t kLastLine = 446;   // a row drawn here still ends above the status bar
constexpr int32_t kVisiblePoints = (kLastLine - kPointTop) / kPitch + 1;
constexpr int32_t kMaxShownPoints = 20;   // the knob offers 0..19
constexpr int32_t kRawReadsBeforeDraw = 41;

struct GaugeCal {
    int32_t nScale;       // 10 for the manifold in millibars, else 1
    int32_t bTable;       // the point table is shown
    int32_t nTopPoint;    // first point row shown, 1 ..
    int32_t nShownAd;     // live A/D value last drawn
    char    szReadout[64];
};
GaugeCal s_gauge;
char s_value[48];

int32_t Inst() { return G_SettingsScreen.nInst; }
InstCfg& Cfg() { return G_InstCfg[Inst()]; }
InstCal& Cal() { return G_InstCal[Inst()]; }
bool Amps() { return Inst() == kInstAmpsShunt || Inst() == kInstAmpsHall; }
bool Temperature() {
    const int32_t i = Inst();
    return i == kInstSensorTemp || i == kInstOilTemp || i == kInstCarbTemp || i == kInstCoolTemp;
}
// The air-data instruments, saved in the air-data files with their points always shown.
bool Air() {
    const int32_t i = Inst();
    return i == kInstAltitude || i == kInstSensorTemp || i == 2 || i == kInstAirspeed || i == kInstOat;
}
// Altitude points are whole feet, the others tenths. Airspeed points are
// kept in tenths of a knot and shown and edited in the pilot's airspeed unit.
int32_t PointDecimals() { return Inst() == kInstAltitude ? 0 : 1; }
bool PointInPilotUnits() { return Inst() == kInstAirspeed; }
void FormatPoint(char* out, int32_t size, int32_t value) {
    if (PointInPilotUnits()) value = ToDisplayUnits(Inst(), value);
    if (PointDecimals() == 0) std::snprintf(out, static_cast<size_t>(size), "%d", static_cast<int>(value));
    else FormatScaled(out, size, value, 1, 1);
}
// A point's value moved by delta tenths of the unit it is shown in. A tenth
// of a mile or kilometre an hour is less than the tenth of a knot kept, so a
// step that would round back moves the kept value by one.
int32_t StepPoint(int32_t value, int32_t delta) {
    if (!PointInPilotUnits() || delta == 0) return value + delta;
    const int32_t shown = ToDisplayUnits(Inst(), value) + delta;
    const int32_t next = RoundHalfAway(FromDisplayUnits(Inst(), static_cast<float>(shown)));
    if (next != value) return next;
    return delta > 0 ? value + 1 : value - 1;
}
const char* AirspeedUnitText() {
    const int32_t u = G_InstCfg[kInstAirspeed].nUnits;
    return u == 1 ? "MPH" : (u == 2 ? "KPH" : "KTS");
}
bool OwnVolts() { return Inst() == kInstBattVolts || Inst() == kInstMainVolts || Inst() == kInstAuxVolts; }
int32_t PointCount() {
    const int32_t n = Cal().nNumPts;
    return n < 0 ? 0 : (n > kCalPoints ? kCalPoints : n);
}
int32_t PageY(int32_t y) { return y + static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

int32_t* LimitOf(int32_t row) {
    static constexpr InstField kFields[6] = {kFldMax, kFldRedHigh, kFldYellowHigh, kFldYellowLow, kFldRedLow, kFldMin};
    return (row >= 1 && row <= 6) ? &InstCfgField(Cfg(), kFields[row - 1]) : nullptr;
}

// A value in display units over the scale: tenths with one decimal, or
// whole millibars.
void FormatShown(int32_t shown) {
    if (s_gauge.nScale == 10) std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(shown));
    else FormatScaled(s_value, sizeof s_value, shown, 1, 1);
}

int32_t Shown(int32_t value) {
    return RoundHalfAway(static_cast<float>(ToDisplayUnits(Inst(), value)) / static_cast<float>(s_gauge.nScale));
}

const char* UnitText() {
    const int32_t u = Cfg().nUnits;
    if (Temperature()) return u == 1 ? " CELSIUS" : " FAHRENHEIT";
    if (Inst() == kInstManifold) return u == 1 ? " MBAR" : " INHG";
    if (OwnVolts()) return "VOLTS";
    if (Inst() == 12 || Inst() == 16) return "PSI";
    if (Amps()) return "AMPS";
    if (Inst() == kInstAirspeed) return AirspeedUnitText();
    return "NONE";
}

void FormatShift() {
    const int32_t shift = Cfg().nShiftAdj;
    if (Temperature()) {
        const float f = Cfg().nUnits == 1 ? static_cast<float>(shift) * 0.5555556f : static_cast<float>(shift);
        FormatShown(RoundHalfAway(f / static_cast<float>(s_gauge.nScale)));
    } else if (Inst() == kInstManifold) {
        if (Cfg().nUnits == 1)
            std::snprintf(s_value, sizeof s_value, "%d",
                          static_cast<int>(RoundHalfAway(static_cast<float>(ToDisplayUnits(Inst(), shift)) / 10.0f)));
        else
            FormatScaled(s_value, sizeof s_value, shift, 1, 1);
    } else {
        FormatShown(Shown(shift));
    }
}

const char* PointHeader() {
    const int32_t i = Inst();
    if (i == 1 || i == 17 || i == 18 || i == 47) return "DISPLAY (degF)";
    if (i == 2 || i == 12 || i == 16) return "DISPLAY (PSI)";
    if (OwnVolts()) return "DISPLAY (Volts)";
    if (i == kInstManifold) return "DISPLAY (INHG)";
    if (Amps()) return "DISPLAY (Amps)";
    if (i == kInstAirspeed) {
        static char header[24];
        std::snprintf(header, sizeof header, "DISPLAY (%s)", AirspeedUnitText());
        return header;
    }
    return "DISPLAY";
}

const char* RowLabel(int32_t row) {
    static const char* const kLabels[kCountRow] = {
        "1. Max (Top of Gauge)", "2. Red High At", "3. Yellow High At", "4. Yellow Low At", "5. Red Low At",
        "6. Min (Bottom of Gauge)", "7. Audio OFF/ON/etc", "8. Instrument OFF/ON", "9. Display Units",
        "10. Shift Adjust", "11. Num Cal Points"};
    if (row == 8 && Amps()) return "8. Instrument OFF/PRIMARY/BACKUP";
    return kLabels[row - 1];
}

bool PointShown(int32_t row) {
    const int32_t k = row - kCountRow;
    return k >= s_gauge.nTopPoint && k < s_gauge.nTopPoint + kVisiblePoints && k <= PointCount();
}

// Keeps the cursor's point row on screen.
void ScrollTo(int32_t row) {
    const int32_t k = row - kCountRow;
    if (k < 1) return;
    if (k < s_gauge.nTopPoint) s_gauge.nTopPoint = k;
    if (k >= s_gauge.nTopPoint + kVisiblePoints) s_gauge.nTopPoint = k - kVisiblePoints + 1;
}

void DrawPointRow(int32_t row) {
    const int32_t y = GaugeCalRowY(row);
    const int32_t cursor = row == G_SettingsScreen.nRow;
    const CalPoint& p = Cal().point[row - kFirstPointRow];
    GUI_ClearRect(201, PageY(y), 639, PageY(y + 12));
    char text[24];
    FormatPoint(text, sizeof text, p.nDisplay);
    const bool selDisplay = cursor && G_SettingsScreen.nColumn == 0, selAd = cursor && G_SettingsScreen.nColumn == 1;
    DrawTextF(selDisplay ? 14 : 31, 6, selDisplay ? 12 : 3, kDisplayX, y, " %s ", text);
    DrawTextF(selAd ? 14 : 31, 6, selAd ? 12 : 3, kAdX, y, " %d ", static_cast<int>(p.nAd));
    GUI_SetColorIndex(10);
    GUI_DrawHLine(PageY(y + 12), kDisplayX, 560);
    DrawSettingsCursor(y, cursor);
}

void DrawRow(int32_t row) {
    if (row >= kFirstPointRow) {
        if (PointShown(row)) DrawPointRow(row);
        return;
    }
    if (row == kCountRow && !s_gauge.bTable) return;
    const int32_t y = GaugeCalRowY(row);
    DrawSettingsLabel(y, RowLabel(row));
    DrawSettingsValue(y, row == G_SettingsScreen.nRow, " %s ", GaugeCalValue(row));
    DrawSettingsCursor(y, row == G_SettingsScreen.nRow);
}

void DrawTable() {
    GUI_ClearRect(201, PageY(kHeaderY), 639, PageY(kLastLine + 12));
    DrawTextF(31, 6, 3, kDisplayX, kHeaderY, "%s", PointHeader());
    DrawTextF(31, 6, 3, kAdX, kHeaderY, "AD VALUE");
    for (int32_t row = kFirstPointRow; row <= GaugeCalRows(); ++row) DrawRow(row);
}

void DrawScreen() {
    for (int32_t row = 1; row <= kCountRow; ++row) DrawRow(row);
    if (s_gauge.bTable) DrawTable();
    s_gauge.szReadout[0] = 0;
    s_gauge.nShownAd = -1;
}

void SetScale() { s_gauge.nScale = (Inst() == kInstManifold && Cfg().nUnits == 1) ? 10 : 1; }

void EditRow(int32_t row, int32_t delta) {
    InstCfg& c = Cfg();
    if (int32_t* v = LimitOf(row)) {
        *v = RoundHalfAway(static_cast<float>(*v) + FromDisplayUnits(Inst(), static_cast<float>(delta * s_gauge.nScale)));
    } else if (row == 7) {
        c.nAudio = WrapIndex(c.nAudio, 3, delta % 2);
    } else if (row == 8) {
        c.nEnable = Amps() ? WrapIndex(c.nEnable, 3, delta % 2) : StepOffOn(c.nEnable, delta);
    } else if (row == 9) {
        if (!Temperature() && Inst() != kInstManifold) return;
        c.nUnits = static_cast<int32_t>(Toggle01(static_cast<uint32_t>(c.nUnits)));
        SetScale();
        DrawScreen();
        return;
    } else if (row == 10) {
        if (Inst() == kInstManifold) c.nShiftAdj += delta;
        else c.nShiftAdj = RoundHalfAway(static_cast<float>(c.nShiftAdj) + FromDisplayUnits(Inst(), static_cast<float>(delta * s_gauge.nScale)));
    } else if (row == kCountRow) {
        Cal().nNumPts = WrapIndex(Cal().nNumPts, kMaxShownPoints, delta);
        s_gauge.nTopPoint = 1;
        DrawRow(row);
        DrawTable();
        return;
    } else {
        CalPoint& p = Cal().point[row - kFirstPointRow];
        if (G_SettingsScreen.nColumn == 0) {
            p.nDisplay = StepPoint(p.nDisplay, delta);
        } else {
            p.nAd += delta;
            // The shunt and Hall inputs keep their second point a fixed span above the first.
            if (Amps() && row == kFirstPointRow) Cal().point[1].nAd += delta;
        }
        CalcInstCalSlopes(Inst());
        DrawTable();
        return;
    }
    DrawRow(row);
}

void Save() {
    ClearSettingsArea();
    if (Air()) {
        WriteAirdataFile();
        WriteAirdataCal();
        RepairSystemKvd();
        LoadAirdataCal();
    } else if (OwnVolts()) {
        WriteSystemKvd();
        WriteConfigFile();
        FixConfig();
        RepairSystemKvc();
    } else {
        SaveEngineCal();
        SaveEngineSettings();
        LoadEngineCal();
        LoadEngineSettings();
    }
}

void MoveCursor(int32_t to) {
    if (to < 1 || to > GaugeCalRows()) return;
    const int32_t from = G_SettingsScreen.nRow;
    G_SettingsScreen.nRow = to;
    const int32_t top = s_gauge.nTopPoint;
    ScrollTo(to);
    if (top != s_gauge.nTopPoint) {
        DrawTable();
        DrawRow(from < kFirstPointRow ? from : kCountRow);
    } else {
        DrawRow(from);
        DrawRow(to);
    }
}

}  // namespace

int32_t GaugeCalRowY(int32_t row) {
    if (row <= kCountRow) return kRowTop + kPitch * (row - 1);
    return kPointTop + kPitch * (row - kCountRow - s_gauge.nTopPoint);
}

int32_t GaugeCalRows() { return s_gauge.bTable ? kCountRow + PointCount() : 10; }

const char* GaugeCalValue(int32_t row) {
    const InstCfg& c = Cfg();
    s_value[0] = 0;
    if (const int32_t* v = LimitOf(row)) {
        FormatShown(Shown(*v));
    } else if (row == 7) {
        static const char* const kAudio[3] = {" OFF", " ON", " ABOVE 1500 RPM"};
        std::snprintf(s_value, sizeof s_value, "%s", (c.nAudio >= 0 && c.nAudio <= 2) ? kAudio[c.nAudio] : " OFF");
    } else if (row == 8) {
        static const char* const kEnable[3] = {" OFF", " PRIMARY", " BACKUP"};
        if (Amps()) std::snprintf(s_value, sizeof s_value, "%s", kEnable[c.nEnable >= 0 && c.nEnable <= 2 ? c.nEnable : 0]);
        else std::snprintf(s_value, sizeof s_value, "%s", c.nEnable == 1 ? " ON" : " OFF");
    } else if (row == 9) {
        std::snprintf(s_value, sizeof s_value, "%s", UnitText());
    } else if (row == 10) {
        FormatShift();
    } else if (row == kCountRow) {
        std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(Cal().nNumPts));
    } else if (row > kCountRow && row - kCountRow <= PointCount()) {
        const CalPoint& p = Cal().point[row - kFirstPointRow];
        if (G_SettingsScreen.nColumn == 0) FormatPoint(s_value, sizeof s_value, p.nDisplay);
        else std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(p.nAd));
    }
    return s_value;
}

void GaugeCalOpen(int32_t inst) {
    BeginSettingsScreen(inst >= 0 && inst < kInstruments ? inst : kInstMainVolts);
    const NetStreamCfg& air = G_NetStreamCfg[kStreamAir];
    if (OwnVolts() || (Air() && air.INST != 0 && air.NET != 2)) {
        G_SettingsScreen.bEditable = 1;
        G_SettingsScreen.nRow = 1;
        G_CurPage = kPageSettingsEdit;
    }
    s_gauge = {};
    s_gauge.nTopPoint = 1;
    s_gauge.bTable = (NvGetU32(kNvAdminUser) == 1 || Amps() || Air()) ? 1 : 0;
    // Any other value is taken as off.
    if (Cfg().nEnable < 0 || Cfg().nEnable > (Amps() ? 2 : 1)) Cfg().nEnable = 0;
    SetScale();
    UpdateSoftKeys();
    DrawStatusBar();
    for (int32_t i = 0; i < kRawReadsBeforeDraw; ++i) ReadInstrumentRaw(Inst());
    DrawScreen();
}

void GaugeCalPoll() {
    ReadInstrumentRaw(Inst());
    const InstAd& a = G_InstAd[Inst()];
    const int32_t ad = a.nAdValue - a.nTempCorr;
    G_SettingsScreen.nLiveAd = Inst() == kInstAmpsHall ? 4095 - ad : ad;
    if (!G_SettingsScreen.bEditable) return;
    char text[64];
    if (FormatCalReadout(Inst(), text, sizeof text) && std::strcmp(text, s_gauge.szReadout) != 0) {
        std::snprintf(s_gauge.szReadout, sizeof s_gauge.szReadout, "%s", text);
        ShowCalReadout(Inst(), kReadoutX, kReadoutY);
    }
    if (G_SettingsScreen.nLiveAd != s_gauge.nShownAd) {
        s_gauge.nShownAd = G_SettingsScreen.nLiveAd;
        // Beside the readout: at the table's AD column it would cover row 11's value.
        GUI_ClearRect(kLiveAdX, PageY(kReadoutY), 639, PageY(kReadoutY + 12));
        DrawTextF(14, 6, 3, kLiveAdX, kReadoutY, " AD_VALUE: %4d", static_cast<int>(G_SettingsScreen.nLiveAd));
    }
}

int32_t GaugeCalInput(int32_t key, int32_t delta) {
    const int32_t k = SettingsKey(key);
    if (k == 1) return 1;
    if (!G_SettingsScreen.bEditable) return 0;
    const int32_t row = G_SettingsScreen.nRow;
    if (k == 2) MoveCursor(row + 1);
    else if (k == 3) MoveCursor(row - 1);
    else if (k == 4 && row >= kFirstPointRow) {
        if (G_SettingsScreen.nColumn == 1) Cal().point[row - kFirstPointRow].nAd = G_SettingsScreen.nLiveAd;
        CalcInstCalSlopes(Inst());
        DrawRow(row);
    } else if (k == 5) {
        Save();
        return 1;
    } else if (k == 6) {
        G_SettingsScreen.nColumn = 1 - G_SettingsScreen.nColumn;
        DrawScreen();
    }
    if (delta != 0) EditRow(G_SettingsScreen.nRow, delta);
    return 0;
}

void GaugeCalScreen(int32_t inst) {
    GaugeCalOpen(inst);
    RunSettingsScreen(GaugeCalInput, GaugeCalPoll);
}
