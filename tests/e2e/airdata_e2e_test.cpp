// Air data end to end: a scripted climb on the converter's altitude input
// leaves as altitude-encoder sentences on a serial port, and the
// demonstration configuration carries the airspeed limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/png_read.h"
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

// The airspeed calibration screen opened from the calibration list with the
// buttons, a point set with the knob in the pilot's unit (MPH) and recorded
// at the live A/D value, then saved: AIRDATA.KVC keeps it in tenths of a knot.
TEST_F(AirdataE2e, AirspeedCalibrationThroughTheButtons) {
    std::ofstream(dir_ + "/SYSTEM.KVD") << "AIR_INSTALLED, 1\nNET_AIR_MODE, 0\n";
    std::ofstream(dir_ + "/AIRDATA.KVD") << "AIRSPEED.UNITS, 1\n";
    std::ostringstream script;
    script << "0 adc air 5 3000\n3 release 5\n"
           << "14 press 2\n14.3 press 2\n14.6 press 4\n"   // 3. Airspeed, SELECT
           << "16 screenshot " << dir_ << "/open.png\n";
    for (int i = 0; i < 12; ++i) script << "+0.3 press 2\n";   // the second point's value
    // The turn's first detents after the rest are dropped (two here): 100
    // steps, each a tenth of a knot, as a tenth of a mile an hour is finer
    // than the kept tenth of a knot; 10.0 kt shows as 11.5 MPH.
    script << "+0.5 knob 102 0.05\n+6 screenshot " << dir_ << "/value.png\n"
           << "+0.5 press 6\n+0.5 press 4\n+1 screenshot " << dir_ << "/recorded.png\n"   // AD column, COPY
           << "+0.5 press 5\n+3 press 1\n+0.5 press 1\n";                                 // SAVE, leave
    std::ofstream(dir_ + "/script.txt") << script.str();
    const CommandResult r = RunKv5100("--headless --hold 62 --run-for 45 --flash " + dir_ + "/f.bin --tfs SYSTEM.KVD=" +
                                      dir_ + "/SYSTEM.KVD --tfs AIRDATA.KVD=" + dir_ + "/AIRDATA.KVD --script " + dir_ +
                                      "/script.txt --tfs-out AIRDATA.KVC=" + dir_ + "/kvc.txt --tfs-out AIRDATA.KVD=" +
                                      dir_ + "/kvd.txt --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\nENTERING CALIBRATION\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("LEAVING CALIBRATION\n"), std::string::npos) << r.out;

    RgbImage open, value, recorded;
    ASSERT_TRUE(ReadPng(dir_ + "/open.png", open));
    ASSERT_TRUE(ReadPng(dir_ + "/value.png", value));
    ASSERT_TRUE(ReadPng(dir_ + "/recorded.png", recorded));
    EXPECT_GT(open.Lit(210, 25, 400, 37), 50) << "the heading";
    EXPECT_GT(open.Lit(500, 41, 639, 53), 100) << "the live reading and A/D value";
    EXPECT_GT(open.Lit(210, 216, 330, 228), 50) << "the points' header";
    // The selected field is drawn in reverse: yellow behind the value.
    auto yellow = [](const RgbImage& image, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += image.At(x, y) == 0xFFFF00;
        return n;
    };
    EXPECT_GT(yellow(value, 210, 242, 300, 254), 50) << "the second point's value selected";
    EXPECT_GT(yellow(recorded, 403, 242, 480, 254), 50) << "then its A/D value";

    // 10.0 kt at the live A/D value, in tenths of a knot, the unit kept.
    const std::string kvc = ReadHostFile(dir_ + "/kvc.txt"), kvd = ReadHostFile(dir_ + "/kvd.txt");
    EXPECT_NE(kvc.find("AIRSPEED.NUM_CAL_PTS, 2\n"), std::string::npos) << kvc;
    EXPECT_NE(kvc.find("AIRSPEED.DISPLAY_VALUE_2, 100\n"), std::string::npos) << kvc;
    const size_t ad = kvc.find("AIRSPEED.AD_VALUE_2, ");
    ASSERT_NE(ad, std::string::npos) << kvc;
    EXPECT_NEAR(std::atoi(kvc.c_str() + ad + 21), 3000, 5) << kvc;
    EXPECT_NE(kvd.find("AIRSPEED.UNITS, 1\n"), std::string::npos) << kvd;
}

// A scripted flight in the flash data log, copied to the card from the
// maintenance page with the buttons and knob and read back with mtools: the
// altitude climbs 1000 ft in 20 s (3000 ft/min) while the airspeed reaches
// 120 kt, and both come back down to the ground speed of the copy.
TEST_F(AirdataE2e, ScriptedFlightInTheDataLogOnTheCard) {
    ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + dir_ + "/card.img --fat 16").status, 0);
    std::ofstream(dir_ + "/SYSTEM.KVD") << "AIR_INSTALLED, 1\nNET_AIR_MODE, 0\nLOG_ENABLE, 2\n";
    // Without AIRDATA.KVC the altitude reads its counts as feet and the
    // airspeed its counts as tenths of a knot.
    std::ofstream(dir_ + "/script.txt") << "0 adc air 0 1000\n12 press 3\n"       // I AGREE
                                        << "15 adc air 5 1200 10\n15 adc air 0 2000 20\n"
                                        << "40 adc air 5 0 5\n"                   // landed
                                        << "50 press 5\n52 press 2\n54 press 3\n"  // pages, MAINT., ADMIN
                                        << "56 press 2\n57 knob 3 0.2\n59 press 4\n";   // DATA LOGS, minutes, START
    const CommandResult r = RunKv5100("--headless --run-for 70 --flash " + dir_ + "/f.bin --sd " + dir_ +
                                      "/card.img --tfs SYSTEM.KVD=" + dir_ + "/SYSTEM.KVD --script " + dir_ +
                                      "/script.txt --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string mt = "MTOOLS_SKIP_CHECK=1 ";
    const CommandResult dir = RunCommand(mt + "mdir -b -i " + dir_ + "/card.img :: | grep -i '\\.ALD$'");
    ASSERT_EQ(dir.status, 0) << RunCommand(mt + "mdir -i " + dir_ + "/card.img ::").out << r.out;
    const CommandResult log = RunCommand(mt + "mtype -i " + dir_ + "/card.img " + dir.out.substr(0, dir.out.find('\n')));
    ASSERT_EQ(log.status, 0);

    // Column by name from the header, then the records.
    std::istringstream lines(log.out);
    std::string line;
    std::getline(lines, line);   // version line
    std::getline(lines, line);
    std::vector<std::string> names;
    for (size_t at = 0; at != std::string::npos;) {
        const size_t comma = line.find(',', at);
        std::string name = line.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        while (!name.empty() && name[0] == ' ') name.erase(0, 1);
        names.push_back(name);
        at = comma == std::string::npos ? comma : comma + 1;
    }
    auto column = [&names](const char* name) {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return static_cast<int>(i);
        return -1;
    };
    const int alt = column("ALTITUDE"), ias = column("AIRSPEED"), vsi = column("VERTSPEED"), baro = column("BARO");
    ASSERT_TRUE(alt >= 0 && ias >= 0 && vsi >= 0 && baro >= 0) << line;
    std::vector<std::vector<std::string>> recs;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string v; std::getline(fields, v, ',');) f.push_back(v);
        if (f.size() == names.size()) recs.push_back(f);
    }
    // One record every 2 s while the aircraft flies (above 25 kt).
    ASSERT_GE(recs.size(), 10u) << log.out;
    int maxIas = 0, climbing = 0;
    for (size_t i = 0; i < recs.size(); ++i) {
        SCOPED_TRACE(i);
        const int a = std::atoi(recs[i][alt].c_str()), v = std::atoi(recs[i][vsi].c_str());
        maxIas = std::max(maxIas, std::atoi(recs[i][ias].c_str()));
        EXPECT_EQ(recs[i][baro], " 29.92");
        if (i == 0) continue;
        const int step = a - std::atoi(recs[i - 1][alt].c_str());
        EXPECT_GE(step, 0) << "the altitude only climbs";
        if (step == 100) {   // a whole 2 s of the climb: 3000 ft/min
            ++climbing;
            EXPECT_NEAR(v, 3000, 30);
        }
    }
    EXPECT_GE(climbing, 5);
    EXPECT_NEAR(std::atoi(recs.front()[alt].c_str()), 1100, 100);
    EXPECT_NEAR(std::atoi(recs.back()[alt].c_str()), 2000, 10);
    EXPECT_EQ(maxIas, 120);
    EXPECT_LT(std::atoi(recs.back()[ias].c_str()), 60) << "slowing down";
    EXPECT_EQ(std::atoi(recs.back()[vsi].c_str()), 0) << "level again";
}

}  // namespace
