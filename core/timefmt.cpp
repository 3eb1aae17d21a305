#include "core/timefmt.h"

#include <cstdio>
#include <cstdlib>

#include "core/audio.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/util.h"
#include "platform/hw.h"
#include "storage/clockmem.h"
#include "ui/keys.h"

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

void FormatClockLine(int32_t x, int32_t y) {
    // The field being edited is drawn inverted once the text modes exist;
    // until then the line is drawn whole.
    int d = static_cast<int>(G_DateTime.nDay), mo = static_cast<int>(G_DateTime.nMonth);
    int yr = static_cast<int>(G_DateTime.nYear), off = G_UtcOffset;
    // Transparent: the pane under the line shows through, whatever background
    // colour the context was left with.
    if (G_ClockEdit <= 5)
        DrawTextF(kWhite, kClockFont, kClockStyle, x, y, "%02d:%02d:00  %d/%d/%d  %+d", static_cast<int>(G_DateTime.nHours),
                  static_cast<int>(G_DateTime.nMinutes), mo, d, yr, off);
    else
        DrawTextF(kWhite, kClockFont, kClockStyle, x, y, "%s", FormatTime(G_ClockFormat));
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
    // The direction arrow at x + 90 needs the polygon fill of the graphics library.
}
