// Obstacles, navaids and intersections.
#include "map/points.h"

#include <algorithm>
#include <cstring>

#include "core/irq.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "gui/gui.h"
#include "map/layers.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "map/records.h"
#include "ui/pages.h"
#include "ui/style.h"

namespace {
constexpr uint32_t kNearDist = 26214;   // 0.1 square degree (26214.4): beyond it only tall ones
constexpr uint32_t kFarDist = 78643;    // 0.3 square degree (78643.2): the walk ends
constexpr GUI_Point kObstacleShort[3] = {{-3, 0}, {0, -10}, {3, 0}};
constexpr GUI_Point kObstacleTall[7] = {{-3, 0}, {-2, -3}, {-1, -10}, {0, -19}, {1, -10}, {2, -3}, {3, 0}};
constexpr GUI_Point kNavaidHexagon[6] = {{-2, -4}, {2, -4}, {5, 0}, {2, 4}, {-2, 4}, {-5, 0}};
constexpr GUI_Point kFixTriangle[3] = {{0, -3}, {-3, 2}, {3, 2}};
constexpr int8_t kLights[12][2] = {{-3, -10}, {-4, -10}, {-2, -12}, {-3, -13}, {4, -10}, {5, -10},
                                   {3, -12},  {4, -13},  {1, -14},  {0, -15},  {0, -14}, {1, -15}};

int32_t Oy() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
MapPoint Ref() { return {G_MapFrame.nRefLat, G_MapFrame.nRefLon}; }

void Project(const uint8_t* rec, int32_t* x, int32_t* y) {
    MapProject(Ref(), MapPoint{RecS32(rec, 0), RecS32(rec, 4)}, x, y);
}

// The identifier of a record as text (never a format).
void Identifier(const uint8_t* rec, int32_t x, int32_t y) {
    char id[kWptIdBytes + 1] = {};
    std::memcpy(id, rec + 12, kWptIdBytes);
    DrawTextF(11, 23, 16, x, y + 9, "%s", id);
}
}  // namespace

uint32_t ObstacleColour(uint32_t h, int32_t t, int32_t a, uint32_t z) {
    if (a < t + 100) return (z <= 4 && h < 1000) ? 0 : 2;
    if (a < t + 600) return z <= 5 ? 0 : 14;
    if (a >= t + 5000 || h <= 1000 || z <= 4) return 0;
    return 20;
}

bool InMapPane(int32_t x, int32_t y) {
    return x >= G_MapPane.x0 && x <= G_MapPane.x1 && y >= G_MapPane.y0 && y <= G_MapPane.y1;
}

void MapDrawObstacles() {
    const uint32_t z = G_MapZoom;
    if (z <= 2) return;
    GUI_SetPenSize(2);
    const int32_t oy = Oy();
    for (MapSquare& slot : G_MapSquares) {
        MapSortObstacles(&slot);
        const uint32_t n = std::min(slot.nObstacles, kMaxObstacles);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* o = slot.obstacles[slot.anObstacleOrder[i] % kMaxObstacles];
            const uint32_t h = RecU16(o, obs::kHeight), d = slot.anObstacleDist[i];
            const int32_t t = static_cast<int16_t>(RecU16(o, obs::kTop));
            if (h <= 249) continue;
            if (d > kNearDist && h < 1000) continue;
            if (d > kFarDist) break;
            const uint32_t colour = ObstacleColour(h, t, G_AirData.nBaroAlt, z);
            if (colour == 0) continue;
            SetDrawColor(colour);
            int32_t x = 0, y = 0;
            Project(o, &x, &y);
            const bool tall = h >= 1000;
            if (tall) GUI_DrawPolyLine(kObstacleTall, 7, x, y + oy);
            else GUI_DrawPolyLine(kObstacleShort, 3, x, y + oy);
            if (o[obs::kLit] == 'L')
                for (const auto& l : kLights) GUI_DrawPixel(x + l[0], y + l[1] - (tall ? 9 : 0) + oy);
            GUI_DrawPixel(x, y + oy);
        }
    }
}

void MapDrawNavaids() {
    const uint32_t z = G_MapZoom;
    GUI_SetPenSize(1);
    const int32_t oy = Oy();
    for (const MapSquare& slot : G_MapSquares) {
        const uint32_t n = std::min(slot.nNavaids, kMaxNavaids);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* v = slot.navaids[i];
            const uint8_t k = v[nvd::kKind];
            if (z <= 2 || ((k & 0x10) && z <= 4)) continue;
            int32_t x = 0, y = 0;
            Project(v, &x, &y);
            if (!InMapPane(x, y)) continue;
            SetDrawColor(10);
            GUI_DrawPixel(x, y + oy);
            if (k & 0x01) GUI_DrawPolygon(kNavaidHexagon, 6, x, y + oy);
            if (k & 0x04) {
                GUI_DrawLine(x - 2, y + 6 + oy, x + 2, y + 6 + oy);
                GUI_DrawLine(x + 4, y - 5 + oy, x + 7, y - 1 + oy);
                GUI_DrawLine(x - 4, y - 5 + oy, x - 7, y - 1 + oy);
            }
            if (k & 0x02) GUI_DrawRect(x - 6, y - 5 + oy, x + 6, y + 5 + oy);
            if (k & 0x10) {
                SetDrawColor(18);
                GUI_DrawCircle(x, y + oy, 4);
            }
            Identifier(v, x, y);
        }
    }
}

void MapDrawIntersections() {
    const uint32_t z = G_MapZoom;
    if (z <= 4) return;
    GUI_SetPenSize(1);
    for (const MapSquare& slot : G_MapSquares) {
        const uint32_t n = std::min(slot.nFixes, kMaxFixes);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* f = slot.fixes[i];
            SetDrawColor(10);
            const uint8_t b = f[fix::kFlags];
            const bool shown = ((b & 0x10) && z > 6) || ((b & 0x01) && z > 8) || ((b & 0x40) && z > 8) ||
                               ((b & 0x20) && z > 9) || ((b & 0x80) && z >= 5);
            if (!shown) continue;
            int32_t x = 0, y = 0;
            Project(f, &x, &y);
            if (!InMapPane(x, y)) continue;
            GUI_FillPolygon(kFixTriangle, 3, x, y + Oy());
            Identifier(f, x, y);
        }
    }
}
