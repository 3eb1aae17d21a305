// Settings screens of the RPM input, the EGT/TIT/CHT probes, the horsepower
// table and the trims. Each is a list of numeric rows on the shared settings
// pattern: the knob edits the row under the cursor within its bounds, key 4
// captures the live A/D value on the rows that take one, key 5 saves,
// reloads and leaves.
#include <cstdio>
#include <cstring>

#include "engine/calscreens.h"
#include "engine/enginecfg.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "core/rtc.h"
#include "core/util.h"
#include "ui/pages.h"
#include "setup/setup.h"
#include "storage/nvram.h"
#include "ui/statusbar.h"

namespace {
constexpr int32_t kMaxRows = 32, kRowTop = 41, kRowStep = 13;

struct MenuRow {
    char     szLabel[48];
    int32_t* pField;       // nullptr: a row with its own action
    int32_t  nLo, nHi;     // bounds of the field
    int32_t  nStep;        // change per knob step
    int32_t  nShownDiv;    // the field is shown divided by this
    int32_t  bCapture;     // key 4 stores the live A/D value
};

struct MenuState {
    MenuRow  row[kMaxRows];
    int32_t  nRows;
    int32_t  nLiveInst;               // instrument whose A/D value is shown live
    int32_t  nFirst, nProbes, nProbe;   // EGT/CHT: group and the probe edited
    int32_t  bCopyAll;                // EGT/CHT: saving copies the curve to the group
    void (*build)();                  // refills the rows (the probe or point count changed)
    void (*save)();
};
MenuState s_menu = {};
char s_value[32];

int32_t RowY(int32_t row) { return kRowTop + kRowStep * (row - 1); }
}  // namespace

static void AddRow(const char* label, int32_t* field, int32_t lo, int32_t hi, int32_t step, int32_t div = 1,
                   int32_t capture = 0) {
    MenuState& m = s_menu;
    if (m.nRows >= kMaxRows) return;
    MenuRow& r = m.row[m.nRows++];
    std::snprintf(r.szLabel, sizeof r.szLabel, "%d. %.32s", static_cast<int>(m.nRows), label);
    r.pField = field;
    r.nLo = lo;
    r.nHi = hi;
    r.nStep = step;
    r.nShownDiv = div < 1 ? 1 : div;
    r.bCapture = capture;
}

const char* EngineMenuValue(int32_t row) {
    s_value[0] = 0;
    if (row < 1 || row > s_menu.nRows) return s_value;
    const MenuRow& r = s_menu.row[row - 1];
    if (r.pField == nullptr) {
        std::snprintf(s_value, sizeof s_value, "%s", InstrumentNames[s_menu.nFirst + s_menu.nProbe]);
    } else if (r.nLo == 0 && r.nHi == 1) {
        std::snprintf(s_value, sizeof s_value, "%s", *r.pField ? " ON" : " OFF");
    } else {
        std::snprintf(s_value, sizeof s_value, "%d", static_cast<int>(*r.pField / r.nShownDiv));
    }
    return s_value;
}

int32_t EngineMenuRows() { return s_menu.nRows; }

static void DrawRow(int32_t row) {
    if (row < 1 || row > s_menu.nRows) return;
    const int32_t y = RowY(row);
    DrawSettingsLabel(y, s_menu.row[row - 1].szLabel);
    DrawSettingsValue(y, row == G_SettingsScreen.nRow, "%s", EngineMenuValue(row));
    DrawSettingsCursor(y, row == G_SettingsScreen.nRow);
}

static void Redraw() {
    ClearSettingsArea();
    for (int32_t row = 1; row <= s_menu.nRows; ++row) DrawRow(row);
}

static void Rebuild() {
    s_menu.nRows = 0;
    if (s_menu.build) s_menu.build();
    if (G_SettingsScreen.nRow > s_menu.nRows) G_SettingsScreen.nRow = s_menu.nRows;
}

static void OpenMenu(int32_t liveInst, void (*build)(), void (*save)()) {
    BeginSettingsScreen(liveInst);
    s_menu.nLiveInst = liveInst;
    s_menu.build = build;
    s_menu.save = save;
    Rebuild();
    UpdateSoftKeys();
    DrawStatusBar();
    Redraw();
}

static int32_t Clamp(int64_t v, int32_t lo, int32_t hi) {
    return static_cast<int32_t>(v < lo ? lo : (v > hi ? hi : v));
}

static void EditRow(int32_t row, int32_t delta) {
    MenuRow& r = s_menu.row[row - 1];
    if (r.pField == nullptr) {   // the probe selector
        const int32_t n = s_menu.nProbes;
        s_menu.nProbe = ((s_menu.nProbe + delta) % n + n) % n;
        Rebuild();
        Redraw();
        return;
    }
    if (r.nLo == 0 && r.nHi == 1) *r.pField = StepOffOn(*r.pField, delta);
    else *r.pField = Clamp(static_cast<int64_t>(*r.pField) + static_cast<int64_t>(delta) * r.nStep, r.nLo, r.nHi);
    // A count row changes the rows shown.
    const int32_t rows = s_menu.nRows;
    Rebuild();
    if (rows != s_menu.nRows) Redraw();
    else DrawRow(row);
}

int32_t EngineMenuInput(int32_t key, int32_t delta) {
    const int32_t k = SettingsKey(key);
    const SettingsKeyStep step = SharedSettingsKey(k, s_menu.nRows, DrawRow);
    if (step == SettingsKeyStep::kLeave) return 1;
    if (step == SettingsKeyStep::kDone) return 0;
    const int32_t row = G_SettingsScreen.nRow;
    if (row < 1 || row > s_menu.nRows) return 0;
    if (k == 4 && s_menu.row[row - 1].bCapture) {
        *s_menu.row[row - 1].pField = G_SettingsScreen.nLiveAd;
        DrawRow(row);
    }
    if (k == 5) {
        ClearSettingsArea();
        if (s_menu.save) s_menu.save();
        return 1;
    }
    if (delta != 0) EditRow(row, delta);
    return 0;
}

static void PollLive() {
    G_SettingsScreen.nLiveAd = ReadInstrumentRaw(s_menu.nLiveInst);
    if (G_SettingsScreen.bEditable) DrawNumber(14, 6, 2, 500, 25, G_SettingsScreen.nLiveAd, 10);
}

// ---- RPM ------------------------------------------------------------------------------------------

static void BuildRpm() {
    InstCfg& c = G_InstCfg[kInstRpm];
    constexpr int32_t kTop = 100000;   // tenths of RPM
    AddRow("PULSES PER 2 REVS", &c.nShiftAdj, 1, 40, 1);
    AddRow("MAX RPM", &c.nMax, 0, kTop, 500, 10);
    AddRow("RED HIGH", &c.nRedHigh, 0, kTop, 100, 10);
    AddRow("YELLOW HIGH", &c.nYellowHigh, 0, kTop, 100, 10);
    AddRow("YELLOW MID TOP", &c.nYellowLow, 0, kTop, 100, 10);
    AddRow("YELLOW MID BOT", &c.nRedLow, 0, kTop, 100, 10);
    AddRow("Instrument On/Off", &c.nEnable, 0, 1, 1);
}

static void SaveRpm() {
    SaveEngineSettings();
    LoadEngineSettings();
    InitRpm();
}

void RpmScreenOpen() { OpenMenu(kInstRpm, BuildRpm, SaveRpm); }

void RpmCalMenu() {
    RpmScreenOpen();
    RunSettingsScreen(EngineMenuInput, nullptr);
}

// ---- EGT, TIT and CHT probes ---------------------------------------------------------------------

static int32_t ProbeInst() { return s_menu.nFirst + s_menu.nProbe; }

static void BuildProbes() {
    InstCal& cal = G_InstCal[ProbeInst()];
    s_menu.nLiveInst = ProbeInst();
    G_SettingsScreen.nInst = ProbeInst();
    constexpr int32_t kTemp = 30000;   // tenths of a degree
    AddRow("PROBE", nullptr, 0, 0, 0);
    AddRow("LOW TEMP (DISPLAY_VALUE_1)", &cal.point[0].nDisplay, -kTemp, kTemp, 10);
    AddRow("LOW A/D (AD_VALUE_1)", &cal.point[0].nAd, 0, 65535, 1, 1, 1);
    AddRow("HIGH TEMP (DISPLAY_VALUE_2)", &cal.point[1].nDisplay, -kTemp, kTemp, 10);
    AddRow("HIGH A/D (AD_VALUE_2)", &cal.point[1].nAd, 0, 65535, 1, 1, 1);
    AddRow("COPY TO ALL PROBES", &s_menu.bCopyAll, 0, 1, 1);
}

// Two points make the curve; with COPY on, every probe of the group takes
// the edited probe's points.
static void SaveProbes() {
    const int32_t edited = ProbeInst();
    InstCal& src = G_InstCal[edited];
    if (src.nNumPts < 2) src.nNumPts = 2;
    for (int32_t i = 0; i < s_menu.nProbes; ++i) {
        const int32_t inst = s_menu.nFirst + i;
        if (s_menu.bCopyAll && inst != edited) {
            std::memcpy(G_InstCal[inst].point, src.point, sizeof src.point);
            G_InstCal[inst].nNumPts = src.nNumPts;
        }
        CalcInstCalSlopes(inst);
    }
    SaveEgtChtCal();
    LoadEgtChtCal();
}

static int32_t ProbesOf(int32_t first) {
    if (first == kInstTit1) return 2;
    const int32_t n = G_EngInfo.nEgtCount;
    return n < 1 ? 1 : (n > 6 ? 6 : n);
}

void EgtChtScreenOpen(int32_t first) {
    s_menu.nFirst = first;
    s_menu.nProbes = ProbesOf(first);
    s_menu.nProbe = 0;
    s_menu.bCopyAll = 0;
    OpenMenu(first, BuildProbes, SaveProbes);
}

void EgtChtCalMenu(int32_t first) {
    if (first != kInstEgt1 && first != kInstTit1 && first != kInstCht1) return;
    if (first == kInstTit1 && G_EngInfo.nEngineType == kEngM14) return;   // the radial's TITs are EGTs 7, 8
    EgtChtScreenOpen(first);
    RunSettingsScreen(EngineMenuInput, PollLive);
}

// ---- horsepower table -----------------------------------------------------------------------------

static void BuildHorsepower() {
    HorsepowerCfg& c = G_HorsepowerCfg;
    AddRow("Instrument On/Off", &c.nEnable, 0, 1, 1);
    AddRow("RATED HP", &c.nRatedHp, 0, 2000, 1);
    AddRow("LOW MAP (tenths inHg)", &c.nLowMap, 0, 600, 1);
    AddRow("HIGH MAP (tenths inHg)", &c.nHighMap, 0, 600, 1);
    AddRow("RPM ROWS", &c.nCount, 0, kHpRows, 1);
    char label[40];
    for (int32_t r = 0; r < c.nCount && r < kHpRows; ++r) {
        std::snprintf(label, sizeof label, "RPM %d", static_cast<int>(r + 1));
        AddRow(label, &c.row[r][2], 0, 10000, 10);
        std::snprintf(label, sizeof label, "HP AT LOW MAP %d", static_cast<int>(r + 1));
        AddRow(label, &c.row[r][0], 0, 2000, 1);
        std::snprintf(label, sizeof label, "HP AT HIGH MAP %d", static_cast<int>(r + 1));
        AddRow(label, &c.row[r][1], 0, 2000, 1);
    }
}

static void SaveHorsepower() {
    SaveHorsepowerTable();
    LoadHorsepowerTable();
}

void HorsepowerScreenOpen() { OpenMenu(kInstHp, BuildHorsepower, SaveHorsepower); }

void HorsepowerMenu() {
    HorsepowerScreenOpen();
    RunSettingsScreen(EngineMenuInput, nullptr);
}

// ---- trims ----------------------------------------------------------------------------------------

static int32_t s_trimInst = kInstElevTrim;

static void BuildTrim() {
    const int32_t inst = s_trimInst;
    InstCal& cal = G_InstCal[inst];
    const bool elevator = inst == kInstElevTrim;
    AddRow(elevator ? "NOSE UP (AD_VALUE_1)" : "LEFT WING DOWN (AD_VALUE_1)", &cal.point[0].nAd, 0, 65535, 1, 1, 1);
    AddRow(elevator ? "NOSE DOWN (AD_VALUE_2)" : "RIGHT WING DOWN (AD_VALUE_2)", &cal.point[1].nAd, 0, 65535, 1, 1, 1);
    AddRow("Instrument On/Off", &G_InstCfg[inst].nEnable, 0, 1, 1);
}

// Trim readings run 0 .. 100.0 % of travel like the flap's (the settings
// hold MIN and MAX at 0 and 1000): the two ends read 0 and 1000 unless the
// file already gives the points their own display values.
static void SaveTrim() {
    const int32_t inst = s_trimInst;
    InstCal& cal = G_InstCal[inst];
    if (cal.nNumPts < 2) cal.nNumPts = 2;
    if (cal.point[0].nDisplay == cal.point[1].nDisplay) {
        cal.point[0].nDisplay = 0;
        cal.point[1].nDisplay = 1000;
    }
    SaveEngineCal();
    SaveEngineSettings();
    LoadEngineCal();
    LoadEngineSettings();
}

void TrimScreenOpen(int32_t inst) {
    s_trimInst = inst == kInstAilTrim ? kInstAilTrim : kInstElevTrim;
    OpenMenu(s_trimInst, BuildTrim, SaveTrim);
}

void TrimCalMenu(int32_t inst) {
    TrimScreenOpen(inst);
    RunSettingsScreen(EngineMenuInput, PollLive);
}

// ---- engine timers ----------------------------------------------------------------------------------

namespace {
// Hundredths of an hour as edited; the day of month of today's time.
struct TimerEdit {
    int32_t tach, hobbs, today, day, flight;
};
TimerEdit s_timerEdit = {};
constexpr int32_t kMaxHundredths = 99999999;   // 999,999.99 h
}  // namespace

static int32_t ToHundredths(float hours) {
    const double v = static_cast<double>(hours) * 100.0;
    if (!(v > 0)) return 0;
    return v >= kMaxHundredths ? kMaxHundredths : static_cast<int32_t>(v + 0.5);
}

static void BuildTimers() {
    TimerEdit& t = s_timerEdit;
    AddRow("TACH TIME (hundredths)", &t.tach, 0, kMaxHundredths, 10);
    AddRow("HOBBS TIME (hundredths)", &t.hobbs, 0, kMaxHundredths, 10);
    AddRow("TODAY TIME (hundredths)", &t.today, 0, 2400, 1);
    AddRow("TODAY DATE (day)", &t.day, 1, 31, 1);
    AddRow("LAST FLIGHT (hundredths)", &t.flight, 0, 2400, 1);
}

// The image is written at once, and the running totals are taken from it
// again so that the next timer step adds to the edited values.
static void SaveTimers() {
    const TimerEdit& t = s_timerEdit;
    NvSetF32(kNvTachTime, static_cast<float>(t.tach / 100.0));
    NvSetF32(kNvHobbsTime, static_cast<float>(t.hobbs / 100.0));
    NvSetF32(kNvTodayTime, static_cast<float>(t.today / 100.0));
    NvSetU32(kNvTodayDate, static_cast<uint32_t>(t.day));
    NvSetF32(kNvLastFlight, static_cast<float>(t.flight / 100.0));
    WriteNVRam(1);
    LoadEngineTimers();
}

void EngineTimersScreenOpen() {
    TimerEdit& t = s_timerEdit;
    t.tach = ToHundredths(NvGetF32(kNvTachTime));
    t.hobbs = ToHundredths(NvGetF32(kNvHobbsTime));
    t.today = ToHundredths(NvGetF32(kNvTodayTime));
    const uint32_t day = NvGetU32(kNvTodayDate);
    t.day = day >= 1 && day <= 31 ? static_cast<int32_t>(day) : static_cast<int32_t>(G_DateTime.nDay);
    t.flight = ToHundredths(NvGetF32(kNvLastFlight));
    OpenMenu(kInstRpm, BuildTimers, SaveTimers);
}

void EngineTimersMenu() {
    const int32_t page = G_CurPage;   // the admin list is drawn again by its caller
    EngineTimersScreenOpen();
    RunSettingsScreen(EngineMenuInput, nullptr);
    G_CurPage = page;
}
