// The database pages on a generated card with the waypoint pages' records:
// formatters, remark wrapping and page counts as tables; the FIND search,
// the nearest list and the page order from their records; the boxes as
// frame-memory images kept beside this file (KV_UPDATE_GOLDEN=1 rewrites them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "core/util.h"
#include "gui/font.h"
#include "gui/gui.h"
#include "map/airports.h"
#include "map/layers.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "map/records.h"
#include "map/waypoints.h"
#include "map_fixture.h"
#include "sim/screenshot.h"
#include "support/png_read.h"
#include "nav/navsrc.h"
#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "wx/metar.h"
#include "wx/wx.h"

namespace {

constexpr double kUnits = 262144.0;

class WptTest : public MapCardTest {
protected:
    void SetUp() override {
        MapCardTest::SetUp();
        InitPalette();
        MakeCard("--db-pages --no-terrain");
        MapInit();
        ASSERT_EQ(MapStatusOf(kMapFileMap), kMapOk);
        G_MapEnabled = 1;
        G_MapPane = {};
        G_MapShowEngine = 0;   // the small boxes at the pane's right edge
        const int32_t lat = static_cast<int32_t>(ManifestInt("m['start'][0]"));
        const int32_t lon = static_cast<int32_t>(ManifestInt("m['start'][1]"));
        G_MapHeader.nRefLat = G_MapFrame.nRefLat = lat;
        G_MapHeader.nRefLon = G_MapFrame.nRefLon = lon;
        MapSetLonScale(lat);
        MapLoadAround(lon >> 18, lat >> 18, G_MapHeader, G_MapSquares, G_VecSquares);
        G_MapZoom = 10;   // every airport of the card is shown at this zoom
        MapMarkAirports();
        // No METARs left over from another test.
        G_Wx.bMetarRx = 0;
        G_Wx.nMetarRxTime = 0;
        std::memset(G_WxMetarIndex, 0, sizeof G_WxMetarIndex);
    }

    void Select(const char* id) { ASSERT_GT(MapSelectWaypoint(id), 0) << id; }
    void OpenPages(const char* id) {
        Select(id);
        G_WptDb.nPageFlags = kWptInfoOpen | kWptFindOpen;
        AirportPagesLoad();
        AirportPagesCount();
    }
    static std::string EditId() { return std::string(G_WptDb.szEditId, strnlen(G_WptDb.szEditId, 6)); }
    static std::string IdOf(const uint8_t* rec) {
        return std::string(reinterpret_cast<const char*>(rec + apt::kId), strnlen(reinterpret_cast<const char*>(rec + apt::kId), 8));
    }

    // The boxes drawn off screen, copied to display page 0 and compared with
    // the image kept beside this file.
    void ExpectBoxes(const std::string& golden, RgbImage* shown = nullptr) {
        uint8_t* m = board().display().Memory();
        std::memset(m, 0, 480 * 640);
        G_FlipCtl.nDrawPageY = 0;
        MapDrawInfoBoxes();
        MapBlitInfoBoxes();
        const std::string png = dir_ + "/" + golden + ".png";
        std::string error;
        ASSERT_TRUE(WriteScreenshotPng(board().display(), png.c_str(), error)) << error;
        const std::string reference = std::string(KV_TOOLS_DIR) + "/../tests/map/" + golden + ".png";
        if (std::getenv("KV_UPDATE_GOLDEN")) {
            ASSERT_EQ(std::system(("cp " + png + " " + reference).c_str()), 0);
        }
        RgbImage a, b;
        ASSERT_TRUE(ReadPng(png, a));
        ASSERT_TRUE(ReadPng(reference, b)) << reference;
        EXPECT_TRUE(a.width == b.width && a.height == b.height && a.rgb == b.rgb) << golden << " differs";
        if (shown) *shown = a;
    }
};

// ---- formatters ------------------------------------------------------------------------------

TEST_F(WptTest, FormattersOfFrequencyAndPosition) {
    struct Freq { uint32_t value; const char* text; };
    for (const Freq& c : {Freq{329, "329.0"}, Freq{11800, "118.00"}, Freq{11630, "116.30"}, Freq{1080, "108.0"},
                          Freq{7, "7.0"}}) {
        char text[12];
        FormatFreq(c.value, text);
        EXPECT_STREQ(text, c.text) << c.value;
    }
    struct Pos { const char* name; double lat, lon; const char* latText; const char* lonText; };
    const Pos cases[] = {
        {"half a degree south and west", -0.5, -0.5, "S  0.50000", "W  0.50000"},
        {"carry into the degrees", 44.999996, 122.999996, "N 45.00000", "E123.00000"},
        {"the card's start", 45.2629, -122.6769, "N 45.26290", "W122.67690"},
    };
    for (const Pos& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t point[8];
        const int32_t v[2] = {static_cast<int32_t>(std::lround(c.lat * kUnits)),
                              static_cast<int32_t>(std::lround(c.lon * kUnits))};
        std::memcpy(point, v, 8);
        char lat[32], lon[32];
        FormatLatLon(lat, lon, sizeof lat, point);
        EXPECT_STREQ(lat, c.latText);
        EXPECT_STREQ(lon, c.lonText);
    }
}

// ---- page counts and remark lines ------------------------------------------------------------

TEST_F(WptTest, FrequencyPagesAndPageCount) {
    Select("KZRO");
    struct Case { uint8_t freqs; uint32_t pages; };
    for (const Case& c : {Case{3, 0}, Case{4, 1}, Case{5, 1}, Case{9, 1}, Case{10, 2}}) {
        G_WptDb.abAirport[apt::kRec9Count] = c.freqs;
        AirportPagesCount();
        EXPECT_EQ(G_WptDb.nFreqPages, c.pages) << +c.freqs << " frequencies";
    }
    // The main page and every other page: 1 + F + M + R + P.
    const std::string report = "METAR KZRO 111753Z 31008KT 10SM FEW050 12/04 Q1013=";
    std::memcpy(G_WxMetarText, report.c_str(), report.size() + 1);
    G_WxMetarIndex[FindWaypointExact("KZRO")] = 1;
    G_Wx.nMetarCount = 1;
    G_Wx.nMetarRxTime = 100;
    struct Count { const char* name; uint8_t freqs, runways; uint32_t remarkPages; uint8_t metar; uint32_t pages; };
    const Count counts[] = {
        {"no lists", 0, 0, 0, 0, 1},
        {"frequencies on the main page only", 3, 0, 0, 0, 1},
        {"two frequency pages", 10, 0, 0, 0, 3},
        {"remarks", 0, 0, 3, 0, 4},
        {"a METAR", 0, 0, 0, 1, 2},
        {"runways", 0, 11, 0, 0, 12},
        {"everything", 10, 11, 3, 1, 18},
    };
    for (const Count& c : counts) {
        SCOPED_TRACE(c.name);
        G_WptDb.abAirport[apt::kRec9Count] = c.freqs;
        G_WptDb.abAirport[apt::kRunways] = c.runways;
        G_WptDb.nRemarkPages = c.remarkPages;
        G_Wx.bMetarRx = c.metar;
        AirportPagesCount();
        EXPECT_EQ(G_WptDb.nPageCount, c.pages);
    }
    G_Wx.bMetarRx = 0;
    OpenPages("KBIG");
    EXPECT_EQ(G_WptDb.nRemarkPages, G_WptDb.nRemarkLines / 5 + 1);
}

TEST_F(WptTest, RemarkWrappingBreaksAtSeparatorsAndNeverRepeatsOrOverreads) {
    GUI_SetFont(&G_FontP13);
    ASSERT_EQ(TextWidthN("i", 1), 3);
    ASSERT_EQ(TextWidthN(" ", 1), 3);
    Select("KZRO");
    auto wrap = [](std::initializer_list<std::string> texts) {
        std::memset(G_WptDb.aRemarkTexts, 0, sizeof G_WptDb.aRemarkTexts);
        int r = 0;
        for (const std::string& t : texts) std::memcpy(G_WptDb.aRemarkTexts[r++], t.data(), t.size());
        G_WptDb.abAirport[apt::kRemarks] = static_cast<uint8_t>(r);
        RemarkWrapLines();
        std::vector<std::string> lines;
        for (uint32_t i = 0; i < G_WptDb.nRemarkLines; ++i) lines.emplace_back(G_WptDb.aRemarkLines[i] + 1);
        return lines;
    };
    const std::string i44(44, 'i'), i49(49, 'i'), i25(25, 'i');
    // Blanks at 44 and 94: the last one within 17 characters before each 50-character mark.
    const std::vector<std::string> lines = wrap({i44 + " " + i49 + " " + i25, std::string(49, 'i')});
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], i44 + " ");
    EXPECT_EQ(lines[1], i49 + " ");
    EXPECT_EQ(lines[2], i25);
    EXPECT_EQ(lines[3], std::string(49, 'i')) << "a short remark is one line";
    EXPECT_EQ(G_WptDb.aRemarkLines[2][0], 0) << "first remark's parity";
    EXPECT_EQ(G_WptDb.aRemarkLines[3][0], 1) << "second remark on the dark bar";
    EXPECT_EQ(G_WptDb.nRemarkPages, 1u);

    // No break point, and a text that fills its whole slot with no terminator:
    // every character once, none from the next slot, every line narrower than 245.
    struct Case { const char* name; std::string text; };
    const Case cases[] = {
        {"no break point", std::string(120, 'W')},
        {"310 bytes, unterminated", std::string(310, 'M')},
        {"separators only past the look-back", std::string(70, 'W') + "/" + std::string(60, 'W')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> got = wrap({c.text, "NEXT"});
        std::string joined;
        for (size_t k = 0; k + 1 < got.size(); ++k) {
            joined += got[k];
            EXPECT_LT(TextWidthN(got[k].c_str(), 100), 245) << got[k];
        }
        EXPECT_EQ(joined, c.text);
        EXPECT_EQ(got.back(), "NEXT");
    }
}

// ---- FIND --------------------------------------------------------------------------------------

TEST_F(WptTest, FindKnobStepsToBeginningsThatExist) {
    Select("KBIG");
    G_WptDb.szEditId[0] = '\0';
    G_WptDb.nPageFlags = kWptFindOpen;
    G_WptDb.nEditCursor = 0;
    // One step on K: the next letter that begins an identifier is V (no L..U).
    WptFindKnob(1);
    EXPECT_TRUE(G_WptDb.nPageFlags & kWptSearch);
    FindPage();
    EXPECT_EQ(EditId(), "VAA");
    EXPECT_EQ(G_WptDb.nSelKind, 2u);
    EXPECT_FALSE(G_WptDb.nPageFlags & kWptSearch) << "the search ran";
    // Two turns before the box is drawn search once, with both steps:
    // from V, attempts in steps of two reach X (none), Z (none), 1 ... F.
    WptFindKnob(1);
    WptFindKnob(1);
    FindPage();
    EXPECT_EQ(EditId(), "FAAAA");
    EXPECT_EQ(G_WptDb.nSelKind, 3u);
    // Cursor 1 of KBIG stepped to H: the heliport is skipped, the walk stops
    // at the next beginning (logged), and the next letter that has an
    // offered airport follows: KNOC.
    Select("KBIG");
    G_WptDb.nPageFlags = kWptFindOpen;
    FindPage();
    WptIdCursorMove(1);
    EXPECT_EQ(G_WptDb.nEditCursor, 1u);
    EXPECT_EQ(G_WptDb.nAlphaIndex, 11u) << "B";
    G_WptDb.nPendingSteps = 0;
    WptFindKnob(6);   // B + 6 = H
    FindPage();
    EXPECT_EQ(EditId(), "KNOC");
    EXPECT_EQ(G_WptDb.nSelKind, 1u);
    EXPECT_NE(Log().find("INFO: ma (KN/KH)"), std::string::npos) << Log();
    // The cursor wraps both ways over the five cells.
    WptIdCursorMove(-2);
    EXPECT_EQ(G_WptDb.nEditCursor, 4u);
}

TEST_F(WptTest, DirectToOpensTheBoxOnTheActiveWaypointsAirport) {
    std::memcpy(G_NavSrc.rec[G_NavSrc.hdr.nMapCrsSlot].szWaypoint, "KONE", 4);
    G_MenuState = 6;
    DirectTo();
    EXPECT_EQ(G_MenuState, 63u);
    EXPECT_EQ(G_Knob0.nFunction, kKnobDirect);
    EXPECT_TRUE(G_WptDb.nPageFlags & kWptFindOpen);
    EXPECT_EQ(IdOf(G_WptDb.abAirport), "KONE");
    EXPECT_EQ(EditId(), "KONE");
    EXPECT_NE(Log().find("DTo: iMode:"), std::string::npos);
    // Without a map nothing opens.
    G_MenuState = 6;
    G_MapEnabled = 0;
    DirectTo();
    EXPECT_EQ(G_MenuState, 6u);
}

TEST_F(WptTest, FindBoxImages) {
    struct Case { const char* id; const char* golden; int32_t answer; bool mapOn; };
    const Case cases[] = {
        {"KBIG", "find_airport", 0, true},       // name, city and state; the distance in tenths
        {"KNOC", "find_no_city", 1, true},       // one line only
        {"WVDT", "find_navaid", 1, true},        // name, VOR-DME-TACAN, 116.30Mhz
        {"FXALL", "find_fix", 1, false},         // three of eight type names; 999.9NM without the map
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Select(c.id);
        G_MapEnabled = c.mapOn ? 1 : 0;
        G_WptDb.nPageFlags = kWptFindOpen;
        G_WptDb.nEditCursor = 1;
        const OffscreenBand band = BeginOffscreenBand();
        EXPECT_EQ(FindPage(), c.answer);
        EndOffscreenBand(band);
        ExpectBoxes(c.golden);
    }
}

// ---- nearest airports ------------------------------------------------------------------------

TEST_F(WptTest, NearestListIsSortedAndLeavesOutWhatItMust) {
    auto ids = [] {
        std::vector<std::string> out;
        for (uint32_t i = 0; i < G_Nearest.nCount; ++i) out.push_back(IdOf(G_Nearest.apEntry[i]));
        return out;
    };
    G_MapPvtOn = 0;
    NearestAirportsUpdate();
    ASSERT_EQ(G_Nearest.nMode, 1u);
    ASSERT_EQ(G_Nearest.nCount, 8u) << "more than eight eligible: the farthest fall off";
    std::vector<std::string> list = ids();
    for (const char* left : {"KHEL", "KWAT", "KPVT"})
        EXPECT_EQ(std::find(list.begin(), list.end(), left), list.end()) << left;
    for (uint32_t i = 1; i < G_Nearest.nCount; ++i) EXPECT_LE(G_Nearest.anDist[i - 1], G_Nearest.anDist[i]);
    // Every eligible airport that is not listed lies farther than the eighth.
    const MapPoint ref{G_MapHeader.nRefLat, G_MapHeader.nRefLon};
    for (const MapSquare& slot : G_MapSquares)
        for (uint32_t a = 0; a < slot.nAirports; ++a) {
            const uint8_t* rec = slot.airports[a];
            const std::string id = IdOf(rec);
            if ((rec[apt::kFlags1] & 0xC8) || std::find(list.begin(), list.end(), id) != list.end()) continue;
            EXPECT_GE(static_cast<uint32_t>(CalcDistTenths(ref, {RecS32(rec, apt::kLat), RecS32(rec, apt::kLon)})),
                      G_Nearest.anDist[7]) << id;
        }
    // The first entry became the selected airport of the pages.
    EXPECT_EQ(IdOf(G_WptDb.abAirport), list[0]);
    EXPECT_EQ(G_WptDb.nSelKind, 1u);
    // Bearing: true bearing plus the variation.
    MapSourceRecord().nMagVar = 150;
    NearestAirportsUpdate();
    const MapPoint p0{RecS32(G_Nearest.apEntry[0], apt::kLat), RecS32(G_Nearest.apEntry[0], apt::kLon)};
    EXPECT_EQ(G_Nearest.anBearing[0], static_cast<uint32_t>((CalcBearing(ref, p0) + 150) % 3600));
    // PVT ON lists the private airport (it lies 0.02 degrees from the start).
    G_MapPvtOn = 1;
    NearestAirportsUpdate();
    list = ids();
    EXPECT_NE(std::find(list.begin(), list.end(), "KPVT"), list.end());
    // The knob steps the selection and wraps over the eight slots.
    NearestSelectStep(-1);
    EXPECT_EQ(G_Nearest.nSelected, 7u);
    EXPECT_EQ(IdOf(G_Nearest.abSelected), list[7]);
    EXPECT_EQ(IdOf(G_WptDb.abAirport), list[7]);
    // Without the zoom marks the list stays empty.
    for (MapSquare& slot : G_MapSquares)
        for (uint32_t a = 0; a < slot.nAirports; ++a) slot.airports[a][apt::kFlags2] &= ~0x40;
    NearestAirportsUpdate();
    EXPECT_EQ(G_Nearest.nCount, 0u);
}

TEST_F(WptTest, NearestBoxImage) {
    // Bearings 3595 and 4 tenths, 57 tenths of a mile, an unknown length.
    Select("KZRO");
    static uint8_t recs[3][kAirportRecordBytes];
    std::memcpy(recs[0], G_WptDb.abAirport, kAirportRecordBytes);
    Select("KBIG");
    std::memcpy(recs[1], G_WptDb.abAirport, kAirportRecordBytes);
    Select("KONE");
    std::memcpy(recs[2], G_WptDb.abAirport, kAirportRecordBytes);
    G_Nearest = {};
    G_Nearest.nMode = 1;
    G_Nearest.nCount = 3;
    G_Nearest.nSelected = 1;
    const uint32_t dist[3] = {57, 9999, 123}, brg[3] = {3595, 4, 1234};
    for (int i = 0; i < 3; ++i) {
        G_Nearest.apEntry[i] = recs[i];
        G_Nearest.anDist[i] = dist[i];
        G_Nearest.anBearing[i] = brg[i];
    }
    ExpectBoxes("nearest_box");
    G_Nearest.nCount = 0;
    ExpectBoxes("nearest_empty");
}

// ---- airport information pages ---------------------------------------------------------------

TEST_F(WptTest, PageOrderWithAndWithoutTheMetarPage) {
    OpenPages("KBIG");
    ASSERT_EQ(G_WptDb.nFreqPages, 2u);
    ASSERT_EQ(G_WptDb.abAirport[apt::kRunways], 11) << Log();
    ASSERT_EQ(G_WptDb.bMetarPage, 0u);
    struct Case { uint32_t cursor; WptPage page; uint32_t index; };
    auto check = [](std::initializer_list<Case> cases) {
        for (const Case& c : cases) {
            uint32_t index = 99;
            EXPECT_EQ(AirportPageOf(c.cursor, &index), c.page) << c.cursor;
            EXPECT_EQ(index, c.index) << c.cursor;
        }
    };
    check({{0, WptPage::Main, 0}, {2, WptPage::Freq, 1}, {3, WptPage::Runway, 0}, {13, WptPage::Runway, 10},
           {14, WptPage::Remark, 0}, {99, WptPage::Main, 0}});
    // The knob steps back from the main page onto the last remark page, and
    // on from it to the main page.
    const uint32_t lastRemark = G_WptDb.nRemarkPages - 1;
    G_WptDb.nListCursor = 0;
    WptListStep(-1);
    check({{G_WptDb.nListCursor, WptPage::Remark, lastRemark}});
    EXPECT_EQ(G_WptDb.nListCursor, 14 + lastRemark);
    WptListStep(1);
    EXPECT_EQ(G_WptDb.nListCursor, 0u);
    // A METAR for the airport: its page comes between the frequency and runway pages.
    const std::string report = "METAR KBIG 111753Z 31008KT 10SM FEW050 12/04 Q1013 RMK AO2=";
    std::memcpy(G_WxMetarText, report.c_str(), report.size() + 1);
    G_WxMetarIndex[FindWaypointExact("KBIG")] = 1;
    G_Wx.nMetarCount = 1;
    G_Wx.bMetarRx = 1;
    G_Wx.nMetarRxTime = 100;
    AirportPagesCount();
    EXPECT_EQ(G_WptDb.bMetarPage, 1u);
    check({{3, WptPage::Metar, 0}, {4, WptPage::Runway, 0}});
    G_WptDb.nListCursor = 3;
    ExpectBoxes("info_metar");   // 1013MB
    // Aged out: the page is skipped at once, even while the counter still
    // holds it (its cursor fits no other page), and gone at the next count.
    G_Wx.bMetarRx = 0;
    check({{3, WptPage::Main, 0}, {4, WptPage::Runway, 0}});
    AirportPagesCount();
    EXPECT_EQ(G_WptDb.bMetarPage, 0u);
    check({{3, WptPage::Runway, 0}});
}

// The METAR page at several value widths. In the value row the visibility
// starts at its column (moved right only past a wind that fills its own),
// with nothing of the wind in the columns before it; a variation that does
// not fit goes beside the wind's label; nothing white reaches the footer.
TEST_F(WptTest, MetarPageValuesNeverRunIntoEachOther) {
    OpenPages("KBIG");
    G_Wx.nMetarCount = 1;
    G_Wx.bMetarRx = 1;
    G_Wx.nMetarRxTime = 100;
    G_WxMetarIndex[FindWaypointExact("KBIG")] = 1;
    struct Case { const char* golden; const char* report; int visiX; bool variationBesideLabel; };
    const Case cases[] = {
        {"metar_gusts", "METAR KBIG 111753Z 27012G22KT 10SM FEW250 15/03 A3001", 120, false},
        {"metar_variation", "SPECI KBIG 111753Z 21005G15KT 180V240 1/2SM FG OVC002 M01/M02 A2989", 120, true},
        {"metar_long_wind", "METAR KBIG 111753Z 2101050G125MPS 180V240 1 1/2SM BKN008 OVC015 M01/M02 A2989", 127, true},
        {"metar_long_clouds", "METAR KBIG 111753Z VRB03KT 180V240 M1/4SM FEW005 SCT010 BKN020 OVC030 10/09 A2990",
         120, true},
    };
    auto white = [](const RgbImage& im, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += im.At(x, y) == 0xFFFFFF;
        return n;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.golden);
        std::memcpy(G_WxMetarText, c.report, std::strlen(c.report) + 1);
        G_WptDb.metar = {};   // decoded afresh
        AirportPagesCount();
        ASSERT_EQ(G_WptDb.bMetarPage, 1u);
        G_WptDb.nListCursor = 3;
        RgbImage im;
        ExpectBoxes(c.golden, &im);
        ASSERT_GT(im.width, 0u);
        EXPECT_EQ(white(im, c.visiX - 4, 381, c.visiX - 1, 397), 0) << "a gap before the visibility";
        EXPECT_GT(white(im, c.visiX, 381, c.visiX + 8, 397), 0) << "the visibility at its column";
        EXPECT_EQ(white(im, 40, 366, 118, 379) > 0, c.variationBesideLabel);
        EXPECT_EQ(white(im, 200, 440, 253, 456), 0) << "the footer's corner";
    }
}

TEST_F(WptTest, InformationBoxImages) {
    struct Case { const char* id; uint32_t cursor; const char* golden; };
    const Case cases[] = {
        {"KBIG", 0, "info_main"},          // TPA 12345 + 1000, fuels, city cut to fit
        {"KBIG", 2, "info_freq"},          // frequencies 9 and 10 on the second page
        {"KBIG", 13, "info_runway11"},     // the eleventh runway: not drawn, named
        {"KBIG", 14, "info_remarks"},      // wrapped remarks, alternate ones on the dark bar
        {"KNOC", 0, "info_no_city"},       // elevation 00005; no city
        {"KNOC", 1, "info_no_coords"},     // the schematic runway
        {"KONE", 1, "info_one_runway"},    // outlined and named; markings and ILS
        {"KZRO", 0, "info_empty"},         // page 1/1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.golden);
        OpenPages(c.id);
        G_WptDb.nListCursor = c.cursor;
        ExpectBoxes(c.golden);
    }
}

TEST_F(WptTest, RunwayDiagramImages) {
    OpenPages("KBIG");
    G_WptDb.nListCursor = 0;
    ExpectBoxes("runways_no_selection");   // ten of eleven drawn, the last drawn one labelled too
    OpenPages("KONE");
    G_WptDb.nListCursor = 0;
    ExpectBoxes("runways_single");         // one strip, no labels
    // A runway without coordinates on its page, at an airport that has them.
    OpenPages("KBIG");
    RecSetU16(G_WptDb.abRunways[1], 4, 0);
    RecSetU16(G_WptDb.abRunways[1], 6, 0);
    G_WptDb.nListCursor = 4;
    ExpectBoxes("runways_missing");        // "13/31 -- No Coordinates"
}

}  // namespace

// ---- keys and knob ------------------------------------------------------------------------------

namespace {

class WptKeysTest : public WptTest {
protected:
    void SetUp() override {
        WptTest::SetUp();
        G_CurPage = 8;
        G_MenuState = 6;
    }
    static void Key(int32_t code) {
        G_KeyEvent = code;
        MainKeyHandler();
    }
    static void Turn(int32_t delta) {
        G_Knob0.nDelta = delta;
        MainKeyHandler();
    }
};

TEST_F(WptKeysTest, MapMenuKeysAndKnobWorkTheBoxes) {
    Key(2);   // NRST
    EXPECT_EQ(G_MenuState, 62u);
    EXPECT_EQ(G_Knob0.nFunction, kKnobNrst);
    ASSERT_EQ(G_Nearest.nCount, 8u);
    UpdateSoftKeys();
    EXPECT_STREQ(G_SoftKeyLabel[2], "INFO");
    Turn(1);
    EXPECT_EQ(G_Nearest.nSelected, 1u);
    EXPECT_EQ(IdOf(G_WptDb.abAirport), IdOf(G_Nearest.apEntry[1]));
    Turn(2);
    EXPECT_EQ(G_Nearest.nSelected, 1u) << "an even raw delta is no step";
    Key(2);   // INFO
    EXPECT_EQ(G_MenuState, 622u);
    EXPECT_EQ(G_SavedMenuState, 62u);
    EXPECT_EQ(G_Knob0.nFunction, kKnobInfo);
    EXPECT_TRUE(G_WptDb.nPageFlags & kWptInfoOpen);
    AirportPagesCount();
    Turn(-1);
    EXPECT_EQ(G_WptDb.nListCursor, G_WptDb.nPageCount - 1) << "the pages wrap";
    Key(2);   // METAR: none, so nothing
    EXPECT_EQ(G_MenuState, 622u);
    Key(1);   // RETURN
    EXPECT_EQ(G_MenuState, 6u);
    EXPECT_EQ(G_Nearest.nMode, 0u);
    EXPECT_EQ(G_WptDb.nPageFlags & 0x13u, 0u);

    Key(3);   // -D->
    EXPECT_EQ(G_MenuState, 63u);
    EXPECT_EQ(G_Knob0.nFunction, kKnobDirect);
    // The direction keys move the identifier cursor while the knob is on DIRECT.
    Key(10);
    EXPECT_EQ(G_WptDb.nEditCursor, 1u);
    Key(11);
    Key(11);
    EXPECT_EQ(G_WptDb.nEditCursor, 4u);
    Key(6);   // the knob push steps it on
    EXPECT_EQ(G_WptDb.nEditCursor, 0u);
    Turn(3);
    EXPECT_TRUE(G_WptDb.nPageFlags & kWptSearch);
    EXPECT_EQ(G_WptDb.nPendingSteps, 3);
    Turn(1);
    EXPECT_TRUE(G_WptDb.nPageFlags & kWptSearch) << "a second turn before the search keeps it pending";
    EXPECT_EQ(G_WptDb.nPendingSteps, 4);
    Select("KBIG");
    Key(2);   // INFO from FIND
    EXPECT_EQ(G_MenuState, 632u);
    // With a METAR for it, METAR jumps to its page after the two frequency pages.
    const std::string report = "METAR KBIG 111753Z 31008KT 10SM FEW050 12/04 A2992 RMK AO2=";
    std::memcpy(G_WxMetarText, report.c_str(), report.size() + 1);
    G_WxMetarIndex[FindWaypointExact("KBIG")] = 1;
    G_Wx.nMetarCount = 1;
    G_Wx.bMetarRx = 1;
    G_Wx.nMetarRxTime = 100;
    AirportPagesCount();
    Key(2);
    EXPECT_EQ(G_WptDb.nListCursor, 3u);
}

}  // namespace
