// The ARINC adapter test pages of the diagnostics menu: the adapter's data
// routed into navigation slot 0, its output frame sent every 50 ms with the
// knob's heading, and one line per label as the adapter parser decoded it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "gui/gui.h"
#include "gui/text.h"
#include "nav/arinc.h"
#include "nav/navsrc.h"
#include "setup/arinctest.h"
#include "setup/porttake.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "storage/sdcard.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

namespace {

constexpr uint32_t kWhite = 31, kRed = 2, kBlue = 8, kDarkGrey = 21;
constexpr int32_t kFont = 8;
constexpr int32_t kWordX = 210, kNameX = 290, kValueX = 410, kHdgX = 570, kHdgY = 440;
constexpr uint32_t kNoPortWaitTicks = 20 * kTicksPerSecond - 1;
constexpr uint32_t kAfterVersionAskTicks = 36860;   // 10 ms
constexpr int32_t kNoLabel = -1;
// The adapter parser keeps no phase or course-source code: their names stay blank.
constexpr int32_t kCodeNotDecoded = -1;

const char kManufacturerNames[30][16] = {
    "Unknown", " ", "Beech", "Bendix", " ", "Cessna", "Collins", "Delco", "Foster Rnav", "Gable",
    "Global", "Gulfstream", "Honeywell", "King Radio", "LearJet", "LittonAero", " ", " ", " ", " ",
    "3M Aviation", "AlliedSignal", "", "BF Goodrich", "Garmin", "Arnav", "", "Ryan", "", "",
};
const char kEquipmentNames[20][32] = {
    "Unknown", "Flight Control Comp.", "Flight Mgmt. Comp", "", "Inertial Reference System", "AHRS",
    "AirData System", "", "", "", "", "GPS", "", "", "", "", "Airborne ILS Reciever", "Airborne VOR Reciever",
    "", "",
};
const char kPhaseNames[6][4] = {"ENR", "TRM", "APR", " ", "OCN", " "};
const char kCourseSourceNames[4][5] = {" ", "GPS", "VLOC", " "};

template <size_t N, size_t W>
const char* NameOf(const char (&table)[N][W], int32_t code) {
    return (code >= 0 && static_cast<size_t>(code) < N) ? table[code] : "";
}

// A value line's text from the adapter record.
using ValueFn = void (*)(const ArincAdapterRec& rec, char* out, size_t size);

struct LabelLine {
    int32_t     y;
    const char* name;
    int32_t     label;   // index into the record's labels; kNoLabel: a field the adapter parser does not decode
    bool        white;   // drawn white whatever its status
    ValueFn     value;
};

int32_t Value(const ArincAdapterRec& rec, int32_t label) { return rec.label[label].nValue; }

void DateTimeText(const ArincAdapterRec& rec, char* out, size_t size) {
    const int32_t d = Value(rec, kAl260);
    // The adapter parser decodes the date only: the time stays dashed.
    std::snprintf(out, size, "%02d/%02d/%d   --:--:--", d / 10000, d / 100 % 100, 2000 + d % 100);
}
void FlagsText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "integrity: %s   phase: %s", rec.nGpsInteg ? "OK" : "Fail", ArincPhaseName(kCodeNotDecoded));
}
void CourseText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%04d   %s", Value(rec, kAl100), ArincCourseSourceName(kCodeNotDecoded));
}
void DesiredTrackText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%04d true     ", Value(rec, kAl114));
}
void BearingText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%04d    ", Value(rec, kAl115));
}
void CrossTrackText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%d  Naut Mi", Value(rec, kAl116));
}
void LateralScaleText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%d  nM  ", Value(rec, kAl326));
}
void VertDevText(const ArincAdapterRec& rec, char* out, size_t size) {
    const int32_t dev = Value(rec, kAl117);
    std::snprintf(out, size, "%d ft  %s %s %s", dev, std::abs(dev) > 1000 ? ">1K" : " ", " ", " ");
}
void VertScaleText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%d  ft   ", Value(rec, kAl327));
}
void LatLonText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%.4f  %.4f", Value(rec, kAl310) / 262144.0, Value(rec, kAl311) / 262144.0);
}
void HeadingText(const ArincAdapterRec& rec, char* out, size_t size) {
    const int32_t var = Value(rec, kAl147);   // east positive
    std::snprintf(out, size, "%04d   var: %d %c", Value(rec, kAl320), std::abs(var), var >= 0 ? 'E' : 'W');
}
void GroundSpeedText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%d  kts", Value(rec, kAl312));
}
void TrackText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%04d true      ", Value(rec, kAl313));
}
void DistanceText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%04d     ", Value(rec, kAl251));
}
void RollSteerText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%04d       ", Value(rec, kAl121));
}
void FrequencyText(const ArincAdapterRec& rec, char* out, size_t size) {
    const int32_t f = Value(rec, kAl034);   // 10 kHz
    // No ILS flag is decoded: every frequency reads as a VOR's.
    std::snprintf(out, size, "%d.%02d   %s", f / 100, f % 100, "VOR");
}
void OmnibearingText(const ArincAdapterRec& rec, char* out, size_t size) {
    std::snprintf(out, size, "%04d", Value(rec, kAl222));
}
void DeviationText(int32_t dev, char lowSide, char highSide, char* out, size_t size) {
    std::snprintf(out, size, "%d   %c", dev, dev < 0 ? lowSide : dev > 0 ? highSide : ' ');
}
void LocalizerText(const ArincAdapterRec& rec, char* out, size_t size) {
    DeviationText(Value(rec, kAl173), 'L', 'R', out, size);
}
void GlideslopeText(const ArincAdapterRec& rec, char* out, size_t size) {
    DeviationText(Value(rec, kAl174), 'D', 'U', out, size);
}

const LabelLine kGpsLines[] = {
    {128, "Date/Time: ", kAl260, true, DateTimeText},
    {146, "Equipment: ", kNoLabel, true, nullptr},
    {164, "Flags: ", kAl261, false, FlagsText},
    {182, "Course(x10): ", kAl100, false, CourseText},
    {200, "Des.Track(x10): ", kAl114, false, DesiredTrackText},
    {218, "WP Bearing(x10): ", kAl115, false, BearingText},
    {236, "CrossTrk(x100): ", kAl116, false, CrossTrackText},
    {254, "Lat Scl Fctr(x100): ", kAl326, false, LateralScaleText},
    {272, "Vert. Dev.: ", kAl117, false, VertDevText},
    {290, "Vert Scale Fctr: ", kAl327, false, VertScaleText},
    {308, "Lat/Lon: ", kAl310, false, LatLonText},
    {326, "Mag Heading(x10): ", kAl320, false, HeadingText},
    {344, "Ground Speed(x10): ", kAl312, false, GroundSpeedText},
    {362, "Track(x10): ", kAl313, false, TrackText},
    {380, "Dist to WP(x10): ", kAl251, false, DistanceText},
    {398, "Time to WP: ", kNoLabel, false, nullptr},
    {416, "To WP ID: ", kNoLabel, false, nullptr},
    {434, "RollSteer(x100): ", kAl121, false, RollSteerText},
};
const LabelLine kVorLines[] = {
    {128, "Equipment: ", kNoLabel, true, nullptr},
    {146, "Frequency: ", kAl034, true, FrequencyText},
    {164, "BrngToAct(x10): ", kAl222, false, OmnibearingText},
    {182, "Course(x10): ", kAl100, false, CourseText},
    {200, "Localizer: ", kAl173, false, LocalizerText},
    {218, "Glideslope: ", kAl174, false, GlideslopeText},
};

struct ArincTestState {
    uint32_t nPort;
    int32_t  nHeading;
    uint32_t nCount;
    char     lines[kArincTestLines][80];   // what each label line shows
    uint32_t colour[kArincTestLines];
};
ArincTestState s_test;

void ClearPage() { GUI_ClearRect(210, SetupPageY(41), 639, SetupPageY(459)); }

int32_t TakeKey() {
    const int32_t key = G_KeyEvent;
    G_KeyEvent = 0;
    return key;
}

void DrawLine(int32_t at, const LabelLine& line, const ArincAdapterRec& rec) {
    char value[64] = "";
    const ArincLabelData* d = line.label == kNoLabel ? nullptr : &rec.label[line.label];
    uint32_t colour = kDarkGrey;
    if (d != nullptr && d->nWord != 0) {
        colour = (!line.white && d->nSsm < 2) ? kRed : kWhite;
        line.value(rec, value, sizeof value);
    }
    // Short of the heading at x 570, which the last line's band reaches.
    GUI_ClearRect(kWordX, SetupPageY(line.y), kHdgX - 5, SetupPageY(line.y + 15));
    if (colour == kDarkGrey) DrawTextF(colour, kFont, 0, kWordX, line.y, "--------");
    else DrawTextF(colour, kFont, 0, kWordX, line.y, "%08X  ", static_cast<unsigned>(d->nWord));
    DrawTextF(colour, kFont, 0, kNameX, line.y, "%s", line.name);
    if (value[0] != 0) DrawTextF(colour, kFont, 0, kValueX, line.y, "%s", value);
    std::snprintf(s_test.lines[at], sizeof s_test.lines[at], "%s|%s", line.name, value);
    s_test.colour[at] = colour;
}

void DrawView(int32_t kind, const ArincAdapterRec& rec) {
    const char* heading = kind == 1 ? "GPS data" : "VOR data";
    const int32_t end = DrawTextF(kBlue, kFont, 0, 210, 110, "%s", heading);
    GUI_SetColorIndex(kBlue);
    GUI_DrawHLine(SetupPageY(118), end + 8, 500);
    const LabelLine* lines = kind == 1 ? kGpsLines : kVorLines;
    const int32_t n = kind == 1 ? static_cast<int32_t>(sizeof kGpsLines / sizeof kGpsLines[0])
                                : static_cast<int32_t>(sizeof kVorLines / sizeof kVorLines[0]);
    for (int32_t i = 0; i < n; ++i) DrawLine(i, lines[i], rec);
}

void DrawStatusLines(const ArincAdapterRec& rec) {
    char version[sizeof rec.szVersion] = {};
    std::memcpy(version, rec.szVersion, sizeof version - 1);   // never past the record's own text
    DrawTextF(kWhite, kFont, 0, 210, 56, "ARINC adapter is alive.");
    GUI_ClearToEOL();
    DrawTextF(kWhite, kFont, 0, 210, 74, "Software version: %s", version);
    GUI_ClearToEOL();
    DrawTextF(kWhite, kFont, 0, 210, 92, "Message Count:  %d", static_cast<int>(s_test.nCount));
    GUI_ClearToEOL();
}

void DrawHeading() { DrawTextF(kWhite, kFont, 0, kHdgX, kHdgY, "%03d     ", static_cast<int>(s_test.nHeading)); }

void NoPortMessage() {
    DebugPrintf("ERROR: No Arinc Port Assigned\n");
    DrawTextF(kWhite, kFont, 0, 210, 56, "No Arinc Port Assigned.");
    DrawTextF(kWhite, kFont, 0, 210, 74, "Check items 10,11,12 in Admin Settings menu.");
    DrawTextF(kWhite, kFont, 0, 210, 92, "Press any key to return.");
    KickWatchdog(25);
    const uint32_t start = ReadOsTimer();
    while (!TicksElapsed(ReadOsTimer(), start, kNoPortWaitTicks))
        if (TakeKey() != 0) break;
        else IdleHook();
}

void SendTestFrame(uint32_t port) {
    G_AhrsState.nAttState = kAttNormal;
    G_Ahrs.nHeading = s_test.nHeading * 10;
    G_NavSrc.rec[0].nCourse = static_cast<int16_t>(s_test.nHeading);
    SendArincFrame(port);
}

}  // namespace

const char* ArincManufacturerName(int32_t code) { return NameOf(kManufacturerNames, code); }
const char* ArincEquipmentName(int32_t code) { return NameOf(kEquipmentNames, code); }
const char* ArincPhaseName(int32_t code) { return NameOf(kPhaseNames, code); }
const char* ArincCourseSourceName(int32_t code) { return NameOf(kCourseSourceNames, code); }

uint32_t ArincTestPort() { return s_test.nPort; }
int32_t ArincTestHeading() { return s_test.nHeading; }
uint32_t ArincTestCount() { return s_test.nCount; }
const char* ArincTestLine(int32_t i) { return (i >= 0 && i < kArincTestLines) ? s_test.lines[i] : ""; }
uint32_t ArincTestColour(int32_t i) { return (i >= 0 && i < kArincTestLines) ? s_test.colour[i] : 0; }

void ArincTestScreen(int32_t, int32_t, int32_t kind) {
    DebugPrintf("Entering ARINC test\n");
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    ClearPage();
    GUI_SetColor(0xFF0000);
    GUI_DrawHLine(SetupPageY(48), 210, 610);
    s_test = {};
    const uint32_t port = FindArincPort();
    s_test.nPort = port;
    if (port == 0) {
        NoPortMessage();
    } else {
        DrawTextF(kWhite, kFont, 0, 210, 56, "Looking for ARINC adapter...");
        const uint8_t savedSrc = G_NavSrc.hdr.nPort[0];
        G_NavSrc.hdr.nPort[0] = static_cast<uint8_t>(port);
        SendArincCmd(port, 11);
        DelayTicks(kAfterVersionAskTicks);
        SetSoftKeyLabel(1, "RETURN");
        for (int32_t key = 2; key <= 5; ++key) SetSoftKeyLabel(key, key == 4 ? "STOP" : "");
        SetSoftKeyLabel(6, "HDG");
        DrawStatusBar();
        DrawHeading();
        SerialPort& sp = G_Serial[port];
        for (;;) {
            const int32_t key = TakeKey();
            if (key == 1 || key == 4) break;
            KickWatchdog(10);
            PollSDCard();
            if (const int32_t delta = G_Knob0.nDelta) {
                G_Knob0.nDelta = 0;
                int32_t h = (s_test.nHeading + delta) % 360;
                s_test.nHeading = h < 0 ? 359 : h;
                DrawHeading();
            }
            if (TicksElapsed(ReadOsTimer(), sp.nLastArincTx, kSetupTicks50ms)) {
                sp.nLastArincTx = ReadOsTimer();
                SendTestFrame(port);
            }
            if (sp.bRxPending == 1) {
                sp.bRxPending = 0;
                if (sp.fpFrame != nullptr) sp.fpFrame(port);
            }
            if (sp.nRxCount != 0) {
                sp.nRxCount = 0;
                s_test.nCount = (s_test.nCount + 1) % 10000;
                const ArincAdapterRec& rec = *ArincInputRec(port);
                DrawStatusLines(rec);
                DrawView(kind, rec);
            }
            IdleHook();
        }
        G_NavSrc.hdr.nPort[0] = savedSrc;
    }
    ClearPage();
    G_CurPage = kPageSetupInputs;
    const char* keys[7] = {"", "RETURN", "NEXT", "PREV", "SELECT", "", ""};
    for (int32_t key = 1; key <= 6; ++key) SetSoftKeyLabel(key, keys[key]);
    DrawStatusBar();
}
