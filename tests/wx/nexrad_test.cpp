// The radar picture: its header read into the geometry and time, sizes
// refused before anything is stored, smaller products centred, and the
// raster drawn on the map pane north up and turned, read back from the band.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "map/map.h"
#include "map/mapdraw_fixture.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "sim/screenshot.h"
#include "wx/nexrad.h"
#include "wx/ppmd.h"
#include "wx/products.h"
#include "wx/wx.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Header {
    int32_t lat, lon;        // millionths of a degree
    uint32_t time, scaleLat;
    uint16_t width, height, pixelMetres;
};

Bytes NexradProduct(const Header& h, const Bytes& raster) {
    Bytes stream(raster.size() + 4096);
    uint32_t cap = static_cast<uint32_t>(stream.size());
    EXPECT_EQ(PpmdCompress(stream.data(), &cap, raster.data(), static_cast<uint32_t>(raster.size()), 6, 1, 0), kPpmdOk);
    Bytes p(29 + cap, 0);
    p[0] = 1;
    Put(p, 2, cap, 4);
    Put(p, 7, static_cast<uint32_t>(h.lat), 4);
    Put(p, 11, static_cast<uint32_t>(h.lon), 4);
    Put(p, 15, h.time, 4);
    Put(p, 19, h.scaleLat, 4);
    Put(p, 23, h.width, 2);
    Put(p, 25, h.height, 2);
    Put(p, 27, h.pixelMetres, 2);
    std::copy(stream.begin(), stream.begin() + cap, p.begin() + 29);
    return p;
}

constexpr int kOwnX = 319, kOwnY = 229;   // north up, full pane
constexpr uint8_t kBackground = 7;

class Nexrad : public MapDrawTest {
protected:
    void SetUp() override {
        MapDrawTest::SetUp();
        G_UptimeSec = 1000;
    }
    void Decode(const Bytes& p) {
        RunApp([&] {
            WxProductDispatch(p.data(), static_cast<uint32_t>(p.size()));
            for (int i = 0; i < 100000 && (G_Wx.nDecodeState != 0 || G_WxDecodeDone); ++i) WxDecodeStep();
        });
    }
    // The map at the equator, zoom 1 (66 px a degree), and a raster of 66
    // pixels a degree centred on the aircraft: one raster pixel a screen pixel.
    void OnePixelGeometry() {
        RunApp([this] { MapAt(0.0, 0.0); });
        G_MapZoom = 1;
        G_MapRotation = 0;
        G_Wx.nNxLatPerRow = G_Wx.nNxLonPerCol = 3972;
        G_Wx.nNxRowsPerLat = G_Wx.nNxColsPerLon = 66 * 262144;
        G_Wx.nNxLat = G_Wx.nNxLon = 0;
        G_Wx.bNexradRx = 1;
        G_Wx.nNexradRxTime = 900;
        std::memset(G_WxNexradImg, 0, kNexradBytes);
        FillBand(kBackground);
    }
    static void Block(int col0, int row0, int cols, int rows, uint8_t v) {
        for (int r = row0; r < row0 + rows; ++r) std::memset(G_WxNexradImg + r * kNexradCols + col0, v, cols);
    }
    void Draw() { RunApp([] { WxDrawNexrad(); }); }
    // With KV_RADAR_PNG=DIR the band is kept as a picture to look at.
    void KeepPicture(const char* name) {
        const char* dir = std::getenv("KV_RADAR_PNG");
        if (!dir) return;
        std::memcpy(Frame(), Frame() + 960 * 640, 480 * 640);
        std::string error;
        WriteScreenshotPng(board().display(), (std::string(dir) + "/" + name + ".png").c_str(), error);
    }
};

TEST_F(Nexrad, HeaderGivesGeometryTimeAndReceivedFlag) {
    const Header h = {45500000, -122250000, 1234567890u, 45000000u, 4, 2, 1000};
    Decode(NexradProduct(h, Bytes(8, 3)));
    EXPECT_NE(Log().find("WX: NXRD 23:31:00Z"), std::string::npos) << Log();
    // 1000 m is 0.0089831 degrees of latitude, 0.0127039 of longitude at 45 degrees.
    EXPECT_EQ(G_Wx.nNxLatPerRow, 2354);
    EXPECT_EQ(G_Wx.nNxLonPerCol, 3330);
    EXPECT_NEAR(G_Wx.nNxRowsPerLat, 29182038, 8) << "111.32064 rows a degree";
    EXPECT_NEAR(G_Wx.nNxColsPerLon, 20634815, 8) << "78.71558 columns a degree";
    EXPECT_EQ(G_Wx.nNxLat, 11927552);
    EXPECT_EQ(G_Wx.nNxLon, -32047104);
    EXPECT_EQ(G_Wx.bNexradRx, 1u);
    EXPECT_EQ(G_Wx.nNexradRxTime, 1000u);
    EXPECT_EQ(G_WxNexradReady, 1u);
    EXPECT_EQ(G_Wx.nDecodeState, 0u);
}

// A product too large for the raster keeps the picture and all it was drawn with.
TEST_F(Nexrad, ATooLargeProductKeepsThePictureAndItsGeometry) {
    Decode(NexradProduct({45500000, -122250000, 1234567890u, 45000000u, 2, 2, 1000}, Bytes(4, 5)));
    const WxState before = G_Wx;
    const Bytes picture(G_WxNexradImg + 820 * kNexradCols, G_WxNexradImg + 823 * kNexradCols);
    G_UptimeSec = 2000;
    for (const Header& big : {Header{1000000, 1000000, 1234567990u, 10000000u, 2989, 2, 500},
                              Header{1000000, 1000000, 1234567990u, 10000000u, 2, 1643, 500}}) {
        Decode(NexradProduct(big, Bytes(4, 7)));
        const int32_t geometry[] = {G_Wx.nNxLonPerCol, G_Wx.nNxColsPerLon, G_Wx.nNxLatPerRow,
                                    G_Wx.nNxRowsPerLat, G_Wx.nNxLat,       G_Wx.nNxLon};
        const int32_t old[] = {before.nNxLonPerCol, before.nNxColsPerLon, before.nNxLatPerRow,
                               before.nNxRowsPerLat, before.nNxLat,       before.nNxLon};
        EXPECT_TRUE(std::equal(std::begin(geometry), std::end(geometry), old)) << "geometry as it was";
        EXPECT_EQ(G_Wx.nNexradRxTime, before.nNexradRxTime);
        EXPECT_EQ(G_Wx.bNexradRx, before.bNexradRx);
        EXPECT_TRUE(std::equal(picture.begin(), picture.end(), G_WxNexradImg + 820 * kNexradCols));
    }
    EXPECT_NE(Log().find("WX: dbtb"), std::string::npos);
}

// A 4 x 2 product lands on the raster's middle (columns 1492..1495, rows
// 820..821); what an earlier product left elsewhere is cleared.
TEST_F(Nexrad, ASmallerProductIsCentredOnTheRaster) {
    std::memset(G_WxNexradImg, 9, kNexradBytes);
    const Bytes raster = {1, 2, 3, 4, 5, 6, 7, 1};
    Decode(NexradProduct({0, 0, 1234567890u, 0, 4, 2, 1000}, raster));
    for (int r = 819; r <= 822; ++r)
        for (int c = 1491; c <= 1496; ++c) {
            const bool inside = r >= 820 && r <= 821 && c >= 1492 && c <= 1495;
            EXPECT_EQ(G_WxNexradImg[r * kNexradCols + c], inside ? raster[(r - 820) * 4 + (c - 1492)] : 0)
                << "row " << r << " column " << c;
        }
    EXPECT_EQ(G_WxNexradImg[0], 0);
    EXPECT_EQ(G_WxNexradImg[kNexradBytes - 1], 0);
}

// A block of 50 columns east and 20 rows north of the centre: a wide box up
// and right of the aircraft north up; with east up (turned 90 degrees) a
// tall box up and left.
TEST_F(Nexrad, KnownBlocksLandAtTheirPlacesNorthUpAndTurned) {
    OnePixelGeometry();
    Block(1544, 751, 50, 20, 3);
    Draw();
    KeepPicture("north-up");
    EXPECT_EQ(Band(kOwnX + 75, kOwnY - 60), 122);
    EXPECT_NEAR(Count(122, kOwnX + 45, kOwnY - 75, kOwnX + 105, kOwnY - 45), 1000, 60);
    EXPECT_EQ(Count(122, 0, 0, 639, 459), Count(122, kOwnX + 45, kOwnY - 75, kOwnX + 105, kOwnY - 45));

    FillBand(kBackground);
    G_MapRotation = 900;
    Draw();
    KeepPicture("east-up");
    EXPECT_EQ(Band(kOwnX - 60, kOwnY - 75), 122);
    EXPECT_NEAR(Count(122, kOwnX - 75, kOwnY - 105, kOwnX - 45, kOwnY - 45), 1000, 60);
    EXPECT_EQ(Count(122, 0, 0, 639, 459), Count(122, kOwnX - 75, kOwnY - 105, kOwnX - 45, kOwnY - 45));
}

// Value 0 and the raster's first row and column leave the map as it was;
// every value past 7 is drawn in the strongest colour.
TEST_F(Nexrad, EdgesZerosAndStrongValues) {
    OnePixelGeometry();
    Block(1494 + 10, 821 + 10, 10, 10, 0);
    Block(1494 + 30, 821 + 10, 10, 10, 8);
    Block(1494 + 50, 821 + 10, 10, 10, 200);
    Block(1494 + 70, 821 + 10, 10, 10, 7);
    Block(1494 + 90, 821 + 10, 10, 10, 1);
    Draw();
    const struct { int dx; uint8_t colour; } cases[] = {{15, kBackground}, {35, 126}, {55, 126}, {75, 126}, {95, 120}};
    for (const auto& c : cases) EXPECT_EQ(Band(kOwnX + c.dx, kOwnY + 15), c.colour) << c.dx;

    // The raster's corner at column 0, row 0 lies 1494 px west and 821 north:
    // at zoom 12 nothing reaches the pane; at the pane's scale, move the
    // raster so that its first row and column cross the aircraft.
    FillBand(kBackground);
    std::memset(G_WxNexradImg, 4, kNexradBytes);
    G_Wx.nNxLat = -821 * 3972;    // row 0 a little south of the aircraft
    G_Wx.nNxLon = 1494 * 3972;    // column 0 a little west
    Draw();
    // Row 0 and column 0 (and whatever lies beyond them) stay background.
    EXPECT_EQ(Band(kOwnX - 5, kOwnY + 5), kBackground);
    EXPECT_EQ(Band(kOwnX + 5, kOwnY - 5), kBackground);
    EXPECT_EQ(Band(kOwnX - 5, kOwnY - 5), kBackground);
    EXPECT_EQ(Band(kOwnX + 5, kOwnY + 5), 123) << "inside the raster";
    // Past the last column and row, the same.
    FillBand(kBackground);
    G_Wx.nNxLat = 821 * 3972;
    G_Wx.nNxLon = -1494 * 3972;
    Draw();
    EXPECT_EQ(Band(kOwnX - 5, kOwnY - 5), 123);
    EXPECT_EQ(Band(kOwnX + 5, kOwnY + 5), kBackground);
}

}  // namespace
