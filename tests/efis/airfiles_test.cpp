// The air-data files and angle of attack: written, read back, damaged
// files loaded without harm, the segment scale and the stall alarm's words.
#include <gtest/gtest.h>

#include <string>

#include "core/ostimer.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "support/board_fixture.h"

namespace {

class AirFilesTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        InitSsp();
        InitAdcTable();
        SysLogOpen();
        GUI_Init();
    }
};

TEST_F(AirFilesTest, AirdataFilesAndAoaFileReadBackIdentical) {
    G_InstCfg[kInstAirspeed].nMax = 2000;
    G_InstCfg[kInstAirspeed].nUnits = 1;
    G_InstCfg[kInstAltitude].nShiftAdj = -30;
    G_AirspeedCfg = {45, 50, 85, 130, 160};
    G_InstCal[kInstAltitude].nNumPts = 3;
    G_InstCal[kInstAltitude].point[0] = {-1000, 30000};
    G_InstCal[kInstAltitude].point[1] = {5000, 20000};
    G_InstCal[kInstAltitude].point[2] = {20000, 5000};
    G_AoaCfg = {120, 870, 55, 1, 12};
    RunApp([] {
        WriteAirdataFile();
        WriteAirdataCal();
        WriteAoaFile();
    });
    const std::string kvd = Contents("AIRDATA.KVD"), kvc = Contents("AIRDATA.KVC"), aoa = Contents("AOA.KVC");
    EXPECT_NE(kvd.find("AIRSPEED.VNE, 160"), std::string::npos) << kvd;
    EXPECT_NE(kvd.find("ALTITUDE.SHIFT_ADJ, -30"), std::string::npos) << kvd;
    EXPECT_NE(kvc.find("ALTITUDE.AD_VALUE_3, 5000"), std::string::npos) << kvc;
    EXPECT_EQ(aoa, "ZERO_LIFT_CRUISE, 120\nSTALL, 870\nARM_AIRSPEED, 55\nAOA_ENABLE, 1\nDECLUTTER_SEGMENT, 12\n");

    G_InstCfg[kInstAirspeed] = {};
    G_InstCfg[kInstAltitude] = {};
    G_AirspeedCfg = {};
    G_InstCal[kInstAltitude] = {};
    G_AoaCfg = {};
    RunApp([] {
        RepairSystemKvd();
        LoadAirdataCal();
        LoadAoaFile();
    });
    EXPECT_EQ(G_InstCfg[kInstAirspeed].nMax, 2000);
    EXPECT_EQ(G_InstCfg[kInstAirspeed].nUnits, 1);
    EXPECT_EQ(G_InstCfg[kInstAltitude].nShiftAdj, -30);
    EXPECT_EQ(G_AirspeedCfg.nVs1, 50);
    EXPECT_EQ(G_AirspeedCfg.nVne, 160);
    EXPECT_EQ(G_InstCal[kInstAltitude].nNumPts, 3);
    EXPECT_EQ(G_InstCal[kInstAltitude].point[2].nAd, 5000);
    EXPECT_EQ(G_AoaCfg.nStall, 870);
    EXPECT_EQ(G_AoaCfg.nDeclutter, 12);
    // Written again, the same bytes.
    RunApp([] {
        WriteAirdataFile();
        WriteAoaFile();
    });
    EXPECT_EQ(Contents("AIRDATA.KVD"), kvd);
    EXPECT_EQ(Contents("AOA.KVC"), aoa);
}

TEST_F(AirFilesTest, DamagedFilesLoadWithoutHarm) {
    Put("AIRDATA.KVC", "ALTITUDE.NUM_CAL_PTS, 99\r\nALTITUDE.DISPLAY_VALUE_1, 0\r\nALTITUDE.AD_VALUE_1, 100\r\n"
                       "ALTITUDE.DISPLAY_VALUE_2, 500\r\nALTITUDE.AD_VALUE_2, 100\r\nAIRSPEED.NUM_CAL_PTS, 2\r\n");
    Put("AOA.KVC", "STALL, 99999999999\r\nZERO_LIFT_CRUISE\r\n");
    Put("AIRDATA.KVD", "garbage\r\n");
    RunApp([] {
        LoadAirdataCal();
        LoadAoaFile();
        RepairSystemKvd();
        PrimeAirdata();
        for (int i = 0; i < 16; ++i) AirdataSampleStep();
    });
    EXPECT_LE(G_InstCal[kInstAltitude].nNumPts, kCalPoints) << "too many points capped";
    EXPECT_EQ(G_AoaCfg.nStall, INT32_MAX) << "saturated, not overflowed";
    EXPECT_GE(G_AirData.nTas, 0);
}

TEST_F(AirFilesTest, SegmentsFollowTheRatioAndTheAlarmWordsArmAboveTheirAirspeed) {
    G_AoaCfg = {100, 700, 50, 1, 10};
    struct Case { int32_t ratio, segment; };
    const Case cases[] = {{50, 0}, {100, 0}, {400, 15}, {580, 24}, {700, 30}, {900, 30}};
    for (const Case& c : cases) EXPECT_EQ(AoaSegment(c.ratio), c.segment) << c.ratio;
    G_AoaCfg.nStall = 100;
    EXPECT_EQ(AoaSegment(400), 0) << "equal points give no scale";

    // The alarm compares the live IAS with the arming airspeed, by name.
    G_AoaCfg = {100, 700, 50, 1, 10};
    RunApp([] {
        PrimeAirdata();
        G_AirData.nIas = 400;
        ReadAoaChannel();
    });
    EXPECT_EQ(G_AirData.nStallArmIas, 500);
    EXPECT_EQ(G_AirData.nStallIas, 400);
    EXPECT_FALSE(G_AirData.nStallIas > G_AirData.nStallArmIas) << "disarmed at 40 kt";
    RunApp([] {
        G_AirData.nIas = 900;
        ReadAoaChannel();
    });
    EXPECT_TRUE(G_AirData.nStallIas > G_AirData.nStallArmIas) << "armed at 90 kt";
}

TEST_F(AirFilesTest, InflightCalibrationRecordsBothPointsAndSaves) {
    G_AoaCfg = {0, 1000, 50, 1, 10};
    RunApp([] {
        G_Aoa.nRatio = 150;
        AoaInflightCal(3);
        G_Aoa.nRatio = 820;
        AoaInflightCal(3);
        AoaInflightCal(3);
    });
    EXPECT_EQ(G_AoaCfg.nZeroLift, 150);
    EXPECT_EQ(G_AoaCfg.nStall, 820);
    EXPECT_NE(Contents("AOA.KVC").find("STALL, 820"), std::string::npos);
    EXPECT_EQ(G_Aoa.nCalStep, 1);
}

}  // namespace
