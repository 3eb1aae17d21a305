// The weather status box: its word by role, link step and radar age, the
// products aged out, and the icon and red cross drawn into the map's band.
#include <gtest/gtest.h>

#include <string>

#include "core/boot.h"
#include "core/irq.h"
#include "map/map.h"
#include "map/mapdraw_fixture.h"
#include "wx/statusbox.h"
#include "wx/wx.h"

namespace {

constexpr uint8_t kBackground = 7;
// The icon's corner: the full pane's right edge less 22, bottom less 27.
constexpr int kX = 639 - 22, kY = 459 - 27;

class StatusBox : public MapDrawTest {
protected:
    void SetUp() override {
        MapDrawTest::SetUp();
        G_UptimeSec = 100000;
        G_NexradOn = 1;
        G_Wx = {};
        FillBand(kBackground);
    }
    static void Role(uint32_t role) { G_NetStreamCfg[kStreamWx].INST = role; }
    static std::string Word() {
        char buf[24];
        return WxStatusWord(buf, sizeof buf);
    }
    int IconPixels(uint8_t colour) { return Count(colour, kX - 2, kY - 2, kX + 24, kY + 24); }
};

TEST_F(StatusBox, WordsByRoleStepAndRadarAge) {
    struct Case {
        const char* name;
        uint32_t role, step, established, nexradAgeSec, nexradFlag, lastFrame, nexradOn;
        const char* word;
    };
    const uint32_t none = 0xFFFFFFFF;
    const Case cases[] = {
        {"master finding", kWxMaster, 0, 0, none, 0, 0, 1, "FINDING"},
        {"master connecting", kWxMaster, 1, 1, none, 0, 0, 1, "CONNECTING"},
        {"master step 2", kWxMaster, 2, 1, none, 0, 0, 1, "CONFIGURING"},
        {"master step 6", kWxMaster, 6, 1, none, 0, 0, 1, "CONFIGURING"},
        {"master step 7", kWxMaster, 7, 1, none, 0, 0, 1, ""},
        {"master step 29", kWxMaster, 29, 1, none, 0, 0, 1, ""},
        {"master step 30", kWxMaster, 30, 1, none, 0, 0, 1, "ACTIVATING"},
        {"master step 235", kWxMaster, 235, 1, none, 0, 0, 1, "SETTING"},
        {"master running, no radar", kWxMaster, 100, 1, none, 0, 0, 1, "RECEIVING"},
        {"radar 5 minutes", kWxMaster, 100, 1, 5 * 60 + 59, 1, 0, 1, "NXRD -5m"},
        {"radar aged out", kWxMaster, 100, 1, 20 * 60, 0, 0, 1, "NXRD OLD"},
        {"radar off", kWxMaster, 100, 1, 60, 1, 0, 0, "NXRD OFF"},
        {"slave link down, radar old", kWxSlave, 100, 0, 20 * 60, 0, 0, 1, "OFFLINE"},
        {"slave link down", kWxSlave, 3, 0, none, 0, 0, 1, "OFFLINE"},
        {"slave finding", kWxSlave, 1, 1, none, 0, 0, 1, "FINDING"},
        {"slave connected", kWxSlave, 2, 1, none, 0, 0, 1, "CONNECTED"},
        {"slave step 5", kWxSlave, 5, 1, none, 0, 0, 1, ""},
        {"slave running, no frame", kWxSlave, 100, 1, none, 0, 0, 1, "CONNECTED"},
        {"slave running", kWxSlave, 100, 1, none, 0, 99990, 1, "RECEIVING"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_Wx = {};
        Role(c.role);
        G_Wx.nStep = static_cast<uint8_t>(c.step);
        G_Wx.nProducts = c.established;
        G_Wx.nLastFrame = c.lastFrame;
        if (c.nexradAgeSec != none) G_Wx.nNexradRxTime = G_UptimeSec - c.nexradAgeSec;
        G_Wx.bNexradRx = c.nexradFlag;
        G_NexradOn = c.nexradOn;
        EXPECT_EQ(Word(), c.word);
    }
}

// At 15 minutes the picture is still current; at 16 the box ages it out.
TEST_F(StatusBox, TheRadarAgesOutAfterFifteenMinutes) {
    Role(kWxMaster);
    G_Wx.nStep = 100;
    G_Wx.nProducts = 1;
    G_Wx.bNexradRx = 1;
    G_Wx.nNexradRxTime = G_UptimeSec - 15 * 60 - 59;
    RunApp([] { WxStatusBox(); });
    EXPECT_EQ(G_Wx.bNexradRx, 1u);
    EXPECT_EQ(Word(), "NXRD -15m");
    G_Wx.nNexradRxTime = G_UptimeSec - 16 * 60;
    RunApp([] { WxStatusBox(); });
    EXPECT_EQ(G_Wx.bNexradRx, 0u);
    EXPECT_EQ(Word(), "NXRD OLD");
}

TEST_F(StatusBox, TextProductsAgeOut) {
    Role(kWxMaster);
    G_Wx.bMetarRx = G_Wx.bTfrRx = 1;
    G_Wx.nMetarRxTime = G_UptimeSec - 1800;
    G_Wx.nTfrRxTime = G_UptimeSec - 3600;
    RunApp([] { WxStatusBox(); });
    EXPECT_EQ(G_Wx.bMetarRx, 1u);
    EXPECT_EQ(G_Wx.bTfrRx, 1u);
    G_UptimeSec += 1;
    RunApp([] { WxStatusBox(); });
    EXPECT_EQ(G_Wx.bMetarRx, 0u);
    EXPECT_EQ(G_Wx.bTfrRx, 0u);
}

TEST_F(StatusBox, WithoutAWeatherRoleNothingIsDrawnOrAged) {
    Role(0);
    G_Wx.bNexradRx = G_Wx.bMetarRx = G_Wx.bTfrRx = 1;
    G_Wx.nNexradRxTime = G_Wx.nMetarRxTime = G_Wx.nTfrRxTime = 1;
    RunApp([] { WxStatusBox(); });
    EXPECT_EQ(Count(kBackground, 0, 0, 639, 459), 640 * 460);
    EXPECT_EQ(G_Wx.bNexradRx + G_Wx.bMetarRx + G_Wx.bTfrRx, 3u);
}

// Step 7 of the master: no word, the icon in green by service 3; step 0 adds
// the red cross; the no-signal mark only without a service.
TEST_F(StatusBox, IconCrossAndNoSignalMark) {
    Role(kWxMaster);
    G_Wx.nStep = 7;
    G_Wx.abConfig[0] = 7;
    G_Wx.abConfig[2] = 3;
    G_Wx.nLastFrame = G_UptimeSec - 5;
    RunApp([] { WxStatusBox(); });
    EXPECT_GT(IconPixels(5), 20) << "green glyphs";
    EXPECT_EQ(IconPixels(14), 0) << "no yellow";
    EXPECT_EQ(IconPixels(2), 0) << "no red";
    EXPECT_EQ(Count(31, kX - 120, kY + 5, kX - 8, kY + 25), 0) << "no word";

    FillBand(kBackground);
    G_Wx.nStep = 0;
    G_Wx.nLastFrame = G_UptimeSec - 21;   // the receiver quiet: yellow
    RunApp([] { WxStatusBox(); });
    EXPECT_GT(IconPixels(14), 20);
    EXPECT_GT(IconPixels(2), 40) << "the red cross";
    EXPECT_GT(Count(31, kX - 120, kY + 5, kX - 8, kY + 25), 10) << "FINDING";

    FillBand(kBackground);
    G_Wx.nStep = 100;
    G_Wx.abConfig[2] = 0;
    RunApp([] { WxStatusBox(); });
    EXPECT_GT(Count(0, kX + 4, kY - 2, kX + 16, kY + 24), 20) << "the mark's black outline";
    EXPECT_GT(Count(2, kX + 4, kY + 6, kX + 16, kY + 24), 5) << "its red diagonals";
}

}  // namespace
