// The auxiliary pages reached with the buttons: a checklist file made on a
// PC (CR LF), the maintenance page, the system-log copy found on the card
// with mtools, an item update copied out of the flash file system, the unit
// information page, and the calibration restart from key 4 held.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct UnitRun {
    std::string dir;
    std::ostringstream script;
    double t = 8;
    void At(const std::string& event, double after = 1.5) {
        script << t << " " << event << "\n";
        t += after;
    }
    CommandResult Go(const std::string& args) {
        std::ofstream(dir + "/script.txt") << script.str();
        return RunKv5100("--headless --demo --flash " + dir + "/f.bin --clock 2024-06-07T10:00:00 --run-for " +
                         std::to_string(static_cast<int>(t) + 2) + " --script " + dir + "/script.txt " + args);
    }
};

const char kMaint[] =
    "DESC, Oil change\nLASTDATE, 03/15/2024\nLASTTACH, 412.50\nINTERVAL, 50\nUNITS, tach hours\nNEXTLINE, 0\n"
    "DESC, Annual inspection\nLASTDATE, 01/31/2024\nLASTTACH, 380.00\nINTERVAL, 30\nUNITS, Days\nNEXTLINE, 0\n";

TEST(AuxPagesE2e, ChecklistsMaintenanceLogsUpdateAndAbout) {
    char dir[] = "/tmp/kv5100auxXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    UnitRun run{dir};
    const std::string d = dir;
    std::ofstream(d + "/chklst.kvd") << "CHKLST0.TITLE, Engine Start\r\nCHKLST0.LINE1, Master ON\r\n"
                                        "CHKLST5.TITLE, Cruise\r\nCHKLST5.LINE1, Mixture LEAN\r\n";
    std::ofstream(d + "/maint.kvd") << kMaint;
    ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + d + "/card.img --fat 16").status, 0);
    run.At("press 3");                         // I AGREE
    run.At("press 5");                         // the pages, on configuration 10
    run.At("press 5");                         // NEXT PG
    run.At("screenshot " + d + "/chk.png", 0.5);
    run.At("press 2");                         // MAINT. on configuration 12
    run.At("screenshot " + d + "/maint.png", 0.5);
    run.At("press 3");                         // ADMIN
    run.At("press 3");                         // SYS LOGS
    run.At("press 4", 6);                      // START
    run.At("press 5");                         // UPDATE
    run.At("press 3", 4);                      // YES: the first item done today
    run.At("press 6");                         // (ABOUT)
    run.At("screenshot " + d + "/about.png", 0.5);
    const CommandResult r = run.Go("--tfs CHKLST.KVD=" + d + "/chklst.kvd --tfs MAINT.KVD=" + d + "/maint.kvd --sd " +
                                   d + "/card.img --env SERIALNUM=123 --tfs-out MAINT.KVD=" + d + "/out.kvd");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string out = Read(d + "/out.kvd");
    EXPECT_NE(out.find("DESC, Oil change\nLASTDATE, 06/07/2024\nLASTTACH, "), std::string::npos) << out;
    EXPECT_NE(out.find("DESC, Annual inspection\nLASTDATE, 01/31/2024\nLASTTACH, 380.00\n"), std::string::npos) << out;
    // An independent reader gets both items back.
    const CommandResult py = RunCommand(
        "python3 -c \"import sys; items=[]; cur={}\nfor l in open('" + d + "/out.kvd'):\n"
        " k,_,v=l.rstrip('\\n').partition(', ')\n if k=='NEXTLINE': items.append(cur); cur={}\n else: cur[k]=v\n"
        "print(len(items), items[1]['UNITS'], items[0]['INTERVAL'])\"");
    EXPECT_EQ(py.out, "2 Days 50\n");
    const CommandResult dirList = RunCommand("mdir -b -i " + d + "/card.img ::");
    EXPECT_NE(dirList.out.find(".ALS"), std::string::npos) << dirList.out;
    RgbImage chk, maint, about;
    ASSERT_TRUE(ReadPng(d + "/chk.png", chk));
    ASSERT_TRUE(ReadPng(d + "/maint.png", maint));
    ASSERT_TRUE(ReadPng(d + "/about.png", about));
    EXPECT_GT(chk.Lit(390, 40, 600, 60), 20) << "the line of checklist 5 in the pane";
    EXPECT_GT(maint.Lit(0, 100, 639, 160), 200) << "the items";
    EXPECT_GT(about.Lit(0, 45, 300, 220), 500) << "the information lines";
    if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d).c_str());
}

TEST(AuxPagesE2e, KeyFourHeldOnTheMaintenancePageRestartsIntoCalibration) {
    char dir[] = "/tmp/kv5100auxcalXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    UnitRun run{dir};
    run.At("press 3");
    run.At("press 5");
    run.At("press 2");
    run.At("press 4 1.5", 6);
    run.At("screenshot " + run.dir + "/cal.png", 0.5);
    const CommandResult r = run.Go("--print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Going to Calibration"), std::string::npos);
    RgbImage cal;
    ASSERT_TRUE(ReadPng(run.dir + "/cal.png", cal));
    EXPECT_GT(cal.Lit(10, 41, 200, 120), 200) << "the calibration list's rows";
    if (!::testing::Test::HasFailure()) std::system(("rm -rf " + run.dir).c_str());
}

}  // namespace
