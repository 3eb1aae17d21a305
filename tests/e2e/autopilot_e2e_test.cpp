// The autopilot and the ARINC 429 adapter end to end: the adapter peer's
// stream (version, GPS words) replayed into port 4 of a headless kv5100, the
// pilot turning the steering on through the soft keys, and the frames the
// unit sends captured and decoded by the peer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "peers/arinc_peer.h"
#include "support/png_read.h"
#include "support/shell.h"

namespace {

using arinc_peer::BnrLine;
using arinc_peer::LineToImage;

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class AutopilotE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100apXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure() && !std::getenv("KV_KEEP")) std::system(("rm -rf " + dir_).c_str());
    }
    std::string dir_;
};

// A GPS behind the adapter: flying 090 true (variation 0) at 120 kt, a
// quarter mile right of a 120-degree course. Its messages follow each other
// at the port's rate for the whole run, a version message now and then.
std::string AdapterStream(double seconds) {
    const std::string g1 = arinc_peer::Message(
        'G', '1',
        arinc_peer::Words({LineToImage(BnrLine(310, 45.0, 180.0, 20)), LineToImage(BnrLine(311, -93.0, 180.0, 20)),
                           LineToImage(BnrLine(313, 90.0, 180.0, 12)), LineToImage(BnrLine(147, 0.0, 180.0, 11)),
                           LineToImage(BnrLine(312, 120.0, 4096.0, 15))}));
    const std::string g2 = arinc_peer::Message(
        'G', '2',
        arinc_peer::Words({LineToImage(BnrLine(114, 120.0, 180.0, 12)), LineToImage(BnrLine(116, 0.25, 128.0, 15)),
                           LineToImage(BnrLine(251, 20.0, 4096.0, 15))}));
    const std::string version = arinc_peer::Message('A', '0', "V1.07");
    std::string s;
    const size_t bytes = static_cast<size_t>(seconds * 5760);   // 57,600 bit/s
    for (int i = 0; s.size() < bytes; ++i) s += (i % 50 == 0 ? version : "") + g1 + g2;
    return s;
}

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

// The administrator's "autopilot output on" (settings image byte 64, bit 0),
// set in the flash copies of the image as its settings screen would store it.
bool EnableSteeringOutput(const std::string& flash) {
    std::fstream f(flash, std::ios::in | std::ios::out | std::ios::binary);
    bool any = false;
    for (uint32_t sector : {62u, 63u}) {
        const uint32_t base = sector * 0x20000;
        uint32_t header[2] = {};
        f.seekg(base);
        f.read(reinterpret_cast<char*>(header), sizeof header);
        if (!f || header[1] != base + 0x420) continue;
        uint32_t slot = 0;
        while (slot < 31 && !(header[0] & (1u << slot))) ++slot;
        uint8_t image[988];
        const uint32_t at = base + 0x420 + slot * 0xFC0;
        f.seekg(at);
        f.read(reinterpret_cast<char*>(image), sizeof image);
        image[64] |= 1;
        const uint32_t crc = Crc32(image, 984);
        std::memcpy(image + 984, &crc, 4);
        f.seekp(at);
        f.write(reinterpret_cast<const char*>(image), sizeof image);
        any = true;
    }
    return any && static_cast<bool>(f);
}

TEST_F(AutopilotE2e, AdapterCarriesTheRollCommandOntoTheGpsCourse) {
    std::ofstream(dir_ + "/in.bin", std::ios::binary) << AdapterStream(45);
    std::ofstream(dir_ + "/SYSTEM.KVD") << "EFIS_INSTALLED, 1\nNET_AHRS_MODE, 0\nAIR_INSTALLED, 1\nNET_AIR_MODE, 0\n"
                                           "SERIAL4_FUNC, 5\nSERIAL4_BAUD, 1\nGPSNAV1_PORT, 4\n";
    ASSERT_EQ(RunKv5100("--headless --run-for 10 --flash " + dir_ + "/f.bin").status, 0);
    ASSERT_TRUE(EnableSteeringOutput(dir_ + "/f.bin"));
    // I AGREE; SETTINGS, the steering menu: HDG ON, ALT ON.
    std::ofstream(dir_ + "/script.txt") << "12 press 3\n14 press 4\n14.5 press 3\n15 press 5\n15.5 press 2\n16 press 3\n";
    const CommandResult run = RunKv5100("--headless --run-for 40 --flash " + dir_ + "/f.bin --tfs SYSTEM.KVD=" + dir_ +
                                        "/SYSTEM.KVD --script " + dir_ + "/script.txt --serial 4=file:" + dir_ +
                                        "/in.bin," + dir_ + "/out.bin --print-syslog");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Count(run.out, "ARINC Version: V1.07"), 1) << run.out;
    // Armed by default, the lateral axis captures the course as soon as the GPS offers it.
    EXPECT_NE(run.out.find("INFO: AP Lateral Mode switch from OFFLINE to HNAV @"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("ARINC Bad CRC"), std::string::npos);

    const std::string out = ReadHostFile(dir_ + "/out.bin");
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out.substr(0, 2), "xR") << "the start-up commands before any frame";
    const arinc_peer::Stream s = arinc_peer::Split(out.substr(2));
    EXPECT_EQ(s.commands, "") << "nothing but whole frames after the start";
    // One frame every 50 ms from the main loop's start (at most 40 s, at least the last 25).
    EXPECT_LE(s.frames.size(), 40u * 20u + 1);
    EXPECT_GE(s.frames.size(), 25u * 20u);

    // Before the steering is on, the roll word is the bare label; once the
    // course is captured it commands a right turn towards 120 degrees,
    // within the bank limit of the slowest table speed (no airspeed: 12.4 degrees).
    ASSERT_FALSE(s.frames.empty());
    EXPECT_EQ(s.frames.front().word[2], 0x51u);
    const arinc_peer::Frame& last = s.frames.back();
    const arinc_peer::Decoded roll = arinc_peer::Roll121(last.word[2]);
    EXPECT_EQ(roll.label, 121u);
    EXPECT_EQ(roll.ssm, 3u);
    EXPECT_GT(roll.value, 5.0);
    EXPECT_LE(roll.value, 12.41);
    const arinc_peer::Decoded course = arinc_peer::Course100(last.word[0]);
    EXPECT_EQ(course.label, 100u);
    EXPECT_NEAR(course.value, 120.0, 0.05) << "the GPS's desired track, magnetic";
    EXPECT_EQ(last.word[5], 0xD4u);
    EXPECT_EQ(last.dim, 255);
}

}  // namespace
