// Screen dumps: the file on the card decoded by an independent image library
// (Pillow), the names across days, the dump without a card, and the tick
// leaving the writing to the main loop.
#include <cstring>
#include <string>

#include "core/boot.h"
#include "core/irq.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "platform/display.h"
#include "platform/monitor.h"
#include "sd_fixture.h"
#include "storage/clockmem.h"
#include "storage/flash.h"
#include "storage/screendump.h"
#include "storage/sdcard.h"

namespace {

std::string LogText() {
    std::string out;
    for (uint32_t r = 0; r < G_SysLog.nRecord; ++r) {
        const char* rec = reinterpret_cast<const char*>(
            FlashPtr(G_SysLog.nSector * kFlashSectorBytes + r * kSysLogRecordBytes, kSysLogRecordBytes));
        out += std::string(rec, strnlen(rec, kSysLogRecordBytes));
    }
    return out;
}

class ScreenDumpTest : public SdTest {
protected:
    void SetUp() override {
        SdTest::SetUp();
        GUI_Init();
        InitPalette();
        SysLogOpen();
        I2cInit();
        G_DateTime = {2015, 10, 5, 30, 10, 37, 0};
    }

    // Two different pictures in the two display pages.
    void PaintPages() {
        uint8_t* mem = board().display().Memory();
        for (uint32_t y = 0; y < 960; ++y)
            for (uint32_t x = 0; x < 640; ++x)
                mem[y * 640 + x] = static_cast<uint8_t>(y < 480 ? (x / 8 + y) % 50 : 128 + (x * 3 + y * 7) % 128);
    }

    // Serves a pending request as the main loop does after the tick saw the flip.
    void Dump() {
        G_ScreenDumpReq = 1;
        G_SDCard.nActivity = 1;
        G_ScreenDumpDue = 1;
        ServeScreenDump();
    }

    std::string CardFile(const std::string& name) {
        const std::string out = dir_ + "/" + name;
        Shell("MTOOLS_SKIP_CHECK=1 mcopy -n -o -i " + Target() + " ::" + name + " " + out);
        return out;
    }
};

TEST_F(ScreenDumpTest, CardFileIsTheShownPageWithTheBootPalette) {
    MakeCard("--fat 16");
    PollSDCard();
    ASSERT_EQ(G_SDCard.nState, kSdMounted);
    PaintPages();
    G_FlipCtl.nPageShown = 1;    // rows 480..959 are shown; the drawing offset names the other page
    G_FlipCtl.nDrawPageY = 0;
    Dump();
    EXPECT_EQ(G_ScreenDumpReq, 0u);
    EXPECT_EQ(G_ScreenDumpDue, 0u);
    EXPECT_EQ(G_SDCard.nActivity, 0u);
    EXPECT_NE(LogText().find("INFO: Screen Dump 308278 bytes from (0,480)."), std::string::npos) << LogText();
    EXPECT_NE(LogText().find("INFO: 308278 bytes written(SD) in "), std::string::npos);

    const std::string bmp = CardFile("SS103001.KVB");
    EXPECT_EQ(ReadHostFile(bmp).size(), 308278u);
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1])\n"
        "print(im.format, im.mode, im.size[0], im.size[1])\n"
        "open(sys.argv[2], 'wb').write(im.tobytes())\n"
        "open(sys.argv[3], 'wb').write(bytes(im.getpalette()[:768]))\n";
    WriteHostFile(dir_ + "/decode.py", script);
    const ToolResult r = Shell("/usr/bin/python3 " + dir_ + "/decode.py " + bmp + " " + dir_ + "/pix " + dir_ + "/pal",
                               true);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "BMP P 640 480\n");

    const std::string pixels = ReadHostFile(dir_ + "/pix");
    ASSERT_EQ(pixels.size(), 640u * 480u);
    EXPECT_EQ(std::memcmp(pixels.data(), board().display().Memory() + 480 * 640, pixels.size()), 0)
        << "the decoded indices are those of the shown page";
    const std::string palette = ReadHostFile(dir_ + "/pal");
    ASSERT_EQ(palette.size(), 768u);
    // The table carries the boot palette's colours; the controller shows each
    // component at 4 bits, so both must name the same level.
    int wrongBoot = 0, wrongShown = 0;
    for (int i = 0; i < 256; ++i) {
        const uint32_t shown = board().display().PaletteRgb(static_cast<uint8_t>(i));
        for (int c = 0; c < 3; ++c) {
            const uint32_t v = static_cast<uint8_t>(palette[3 * i + c]);
            wrongBoot += v != ((G_LcdColors.aColor[i] >> (8 * c)) & 0xFF);
            wrongShown += (v + 8) / 17 * 17 != ((shown >> (8 * c)) & 0xFF);
        }
    }
    EXPECT_EQ(wrongBoot, 0) << "the colour table is the boot palette";
    EXPECT_EQ(wrongShown, 0) << "and the colours shown";
    EXPECT_EQ(G_LcdColors.aColor[31], 0xFFFFFFu);
    EXPECT_EQ(FsckProblems(), "");
}

// The card refuses writes part-way through the bitmap: the failure is
// reported, never success, and the card stays consistent.
TEST_F(ScreenDumpTest, AWriteFailingPartWayIsReportedAndLeavesTheCardClean) {
    MakeCard("--fat 16");
    PollSDCard();
    ASSERT_EQ(G_SDCard.nState, kSdMounted);
    PaintPages();
    const uint32_t firstFree = DFS_FindFreeCluster(&G_SdVolInfo, scratch_);
    board().mmc().card().RefuseWritesFrom(G_SdVolInfo.dataarea + (firstFree - 2 + 3) * G_SdVolInfo.secperclus);
    Dump();
    board().mmc().card().ClearFaults();
    EXPECT_NE(LogText().find("INFO: could not write file(SD). Error -1"), std::string::npos) << LogText();
    EXPECT_EQ(LogText().find("written(SD)"), std::string::npos);
    EXPECT_EQ(FsckProblems(), "");
}

TEST_F(ScreenDumpTest, NamesCountThroughTheDayAndRestartOnANewOne) {
    MakeCard("--fat 32");
    PollSDCard();
    ASSERT_EQ(G_SDCard.nState, kSdMounted);
    struct Case { uint32_t month, day; const char* name; };
    const Case cases[] = {
        {10, 30, "SS103001.KVB"}, {10, 30, "SS103002.KVB"},
        {12, 31, "SS123101.KVB"},   // a new day restarts at 01, day bit 4 kept in register 26
        {12, 31, "SS123102.KVB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_DateTime.nMonth = c.month;
        G_DateTime.nDay = c.day;
        Dump();
        EXPECT_STREQ(ScreenDumpBmp, c.name);
    }
    EXPECT_EQ(G_ClockMem[25], 12 | (31 & 15) << 4);
    EXPECT_EQ(G_ClockMem[26], 1 | 3 << 1);
    uint8_t chip[2] = {};
    ASSERT_EQ(ReadClockMem(chip, 25, 2), 0);
    EXPECT_EQ(chip[0], G_ClockMem[25]) << "registers 25 and 26 are written to the clock chip";
    EXPECT_EQ(chip[1], G_ClockMem[26]);

    // The hundredth dump of a day is number 00, then counting goes on from 01.
    G_ClockMem[26] = static_cast<uint8_t>(1 | 99 << 1);
    Dump();
    EXPECT_STREQ(ScreenDumpBmp, "SS123199.KVB");
    Dump();
    EXPECT_STREQ(ScreenDumpBmp, "SS123100.KVB");
    Dump();
    EXPECT_STREQ(ScreenDumpBmp, "SS123101.KVB");
    const std::string dir = Mdir("");
    for (const char* name : {"SS103001 KVB", "SS103002 KVB", "SS123101 KVB", "SS123199 KVB", "SS123100 KVB"})
        EXPECT_NE(dir.find(name), std::string::npos) << name << "\n" << dir;
    EXPECT_EQ(FsckProblems(), "");
}

TEST_F(ScreenDumpTest, WithoutACardTheDumpGoesToFlashOrReportsWhyNot) {
    PaintPages();
    Dump();
    EXPECT_NE(LogText().find("INFO: 308278 bytes written(FLASH) in "), std::string::npos) << LogText();
    TfsStat st{};
    ASSERT_EQ(mon_tfsstat("SS103001.KVB", &st), 0);
    EXPECT_EQ(st.size, 308278u);

    // Fill the flash file system until 512 KB or less is left.
    static uint8_t block[200000];
    for (int i = 0; mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0) > 0x80000 + 200000 && i < 20; ++i) {
        const std::string name = "FILL" + std::to_string(i);
        ASSERT_EQ(mon_tfsadd(name.c_str(), nullptr, nullptr, block, sizeof block), 0);
    }
    while (mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0) > 0x80000)
        ASSERT_EQ(mon_tfsadd(("F" + std::to_string(mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0))).c_str(), nullptr,
                             nullptr, block, 50000), 0);
    Dump();
    EXPECT_NE(LogText().find("INFO: File Not Written, Flash Full\n"), std::string::npos);
    EXPECT_NE(mon_tfsstat("SS103002.KVB", &st), 0);
}

TEST_F(ScreenDumpTest, TickOnlyNotesTheFlip) {
    MakeCard("--fat 16");
    PollSDCard();
    G_ScreenDumpReq = 1;
    G_SDCard.nActivity = 0;
    G_FlipCtl.nFlipReq = 1;
    board().display();   // the controller reports ready to flip in its own time
    RunApp([] {
        for (int i = 0; i < 200 && G_FlipCtl.nFlipReq; ++i) PageFlip();
    });
    EXPECT_EQ(G_ScreenDumpDue, 0u) << "no dump before the mark was shown";

    G_SDCard.nActivity = 1;
    G_FlipCtl.nFlipReq = 1;
    RunApp([] {
        for (int i = 0; i < 100000 && G_FlipCtl.nFlipReq; ++i) PageFlip();
    });
    ASSERT_EQ(G_FlipCtl.nFlipReq, 0u);
    EXPECT_EQ(G_ScreenDumpDue, 1u);
    EXPECT_EQ(G_ScreenDumpReq, 1u) << "the request stays until the main loop has written the file";
    EXPECT_EQ(Mdir("").find("SS1030"), std::string::npos) << "nothing written inside the tick";
}

}  // namespace
