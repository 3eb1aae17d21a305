// Air data end to end: a scripted climb on the converter's altitude input
// leaves as altitude-encoder sentences on a serial port, and the
// demonstration configuration carries the airspeed limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/shell.h"

namespace {

class AirdataE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100airXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    std::string dir_;
};

// One "#AL" sentence as the encoder format publishes it: "#AL", a space, a
// sign, five digits of feet, "T", a signed two-digit temperature, then the
// 8-bit sum of those 14 characters in two upper-case hex digits. False for
// anything else.
bool DecodeAl(const std::string& s, int& feet) {
    if (s.size() != 16 || s.compare(0, 4, "#AL ") != 0 || (s[4] != '+' && s[4] != '-') || s[10] != 'T') return false;
    unsigned sum = 0;
    for (int i = 0; i < 14; ++i) sum += static_cast<unsigned char>(s[i]);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum & 0xFFu);
    if (s.compare(14, 2, hex) != 0) return false;
    feet = std::atoi(s.substr(5, 5).c_str()) * (s[4] == '-' ? -1 : 1);
    return true;
}

TEST(AlSentence, DecoderTakesThePublishedExamples) {
    int feet = 0;
    EXPECT_TRUE(DecodeAl("#AL +00210T+25D4", feet));
    EXPECT_EQ(feet, 210);
    EXPECT_TRUE(DecodeAl("#AL -00045T+45DE", feet));
    EXPECT_EQ(feet, -45);
    EXPECT_TRUE(DecodeAl("#AL -09980T+12E9", feet));
    EXPECT_FALSE(DecodeAl("#AL +00210T+25D5", feet));
}

TEST_F(AirdataE2e, AScriptedClimbLeavesAsEncoderSentences) {
    // Without AIRDATA.KVC the altitude reads its counts as feet: 1000 ft, then
    // a climb of 2000 ft over 20 s (100 ft a second) after I AGREE.
    std::ofstream(dir_ + "/SYSTEM.KVD") << "AIR_INSTALLED, 1\nNET_AIR_MODE, 0\nSERIAL3_FUNC, 16\n";
    std::ofstream(dir_ + "/script.txt") << "0 adc air 0 1000\n12 press 3\n15 adc air 0 3000 20\n";
    // A first boot sets up the clock memory; then a field altitude of 1200 ft
    // saved at the last shut-down: clock-memory
    // registers 35..36 (after the clock file's 16-byte header), LE.
    ASSERT_EQ(RunKv5100("--headless --run-for 10 --flash " + dir_ + "/f.bin").status, 0);
    {
        std::fstream rtc(dir_ + "/f.bin.rtc", std::ios::in | std::ios::out | std::ios::binary);
        rtc.seekp(16 + 35);
        rtc.write("\xB0\x04", 2);
        ASSERT_TRUE(rtc.good());
    }
    const CommandResult r = RunKv5100("--headless --run-for 40 --flash " + dir_ + "/f.bin --tfs SYSTEM.KVD=" + dir_ +
                                      "/SYSTEM.KVD --script " + dir_ + "/script.txt --serial 3=file:/dev/null," +
                                      dir_ + "/out.txt --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Serial Port:3, 1200 bps  GARMIN AT"), std::string::npos) << r.out;
    // Hand values: 1200 ft at about 1000 ft pressure altitude is near 30.137
    // inHg; of the three settings about it, 30.141 reads closest.
    EXPECT_NE(r.out.find("FieldAlt=1200, Delta=20"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", Baro=30141\n"), std::string::npos) << r.out;

    const std::string out = ReadHostFile(dir_ + "/out.txt");
    std::vector<int> feet;
    size_t start = 0;
    for (size_t cr = out.find('\r'); cr != std::string::npos; start = cr + 1, cr = out.find('\r', start)) {
        int ft = 0;
        ASSERT_TRUE(DecodeAl(out.substr(start, cr - start), ft)) << "line " << feet.size() << ": " << out;
        feet.push_back(ft);
    }
    EXPECT_EQ(start, out.size()) << "an unterminated line";
    // One a second from the boot (a few seconds) to the end of the 40 s run.
    ASSERT_GE(feet.size(), 30u);
    ASSERT_LE(feet.size(), 41u);
    EXPECT_EQ(feet.front(), 1000);
    EXPECT_EQ(feet.back(), 3000);
    // A second apart, a line is either level or 100 ft higher (the ramp's
    // first and last seconds may be cut short).
    int climbing = 0;
    for (size_t i = 1; i < feet.size(); ++i) {
        const int step = feet[i] - feet[i - 1];
        EXPECT_GE(step, 0) << "at line " << i;
        EXPECT_LE(step, 100) << "at line " << i;
        climbing += step == 100;
    }
    EXPECT_GE(climbing, 17);
}

TEST_F(AirdataE2e, DemoWritesTheAirspeedConfiguration) {
    const CommandResult r = RunKv5100("--headless --demo --run-for 12 --flash " + dir_ + "/f.bin --tfs-out AIRDATA.KVD=" +
                                      dir_ + "/AIRDATA.KVD --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Reading AIRDATA.KVD... Done"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("AIRDATA.KVD not present"), std::string::npos) << r.out;
    const std::string kvd = ReadHostFile(dir_ + "/AIRDATA.KVD");
    for (const char* line : {"AIRSPEED.VS0, 50\n", "AIRSPEED.VS1, 58\n", "AIRSPEED.VFE, 100\n", "AIRSPEED.VNO, 140\n",
                             "AIRSPEED.VNE, 170\n", "AIRSPEED.RED_HIGH, 1700\n"})
        EXPECT_NE(kvd.find(line), std::string::npos) << line << " in\n" << kvd;
}

}  // namespace
