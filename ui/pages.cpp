#include "ui/pages.h"

#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/syslog.h"
#include "efis/efis.h"
#include "engine/layout.h"
#include "gui/gui.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "setup/auxpages.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/popup.h"
#include "ui/style.h"
#include "core/util.h"
#include "core/rtc.h"

int32_t G_CurPage = 3;
int32_t G_LastPage = 1;
PaneRecord G_EfisLayout = {};
PaneRecord G_MapPane = {};
PaneRecord G_AuxPane = {};
PaneRecord G_EnginePane = {};
uint32_t   G_ScreenAvail = 0;

const PaneRect PaneLayouts[kPaneLayouts][3] = {
    {{0, 0, 639, 459}, {}, {}},
    {{0, 0, 639, 339}, {0, 339, 639, 459}, {}},
    {{0, 0, 383, 339}, {0, 339, 639, 459}, {383, 0, 639, 339}},
    {{0, 0, 383, 459}, {}, {383, 0, 639, 459}},
};

const char ScreenNames[8][24] = {"None", "EMS Only", "EFIS Only", "EFIS and EMS",
                                 "AIR and EMS", "EFIS and MAP", "EFIS, MAP, and EMS", "MAP and EMS"};

static const PaneRect* const kFull = &PaneLayouts[0][0];
static const PaneRect* const kTop = &PaneLayouts[1][0];
static const PaneRect* const kStrip = &PaneLayouts[1][1];
static const PaneRect* const kLeft = &PaneLayouts[2][0];
static const PaneRect* const kRight = &PaneLayouts[2][2];
static const PaneRect* const kLeft2 = &PaneLayouts[3][0];
static const PaneRect* const kRight2 = &PaneLayouts[3][2];

static bool Installed(int stream) { return G_NetStreamCfg[stream].INST != 0; }
static bool HasEngine() { return Installed(kStreamEngine); }
static bool HasAhrs() { return Installed(kStreamAhrs); }
static bool HasAir() { return Installed(kStreamAir); }
static bool HasMap() { return Installed(kStreamMap); }

bool MapPaneShown() { return G_MapPane.pRect != nullptr; }

// ---- available screens ------------------------------------------------------------------

void CalcAvailScreens() {
    uint32_t m = 0;
    if (HasEngine()) m |= 1u << 1;
    if (HasAhrs()) m |= 1u << 2;
    if (HasEngine() && HasAhrs()) m |= 1u << 3 | 1u << 9;
    if (HasAir()) m |= 1u << 4;
    if (HasMap()) {
        m |= 1u << 7 | 1u << 8;
        if (HasAhrs()) m |= 1u << 5;
        if (HasAhrs() && HasEngine()) m |= 1u << 6;
    }
    G_ScreenAvail = m;
}

void ResetScreenEnableMask() {
    CalcAvailScreens();
    NvSetU32(kNvScreenEnable, G_ScreenAvail);
    WriteNVRam(1);
    StoreClockReg(37, static_cast<uint8_t>(G_ScreenAvail));
}

static int32_t FirstOf(int32_t fallback, std::initializer_list<std::pair<bool, int32_t>> rows) {
    for (const auto& [cond, screen] : rows)
        if (cond) return screen;
    return fallback;
}

int32_t CheckScreenAvail(int32_t s) {
    if (s >= 0 && s <= 9 && (G_ScreenAvail & (1u << s))) return s;
    const bool e = HasEngine(), a = HasAhrs(), d = HasAir(), m = HasMap();
    switch (s) {
    case 0: {
        ResetScreenEnableMask();
        const uint32_t mask = NvGetU32(kNvScreenEnable);
        // Bounded: with nothing installed no screen qualifies.
        for (int32_t n = 1; n <= 10; ++n)
            if (mask & (1u << (n % 10))) return n % 10;
        return 11;
    }
    case 1: return FirstOf(11, {{e, 1}, {a, 2}, {m, 8}});
    case 2: return FirstOf(11, {{a, 2}, {e, 1}, {m, 8}});
    case 3: case 9: return FirstOf(11, {{a && e, s}, {a, 2}, {e, 1}, {m, 8}});
    case 4: return FirstOf(11, {{d, 4}, {a, 2}, {e, 1}, {m, 8}});
    case 5: return FirstOf(11, {{m && a, 5}, {m, 8}, {a, 2}, {e, 1}, {d, 4}});
    case 6:
        return FirstOf(11, {{m && e && a, 6}, {m && e, 8}, {m && a, 5}, {m, 8}, {e && a, 3}, {e && d, 4},
                            {e, 11}, {a, 2}, {d, 4}});
    case 7: return FirstOf(11, {{m && e && G_MapShowEngine, 7}, {m, 8}, {e, 1}, {a, 2}, {d, 4}});
    case 8: return FirstOf(11, {{m, 8}, {e, 1}, {d, 4}});
    default: return 11;
    }
}

void GetNextScreen() {
    const uint32_t mask = NvGetU32(kNvScreenEnable);
    if (mask == 0 || mask >= kScreenMaskBad) {
        DebugPrintf("GetNextScreen: Bad Screen Enable Mask:0x%02X\n", static_cast<unsigned>(mask));
        NvSetU32(kNvScreenEnable, kScreenMaskReset);
        return;
    }
    G_LastPage = G_CurPage;
    for (int i = 0; i < 10; ++i) {
        G_CurPage = (G_CurPage + 1) % 10;
        if (G_CurPage >= 0 && (mask & G_ScreenAvail & (1u << G_CurPage))) break;
    }
    G_CurPage = CheckScreenAvail(G_CurPage);
    NvSetU32(kNvScreenConfig, static_cast<uint32_t>(G_CurPage));
}

// ---- pane layout ----------------------------------------------------------------------

static void SetPane(PaneRecord& p, const PaneRect* r, uint32_t a = 1, uint32_t b = 1, uint32_t c = 1) {
    p.pRect = r;
    p.nFlagA = a;
    p.nFlagB = b;
    p.nFlagC = c;
}

static void ClearPane(PaneRecord& p) {
    const uint32_t ready = p.nReady, state = p.nState;
    p = {};
    p.nReady = ready;
    p.nState = state;
}

static void ClearAll() {
    ClearPane(G_EfisLayout);
    ClearPane(G_MapPane);
    ClearPane(G_AuxPane);
    ClearPane(G_EnginePane);
}

static void MapFramed(const PaneRect* r, uint32_t a = 1) {
    SetPane(G_MapPane, r, a);
    G_MapFrame.nBlit[0] = G_MapFrame.nBlit[1] = 1;
}

// Sets the pane records by page; false for pages without a row (panes kept).
static bool LayPanes(int32_t page) {
    switch (page) {
    case 1: ClearAll(); SetPane(G_EnginePane, kFull, 0); return true;
    case 2: ClearAll(); SetPane(G_EfisLayout, kFull, 0); return true;
    case 3: case 9: ClearAll(); SetPane(G_EfisLayout, kTop, 0); SetPane(G_EnginePane, kStrip); return true;
    case 4:
        ClearAll();
        if (HasEngine()) {
            SetPane(G_EfisLayout, kTop, 0);
            SetPane(G_EnginePane, kStrip);
        } else {
            SetPane(G_EfisLayout, kFull, 0);
        }
        return true;
    case 5: ClearAll(); SetPane(G_EfisLayout, kLeft2); MapFramed(kRight2); return true;
    case 6: ClearAll(); SetPane(G_EfisLayout, kLeft); MapFramed(kRight); SetPane(G_EnginePane, kStrip); return true;
    case 7:
        if (!HasEngine() || !G_MapShowEngine) {
            G_CurPage = 8;
            return LayPanes(8);
        }
        ClearAll();
        SetPane(G_MapPane, kTop, 0);
        SetPane(G_EnginePane, kStrip);
        return true;
    case 8:
        ClearAll();
        MapFramed(kFull, 0);
        if (G_MenuState == 0) G_MenuState = 6;
        return true;
    case 10:
        ClearAll(); SetPane(G_EfisLayout, kLeft); SetPane(G_AuxPane, kRight); SetPane(G_EnginePane, kStrip);
        return true;
    case 11: ClearAll(); SetPane(G_AuxPane, kFull, 0); return true;
    case 12: case 20: ClearAll(); SetPane(G_AuxPane, kTop, 0); SetPane(G_EnginePane, kStrip); return true;
    case 13: ClearAll(); SetPane(G_EfisLayout, kLeft2); SetPane(G_AuxPane, kRight2); return true;
    case 14:
        ClearAll();
        if (HasEngine()) {
            SetPane(G_EfisLayout, kLeft);
            SetPane(G_AuxPane, kRight);
            SetPane(G_EnginePane, kStrip);
        } else {
            SetPane(G_EfisLayout, kLeft2);
            SetPane(G_AuxPane, kRight2);
        }
        return true;
    case 15: ClearAll(); MapFramed(kLeft2); SetPane(G_AuxPane, kRight2); return true;
    case 16: ClearAll(); MapFramed(kLeft); SetPane(G_AuxPane, kRight); SetPane(G_EnginePane, kStrip); return true;
    case 17: case 30: case 32: case 34: case 36:
        ClearAll(); SetPane(G_EfisLayout, kTop, 0); SetPane(G_EnginePane, kStrip, 1, 0); return true;
    case 31: case 35: ClearAll(); SetPane(G_EnginePane, kTop); return true;
    case 33: case 37: ClearAll(); MapFramed(kTop, 0); return true;
    default: return false;
    }
}

static void FillDerived(PaneRecord& p) {
    p.x0 = p.pRect->x0;
    p.y0 = p.pRect->y0;
    p.x1 = p.pRect->x1;
    p.y1 = p.pRect->y1;
    p.nCenterX = p.x0 + (p.x1 - p.x0) / 2;
    p.nCenterY = p.y0 + (p.y1 - p.y0) / 2;
    p.nWidth = p.x1 - p.x0 + 1;
    p.nHeight = p.y1 - p.y0 + 1;
}

static void ClearPaneArea(const PaneRecord& p) {
    GUI_SelectScreen();
    GUI_SetBkColorIndex(0);
    const int y = static_cast<int>(G_FlipCtl.nDrawPageY);
    GUI_ClearRect(p.x0, p.y0 + y, p.x1, p.y1 + y);
    GUI_ClearRect(p.x0, p.y0 + 960, p.x1, p.y1 + 960);
}

void InitScreenConfig() {
    if (G_FlipCtl.nFlipReq == 1) G_FlipCtl.nFlipReq = 0;
    ShowPopupMsg(0xFFFFFF, 320, 240, 3686400, "LOADING...");
    DebugPrintf("InitScreenConfig(%d)...\n", static_cast<int>(G_CurPage));
    if (!LayPanes(G_CurPage)) return;
    PaneRecord* panes[] = {&G_EfisLayout, &G_MapPane, &G_AuxPane, &G_EnginePane};
    for (PaneRecord* p : panes) {
        if (!p->pRect) continue;
        FillDerived(*p);
        ClearPaneArea(*p);
    }
    if (G_EfisLayout.pRect) EfisScreenInit();
    if (G_EnginePane.pRect) SelectEngineLayout();
    if (G_AuxPane.pRect) AuxPaneInit();
    if (G_CurPage == 9) DrawEfisStatic();
    if (G_MapPane.pRect) G_MapPane.nRedraw = 1;
}

// ---- page and knob lists ---------------------------------------------------------------------

void OpenPageList() {
    const int32_t page = G_CurPage;
    int32_t list;
    switch (page) {
    case 1: list = 31; break;
    case 2: case 3: case 5: case 6: case 9: list = 30; break;
    case 4: list = 32; break;
    case 7: case 8: list = 33; break;
    default: return;
    }
    G_MenuState = 4225;
    SetKnobFunc(&G_Knob0, kKnobPageLst);
    G_LastPage = page;
    G_CurPage = list;
    InitScreenConfig();
}

void ClearMenuStrip() {
    const PaneRect& r = *kStrip;
    const int y = static_cast<int>(G_FlipCtl.nDrawPageY);
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(r.x0, r.y0 + y, r.x1, r.y1 + y);
}

struct ListSpec {
    const char* title;
    const char* logLine;
    int32_t rows;
    int32_t rowStep;
    int32_t font;
    const char* const* help;
};

static const char* const kPageHelp[] = {"To add a screen to the", "PAGE button rotation,", "set the screen to ENABLED.",
                                        "Grey selections are not", "available in the current setup."};
static const char* const kKnobHelp[] = {"To add a knob function to the", "knob press rotation,",
                                        "set the function to ENABLED.", "Grey selections are not",
                                        "available in the current setup."};
static const char* KnobListName(int32_t f) {
    static const char* const names[10] = {"None", "DIM", "BARO SET", "CRS ADJ", "HDG BUG",
                                          "ALT BUG", "MINALT BUG", "SPD BUG", "VSPD LIM", "ZOOM"};
    return (f >= 0 && f < 10) ? names[f] : "";
}

static uint32_t s_listLogged[2] = {};

// One configuration list in the strip: name, state and help columns.
static void DrawList(const ListSpec& spec, int which, bool (*avail)(int32_t), bool (*enabled)(int32_t),
                     const char* (*name)(int32_t, char*)) {
    const PaneRect& r = *kStrip;
    const int32_t x0 = r.x0, c1 = x0 + 100, c2 = x0 + 250, c3 = x0 + 400;
    const int y = static_cast<int>(G_FlipCtl.nDrawPageY);
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(r.x0, r.y0 + y, r.x1, r.y1 + y);
    if (G_CurPage == 31 || G_CurPage == 35) GUI_ClearRect(r.x0, r.y0 - 50 + y, r.x1, r.y0 - 1 + y);
    DrawTextF(5, 8, 4, x0 + 50, r.y0 + 2, "%s", spec.title);
    for (int32_t i = 0; i < spec.rows; ++i) {
        const int32_t ry = r.y0 + 4 + i * spec.rowStep;
        const bool ok = avail(i + 1);
        char buf[32];
        DrawTextF(ok ? 31 : 21, spec.font, 3, c1, ry, "%d:  %s  ", static_cast<int>(i + 1), name(i + 1, buf));
        SetDrawColor(0);
        GUI_DrawHLine(ry + spec.rowStep - 1 + y, c2, c3);
        const char* state = (ok && enabled(i + 1)) ? " ENABLED " : " DISABLED ";
        if (static_cast<uint32_t>(i) == G_ListCursor && ok) DrawTextF(14, spec.font, 12, c2, ry, " %s ", state);
        else DrawTextF(ok ? 31 : 21, spec.font, 30, c2, ry, " %s ", state);
    }
    for (int i = 0; i < 5; ++i) DrawTextF(31, 8, 3, c3, r.y0 + 4 + i * 16, "%s", spec.help[i]);
    if (!s_listLogged[which]) {
        s_listLogged[which] = 1;
        DebugPrintf(spec.logLine, r.x0, r.y0, r.x1, r.y1, static_cast<int>(c1), static_cast<int>(c2),
                    static_cast<int>(c3));
    }
}

static bool ScreenAvailable(int32_t s) { return (G_ScreenAvail >> s) & 1u; }
static bool ScreenEnabled(int32_t s) { return (NvGetU32(kNvScreenEnable) >> s) & 1u; }
static const char* ScreenName(int32_t s, char*) { return (s >= 0 && s < 8) ? ScreenNames[s] : ""; }

static KnobRecord& ListKnob() { return G_KnobListSide == 1 ? G_Knob1 : G_Knob0; }
static bool KnobAvailable(int32_t f) {
    const KnobRecord& k = ListKnob();
    uint32_t offered = k.nAllowMask;
    if (MapPaneShown()) offered |= 1u << kKnobZoom;
    return (offered >> f) & 1u;
}
static bool KnobEnabled(int32_t f) {
    return (NvGetU32(G_KnobListSide == 1 ? kNvKnobListRight : kNvKnobListLeft) >> f) & 1u;
}
static const char* KnobName(int32_t f, char*) { return KnobListName(f); }

void PageListMenu() {
    static const ListSpec spec = {"PAGE CONFIG", "PageList tmpRect{%d,%d,%d,%d}, col123{%d,%d,%d}\n", 7, 16, 9,
                                  kPageHelp};
    DrawList(spec, 0, ScreenAvailable, ScreenEnabled, ScreenName);
}

void KnobListMenu() {
    static const ListSpec spec = {"KNOB CONFIG", "KnobList tmpRect{%d,%d,%d,%d}, col123{%d,%d,%d}\n", 9, 13, 3,
                                  kKnobHelp};
    DrawList(spec, 1, KnobAvailable, KnobEnabled, KnobName);
}
