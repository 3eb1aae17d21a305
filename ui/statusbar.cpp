#include "ui/statusbar.h"

#include <cstdio>
#include <cstring>

#include "core/alarm.h"
#include "core/battery.h"
#include "core/boot.h"
#include "core/discrete.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/timefmt.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "engine/lean.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "map/map.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"
#include "setup/auxpages.h"
#include "storage/nvram.h"
#include "storage/screendump.h"
#include "storage/sdcard.h"
#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/popup.h"
#include "ui/style.h"

uint32_t  G_RedrawReq = 0;
char      G_SoftKeyLabel[8][16] = {};
StatusMsg G_StatusMsg = {};
uint32_t  G_ScreenDumpLatch = 0;

constexpr int32_t kBarTop = 460, kBarBottom = 479, kBarCompose = 1420;
constexpr int32_t kLabelX[7] = {0, 83, 178, 273, 368, 463, 578};

static bool Installed(int stream) { return G_NetStreamCfg[stream].INST != 0; }

static void Label(int key, const char* text) {
    std::snprintf(G_SoftKeyLabel[key], sizeof G_SoftKeyLabel[key], "%s", text);
}

static void Labels(const char* k2, const char* k3, const char* k4, const char* k5) {
    Label(2, k2);
    Label(3, k3);
    Label(4, k4);
    Label(5, k5);
}

static const char* OnOff(uint32_t on, const char* yes, const char* no) { return on ? yes : no; }

// ---- labels ---------------------------------------------------------------------------------

// The current alarm's name: the instrument's, the pilot's label of a discrete
// input ("INPUT n" when it has none), or the fuel check.
static const char* AlarmName(int32_t slot, char* buf, size_t n) {
    if (slot >= 0 && slot < kInstruments) std::snprintf(buf, n, "%s", InstrumentNames[slot]);
    else if (slot >= 48 && slot <= 50 && G_DiscreteIn.input[slot - 48].szLabel[0] != 0)
        std::snprintf(buf, n, "%s", G_DiscreteIn.input[slot - 48].szLabel);
    else if (slot >= 48 && slot <= 50) std::snprintf(buf, n, "INPUT %d", static_cast<int>(slot - 47));
    else std::snprintf(buf, n, "FUEL CHECK");
    return buf;
}

static bool AlarmCurrent() { return G_AlarmCur >= 0 && G_AlarmCur < 52; }

static void SlotName(char* out, const char* prefix, uint32_t slot) {
    const char* name = "NONE";
    if (slot < kNavSlots) {
        const NavSrcRec& r = G_NavSrc.rec[slot];
        if (r.nKind != kNavKindNone && r.bInUse && r.nKind < kNavKinds) name = NavSrcKindNames[r.nKind];
    }
    std::snprintf(out, 16, "%s%s", prefix, name);
}

static void CdiLabel(char* out) {
    const uint32_t slot = G_NavSrc.hdr.nCrsSlot;
    if (slot >= kNavSlots || !G_NavSrc.rec[slot].bInUse) {
        std::snprintf(out, 16, " --- ");
        return;
    }
    static const char* const kCdi[] = {"CDI AUTO", "CDI GPS", "CDI NAV", "CDI AUTO"};
    std::snprintf(out, 16, "%s", kCdi[(G_NavSrc.hdr.nFlags0 >> 2) & 3]);
}

static bool PageHasEngine(int32_t p) {
    if (p == 2 || p == 5) return false;
    if (p == 7 || p == 8) return G_MapShowEngine != 0;
    return true;
}

static void MainDefaults() {
    const int32_t p = G_CurPage;
    Label(2, MapPaneShown() ? "MAP" : "TIMER");
    const bool engine = Installed(kStreamEngine) && PageHasEngine(p);
    Label(3, engine ? "ENGINE" : "");
    const bool efis = (Installed(kStreamAir) || Installed(kStreamAhrs)) && p != 1 &&
                      (!(p == 7 || p == 8) || G_MapAirOn);
    Label(4, efis ? "EFIS" : "");
    Label(5, "CHECK");
}

static const char* LateralLabel() {
    switch (G_NVRam[kNvNavMode]) {
    case 1: return "LAT HDG";
    case 2: return "LAT NAV";
    case 3: return "LAT ARM";
    default: return "LAT OFF";
    }
}

static const char* VerticalLabel() {
    switch (G_NVRam[kNvApVertMode]) {
    case 4: return "VER ALT";
    case 5: return "VER VNAV";
    case 6: return "VER ARM";
    default: return "VER OFF";
    }
}

static bool MenuLabels() {
    const bool ahrs = Installed(kStreamAhrs);
    char a[16], b[16], c[16];
    switch (G_MenuState) {
    case 2: Labels(G_TimerRun ? "STOP" : "START", "RESET", "CLOCK", "UP/DN"); return true;
    case 3:
        Labels("FUEL", LeanAssistAvailable() ? "EGT/CHT" : "", G_Fadec.nPresent != 0 ? "FADEC" : "", "OAT C/F");
        return true;
    case 4: Labels("SETTINGS", ahrs ? "NAVIGATION" : "", "TIMER", "AP/FD"); return true;
    case 6: Labels("NRST", "-D->", "SETTINGS", "CHECK"); return true;
    case 24: Labels(G_ClockEdit == 10 ? "FORMAT" : "", G_ClockEdit == 10 ? "SET" : "SAVE", "NET SYNC", ""); return true;
    case 32: Labels("MODE", "FILL MAINS", "FILL ALL", "ADJ."); return true;
    case 33: Labels("MODE", G_LeanMode == 1 ? "PK DET ON" : "PK DET OFF", "", ""); return true;
    case 34: Labels("", "", "", ""); return true;
    case 42:
        Labels("MORE", ahrs ? "G METER" : "", "OAT C/F", Installed(kStreamAoa) ? "AOA" : "");
        return true;
    case 43:
        SlotName(a, "CRS/", G_NavSrc.hdr.nCrsSlot);
        SlotName(b, "BRG/", G_NavSrc.hdr.nBrgSlot);
        CdiLabel(c);
        Labels(a, b, c, "BUGS");
        return true;
    case 45:
        Labels("SETTINGS", LateralLabel(), VerticalLabel(), OnOff(G_Autopilot.bFlightDirector, "FLTDIR ON", "FLTDIR OFF"));
        return true;
    case 62: case 63:
        Labels(G_WptDb.nSelKind == kWptAirport ? "INFO" : "", "CHART", "STOPNAV", "GOTO");
        return true;
    case 64:
        SlotName(a, "SRC/", G_NavSrc.hdr.nMapSrcSlot);
        Labels("MORE", OnOff(G_MapTerrOn, "TERR ON", "TERR OFF"), OnOff(G_NexradOn, "NXRD ON", "NXRD OFF"), a);
        return true;
    case 422:
        Labels(ahrs ? "AHRS" : "", ahrs ? "TARGET" : "",
               ahrs ? OnOff(NvGetU32(kNvWindsGaugeOn), "WIND ON", "WIND OFF") : "", "(PAGE LIST)");
        return true;
    case 423: Labels("RESET", OnOff(NvGetU32(kNvGMeterOn), "METER ON", "METER OFF"), "", ""); return true;
    case 425: {
        const uint32_t v = 2 * NvGetU32(kNvAoaGaugeOn) + NvGetU32(kNvAoaDeclutterOn);
        Labels(v == 0 ? "AOA OFF" : (v <= 2 ? "AOA ON" : "AOA DCLTR"), "AOA CAL", "", "");
        return true;
    }
    case 435: {
        const uint8_t f = G_NavSrc.hdr.nFlags0;
        Labels(OnOff(f & 0x10, "HDG ON", "HDG OFF"), OnOff(f & 0x20, "ALT ON", "ALT OFF"),
               OnOff(f & 0x40, "SPD ON", "SPD OFF"), "SYNC BUGS");
        return true;
    }
    case 452: Labels("LATERAL", "VERTICAL", "MIN SPD", "MAX SPD"); return true;
    case 622: case 632: Labels("METAR", "CHART", "", "GOTO"); return true;
    case 633: Labels("", "PREV", "NEXT", "GOTO"); return true;
    case 642:
        Labels(OnOff(G_MapPvtOn, "PVT ON", "PVT OFF"), OnOff(G_MapIntsOn, "INTS ON", "INTS OFF"),
               OnOff(G_MapAirOn, "AIR ON", "AIR OFF"), OnOff(G_MapShowEngine, "ENGINE ON", "ENGINE OFF"));
        return true;
    case 4222: Labels("HDG ADJ.", "ROLL ADJ.", "MAG ALIGN", NvGetU32(kNvAdminUser) ? "DEBUG" : ""); return true;
    case 4225: Labels("NEXT", "", "KNOBLIST", "SAVE"); return true;
    case 4253: Labels("PAGE", "RECORD", "", ""); return true;
    case 4522: Labels("ROLLGAIN", "LOCGAIN", "", ""); return true;
    case 4523: Labels("ALTGAIN", "GSGAIN", "FDGAIN", ""); return true;
    case 42224: {
        const uint32_t n = G_MagAlignStep;   // the steps that wait for the pilot's key
        Labels("", (n == 1 || n == 3 || n == 9 || n == 12) ? "CONTINUE" : "START", "", "");
        return true;
    }
    case 42225:
        Labels(OnOff(NvGetU32(kNvAhrsDebug), "DEBUG ON", "DEBUG OFF"), "", "",
               NvGetU32(kNvAdminUser) ? OnOff(G_AhrsState.nAiding, "AIDING OFF", "AIDING ON") : "");
        return true;
    case 42254: Labels("NEXT", G_KnobPushSel ? "TURN SEL" : "PUSH SEL", "PAGELIST", "SAVE"); return true;
    default: return false;
    }
}

static void KeyOneLabel() {
    char buf[16];
    if (AlarmCurrent()) Label(1, AlarmName(G_AlarmCur, buf, sizeof buf));
    else if (G_MenuState == 0) Label(1, "PAGE");
    else if (G_CurPage == 8 && G_MenuState == 6 && !Installed(kStreamAir) && !Installed(kStreamAhrs) &&
             !Installed(kStreamEngine))
        Label(1, "");
    else Label(1, "RETURN");
}

// Keys 2..5 and the knob label of the auxiliary pages, by page and menu state.
static void AuxLabels() {
    const uint32_t idx = G_AuxPageIdx;
    Labels("", "", "", "");
    Label(6, "");
    if (idx < kAuxChecklists) {
        Labels("MAINT.", "BALANCE", "PREV PG", "NEXT PG");
        UpdateKnobLabel();
    } else if (idx == kAuxMaint) {
        const bool ground = !AuxInFlight();
        switch (G_MenuState) {
        case kMenuMaint: Labels("", "ADMIN", "PREV", "NEXT"); Label(6, "(ABOUT)"); break;
        case kMenuMaintLogs:
            Labels(ground ? "DATA LOGS" : "", "SYS LOGS", ground ? "CALIBRATION" : "", "UPDATE");
            break;
        case kMenuDataLog: {
            Labels("", "", "START", "CANCEL");
            char time[16];
            std::snprintf(time, sizeof time, "%d:%02d", static_cast<int>(G_LogMinutes / 60),
                          static_cast<int>(G_LogMinutes % 60));
            Label(6, time);
            break;
        }
        case kMenuSysLog: Labels("", "", "START", "CANCEL"); break;
        case kMenuUpdate: Labels("", "YES", "CANCEL", ""); break;
        default: break;
        }
    } else if (idx == kAuxBalance || idx == kAuxStations) {
        Labels("PREV", "NEXT", idx == kAuxBalance ? "STATIONS" : "BALANCE", "SAVE");
        Label(6, "<-(NEXT)->");
    }
}

static void SetupLabels(const char* const (&l)[6]) {
    for (int i = 0; i < 5; ++i) Label(i + 1, l[i]);
    Label(6, l[5]);
    Label(7, "");
}

void UpdateSoftKeys() {
    const int32_t p = G_CurPage;
    if ((p >= 1 && p <= 9) || p == 17 || p == 20 || (p >= 30 && p <= 37)) {
        KeyOneLabel();
        if (!MenuLabels()) MainDefaults();
        UpdateKnobLabel();
    } else if (p >= 10 && p <= 16) {
        char buf[16];
        Label(1, AlarmCurrent() ? AlarmName(G_AlarmCur, buf, sizeof buf) : "RETURN");
        AuxLabels();
        Label(7, "");
    } else if (p == kPageSplash) {
        static const char* const l[6] = {"", "", "I AGREE", "", "", ""};
        SetupLabels(l);
    } else if (p == 51) {
        static const char* const l[6] = {"RETURN", "NEXT", "PREV", "SELECT", "", "<-ADJ->"};
        SetupLabels(l);
    } else if (p == 52) {
        static const char* const l[6] = {"RETURN", "NEXT", "PREV", "COPY", "SAVE", "<-(COL)->"};
        SetupLabels(l);
    } else if (p == 53) {
        static const char* const l[6] = {"RETURN", "NEXT", "PREV", "SELECT", "SAVE", "<-ADJ->"};
        SetupLabels(l);
    } else if (p == 54) {
        static const char* const l[6] = {"RETURN", "NEXT", "PREV", "ZERO", "SAVE", "<-ADJ->"};
        SetupLabels(l);
    } else if (p == 55) {
        static const char* const l[6] = {"RETURN", "", "", "", "SAVE", "<-ADJ->"};
        SetupLabels(l);
    } else if (p == 61) {
        static const char* const l[6] = {"RETURN", "", "", "", "", ""};
        SetupLabels(l);
    }
}

void SetSoftKeyLabel(int32_t key, const char* text) {
    if (key < 0 || key > 7) return;
    Label(key, text ? text : "");
    DrawStatusBar();
}

// ---- the bar ------------------------------------------------------------------------------

static void DrawCardSymbol() {
    static const GUI_Point card[] = {{0, 0}, {6, 0}, {8, 2}, {8, 12}, {0, 12}};
    uint32_t colour = 0;
    if (G_ScreenDumpReq) G_SDCard.nActivity = 1;   // the mark goes out with this frame; the dump follows its flip
    if (G_ScreenDumpLatch || G_ScreenDumpReq) colour = 2;
    else if (G_SDCard.nState == 2) colour = 8;
    else if (G_SDCard.nState == -1) colour = 14;
    SetDrawColor(colour);
    GUI_FillPolygon(card, 5, 3, kBarCompose + 5);
    if (G_SDCard.nState == -1) {
        SetDrawColor(2);
        GUI_DrawLine(1, kBarCompose + 2, 13, kBarCompose + 19);
        GUI_DrawLine(13, kBarCompose + 2, 1, kBarCompose + 19);
    }
}

// Text drawn into the compose strip: DrawTextF adds the drawing offset.
static void ComposeLabels() {
    const uint32_t saved = G_FlipCtl.nDrawPageY;
    G_FlipCtl.nDrawPageY = kBarCompose - kBarTop;
    DrawTextF(AlarmCurrent() ? 0x0000FF : 0x808080, 7, 25, kLabelX[1], kBarTop + 16, "%s", G_SoftKeyLabel[1]);
    for (int k = 2; k <= 5; ++k) DrawTextF(20, 7, 25, kLabelX[k], kBarTop + 16, "%s", G_SoftKeyLabel[k]);
    DrawTextF(20, 7, 25, kLabelX[6], kBarTop + 16, "%s", G_SoftKeyLabel[6]);
    if (G_DemoFlags & kDemoAll) DrawTextF(14, 2, 26, 639, kBarBottom, "DEMO");
    if (NvGetU32(kNvNetDebugLogsOn) == 1) DrawTextF(14, 7, 26, 639, 476, "NETLOG");
    G_FlipCtl.nDrawPageY = saved;
}

static void ComposeMessage() {
    const uint32_t saved = G_FlipCtl.nDrawPageY;
    SetDrawColor(G_StatusMsg.nColour);
    GUI_FillRect(0, kBarCompose, 639, kBarCompose + 19);
    SetDrawColor(20);
    GUI_DrawHLine(kBarCompose, 3, 636);
    G_FlipCtl.nDrawPageY = kBarCompose - kBarTop;
    DrawTextF(20, 7, 24, kLabelX[1], kBarTop + 16, "%s", G_StatusMsg.szText);
    G_FlipCtl.nDrawPageY = saved;
}

static void KnobMenus() {
    const uint32_t now = ReadOsTimer();
    for (int32_t n = 0; n < 2; ++n) {
        KnobRecord& k = KnobOf(n);
        if (k.bMenuVisible) {
            DrawKnobMenu(n);
            k.bMenuWasVisible = 1;
            if (TicksElapsed(now, k.nMenuShown, kKnobMenuTicks)) k.bMenuVisible = 0;
        } else if (k.bMenuWasVisible) {
            DrawKnobMenu(n);
            G_MapPane.nRedraw = 1;
            k.bMenuWasVisible = 0;
        }
    }
}

void DrawStatusBar() {
    G_FlipCtl.nFlipHold = 1;
    LogStuckButtons();
    GUI_SelectScreen();
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(0, kBarCompose, 639, kBarCompose + 19);
    if (G_StatusMsg.bShown != 1) {
        GUI_SetPenSize(1);
        SetDrawColor(20);
        GUI_DrawHLine(kBarCompose, 3, 636);
        ComposeLabels();
        DrawCardSymbol();
        DrawBatteryIcon();
    } else {
        ComposeMessage();
    }
    BltCopyRect(0, kBarCompose, 0, kBarTop + static_cast<int>(G_FlipCtl.nDrawPageY), 640, 20, kBltCopy);
    KnobMenus();
    if (G_Popup.bActive) {
        if (!TicksElapsed(ReadOsTimer(), G_Popup.nShown, G_Popup.nDuration)) DrawBoxText();
        else G_Popup.bActive = 0;
    }
    G_RedrawReq = 0;
    G_FlipCtl.nFlipHold = 0;
}

void RedrawScreen() {
    UpdateSoftKeys();
    DrawStatusBar();
}
