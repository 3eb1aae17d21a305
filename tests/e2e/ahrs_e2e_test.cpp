// An external AHRS end to end: streams from tools/ahrs-peer.py on serial port
// 0, the data log exported to the SD card through the maintenance page and
// read back with mtools, the aiding messages the unit sends decoded by the
// peer, and the magnetometer alignment walked through with the keys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

const std::string kPeer = std::string(KV_TOOLS_DIR) + "/ahrs-peer.py";

using Row = std::map<std::string, std::string>;

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, ',');) {
        const size_t a = cell.find_first_not_of(" \r"), b = cell.find_last_not_of(" \r");
        out.push_back(a == std::string::npos ? "" : cell.substr(a, b - a + 1));
    }
    return out;
}

class AhrsE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100ahrsXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    // A run with an air-data input that reads in flight (so the data log
    // records) until 55 s, then on the ground; at 60 s the last 20 minutes
    // of the data log go to the card: CHECK, NEXT PG, MAINT., DATA LOGS,
    // two knob steps of ten minutes, START.
    CommandResult RunWithDataLog(const std::string& type, const std::string& stream, const std::string& options) {
        std::ofstream(dir_ + "/SYSTEM.KVD") << "EFIS_INSTALLED, 1\nAHRS_TYPE, " << type
                                            << "\nNET_AHRS_MODE, 0\nAIR_INSTALLED, 1\nNET_AIR_MODE, 0\n";
        std::ofstream(dir_ + "/script.txt") << "0 adc air 0 1000\n0 adc air 5 6000\n11.9 press 3\n55 adc air 5 0\n"
                                               "60 press 5\n+1 press 5\n+1 press 2\n+1 press 3\n+1 press 2\n"
                                               "+1 knob 4 0.1\n+1 press 4\n";
        EXPECT_EQ(RunCommand(kPeer + " " + stream + " " + dir_ + "/in.bin " + options).status, 0);
        EXPECT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + dir_ + "/card.img --fat 16").status, 0);
        return RunKv5100("--headless --run-for 70 --flash " + dir_ + "/f.bin --tfs SYSTEM.KVD=" + dir_ +
                         "/SYSTEM.KVD --sd " + dir_ + "/card.img --script " + dir_ + "/script.txt --serial 0=file:" +
                         dir_ + "/in.bin," + dir_ + "/out.bin --print-syslog");
    }
    // The rows of the exported data log, by column name.
    std::vector<Row> DataLog() {
        const CommandResult list = RunCommand("MTOOLS_SKIP_CHECK=1 mdir -b -i " + dir_ + "/card.img ::");
        const size_t at = list.out.find(".ALD");
        EXPECT_NE(at, std::string::npos) << list.out;
        if (at == std::string::npos) return {};
        const std::string name = list.out.substr(list.out.rfind('/', at) + 1, at + 4 - list.out.rfind('/', at) - 1);
        const CommandResult text = RunCommand("MTOOLS_SKIP_CHECK=1 mtype -i " + dir_ + "/card.img ::" + name);
        std::stringstream in(text.out);
        std::string line;
        std::getline(in, line);   // the version line
        std::getline(in, line);
        const std::vector<std::string> head = Split(line);
        std::vector<Row> rows;
        while (std::getline(in, line)) {
            const std::vector<std::string> cells = Split(line);
            Row r;
            for (size_t i = 0; i < head.size() && i < cells.size(); ++i) r[head[i]] = cells[i];
            rows.push_back(r);
        }
        return rows;
    }
    static double Num(const Row& r, const char* column) { return std::atof(r.at(column).c_str()); }
    // The steady records: those written 5 s after the one before.
    static std::vector<std::pair<Row, Row>> FiveSecondPairs(const std::vector<Row>& rows) {
        std::vector<std::pair<Row, Row>> pairs;
        auto seconds = [](const Row& r) {
            const std::string& t = r.at("TIME");
            return std::atoi(t.substr(0, 2).c_str()) * 3600 + std::atoi(t.substr(3, 2).c_str()) * 60 +
                   std::atoi(t.substr(6, 2).c_str());
        };
        for (size_t i = 1; i < rows.size(); ++i)
            if (seconds(rows[i]) - seconds(rows[i - 1]) == 5) pairs.emplace_back(rows[i - 1], rows[i]);
        return pairs;
    }
    std::string dir_;
};

TEST_F(AhrsE2e, AsciiStreamTurnsInTheDataLogAndTakesNoAiding) {
    // A 25 degree bank from 5 s on at 120 kt: the heading moves 4.24 deg/s,
    // 21.2 degrees between records; the load factor 1/cos 25 = 1.10 g.
    const CommandResult r = RunWithDataLog("1", "dynon turn", "--seconds 75");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Serial Port:0, 115200 bps  DYNON AHRS"), std::string::npos) << r.out;
    const auto pairs = FiveSecondPairs(DataLog());
    ASSERT_GE(pairs.size(), 6u);
    for (const auto& [a, b] : pairs) {
        SCOPED_TRACE(b.at("TIME"));
        EXPECT_DOUBLE_EQ(Num(b, "ROLL"), 25.0);
        EXPECT_DOUBLE_EQ(Num(b, "PITCH"), 2.0);
        EXPECT_DOUBLE_EQ(Num(b, "G_METER"), 1.1);
        EXPECT_DOUBLE_EQ(Num(b, "SLIP"), 0.0);
        EXPECT_EQ(b.at("AHRS_STATUS"), "0x0000");
        const double turned = std::fmod(Num(b, "HEADING") - Num(a, "HEADING") + 360.0, 360.0);
        EXPECT_NEAR(turned, 21.2, 1.5);
    }
    EXPECT_EQ(ReadHostFile(dir_ + "/out.bin"), "") << "the ASCII AHRS takes no aiding";
}

TEST_F(AhrsE2e, BinaryStreamRollsInTheDataLogAndTakesAidingOnceASecond) {
    // A steady roll of 30 deg/s: 150 degrees between records, across +-180.
    const CommandResult r = RunWithDataLog("0", "xbow roll", "--seconds 75 --lead 8.5");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Serial Port:0, 9600 bps  XBOW AHRS"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("AHRS Model Number: 500\n"), std::string::npos) << r.out;
    const auto pairs = FiveSecondPairs(DataLog());
    ASSERT_GE(pairs.size(), 6u);
    for (const auto& [a, b] : pairs) {
        SCOPED_TRACE(b.at("TIME"));
        const double rolled = std::fmod(Num(b, "ROLL") - Num(a, "ROLL") + 360.0, 360.0);
        EXPECT_NEAR(rolled, 150.0, 1.5);
        EXPECT_LE(std::fabs(Num(b, "ROLL")), 180.0);
        EXPECT_DOUBLE_EQ(Num(b, "PITCH"), 1.99) << "2 degrees in 1/2^15 of 180, rounded down";
        EXPECT_DOUBLE_EQ(Num(b, "HEADING"), 90.0);
    }
    // Pressure altitude 999 ft goes as 99 tens of feet; every message sums right.
    const CommandResult aiding = RunCommand(kPeer + " decode-aiding " + dir_ + "/out.bin");
    std::stringstream in(aiding.out);
    int messages = 0;
    for (std::string line; std::getline(in, line); ++messages) {
        EXPECT_NE(line.find(" alt 990 ok"), std::string::npos) << line;
    }
    EXPECT_GE(messages, 40) << "once a second while the air data are valid";
    EXPECT_LE(messages, 50) << "none once the airspeed reads invalid at 55 s";
}

TEST_F(AhrsE2e, MagAlignWalksThroughItsStepsWithTheKeys) {
    // The peer's alignment: levelling done at 60 s, a turn of 390 degrees
    // from 100 s, iron calibration done at 130 s, heading offset at 170 s.
    std::ofstream(dir_ + "/SYSTEM.KVD") << "EFIS_INSTALLED, 1\nAHRS_TYPE, 0\nNET_AHRS_MODE, 0\n";
    ASSERT_EQ(RunCommand(kPeer + " xbow align " + dir_ + "/in.bin --seconds 220 --lead 8.5").status, 0);
    const std::string d = dir_;
    std::ofstream(dir_ + "/script.txt")
        << "11.9 press 3\n13 press 4\n+0.5 press 2\n+0.5 press 2\n+0.5 press 2\n"
           "+0.5 press 4   # EFIS, SETTINGS, MORE, AHRS, MAG ALIGN\n"
           "16 press 3\n+1 press 3   # START, CONTINUE: levelling\n"
           "18 screenshot " << d << "/s2.png\n"
           "70 screenshot " << d << "/s3.png\n"
           "75 press 3     # CONTINUE: the turn\n"
           "95 screenshot " << d << "/s4.png\n"
           "140 screenshot " << d << "/s9.png\n"
           "145 press 3    # CONTINUE: the heading offset\n"
           "150 screenshot " << d << "/s10.png\n"
           "190 screenshot " << d << "/s12.png\n";
    const CommandResult r = RunKv5100("--headless --run-for 191 --flash " + d + "/f.bin --tfs SYSTEM.KVD=" + d +
                                      "/SYSTEM.KVD --script " + d + "/script.txt --serial 0=file:" + d + "/in.bin," +
                                      d + "/out.bin --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("ERROR: AHRS Stat:0x7000, External Mag Align Required\n"), std::string::npos) << r.out;
    // The three bit lines show INVALID in yellow and VALID in green; the step
    // number moves on between shots with no key pressed between them.
    struct Shot { const char* name; int green, yellow; };
    const Shot shots[] = {{"s2", 0, 3}, {"s3", 1, 2}, {"s4", 1, 2}, {"s9", 2, 1}, {"s10", 2, 1}, {"s12", 3, 0}};
    std::map<std::string, RgbImage> img;
    for (const Shot& s : shots) {
        SCOPED_TRACE(s.name);
        ASSERT_TRUE(ReadPng(d + "/" + s.name + ".png", img[s.name]));
        const RgbImage& im = img[s.name];
        int green = 0, yellow = 0;
        for (int line = 0; line < 3; ++line) {
            int g = 0, y = 0;
            for (int py = 176 + 24 * line; py < 196 + 24 * line; ++py)
                for (int px = 280; px < 360; ++px) {
                    g += im.At(px, py) == 0x00FF00;
                    y += im.At(px, py) == 0xFFFF00;
                }
            green += g > 20;
            yellow += y > 20;
        }
        EXPECT_EQ(green, s.green);
        EXPECT_EQ(yellow, s.yellow);
        EXPECT_GT(im.Lit(110, 82, 530, 258), 2000) << "the alignment box";
    }
    auto stepField = [&img](const char* name) {
        std::vector<uint32_t> px;
        for (int y = 88; y < 108; ++y)
            for (int x = 420; x < 520; ++x) px.push_back(img[name].At(x, y));
        return px;
    };
    EXPECT_NE(stepField("s2"), stepField("s3")) << "levelling reported done";
    EXPECT_NE(stepField("s4"), stepField("s9")) << "the turn and the iron calibration";
    EXPECT_NE(stepField("s10"), stepField("s12")) << "the heading offset reported done";
}

}  // namespace
