#include "core/timefmt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/audio.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/util.h"
#include "gui/gui.h"
#include "gui/text.h"
#include "platform/hw.h"
#include "storage/clockmem.h"
#include "ui/keys.h"
#include "ui/style.h"

int32_t  G_TimerSec = 0;
uint32_t G_TimerRun = 0;
int32_t  G_TimerDir = 1;

static char s_timeText[2][32];
static uint32_t s_blink = 0;

constexpr uint32_t kWhite = 31, kGreen = 5;
constexpr int32_t kClockFont = 11, kClockStyle = 18;

uint32_t RtcSeconds() { return HwRead32(RCNR); }
uint32_t RtcMinutes() { return (RtcSeconds() / 60) % 60; }
uint32_t RtcHours() { return RtcSeconds() / 3600 % 24; }

// Milliseconds since the last second, from the OS timer.
static int SecondMs() {
    uint32_t ticks = ReadOsTimer() - G_SecondStamp;
    return static_cast<int>((ticks + kTicksPerMs / 2) / kTicksPerMs % 1000);
}

const char* FormatTime(int32_t kind) {
    char* out = s_timeText[(kind >= 4 && kind <= 7) ? 1 : 0];
    size_t size = sizeof s_timeText[0];
    int h = static_cast<int>(RtcHours()), m = static_cast<int>(RtcMinutes()), s = static_cast<int>(RtcSeconds() % 60);
    switch (kind) {
    case 1: std::snprintf(out, size, "%02d:%02d:%02d %s", h, m, s, "L "); break;
    case 2: std::snprintf(out, size, "%02d:%02d:%02d %s", (h - G_UtcOffset + 24) % 24, m, s, "Z "); break;
    case 4: std::snprintf(out, size, "%02d:%02d:%02d.%03d", h, m, s, SecondMs()); break;
    case 5:
        std::snprintf(out, size, "%02d/%02d/%02d @ %02d:%02d:%02d", static_cast<int>(G_DateTime.nMonth),
                      static_cast<int>(G_DateTime.nDay), static_cast<int>(G_DateTime.nYear), h, m, s);
        break;
    case 6: std::snprintf(out, size, "%02d:%02d:%02d", h, m, s); break;
    case 7: std::snprintf(out, size, "%d.%03d", static_cast<int>(G_UptimeSec), SecondMs()); break;
    default: {
        int h12 = h % 12 == 0 ? 12 : h % 12;
        std::snprintf(out, size, "%2d:%02d:%02d %s", h12, m, s, h < 12 ? "AM" : "PM");
        break;
    }
    }
    return out;
}

// One segment of the clock-setting line in inverted text: the glyphs in the
// background colour on a cell of the line's colour. Returns the cursor's x.
static int32_t InvertedSegment(int32_t x, int32_t y, const char* text) {
    const uint16_t mode = GUI_GetTextMode(), align = GUI_GetTextAlign();
    const uint32_t fg = GUI_GetColorIndex(), bg = GUI_GetBkColorIndex();
    const GUI_Font* font = GUI_GetFont();
    SelectFont(kClockFont);
    SetDrawColor(kWhite);
    GUI_SetBkColorIndex(0);
    GUI_SetTextMode(GUI_DM_REV);
    GUI_SetTextAlign(GUI_TA_LEFT);
    GUI_DrawTextAt(text, x, y + static_cast<int32_t>(G_FlipCtl.nDrawPageY));
    const int32_t end = GUI_GetTextPosX();
    GUI_SetTextMode(mode);
    GUI_SetTextAlign(align);
    GUI_SetColorIndex(fg);
    GUI_SetBkColorIndex(bg);
    GUI_SetFont(font);
    return end;
}

void FormatClockLine(int32_t x, int32_t y) {
    if (G_ClockEdit > 5) {
        DrawTextF(kWhite, kClockFont, kClockStyle, x, y, "%s", FormatTime(G_ClockFormat));
        return;
    }
    // The editor's hours and minutes (the running clock goes on underneath),
    // then the date and offset; the edited field is the inverted segment.
    char field[6][8];
    std::snprintf(field[0], sizeof field[0], "%02d", static_cast<int>(G_EditHour % 100));
    std::snprintf(field[1], sizeof field[1], "%02d", static_cast<int>(G_EditMinute % 100));
    std::snprintf(field[2], sizeof field[2], "%d", static_cast<int>(G_DateTime.nMonth % 100));
    std::snprintf(field[3], sizeof field[3], "%d", static_cast<int>(G_DateTime.nDay % 100));
    std::snprintf(field[4], sizeof field[4], "%d", static_cast<int>(G_DateTime.nYear % 10000));
    std::snprintf(field[5], sizeof field[5], "%+d", static_cast<int>(G_UtcOffset));
    static const char* const kAfter[6] = {":", ":00  ", "/", "/", "  ", ""};
    char before[48] = "", after[48] = "";
    const uint32_t edited = G_ClockEdit;
    for (uint32_t i = 0; i < 6; ++i) {
        char* out = i < edited ? before : after;
        if (i != edited) std::strncat(out, field[i], sizeof before - std::strlen(out) - 1);
        if (i != 5) std::strncat(i < edited ? before : after, kAfter[i], sizeof before - std::strlen(out) - 1);
    }
    // Transparent: the pane under the line shows through, whatever background
    // colour the context was left with.
    int32_t cx = x;
    if (before[0]) cx = DrawTextF(kWhite, kClockFont, kClockStyle, cx, y, "%s", before);
    cx = InvertedSegment(cx, y, field[edited]);
    if (after[0]) DrawTextF(kWhite, kClockFont, kClockStyle, cx, y, "%s", after);
}

// ---- the pilot's timer -------------------------------------------------------------

static int32_t Clamp(int32_t v) { return v < 0 ? 0 : v > kTimerMax ? kTimerMax : v; }

static void StorePreset() {
    G_ClockMem[kRegTimerPreset] = static_cast<uint8_t>(G_TimerSec);
    G_ClockMem[kRegTimerPreset + 1] = static_cast<uint8_t>(G_TimerSec >> 8);
    WriteClockMem(&G_ClockMem[kRegTimerPreset], kRegTimerPreset, 2);
}

void TimerInit() {
    G_TimerSec = 0;
    G_TimerRun = 0;
    G_TimerDir = 1;
}

void TimerStart() { G_TimerRun = 1; }
void TimerStop() { G_TimerRun = 0; }

void TimerAdjust(int32_t delta) {
    G_TimerSec = Clamp(G_TimerSec + delta);
    StorePreset();
}

void TimerSet(int32_t value) {
    G_TimerSec = Clamp(value);
    StorePreset();
}

void TimerToggleDir() { G_TimerDir = -G_TimerDir; }

void TimerReset() {
    if (G_TimerDir > 0) G_TimerSec = 0;
    else G_TimerSec = G_ClockMem[kRegTimerPreset] | G_ClockMem[kRegTimerPreset + 1] << 8;
}

void TimerTick() {
    if (!G_TimerRun) return;
    G_TimerSec += G_TimerDir;
    if (G_TimerDir < 0 && G_TimerSec == 0) {
        PlaySound(kTimerSound);
        DebugPrintf("Timer\n");
    }
}

// The counting direction beside the timer: up or down, filled in colour 31.
static void DrawTimerArrow(int32_t x, int32_t y) {
    static const GUI_Point kUp[9] = {{-4, 0}, {-8, 4}, {-8, 5}, {-5, 5}, {-5, 9}, {-3, 9}, {-3, 5}, {0, 5}, {0, 4}};
    static const GUI_Point kDown[9] = {{-4, 12}, {-8, 8}, {-8, 7}, {-5, 7}, {-5, 3}, {-3, 3}, {-3, 7}, {0, 7}, {0, 8}};
    const uint32_t fg = GUI_GetColorIndex();
    SetDrawColor(kWhite);
    GUI_FillPolygon(G_TimerDir < 0 ? kDown : kUp, 9, x, y + static_cast<int32_t>(G_FlipCtl.nDrawPageY));
    GUI_SetColorIndex(fg);
}

void FormatTimerDisplay(int32_t x, int32_t y) {
    int v = G_TimerSec;
    char sign = v < 0 ? '-' : ' ';
    int mm = std::abs(v / 60) % 100, ss = std::abs(v % 60);
    if (v > 0 || (v == 0 && G_TimerDir > 0)) {
        DrawTextF(kWhite, kClockFont, kClockStyle, x, y, "%c%02d:%02d T ", sign, mm, ss);
    } else {
        // Expired: blinks green and white, with a blank frame every 20.
        ++s_blink;
        if (s_blink < 10) DrawTextF(kGreen, kClockFont, kClockStyle, x, y, "%c%02d:%02d T ", sign, mm, ss);
        else if (s_blink < 20) DrawTextF(kWhite, kClockFont, kClockStyle, x, y, "%c%02d:%02d T ", sign, mm, ss);
        else s_blink = 0;
    }
    DrawTimerArrow(x + 90, y);
}
