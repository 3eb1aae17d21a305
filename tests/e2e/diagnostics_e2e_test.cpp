// The diagnostics menu end to end: kv5100 started with the calibration
// button held, a script through the administrator settings to item 22; the
// loop-back test with a plug on port 2, the alarm output, the colour chart;
// the ARINC GPS test page fed by the adapter peer's stream on port 3; and
// the ARINC adapter upgrade from the maintenance menu (item 21) against the
// boot loader on port 3, with ARINC.HEX made by srec_cat.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "peers/arinc_peer.h"
#include "support/png_read.h"
#include "support/shell.h"
#include "support/timed_script.h"

namespace {

namespace ap = arinc_peer;

class DiagE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100diagXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure() && !std::getenv("KV_KEEP")) std::system(("rm -rf " + dir_).c_str());
    }
    // From the calibration list to the diagnostics menu (item 22).
    struct Script : TimedScript {
        Script& ToDiagnostics() {
            Do("press 4", 1.5).Repeat("press 2", 21).Do("press 4", 1.5);
            return *this;
        }
    };
    CommandResult Run(const Script& s, const std::string& more) {
        std::ofstream(dir_ + "/script.txt") << s.text;
        return RunKv5100("--headless --demo --hold 62 --flash " + dir_ + "/f.bin --run-for " +
                         std::to_string(static_cast<int>(s.t) + 3) + " --script " + dir_ + "/script.txt --print-syslog " +
                         more);
    }
    RgbImage Shot(const std::string& name) {
        RgbImage image;
        EXPECT_TRUE(ReadPng(dir_ + "/" + name, image)) << name;
        return image;
    }
    std::string dir_;
};

TEST_F(DiagE2e, LoopbackAlarmOutputAndColourChart) {
    Script s;
    s.ToDiagnostics();
    s.Do("screenshot " + dir_ + "/menu.png")
        .Do("press 2").Do("press 4", 2).Do("screenshot " + dir_ + "/loop.png").Do("press 4", 1)   // row 2
        .Do("press 2").Do("press 2").Do("press 2")                                                // row 5
        .Do("knob 3 0.1", 1).Do("screenshot " + dir_ + "/toggle.png")
        .Repeat("press 2", 5).Do("press 4", 2).Do("screenshot " + dir_ + "/chart.png")           // row 10
        .Do("press 1", 1).Do("press 1", 1);
    const CommandResult r = Run(s, "--serial 2=loop");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Color Indexes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("GUI_WHITE:"), std::string::npos);
    EXPECT_NE(r.out.find("GUI_DARKGRAY:"), std::string::npos);

    const RgbImage menu = Shot("menu.png"), loop = Shot("loop.png"), toggle = Shot("toggle.png"),
                   chart = Shot("chart.png");
    EXPECT_GT(menu.Lit(210, 41, 450, 41 + 9 * 15 + 11), 1000) << "ten rows";
    EXPECT_EQ(menu.Lit(200, 192, 639, 458), 0) << "nothing below the list";
    // Sending and receiving lines: the echo is drawn after "Recieve (nnnn): ".
    EXPECT_GT(loop.Lit(210, 191 + 10, 500, 191 + 22), 200) << "Sending";
    EXPECT_GT(loop.Lit(330, 191 + 26, 500, 191 + 40), 150) << "the echoed line";
    EXPECT_GT(toggle.Lit(450, 41 + 4 * 15, 550, 41 + 4 * 15 + 11), 50) << "row 5's state";
    EXPECT_GT(chart.Lit(215, 41, 550, 459), 50000) << "the palette chart";
}

TEST_F(DiagE2e, ArincGpsTestPageShowsTheAdapterAndSendsTheHeading) {
    const std::string g1 = ap::Message(
        'G', '1',
        ap::Words({ap::LineToImage(ap::BnrLine(310, 45.0, 180.0, 20)), ap::LineToImage(ap::BnrLine(311, -93.0, 180.0, 20)),
                   ap::LineToImage(ap::BnrLine(313, 90.0, 180.0, 12)), ap::LineToImage(ap::BnrLine(312, 120.0, 4096.0, 15)),
                   ap::LineToImage(ap::BnrLine(114, 45.0, 180.0, 12, 1))}));
    std::string in;
    while (in.size() < 40 * 5760) in += ap::Message('A', '0', "V1.07") + g1;   // 40 s at 57,600 bit/s
    std::ofstream(dir_ + "/in.bin", std::ios::binary) << in;
    std::ofstream(dir_ + "/SYSTEM.KVD") << "SERIAL3_FUNC, 5\nSERIAL3_BAUD, 1\n";
    Script s;
    s.ToDiagnostics();
    s.Repeat("press 2", 8).Do("press 4", 2)   // row 9: GPS
        .Do("knob -3 0.1", 2).Do("screenshot " + dir_ + "/gps.png")
        .Do("press 4", 1).Do("screenshot " + dir_ + "/back.png").Do("press 1", 1);
    const CommandResult r = Run(s, "--tfs SYSTEM.KVD=" + dir_ + "/SYSTEM.KVD --serial 3=file:" + dir_ + "/in.bin," +
                                       dir_ + "/out.bin");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Entering ARINC test"), std::string::npos) << r.out;
    const ap::Stream out = ap::Split(ReadHostFile(dir_ + "/out.bin"));
    ASSERT_GT(out.frames.size(), 20u);
    const ap::Decoded h = ap::Heading320(out.frames.back().word[4]);
    EXPECT_EQ(h.label, 320u);
    EXPECT_NEAR(std::fmod(h.value + 360.0, 360.0), 359.0, 0.01) << "the knob turned left from 0";
    const RgbImage gps = Shot("gps.png"), back = Shot("back.png");
    EXPECT_GT(gps.Lit(210, 56, 500, 100), 500) << "alive, version and count";
    EXPECT_GT(gps.Lit(210, 308, 639, 320), 200) << "Lat/Lon";
    bool red = false;
    for (int x = 210; x < 639 && !red; ++x)
        for (int y = 200; y < 212 && !red; ++y) red = gps.At(x, y) == 0xFF0000;
    EXPECT_TRUE(red) << "Des.Track with SSM 1";
    EXPECT_GT(back.Lit(210, 41, 450, 180), 1000) << "the menu again";
}

TEST_F(DiagE2e, ArincUpgradeFromTheMaintenanceMenu) {
    ASSERT_EQ(RunCommand("head -c 300 /dev/urandom > " + dir_ + "/blob.bin && srec_cat " + dir_ +
                         "/blob.bin -binary -o " + dir_ + "/ARINC.HEX -intel").status, 0);
    ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + dir_ + "/card.img --fat 16 " + dir_ +
                         "/ARINC.HEX=ARINC.HEX 2>&1").status, 0);
    const std::string hex = ReadHostFile(dir_ + "/ARINC.HEX");
    ASSERT_GT(hex.size(), 600u);
    std::ofstream(dir_ + "/SYSTEM.KVD") << "SERIAL3_FUNC, 5\nSERIAL3_BAUD, 1\n";
    Script s;
    s.Do("press 4", 1.5).Repeat("press 2", 20).Do("press 4", 1.5)   // item 21: system maintenance
        .Repeat("press 2", 3).Do("press 4", 2).Do("screenshot " + dir_ + "/found.png")   // row 4
        .Do("press 4", 2).Do("screenshot " + dir_ + "/loading.png", 2 + 0.008 * static_cast<double>(hex.size()))
        .Do("screenshot " + dir_ + "/done.png").Do("press 1", 1.5).Do("press 1", 1.5);
    const CommandResult r = Run(s, "--tfs SYSTEM.KVD=" + dir_ + "/SYSTEM.KVD --sd " + dir_ + "/card.img --serial 3=arinc-loader:" +
                                       dir_ + "/capture.bin,xoff=200:300");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("ARINC.HEX file, " + std::to_string(hex.size()) + " bytes loaded."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Done, " + std::to_string(hex.size()) + " bytes sent"), std::string::npos) << r.out;
    EXPECT_EQ(RunCommand("cmp " + dir_ + "/capture.bin " + dir_ + "/ARINC.HEX").status, 0) << "the file, byte for byte";
    // srec_cat reads the captured records back into the same bytes.
    EXPECT_EQ(RunCommand("srec_cat " + dir_ + "/capture.bin -intel -o " + dir_ + "/back.bin -binary && cmp " + dir_ +
                         "/back.bin " + dir_ + "/blob.bin").status, 0);
    const size_t report = r.out.find("kv5100: serial port 3: arinc-loader: started");
    ASSERT_NE(report, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bad, end record seen, 0 bytes under XOFF", report), std::string::npos) << r.out.substr(report);
    const size_t gap = r.out.find("shortest gap ", report);
    ASSERT_NE(gap, std::string::npos);
    EXPECT_GE(std::stoul(r.out.substr(gap + 13)), 18432ul) << "more than 5 ms between bytes";
    const RgbImage found = Shot("found.png"), done = Shot("done.png");
    EXPECT_GT(found.Lit(210, 185, 500, 245), 500) << "alive, version, size, START";
    EXPECT_GT(done.Lit(424, 165, 500, 180), 20) << "Done.";
}

}  // namespace
