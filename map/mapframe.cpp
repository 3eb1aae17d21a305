// The map page's draw cycle.
#include "map/mapframe.h"

#include <cmath>
#include <cstdlib>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/attitude.h"
#include "efis/boxes.h"
#include "efis/efis.h"
#include "efis/efisview.h"
#include "efis/tapes.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "map/goto.h"
#include "map/layers.h"
#include "map/map.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "map/ownship.h"
#include "map/terrain.h"
#include "map/vectors.h"
#include "storage/nvram.h"
#include "ui/pages.h"
#include "ui/popup.h"
#include "ui/statusbar.h"
#include "wx/nexrad.h"
#include "wx/statusbox.h"
#include "wx/tfr.h"
#include "wx/traffic.h"
#include "wx/wx.h"

MapFrameRecord G_MapFrame = {};
float G_MapRotationRad = 0.0f;

namespace {
constexpr uint32_t kRedrawTicks   = 7372800;    // 2 s
constexpr uint32_t kPanHoldTicks  = 18432000;   // 5 s
constexpr uint32_t kNearestTicks  = 55296000;   // 15 s
constexpr int32_t  kJumpLimit     = 0x40000;    // one degree
constexpr uint32_t kJumpsIgnored  = 5;
constexpr int32_t  kSplitNarrow   = 90;
constexpr int16_t  kSlowSpeed     = 49;         // tenths of a knot: below 5 kt

struct CycleState {
    uint32_t nJumps;
    uint32_t nRedrawStamp;
    uint32_t nNearestStamp;
    uint32_t nBannerStamp;
    uint32_t bBannerShown;
    uint32_t nInfoCycle;
    uint32_t nFindPending;
    int16_t  nTrackDrawn;   // the track the last north-up picture showed
};
CycleState s_cycle = {};

bool Installed(int stream) { return G_NetStreamCfg[stream].INST != 0; }
uint32_t Now() { return ReadOsTimer(); }
bool Elapsed(uint32_t stamp, uint32_t ticks) { return TicksElapsed(Now(), stamp, ticks); }
bool NorthUp() { return (G_MapViewMode & 2u) != 0; }
int32_t ToBand(double deg) { return static_cast<int32_t>(deg * 262144.0); }
int16_t Box180(int64_t units) { return static_cast<int16_t>((units * 180) >> 18); }
}  // namespace

void MapFrameReset() { s_cycle = {}; }

NavSrcRec& MapSourceRecord() {
    const uint8_t slot = G_NavSrc.hdr.nMapSrcSlot;
    return G_NavSrc.rec[slot < kNavSlots ? slot : 0];
}

bool MapSourceHasFix(const NavSrcRec& rec) { return (rec.nGpsFlagsA & kNavGpsValid) != 0; }

static bool HasPosition(const NavSrcRec& rec) { return MapSourceHasFix(rec) && NavHasPosition(rec); }

// A usable AHRS heading: the stream installed and its data fresh.
static bool AhrsHeadingGood() { return Installed(kStreamAhrs) && G_Ahrs.nFresh > 0; }

int32_t MapHeadingOf(const NavSrcRec& rec) {
    int32_t h = rec.nTrackTrue;
    if (rec.nGroundSpeed <= kSlowSpeed && AhrsHeadingGood()) h = G_Ahrs.nHeading - rec.nMagVar + 3600;
    h %= 3600;
    return h < 0 ? h + 3600 : h;
}

int32_t IsSplitMapPage() {
    const int32_t p = G_CurPage;
    const bool page = p == 7 || p == 8 || p == 15 || p == 16 || p == 33 || p == 37;
    return page && Installed(kStreamAir) && G_MapAirOn == 1 ? 1 : 0;
}

void MapPlaceOwnShip() {
    const PaneRecord& p = G_MapPane;
    const int16_t cx = static_cast<int16_t>((p.x0 + p.x1) / 2);
    const int16_t cy = static_cast<int16_t>((p.y0 + p.y1) / 2);
    const int16_t low = static_cast<int16_t>(p.y0 + (p.y1 - p.y0) * 3 / 4);
    // Track up looks ahead: the aircraft sits low in the pane; north up, in its middle.
    G_MapOwnPos[0] = G_MapOwnPos[1] = {cx, low};
    G_MapOwnPos[2] = G_MapOwnPos[3] = {cx, cy};
}

static MapPoint Ref() { return {G_MapFrame.nRefLat, G_MapFrame.nRefLon}; }

int32_t MapNeedsRedraw(const NavSrcRec& rec) {
    uint32_t& state = G_MapPane.nRedraw;
    if (state == kMapFrameNow) {
        s_cycle.nRedrawStamp = Now();
        G_MapFrame.nBlit[0] = G_MapFrame.nBlit[1] = 0;
        return 1;
    }
    if (state == kMapFrameSkip) return 0;
    if (G_MapFrame.nStage >= 1 && G_MapFrame.nStage <= 4) return 0;
    if (Elapsed(s_cycle.nRedrawStamp, kRedrawTicks)) {
        s_cycle.nRedrawStamp = Now();
        return 1;
    }
    if (G_MapFrame.nStage != 0 && (G_MapFrame.nBlit[0] == 0 || G_MapFrame.nBlit[1] == 0)) return 0;
    if (G_MapFrame.nPanHold || !HasPosition(rec)) return 0;
    bool turned = false;
    if (!NorthUp()) turned = static_cast<uint32_t>(MapHeadingOf(rec)) != G_MapRotation;
    if (!turned) {
        // The position drawn: after a pan it differs from the aircraft's,
        // and the map goes back to the aircraft as soon as the hold ends.
        const bool still = static_cast<float>(G_MapFrame.nRefLat) == rec.fLat * 262144.0f &&
                           static_cast<float>(G_MapFrame.nRefLon) == rec.fLon * 262144.0f;
        // North up the map does not turn, but the aircraft symbol shows the track.
        const int32_t shown = NorthUp() ? s_cycle.nTrackDrawn : static_cast<int32_t>(G_MapRotation);
        if (still && (rec.nTrackTrue % 3600 + 3600) % 3600 == shown) return 0;
    }
    s_cycle.nRedrawStamp = Now();
    return 1;
}

void MapCalcVisibleBox() {
    const PaneRecord& p = G_MapPane;
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    const int64_t i = MapScaleInvTab[G_MapZoom < kMapZooms ? G_MapZoom : 0], ki = G_MapLonScaleInv;
    const int64_t lat = G_MapFrame.nRefLat, lon = G_MapFrame.nRefLon;
    if (NorthUp()) {
        const int64_t ox = own.x - (IsSplitMapPage() ? kSplitNarrow : 0);
        const int64_t dx = (((ox * i)) * ki) >> 18;
        G_MapFrame.box[0] = Box180(lon - dx);
        G_MapFrame.box[2] = Box180(lon + dx);
        G_MapFrame.box[1] = Box180(lat - (p.y1 - own.y) * i);
        G_MapFrame.box[3] = Box180(lat + own.y * i);
        return;
    }
    const int32_t x0 = IsSplitMapPage() ? p.x0 + 1 : p.x0, x1 = IsSplitMapPage() ? p.x1 - 1 : p.x1;
    const int32_t xs[4] = {x0, x0, x1, x1}, ys[4] = {p.y0, p.y1, p.y0, p.y1};
    int64_t w = INT64_MAX, s = INT64_MAX, e = INT64_MIN, n = INT64_MIN;
    for (int k = 0; k < 4; ++k) {
        MapPoint c;
        MapScreenToLatLon(xs[k], ys[k], Ref(), &c);
        w = std::min<int64_t>(w, c.nLon);
        e = std::max<int64_t>(e, c.nLon);
        s = std::min<int64_t>(s, c.nLat);
        n = std::max<int64_t>(n, c.nLat);
    }
    G_MapFrame.box[0] = Box180(w);
    G_MapFrame.box[1] = Box180(s);
    G_MapFrame.box[2] = Box180(e);
    G_MapFrame.box[3] = Box180(n);
}

void MapScroll() {
    const NavSrcRec& rec = MapSourceRecord();
    if (HasPosition(rec)) {
        const int32_t lat = ToBand(rec.fLat), lon = ToBand(rec.fLon);
        const int64_t dlat = static_cast<int64_t>(lat) - G_MapHeader.nRefLat;
        const int64_t dlon = static_cast<int64_t>(lon) - G_MapHeader.nRefLon;
        if (std::llabs(dlat) <= kJumpLimit && std::llabs(dlon) <= kJumpLimit) {
            s_cycle.nJumps = 0;
            G_MapHeader.nRefLat = lat;
            G_MapHeader.nRefLon = lon;
        } else if (s_cycle.nJumps <= kJumpsIgnored) {
            if (s_cycle.nJumps == 0) DebugPrintf("MAP: wormhole detected\n");
            ++s_cycle.nJumps;
        } else {
            s_cycle.nJumps = 0;
            G_MapHeader.nRefLat = lat;
            G_MapHeader.nRefLon = lon;
            DebugPrintf("MAP: wormhole followed\n");
        }
        if (!G_MapFrame.nPanHold) {
            G_MapFrame.nRefLat = G_MapHeader.nRefLat;
            G_MapFrame.nRefLon = G_MapHeader.nRefLon;
        }
        MapSetLonScale(ToBand(rec.fLat));
    }
    MapCalcVisibleBox();
    MapLoadAround(G_MapFrame.nRefLon >> 18, G_MapFrame.nRefLat >> 18, G_MapHeader, G_MapSquares, G_VecSquares);
    if (G_MapFrame.nPanHold) return;
    G_MapRotation = NorthUp() ? 0u : static_cast<uint32_t>(MapHeadingOf(rec));
    s_cycle.nTrackDrawn = static_cast<int16_t>((rec.nTrackTrue % 3600 + 3600) % 3600);
    G_MapRotationRad = static_cast<float>(G_MapRotation / 10.0 * 3.14159265358979323846 / 180.0);
}

void MapPanTo(int32_t lat, int32_t lon) {
    G_MapFrame.nRefLat = lat;
    G_MapFrame.nRefLon = lon;
    G_MapFrame.nPanHold = 1;
    G_MapFrame.nPanStamp = Now();
    G_MapPane.nRedraw = kMapFrameNow;
}

// ---- stages ----------------------------------------------------------------------------------

// The EFIS pane beside the map already shows the attitude and the source box.
static bool EfisBeside() { return G_EfisLayout.pRect != nullptr; }

// A box in the map's corner fits only where it leaves the aircraft symbol
// in sight (a short, narrow pane has the aircraft low in it).
static bool ClearOfOwnShip(const MapInset& b) {
    constexpr int32_t kSymbol = 24;   // the symbol's reach about its point
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    return b.x1 < own.x - kSymbol || b.x0 > own.x + kSymbol || b.y1 < own.y - kSymbol || b.y0 > own.y + kSymbol;
}

// The map's own columns: the pane less the instrument strips of a split page.
static void MapColumns(int32_t* x0, int32_t* x1) {
    const int32_t narrow = IsSplitMapPage() ? kSplitNarrow : 0;
    *x0 = G_MapPane.x0 + narrow;
    *x1 = G_MapPane.x1 - narrow;
}

// Lower corners of the map, clear of the traffic label (left) and the
// weather status box (right).
MapInset NavSourceBoxPlace() {
    int32_t x0 = 0, x1 = 0;
    MapColumns(&x0, &x1);
    const int32_t y1 = G_MapPane.y1 - 32;
    return {x1 - 4 - kNavBoxW, y1 - kNavBoxH, x1 - 4, y1};
}

MapInset AttitudeInsetPlace() {
    int32_t x0 = 0, x1 = 0;
    MapColumns(&x0, &x1);
    const int32_t y1 = G_MapPane.y1 - 20;
    return {x0 + 4, y1 - kAttInsetH, x0 + 4 + kAttInsetW, y1};
}

static void StageOne() {
    if (G_MapTerrOn && MapStatusOf(kMapFileTerrain) == kMapOk) MapDrawTerrain();
    MapDrawVectors();
}

static void StageThree() {
    MapDrawObstacles();
    MapMarkAirports();
    MapDrawAirports();
}

static void StageFour() {
    MapDrawAirspaces();
    WxDrawTfrLabels(G_MapFrame.box, Ref());
    MapDrawNavaids();
    if (G_MapIntsOn == 1) MapDrawIntersections();
    MapDrawTrackDots();
    MapDrawRouteOverlay();
    TrafficDrawPage();
    int32_t x = 0, y = 0;
    const NavSrcRec& rec = MapSourceRecord();
    MapProject(Ref(), MapPoint{ToBand(rec.fLat), ToBand(rec.fLon)}, &x, &y);
    if (MapSourceHasFix(rec)) MapDrawOwnShip(NorthUp() ? 1 : 0, x, y);
    const MapInset src = NavSourceBoxPlace();
    if (!EfisBeside() && ClearOfOwnShip(src)) DrawNavSourceBox(src.x0, src.y0, src.x1, src.y1);
    MapDrawRangeArc();   // sets its own clip and removes it
    MapNavDataBoxes();
    WxStatusBox();
    const MapInset att = AttitudeInsetPlace();
    if (!EfisBeside() && Installed(kStreamAhrs) && ClearOfOwnShip(att))
        DrawAttitudeInset(att.x0, att.y0, att.x1, att.y1);
    G_MapFrame.nBlit[0] = G_MapFrame.nBlit[1] = 0;
}

void MapRender() {
    const bool all = G_MapPane.nRedraw == kMapFrameNow;
    for (;;) {
        switch (G_MapFrame.nStage) {
        case 1: StageOne(); G_MapFrame.nStage = 2; break;
        case 2:
            G_MapFrame.nStage = 3;
            if (!(G_NexradOn && G_WxNexradReady)) continue;
            WxDrawNexrad();
            break;
        case 3: StageThree(); G_MapFrame.nStage = 4; break;
        case 4: StageFour(); G_MapFrame.nStage = 5; break;
        default: return;
        }
        if (!all) return;
    }
}

int32_t MapBlitToScreen() {
    const uint32_t pageY = G_FlipCtl.nDrawPageY;
    const int page = pageY >= 480 ? 1 : 0;
    // Keyed by the page drawn: each page gets the picture even when a flip was skipped.
    if (G_MapFrame.nStage != 5 || G_MapFrame.nBlit[page]) return 0;
    const PaneRecord& p = G_MapPane;
    BltCopyRect(p.x0, p.y0 + kMapBandY, p.x0, p.y0 + static_cast<int32_t>(pageY), p.nWidth, p.nHeight, kBltCopy);
    G_MapFrame.nBlit[page] = 1;
    return 1;
}

static const char* const kMapBanners[] = {nullptr, "MAP TOO OLD", "MAP TOO NEW", "NO MAP ON CARD", "INSERT SD CARD",
                                          "SD CARD BAD (REFORMAT?)"};

static const char* BannerText() {
    const uint32_t status = MapStatusOf(kMapFileMap);
    if (status >= 1 && status <= 5) return kMapBanners[status];
    if (!MapSourceHasFix(MapSourceRecord())) return "NO GPS";
    return nullptr;
}

void MapStatusBanner() {
    const char* text = BannerText();
    if (!text) return;
    // Shown again as each second's pop-up runs out.
    if (s_cycle.bBannerShown && !Elapsed(s_cycle.nBannerStamp, kTicksPerSecond)) return;
    s_cycle.bBannerShown = 1;
    s_cycle.nBannerStamp = Now();
    ShowPopupMsg(0x0000FF, G_MapPane.nCenterX, G_MapPane.nCenterY + 20, kTicksPerSecond, "%s", text);
}

void MapInfoPageRun(int32_t force) {
    s_cycle.nInfoCycle = (s_cycle.nInfoCycle + 1) % 5;
    const bool due = force == 1 || G_MapPane.nRedraw == kMapFrameNow || G_MapPane.nRedraw == kMapFrameSkip ||
                     s_cycle.nFindPending || s_cycle.nInfoCycle == 0 || (G_NexradOn && G_WxNexradReady);
    if (!due || (G_WptDb.nPageFlags == 0 && G_Nearest.nMode != 1)) return;
    // The open boxes (FIND, NRST, INFO): a FIND search still pending asks for the next cycle.
    s_cycle.nFindPending = static_cast<uint32_t>(MapDrawInfoBoxes());
}

// Beside the narrowed map, on the page being drawn, after the picture's copy.
static void DrawSplitInstruments() {
    // The view is the strips' only while they are drawn: the panes drawn
    // after the map keep theirs.
    const EfisView saved = G_EfisView;
    DrawAirspeedFrame();
    DrawAirspeedTape();
    if (AoaIndicatorDue()) DrawAoaIndicator();
    DrawAltitudeFrame();
    DrawAltitudeTape();
    DrawVsiScale();
    DrawAltitudeBox();
    if (NvGetU32(kNvWindsGaugeOn) == 1) DrawWind();
    if (G_InstCfg[kInstOat].nEnable == 1) DrawOat();
    if (Installed(kStreamAhrs)) {
        DrawGMeterFrame();
        DrawGMeter();
    }
    G_EfisView = saved;
}

void MapPageRun(int32_t) {
    PaneRecord& p = G_MapPane;
    if (!p.pRect) return;
    const NavSrcRec& rec = MapSourceRecord();
    if (G_MapEnabled != 1) {
        G_MapEnabled = MapSourceHasFix(rec) && MapLoaded() ? 1u : 0u;
        if (G_MapEnabled) {
            UpdateSoftKeys();
            G_RedrawReq = 1;
        }
    }
    GUI_SelectScreen();
    GUI_SetBkColorIndex(0);
    MapPlaceOwnShip();
    if (G_MapFrame.nPanHold && Elapsed(G_MapFrame.nPanStamp, kPanHoldTicks)) G_MapFrame.nPanHold = 0;

    GUI_Rect rect = {static_cast<int16_t>(p.x0 + 1), static_cast<int16_t>(p.y0 + kMapBandY + 1),
                     static_cast<int16_t>(p.x1 - 1), static_cast<int16_t>(p.y1 + kMapBandY - 1)};
    if (IsSplitMapPage()) {
        rect.x0 = static_cast<int16_t>(rect.x0 + kSplitNarrow);
        rect.x1 = static_cast<int16_t>(rect.x1 - kSplitNarrow);
    }
    if (MapNeedsRedraw(rec)) {
        G_MapFrame.nStage = 1;
        if (!(MapStatusOf(kMapFileTerrain) == kMapOk && G_MapTerrOn)) GUI_ClearRect(rect.x0, rect.y0, rect.x1, rect.y1);
        // Nothing draws the strips' columns of the band, yet the copy takes
        // them along: beside the instruments' frames they show black, never
        // an older picture.
        if (IsSplitMapPage()) {
            GUI_ClearRect(p.x0, p.y0 + kMapBandY, p.x0 + kSplitNarrow, p.y1 + kMapBandY);
            GUI_ClearRect(p.x1 - kSplitNarrow, p.y0 + kMapBandY, p.x1, p.y1 + kMapBandY);
        }
        if (MapLoaded()) MapScroll();
        if (G_Nearest.nMode == 1 && rec.nGroundSpeed > 50 && Elapsed(s_cycle.nNearestStamp, kNearestTicks)) {
            s_cycle.nNearestStamp = Now();
            NearestAirportsUpdate();
            p.nRedraw = kMapFrameSkip;
        }
    }
    if (G_MapFrame.nStage >= 1 && G_MapFrame.nStage <= 4) GUI_SetClipRect(&rect);
    if (p.nRedraw != kMapFrameSkip) {
        if (!MapLoaded()) {
            // Nothing to draw from: the cleared pane and the banner.
            G_MapFrame.nStage = 5;
            G_MapFrame.nBlit[0] = G_MapFrame.nBlit[1] = 0;
        } else {
            const OffscreenBand band = BeginOffscreenBand();
            MapRender();
            EndOffscreenBand(band);
        }
    }
    GUI_SetClipRect(nullptr);
    MapInfoPageRun(0);
    p.nRedraw = kMapFrameNormal;
    MapBlitToScreen();
    MapStatusBanner();
    if (IsSplitMapPage()) DrawSplitInstruments();
}

void MapBlitInfoBoxes() {
    const int32_t x = (G_MapPane.nFlagA == 0 && G_MapShowEngine == 0) ? 458 : 255;
    if (G_Nearest.nMode != 1 && !(G_WptDb.nPageFlags & 2u)) return;
    const int32_t pageY = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    BltCopyRect(x, kMapBoxRow, x, pageY + kMapBoxShowRow, 181, 146, kBltCopy);
    if (G_WptDb.nPageFlags & 1u) BltCopyRect(0, kMapWideBoxRow, 0, pageY + kMapWideBoxShowRow, 256, 120, kBltCopy);
}
