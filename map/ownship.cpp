// The aircraft symbol.
#include "map/ownship.h"

#include <cmath>

#include "core/irq.h"
#include "gui/gui.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "ui/style.h"

namespace {
struct ShapePart {
    GUI_Point pts[7];
    int n;
};
// Nose up, y down; the origin is the own position.
enum Part { kLWing, kLWingIn, kLTail, kLTailLine, kRWing, kRWingIn, kRTail, kRTailLine, kBody, kBodyIn,
            kLProp, kRProp, kFin, kParts };
const ShapePart kOwnShipShape[kParts] = {
    {{{-3, -3}, {-16, -3}, {-16, 3}, {-3, 3}}, 4},
    {{{-5, 1}, {-13, 1}, {-13, 3}, {-5, 3}}, 4},
    {{{-2, 9}, {-8, 9}, {-8, 13}, {-2, 13}}, 4},
    {{{-3, 12}, {-7, 12}}, 2},
    {{{3, -3}, {16, -3}, {16, 3}, {3, 3}}, 4},
    {{{5, 1}, {13, 1}, {13, 3}, {5, 3}}, 4},
    {{{2, 9}, {8, 9}, {8, 13}, {2, 13}}, 4},
    {{{3, 12}, {7, 12}}, 2},
    {{{-2, -8}, {-3, -6}, {-2, 15}, {0, 17}, {2, 15}, {3, -6}, {2, -8}}, 7},
    {{{-2, -5}, {-1, 3}, {1, 3}, {2, -5}}, 4},
    {{{-7, -10}, {-1, -10}}, 2},
    {{{7, -10}, {1, -10}}, 2},
    {{{0, 9}, {0, 15}}, 2},
};
const Part kOutlines[] = {kLWing, kLTail, kRWing, kRTail, kBody, kFin};
}  // namespace

float OwnShipAngle(int32_t heading) {
    const double degrees = std::round(360.0 - heading / 10.0);
    return static_cast<float>(degrees) * 3.14159265f / 180.0f;
}

void MapDrawOwnShip(int32_t rotate, int32_t x, int32_t y) {
    ShapePart parts[kParts];
    const bool chart = rotate && (G_WptDb.nPageFlags & kWptChartView);
    const float angle = rotate ? OwnShipAngle(MapHeadingOf(MapSourceRecord())) : 0.0f;
    for (int i = 0; i < kParts; ++i) {
        parts[i] = kOwnShipShape[i];
        if (rotate) GUI_RotatePolygon(parts[i].pts, kOwnShipShape[i].pts, kOwnShipShape[i].n, angle);
    }
    const int32_t oy = y + static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    auto outline = [&](Part k) { GUI_DrawPolygon(parts[k].pts, parts[k].n, x, oy); };
    auto line = [&](Part k) { GUI_DrawPolyLine(parts[k].pts, parts[k].n, x, oy); };
    if (!chart) {
        GUI_SetPenSize(5);
        SetDrawColor(0);
        for (Part k : kOutlines) outline(k);
        line(kLProp);
        line(kRProp);
        SetDrawColor(31);
    } else {
        SetDrawColor(2);
    }
    GUI_SetPenSize(chart ? 2 : 1);
    for (Part k : kOutlines) outline(k);
    SetDrawColor(chart ? 2 : 20);
    line(kLProp);
    line(kRProp);
    SetDrawColor(20);
    GUI_SetPenSize(chart ? 2 : 1);
    for (Part k : {kBodyIn, kLWingIn, kRWingIn}) GUI_FillPolygon(parts[k].pts, parts[k].n, x, oy);
    line(kLTailLine);
    line(kRTailLine);
}
