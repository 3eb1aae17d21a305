// kv5100 as weather master on a generated map card against the receiver
// simulator (tools/wx-receiver-sim.py) in the namespace rig, in real time:
// bring-up, METAR and TFR products, the web page beside the link, recovery.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class WeatherRig : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100wxXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        const CommandResult g = RunCommand("/usr/bin/python3 " + Tool("make-map-card.py") + " " + dir_ +
                                           "/files --image " + dir_ + "/card.img 2>&1");
        ASSERT_EQ(g.status, 0) << g.out;
        std::ofstream(dir_ + "/SYSTEM.KVD") << "NET_ENABLE, 1\nNET_WX_MODE, 1\n";
        // Reports for the K airports within two degrees of the card's start position.
        const CommandResult ids = RunCommand(
            "/usr/bin/python3 -c \"import json; m = json.load(open('" + dir_ +
            "/files/manifest.json')); print(','.join(a['id'] for a in m['airports'] if a['id'][0] == 'K' and "
            "abs(a['lat'] / 262144 - 45.26) < 2 and abs(a['lon'] / 262144 + 123.32) < 2))\"");
        stations_ = ids.out.substr(0, ids.out.find('\n'));
        ASSERT_FALSE(stations_.empty()) << ids.out;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    static std::string Tool(const std::string& name) { return std::string(KV_TOOLS_DIR) + "/" + name; }
    std::string Unit(int seconds, const std::string& extra = "") const {
        return std::string(KV5100_PATH) + " --flash " + dir_ + "/unit.flash --demo --tfs SYSTEM.KVD=" + dir_ +
               "/SYSTEM.KVD --sd " + dir_ + "/card.img --headless --net tap:$KV_TAP --run-for " +
               std::to_string(seconds) + " " + extra + " >" + dir_ + "/unit.log 2>&1";
    }
    std::string Sim(int seconds, const std::string& extra = "") const {
        return "/usr/bin/python3 " + Tool("wx-receiver-sim.py") + " --run-for " + std::to_string(seconds) +
               " --period 8 --stations " + stations_ + " --tfr 45.26,-123.32 --time 2015-12-31T13:30 --log " + dir_ +
               "/sim.log " + extra;
    }
    CommandResult Rig(int limit, const std::string& unit, const std::string& peer) {
        return RunCommand(Tool("netns-rig.sh") + " -t " + std::to_string(limit) + " '" + unit + "' '" + peer + "' 2>&1");
    }
    std::string Syslog() const {
        return RunCommand(std::string(KV5100_PATH) + " --flash " + dir_ + "/unit.flash --print-syslog 2>&1").out;
    }
    std::string SimLog() const { return RunCommand("cat " + dir_ + "/sim.log").out; }
    std::string dir_, stations_;
};

// Brought up, products taken, and curl gets the page while the link runs;
// every frame from the receiver is sent in two segments.
TEST_F(WeatherRig, MasterBringsTheReceiverUpAndTakesItsProducts) {
    const std::string peer = "cd " + dir_ + "; " + Sim(45, "--fault split") +
                             " & sleep 35; curl -sS --max-time 5 -o page.html http://192.168.0.175/; wait";
    const CommandResult r = Rig(60, Unit(55), peer);
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string log = Syslog();
    EXPECT_EQ(Count(log, "WX: Running"), 1u) << log << SimLog();
    EXPECT_EQ(log.find("WX: Softcycle"), std::string::npos) << "one cycle marker only";
    const size_t stations = static_cast<size_t>(Count(stations_, ",") + 1);
    EXPECT_NE(log.find("WX: METARS (" + std::to_string(stations) + "/0)"), std::string::npos) << log;
    EXPECT_NE(log.find("WX: TFRS (2)(4)"), std::string::npos) << log;
    EXPECT_EQ(log.find("WX: trc"), std::string::npos) << log;
    EXPECT_EQ(SimLog().find("command 4a10e90000"), std::string::npos) << "step 233 never sent";
    EXPECT_NE(SimLog().find("command 4e0b"), std::string::npos) << SimLog();
    const CommandResult page = RunCommand("cat " + dir_ + "/page.html");
    EXPECT_NE(page.out.find("Vantorel!"), std::string::npos) << page.out;
}

// The first SYN to the receiver is lost on the wire: until the unit has sent
// it, the namespace side keeps telling the unit that 192.168.0.70 is at an
// address nobody has. TCP sends the SYN again to that address and gives up;
// the link starts over, asks again and connects.
TEST_F(WeatherRig, AFirstSynLostStillConnects) {
    std::ofstream(dir_ + "/spoof.py") << R"(import os, time
from scapy.all import ARP, AsyncSniffer, Ether, sendp
tap, fake, unit = os.environ["KV_TAP"], "02:de:ad:00:00:70", "00:50:c2:51:00:01"
seen = []
sniffer = AsyncSniffer(iface=tap, filter="tcp dst port 20001 and tcp[tcpflags] & tcp-syn != 0",
                       prn=lambda p: seen.append(p[Ether].dst), store=False)
sniffer.start()
lie = Ether(dst=unit, src=fake) / ARP(op=2, hwsrc=fake, psrc="192.168.0.70", hwdst=unit, pdst="192.168.0.175")
end = time.time() + 30
while not seen and time.time() < end:
    sendp(lie, iface=tap, verbose=False)
    time.sleep(0.01)
print("lost SYN to %s at %.3f" % (seen[0] if seen else "-", time.time()), flush=True)
time.sleep(0.5)
sniffer.stop()
)";
    const std::string peer = "cd " + dir_ + "; " + Sim(55) + " & /usr/bin/python3 spoof.py; wait";
    const CommandResult r = Rig(65, Unit(60), peer);
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string sim = SimLog();
    EXPECT_NE(Syslog().find("WX: Running"), std::string::npos) << Syslog() << sim;
    const std::string mark = "lost SYN to 02:de:ad:00:00:70 at ";
    const size_t lost = r.out.find(mark);
    ASSERT_NE(lost, std::string::npos) << r.out;
    const double lostAt = std::atof(r.out.c_str() + lost + mark.size());
    const size_t at = sim.find(" connection 1 ");
    ASSERT_NE(at, std::string::npos) << sim;
    const double connected = std::atof(sim.c_str() + (sim.rfind('\n', at) == std::string::npos ? 0 : sim.rfind('\n', at) + 1));
    EXPECT_LT(connected - lostAt, 25.0) << "within about 20 s of the lost SYN";
    EXPECT_GT(connected - lostAt, 15.0) << "TCP gave up first";
}

// A receiver that falls silent is dropped after 60 s without a frame, and the link comes back.
TEST_F(WeatherRig, ASilentReceiverIsLeftAndTheLinkComesBack) {
    const std::string peer = "cd " + dir_ + "; " + Sim(110, "--fault silent:5");
    const CommandResult r = Rig(120, Unit(115), peer);
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string log = Syslog();
    EXPECT_NE(log.find("WX: frnt"), std::string::npos) << log << SimLog();
    EXPECT_EQ(Count(log, "WX: Running"), 2u) << log << SimLog();
    EXPECT_NE(SimLog().find("connection 2"), std::string::npos) << SimLog();
}

// The map page of a master flying the generated GPS track: the receiver's
// TFR set is drawn about the start, the area active at the receiver's time
// (a circle north-east) in red, the one active only from the next day (an
// outline south-west) in yellow, each with its altitudes. The track heads
// east, track up: north-east lies up-left of the aircraft, south-west
// down-right.
TEST_F(WeatherRig, TheMapDrawsTheTfrAreasActiveInRedAndLaterInYellow) {
    const CommandResult track = RunCommand("/usr/bin/python3 " + Tool("make-gps-track.py") + " " + dir_ + "/track.nmea 2>&1");
    ASSERT_EQ(track.status, 0) << track.out;
    std::ofstream(dir_ + "/SYSTEM.KVD") << "NET_ENABLE, 1\nNET_WX_MODE, 1\nMAP_INSTALLED, 1\nEFIS_INSTALLED, 0\n"
                                           "ENGINE_INSTALLED, 0\nAIR_INSTALLED, 0\nSERIAL3_FUNC, 2\nGPSNAV1_PORT, 3\n"
                                           "MAP_LATLON_PORT, 3\n";
    // I AGREE opens the map; three knob pushes put the knob on ZOOM; zoom in.
    std::ofstream(dir_ + "/script") << "14 press 3\n16 press 6\n17 press 6\n18 press 6\n21 knob 6\n25 knob 4 0.3\n"
                                       "29 knob 3 0.3\n32 screenshot " << dir_ << "/tfr.png\n";
    const std::string unit = std::string(KV5100_PATH) + " --flash " + dir_ + "/unit.flash --tfs SYSTEM.KVD=" + dir_ +
                             "/SYSTEM.KVD --sd " + dir_ + "/card.img --headless --net tap:$KV_TAP --run-for 36 --serial 3=file:" +
                             dir_ + "/track.nmea --script " + dir_ + "/script >" + dir_ + "/unit.log 2>&1";
    const std::string sim = "cd " + dir_ + "; /usr/bin/python3 " + Tool("wx-receiver-sim.py") + " --run-for 34 --period 8 --stations " +
                            stations_ + " --tfr 45.2629,-122.6769 --time 2015-12-31T13:30 --log " + dir_ + "/sim.log";
    const CommandResult r = Rig(50, unit, sim);
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    EXPECT_NE(Syslog().find("WX: TFRS (2)(4)"), std::string::npos) << Syslog() << SimLog();
    RgbImage shot;
    ASSERT_TRUE(ReadPng(dir_ + "/tfr.png", shot)) << RunCommand("cat " + dir_ + "/unit.log").out;
    auto count = [&shot](uint32_t rgb, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += shot.At(x, y) == rgb;
        return n;
    };
    constexpr uint32_t kRed = 0xFF0000, kYellow = 0xFFFF00;
    EXPECT_GT(count(kRed, 0, 0, 318, 340), 300) << "the active circle, up-left";
    EXPECT_EQ(count(kYellow, 0, 0, 318, 340), 0);
    EXPECT_GT(count(kYellow, 320, 350, 639, 459), 200) << "tomorrow's outline, down-right";
    EXPECT_LT(count(kRed, 320, 350, 639, 459), 50);
}

}  // namespace
