// The diagnostics menu of the administrator settings and its tests: the
// serial loop-back test, the alarm output switch, the air-data
// auto-calibration readout, the raw analog read mode and the colour chart.
// The two ARINC test pages live in arinctest.cpp.
#include <cstdio>
#include <cstring>

#include "core/adc.h"
#include "core/alarm.h"
#include "core/battery.h"
#include "core/calsentence.h"
#include "core/framers.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/util.h"
#include "engine/instad.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "gui/text.h"
#include "setup/porttake.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "storage/config.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

const char DiagItemText[kDiagItems][32] = {
    "1.  Loop Back Test Serial#1", "2.  Loop Back Test Serial#2", "3.  Loop Back Test Serial#3",
    "4.  Loop Back Test Serial#4", "5.  Toggle Output",           "6.  Airdata Auto-Calibration",
    "7.  Analog Read Mode",        "8.  ARINC VOR Test",          "9.  ARINC GPS Test",
    "10. Color Map",
};

namespace {

constexpr const char kStateText[2][16] = {" DISABLED ", " ENABLED "};
constexpr int32_t kListX = 210, kCursorX = 200, kStateX = 550, kFirstY = 41, kRowStep = 15;
constexpr int32_t kTestY = kFirstY + 10 * kRowStep;   // 191: where the tests draw
constexpr int32_t kBottom = 459;
constexpr uint32_t kWhite = 31, kYellow = 14, kRed = 2, kBlack = 0;
constexpr int32_t kListFont = 6, kTextFont = 8;
constexpr uint32_t kFuncTest = 7;
constexpr uint32_t kBaud9600 = 5;
constexpr int32_t kRowToggle = 5, kRowAutoCal = 6, kRowAnalog = 7, kRowVor = 8, kRowGps = 9, kRowColours = 10;

struct DiagMenu {
    int32_t  nRow;          // 1..10
    int32_t  nAlarmOut;     // row 5's state
    uint32_t nSampleStamp;  // last 50 ms step
};
DiagMenu s_menu;

// What the loop-back test showed last, for the tests that read the screen's words.
struct LoopbackShown {
    uint32_t nTotal;
    char     szText[256];
    int32_t  nLen;
};
LoopbackShown s_loop;

void ClearArea(int32_t x0, int32_t y0, int32_t x1, int32_t y1) { GUI_ClearRect(x0, SetupPageY(y0), x1, SetupPageY(y1)); }

// The 50 ms sampling and battery check every service loop keeps.
void SampleEvery50ms(uint32_t& stamp) {
    if (!TicksElapsed(ReadOsTimer(), stamp, kSetupTicks50ms)) return;
    stamp = ReadOsTimer();
    SampleAdcStep();
    CheckBattery();
}

int32_t TakeKey() {
    const int32_t key = G_KeyEvent;
    G_KeyEvent = 0;
    return key;
}

bool HasStateText(int32_t row) { return row == kRowToggle || row == kRowAnalog; }

void DrawRow(int32_t row) {
    const int32_t y = kFirstY + kRowStep * (row - 1);
    const bool selected = row == s_menu.nRow;
    ClearArea(kCursorX, y, 639, y + 12);
    DrawTextF(kWhite, kListFont, 3, kListX, y, "%s", DiagItemText[row - 1]);
    if (HasStateText(row)) {
        const uint32_t state = row == kRowToggle ? static_cast<uint32_t>(s_menu.nAlarmOut) : G_AnalogReadMode;
        DrawTextF(selected ? kYellow : kRed, kListFont, 14, kStateX, y, "%s", kStateText[state & 1]);
    } else if (selected) {
        DrawTextF(kYellow, kListFont, 14, kStateX, y, " Press START ");
    }
    if (selected) DrawTextF(kYellow, kListFont, 0, kCursorX, y, "*");
}

void DrawMenu() {
    for (int32_t row = 1; row <= kDiagItems; ++row) DrawRow(row);
    const int32_t row = s_menu.nRow;
    if (row == kRowColours) {
        // The chart's labels stay as they were.
    } else if (HasStateText(row)) {
        SetSoftKeyLabel(4, "");
        SetSoftKeyLabel(5, "");
        SetSoftKeyLabel(6, "ADJUST");
    } else {
        SetSoftKeyLabel(4, "START");
        SetSoftKeyLabel(5, "");
        SetSoftKeyLabel(6, "");
    }
    G_RedrawReq = 1;
}

void OpenMenu() {
    SetAlarmOutput(false);
    ClearArea(kListX, kFirstY, 639, kBottom);
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
    DrawStatusBar();
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    DrawMenu();
}

void RunRow(int32_t row) {
    const int32_t y = kFirstY + kRowStep * (row - 1);
    if (row <= 4 || row == kRowAutoCal) {
        DrawRow(row);
        DrawTextF(kYellow, kListFont, 14, kStateX, y, row <= 4 ? " Running Test " : " ACTIVE ");
        SetSoftKeyLabel(4, "STOP");
        ClearArea(kCursorX, kTestY, kStateX, kTestY + 50);
        if (row <= 4) SerialLoopbackTest(row, kListX, kTestY);
        else AirdataAutoCalScreen(1, kListX, kTestY);
    } else if (row == kRowVor || row == kRowGps) {
        DrawTextF(kBlack, kListFont, 0, kCursorX, y, "*");
        SetSoftKeyLabel(4, "STOP");
        ArincTestScreen(kListX, kTestY, row == kRowGps ? 1 : 0);
        ClearArea(kListX, kFirstY, 639, kBottom);
    } else if (row == kRowColours) {
        const int16_t rect[4] = {195, 41, 550, 459};
        DumpColorIndexes(rect);
    } else {
        return;   // rows 5 and 7 act on the knob
    }
    DrawMenu();
}

void KnobStep(int32_t delta) {
    if (s_menu.nRow == kRowToggle) {
        s_menu.nAlarmOut ^= 1;
        SetAlarmOutput(s_menu.nAlarmOut != 0);
        DrawRow(kRowToggle);
    } else if (s_menu.nRow == kRowAnalog) {
        G_AnalogReadMode = static_cast<uint32_t>(StepOffOn(static_cast<int32_t>(G_AnalogReadMode), delta));
        DrawRow(kRowAnalog);
    }
}

void MoveCursor(int32_t to) {
    if (to < 1 || to > kDiagItems) return;
    const int32_t y = kFirstY + kRowStep * (s_menu.nRow - 1);
    DrawTextF(kBlack, kListFont, 0, kCursorX, y, "*");
    s_menu.nRow = to;
    DrawMenu();
}

// One received byte as the test shows it; a carriage return or the right
// edge starts a new line, and nothing is drawn below the status bar's top.
struct TextCursor {
    int32_t x0, x, y;
};
void ShowReceivedByte(TextCursor& at, uint8_t byte) {
    const char c = IsAlnum(byte) ? static_cast<char>(byte) : '*';
    if (s_loop.nLen < static_cast<int32_t>(sizeof s_loop.szText) - 1) {
        s_loop.szText[s_loop.nLen++] = c;
        s_loop.szText[s_loop.nLen] = 0;
    }
    if (at.y + kRowStep <= kBottom) at.x = DrawTextF(kWhite, kTextFont, 0, at.x, at.y, "%c", c);
    if (byte == '\r' || at.x > 500) {
        at.x = at.x0;
        at.y += kRowStep;
    }
}

}  // namespace

uint32_t LoopbackTotal() { return s_loop.nTotal; }
const char* LoopbackShownText() { return s_loop.szText; }
int32_t DiagMenuRow() { return s_menu.nRow; }
int32_t DiagAlarmOutput() { return s_menu.nAlarmOut; }

void DiagnosticsMenu() {
    s_menu = {};
    s_menu.nRow = 1;
    s_menu.nSampleStamp = ReadOsTimer();
    OpenMenu();
    for (;;) {
        if (G_RedrawReq) DrawStatusBar();
        KickWatchdog(10);
        PollSDCard();
        SampleEvery50ms(s_menu.nSampleStamp);
        const int32_t key = SettingsKey(TakeKey());
        if (key == 1) break;
        if (key == 2) MoveCursor(s_menu.nRow + 1);
        else if (key == 3) MoveCursor(s_menu.nRow - 1);
        else if (key == 4) RunRow(s_menu.nRow);
        if (const int32_t delta = G_Knob0.nDelta) {
            G_Knob0.nDelta = 0;
            KnobStep(delta);
        }
        IdleHook();
    }
    ClearArea(kCursorX, 25, kStateX, kBottom);
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
    DrawStatusBar();
}

void SerialLoopbackTest(int32_t port, int32_t x, int32_t y) {
    if (port < 1 || port > 4) return;
    const uint32_t p = static_cast<uint32_t>(port);
    const uint32_t baud = G_Serial[p].nFunction == 0 ? kBaud9600 : G_Serial[p].nBaudIdx;
    const PortTakeover saved = TakeOverPort(p, kFuncTest, baud, SerialRawFrame, ParseTestSerial);
    RamLogPrintf("Init Port:%d, func:%d\n", port, static_cast<int>(kFuncTest));
    s_loop = {};
    uint32_t sent = 0, sampleStamp = ReadOsTimer(), keyStamp = ReadOsTimer();
    bool stop = false;
    while (!stop) {
        KickWatchdog(10);
        SampleEvery50ms(sampleStamp);
        ClearArea(x, y, 640, kBottom);
        const int32_t after = DrawTextF(kWhite, kTextFont, 0, x, y + 10, "Sending: ");
        DrawTextF(kWhite, kTextFont, 0, after, y + 10, "UART #%d Testing %d", port, static_cast<int>(sent));
        SerialPrintf(p, "UART #%d Testing %d\r\n", port, static_cast<int>(sent));
        ++sent;
        TextCursor at = {x, DrawTextF(kWhite, kTextFont, 0, x, y + 26, "Recieve (%04d): ", static_cast<int>(s_loop.nTotal)),
                         y + 26};
        at.x0 = x;
        s_loop.nLen = 0;
        s_loop.szText[0] = 0;
        const uint32_t window = ReadOsTimer();
        while (!stop && !TicksElapsed(ReadOsTimer(), window, kSetupTicks250ms)) {
            KickWatchdog(10);
            if (TicksElapsed(ReadOsTimer(), keyStamp, kTicksPerMs)) {
                keyStamp = ReadOsTimer();
                stop = TakeKey() == 4;
            }
            SerialPort& sp = G_Serial[p];
            if (sp.bRxPending == 1) {
                sp.bRxPending = 0;
                if (sp.fpFrame != nullptr) sp.fpFrame(p);
            }
            if (const uint32_t n = sp.nRxCount) {
                s_loop.nTotal = (s_loop.nTotal + n) % 10000;
                DrawTextF(kWhite, kTextFont, 0, x, y + 26, "Recieve (%04d): ", static_cast<int>(s_loop.nTotal));
                for (uint32_t i = 0; i < n && i < kFlashBufBytes; ++i) ShowReceivedByte(at, FlashBuf[i]);
                sp.nRxCount = 0;
            }
            IdleHook();
        }
    }
    RestorePort(saved);
    ClearArea(x, y, 640, kBottom);
}

void AirdataAutoCalScreen(int32_t port, int32_t x, int32_t y) {
    if (port < 0 || port > 4) return;
    const uint32_t p = static_cast<uint32_t>(port);
    const PortTakeover saved = TakeOverPort(p, kFuncTest, kBaud9600, NmeaResync, ParseCalSentence);
    DrawTextF(kWhite, kTextFont, 0, x, y + 25, "AUTO CALIBRATION ENABLED");
    const int32_t xm = x + (500 - x) / 2 + 48;
    uint32_t battStamp = ReadOsTimer(), keyStamp = ReadOsTimer();
    for (;;) {
        if (TicksElapsed(ReadOsTimer(), keyStamp, kTicksPerMs)) {
            keyStamp = ReadOsTimer();
            const int32_t key = TakeKey();
            if (key == 4 || key == 1) break;
        }
        if (TicksElapsed(ReadOsTimer(), battStamp, kSetupTicks50ms)) {
            battStamp = ReadOsTimer();
            CheckBattery();
        }
        KickWatchdog(10);
        SetupSampleSteps();
        SerialPort& sp = G_Serial[p];
        if (sp.bRxPending) {
            // Outside administrator mode the sentences are dropped here, so
            // none is left for the port's own parser once it is handed back.
            if (NvGetU32(kNvAdminUser) == 1) {
                sp.bRxPending = 0;
                if (sp.fpFrame != nullptr) sp.fpFrame(p);
            } else {
                DiscardSerialRx(p);
            }
        }
        if (sp.bTxReady == 1) {
            sp.bTxReady = 0;
            SerialTxService(p);
        }
        const InstAd& alt = G_InstAd[kInstAltitude];
        const InstAd& ias = G_InstAd[kInstAirspeed];
        const int32_t temp = G_InstAd[kInstSensorTemp].nAdValue;
        DrawTextF(kWhite, kTextFont, 0, x, y + 40, "ALTITUDE:");
        ShowCalReadout(kInstAltitude, 500, y + 40);
        DrawTextF(kYellow, kListFont, 0, x, y + 55, " Temp: %4d", static_cast<int>(temp));
        DrawTextF(kYellow, kListFont, 2, xm, y + 55, " AD_VALUE: %4d", static_cast<int>(alt.nAdValue - alt.nTempCorr));
        DrawTextF(kYellow, kListFont, 2, 500, y + 55, " AD_TC: %4d", static_cast<int>(alt.nAdValue));
        DrawTextF(kWhite, kTextFont, 0, x, y + 70, "AIRSPEED:");
        ShowCalReadout(kInstAirspeed, 500, y + 70);
        DrawTextF(kYellow, kListFont, 0, x, y + 85, " Temp: %4d", static_cast<int>(temp));
        DrawTextF(kYellow, kListFont, 2, xm, y + 85, " AD_VALUE: %4d", static_cast<int>(ias.nAdValue - ias.nTempCorr));
        DrawTextF(kYellow, kListFont, 2, 500, y + 85, " AD_TC: %4d", static_cast<int>(ias.nAdValue));
        IdleHook();
    }
    RestorePort(saved);
    ClearArea(x, y, 640, kBottom);
}

const NamedColour DiagNamedColours[kDiagNamedColours] = {
    {"GUI_BLUE", 0xFF0000},         {"GUI_GREEN", 0x00FF00},        {"GUI_RED", 0x0000FF},
    {"GUI_CYAN", 0xFFFF00},         {"GUI_MAGENTA", 0xFF00FF},      {"GUI_YELLOW", 0x00FFFF},
    {"GUI_LIGHTBLUE", 0xFF8080},    {"GUI_LIGHTGREEN", 0x80FF80},   {"GUI_LIGHTRED", 0x8080FF},
    {"GUI_LIGHTCYAN", 0xFFFF80},    {"GUI_LIGHTMAGENTA", 0xFF80FF}, {"GUI_LIGHTYELLOW", 0x80FFFF},
    {"GUI_DARKBLUE", 0x800000},     {"GUI_DARKGREEN", 0x008000},    {"GUI_DARKRED", 0x000080},
    {"GUI_DARKCYAN", 0x808000},     {"GUI_DARKMAGENTA", 0x800080},  {"GUI_DARKYELLOW", 0x008080},
    {"GUI_WHITE", 0xFFFFFF},        {"GUI_LIGHTGRAY", 0xD3D3D3},    {"GUI_GRAY", 0x808080},
    {"GUI_DARKGRAY", 0x404040},     {"GUI_BLACK", 0x000000},
};

static bool IsNamedColour(uint32_t rgb) {
    for (const NamedColour& c : DiagNamedColours)
        if (c.nRgb == rgb) return true;
    return false;
}

void DumpColorIndexes(const int16_t rect[4]) {
    const int32_t x0 = rect[0], y0 = rect[1];
    const int32_t cw = (rect[2] - x0) / 16, ch = (rect[3] - y0) / 16;
    DebugPrintf("Color Indexes\n");
    for (const NamedColour& c : DiagNamedColours) {
        SetDrawColor(c.nRgb);
        DebugPrintf("%s:%d\n", c.szName, static_cast<int>(GUI_GetColorIndex()));
    }
    const uint8_t pen = GUI_SetPenSize(1);
    for (int32_t index = 0; index < 256; ++index) {
        const int32_t cx = x0 + 20 + (index % 16) * cw, cy = SetupPageY(y0 + (index / 16) * ch);
        GUI_SetColorIndex(static_cast<uint32_t>(index));
        GUI_FillRect(cx, cy, cx + cw - 1, cy + ch - 1);
        GUI_SetColorIndex(kBlack);
        GUI_SetPenSize(1);
        GUI_DrawRect(cx, cy, cx + cw - 1, cy + ch - 1);
        if (IsNamedColour(GUI_IndexToColor(static_cast<uint32_t>(index)))) {
            GUI_SetColor(0xFFFFFF);
            GUI_SetPenSize(2);
            GUI_DrawRect(cx + 1, cy + 1, cx + cw - 2, cy + ch - 2);
        }
        DrawTextF(kWhite, 4, 15, cx + 2, y0 + (index / 16) * ch + 1, "%d", static_cast<int>(index));
    }
    GUI_SetPenSize(pen);
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    uint32_t battStamp = ReadOsTimer(), keyStamp = ReadOsTimer();
    // The key that ends the chart stays in the mailbox for the menu.
    while (G_KeyEvent == 0) {
        if (TicksElapsed(ReadOsTimer(), keyStamp, kTicksPerMs)) {
            keyStamp = ReadOsTimer();
            KickWatchdog(10);
        }
        if (TicksElapsed(ReadOsTimer(), battStamp, kSetupTicks50ms)) {
            battStamp = ReadOsTimer();
            CheckBattery();
        }
        IdleHook();
    }
}
