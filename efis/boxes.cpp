#include "efis/boxes.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "efis/efisdata.h"
#include "efis/efisview.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"
#include "setup/setup.h"
#include "storage/nvram.h"
#include "ui/pages.h"
#include "ui/style.h"

WindRecord G_Wind = {};

namespace {
void Frame(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t fill, uint32_t edge) {
    const int32_t py = EfisPageY();
    GUI_SetColorIndex(fill);
    GUI_FillRect(x0, y0 + py, x1, y1 + py);
    GUI_SetColorIndex(edge);
    GUI_DrawRect(x0, y0 + py, x1, y1 + py);
}

// The slot of the map's position source: the one on the map's port, else
// the header's map source slot.
const NavSrcRec* MapSourceSlot() {
    for (int32_t s = 0; s < kNavMapSlot; ++s)
        if (G_NavSrc.rec[s].nPort == G_NavSrc.hdr.MAP_LATLON_PORT && G_NavSrc.hdr.MAP_LATLON_PORT != kNavNoPort)
            return &G_NavSrc.rec[s];
    const uint8_t m = G_NavSrc.hdr.nMapSrcSlot;
    return m < kNavNoneSlot ? &G_NavSrc.rec[m] : nullptr;
}

bool GroundVectorValid(const NavSrcRec* s) {
    return s && s->nType == 1 && (s->nGpsFlagsA & kNavGpsValid) && (s->nGpsFlagsA & kNavGpsTrack) &&
           (s->nGpsFlagsB & kNavGpsFix);
}

const NavSrcRec* BearingSlot() {
    const uint8_t s = G_NavSrc.hdr.nBrgSlot;
    return s < kNavNoneSlot ? &G_NavSrc.rec[s] : nullptr;
}

// Up to `n` characters of a fixed-width identifier.
void Ident(char* out, const char* src, size_t n) {
    size_t i = 0;
    for (; i < n && src[i] != 0; ++i) out[i] = src[i];
    out[i] = 0;
}
}  // namespace

// ---- wind ------------------------------------------------------------------------------------------

WindRecord WindTriangle(int32_t tas, int32_t heading, int32_t groundSpeed, int32_t track) {
    constexpr double kRad = 3.14159265358979323846 / 1800.0;
    // East and north components: the wind is what the ground vector has
    // that the air vector has not.
    const double we = groundSpeed * std::sin(track * kRad) - tas * std::sin(heading * kRad);
    const double wn = groundSpeed * std::cos(track * kRad) - tas * std::cos(heading * kRad);
    WindRecord w = {};
    w.bValid = 1;
    w.nSpeed = RoundNearest(std::sqrt(we * we + wn * wn));
    // It blows from the opposite of where it pushes.
    int32_t from = RoundNearest(std::atan2(-we, -wn) / kRad);
    from %= 3600;
    w.nFrom = from < 0 ? from + 3600 : from;
    if (w.nSpeed == 0) w.nFrom = 0;
    return w;
}

void CalcWind() {
    const NavSrcRec* s = MapSourceSlot();
    if (!AirDataLive() || !AhrsHeadingLive() || !GroundVectorValid(s)) {
        G_Wind = {};
        return;
    }
    G_Wind = WindTriangle(G_AirData.nTas, G_Ahrs.nHeading, s->nGroundSpeed, s->nTrackMag);
}

void DrawWind() {
    const EfisView& v = G_EfisView;
    // Only while every input still holds: a wind from old data is no wind.
    if (!G_Wind.bValid || !AirDataLive() || !AhrsHeadingLive() || !GroundVectorValid(MapSourceSlot())) return;
    const int32_t py = EfisPageY();
    const double cx = v.windX, cy = v.windY + py;
    Frame(v.windX - 22, v.windY - 19, v.windX + 22, v.windY + 35, kEfBlack, kEfGrey);
    // The arrow points where the wind goes, turned with the heading shown.
    const int32_t a = G_Wind.nFrom + 1800 - G_Ahrs.nHeading;
    const GUI_Point tip = EfisRotated(cx, cy, a, 13, 0), tail = EfisRotated(cx, cy, a, -13, 0);
    const GUI_Point l = EfisRotated(cx, cy, a, 5, -6), r = EfisRotated(cx, cy, a, 5, 6);
    GUI_SetColorIndex(kEfCyan);
    const uint8_t old = GUI_SetPenSize(2);
    GUI_DrawLine(tail.x, tail.y, tip.x, tip.y);
    GUI_DrawLine(l.x, l.y, tip.x, tip.y);
    GUI_DrawLine(r.x, r.y, tip.x, tip.y);
    GUI_SetPenSize(old);
    const int32_t speed = ToDisplayUnits(kInstAirspeed, G_Wind.nSpeed);
    DrawTextF(kEfCyan, 5, 22, v.windX, v.windY + 25, "%d", static_cast<int>((speed + 5) / 10));
}

// ---- OAT --------------------------------------------------------------------------------------------

void DrawOat() {
    const EfisView& v = G_EfisView;
    const char* unit = NvGetU32(kNvOatUnits) == 1 ? "C" : "F";
    // Under the clock line of the EFIS pane, at the top of the strip beside
    // a narrowed map, or on the engine page when neither is shown (the
    // engine page draws it too).
    const bool efis = G_EfisLayout.pRect != nullptr;
    int32_t x = (efis ? v.x0 : G_EnginePane.x0) + 3, y = (efis ? v.y0 : G_EnginePane.y0) + 21;
    if (v.bSplit) x = v.x0 + 3, y = v.stripY0 + 5;
    if (G_AirData.bOatValid == 0) {
        DrawTextF(kEfYellow, 5, 15, x, y, "OAT --- %s", unit);
        return;
    }
    const int32_t t = ToDisplayUnits(kInstOat, G_AirData.nOat);   // tenths
    DrawTextF(kEfWhite, 5, 15, x, y, "OAT %d %s", static_cast<int>(t >= 0 ? (t + 5) / 10 : -((-t + 5) / 10)), unit);
}

// ---- G-meter ---------------------------------------------------------------------------------------

void FormatLoadFactor(char* out, int32_t size, int32_t hundredths) {
    const int32_t h = hundredths < -999 ? -999 : hundredths > 999 ? 999 : hundredths;
    const int32_t tenths = h >= 0 ? (h + 5) / 10 : -((-h + 5) / 10);
    const int32_t a = tenths < 0 ? -tenths : tenths;
    std::snprintf(out, static_cast<size_t>(size), "%s%d.%d", tenths < 0 ? "-" : "", static_cast<int>(a / 10),
                  static_cast<int>(a % 10));
}

void DrawGMeterFrame() {
    EfisUseSplitMap();
    const EfisView& v = G_EfisView;
    Frame(v.asiX0 - 2, v.tapeY1 + 23, v.asiX1, v.tapeY1 + 52, kEfBlack, kEfGrey);
}

void DrawGMeter() {
    const EfisView& v = G_EfisView;
    if (NvGetU32(kNvGMeterOn) == 0) return;
    const int32_t x0 = v.asiX0 - 2, x1 = v.asiX1, y0 = v.tapeY1 + 23, y1 = y0 + 29;
    Frame(x0, y0, x1, y1, kEfBlack, kEfGrey);
    DrawTextF(kEfWhite, 2, 15, x0 + 3, y0 + 2, "G");
    if (!AhrsAttitudeLive()) {
        DrawTextF(kEfYellow, 9, 17, x1 - 3, y0 + 1, "---");
        return;
    }
    char now[12], hi[12], lo[12];
    const int32_t g = G_Ahrs.nLoadFactor;
    FormatLoadFactor(now, sizeof now, g);
    FormatLoadFactor(hi, sizeof hi, static_cast<int32_t>(NvGetU32(kNvGMeterMax)));
    FormatLoadFactor(lo, sizeof lo, static_cast<int32_t>(NvGetU32(kNvGMeterMin)));
    // The normal category's limits: +3.8 and -1.52 g.
    const uint32_t colour = (g > 380 || g < -152) ? kEfRed : (g > 300 || g < -100) ? kEfYellow : kEfWhite;
    DrawTextF(colour, 9, 17, x1 - 3, y0 + 1, "%s", now);
    DrawTextF(kEfGrey, 22, 15, x0 + 3, y0 + 21, "%s/%s", hi, lo);
}

// ---- information boxes ------------------------------------------------------------------------------

static void InfoLines(const char* l1, const char* l2, const char* l3, uint32_t colour) {
    const EfisView& v = G_EfisView;
    if (v.bNarrow) {
        char line[40];
        std::snprintf(line, sizeof line, "%s %s", l1, l2);
        const int32_t n = CharsInWidth(5, v.infoX1 - v.infoX0, line);
        line[n < static_cast<int32_t>(sizeof line) ? n : static_cast<int32_t>(sizeof line) - 1] = 0;
        DrawTextF(colour, 5, 17, v.infoX1, v.infoY0, "%s", line);
        return;
    }
    Frame(v.infoX0, v.infoY0, v.infoX1, v.infoY1, kEfBlack, kEfGrey);
    DrawTextF(colour, 9, 15, v.infoX0 + 4, v.infoY0 + 3, "%s", l1);
    DrawTextF(kEfWhite, 5, 15, v.infoX0 + 4, v.infoY0 + 24, "%s", l2);
    DrawTextF(kEfWhite, 5, 15, v.infoX0 + 4, v.infoY0 + 42, "%s", l3);
}

void DrawGpsInfoBox() {
    const NavSrcRec* s = BearingSlot();
    if (!s) return;
    char id[9], l2[24], l3[24];
    Ident(id, s->szWaypoint, 8);
    const bool valid = (s->nGpsFlagsA & kNavGpsValid) != 0;
    if (!valid || !(s->nGpsFlagsA & kNavGpsWptValid) || id[0] == 0) {
        InfoLines("GPS", "NO WPT", "", kEfMagenta);
        return;
    }
    std::snprintf(l2, sizeof l2, "%d.%d NM", static_cast<int>(s->nDistance / 10), static_cast<int>(s->nDistance % 10));
    const int32_t ete = s->nTimeToWpt;
    if (ete < 0) std::snprintf(l3, sizeof l3, "ETE --:--");
    else if (ete >= 3600) std::snprintf(l3, sizeof l3, "ETE %d:%02d", static_cast<int>(ete / 3600 % 100), static_cast<int>(ete / 60 % 60));
    else std::snprintf(l3, sizeof l3, "ETE %02d:%02d", static_cast<int>(ete / 60), static_cast<int>(ete % 60));
    InfoLines(id, l2, l3, kEfMagenta);
}

void DrawVorInfoBox() {
    const NavSrcRec* s = BearingSlot();
    if (!s) return;
    char id[10], l2[24], l3[24];
    Ident(id, s->szStation, 8);
    if (!(s->nRadioFlagsA & kNavRadioValid)) {
        InfoLines("NAV", "NO DATA", "", kEfGreen);
        return;
    }
    if (id[0] == 0) std::snprintf(id, sizeof id, "NAV");
    const int32_t f = s->nActiveFreq;
    std::snprintf(l2, sizeof l2, "%d.%02d", static_cast<int>(f / 100), static_cast<int>(f % 100 < 0 ? 0 : f % 100));
    if (s->nRadioFlagsB & (1u << 2)) std::snprintf(l3, sizeof l3, "RAD %03d", static_cast<int>(s->nRadial / 10 % 360));
    else std::snprintf(l3, sizeof l3, "RAD ---");
    InfoLines(id, l2, l3, kEfGreen);
}

void DrawNavSourceBox(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const NavSrcRec* s = BearingSlot();
    // Only a source with something to tell: a GPS (or the map's GOTO) with
    // its waypoint, a radio with data.
    const bool gpsLike = s && (s->nType == 1 || s == &G_NavSrc.rec[kNavMapSlot]);
    const bool gps = gpsLike && (s->nGpsFlagsA & kNavGpsValid) && (s->nGpsFlagsA & kNavGpsWptValid) &&
                     s->szWaypoint[0] != 0;
    const bool radio = s && s->nType == 2 && (s->nRadioFlagsA & kNavRadioValid);
    if (!gps && !radio) return;
    const EfisView saved = G_EfisView;
    G_EfisView.infoX0 = x0, G_EfisView.infoY0 = y0, G_EfisView.infoX1 = x1, G_EfisView.infoY1 = y1;
    G_EfisView.bNarrow = false;
    if (gps) DrawGpsInfoBox();
    else DrawVorInfoBox();
    G_EfisView = saved;
}

// ---- angle of attack ------------------------------------------------------------------------------

void DrawAoaIndicator() {
    const EfisView& v = G_EfisView;
    const int32_t x0 = v.aoaX, y0 = v.aoaY, x1 = x0 + 41, y1 = y0 + 74;
    Frame(x0, y0, x1, y1, kEfBlack, kEfGrey);
    const int32_t seg0 = G_Aoa.nAoa;
    if (seg0 >= kAoaWarnSegment) DrawTextF(kEfRed, 2, 16, (x0 + x1) / 2, y0 + 2, "STALL");
    else DrawTextF(kEfWhite, 2, 16, (x0 + x1) / 2, y0 + 2, "AOA");
    // Ten bars from the bottom, lit up to the segment: green, yellow, then
    // red from the stall warning on.
    const int32_t seg = G_Aoa.nAoa < 0 ? 0 : G_Aoa.nAoa > kAoaTopSegment ? kAoaTopSegment : G_Aoa.nAoa;
    const int32_t py = EfisPageY();
    for (int32_t k = 0; k < 10; ++k) {
        const int32_t from = k * 3;   // bar k stands for segments 3k .. 3k+2
        const int32_t by1 = y1 - 3 - k * 6, by0 = by1 - 3;
        const uint32_t colour = from >= kAoaWarnSegment ? kEfRed : from >= 15 ? kEfYellow : kEfGreen;
        const int32_t inset = 4 + (9 - k) / 2;
        GUI_SetColorIndex(seg > from || (seg == 0 && k == 0) ? colour : kEfDarkGrey);
        GUI_FillRect(x0 + inset, by0 + py, x1 - inset, by1 + py);
    }
}

// ---- autopilot and standby ------------------------------------------------------------------------

// The autopilot's modes in the annunciator colours of the mode machines:
// nothing while both axes are off and the output is disabled.
void DrawApModeBox() {
    const EfisView& v = G_EfisView;
    const ApLateral& lat = G_ApLateral;
    const ApVertical& ver = G_ApVertical;
    const bool on = G_Autopilot.bOutput != 0;
    if (!on && lat.nMode == kApOffline && ver.nMode == kApOffline) return;
    const int32_t y0 = v.apY0, y1 = y0 + 16, xm = (v.apX0 + v.apX1) / 2;
    Frame(v.apX0, y0, v.apX1, y1, kEfBlack, on ? kEfGreen : kEfGrey);
    DrawTextF(on ? kEfGreen : kEfGrey, 5, 21, v.apX0 + 4, y0 + 8, "%s", on ? "AP" : "AP OFF");
    auto name = [](uint8_t mode) { return mode < 7 ? ApModeNames[mode] : ""; };
    if (lat.nMode != kApOffline)
        DrawTextF(ApLatAnnunColor(), 5, 22, xm + (v.apX1 - v.apX0) / 12, y0 + 8, "%s", name(lat.nMode));
    if (ver.nMode != kApOffline) DrawTextF(ApVertAnnunColor(), 5, 23, v.apX1 - 4, y0 + 8, "%s", name(ver.nMode));
}

void DrawStandbyBox() {
    const EfisView& v = G_EfisView;
    // The status monitor's colour: yellow for a stale or miscomparing
    // attitude, red for a failure.
    const uint32_t colour = G_AhrsState.nAttColour == kAhrsRed ? kEfRed : kEfYellow;
    const int32_t w = v.bNarrow ? 80 : 110;
    Frame(v.cx - w, v.cy - 40, v.cx + w, v.cy - 8, kEfBlack, colour);
    DrawTextF(colour, 9, 22, v.cx, v.cy - 24, "PLEASE STANDBY");
}
