// Chart files, the page in memory with its window, and the chart page.
#include "map/charts.h"

#include <liblzf/lzf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "map/map.h"
#include "map/mapfile.h"
#include "map/ownship.h"
#include "nav/navsrc.h"
#include "ui/popup.h"
#include "ui/style.h"
#include "wx/wx.h"

ChartState G_Chart = {};
ChartFileHeader G_ChartHeader = {};

constexpr int32_t kClampX = 640, kClampXTo = 639;   // a corner right of 640 is pulled in
constexpr int32_t kClampY = 460, kClampYTo = 458;   // a corner at 460 or below

static uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
static uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Half away from zero, held within i32 so that any float from a card converts safely.
static int32_t RoundSat(float v) {
    if (!(v == v)) return 0;
    const double r = v < 0 ? std::ceil(static_cast<double>(v) - 0.5) : std::floor(static_cast<double>(v) + 0.5);
    return r >= 2147483647.0 ? INT32_MAX : r <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(r);
}

static int32_t TruncSat(float v) {
    if (!(v == v)) return 0;
    return v >= 2147483520.0f ? INT32_MAX : v <= -2147483648.0f ? INT32_MIN : static_cast<int32_t>(v);
}

static int16_t Sat16(int64_t v) {
    return static_cast<int16_t>(v > INT16_MAX ? INT16_MAX : v < INT16_MIN ? INT16_MIN : v);
}

static void ClearChart() {
    std::memset(&G_Chart, 0, sizeof G_Chart);
    std::memset(&G_ChartHeader, 0, sizeof G_ChartHeader);
}

// ---- chart files -----------------------------------------------------------------------------

void ChartFileLoad(const char* name) {
    char path[64];
    std::snprintf(path, sizeof path, "/CHARTS/%.8s.ACH", name ? name : "");
    DebugPrintf("LOAD FILE: %s\n", path);
    if (G_Chart.bLoaded && std::strncmp(G_Chart.szName, name ? name : "", sizeof G_Chart.szName) == 0) return;
    ClearChart();
    if (MapFileOpen(path, kMapFileChart) &&
        MapFileSeekRead(kMapFileChart, 0, sizeof G_ChartHeader, &G_ChartHeader) &&
        G_ChartHeader.nPages != 0 && G_ChartHeader.nPages <= kChartMaxPages) {
        G_Chart.bLoaded = 1;
        std::memcpy(G_Chart.szName, name, strnlen(name, sizeof G_Chart.szName));
        DebugPrintf("Chart:%.8s, %d recs\n", G_Chart.szName, static_cast<int>(G_ChartHeader.nPages));
        ChartPageLoad(0);
    }
    if (!G_Chart.bLoaded) {
        DebugPrintf("MAP IO: bad chart file: %s\n", path);
        ClearChart();
    }
}

// ---- one page ----------------------------------------------------------------------------------

static void PageReadFailed() {
    std::memset(&G_ChartHeader, 0, sizeof G_ChartHeader);
    G_Chart.bLoaded = 0;
    G_Chart.bPageLoaded = 0;
    G_Chart.nPage = 0;
    DebugPrintf("MAP IO: bad chart file: %.8s\n", G_Chart.szName);
}

static bool ReadPage(const ChartPageEntry& e) {
    return e.nDataLength <= kChartPageBytes &&
           MapFileSeekRead(kMapFileChart, e.nDataOffset, e.nDataLength, G_Chart.abPacked);
}

// Every field the drawing relies on, against the decoded length: the window
// never reaches past the page's rows, nor the colour table past the data.
static bool BitmapFits(const uint8_t* bmp, uint32_t bytes) {
    if (bytes < kBmpMinBytes) return false;
    const uint32_t infoSize = Le32(bmp + kBmpInfoSize);
    const int32_t width = static_cast<int32_t>(Le32(bmp + kBmpWidth));
    const int32_t height = static_cast<int32_t>(Le32(bmp + kBmpHeight));
    if (infoSize < kBmpMinInfoSize || width <= 0 || height <= 0 || Le16(bmp + kBmpBitCount) != 8) return false;
    const uint64_t stride = (static_cast<uint64_t>(width) + 3) & ~3ull;
    if (stride > UINT16_MAX) return false;   // the window's bytes per line is 16 bits
    const uint64_t colourEnd = uint64_t{kBmpFileHeaderBytes} + infoSize + 4 * kBmpColours;
    const uint64_t pixelEnd = Le32(bmp + kBmpOffBits) + stride * static_cast<uint64_t>(height);
    return colourEnd <= bytes && pixelEnd <= bytes;
}

// The file keeps the bottom row first; the window and the drawing take the
// top row first, so the rows are turned over once here.
static void RowsTopDown(uint8_t* pixels, uint32_t stride, int32_t height) {
    for (int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(pixels + static_cast<size_t>(top) * stride, pixels + static_cast<size_t>(top + 1) * stride,
                         pixels + static_cast<size_t>(bottom) * stride);
}

static void TakeBitmap(uint32_t bytes) {
    const uint8_t* bmp = G_Chart.abDecoded;
    G_Chart.nDecodedBytes = bytes;
    G_Chart.pFileHeader = bmp;
    G_Chart.pInfoHeader = bmp + kBmpFileHeaderBytes;
    G_Chart.pColours = G_Chart.pInfoHeader + Le32(bmp + kBmpInfoSize);
    G_Chart.nWidth = static_cast<int32_t>(Le32(bmp + kBmpWidth));
    G_Chart.nHeight = static_cast<int32_t>(Le32(bmp + kBmpHeight));
    G_Chart.nStride = (static_cast<uint32_t>(G_Chart.nWidth) + 3) & ~3u;
    uint8_t* pixels = G_Chart.abDecoded + Le32(bmp + kBmpOffBits);
    RowsTopDown(pixels, G_Chart.nStride, G_Chart.nHeight);
    G_Chart.pPixels = pixels;
    for (uint32_t i = 0; i < kBmpColours; ++i) {
        const uint8_t* c = G_Chart.pColours + 4 * i;   // blue, green, red, reserved
        G_Chart.anPalette[i] = static_cast<uint32_t>(c[0]) << 16 | static_cast<uint32_t>(c[1]) << 8 | c[2];
    }
}

static void LogGeoReference(const ChartPageEntry& e) {
    if ((e.nFlags & kChartGeoReferenced) && e.fRotation != 0.0f)
        DebugPrintf("GeoRef Enabled: Rotation %d\n", static_cast<int>(RoundSat(e.fRotation)));
    else
        DebugPrintf("GeoRef Not Available\n");
}

void ChartPageLoad(uint32_t page) {
    if (!G_Chart.bLoaded || G_ChartHeader.nPages == 0 || G_ChartHeader.nPages > kChartMaxPages) return;
    if (page >= G_ChartHeader.nPages) page = G_ChartHeader.nPages - 1;
    if (G_Chart.bPageLoaded && G_Chart.nPage == page) return;
    const ChartPageEntry& e = G_ChartHeader.page[page];
    if (!ReadPage(e)) {
        PageReadFailed();
        return;
    }
    // The decoder's count is the decoded length: 0 is a failure, and nothing
    // of the page before may pass the checks below.
    const uint32_t bytes = lzf_decompress(G_Chart.abPacked, e.nDataLength, G_Chart.abDecoded, kChartPageBytes);
    G_Chart.bPageLoaded = 0;
    G_Chart.nDecodedBytes = 0;
    std::memset(G_Chart.abPacked, 0, sizeof G_Chart.abPacked);
    std::memset(G_Chart.anPalette, 0, sizeof G_Chart.anPalette);
    if (bytes < 2 || G_Chart.abDecoded[0] != 'B' || G_Chart.abDecoded[1] != 'M') {
        DebugPrintf("Chart bitmap wrong type\n");
        G_Chart.bLoaded = 0;
        return;
    }
    if (!BitmapFits(G_Chart.abDecoded, bytes)) {
        DebugPrintf("Chart bitmap wrong depth or size\n");
        G_Chart.bLoaded = 0;
        return;
    }
    TakeBitmap(bytes);
    DebugPrintf("CHART:%.8s, pg:%d, %.32s\n", G_Chart.szName, static_cast<int>(page), e.szName);
    G_Chart.bPageLoaded = 1;
    G_Chart.nPage = page;
    G_Chart.nScrollY = G_Chart.nScrollX = 0;
    G_Chart.pEntry = &e;
    LogGeoReference(e);
}

// ---- the window ------------------------------------------------------------------------------

// A page no larger than the window is shown whole; a larger one keeps its
// offset but never runs past its last column or row.
static int32_t WindowSpan(int32_t size, int32_t window, int32_t* offset) {
    if (*offset < 0) *offset = 0;
    if (size - *offset >= window) return window;
    if (size <= window) {
        *offset = 0;
        return size;
    }
    *offset = size - window;
    return window;
}

int32_t ChartLoad(uint32_t page) {
    if (!G_Chart.bLoaded) {
        DebugPrintf("Chart Unavailable\n");
        G_Chart.bPageLoaded = 0;
        return 0;
    }
    const uint32_t start = ReadOsTimer();
    ShowPopupMsg(0xFFFFFF, 320, 240, kTicksPerSecond, "LOADING...");
    ChartPageLoad(page);
    if (!G_Chart.bPageLoaded) return 0;
    const int32_t w = WindowSpan(G_Chart.nWidth, kChartWindowWidth, &G_Chart.nScrollX);
    const int32_t h = WindowSpan(G_Chart.nHeight, kChartWindowHeight, &G_Chart.nScrollY);
    G_Chart.palette = GUI_Palette{static_cast<int32_t>(kBmpColours), 0, G_Chart.anPalette};
    G_Chart.window = GUI_Bitmap{static_cast<uint16_t>(w), static_cast<uint16_t>(h),
                                static_cast<uint16_t>(G_Chart.nStride), 8,
                                G_Chart.pPixels + static_cast<size_t>(G_Chart.nScrollY) * G_Chart.nStride +
                                    static_cast<size_t>(G_Chart.nScrollX),
                                &G_Chart.palette, nullptr};
    G_Chart.bPageLoaded = 1;
    G_Chart.nLoadTicks = ReadOsTimer() - start;
    return 1;
}

// ---- geo-reference and the page ------------------------------------------------------------------

// The linear geo-reference of a position in degrees, scroll removed.
static GUI_Point PlaceLinear(const ChartPageEntry& e, float lat, float lon) {
    const int64_t x = RoundSat(lon * e.fXScale + e.fXOffset);
    const int64_t y = static_cast<int64_t>(RoundSat(lat * e.fYScale + e.fYOffset)) - G_Chart.nScrollY;
    return GUI_Point{Sat16(x), Sat16(y)};
}

GUI_Point ChartGeoToScreen(const ChartPageEntry& e, int32_t lat, int32_t lon) {
    const float a = static_cast<float>(lat) * (1.0f / 262144.0f);
    const float b = static_cast<float>(lon) * (1.0f / 262144.0f);
    const GUI_Point p = PlaceLinear(e, a, b);
    if (e.fRotation == 270.0f) return p;   // as cards expect: 270 is placed unrotated
    GUI_Point out;
    RotatePoint(&out, &p, RoundSat(e.fRotation * 10.0f));
    return out;
}

// Rotation 0 places plainly; every other rotation through the geo-reference
// (which leaves 270 unrotated).
static GUI_Point PlaceOnPage(const ChartPageEntry& e, float lat, float lon) {
    if (e.fRotation == 0.0f) return PlaceLinear(e, lat, lon);
    return ChartGeoToScreen(e, TruncSat(lat * 262144.0f), TruncSat(lon * 262144.0f));
}

struct GeoBox {
    int32_t x0, y0, x1, y1;
};

static GeoBox ClampedBox(const ChartPageEntry& e) {
    auto cx = [](int32_t x) { return x > kClampX ? kClampXTo : x < 0 ? 0 : x; };
    auto cy = [](int32_t y) { return y >= kClampY ? kClampYTo : y < 0 ? 0 : y; };
    return GeoBox{cx(e.corner[0].x), cy(e.corner[0].y - G_Chart.nScrollY), cx(e.corner[1].x),
                  cy(e.corner[1].y - G_Chart.nScrollY)};
}

static bool StrictlyInside(const GeoBox& b, GUI_Point p) { return b.x0 < p.x && p.x < b.x1 && b.y0 < p.y && p.y < b.y1; }

static void Mark(const GeoBox& box, GUI_Point p, uint32_t colour, int32_t pageY) {
    if (!StrictlyInside(box, p)) return;
    GUI_SetPenSize(2);
    SetDrawColor(colour);
    GUI_DrawCircle(p.x, p.y + pageY, 3);
}

// Everything of the page area that a page smaller than the window leaves
// uncovered, so that no picture of the map stays beside the chart.
static void ClearAroundWindow(int32_t pageY) {
    const int32_t w = G_Chart.window.XSize, h = G_Chart.window.YSize;
    GUI_SetBkColorIndex(0);
    if (w < kChartWindowWidth) GUI_ClearRect(w, pageY, kChartWindowWidth - 1, pageY + kChartWindowHeight - 1);
    if (h < kChartWindowHeight) GUI_ClearRect(0, pageY + h, kChartWindowWidth - 1, pageY + kChartWindowHeight - 1);
}

static GUI_Point AirportOnPage(const ChartPageEntry& e) {
    int32_t lat = 0, lon = 0;
    std::memcpy(&lat, G_WptDb.abAirport + 8, sizeof lat);
    std::memcpy(&lon, G_WptDb.abAirport + 12, sizeof lon);
    if (e.fRotation != 0.0f) return ChartGeoToScreen(e, lat, lon);
    return PlaceLinear(e, static_cast<float>(lat) / 262144.0f, static_cast<float>(lon) / 262144.0f);
}

static void DrawOwnAircraft(const ChartPageEntry& e, const GeoBox& box) {
    const uint8_t slot = G_NavSrc.hdr.nMapCrsSlot;
    if (slot >= kNavSlots) return;
    const NavSrcRec& r = G_NavSrc.rec[slot];
    const GUI_Point p = PlaceOnPage(e, r.fLat, r.fLon);
    if (StrictlyInside(box, p)) MapDrawOwnShip(1, p.x, p.y);
}

void ChartPageDraw() {
    if (!G_Chart.bPageLoaded || G_Chart.pEntry == nullptr) return;
    const int32_t pageY = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    const ChartPageEntry& e = *G_Chart.pEntry;
    GUI_SetClipRect(nullptr);
    GUI_DrawBitmap(&G_Chart.window, 0, pageY);
    ClearAroundWindow(pageY);
    if (!(e.nFlags & kChartGeoReferenced)) return;
    const GeoBox box = ClampedBox(e);
    const GUI_Rect clip{static_cast<int16_t>(box.x0), static_cast<int16_t>(box.y0 + pageY),
                        static_cast<int16_t>(box.x1), static_cast<int16_t>(box.y1 + pageY)};
    GUI_SetClipRect(&clip);
    const GUI_Point airport = AirportOnPage(e);
    if (StrictlyInside(box, airport)) {
        Mark(box, airport, 17, pageY);
        SetDrawColor(5);
        GUI_SetPenSize(1);
        GUI_DrawRect(box.x0, box.y0 + pageY, box.x1, box.y1 + pageY);
        const auto scrolled = [](GUI_Point m) { return GUI_Point{m.x, Sat16(int64_t{m.y} - G_Chart.nScrollY)}; };
        Mark(box, scrolled(e.markerA), 14, pageY);
        Mark(box, scrolled(e.markerB), 5, pageY);
        TrafficDrawOverlay(&e, GUI_Point{static_cast<int16_t>(box.x0), static_cast<int16_t>(box.y0)},
                           GUI_Point{static_cast<int16_t>(box.x1), static_cast<int16_t>(box.y1)});
        DrawOwnAircraft(e, box);
    }
    GUI_SetClipRect(nullptr);
}
