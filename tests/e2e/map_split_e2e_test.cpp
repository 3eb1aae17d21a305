// The map beside the flight instruments as a pilot sees it: kv5100 with a
// generated card, a GPS track on a serial port, air data on the converter's
// inputs and the demonstration AHRS; the map page with AIR ON shows the tapes
// in its side strips, the source box and the attitude inset in its corners,
// at two- and three-digit speeds and three- to five-digit altitudes; AIR OFF
// and ON again through the buttons.
#include <gtest/gtest.h>

#include <string>

#include "support/map_e2e.h"

namespace {

constexpr uint32_t kFrameEdge = 0x444444, kSky = 0x444488, kMagenta = 0xFF00FF, kWhite = 0xFFFFFF;

class MapSplitE2e : public MapE2e {
protected:
    void SetUp() override {
        MapE2e::SetUp();
        ASSERT_NO_FATAL_FAILURE(MakeCard());
        ASSERT_NO_FATAL_FAILURE(MakeTrack());
        // Air data from the converter (counts read as tenths of a knot and
        // as feet), the AHRS from its demonstration source.
        Write("system.kvd", "MAP_INSTALLED, 1\nENGINE_INSTALLED, 0\nAIR_INSTALLED, 1\nNET_AIR_MODE, 0\n"
                            "DEMO_FLAGS, 8\nSERIAL3_FUNC, 2\nGPSNAV1_PORT, 3\nMAP_LATLON_PORT, 3\n");
    }
    CommandResult Run(int seconds) const { return RunScript(Gps(), seconds); }
};

TEST_F(MapSplitE2e, TapesAndBoxesBesideTheNarrowedMapAtEveryValueWidth) {
    const std::string s = "screenshot " + d_ + "/";
    // I AGREE, then PAGE three times to the map page (8: no engine), which a
    // new unit shows with AIR ON; the knob's pushes step its function from 1
    // to ZOOM (9), twelve steps in, NRST and GOTO the nearest airport, which
    // the source box then shows. Air input 5 is the airspeed, 0 the altitude.
    std::string script = "0 adc air 5 850\n0 adc air 0 1000\n14 press 3\n16 press 1\n18 press 1\n20 press 1\n";
    for (int t = 22; t <= 30; ++t) script += std::to_string(t) + " press 6\n";
    script += "34 knob 12\n37 press 2\n39 press 5\n"
              "46 " + s + "kt85-ft500.png\n"
              "47 adc air 5 1450\n47 adc air 0 5500\n54 " + s + "kt145-ft5000.png\n"
              "55 adc air 5 650\n55 adc air 0 15000\n62 " + s + "kt65-ft14500.png\n"
              "63 adc air 5 1450\n70 " + s + "kt145-ft14500.png\n"
              // SETTINGS, MORE, AIR OFF: the map takes the whole pane; AIR ON
              // brings the instruments back.
              "71 press 4\n73 press 2\n75 press 4\n80 " + s + "airoff.png\n"
              "81 press 4\n86 " + s + "airon.png\n";
    Write("script", script);
    CommandResult r = Run(87);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Map Loaded --> KV SYNTHETIC NORTH-WEST"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Start GOTO: K"), std::string::npos) << r.out;

    struct Split { const char* shot; };
    for (const Split& c :
         {Split{"kt85-ft500"}, Split{"kt145-ft5000"}, Split{"kt65-ft14500"}, Split{"kt145-ft14500"}, Split{"airon"}}) {
        SCOPED_TRACE(c.shot);
        const RgbImage im = Shot(c.shot);
        // The strips' frames below the data boxes, whose row stays the map's.
        EXPECT_EQ(im.At(0, 200), kFrameEdge);
        EXPECT_EQ(im.At(639, 200), kFrameEdge);
        EXPECT_NE(im.At(0, 8), kFrameEdge);
        EXPECT_GT(CountColour(im, kWhite, 1, 120, 88, 338), 300) << "airspeed scale and readout";
        EXPECT_GT(CountColour(im, kWhite, 551, 120, 638, 338), 300) << "altitude scale and readout";
        // The GOTO's source box in the map's lower right, the attitude inset in
        // its lower left, both inside the narrowed map (columns 90..549).
        EXPECT_GT(CountColour(im, kMagenta, 435, 367, 545, 427), 20) << "source box";
        EXPECT_GT(CountColour(im, kSky, 94, 379, 170, 439), 500) << "attitude inset";
        EXPECT_EQ(CountColour(im, kSky, 0, 379, 89, 439), 0);
    }
    // The readouts change with the values.
    EXPECT_NE(Shot("kt85-ft500").rgb, Shot("kt145-ft5000").rgb);

    const RgbImage off = Shot("airoff");
    EXPECT_NE(off.At(0, 200), kFrameEdge) << "no strips: the map is full width";
    EXPECT_GT(CountColour(off, kSky, 4, 379, 80, 439), 500) << "the inset in the full pane's corner";
    EXPECT_GT(CountColour(off, kMagenta, 525, 367, 635, 427), 20) << "the source box in the full pane's corner";
}

}  // namespace
