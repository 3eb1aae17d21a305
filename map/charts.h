// Scanned charts from the card: chart files of up to 32 pages, one page held
// in memory as a decoded 8-bit bitmap with its visible window, and the chart
// page that shows it with the airport and the aircraft placed by the page's
// geo-reference.
#pragma once
#include <cstddef>
#include <cstdint>

#include "gui/gui.h"

constexpr uint32_t kChartMaxPages     = 32;
constexpr uint32_t kChartPageBytes    = 655360;   // decoded and compressed page buffers
constexpr int32_t  kChartWindowWidth  = 640;
constexpr int32_t  kChartWindowHeight = 459;     // the rows above the soft-key bar
constexpr uint32_t kChartGeoReferenced = 1u << 0;   // page entry flag

#pragma pack(push, 1)
// One page of the chart file header (80 bytes, little-endian).
struct ChartPageEntry {
    float     fXScale;      // +0  pixels per degree of longitude
    float     fYScale;      // +4  pixels per degree of latitude (negative: north up)
    float     fXOffset;     // +8  pixels
    float     fYOffset;     // +12 pixels
    float     fRotation;    // +16 degrees
    GUI_Point corner[2];    // +20, +24 the geo-referenced area, page pixels
    GUI_Point markerA;      // +28
    GUI_Point markerB;      // +32
    uint8_t   nFlags;       // +36 bit 0 geo-referenced
    uint8_t   reserved37[3];
    char      szName[32];   // +40 page name, not always terminated
    uint32_t  nDataOffset;  // +72 file offset of the page's LZF data
    uint32_t  nDataLength;  // +76 its compressed length
};
static_assert(sizeof(ChartPageEntry) == 80);
static_assert(offsetof(ChartPageEntry, corner) == 20);
static_assert(offsetof(ChartPageEntry, nFlags) == 36);
static_assert(offsetof(ChartPageEntry, szName) == 40);
static_assert(offsetof(ChartPageEntry, nDataOffset) == 72);

// "/CHARTS/<name>.ACH": the 2644-byte header.
struct ChartFileHeader {
    uint8_t        reserved0[4];
    char           szName[8];      // +4
    uint8_t        reserved12[68];
    uint32_t       nPages;         // +80, 1..32 for a good file
    ChartPageEntry page[kChartMaxPages];   // +84
};
static_assert(sizeof(ChartFileHeader) == 2644);
static_assert(offsetof(ChartFileHeader, nPages) == 80);
static_assert(offsetof(ChartFileHeader, page) == 84);

// The decoded page: a Windows bitmap file.
constexpr uint32_t kBmpFileHeaderBytes = 14;
constexpr uint32_t kBmpOffBits     = 10;   // u32 file offset of the pixel rows
constexpr uint32_t kBmpInfoSize    = 14;   // u32 information header size, 40 or more
constexpr uint32_t kBmpWidth       = 18;   // i32
constexpr uint32_t kBmpHeight      = 22;   // i32, positive: rows stored bottom-up
constexpr uint32_t kBmpBitCount    = 28;   // u16
constexpr uint32_t kBmpMinInfoSize = 40;
constexpr uint32_t kBmpMinBytes    = kBmpFileHeaderBytes + kBmpMinInfoSize;   // 54
constexpr uint32_t kBmpColours     = 256;
#pragma pack(pop)

struct ChartState {
    uint32_t bLoaded;           // a chart file is loaded
    uint32_t bPageLoaded;       // a page is decoded and its window prepared
    int32_t  nScrollY;          // rows from the top of the picture
    int32_t  nScrollX;          // columns
    uint32_t nPage;             // current page
    char     szName[8];
    const ChartPageEntry* pEntry;   // current page's geo-reference
    const uint8_t* pFileHeader;
    const uint8_t* pInfoHeader;
    const uint8_t* pColours;
    // The checked bitmap: its size, row stride and first (top) pixel row.
    uint32_t nDecodedBytes;
    int32_t  nWidth, nHeight;
    uint32_t nStride;
    const uint8_t* pPixels;
    uint32_t nLoadTicks;        // OS-timer ticks the last ChartLoad took
    uint8_t  abDecoded[kChartPageBytes];
    uint8_t  abPacked[kChartPageBytes];
    uint32_t anPalette[kBmpColours];   // 0x00BBGGRR
    GUI_Palette palette;
    GUI_Bitmap  window;          // the visible part of the page
};
extern ChartState G_Chart;
extern ChartFileHeader G_ChartHeader;

// Opens "/CHARTS/<name>.ACH" (name up to 8 characters) and loads its first
// page; nothing when that chart is loaded already.
void ChartFileLoad(const char* name);
// Decodes one page; a page at or past the count is the last page.
void ChartPageLoad(uint32_t page);
// Loads the page and prepares its window at the present scroll offsets:
// 1 when shown, 0 otherwise.
int32_t ChartLoad(uint32_t page);

// A position (2^18 units per degree) in screen pixels of the page, the
// vertical scroll removed, turned by the page's rotation unless it is 270.
GUI_Point ChartGeoToScreen(const ChartPageEntry& entry, int32_t lat, int32_t lon);
// ChartPageDraw (map/map.h) draws the page while the chart view is on.
