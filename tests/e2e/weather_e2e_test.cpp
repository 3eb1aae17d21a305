// kv5100 as weather master on a generated map card against the receiver
// simulator (tools/wx-receiver-sim.py) in the namespace rig, in real time:
// bring-up, METAR and TFR products, the web page beside the link, recovery.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

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

}  // namespace
