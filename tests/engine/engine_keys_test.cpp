// The engine menus driven through the button lines: the EGT/CHT menu's
// cylinder style, lean assist and peak reset, the fuel menu's refuelling
// entries, and the engine types without an EGT/CHT menu.
#include <string>

#include "engine/engine.h"
#include "engine/instrument.h"
#include "engine/lean.h"
#include "net/net.h"
#include "storage/nvram.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/ui_fixture.h"

namespace {

class EngineKeysTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RunApp([] {
            G_NetStreamCfg[kStreamEngine].INST = 1;
            G_EngInfo.nEngineType = kEngStd4;
            G_EngInfo.nEgtCount = 4;
            CalcAvailScreens();
            NvSetU32(kNvScreenEnable, kScreenMaskReset);
            G_CurPage = 3;
            ResetKnobAllow();
            InitScreenConfig();
        });
    }
    // Presses a soft key on its button line and hands the key codes the tick
    // produced to the key handler, as the main loop does.
    void Press(int button) {
        Restart();
        UiTest::Press(button, 1, 80);
        Run(200);
        ASSERT_FALSE(keys_.empty()) << "button " << button << " gave no key";
        for (int32_t k : keys_) {
            RunApp([k] {
                G_KeyEvent = k;
                MainKeyHandler();
                UpdateSoftKeys();
            });
        }
    }
    uint8_t ChipReg(int r) { return board().rtcChip().Reg(r, board().Now()); }
};

TEST_F(EngineKeysTest, EgtChtMenuSwitchesStyleLeanAssistAndResetsPeaks) {
    Press(3);   // ENGINE
    EXPECT_EQ(G_MenuState, 3u);
    EXPECT_STREQ(G_SoftKeyLabel[3], "EGT/CHT");
    Press(3);
    ASSERT_EQ(G_MenuState, 33u);
    EXPECT_STREQ(G_SoftKeyLabel[3], "PK DET OFF");

    // MODE toggles the cylinder style, kept in NVRAM and clock register 11 bit 5.
    EXPECT_EQ(NvGetU32(kNvCylGaugeType), 0u);
    Press(2);
    EXPECT_EQ(NvGetU32(kNvCylGaugeType), 1u);
    EXPECT_EQ(ChipReg(11) & 0x20, 0x20);
    Press(2);
    EXPECT_EQ(NvGetU32(kNvCylGaugeType), 0u);
    EXPECT_EQ(ChipReg(11) & 0x20, 0);

    // Lean assist on: stale peaks go, the label follows, the other display is told.
    G_EgtPeak[2].peak = 1450;
    G_EgtPeakSeq.count = 1;
    Press(3);
    EXPECT_EQ(G_LeanMode, 1u);
    EXPECT_STREQ(G_SoftKeyLabel[3], "PK DET ON");
    EXPECT_EQ(G_EgtPeak[2].peak, 0);
    EXPECT_EQ(G_EgtPeakSeq.count, 0);
    EXPECT_EQ(G_RemoteUserDat.nCode, 15u);
    EXPECT_EQ(G_RemoteUserDat.nArg[0], 1u);

    // Peak reset.
    G_EgtPeak[0] = {1400, 90, 0, 1, 12, 'P', 0};
    G_EgtPeakSeq = {1, {0}};
    Press(4);
    EXPECT_EQ(G_EgtPeak[0].peak, 0);
    EXPECT_EQ(G_EgtPeakSeq.count, 0);
    EXPECT_EQ(G_LeanMode, 1u) << "a reset keeps lean assist on";
    EXPECT_NE(SysLog().find("PEAK: Resetting Peak Detect"), std::string::npos);

    Press(3);
    EXPECT_EQ(G_LeanMode, 0u);
    EXPECT_STREQ(G_SoftKeyLabel[3], "PK DET OFF");
    EXPECT_EQ(G_RemoteUserDat.nArg[0], 0u);
}

TEST_F(EngineKeysTest, EnginesWithoutLeanAssistHaveNoEgtChtMenu) {
    for (int32_t type : {kEngRotax912, kEngRotax914, kEngM14}) {
        SCOPED_TRACE(type);
        RunApp([type] {
            G_EngInfo.nEngineType = type;
            G_MenuState = 0;
        });
        Press(3);
        ASSERT_EQ(G_MenuState, 3u);
        EXPECT_STREQ(G_SoftKeyLabel[3], "");
        Press(3);
        EXPECT_EQ(G_MenuState, 3u) << "EGT/CHT is not offered";
        EXPECT_EQ(G_LeanMode, 0u);
        Press(1);
    }
}

TEST_F(EngineKeysTest, FuelMenuFillsAndAdjustsTheTotals) {
    RunApp([] {
        const int32_t max[4] = {250, 250, 100, 80};   // tenths of a gallon
        for (int t = 0; t < 4; ++t) G_InstCfg[kInstTank1 + t].nMax = max[t];
        NvSetF64(kNvGalsUsed, 123.0);
        NvSetF64(kNvGalsRem, 77.0);
    });
    Press(3);
    Press(2);   // FUEL
    ASSERT_EQ(G_MenuState, 32u);
    EXPECT_STREQ(G_SoftKeyLabel[3], "FILL MAINS");

    Press(3);
    EXPECT_EQ(NvGetF64(kNvGalsUsed), 0.0);
    EXPECT_EQ(NvGetF64(kNvGalsRem), 500.0);
    EXPECT_EQ(int32_t{G_InstReading[kInstFuelComp].nValue2}, 500);
    EXPECT_EQ(G_RemoteUserDat.nCode, 4u);
    EXPECT_NE(SysLog().find("FUEL COMP: Fill Mains (GAL USED) Rem:50.0 Used:0.0"), std::string::npos);

    Press(4);
    EXPECT_EQ(NvGetF64(kNvGalsRem), 680.0);
    EXPECT_NE(SysLog().find("FUEL COMP: Fill All (GAL USED) Rem:68.0 Used:0.0"), std::string::npos);

    // Three tenths turned in on the knob, then ADJ.: 0.3 gal more on board.
    RunApp([] { NvSetU32(kNvFuelAdjust, 3); });
    Press(5);
    EXPECT_EQ(NvGetF64(kNvGalsRem), 683.0);
    EXPECT_EQ(NvGetF64(kNvGalsUsed), -3.0);
    EXPECT_EQ(NvGetU32(kNvFuelAdjust), 0u);
    EXPECT_NE(SysLog().find("FUEL COMP: Adjust (GAL USED) Rem:68.3 Used:-0.3"), std::string::npos);
}

TEST_F(EngineKeysTest, FadecKeyOpensTheStatusPageOnlyWithAFadec) {
    Press(3);
    Press(4);
    EXPECT_EQ(G_CurPage, 3) << "no FADEC: nothing";
    RunApp([] { SetFadecPresent(9); });
    Press(1);
    Press(3);
    EXPECT_STREQ(G_SoftKeyLabel[4], "FADEC");
    Press(4);
    EXPECT_EQ(G_MenuState, 34u);
    EXPECT_EQ(G_CurPage, kPageFadec);
    Press(1);
    EXPECT_EQ(G_CurPage, 3) << "back to the page it came from";
}

}  // namespace
