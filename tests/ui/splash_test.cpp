// The splash page drawn into display memory: its texts by colour and row,
// with and without a map data file and in demo mode.
#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/map.h"
#include "support/board_fixture.h"
#include "ui/splash.h"

namespace {

class SplashTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        RunApp([] {
            GUI_Init();
            InitPalette();
            GUI_Clear();
        });
    }
    void Draw() {
        RunApp([] {
            GUI_Clear();
            SplashScreen();
        });
    }
    // Pixels of palette index `colour` in rows y0..y1 of the page at `page`.
    int Count(uint32_t colour, int y0, int y1, int page = 0) {
        const uint8_t* mem = board().display().Memory();
        int n = 0;
        for (int y = y0 + page; y <= y1 + page; ++y)
            for (int x = 0; x < 640; ++x) n += mem[y * 640 + x] == colour;
        return n;
    }
    void InstallMap(uint32_t version) {
        G_NetStreamCfg[kStreamMap].INST = 1;
        G_MapFile[kMapFileMap].nStatus = 0;
        G_MapHeader.nVersion = version;
        std::strcpy(G_MapHeader.szDescription, "US WEST");
        std::strcpy(G_MapHeader.szEffective, "2015-10-15");
        std::strcpy(G_MapHeader.szExpires, "2015-11-12");
    }
    static constexpr uint32_t kWhite = 31, kRed = 2, kYellow = 14;
};

TEST_F(SplashTest, TitleVersionAndWarningWithoutMapOrDemo) {
    Draw();
    EXPECT_GT(Count(kWhite, 130, 172), 200) << "title and version";
    EXPECT_EQ(Count(kWhite, 173, 250) + Count(kRed, 173, 250) + Count(kYellow, 173, 250), 0)
        << "no map or demo lines";
    EXPECT_GT(Count(kRed, 256, 272), 30) << "WARNING";
    EXPECT_GT(Count(kWhite, 276, 415), 2000) << "seven warning lines and the box";
    EXPECT_GT(Count(kYellow, 422, 440), 100) << "the fuel line";

    // The version row matches the text drawn on its own: 7.5.0-MV15.
    RunApp([] {
        G_FlipCtl.nDrawPageY = 480;
        DrawTextF(31, 9, 1, 320, 140, "KV-5100 Series Flight Instrument");
        DrawTextF(31, 4, 1, 320, 160, "Software Version: 7.5.0-MV15 ");
        G_FlipCtl.nDrawPageY = 0;
    });
    const uint8_t* mem = board().display().Memory();
    EXPECT_EQ(std::memcmp(mem + 120 * 640, mem + 600 * 640, 53 * 640), 0);
}

TEST_F(SplashTest, MapFileLinesByVersion) {
    struct Case { const char* name; uint32_t version; bool installed; uint32_t status; int red, white; };
    const Case cases[] = {
        {"current map", 15, true, 0, 0, 300},
        {"old map", 14, true, 0, 100, 100},
        {"map not installed", 15, false, 0, 0, 0},
        {"file not opened", 15, true, 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallMap(c.version);
        G_NetStreamCfg[kStreamMap].INST = c.installed ? 1 : 0;
        G_MapFile[kMapFileMap].nStatus = c.status;
        Draw();
        EXPECT_EQ(Count(kRed, 170, 186) > c.red / 2, c.red > 0);
        EXPECT_EQ(Count(kWhite, 173, 213) > c.white / 2, c.white > 0);
        EXPECT_EQ(Count(kWhite, 204, 213) > 0, c.red == 0 && c.white > 0) << "Expires only with a current map";
        EXPECT_GT(Count(kRed, 256, 272), 30) << "the box below stays in place";
    }
}

TEST_F(SplashTest, DemoWarningInYellow) {
    G_DemoFlags = kDemoEngine;
    Draw();
    EXPECT_GT(Count(kYellow, 212, 250), 300);
    EXPECT_GT(Count(kRed, 256, 272), 30);
}

TEST_F(SplashTest, DrawsIntoThePageBeingDrawn) {
    G_FlipCtl.nDrawPageY = 480;
    Draw();
    EXPECT_EQ(Count(kWhite, 0, 479), 0);
    EXPECT_GT(Count(kWhite, 130, 172, 480), 200);
}

}  // namespace
