// Weather link and traffic as the boot and the main loop reach them.
#pragma once
#include <cstdint>

struct WxState {
    uint32_t nProducts;          // sent as the first argument of user event 32
    uint32_t nDecodeState;       // 0 idle; else a product is being decompressed into G_WxText
    uint32_t nTfrCount;          // TFR areas loaded
};

// The weather text buffer: decompressed products, or TFR.XML read from the card.
constexpr uint32_t kWxTextBytes = 400000;
extern char G_WxText[kWxTextBytes];
extern WxState  G_Wx;
extern uint32_t G_WxConn;        // weather TCP connection, 0 = none

constexpr uint32_t kWxMaster = 1;
constexpr uint32_t kWxSlave  = 2;

void TrafficDemoTargets();
// Parse callback of the DLE-framed traffic ports.
void TrafficRxMsg(uint8_t* msg, int32_t length, uint32_t port);
void WxOpenListeners();
void WxRecvTask();
// One slice of the weather decompression (the map queue's idle steps).
void WxDecodeStep();
// Builds the TFR areas from XML text.
void WxTfrParseXml(const char* text, uint32_t size);
// Marks the loaded airports with their METAR flight category.
void WxMetarMarkAirports();
