// The engine readings cycle: step order, freshness and the clear, the demo
// engine, and the engine timers.
#include <map>
#include <set>
#include <vector>

#include "core/boot.h"
#include "core/rtc.h"
#include "engine/engine.h"
#include "engine/lean.h"
#include "engine/pulse.h"
#include "engine_fixture.h"
#include "storage/nvram.h"

namespace {

class CycleTest : public EngineTest {
protected:
    // Instruments converted by one step: their A/D stamp moved, or (RPM,
    // fuel flow) their reading became valid.
    std::set<int> Step(uint32_t* result = nullptr) {
        for (int i = 0; i < kInstruments; ++i) {
            G_InstAd[i].nStamp = 0;
            G_InstReading[i].bValid = 0;
        }
        DelayTicks(100);
        const uint32_t r = UpdateInstReadingsStep();
        if (result) *result = r;
        std::set<int> done;
        for (int i = 0; i < kInstruments; ++i)
            if (G_InstAd[i].nStamp != 0 || ((i == kInstRpm || i == kInstFuelFlow) && G_InstReading[i].bValid)) done.insert(i);
        return done;
    }
};

TEST_F(CycleTest, StepsConvertTheirGroupsInOrderAndEveryInstrumentOncePerCycle) {
    G_NetStreamCfg[kStreamAir].INST = 1;
    InitRpm();
    G_EngScanStep = 0;
    EXPECT_TRUE(Step().empty()) << "the first call only selects the first step";
    EXPECT_EQ(G_EngScanStep, 44u);
    const std::vector<std::pair<uint32_t, std::set<int>>> table = {
        {19, {18, 11, 10, 44, 26, 34}}, {20, {17, 19, 27, 35}}, {15, {16, 20, 28, 36}}, {47, {11, 10, 15, 29, 37}},
        {21, {12, 47, 30, 38}},         {22, {21, 31, 39}},     {14, {11, 10, 22, 32}}, {44, {13, 14, 33}},
    };
    std::map<int, int> count;
    for (const auto& [next, group] : table) {
        uint32_t fresh = 0;
        const uint32_t step = G_EngScanStep;
        std::set<int> done = Step(&fresh);
        SCOPED_TRACE(step);
        std::set<int> expected = group;
        expected.insert({23, 24, 25});
        EXPECT_EQ(done, expected);
        EXPECT_EQ(G_EngScanStep, next);
        EXPECT_EQ(fresh, (step == 20 || step == 22) ? 1u : 0u);
        for (int i : done) count[i] += 1;
    }
    EXPECT_EQ(count[23], 8);
    EXPECT_EQ(count[10], 3);
    EXPECT_EQ(count[11], 3);
    EXPECT_EQ(count[47], 1);
}

TEST_F(CycleTest, FreshnessIsReloadedOnlyByALocalSourceWithoutFadec) {
    struct Case { uint32_t net; uint32_t fadec; int32_t fresh; };
    for (const Case& c : {Case{0, 0, 40}, Case{2, 0, 0}, Case{0, 9, 0}}) {
        G_NetStreamCfg[kStreamEngine].NET = c.net;
        G_Fadec.nPresent = c.fadec;
        G_EngFresh = 0;
        G_EngScanStep = 20;
        Step();
        EXPECT_EQ(G_EngFresh, c.fresh) << c.net << " " << c.fadec;
    }
}

TEST_F(CycleTest, ClearZeroesAllEngineRecordsOrOnlyTheFadecOnes) {
    for (uint32_t fadec : {0u, 1u}) {
        for (auto& r : G_InstReading) r.nValue = 7, r.bValid = 1, r.nColour = 0xFF;
        G_Fadec.nPresent = fadec;
        ClearEngineReadings();
        for (int i = 0; i < kInstruments; ++i) {
            const bool fadecOwned = i == 10 || i == 11 || i == 12 || (i >= 16 && i <= 18) || (i >= 26 && i <= 39);
            const bool cleared = fadec ? fadecOwned : (i >= 9 && i <= 40);
            SCOPED_TRACE(i);
            EXPECT_EQ(int32_t{G_InstReading[i].nValue}, cleared ? 0 : 7);
            EXPECT_EQ(G_InstReading[i].bValid, cleared ? 0 : 1);
            const uint32_t colour = G_InstReading[i].nColour;
            EXPECT_EQ(colour, cleared ? 0u : 0xFFu);
        }
    }
}

TEST_F(CycleTest, DemoSwingsBetweenLimits) {
    int32_t lowRpm = 1 << 30, highRpm = 0, lowMap = 1 << 30;
    for (int i = 0; i < 90 * 40; ++i) {   // 90 s of 25 ms ticks
        DelayTicks(92160);
        DemoEngineStep();
        if (i < 40) continue;   // the clocks' first turns
        const int32_t rpm = G_InstReading[kInstRpm].nValue, map = G_InstReading[kInstManifold].nValue;
        lowRpm = std::min(lowRpm, rpm), highRpm = std::max(highRpm, rpm), lowMap = std::min(lowMap, map);
    }
    EXPECT_EQ(lowRpm, 24980);
    EXPECT_EQ(highRpm, 25020);
    EXPECT_EQ(lowMap, 240);
    EXPECT_EQ(G_EngFresh, 40);
    EXPECT_EQ(int32_t{G_InstReading[kInstFuelComp].nValue}, 88 + 93);
}

// ---- engine timers ----------------------------------------------------------------

class TimerTest : public CycleTest {
protected:
    void SetUp() override {
        CycleTest::SetUp();
        G_DateTime.nDay = 12;
        NvSetU32(kNvTodayDate, 12);
        NvSetF32(kNvHobbsTime, 1500.0f);
        NvSetF32(kNvTachTime, 1400.0f);
        NvSetF32(kNvTodayTime, 0.5f);
        LoadEngineTimers();
    }
    void Seconds(int n, int32_t rpm, uint32_t tickLen = 3686400) {
        for (int i = 0; i < n; ++i) {
            DelayTicks(tickLen);
            G_InstReading[kInstRpm].nValue = rpm;
            UpdateEngineTimers();
            LogEngineStartStop();
        }
    }
};

TEST_F(TimerTest, AnHourOfRunningAddsAnHourEvenAtLargeTotals) {
    Seconds(1, 24000);
    EXPECT_FLOAT_EQ(NvGetF32(kNvHobbsTime), 1500.0f) << "the first running second adds nothing";
    Seconds(3600, 24000);
    EXPECT_NEAR(NvGetF32(kNvHobbsTime), 1501.0f, 0.001f);
    EXPECT_NEAR(NvGetF32(kNvTachTime), 1401.0f, 0.001f);
    EXPECT_NEAR(NvGetF32(kNvTodayTime), 1.5f, 0.001f);
    EXPECT_NEAR(NvGetF32(kNvLastFlight), 1.0f, 0.001f);
    EXPECT_EQ(int32_t{G_InstReading[41].nValue}, 150100);
    EXPECT_EQ(int32_t{G_InstReading[46].nValue}, 100);
    EXPECT_EQ(G_EngineRunCount, 2 * 3601);
    Seconds(1, 4000);
    EXPECT_EQ(G_EngineRunCount, 0);
    const std::string log = Log();
    EXPECT_NE(log.find("Engine Started @"), std::string::npos);
    EXPECT_NE(log.find("Tach: 1400.00, Hobbs: 1500.00"), std::string::npos);
    EXPECT_NE(log.find("Engine Shutdown @"), std::string::npos);
    EXPECT_NE(log.find("Tach: 1401.00, Hobbs: 1501.00"), std::string::npos);
}

TEST_F(TimerTest, LateSecondsCountTheirRealLengthAndTachNeedsAbove1500Rpm) {
    Seconds(1, 15000);
    Seconds(1800, 15000, 2 * 3686400);   // seconds that come twice as late
    EXPECT_NEAR(NvGetF32(kNvHobbsTime), 1501.0f, 0.001f);
    EXPECT_FLOAT_EQ(NvGetF32(kNvTachTime), 1400.0f);
}

TEST_F(TimerTest, AStartOnANewDayClearsTodayAndEveryStartClearsTheFlight) {
    Seconds(100, 24000);
    Seconds(1, 0);
    EXPECT_GT(NvGetF32(kNvLastFlight), 0.0f);
    G_DateTime.nDay = 13;
    Seconds(1, 24000);
    EXPECT_EQ(NvGetF32(kNvTodayTime), 0.0f);
    EXPECT_EQ(NvGetF32(kNvLastFlight), 0.0f);
    EXPECT_EQ(NvGetU32(kNvTodayDate), 13u);
}

TEST_F(TimerTest, DemoSourceLeavesTheTimers) {
    G_NetStreamCfg[kStreamEngine].DSRC = 3;
    G_InstReading[kInstRpm].nValue = 24000;
    for (int i = 0; i < 10; ++i) UpdateEngineTimers();
    EXPECT_FLOAT_EQ(NvGetF32(kNvHobbsTime), 1500.0f);
}

}  // namespace
