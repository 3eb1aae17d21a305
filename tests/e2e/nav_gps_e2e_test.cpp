// A GPS on a serial port end to end: a GPX track turned into RMC, GGA and WPL
// by gpsbabel, with RMB, APB and BOD for the active leg written by the test
// peer, fed a second at a time into port 3 of a headless kv5100: through a
// pseudo-terminal in real time, and replayed from a file at the port's rate
// by a GP receiver at 4,800 baud and a GN one at 9,600. The engine page's
// fuel box shows the fuel required to the waypoint from the GPS's distance
// and ground speed; the data log copied to the SD card follows the track;
// when the stream ends the unit logs the time-outs and, 10 s later, clears
// the slot. The demonstration GPS is the map's source.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
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

// "GREQ TO" in yellow over the waypoint KDEST and the fuel to it.
void ExpectFuelToKdest(const std::string& png) {
    RgbImage shot;
    ASSERT_TRUE(ReadPng(png, shot));
    const FuelBoxRows box = FuelBox(shot);
    EXPECT_GT(box.label, 40) << "GREQ TO";
    EXPECT_GT(box.waypoint, 40) << "the waypoint from BOD";
    EXPECT_NE(box.value.find('#'), std::string::npos);
}

// NMEA ddmm.mmmm of a magnitude in degrees.
std::string Dm(double deg, int degreeDigits) {
    char b[32];
    const int d = static_cast<int>(deg);
    std::snprintf(b, sizeof b, "%0*d%07.4f", degreeDigits, d, (deg - d) * 60.0);
    return b;
}

// The receiver on the port: its talker, and what it adds to the RMC that
// gpsbabel writes (the magnetic variation, an NMEA 2.3 mode letter).
struct Receiver {
    const char* name;
    const char* talker;
    int function;            // the port's function code
    int baud;                // the rate that function sets
    const char* variation;   // RMC fields 10 and 11; empty: left as gpsbabel writes them
    const char* mode;        // RMC field 12; empty: none
    int trackMag;            // whole degrees: 35 true plus the variation, west positive
};

// A straight track north-east at 120 kt, one point a second, toward KDEST.
constexpr double kLat0 = 44.80, kLon0 = -93.30, kDestLat = 45.30, kDestLon = -92.80;
constexpr double kTrack = 35.0, kSpeedKt = 120.0;

struct GpsStream {
    std::vector<std::pair<double, double>> pos;   // the GPX track's points
    std::vector<std::string> seconds;             // what the GPS sends in each second
};

// gpsbabel's sentence in the receiver's form: its talker, and the RMC's fields
// 10 to 12; the checksum is made again for a changed body.
std::string AsReceiver(const std::string& line, const Receiver& rx) {
    const size_t star = line.find('*');
    if (line.size() < 7 || line[0] != '$' || star == std::string::npos) return line + "\r\n";
    std::string body = line.substr(1, star - 1);
    const std::string original = body;
    body.replace(0, 2, rx.talker);
    if (body.compare(2, 4, "RMC,") == 0 && (*rx.variation || *rx.mode)) {
        std::vector<std::string> f;
        std::stringstream in(body);
        for (std::string v; std::getline(in, v, ',');) f.push_back(v);
        f.resize(12);
        if (*rx.variation) {
            const std::string var = rx.variation;
            f[10] = var.substr(0, var.find(','));
            f[11] = var.substr(var.find(',') + 1);
        }
        if (*rx.mode) f.push_back(rx.mode);
        body = f[0];
        for (size_t i = 1; i < f.size(); ++i) body += "," + f[i];
    }
    return body == original ? line + "\r\n" : nmea_peer::Sentence(body);
}

// The track as GPX through gpsbabel, and after each RMC the RMB, BOD and APB
// of the leg to KDEST (range and bearing on the sphere).
::testing::AssertionResult MakeGpsStream(const std::string& dir, const Receiver& rx, int points, GpsStream* out) {
    std::ofstream gpx(dir + "/route.gpx");
    gpx.precision(10);
    gpx << "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        << "<wpt lat=\"" << kDestLat << "\" lon=\"" << kDestLon << "\"><name>KDEST</name></wpt>\n<trk><trkseg>\n";
    for (int i = 0; i < points; ++i) {
        const double nm = kSpeedKt * i / 3600.0;
        const double lat = kLat0 + nm * std::cos(kTrack * kPi / 180) / 60.0;
        const double lon = kLon0 + nm * std::sin(kTrack * kPi / 180) / 60.0 / std::cos(kLat0 * kPi / 180);
        out->pos.emplace_back(lat, lon);
        char t[32];
        std::snprintf(t, sizeof t, "2026-05-01T12:%02d:%02dZ", i / 60, i % 60);
        gpx << "<trkpt lat=\"" << lat << "\" lon=\"" << lon << "\"><ele>500</ele><time>" << t
            << "</time><fix>3d</fix><sat>8</sat><speed>" << kSpeedKt * 1852 / 3600 << "</speed><course>" << kTrack
            << "</course></trkpt>\n";
    }
    gpx << "</trkseg></trk>\n</gpx>\n";
    gpx.close();
    const CommandResult babel = RunCommand("gpsbabel -i gpx -f " + dir + "/route.gpx -o nmea,gprmc=1,gpgga=1,gpvtg=0,gpgsa=0 -F " +
                                           dir + "/babel.nmea 2>&1");
    if (babel.status != 0) return ::testing::AssertionFailure() << babel.out;

    std::istringstream lines(ReadFile(dir + "/babel.nmea"));
    out->seconds.assign(1, "");
    const std::string talker = rx.talker;
    std::string line;
    int rmcs = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const bool rmc = line.rfind("$GPRMC", 0) == 0;
        if (rmc && !out->seconds.back().empty()) out->seconds.emplace_back();
        std::string& stream = out->seconds.back();
        stream += AsReceiver(line, rx);
        if (!rmc || rmcs >= points) continue;
        const double la1 = out->pos[rmcs].first * kPi / 180, lo1 = out->pos[rmcs].second * kPi / 180;
        const double la2 = kDestLat * kPi / 180, lo2 = kDestLon * kPi / 180;
        const double d = std::acos(std::sin(la1) * std::sin(la2) + std::cos(la1) * std::cos(la2) * std::cos(lo2 - lo1));
        const double brg = std::fmod(std::atan2(std::sin(lo2 - lo1) * std::cos(la2),
                                                std::cos(la1) * std::sin(la2) - std::sin(la1) * std::cos(la2) * std::cos(lo2 - lo1)) *
                                         180 / kPi + 360, 360);
        char rmb[160], bod[80], apb[120];
        std::snprintf(rmb, sizeof rmb, "%sRMB,A,0.00,R,START,KDEST,%s,N,%s,W,%05.1f,%05.1f,%05.1f,V,A", rx.talker,
                      Dm(kDestLat, 2).c_str(), Dm(-kDestLon, 3).c_str(), d * 180 / kPi * 60, brg, kSpeedKt);
        std::snprintf(bod, sizeof bod, "%sBOD,%05.1f,T,,M,KDEST,START", rx.talker, brg);
        std::snprintf(apb, sizeof apb, "%sAPB,A,A,0.00,R,N,V,V,%05.1f,T,KDEST,%05.1f,T,%05.1f,T", rx.talker, brg, brg, brg);
        stream += nmea_peer::Sentence(rmb) + nmea_peer::Sentence(bod) + nmea_peer::Sentence(apb);
        ++rmcs;
    }
    if (rmcs < points - 1) return ::testing::AssertionFailure() << rmcs << " RMC of " << points << ": " << out->seconds[0];
    if (out->seconds.size() < 2 || out->seconds[1].find(",A,") == std::string::npos)
        return ::testing::AssertionFailure() << "gpsbabel reports no fix";
    return ::testing::AssertionSuccess();
}

// The stream as a file the port replays at its rate: each second filled with
// blank lines to a second of the line, after 8 s of them for the boot (the
// board's UART takes bytes at 115,200 baud until the unit sets the port).
std::string PacedFile(const std::vector<std::string>& seconds, int baud) {
    std::string out(8 * 11520, '\n');
    for (size_t i = 0; i < out.size(); i += 2) out[i] = '\r';
    const size_t perSecond = static_cast<size_t>(baud / 10);
    for (const std::string& s : seconds) {
        out += s;
        for (size_t n = s.size(); n + 2 <= perSecond; n += 2) out += "\r\n";
    }
    return out;
}

// Seconds of the day of the time stamp after `what`, -1 when it is missing.
double StampOf(const std::string& text, const std::string& what) {
    const size_t at = text.find(what);
    if (at == std::string::npos) return -1;
    int h = 0, m = 0;
    double s = 0;
    if (std::sscanf(text.c_str() + at + what.size(), "%d:%d:%lf", &h, &m, &s) != 3) return -1;
    return h * 3600 + m * 60 + s;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

using Row = std::map<std::string, std::string>;

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
    // A file on the card read with mtools; the first whose name ends so.
    std::string CardFile(const std::string& suffix) {
        const std::string mt = "MTOOLS_SKIP_CHECK=1 ";
        const CommandResult dir = RunCommand(mt + "mdir -b -i " + dir_ + "/card.img ::");
        const size_t at = dir.out.find(suffix + "\n");
        if (at == std::string::npos) return "";
        const size_t from = dir.out.rfind('\n', at) + 1;
        return RunCommand(mt + "mtype -i " + dir_ + "/card.img " + dir.out.substr(from, at + suffix.size() - from)).out;
    }
    // The records of the data log on the card, by column name (after the version line and the header).
    std::vector<Row> DataLog() {
        std::istringstream in(CardFile(".ALD"));
        std::string line;
        std::getline(in, line);
        std::getline(in, line);
        auto cells = [](const std::string& text) {
            std::vector<std::string> out;
            std::stringstream fields(text);
            for (std::string c; std::getline(fields, c, ',');) {
                const size_t a = c.find_first_not_of(" \r"), b = c.find_last_not_of(" \r");
                out.push_back(a == std::string::npos ? "" : c.substr(a, b - a + 1));
            }
            return out;
        };
        const std::vector<std::string> head = cells(line);
        std::vector<Row> rows;
        while (std::getline(in, line)) {
            const std::vector<std::string> c = cells(line);
            if (c.size() != head.size()) continue;
            Row r;
            for (size_t i = 0; i < head.size(); ++i) r[head[i]] = c[i];
            rows.push_back(r);
        }
        return rows;
    }
    std::string dir_;
};

constexpr Receiver kGp4800{"Gp4800", "GP", 2, 4800, "", "", 35};

TEST_F(NavGpsE2e, GpsbabelTrackFeedsTheFuelBoxAndTimesOut) {
    if (RunCommand("command -v gpsbabel >/dev/null").status != 0) GTEST_SKIP() << "gpsbabel not installed";
    GpsStream gps;
    ASSERT_TRUE(MakeGpsStream(dir_, kGp4800, 150, &gps));
    const std::vector<std::string>& seconds = gps.seconds;

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

    ExpectFuelToKdest(dir_ + "/fuel.png");
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

// The same track replayed from a file at the port's rate, in board time, by
// each receiver; after the stream the pilot copies the data log and the
// system logs to the card from the maintenance page.
class NavGpsReceiverE2e : public NavGpsE2e, public ::testing::WithParamInterface<Receiver> {};

TEST_P(NavGpsReceiverE2e, TrackInTheDataLogFuelBoxAndTimeOuts) {
    if (RunCommand("command -v gpsbabel >/dev/null").status != 0) GTEST_SKIP() << "gpsbabel not installed";
    const Receiver& rx = GetParam();
    constexpr int kPoints = 60;
    GpsStream gps;
    ASSERT_TRUE(MakeGpsStream(dir_, rx, kPoints, &gps));
    std::ofstream(dir_ + "/gps.nmea", std::ios::binary) << PacedFile(gps.seconds, rx.baud);
    ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + dir_ + "/card.img --fat 16").status, 0);
    std::ofstream(dir_ + "/SYSTEM.KVD") << "ENGINE_INSTALLED, 1\nNET_ENG_MODE, 0\nAIR_INSTALLED, 1\nNET_AIR_MODE, 0\n"
                                           "EFIS_INSTALLED, 1\nSERIAL3_FUNC, " << rx.function
                                        << "\nGPSNAV1_PORT, 3\nMAP_LATLON_PORT, 3\nLOG_ENABLE, 1\n";
    std::ofstream(dir_ + "/ENGINE.KVD") << "ENGINE_TYPE, STD_4CYL\nFUEL_COMP.MIN, 0\nFUEL_COMP.MAX, 500\nFUEL_COMP.ENABLE, 1\n"
                                           "FUEL_FLOW.MIN, 0\nFUEL_FLOW.MAX, 200\nFUEL_FLOW.K_FACTOR, 680\nFUEL_FLOW.ENABLE, 1\n";
    // I AGREE, ENGINE, FUEL, MODE six times ("GREQ TO"); after the stream:
    // RETURN twice, CHECK, MAINT., ADMIN, DATA LOGS, the knob to 10 minutes,
    // START, then SYS LOGS and START.
    std::ofstream(dir_ + "/script.txt") << "0 pulses flow 189\n12 press 3\n14 press 3\n14.5 press 2\n15 press 2\n15.5 press 2\n"
                                           "16 press 2\n16.5 press 2\n17 press 2\n17.5 press 2\n30 screenshot "
                                        << dir_ << "/fuel.png\n80 press 1\n81 press 1\n82 press 5\n83 press 2\n84 press 3\n"
                                           "85 press 2\n86 knob 3\n87 press 4\n95 press 3\n96 press 4\n";
    const CommandResult run = RunKv5100("--headless --run-for 105 --flash " + dir_ + "/f.bin --tfs SYSTEM.KVD=" + dir_ +
                                        "/SYSTEM.KVD --tfs ENGINE.KVD=" + dir_ + "/ENGINE.KVD --sd " + dir_ +
                                        "/card.img --script " + dir_ + "/script.txt --serial 3=file:" + dir_ +
                                        "/gps.nmea --print-syslog");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Serial Port:3, " + std::to_string(rx.baud) + " bps"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("MSG_ERR:"), std::string::npos) << "gpsbabel's and the peer's sentences all pass";

    ExpectFuelToKdest(dir_ + "/fuel.png");

    // The stream stops: RMC times out 10 s after its last sentence, the data
    // turn invalid, and 10 s later the slot is cleared once (RAM log on the card).
    const double invalid = StampOf(run.out, "GPS NMEA: dataValid:0, RMC:0 @");
    EXPECT_GT(StampOf(run.out, "GPS NMEA: RMC Message Timeout @"), 0) << run.out;
    ASSERT_GT(invalid, 0) << run.out;
    const std::string ramLog = CardFile(".ALR");
    EXPECT_EQ(Count(ramLog, "GPS NMEA: MemSet @"), 1u) << ramLog;
    const double memset = StampOf(ramLog, "GPS NMEA: MemSet @");
    EXPECT_GE(memset - invalid, 10.0) << ramLog;
    EXPECT_LE(memset - invalid, 10.5) << "within two merge passes of the slot";

    // A record a second while the aircraft moves: each at one of the track's
    // points (to the NMEA's 0.001 minute and the log's 0.00001 degree), in
    // the track's order, with its speed and tracks.
    const std::vector<Row> rows = DataLog();
    ASSERT_GE(rows.size(), 30u) << CardFile(".ALD");
    size_t last = 0, points = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.at("TIME"));
        const double lat = std::atof(r.at("LATITUDE").c_str()), lon = std::atof(r.at("LONGITUDE").c_str());
        size_t near = 0;
        for (size_t i = 1; i < gps.pos.size(); ++i)
            if (std::fabs(gps.pos[i].first - lat) + std::fabs(gps.pos[i].second - lon) <
                std::fabs(gps.pos[near].first - lat) + std::fabs(gps.pos[near].second - lon))
                near = i;
        EXPECT_NEAR(lat, gps.pos[near].first, 2.5e-5);
        EXPECT_NEAR(lon, gps.pos[near].second, 2.5e-5);
        EXPECT_GE(near, last) << "the log flies the track forward";
        points += near != last;
        last = near;
        EXPECT_EQ(r.at("GROUND_SPD"), "120");
        EXPECT_EQ(r.at("TRACK_DTRUE"), "35");
        EXPECT_EQ(r.at("TRACK_DMAG"), std::to_string(rx.trackMag));
    }
    EXPECT_GE(points, 30u) << "distinct fixes";
    EXPECT_GE(last, static_cast<size_t>(kPoints - 2)) << "up to the end of the stream";
}

// A GPS receiver at 4,800 baud as gpsbabel writes it; a multi-constellation
// one at 9,600 with SBAS (mode D) and a variation of 3.1 degrees west.
INSTANTIATE_TEST_SUITE_P(Receivers, NavGpsReceiverE2e,
                         ::testing::Values(kGp4800, Receiver{"Gn9600", "GN", 19, 9600, "003.1,W", "D", 38}),
                         [](const ::testing::TestParamInfo<Receiver>& i) { return std::string(i.param.name); });

// The map settings' SRC key names the demonstration GPS as a GPS on the
// first source's port is named ("SRC/GPS1"), not as no source. The label's
// pixels are compared with the same key where a GPS on port 3 feeds slot 0
// and where no source is configured.
TEST_F(NavGpsE2e, DemoGpsIsTheMapSource) {
    // I AGREE, PAGE twice (the EFIS beside the map), MAP, SETTINGS.
    std::ofstream(dir_ + "/script.txt") << "12 press 3\n14 press 1\n16 press 1\n18 press 2\n20 press 4\n21 screenshot "
                                        << dir_ << "/src.png\n";
    const std::string installed = "EFIS_INSTALLED, 1\nENGINE_INSTALLED, 1\nNET_ENG_MODE, 0\nAIR_INSTALLED, 1\nNET_AIR_MODE, 0\n"
                                  "MAP_INSTALLED, 1\n";
    std::ofstream(dir_ + "/none.kvd") << installed;
    std::ofstream(dir_ + "/gps.kvd") << installed << "SERIAL3_FUNC, 2\nGPSNAV1_PORT, 3\nMAP_LATLON_PORT, 3\n";
    GpsStream gps;
    if (RunCommand("command -v gpsbabel >/dev/null").status != 0) GTEST_SKIP() << "gpsbabel not installed";
    ASSERT_TRUE(MakeGpsStream(dir_, kGp4800, 30, &gps));
    std::ofstream(dir_ + "/gps.nmea", std::ios::binary) << PacedFile(gps.seconds, 4800);

    // Soft key 5's label cell.
    auto label = [this](const std::string& name, const std::string& options) {
        const CommandResult run = RunKv5100("--headless --run-for 22 --flash " + dir_ + "/" + name + ".bin --script " +
                                            dir_ + "/script.txt " + options);
        EXPECT_EQ(run.status, 0) << run.out;
        RgbImage im;
        EXPECT_TRUE(ReadPng(dir_ + "/src.png", im)) << name;
        std::rename((dir_ + "/src.png").c_str(), (dir_ + "/" + name + ".png").c_str());
        std::string cell;
        for (int y = 462; y <= 478; ++y)
            for (int x = 405; x <= 520; ++x) cell += im.At(x, y) != 0 ? '#' : '.';
        return cell;
    };
    const std::string demo = label("demo", "--demo");
    const std::string gpsLabel = label("gps", "--tfs SYSTEM.KVD=" + dir_ + "/gps.kvd --serial 3=file:" + dir_ + "/gps.nmea");
    const std::string none = label("none", "--tfs SYSTEM.KVD=" + dir_ + "/none.kvd");
    EXPECT_GT(std::count(demo.begin(), demo.end(), '#'), 60) << "a label under key 5";
    EXPECT_EQ(demo, gpsLabel) << "SRC/GPS1";
    EXPECT_NE(demo, none) << "not SRC/NONE";
}

}  // namespace
