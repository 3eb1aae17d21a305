// Weight and balance: AIRCRAFT.KVD read and written, the picture AIRCRAFT.KVB
// against Pillow, the totals of the worked example with their colours, and
// the keys of the weight-and-balance page and the station editor.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "platform/monitor.h"
#include "setup/balance.h"
#include "setup/setup.h"
#include "storage/config.h"
#include "support/shell.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/ui_fixture.h"

namespace {

// The worked example: TOW 1450, CG 86.59 full and 85.83 with minimum fuel.
const char kExample[] =
    "AIRCRAFT, Example\nMAX_GROSS_WEIGHT, 1450\nDESIGN_CG_LOWER, 82.0\nDESIGN_CG_UPPER, 93.0\n"
    "CG_LOWER_X, 120\nCG_UPPER_X, 300\nWEIGHT_UNITS, lbs\nLENGTH_UNITS, in\nLIQUID_UNITS, gal\nLIQUID_DENSITY, 6.0\n"
    "DESC, Empty Aircraft\nQUANTITY, 1100\nLENGTH, 85.0\nTYPE, W\nNEXTLINE, 0\n"
    "DESC, Minimum Fuel\nQUANTITY, 10\nLENGTH, 95.0\nTYPE, L\nNEXTLINE, 0\n"
    "DESC, Pilot\nQUANTITY, 170\nLENGTH, 88.0\nTYPE, S\nX, 150\nY, 130\nNEXTLINE, 0\n"
    "DESC, TANK2\nQUANTITY, 30\nLENGTH, 95.0\nTYPE, L\nX, 200\nY, 70\nNEXTLINE, 0\n";

class BalanceTest : public MainPagesTest {
protected:
    void Aircraft(const std::string& text) {
        Put("AIRCRAFT.KVD", text);
        RunApp([] { ReadAircraftFile(); });
    }
    // Page 21 or 22 on the full screen, drawn once.
    void Open(uint32_t page) {
        RunApp([page] {
            G_CurPage = 11;
            InitScreenConfig();
            G_AuxPageIdx = page;
            G_MenuState = kMenuBalance;
            if (page == kAuxBalance) ShowAircraftImage();
            DrawAuxPage();
        });
    }
    void Keys(std::initializer_list<int32_t> keys) {
        RunApp([&keys] {
            for (int32_t k : keys) AuxPageKeys(k);
        });
    }
    // Pixels of a palette index in a rectangle of the page last drawn.
    int Count(uint32_t index, int x0, int y0, int x1, int y1) {
        int n = 0;
        RunApp([&] {
            const int py = static_cast<int>(G_FlipCtl.nDrawPageY);
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) n += GUI_GetPixelIndex(x, y + py) == index;
        });
        return n;
    }
};

TEST_F(BalanceTest, DefaultDensityByWeightUnitAndFuelUnit) {
    struct Case { const char* file; int32_t fuelUnit; float density; const char* liquid; };
    const Case cases[] = {
        {"WEIGHT_UNITS, kg\n", 1, 0.72f, "ltr"},
        {"WEIGHT_UNITS, kg\n", 0, 2.72f, "gal"},
        {"WEIGHT_UNITS, lbs\n", 1, 1.585f, "ltr"},
        {"WEIGHT_UNITS, lbs\n", 0, 6.0f, "gal"},
        {"WEIGHT_UNITS, Kilograms\n", 2, 2.72f, "ltr"},
        {"WEIGHT_UNITS, lbs\nLIQUID_UNITS, ltr\nLIQUID_DENSITY, 6.00\n", 0, 6.0f, "ltr"},
        {"", 0, 6.0f, "gal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " unit " + std::to_string(c.fuelUnit));
        G_InstCfg[kInstFuelFlow].nUnits = c.fuelUnit;
        Aircraft(c.file);
        EXPECT_FLOAT_EQ(G_Aircraft.LIQUID_DENSITY, c.density);
        EXPECT_STREQ(G_Aircraft.LIQUID_UNITS, c.liquid);
    }
}

TEST_F(BalanceTest, ReaderBoundsAndClearsItsInput) {
    Aircraft("# a comment, with a comma\r\n"
             "aircraft,   Long Name Trainer  \r\n"
             "Max_Gross_Weight, 1650\r\n"
             "design_cg_lower, -2.5\r\n"
             "LIQUID_UNITS,   gallons\r\n"
             "LIQUID_DENSITY, 6.0\r\n"
             "DESC, First\r\ndesc,  Empty Aircraft  \r\nQuantity, 1100\r\nLength, 85.37\r\nType,  W\r\n"
             "X, 12\r\ny, 34\r\nNEXTLINE, 0\r\n"
             "NEXTLINE, 0\r\n"
             "DESC, Pilot\r\nQUANTITY, 99999999\r\nNEXTLINE, 0\r\n"
             "QUANTITY, 5\r\n");
    EXPECT_STREQ(G_Aircraft.AIRCRAFT, "Long Name Trainer");
    EXPECT_EQ(G_Aircraft.MAX_GROSS_WEIGHT, 1650);
    EXPECT_FLOAT_EQ(G_Aircraft.DESIGN_CG_LOWER, -2.5f);
    EXPECT_STREQ(G_Aircraft.LIQUID_UNITS, "gal") << "trimmed, then cut to 3";
    ASSERT_EQ(G_WbItems.nCount, 3u) << "1 + the last station with a DESC; station 1 has none";
    const WbItem& e = G_WbItems.item[0];
    EXPECT_STREQ(e.DESC, "Empty Aircraft") << "the second DESC of a station wins";
    EXPECT_EQ(e.QUANTITY, 1100);
    EXPECT_FLOAT_EQ(e.LENGTH, 85.37f);
    EXPECT_STREQ(e.TYPE, "W");
    EXPECT_EQ(e.X, 12);
    EXPECT_EQ(e.Y, 34);
    EXPECT_EQ(G_WbItems.item[2].QUANTITY, 999999) << "bounded";
    EXPECT_EQ(G_WbItems.item[3].QUANTITY, 5) << "kept, but no DESC: not counted";

    std::string thirteen;
    for (int i = 0; i < 13; ++i) thirteen += "DESC, Station " + std::to_string(i) + "\nQUANTITY, 1\nNEXTLINE, 0\n";
    Aircraft("AIRCRAFT, " + std::string(200, 'n') + "\nWEIGHT_UNITS, lbs\n" + thirteen);
    EXPECT_EQ(G_WbItems.nCount, 12u);
    EXPECT_STREQ(G_WbItems.item[11].DESC, "Station 11");
    EXPECT_NE(SysLog().find("WARNING: AIRCRAFT.KVD: 2 lines past station 12 ignored"), std::string::npos);
    EXPECT_EQ(std::strlen(G_Aircraft.AIRCRAFT), 94u) << "95 characters read with the blank, then trimmed";
    EXPECT_FLOAT_EQ(G_Aircraft.LIQUID_DENSITY, 6.0f) << "records cleared: the default rule again";
    EXPECT_EQ(G_Aircraft.MAX_GROSS_WEIGHT, 0);
}

TEST_F(BalanceTest, RoundedTextOfTenthsAndHundredths) {
    struct Case { float value; const char* tenths; const char* hundredths; };
    const Case cases[] = {{85.37f, "85.4", "85.37"}, {-0.5f, "-0.5", "-0.50"}, {2.3f, "2.3", "2.30"},
                          {85.97f, "86.0", "85.97"}, {5.999f, "6.0", "6.00"},   {0.996f, "1.0", "1.00"},
                          {1.585f, "1.6", "1.59"},   {6.0f, "6.0", "6.00"},     {-10.0f, "-10.0", "-10.00"}};
    for (const Case& c : cases) {
        char t[24], h[24];
        FormatTenths(t, sizeof t, c.value);
        FormatHundredths(h, sizeof h, c.value);
        EXPECT_STREQ(t, c.tenths) << c.value;
        EXPECT_STREQ(h, c.hundredths) << c.value;
    }
}

TEST_F(BalanceTest, WriterLinesAndRoundTrip) {
    Aircraft("AIRCRAFT, Test Plane\nMAX_GROSS_WEIGHT, 1650\nDESIGN_CG_LOWER, 81.96\nDESIGN_CG_UPPER, 93.0\n"
             "CG_LOWER_X, 120\nCG_UPPER_X, 300\nWEIGHT_UNITS, lbs\nLENGTH_UNITS, in\nLIQUID_UNITS, ltr\n"
             "LIQUID_DENSITY, 1.585\n"
             "DESC, Empty Aircraft\nQUANTITY, 1100\nLENGTH, 85.37\nTYPE, W\nX, 0\nY, 0\nNEXTLINE, 0\n"
             "DESC, Nose Ballast\nQUANTITY, 20\nLENGTH, -0.5\nTYPE, W\nX, 3\nY, 4\nNEXTLINE, 0\n");
    RunApp([] { WriteAircraftFile(); });
    const std::string written = Contents("AIRCRAFT.KVD");
    EXPECT_EQ(written,
              "# Caution: Do not change Empty Aircraft or Minimum fuel sections.,  \n"
              "# Caution: The DESC field must be TANK1, TANK2, etc, for your fuel tanks,,  \n"
              "#          if you want the balance page to work properly.,  \n"
              "AIRCRAFT, Test Plane\nMAX_GROSS_WEIGHT, 1650\nDESIGN_CG_LOWER, 82.0\nDESIGN_CG_UPPER, 93.0\n"
              "CG_LOWER_X, 120\nCG_UPPER_X, 300\nWEIGHT_UNITS, lbs\nLENGTH_UNITS, in\nLIQUID_UNITS, ltr\n"
              "LIQUID_DENSITY, 1.59\n"
              "DESC, Empty Aircraft\nQUANTITY, 1100\nLENGTH, 85.4\nTYPE, W\nX, 0\nY, 0\nNEXTLINE, 0\n"
              "DESC, Nose Ballast\nQUANTITY, 20\nLENGTH, -0.5\nTYPE, W\nX, 3\nY, 4\nNEXTLINE, 0\n");
    EXPECT_NE(SysLog().find("Writing 27 lines into AIRCRAFT.KVD"), std::string::npos);

    // Read, write, read: the same records.
    RunApp([] { ReadAircraftFile(); });
    const AircraftRecord a = G_Aircraft;
    const WbItemList s = G_WbItems;
    RunApp([] {
        WriteAircraftFile();
        ReadAircraftFile();
    });
    EXPECT_EQ(Contents("AIRCRAFT.KVD"), written);
    EXPECT_EQ(std::memcmp(&a, &G_Aircraft, sizeof a), 0);
    EXPECT_EQ(std::memcmp(&s, &G_WbItems, sizeof s), 0);
    EXPECT_FLOAT_EQ(G_Aircraft.LIQUID_DENSITY, 1.59f);
    EXPECT_FLOAT_EQ(G_WbItems.item[1].LENGTH, -0.5f);

    // An independent reader of the written file.
    char dir[] = "/tmp/kvwbXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/a.kvd";
    std::ofstream(file, std::ios::binary) << written;
    const CommandResult py = RunCommand(
        "/usr/bin/python3 -c \"import sys\nhead={}; st=[]; cur={}\n"
        "for l in open('" + file + "', newline=''):\n"
        " assert l.endswith('\\n') and not l.endswith('\\r\\n')\n"
        " if l.startswith('#'): continue\n"
        " k,_,v=l[:-1].partition(', ')\n"
        " if k=='NEXTLINE': st.append(cur); cur={}\n"
        " elif k in ('DESC','QUANTITY','LENGTH','TYPE','X','Y'): cur[k]=v\n"
        " else: head[k]=v\n"
        "print(head['AIRCRAFT'], float(head['LIQUID_DENSITY']), float(head['DESIGN_CG_LOWER']), len(st),"
        " [(s['DESC'], int(s['QUANTITY']), float(s['LENGTH'])) for s in st])\" 2>&1");
    EXPECT_EQ(py.out, "Test Plane 1.59 82.0 2 [('Empty Aircraft', 1100, 85.4), ('Nose Ballast', 20, -0.5)]\n");
    std::remove(file.c_str());
    rmdir(dir);
}

// Pictures made with Pillow: one loads pixel- and palette-exact, the
// others are refused with their line and leave the picture as it was.
TEST_F(BalanceTest, PictureAgainstPillow) {
    char dir[] = "/tmp/kvwbbmpXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    const CommandResult made = RunCommand("/usr/bin/python3 " + std::string(KV_TOOLS_DIR) +
                                          "/../tests/setup/aircraft_fixtures.py " + KV_TOOLS_DIR + " " + d + " 2>&1");
    ASSERT_EQ(made.status, 0) << made.out;
    RunApp([] { LoadAircraftBitmap(); });
    EXPECT_NE(SysLog().find("Aircraft bitmap file not found"), std::string::npos);

    Put("AIRCRAFT.KVB", ReadHostFile(d + "/good.kvb"));
    RunApp([] { LoadAircraftBitmap(); });
    const std::string pix = ReadHostFile(d + "/good.pix"), pal = ReadHostFile(d + "/good.pal");
    ASSERT_EQ(pix.size(), 136000u);
    ASSERT_EQ(pal.size(), 1024u);
    EXPECT_EQ(std::memcmp(G_AircraftImage.abPixels, pix.data(), pix.size()), 0);
    EXPECT_EQ(std::memcmp(G_AircraftImage.aPalette, pal.data(), pal.size()), 0);
    EXPECT_EQ(G_AircraftImage.nWidth, 400);
    EXPECT_EQ(G_AircraftImage.nHeight, 340);
    // The red corner of the source is the top left: the last row of the file.
    EXPECT_EQ(G_AircraftImage.aPalette[G_AircraftImage.abPixels[0]], 0x0000FFu);

    const AircraftImage before = G_AircraftImage;
    struct Case { const char* file; const char* line; };
    const Case cases[] = {
        {"rgb24.kvb", "Aircraft bitmap wrong depth or size"},   {"rgb16.kvb", "Aircraft bitmap wrong depth or size"},
        {"wide.kvb", "Aircraft bitmap wrong depth or size"},    {"topdown.kvb", "Aircraft bitmap wrong depth or size"},
        {"rle.kvb", "Aircraft bitmap wrong depth or size"},     {"short.kvb", "Aircraft bitmap wrong depth or size"},
        {"overlap.kvb", "Aircraft bitmap wrong depth or size"}, {"png.kvb", "Aircraft bitmap wrong type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Put("AIRCRAFT.KVB", ReadHostFile(d + "/" + c.file));
        const size_t logged = SysLog().size();
        RunApp([] { LoadAircraftBitmap(); });
        EXPECT_NE(SysLog().find(c.line, logged), std::string::npos);
        EXPECT_EQ(std::memcmp(&before, &G_AircraftImage, sizeof before), 0) << "the picture kept";
    }
    std::system(("rm -rf " + d).c_str());
}

TEST_F(BalanceTest, WorkedExampleAndItsColours) {
    Aircraft(kExample);
    const WbTotals t = WbCompute();
    EXPECT_EQ(t.nTakeoffWeight, 1450);
    EXPECT_EQ(t.nFuelWeight, 180);
    EXPECT_EQ(t.nFuelQuantity, 30);
    EXPECT_EQ(t.nPayload, 170);
    EXPECT_NEAR(t.fFullCg, 125560.0 / 1450, 1e-3);   // 86.59
    EXPECT_NEAR(t.fMinFuelWeight, 1330.0, 1e-3);
    EXPECT_NEAR(t.fMinCg, 114160.0 / 1330, 1e-3);    // 85.83
    EXPECT_TRUE(t.bWeightOk && t.bFullCgOk && t.bMinCgOk);
    Open(kAuxBalance);
    // Values end at x 629; take-off weight at y 225, the CGs at 265 and 285.
    EXPECT_GT(Count(5, 560, 225, 629, 240), 10) << "TOW equal to the maximum: green";
    EXPECT_GT(Count(5, 560, 265, 629, 300), 20) << "both CGs inside: green";
    EXPECT_GT(Count(5, 120, 240, 200, 337), 100) << "the bar between the marks, green";
    EXPECT_GT(Count(14, 119, 290, 122, 337), 40) << "the lower limit mark";

    Aircraft(std::string(kExample) + "MAX_GROSS_WEIGHT, 1449\nDESIGN_CG_LOWER, 86.0\n");
    Open(kAuxBalance);
    EXPECT_EQ(Count(5, 560, 225, 629, 240), 0);
    EXPECT_GT(Count(2, 560, 225, 629, 240), 10) << "TOW above the maximum: red";
    EXPECT_GT(Count(5, 560, 265, 629, 280), 10) << "full-fuel CG 86.6 still inside";
    EXPECT_GT(Count(2, 560, 285, 629, 300), 10) << "minimum-fuel CG 85.8 below 86.0";
}

TEST_F(BalanceTest, TankStopsAtItsCapacity) {
    std::string file = kExample;
    file.replace(file.find("QUANTITY, 30"), 12, "QUANTITY, 24");   // TANK2, station 3
    Aircraft(file);
    Open(kAuxBalance);
    G_InstCfg[kInstTank1 + 1].nMax = 250;   // tenths of a gallon
    Keys({3, 1, 1, 1});
    EXPECT_EQ(G_WbSel, 3u);
    EXPECT_EQ(G_WbItems.item[3].QUANTITY, 25);
    Keys({-1});
    EXPECT_EQ(G_WbItems.item[3].QUANTITY, 24);
    G_InstCfg[kInstTank1 + 1].nMax = 0;
    Keys({1, 1, 1});
    EXPECT_EQ(G_WbItems.item[3].QUANTITY, 27) << "no capacity, no limit";
    Keys({2, 6, -1});   // PREV to the pilot, then the knob push back to the tank
    EXPECT_EQ(G_WbSel, 3u);
    EXPECT_EQ(G_WbItems.item[3].QUANTITY, 26);
    Keys({6, 1});   // wraps to station 2
    EXPECT_EQ(G_WbItems.item[2].QUANTITY, 171);
}

TEST_F(BalanceTest, StationEditorSteps) {
    Aircraft(kExample);
    G_InstCfg[kInstTank1 + 1].nMax = 350;
    Open(kAuxStations);
    EXPECT_EQ(G_WbCfgSel, 2u);
    EXPECT_EQ(G_WbCfgField, 1u);
    Keys({1, 1, -1});
    EXPECT_EQ(G_WbItems.item[2].QUANTITY, 173) << "+2 a step up, -1 down";
    Keys({3, 1, 1});
    EXPECT_EQ(G_WbItems.item[3].QUANTITY, 32) << "a tank goes up by one";
    Keys({6});
    EXPECT_EQ(G_WbCfgField, 3u);
    RunApp([] { G_WbItems.item[3].LENGTH = 0.1f; });
    Keys({-1, -1, -1});
    char arm[24];
    FormatTenths(arm, sizeof arm, G_WbItems.item[3].LENGTH);
    EXPECT_STREQ(arm, "-0.2") << "the arm goes through 0";
    Keys({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_FLOAT_EQ(G_WbItems.item[3].LENGTH, 1.0f) << "twelve tenths land on 1.0 exactly";
    Keys({6});
    EXPECT_EQ(G_WbCfgField, 5u);
    RunApp([] { G_WbItems.item[3].X = 1; });
    Keys({-1, -1, 1});
    EXPECT_EQ(G_WbItems.item[3].X, 1) << "X stops at 0";
    Keys({6});
    EXPECT_EQ(G_WbCfgField, 6u);
    Keys({-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
          -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
          -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1});
    EXPECT_EQ(G_WbItems.item[3].Y, 0) << "Y stops at 0";
    Keys({6});
    EXPECT_EQ(G_WbCfgField, 1u);
    Keys({3, 3});
    EXPECT_EQ(G_WbCfgSel, 1u) << "NEXT wraps to station 0";
    Keys({2, 2});
    EXPECT_EQ(G_WbCfgSel, 3u) << "PREV wraps to the last";
}

// No file, one and two stations: headings drawn, no key reaches outside
// the stations, also after a file with fewer stations replaces a longer one.
TEST_F(BalanceTest, FewStationsDrawHeadingsAndKeysStayInside) {
    Aircraft(kExample);
    RunApp([] {
        G_WbSel = 3;
        G_WbCfgSel = 3;
    });
    for (int stations = 0; stations <= 2; ++stations) {
        SCOPED_TRACE(stations);
        std::string file;
        for (int i = 0; i < stations; ++i) file += "DESC, S" + std::to_string(i) + "\nQUANTITY, 7\nNEXTLINE, 0\n";
        if (stations == 0) RunApp([] { mon_tfsunlink("AIRCRAFT.KVD"); ReadAircraftFile(); });
        else Aircraft(file);
        ASSERT_EQ(G_WbItems.nCount, static_cast<uint32_t>(stations));
        Open(kAuxBalance);
        EXPECT_GT(Count(14, 401, 5, 639, 30), 50) << "Weight & Balance";
        Keys({-1, 1, 2, 3, 6, 2, 3});
        EXPECT_EQ(G_AuxPageIdx, kAuxBalance);
        Keys({4});
        ASSERT_EQ(G_AuxPageIdx, kAuxStations);
        EXPECT_GT(Count(14, 150, 5, 480, 30), 50) << "Weight & Balance Configuration";
        EXPECT_GT(Count(14, 5, 82, 60, 98), 20) << "Description";
        Keys({-1, 1, 1, 2, 3, 3, 6, 1, 6, -1});
        for (int i = 0; i < stations; ++i) EXPECT_GE(G_WbItems.item[i].QUANTITY, 6);
        EXPECT_EQ(G_WbItems.item[stations].QUANTITY, 0) << "nothing past the stations";
        if (stations > 0) {
            EXPECT_LT(G_WbCfgSel, static_cast<uint32_t>(stations));
        }
        Keys({4});
        EXPECT_EQ(G_AuxPageIdx, kAuxBalance);
    }
}

// The narrow pane of configuration 13: both pages stay inside it, whatever
// the CG values make of the bar.
TEST_F(BalanceTest, NarrowPaneKeepsEverythingInside) {
    Aircraft("DESIGN_CG_LOWER, 80.0\nDESIGN_CG_UPPER, 80.0\nCG_LOWER_X, -999999\nCG_UPPER_X, 999999\n"
             "DESC, Empty\nQUANTITY, 0\nLENGTH, 99999\nNEXTLINE, 0\nDESC, Min\nNEXTLINE, 0\n"
             "DESC, Load\nQUANTITY, 999999\nLENGTH, -99999\nX, 9999\nY, 9999\nNEXTLINE, 0\n");
    for (uint32_t page : {kAuxBalance, kAuxStations}) {
        SCOPED_TRACE(page);
        int outside = 0;
        RunApp([&] {
            G_CurPage = 13;
            InitScreenConfig();
            const int py = static_cast<int>(G_FlipCtl.nDrawPageY);
            GUI_SetBkColorIndex(0);
            GUI_ClearRect(0, py, 639, py + 479);
            G_AuxPageIdx = page;
            ShowAircraftImage();
            DrawAuxPage();
            for (int y = 0; y < 480; ++y)
                for (int x = 0; x < 640; ++x)
                    if (x < 383 || y > 459) outside += GUI_GetPixelIndex(x, y + py) != 0;
        });
        EXPECT_EQ(outside, 0);
        if (page == kAuxStations) {
            EXPECT_GT(Count(14, 383, 0, 639, 100), 50) << "the editor's headings in the pane";
        }
    }
}

}  // namespace
