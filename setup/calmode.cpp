// Calibration mode: the service side that runs instead of the main loop.
// A list of 34 instruments and setup screens on two pages; SELECT opens the
// row's screen, and the second key 1 leaves through a warm restart.
#include <cstdint>

#include "core/audio.h"
#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/util.h"
#include "engine/calscreens.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "gui/text.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "ui/buttons.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

namespace {

constexpr int32_t  kListFont = 6;
constexpr uint32_t kWhite = 31, kGrey = 21, kGreen = 5, kBlack = 0;
constexpr int32_t  kRowX = 10, kFirstRowY = 45, kRowPitch = 16, kMarkerX0 = 5, kMarkerX1 = 20;
constexpr int32_t  kHeadingX = 210, kHeadingY = 25;
constexpr int32_t  kBacklightVolts = 1499;   // A/D counts: above it a supply is present

enum class Grey { kNever, kAir, kAoa, kOat, kEngine, kProbes, kTit, kAlways };

struct CalRow {
    const char* text;
    const char* heading;
    Grey        grey;
    void (*open)(int32_t arg);
    int32_t     arg;
};

void OpenGauge(int32_t inst) { GaugeCalScreen(inst); }
void OpenTank(int32_t inst) { TanksCalMenu(inst); }
void OpenProbes(int32_t first) { EgtChtCalMenu(first); }
void OpenTrim(int32_t inst) { TrimCalMenu(inst); }
void OpenSound(int32_t) {
    G_CurPage = kPageSoundTest;
    UpdateSoftKeys();
    DrawStatusBar();
    SoundMenu();
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
}
template <void (*F)()>
void Call(int32_t) { F(); }

// Row 23 reads "23. Gear Box Temp" on the boxer engines.
const CalRow kRows[kCalRows] = {
    {"1. Admin Settings", "Configure Admin Settings", Grey::kNever, Call<AdminSettingsScreen>, 0},
    {"2. Altitude", "Configure Altitude", Grey::kAir, Call<AltitudeCalScreen>, 0},
    {"3. Airspeed", "Configure Airspeed", Grey::kAir, Call<AirspeedCalScreen>, 0},
    {"4. AOA", "Configure AOA", Grey::kAoa, Call<AoaCalScreen>, 0},
    {"5. Battery Voltage", "Configure Battery Voltage", Grey::kNever, OpenGauge, kInstBattVolts},
    {"6. Primary Voltage", "Configure Main Voltage", Grey::kNever, OpenGauge, kInstMainVolts},
    {"7. Backup Voltage", "Configure Backup Voltage", Grey::kNever, OpenGauge, kInstAuxVolts},
    {"8. OAT", "Configure OAT", Grey::kOat, Call<OatCalScreen>, 0},
    {"9. Engine Type", "Configure Engine Type", Grey::kEngine, Call<EngineTypeScreen>, 0},
    {"10. RPM", "Configure RPM", Grey::kEngine, Call<RpmCalMenu>, 0},
    {"11. Manifold", "Configure Manifold Pressure", Grey::kEngine, OpenGauge, kInstManifold},
    {"12. Fuel Flow", "Configure Fuel Flow", Grey::kEngine, Call<FuelFlowCalMenu>, 0},
    {"13. Fuel Computer", "Configure Fuel Computer", Grey::kEngine, Call<FuelCompMenu>, 0},
    {"14. Fuel Pressure", "Configure Fuel Pressure", Grey::kEngine, OpenGauge, 12},
    {"15. Amperage (Shunt)", "Configure Shunt Amperage", Grey::kEngine, OpenGauge, kInstAmpsShunt},
    {"16. Amperage (Hall-Effect)", "Configure Hall-Effect Amperage", Grey::kEngine, OpenGauge, kInstAmpsHall},
    {"17. Oil Pressure", "Configure Oil Pressure", Grey::kEngine, OpenGauge, 16},
    {"18. Oil Temperature", "Configure Oil Temperature", Grey::kEngine, OpenGauge, kInstOilTemp},
    {"19. Exhaust Gas Temp (EGT)", "Configure EGT", Grey::kProbes, OpenProbes, kInstEgt1},
    {"20. Cylinder Head Temp (CHT)", "Configure CHT", Grey::kProbes, OpenProbes, kInstCht1},
    {"21. Turbo Inlet Temp (TIT)", "Configure TIT", Grey::kTit, OpenProbes, kInstTit1},
    {"22. Horsepower", "Configure Horsepower", Grey::kEngine, Call<HorsepowerMenu>, 0},
    {"23. Carb Temp", "Configure Carb/Aux Temp", Grey::kEngine, OpenGauge, kInstCarbTemp},
    {"24. Tank 1", "Configure Fuel Tank #1", Grey::kEngine, OpenTank, kInstTank1},
    {"25. Tank 2", "Configure Fuel Tank #2", Grey::kEngine, OpenTank, kInstTank1 + 1},
    {"26. Tank 3", "Configure Fuel Tank #3", Grey::kEngine, OpenTank, kInstTank1 + 2},
    {"27. Tank 4", "Configure Fuel Tank #4", Grey::kEngine, OpenTank, kInstTank4},
    {"28. Elevator Trim", "Configure Elevator Trim", Grey::kEngine, OpenTrim, kInstElevTrim},
    {"29. Aileron Trim", "Configure Aileron Trim", Grey::kEngine, OpenTrim, kInstAilTrim},
    {"30. Flap Position", "Configure Flap Position", Grey::kEngine, Call<FlapCalMenu>, 0},
    {"31. Coolant Temp", "Configure Coolent Temp", Grey::kEngine, OpenGauge, kInstCoolTemp},
    {"32. Internal Temp", nullptr, Grey::kAlways, nullptr, 0},
    {"33. Test Audio", "Now Playing...  ", Grey::kNever, OpenSound, 0},
    {"34. Inputs", "Configure Inputs", Grey::kNever, Call<InputsConfigScreen>, 0},
};
constexpr int32_t kGearBoxRow = 23, kTitRow = 21;

struct CalList {
    int32_t  nRow;          // 1..34
    int32_t  nMarkerY;
    int32_t  nRowsPage1;    // from the y the page-1 drawing returns
    int32_t  nRows;
    int32_t  nLeaveCount;   // the first key 1 after entry only arms leaving
};
CalList s_list;

bool Boxer() { return G_EngInfo.nEngineType == kEngSubaru4 || G_EngInfo.nEngineType == kEngSubaru6; }

bool StreamOff(int stream) {
    const NetStreamCfg& s = G_NetStreamCfg[stream];
    return s.INST == 0 || s.NET == 2;
}

int32_t PageY(int32_t y) { return y + static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

const char* RowText(int32_t row) { return (row == kGearBoxRow && Boxer()) ? "23. Gear Box Temp" : kRows[row - 1].text; }

int32_t DrawRows(int32_t first, int32_t last) {
    GUI_ClearRect(0, PageY(kFirstRowY), 210, PageY(459));
    int32_t y = kFirstRowY;
    for (int32_t row = first; row <= last; ++row, y += kRowPitch)
        DrawTextF(CalRowGrey(row) ? kGrey : kWhite, kListFont, 3, kRowX, y, "%s", RowText(row));
    GUI_SetColorIndex(kWhite);
    return y - kRowPitch + 15;
}

void DrawMarker(uint32_t colour) {
    GUI_SetColorIndex(colour);
    GUI_DrawHLine(PageY(s_list.nMarkerY), kMarkerX0, kMarkerX1);
    GUI_DrawHLine(PageY(s_list.nMarkerY + 1), kMarkerX0, kMarkerX1);
    GUI_SetColorIndex(kWhite);
}

void RedrawListPage() {
    if (s_list.nRow <= s_list.nRowsPage1) DrawCalListPage1();
    else DrawCalListPage2();
}

void Next() {
    if (s_list.nRow == s_list.nRows) {
        DrawCalListPage1();
        s_list.nRow = 1, s_list.nMarkerY = 60;
    } else if (s_list.nRow == s_list.nRowsPage1) {
        DrawCalListPage2();
        s_list.nRow = s_list.nRowsPage1 + 1, s_list.nMarkerY = 60;
    } else {
        ++s_list.nRow, s_list.nMarkerY += kRowPitch;
    }
}

void Previous() {
    if (s_list.nRow == 1) {
        s_list.nMarkerY = DrawCalListPage2();
        s_list.nRow = s_list.nRows;
    } else if (s_list.nRow == s_list.nRowsPage1 + 1) {
        s_list.nMarkerY = DrawCalListPage1();
        s_list.nRow = s_list.nRowsPage1;
    } else {
        --s_list.nRow, s_list.nMarkerY -= kRowPitch;
    }
}

void Select() {
    const CalRow& r = kRows[s_list.nRow - 1];
    if (CalRowOpens(s_list.nRow)) {
        DrawTextF(kWhite, kListFont, 3, kHeadingX, kHeadingY, "%s", r.heading);
        r.open(r.arg);
    }
    GUI_Clear();
    DrawStatusBar();
    DrawCalTitle();
    RedrawListPage();
}

void CalListPoll() {
    SetupSampleSteps();
    // The display dims while neither the main nor the backup supply is there.
    const bool supplied = G_InstAd[kInstMainVolts].nAdValue > kBacklightVolts ||
                          G_InstAd[kInstAuxVolts].nAdValue > kBacklightVolts;
    SetBacklight(supplied ? 100 : 50);
}

}  // namespace

bool CalRowGrey(int32_t row) {
    if (row < 1 || row > kCalRows) return true;
    const int32_t type = G_EngInfo.nEngineType;
    switch (kRows[row - 1].grey) {
    case Grey::kNever: return false;
    case Grey::kAir: return StreamOff(kStreamAir);
    case Grey::kAoa: return StreamOff(kStreamAir) || G_NetStreamCfg[kStreamAoa].INST == 0;
    case Grey::kOat: return G_NetStreamCfg[kStreamAir].DSRC != 0 && G_NetStreamCfg[kStreamEngine].DSRC != 0;
    case Grey::kEngine: return StreamOff(kStreamEngine);
    case Grey::kProbes: return StreamOff(kStreamEngine) || type == kEngSubaru4 || type == kEngSubaru6;
    case Grey::kTit:
        return StreamOff(kStreamEngine) || type == kEngSubaru4 || type == kEngSubaru6 || type == kEngM14;
    case Grey::kAlways: return true;
    }
    return true;
}

bool CalRowOpens(int32_t row) {
    if (row < 1 || row > kCalRows || kRows[row - 1].open == nullptr) return false;
    return !(row == kTitRow && G_EngInfo.nEngineType == kEngM14);
}

const char* CalRowText(int32_t row) { return (row >= 1 && row <= kCalRows) ? RowText(row) : ""; }

int32_t CalListRow() { return s_list.nRow; }
int32_t CalListMarkerY() { return s_list.nMarkerY; }

void DrawCalTitle() {
    DrawTextF(kGreen, kListFont, 1, 320, 4, "Instrument Calibration");
    DrawTextF(kWhite, kListFont, 3, 10, 25, "Config:");
}

int32_t DrawCalListPage1() { return DrawRows(1, kCalRowsPage1); }
int32_t DrawCalListPage2() { return DrawRows(kCalRowsPage1 + 1, kCalRows); }

void CalListOpen() {
    s_list = {};
    G_SettingsScreen = {};   // the list takes no knob
    G_KeyEvent = 0;
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
    GUI_Clear();
    DrawStatusBar();
    DrawCalTitle();
    s_list.nRowsPage1 = (DrawCalListPage1() - 44) / kRowPitch;
    s_list.nRows = s_list.nRowsPage1 + 9;
    s_list.nRow = 1;
    s_list.nMarkerY = 60;
    DrawMarker(kGreen);
}

int32_t CalListInput(int32_t key, int32_t) {
    switch (SettingsKey(key)) {
    case 1:
        if (s_list.nLeaveCount == 0) {
            s_list.nLeaveCount = 1;
            return 0;
        }
        return 1;
    case 2: DrawMarker(kBlack), Next(); break;
    case 3: DrawMarker(kBlack), Previous(); break;
    case 4: Select(); break;
    default: return 0;
    }
    DrawMarker(kGreen);
    return 0;
}

static void LeaveCalibration() {
    GUI_Clear();
    DebugPrintf("LEAVING CALIBRATION\n");
    G_CalRestart = 0;
    RestoreSplash(kFrameMemory);
    DrawBootBanner();
    ++G_RebootCount;
    DebugPrintf("WARMBOOT:%d\n", static_cast<int>(G_RebootCount));
    AppIntsOffRestore(0);
    mon_setenv("REBOOT", "1");
    AppIntsOffRestore(1);
}

void CalibrationMode() {
    StartTick();
    CalListOpen();
    DebugPrintf("\nENTERING CALIBRATION\n");
    RunSettingsScreen(CalListInput, CalListPoll);
    LeaveCalibration();
}
