// The settings image in flash sectors 62 and 63.
#include "storage/nvram.h"

#include <zlib.h>
#include <cstring>
#include <string>

#include "core/syslog.h"
#include "platform/monitor.h"
#include "storage/flash.h"
#include "support/board_fixture.h"

namespace {

using platform::StopReason;

uint32_t Base(int sector) { return static_cast<uint32_t>(sector) * kFlashSectorBytes; }
uint32_t Slot(int sector, int slot) { return Base(sector) + kNvSlotFirst + static_cast<uint32_t>(slot) * kNvSlotBytes; }

uint32_t Word(uint32_t address) {
    uint32_t w;
    std::memcpy(&w, FlashPtr(address, 4), 4);
    return w;
}

bool SlotErased(int sector, int slot) {
    const uint8_t* p = FlashPtr(Slot(sector, slot), kNVRamSize);
    for (uint32_t i = 0; i < kNVRamSize; ++i)
        if (p[i] != 0xFF) return false;
    return true;
}

class NvramTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        SysLogOpen();
    }
    static std::string Log() {
        std::string out;
        for (uint32_t r = 0; r < kSysLogRecords; ++r) {
            const char* p = reinterpret_cast<const char*>(FlashPtr(Base(kSysLogSectorA) + r * 64, 64));
            if (static_cast<uint8_t>(p[0]) == 0xFF) break;
            out += std::string(p, strnlen(p, 64));
        }
        return out;
    }
    // A boot's load: the image in RAM forgotten, read again from flash.
    static void Reload() {
        std::memset(G_NVRam, 0xAA, sizeof G_NVRam);
        ReadNVRam();
    }
};

TEST_F(NvramTest, FreshSectorsAreRestoredIntoBoth) {
    ReadNVRam();
    EXPECT_NE(Log().find("ERROR: ReadNVRam() Bad CRCs, Restoring from file\n"), std::string::npos);
    EXPECT_EQ(G_NVRamSector, 63u);
    // The restore's first forced write went to sector 62 slot 1, the second to 63 slot 1.
    EXPECT_EQ(Word(Base(62)), 0xFFFFFFFEu);
    EXPECT_EQ(Word(Base(63)), 0xFFFFFFFEu);
    EXPECT_FALSE(SlotErased(62, 1));
    EXPECT_FALSE(SlotErased(63, 1));
    EXPECT_EQ(Word(Base(62) + 4), Base(62) + kNvSlotFirst);   // headers written
    EXPECT_EQ(Word(Base(63) + 4 + 31 * 4), Slot(63, 31));
    EXPECT_NE(Log().find("Reading NVRAM_63 writes:2, errors:0\n"), std::string::npos);

    EXPECT_EQ(WriteNVRam(0), 0);   // nothing changed: nothing written
    EXPECT_TRUE(SlotErased(62, 2));
    NvSetU32(kNvDimPercent, 70);
    EXPECT_EQ(WriteNVRam(0), 0);
    EXPECT_FALSE(SlotErased(62, 2));
    EXPECT_EQ(WriteNVRam(0), 0);
    EXPECT_TRUE(SlotErased(63, 2));
    EXPECT_EQ(WriteNVRam(1), 0);   // forced
    EXPECT_FALSE(SlotErased(63, 2));
}

TEST_F(NvramTest, SavedImageSurvivesAPowerCycle) {
    ReadNVRam();
    NvSetU32(kNvAdminUser, 1);
    NvSetU32(kNvSerialDebugOn, 1);
    NvSetU32(kNvScreenConfig, 5);
    NvSetF64(kNvGalsRem, 456.5);   // tenths of a gallon
    NvSetF64(kNvGalsUsed, -12.5);
    ASSERT_EQ(WriteNVRam(1), 0);
    uint32_t writes = NvGetU32(kNvWriteCount);
    ReopenFlash();
    board().PowerOn();
    Reload();
    EXPECT_EQ(G_NVRamSector, 62u);
    EXPECT_EQ(NvGetU32(kNvScreenConfig), 5u);
    EXPECT_EQ(NvGetU32(kNvSerialDebugOn), 1u);
    EXPECT_EQ(NvGetF64(kNvGalsRem), 456.5);
    EXPECT_EQ(NvGetU32(kNvWriteCount), writes);
    EXPECT_NE(Log().find("Init Fuel Comp: galsRem:457, galsUsed:-13\n"), std::string::npos);
}

TEST_F(NvramTest, LoadTimeChecks) {
    ReadNVRam();
    NvSetU32(kNvAdminUser, 0);
    NvSetU32(kNvSerialDebugOn, 1);
    G_NVRam[kNvLabel122] = 7;
    ASSERT_EQ(WriteNVRam(1), 0);
    Reload();
    EXPECT_EQ(NvGetU32(kNvSerialDebugOn), 0u);
    EXPECT_EQ(G_NVRam[kNvLabel122], 0);
}

// The stored copy decoded without the firmware's own code: zlib's CRC and
// doubles with their high word first.
TEST_F(NvramTest, StoredCopyDecodesIndependently) {
    ReadNVRam();
    NvSetF64(kNvGalsUsed, 123.4);
    NvSetF32(kNvLastLatitude, 45.05f);
    G_NVRam[kNvApGains + 1] = 0x12;   // odd offsets are plain bytes
    ASSERT_EQ(WriteNVRam(1), 0);
    const uint8_t* copy = FlashPtr(Slot(62, 2), kNVRamSize);
    EXPECT_EQ(crc32(0, copy, 984), Word(Slot(62, 2) + 984));
    double d = 123.4;
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    EXPECT_EQ(Word(Slot(62, 2) + 148), static_cast<uint32_t>(bits >> 32));
    EXPECT_EQ(Word(Slot(62, 2) + 152), static_cast<uint32_t>(bits));
    float lat;
    std::memcpy(&lat, copy + 44, 4);
    EXPECT_EQ(lat, 45.05f);
    EXPECT_EQ(copy[kNvApGains + 1], 0x12);
    EXPECT_EQ(Word(Slot(62, 2) + kNvWriteStamp) != 0, true);
}

TEST_F(NvramTest, SlotsRotateAndSectorsReset) {
    ReadNVRam();   // 62 and 63 at slot 1
    for (int slot = 2; slot <= 31; ++slot) {
        SCOPED_TRACE(slot);
        ASSERT_EQ(WriteNVRam(1), 0);
        EXPECT_EQ(G_NVRamSector, 62u);
        ASSERT_EQ(WriteNVRam(1), 0);
        EXPECT_EQ(G_NVRamSector, 63u);
        EXPECT_EQ(Word(Base(62)), ~((1u << slot) - 1));
    }
    EXPECT_EQ(Word(Base(62)), 0x80000000u);
    uint32_t erases = NvGetU32(kNvEraseCount);
    // The 32nd write into a full sector resets it and uses slot 0.
    ASSERT_EQ(WriteNVRam(1), 0);
    EXPECT_EQ(NvGetU32(kNvEraseCount), erases + 1);
    EXPECT_EQ(Word(Base(62)), 0xFFFFFFFFu);
    EXPECT_FALSE(SlotErased(62, 0));
    EXPECT_TRUE(SlotErased(62, 1));
    // The slot-0 copy is the newest and loads.
    uint32_t writes = NvGetU32(kNvWriteCount);
    Reload();
    EXPECT_EQ(G_NVRamSector, 62u);
    EXPECT_EQ(NvGetU32(kNvWriteCount), writes);
    ASSERT_EQ(WriteNVRam(1), 0);   // 63 is full too
    ASSERT_EQ(WriteNVRam(1), 0);   // 62 goes on with slot 1
    EXPECT_EQ(Word(Base(62)), 0xFFFFFFFEu);
}

TEST_F(NvramTest, EqualCountsTakeSector63) {
    ReadNVRam();
    // Two copies with the same write count: make 62's newer copy match 63's.
    ASSERT_EQ(WriteNVRam(1), 0);   // 62 slot 2, count 3
    std::memcpy(G_NVRam, FlashPtr(Slot(62, 2), kNVRamSize), kNVRamSize);
    NvSetU32(kNvScreenConfig, 8);
    NvSetU32(kNvCrc, static_cast<uint32_t>(crc32(0, G_NVRam, 984)));
    ASSERT_EQ(FlashWrite(Slot(63, 2), G_NVRam, kNVRamSize), 0);
    uint32_t bitmap = 0xFFFFFFFC;
    ASSERT_EQ(FlashWrite(Base(63), &bitmap, 4), 0);
    Reload();
    EXPECT_EQ(G_NVRamSector, 63u);
    EXPECT_EQ(NvGetU32(kNvScreenConfig), 8u);
}

TEST_F(NvramTest, PowerCutDuringAWriteLoadsTheOlderCopy) {
    ReadNVRam();
    NvSetU32(kNvScreenConfig, 4);
    ASSERT_EQ(WriteNVRam(1), 0);   // 62, the good older copy
    NvSetU32(kNvScreenConfig, 6);
    board().flash().ArmPowerCut(0);   // the slot write into 63 is torn
    EXPECT_EQ(RunApp([] { WriteNVRam(1); }), StopReason::PowerOff);
    board().flash().ArmPowerCut(-1);
    ReopenFlash();
    board().PowerOn();
    Reload();
    EXPECT_EQ(G_NVRamSector, 62u);
    EXPECT_EQ(NvGetU32(kNvScreenConfig), 4u);
}

TEST_F(NvramTest, DamagedFlashIsRepairedAndCounted) {
    ReadNVRam();
    NvSetU32(kNvScreenConfig, 2);
    ASSERT_EQ(WriteNVRam(1), 0);   // 62 slot 2
    ASSERT_EQ(WriteNVRam(1), 0);   // 63 slot 2
    uint32_t errors = NvGetU32(kNvErrorCount);

    // A damaged slot-address word is not followed.
    uint32_t bad = 0;
    ASSERT_EQ(FlashWrite(Base(63) + 4 + 2 * 4, &bad, 4), 0);
    Reload();
    EXPECT_EQ(G_NVRamSector, 63u);
    EXPECT_EQ(NvGetU32(kNvScreenConfig), 2u);
    EXPECT_EQ(NvGetU32(kNvErrorCount), errors);

    // A bad bitmap in 63: the sector is reset and the copy of 62 loads, one error counted.
    uint32_t bitmap = 0xFFFFFF0F & 0xFFFFFFFC;
    ASSERT_EQ(FlashWrite(Base(63), &bitmap, 4), 0);
    Reload();
    EXPECT_NE(Log().find("ERROR: ReadNVRam S63 Bad Index: 0xFFFFFFFF\n"), std::string::npos);
    EXPECT_EQ(G_NVRamSector, 62u);
    EXPECT_EQ(NvGetU32(kNvErrorCount), errors + 1);
    EXPECT_EQ(Word(Base(63)), 0xFFFFFFFFu);
    EXPECT_TRUE(SlotErased(63, 2));

    // A corrupted CRC on 62 while 63 is empty after its reset: no good copy left.
    uint8_t zero = 0;
    ASSERT_EQ(FlashWrite(Slot(62, 2) + kNvScreenConfig, &zero, 1), 0);
    Reload();
    EXPECT_NE(Log().find("Restoring from file"), std::string::npos);
    EXPECT_EQ(G_NVRamSector, 63u);

    // A failed slot write is logged, counted and retried in slot 0 of the reset sector.
    ReadNVRam();
    errors = NvGetU32(kNvErrorCount);
    board().flash().FailNext(1);
    EXPECT_EQ(WriteNVRam(1), 0);
    EXPECT_NE(Log().find("ERROR:  flashwrite(62) returned -1\n"), std::string::npos);
    EXPECT_EQ(NvGetU32(kNvErrorCount), errors + 1);
    EXPECT_FALSE(SlotErased(62, 0));
    Reload();
    EXPECT_EQ(G_NVRamSector, 62u);   // the retried copy is good
    EXPECT_EQ(NvGetU32(kNvErrorCount), errors + 1);
}

TEST(TargetDoubleTest, HighWordFirst) {
    TargetDouble t = ToTargetDouble(1.0);
    EXPECT_EQ(t.nHigh, 0x3FF00000u);
    EXPECT_EQ(t.nLow, 0u);
    EXPECT_EQ(FromTargetDouble(ToTargetDouble(-2.75)), -2.75);
}

}  // namespace
