// The line work of the vector squares.
#include "map/vectors.h"

#include <algorithm>

#include "core/irq.h"
#include "core/syslog.h"
#include "gui/gui.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "ui/style.h"

namespace {
constexpr uint16_t Bit(int n) { return static_cast<uint16_t>(1u << n); }
constexpr int32_t kCoordLimit = 16000;   // keeps far points inside the i16 screen points

GUI_Point s_chainPts[kMapChainPtsMax];   // MapChainPts

int16_t Clamp16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -kCoordLimit, kCoordLimit)); }

bool Overlaps(const VecChain& c, const int16_t* view) {
    return !(c.box[2] < view[0] || c.box[0] > view[2] || c.box[3] < view[1] || c.box[1] > view[3]);
}
}  // namespace

bool ChainStyleOf(uint16_t f, uint32_t z, ChainStyle* s) {
    *s = {1, 20, false, false};
    if (f & Bit(2)) {
        if ((f & Bit(8)) && z <= 5) return false;
        *s = {1, 128, true, false};
    } else if (f & (Bit(12) | Bit(13))) {
        *s = {1, 4, false, false};
    } else if (f & Bit(14)) {
        *s = {3, 4, false, false};
    } else if (f & Bit(1)) {
        if (z <= 4) return false;
        *s = {static_cast<uint8_t>(z == 5 ? 1 : z == 6 ? 2 : 3), 128, false, false};
    } else if (f & Bit(0)) {
        if (((f & Bit(9)) && z <= 5) || ((f & Bit(8)) && z <= 6)) return false;
        uint8_t pen = (f & Bit(9)) ? 2 : 1;
        if (f & Bit(7)) pen = static_cast<uint8_t>(z <= 3 ? 1 : z == 4 ? 2 : 3);
        *s = {pen, 20, false, false};
    } else if (f & Bit(6)) {
        return false;
    } else if (f & Bit(4)) {
        if (((f & Bit(10)) && z <= 2) || ((f & Bit(9)) && z <= 3) || ((f & Bit(8)) && z <= 4)) return false;
        *s = {1, 49, true, true};
    }
    // A chain with none of the style bits: pen 1 in grey, whatever came before.
    return true;
}

// Chosen afresh for every chain: a bit-12 chain's step never carries over.
int32_t ChainStep(uint16_t f, uint32_t z) {
    if ((f & Bit(12)) && !(f & Bit(0))) {
        static const int32_t kBit12Steps[8] = {30, 30, 25, 20, 10, 7, 4, 2};
        return z < 8 ? kBit12Steps[z] : 1;
    }
    return z <= 3 ? static_cast<int32_t>(5 - z) : 1;
}

void MapDrawChains(VecSquare& v) {
    const uint32_t z = G_MapZoom;
    const MapPoint ref = {G_MapFrame.nRefLat, G_MapFrame.nRefLon};
    const int32_t oy = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    const uint32_t points = std::min(v.nPoints, kVecMaxPoints);
    const uint32_t chains = std::min(v.nChains, kVecMaxChains);
    uint32_t n = 0;
    for (uint32_t i = 0; i < chains; ++i) {
        VecChain& c = v.chains[i];
        const uint32_t count = c.nPoints;
        ChainStyle style;
        if (!Overlaps(c, G_MapFrame.box) || count == 0) {
            n += count;
            continue;
        }
        if (n + count > points) {
            DebugPrintf("MAP: Too many points in chain NameID = %d\n", static_cast<int>(c.nLast));
            c.nPoints = 0;
            return;
        }
        if (!ChainStyleOf(c.nStyle, z, &style)) {
            n += count;
            continue;
        }
        const uint32_t step = static_cast<uint32_t>(ChainStep(c.nStyle, z));
        int m = 0;
        for (uint32_t k = 0; k < count && m < kMapChainPtsMax - 1; k += step) {
            int32_t x = 0, y = 0;
            MapProject(ref, MapPoint{v.points[n + k].nLat, v.points[n + k].nLon}, &x, &y);
            s_chainPts[m++] = {Clamp16(x), Clamp16(y)};
        }
        int32_t x = 0, y = 0;
        MapProject(ref, MapPoint{v.points[n + count - 1].nLat, v.points[n + count - 1].nLon}, &x, &y);
        s_chainPts[m++] = {Clamp16(x), Clamp16(y)};
        GUI_SetPenSize(style.pen);
        SetDrawColor(style.colour);
        if (style.fill) GUI_FillPolygon(s_chainPts, m, 0, oy);
        else GUI_DrawPolyLine(s_chainPts, m, 0, oy);
        if (style.outline) {
            SetDrawColor(0);
            GUI_SetPenSize(1);
            GUI_DrawPolyLine(s_chainPts, m, 0, oy);
        }
        n += count;
    }
}

void MapDrawVectors() {
    if (MapStatusOf(kMapFileVector) != kMapOk) return;
    for (int i = 0; i < kVecSlots; ++i) {
        MapDrawChains(G_VecSquares[i]);
        MapDrawChains(G_MapSquares[i].vec);
    }
}
