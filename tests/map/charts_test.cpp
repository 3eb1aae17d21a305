// Chart files and the chart page, read from generated cards in the slot: the
// generator's pages checked with Pillow and liblzf, the loads and their
// refusals, the window, the geo-reference and the shown page's pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "gui/gui.h"
#include "map/charts.h"
#include "map/map.h"
#include "map/mapfile.h"
#include "map_fixture.h"
#include "nav/navsrc.h"
#include "support/key_input.h"
#include "support/shell.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/keys.h"
#include "ui/pages.h"

namespace {

constexpr uint8_t kMagenta = 17, kGreen = 5, kYellow = 14, kRed = 2;

class ChartTest : public MapCardTest {
protected:
    void SetUp() override {
        MapCardTest::SetUp();
        InitPalette();
    }
    uint8_t* Frame() { return board().display().Memory(); }
    uint8_t Pixel(int x, int y) { return Frame()[y * 640 + x]; }
    void Fill(uint8_t index) { std::memset(Frame(), index, 640 * 480); }
    int Count(uint8_t index, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += Pixel(x, y) == index;
        return n;
    }
    int CountAll(uint8_t index) { return Count(index, 0, 0, 639, 479); }
    std::string Shell(const std::string& cmd) {
        CommandResult r = RunCommand(cmd + " 2>&1");
        EXPECT_EQ(r.status, 0) << cmd << "\n" << r.out;
        return r.out;
    }
    // The generator's bitmap of a page as Pillow reads it: RGB rows, top first.
    std::vector<uint8_t> PillowRgb(const std::string& bmp) {
        const std::string out = dir_ + "/rgb.raw";
        Shell("/usr/bin/python3 -c \"from PIL import Image; open('" + out + "','wb').write(Image.open('" + dir_ +
              "/files/" + bmp + "').convert('RGB').tobytes())\"");
        FILE* f = std::fopen(out.c_str(), "rb");
        std::vector<uint8_t> v(4 << 20);
        v.resize(f ? std::fread(v.data(), 1, v.size(), f) : 0);
        if (f) std::fclose(f);
        return v;
    }
};

// The airport of the geo-reference tables and the aircraft, in 2^18 units.
constexpr int32_t kLat455 = 11927552;     // 45.5
constexpr int32_t kLon12225 = -32047104;  // -122.25

void SetAirport(int32_t lat, int32_t lon) {
    std::memcpy(G_WptDb.abAirport + 8, &lat, 4);
    std::memcpy(G_WptDb.abAirport + 12, &lon, 4);
}

void SetAircraft(float lat, float lon) {
    G_NavSrc.hdr.nMapCrsSlot = 0;
    G_NavSrc.hdr.nMapSrcSlot = 0;
    G_NavSrc.rec[0].fLat = lat;
    G_NavSrc.rec[0].fLon = lon;
    G_NavSrc.rec[0].nGroundSpeed = 1000;
}

// ---- the generated files -----------------------------------------------------------------------

TEST_F(ChartTest, GeneratedPagesAreBitmapsPillowReadsAndLzfUnpacksToTheSameFiles) {
    MakeCard("");
    // Independent of the unit: Pillow reads each kept bitmap, liblzf unpacks
    // the page's block from the chart file, and the two are the same bytes.
    const std::string script = R"(
import ctypes, json, struct, sys
from PIL import Image
d = sys.argv[1]
m = json.load(open(d + '/manifest.json'))
lzf = ctypes.CDLL('liblzf.so.1')
lzf.lzf_decompress.restype = ctypes.c_uint
for c in m['charts']:
    data = open(d + '/' + c['file'], 'rb').read()
    assert struct.unpack_from('<I', data, 80)[0] == len(c['pages'])
    for i, p in enumerate(c['pages']):
        off, n = struct.unpack_from('<II', data, 84 + 80 * i + 72)
        bmp = open(d + '/' + p['bmp'], 'rb').read()
        out = ctypes.create_string_buffer(655360)
        got = lzf.lzf_decompress(data[off:off + n], n, out, 655360)
        assert got == len(bmp) and out.raw[:got] == bmp, (c['name'], i)
        im = Image.open(d + '/' + p['bmp'])
        assert im.mode == 'P' and im.size == (p['width'], p['height']), (c['name'], i)
        assert im.getpalette()[:6] == [255, 255, 255, 0, 0, 0]
        print(c['name'], i, im.size, got)
)";
    FILE* f = std::fopen((dir_ + "/check.py").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(script.c_str(), f);
    std::fclose(f);
    const std::string out = Shell("/usr/bin/python3 " + dir_ + "/check.py " + dir_ + "/files");
    EXPECT_NE(out.find("KAAK 1 (1000, 600)"), std::string::npos) << out;
    EXPECT_NE(out.find("KAAK 0 (500, 300)"), std::string::npos) << out;
    EXPECT_NE(out.find("K00 0 (500, 300)"), std::string::npos) << out;
}

// ---- loading -----------------------------------------------------------------------------------

TEST_F(ChartTest, LoadsAChartAndItsPagesAPageBeyondTheCountIsTheLastAndTheSameNameIsNotReadAgain) {
    MakeCard("");
    ChartFileLoad("KAAK");
    ASSERT_EQ(G_Chart.bLoaded, 1u);
    EXPECT_EQ(G_Chart.bPageLoaded, 1u);
    EXPECT_EQ(G_Chart.nPage, 0u);
    EXPECT_EQ(G_ChartHeader.nPages, 5u);
    EXPECT_EQ(G_Chart.nWidth, 500);
    EXPECT_EQ(G_Chart.nHeight, 300);
    EXPECT_EQ(ChartLoad(40), 1);
    EXPECT_EQ(G_Chart.nPage, 4u);
    EXPECT_EQ(ChartLoad(static_cast<uint32_t>(-1)), 1);   // unsigned: also the last page
    EXPECT_EQ(G_Chart.nPage, 4u);
    ChartFileLoad("KAAK");
    EXPECT_EQ(G_Chart.nPage, 4u) << "the loaded chart stays at its page";
    for (uint32_t page : {1u, 2u, 3u}) EXPECT_EQ(ChartLoad(page), 1);
    const std::string log = Log();
    EXPECT_EQ(CountOf(log, "LOAD FILE: /CHARTS/KAAK.ACH\n"), 2u) << log;
    EXPECT_EQ(CountOf(log, "Chart:KAAK, 5 recs\n"), 1u) << log;
    EXPECT_EQ(CountOf(log, "CHART:KAAK, pg:0, AIRPORT DIAGRAM\n"), 1u) << log;
    EXPECT_EQ(CountOf(log, "CHART:KAAK, pg:4, FREQUENCIES\n"), 1u) << log;
    EXPECT_NE(log.find("CHART:KAAK, pg:2, TURNED 90\nGeoRef Enabled: Rotation 90\n"), std::string::npos) << log;
    EXPECT_NE(log.find("CHART:KAAK, pg:3, TURNED 270\nGeoRef Enabled: Rotation 270\n"), std::string::npos) << log;
    // Rotation 0 is reported as no geo-reference although the page has one.
    EXPECT_NE(log.find("pg:0, AIRPORT DIAGRAM\nGeoRef Not Available\n"), std::string::npos) << log;
}

TEST_F(ChartTest, DamagedFilesAndPagesAreRefusedWithTheirLinesAndNothingIsDrawn) {
    MakeCard("--chart-faults");
    struct Case {
        const char* file;
        int page;               // -1: the file's own first page
        const char* line;
    };
    const Case cases[] = {
        {"BADCNT0", -1, "MAP IO: bad chart file: /CHARTS/BADCNT0.ACH\n"},
        {"BADCNT40", -1, "MAP IO: bad chart file: /CHARTS/BADCNT40.ACH\n"},
        {"NOSUCH", -1, "MAP IO: bad chart file: /CHARTS/NOSUCH.ACH\n"},
        {"BAD4BIT", -1, "Chart bitmap wrong depth or size\nMAP IO: bad chart file: /CHARTS/BAD4BIT.ACH\n"},
        {"BADHDR", 1, "Chart bitmap wrong depth or size\n"},     // rows past the data
        {"BADHDR", 2, "Chart bitmap wrong depth or size\n"},     // stride past the data
        {"BADHDR", 3, "Chart bitmap wrong depth or size\n"},     // top-down (negative) height
        {"BADHDR", 4, "Chart bitmap wrong depth or size\n"},     // width 0
        {"BADHDR", 5, "Chart bitmap wrong depth or size\n"},     // colour table past the data
        {"BADHDR", 6, "Chart bitmap wrong depth or size\n"},     // information header of 12 bytes
        {"BADHDR", 7, "Chart bitmap wrong depth or size\n"},     // pixel offset past the data
        {"BADHDR", 8, "Chart bitmap wrong depth or size\n"},     // 24 bits per pixel
        {"BADHDR", 9, "Chart bitmap wrong depth or size\n"},     // headers only
        {"BADHDR", 10, "Chart bitmap wrong depth or size\n"},    // 22 bytes
        {"BADHDR", 11, "Chart bitmap wrong type\n"},
        {"BADHDR", 12, "Chart bitmap wrong type\n"},             // truncated block: the last page must not pass
        {"BADHDR", 13, "MAP IO: bad chart file: BADHDR\n"},     // data past the file's end
        {"BADHDR", 14, "MAP IO: bad chart file: BADHDR\n"},     // longer than the buffer
    };
    G_WptDb.nPageFlags = kWptChartView;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " page " + std::to_string(c.page));
        const size_t before = Log().size();
        ChartFileLoad(c.file);
        if (c.page >= 0) {
            ASSERT_EQ(G_Chart.bPageLoaded, 1u) << "page 0 of the file is good";
            EXPECT_EQ(ChartLoad(static_cast<uint32_t>(c.page)), 0);
        }
        EXPECT_EQ(G_Chart.bLoaded, 0u);
        EXPECT_EQ(G_Chart.bPageLoaded, 0u);
        const std::string log = Log().substr(before);
        EXPECT_NE(log.find(c.line), std::string::npos) << log;
        EXPECT_EQ(log.find("CHART:" + std::string(c.file) + ", pg:" + std::to_string(c.page)), std::string::npos);
        Fill(3);
        ChartPageDraw();
        EXPECT_EQ(CountAll(3), 640 * 480) << "a refused page draws nothing";
        EXPECT_EQ(ChartLoad(0), 0) << "and the chart is unavailable until it is opened again";
    }
    EXPECT_NE(Log().find("Chart Unavailable\n"), std::string::npos);
}

TEST_F(ChartTest, TheColourTableBecomes0x00BBGGRR) {
    MakeCard("");
    ChartFileLoad("KAAK");
    ASSERT_EQ(G_Chart.bPageLoaded, 1u);
    // The generator's entries (r, g, b): white, black, blue, navy, grey,
    // light grey, teal (0, 128, 128), olive (128, 128, 0), then a grey ramp.
    EXPECT_EQ(G_Chart.anPalette[0], 0xFFFFFFu);
    EXPECT_EQ(G_Chart.anPalette[1], 0x000000u);
    EXPECT_EQ(G_Chart.anPalette[2], 0xFF0000u);
    EXPECT_EQ(G_Chart.anPalette[3], 0x800000u);
    EXPECT_EQ(G_Chart.anPalette[6], 0x808000u);
    EXPECT_EQ(G_Chart.anPalette[7], 0x008080u);
    EXPECT_EQ(G_Chart.anPalette[200], 0xC8C8C8u);
}

TEST_F(ChartTest, TheWindowShowsASmallPageWholeAndHoldsALargeOneWithinItsPage) {
    MakeCard("");
    ChartFileLoad("KAAK");
    struct Case {
        uint32_t page;
        int32_t scrollX, scrollY;
        int32_t width, height, x, y;   // window and the offsets it keeps
    };
    const Case cases[] = {
        {0, 0, 0, 500, 300, 0, 0},          // 500 x 300 shown whole
        {0, 100, 46, 500, 300, 0, 0},       // whatever the offsets
        {1, 500, 0, 640, 459, 360, 0},      // 1,000 columns: 500 is limited to 360
        {1, 359, 100, 640, 459, 359, 100},
        {1, -5, 918, 640, 459, 0, 141},     // 600 rows: at most 141 down
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("page " + std::to_string(c.page) + " at " + std::to_string(c.scrollX) + ", " +
                     std::to_string(c.scrollY));
        ASSERT_EQ(ChartLoad(c.page), 1);
        G_Chart.nScrollX = c.scrollX;
        G_Chart.nScrollY = c.scrollY;
        ASSERT_EQ(ChartLoad(c.page), 1);
        EXPECT_EQ(G_Chart.window.XSize, c.width);
        EXPECT_EQ(G_Chart.window.YSize, c.height);
        EXPECT_EQ(G_Chart.nScrollX, c.x);
        EXPECT_EQ(G_Chart.nScrollY, c.y);
        EXPECT_EQ(G_Chart.window.BytesPerLine, c.page == 0 ? 500 : 1000);
        EXPECT_EQ(G_Chart.window.BitsPerPixel, 8);
        EXPECT_EQ(G_Chart.window.pData, G_Chart.pPixels + c.y * G_Chart.window.BytesPerLine + c.x);
    }
}

// ---- the geo-reference -------------------------------------------------------------------------

// 100 pixels a degree each way, north up: (45.5 N, 122.25 W) is page pixel
// (-12225 + 12300, -4550 + 4600) = (75, 50).
ChartPageEntry Entry(float rotation) {
    ChartPageEntry e{};
    e.fXScale = 100.0f;
    e.fYScale = -100.0f;
    e.fXOffset = 12300.0f;
    e.fYOffset = 4600.0f;
    e.fRotation = rotation;
    e.nFlags = kChartGeoReferenced;
    return e;
}

TEST_F(ChartTest, GeoToScreenPlacesLinearlyRoundsHalfAwayAndTurnsUnless270) {
    struct Case {
        const char* name;
        float rotation;
        int32_t scroll, lat, lon;
        int16_t x, y;
    };
    const Case cases[] = {
        {"rotation 0", 0.0f, 0, kLat455, kLon12225, 75, 50},
        {"rotation 270 as 0", 270.0f, 0, kLat455, kLon12225, 75, 50},
        {"scrolled", 0.0f, 20, kLat455, kLon12225, 75, 30},
        // (x, y) -> (y, -x) with the table's sine of 90 degrees, 262143 / 2^18:
        // (75 x 0 + 50 x 262143) >> 18 = 49, (-75 x 262143) >> 18 = -75.
        {"rotation 90", 90.0f, 0, kLat455, kLon12225, 49, -75},
        {"rotation 180", 180.0f, 0, kLat455, kLon12225, -75, -50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_Chart.nScrollY = c.scroll;
        const GUI_Point p = ChartGeoToScreen(Entry(c.rotation), c.lat, c.lon);
        EXPECT_EQ(p.x, c.x);
        EXPECT_EQ(p.y, c.y);
    }
    // Rounding half away from zero: 3.5 -> 4, -3.5 -> -4 (x scale 1, offset 0).
    G_Chart.nScrollY = 0;
    ChartPageEntry unit{};
    unit.fXScale = 1.0f;
    unit.fYScale = 1.0f;
    EXPECT_EQ(ChartGeoToScreen(unit, 0, 917504).x, 4);
    EXPECT_EQ(ChartGeoToScreen(unit, 0, -917504).x, -4);
    EXPECT_EQ(ChartGeoToScreen(unit, -917504, 0).y, -4);
}

class ChartDrawTest : public ChartTest {
protected:
    void SetUp() override {
        ChartTest::SetUp();
        MakeCard("");
        ChartFileLoad("KAAK");
        ASSERT_EQ(ChartLoad(4), 1);   // a white 500 x 300 page; its entry is replaced below
        G_WptDb.nPageFlags = kWptChartView;
    }
    // The page entry in force, geo-referenced as Entry(), box (20, 20)-(300, 200).
    ChartPageEntry& Use(float rotation) {
        ChartPageEntry& e = G_ChartHeader.page[4];
        const ChartPageEntry keep = e;
        e = Entry(rotation);
        e.nDataOffset = keep.nDataOffset;
        e.nDataLength = keep.nDataLength;
        e.corner[0] = {20, 20};
        e.corner[1] = {300, 200};
        e.markerA = {100, 60};
        e.markerB = {200, 60};
        return e;
    }
    void Draw() {
        Fill(3);
        ChartPageDraw();
    }
};

TEST_F(ChartDrawTest, AnAirportInsideTheBoxGetsItsMarksAndTheAircraftIsRed) {
    Use(0.0f);
    SetAirport(kLat455, kLon12225);                  // (75, 50)
    SetAircraft(45.0f, -121.0f);                     // (200, 100)
    Draw();
    EXPECT_GT(Count(kMagenta, 71, 46, 79, 54), 8) << "the airport's circle";
    EXPECT_GT(Count(kGreen, 20, 20, 300, 20), 250) << "the box's top edge";
    EXPECT_GT(Count(kGreen, 20, 20, 20, 200), 150) << "its left edge";
    EXPECT_GT(Count(kYellow, 96, 56, 104, 64), 8) << "marker A";
    EXPECT_GT(Count(kGreen, 196, 56, 204, 64), 8) << "marker B";
    EXPECT_GT(Count(kRed, 184, 90, 216, 117), 40) << "the aircraft";
    EXPECT_EQ(Count(kRed, 0, 0, 639, 80), 0);
    EXPECT_EQ(Count(0, 180, 86, 220, 120), 0) << "red without the black halo";
    EXPECT_EQ(Count(3, 0, 0, 639, 458), 0) << "the rest of the page area is cleared";
}

TEST_F(ChartDrawTest, MarksNeedTheFlagAndAnAirportStrictlyInsideTheBox) {
    struct Case {
        const char* name;
        uint8_t flags;
        int32_t lat, lon;
        bool marks;
    };
    // Box (20, 20)-(300, 200): x 20 is its edge, 19 outside; 1/100 degree a pixel.
    const Case cases[] = {
        {"inside", kChartGeoReferenced, kLat455, kLon12225, true},
        {"flag clear", 0, kLat455, kLon12225, false},
        {"on the left edge", kChartGeoReferenced, kLat455, kLon12225 - 55 * 2621, false},
        {"outside", kChartGeoReferenced, kLat455, kLon12225 - 56 * 2621, false},
        {"on the top edge", kChartGeoReferenced, kLat455 + 30 * 2621, kLon12225, false},
    };
    SetAircraft(45.0f, -121.0f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Use(0.0f).nFlags = c.flags;
        SetAirport(c.lat, c.lon);
        Draw();
        EXPECT_EQ(CountAll(kRed) > 0, c.marks);
        EXPECT_EQ(CountAll(kGreen) > 0, c.marks);
        EXPECT_EQ(CountAll(kYellow) > 0, c.marks);
        EXPECT_EQ(CountAll(kMagenta) > 0, c.marks);
    }
}

TEST_F(ChartDrawTest, BoxCornersAreClampedAt640And459) {
    SetAirport(kLat455, kLon12225);
    SetAircraft(45.0f, -121.0f);
    struct Case {
        int16_t x1, y1;
        int column639, row458, row459;   // green pixels expected in the middle of each
    };
    const Case cases[] = {
        {640, 459, 0, 0, 1},    // 640 stays (off screen), 459 stays
        {641, 460, 1, 1, 0},    // 641 -> 639, 460 -> 458
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x1) + ", " + std::to_string(c.y1));
        ChartPageEntry& e = Use(0.0f);
        e.corner[1] = {c.x1, c.y1};
        Draw();
        EXPECT_EQ(Pixel(639, 200) == kGreen, c.column639 == 1);
        EXPECT_EQ(Pixel(300, 458) == kGreen, c.row458 == 1);
        EXPECT_EQ(Pixel(300, 459) == kGreen, c.row459 == 1);
    }
}

TEST_F(ChartDrawTest, Rotation90TurnsThePlacedPointsAboutTheTopLeftCorner) {
    // x scale 100, y scale 100, offsets 12150 and -4400: the airport's
    // (45.5 N, 122.25 W) is (-75, 150) before the turn, (149, 74) after it.
    ChartPageEntry& e = Use(90.0f);
    e.fYScale = 100.0f;
    e.fXOffset = 12150.0f;
    e.fYOffset = -4400.0f;
    SetAirport(kLat455, kLon12225);
    SetAircraft(45.0f, -122.0f);                    // (-50, 100) -> (99, 49)
    Draw();
    EXPECT_GT(Count(kMagenta, 145, 70, 153, 78), 8);
    EXPECT_GT(Count(kRed, 83, 39, 115, 66), 40);
    e.fRotation = 0.0f;                              // unturned, the airport leaves the box
    Draw();
    EXPECT_EQ(CountAll(kMagenta), 0);
}

TEST_F(ChartTest, TheShownPageIsTheGeneratorsPictureUprightThroughThePalette) {
    MakeCard("");
    ChartFileLoad("KAAK");
    struct Case {
        uint32_t page;
        int32_t scroll;
        int width, height, pageWidth;
        const char* bmp;
    };
    const Case cases[] = {
        {4, 0, 500, 300, 500, "chart-pages/KAAK-4.bmp"},
        {1, 92, 640, 459, 1000, "chart-pages/KAAK-1.bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bmp);
        ASSERT_EQ(ChartLoad(c.page), 1);
        G_Chart.nScrollY = c.scroll;
        ASSERT_EQ(ChartLoad(c.page), 1);
        G_ChartHeader.page[c.page].nFlags = 0;    // the picture alone
        Fill(3);
        ChartPageDraw();
        const std::vector<uint8_t> rgb = PillowRgb(c.bmp);
        ASSERT_GE(rgb.size(), static_cast<size_t>(c.pageWidth) * (c.scroll + c.height) * 3);
        int wrong = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const uint8_t* p = &rgb[(static_cast<size_t>(y + c.scroll) * c.pageWidth + x) * 3];
                const uint32_t bgr = static_cast<uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
                wrong += GUI_IndexToColor(Pixel(x, y)) != bgr;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// ---- keys and knob ------------------------------------------------------------------------------

class ChartKeysTest : public WithKeyInput<ChartTest> {
protected:
    void SetUp() override {
        ChartTest::SetUp();
        MakeCard("");
        G_CurPage = 8;
        G_MenuState = 62;
        std::memcpy(G_WptDb.abAirport + 16, "KAAK\0\0\0\0", 8);
        G_WptDb.nSelKind = 1;
    }
    bool View() const { return (G_WptDb.nPageFlags & kWptChartView) != 0; }
};

TEST_F(ChartKeysTest, ChartOpensTheSelectedAirportsChartAndPrevNextStepThroughItsPages) {
    Key(3);   // "CHART"
    ASSERT_TRUE(View());
    EXPECT_EQ(G_MenuState, 633u);
    EXPECT_EQ(G_SavedMenuState, 62u);
    EXPECT_EQ(G_Knob0.nFunction, kKnobPanVer);
    EXPECT_EQ(G_Chart.nPage, 0u);
    const struct {
        int32_t key;
        uint32_t page;
    } steps[] = {{4, 1}, {4, 2}, {3, 1}, {3, 0}, {3, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 4}};
    for (const auto& s : steps) {
        Key(s.key);
        EXPECT_EQ(G_Chart.nPage, s.page) << "key " << s.key;
        EXPECT_TRUE(View());
    }
    Key(1);   // back to the map menu: the view ends
    EXPECT_EQ(G_MenuState, 6u);
    EXPECT_FALSE(View());
    Key(4);   // not in state 633 any more
    EXPECT_EQ(G_Chart.nPage, 4u);
}

TEST_F(ChartKeysTest, AnAirportWithoutAChartLeavesTheMenuAsItIs) {
    std::memcpy(G_WptDb.abAirport + 16, "KAAL\0\0\0\0", 8);
    Key(3);
    EXPECT_FALSE(View());
    EXPECT_EQ(G_MenuState, 62u);
    EXPECT_NE(Log().find("MAP IO: bad chart file: /CHARTS/KAAL.ACH"), std::string::npos);
}

TEST_F(ChartKeysTest, TheKnobAndTheUpDownKeysPanTheChartAndRightLeftChangePages) {
    Key(3);
    Key(4);   // the 1,000 x 600 page: 141 rows to pan
    ASSERT_EQ(G_Chart.nPage, 1u);
    const struct {
        bool key;
        int32_t value;   // knob delta or key code
        int32_t scroll;
        uint32_t page;
    } steps[] = {
        {false, 1, 46, 1}, {false, 9, 92, 1}, {false, 2, 92, 1},     // an even delta does not move
        {false, 19, 138, 1}, {false, 1, 141, 1}, {false, -1, 95, 1},
        {true, 8, 49, 1}, {true, 9, 95, 1},                          // up, down
        {true, 10, 0, 2}, {true, 11, 0, 1}, {true, 11, 0, 0}, {true, 11, 0, 0},
        {false, 1, 0, 0},                                            // 300 rows: shown whole
    };
    for (const auto& s : steps) {
        SCOPED_TRACE((s.key ? "key " : "knob ") + std::to_string(s.value));
        if (s.key) Key(s.value);
        else Knob(s.value);
        EXPECT_EQ(G_Chart.nScrollY, s.scroll);
        EXPECT_EQ(G_Chart.nPage, s.page);
        EXPECT_TRUE(View());
        EXPECT_EQ(G_Knob0.nFunction, kKnobPanVer);
        EXPECT_EQ(G_Knob0.nDelta, 0);
    }
    G_WptDb.nPageFlags &= ~kWptChartView;
    Key(10);   // without the view no page is loaded
    EXPECT_EQ(G_Chart.nPage, 0u);
    EXPECT_FALSE(View());
}

}  // namespace
