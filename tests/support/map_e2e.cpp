#include "support/map_e2e.h"

#include <stdlib.h>

#include <cstdlib>
#include <fstream>

int CountColour(const RgbImage& im, uint32_t rgb, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += im.At(x, y) == rgb ? 1 : 0;
    return n;
}

void MapE2e::SetUp() {
    char dir[] = "/tmp/kvmape2eXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    d_ = dir;
}

void MapE2e::TearDown() {
    if (!d_.empty() && !HasFailure() && !std::getenv("KV_KEEP")) std::system(("rm -rf " + d_).c_str());
}

std::string MapE2e::Tool(const std::string& name) { return std::string(KV_TOOLS_DIR) + "/" + name; }

void MapE2e::MakeCard(const std::string& options) {
    const std::string opts = options.empty() ? "" : options + " ";
    const CommandResult g = RunCommand("python3 " + Tool("make-map-card.py") + " " + d_ + "/files " + opts + "--image " +
                                       d_ + "/card.img 2>&1");
    ASSERT_EQ(g.status, 0) << g.out;
}

void MapE2e::MakeTrack(const std::string& options) {
    const std::string opts = options.empty() ? "" : options + " ";
    const CommandResult g = RunCommand("python3 " + Tool("make-gps-track.py") + " " + opts + d_ + "/track.nmea 2>&1");
    ASSERT_EQ(g.status, 0) << g.out;
}

void MapE2e::MakeMapUnit(const std::string& cardOptions, const std::string& trackOptions) {
    ASSERT_NO_FATAL_FAILURE(MakeCard(cardOptions));
    ASSERT_NO_FATAL_FAILURE(MakeTrack(trackOptions));
    Write("system.kvd", MapSettings());
}

void MapE2e::Write(const std::string& name, const std::string& text) const {
    std::ofstream f(d_ + "/" + name);
    ASSERT_TRUE(f) << name;
    f << text;
}

std::string MapE2e::MapSettings(const std::string& extra) const {
    const std::string port = std::to_string(gpsPort_);
    return "MAP_INSTALLED, 1\nEFIS_INSTALLED, 0\nENGINE_INSTALLED, 0\nAIR_INSTALLED, 0\nSERIAL" + port +
           "_FUNC, 2\nGPSNAV1_PORT, " + port + "\nMAP_LATLON_PORT, " + port + "\n" + extra;
}

std::string MapE2e::Gps() const { return "--serial " + std::to_string(gpsPort_) + "=file:" + d_ + "/track.nmea"; }

std::string MapE2e::Unit(const std::string& args, const std::string& flash, const std::string& kvd,
                         const std::string& card) const {
    return std::string(KV5100_PATH) + " --headless --flash " + d_ + "/" + flash + " --sd " + d_ + "/" + card +
           " --tfs SYSTEM.KVD=" + d_ + "/" + kvd + " " + args;
}

CommandResult MapE2e::RunScript(const std::string& extra, int seconds) const {
    return RunCommand(Unit(extra + " --script " + d_ + "/script --run-for " + std::to_string(seconds) + " --print-syslog") +
                      " 2>&1");
}

std::string MapE2e::Syslog(const std::string& flash) const {
    return RunKv5100("--flash " + d_ + "/" + flash + " --print-syslog").out;
}

RgbImage MapE2e::Shot(const std::string& name) const {
    RgbImage im;
    EXPECT_TRUE(ReadPng(d_ + "/" + name + ".png", im)) << name;
    return im;
}
