// ENGINE.KVD and ENGINE.KVC: keys, defaults, consistency rules, round trips
// and damaged files.
#include "engine/enginecfg.h"

#include <cmath>
#include <functional>
#include <random>

#include "core/boot.h"
#include "engine_fixture.h"
#include "storage/config.h"
#include "storage/tfs.h"

namespace {

class EngineCfgTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        std::memset(G_InstCfg, 0, sizeof G_InstCfg);
    }
    void Load(const std::string& kvd) {
        Put("ENGINE.KVD", kvd);
        LoadEngineSettings();
    }
    static InstCfg& Cfg(int32_t inst) { return G_InstCfg[inst]; }
};

TEST_F(EngineCfgTest, KeysDefaultsAndRules) {
    struct Case {
        const char* name;
        std::string kvd;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"type key ignores case", "engine_type, ROTAX_912\n", [] { EXPECT_EQ(G_EngInfo.nEngineType, 2); }},
        {"type value counts case", "ENGINE_TYPE, rotax_912\n", [] { EXPECT_EQ(G_EngInfo.nEngineType, 0); }},
        {"alias name", "ENGINE_TYPE, LYC_6CYL\n", [] { EXPECT_EQ(G_EngInfo.nEngineType, 1); }},
        {"pulses 0 become 2", "RPM.PULSES_PER_2REVS, 0\n", [] { EXPECT_EQ(Cfg(kInstRpm).nShiftAdj, 2); }},
        {"injector delay 5", "FUEL_FLOW.INJ_DELAY, 5\n", [] { EXPECT_EQ(Cfg(kInstFuelFlow).nScaleFctr, 1000); }},
        {"injector delay 2500", "FUEL_FLOW.INJ_DELAY, 2500\n", [] { EXPECT_EQ(Cfg(kInstFuelFlow).nScaleFctr, 1000); }},
        {"injector delay 11", "FUEL_FLOW.INJ_DELAY, 11\n", [] { EXPECT_EQ(Cfg(kInstFuelFlow).nScaleFctr, 11); }},
        {"injector delay 2000", "FUEL_FLOW.INJ_DELAY, 2000\n", [] { EXPECT_EQ(Cfg(kInstFuelFlow).nScaleFctr, 2000); }},
        {"unknown flow sensor type is the flow sensor", "FUEL_FLOW.SENSOR_TYPE, 2\n",
         [] { EXPECT_EQ(Cfg(kInstFuelFlow).nGaugeType, 0); }},
        {"injector timing kept", "FUEL_FLOW.SENSOR_TYPE, 1\n", [] { EXPECT_EQ(Cfg(kInstFuelFlow).nGaugeType, 1); }},
        {"K factor 0 becomes 680", "FUEL_FLOW.K_FACTOR, 0\n", [] { EXPECT_EQ(Cfg(kInstFuelFlow).nShiftAdj, 680); }},
        {"both currents on: Hall off", "AMPS_SHUNT.ENABLE, 1\nAMPS_HALL.ENABLE, 1\n",
         [] { EXPECT_EQ(Cfg(kInstAmpsShunt).nEnable, 1); EXPECT_EQ(Cfg(kInstAmpsHall).nEnable, 0); }},
        {"both currents 2", "AMPS_SHUNT.ENABLE, 2\nAMPS_HALL.ENABLE, 2\n",
         [] { EXPECT_EQ(Cfg(kInstAmpsShunt).nEnable, 1); EXPECT_EQ(Cfg(kInstAmpsHall).nEnable, 2); }},
        {"green keys and a later override", "OIL_PSI.YELLOW_HIGH, 90\nOIL_PSI.GREEN_HIGH, 80\nOIL_PSI.GREEN_LOW, 30\n",
         [] { EXPECT_EQ(Cfg(16).nYellowHigh, 80); EXPECT_EQ(Cfg(16).nYellowLow, 30); }},
        {"fuel units follow the flow", "FUEL_FLOW.UNITS, 2\nFUEL_COMP.GAUGE_TYPE, 5\n",
         [] {
             EXPECT_EQ(Cfg(kInstFuelComp).nUnits, 2);
             EXPECT_EQ(Cfg(21).nUnits, 2);
             EXPECT_EQ(Cfg(kInstFuelComp).nGaugeType, 9);
         }},
        {"probe gauge types clamped", "EGT_1.GAUGE_TYPE, -4\nCHT_1.GAUGE_TYPE, 3\n",
         [] { EXPECT_EQ(Cfg(kInstEgt1).nGaugeType, 1); EXPECT_EQ(Cfg(kInstCht1).nGaugeType, 1); }},
        {"EGT limits copied, not ENABLE", "EGT_1.RED_HIGH, 1650\nEGT_1.ENABLE, 1\nEGT_3.ENABLE, 0\n",
         [] { EXPECT_EQ(Cfg(28).nRedHigh, 1650); EXPECT_EQ(Cfg(28).nEnable, 0); }},
        {"Subaru silences every probe", "ENGINE_TYPE, SUBARU_6CYL\nEGT_1.ENABLE, 1\nEGT_1.AUDIO, 1\nCHT_4.ENABLE, 1\n",
         [] {
             for (int32_t i = kInstEgt1; i <= kInstCht6; ++i) EXPECT_EQ(Cfg(i).nEnable | Cfg(i).nAudio, 0) << i;
         }},
        {"trims always 0..1000", "FLAP_ANG.MAX, 77\nELEV_TRIM.MIN, -5\n",
         [] { EXPECT_EQ(Cfg(kInstFlapAng).nMax, 1000); EXPECT_EQ(Cfg(kInstElevTrim).nMin, 0); }},
        {"bad numbers", "OIL_TEMP.MAX, 12abc\nOIL_TEMP.MIN,\nOIL_TEMP.RED_HIGH, 99999999999\nOIL_TEMP.RED_LOW, x\n",
         [] {
             EXPECT_EQ(Cfg(17).nMax, 12);
             EXPECT_EQ(Cfg(17).nMin, 0);
             EXPECT_EQ(Cfg(17).nRedHigh, INT32_MAX);
             EXPECT_EQ(Cfg(17).nRedLow, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(G_InstCfg, 0, sizeof G_InstCfg);
        G_EngInfo.nEngineType = 5;
        Load(c.kvd);
        c.check();
    }
    EXPECT_EQ(G_NetStreamCfg[kStreamEngine].FileOk, 1u);
}

TEST_F(EngineCfgTest, MissingFileKeepsTheTypeAndStillAppliesTheRules) {
    G_EngInfo.nEngineType = 3;
    LoadEngineSettings();
    EXPECT_EQ(G_EngInfo.nEngineType, 3);
    EXPECT_EQ(G_NetStreamCfg[kStreamEngine].FileOk, 0u);
    EXPECT_EQ(Cfg(kInstFuelFlow).nShiftAdj, 680);
    EXPECT_EQ(Cfg(kInstFlapAng).nMax, 1000);
    EXPECT_NE(Log().find("TFS ERROR: ENGINE.KVD"), std::string::npos);
}

TEST_F(EngineCfgTest, WrittenFileReadsBackTheSameSettings) {
    Load("ENGINE_TYPE, JABIRU_6CYL\n"
         "FUEL_COMP.GREEN_LOW, 120\nFUEL_COMP.RED_LOW, 50\nFUEL_COMP.CROSSCHECK_LIMIT, 30\nFUEL_COMP.ENABLE, 1\n"
         "RPM.MAX, 2800\nRPM.RED_HIGH, 2700\nRPM.YELLOW_MID_TOP, 2200\nRPM.YELLOW_MID_BOT, 1900\n"
         "RPM.PULSES_PER_2REVS, 3\nFUEL_FLOW.K_FACTOR, 700\nFUEL_FLOW.SENSOR_TYPE, 1\nFUEL_FLOW.UNITS, 1\n"
         "OIL_PSI.MAX, 100\nOIL_PSI.GREEN_HIGH, 80\nOIL_PSI.GREEN_LOW, 30\nOIL_PSI.RED_LOW, 10\n"
         "TIT_1.ENABLE, 1\nTIT_1.MAX, 1800\nEGT_1.MAX, 1700\nEGT_1.ENABLE, 1\nCHT_1.MAX, 500\n");
    const InstCfg first[kInstruments] = {};
    InstCfg saved[kInstruments];
    std::memcpy(saved, G_InstCfg, sizeof saved);
    const int32_t type = G_EngInfo.nEngineType;
    ASSERT_EQ(SaveEngineSettings(), 0);
    const std::string written = Contents("ENGINE.KVD");
    EXPECT_EQ(written.rfind("ENGINE_TYPE, JABIRU_6CYL\nFUEL_COMP.GREEN_LOW, 120\nFUEL_COMP.RED_LOW, 50\n", 0), 0u);
    EXPECT_NE(written.find("RPM.YELLOW_MID_TOP, 2200\nRPM.YELLOW_MID_BOT, 1900\nRPM.PULSES_PER_2REVS, 3\n"),
              std::string::npos);
    EXPECT_NE(written.find("FUEL_FLOW.K_FACTOR, 700\n"), std::string::npos);
    EXPECT_NE(written.find("OIL_TEMP.UNITS, 0\n"), std::string::npos) << "UNITS is always written";
    EXPECT_EQ(written.find("OIL_TEMP.MAX"), std::string::npos) << "zero fields are not";

    std::memcpy(G_InstCfg, first, sizeof G_InstCfg);
    G_EngInfo.nEngineType = 0;
    LoadEngineSettings();
    EXPECT_EQ(G_EngInfo.nEngineType, type);
    for (int32_t i = kInstFuelComp; i < kInstruments; ++i) {
        SCOPED_TRACE(InstrumentNames[i]);
        EXPECT_EQ(std::memcmp(&G_InstCfg[i], &saved[i], sizeof(InstCfg)), 0);
    }
    ASSERT_EQ(SaveEngineSettings(), 0);
    EXPECT_EQ(Contents("ENGINE.KVD"), written) << "a second write gives the same file";
}

TEST_F(EngineCfgTest, UnknownStoredTypeIsWrittenAsStd4) {
    G_EngInfo.nEngineType = 12;
    ASSERT_GT(FormatEngineSettings(), 0);
    EXPECT_STREQ(G_CfgValue[0], "STD_4CYL");
    EXPECT_EQ(G_EngInfo.nEngineType, 0);
}

TEST_F(EngineCfgTest, CalibrationFileRoundTripAndDamage) {
    G_InstCal[kInstManifold] = {};
    G_InstCal[kInstManifold].nNumPts = 3;
    G_InstCal[kInstManifold].nTempCalAd = 2000;
    G_InstCal[kInstManifold].nHiTempSlope = 5;
    G_InstCal[kInstManifold].point[0] = {0, 100};
    G_InstCal[kInstManifold].point[1] = {150, 2000};
    G_InstCal[kInstManifold].point[2] = {300, 4000};
    CalcInstCalSlopes(kInstManifold);
    G_InstCal[kInstFlapAng].nNumPts = 30;
    ASSERT_EQ(SaveEngineCal(), 0);
    const std::string written = Contents("ENGINE.KVC");
    EXPECT_EQ(written.rfind("MANIFOLD.NUM_CAL_PTS, 3\nMANIFOLD.TEMP_CAL_AD_VALUE, 2000\nMANIFOLD.HI_TEMP_SLOPE, 5\n"
                            "MANIFOLD.LOW_TEMP_SLOPE, 0\nMANIFOLD.DISPLAY_VALUE_1, 0\nMANIFOLD.AD_VALUE_1, 100\n",
                            0),
              0u);
    EXPECT_NE(written.find("FLAP_ANG.NUM_CAL_PTS, 30\n"), std::string::npos);
    EXPECT_NE(written.find("FLAP_ANG.AD_VALUE_24, 0\n"), std::string::npos);
    EXPECT_EQ(written.find("FLAP_ANG.AD_VALUE_25"), std::string::npos);
    EXPECT_EQ(written.find("TANK_1"), std::string::npos);

    const InstCal kept = G_InstCal[kInstManifold];
    std::memset(G_InstCal, 0, sizeof G_InstCal);
    LoadEngineCal();
    EXPECT_EQ(std::memcmp(&G_InstCal[kInstManifold], &kept, sizeof kept), 0);
    EXPECT_FLOAT_EQ(G_InstCal[kInstManifold].segment[1].fSlope, 0.075f);
    EXPECT_EQ(G_InstCal[kInstFlapAng].nNumPts, 24);

    // Equal A/D points, too many points, a count below 2 and numbers out of range.
    Put("ENGINE.KVC", "MANIFOLD.NUM_CAL_PTS, 2\nMANIFOLD.AD_VALUE_1, 7\nMANIFOLD.AD_VALUE_2, 7\n"
                      "MANIFOLD.DISPLAY_VALUE_2, 9\nOIL_PSI.NUM_CAL_PTS, 99999\nOIL_TEMP.NUM_CAL_PTS, -1\n"
                      "CARB_TEMP.NUM_CAL_PTS, 2\nCARB_TEMP.AD_VALUE_2, -99999999999\n");
    LoadEngineCal();
    EXPECT_EQ(G_InstCal[16].nNumPts, 24);
    EXPECT_EQ(G_InstCal[17].nNumPts, 2);
    EXPECT_EQ(G_InstCal[18].point[1].nAd, INT32_MIN);
    for (int32_t inst : {kInstManifold, 16, 17, 18}) {
        for (const CalSegment& s : G_InstCal[inst].segment) EXPECT_TRUE(std::isfinite(s.fSlope)) << inst;
    }
}

// Random and truncated files under the sanitizers: loading never faults and
// leaves every count and conversion bounded.
TEST_F(EngineCfgTest, RandomAndTruncatedFilesLoadWithoutHarm) {
    std::mt19937 rng(5100);
    const char* const keys[] = {"ENGINE_TYPE", "RPM.PULSES_PER_2REVS", "FUEL_FLOW.INJ_DELAY", "AMPS_HALL.ENABLE",
                                "EGT_1.GAUGE_TYPE", "MANIFOLD.NUM_CAL_PTS", "MANIFOLD.AD_VALUE_1",
                                "MANIFOLD.AD_VALUE_2", "MANIFOLD.DISPLAY_VALUE_2", "OIL_PSI.NUM_CAL_PTS",
                                "TIT_2.ENABLE", "FUEL_COMP.GREEN_LOW"};
    const char* const values[] = {"0", "-1", "2147483647", "-2147483648", "99999999999", "", "abc",
                                  "ROTAX_914", "M14_9CYL", "24", "25", " 7"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int lines = static_cast<int>(rng() % 40);
        for (int i = 0; i < lines; ++i) {
            switch (rng() % 4) {
            case 0: {   // raw bytes
                const int n = static_cast<int>(rng() % 120);
                for (int k = 0; k < n; ++k) text += static_cast<char>(rng() % 256);
                text += '\n';
                break;
            }
            default:
                text += keys[rng() % std::size(keys)];
                text += ", ";
                text += values[rng() % std::size(values)];
                text += '\n';
            }
        }
        text.resize(text.empty() ? 0 : rng() % text.size() + 1);   // cut anywhere
        if (text.empty()) text = "X";
        TFS_Defrag(0);   // replaced files leave dead space
        Put(round % 2 ? "ENGINE.KVD" : "ENGINE.KVC", text);
        if (round % 2) LoadEngineSettings();
        else LoadEngineCal();
        ASSERT_GE(G_EngInfo.nEngineType, 0);
        ASSERT_LT(G_EngInfo.nEngineType, kEngineTypes);
        ASSERT_GE(G_InstCal[kInstManifold].nNumPts, 2);
        ASSERT_LE(G_InstCal[kInstManifold].nNumPts, kCalPoints);
        int32_t value = 0;
        ConvertInstAd(kInstManifold, static_cast<int32_t>(rng() % 4096), true, &value);
        LogEngineInfo();
    }
}

}  // namespace
