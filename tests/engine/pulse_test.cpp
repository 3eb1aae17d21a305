// RPM and fuel flow from pulse trains on GPIO72 and GPIO71.
#include "core/irq.h"
#include "engine/engine.h"
#include "engine/lean.h"
#include "engine/pulse.h"
#include "engine_fixture.h"
#include "storage/nvram.h"

namespace {

constexpr double kHz = 3686400.0;

class PulseTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        InstallHandlers();
        IrqStateInit();
        IntEnable(kIntGpio);
        G_InstCfg[kInstRpm].nMax = 30000;
        G_InstCfg[kInstRpm].nShiftAdj = 2;
        G_InstCfg[kInstFuelFlow].nMax = 300;
        G_InstCfg[kInstFuelFlow].nShiftAdj = 680;
    }
    void Rpm(double periodUs) {
        const uint64_t period = periodUs > 0 ? static_cast<uint64_t>(periodUs * kHz / 1e6 + 0.5) : 0;
        board().gpio().SetPulseTrain(72, board().Now() + 100, period, period / 4);
    }
    // Runs the scan's RPM conversions (three per 200 ms) for `seconds`.
    void RunRpm(double seconds) {
        for (int i = 0; i < static_cast<int>(seconds * 15); ++i) {
            DelayTicks(static_cast<uint32_t>(kHz / 15));
            CalcRpm();
        }
    }
    int32_t RpmValue() const { return G_InstReading[kInstRpm].nValue; }
};

TEST_F(PulseTest, CodeGivesPulsesPerTwoRevolutions) {
    EXPECT_EQ(RpmP2(0), 2.0f);
    EXPECT_EQ(RpmP2(-3), 2.0f);
    EXPECT_EQ(RpmP2(9), 4.5f);
    EXPECT_EQ(RpmN(9), 5);
    EXPECT_EQ(RpmP2(8), 8.0f);
    G_InstCfg[kInstRpm].nShiftAdj = -4;
    InitRpm();
    EXPECT_EQ(G_InstCfg[kInstRpm].nShiftAdj, 2) << "a negative code is repaired like 0";
    EXPECT_EQ(G_RpmPulse.nMinPeriod, 60000u);
    EXPECT_EQ(G_RpmPulse.nMaxPeriod, 500000u);
    EXPECT_EQ(G_RpmPulse.avg.nLen, 8);
    EXPECT_NE(Log().find("RPM Init: PPRev:2.0, MinPulse:60000us, MaxPulse:500000us"), std::string::npos);
}

TEST_F(PulseTest, PulseTrainSettlesOnItsSpeedWithANarrowWindow) {
    InitRpm();
    Rpm(25000);
    RunRpm(6);
    EXPECT_EQ(RpmValue(), 24000);
    EXPECT_NEAR(static_cast<double>(G_RpmPulse.nMaxPeriod - G_RpmPulse.nMinPeriod) / 2, 260, 1);
    // A lower speed is approached from above and still settles on itself.
    Rpm(1.2e8 / (180 * 2.0));
    RunRpm(30);
    EXPECT_EQ(RpmValue(), 1800);
}

TEST_F(PulseTest, BelowTheCutOffShowsZero) {
    InitRpm();
    Rpm(1.2e8 / (179 * 2.0));
    RunRpm(20);
    EXPECT_EQ(RpmValue(), 0);
}

TEST_F(PulseTest, SpeedIsHeldAtTheGaugeTop) {
    G_InstCfg[kInstRpm].nMax = 20000;
    InitRpm();
    Rpm(25000);
    RunRpm(6);
    EXPECT_EQ(RpmValue(), 20000);
}

TEST_F(PulseTest, StoppedPulsesGiveZeroAndARestartRisesFromBelow) {
    InitRpm();
    Rpm(25000);
    RunRpm(6);
    Rpm(0);
    RunRpm(0.45);
    EXPECT_EQ(G_RpmPulse.nRefillReq, 0u) << "not timed out within the 120-RPM period";
    RunRpm(0.15);
    EXPECT_EQ(G_RpmPulse.nRefillReq, 1u) << "timed out after it";
    RunRpm(4);
    EXPECT_EQ(RpmValue(), 0) << "the smoothing has run down";
    Rpm(25000);
    int32_t last = 0;
    bool rising = true;
    for (int i = 0; i < 90; ++i) {
        RunRpm(1.0 / 15);
        rising = rising && RpmValue() >= last;
        last = RpmValue();
    }
    EXPECT_TRUE(rising);
    EXPECT_EQ(last, 24000);
}

TEST_F(PulseTest, ASingleSpikeIsRejectedAndARealStepTaken) {
    InitRpm();
    for (int i = 0; i < 200; ++i) {
        RpmPulseIsr(static_cast<uint32_t>(i * 92160));   // 25000 us
        if (i % 3 == 0) CalcRpm();
    }
    const int32_t mean = G_RpmPulse.avg.nMean;
    RpmPulseIsr(200 * 92160 - 40000);   // noise just before an edge
    RpmPulseIsr(200 * 92160);
    EXPECT_EQ(G_RpmPulse.avg.nMean, mean);
    // A real step to 20000 us: taken after N + 2 rejected periods.
    uint32_t t = 200 * 92160;
    for (int i = 0; i < 4; ++i) RpmPulseIsr(t += 73728);
    EXPECT_LT(G_RpmPulse.avg.nMean, mean);
}

TEST_F(PulseTest, EdgesDuringAHoldOnlyArmTheSkip) {
    InitRpm();
    G_RpmPulse.nWriteInProgress = 1;
    const int32_t mean = G_RpmPulse.avg.nMean;
    RpmPulseIsr(1000);
    EXPECT_EQ(G_RpmPulse.nSkip, 1u);
    EXPECT_EQ(G_FuelFlowPulse.nSkip, 1u);
    G_RpmPulse.nWriteInProgress = 0;
    RpmPulseIsr(1000 + 92160);
    EXPECT_EQ(G_RpmPulse.nSkip, 0u);
    EXPECT_EQ(G_RpmPulse.avg.nMean, mean);
}

// ---- fuel flow ----------------------------------------------------------------------

class FuelFlowTest : public PulseTest {
protected:
    void Flow(double hz) {
        const uint64_t period = hz > 0 ? static_cast<uint64_t>(kHz / hz + 0.5) : 0;
        board().gpio().SetPulseTrain(71, board().Now() + 50, period, period / 2);
    }
    // The scan's fuel-flow conversion, once per 200 ms.
    void RunFlow(int calls) {
        for (int i = 0; i < calls; ++i) {
            DelayTicks(737280);
            CalcFuelFlow();
            FoldFuelTotals();
        }
    }
    int32_t FlowValue() const { return G_InstReading[kInstFuelFlow].nValue; }
};

TEST_F(FuelFlowTest, SensorPulsesGiveFlowAndFuelUsed) {
    NvSetF64(kNvGalsUsed, 0.0);
    NvSetF64(kNvGalsRem, 500.0);
    InitFuelFlow();
    Flow(18.9);   // 68,000 pulses a gallon at one gallon an hour
    RunFlow(60);
    EXPECT_NEAR(FlowValue(), 10, 1);
    const double pulses = G_FuelFlowPulse.nCount;
    EXPECT_NEAR(NvGetF64(kNvGalsUsed), pulses / 6800.0, 1e-9);
    EXPECT_NEAR(NvGetF64(kNvGalsRem), 500.0 - pulses / 6800.0, 1e-9);
    EXPECT_EQ(int32_t{G_InstReading[kInstFuelComp].nValue2}, 500);
    Flow(0);
    RunFlow(30);
    EXPECT_EQ(FlowValue(), 0);
}

TEST_F(FuelFlowTest, LeanModeFollowsTheFastAverage) {
    InitFuelFlow();
    Flow(189);
    RunFlow(40);
    Flow(0);
    G_LeanMode = 1;
    RunFlow(15);
    EXPECT_EQ(FlowValue(), 0);
}

TEST_F(FuelFlowTest, NoKFactorMeansNoFlowAndTheDefaultPerPulse) {
    G_InstCfg[kInstFuelFlow].nShiftAdj = 0;
    InitFuelFlow();
    EXPECT_DOUBLE_EQ(G_FuelFlowPulse.dFuelPerPulse, 1.0 / 6800.0);
    EXPECT_NE(Log().find("BAD FuelFlow SHIFTADJ: 0"), std::string::npos);
    Flow(100);
    RunFlow(10);
    EXPECT_EQ(FlowValue(), 0);
    G_InstCfg[kInstFuelFlow].nShiftAdj = -5;
    RunFlow(2);
    EXPECT_EQ(FlowValue(), 0);
}

TEST_F(FuelFlowTest, ARestartDoesNotReadOldCountsAsABurst) {
    InitFuelFlow();
    Flow(100);
    RunFlow(10);
    InitFuelFlow();   // counts start again at 0
    RunFlow(1);
    EXPECT_LT(FlowValue(), 100);
}

TEST_F(FuelFlowTest, InjectorTimingFromRpmMarkedStarts) {
    G_InstCfg[kInstFuelFlow].nGaugeType = 1;
    G_InstCfg[kInstFuelFlow].nScaleFctr = 1000;   // 1 ms delay
    G_InstCfg[kInstFuelFlow].nShiftAdj = 2000;    // 200 cc/min while open
    NvSetF64(kNvGalsUsed, 0.0);
    InitRpm();
    InitFuelFlow();
    const uint64_t period = 92160;                   // 25 ms: 2400 RPM
    const uint64_t open = static_cast<uint64_t>(5e-3 * kHz);   // 5 ms: 4 ms net
    const uint64_t start = board().Now() + 100;
    board().gpio().SetPulseTrain(72, start, period, period / 4);
    board().gpio().SetPulseTrain(71, start + open, period, period / 4);
    for (int i = 0; i < 60; ++i) {
        DelayTicks(245760);
        CalcRpm();
        CalcFuelFlow();
    }
    FoldFuelTotals();
    const double net = 4e-3;
    EXPECT_NEAR(G_FuelFlowPulse.openAvg.nMean, net * kHz, 5);
    // By hand: 2400 injections/min x 4 ms open = 9.6 s/min at 200 cc/min
    // = 32 cc/min = 1920 cc/h = 0.507 gal/h: 5 tenths.
    EXPECT_EQ(FlowValue(), 5);
    const double perInjection = net * (2000 / 3785.4119) / 60;
    EXPECT_NEAR(NvGetF64(kNvGalsUsed), perInjection * G_FuelFlowPulse.nCount, perInjection);
}

TEST_F(FuelFlowTest, InjectionShorterThanTheDelayCountsAsNone) {
    G_InstCfg[kInstFuelFlow].nGaugeType = 1;
    G_InstCfg[kInstFuelFlow].nScaleFctr = 2000;
    InitFuelFlow();
    board().gpio().SetInput(71, true);
    FuelFlowPulseIsr(100);   // the first edge is ignored
    EXPECT_EQ(G_FuelFlowPulse.nCount, 0u);
    G_FuelFlowPulse.bArmed = 1, G_FuelFlowPulse.nStart = 1000;
    FuelFlowPulseIsr(1000 + 3686);   // 1 ms open, 2 ms delay
    EXPECT_EQ(G_FuelFlowPulse.nCount, 1u);
    EXPECT_EQ(G_FuelFlowPulse.dPendingUsed, 0.0);
}

}  // namespace
