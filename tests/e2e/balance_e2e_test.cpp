// Weight and balance through the front panel: a picture made with the tools
// script and its sample AIRCRAFT.KVD put in with --tfs, BALANCE opened from a
// checklist, the pilot's load turned up with the knob, STATIONS, an arm
// edited, SAVE; the screenshots against the Pillow picture and the file
// copied out and read by an independent reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "core/boot.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "support/board_fixture.h"
#include "support/png_read.h"
#include "support/shell.h"

namespace {

// The display colour a picture colour (0x00BBGGRR) gets when the picture is
// drawn: the palette entry equal to it, else the nearest, the first on a tie.
uint32_t DisplayColour(uint32_t bgr) {
    const LCD_ColorTable& t = G_LcdColors;
    int best = -1;
    for (int i = 0; i < t.nCount && best < 0; ++i)
        if ((t.aColor[i] & 0xFFFFFF) == bgr) best = i;
    if (best < 0) {
        uint32_t bestDist = UINT32_MAX;
        int nearest = 0;
        for (int i = 0; i < t.nCount; ++i) {
            uint32_t dist = 0;
            for (int s = 0; s < 24; s += 8) {
                const int c = static_cast<int>((t.aColor[i] >> s) & 0xFF) - static_cast<int>((bgr >> s) & 0xFF);
                dist += static_cast<uint32_t>(c * c);
            }
            if (dist < bestDist) {
                bestDist = dist;
                nearest = i;
            }
        }
        best = nearest;
    }
    // The display controller keeps a component as the nearest of 16 levels,
    // and the screenshot shows level n as n * 17.
    const uint32_t c = t.aColor[best];
    auto shown = [c](int s) { return ((c >> s & 0xFF) + 8) / 17 * 17; };
    return shown(0) << 16 | shown(8) << 8 | shown(16);   // 0xRRGGBB as the PNG holds it
}

class BalanceE2e : public BoardTest {};

TEST_F(BalanceE2e, LoadEditSaveAndThePictureOnScreen) {
    char dir[] = "/tmp/kv5100wbXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    const CommandResult made = RunCommand("/usr/bin/python3 " + std::string(KV_TOOLS_DIR) +
                                          "/../tests/setup/aircraft_fixtures.py " + KV_TOOLS_DIR + " " + d + " 2>&1");
    ASSERT_EQ(made.status, 0) << made.out;
    std::ofstream(d + "/script.txt") << "8 press 3\n"          // I AGREE
                                        "9.5 press 5\n"        // the pages
                                        "10.5 knob 2 0.3\n"    // the encoder's first turn (brightness)
                                        "11.5 press 3\n"       // BALANCE
                                        "14 knob 6 0.3\n"      // the pilot: the first detent after rest is dropped
                                        "16.5 screenshot " + d + "/balance.png\n"
                                        "17 press 4\n"         // STATIONS, on the pilot
                                        "18 press 6\n"         // the arm
                                        "19.5 knob -4 0.3\n"
                                        "22 screenshot " + d + "/stations.png\n"
                                        "22.5 press 5\n";      // SAVE
    const CommandResult r = RunKv5100("--headless --demo --flash " + d + "/f.bin --run-for 27 --script " + d +
                                      "/script.txt --tfs AIRCRAFT.KVB=" + d + "/good.kvb --tfs AIRCRAFT.KVD=" + d +
                                      "/AIRCRAFT.KVD --tfs-out AIRCRAFT.KVD=" + d + "/out.kvd");
    ASSERT_EQ(r.status, 0) << r.out;

    const std::string out = ReadHostFile(d + "/out.kvd");
    EXPECT_NE(out.find("DESC, Pilot\nQUANTITY, 175\nLENGTH, 87.7\nTYPE, S\n"), std::string::npos) << out;
    const CommandResult py = RunCommand(
        "/usr/bin/python3 -c \"st=[]; cur={}\nfor l in open('" + d + "/out.kvd'):\n"
        " k,_,v=l.rstrip('\\n').partition(', ')\n if k=='NEXTLINE': st.append(cur); cur={}\n"
        " elif not k.startswith('#'): cur[k]=v\n"
        "print(len(st), st[2]['DESC'], int(st[2]['QUANTITY']), float(st[2]['LENGTH']), st[0]['LIQUID_DENSITY'])\"");
    EXPECT_EQ(py.out, "7 Pilot 175 87.7 6.00\n");

    // The picture area, pixel by pixel, outside the loads written on it and the CG bar.
    RunApp([] {
        GUI_Init();
        InitPalette();
    });
    const std::string pix = ReadHostFile(d + "/good.pix"), pal = ReadHostFile(d + "/good.pal");
    ASSERT_EQ(pix.size(), 136000u);
    ASSERT_EQ(pal.size(), 1024u);
    uint32_t shown[256];
    for (int i = 0; i < 256; ++i) {
        uint32_t bgr = 0;
        std::memcpy(&bgr, pal.data() + 4 * i, 4);
        shown[i] = DisplayColour(bgr);
    }
    RgbImage balance, stations;
    ASSERT_TRUE(ReadPng(d + "/balance.png", balance));
    ASSERT_TRUE(ReadPng(d + "/stations.png", stations));
    const int loads[][2] = {{150, 130}, {205, 130}, {150, 70}, {205, 70}, {265, 125}};
    auto overlaid = [&loads](int x, int y) {
        for (const auto& l : loads)
            if (std::abs(x - l[0]) <= 24 && std::abs(y - l[1]) <= 10) return true;
        return x >= 110 && x <= 310 && y >= 238;
    };
    int compared = 0, differ = 0;
    for (int y = 0; y < 340; ++y)
        for (int x = 0; x < 400; ++x) {
            if (overlaid(x, y)) continue;
            ++compared;
            differ += balance.At(x, y) != shown[static_cast<uint8_t>(pix[static_cast<size_t>(y) * 400 + x])];
        }
    EXPECT_GT(compared, 100000);
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(balance.At(150 - 10, 130), 0xFFFF00u) << "the pilot's load selected: yellow";
    EXPECT_GT(balance.Lit(411, 5, 639, 300), 3000) << "the data column";
    EXPECT_GT(stations.Lit(0, 105, 639, 230), 2000) << "seven station rows";
    if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d).c_str());
}

}  // namespace
