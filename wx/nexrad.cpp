// The NEXRAD radar picture.
#include "wx/nexrad.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include "core/boot.h"
#include "core/byteorder.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "platform/hw.h"
#include "ui/pages.h"
#include "ui/style.h"
#include "wx/ppmd.h"
#include "wx/products.h"
#include "wx/wx.h"

uint8_t G_WxNexradImg[kNexradBytes];

namespace {

constexpr double kMetresPerDegree = 111320.64;
constexpr double kFix = 262144.0;
constexpr float kPi = 3.14159265358979323846f;
constexpr int32_t kCentreCol = kNexradCols / 2, kCentreRow = kNexradRows / 2;
constexpr int kOutNexrad = 1;
constexpr int kPaneColumns = 640;

// The size of the product in decompression, for the move to the raster's stride.
uint32_t s_width = 0, s_height = 0;

// trunc(v), held inside 32 bits (a zero pixel size gives an infinite scale).
int32_t Trunc32(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

void StoreGeometry(const uint8_t* p) {
    const float a = static_cast<float>(Le16(p + 27) / kMetresPerDegree);
    const float f = std::cos(static_cast<float>(Le32(p + 19) / 1000000.0f) * kPi / 180.0f);
    const float b = a / f;
    WxState& w = G_Wx;
    w.nNxLatPerRow = Trunc32(static_cast<double>(a) * kFix);
    w.nNxLonPerCol = Trunc32(static_cast<double>(b) * kFix);
    w.nNxRowsPerLat = a != 0.0f ? Trunc32((1.0 / static_cast<double>(a)) * kFix) : 0;
    w.nNxColsPerLon = b != 0.0f ? Trunc32((1.0 / static_cast<double>(b)) * kFix) : 0;
    w.nNxLat = Trunc32(static_cast<int32_t>(Le32(p + 7)) / 1000000.0 * kFix);
    w.nNxLon = Trunc32(static_cast<int32_t>(Le32(p + 11)) / 1000000.0 * kFix);
}

void LogProductTime(uint32_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm utc = {};
    gmtime_r(&t, &utc);
    DebugPrintf("WX: NXRD %d:%d:00Z\n", utc.tm_hour, utc.tm_min);
}

}  // namespace

void WxNexradDecode(const uint8_t* payload, uint32_t length) {
    if (length < kWxNexradHeader) return;
    const uint64_t n = Le32(payload + 2);
    // The stream must lie inside the message that brought it.
    if (n + kWxNexradHeader >= kWxProductBytes + 1 || n + kWxNexradHeader > length) {
        DebugPrintf("WX: cstb\n");
        return;
    }
    if (G_Wx.nDecodeState != 0) return;
    const uint32_t width = Le16(payload + 23), height = Le16(payload + 25);
    // Refused before anything is stored: the old picture keeps its own geometry.
    if (width > static_cast<uint32_t>(kNexradCols) || height > static_cast<uint32_t>(kNexradRows)) {
        DebugPrintf("WX: dbtb\n");
        return;
    }
    uint8_t* copy = WxProductCopy();
    std::memcpy(copy, payload, static_cast<size_t>(n) + kWxNexradHeader);
    StoreGeometry(copy);
    G_Wx.nNexradRxTime = G_UptimeSec;
    G_Wx.bNexradRx = 1;
    LogProductTime(Le32(copy + 15));
    G_WxOutLen[kOutNexrad] = width * height;
    s_width = width;
    s_height = height;
    KickWatchdog(10);
    const int32_t r = PpmdDecompress(G_WxNexradImg, &G_WxOutLen[kOutNexrad], copy + kWxNexradHeader,
                                     static_cast<uint32_t>(n), 1);
    if (r == kPpmdMore) {
        G_Wx.nDecodeState = kWxDecoding;
    } else if (r == kPpmdDone) {
        // A small product can end within the first slice: handed on by the next one.
        G_Wx.nDecodeState = kWxDecoding;
        G_WxDecodeDone = 1;
    }
}

void WxNexradFinish() {
    const uint32_t w = s_width, h = s_height;
    s_width = s_height = 0;
    if (w == 0 || h == 0 || (w == static_cast<uint32_t>(kNexradCols) && h == static_cast<uint32_t>(kNexradRows)))
        return;
    uint8_t* img = G_WxNexradImg;
    const uint32_t stride = kNexradCols;
    const uint32_t ox = kCentreCol - w / 2, oy = kCentreRow - h / 2;
    // Rows below the product first: they lie past every decoded byte.
    std::memset(img + (oy + h) * stride, 0, (kNexradRows - oy - h) * stride);
    // From the last row back, each row lands at or after where it was decoded,
    // and its margins past every row still to move.
    for (uint32_t r = h; r-- > 0;) {
        uint8_t* row = img + (r + oy) * stride;
        std::memmove(row + ox, img + r * w, w);
        std::memset(row, 0, ox);
        std::memset(row + ox + w, 0, stride - ox - w);
    }
    std::memset(img, 0, oy * stride);
}

void WxDrawNexrad() {
    const WxState& w = G_Wx;
    if (w.nNxLonPerCol == 0 || w.nNexradRxTime == 0 || w.bNexradRx == 0) return;
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    const int64_t ox = own.x, oy = own.y;
    const int32_t x0 = G_MapPane.x0, y0 = G_MapPane.y0, x1 = G_MapPane.x1, y1 = G_MapPane.y1;
    const uint32_t rot = G_MapRotation % 3600;
    const int64_t cosR = CosTab10[rot], sinR = SinTab10[rot];
    const int64_t k = G_MapLonScaleInv;
    const double s = MapScaleTab[G_MapZoom < kMapZooms ? G_MapZoom : 0] / kFix;
    const double pxPerCol = s * w.nNxLonPerCol / kFix, pxPerRow = s * w.nNxLatPerRow / kFix;
    const int64_t kx = pxPerCol > 0.0 ? static_cast<int64_t>(kFix / pxPerCol) : 0;
    const int64_t ky = pxPerRow > 0.0 ? static_cast<int64_t>(kFix / pxPerRow) : 0;
    const int64_t cR = int64_t{kCentreCol} * 262144 -
                       ((int64_t{w.nNxColsPerLon} * (int64_t{w.nNxLon} - G_MapFrame.nRefLon)) >> 18);
    const int64_t rR = int64_t{kCentreRow} * 262144 +
                       ((int64_t{w.nNxRowsPerLat} * (int64_t{w.nNxLat} - G_MapFrame.nRefLat)) >> 18);
    // Per column: A x k (the product distributes exactly over A - sin x dy) and B.
    static int64_t colAk[kPaneColumns], colB[kPaneColumns];
    const int32_t xFirst = x0 + 1 < 0 ? 0 : x0 + 1, xLast = x1 < kPaneColumns ? x1 : kPaneColumns - 1;
    for (int32_t x = xFirst; x <= xLast; ++x) {
        const int64_t dx = ((ox - x) * 262144 * kx) >> 18;
        colAk[x] = ((cosR * dx) >> 18) * k;
        colB[x] = (sinR * dx) >> 18;
    }
    const uint8_t* frame = HwMemory(LCD_FRAME, kPaneColumns * LCD_VYSIZE);
    if (!frame || xLast < xFirst) return;
    const int32_t width = xLast - xFirst + 1;
    static uint8_t line[kPaneColumns];
    const uint8_t mode = GUI_SetDrawMode(GUI_DM_NORMAL);
    for (int32_t y = y0 + 1; y < y1; ++y) {
        const int32_t bandY = y + kMapBandY;
        if (bandY < 0 || bandY >= LCD_VYSIZE) continue;
        const int64_t dy = ((oy - y) * 262144 * ky) >> 18;
        const int64_t sdyk = ((sinR * dy) >> 18) * k, cdy = (cosR * dy) >> 18;
        // The row as the map drew it, the echoes over it, then the row back in
        // one clipped copy: far cheaper than a clipped write per pixel.
        std::memcpy(line, frame + bandY * kPaneColumns + xFirst, static_cast<size_t>(width));
        bool echo = false;
        for (int32_t x = xLast; x >= xFirst; --x) {
            const int64_t col = (cR - ((colAk[x] - sdyk) >> 18)) >> 18;
            const int64_t row = (rR - (cdy + colB[x])) >> 18;
            // Column and row 0, and anything past the raster, stay as the map drew them.
            if (static_cast<uint64_t>(col - 1) > kNexradCols - 2 || static_cast<uint64_t>(row - 1) > kNexradRows - 2)
                continue;
            const uint32_t v = G_WxNexradImg[row * kNexradCols + col];
            if (v == 0) continue;
            // Values past 7 are the strongest echo, never another palette range.
            line[x - xFirst] = static_cast<uint8_t>(v < 8 ? v + kNexradColour0 : kNexradStrongest);
            echo = true;
        }
        if (echo) GUI_ClipDrawBitmap(xFirst, bandY, width, 1, 1, 1, 8, width, line, nullptr);
    }
    GUI_SetDrawMode(mode);
}
