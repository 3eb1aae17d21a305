// kv5100 as weather master on a generated map card against the receiver
// simulator (tools/wx-receiver-sim.py) in the namespace rig, in real time:
// bring-up, METAR and TFR products, the web page beside the link, recovery.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/map_e2e.h"

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class WeatherRig : public MapE2e {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MapE2e::SetUp());
        ASSERT_NO_FATAL_FAILURE(MakeCard());
        Write("system.kvd", "NET_ENABLE, 1\nNET_WX_MODE, 1\n");
        // Reports for the K airports within two degrees of the card's start position.
        const CommandResult ids = RunCommand(
            "/usr/bin/python3 -c \"import json; m = json.load(open('" + d_ +
            "/files/manifest.json')); print(','.join(a['id'] for a in m['airports'] if a['id'][0] == 'K' and "
            "abs(a['lat'] / 262144 - 45.26) < 2 and abs(a['lon'] / 262144 + 123.32) < 2))\"");
        stations_ = ids.out.substr(0, ids.out.find('\n'));
        ASSERT_FALSE(stations_.empty()) << ids.out;
    }
    // The unit in the rig, its output in unit.log.
    std::string RigUnit(const std::string& args) const {
        return Unit("--net tap:$KV_TAP " + args + " >" + d_ + "/unit.log 2>&1", "unit.flash");
    }
    std::string DemoUnit(int seconds, const std::string& extra = "") const {
        return RigUnit("--demo --run-for " + std::to_string(seconds) + " " + extra);
    }
    std::string Sim(int seconds, const std::string& extra = "") const {
        return "/usr/bin/python3 " + Tool("wx-receiver-sim.py") + " --run-for " + std::to_string(seconds) +
               " --period 8 --stations " + stations_ + " --tfr 45.26,-123.32 --time 2015-12-31T13:30 --log " + d_ +
               "/sim.log " + extra;
    }
    CommandResult Rig(int limit, const std::string& unit, const std::string& peer) {
        return RunCommand(Tool("netns-rig.sh") + " -t " + std::to_string(limit) + " '" + unit + "' '" + peer + "' 2>&1");
    }
    std::string Syslog() const { return MapE2e::Syslog("unit.flash"); }
    std::string SimLog() const { return RunCommand("cat " + d_ + "/sim.log").out; }
    std::string stations_;
};

// Brought up, products taken, and curl gets the page while the link runs;
// every frame from the receiver is sent in two segments.
TEST_F(WeatherRig, MasterBringsTheReceiverUpAndTakesItsProducts) {
    const std::string peer = "cd " + d_ + "; " + Sim(45, "--fault split") +
                             " & sleep 35; curl -sS --max-time 5 -o page.html http://192.168.0.175/; wait";
    const CommandResult r = Rig(60, DemoUnit(55), peer);
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
    const CommandResult page = RunCommand("cat " + d_ + "/page.html");
    EXPECT_NE(page.out.find("Vantorel!"), std::string::npos) << page.out;
}

// The first SYN to the receiver is lost on the wire: until the unit has sent
// it, the namespace side keeps telling the unit that 192.168.0.70 is at an
// address nobody has. TCP sends the SYN again to that address and gives up;
// the link starts over, asks again and connects.
TEST_F(WeatherRig, AFirstSynLostStillConnects) {
    std::ofstream(d_ + "/spoof.py") << R"(import os, time
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
    const std::string peer = "cd " + d_ + "; " + Sim(55) + " & /usr/bin/python3 spoof.py; wait";
    const CommandResult r = Rig(65, DemoUnit(60), peer);
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
    const std::string peer = "cd " + d_ + "; " + Sim(110, "--fault silent:5");
    const CommandResult r = Rig(120, DemoUnit(115), peer);
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
    ASSERT_NO_FATAL_FAILURE(MakeTrack());
    Write("system.kvd", "NET_ENABLE, 1\nNET_WX_MODE, 1\n" + MapSettings());
    // I AGREE opens the map; three knob pushes put the knob on ZOOM; zoom in.
    Write("script", "14 press 3\n16 press 6\n17 press 6\n18 press 6\n21 knob 6\n25 knob 4 0.3\n"
                    "29 knob 2 0.3\n32 screenshot " + d_ + "/tfr.png\n");
    const std::string unit = RigUnit("--run-for 36 " + Gps() + " --script " + d_ + "/script");
    const std::string sim = "cd " + d_ + "; /usr/bin/python3 " + Tool("wx-receiver-sim.py") + " --run-for 34 --period 8 --stations " +
                            stations_ + " --tfr 45.2629,-122.6769 --time 2015-12-31T13:30 --log " + d_ + "/sim.log";
    const CommandResult r = Rig(50, unit, sim);
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    EXPECT_NE(Syslog().find("WX: TFRS (2)(4)"), std::string::npos) << Syslog() << SimLog();
    RgbImage shot;
    ASSERT_TRUE(ReadPng(d_ + "/tfr.png", shot)) << RunCommand("cat " + d_ + "/unit.log").out;
    auto count = [&shot](uint32_t rgb, int x0, int y0, int x1, int y1) { return CountColour(shot, rgb, x0, y0, x1, y1); };
    constexpr uint32_t kRed = 0xFF0000, kYellow = 0xFFFF00;
    EXPECT_GT(count(kRed, 0, 0, 318, 340), 300) << "the active circle, up-left";
    EXPECT_EQ(count(kYellow, 0, 0, 318, 340), 0);
    EXPECT_GT(count(kYellow, 320, 350, 639, 459), 200) << "tomorrow's outline, down-right";
    EXPECT_LT(count(kRed, 320, 350, 639, 459), 50);
}

}  // namespace
