#include "efis/hsi.h"

#include <cmath>
#include <cstring>

#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/efisdata.h"
#include "efis/efisview.h"
#include "gui/gui.h"
#include "nav/navmath.h"
#include "nav/navsrc.h"
#include "ui/style.h"

namespace {
int32_t Wrap3600(int32_t a) { return EfisWrap3600(a); }
int16_t Px(double v) { return EfisPx(v); }
GUI_Point RosePoint(double cx, double cy, int32_t a, double along, double across) {
    return EfisRotated(cx, cy, a, along, across);
}

struct Rose {
    double cx, cy, r;
    int32_t heading;   // tenths
    bool live;
};

Rose CurrentRose() {
    const EfisView& v = G_EfisView;
    int32_t flag = 0;
    const int32_t h = GetDisplayHeading(&flag);
    return {static_cast<double>(v.hsiCx), static_cast<double>(v.hsiCy + EfisPageY()), static_cast<double>(v.hsiR), h,
            flag != 0};
}

// Screen angle of a bearing on the rose.
int32_t ScreenAngle(const Rose& r, int32_t bearing) { return Wrap3600(bearing - r.heading); }

const NavSrcRec* CourseSlot() {
    const uint8_t s = G_NavSrc.hdr.nCrsSlot;
    return s < kNavNoneSlot ? &G_NavSrc.rec[s] : nullptr;
}

void Line(const GUI_Point& a, const GUI_Point& b, uint8_t width) {
    const uint8_t old = GUI_SetPenSize(width);
    GUI_DrawLine(a.x, a.y, b.x, b.y);
    GUI_SetPenSize(old);
}

// The course arrow with its CDI bar deflected by `defl` pixels and the
// TO/FROM flag; the dots of the CDI scale across it.
void CoursePointer(const Rose& r, int32_t course, int32_t defl, bool deflValid, int32_t toFrom, uint32_t colour) {
    const int32_t a = ScreenAngle(r, course);
    const double len = r.r - 8, gap = r.r * 0.42;
    GUI_SetColorIndex(kEfWhite);
    const int32_t dot = static_cast<int32_t>(r.r * 0.36 / 2);
    for (int k : {-2, -1, 1, 2}) {
        const GUI_Point p = RosePoint(r.cx, r.cy, a, 0, k * dot);
        GUI_DrawCircle(p.x, p.y, 3);
    }
    GUI_SetColorIndex(colour);
    Line(RosePoint(r.cx, r.cy, a, gap, 0), RosePoint(r.cx, r.cy, a, len - 12, 0), 3);
    Line(RosePoint(r.cx, r.cy, a, -gap, 0), RosePoint(r.cx, r.cy, a, -len, 0), 3);
    const GUI_Point head[3] = {RosePoint(r.cx, r.cy, a, len, 0), RosePoint(r.cx, r.cy, a, len - 14, -7),
                               RosePoint(r.cx, r.cy, a, len - 14, 7)};
    GUI_FillPolygon(head, 3, 0, 0);
    if (deflValid) {
        Line(RosePoint(r.cx, r.cy, a, gap - 4, defl), RosePoint(r.cx, r.cy, a, -gap + 4, defl), 3);
    } else {
        // No deviation: the bar is left out and the flag says so.
        GUI_SetColorIndex(kEfRed);
        const GUI_Point p = RosePoint(r.cx, r.cy, a, 0, 0);
        DrawTextF(kEfRed, 5, 22, p.x, p.y - EfisPageY(), "NO CDI");
    }
    if (toFrom != 0) {
        const double at = toFrom == 1 ? gap * 0.6 : -gap * 0.6;
        const double tip = toFrom == 1 ? 9 : -9;
        const GUI_Point tri[3] = {RosePoint(r.cx, r.cy, a, at + tip, r.r * 0.2), RosePoint(r.cx, r.cy, a, at, r.r * 0.2 - 7),
                                  RosePoint(r.cx, r.cy, a, at, r.r * 0.2 + 7)};
        GUI_SetColorIndex(kEfWhite);
        GUI_FillPolygon(tri, 3, 0, 0);
    }
}

// The vertical deviation scale in the strip beside the altitude tape: two
// dots each way, the pointer at `pct` percent of full scale (pegged).
void VerticalDeviation(int32_t pct, uint32_t colour, const char* label) {
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    const int32_t x0 = v.x1 - 112, x1 = v.x1 - 89, cy = v.cy + py, xm = (x0 + x1) / 2;
    GUI_SetColorIndex(kEfWhite);
    for (int k : {-2, -1, 1, 2}) GUI_DrawCircle(xm, cy + k * 30, 3);
    GUI_FillRect(x0 + 2, cy - 1, x1 - 2, cy + 1);
    const int32_t p = pct < -110 ? -110 : pct > 110 ? 110 : pct;
    const int32_t y = cy - p * 60 / 100;
    const GUI_Point diamond[4] = {{static_cast<int16_t>(xm), static_cast<int16_t>(y - 8)},
                                  {static_cast<int16_t>(xm + 7), static_cast<int16_t>(y)},
                                  {static_cast<int16_t>(xm), static_cast<int16_t>(y + 8)},
                                  {static_cast<int16_t>(xm - 7), static_cast<int16_t>(y)}};
    GUI_SetColorIndex(colour);
    GUI_FillPolygon(diamond, 4, 0, 0);
    GUI_SetColorIndex(kEfBlack);
    GUI_DrawPolygon(diamond, 4, 0, 0);
    DrawTextF(colour, 2, 16, xm, v.cy - 70 + 1, "%s", label);
}

// The course source's name right of the heading box.
void SourceLabel(const Rose& r, const char* text, uint32_t colour) {
    DrawTextF(colour, 5, 21, static_cast<int32_t>(r.cx) + 29, static_cast<int32_t>(r.cy - r.r) - 12 - EfisPageY(), "%s",
              text);
}
}  // namespace

int32_t GetDisplayHeading(int32_t* flag) {
    int32_t f = 0, h = 0;
    if (AhrsHeadingLive()) {
        f = 1;
        h = Wrap3600(G_Ahrs.nHeading);
    } else if (const NavSrcRec* s = CourseSlot(); s && s->nType == 1 && (s->nGpsFlagsA & kNavGpsTrack) &&
                                                  (s->nGpsFlagsA & kNavGpsValid)) {
        f = 2;
        h = Wrap3600(s->nTrackMag);
    }
    if (flag) *flag = f;
    return h;
}

int32_t CdiDeflection(int32_t deviation, int32_t fullScale, int32_t dots2) {
    if (fullScale <= 0) return 0;
    int64_t d = static_cast<int64_t>(deviation) * dots2 / fullScale;
    const int64_t peg = dots2 + dots2 / 10;
    if (d > peg) d = peg;
    if (d < -peg) d = -peg;
    return static_cast<int32_t>(d);
}

int32_t GpsFullScale(const NavSrcRec& rec) {
    if (rec.nCdiFullScale != 0) return rec.nCdiFullScale;
    return GetCdiScale(static_cast<uint8_t>((G_NavSrc.hdr.nFlags0 >> kNavHdrPhaseShift) & 3u));
}

int32_t GpsToFrom(const NavSrcRec& rec) {
    if (!(rec.nGpsFlagsA & kNavGpsWptValid)) return 0;
    return HeadingWithin90(rec.nBearing, rec.nDesiredTrack) ? 1 : 2;
}

int32_t GpsVertDeviation(const NavSrcRec& rec) { return static_cast<int8_t>(rec.abVertGuide[0]); }

void DrawCompassRose() {
    const EfisView& v = G_EfisView;
    if (v.hsiR <= 0) return;
    const Rose r = CurrentRose();
    GUI_SetColorIndex(kEfBlack);
    GUI_FillCircle(Px(r.cx), Px(r.cy), static_cast<int>(r.r) + 2);
    GUI_SetColorIndex(kEfGrey);
    GUI_DrawCircle(Px(r.cx), Px(r.cy), static_cast<int>(r.r) + 2);
    static const char* const kCardinal[] = {"N", "3", "6", "E", "12", "15", "S", "21", "24", "W", "30", "33"};
    for (int32_t b = 0; b < 3600; b += 50) {
        const int32_t a = ScreenAngle(r, b);
        const bool ten = b % 100 == 0, thirty = b % 300 == 0;
        GUI_SetColorIndex(kEfWhite);
        Line(RosePoint(r.cx, r.cy, a, r.r, 0), RosePoint(r.cx, r.cy, a, r.r - (ten ? 10 : 5), 0), thirty ? 2 : 1);
        if (thirty) {
            const GUI_Point p = RosePoint(r.cx, r.cy, a, r.r - 20, 0);
            DrawTextF(b % 900 == 0 ? kEfWhite : kEfGrey, r.r > 60 ? 5 : 2, 22, p.x, p.y - EfisPageY(), "%s",
                      kCardinal[b / 300]);
        }
    }
    // The lubber line and the heading readout above the rose.
    const int32_t top = static_cast<int32_t>(r.cy - r.r);
    const GUI_Point lubber[3] = {{Px(r.cx), static_cast<int16_t>(top + 10)},
                                 {Px(r.cx - 6), static_cast<int16_t>(top - 1)},
                                 {Px(r.cx + 6), static_cast<int16_t>(top - 1)}};
    GUI_SetColorIndex(kEfWhite);
    GUI_FillPolygon(lubber, 3, 0, 0);
    const int32_t bx = static_cast<int32_t>(r.cx), by = top - 12 - EfisPageY();
    GUI_SetColorIndex(kEfBlack);
    GUI_FillRect(bx - 24, by - 10 + EfisPageY(), bx + 24, by + 9 + EfisPageY());
    GUI_SetColorIndex(kEfWhite);
    GUI_DrawRect(bx - 24, by - 10 + EfisPageY(), bx + 24, by + 9 + EfisPageY());
    int32_t flag = 0;
    const int32_t h = GetDisplayHeading(&flag);
    if (flag == 0) DrawTextF(kEfYellow, 9, 22, bx, by, "---");
    else {
        const int32_t deg = (h + 5) / 10 % 360;
        DrawTextF(flag == 1 ? kEfWhite : kEfMagenta, 9, 22, bx, by, "%03d", static_cast<int>(deg == 0 ? 360 : deg));
    }
    if (flag == 2) DrawTextF(kEfMagenta, 2, 16, bx, by - 18, "TRK");
}

void DrawHsiGps() {
    const NavSrcRec* s = CourseSlot();
    if (!s || G_EfisView.hsiR <= 0) return;
    const Rose r = CurrentRose();
    const bool valid = (s->nGpsFlagsA & kNavGpsValid) && (s->nGpsFlagsA & kNavGpsXtkUsable);
    const int32_t course = (s->nGpsFlagsA & kNavGpsDtkValid) ? s->nDesiredTrack : s->nCourse * 10;
    const int32_t dots2 = static_cast<int32_t>(r.r * 0.36);
    const int32_t defl = CdiDeflection(s->nCrossTrack, GpsFullScale(*s), dots2);
    CoursePointer(r, course, defl, valid, valid ? GpsToFrom(*s) : 0, kEfMagenta);
    SourceLabel(r, "GPS", kEfMagenta);
    if ((s->nGpsFlagsA & kNavGpsVertical) && (s->nGpsFlagsB & kNavGpsTrack))
        VerticalDeviation(GpsVertDeviation(*s), kEfMagenta, "V");
}

void DrawHsiVor() {
    const NavSrcRec* s = CourseSlot();
    if (!s || G_EfisView.hsiR <= 0) return;
    const Rose r = CurrentRose();
    constexpr uint8_t kLoc = 1u << 2, kTo = 1u << 3, kFrom = 1u << 4, kGsPresent = 1u << 5, kGsValid = 1u << 6;
    const bool valid = (s->nRadioFlagsA & kNavRadioValid) && (s->nRadioFlagsB & 1u);
    const int32_t dots2 = static_cast<int32_t>(r.r * 0.36);
    const int32_t defl = CdiDeflection(s->nCdi, kRadioFullScale, dots2);
    const int32_t toFrom = (s->nRadioFlagsA & kTo) ? 1 : (s->nRadioFlagsA & kFrom) ? 2 : 0;
    CoursePointer(r, s->nObs * 10, defl, valid, toFrom, kEfGreen);
    SourceLabel(r, (s->nRadioFlagsA & kLoc) ? "LOC" : "VOR", kEfGreen);
    if ((s->nRadioFlagsA & kLoc) && (s->nRadioFlagsA & kGsPresent) && (s->nRadioFlagsA & kGsValid))
        VerticalDeviation(static_cast<int32_t>(static_cast<int64_t>(s->nVertDev) * 100 / kRadioFullScale), kEfGreen, "G");
}

void DrawBearingPointer() {
    if (G_EfisView.hsiR <= 0) return;
    const Rose r = CurrentRose();
    const int32_t a = ScreenAngle(r, static_cast<int32_t>(G_NavSrc.hdr.nHdgBug) * 10);
    // A block on the rose's edge notched toward the centre, in the bug colour.
    const GUI_Point bug[7] = {RosePoint(r.cx, r.cy, a, r.r + 2, -8), RosePoint(r.cx, r.cy, a, r.r + 2, 8),
                              RosePoint(r.cx, r.cy, a, r.r - 7, 8),  RosePoint(r.cx, r.cy, a, r.r - 7, 3),
                              RosePoint(r.cx, r.cy, a, r.r - 2, 0),  RosePoint(r.cx, r.cy, a, r.r - 7, -3),
                              RosePoint(r.cx, r.cy, a, r.r - 7, -8)};
    GUI_SetColorIndex(kEfCyan);
    GUI_FillPolygon(bug, 7, 0, 0);
    // The bug's value beside the heading box.
    DrawTextF(kEfCyan, 5, 17, static_cast<int32_t>(r.cx) - 28, static_cast<int32_t>(r.cy - r.r) - 12 - EfisPageY(),
              "%03d", static_cast<int>(G_NavSrc.hdr.nHdgBug));
}
