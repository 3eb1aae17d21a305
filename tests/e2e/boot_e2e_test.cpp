// kv5100 started with buttons held at power-on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"

namespace {


bool Has(const std::string& s, const std::string& what) { return s.find(what) != std::string::npos; }

class Kv5100Hold : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100holdXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        flash_ = dir_ + "/unit.flash";
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::string dir_, flash_;
};

TEST_F(Kv5100Hold, ExitButtonsLeaveForTheMonitorAndTheWatchdogBootsTheUnitAgain) {
    CommandResult r = RunKv5100("--flash " + flash_ + " --hold 61,63 --run-for 320 --print-syslog");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "application returned 0 to the monitor at 5.0")) << r.out;
    EXPECT_TRUE(Has(r.out, "watchdog reset at 305.0")) << r.out;
    // The exit pass opens no log; the start after the reset logs its boot.
    EXPECT_TRUE(Has(r.out, "**** SYSTEM BOOT ")) << r.out;
    EXPECT_TRUE(Has(r.out, "System Booted in ")) << r.out;
}

TEST_F(Kv5100Hold, CalibrationButtonBootsWithoutTheNormalPass) {
    CommandResult r = RunKv5100("--flash " + flash_ + " --hold 62 --run-for 2 --print-syslog");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "**** SYSTEM BOOT ")) << r.out;
    EXPECT_FALSE(Has(r.out, "System Booted in ")) << r.out;
}

TEST_F(Kv5100Hold, BadPinsAreRefused) {
    for (const char* bad : {"96", "61,", "x", "-1"}) {
        SCOPED_TRACE(bad);
        CommandResult r = RunKv5100("--flash " + flash_ + " --hold " + bad);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(Has(r.out, "--hold takes GPIO numbers")) << r.out;
    }
}

// A start after three faults in a row, in a fresh application process as the
// board runs it: the flag's line is held until the system log opens, written
// once, and the flag starts again at 0.
TEST_F(Kv5100Hold, ThirdRebootIsLoggedOnceAfterTheLogOpens) {
    CommandResult r = RunKv5100("--flash " + flash_ + " --env REBOOT=3 --headless --run-for 15 --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string line = "ERROR: Reboot Flag(3) > 2 Rebooting!\n";
    const size_t at = r.out.find(line);
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(line, at + 1), std::string::npos) << "once";
    EXPECT_NE(r.out.rfind("RamLog Base: ", at), std::string::npos) << "after the log opened";
    EXPECT_LT(at, r.out.find("**** SYSTEM BOOT ")) << "before the boot goes on";
}

// I_AGREE.TXT on the card skips the start-up notice: the unit leaves it by
// itself; without the file the notice waits for the pilot.
TEST_F(Kv5100Hold, AgreeFileOnTheCardSkipsTheNotice) {
    std::system(("printf 'yes\\n' >" + dir_ + "/agree.txt").c_str());
    for (bool withFile : {true, false}) {
        SCOPED_TRACE(withFile);
        const std::string card = dir_ + (withFile ? "/card.img" : "/empty.img");
        ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + card + " --fat 16" +
                             (withFile ? " " + dir_ + "/agree.txt=I_AGREE.TXT" : ""))
                      .status,
                  0);
        const std::string shot = dir_ + (withFile ? "/skip.png" : "/notice.png");
        std::ofstream(dir_ + "/s.txt") << "18 screenshot " << shot << "\n";
        const CommandResult r = RunKv5100("--flash " + dir_ + (withFile ? "/a.flash" : "/b.flash") + " --sd " + card +
                                          " --headless --run-for 19 --script " + dir_ + "/s.txt --print-syslog");
        ASSERT_EQ(r.status, 0) << r.out;
        const size_t skip = r.out.find("INFO: I_AGREE.TXT found on card, Skipping Liability Screen\n");
        EXPECT_EQ(skip != std::string::npos, withFile) << r.out;
        if (withFile) {
            EXPECT_LT(skip, r.out.find("System Booted in ")) << r.out;
        }
        RgbImage image;
        ASSERT_TRUE(ReadPng(shot, image));
        // The notice's text lines.
        // Leaving the notice sets the baro up ("BARO: Init ..."), with no key pressed.
        EXPECT_EQ(r.out.find("BARO: Init") != std::string::npos, withFile) << r.out;
        if (!withFile) {
            EXPECT_GT(image.Lit(120, 270, 520, 330), 500) << "still waiting";
        }
    }
}

}  // namespace
