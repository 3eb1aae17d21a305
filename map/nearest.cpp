// The eight nearest airports around the reference position, and the
// "NEAREST AIRPORTS" box that lists them.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/util.h"
#include "map/airports.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/records.h"
#include "map/waypoints.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

namespace {
// Heliports and water airports are never offered; private ones with PVT ON only.
bool Eligible(const uint8_t* a) {
    const uint32_t f = AirportFlags(a);
    if (f & (aptf::kHeliport | aptf::kWater)) return false;
    if (!(f & aptf::kShown)) return false;
    return !(f & aptf::kPrivate) || G_MapPvtOn != 0;
}

// Inserts before the first empty or farther entry; the ninth falls off.
void Insert(NearestList& list, const uint8_t* a, uint32_t dist) {
    uint32_t j = 0;
    while (j < kNearestMax && list.apEntry[j] != nullptr && list.anDist[j] <= dist) ++j;
    if (j >= kNearestMax) return;
    for (uint32_t k = kNearestMax - 1; k > j; --k) {
        list.apEntry[k] = list.apEntry[k - 1];
        list.anDist[k] = list.anDist[k - 1];
    }
    list.apEntry[j] = a;
    list.anDist[j] = dist;
    if (list.nCount < kNearestMax) ++list.nCount;
}

void Gather(NearestList& list) {
    for (MapSquare& slot : G_MapSquares) {
        const uint32_t n = slot.nAirports < kMaxAirports ? slot.nAirports : kMaxAirports;
        if (n == 0) continue;
        MapSortAirports(&slot);
        if (list.nCount == kNearestMax && slot.anAirportDist[0] > list.anDist[kNearestMax - 1]) continue;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* a = slot.airports[slot.anAirportOrder[i] % kMaxAirports];
            if (Eligible(a)) Insert(list, a, slot.anAirportDist[i]);
        }
    }
}

int32_t Wrap3600(int32_t v) { return ((v % 3600) + 3600) % 3600; }

// The selected entry becomes the selection of the database pages too.
void TakeSelection(NearestList& list) {
    const uint8_t* a = list.nSelected < list.nCount ? list.apEntry[list.nSelected] : nullptr;
    if (!a) {
        std::memset(list.abSelected, 0, sizeof list.abSelected);
        return;
    }
    std::memcpy(list.abSelected, a, kAirportRecordBytes);
    if (G_WptDb.nPageFlags & kWptInfoOpen) return;
    std::memcpy(G_WptDb.abAirport, a, kAirportRecordBytes);
    std::memset(G_WptDb.szEditId, 0, sizeof G_WptDb.szEditId);
    std::memcpy(G_WptDb.szEditId, a + apt::kId, 6);
    G_WptDb.nSelKind = kWptAirport;
    AirportPagesCount();
    G_RedrawReq = 1;
}
}  // namespace

void NearestAirportsUpdate() {
    NearestList& list = G_Nearest;
    const uint32_t selected = list.nSelected;
    const bool shown = list.nMode == 1;
    list = {};
    if (!MapLoaded() || !G_MapEnabled) return;
    if (shown) list.nSelected = selected;
    list.nMode = 1;
    Gather(list);
    if (list.nSelected >= list.nCount) list.nSelected = list.nCount == 0 ? 0 : list.nCount - 1;
    const MapPoint ref{G_MapHeader.nRefLat, G_MapHeader.nRefLon};
    const int32_t variation = MapSourceRecord().nMagVar;
    for (uint32_t i = 0; i < list.nCount; ++i) {
        const MapPoint p{RecS32(list.apEntry[i], apt::kLat), RecS32(list.apEntry[i], apt::kLon)};
        list.anDist[i] = static_cast<uint32_t>(CalcDistTenths(ref, p));
        list.anBearing[i] = static_cast<uint32_t>(Wrap3600(CalcBearing(ref, p) + variation + 3600));
    }
    TakeSelection(list);
}

void NearestSelectStep(int32_t delta) {
    if (!MapLoaded() || !G_MapEnabled) return;
    NearestList& list = G_Nearest;
    list.nSelected = static_cast<uint32_t>(WrapIndex(static_cast<int32_t>(list.nSelected), kNearestMax, delta % 2));
    G_WptDb.nListCursor = 0;
    const uint8_t* a = list.apEntry[list.nSelected % kNearestMax];
    if (a) {
        std::memcpy(list.abSelected, a, kAirportRecordBytes);
        std::memcpy(G_WptDb.abAirport, a, kAirportRecordBytes);
    } else {
        std::memset(list.abSelected, 0, sizeof list.abSelected);
    }
    G_MapPane.nRedraw = kMapFrameSkip;
}

// The four texts of an entry.
struct EntryText {
    char col[4][16];
};
EntryText EntryOf(const NearestList& list, uint32_t i) {
    EntryText t{};
    const uint8_t* a = list.apEntry[i];
    std::snprintf(t.col[0], sizeof t.col[0], "%.5s", reinterpret_cast<const char*>(a + apt::kId));
    std::snprintf(t.col[1], sizeof t.col[1], "%03d", static_cast<int>(RoundNearest(list.anBearing[i] / 10.0)));
    std::snprintf(t.col[2], sizeof t.col[2], "%4d.%.1d NM", static_cast<int>(list.anDist[i] / 10 % 100000),
                  static_cast<int>(list.anDist[i] % 10));
    const uint16_t longest = RecU16(a, apt::kLongest);
    if (longest == 0) std::snprintf(t.col[3], sizeof t.col[3], "%s", "unknown");
    else std::snprintf(t.col[3], sizeof t.col[3], "%5d FT", static_cast<int>(longest));
    return t;
}

void NearestAirportsPage(const NearestList& list) {
    const WptRect r = WptSmallBoxRect();
    DrawInfoBox(WptDropRect(r), "NEAREST AIRPORTS");
    static const char* const kHeads[4] = {"APT   ", "BRG  ", "DIST      ", "LENGTH"};
    uint32_t n = 0;
    while (n < list.nCount && n < kNearestMax && list.apEntry[n] != nullptr) ++n;
    EntryText texts[kNearestMax];
    for (uint32_t i = 0; i < n; ++i) texts[i] = EntryOf(list, i);
    // Each column starts where its head starts; a head narrower than the
    // widest entry before it moves on, so that no entry runs into the next.
    int32_t col[4];
    int32_t x = r.x0 + 3;
    for (int c = 0; c < 4; ++c) {
        col[c] = x;
        x = DrawTextF(14, 7, 3, x, WptTextRow(337), "%s", kHeads[c]);
        for (uint32_t i = 0; i < n; ++i) x = std::max(x, col[c] + TextWidth(4, texts[i].col[c]) + 4);
    }
    GUI_DrawHLine(WptFrameRow(349), r.x0, r.x1);
    for (uint32_t i = 0; i < n; ++i) {
        const int32_t style = i == list.nSelected ? 12 : 3;
        const int32_t y = WptTextRow(352 + 13 * static_cast<int32_t>(i));
        for (int c = 0; c < 4; ++c) DrawTextF(14, 4, style, col[c], y, "%s", texts[i].col[c]);
    }
}
