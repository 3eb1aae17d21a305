// The product stores and the sliced decompression, with streams made by the
// codec's own compressor (the simulator's streams come from python3-ppmd).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "core/syslog.h"
#include "support/board_fixture.h"
#include "wx/metar.h"
#include "wx/ppmd.h"
#include "wx/products.h"
#include "wx/tfr.h"
#include "wx/wx.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A text product: id, spare, n, L, 4 spare bytes, the stream.
Bytes TextProduct(uint8_t id, const std::string& text, uint32_t declaredLen) {
    std::vector<uint8_t> stream(text.size() + 4096);
    uint32_t cap = static_cast<uint32_t>(stream.size());
    EXPECT_EQ(PpmdCompress(stream.data(), &cap, reinterpret_cast<const uint8_t*>(text.data()),
                           static_cast<uint32_t>(text.size()), 6, 1, 0),
              kPpmdOk);
    Bytes p(14 + cap, 0);
    p[0] = id;
    PutLe32(p, 2, cap);
    PutLe32(p, 6, declaredLen);
    std::copy(stream.begin(), stream.begin() + cap, p.begin() + 14);
    return p;
}
Bytes TextProduct(uint8_t id, const std::string& text) {
    return TextProduct(id, text, static_cast<uint32_t>(text.size()));
}

std::string MetarSet(size_t size) {
    std::string s;
    for (int i = 0; s.size() < size; ++i) {
        s += "METAR K" + std::to_string(100 + i % 800) + " 121853Z 27012KT 10SM FEW250 15/03 A3001 RMK AO2";
        s.push_back('\0');
    }
    s.resize(size);
    return s;
}

class Products : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        SysLogOpen();
        G_UptimeSec = 500;
        G_Wx = {};
        G_WxDecodeDone = 0;
    }
    static bool Logged(const std::string& text) { return SysLogSectorText().find(text) != std::string::npos; }
    static void Dispatch(const Bytes& p) { WxProductDispatch(p.data(), static_cast<uint32_t>(p.size())); }
    static int DecodeToEnd() {
        int slices = 0;
        while ((G_Wx.nDecodeState != 0 || G_WxDecodeDone) && slices < 100000) {
            WxDecodeStep();
            ++slices;
        }
        return slices;
    }
};

TEST_F(Products, MetarLengthLimit) {
    for (uint32_t len : {299998u, 299999u}) {
        SCOPED_TRACE(len);
        G_Wx = {};
        const Bytes p = TextProduct(kWxIdMetar, MetarSet(len));
        ASSERT_LE(p.size(), kWxProductBytes - 29);
        Dispatch(p);
        if (len == 299999) {
            EXPECT_TRUE(Logged("WX: mtbfb (299999)\n"));
            EXPECT_EQ(G_Wx.nDecodeState, 0u);
            EXPECT_EQ(G_Wx.bMetarRx, 0u);
            continue;
        }
        EXPECT_EQ(G_Wx.nDecodeState, kWxDecoding);
        EXPECT_EQ(G_Wx.bMetarRx, 1u);
        EXPECT_EQ(G_Wx.nMetarRxTime, 500u);
        EXPECT_GT(DecodeToEnd(), 50) << "5000 symbols a slice";
        EXPECT_EQ(std::memcmp(G_WxMetarText, MetarSet(len).data(), len), 0) << "the slices give the whole text";
        EXPECT_TRUE(Logged("WX: METARS ("));
    }
}

TEST_F(Products, AProductDuringADecodeIsIgnored) {
    Dispatch(TextProduct(kWxIdMetar, MetarSet(60000)));
    ASSERT_EQ(G_Wx.nDecodeState, kWxDecoding);
    WxDecodeStep();
    Dispatch(TextProduct(kWxIdTfr, "<TFRSET></TFRSET>"));
    Dispatch({kWxIdCycle, 0});
    EXPECT_EQ(G_Wx.bTfrRx, 0u);
    EXPECT_EQ(G_Wx.nCycleMarkers, 0u) << "not even counted";
    EXPECT_EQ(G_Wx.nProductId, kWxIdMetar);
    DecodeToEnd();
    EXPECT_TRUE(Logged("WX: METARS (")) << "the first one finishes";
}

// A small product ends within its first slice; it is handed on all the same.
TEST_F(Products, ASmallSetIsHandedOnAndAnEmptyTfrIsNotParsed) {
    Dispatch(TextProduct(kWxIdMetar, std::string("METAR KAAA 1\0METAR KBBB 2\0", 26)));
    EXPECT_EQ(G_Wx.bMetarRx, 1u);
    DecodeToEnd();
    EXPECT_TRUE(Logged("WX: METARS (2/2)")) << SysLogSectorText();

    Dispatch(TextProduct(kWxIdTfr, ""));
    EXPECT_EQ(G_Wx.bTfrRx, 1u) << "decoded";
    DecodeToEnd();
    EXPECT_FALSE(Logged("WX: TFRS")) << "but not parsed";
    EXPECT_EQ(G_Wx.nDecodeState, 0u);
}

// A stream must lie inside its message; the copy takes exactly header and stream.
TEST_F(Products, AStreamLongerThanItsMessageIsRefused) {
    Bytes p = TextProduct(kWxIdTfr, "<TFRSET></TFRSET>");
    const Bytes whole = p;
    p.pop_back();
    Dispatch(p);
    EXPECT_TRUE(Logged("WX: cstb"));
    EXPECT_EQ(G_Wx.bTfrRx, 0u);
    Dispatch(Bytes(whole.begin(), whole.begin() + 10));   // not even its header
    EXPECT_EQ(G_Wx.bTfrRx, 0u);
    Dispatch(whole);
    EXPECT_EQ(G_Wx.bTfrRx, 1u);
}

TEST_F(Products, AStreamRefusedAtItsStartLeavesTheProductUnmarked) {
    Bytes p = TextProduct(kWxIdMetar, "METAR KAAA 1");
    p[14] = 'X';   // the signature
    Dispatch(p);
    EXPECT_EQ(G_Wx.bMetarRx, 0u);
    EXPECT_EQ(G_Wx.nMetarRxTime, 0u);
    EXPECT_EQ(G_Wx.nDecodeState, 0u);
    Dispatch(TextProduct(kWxIdMetar, "METAR KAAA 1"));
    EXPECT_EQ(G_Wx.bMetarRx, 1u) << "the next product is taken";
}

TEST_F(Products, TheSecondCycleMarkerOfAMasterCyclesTheReceiverOnce) {
    G_NetStreamCfg[kStreamWx].INST = kWxMaster;
    G_Wx.nStep = 100;
    for (int i = 0; i < 4; ++i) Dispatch({kWxIdCycle, 0});
    const std::string log = SysLogSectorText();
    EXPECT_EQ(log.find("WX: Softcycle"), log.rfind("WX: Softcycle"));
    EXPECT_NE(log.find("WX: Softcycle\n"), std::string::npos);
    EXPECT_EQ(G_Wx.nStep, 40);
    EXPECT_EQ(G_Wx.bResponse, 1);
    EXPECT_EQ(G_Wx.nCycleMarkers, 4u);
}

}  // namespace
