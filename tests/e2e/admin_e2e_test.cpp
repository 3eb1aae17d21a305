// The administrator settings end to end: kv5100 started with the calibration
// button held, a script that opens row 1, dials administrator mode, sets
// serial port 3 to NMEA at 4800 bit/s, copies the debug and data logs to the
// card, saves, and exits the application with its access number; the card
// read with mtools, SYSTEM.KVD copied out, the monitor leaving the
// application unstarted, and the next run that removes BOOTSTOP.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "setup/admin.h"
#include "support/png_read.h"
#include "support/shell.h"
#include "support/timed_script.h"

namespace {

class AdminE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100adminXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + dir_ + "/card.img --fat 16").status, 0);
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure() && !std::getenv("KV_KEEP")) std::system(("rm -rf " + dir_).c_str());
    }
    using Script = TimedScript;
    RgbImage Shot(const std::string& name) {
        RgbImage image;
        EXPECT_TRUE(ReadPng(dir_ + "/" + name, image)) << name;
        return image;
    }
    static int Row(int item) { return 41 + 13 * (item - 1); }
    std::string dir_;
};

TEST_F(AdminE2e, DialSaveCopyAndExitTheApplication) {
    Script s;
    // The knob drops the first detent after a rest (and the first two after
    // power-on): the counts below land on the access numbers.
    const int admin = kAdminAccessNumber - kAdminDialStart + 2, exit = kExitAccessNumber - kAdminDialStart + 1;
    s.Do("press 4", 1.5).Do("screenshot " + dir_ + "/off.png")
        .Repeat("press 2", 22).Do("knob " + std::to_string(admin), 6).Do("press 4", 1.5)   // 23: administrator mode
        .Do("screenshot " + dir_ + "/on.png")
        .Repeat("press 3", 16).Do("knob -3", 1).Do("screenshot " + dir_ + "/port3.png")   // 7: " SL-30 " - 2
        .Repeat("press 3", 5).Do("press 4", 12)                                           // 2: debug logs
        .Do("press 2").Do("knob 10 0.01", 1).Do("press 4", 15)                            // 3: data logs, ALL
        .Repeat("press 2", 4).Do("press 5", 4)                                            // 7: SAVE
        .Do("press 4", 1.5).Repeat("press 2", 29)                                         // 30: exit
        .Do("knob " + std::to_string(exit), 8).Do("press 4", 8);
    std::ofstream(dir_ + "/admin.txt") << s.text;
    const std::string flash = " --flash " + dir_ + "/f.bin";
    CommandResult r = RunKv5100("--headless --demo --hold 62" + flash + " --sd " + dir_ + "/card.img --run-for " +
                                std::to_string(int(s.t) + 5) + " --script " + dir_ + "/admin.txt --tfs-out SYSTEM.KVD=" +
                                dir_ + "/system.kvd --tfs-out BOOTSTOP=" + dir_ + "/bootstop --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    const size_t reset = r.out.find("kv5100: watchdog reset at ");
    ASSERT_NE(reset, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("kv5100: BOOTSTOP is in TFS: the monitor leaves the application unstarted", reset),
              std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("ENTERING CALIBRATION", r.out.find("ENTERING CALIBRATION") + 1), std::string::npos)
        << "the application started once only";
    EXPECT_EQ(ReadHostFile(dir_ + "/bootstop"), "YES");

    const std::string system = ReadHostFile(dir_ + "/system.kvd");
    EXPECT_NE(system.find("SERIAL3_FUNC, 2\n"), std::string::npos) << system;
    EXPECT_NE(system.find("SERIAL3_BAUD, 6\n"), std::string::npos) << system;

    // The copies on the card, and the long span's watchdog time clamped.
    const std::string mdir = RunCommand("MTOOLS_SKIP_CHECK=1 mdir -b -i " + dir_ + "/card.img ::").out;
    EXPECT_NE(mdir.find(".ALS"), std::string::npos) << mdir;
    EXPECT_NE(mdir.find(".ALD"), std::string::npos) << mdir;
    EXPECT_NE(r.out.find("WARNING: KickWatchdog(2340) clamped to 1165 sec"), std::string::npos);
    EXPECT_NE(r.out.find("requested 781 min"), std::string::npos) << "the span was ALL: 13 h and a minute";

    const RgbImage off = Shot("off.png"), on = Shot("on.png"), port3 = Shot("port3.png");
    EXPECT_GT(off.Lit(210, Row(1), 450, Row(1) + 11), 50) << "item 1";
    EXPECT_GT(off.Lit(210, Row(23), 450, Row(23) + 11), 50) << "item 23";
    EXPECT_EQ(off.Lit(200, Row(24), 639, 458), 0) << "nothing below item 23 with the mode off";
    EXPECT_GT(on.Lit(210, Row(30), 450, Row(30) + 11), 50) << "item 30 with the mode on";
    EXPECT_GT(on.Lit(450, Row(23), 550, Row(23) + 11), 50) << "ENABLED";
    EXPECT_EQ(on.Lit(551, 41, 639, 440), 0) << "values end at x 550";
    EXPECT_GT(port3.Lit(420, Row(7), 550, Row(7) + 11), 50);

    // The monitor command removes BOOTSTOP and the next start runs the application.
    r = RunKv5100("--headless" + flash + " --run-for 12 --monitor-command 'tfs rm BOOTSTOP' --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("BOOTSTOP is in TFS"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("System Booted in"), std::string::npos) << r.out;
    const CommandResult bad = RunKv5100("--headless" + flash + " --run-for 1 --monitor-command 'nonsense'");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.out.find("--monitor-command nonsense: the monitor refused it"), std::string::npos) << bad.out;
}

}  // namespace
