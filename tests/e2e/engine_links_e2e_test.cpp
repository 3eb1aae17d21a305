// The engine links end to end: a simulated FADEC writes its messages on
// serial port 2 (a pseudo-terminal) of a kv5100 run in real time, the pilot
// opens the FADEC status page, and the engine data frame that the unit sends
// on port 3 is captured and decoded from the documented layout.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "peers/fadec_peer.h"
#include "support/png_read.h"
#include "support/shell.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Frame {
    uint8_t  seq;
    uint32_t valid;
    int16_t  value[32];
};

uint16_t U16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}

// Every 73-byte frame in the capture whose marker and byte sum are right.
std::vector<Frame> Frames(const std::string& bytes) {
    std::vector<Frame> out;
    for (size_t at = 0; at + 73 <= bytes.size(); ++at) {
        if (static_cast<uint8_t>(bytes[at]) != 0xA5 || static_cast<uint8_t>(bytes[at + 1]) != 0x45) continue;
        uint16_t sum = 0;
        for (size_t i = 0; i < 71; ++i) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(bytes[at + i]));
        if (sum != U16(bytes, at + 71)) continue;
        Frame f{};
        f.seq = static_cast<uint8_t>(bytes[at + 2]);
        for (int b = 0; b < 4; ++b) f.valid |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3 + b])) << (8 * b);
        for (int i = 0; i < 32; ++i) f.value[i] = static_cast<int16_t>(U16(bytes, at + 7 + 2 * i));
        out.push_back(f);
        at += 72;
    }
    return out;
}

class EngineLinks : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100linksXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    std::string dir_;
};

TEST_F(EngineLinks, FadecPeerFeedsTheReadingsThatTheEngineFrameCarries) {
    std::ofstream(dir_ + "/SYSTEM.KVD") << "ENGINE_INSTALLED, 2\nNET_ENG_MODE, 0\nAIR_INSTALLED, 1\nNET_AIR_MODE, 0\n"
                                           "EFIS_INSTALLED, 1\nSERIAL2_FUNC, 9\nSERIAL3_FUNC, 6\n";
    {
        std::ofstream kvd(dir_ + "/ENGINE.KVD");
        kvd << "ENGINE_TYPE, STD_4CYL\n";
        for (const char* inst : {"RPM", "MANIFOLD", "FUEL_PSI", "OIL_PSI", "OIL_TEMP", "CARB_TEMP", "EGT_1", "EGT_2",
                                 "EGT_3", "EGT_4", "EGT_5"})
            kvd << inst << ".ENABLE, 1\n";
    }
    // I AGREE once the boot (with the air data primed; real time, so with room
    // for a loaded machine) is over, then ENGINE and FADEC; the status page with the engine strip.
    std::ofstream(dir_ + "/script.txt") << "12 press 3\n13 press 3\n13.5 press 4\n15.5 screenshot " << dir_
                                        << "/fadec.png\n";
    const std::string console = dir_ + "/console.txt";
    const std::string cmd = std::string(KV5100_PATH) + " --headless --time real --run-for 16 --flash " + dir_ +
                            "/f.bin --tfs SYSTEM.KVD=" + dir_ + "/SYSTEM.KVD --tfs ENGINE.KVD=" + dir_ + "/ENGINE.KVD --script " + dir_ +
                            "/script.txt --serial 2=pty --serial 3=file:/dev/null," + dir_ +
                            "/frames.bin --print-syslog >" + console + " 2>&1; echo $? >" + dir_ + "/status";
    std::thread unit([cmd] { std::system(cmd.c_str()); });

    // The peer opens the unit's pseudo-terminal once kv5100 names it.
    const int fd = OpenUnitPty(console, 2);
    ASSERT_GE(fd, 0) << ReadFile(console);
    // Five messages a second until the run ends; one damaged message once
    // the unit is up (it boots in about 8 s).
    const std::vector<int16_t> fields = {2450, 245, 52, 620, 1850, 400, 13800, 13900, 14000, 14100};
    const auto start = std::chrono::steady_clock::now();
    bool damaged = false;
    for (int n = 0; ReadFile(dir_ + "/status").empty() && n < 200; ++n) {
        const bool bad = !damaged && std::chrono::steady_clock::now() - start > std::chrono::milliseconds(10500);
        damaged = damaged || bad;
        const std::string m = fadec_peer::Message(static_cast<uint8_t>(n), fields, 0, bad);
        if (write(fd, m.data(), m.size()) != static_cast<ssize_t>(m.size())) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    unit.join();
    close(fd);
    ASSERT_EQ(ReadFile(dir_ + "/status"), "0\n") << ReadFile(console);
    const std::string log = ReadFile(console);
    EXPECT_NE(log.find("Serial Port:2, 9600 bps  FADEC SBC-100 "), std::string::npos) << log;
    EXPECT_NE(log.find("ParseFadecMsg Bad CRC @"), std::string::npos) << log;

    // The frames: eight a second after the boot, each built one sent twice.
    const std::vector<Frame> frames = Frames(ReadFile(dir_ + "/frames.bin"));
    ASSERT_GT(frames.size(), 25u);
    int rebuilt = 0;
    for (size_t i = 1; i < frames.size(); ++i) rebuilt += frames[i].seq != frames[i - 1].seq;
    EXPECT_NEAR(rebuilt, static_cast<int>(frames.size()) / 2, 3);
    // The last frame carries what the FADEC sent (index = instrument - 9).
    const Frame& f = frames.back();
    EXPECT_EQ(f.value[1], 2450) << "RPM";
    EXPECT_EQ(f.value[2], 245) << "MANIFOLD";
    EXPECT_EQ(f.value[3], 52) << "FUEL_PSI";
    EXPECT_EQ(f.value[7], 620) << "OIL_PSI";
    EXPECT_EQ(f.value[8], 1850) << "OIL_TEMP";
    EXPECT_EQ(f.value[17], 13800) << "EGT_1";
    EXPECT_EQ(f.value[20], 14100) << "EGT_4";
    for (int i : {1, 2, 3, 7, 8, 9, 17, 18, 19, 20}) EXPECT_TRUE(f.valid & (1u << i)) << i;
    EXPECT_FALSE(f.valid & (1u << 21)) << "EGT_5: no reading from the FADEC";

    // The status page shows text in its pane above the engine strip.
    RgbImage shot;
    ASSERT_TRUE(ReadPng(dir_ + "/fadec.png", shot));
    int lit = 0;
    for (int y = 20; y < 120; ++y)
        for (int x = 10; x < 400; ++x) lit += shot.At(x, y) != 0;
    EXPECT_GT(lit, 300);
}

}  // namespace
