// The file transfer screen and the system maintenance menu end to end:
// kv5100 started with the calibration button held, the administrator
// settings opened, row 1 backed up to the card and read off it with mtools,
// a checklist put on the card with mcopy restored, the flash listing and the
// defragmentation, and the card's outcomes: write-protected and absent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"
#include "support/timed_script.h"

namespace {

// The calibration list is up after the boot and the repair of the small files put into flash.
constexpr double kStart = 14;

class ServiceFilesE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100svcXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + dir_ + "/card.img --fat 16").status, 0);
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure() && !std::getenv("KV_KEEP")) std::system(("rm -rf " + dir_).c_str());
    }
    CommandResult Run(const TimedScript& s, const std::string& args) {
        std::ofstream(dir_ + "/script.txt") << s.text;
        return RunKv5100("--headless --hold 62 --flash " + dir_ + "/f.bin --run-for " + std::to_string(int(s.t) + 3) +
                         " --script " + dir_ + "/script.txt --print-syslog " + args);
    }
    std::string Mtools(const std::string& cmd) { return RunCommand("MTOOLS_SKIP_CHECK=1 " + cmd + " 2>&1").out; }
    RgbImage Shot(const std::string& name) {
        RgbImage image;
        EXPECT_TRUE(ReadPng(dir_ + "/" + name, image)) << name;
        return image;
    }
    std::string dir_;
};

constexpr const char* kUser[] = {"CHKLST.KVD",   "MAINT.KVD",   "AIRCRAFT.KVD", "LOGCFGSD.KVD", "AIRDATA.KVD",
                                 "ENGINE.KVD",   "HORSEPWR.KVD", "TANKS.KVC",   "AOA.KVC",      "AIRDATA.KVC",
                                 "ENGINE.KVC",   "EGTCHT.KVC",  "SYSTEM.KVD",   "SYSTEM.KVC"};

TEST_F(ServiceFilesE2e, BackupRestoreListingAndDefrag) {
    // Every file of row 1 in flash: the demonstration's, and small ones for the rest.
    std::string tfs, out;
    for (const char* f : kUser) {
        const std::string host = dir_ + "/in." + f;
        std::ofstream(host) << "# " << f << "\n";
        if (std::string(f) != "SYSTEM.KVD" && std::string(f) != "AIRCRAFT.KVD") tfs += std::string(" --tfs ") + f + "=" + host;
        out += std::string(" --tfs-out ") + f + "=" + dir_ + "/out." + f;
    }
    std::ofstream(dir_ + "/in.monrc") << "set IPADD 192.168.0.175\n";
    tfs += " --tfs monrc=" + dir_ + "/in.monrc";
    out += " --tfs-out AIRCRAFT.KVB=" + dir_ + "/out.AIRCRAFT.KVB --tfs-out NVRAM.KVD=" + dir_ + "/out.NVRAM.KVD";

    TimedScript s(kStart);
    s.Do("press 4", 1.5).Do("press 4", 1.5).Do("screenshot " + dir_ + "/xfer.png")   // admin settings, item 1
        .Do("press 6", 0.5).Do("screenshot " + dir_ + "/backup.png")                // row 1: BACKUP
        .Do("press 4", 0.3).Do("screenshot " + dir_ + "/copy.png", 45)               // START: 18 files
        .Do("screenshot " + dir_ + "/done.png")
        .Do("press 1", 1.5).Repeat("press 2", 20).Do("press 4", 1.5)                  // item 21
        .Do("screenshot " + dir_ + "/menu.png").Do("press 4", 2).Do("screenshot " + dir_ + "/files.png")
        .Do("press 2").Do("press 2").Do("press 4", 40).Do("screenshot " + dir_ + "/defrag.png")
        .Do("press 3").Do("press 4", 2).Do("screenshot " + dir_ + "/card.png")          // 2: the card's files
        .Do("press 1", 1).Do("press 3").Do("press 4", 2).Do("press 1", 1.5).Do("screenshot " + dir_ + "/left.png");
    CommandResult r = Run(s, "--demo --sd " + dir_ + "/card.img" + tfs + out);
    ASSERT_EQ(r.status, 0) << r.out;

    // What mcopy reads off the card is what the flash holds, byte for byte.
    for (const char* f : kUser) {
        Mtools("mcopy -o -i " + dir_ + "/card.img ::" + f + " " + dir_ + "/card." + f);
        EXPECT_EQ(RunCommand("cmp " + dir_ + "/card." + f + " " + dir_ + "/out." + f).status, 0) << f;
    }
    for (const char* f : {"AIRCRAFT.KVB", "NVRAM.KVD"}) {
        Mtools(std::string("mcopy -o -i ") + dir_ + "/card.img ::" + f + " " + dir_ + "/card." + f);
        EXPECT_EQ(RunCommand("cmp " + dir_ + "/card." + f + " " + dir_ + "/out." + f).status, 0) << f;
    }
    EXPECT_EQ(Mtools("mtype -i " + dir_ + "/card.img ::MONRC"), "set IPADD 192.168.0.175\n");
    EXPECT_EQ(r.out.find("does not exist"), std::string::npos) << "every file of row 1 was in flash";
    EXPECT_NE(r.out.find("User requested defrag"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("watchdog reset"), std::string::npos) << r.out;

    const RgbImage xfer = Shot("xfer.png"), backup = Shot("backup.png"), copy = Shot("copy.png"), done = Shot("done.png");
    EXPECT_GT(xfer.Lit(230, 41, 480, 53), 50) << "row 1";
    EXPECT_GT(xfer.Lit(230, 236, 480, 248), 50) << "row 14";
    EXPECT_EQ(xfer.Lit(210, 251, 630, 458), 0) << "rows 15..21 only in administrator mode";
    EXPECT_GT(backup.Lit(560, 41, 630, 53), backup.Lit(600, 56, 630, 68)) << "BACKUP is wider than ---";
    EXPECT_GT(copy.Lit(500, 41, 630, 53), 100) << "the file being copied";
    EXPECT_GT(done.Lit(580, 56, 630, 68), 10) << "row 2 marked DONE by row 1";
    const RgbImage menu = Shot("menu.png"), files = Shot("files.png"), defrag = Shot("defrag.png");
    EXPECT_GT(menu.Lit(210, 41, 400, 92), 100) << "the four rows";
    EXPECT_GT(files.Lit(210, 144, 630, 155), 100) << "the memory line";
    EXPECT_GT(files.Lit(210, 170, 300, 182), 20) << "a .KVD name";
    EXPECT_GT(files.Lit(310, 170, 400, 182), 20) << "a .KVC name";
    EXPECT_GT(files.Lit(510, 170, 630, 182), 20) << "monrc and the other names";
    EXPECT_GT(defrag.Lit(300, 211, 530, 223), 20) << "Defrag Complete.";
    EXPECT_GT(Shot("card.png").Lit(210, 146, 639, 300), 500) << "the card's listing";
    // Back in the administrator settings: their labels white again, one cursor mark.
    const RgbImage left = Shot("left.png");
    int white = 0;
    for (int x = 210; x < 400; ++x) white += left.At(x, 41 + 13 + 6) == 0xFFFFFF;
    EXPECT_GT(white, 5) << "item 2's label";
    EXPECT_EQ(left.Lit(190, 41, 200, 300), 0) << "no mark left beside items 1..20";
    EXPECT_EQ(left.Lit(551, 41, 639, 459), 0) << "nothing of the listing right of the values";

    // A checklist put on the card with mcopy comes back and is read at once.
    std::ofstream(dir_ + "/new.kvd") << "CHKLST1.TITLE, Restored List\n";
    Mtools("mcopy -o -i " + dir_ + "/card.img " + dir_ + "/new.kvd ::CHKLST.KVD");
    TimedScript back(kStart);
    back.Do("press 4", 1.5).Do("press 4", 1.5).Do("press 2").Do("press 6").Do("press 6")   // row 2: RESTORE
        .Do("press 4", 3).Do("screenshot " + dir_ + "/restored.png");
    r = Run(back, "--sd " + dir_ + "/card.img --tfs-out CHKLST.KVD=" + dir_ + "/back.kvd");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ReadHostFile(dir_ + "/back.kvd"), "CHKLST1.TITLE, Restored List\n");
    const size_t copied = r.out.find("CopyFileSD(CHKLST.KVD, RESTORE");
    ASSERT_NE(copied, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Reading CHKLST.KVD", copied), std::string::npos) << "read again after the copy";
}

TEST_F(ServiceFilesE2e, WriteProtectedAndAbsentCard) {
    TimedScript s(kStart);
    s.Do("press 4", 1.5).Do("press 4", 1.5).Do("press 2").Do("press 6")   // row 2: BACKUP
        .Do("press 4", 0.9).Do("screenshot " + dir_ + "/outcome.png", 2).Do("screenshot " + dir_ + "/end.png");
    const std::string before = Mtools("mdir -b -i " + dir_ + "/card.img ::");
    std::ofstream(dir_ + "/chklst.kvd") << "CHKLST1.TITLE, Run-up\n";
    CommandResult r = Run(s, "--demo --sd " + dir_ + "/card.img --sd-write-protect --tfs CHKLST.KVD=" + dir_ +
                                 "/chklst.kvd");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("card is write-protected"), std::string::npos) << r.out;
    EXPECT_EQ(Mtools("mdir -b -i " + dir_ + "/card.img ::"), before) << "nothing written";
    const RgbImage outcome = Shot("outcome.png"), end = Shot("end.png");
    // " SD CARD WRITE PROTECT " is wider than " COPY CHKLST.KVD " and " ERROR ".
    EXPECT_GT(outcome.Lit(470, 56, 630, 68), end.Lit(470, 56, 630, 68) + 100);
    EXPECT_GT(end.Lit(560, 56, 630, 68), 20) << "the row ends in ERROR";

    TimedScript none(kStart);
    none.Do("press 4", 1.5).Do("press 4", 1.5).Do("press 2").Do("press 6")
        .Do("press 4", 0.9).Do("screenshot " + dir_ + "/nocard.png", 2);
    r = Run(none, "");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("NO SDCard"), std::string::npos) << r.out;
    EXPECT_GT(Shot("nocard.png").Lit(500, 56, 630, 68), 100) << "NO SD CARD";
}

}  // namespace
