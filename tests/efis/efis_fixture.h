// A board with the graphics library up, the EFIS streams installed, fresh
// attitude and air data, and the pane laid out for a screen configuration.
#pragma once
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "efis/efis.h"
#include "efis/efisview.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "nav/navsrc.h"
#include "sim/screenshot.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"
#include "support/png_read.h"
#include "ui/keys.h"
#include "ui/pages.h"

class EfisPageTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        GUI_Init();
        InitPalette();
        G_ClockEdit = 10;
        for (NetStreamCfg& c : G_NetStreamCfg) c = {};
        for (int s : {kStreamAir, kStreamAhrs}) G_NetStreamCfg[s].INST = 1;
        G_EnginePane = {};
        for (InstCfg& c : G_InstCfg) c = {};   // knots, feet, Fahrenheit
        G_AirspeedCfg = {45, 50, 85, 120, 160};
        Attitude(0, 0, 900);
        Air(1000, 3500, 0);
        G_AirData.nBaroSetting = 29920;
        G_AirData.nTas = 1060;
        G_NavSrc.hdr.nCrsSlot = kNavNoneSlot;
        G_NavSrc.hdr.nBrgSlot = kNavNoneSlot;
        G_NavSrc.hdr.nMapSrcSlot = kNavNoneSlot;
        G_NavSrc.hdr.MAP_LATLON_PORT = kNavNoPort;
        G_NavSrc.hdr.nAltBug = 4500;
    }
    static void Attitude(int32_t roll, int32_t pitch, int32_t heading) {
        G_Ahrs.nRoll = roll;
        G_Ahrs.nPitch = pitch;
        G_Ahrs.nHeading = heading;
        G_Ahrs.nLoadFactor = 100;
        G_Ahrs.nFresh = 40;
    }
    static void Air(int32_t ias, int32_t alt, int32_t vs) {
        G_AirData.nIas = ias;
        G_AirData.nBaroAlt = alt;
        G_AirData.nVs = vs;
        G_AirData.nFresh = 40;
    }
    // A GPS course in slot 0: desired track and cross-track (0.01 NM).
    static void GpsCourse(int32_t dtk, int32_t xtk, bool vertical = false, int8_t vdev = 0) {
        NavSrcRec& r = G_NavSrc.rec[0];
        r.nType = 1;
        r.nGpsFlagsA = kNavGpsValid | kNavGpsWptValid | kNavGpsTrack | kNavGpsXtkUsable | kNavGpsDtkValid |
                       (vertical ? kNavGpsVertical : 0);
        r.nGpsFlagsB = static_cast<uint8_t>(kNavGpsFix | kNavGpsOwnPos | (vertical ? 1u << 3 : 0));
        r.nDesiredTrack = static_cast<int16_t>(dtk);
        r.nBearing = static_cast<int16_t>(dtk);
        r.nCrossTrack = static_cast<int16_t>(xtk);
        r.nCdiFullScale = 100;
        r.abVertGuide[0] = static_cast<uint8_t>(vdev);
        std::memcpy(r.szWaypoint, "KOSH", 5);
        r.nDistance = 123;
        r.nTimeToWpt = 754;
        r.nGroundSpeed = 1100;
        r.nTrackMag = static_cast<int16_t>(dtk);
        G_NavSrc.hdr.nCrsSlot = 0;
        G_NavSrc.hdr.nBrgSlot = 0;
    }
    static void Page(int32_t page) {
        G_CurPage = page;
        InitScreenConfig();
    }
    static void Draw() {
        if (G_CurPage == 4 || G_CurPage == 14 || G_CurPage == 32 || G_CurPage == 36) DrawAirDataPane();
        else DrawEfisPage();
    }
    uint8_t Px(int x, int y) { return board().display().Memory()[(y + G_FlipCtl.nDrawPageY) * 640 + x]; }
    // Writes the page just drawn as a PNG (shown as after the flip).
    std::string Shot(const std::string& name) {
        const std::string png = "/tmp/kv_efis_" + std::to_string(getpid()) + "_" + name + ".png";
        LCD_SetDisplayStart(0, static_cast<int>(G_FlipCtl.nDrawPageY));
        std::string error;
        EXPECT_TRUE(WriteScreenshotPng(board().display(), png.c_str(), error)) << error;
        return png;
    }
    // The page against the reference PNG kept beside the tests
    // (KV_UPDATE_GOLDEN=1 rewrites the reference).
    void ExpectMatches(const std::string& golden) {
        const std::string png = Shot(golden);
        const std::string reference = std::string(KV_EFIS_TEST_DIR) + "/" + golden + ".png";
        if (std::getenv("KV_UPDATE_GOLDEN")) {
            ASSERT_EQ(std::system(("cp " + png + " " + reference).c_str()), 0);
        }
        RgbImage a, b;
        ASSERT_TRUE(ReadPng(png, a));
        ASSERT_TRUE(ReadPng(reference, b)) << reference;
        EXPECT_TRUE(a.width == b.width && a.height == b.height && a.rgb == b.rgb)
            << golden << " differs: the page drawn is kept in " << png;
        if (!::testing::Test::HasFailure()) std::remove(png.c_str());
    }
};
