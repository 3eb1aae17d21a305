// The card's mount and polling, file copies between flash and card, the
// data-log flash ring, the logs written to the card and the log channels,
// checked against the card image with mtools and fsck.fat.
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "gui/gui.h"
#include "core/discrete.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/util.h"
#include "engine/instad.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/style.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/instrument.h"
#include "map/map.h"
#include "nav/navsrc.h"
#include "platform/board.h"
#include "platform/display.h"
#include "platform/monitor.h"
#include "platform/sdcard.h"
#include "sd_fixture.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "storage/flash.h"
#include "storage/mmc.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "storage/sdfile.h"

namespace {

using platform::SdFault;

// The system log written so far, in order (it starts at sector 60 on a new flash).
std::string LogText() {
    std::string out;
    for (uint32_t r = 0; r < G_SysLog.nRecord; ++r) {
        const char* rec = reinterpret_cast<const char*>(
            FlashPtr(G_SysLog.nSector * kFlashSectorBytes + r * kSysLogRecordBytes, kSysLogRecordBytes));
        out += std::string(rec, strnlen(rec, kSysLogRecordBytes));
    }
    return out;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::vector<std::string> Lines(const std::string& text, char end = '\n') {
    std::vector<std::string> out;
    std::stringstream s(text);
    std::string line;
    while (std::getline(s, line, end)) out.push_back(line);
    return out;
}

class SdServiceTest : public SdTest {
protected:
    void SetUp() override {
        SdTest::SetUp();
        GUI_Init();   // copies draw their progress, as after the boot screen
        SysLogOpen();
        G_DateTime = {2015, 10, 5, 30, 10, 37, 0};
    }
    void Remove() { board().mmc().Remove(); }
    void Insert() { ASSERT_TRUE(board().mmc().Insert()); }
};

// ---- mount and polling ----------------------------------------------------------

TEST_F(SdServiceTest, MountRemovalReinsertionAndFailedCards) {
    MakeCard("--fat 12");
    PollSDCard();
    EXPECT_EQ(G_SDCard.nState, kSdMounted);
    EXPECT_NE(LogText().find("SD Card Inserted: "), std::string::npos);
    EXPECT_NE(LogText().find(", FAT12, "), std::string::npos);
    EXPECT_EQ(G_MapFile[kMapFileVector].nStatus, kMapInsertCard);
    PollSDCard();
    EXPECT_EQ(Count(LogText(), "SD Card Inserted"), 1u) << "a mounted card is not mounted again";

    G_SdCache.tag[5] = 5;
    Remove();
    PollSDCard();
    PollSDCard();
    EXPECT_EQ(G_SDCard.nState, kSdNoCard);
    EXPECT_EQ(Count(LogText(), "SD Card Removed\n"), 1u);
    EXPECT_EQ(G_SdCache.tag[5], kSdCacheEmpty) << "the cache is cleared on removal";

    Insert();
    PollSDCard();
    EXPECT_EQ(G_SDCard.nState, kSdMounted);

    // A card that does not answer: three attempts, then failed until taken out.
    Remove();
    PollSDCard();
    board().mmc().card().InjectFault(SdFault::NoAnswer, -1);
    Insert();
    for (int i = 0; i < 6; ++i) PollSDCard();
    EXPECT_EQ(G_SDCard.nState, kSdFailed);
    EXPECT_EQ(Count(LogText(), "SD Card Failed to Initialize\n"), 1u);
    EXPECT_EQ(Count(LogText(), "Cannot initialize MMC controller\n"), 3u) << "not retried once failed";

    // Out and in again, and the second attempt succeeds.
    Remove();
    PollSDCard();
    board().mmc().card().ClearFaults();
    board().mmc().card().InjectFault(SdFault::NoAnswer, 1);
    Insert();
    PollSDCard();
    PollSDCard();
    EXPECT_EQ(G_SDCard.nState, kSdMounted);
}

// The boot screen's mount declares the card; a warm restart that clears the
// card record and fails to mount again leaves the poll to mount it, never to
// declare an empty volume mounted.
// A card cut shorter than its file system says: refused at the mount with a
// line saying why, and not one byte of it written.
TEST_F(SdServiceTest, CardShorterThanItsVolumeIsRefusedUntouched) {
    for (const char* fat : {"12", "16", "32"}) {
        SCOPED_TRACE(fat);
        MakeCard(std::string("--fat ") + fat, {{"KEEP.TXT", "keep"}});
        Remove();
        board().mmc().card().CloseImage();
        const std::string full = ReadHostFile(image_);
        ASSERT_GT(full.size(), 256u * 1024);
        const std::string cut = full.substr(0, full.size() - 128 * 1024);
        WriteHostFile(image_, cut);
        ASSERT_TRUE(board().mmc().card().OpenImage(image_.c_str()));
        Insert();
        for (int i = 0; i < 4; ++i) PollSDCard();
        EXPECT_NE(G_SDCard.nState, kSdMounted);
        EXPECT_NE(LogText().find("past the card's"), std::string::npos) << LogText();
        EXPECT_EQ(G_SdVolInfo.numsecs, 0u);
        Remove();
        PollSDCard();
        board().mmc().card().CloseImage();
        EXPECT_TRUE(ReadHostFile(image_) == cut) << "the card is left as it was";
    }
}

TEST_F(SdServiceTest, BootMountIsFinalAndAClearedRecordIsMountedAgain) {
    MakeCard("--fat 16");
    MountSDCard();
    EXPECT_EQ(G_SDCard.nState, kSdMounted);
    PollSDCard();
    EXPECT_EQ(Count(LogText(), "SD Card Inserted"), 1u);

    std::memset(&G_SDCard, 0, sizeof G_SDCard);
    std::memset(&G_SdVolInfo, 0, sizeof G_SdVolInfo);
    PollSDCard();
    EXPECT_EQ(G_SDCard.nState, kSdMounted);
    EXPECT_NE(G_SdVolInfo.secperclus, 0);
}

// ---- copies between TFS and the card ------------------------------------------

TEST_F(SdServiceTest, BackupRestoreAndDelete) {
    MakeCard("--fat 16");
    PollSDCard();
    const std::string settings = "RPM.MAX, 2700\nRPM.MIN, 0\n" + std::string(3000, 'x');
    ASSERT_EQ(mon_tfsadd("SYSTEM.KVD", nullptr, nullptr, reinterpret_cast<const uint8_t*>(settings.data()),
                         static_cast<int>(settings.size())), 0);
    ASSERT_EQ(mon_tfsadd("monrc", nullptr, nullptr, reinterpret_cast<const uint8_t*>("set A 1\n"), 8), 0);

    EXPECT_EQ(CopyFileSD(kCfgSystem, kExtKvd, kCopyBackup, ""), 0);
    EXPECT_TRUE(Mtype("SYSTEM.KVD") == settings);
    EXPECT_EQ(CopyFileSD(20, kCfgNoExt, kCopyBackup, ""), 0);
    EXPECT_EQ(Mtype("MONRC"), "set A 1\n");
    EXPECT_EQ(FsckProblems(), "");

    // Restore both after changing them on the card.
    const std::string changed = "RPM.MAX, 2800\n";
    WriteHostFile(dir_ + "/sys", changed);
    WriteHostFile(dir_ + "/rc", "set B 2\n");
    ASSERT_EQ(Shell("mcopy -o -i " + Target() + " " + dir_ + "/sys ::SYSTEM.KVD").status, 0);
    ASSERT_EQ(Shell("mcopy -o -i " + Target() + " " + dir_ + "/rc ::MONRC").status, 0);
    SdCacheClear();
    EXPECT_EQ(CopyFileSD(kCfgSystem, kExtKvd, kCopyRestore, ""), 0);
    EXPECT_EQ(CopyFileSD(20, kCfgNoExt, kCopyRestore, ""), 0);
    TfsStat st{};
    ASSERT_EQ(mon_tfsstat("SYSTEM.KVD", &st), 0);
    EXPECT_EQ(st.size, changed.size());
    ASSERT_EQ(mon_tfsstat("monrc", &st), 0);
    EXPECT_EQ(st.size, 8u);
    EXPECT_EQ(G_SDCard.nActivity, 0u);

    EXPECT_EQ(CopyFileSD(20, kCfgNoExt, kCopyDelete, ""), 0);
    EXPECT_LT(mon_tfsstat("monrc", &st), 0) << "DELETE uses the same TFS name";
}

TEST_F(SdServiceTest, CopyFailuresLeaveNoTraceAndNoOpenFiles) {
    MakeCard("--fat 16");
    EXPECT_EQ(CopyFileSD(kCfgSystem, kExtKvd, kCopyBackup, ""), kCopyNoCard);
    PollSDCard();

    // A TFS file that does not exist: -1 and nothing on the card.
    EXPECT_EQ(CopyFileSD(kCfgEngine, kExtKvc, kCopyBackup, ""), -1);
    EXPECT_EQ(Shell("mdir -b -i " + Target() + " ::").out, "");

    // Failed card writes, many times over: every TFS descriptor is given back.
    const std::string data(600, 'a');
    ASSERT_EQ(mon_tfsadd("SYSTEM.KVD", nullptr, nullptr, reinterpret_cast<const uint8_t*>(data.data()), 600), 0);
    board().mmc().card().InjectFault(SdFault::WriteProtect, -1);
    for (int i = 0; i < 12; ++i) EXPECT_NE(CopyFileSD(kCfgSystem, kExtKvd, kCopyBackup, ""), 0);
    board().mmc().card().ClearFaults();
    SdCacheClear();
    EXPECT_EQ(ReadConfigFile(kCfgSystem, kExtKvd), 0);

    // A card file larger than the TFS writer takes is refused before it is read.
    const std::string big(kCfgFileMax + 1, 'b');
    WriteHostFile(dir_ + "/big", big);
    ASSERT_EQ(Shell("mcopy -o -i " + Target() + " " + dir_ + "/big ::ENGINE.KVD").status, 0);
    SdCacheClear();
    FlashBuf[0] = 0x5A;
    EXPECT_EQ(CopyFileSD(kCfgEngine, kExtKvd, kCopyRestore, ""), -1);
    EXPECT_EQ(FlashBuf[0], 0x5A) << "nothing was read";
}

// ---- the data-log flash ring ----------------------------------------------------

uint32_t SlotYear(uint32_t sector, uint32_t rec) {
    uint32_t w;
    std::memcpy(&w, FlashPtr(kDataStoreBase + sector * kFlashSectorBytes + rec * kDataStoreRecBytes, 4), 4);
    return w;
}

TEST_F(SdServiceTest, RingCrossesSectorsSurvivesAResetAndWraps) {
    DataStoreInit();
    EXPECT_EQ(G_DataStore.sector, 0u);
    EXPECT_EQ(G_DataStore.curRec, 0u);
    EXPECT_EQ(G_DataStore.address, kDataStoreBase);

    G_InstReading[kInstRpm].nValue = 24005;   // logged as /10 rounded
    for (uint32_t i = 0; i < kDataStoreRecsPerSec + 5; ++i) DataStoreRecord();
    EXPECT_EQ(G_DataStore.sector, 1u);
    EXPECT_EQ(G_DataStore.curRec, 5u);
    const DataStorePos first{0, 0, kDataStoreBase};
    EXPECT_EQ(DataStoreAt(&first)->nDateTime[0], 2015u);
    EXPECT_EQ(DataStoreAt(&first)->nChan[12 - 2], 2401);

    // A new start finds the same position from the flash alone.
    G_DataStore = {};
    DataStoreInit();
    EXPECT_EQ(G_DataStore.sector, 1u);
    EXPECT_EQ(G_DataStore.curRec, 5u);

    // Round the ring: the first sector is erased just before it is used again.
    G_DateTime.nYear = 2016;
    while (!(G_DataStore.sector == 0 && G_DataStore.curRec == 1)) DataStoreRecord();
    EXPECT_EQ(SlotYear(0, 0), 2016u);
    EXPECT_EQ(SlotYear(0, 1), 0xFFFFFFFFu) << "old records of the sector were erased";
    EXPECT_EQ(SlotYear(1, 0), 2015u) << "the next sector keeps its records until it is reached";
    G_DataStore = {};
    DataStoreInit();
    EXPECT_EQ(G_DataStore.sector, 0u);
    EXPECT_EQ(G_DataStore.curRec, 1u);
}

TEST_F(SdServiceTest, CursorsSkipInvalidYearsAndStopAtTheWritePosition) {
    DataStoreInit();
    for (uint32_t year : {2010u, 1999u, 2011u, 3000u, 2012u}) {
        G_DateTime.nYear = year;
        DataStoreRecord();
    }
    DataStorePos c = G_DataStore;
    EXPECT_EQ(RollBack(&c, 2), 1);
    EXPECT_EQ(c.curRec, 0u) << "the third newest valid record";
    std::vector<uint32_t> years;
    while (GetNextRec(&c, 0)) years.push_back(DataStoreAt(&c)->nDateTime[0]);
    EXPECT_EQ(years, (std::vector<uint32_t>{2011, 2012}));
    EXPECT_NE(LogText().find("GetNextRec Back to beginning\n"), std::string::npos);

    // Negative values are their 16-bit two's complement.
    G_DateTime.nYear = 2015;
    G_AirData.nVs = -1500;
    DataStoreRecord();
    c = G_DataStore;
    ASSERT_EQ(RollBack(&c, 0), 1);
    EXPECT_EQ(DataStoreAt(&c)->nChan[10 - 2], -1500);
}

TEST_F(SdServiceTest, PartlyWrittenSlotIsLeftBehind) {
    DataStoreInit();
    // A slot whose first word is already programmed cannot take the record.
    const uint32_t junk = 0x12345678;
    ASSERT_GE(FlashWrite(kDataStoreBase, &junk, 4), 0);
    const uint32_t rest = 0;
    ASSERT_GE(FlashWrite(kDataStoreBase + 4, &rest, 4), 0);   // later bits cleared: the record cannot be written
    DataStoreRecord();
    EXPECT_EQ(G_DataStore.curRec, 1u) << "moved on instead of retrying the same slot forever";
    DataStoreRecord();
    EXPECT_EQ(SlotYear(0, 1), 2015u);
}

// ---- export, log channels and log copies ----------------------------------------

TEST_F(SdServiceTest, LogChannelsDefaultsAndRepeatedKeys) {
    ASSERT_LT(LoadLogChannels(), 0);
    WriteLogCfgSD();
    ASSERT_EQ(LoadLogChannels(), 0);
    EXPECT_EQ(G_CfgCount, 60u);
    // Every channel but the switched-off ones, in channel order.
    EXPECT_EQ(G_LogChanFlash[0], 2u);
    EXPECT_EQ(G_LogChanFlash[1], 5u) << "SENSORTEMP and AOA are off by default";
    EXPECT_EQ(G_LogChanSD[0], 0u);

    // Repeated keys fill the lists to their end and no further.
    for (uint32_t i = 0; i < 300; ++i) {
        std::snprintf(G_CfgKey[i], kCfgFieldBytes, "%s", i % 2 ? "rpm" : "ALTITUDE");
        std::snprintf(G_CfgValue[i], kCfgFieldBytes, "1");
    }
    ASSERT_EQ(writedatabyline(300, kCfgLogCfgSD, kExtKvd), 0);
    ASSERT_EQ(LoadLogChannels(), 0);
    EXPECT_EQ(G_LogChanSD[kLogChanSDWords - 1], kLogChanEnd);
    EXPECT_EQ(G_LogChanFlash[kLogChanFlashWords - 1], kLogChanEnd);
    EXPECT_EQ(G_LogChanSD[1], 10u);
}

void SetChannels(std::initializer_list<uint32_t> chans) {
    uint32_t i = 0;
    for (uint32_t c : chans) G_LogChanFlash[i++] = c;
    G_LogChanFlash[i] = kLogChanEnd;
}

TEST_F(SdServiceTest, ExportFormatsFieldsAndReadsBackWithMtools) {
    MakeCard("--fat 32");
    PollSDCard();
    DataStoreInit();
    G_DataStoreInterval = 5;
    // One record with values chosen for the formatting rules.
    G_AirData.nBaroAlt = 4567;        // ALTITUDE 456 -> 4560
    G_InstReading[4].nValue = -5;     // BATVOLTS -0.5
    G_InstReading[46].nValue = -1234; // FLIGHT_TIME -123 -> -1.23
    G_Ahrs.nPitch = -45;              // -0.45
    G_Ahrs.nStatus = 0xBEEF;
    G_AirData.nBaroSetting = 29996;   // 30.00
    G_DiscreteIn.nState = 5;          // 101
    NvSetF32(kNvLastLatitude, -0.5f);
    NvSetF32(kNvLastLongitude, 123.45678f);
    DataStoreRecord();
    SetChannels({2, 6, 44, 49, 54, 62, 48, 55, 57});
    DataStoreToSD(0, 0, 1, 0);
    const std::vector<std::string> lines = Lines(Mtype("51030103.ALD"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("KV-5100 Software Version:7.5.0-MV15 ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "DATE, TIME, ALTITUDE, BATVOLTS, FLIGHT_TIME, PITCH, AHRS_STATUS, BARO, INPUTS_123, "
                        "LATITUDE, LONGITUDE");
    EXPECT_EQ(lines[2], "10/30/15,10:37:00, 4560, -0.5, -1.23, -0.45, 0xBEEF, 30.00, 101, -0.50000, 123.45678");
    EXPECT_EQ(FsckProblems(), "");
}

// The angle of attack and both tracks of the map source reach their
// channels (AOA 4, TRACK_DTRUE 60, TRACK_DMAG 61) as their records hold them.
TEST_F(SdServiceTest, AoaAndTrackChannelsCarryTheirRecords) {
    G_Aoa.nAoa = 17;
    G_NavSrc.hdr.nMapSrcSlot = 2;
    G_NavSrc.rec[2].nTrackTrue = 1234;
    G_NavSrc.rec[2].nTrackMag = -1101;
    DataStoreRec rec{};
    DataStoreBuild(&rec);
    EXPECT_EQ(rec.nChan[4 - 2], 17);
    EXPECT_EQ(rec.nChan[60 - 2], 1234);
    EXPECT_EQ(rec.nChan[61 - 2], -1101);
}

TEST_F(SdServiceTest, ExportCountsRecordsInTimeOrder) {
    MakeCard("--fat 16");
    PollSDCard();
    DataStoreInit();
    G_DataStoreInterval = 5;
    for (uint32_t i = 0; i < 200; ++i) {
        G_DateTime.nMinutes = i / 12;
        G_DateTime.nSeconds = (i % 12) * 5;
        DataStoreRecord();
    }
    G_DateTime.nMinutes = 37;
    SetChannels({12});

    struct Case {
        int32_t minutes;
        size_t records;
        const char* lastLogLine;
    };
    const Case cases[] = {{0, 0, nullptr}, {10, 120, nullptr}, {60, 200, "GetNext failed at 200 recs"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.minutes);
        DataStoreToSD(0, 0, c.minutes, 0);
        const std::vector<std::string> lines = Lines(Mtype("51030103.ALD"));
        ASSERT_EQ(lines.size(), 2 + c.records);
        for (size_t i = 3; i < lines.size(); ++i) EXPECT_LT(lines[i - 1], lines[i]) << "time order";
        if (c.records == 120) {
            EXPECT_EQ(lines.back().substr(0, 17), "10/30/15,10:16:35") << "the newest record last";
        }
        if (c.lastLogLine) {
            EXPECT_NE(LogText().find(c.lastLogLine), std::string::npos);
        }
        EXPECT_EQ(FsckProblems(), "");
    }
    EXPECT_EQ(G_SDCard.nActivity, 0u);
}

TEST_F(SdServiceTest, LiveEngineLogLinesAndHeader) {
    MakeCard("--fat 16");
    PollSDCard();
    G_LogChanSD[0] = 4, G_LogChanSD[1] = 10, G_LogChanSD[2] = kLogChanEnd;
    OpenEngineLog();
    ASSERT_EQ(G_SDCard.nLogging, 1u);
    G_InstReading[4].nValue = -5;
    G_InstReading[10].nValue = -15;
    WriteEngineLogRec(0);
    G_InstReading[4].nValue = 123;
    WriteEngineLogRec(0);
    EXPECT_EQ(Mtype("51030103.ALD"), "DATE,TIME,BATVOLTS,RPM\r\n") << "held until flushed";
    WriteEngineLogRec(1);
    EXPECT_EQ(Mtype("51030103.ALD"), "DATE,TIME,BATVOLTS,RPM\r\n10/30/15,10:37:00,-0.5,-1.5\r\n"
                                     "10/30/15,10:37:00,12.3,-1.5\r\n");
    for (int i = 0; i < 40; ++i) WriteEngineLogRec(0);
    WriteEngineLogRec(1);
    EXPECT_EQ(Lines(Mtype("51030103.ALD")).size(), 43u);
    EXPECT_EQ(FsckProblems(), "");
}

// Lines longer than half the pending text: the text pending goes out first
// and the line is kept, never dropped.
TEST_F(SdServiceTest, LongLiveLogLinesAreAllKept) {
    MakeCard("--fat 16");
    PollSDCard();
    for (uint32_t i = 0; i < 33; ++i) G_LogChanSD[i] = i;
    G_LogChanSD[33] = kLogChanEnd;
    OpenEngineLog();
    ASSERT_EQ(G_SDCard.nLogging, 1u);
    for (uint32_t i = 0; i < 33; ++i) G_InstReading[i].nValue = 12345;    // ",1234.5": 250-byte lines
    WriteEngineLogRec(0);
    for (uint32_t i = 0; i < 33; ++i) G_InstReading[i].nValue = 123456;   // ",12345.6": 283 bytes
    WriteEngineLogRec(0);
    WriteEngineLogRec(1);
    const std::vector<std::string> lines = Lines(Mtype("51030103.ALD"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].size(), 250u - 1);   // without the line feed Lines() splits on
    EXPECT_EQ(lines[2].size(), 283u - 1);
    EXPECT_EQ(LogText().find("dropped"), std::string::npos);
    EXPECT_EQ(FsckProblems(), "");
}

// An export in the same ten minutes as the open live log would take its
// name: it is refused, and the live log goes on intact.
TEST_F(SdServiceTest, ExportNeverDeletesTheOpenLiveLog) {
    MakeCard("--fat 16");
    PollSDCard();
    G_LogChanSD[0] = 4, G_LogChanSD[1] = kLogChanEnd;
    OpenEngineLog();
    ASSERT_EQ(G_SDCard.nLogging, 1u);
    G_InstReading[4].nValue = 141;
    for (int i = 0; i < 30; ++i) WriteEngineLogRec(0);
    WriteEngineLogRec(1);
    DataStoreInit();
    for (int i = 0; i < 50; ++i) DataStoreRecord();
    SetChannels({12});
    DataStoreToSD(0, 0, 10, 0);
    EXPECT_NE(LogText().find("51030103.ALD is the open engine log"), std::string::npos) << LogText();
    for (int i = 0; i < 5; ++i) WriteEngineLogRec(0);
    WriteEngineLogRec(1);
    const std::vector<std::string> lines = Lines(Mtype("51030103.ALD"));
    ASSERT_EQ(lines.size(), 36u);
    EXPECT_EQ(lines[0], "DATE,TIME,BATVOLTS\r");
    EXPECT_EQ(lines[35], "10/30/15,10:37:00,14.1\r");
    EXPECT_EQ(FsckProblems(), "");
}

// The interactive progress line is cleared in the page being drawn, where
// its text goes; the page shown is left alone.
TEST_F(SdServiceTest, ProgressLineClearsThePageBeingDrawn) {
    uint8_t* mem = board().display().Memory();
    std::memset(mem, 7, 640 * 960);
    G_FlipCtl.nDrawPageY = 480;
    SdShowProgress(100, 200, 1, " %s -", "51030103.ALD");
    for (uint32_t y = 200; y <= 216; ++y)
        for (uint32_t x = 100; x < 640; ++x) ASSERT_EQ(mem[y * 640 + x], 7) << "shown page at " << x << "," << y;
    uint32_t cleared = 0;
    for (uint32_t y = 680; y <= 696; ++y)
        for (uint32_t x = 100; x < 640; ++x) cleared += mem[y * 640 + x] != 7;
    EXPECT_GT(cleared, 540u * 17 / 2) << "the line's row of the drawn page is cleared";
    EXPECT_EQ(mem[679 * 640 + 300], 7);
    EXPECT_EQ(mem[697 * 640 + 300], 7);
    G_FlipCtl.nDrawPageY = 0;
}

TEST_F(SdServiceTest, SystemAndRamLogsCopiedToTheCard) {
    MakeCard("--fat 12");
    PollSDCard();
    InitRamLog(0);
    for (int i = 0; i < 1400; ++i) RamLogPrintf("ram line %04d %s\n", i, std::string(70, 'r').c_str());
    for (int i = 0; i < 2100; ++i) DebugPrintf("sys line %04d\n", i);
    const std::string sysBefore = [] {
        std::string out;
        for (uint32_t r = 0; r < kSysLogRecords; ++r) {
            const char* rec = reinterpret_cast<const char*>(FlashPtr(kSysLogSectorA * kFlashSectorBytes + r * 64, 64));
            out += std::string(rec, strnlen(rec, 64));
        }
        for (uint32_t r = 0; r < G_SysLog.nRecord; ++r) {
            const char* rec = reinterpret_cast<const char*>(FlashPtr(kSysLogSectorB * kFlashSectorBytes + r * 64, 64));
            out += std::string(rec, strnlen(rec, 64));
        }
        return out;
    }();
    ASSERT_EQ(G_SysLog.nSector, kSysLogSectorB);

    CopySysLogSD(0, 0, 0);
    EXPECT_TRUE(Mtype("51030103.ALS") == sysBefore + "SYSLOGS-> SD: 51030103.ALS...\n");
    EXPECT_EQ(G_SysLog.nSuspended, 0u);

    CopyRamLogSD(0, 0, 0);
    const std::vector<std::string> ram = Lines(Mtype("51030103.ALR"));
    ASSERT_EQ(ram.size(), kRamLogLines);
    // The oldest held line first (1,400 lines and two copies' start lines were
    // written), the copy's own start line last.
    EXPECT_EQ(ram[0].substr(0, 13), "ram line 0037");
    EXPECT_EQ(ram.back().substr(0, 21), "CopyRamLogSD started ");
    EXPECT_EQ(G_RamLog.nEnabled, 1u);
    EXPECT_EQ(FsckProblems(), "");
    EXPECT_EQ(Shell("mdir -b -i " + Target() + " ::").out.find("ALS") != std::string::npos, true);
}

// ---- the card's file listing -------------------------------------------------

// The listing runs its own loop: keys, knob steps and looks at the screen
// arrive as timed host events, as the tick and a viewer would see them.
enum ListEvent { kKey = 1, kKnob, kLook };
std::vector<std::vector<uint32_t>> g_looks;

constexpr int kListY = 131;

std::vector<uint32_t> ListArea() {
    std::vector<uint32_t> px;
    const int page = static_cast<int>(G_FlipCtl.nDrawPageY);
    for (int y = kListY; y <= 459; ++y)
        for (int x = 210; x <= 639; ++x) px.push_back(GUI_GetPixelIndex(x, y + page));
    return px;
}

// One 75-pixel column of a look at the area, below the summary line.
std::vector<uint32_t> Column(const std::vector<uint32_t>& look, int column) {
    std::vector<uint32_t> px;
    for (int y = 15; y <= 459 - kListY; ++y)
        for (int x = column * 75; x < column * 75 + 75 && x < 430; ++x) px.push_back(look[y * 430 + x]);
    return px;
}

class SdListTest : public SdServiceTest {
protected:
    void SetUp() override {
        SdServiceTest::SetUp();
        G_InstAd[kInstMainVolts].nAdValue = 4000;   // on line power: the battery check stays quiet
        g_looks.clear();
        board().hostEvents().SetHandler([](platform::Board&, const platform::HostEvent& e) {
            if (e.kind == kKey && G_KeyEvent == 0) G_KeyEvent = e.arg[0];
            if (e.kind == kKnob) G_Knob0.nDelta = e.arg[0];
            if (e.kind == kLook) g_looks.push_back(ListArea());
        });
    }
    // Host events at 100 ms steps from now: {kind, arg}.
    void Script(const std::vector<std::pair<int, int>>& events) {
        uint64_t at = board().Now();
        for (auto [kind, arg] : events) {
            at += kTicksPerSecond / 10;
            ASSERT_TRUE(board().hostEvents().Add(platform::HostEvent{at, kind, {arg, 0, 0}}));
        }
    }
    // What the listing should show, drawn the plain way.
    static std::vector<uint32_t> Expected(const char* summary, const std::vector<std::pair<int, std::string>>& rows,
                                          const std::vector<int>& underlined) {
        GUI_SetBkColorIndex(0);
        GUI_ClearRect(210, kListY, 639, 459);
        DrawTextF(0xFFFFFF, 23, 0, 210, kListY, "%s", summary);
        int column = -1, row = 0;
        for (const auto& [col, text] : rows) {
            row = col == column ? row + 1 : 0;
            column = col;
            DrawTextF(0xFFFFFF, 23, 0, 210 + 75 * col, kListY + 15 + 10 * row, "%s", text.c_str());
        }
        SetDrawColor(0xFFFFFF);
        for (int col : underlined) GUI_DrawHLine(kListY + 15 + 8, 210 + 75 * col, 210 + 75 * col + 74);
        return ListArea();
    }
};

// Names as listed: the name's letters and digits and a real extension; no
// volume label, no directory; the charts in a column of their own. RETURN
// clears the area; a key that means nothing here is taken, not left to block.
TEST_F(SdListTest, ListsRootAndChartsFiles) {
    MakeCard("--fat 12 --label CARD", {{"ONE.TXT", "1"}, {"README", "2"}, {"LONGNAME.DAT", "3"}, {"A_B.C", "4"},
                                      {"SUBDIR/IN.TXT", "5"}, {"CHARTS/MAP1.BIN", "6"}});
    PollSDCard();
    GUI_Init();
    Script({{kLook, 0}, {kKey, 5}, {kKey, 0x11}});
    ListSDCard(kListY);
    ASSERT_EQ(g_looks.size(), 1u);
    char summary[64];
    std::snprintf(summary, sizeof summary, "SD Card: %dMB, FAT12, 5 files found",
                  static_cast<int>(G_SdVolInfo.secperclus * G_SdVolInfo.numclusters * 512u / 1000000u));
    const auto want = Expected(summary,
                               {{0, "ROOT DIR"}, {0, "ONE.TXT"}, {0, "README"}, {0, "LONGNAME.DAT"}, {0, "A.C"},
                                {1, "CHARTS DIR"}, {1, "MAP1.BIN"}},
                               {0, 1});
    EXPECT_TRUE(g_looks[0] == want) << "the listing differs from its names drawn in place";
    GUI_ClearRect(210, kListY, 639, 459);
    EXPECT_EQ(G_KeyEvent, 0);

    Remove();
    PollSDCard();
    Script({{kLook, 0}, {kKey, 1}});
    ListSDCard(kListY);
    EXPECT_TRUE(g_looks.at(1) == Expected("SD Card Not Detected", {}, {}));
}

// A listing wider than the screen scrolls a column at a time: NEXT or a knob
// step right while columns run past the edge, PREV or a step left back to
// the start, and no further either way.
TEST_F(SdListTest, ScrollsColumnsWithinTheListing) {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 160; ++i) files.push_back({"F" + std::to_string(1000 + i) + ".TXT", "x"});
    MakeCard("--fat 16 --root-entries 512", files);
    PollSDCard();
    GUI_Init();
    // Columns: 161 rows in 31-row columns fill six, CHARTS starts the seventh.
    Script({{kLook, 0}, {kKey, 3}, {kLook, 0}, {kKey, 2}, {kLook, 0}, {kKnob, 1}, {kLook, 0}, {kKey, 0x12},
            {kLook, 0}, {kKnob, -2}, {kLook, 0}, {kKey, 0x13}, {kLook, 0}, {kKey, 1}});
    ListSDCard(kListY);
    ASSERT_EQ(g_looks.size(), 7u);
    EXPECT_TRUE(g_looks[1] == g_looks[0]) << "PREV at the start";
    EXPECT_TRUE(Column(g_looks[2], 0) == Column(g_looks[0], 1)) << "NEXT: one column";
    EXPECT_TRUE(Column(g_looks[3], 0) == Column(g_looks[0], 2)) << "knob: one more";
    EXPECT_TRUE(Column(g_looks[3], 4) != Column(g_looks[0], 4));
    EXPECT_TRUE(g_looks[4] == g_looks[3]) << "the last column is in full view";
    EXPECT_TRUE(Column(g_looks[5], 0) == Column(g_looks[0], 1)) << "knob back";
    EXPECT_TRUE(g_looks[6] == g_looks[0]) << "PREV back to the start";
    EXPECT_TRUE(Column(g_looks[0], 0) != Column(g_looks[0], 1));
}

// A CHARTS folder whose chain loops back on itself: the listing still ends,
// and RETURN leaves it.
TEST_F(SdListTest, ALoopingChartsChainEndsTheListing) {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 14; ++i) files.push_back({"CHARTS/M" + std::to_string(i) + ".BIN", "m"});
    MakeCard("--fat 16 --spc 1", files);
    PollSDCard();
    ASSERT_EQ(G_SDCard.nState, kSdMounted);
    DFS_DirInfo di{};
    di.scratch = scratch_;
    ASSERT_EQ(DFS_OpenDir(&G_SdVolInfo, "CHARTS", &di), DFS_OK);
    uint32_t cached = 0;
    ASSERT_EQ(DFS_WriteFatEntry(&G_SdVolInfo, scratch_, &cached, di.currentcluster, di.currentcluster), DFS_OK);
    SdCacheClear();
    Script({{kLook, 0}, {kKey, 1}});
    ListSDCard(kListY);
    EXPECT_EQ(g_looks.size(), 1u);
    EXPECT_EQ(G_KeyEvent, 0);
}

}  // namespace
