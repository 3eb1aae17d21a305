// The card driver against the emulated card: identification, block
// transfers, the sector cache, and the faults a card can show.
#include "storage/mmc.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "platform/board.h"
#include "platform/hw.h"
#include "sd_fixture.h"
#include "storage/nvram.h"

using platform::SdFault;

namespace {

class MmcTest : public SdTest {
protected:
    void SetUp() override {
        SdTest::SetUp();
        InitOsTimer();
        MakeCard("--fat 16");
    }
    platform::SdCard& card() { return board().mmc().card(); }
    std::vector<int> Commands() {
        std::vector<int> v;
        for (int i = 0; i < card().CommandsLogged(); ++i) v.push_back(card().LoggedCommand(i).cmd);
        return v;
    }
    int CountCommand(int cmd) {
        int n = 0;
        for (int c : Commands()) n += c == cmd;
        return n;
    }
    uint8_t* Sector(uint32_t s) { return Image() + s * 512; }
};

TEST_F(MmcTest, IdentifiesAndSelectsTheCard) {
    ASSERT_EQ(InitMMC(0), 0);
    EXPECT_EQ(Commands(), (std::vector<int>{0, 55, 41, 55, 41, 55, 41, 2, 3, 9, 7})) << "two busy answers, then ready";
    // The address the card gave is the one CMD9 and CMD7 carry.
    uint32_t rca = card().Rca();
    EXPECT_EQ(card().LoggedCommand(9).arg, rca << 16);
    EXPECT_EQ(card().LoggedCommand(10).arg, rca << 16);
    EXPECT_EQ(card().LoggedCommand(2).arg, 0x00200000u);
    EXPECT_EQ(G_CardCid[0], 0x3F) << "response header first";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(G_CardCid + 2), 7), "KVCARD1");
    EXPECT_EQ(G_CardCsdValid, 1u);
    // The CSD's capacity is the image's.
    uint32_t cSize = (G_CardCsd[6] & 3) << 10 | G_CardCsd[7] << 2 | G_CardCsd[8] >> 6;
    uint32_t mult = (G_CardCsd[9] & 3) << 1 | G_CardCsd[10] >> 7;
    uint32_t blLen = G_CardCsd[5] & 15;
    EXPECT_EQ(uint64_t{cSize + 1} << (mult + 2 + blLen), 16u * 1024 * 1024);
}

TEST_F(MmcTest, ReadinessRounds) {
    struct Case {
        const char* name;
        int busy;
        uint32_t readyOcr;
        int acmd41;
        int32_t result;
    };
    const Case cases[] = {
        {"ready at once", 0, 0x80FF8000, 1, 0},
        {"busy three rounds", 3, 0x80FF8000, 4, 0},
        {"busy beyond ten rounds: the card never leaves idle", 12, 0x80FF8000, 11, -1},
        {"a top byte other than 0x80 keeps the loop going; identification goes on", 0, 0xC0FF8000, 11, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        card().SetInitBusyRounds(c.busy);
        card().SetReadyOcr(c.readyOcr);
        card().ClearLog();
        EXPECT_EQ(InitMMC(0), c.result);
        EXPECT_EQ(CountCommand(41), c.acmd41);
        EXPECT_EQ(CountCommand(2), 1);
    }
}

TEST_F(MmcTest, NoCardFailsQuickly) {
    board().mmc().Remove();
    uint64_t t0 = board().Now();
    EXPECT_EQ(InitMMC(0), -1);
    EXPECT_LT(board().Now() - t0, 50u * kTicksPerMs);
    uint8_t buf[512];
    EXPECT_EQ(mmc_block_rd(buf, 0, 512), -1);
}

TEST_F(MmcTest, TraceSurvivesAClockRegisterWithNoDivisor) {
    NvSetU32(kNvSerialDebugOn, 1);
    HwWrite32(OSCC, 0x8);   // bits set, but none of the divisor's
    EXPECT_EQ(InitMMC(1), 0);
    EXPECT_EQ(G_MmcDebug, 1u);
    DelayTicks(kTicksPerSecond);
    std::string out = SerialOut();
    EXPECT_NE(out.find("Initializing MMC/SD card 1MHz..."), std::string::npos) << out.substr(0, 200);
    EXPECT_NE(out.find("  Year            = 2021"), std::string::npos);
    EXPECT_NE(out.find("  Month           = 6"), std::string::npos);
}

TEST_F(MmcTest, BlocksMoveBothWays) {
    ASSERT_EQ(InitMMC(0), 0);
    uint8_t buf[512];
    ASSERT_EQ(mmc_block_rd(buf, 0, 512), 0);
    EXPECT_EQ(std::memcmp(buf, Sector(0), 512), 0);
    std::string data = Pattern(512, 7);
    ASSERT_EQ(mmc_block_wr(100 * 512, reinterpret_cast<const uint8_t*>(data.data()), 512), 0);
    EXPECT_EQ(std::memcmp(Sector(100), data.data(), 512), 0);
    card().ClearLog();
    EXPECT_EQ(mmc_block_rd(buf, 0, 0), 0);
    EXPECT_EQ(card().CommandsLogged(), 0) << "len 0 sends nothing";
    // Past the card's end: refused, not silent.
    EXPECT_EQ(mmc_block_rd(buf, 16u * 1024 * 1024, 512), -1);
}

TEST_F(MmcTest, FaultsEndInFailureWithinTheirTimeOuts) {
    ASSERT_EQ(InitMMC(0), 0);
    struct Case {
        const char* name;
        SdFault fault;
        bool write;
        int commands;   // CMD17/CMD24 sent
    };
    const Case cases[] = {
        {"no answer: 101 attempts", SdFault::NoAnswer, false, 101},
        {"response CRC", SdFault::ResponseCrc, false, 1},
        {"read data CRC", SdFault::DataCrc, false, 1},
        {"card goes quiet during a read", SdFault::DataStall, false, 1},
        {"no answer to a write", SdFault::NoAnswer, true, 101},
        {"write data CRC", SdFault::DataCrc, true, 1},
        {"write-protected", SdFault::WriteProtect, true, 1},
        {"card goes quiet during a write", SdFault::DataStall, true, 1},
    };
    std::string data = Pattern(512, 9);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> before(Sector(50), Sector(51));
        card().ClearLog();
        card().InjectFault(c.fault, -1);
        uint64_t t0 = board().Now();
        uint8_t buf[512];
        int32_t r = c.write ? mmc_block_wr(50 * 512, reinterpret_cast<const uint8_t*>(data.data()), 512)
                            : mmc_block_rd(buf, 50 * 512, 512);
        EXPECT_EQ(r, -1);
        EXPECT_LT(board().Now() - t0, 2u * kTicksPerSecond);
        EXPECT_EQ(CountCommand(c.write ? 24 : 17), c.commands);
        EXPECT_EQ(std::vector<uint8_t>(Sector(50), Sector(51)), before);
        card().ClearFaults();
        EXPECT_EQ(mmc_block_rd(buf, 50 * 512, 512), 0) << "the card works again";
    }
}

TEST_F(MmcTest, CardPulledDuringATransferDoesNotHang) {
    ASSERT_EQ(InitMMC(0), 0);
    // Removed while the block is being drained from the controller.
    board().mmc().ScheduleCard(board().Now() + 300, false);
    uint64_t t0 = board().Now();
    uint8_t buf[512];
    EXPECT_EQ(mmc_block_rd(buf, 0, 512), -1);
    EXPECT_LT(board().Now() - t0, 2u * kTicksPerSecond);
    EXPECT_TRUE(board().gpio().Level(platform::kCardDetectPin)) << "high: no card";
    EXPECT_EQ(mmc_block_rd(buf, 0, 512), -1);
}

class SdCacheTest : public MmcTest {
protected:
    void SetUp() override {
        MmcTest::SetUp();
        ASSERT_EQ(InitMMC(0), 0);
        SdCacheClear();
        card().ClearLog();
    }
    uint32_t Read(uint32_t sector) { return DFS_SectorRead(0, buf_, sector, 1); }
    uint8_t buf_[512]{};
};

TEST_F(SdCacheTest, ReadsAreServedFromTheSlotUntilEvicted) {
    ASSERT_EQ(Read(5), 0u);
    ASSERT_EQ(Read(5), 0u);
    EXPECT_EQ(CountCommand(17), 1);
    EXPECT_EQ(G_SdCache.tag[5], 5u);
    ASSERT_EQ(Read(5 + 2048), 0u);
    EXPECT_EQ(G_SdCache.tag[5], 5u + 2048);
    ASSERT_EQ(Read(5), 0u);
    EXPECT_EQ(CountCommand(17), 3) << "sectors 2048 apart share a slot";
    EXPECT_EQ(std::memcmp(buf_, Sector(5), 512), 0);
}

TEST_F(SdCacheTest, AFailedReadLeavesTheSlotEmpty) {
    card().InjectFault(SdFault::DataCrc, 1);
    EXPECT_EQ(Read(7), 0xFFFFFFFFu);
    EXPECT_EQ(G_SdCache.tag[7], kSdCacheEmpty);
    EXPECT_EQ(Read(7), 0u);
    EXPECT_EQ(CountCommand(17), 2);
}

TEST_F(SdCacheTest, WritesGoThroughAndUpdateOnlyCachedSlots) {
    std::string data = Pattern(512, 3);
    const uint8_t* d = reinterpret_cast<const uint8_t*>(data.data());
    ASSERT_EQ(DFS_SectorWrite(0, d, 9, 1), 0u);
    EXPECT_EQ(G_SdCache.tag[9], kSdCacheEmpty) << "a write miss does not allocate";
    EXPECT_EQ(std::memcmp(Sector(9), d, 512), 0);

    ASSERT_EQ(Read(10), 0u);
    ASSERT_EQ(DFS_SectorWrite(0, d, 10, 1), 0u);
    EXPECT_EQ(std::memcmp(G_SdCache.data[10], d, 512), 0);
    ASSERT_EQ(Read(10), 0u);
    EXPECT_EQ(CountCommand(17), 1);

    // A failed write must not leave the slot claiming what the card never got.
    std::string other = Pattern(512, 4);
    card().InjectFault(SdFault::WriteProtect, 1);
    EXPECT_EQ(DFS_SectorWrite(0, reinterpret_cast<const uint8_t*>(other.data()), 10, 1), 0xFFFFFFFFu);
    EXPECT_EQ(G_SdCache.tag[10], kSdCacheEmpty);
    ASSERT_EQ(Read(10), 0u);
    EXPECT_EQ(std::memcmp(buf_, d, 512), 0);
}

TEST_F(SdCacheTest, SectorsBeyondByteAddressesAreRefused) {
    EXPECT_EQ(Read(kSdSectorLimit), 0xFFFFFFFFu);
    EXPECT_EQ(DFS_SectorWrite(0, buf_, kSdSectorLimit + 1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(card().CommandsLogged(), 0) << "the wrapped address would reach the card's start";
}

}  // namespace
