// The weather as a pilot sees it, against the receiver simulator
// (tools/wx-receiver-sim.py) in the namespace rig, in real time, on a
// generated card with the GPS track: the master's METAR runway colours and
// the airport box's METAR page reached with the buttons; and a second unit
// on the same bridge as weather slave, fed through the master's port-2112
// relay, drawing the same METAR flags and TFR areas and going offline when
// the master announces status 0 on its way to calibration.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kYellow = 0xFFFF00, kCyan = 0x00FFFF, kMvfrGreen = 0x008800;

int CountColour(const RgbImage& im, uint32_t rgb, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += im.At(x, y) == rgb ? 1 : 0;
    return n;
}

// The map's settings for both units: map only, the GPS track on port 3.
const char kMapSettings[] = "NET_ENABLE, 1\nMAP_INSTALLED, 1\nEFIS_INSTALLED, 0\nENGINE_INSTALLED, 0\nAIR_INSTALLED, 0\n"
                            "SERIAL3_FUNC, 2\nGPSNAV1_PORT, 3\nMAP_LATLON_PORT, 3\n";
// I AGREE opens the map; three knob pushes put the knob on ZOOM; eighteen
// detents reach the closest zoom (12) even if a busy loop loses some.
const char kToMap[] = "14 press 3\n16 press 6\n17 press 6\n18 press 6\n21 knob 18 0.3\n";
// Two units: I AGREE on the master only, the slave follows its start-up
// notice (a press of its own would land on its map as -D->).
const char kBothToMap[] = "16 press 3\n18 press 6\n19 press 6\n20 press 6\n23 knob 18 0.3\n";

class WeatherUnits : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100wxsXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        d_ = dir;
        const CommandResult g = RunCommand("/usr/bin/python3 " + Tool("make-map-card.py") + " " + d_ +
                                           "/files --db-pages --image " + d_ + "/card.img 2>&1 && /usr/bin/python3 " +
                                           Tool("make-gps-track.py") + " " + d_ + "/track.nmea 2>&1");
        ASSERT_EQ(g.status, 0) << g.out;
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
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d_).c_str());
    }
    static std::string Tool(const std::string& name) { return std::string(KV_TOOLS_DIR) + "/" + name; }
    void Write(const std::string& name, const std::string& text) const { std::ofstream(d_ + "/" + name) << text; }
    // One unit NAME on the TAP named by TAPVAR, with its own flash, settings
    // NAME.kvd, script NAME.script and copy of the card.
    std::string Unit(const std::string& name, const std::string& tapVar, const std::string& mac, int seconds) const {
        const std::string p = d_ + "/" + name;
        EXPECT_EQ(RunCommand("cp " + d_ + "/card.img " + p + ".img").status, 0);
        return std::string(KV5100_PATH) + " --flash " + p +
               ".flash --env ETHERADD=" + mac + " --tfs SYSTEM.KVD=" + p + ".kvd --sd " + p +
               ".img --headless --net tap:$" + tapVar + " --serial 3=file:" + d_ + "/track.nmea --script " + p +
               ".script --run-for " + std::to_string(seconds) + " >" + p + ".log 2>&1";
    }
    std::string Sim(int seconds) const {
        return "cd " + d_ + "; /usr/bin/python3 " + Tool("wx-receiver-sim.py") + " --run-for " +
               std::to_string(seconds) + " --period 8 --stations " + stations_ +
               " --tfr 45.2629,-122.6769 --time 2015-12-31T13:30 --log " + d_ + "/sim.log";
    }
    std::string Syslog(const std::string& name) const {
        return RunCommand(std::string(KV5100_PATH) + " --flash " + d_ + "/" + name + ".flash --print-syslog 2>&1").out;
    }
    std::string SimLog() const { return ReadHostFile(d_ + "/sim.log"); }
    RgbImage Shot(const std::string& name) const {
        RgbImage im;
        EXPECT_TRUE(ReadPng(d_ + "/" + name + ".png", im)) << name << ReadHostFile(d_ + "/master.log");
        return im;
    }
    std::string d_, stations_;
};

// The master at the closest zoom: KBIG's runways in its category's colour
// (VFR, cyan). NRST, INFO on the nearest (KPVT or KBIG, both VFR): the main
// page says "WX: VFR" in cyan; the METAR key turns to the decoded report.
TEST_F(WeatherUnits, TheMasterShowsMetarRunwayColoursAndTheMetarPage) {
    Write("master.kvd", std::string(kMapSettings) + "NET_WX_MODE, 1\n");
    const std::string s = d_ + "/";
    Write("master.script", std::string(kToMap) + "32 screenshot " + s + "runways.png\n"
                           "33 press 2\n35 press 2\n37 screenshot " + s + "info.png\n"
                           "38 press 2\n40 screenshot " + s + "metar.png\n");
    const CommandResult r = RunCommand(Tool("netns-rig.sh") + " -t 50 '" +
                                       Unit("master", "KV_TAP", "02:00:00:00:00:af", 42) + "' '" + Sim(44) + "' 2>&1");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string log = Syslog("master");
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

// Master (175) and slave (176) on one bridge with the simulator. At zoom 8
// both draw the TFR areas (the active circle red, tomorrow's outline yellow)
// and the four flags (cyan, dark green, yellow, red) alike. The master then goes
// to calibration (CHECK, the maintenance page, key 4 held): its event 32
// with status 0 makes the slave drop the relay, and its status box shows
// OFFLINE with the red cross.
TEST_F(WeatherUnits, TheSlaveShowsTheMastersWeatherAndFollowsItsStatus) {
    Write("master.kvd", std::string(kMapSettings) + "NET_WX_MODE, 1\nNET_IP_ADR_LOCAL, 175\nNET_IP_ADR_OTHER, 176\n");
    Write("slave.kvd", std::string(kMapSettings) + "NET_WX_MODE, 2\nNET_IP_ADR_LOCAL, 176\nNET_IP_ADR_OTHER, 175\n");
    const std::string s = d_ + "/";
    // After 2 s of rest the first detent only wakes the knob: five give four
    // steps out, a second apart so that no two reach the loop as one.
    const std::string zoom8 = "31 knob -5 1\n";
    const std::string master = std::string(kBothToMap) + zoom8, slave = master.substr(master.find('\n') + 1);
    Write("master.script", master + "40 screenshot " + s + "master.png\n42 press 5\n44 press 2\n46 press 4 1.5\n");
    Write("slave.script", slave + "40 screenshot " + s + "slave.png\n56 screenshot " + s + "offline.png\n");
    const CommandResult r = RunCommand(Tool("netns-rig.sh") + " -t 66 -2 '" +
                                       Unit("slave", "KV_TAP2", "02:00:00:00:00:b0", 58) + "' '" +
                                       Unit("master", "KV_TAP", "02:00:00:00:00:af", 58) + "' '" + Sim(60) + "' 2>&1");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string masterLog = Syslog("master"), slaveLog = Syslog("slave");
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
