// The configuration file transfer screen and the system maintenance menu on
// the emulated board, with a FAT card image made and read with mtools: the
// knob's state table and the rows shown, BACKUP read off the card byte for
// byte, RESTORE from files put on with mcopy and read again at once, the
// card's faults, the flash listing and the defragmentation.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/adc.h"
#include "core/util.h"
#include "engine/instad.h"
#include "setup/setupkit.h"
#include "core/boot.h"
#include "core/spi.h"
#include "gui/gui.h"
#include "platform/monitor.h"
#include "platform/sdcard.h"
#include "setup/auxpages.h"
#include "setup/balance.h"
#include "setup/setup.h"
#include "storage/config.h"
#include "storage/mmc.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "sim/screenshot.h"
#include "support/shell.h"
#include "ui/statusbar.h"
#include "ui/ui_fixture.h"

using platform::StopReason;

namespace {

std::string Mtools(const std::string& cmd) { return RunCommand("MTOOLS_SKIP_CHECK=1 " + cmd + " 2>/dev/null").out; }

// An 8-bit 400 x 340 picture as the loader takes it; every pixel `index`.
std::string Picture(uint8_t index) {
    const uint32_t offset = 14 + 40 + 1024, size = offset + 400 * 340;
    std::string f(size, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, size);
    put32(10, offset);
    put32(14, 40);
    put32(18, 400);
    put32(22, 340);
    f[26] = 1;
    f[28] = 8;
    for (int i = 0; i < 256; ++i) f[54 + 4 * i + 2] = static_cast<char>(i);   // red = index
    std::memset(&f[offset], index, 400 * 340);
    return f;
}

class TransferTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        char dir[] = "/tmp/kvxferXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        image_ = dir_ + "/card.img";
        RunApp([] {
            InitSsp();
            InitAdcTable();
            InitPalette();
            ReadNVRam();
        });
    }
    void TearDown() override {
        UiTest::TearDown();
        if (!HasFailure()) RunCommand("rm -rf " + dir_);
    }
    // A FAT16 card in the slot, mounted; files {card name, bytes}.
    void Card(const std::vector<std::pair<std::string, std::string>>& files = {}) {
        std::string copies;
        int i = 0;
        for (const auto& [name, data] : files) {
            const std::string host = dir_ + "/in" + std::to_string(i++);
            std::ofstream(host, std::ios::binary) << data;
            copies += " " + host + "=" + name;
        }
        ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + image_ + " --fat 16" + copies).status, 0);
        ASSERT_TRUE(board().mmc().card().OpenImage(image_.c_str()));
        ASSERT_TRUE(board().mmc().Insert());
        RunApp([] { PollSDCard(); });
        ASSERT_EQ(G_SDCard.nState, kSdMounted);
    }
    std::string OnCard(const std::string& name) { return Mtools("mtype -i " + image_ + " ::" + name); }
    bool CardHas(const std::string& name) {
        return RunCommand("MTOOLS_SKIP_CHECK=1 mdir -b -i " + image_ + " ::" + name + " >/dev/null 2>&1").status == 0;
    }
    void Open(bool admin = false) {
        NvSetU32(kNvAdminUser, admin ? 1 : 0);
        RunApp([] { FileTransferOpen(); });
    }
    StopReason Input(int32_t key, int32_t delta = 0) {
        return RunApp([&] { left_ = FileTransferInput(key, delta); });
    }
    void To(int32_t row) {
        while (FileTransferRow() < row) Input(2);
        while (FileTransferRow() > row) Input(3);
    }
    // Sets the row's direction with the knob and starts it.
    void Start(int32_t row, int32_t dir) {
        To(row);
        Input(0, dir == kCopyBackup ? 1 : -1);
        ASSERT_STREQ(G_SoftKeyLabel[4], "START");
        ASSERT_EQ(Input(4), StopReason::None);
    }
    // The shown page as a PNG in $KV_SHOT_DIR, when set, for a look at the screen.
    void Shot(const std::string& name) {
        const char* dir = std::getenv("KV_SHOT_DIR");
        std::string error;
        if (dir == nullptr) return;
        EXPECT_TRUE(WriteScreenshotPng(board().display(), (std::string(dir) + "/" + name).c_str(), error)) << error;
    }
    std::string dir_, image_;
    int32_t left_ = 0;
};

TEST_F(TransferTest, KnobStatesRowsShownAndCursor) {
    Open();
    EXPECT_EQ(FileTransferRowsShown(), 14);
    EXPECT_STREQ(G_SoftKeyLabel[6], "DIRECTION");
    EXPECT_STREQ(G_SoftKeyLabel[4], "");
    // The knob counts " --- " 0, BACKUP 1, RESTORE 2; below 0 is RESTORE, above 2 is " --- ".
    struct Step { int32_t delta; const char* to; const char* key4; };
    const Step steps[] = {{-1, " RESTORE ", "START"}, {1, " --- ", ""}, {1, " BACKUP ", "START"},
                          {1, " RESTORE ", "START"}, {-2, " --- ", ""}, {2, " RESTORE ", "START"},
                          {-1, " BACKUP ", "START"}, {5, " --- ", ""}};
    To(2);
    for (const Step& s : steps) {
        Input(0, s.delta);
        EXPECT_STREQ(FileTransferState(2), s.to) << s.delta;
        EXPECT_STREQ(G_SoftKeyLabel[4], s.key4) << s.delta;
    }
    Input(6);
    EXPECT_STREQ(FileTransferState(2), " BACKUP ") << "key 6 is one step forward";
    Input(2);
    EXPECT_STREQ(FileTransferState(2), " --- ") << "a direction not started is dropped on leaving";

    To(6);
    Input(0, 1);
    Input(6);
    EXPECT_STREQ(FileTransferState(6), " --- ") << "row 6 never changes";
    EXPECT_STREQ(G_SoftKeyLabel[4], "");
    Input(4);

    To(14);
    Input(2);
    EXPECT_EQ(FileTransferRow(), 14) << "the cursor stops at row 14 with the mode off";
    Input(1);
    EXPECT_EQ(left_, 1);

    Open(true);
    EXPECT_EQ(FileTransferRowsShown(), 21);
    To(21);
    Input(0, -1);
    Shot("xfer-admin.png");
    EXPECT_EQ(FileTransferRow(), 21);
    Input(2);
    EXPECT_EQ(FileTransferRow(), 21);
}

TEST_F(TransferTest, BackupReadOffTheCardAndRestoreActsAtOnce) {
    const std::string checklist = "CHKLST1.TITLE, Before Takeoff\nCHKLST1.LINE1, Flaps SET\n";
    Put("CHKLST.KVD", checklist);
    Card({{"MAINT.KVD", "DESC, Oil change\nINTERVAL, 50\nNEXTLINE, 0\n"},
          {"AIRCRAFT.KVD", "AIRCRAFT, N123\nDESC, Pilot\nLENGTH, 85.5\nNEXTLINE, 0\nDESC, Baggage\nNEXTLINE, 0\n"},
          {"AIRCRAFT.KVB", Picture(7)},
          {"NVRAM.KVD", "CLOCK_FORMAT, 1\n"}});
    Open();
    Start(2, kCopyBackup);
    EXPECT_STREQ(FileTransferState(2), " DONE ");
    EXPECT_EQ(OnCard("CHKLST.KVD"), checklist);
    Input(0, 1);
    EXPECT_STREQ(FileTransferState(2), " --- ") << "one step from DONE";

    Start(3, kCopyRestore);
    EXPECT_EQ(Contents("MAINT.KVD"), OnCard("MAINT.KVD"));
    EXPECT_STREQ(G_MaintItems.item[0].DESC, "Oil change");
    Start(4, kCopyRestore);
    ASSERT_EQ(G_WbItems.nCount, 2u);
    EXPECT_STREQ(G_WbItems.item[1].DESC, "Baggage");
    EXPECT_FLOAT_EQ(G_WbItems.item[0].LENGTH, 85.5f);
    Start(5, kCopyRestore);
    EXPECT_EQ(Contents("AIRCRAFT.KVB"), Picture(7));
    EXPECT_EQ(G_AircraftImage.abPixels[400 * 170 + 200], 7);
    EXPECT_EQ(G_AircraftImage.aPalette[7], 7u);
    NvSetU32(kNvClockFormat, 0);
    const uint32_t writes = NvGetU32(kNvWriteCount);
    Start(13, kCopyRestore);
    EXPECT_STREQ(FileTransferState(13), " DONE ");
    EXPECT_EQ(NvGetU32(kNvClockFormat), 1u);
    EXPECT_GT(NvGetU32(kNvWriteCount), writes) << "the restored settings reach the flash copies";
}

TEST_F(TransferTest, CardFaultsAndTheirOutcomes) {
    Put("CHKLST.KVD", "CHKLST1.TITLE, A\n");
    Open();
    Start(2, kCopyBackup);   // no card at all
    EXPECT_STREQ(FileTransferState(2), " ERROR ") << "every file failed: the row does not say DONE";
    std::vector<int32_t> results;
    Card({{"MAINT.KVD", "DESC, x\n"}});
    RunApp([&] {
        results.push_back(TransferFileAction(8, kExtKvd, kCopyBackup, 500, 630, 56));    // not in flash
        results.push_back(TransferFileAction(7, kExtKvd, kCopyRestore, 500, 630, 56));   // not on the card
        results.push_back(TransferFileAction(7, kExtKvd, 0, 500, 630, 56));
    });
    EXPECT_EQ(results, (std::vector<int32_t>{-1, 3, -1}));
    EXPECT_EQ(Contents("CHKLST.KVD"), "CHKLST1.TITLE, A\n");

    // A write-protected card: refused before anything on it changes.
    const std::string before = OnCard("MAINT.KVD");
    board().mmc().card().InjectFault(platform::SdFault::WriteProtect, -1);
    board().mmc().Remove();
    RunApp([] { PollSDCard(); });
    ASSERT_TRUE(board().mmc().Insert());
    RunApp([] { PollSDCard(); });
    Put("MAINT.KVD", "DESC, newer\n");
    RunApp([&] { results = {TransferFileAction(8, kExtKvd, kCopyBackup, 500, 630, 56)}; });
    EXPECT_EQ(results, std::vector<int32_t>{kCopyWriteProtect});
    EXPECT_EQ(OnCard("MAINT.KVD"), before);
    RunApp([&] { results = {TransferFileAction(8, kExtKvd, kCopyRestore, 500, 630, 56)}; });
    EXPECT_EQ(results, std::vector<int32_t>{0}) << "a locked card is still read";
}

TEST_F(TransferTest, RowOneBacksUpEverythingAndRestoresUserFilesOnly) {
    const char* user[] = {"CHKLST.KVD", "MAINT.KVD", "AIRCRAFT.KVD", "AIRCRAFT.KVB", "LOGCFGSD.KVD",
                          "AIRDATA.KVD", "ENGINE.KVD", "HORSEPWR.KVD", "TANKS.KVC", "AOA.KVC"};
    const char* cal[] = {"AIRDATA.KVC", "ENGINE.KVC", "EGTCHT.KVC", "SYSTEM.KVD", "SYSTEM.KVC"};
    for (const char* f : user) Put(f, std::string("# ") + f + "\n");
    Put("AIRCRAFT.KVB", Picture(3));
    for (const char* f : cal) Put(f, std::string("# ") + f + "\n");
    ASSERT_EQ(mon_tfsadd("monrc", nullptr, "e", reinterpret_cast<const uint8_t*>("set IPADD 1\n"), 12), 0);
    Card();
    Open(true);
    Start(1, kCopyBackup);
    EXPECT_STREQ(FileTransferState(1), " DONE ");
    for (const char* f : user) EXPECT_EQ(OnCard(f), Contents(f)) << f;
    for (const char* f : cal) EXPECT_EQ(OnCard(f), Contents(f)) << f;
    EXPECT_EQ(OnCard("MONRC"), "set IPADD 1\n");
    EXPECT_NE(OnCard("NVRAM.KVD").find("ADMIN_USER, 1"), std::string::npos) << "written afresh from the image";
    for (int row : {2, 5, 12, 13, 16, 20, 21}) EXPECT_STREQ(FileTransferState(row), " DONE ") << row;
    EXPECT_STREQ(FileTransferState(6), " --- ");
    EXPECT_STREQ(FileTransferState(14), " --- ");
    size_t monrc = 0;
    for (size_t at = SysLog().find("CopyFileSD(MONRC, BACKUP"); at != std::string::npos;
         at = SysLog().find("CopyFileSD(MONRC, BACKUP", at + 1))
        ++monrc;
    EXPECT_EQ(monrc, 2u) << "MONRC copied twice";

    // Changed on the card: a RESTORE of row 1 brings back the ten user files only.
    const std::string shared = dir_ + "/x";
    std::ofstream(shared) << "CHKLST2.TITLE, Landing\n";
    Mtools("mcopy -o -i " + image_ + " " + shared + " ::CHKLST.KVD");
    std::ofstream(shared) << "# changed\n";
    Mtools("mcopy -o -i " + image_ + " " + shared + " ::SYSTEM.KVD");
    Mtools("mcopy -o -i " + image_ + " " + shared + " ::MONRC");
    RunApp([] { SdCacheClear(); });   // the card was changed behind the unit's sector cache
    Open(true);
    Start(1, kCopyRestore);
    EXPECT_STREQ(FileTransferState(1), " DONE ");
    EXPECT_STREQ(G_Checklists[2][0], " Landing") << "read again at once";
    EXPECT_EQ(SysLog().find("CopyFileSD(SYSTEM.KVD, RESTORE"), std::string::npos);
    EXPECT_EQ(SysLog().find("CopyFileSD(MONRC, RESTORE"), std::string::npos);
    EXPECT_EQ(Contents("monrc"), "set IPADD 1\n");

    // MONRC restored on its own keeps the monitor's run flag.
    Start(21, kCopyRestore);
    EXPECT_EQ(Contents("monrc"), "# changed\n");
    TfsStat st{};
    ASSERT_EQ(mon_tfsstat("monrc", &st), 0);
    EXPECT_EQ(st.flags & kTfsFlagExec, kTfsFlagExec);
}

TEST_F(TransferTest, ARowWithOneFailingFileEndsInError) {
    Put("AIRCRAFT.KVB", Picture(9));
    RunApp([] { LoadAircraftBitmap(); });
    std::string bad = Picture(4);
    bad[28] = 24;   // not the 8-bit picture the loader takes
    Card({{"AIRCRAFT.KVB", bad}, {"CHKLST.KVD", "CHKLST1.TITLE, B\n"}});
    Open();
    Start(5, kCopyRestore);
    EXPECT_STREQ(FileTransferState(5), " ERROR ");
    EXPECT_EQ(Contents("AIRCRAFT.KVB"), Picture(9)) << "the stored picture stays";
    EXPECT_EQ(G_AircraftImage.abPixels[0], 9);
    EXPECT_NE(SysLog().find("AIRCRAFT.KVB on the SD card not restored"), std::string::npos);
    Input(0, 1);
    EXPECT_STREQ(FileTransferState(5), " --- ") << "ERROR counts as DONE for the knob";

    // The sound files: the one in flash reaches the card, the sixteen missing ones fail the row.
    Put("BEEP.KVW", "RIFF-beep");
    Start(14, kCopyBackup);
    EXPECT_EQ(OnCard("BEEP.KVW"), "RIFF-beep");
    EXPECT_STREQ(FileTransferState(14), " ERROR ");

    Start(1, kCopyRestore);   // the checklist comes back, the picture and the missing files do not
    EXPECT_STREQ(FileTransferState(1), " ERROR ");
    EXPECT_STREQ(FileTransferState(2), " DONE ");
    EXPECT_STREQ(FileTransferState(5), " --- ");
    EXPECT_STREQ(G_Checklists[1][0], " B");
}

// ---- the maintenance menu ---------------------------------------------------------------

class MaintMenuTest : public TransferTest {
protected:
    void OpenMenu() { RunApp([] { MaintenanceMenuOpen(); }); }
    StopReason Key(int32_t key) { return RunApp([&] { left_ = MaintenanceMenuInput(key, 0); }); }
    // The pixels of a name's box at (x, y), compared with the name drawn there afresh.
    bool Shows(int x, int y, const std::string& name) {
        auto grab = [&] {
            std::vector<uint32_t> p;
            for (int yy = y; yy < y + 13; ++yy)
                for (int xx = x; xx < x + 100 && xx < 640; ++xx) p.push_back(GUI_GetPixelIndex(xx, yy));
            return p;
        };
        const std::vector<uint32_t> shown = grab();
        RunApp([&] {
            GUI_ClearRect(x, y, x + 99 < 639 ? x + 99 : 639, y + 12);
            DrawTextF(31, 6, 3, x, y, "%s", name.c_str());
        });
        return grab() == shown;
    }
    static bool Lit(int x0, int y0, int x1, int y1) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (GUI_GetPixelIndex(x, y) != 0) return true;
        return false;
    }
};

TEST_F(MaintMenuTest, FlashListingSortedInColumnsAboveTheStatusBar) {
    // 60 files in the order the monitor lists them: the first 50 are shown.
    std::vector<std::string> names;
    for (int i = 29; i >= 0; --i) names.push_back("F" + std::to_string(10 + i) + ".KVD");   // 30: column 1
    for (int i = 0; i < 4; ++i) names.push_back("C" + std::to_string(i) + ".KVC");
    names.push_back("SYSTEM.KVC");
    for (int i = 0; i < 5; ++i) names.push_back("S" + std::to_string(i) + ".KVW");
    names.push_back("monrc");
    for (int i = 0; i < 9; ++i) names.push_back("Z" + std::to_string(i));
    for (int i = 0; i < 10; ++i) names.push_back("late" + std::to_string(i) + ".KVC");   // past the 50th
    ASSERT_EQ(names.size(), 60u);
    TfsStat st{};
    while (mon_tfslist(0, &st) == 0) ASSERT_EQ(mon_tfsunlink(st.name), 0);
    for (const std::string& n : names) Put(n.c_str(), "x");
    OpenMenu();
    Key(4);
    Shot("listing.png");
    const int top = 131 + 39;
    // Column 1: F10..F31 sorted, 22 rows, none reaching the status bar.
    EXPECT_TRUE(Shows(210, top, "F10.KVD"));
    EXPECT_TRUE(Shows(210, top + 13 * 21, "F31.KVD"));
    EXPECT_FALSE(Lit(210, top + 13 * 22, 309, 459)) << "the column stops above y 459";
    EXPECT_TRUE(Shows(310, top, "C0.KVC"));
    EXPECT_TRUE(Shows(310, top + 13 * 4, "SYSTEM.KVC"));
    EXPECT_FALSE(Lit(310, top + 13 * 5, 409, 459)) << "the late files are past the 50th";
    EXPECT_TRUE(Shows(410, top + 13 * 4, "S4.KVW"));
    EXPECT_TRUE(Shows(510, top, "Z0"));
    EXPECT_TRUE(Shows(510, top + 13 * 9, "monrc")) << "lower case sorts after upper case";
    EXPECT_FALSE(Lit(510, top + 13 * 10, 639, 459));
    EXPECT_TRUE(Lit(210, 131 + 13, 600, 131 + 24)) << "the memory line";
}

TEST_F(MaintMenuTest, CursorStopsAndDefragmentation) {
    OpenMenu();
    EXPECT_EQ(G_CurPage, kPageSetupInputs);
    EXPECT_STREQ(G_SoftKeyLabel[4], "SELECT");
    Key(3);
    EXPECT_EQ(MaintenanceMenuRow(), 1);
    for (int i = 0; i < 5; ++i) Key(2);
    EXPECT_EQ(MaintenanceMenuRow(), 4);
    Key(3);
    EXPECT_EQ(MaintenanceMenuRow(), 3);

    // Dead space in a flash file system whose defragmentation outlasts the
    // 10 s watchdog of the menu's loop.
    const std::string big(400000, 'd');
    for (int i = 0; i < 6; ++i) Put("BIG.KVD", big + std::to_string(i));
    ASSERT_GT(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 0);
    RunApp([] { KickWatchdog(10); });
    const uint64_t before = board().Now();
    EXPECT_EQ(Key(4), StopReason::None) << "the watchdog was given 180 s";
    EXPECT_GT(board().Now() - before, 10ull * kTicksPerSecond);
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 0);
    EXPECT_EQ(Contents("BIG.KVD"), big + "5");
    EXPECT_NE(SysLog().find("User requested defrag"), std::string::npos);
    EXPECT_TRUE(Lit(300, 211, 530, 223)) << "Defrag Complete.";

    // A defragmentation the monitor refuses is not reported as complete.
    const int fd = mon_tfsopen("BIG.KVD", kTfsRead, nullptr);
    ASSERT_GE(fd, 0);
    Key(4);
    mon_tfsclose(fd, nullptr);
    EXPECT_NE(SysLog().find("ERROR: defrag failed"), std::string::npos);
    Key(1);
    EXPECT_EQ(left_, 1);
}

}  // namespace
