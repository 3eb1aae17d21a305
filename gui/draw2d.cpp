// Lines, polygons, circles, ellipses and arcs, the integer trigonometry and
// the polygon transforms. Every pixel goes through the clipped primitives.
#include <cmath>
#include <cstdlib>
#include "gui/gui.h"

static const uint16_t kSinTab[17] = {0, 100, 200, 297, 392, 483, 569, 650, 724,
                                     792, 851, 903, 946, 980, 1004, 1019, 1024};
static const int16_t kAtanTab[17] = {0, 41, 81, 121, 160, 197, 234, 269, 302,
                                     334, 364, 393, 419, 445, 469, 491, 512};

constexpr int kMaxCrossings = 12;
static int16_t s_crossings[kMaxCrossings];
static int s_crossingCount = 0;

// ---- integer trigonometry ------------------------------------------------------------

int GUI_Sin(int angle) {
    int a = angle & 4095;
    int h = a > 2048 ? a - 2048 : a;
    int index, f;
    if (h <= 1024) {
        index = h / 64;
        f = a & 63;
    } else {
        index = (2048 - h) / 64;
        f = (-a) & 63;
    }
    // The second term only when it counts: at 90 degrees the index is the
    // table's last entry.
    int v = (64 - f) * kSinTab[index] + 32;
    if (f) v += f * kSinTab[index + 1];
    v >>= 6;
    return a > 2048 ? -v : v;
}

int GUI_Cos(int angle) { return GUI_Sin(angle + 1024); }

static int Atan(int q) {
    int index = q / 64, f = (q / 4) & 15;
    int v = (16 - f) * kAtanTab[index] + 8;
    if (f) v += f * kAtanTab[index + 1];
    return v / 16;
}

int GUI_Atan2(int x, int y) {
    int ax = std::abs(x), ay = std::abs(y);
    int m = ax > ay ? ax : ay, mn = ax > ay ? ay : ax;
    if (m == 0) return 0;            // no direction
    int a = Atan(static_cast<int>((m / 2 + static_cast<int64_t>(mn) * 1024) / m));
    if (ay > ax) a = 1024 - a;
    if (x < 0) a = 2048 - a;
    if (y < 0) a = 4096 - a;
    return a;
}

// ---- lines ------------------------------------------------------------------------------

void GUI_MoveTo(int x, int y) {
    GUI_DrawState.DrawPosX = static_cast<int16_t>(x);
    GUI_DrawState.DrawPosY = static_cast<int16_t>(y);
}

void GUI_MoveRel(int dx, int dy) { GUI_MoveTo(GUI_DrawState.DrawPosX + dx, GUI_DrawState.DrawPosY + dy); }

void GUI_DrawPixel(int x, int y) { GUI_ClipSetPixel(x, y); }

void GUI_DrawPoint(int x, int y) {
    if (GUI_DrawState.PenSize <= 1) GUI_ClipSetPixel(x, y);
    else GUI_FillCircle(x, y, (GUI_DrawState.PenSize - 1) / 2);
}

static void ThinLine(int x0, int y0, int x1, int y1) {
    if (x0 == x1 && y0 == y1) {
        GUI_ClipSetPixel(x0, y0);
        return;
    }
    int dx = x1 - x0, dy = y1 - y0;
    bool swapped = std::abs(dx) < std::abs(dy);
    if (swapped) {
        std::swap(x0, y0);
        std::swap(x1, y1);
        std::swap(dx, dy);
    }
    if (dx < 0) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        dx = -dx;
        dy = -dy;
    }
    if (dy == 0) {
        if (swapped) GUI_ClipVLine(y0, x0, x1);
        else GUI_ClipHLine(x0, y0, x1);
        return;
    }
    int bias = dy > 0 ? dx / 2 : -(dx / 2);
    for (int i = 0; i <= dx; ++i) {
        int m = y0 + static_cast<int>((bias + static_cast<int64_t>(dy) * i) / dx);   // 64 bits: long spans
        if (swapped) GUI_ClipSetPixel(m, x0 + i);
        else GUI_ClipSetPixel(x0 + i, m);
    }
}

static int RoundScaled(int v) { return v >= 0 ? (v + 512) >> 10 : -((512 - v) >> 10); }
static int Outer(int o) { return o > 0 ? (o + 1) / 2 : o / 2; }
static int Inner(int o) { return o > 0 ? o / 2 : (o - 1) / 2; }

static void ThickLine(int x0, int y0, int x1, int y1) {
    if (x0 == x1 && y0 == y1) return;
    int p = GUI_DrawState.PenSize;
    int a = GUI_Atan2(x0 - x1, y0 - y1) + 1024;
    int ox = RoundScaled((p - 1) * GUI_Cos(a)), oy = RoundScaled((p - 1) * GUI_Sin(a));
    GUI_Point q[4] = {
        {static_cast<int16_t>(x0 + Outer(ox)), static_cast<int16_t>(y0 + Outer(oy))},
        {static_cast<int16_t>(x0 - Inner(ox)), static_cast<int16_t>(y0 - Inner(oy))},
        {static_cast<int16_t>(x1 - Inner(ox)), static_cast<int16_t>(y1 - Inner(oy))},
        {static_cast<int16_t>(x1 + Outer(ox)), static_cast<int16_t>(y1 + Outer(oy))},
    };
    GUI_FillPolygon(q, 4, 0, 0);
    GUI_DrawPoint(x0, y0);
    GUI_DrawPoint(x1, y1);
}

void GUI_DrawLine(int x0, int y0, int x1, int y1) {
    if (GUI_DrawState.PenSize <= 1) ThinLine(x0, y0, x1, y1);
    else ThickLine(x0, y0, x1, y1);
}

void GUI_DrawLineTo(int x, int y) {
    GUI_DrawLine(GUI_DrawState.DrawPosX, GUI_DrawState.DrawPosY, x, y);
    GUI_MoveTo(x, y);
}

void GUI_DrawLineRel(int dx, int dy) { GUI_DrawLineTo(GUI_DrawState.DrawPosX + dx, GUI_DrawState.DrawPosY + dy); }

void GUI_DrawHLine(int y, int x0, int x1) { GUI_ClipHLine(x0, y, x1); }

void GUI_DrawHLineOrdered(int x0, int y, int x1) {
    if (x0 >= x1) std::swap(x0, x1);
    GUI_ClipHLine(x0, y, x1);
}

void GUI_DrawVLine(int x, int y0, int y1) { GUI_ClipVLine(x, y0, y1); }

void GUI_DrawRect(int x0, int y0, int x1, int y1) {
    GUI_ClipHLine(x0, y0, x1);
    GUI_ClipHLine(x0, y1, x1);
    GUI_ClipVLine(x0, y0 + 1, y1 - 1);
    GUI_ClipVLine(x1, y0 + 1, y1 - 1);
}

// ---- polygons ------------------------------------------------------------------------------

void GUI_DrawPolyLine(const GUI_Point* points, int n, int dx, int dy) {
    if (n <= 0) return;
    GUI_MoveTo(points[0].x + dx, points[0].y + dy);
    for (int i = 1; i < n; ++i) GUI_DrawLineTo(points[i].x + dx, points[i].y + dy);
}

void GUI_DrawPolygon(const GUI_Point* points, int n, int dx, int dy) {
    if (n <= 0) return;
    GUI_DrawPolyLine(points, n, dx, dy);
    if (points[n - 1].x != points[0].x || points[n - 1].y != points[0].y)
        GUI_DrawLineTo(points[0].x + dx, points[0].y + dy);
}

static void AddCrossing(int x) {
    if (s_crossingCount >= kMaxCrossings) return;
    int i = s_crossingCount++;
    for (; i > 0 && s_crossings[i - 1] > x; --i) s_crossings[i] = s_crossings[i - 1];
    s_crossings[i] = static_cast<int16_t>(x);
}

// Nearest integer to num / d (d > 0), halves towards +infinity, for either
// sign of num.
static int RoundDiv(int64_t num, int64_t d) {
    int64_t n2 = 2 * num + d, d2 = 2 * d;
    int64_t q = n2 / d2;
    if (n2 % d2 != 0 && n2 < 0) --q;      // floor
    return static_cast<int>(q);
}

static void FillRow(const GUI_Point* p, int n, int y, int dx, int dy) {
    s_crossingCount = 0;
    for (int i = 0; i < n; ++i) {
        const GUI_Point& a = p[i];
        const GUI_Point& b = p[(i + 1) % n];
        bool aOn = a.y == y, bOn = b.y == y;
        if (!aOn && !bOn) {
            const GUI_Point& lo = a.y < b.y ? a : b;
            const GUI_Point& hi = a.y < b.y ? b : a;
            if (y > lo.y && y < hi.y) AddCrossing(lo.x + RoundDiv(static_cast<int64_t>(y - lo.y) * (hi.x - lo.x), hi.y - lo.y));
        } else if (aOn && bOn) {
            GUI_DrawHLineOrdered(a.x + dx, y + dy, b.x + dx);
        } else if (aOn) {
            // Walk back to the nearest point off the row: through the row, or a peak.
            int k = i;
            for (int step = 0; step < n; ++step) {
                k = (k + n - 1) % n;
                if (p[k].y != y) break;
            }
            bool through = (p[k].y < y) != (b.y < y);
            if (through) AddCrossing(a.x);
            else GUI_ClipHLine(a.x + dx, y + dy, a.x + dx);
        }
    }
    for (int i = 0; i + 1 < s_crossingCount; i += 2) GUI_ClipHLine(s_crossings[i] + dx, y + dy, s_crossings[i + 1] + dx);
}

void GUI_FillPolygon(const GUI_Point* points, int n, int dx, int dy) {
    if (n <= 0) return;
    int ymin = 4095, ymax = -4095;
    for (int i = 0; i < n; ++i) {
        if (points[i].y < ymin) ymin = points[i].y;
        if (points[i].y > ymax) ymax = points[i].y;
    }
    const GUI_Rect* clip = GUI_DrawState.pClipRect;
    if (ymin < clip->y0 - dy) ymin = clip->y0 - dy;
    if (ymax > clip->y1 - dy) ymax = clip->y1 - dy;
    for (int y = ymin; y <= ymax; ++y) FillRow(points, n, y, dx, dy);
}

// ---- circles and ellipses -------------------------------------------------------------------

static void EightPoints(int x0, int y0, int a, int b) {
    GUI_ClipSetPixel(x0 + a, y0 + b);
    GUI_ClipSetPixel(x0 - a, y0 + b);
    GUI_ClipSetPixel(x0 + b, y0 + a);
    GUI_ClipSetPixel(x0 + b, y0 - a);
    if (b == 0) return;
    GUI_ClipSetPixel(x0 + a, y0 - b);
    GUI_ClipSetPixel(x0 - a, y0 - b);
    GUI_ClipSetPixel(x0 - b, y0 + a);
    GUI_ClipSetPixel(x0 - b, y0 - a);
}

void GUI_DrawCircle(int x0, int y0, int r) {
    int n = r * 707 / 1000 + 1, x = r;
    int limit = r / 2 + r * r;
    GUI_ClipSetPixel(x0 + r, y0);
    GUI_ClipSetPixel(x0 - r, y0);
    GUI_ClipSetPixel(x0, y0 + r);
    GUI_ClipSetPixel(x0, y0 - r);
    for (int i = 1; i <= n; ++i) {
        if (x * x + i * i > limit) {
            EightPoints(x0, y0, i, x);
            --x;
        }
        EightPoints(x0, y0, i, x);
    }
}

void GUI_FillCircle(int x0, int y0, int r) {
    int n = r * 707 / 1000 + 1, x = r;
    int limit = r / 2 + r * r;
    GUI_ClipHLine(x0 - r, y0, x0 + r);
    for (int i = 1; i <= n; ++i) {
        if (x * x + i * i > limit) {
            if (x > n) {
                GUI_ClipHLine(x0 - i + 1, y0 + x, x0 + i - 1);
                GUI_ClipHLine(x0 - i + 1, y0 - x, x0 + i - 1);
            }
            --x;
        }
        GUI_ClipHLine(x0 - x, y0 + i, x0 + x);
        GUI_ClipHLine(x0 - x, y0 - i, x0 + x);
    }
}

// Half widths of an ellipse row by row; 64-bit, since rx^2 ry^2 passes 2^31
// for radii above about 215.
struct EllipseWalk {
    int64_t rx2, ry2, limit;
    int x;
    EllipseWalk(int rx, int ry) : rx2(int64_t{rx} * rx), ry2(int64_t{ry} * ry), limit(rx2 * ry2 + rx2 * ry / 2), x(rx) {}
    int Row(int y) {
        while (x > 0 && int64_t{y} * y * rx2 + ry2 * x * x > limit) --x;
        return x;
    }
};

void GUI_FillEllipse(int x0, int y0, int rx, int ry) {
    EllipseWalk w(rx, ry);
    for (int y = 0; y <= ry; ++y) {
        int x = w.Row(y);
        GUI_ClipHLine(x0 - x, y0 + y, x0 + x);
        if (y > 0) GUI_ClipHLine(x0 - x, y0 - y, x0 + x);
    }
}

void GUI_DrawEllipse(int x0, int y0, int rx, int ry) {
    EllipseWalk w(rx, ry);
    int prev = w.Row(0);
    for (int y = 1; y <= ry; ++y) {
        int x = y == ry ? 0 : w.Row(y);
        ThinLine(x0 - prev, y0 - y + 1, x0 - x, y0 - y);
        ThinLine(x0 + prev, y0 - y + 1, x0 + x, y0 - y);
        ThinLine(x0 - prev, y0 + y - 1, x0 - x, y0 + y);
        ThinLine(x0 + prev, y0 + y - 1, x0 + x, y0 + y);
        prev = x;
    }
    if (ry == 0) GUI_ClipHLine(x0 - prev, y0, x0 + prev);
}

// ---- arcs -------------------------------------------------------------------------------------

constexpr float kPi = 3.1415926f;

// Largest integer whose square is below v (0 when v <= 0).
static int HalfWidth(float v) {
    if (v <= 0) return 0;
    int x = static_cast<int>(std::sqrt(v));
    while (x > 0 && static_cast<float>(x) * x >= v) --x;
    while (static_cast<float>(x + 1) * (x + 1) < v) ++x;
    return x;
}

// x of the radius at angle a (sine s, cosine c) at row y, by interpolation
// between its inner and outer points, truncated towards zero.
static int RadiusX(float ri, float ro, float s, float c, int y) {
    float yi = ri * s, yo = ro * s;
    if (yo == yi) return static_cast<int>(ro * c);
    float t = (static_cast<float>(y) - yi) / (yo - yi);
    return static_cast<int>(ri * c + t * (ro - ri) * c);
}

// One annular sector in a quadrant: local angles b0 < b1 (degrees from the
// horizontal axis), sx and sy the quadrant's signs.
static void ArcPiece(int x0, int y0, float ri, float ro, int b0, int b1, int sx, int sy) {
    float s0 = std::sin(static_cast<float>(b0) * kPi / 180), c0 = std::cos(static_cast<float>(b0) * kPi / 180);
    float s1 = std::sin(static_cast<float>(b1) * kPi / 180), c1 = std::cos(static_cast<float>(b1) * kPi / 180);
    int top = static_cast<int>(std::floor(ro * s1)), bottom = static_cast<int>(std::ceil(ri * s0));
    const GUI_Rect* clip = GUI_DrawState.pClipRect;
    for (int y = top; y >= bottom; --y) {
        int row = y0 - sy * y;
        if (row < clip->y0 || row > clip->y1) continue;
        float yy = static_cast<float>(y) * y;
        int xo = HalfWidth(ro * ro - yy), xi = HalfWidth(ri * ri - yy);
        int far = static_cast<float>(y) < ro * s0 ? RadiusX(ri, ro, s0, c0, y) : xo;
        int near = static_cast<float>(y) > ri * s1 ? RadiusX(ri, ro, s1, c1, y) : xi;
        if (sx > 0) GUI_ClipHLine(x0 + near, row, x0 + far);
        else GUI_ClipHLine(x0 - far, row, x0 - near);
    }
}

void GUI_DrawArc(int x0, int y0, int r, int, int a0, int a1) {
    float h = (static_cast<float>(GUI_DrawState.PenSize) + 1.5f) / 2;
    float ri = static_cast<float>(r) - h, ro = static_cast<float>(r) + h;
    a0 += 360;
    a1 += 360;
    while (a0 >= 360) {
        a0 -= 360;
        a1 -= 360;
    }
    while (a1 < a0) a1 += 360;     // 350..10 runs through 0
    auto lo = [](int a) { return a > 0 ? a : 0; };
    auto hi = [](int a) { return a < 90 ? a : 90; };
    while (a1 > 0) {
        if (lo(a0) < hi(a1)) ArcPiece(x0, y0, ri, ro, lo(a0), hi(a1), +1, +1);                 // up-right
        a0 -= 90; a1 -= 90;
        if (a1 <= 0) break;
        if (lo(a0) < hi(a1)) ArcPiece(x0, y0, ri, ro, 90 - hi(a1), 90 - lo(a0), -1, +1);       // up-left
        a0 -= 90; a1 -= 90;
        if (a1 <= 0) break;
        if (lo(a0) < hi(a1)) ArcPiece(x0, y0, ri, ro, lo(a0), hi(a1), -1, -1);                 // down-left
        a0 -= 90; a1 -= 90;
        if (a1 <= 0) break;
        if (lo(a0) < hi(a1)) ArcPiece(x0, y0, ri, ro, 90 - hi(a1), 90 - lo(a0), +1, -1);       // down-right
        a0 -= 90; a1 -= 90;
    }
}

// ---- polygon transforms -------------------------------------------------------------------------

void GUI_RotatePolygon(GUI_Point* dest, const GUI_Point* src, int n, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    for (int i = 0; i < n; ++i) {
        float x = src[i].x, y = src[i].y;
        dest[i].x = static_cast<int16_t>(x * c + y * s);
        dest[i].y = static_cast<int16_t>(-x * s + y * c);
    }
}

struct Vec {
    double x, y;
};

static Vec Unit(int dx, int dy) {
    double len = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
    if (len == 0) return {0, 0};     // a zero-length edge stays unnormalised
    return {dx / len, dy / len};
}

void GUI_GrowPolygon(GUI_Point* dest, const GUI_Point* src, int n, int len) {
    for (int i = 0; i < n; ++i) {
        const GUI_Point& prev = src[(i + n - 1) % n];
        const GUI_Point& cur = src[i];
        const GUI_Point& next = src[(i + 1) % n];
        Vec u = Unit(cur.x - prev.x, cur.y - prev.y);
        Vec v = Unit(next.x - cur.x, next.y - cur.y);
        Vec w = {u.x + v.x, u.y + v.y};
        double w2 = w.x * w.x + w.y * w.y;
        if (w2 < 1e-9) {
            // A full reversal or two empty edges has no mitre: move along
            // the perpendicular of whichever edge has a direction.
            w = (u.x != 0 || u.y != 0) ? u : v;
        } else {
            w = {w.x * 2 / w2, w.y * 2 / w2};
        }
        dest[i].x = static_cast<int16_t>(cur.x + std::lround(len * w.y));
        dest[i].y = static_cast<int16_t>(cur.y - std::lround(len * w.x));
    }
}
