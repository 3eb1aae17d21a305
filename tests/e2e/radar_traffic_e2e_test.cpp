// The radar picture, the weather status box and traffic on the moving map as
// a pilot sees them: kv5100 as weather master against the receiver simulator
// in the namespace rig with radar products, the picture ageing out as the
// run goes on in virtual time; traffic written by tools/traffic-8c.py into a
// pseudo-terminal port, drawn on the map and, sent over the display link, on
// the other display's map; traffic from a file on the map and on a chart
// page; the demonstration targets' messages read back from the port.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "support/map_e2e.h"

namespace {

// The radar colours 1..7 as the screenshots show them.
constexpr uint32_t kRadarRgb[7] = {0x00FF00, 0x55FF00, 0xAAFF00, 0xFFFF00, 0xFFAA00, 0xFF5500, 0xFF0000};
constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kYellow = 0xFFFF00, kGreen = 0x00FF00;
constexpr int kPaneY1 = 459;
// The aircraft on the map pane: track up low in the pane, north up at its centre.
constexpr int kOwnX = 319, kTrackUpY = 344, kNorthUpY = 229;

int Around(const RgbImage& im, uint32_t rgb, int x, int y, int r) { return CountColour(im, rgb, x - r, y - r, x + r, y + r); }

class RadarTrafficE2e : public MapE2e {
protected:
    void SetUp() override {
        MapE2e::SetUp();
        gpsPort_ = 2;
        ASSERT_NO_FATAL_FAILURE(MakeCard());
        const CommandResult g = RunCommand("cp " + d_ + "/card.img " + d_ + "/card2.img");
        ASSERT_EQ(g.status, 0) << g.out;
        ASSERT_NO_FATAL_FAILURE(Track(""));
    }
    // The GPS track (make-gps-track.py with `args`; by default flying east
    // from the region's start at 120 kt for 40 s, then turning) twice: for a
    // unit's first boot, which sets its ports after 7.8 s, track.nmea, and
    // for the boots after it, which take 0.7 s, again.nmea; until then the
    // port takes the file at 115,200 baud.
    void Track(const std::string& args) {
        ASSERT_NO_FATAL_FAILURE(MakeTrack(args + " --lead 0.7"));
        const CommandResult g = RunCommand("mv " + d_ + "/track.nmea " + d_ + "/again.nmea");
        ASSERT_EQ(g.status, 0) << g.out;
        ASSERT_NO_FATAL_FAILURE(MakeTrack(args));
    }
    // A GPS standing at the region's start, 45.2629 N 122.6769 W, its track
    // 090 for the first leg of fixes, nine legs and 8 s of fixes in all.
    void StillTrack(int legSeconds = 40) { Track("--speed 0 --jump-at -1 --leg " + std::to_string(legSeconds)); }
    // The map alone, the GPS on port 2, and what a test adds.
    void Settings(const std::string& name, const std::string& extra) const { Write(name, MapSettings(extra)); }
    // kv5100 headless with the GPS track of a first boot, or of a later one.
    std::string Display(const std::string& flash, const std::string& kvd, const std::string& card,
                        const std::string& args, const char* track = "track.nmea") const {
        return Unit("--serial 2=file:" + d_ + "/" + track + " " + args, flash, kvd, card);
    }
    // A first flight in virtual time that sets the map up through the keys
    // and knob: I AGREE, then `keys`. Zoom and view stay in the clock's
    // memory for the runs after it, which take again.nmea.
    void SetUpMap(const std::string& flash, const std::string& kvd, const std::string& keys) const {
        Write(flash + ".script", "14 press 3\n" + keys);
        const CommandResult r = RunCommand(Display(flash, kvd, "card.img", "--time virtual --script " + d_ + "/" + flash +
                                                                               ".script --run-for 32 2>&1"));
        ASSERT_EQ(r.status, 0) << r.out;
    }
};

// Three pushes put the knob on ZOOM. The script's first knob line: its
// first detent meets phase A already high (no edge) and the next is the one
// after rest that the knob drops, so N detents are N - 2 zoom steps. Set in
// virtual time: a real-time board that falls behind the host clock during a
// redraw takes a detent's rise and fall at once and misses it.
const char* const kZoom5 = "16 press 6\n17 press 6\n18 press 6\n20 knob 7 0.3\n";

// Pixels of radar value v's colour in a 17 x 19 box around (x, y), inside its block.
int BlockPixels(const RgbImage& im, int v, int x, int y) { return CountColour(im, kRadarRgb[v - 1], x - 8, y - 9, x + 8, y + 9); }

// The master brings the receiver up and one radar picture of known blocks
// arrives (the simulator's period is longer than the run), centred on the
// standing aircraft; the map, north up at zoom 5, draws it with its age in
// the status box. Once the picture is a minute old the run cuts the link (the
// receiver answers at the host's pace, not the board's) and goes on in
// virtual time: 14 minutes on the picture is still drawn, 16 minutes on it
// has aged out and the box says "NXRD OLD".
TEST_F(RadarTrafficE2e, MasterDrawsTheRadarPictureUntilItAgesOut) {
    StillTrack(125);
    Settings("wx.kvd", "NET_ENABLE, 1\nNET_WX_MODE, 1\n");
    // Zoom 5, then SETTINGS and the knob push: north up.
    SetUpMap("unit.flash", "wx.kvd", std::string(kZoom5) + "24 press 4\n25 press 6\n");
    const std::string s = d_ + "/";
    // The picture arrives some seconds after the link is up, within 40 s even
    // on a loaded host: fresh at 40 s, a minute old at 100 s.
    Write("script", "14 press 3\n40 screenshot " + s + "fresh.png\n100 screenshot " + s +
                        "minute.png\n101 net link off\n101 time virtual\n900 screenshot " + s +
                        "aged14.png\n1030 screenshot " + s + "old.png\n");
    const std::string unit = Display("unit.flash", "wx.kvd", "card.img",
                                  "--net tap:$KV_TAP --script " + s + "script --run-for 1031 >" + s + "unit.log 2>&1",
                                  "again.nmea");
    // The receiver stays until the unit's run has ended (the rig stops the unit with it).
    const std::string sim = "/usr/bin/python3 " + Tool("wx-receiver-sim.py") +
                            " --run-for 200 --period 300 --nexrad 45.2629,-122.6769 --nexrad-pixel 100"
                            " --nexrad-time 2009-02-13T23:31 --time 2015-12-31T13:30 --log " + s + "sim.log & r=$!; "
                            "while kill -0 $r 2>/dev/null && ! grep -q \"run ended\" " + s + "unit.log; do sleep 0.5; done; "
                            "kill $r 2>/dev/null; true";
    const CommandResult r = RunCommand(Tool("netns-rig.sh") + " -t 210 '" + unit + "' '" + sim + "' 2>&1");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string log = Syslog("unit.flash");
    ASSERT_NE(log.find("WX: NXRD 23:31:00Z"), std::string::npos) << log << ReadHostFile(s + "sim.log");
    EXPECT_NE(ReadHostFile(s + "unit.log").find("run ended after 1031.000 s"), std::string::npos) << r.out;
    const RgbImage fresh = Shot("fresh"), minute = Shot("minute"), aged = Shot("aged14"), old = Shot("old");
    // Zoom 5 is 275 px a degree; a 100 m pixel is 100 / 111,320.64 degree,
    // 0.2470 px, both ways (the columns are narrowed by the cosine of the
    // scale latitude, the map's longitudes by that of its own). The centre
    // (column 1494, row 821) at the aircraft, (319, 229): block v spans
    // columns 1587 + 139 (v - 1) .. +92, i.e. x 342.0 + 34.34 (v - 1) .. +23,
    // rows 770..871, y 216.4..241.6; the marker columns 1471..1516 and rows
    // 565..769, x 313.3..324.7, y 165.8..216.2.
    const double left = 342.0, pitch = 139 * 0.247034;
    for (const RgbImage* im : {&fresh, &minute, &aged}) {
        SCOPED_TRACE(im == &fresh ? "fresh" : im == &minute ? "a minute old" : "14 minutes old");
        for (int v = 1; v <= 7; ++v)
            EXPECT_GT(BlockPixels(*im, v, static_cast<int>(left + pitch * (v - 1) + 11.5), kNorthUpY), 300) << v;
        EXPECT_GT(CountColour(*im, kRadarRgb[6], 316, 170, 322, 205), 220) << "the marker north of the centre";
    }
    for (int v = 1; v <= 7; ++v)
        EXPECT_LT(BlockPixels(old, v, static_cast<int>(left + pitch * (v - 1) + 11.5), kNorthUpY), 10) << v;
    EXPECT_LT(CountColour(old, kRadarRgb[6], 316, 170, 322, 205), 10);
    // The status word left of the icon: "NXRD -0m", "NXRD -1m", then with
    // the link gone the red cross and "NXRD OLD".
    const auto word = [](const RgbImage& im) {
        std::string w;
        for (int y = 440; y <= 458; ++y)
            for (int x = 540; x <= 612; ++x) w += im.At(x, y) == kWhite ? '#' : '.';
        return w;
    };
    for (const RgbImage* im : {&fresh, &minute, &old}) EXPECT_GT(CountColour(*im, kWhite, 540, 440, 612, 458), 20);
    EXPECT_NE(word(fresh), word(minute));
    EXPECT_NE(word(minute), word(old));
    EXPECT_EQ(CountColour(fresh, kRed, 612, 434, 639, 458), 0) << "no cross while the link runs";
    EXPECT_GT(CountColour(old, kRed, 612, 434, 639, 458), 20) << "the red cross";
}

// A picture smaller than the raster is drawn centred on its own centre.
TEST_F(RadarTrafficE2e, ASmallerRadarPictureIsCentred) {
    Settings("wx.kvd", "NET_ENABLE, 1\nNET_WX_MODE, 1\n");
    const std::string s = d_ + "/";
    Write("script", "14 press 3\n50 screenshot " + s + "small.png\n");
    const std::string unit = Display("unit.flash", "wx.kvd", "card.img",
                                  "--net tap:$KV_TAP --script " + s + "script --run-for 52 >" + s + "unit.log 2>&1");
    const std::string sim = "/usr/bin/python3 " + Tool("wx-receiver-sim.py") +
                            " --run-for 50 --period 300 --nexrad 45.26,-123.32 --nexrad-size 1000x600"
                            " --nexrad-pixel 1500 --time 2015-12-31T13:30 --log " + s + "sim.log";
    const CommandResult r = RunCommand(Tool("netns-rig.sh") + " -t 60 '" + unit + "' '" + sim + "' 2>&1");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const RgbImage im = Shot("small");
    // The blocks lie east of the centre, the marker north of it, all near the aircraft.
    for (int v = 0; v < 7; ++v) EXPECT_GT(CountColour(im, kRadarRgb[v], 1, 1, 638, kPaneY1 - 1), 150) << v + 1;
}

// Display A takes two targets from a traffic receiver on its port 3 (a
// pseudo-terminal fed by traffic-8c.py) and sends the list to display B
// (UdpType 19): both maps, zoomed in to step 5, show them.
TEST_F(RadarTrafficE2e, SerialTrafficOnTheMapAndOnTheOtherDisplay) {
    Settings("a.kvd", "NET_ENABLE, 1\nNET_IP_ADR_LOCAL, 175\nNET_IP_ADR_OTHER, 176\nSERIAL3_FUNC, 3\n");
    Settings("b.kvd", "NET_ENABLE, 1\nNET_IP_ADR_LOCAL, 176\nNET_IP_ADR_OTHER, 175\n");
    SetUpMap("a.flash", "a.kvd", kZoom5);
    SetUpMap("b.flash", "b.kvd", kZoom5);
    const std::string s = d_ + "/";
    // I AGREE on A, which accepts it on B too (user event 13): a press of
    // B's own would reach its map as -D-> and open FIND.
    Write("a.txt", "14 press 3\n30 screenshot " + s + "a.png\n");
    Write("b.txt", "30 screenshot " + s + "b.png\n");
    const int port = FreeUdpPortPair();
    const std::string a = Display("a.flash", "a.kvd", "card.img",
                               "--time real --env ETHERADD=02:00:00:00:00:af --net udp:" + std::to_string(port) + ":" +
                                   std::to_string(port + 1) + " --serial 3=pty --script " + s + "a.txt --run-for 32 >" +
                                   s + "a.log 2>&1",
                               "again.nmea");
    const std::string b = Display("b.flash", "b.kvd", "card2.img",
                               "--time real --env ETHERADD=02:00:00:00:00:b0 --net udp:" + std::to_string(port + 1) +
                                   ":" + std::to_string(port) + " --script " + s + "b.txt --run-for 32 >" + s +
                                   "b.log 2>&1",
                               "again.nmea");
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
        EXPECT_GT(CountColour(im, kGreen, 2, 430, 40, 458), 20) << "TRFC";
        // Track up, flying east (track 090), the aircraft at (319, 344);
        // zoom 5 is 275 px a degree, 4.583 px a nautical mile. The first
        // target on course 180, 8 NM: 36.7 px right, (356, 344), a white
        // diamond; the second on course 270, 12 NM: 55 px below, (319, 399),
        // a yellow disc of radius 8.
        EXPECT_GT(Around(im, kWhite, 356, kTrackUpY, 12), 20) << "the target on the right";
        EXPECT_GT(Around(im, kYellow, kOwnX, 399, 5), 100) << "the proximity disc behind";
    }
}

// Traffic fed from a file by traffic-8c.py (after its lead of empty messages,
// the boot before the port is set) on the map and on a chart page: the GPS
// stands at the region's start with track 090; the map at zoom 10 (eleven
// detents, the first two unseen), then NRST and CHART, page 0 of KAAK.
TEST_F(RadarTrafficE2e, FileTrafficOnTheMapAndOnAChartPage) {
    StillTrack();
    Settings("chart.kvd", "SERIAL3_FUNC, 3\n");
    const std::string s = d_ + "/";
    // 4 NM left of the track (course 000), 500 ft above, flying north; 6 NM
    // ahead (course 090), 300 ft below, descending, flying south, a proximity target.
    const CommandResult feed = RunCommand("/usr/bin/python3 " + Tool("traffic-8c.py") + " write " + s +
                                          "traffic.bin --seconds 40 --period 1 --target 0,0,0,32,270,5"
                                          " --target 1,2,4,48,0,-3 2>&1");
    ASSERT_EQ(feed.status, 0) << feed.out;
    Write("script", "14 press 3\n16 press 6\n17 press 6\n18 press 6\n21 knob 12\n23 screenshot " + s +
                        "map.png\n24 press 2\n27 press 3\n30 screenshot " + s + "chart.png\n");
    const CommandResult r = RunCommand(Display("flash", "chart.kvd", "card.img", "--serial 3=file:" + s +
                                                   "traffic.bin --script " + s + "script --run-for 31 --print-syslog 2>&1"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("DEBUG: Serial Data Recvd on Port:3 switch to SERIAL"), std::string::npos) << r.out;
    ASSERT_NE(r.out.find("CHART:KAAK, pg:0, AIRPORT DIAGRAM"), std::string::npos) << r.out;
    // Map, zoom 10: 2,062.5 px a degree, 34.38 px a nautical mile, track up
    // to the east: the first target 137.5 px left of the aircraft, (181, 344),
    // the second 206.3 px above it, (319, 138).
    const RgbImage map = Shot("map"), chart = Shot("chart");
    EXPECT_GT(CountColour(map, kGreen, 2, 430, 40, 458), 20) << "TRFC";
    EXPECT_GT(Around(map, kWhite, 181, kTrackUpY, 12), 20) << "the diamond left";
    EXPECT_GT(Around(map, kYellow, kOwnX, 138, 5), 100) << "the proximity disc ahead";
    // Page 0, 1,000 px a degree both ways from 122.85 W and 45.52 N: the
    // aircraft at (173, 257); 4 NM north is 0.0667 degree, (173, 190); 6 NM
    // east is 0.1 / cos 45.26 = 0.1421 degree of longitude, (315, 257).
    // Both in red (colour 2), the diamond's outline and the disc filled.
    EXPECT_GT(Around(chart, kRed, 173, 190, 12), 30) << "the diamond north of the aircraft";
    EXPECT_GT(Around(chart, kRed, 315, 257, 6), 150) << "the disc east of it";
    EXPECT_LT(Around(chart, kRed, 315 - 14, 257, 3) + Around(chart, kRed, 315, 257 - 14, 3), 5)
        << "the disc 14 px off would be 0.6 NM off";
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
