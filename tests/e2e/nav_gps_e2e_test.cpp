// A GPS on a serial port end to end: a GPX track turned into RMC, GGA and WPL
// by gpsbabel, with RMB and BOD for the active leg written by the test peer,
// written a second at a time into port 3 of a headless kv5100 (a pseudo-
// terminal at 4,800 baud). The
// engine page's fuel box shows the fuel required to the waypoint from the
// GPS's distance and ground speed; when the stream ends the unit logs the
// time-outs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "peers/nmea_peer.h"
#include "support/png_read.h"
#include "support/shell.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

constexpr double kPi = 3.14159265358979323846;

// The fuel box of the engine strip (page 3): lit pixels of its label and
// waypoint rows (their colours follow the fuel state) and the value's pattern.
struct FuelBoxRows { int label, waypoint; std::string value; };
FuelBoxRows FuelBox(const RgbImage& im) {
    FuelBoxRows r{im.Lit(28, 420, 80, 432), im.Lit(28, 434, 80, 445), ""};
    for (int y = 447; y <= 459; ++y)
        for (int x = 28; x <= 70; ++x) r.value += im.At(x, y) != 0 ? '#' : '.';
    return r;
}

// NMEA ddmm.mmmm of a magnitude in degrees.
std::string Dm(double deg, int degreeDigits) {
    char b[32];
    const int d = static_cast<int>(deg);
    std::snprintf(b, sizeof b, "%0*d%07.4f", degreeDigits, d, (deg - d) * 60.0);
    return b;
}

class NavGpsE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100navXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure() && !std::getenv("KV_KEEP")) std::system(("rm -rf " + dir_).c_str());
    }
    std::string dir_;
};

TEST_F(NavGpsE2e, GpsbabelTrackFeedsTheFuelBoxAndTimesOut) {
    if (RunCommand("command -v gpsbabel >/dev/null").status != 0) GTEST_SKIP() << "gpsbabel not installed";
    // A straight track north-east at 120 kt, one point a second, toward KDEST.
    const double lat0 = 44.80, lon0 = -93.30, destLat = 45.30, destLon = -92.80;
    const double track = 35.0, speedKt = 120.0;
    std::ofstream gpx(dir_ + "/route.gpx");
    gpx.precision(10);
    gpx << "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        << "<wpt lat=\"" << destLat << "\" lon=\"" << destLon << "\"><name>KDEST</name></wpt>\n<trk><trkseg>\n";
    const int points = 150;
    std::vector<std::pair<double, double>> pos;
    for (int i = 0; i < points; ++i) {
        const double nm = speedKt * i / 3600.0;
        const double lat = lat0 + nm * std::cos(track * kPi / 180) / 60.0;
        const double lon = lon0 + nm * std::sin(track * kPi / 180) / 60.0 / std::cos(lat0 * kPi / 180);
        pos.emplace_back(lat, lon);
        char t[32];
        std::snprintf(t, sizeof t, "2026-05-01T12:%02d:%02dZ", i / 60, i % 60);
        gpx << "<trkpt lat=\"" << lat << "\" lon=\"" << lon << "\"><ele>500</ele><time>" << t
            << "</time><fix>3d</fix><sat>8</sat><speed>" << speedKt * 1852 / 3600 << "</speed><course>" << track << "</course></trkpt>\n";
    }
    gpx << "</trkseg></trk>\n</gpx>\n";
    gpx.close();
    const CommandResult babel = RunCommand("gpsbabel -i gpx -f " + dir_ + "/route.gpx -o nmea,gprmc=1,gpgga=1,gpvtg=0,gpgsa=0 -F " +
                                           dir_ + "/babel.nmea 2>&1");
    ASSERT_EQ(babel.status, 0) << babel.out;

    // After each RMC: RMB and BOD of the leg to KDEST (range and bearing on the sphere).
    std::istringstream lines(ReadFile(dir_ + "/babel.nmea"));
    std::vector<std::string> seconds(1);   // what the GPS sends in each second
    std::string line;
    int rmcs = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.rfind("$GPRMC", 0) == 0 && !seconds.back().empty()) seconds.emplace_back();
        std::string& stream = seconds.back();
        stream += line + "\r\n";
        if (line.rfind("$GPRMC", 0) != 0 || rmcs >= points) continue;
        const double la1 = pos[rmcs].first * kPi / 180, lo1 = pos[rmcs].second * kPi / 180;
        const double la2 = destLat * kPi / 180, lo2 = destLon * kPi / 180;
        const double d = std::acos(std::sin(la1) * std::sin(la2) + std::cos(la1) * std::cos(la2) * std::cos(lo2 - lo1));
        const double brg = std::fmod(std::atan2(std::sin(lo2 - lo1) * std::cos(la2),
                                                std::cos(la1) * std::sin(la2) - std::sin(la1) * std::cos(la2) * std::cos(lo2 - lo1)) *
                                         180 / kPi + 360, 360);
        char rmb[160], bod[80];
        std::snprintf(rmb, sizeof rmb, "GPRMB,A,0.00,R,START,KDEST,%s,N,%s,W,%05.1f,%05.1f,%05.1f,V,A", Dm(destLat, 2).c_str(),
                      Dm(-destLon, 3).c_str(), d * 180 / kPi * 60, brg, speedKt);
        std::snprintf(bod, sizeof bod, "GPBOD,%05.1f,T,,M,KDEST,START", brg);
        stream += nmea_peer::Sentence(rmb) + nmea_peer::Sentence(bod);
        ++rmcs;
    }
    ASSERT_GT(rmcs, 100) << seconds[0];
    ASSERT_NE(seconds[1].find(",A,"), std::string::npos) << "gpsbabel reports the fix: " << seconds[1];

    std::ofstream(dir_ + "/SYSTEM.KVD") << "ENGINE_INSTALLED, 1\nNET_ENG_MODE, 0\nAIR_INSTALLED, 1\nNET_AIR_MODE, 0\n"
                                           "EFIS_INSTALLED, 1\nSERIAL3_FUNC, 2\nGPSNAV1_PORT, 3\nMAP_LATLON_PORT, 3\n";
    std::ofstream(dir_ + "/ENGINE.KVD") << "ENGINE_TYPE, STD_4CYL\nFUEL_COMP.MIN, 0\nFUEL_COMP.MAX, 500\nFUEL_COMP.ENABLE, 1\n"
                                           "FUEL_FLOW.MIN, 0\nFUEL_FLOW.MAX, 200\nFUEL_FLOW.K_FACTOR, 680\nFUEL_FLOW.ENABLE, 1\n";
    // I AGREE once booted (in real time, 8 to 10 s); ENGINE, FUEL, then MODE six times: "GREQ TO", the fuel
    // required to the waypoint. 10 gal/h from 189 Hz of fuel-flow pulses.
    std::ofstream(dir_ + "/script.txt") << "0 pulses flow 189\n14 press 3\n15 press 3\n15.5 press 2\n16 press 2\n16.5 press 2\n"
                                           "17 press 2\n17.5 press 2\n18 press 2\n18.5 press 2\n30 screenshot "
                                        << dir_ << "/fuel.png\n";
    // In real time: the GPS writes one second's sentences a second into the
    // unit's pseudo-terminal for 34 s, then stops.
    const std::string console = dir_ + "/console.txt";
    const std::string cmd = std::string(KV5100_PATH) + " --headless --time real --run-for 50 --flash " + dir_ +
                            "/f.bin --tfs SYSTEM.KVD=" + dir_ + "/SYSTEM.KVD --tfs ENGINE.KVD=" + dir_ +
                            "/ENGINE.KVD --script " + dir_ + "/script.txt --serial 3=pty --print-syslog >" + console +
                            " 2>&1; echo $? >" + dir_ + "/status";
    std::thread unit([cmd] { std::system(cmd.c_str()); });
    const int fd = OpenUnitPty(console, 3);
    ASSERT_GE(fd, 0) << ReadFile(console);
    const auto start = std::chrono::steady_clock::now();
    for (size_t n = 0; n < seconds.size() && n < 34; ++n) {
        if (write(fd, seconds[n].data(), seconds[n].size()) != static_cast<ssize_t>(seconds[n].size())) break;
        std::this_thread::sleep_until(start + std::chrono::seconds(n + 1));
    }
    unit.join();
    close(fd);
    const std::string out = ReadFile(console);
    ASSERT_EQ(ReadFile(dir_ + "/status"), "0\n") << out;
    EXPECT_NE(out.find("DEBUG: Serial Data Recvd on Port:3 switch to SERIAL"), std::string::npos) << out;
    EXPECT_NE(out.find("GPS NMEA: RMC Message Timeout @"), std::string::npos) << out;
    EXPECT_NE(out.find("GPS NMEA: dataValid:0, RMC:0 @"), std::string::npos) << out;
    EXPECT_EQ(out.find("MSG_ERR:"), std::string::npos) << "gpsbabel's and the peer's sentences all pass";

    // "GREQ TO" in yellow over the waypoint KDEST and the fuel to it.
    RgbImage shot;
    ASSERT_TRUE(ReadPng(dir_ + "/fuel.png", shot));
    const FuelBoxRows box = FuelBox(shot);
    EXPECT_GT(box.label, 40) << "GREQ TO";
    EXPECT_GT(box.waypoint, 40) << "the waypoint from BOD";
    EXPECT_NE(box.value.find('#'), std::string::npos);
}

// The demonstration GPS flies toward its first waypoint: the fuel required
// to it shrinks between two screenshots 20 s apart.
TEST_F(NavGpsE2e, DemoGpsFeedsTheFuelBox) {
    std::ofstream(dir_ + "/script.txt") << "9 press 3\n10 press 3\n10.5 press 2\n11 press 2\n11.5 press 2\n12 press 2\n"
                                           "12.5 press 2\n13 press 2\n13.5 press 2\n20 screenshot "
                                        << dir_ << "/a.png\n40 screenshot " << dir_ << "/b.png\n";
    const CommandResult run = RunKv5100("--demo --headless --run-for 41 --flash " + dir_ + "/f.bin --script " + dir_ +
                                        "/script.txt");
    ASSERT_EQ(run.status, 0) << run.out;
    RgbImage a, b;
    ASSERT_TRUE(ReadPng(dir_ + "/a.png", a));
    ASSERT_TRUE(ReadPng(dir_ + "/b.png", b));
    const FuelBoxRows first = FuelBox(a), later = FuelBox(b);
    EXPECT_GT(first.label, 40) << "GREQ TO";
    EXPECT_GT(first.waypoint, 40) << "DEMO1";
    EXPECT_EQ(first.waypoint, later.waypoint) << "still bound for DEMO1";
    EXPECT_NE(first.value, later.value) << "1.5 gallons to go, then 1.3";
}

}  // namespace
