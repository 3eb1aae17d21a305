#include "core/syslog.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/rtc.h"
#include "core/serial.h"
#include "platform/hw.h"
#include "storage/flash.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"

namespace {

constexpr uint32_t kLsrEmpty = 0x40;   // transmitter empty
const std::string kSeparator = "\n\n======================================================\n\n";

// Text as the debug port sends it: the port adds a carriage return after each line feed.
std::string OnConsole(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\n') out += '\r';
    }
    return out;
}

uint32_t RecordAddress(uint32_t sector, uint32_t record) {
    return sector * kFlashSectorBytes + record * kSysLogRecordBytes;
}

std::vector<uint8_t> RecordBytes(uint32_t sector, uint32_t record) {
    const uint8_t* p = FlashPtr(RecordAddress(sector, record), kSysLogRecordBytes);
    return std::vector<uint8_t>(p, p + kSysLogRecordBytes);
}

// The record's text up to its terminator.
std::string RecordText(uint32_t sector, uint32_t record) {
    const char* p = reinterpret_cast<const char*>(FlashPtr(RecordAddress(sector, record), kSysLogRecordBytes));
    return std::string(p, strnlen(p, kSysLogRecordBytes));
}

bool RecordErased(uint32_t sector, uint32_t record) {
    for (uint8_t b : RecordBytes(sector, record)) {
        if (b != 0xFF) return false;
    }
    return true;
}

std::string OldLine(uint32_t sector, uint32_t record) {
    char text[32];
    std::snprintf(text, sizeof(text), "old %u/%04u\n", sector, record);
    return text;
}

class SysLogTest : public BoardTest {
protected:
    void App(const std::function<void()>& fn) {
        ASSERT_EQ(RunApp(fn), platform::StopReason::None);
    }

    // Leaves the first `used` records of a sector as an earlier run wrote them.
    void WriteOldRecords(uint32_t sector, uint32_t used) {
        if (used == 0) return;
        std::vector<uint8_t> image(used * kSysLogRecordBytes, 0);
        for (uint32_t r = 0; r < used; ++r) {
            const std::string line = OldLine(sector, r);
            std::memcpy(&image[r * kSysLogRecordBytes], line.c_str(), line.size() + 1);
        }
        App([&] { ASSERT_GE(FlashWrite(RecordAddress(sector, 0), image.data(), image.size()), 0); });
    }

    void ExpectOldRecords(uint32_t sector, uint32_t used) {
        for (uint32_t r = 0; r < used; ++r) {
            ASSERT_EQ(RecordText(sector, r), OldLine(sector, r)) << "sector " << sector << " record " << r;
        }
    }

    // Every record of the sector erased except `keep` (pass kSysLogRecords for none).
    void ExpectErasedExcept(uint32_t sector, uint32_t keep) {
        for (uint32_t r = 0; r < kSysLogRecords; ++r) {
            if (r == keep) continue;
            ASSERT_TRUE(RecordErased(sector, r)) << "sector " << sector << " record " << r;
        }
    }

    // What the console has sent, once its transmit FIFO has drained.
    std::string Console() {
        App([] {
            while (!(HwRead32(kStUartBase + kUartLsr) & kLsrEmpty)) HwIdle();
        });
        return SerialOut(1);
    }
    std::string ConsoleSince(size_t mark) { return Console().substr(mark); }
};

TEST_F(SysLogTest, PowerCycleContinuesAfterSeparator) {
    App([] {
        SysLogOpen();
        DebugPrintf("first boot %d\n", 1);
    });
    EXPECT_EQ(Console(), OnConsole(kSeparator))
        << "its own lines reach the console although the flag is off";
    EXPECT_EQ(NvGetU32(kNvSerialDebugOn), 0u) << "flag restored";

    ReopenFlash();
    App([] {
        SysLogOpen();
        DebugPrintf("second boot\n");
    });
    EXPECT_EQ(RecordText(60, 0), kSeparator);
    EXPECT_EQ(RecordText(60, 1), "first boot 1\n");
    EXPECT_EQ(RecordText(60, 2), kSeparator);
    EXPECT_EQ(RecordText(60, 3), "second boot\n");
    EXPECT_TRUE(RecordErased(60, 4));
    EXPECT_EQ(G_SysLog.nOn, 1u);
    EXPECT_EQ(G_SysLog.nSuspended, 0u);
    EXPECT_EQ(G_SysLog.nAddress, 0x780000u + 4 * 64);
}

// Where the log continues for each state of the two sectors that earlier runs
// can leave; the separator marks the place, and only a sector holding the
// oldest records may be erased.
TEST_F(SysLogTest, OpenFindsContinuation) {
    struct Case {
        const char* name;
        uint32_t usedA, usedB;          // records already written in 60 and 61
        uint32_t sector, record;        // where the separator goes
        uint32_t erased;                // sector expected erased, 0 for none
        bool     openErases;            // erased by the open itself, which says so
    };
    const Case cases[] = {
        {"new flash",                        0,    0,    60, 0,    0,  false},
        {"60 partly used",                   7,    0,    60, 7,    0,  false},
        {"60 full, 61 new",                  2048, 0,    61, 0,    0,  false},
        {"60 full, 61 partly used",          2048, 5,    61, 5,    0,  false},
        {"after a wrap: 60 newest, 61 full", 2030, 2048, 60, 2030, 0,  false},
        {"last record of 60 free: the separator fills 60", 2047, 2048, 60, 2047, 61, false},
        {"last record of 61 free: the separator fills 61", 2048, 2047, 61, 2047, 60, false},
        {"both full: power lost before the erase", 2048, 2048, 60, 0, 60, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        App([] {
            ASSERT_GE(FlashErase(60), 0);
            ASSERT_GE(FlashErase(61), 0);
        });
        WriteOldRecords(60, c.usedA);
        WriteOldRecords(61, c.usedB);
        const size_t mark = Console().size();

        App([] { SysLogOpen(); });

        EXPECT_EQ(G_SysLog.nOn, 1u);
        EXPECT_EQ(G_SysLog.nSuspended, 0u);
        EXPECT_EQ(RecordText(c.sector, c.record), kSeparator);
        EXPECT_EQ(ConsoleSince(mark).find(OnConsole("Erasing Sector:60\n")) != std::string::npos, c.openErases);
        for (uint32_t sector : {60u, 61u}) {
            const uint32_t keep = (sector == c.sector) ? c.record : kSysLogRecords;
            if (sector == c.erased) {
                ExpectErasedExcept(sector, keep);
            } else {
                ExpectOldRecords(sector, sector == 60 ? c.usedA : c.usedB);
            }
        }
    }
}

// An erase cut by a power loss leaves the first half of its sector erased
// and old records after it: the log must not take that half for free space
// (its writes would fail at the first old record and stop the log). The
// cut sector holds the oldest records and is the one erased.
TEST_F(SysLogTest, SectorWithACutEraseIsErasedAgain) {
    struct Case { const char* name; uint32_t cut, full; };
    const Case cases[] = {{"cut while moving to 60", 60, 61}, {"cut while moving to 61", 61, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteOldRecords(c.cut, kSysLogRecords);
        WriteOldRecords(c.full, kSysLogRecords);
        std::memset(board().flash().Data() + c.cut * kFlashSectorBytes, 0xFF, kFlashSectorBytes / 2);

        App([] {
            SysLogOpen();
            for (int i = 0; i < 1100; ++i) DebugPrintf("line %d\n", i);
        });
        EXPECT_EQ(G_SysLog.nSuspended, 0u);
        EXPECT_EQ(G_SysLog.nSector, c.cut);
        EXPECT_EQ(RecordText(c.cut, 0), kSeparator);
        EXPECT_EQ(RecordText(c.cut, 1100), "line 1099\n") << "past the half the erase had reached";
        ExpectOldRecords(c.full, kSysLogRecords);
        App([] {
            ASSERT_GE(FlashErase(60), 0);
            ASSERT_GE(FlashErase(61), 0);
        });
    }
}

TEST_F(SysLogTest, LastRecordOf61WrapsToErased60) {
    WriteOldRecords(60, 2048);
    WriteOldRecords(61, 2046);
    App([] { SysLogOpen(); });   // separator in record 2046 of 61
    ASSERT_EQ(G_SysLog.nAddress, 0x7A0000u + 2047 * 64);

    App([] { DebugPrintf("last of 61\n"); });
    EXPECT_EQ(G_SysLog.nSector, 60u);
    EXPECT_EQ(G_SysLog.nRecord, 0u);
    EXPECT_EQ(G_SysLog.nAddress, 0x780000u);
    EXPECT_EQ(G_SysLog.nSuspended, 0u);
    ExpectErasedExcept(60, kSysLogRecords);

    App([] { DebugPrintf("first of 60\n"); });
    EXPECT_EQ(RecordText(61, 2047), "last of 61\n");
    EXPECT_EQ(RecordText(60, 0), "first of 60\n");
    EXPECT_TRUE(RecordErased(60, 1));
    ExpectOldRecords(61, 2046);
    EXPECT_EQ(G_SysLog.nAddress, 0x780040u);
}

TEST_F(SysLogTest, LongLineCutInFlashWholeInRamLog) {
    std::string line80;
    for (int i = 0; i < 8; ++i) line80 += "0123456789";
    App([&] {
        SysLogOpen();
        InitRamLog(0);   // its base line is record 1
        DebugPrintf("%s", line80.c_str());
        EXPECT_EQ(RamLogPrintf("%s", line80.c_str()), 80);
        DebugPrintf("ab\n");
    });
    const std::vector<uint8_t> longRecord = RecordBytes(60, 2);
    EXPECT_EQ(RecordText(60, 2), line80.substr(0, 62));
    EXPECT_EQ(G_RamLog.szLine[0], line80);

    // The whole buffer is written: after the short line's terminator come the
    // bytes of the long line before it.
    std::vector<uint8_t> expected = longRecord;
    std::memcpy(expected.data(), "ab\n", 4);
    EXPECT_EQ(RecordBytes(60, 3), expected);
}

TEST_F(SysLogTest, RamLogCutsAt94) {
    const std::string line120(120, 'x');
    App([&] {
        InitRamLog(0);
        EXPECT_EQ(RamLogPrintf("%s", line120.c_str()), 120);
    });
    EXPECT_EQ(std::string(G_RamLog.szLine[0]), line120.substr(0, 94));
}

TEST_F(SysLogTest, RamLogWrapKeepsNewest1365OldestFirst) {
    const uint32_t total = kRamLogLines + 10;
    App([&] {
        InitRamLog(0);
        for (uint32_t i = 0; i < total; ++i) RamLogPrintf("line %u\n", i);
    });
    ASSERT_EQ(G_RamLog.nCount, 1365u);
    ASSERT_EQ(G_RamLog.nWriteIndex, 10u);
    ASSERT_EQ(G_RamLog.nEnabled, 1u);

    // Oldest first: step the write index back `count` times.
    uint32_t slot = G_RamLog.nWriteIndex;
    for (uint32_t n = 0; n < G_RamLog.nCount; ++n) slot = (slot == 0) ? kRamLogLines - 1 : slot - 1;
    for (uint32_t n = 0; n < G_RamLog.nCount; ++n) {
        ASSERT_EQ(std::string(G_RamLog.szLine[slot]), "line " + std::to_string(total - kRamLogLines + n) + "\n");
        slot = (slot + 1) % kRamLogLines;
    }
}

TEST_F(SysLogTest, RamLogDropsLinesWhileDisabledOrBusy) {
    App([] { InitRamLog(1); });
    EXPECT_EQ(G_RamLog.nMode, 1u);
    App([] { EXPECT_EQ(RamLogPrintf("dropped\n"), 0); });
    EXPECT_EQ(G_RamLog.nCount, 0u);
    EXPECT_EQ(G_RamLog.nEnabled, 0u);

    // A line arriving from an interrupt while another is being formatted.
    App([] {
        InitRamLog(0);
        RamLogPrintf("kept\n");
        G_RamLog.nEnabled = 0;
        EXPECT_EQ(RamLogPrintf("from interrupt\n"), 0);
    });
    EXPECT_EQ(G_RamLog.nCount, 1u);
    EXPECT_EQ(G_RamLog.nWriteIndex, 1u);
    EXPECT_EQ(G_RamLog.nEnabled, 0u) << "the dropped call must leave the guard to its owner";
    EXPECT_STREQ(G_RamLog.szLine[0], "kept\n");
    EXPECT_STREQ(G_RamLog.szLine[1], "");
}

TEST_F(SysLogTest, InitRamLogShowsBaseOnConsoleOnly) {
    App([] { InitRamLog(0); });
    const std::string out = Console();
    ASSERT_EQ(out.size(), OnConsole("RamLog Base: 0x12345678\n").size()) << out;
    EXPECT_EQ(out.rfind("RamLog Base: 0x", 0), 0u) << out;
    EXPECT_EQ(out.find_first_not_of("0123456789abcdef", 15), 23u) << out;
    EXPECT_EQ(NvGetU32(kNvSerialDebugOn), 0u);
    EXPECT_EQ(G_RamLog.nEnabled, 1u);
    EXPECT_EQ(G_RamLog.nMode, 0u);
    EXPECT_TRUE(RecordErased(60, 0)) << "flash log not open yet";
}

TEST_F(SysLogTest, SerialEchoFollowsFlag) {
    App([] { EXPECT_EQ(DebugPrintf("silent\n"), 0); });
    EXPECT_EQ(Console(), "");

    App([] {
        NvSetU32(kNvSerialDebugOn, 1);
        DebugPrintf("before open %d\n", 7);
    });
    EXPECT_EQ(Console(), OnConsole("before open 7\n"));
    EXPECT_TRUE(RecordErased(60, 0)) << "flash log not open yet";

    size_t mark = Console().size();
    App([] {
        SysLogOpen();
        DebugPrintf("echoed\n");
    });
    EXPECT_EQ(ConsoleSince(mark), OnConsole(kSeparator + "echoed\n"));
    EXPECT_EQ(RecordText(60, 1), "echoed\n");

    mark = Console().size();
    App([] {
        NvSetU32(kNvSerialDebugOn, 0);
        DebugPrintf("flash only\n");
    });
    EXPECT_EQ(ConsoleSince(mark), "");
    EXPECT_EQ(RecordText(60, 2), "flash only\n");
}

TEST_F(SysLogTest, EraseSysLogsRestartsAt60) {
    WriteOldRecords(60, 2048);
    WriteOldRecords(61, 100);
    G_DateTime = DateTime{2015, 10, 5, 30, 9, 7, 5};
    App([] {
        SysLogOpen();
        NvSetU32(kNvSerialDebugOn, 1);
    });
    const size_t mark = Console().size();

    App([] { EraseSysLogs(); });
    EXPECT_EQ(ConsoleSince(mark),
              OnConsole("Erasing SysLogs\nErasing Sector:60\nErasing Sector:61\n"
                        "SysLogs Erased 10/30/2015 @ 09:07:05\n"));
    EXPECT_EQ(RecordText(60, 0), "SysLogs Erased 10/30/2015 @ 09:07:05\n");
    ExpectErasedExcept(60, 0);
    ExpectErasedExcept(61, kSysLogRecords);
    EXPECT_EQ(G_SysLog.nSuspended, 0u);
    EXPECT_EQ(G_SysLog.nAddress, 0x780040u);
}

}  // namespace
