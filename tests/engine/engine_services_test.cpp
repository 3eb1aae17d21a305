// The engine services behind the page: percent power from the horsepower
// table, the EGT/CHT calibration file, the trim indicator's travel, the
// numeric settings screens, and the FADEC framer on a serial line.
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "engine/bargauge.h"
#include "engine/calscreens.h"
#include "engine/engine.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "storage/config.h"
#include "ui/pages.h"
#include "engine_fixture.h"
#include "peers/fadec_peer.h"
#include "platform/hw.h"
#include "storage/nvram.h"

namespace {

class ServicesTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        G_NetStreamCfg[kStreamEngine].INST = 1;
    }
    static void Reading(int32_t inst, int32_t value, uint8_t valid = 1) {
        G_InstReading[inst].nValue = value;
        G_InstReading[inst].bValid = valid;
    }
    static bool Has(const std::string& text, const std::string& line) { return text.find(line) != std::string::npos; }
};

// ---- percent power ------------------------------------------------------------------------------

TEST_F(ServicesTest, PercentPowerFromTheTable) {
    HorsepowerCfg& c = G_HorsepowerCfg;
    c = {1, 180, 200, 290, 3, {{60, 100, 2000}, {80, 140, 2400}, {90, 160, 2700}}};
    struct Case {
        int32_t rpm, map;   // readings: tenths of RPM, tenths of inHg
        int32_t valid, percent, hp;
    };
    // By hand: 2200 RPM is half way from 2000 to 2400, so 70 hp at 20.0 inHg
    // and 120 hp at 29.0; 24.5 inHg is half way again: 95 hp, 52.8 % of 180.
    const Case cases[] = {
        {22000, 245, 1, 528, 950},
        {24000, 290, 1, 778, 1400},   // 140 hp: 77.8 %
        {30000, 200, 1, 500, 900},    // beyond the last row: its 90 hp
        {15000, 290, 1, 556, 1000},   // below the first row: its 100 hp
        {0, 245, 0, 0, 0},            // engine stopped
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.rpm);
        Reading(kInstRpm, k.rpm);
        Reading(kInstManifold, k.map);
        CalcPercentPower();
        EXPECT_EQ(G_PercentPower.nValid, k.valid);
        EXPECT_EQ(G_PercentPower.nValue, k.percent);
        EXPECT_EQ(G_PercentPower.nValue2, k.hp);
    }
    Reading(kInstRpm, 22000);
    Reading(kInstManifold, 245, 0);
    CalcPercentPower();
    EXPECT_EQ(G_PercentPower.nValid, 0) << "no manifold pressure, no percent power";
    c.nCount = 1;
    Reading(kInstManifold, 245);
    CalcPercentPower();
    EXPECT_EQ(G_PercentPower.nValid, 0) << "one row is no table";
}

TEST_F(ServicesTest, HorsepowerFileRoundTrip) {
    G_HorsepowerCfg = {1, 200, 180, 300, 2, {{50, 90, 1800}, {100, 170, 2700}}};
    EXPECT_EQ(SaveHorsepowerTable(), 0);
    const std::string kvd = Contents("HORSEPWR.KVD");
    EXPECT_TRUE(Has(kvd, "ENABLE, 1\nRATED_HP, 200\nLOW_MAP, 180\nHIGH_MAP, 300\nNUM_PTS, 2\n")) << kvd;
    EXPECT_TRUE(Has(kvd, "HP_LOW_MAP_2, 100\nHP_HIGH_MAP_2, 170\nRPM_2, 2700\n")) << kvd;
    EXPECT_TRUE(Has(Log(), "Writing 11 lines into HORSEPWR.KVD"));
    G_HorsepowerCfg = {};
    LoadHorsepowerTable();
    EXPECT_EQ(G_HorsepowerCfg.nRatedHp, 200);
    EXPECT_EQ(G_HorsepowerCfg.row[1][2], 2700);
    EXPECT_EQ(G_HorsepowerCfg.row[0][1], 90);
}

// ---- EGT/CHT calibration ----------------------------------------------------------------------

TEST_F(ServicesTest, EgtChtCalibrationIsWrittenAndReadBack) {
    SetCurve(kInstEgt1 + 2, {{0, 100}, {16000, 3900}});
    SetCurve(kInstCht1, {{320, 500}, {5000, 3000}});
    G_InstCal[kInstTit1].nTempCalAd = 2100;
    G_InstCal[kInstTit1].nHiTempSlope = 12;
    EXPECT_EQ(SaveEgtChtCal(), 0) << "the writer's result";
    const std::string kvc = Contents("EGTCHT.KVC");
    EXPECT_TRUE(Has(kvc, "EGT_3.NUM_CAL_PTS, 2\nEGT_3.DISPLAY_VALUE_1, 0\nEGT_3.AD_VALUE_1, 100\n")) << kvc;
    EXPECT_TRUE(Has(kvc, "TIT_1.TEMP_CAL_AD_VALUE, 2100\nTIT_1.HI_TEMP_SLOPE, 12\n")) << kvc;
    EXPECT_FALSE(Has(kvc, "MANIFOLD")) << "only the probes";

    for (int32_t i = kInstEgt1; i <= kInstCht6; ++i) G_InstCal[i] = {};
    LoadEgtChtCal();
    EXPECT_EQ(G_InstCal[kInstCht1].point[1].nAd, 3000);
    EXPECT_EQ(G_InstCal[kInstTit1].nTempCalAd, 2100);
    // The curve is rebuilt: half way between the points by hand.
    int32_t v = 0;
    ASSERT_TRUE(ConvertInstAd(kInstEgt1 + 2, 2000, false, &v));
    EXPECT_EQ(v, 8000);
}

TEST_F(ServicesTest, MissingEgtChtFileKeepsTheCurves) {
    SetCurve(kInstEgt1, {{0, 0}, {1000, 1000}});
    G_CfgCount = 0;
    LoadEgtChtCal();
    EXPECT_EQ(G_InstCal[kInstEgt1].nNumPts, 2);
    EXPECT_EQ(G_InstCal[kInstEgt1].point[1].nAd, 1000);
}

// ---- trims --------------------------------------------------------------------------------------

TEST_F(ServicesTest, TrimBoxCentresOnMinMaxAndStopsAtTheEnds) {
    G_CurPage = 3;
    InitTrimGauge();
    G_InstCfg[kInstElevTrim].nMin = 0;
    G_InstCfg[kInstElevTrim].nMax = 1000;
    const int32_t half = GaugeWord(kInstElevTrim, 32);
    ASSERT_EQ(half, 16);
    const int32_t cases[][2] = {{500, 0}, {1000, 16}, {0, -16}, {750, 8}, {5000, 16}, {375, -4}};
    for (const auto& c : cases) EXPECT_EQ(TrimBoxOffset(kInstElevTrim, c[0]), c[1]) << c[0];
    G_InstCfg[kInstElevTrim].nMax = 0;
    EXPECT_EQ(TrimBoxOffset(kInstElevTrim, 800), 0) << "an empty range keeps the box centred";
}

// ---- settings screens ---------------------------------------------------------------------------

TEST_F(ServicesTest, RpmScreenSavesAndReinitialises) {
    G_InstCfg[kInstRpm].nShiftAdj = 2;
    RpmScreenOpen();
    EXPECT_EQ(EngineMenuRows(), 7);
    EXPECT_STREQ(EngineMenuValue(1), "2");
    EngineMenuInput(0, 2);
    EXPECT_STREQ(EngineMenuValue(1), "4");
    EngineMenuInput(0, -100);
    EXPECT_STREQ(EngineMenuValue(1), "1") << "held to 1";
    EngineMenuInput(0, 5);
    EngineMenuInput(2, 0);
    EngineMenuInput(0, 54);   // 54 x 50 RPM
    EXPECT_STREQ(EngineMenuValue(2), "2700");
    EXPECT_EQ(EngineMenuInput(5, 0), 1);
    const std::string kvd = Contents("ENGINE.KVD");
    EXPECT_TRUE(Has(kvd, "RPM.PULSES_PER_2REVS, 6\n")) << kvd;
    EXPECT_TRUE(Has(kvd, "RPM.MAX, 27000\n")) << kvd;
}

TEST_F(ServicesTest, ProbeScreenCapturesAndCopiesToTheGroup) {
    G_EngInfo.nEgtCount = 4;
    EgtChtScreenOpen(kInstCht1);
    EXPECT_STREQ(EngineMenuValue(1), "CHT_1");
    EngineMenuInput(0, -1);   // the probe selector wraps to the last of four
    EXPECT_STREQ(EngineMenuValue(1), "CHT_4");
    EngineMenuInput(2, 0);
    EngineMenuInput(0, 32);   // low temperature 32.0
    EngineMenuInput(2, 0);
    G_SettingsScreen.nLiveAd = 410;
    EngineMenuInput(4, 0);
    EngineMenuInput(2, 0);
    EngineMenuInput(0, 500);  // 500.0
    EngineMenuInput(2, 0);
    G_SettingsScreen.nLiveAd = 3610;
    EngineMenuInput(4, 0);
    EngineMenuInput(2, 0);
    EngineMenuInput(0, 1);    // copy to all
    EXPECT_EQ(EngineMenuInput(5, 0), 1);
    const std::string kvc = Contents("EGTCHT.KVC");
    for (const char* probe : {"CHT_1", "CHT_4"}) {
        SCOPED_TRACE(probe);
        EXPECT_TRUE(Has(kvc, std::string(probe) + ".DISPLAY_VALUE_1, 320\n" + probe + ".AD_VALUE_1, 410\n")) << kvc;
        EXPECT_TRUE(Has(kvc, std::string(probe) + ".DISPLAY_VALUE_2, 5000\n" + probe + ".AD_VALUE_2, 3610\n")) << kvc;
    }
    EXPECT_FALSE(Has(kvc, "CHT_5.AD_VALUE_1, 410")) << "only the probes shown";
}

TEST_F(ServicesTest, HorsepowerScreenGrowsWithItsRowCount) {
    G_HorsepowerCfg = {};
    HorsepowerScreenOpen();
    EXPECT_EQ(EngineMenuRows(), 5);
    for (int i = 0; i < 4; ++i) EngineMenuInput(2, 0);
    EngineMenuInput(0, 2);
    EXPECT_EQ(EngineMenuRows(), 11) << "three rows per RPM row";
    EngineMenuInput(0, 20);
    EXPECT_EQ(EngineMenuRows(), 5 + 3 * kHpRows) << "held to the table's size";
}

TEST_F(ServicesTest, TrimCalibrationReadsPercentOfTravel) {
    G_InstCal[kInstAilTrim] = {};
    TrimScreenOpen(kInstAilTrim);
    G_SettingsScreen.nLiveAd = 800;
    EngineMenuInput(4, 0);
    EngineMenuInput(2, 0);
    G_SettingsScreen.nLiveAd = 3200;
    EngineMenuInput(4, 0);
    EXPECT_EQ(EngineMenuInput(5, 0), 1);
    EXPECT_TRUE(Has(Contents("ENGINE.KVC"), "AIL_TRIM.AD_VALUE_2, 3200\n"));
    // By hand: 2000 is half way from 800 to 3200: 50.0 %, the centre.
    const int32_t cases[][2] = {{2000, 500}, {800, 0}, {3200, 1000}, {2600, 750}};
    for (const auto& c : cases) {
        int32_t v = -1;
        ASSERT_TRUE(ConvertInstAd(kInstAilTrim, c[0], false, &v));
        EXPECT_EQ(v, c[1]) << c[0];
    }
    EXPECT_EQ(TrimBoxOffset(kInstAilTrim, 500), 0) << "the centre of MIN..MAX after the reload";
}

TEST_F(ServicesTest, TimersScreenWritesTheImageAndTheRunningTotals) {
    NvSetF32(kNvTachTime, 1234.5f);
    NvSetF32(kNvHobbsTime, 1300.25f);
    EngineTimersScreenOpen();
    EXPECT_STREQ(EngineMenuValue(1), "123450") << "tach first, in hundredths";
    EXPECT_STREQ(EngineMenuValue(2), "130025");
    EngineMenuInput(0, -45);   // 4.5 h less
    EXPECT_EQ(EngineMenuInput(5, 0), 1);
    EXPECT_FLOAT_EQ(NvGetF32(kNvTachTime), 1230.0f);
    // The next timer step adds to the edited total.
    G_InstReading[kInstRpm].nValue = 24000;
    G_EngineRunCount = 1;
    G_EngineTimerStamp = ReadOsTimer();
    DelayTicks(36864000);   // 10 s
    UpdateEngineTimers();
    EXPECT_NEAR(NvGetF32(kNvTachTime), 1230.0f + 10.0f / 3600.0f, 0.001f);
}

// ---- FADEC framer ---------------------------------------------------------------------------------

class FadecTest : public ServicesTest {
protected:
    static constexpr uint32_t kPort = 3;
    void SetUp() override {
        ServicesTest::SetUp();
        InstallHandlers();
        IrqStateInit();
        InitRamLog(0);
        HwWrite32(OSMR0, ReadOsTimer() + kTickTicks);
        HwWrite32(OIER, HwRead32(OIER) | 1);
        IntEnable(kIntOsTimer0);
        G_NetStreamCfg[kStreamEngine].DSRC = 1;
        G_Serial[kPort].nFunction = 9;
        G_Serial[kPort].fpFrame = FadecMsgFrame;
        G_Serial[kPort].fpMsgParse = ParseFadecMsg;
        SetSerialBaud(kPort, 5);
        SetFadecPresent(9);
    }
    static std::string Message(uint8_t seq, const std::vector<int16_t>& fields, bool badCrc = false) {
        return fadec_peer::Message(seq, fields, 0, badCrc);
    }
    // The bytes on the line, then a quiet time, with the main loop's framing.
    void Feed(const std::string& bytes, double quietMs) {
        ASSERT_TRUE(board().SerialInput(kPort, bytes.data(), static_cast<int>(bytes.size())));
        const uint64_t end = board().Now() + bytes.size() * SerialTicksPerChar(5) +
                             static_cast<uint64_t>(quietMs * kTicksPerMs);
        while (board().Now() < end) {
            SerialPort& p = G_Serial[kPort];
            if (p.bRxPending) {
                p.bRxPending = 0;
                p.fpFrame(kPort);
            }
            HwIdle();
        }
    }
};

TEST_F(FadecTest, MessagesFillTheFadecReadingsAndResyncAfterAPause) {
    const std::vector<int16_t> f = {2450, 245, 52, 620, 1850, 400, 13800, 13900, 14000, 14100, INT16_MIN};
    Feed(Message(1, f), 100);
    EXPECT_EQ(G_Fadec.nMessages, 1u);
    EXPECT_EQ(int32_t{G_InstReading[kInstRpm].nValue}, 24500) << "whole RPM on the line";
    EXPECT_EQ(int32_t{G_InstReading[kInstManifold].nValue}, 245);
    EXPECT_EQ(int32_t{G_InstReading[kInstEgt1 + 3].nValue}, 14100);
    EXPECT_EQ(G_InstReading[kInstEgt1 + 4].bValid, 0) << "no value";
    EXPECT_EQ(G_EngFresh, 40);

    // Back to back: the second message follows the first directly.
    Feed(Message(2, {2500}) + Message(3, {2510}), 100);
    EXPECT_EQ(G_Fadec.nMessages, 3u);
    EXPECT_EQ(int32_t{G_InstReading[kInstRpm].nValue}, 25100);

    // Noise, then a message in the same burst: thrown away until a pause.
    Feed("xyz" + Message(4, {2600}), 100);
    EXPECT_EQ(G_Fadec.nMessages, 3u);
    Feed(Message(5, {2700}), 100);
    EXPECT_EQ(G_Fadec.nMessages, 4u);
    EXPECT_EQ(int32_t{G_InstReading[kInstRpm].nValue}, 27000);
    bool tossed = false;
    for (uint32_t i = 0; i < G_RamLog.nCount && i < kRamLogLines; ++i)
        tossed = tossed || std::string(G_RamLog.szLine[i]).find("FADEC:3, 53 tossed for resync") == 0;
    EXPECT_TRUE(tossed) << "the three bytes of noise and the 50 of the message behind them";

    // A damaged message changes nothing and is logged.
    Feed(Message(6, {1000}, true), 100);
    EXPECT_EQ(G_Fadec.nBadCrc, 1u);
    EXPECT_EQ(int32_t{G_InstReading[kInstRpm].nValue}, 27000);
    EXPECT_NE(Log().find("ParseFadecMsg Bad CRC @"), std::string::npos);

    // A message cut short by a pause is dropped; the next one is taken.
    Feed(Message(7, {1500}).substr(0, 20), 100);
    Feed(Message(8, {1600}), 100);
    EXPECT_EQ(int32_t{G_InstReading[kInstRpm].nValue}, 16000);
}

}  // namespace
