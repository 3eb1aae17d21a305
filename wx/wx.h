// Weather link, web page and traffic as the boot and the main loop reach them.
#pragma once
#include <cstdint>

#include "gui/gui.h"

struct ChartPageEntry;
struct TcpConn;

struct WxState {
    uint32_t nProducts;          // the link status word: sent as the first argument of user event 32
    uint32_t nDecodeState;       // 0 idle; 2 a product is being decompressed into G_WxText
    uint32_t nTfrCount;          // TFR areas loaded
    // The receiver link.
    uint8_t  nStep;              // 0 idle, 1..6 bring-up, 31..35 validation, 40 power cycle, 100 running, 230..240
    uint8_t  bResponse;          // a frame answered the last command
    uint8_t  nRecvStatus;        // from frames 0x90 and 0xCA
    uint8_t  abConfig[3];        // frame 0xC0; the third is the service indicator
    char     szRecvId[9];
    uint32_t nLastFrame;         // G_UptimeSec of the last frame parsed
    uint32_t nRecvTime;          // the receiver's clock as a minute key
    // The products.
    uint32_t nCycleMarkers;
    uint32_t nProductId;         // the product in decompression
    uint32_t nTextLen;           // its decoded length
    uint32_t bNexradRx, nNexradRxTime;
    uint32_t bMetarRx, nMetarRxTime;
    uint32_t bTfrRx, nTfrRxTime;
    uint32_t bActivity;          // product data seen since the status box last looked
    uint32_t bRedraw;            // the weather layers want a redraw
    uint32_t nMetarCount;
    uint32_t nTfrPoints;
    uint32_t nLinkPasses;        // calls of the link task and of the decode step: the main loop's rhythm
    uint32_t nDecodePasses;
    // The radar picture's geometry, 2^18 fixed point: degrees per column and
    // row, columns and rows per degree, and the picture's centre.
    int32_t  nNxLonPerCol, nNxColsPerLon, nNxLatPerRow, nNxRowsPerLat;
    int32_t  nNxLat, nNxLon;
};

// The weather text buffer: decompressed products, or TFR.XML read from the card.
constexpr uint32_t kWxTextBytes = 400000;
extern char G_WxText[kWxTextBytes];
extern WxState  G_Wx;
extern TcpConn* G_WxConn;        // weather TCP connection, none = null
extern uint8_t  G_WxMasterIp[4]; // the weather master, learnt by a slave from user event 32
extern uint32_t G_WxNexradReady;
extern uint32_t G_WxDecodeDone;

constexpr uint32_t kWxMaster = 1;
constexpr uint32_t kWxSlave  = 2;
constexpr uint16_t kWebPort  = 80;

// The traffic threat list; also the display link's type 19.
constexpr int32_t kTrafficTargets = 20;
#pragma pack(push, 1)
struct TrafficTarget {
    int32_t  nMark;              // always -10000
    uint32_t nBearing;           // 0.1 degree, relative to the own track
    uint32_t nTrack;             // 0.1 degree; 0xFFFFFFFF unknown
    uint32_t nDistance;          // 0.01 NM
    int32_t  nRelAlt;            // ft
    uint32_t nFlags;             // bit 0 climbing, 1 descending, 4 proximity
    int32_t  nLat, nLon;         // 2^18 units per degree
};
struct TrafficList {
    uint8_t  nCount;             // 0..20
    uint8_t  nStatusA, nStatusB;
    uint8_t  reserved;
    uint32_t nStamp;             // OS timer of the last update
    TrafficTarget target[kTrafficTargets];
};
#pragma pack(pop)
static_assert(sizeof(TrafficTarget) == 32);
static_assert(sizeof(TrafficList) == 648);
extern TrafficList G_Traffic;

void TrafficDemoTargets();
// Parse callback of the DLE-framed traffic ports.
void TrafficRxMsg(uint8_t* msg, int32_t length, uint32_t port);
// The targets on a geo-referenced chart page, inside the page's clamped box.
void TrafficDrawOverlay(const ChartPageEntry* entry, GUI_Point minCorner, GUI_Point maxCorner);
// At start and after a card change: on a weather master, the listeners.
void WxOpenListeners();
void WxRecvTask();
// The one web page, then the close; 1: the request needs nothing more.
int32_t WebServerReply(TcpConn* conn);
// One slice of the weather decompression (the map queue's idle steps).
void WxDecodeStep();
// Builds the TFR areas from XML text.
int32_t WxTfrParseXml(const char* text, uint32_t size);
// Marks the loaded airports with their METAR flight category.
void WxMetarMarkAirports();
