#include "efis/attitude.h"

#include <cmath>

#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/efisdata.h"
#include "gui/gui.h"
#include "ui/style.h"

namespace {
constexpr int32_t kLadderSpan = 25;       // degrees of pitch shown either side of the aircraft
constexpr int32_t kRollMarks[] = {100, 200, 300, 450, 600};
constexpr double kOne = kTrigOne;

int16_t Px(double v) { return EfisPx(v); }
int32_t Wrap3600(int32_t a) { return EfisWrap3600(a); }
double SinT(int32_t a) { return SinTab10[static_cast<size_t>(Wrap3600(a))] / kOne; }
double CosT(int32_t a) { return CosTab10[static_cast<size_t>(Wrap3600(a))] / kOne; }

// A point at `r` from (cx, cy) in the direction that points up when the
// angle is 0, turned anticlockwise by `angle` tenths.
GUI_Point Polar(int32_t cx, int32_t cy, double r, int32_t angle) { return EfisRotated(cx, cy, -angle, r, 0); }

// The attitude's area on the page: the whole pane.
struct Area {
    double x0, y0, x1, y1;
};

// The pane corners on the ground side of the horizon, in order, with the
// horizon's crossings of the pane's edges: at most five points.
int GroundPolygon(const Area& a, const AdiHorizon& h, GUI_Point* out) {
    const double nx = SinT(h.nAngle), ny = CosT(h.nAngle);
    const double corner[4][2] = {{a.x0, a.y0}, {a.x1, a.y0}, {a.x1, a.y1}, {a.x0, a.y1}};
    auto side = [&](const double* p) { return (p[0] - h.nX) * nx + (p[1] - h.nY) * ny; };
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        const double* p = corner[i];
        const double* q = corner[(i + 1) % 4];
        const double sp = side(p), sq = side(q);
        if (sp >= 0) out[n++] = {Px(p[0]), Px(p[1])};
        if ((sp >= 0) != (sq >= 0)) {
            const double t = sp / (sp - sq);
            out[n++] = {Px(p[0] + t * (q[0] - p[0])), Px(p[1] + t * (q[1] - p[1]))};
        }
    }
    return n;
}

void ThickLine(int x0, int y0, int x1, int y1, uint8_t width) {
    const uint8_t old = GUI_SetPenSize(width);
    GUI_DrawLine(x0, y0, x1, y1);
    GUI_SetPenSize(old);
}

int32_t PitchClamped(int32_t pitch) { return pitch < -9000 ? -9000 : pitch > 9000 ? 9000 : pitch; }

void DrawLadder(const EfisView& v, int32_t roll, int32_t pitch, int32_t pageY) {
    const int32_t halfW = v.bNarrow ? 50 : 110;
    const GUI_Rect saved = GUI_DrawState.ClipRect;
    const GUI_Rect clip = {static_cast<int16_t>(v.cx - halfW), static_cast<int16_t>(v.y0 + 30 + pageY),
                           static_cast<int16_t>(v.cx + halfW), static_cast<int16_t>(v.adiClipY1 + pageY)};
    GUI_Rect both;
    if (!GUI_RectIntersection(&both, &clip, &saved)) return;
    GUI_SetClipRect(&both);
    const double ux = CosT(roll), uy = -SinT(roll), nx = SinT(roll), ny = CosT(roll);
    GUI_SetColorIndex(kEfWhite);
    for (int32_t deg = -90; deg <= 90; deg += 5) {
        if (deg == 0) continue;
        const double off = (pitch - deg * 100) / 100.0;
        if (off > kLadderSpan || off < -kLadderSpan) continue;
        const double px = v.cx + nx * off * v.ppd, py = v.cy + pageY + ny * off * v.ppd;
        const double half = deg % 10 == 0 ? (v.bNarrow ? 22 : 30) : (v.bNarrow ? 10 : 14);
        ThickLine(Px(px - ux * half), Px(py - uy * half), Px(px + ux * half), Px(py + uy * half), 1);
        if (deg % 10 != 0) continue;
        // Ticks toward the horizon at the ends, labels beyond them.
        const double tick = deg > 0 ? 6 : -6;
        for (int s : {-1, 1}) {
            const double ex = px + s * ux * half, ey = py + s * uy * half;
            GUI_DrawLine(Px(ex), Px(ey), Px(ex + nx * tick), Px(ey + ny * tick));
            const double lx = px + s * ux * (half + 12), ly = py + s * uy * (half + 12);
            DrawTextF(kEfWhite, 0, 22, Px(lx), Px(ly) - pageY, "%d", deg < 0 ? -deg : deg);
        }
    }
    GUI_SetClipRect(&saved);
}
}  // namespace

AdiHorizon AttitudeHorizon(const EfisView& v, int32_t roll, int32_t pitch) {
    AdiHorizon h = {};
    h.nAngle = Wrap3600(roll);
    h.nOffset = SaturateI32(std::floor(PitchClamped(pitch) * v.ppd / 100.0 + 0.5));
    h.nX = Px(v.cx + SinT(h.nAngle) * h.nOffset);
    h.nY = Px(v.cy + CosT(h.nAngle) * h.nOffset);
    return h;
}

int32_t SlipBallOffset(int32_t latAccel) {
    // 0.20 g sideways puts the ball at the end of the tube.
    const int64_t off = -static_cast<int64_t>(latAccel) * kSlipBallMax / 20;
    return static_cast<int32_t>(off < -kSlipBallMax ? -kSlipBallMax : off > kSlipBallMax ? kSlipBallMax : off);
}

int32_t RollScaleRadius(const EfisView& v) {
    const int32_t r = v.cy - v.y0 - 60;
    return r > 130 ? 130 : r;
}

namespace {
// Sky, ground and the horizon line across the view's pane (clipped to it by the caller).
void SkyAndGround(const EfisView& v, int32_t pageY, int32_t roll, int32_t pitch, uint8_t horizonPen) {
    GUI_SetColorIndex(kEfSky);
    GUI_FillRect(v.x0, v.y0 + pageY, v.x1, v.y1 + pageY);
    AdiHorizon h = AttitudeHorizon(v, roll, pitch);
    h.nY += pageY;
    const Area a = {static_cast<double>(v.x0), static_cast<double>(v.y0 + pageY), static_cast<double>(v.x1),
                    static_cast<double>(v.y1 + pageY)};
    GUI_Point ground[8];
    const int n = GroundPolygon(a, h, ground);
    GUI_SetColorIndex(kEfGround);
    if (n >= 3) GUI_FillPolygon(ground, n, 0, 0);
    const double ux = CosT(h.nAngle) * 2000, uy = -SinT(h.nAngle) * 2000;
    GUI_SetColorIndex(kEfWhite);
    ThickLine(Px(h.nX - ux), Px(h.nY - uy), Px(h.nX + ux), Px(h.nY + uy), horizonPen);
}
}  // namespace

void DrawAttitude() {
    const EfisView& v = G_EfisView;
    const int32_t pageY = EfisPageY();
    GUI_SelectScreen();
    const GUI_Rect clip = EfisClipPane(pageY);
    const bool live = AhrsAttitudeLive();
    const int32_t roll = live ? G_Ahrs.nRoll : 0;
    const int32_t pitch = live ? PitchClamped(G_Ahrs.nPitch) : 0;
    SkyAndGround(v, pageY, roll, pitch, 2);
    if (live) {
        DrawLadder(v, roll, pitch, pageY);
        // The roll pointer turns with the horizon under the fixed scale.
        const int32_t r = RollScaleRadius(v);
        const GUI_Point tri[3] = {Polar(v.cx, v.cy + pageY, r - 1, roll), Polar(v.cx, v.cy + pageY, r - 13, roll - 35),
                                  Polar(v.cx, v.cy + pageY, r - 13, roll + 35)};
        GUI_SetColorIndex(kEfWhite);
        GUI_FillPolygon(tri, 3, 0, 0);
    } else {
        // No attitude: a red cross over the sky, never a level horizon.
        GUI_SetColorIndex(kEfRed);
        const int32_t d = (v.x1 - v.x0) > 500 ? 90 : 60;
        ThickLine(v.cx - d, v.cy - d + pageY, v.cx + d, v.cy + d + pageY, 4);
        ThickLine(v.cx - d, v.cy + d + pageY, v.cx + d, v.cy - d + pageY, 4);
    }
    EfisClipRestore(clip);
}

void DrawSlipBall() {
    if (!AhrsAttitudeLive()) return;
    const EfisView& v = G_EfisView;
    const int32_t pageY = EfisPageY();
    const int32_t roll = G_Ahrs.nRoll;
    const double r = RollScaleRadius(v) - 20;
    const double ux = CosT(roll), uy = -SinT(roll);
    const GUI_Point c = Polar(v.cx, v.cy + pageY, r, roll);
    const int32_t off = SlipBallOffset(G_Ahrs.nLatAccel);
    const GUI_Rect clip = EfisClipPane(pageY);
    GUI_SetColorIndex(kEfBlack);
    for (int s : {-1, 1}) {
        const double tx = c.x + s * ux * (kSlipBallMax + 6), ty = c.y + s * uy * (kSlipBallMax + 6);
        ThickLine(Px(tx - uy * 6), Px(ty + ux * 6), Px(tx + uy * 6), Px(ty - ux * 6), 2);
    }
    const int bx = Px(c.x + ux * off), by = Px(c.y + uy * off);
    GUI_SetColorIndex(kEfBlack);
    GUI_FillCircle(bx, by, 6);
    GUI_SetColorIndex(kEfWhite);
    GUI_FillCircle(bx, by, 5);
    EfisClipRestore(clip);
}

void DrawAdiClampedMarker() {
    if (!AhrsAttitudeLive()) return;
    const EfisView& v = G_EfisView;
    const int32_t pitch = PitchClamped(G_Ahrs.nPitch);
    // Beyond 30 degrees the horizon has left the ladder: red chevrons point
    // the way back to it.
    if (pitch > -3000 && pitch < 3000) return;
    const int32_t pageY = EfisPageY();
    const int32_t dir = pitch > 0 ? 1 : -1;   // nose up: the horizon is below
    const GUI_Rect clip = EfisClipPane(pageY);
    GUI_SetColorIndex(kEfRed);
    const int32_t y = v.cy - dir * 50 + pageY;
    for (int k = 0; k < 2; ++k) {
        const int32_t yy = y + dir * k * 14;
        const GUI_Point chevron[6] = {{static_cast<int16_t>(v.cx - 28), static_cast<int16_t>(yy - dir * 12)},
                                      {static_cast<int16_t>(v.cx), static_cast<int16_t>(yy + dir * 4)},
                                      {static_cast<int16_t>(v.cx + 28), static_cast<int16_t>(yy - dir * 12)},
                                      {static_cast<int16_t>(v.cx + 28), static_cast<int16_t>(yy - dir * 6)},
                                      {static_cast<int16_t>(v.cx), static_cast<int16_t>(yy + dir * 10)},
                                      {static_cast<int16_t>(v.cx - 28), static_cast<int16_t>(yy - dir * 6)}};
        GUI_FillPolygon(chevron, 6, 0, 0);
    }
    EfisClipRestore(clip);
}

void DrawAttitudeStatic(int32_t rowBase) {
    const EfisView& v = G_EfisView;
    const int32_t r = RollScaleRadius(v);
    const int32_t cy = v.cy + rowBase;
    GUI_SetColorIndex(kEfWhite);
    // A narrow pane keeps the scale to 30 degrees, clear of the AOA area.
    const int32_t last = v.bNarrow ? 300 : 600;
    for (int32_t m : kRollMarks) {
        if (m > last) break;
        const int32_t len = (m == 300 || m == 600) ? 14 : 8;
        for (int32_t s : {-1, 1}) {
            const GUI_Point a = Polar(v.cx, cy, r, s * m), b = Polar(v.cx, cy, r + len, s * m);
            ThickLine(a.x, a.y, b.x, b.y, 2);
        }
    }
    GUI_DrawArc(v.cx, cy, r, r, 90 - last / 10, 90 + last / 10);
    // The zero mark: a fixed triangle pointing down at the roll pointer.
    const GUI_Point zero[3] = {{static_cast<int16_t>(v.cx), static_cast<int16_t>(cy - r)},
                               {static_cast<int16_t>(v.cx - 8), static_cast<int16_t>(cy - r - 12)},
                               {static_cast<int16_t>(v.cx + 8), static_cast<int16_t>(cy - r - 12)}};
    GUI_FillPolygon(zero, 3, 0, 0);
    // The aircraft symbol: two wings and a centre square, yellow edged in black.
    const int32_t w = (v.x1 - v.x0) > 500 ? 70 : 50;
    const int32_t gap = 24;
    for (int32_t s : {-1, 1}) {
        const int32_t xa = v.cx + s * gap, xb = v.cx + s * (gap + w);
        const int32_t lo = xa < xb ? xa : xb, hi = xa < xb ? xb : xa;
        GUI_SetColorIndex(kEfBlack);
        GUI_FillRect(lo - 1, cy - 3, hi + 1, cy + 3);
        GUI_SetColorIndex(kEfYellow);
        GUI_FillRect(lo, cy - 2, hi, cy + 2);
        GUI_FillRect(xa - (s > 0 ? 0 : 4), cy + 2, xa + (s > 0 ? 4 : 0), cy + 10);
    }
    GUI_SetColorIndex(kEfBlack);
    GUI_FillRect(v.cx - 4, cy - 4, v.cx + 4, cy + 4);
    GUI_SetColorIndex(kEfYellow);
    GUI_FillRect(v.cx - 3, cy - 3, v.cx + 3, cy + 3);
}

void DrawAttitudeInset(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    EfisView v = EfisViewForPane(x0, y0, x1, y1);
    v.ppd = 2;   // +-15 degrees of pitch in a 60-row box
    const int32_t pageY = EfisPageY();
    const GUI_Rect saved = GUI_DrawState.ClipRect;
    const GUI_Rect box = {static_cast<int16_t>(x0), static_cast<int16_t>(y0 + pageY), static_cast<int16_t>(x1),
                          static_cast<int16_t>(y1 + pageY)};
    GUI_SetClipRect(&box);
    const bool live = AhrsAttitudeLive();
    SkyAndGround(v, pageY, live ? G_Ahrs.nRoll : 0, live ? PitchClamped(G_Ahrs.nPitch) : 0, 1);
    const int32_t cy = v.cy + pageY;
    if (live) {
        // The aircraft: short wings either side of a centre dot.
        GUI_SetColorIndex(kEfBlack);
        GUI_FillRect(v.cx - 21, cy - 2, v.cx - 7, cy + 2);
        GUI_FillRect(v.cx + 7, cy - 2, v.cx + 21, cy + 2);
        GUI_FillRect(v.cx - 2, cy - 2, v.cx + 2, cy + 2);
        GUI_SetColorIndex(kEfYellow);
        GUI_FillRect(v.cx - 20, cy - 1, v.cx - 8, cy + 1);
        GUI_FillRect(v.cx + 8, cy - 1, v.cx + 20, cy + 1);
        GUI_FillRect(v.cx - 1, cy - 1, v.cx + 1, cy + 1);
    } else {
        GUI_SetColorIndex(kEfRed);
        const int32_t d = (y1 - y0) / 2 - 6;
        ThickLine(v.cx - d, cy - d, v.cx + d, cy + d, 3);
        ThickLine(v.cx - d, cy + d, v.cx + d, cy - d, 3);
    }
    GUI_SetColorIndex(kEfGrey);
    GUI_DrawRect(x0, y0 + pageY, x1, y1 + pageY);
    GUI_SetClipRect(&saved);
}
