// The card self-test on fresh images of each FAT type, read back with
// mtools and checked with fsck.fat.
#include <string>

#include "core/syslog.h"
#include "gui/gui.h"
#include "sd_fixture.h"
#include "storage/flash.h"
#include "storage/sdcard.h"
#include "storage/sdtest.h"

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

class SdSelfTestTest : public SdTest {
protected:
    void SetUp() override {
        SdTest::SetUp();
        GUI_Init();
        SysLogOpen();
    }
    // The file set the run leaves, checked with the independent tools.
    void CheckCard() {
        const std::string small = "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n:\n;\n<\n=\n>\n?\nEnd  of  file. \n";
        EXPECT_EQ(Mtype("WRTEST0.TXT"), small);
        EXPECT_EQ(Mtype("WRTEST2.TXT"), small);
        const std::string lines = Mtype("WRTEST3.TXT");
        EXPECT_EQ(lines.size(), 10000u);
        EXPECT_EQ(lines.substr(0, 20), "0000 This is a test\n");
        EXPECT_EQ(lines.substr(9980), "0499 This is a test\n");
        EXPECT_EQ(Mtype("WRTEST4.TXT"), std::string(10240, '0'));
        EXPECT_EQ(Mdir("").find("WRTEST1"), std::string::npos);
        EXPECT_EQ(FsckProblems(), "");
    }
};

TEST_F(SdSelfTestTest, RunsOnEveryFatTypeAndAgainOnItsOwnFiles) {
    const char* cards[] = {"--fat 12", "--fat 16", "--fat 32", "--fat 16 --partitioned --spc 4", "--fat 12 --spc 2"};
    for (const char* args : cards) {
        SCOPED_TRACE(args);
        MakeCard(args);
        PollSDCard();
        ASSERT_EQ(G_SDCard.nState, kSdMounted);
        EXPECT_EQ(SdSelfTest(), 0u);
        CheckCard();
        EXPECT_EQ(SdSelfTest(), 0u) << "a second run overwrites the files in place";
        CheckCard();
        board().mmc().Remove();
        PollSDCard();
    }
}

TEST_F(SdSelfTestTest, LogsTheVolumeListingsAndReadBack) {
    MakeCard("--fat 32 --label TESTCARD");
    PollSDCard();
    ASSERT_EQ(SdSelfTest(), 0u);
    const std::string log = LogText();
    for (const char* line : {"\n#Reading MBR...\n#  Partition 0 - start sector:0x00000000", "#  Volume label 'TESTCARD   '\n",
                             "#  Filesystem IDd as FAT32.\n", "#  file: 'WRTEST1 TXT', 00, 48\n",
                             "#  read complete: 48 bytes (expected 48) pointer 48\n#  file contents: (filelen: 48)\n0\n1\n",
                             "#  Dir after:\n#  file: 'WRTEST0 TXT', 00, 48\n#  file: 'WRTEST2 TXT', 00, 48\n\n#Writing WRTEST3",
                             "\n#  write complete:  len 10000 - pointer 10000\n",
                             "\n#  write complete:  len 10240 - pointer 10240\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log.substr(0, 3000);
}

TEST_F(SdSelfTestTest, NoCardIsAFailure) {
    EXPECT_EQ(SdSelfTest(), 0xFFFFFFFFu);
    EXPECT_NE(LogText().find("Card is not inserted\n"), std::string::npos);
}

}  // namespace
