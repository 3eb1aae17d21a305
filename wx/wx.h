// Weather link, web page and traffic as the boot and the main loop reach them.
#pragma once
#include <cstdint>

struct TcpConn;

struct WxState {
    uint32_t nProducts;          // the link status word: sent as the first argument of user event 32
    uint32_t nDecodeState;       // 0 idle; else a product is being decompressed into G_WxText
    uint32_t nTfrCount;          // TFR areas loaded
};

// The weather text buffer: decompressed products, or TFR.XML read from the card.
constexpr uint32_t kWxTextBytes = 400000;
extern char G_WxText[kWxTextBytes];
extern WxState  G_Wx;
extern TcpConn* G_WxConn;        // weather TCP connection, none = null
extern uint8_t  G_WxMasterIp[4]; // the weather master, learnt by a slave from user event 32

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
// At start and after a card change: on a weather master, the listeners.
void WxOpenListeners();
void WxRecvTask();
// The one web page, then the close; 1: the request needs nothing more.
int32_t WebServerReply(TcpConn* conn);
// One slice of the weather decompression (the map queue's idle steps).
void WxDecodeStep();
// Builds the TFR areas from XML text.
void WxTfrParseXml(const char* text, uint32_t size);
// Marks the loaded airports with their METAR flight category.
void WxMetarMarkAirports();
