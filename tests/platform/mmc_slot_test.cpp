// The card slot as the firmware's registers and pins see it: card detect,
// insertion and removal over time, and the controller's command handshake.
#include <cstdio>
#include <string>

#include "platform/board.h"
#include "platform/hw.h"
#include "support/board_fixture.h"

namespace {

constexpr uint32_t kBase = 0x41100000;
constexpr uint32_t kGplr0 = 0x40E00000;

class MmcSlotTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        image_ = flashPath_ + ".sd";
        std::string cmd = "truncate -s 1M " + image_;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void TearDown() override {
        BoardTest::TearDown();
        std::remove(image_.c_str());
    }
    bool CardDetectHigh() { return (HwRead32(kGplr0) >> platform::kCardDetectPin) & 1; }
    // One command through the registers; the status after it.
    uint32_t Command(uint32_t cmd, uint32_t arg, uint32_t cmdat) {
        HwWrite32(kBase + 0x00, 1);
        HwWrite32(kBase + 0x30, cmd);
        HwWrite32(kBase + 0x34, arg >> 16);
        HwWrite32(kBase + 0x38, arg & 0xFFFF);
        HwWrite32(kBase + 0x10, cmdat);
        HwWrite32(kBase + 0x28, ~0x04u);
        HwWrite32(kBase + 0x00, 2);
        EXPECT_EQ(HwRead32(kBase + 0x2C), 0x04u) << "end of command, and only the unmasked bit";
        return HwRead32(kBase + 0x04);
    }
    std::string image_;
};

TEST_F(MmcSlotTest, CardDetectFollowsTheSlot) {
    EXPECT_TRUE(CardDetectHigh()) << "empty slot";
    EXPECT_FALSE(board().mmc().Insert()) << "no image, no card";
    ASSERT_TRUE(board().mmc().card().OpenImage(image_.c_str()));
    ASSERT_TRUE(board().mmc().Insert());
    EXPECT_FALSE(CardDetectHigh());
    board().Reset();
    EXPECT_FALSE(CardDetectHigh()) << "the card stays in across a reset";
    board().PowerOn();
    EXPECT_FALSE(CardDetectHigh()) << "and across a power cycle";

    uint64_t t = board().Now();
    board().mmc().ScheduleCard(t + 1000, false);
    board().mmc().ScheduleCard(t + 5000, true);
    while (board().Now() < t + 900) HwIdle();
    EXPECT_FALSE(CardDetectHigh());
    while (board().Now() < t + 1100) HwIdle();
    EXPECT_TRUE(CardDetectHigh());
    EXPECT_EQ(Command(55, 0, 1) & 0x02, 0x02u) << "a removed card answers nothing";
    while (board().Now() < t + 5100) HwIdle();
    EXPECT_FALSE(CardDetectHigh());
}

TEST_F(MmcSlotTest, ResponsesArriveAsSixteenBitWords) {
    ASSERT_TRUE(board().mmc().card().OpenImage(image_.c_str()));
    ASSERT_TRUE(board().mmc().Insert());
    EXPECT_EQ(Command(0, 0, 0) & 0x3F, 0u);
    uint32_t status = Command(55, 0, 1);
    EXPECT_EQ(status & 0x3F, 0u);
    EXPECT_EQ(status & 0x2000, 0x2000u);
    uint32_t w0 = HwRead32(kBase + 0x3C), w1 = HwRead32(kBase + 0x3C), w2 = HwRead32(kBase + 0x3C);
    EXPECT_EQ(w0 >> 8, 55u) << "command index first";
    uint32_t cardStatus = (w0 & 0xFF) << 24 | w1 << 8 | w2 >> 8;
    EXPECT_EQ(cardStatus & 0x20, 0x20u) << "APP_CMD";
    EXPECT_EQ(w2 & 1, 1u) << "end bit";
    // ACMD41 needs CMD55 just before it; otherwise it is an illegal command.
    Command(13, 0, 1);
    EXPECT_EQ(Command(41, 0x00200000, 3) & 0x02, 0x02u);
    // A new command clears the done bits of the last one.
    HwWrite32(kBase + 0x00, 1);
    HwWrite32(kBase + 0x28, 0);
    EXPECT_EQ(HwRead32(kBase + 0x2C) & 0x07, 0x04u);
    HwWrite32(kBase + 0x30, 13);
    HwWrite32(kBase + 0x00, 2);
    EXPECT_EQ(HwRead32(kBase + 0x2C) & 0x07, 0x04u);
}

}  // namespace
