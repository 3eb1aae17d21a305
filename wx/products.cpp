// The weather products. One product decompresses at a time, into G_WxText,
// a slice per idle pass of the map queue; products arriving meanwhile are
// dropped. A product is taken only when its stream lies inside its message.
#include "wx/products.h"

#include <cstring>

#include "core/boot.h"
#include "core/byteorder.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "wx/metar.h"
#include "wx/nexrad.h"
#include "wx/ppmd.h"
#include "wx/tfr.h"
#include "wx/wx.h"

char     G_WxText[kWxTextBytes];
uint32_t G_WxOutLen[3];
uint32_t G_WxNexradReady = 0;
uint32_t G_WxDecodeDone = 0;

namespace {

constexpr int kOutTfr = 0, kOutMetar = 2;

uint8_t s_product[kWxProductBytes];   // the product in decompression

struct TextKind {
    uint32_t nLimit;
    const char* szTooBig;
    int nOut;
    uint32_t* pReceived;
    uint32_t* pReceiveTime;
};

void StoreText(const uint8_t* payload, uint32_t length, const TextKind& kind) {
    if (length < kWxTextHeader) return;
    const uint64_t n = Le32(payload + 2);
    if (n + kWxNexradHeader > kWxProductBytes || n + kWxTextHeader > length) {
        DebugPrintf("WX: cstb\n");
        return;
    }
    if (G_Wx.nDecodeState != 0) return;
    const uint32_t size = static_cast<uint32_t>(n) + kWxTextHeader;
    std::memcpy(s_product, payload, size);
    const uint32_t textLen = Le32(s_product + 6);
    G_Wx.nTextLen = textLen;
    if (uint64_t{textLen} + 2 > kind.nLimit) {
        DebugPrintf(kind.szTooBig, static_cast<int>(textLen));
        return;
    }
    KickWatchdog(10);
    G_WxText[textLen] = '\0';
    G_WxOutLen[kind.nOut] = textLen;
    const int32_t r = PpmdDecompress(reinterpret_cast<uint8_t*>(G_WxText), &G_WxOutLen[kind.nOut],
                                     s_product + kWxTextHeader, static_cast<uint32_t>(n), 1);
    // A stream refused at its start is no news: the received flag stays as it was.
    if (r != kPpmdMore && r != kPpmdDone) return;
    G_Wx.nDecodeState = kWxDecoding;
    // Finished within the first slice: the next slice hands it on like any other.
    if (r == kPpmdDone) G_WxDecodeDone = 1;
    *kind.pReceived = 1;
    *kind.pReceiveTime = G_UptimeSec;
}

void CycleMarker() {
    if (G_NetStreamCfg[kStreamWx].INST == kWxMaster && G_Wx.nCycleMarkers == 1) {
        DebugPrintf("WX: Softcycle\n");
        G_Wx.nStep = 40;
        G_Wx.bResponse = 1;
    }
    ++G_Wx.nCycleMarkers;
}

}  // namespace

uint8_t* WxProductCopy() { return s_product; }

void WxTfrStore(const uint8_t* payload, uint32_t length) {
    StoreText(payload, length, {kWxTfrTextMax, "WX: ttbfb (%d)\n", kOutTfr, &G_Wx.bTfrRx, &G_Wx.nTfrRxTime});
}

void WxMetarStore(const uint8_t* payload, uint32_t length) {
    StoreText(payload, length, {kWxMetarTextMax, "WX: mtbfb (%d)\n", kOutMetar, &G_Wx.bMetarRx, &G_Wx.nMetarRxTime});
}

void WxProductDispatch(const uint8_t* payload, uint32_t length) {
    if (G_Wx.nDecodeState != 0 || length == 0) return;
    G_Wx.nProductId = payload[0];
    switch (payload[0]) {
    case kWxIdNexrad: WxNexradDecode(payload, length); break;
    case kWxIdMetar: WxMetarStore(payload, length); break;
    case kWxIdTfr: WxTfrStore(payload, length); break;
    case kWxIdCycle: CycleMarker(); break;
    default: G_Wx.nProductId = 0; break;
    }
}

void WxDecodeStep() {
    ++G_Wx.nDecodePasses;
    if (!G_WxDecodeDone) {
        if (G_Wx.nDecodeState == kWxDecoding) {
            KickWatchdog(10);
            if (PpmdDecompress(nullptr, nullptr, nullptr, 0, 0) != kPpmdMore) {
                G_WxNexradReady = 1;
                G_WxDecodeDone = 1;
            }
        }
        return;
    }
    G_WxDecodeDone = 0;
    G_Wx.nDecodeState = 0;
    const uint32_t len = G_Wx.nTextLen;
    switch (G_Wx.nProductId) {
    case kWxIdNexrad:
        WxNexradFinish();
        G_WxNexradReady = 1;
        break;
    case kWxIdMetar: WxMetarIndex(G_WxText, len); break;
    case kWxIdTfr:
        if (len != 0) WxTfrParseXml(G_WxText, len);
        break;
    default: break;
    }
    G_Wx.nProductId = 0;
    G_Wx.nTextLen = 0;
}
