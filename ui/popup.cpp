#include "ui/popup.h"

#include <cstdarg>
#include <cstdio>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/map.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

PopupMsg G_Popup = {};

const char KnobMenuNames[30][12] = {
    "",          " DIM ",     " BARO ",     " CRS ",    " HDG ",     " ALT ",     " MINALT ",  " SPD ",
    " VSPD ",    " ZOOM ",    " FUEL ",     " TIMER ",  " CLOCK ",   " DATE ",    " PADJ ",    " HADJ ",
    " RADJ ",    " NRST ",    " DIRECT ",   " INFO ",   " MIN ",     " MAX ",     " ROLL/ALT ", " LOC/GS ",
    " IMAX ",    " FDGAIN ",  " PAN VER ",  " PAN LAT ", " PAGELST ", " KNOBLST "};

static const char kDistUnitNames[3][8] = {"KTS/NM", "MPH/SM", "KPH/KM"};

static bool Installed(int stream) { return G_NetStreamCfg[stream].INST != 0; }

// ---- knob label ---------------------------------------------------------------------------

static void SetLabel(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void SetLabel(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(G_SoftKeyLabel[6], sizeof G_SoftKeyLabel[6], format, ap);
    va_end(ap);
}

static void SignedTenths(const char* name, char plus, int32_t v) {
    const char sign = v < 0 ? '-' : plus;
    const int32_t a = v < 0 ? -v : v;
    SetLabel("%s%c%d.%d", name, sign, static_cast<int>(a / 10), static_cast<int>(a % 10));
}

static void GainLabel(const char* name, uint16_t g) {
    const int whole = static_cast<int>(static_cast<float>(g) * 0.001f);
    const int hundredths = RoundHalfAway(static_cast<float>(g) * 0.1f) % 100;
    SetLabel("%s:%d.%02d", name, whole, hundredths);
}

// Gains in the image: lateral block words 1 (roll) and 3 (localizer),
// vertical word 1 (altitude), glideslope word 3, flight director word 3.
static uint16_t Gain(uint32_t block, uint32_t word) { return NvGetU16(kNvApGains + block * 8 + word * 2); }

static void FunctionZeroLabel() {
    switch (G_MenuState) {
    case 64: SetLabel("%s", (G_MapViewMode & 2u) ? "NORTH UP" : "TRACK UP"); break;
    case 642:
        if (G_DistUnits > 2) {
            G_DistUnits = 0;
            StoreClockReg(11, static_cast<uint8_t>(G_ClockMem[11] & 0x3F));
        }
        SetLabel("%s", kDistUnitNames[G_DistUnits]);
        break;
    case 3: SetLabel("(PAGE LIST)"); break;
    case 42: SetLabel("%s", Installed(kStreamAhrs) ? "PITCH ADJ." : ""); break;
    default: SetLabel("%s", ""); break;
    }
}

void UpdateKnobLabel() {
    static const char* const kArrows[] = {"<-BARO->", "<-CRS->", "<-HDG->", "<-ALT->", "<-MIN ALT->", "<-SPD->"};
    const int32_t f = G_Knob0.nFunction;
    switch (f) {
    case kKnobNone: FunctionZeroLabel(); break;
    case kKnobDim: SetLabel("DIM: %d", static_cast<int>(NvGetU32(kNvDimPercent))); break;
    case kKnobBaro: case kKnobCrs: case kKnobHdg: case kKnobAlt: case kKnobMinAlt: case kKnobSpd:
        SetLabel("%s", kArrows[f - kKnobBaro]);
        break;
    case kKnobVspd: SetLabel("VS:%d", static_cast<int>(NvGetU16(kNvVspdLimit))); break;
    case kKnobZoom: SetLabel("<-ZOOM->"); break;
    case kKnobFuel: SignedTenths("", ' ', static_cast<int32_t>(NvGetU32(kNvFuelAdjust))); break;
    case kKnobTimer: SetLabel("<-ADJ->"); break;
    case kKnobClock: case kKnobDirect: SetLabel("<-(NEXT)->"); break;
    case kKnobPadj: SignedTenths("ANG: ", '+', static_cast<int32_t>(NvGetU32(kNvPitchAdj))); break;
    case kKnobHadj: SignedTenths("HDG: ", '+', static_cast<int32_t>(NvGetU32(kNvHeadingAdj))); break;
    case kKnobRadj: SignedTenths("ROLL: ", '+', static_cast<int32_t>(NvGetU32(kNvRollAdj))); break;
    case kKnobNrst: SetLabel("<-NEXT->"); break;
    case kKnobInfo: SetLabel("<-PAGE->"); break;
    case kKnobMin: SetLabel("MIN:%d", static_cast<int>(G_NVRam[kNvApMinSpd])); break;
    case kKnobMax: SetLabel("MAX:%d", static_cast<int>(G_NVRam[kNvApMaxSpd])); break;
    case kKnobRollAlt:
        if (G_MenuState == 4522) GainLabel("ROLL", Gain(0, 1));
        else if (G_MenuState == 4523) GainLabel("ALT", Gain(1, 1));
        else SetLabel("%s", "");
        break;
    case kKnobLocGs:
        if (G_MenuState == 4522) GainLabel("LOC", Gain(0, 3));
        else if (G_MenuState == 4523) GainLabel("GS", Gain(3, 3));
        else SetLabel("%s", "");
        break;
    case kKnobFdGain:
        if (G_MenuState == 4523) GainLabel("FD", Gain(4, 3));
        else SetLabel("%s", "");
        break;
    case kKnobPanVer: SetLabel("<-UP/DN->"); break;
    case kKnobPanLat: SetLabel("<-LFT/RHT->"); break;
    case kKnobPageLst: case kKnobKnobLst: SetLabel("<-OFF/ON->"); break;
    default: SetLabel("%s", ""); break;
    }
}

// ---- knob menu ----------------------------------------------------------------------------

void DrawKnobMenu(int32_t knob) {
    KnobRecord& k = KnobOf(knob);
    const int32_t x0 = knob == 0 ? 538 : 0, x1 = knob == 0 ? 618 : 80;
    const int32_t xc = (x0 + x1) / 2;
    const int py = static_cast<int>(G_FlipCtl.nDrawPageY);
    if (k.bMenuVisible || k.bMenuWasVisible != 1) {
        uint32_t offered = k.nAllowMask & (KnobListWord(knob) | 0xFFFFFC00u);
        if (MapPaneShown()) offered |= 1u << kKnobZoom;
        if (G_CurPage >= 10 && G_CurPage <= 16) offered |= 1u << kKnobDim;
        int32_t y = 458;
        for (int32_t f = kKnobFunctions; f >= 1; --f) {
            if (!(offered & (1u << f))) continue;
            if (f == k.nFunction) {
                SetDrawColor(20);
                GUI_FillRect(x0, y - 15 + py, x1, y + py);
                DrawTextF(20, 7, 40, xc, y, "%s", KnobMenuNames[f]);   // black on a grey box
            } else {
                GUI_SetBkColorIndex(0);
                GUI_ClearRect(x0, y - 15 + py, x1, y + py);
                DrawTextF(20, 7, 28, xc, y, "%s", KnobMenuNames[f]);
            }
            SetDrawColor(31);
            GUI_DrawRect(x0, y - 15 + py, x1, y + py);
            y -= 15;
        }
        k.nMenuTop = y;
        return;
    }
    GUI_SetBkColorIndex(0);
    const int32_t top = k.nMenuTop < 0 ? 0 : k.nMenuTop;
    GUI_ClearRect(x0, top, x1, 458);
    GUI_ClearRect(x0, top + 480, x1, 458 + 480);
}

// ---- pop-up -----------------------------------------------------------------------------

void ShowPopupMsg(uint32_t colour, int32_t x, int32_t y, uint32_t duration, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(G_Popup.szText, sizeof G_Popup.szText, format, ap);
    va_end(ap);
    const int32_t w = TextWidth(8, G_Popup.szText);
    const int32_t half = RoundHalfAway(static_cast<float>(w) / 2.0f);
    G_Popup.x0 = static_cast<int16_t>(x - half);
    G_Popup.x1 = static_cast<int16_t>(x + half);
    G_Popup.y0 = static_cast<int16_t>(y);
    G_Popup.y1 = static_cast<int16_t>(y + 16);
    G_Popup.nColour = colour;
    G_Popup.bActive = 1;
    G_Popup.nShown = ReadOsTimer();
    G_Popup.nDuration = duration;
    DrawBoxText();
}

void DrawBoxText() {
    const uint32_t saved = G_FlipCtl.nDrawPageY;
    const int32_t xc = G_Popup.x0 + (G_Popup.x1 - G_Popup.x0) / 2;
    for (uint32_t page : {0u, 480u}) {
        G_FlipCtl.nDrawPageY = page;
        SetDrawColor(G_Popup.nColour);
        GUI_FillRect(G_Popup.x0, G_Popup.y0 + static_cast<int>(page), G_Popup.x1, G_Popup.y1 + static_cast<int>(page));
        DrawTextF(0, 8, 16, xc, G_Popup.y0, " %s ", G_Popup.szText);
    }
    G_FlipCtl.nDrawPageY = saved;
}

void ClearPopup() {
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(G_Popup.x0, G_Popup.y0, G_Popup.x1, G_Popup.y1);
    GUI_ClearRect(G_Popup.x0, G_Popup.y0 + 480, G_Popup.x1, G_Popup.y1 + 480);
    G_Popup.bActive = 0;
}
