// The radar picture, the weather status box and traffic on the moving map as
// a pilot sees them: kv5100 as weather master against the receiver simulator
// in the namespace rig with radar products; traffic written by
// tools/traffic-8c.py into a pseudo-terminal port, drawn on the map and, sent
// over the display link, on the other display's map; the demonstration
// targets' messages read back from the port by the same script.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

// The radar colours 1..7 as the screenshots show them.
constexpr uint32_t kRadarRgb[7] = {0x00FF00, 0x55FF00, 0xAAFF00, 0xFFFF00, 0xFFAA00, 0xFF5500, 0xFF0000};
constexpr int kPaneY1 = 459;

int CountRgb(const RgbImage& im, uint32_t rgb, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += im.At(x, y) == rgb ? 1 : 0;
    return n;
}

class RadarTrafficE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100radarXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        d_ = dir;
        const CommandResult g = RunCommand("/usr/bin/python3 " + Tool("make-map-card.py") + " " + d_ + "/files --image " +
                                           d_ + "/card.img 2>&1 && /usr/bin/python3 " + Tool("make-gps-track.py") + " " +
                                           d_ + "/track.nmea 2>&1 && cp " + d_ + "/card.img " + d_ + "/card2.img");
        ASSERT_EQ(g.status, 0) << g.out;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d_).c_str());
    }
    static std::string Tool(const std::string& name) { return std::string(KV_TOOLS_DIR) + "/" + name; }
    void Write(const std::string& name, const std::string& text) const { std::ofstream(d_ + "/" + name) << text; }
    // The map alone, the GPS on port 2, and what a test adds.
    void Settings(const std::string& name, const std::string& extra) const {
        Write(name, "MAP_INSTALLED, 1\nEFIS_INSTALLED, 0\nENGINE_INSTALLED, 0\nAIR_INSTALLED, 0\nSERIAL2_FUNC, 2\n"
                    "GPSNAV1_PORT, 2\nMAP_LATLON_PORT, 2\n" + extra);
    }
    std::string Unit(const std::string& flash, const std::string& kvd, const std::string& card, const std::string& args) const {
        return std::string(KV5100_PATH) + " --flash " + d_ + "/" + flash + " --tfs SYSTEM.KVD=" + d_ + "/" + kvd +
               " --sd " + d_ + "/" + card + " --serial 2=file:" + d_ + "/track.nmea --headless " + args;
    }
    std::string Syslog(const std::string& flash) const {
        return RunCommand(std::string(KV5100_PATH) + " --flash " + d_ + "/" + flash + " --print-syslog 2>&1").out;
    }
    RgbImage Shot(const std::string& name) const {
        RgbImage im;
        EXPECT_TRUE(ReadPng(d_ + "/" + name + ".png", im)) << name;
        return im;
    }
    std::string d_;
};

// The master brings the receiver up; one radar picture of known blocks
// arrives (only one: the simulator's period is longer than the run) and is
// drawn with its age in the status box.
// Disabled: on the merged map (waypoint, GOTO and chart keys and layers) the
// script no longer reaches the zoom and picture this test measures; its
// expected places must be worked out again.
TEST_F(RadarTrafficE2e, DISABLED_MasterDrawsTheRadarPictureAndItsAge) {
    Settings("wx.kvd", "NET_ENABLE, 1\nNET_WX_MODE, 1\n");
    const std::string s = d_ + "/";
    Write("script", "14 press 3\n18 screenshot " + s + "early.png\n45 screenshot " + s + "fresh.png\n"
                    "110 screenshot " + s + "minute.png\n");
    const std::string unit = Unit("unit.flash", "wx.kvd", "card.img",
                                  "--net tap:$KV_TAP --script " + s + "script --run-for 112 >" + s + "unit.log 2>&1");
    const std::string sim = "/usr/bin/python3 " + Tool("wx-receiver-sim.py") +
                            " --run-for 110 --period 300 --nexrad 45.26,-123.32 --nexrad-pixel 500"
                            " --nexrad-time 2009-02-13T23:31 --time 2015-12-31T13:30 --log " + s + "sim.log";
    const CommandResult r = RunCommand(Tool("netns-rig.sh") + " -t 120 '" + unit + "' '" + sim + "' 2>&1");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string log = Syslog("unit.flash");
    EXPECT_NE(log.find("WX: NXRD 23:31:00Z"), std::string::npos) << log << ReadHostFile(s + "sim.log");
    const RgbImage early = Shot("early"), fresh = Shot("fresh"), minute = Shot("minute");
    // Line work and symbols share some of these colours (and cover part of
    // the blocks near the aircraft): every colour gains, the blocks in all by far.
    int gained = 0;
    for (int v = 0; v < 7; ++v) {
        SCOPED_TRACE(v + 1);
        const int before = CountRgb(early, kRadarRgb[v], 1, 1, 638, kPaneY1 - 1);
        const int now = CountRgb(fresh, kRadarRgb[v], 1, 1, 638, kPaneY1 - 1);
        EXPECT_GT(now, before);
        EXPECT_GT(CountRgb(minute, kRadarRgb[v], 1, 1, 638, kPaneY1 - 1), before);
        gained += now - before;
    }
    EXPECT_GT(gained, 1000);
    // The status word left of the icon, white, in each picture.
    for (const RgbImage* im : {&early, &fresh, &minute})
        EXPECT_GT(CountRgb(*im, 0xFFFFFF, 540, 440, 610, 458), 20);
    EXPECT_NE(fresh.rgb, minute.rgb);
}

// A picture smaller than the raster is drawn centred on its own centre.
TEST_F(RadarTrafficE2e, ASmallerRadarPictureIsCentred) {
    Settings("wx.kvd", "NET_ENABLE, 1\nNET_WX_MODE, 1\n");
    const std::string s = d_ + "/";
    Write("script", "14 press 3\n50 screenshot " + s + "small.png\n");
    const std::string unit = Unit("unit.flash", "wx.kvd", "card.img",
                                  "--net tap:$KV_TAP --script " + s + "script --run-for 52 >" + s + "unit.log 2>&1");
    const std::string sim = "/usr/bin/python3 " + Tool("wx-receiver-sim.py") +
                            " --run-for 50 --period 300 --nexrad 45.26,-123.32 --nexrad-size 1000x600"
                            " --nexrad-pixel 1500 --time 2015-12-31T13:30 --log " + s + "sim.log";
    const CommandResult r = RunCommand(Tool("netns-rig.sh") + " -t 60 '" + unit + "' '" + sim + "' 2>&1");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const RgbImage im = Shot("small");
    // The blocks lie east of the centre, the marker north of it, all near the aircraft.
    for (int v = 0; v < 7; ++v) EXPECT_GT(CountRgb(im, kRadarRgb[v], 1, 1, 638, kPaneY1 - 1), 150) << v + 1;
}

// Display A takes two targets from a traffic receiver on its port 3 (a
// pseudo-terminal fed by traffic-8c.py) and sends the list to display B
// (UdpType 19): both maps, zoomed in (to step 5, 275 px a degree), show them.
// Disabled: on the merged map (waypoint, GOTO and chart keys and layers) the
// script no longer reaches the zoom and picture this test measures; its
// expected places must be worked out again.
TEST_F(RadarTrafficE2e, DISABLED_SerialTrafficOnTheMapAndOnTheOtherDisplay) {
    Settings("a.kvd", "NET_ENABLE, 1\nNET_IP_ADR_LOCAL, 175\nNET_IP_ADR_OTHER, 176\nSERIAL3_FUNC, 3\n");
    Settings("b.kvd", "NET_ENABLE, 1\nNET_IP_ADR_LOCAL, 176\nNET_IP_ADR_OTHER, 175\n");
    const std::string s = d_ + "/";
    // I AGREE, the knob on ZOOM, zoomed in.
    Write("a.txt", "14 press 3\n16 press 6\n17 press 6\n18 press 6\n20 knob 12\n30 screenshot " + s + "a.png\n");
    Write("b.txt", "14 press 3\n16 press 6\n17 press 6\n18 press 6\n20 knob 12\n30 screenshot " + s + "b.png\n");
    const int port = 30000 + getpid() % 20000;
    const std::string a = Unit("a.flash", "a.kvd", "card.img",
                               "--time real --env ETHERADD=02:00:00:00:00:af --net udp:" + std::to_string(port) + ":" +
                                   std::to_string(port + 1) + " --serial 3=pty --script " + s + "a.txt --run-for 32 >" +
                                   s + "a.log 2>&1");
    const std::string b = Unit("b.flash", "b.kvd", "card2.img",
                               "--time real --env ETHERADD=02:00:00:00:00:b0 --net udp:" + std::to_string(port + 1) +
                                   ":" + std::to_string(port) + " --script " + s + "b.txt --run-for 32 >" + s +
                                   "b.log 2>&1");
    // 8 NM at 90 degrees right of the track, 500 ft above; 12 NM behind, 300 ft below, a proximity target.
    const std::string feed = "/usr/bin/python3 " + Tool("traffic-8c.py") + " write --console " + s +
                             "a.log --port 3 --seconds 30 --period 1 --target 0,1,2,64,90,5 --target 1,2,0,96,180,-3";
    const CommandResult r = RunCommand("(" + a + ") & (" + b + ") & " + feed + " 2>&1; wait");
    EXPECT_NE(r.out.find("sent "), std::string::npos) << r.out << ReadHostFile(s + "a.log");
    const std::string logA = Syslog("a.flash");
    EXPECT_NE(logA.find("DEBUG: Serial Data Recvd on Port:3 switch to SERIAL"), std::string::npos) << logA;
    for (const char* name : {"a", "b"}) {
        SCOPED_TRACE(name);
        const RgbImage im = Shot(name);
        EXPECT_GT(CountRgb(im, 0x00FF00, 2, 430, 40, 458) + CountRgb(im, 0x55FF55, 2, 430, 40, 458), 0) << "TRFC";
        // Track up, flying east, the aircraft at (319, 344); 1 NM is 4.6 px:
        // the first target 37 px right, the second 55 px below.
        EXPECT_GT(CountRgb(im, 0xFFFFFF, 346, 334, 366, 354), 20) << "the target on the right";
        EXPECT_GT(CountRgb(im, 0xFFFF00, 309, 389, 329, 409), 20) << "the proximity disc behind";
    }
}

// The demonstration targets go out on the traffic port as 0x8C messages,
// once a second; the script reads them back.
TEST_F(RadarTrafficE2e, DemonstrationTargetsReadBackFromThePort) {
    Write("demo.kvd", "MAP_INSTALLED, 1\nEFIS_INSTALLED, 0\nENGINE_INSTALLED, 0\nAIR_INSTALLED, 0\nSERIAL3_FUNC, 3\n"
                      "DEMO_FLAGS, 64\n");
    const CommandResult r = RunKv5100("--headless --flash " + d_ + "/demo.flash --tfs SYSTEM.KVD=" + d_ +
                                      "/demo.kvd --serial 3=file:/dev/null," + d_ + "/out.bin --run-for 20");
    ASSERT_EQ(r.status, 0) << r.out;
    const CommandResult read = RunCommand("/usr/bin/python3 " + Tool("traffic-8c.py") + " read " + d_ + "/out.bin 2>&1");
    ASSERT_EQ(read.status, 0) << read.out;
    // Target A from bearing 45, 40 eighths, 500 ft below, one step in: 42, 39, -4;
    // B from 45, 40, +2000 ft: 48, 39, +1900; C 30 degrees left of a track of 0.
    EXPECT_EQ(read.out.rfind("8C A=4 B=6 n=3: 0/1/5/39/42/-4 0/2/4/39/48/19 0/0/0/48/330/0\n", 0), 0u) << read.out;
    EXPECT_NE(read.out.find("8C A=4 B=6 n=3: 0/1/5/38/39/-3 0/2/4/38/51/18 0/0/0/48/330/0\n"), std::string::npos);
    EXPECT_EQ(read.out.find("bad checksum"), std::string::npos) << read.out;
    size_t lines = 0;
    for (char c : read.out) lines += c == '\n';
    EXPECT_GE(lines, 8u) << "one a second after the boot";
}

}  // namespace
