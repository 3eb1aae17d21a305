// The weather as a pilot sees it, against the receiver simulator
// (tools/wx-receiver-sim.py) in the namespace rig, in real time, on a
// generated card with the GPS track: the master's METAR runway colours and
// the airport box's METAR page reached with the buttons; and a second unit
// on the same bridge as weather slave, fed through the master's port-2112
// relay, drawing the same METAR flags and TFR areas and going offline when
// the master announces status 0 on its way to calibration.
#include <gtest/gtest.h>

#include <string>

#include "support/map_e2e.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kYellow = 0xFFFF00, kCyan = 0x00FFFF, kMvfrGreen = 0x008800;

// I AGREE opens the map; three knob pushes put the knob on ZOOM; eighteen
// detents reach the closest zoom (12) even if a loop busy redrawing the map
// takes two of them as one (an even step, which does nothing).
const char kToMap[] = "14 press 3\n16 press 6\n17 press 6\n18 press 6\n21 knob 18 0.5\n";
// Two units: I AGREE on the master only, the slave follows its start-up
// notice (a press of its own would land on its map as -D->).
const char kBothToMap[] = "16 press 3\n18 press 6\n19 press 6\n20 press 6\n23 knob 18 0.7\n";

class WeatherUnits : public MapE2e {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MapE2e::SetUp());
        ASSERT_NO_FATAL_FAILURE(MakeCard("--db-pages"));
        ASSERT_NO_FATAL_FAILURE(MakeTrack());
        // The simulator's reports go in turn VFR, MVFR, IFR, LIFR: the four
        // airports about the start get one each, the private field beside the
        // start (the nearest at first) VFR, then the card's other K airports.
        const CommandResult ids = RunCommand(
            "/usr/bin/python3 -c \"import json; m = json.load(open('" + d_ +
            "/files/manifest.json')); print(','.join(['KBIG', 'KONE', 'KNOC', 'KZRO', 'KPVT'] + [a['id'] for a in "
            "m['airports'] if a['id'][0] == 'K' and abs(a['lat'] / 262144 - 45.26) < 2 and "
            "abs(a['lon'] / 262144 + 123.32) < 2]))\"");
        stations_ = ids.out.substr(0, ids.out.find('\n'));
        ASSERT_NE(stations_.find("KPVT,K"), std::string::npos) << ids.out;
    }
    // One unit NAME on the TAP named by TAPVAR, with its own flash, settings
    // NAME.kvd, script NAME.script and copy of the card.
    std::string RigUnit(const std::string& name, const std::string& tapVar, const std::string& mac, int seconds) const {
        const std::string p = d_ + "/" + name;
        EXPECT_EQ(RunCommand("cp " + d_ + "/card.img " + p + ".img").status, 0);
        return Unit("--env ETHERADD=" + mac + " --net tap:$" + tapVar + " " + Gps() + " --script " + p +
                        ".script --run-for " + std::to_string(seconds) + " >" + p + ".log 2>&1",
                    name + ".flash", name + ".kvd", name + ".img");
    }
    std::string Sim(int seconds, const std::string& options = "") const {
        return "cd " + d_ + "; /usr/bin/python3 " + Tool("wx-receiver-sim.py") + " --run-for " +
               std::to_string(seconds) + " --period 8 " + options + " --stations " + stations_ +
               " --tfr 45.2629,-122.6769 --time 2015-12-31T13:30 --log " + d_ + "/sim.log";
    }
    std::string SimLog() const { return ReadHostFile(d_ + "/sim.log"); }
    std::string stations_;
};

// The master at the closest zoom: KBIG's runways in its category's colour
// (VFR, cyan). NRST, INFO on the nearest (KPVT or KBIG, both VFR): the main
// page says "WX: VFR" in cyan; the METAR key turns to the decoded report.
TEST_F(WeatherUnits, TheMasterShowsMetarRunwayColoursAndTheMetarPage) {
    Write("master.kvd", MapSettings("NET_ENABLE, 1\nNET_WX_MODE, 1\n"));
    const std::string s = d_ + "/";
    Write("master.script", std::string(kToMap) + "33 screenshot " + s + "runways.png\n"
                           "34 press 2\n36 press 2\n38 screenshot " + s + "info.png\n"
                           "39 press 2\n41 screenshot " + s + "metar.png\n");
    const CommandResult r = RunCommand(Tool("netns-rig.sh") + " -t 52 '" +
                                       RigUnit("master", "KV_TAP", "02:00:00:00:00:af", 43) + "' '" + Sim(45) + "' 2>&1");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string log = Syslog("master.flash");
    ASSERT_NE(log.find("WX: METARS ("), std::string::npos) << log << SimLog();

    const RgbImage runways = Shot("runways"), info = Shot("info"), metar = Shot("metar");
    EXPECT_GT(CountColour(runways, kCyan, 0, 16, 639, 440), 1000) << "KBIG's eleven runways in cyan";
    // The information box in the lower-left corner, beside the runway diagram.
    constexpr int kBoxX0 = 0, kBoxY0 = 360, kBoxX1 = 254, kBoxY1 = 458;
    EXPECT_GT(CountColour(info, kCyan, 205, 374, kBoxX1, 392), 30) << "WX: VFR on the main page";
    EXPECT_EQ(CountColour(metar, kCyan, 205, 374, kBoxX1, 392), 0);
    EXPECT_GT(CountColour(metar, 0xFFFFFF, kBoxX0, kBoxY0, kBoxX1, kBoxY1), 300) << "the report's values";
    EXPECT_NE(CountColour(metar, 0xFFFFFF, kBoxX0, kBoxY0, kBoxX1, kBoxY1),
              CountColour(info, 0xFFFFFF, kBoxX0, kBoxY0, kBoxX1, kBoxY1));
}

// Every station reports a gusting wind that varies ("21005G15KT 180V240").
// NRST, INFO on the nearest (the private field: its main page and its METAR
// page), one knob step to the METAR page: the variation stands beside the
// wind's label and the visibility keeps its column; METAR shows the same page.
TEST_F(WeatherUnits, TheKnobReachesTheMetarPageWhereAVaryingWindKeepsClearOfTheVisibility) {
    Write("master.kvd", MapSettings("NET_ENABLE, 1\nNET_WX_MODE, 1\n"));
    const std::string s = d_ + "/";
    Write("master.script", std::string(kToMap) + "34 press 2\n36 press 2\n38 screenshot " + s + "info.png\n"
                           "39 knob 2 0.3\n41 screenshot " + s + "knob.png\n"
                           "42 press 2\n44 screenshot " + s + "metar.png\n");
    const std::string report = "'SPECI {id} {t} 21005G15KT 180V240 1/2SM FG OVC002 M01/M02 A2989 RMK AO2'";
    const CommandResult r = RunCommand(Tool("netns-rig.sh") + " -t 55 '" +
                                       RigUnit("master", "KV_TAP", "02:00:00:00:00:af", 46) + "' \"" +
                                       Sim(48, "--report " + report) + "\" 2>&1");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string log = Syslog("master.flash");
    ASSERT_NE(log.find("WX: METARS ("), std::string::npos) << log << SimLog();

    const RgbImage info = Shot("info"), knob = Shot("knob"), metar = Shot("metar");
    // The box's pages, left of the runway diagram (the map around them moves).
    auto box = [](const RgbImage& im) {
        std::string px;
        for (int y = 364; y <= 457; ++y)
            for (int x = 1; x <= 254; ++x) px += std::to_string(im.At(x, y)) + ",";
        return px;
    };
    EXPECT_NE(box(info), box(knob)) << "the knob left the main page";
    EXPECT_EQ(box(knob), box(metar)) << "the knob's page is the METAR page";
    constexpr uint32_t kWhite = 0xFFFFFF;
    EXPECT_GT(CountColour(knob, kWhite, 40, 366, 118, 379), 20) << "180V240 beside the wind's label";
    EXPECT_GT(CountColour(knob, kWhite, 5, 381, 100, 397), 100) << "21005G15KT";
    EXPECT_EQ(CountColour(knob, kWhite, 114, 381, 119, 397), 0) << "a gap before the visibility";
    EXPECT_GT(CountColour(knob, kWhite, 120, 381, 160, 397), 50) << "1/2SM";
}

// Master (175) and slave (176) on one bridge with the simulator. At zoom 8
// both draw the TFR areas (the active circle red, tomorrow's outline yellow)
// and the four flags (cyan, dark green, yellow, red) alike. The master then goes
// to calibration (CHECK, the maintenance page, key 4 held): its event 32
// with status 0 makes the slave drop the relay, and its status box shows
// OFFLINE with the red cross.
TEST_F(WeatherUnits, TheSlaveShowsTheMastersWeatherAndFollowsItsStatus) {
    Write("master.kvd", MapSettings("NET_ENABLE, 1\nNET_WX_MODE, 1\nNET_IP_ADR_LOCAL, 175\nNET_IP_ADR_OTHER, 176\n"));
    Write("slave.kvd", MapSettings("NET_ENABLE, 1\nNET_WX_MODE, 2\nNET_IP_ADR_LOCAL, 176\nNET_IP_ADR_OTHER, 175\n"));
    const std::string s = d_ + "/";
    // After 2 s of rest the first detent only wakes the knob: five give four
    // steps out, a second apart so that no two reach the loop as one.
    const std::string zoom8 = "39 knob -5 1\n";
    const std::string master = std::string(kBothToMap) + zoom8, slave = master.substr(master.find('\n') + 1);
    Write("master.script", master + "48 screenshot " + s + "master.png\n50 press 5\n52 press 2\n54 press 4 1.5\n");
    Write("slave.script", slave + "48 screenshot " + s + "slave.png\n64 screenshot " + s + "offline.png\n");
    const CommandResult r = RunCommand(Tool("netns-rig.sh") + " -t 74 -2 '" +
                                       RigUnit("slave", "KV_TAP2", "02:00:00:00:00:b0", 66) + "' '" +
                                       RigUnit("master", "KV_TAP", "02:00:00:00:00:af", 66) + "' '" + Sim(68) + "' 2>&1");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string masterLog = Syslog("master.flash"), slaveLog = Syslog("slave.flash");
    EXPECT_NE(masterLog.find("WX Master Shutdown"), std::string::npos) << masterLog;
    EXPECT_NE(slaveLog.find("WX: ssc"), std::string::npos) << slaveLog;
    EXPECT_NE(slaveLog.find("WX: METARS ("), std::string::npos) << slaveLog << SimLog();
    EXPECT_NE(slaveLog.find("WX: TFRS (2)(4)"), std::string::npos) << slaveLog;
    EXPECT_EQ(SimLog().find("connection 2"), std::string::npos) << "the slave never reaches the receiver itself";

    const RgbImage m = Shot("master"), sl = Shot("slave"), offline = Shot("offline");
    // The map above the status box; the aircraft moves a pixel or so between the two.
    struct Colour {
        const char* what;
        uint32_t rgb;
        int least;
    };
    const Colour colours[] = {{"the active circle and the LIFR flag", kRed, 400},
                              {"tomorrow's outline and the IFR flag", kYellow, 120},
                              {"the VFR flag", kCyan, 20},
                              {"the MVFR flag", kMvfrGreen, 20}};
    for (const Colour& c : colours) {
        SCOPED_TRACE(c.what);
        const int inMaster = CountColour(m, c.rgb, 0, 16, 639, 428), inSlave = CountColour(sl, c.rgb, 0, 16, 639, 428);
        EXPECT_GT(inMaster, c.least);
        EXPECT_NEAR(inSlave, inMaster, inMaster / 8 + 5);
    }
    // The status box in the pane's lower-right corner: the red cross once the master left.
    EXPECT_EQ(CountColour(sl, kRed, 590, 429, 639, 458), 0);
    EXPECT_GT(CountColour(offline, kRed, 590, 429, 639, 458), 20);
}

}  // namespace
