// Air data through the emulated air-data converter: the cycle, the altitude
// chain with vertical speed, density altitude and TAS on vectors computed
// outside the code, the baro setting and the encoder sentences.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/serial.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "storage/config.h"
#include "support/board_fixture.h"

namespace {

class AirdataTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        InitSsp();
        InitAdcTable();
        SysLogOpen();
        GUI_Init();
        for (auto& c : G_InstCfg) c.nEnable = 1;
    }
    static void Curve(int32_t inst, int32_t d0, int32_t a0, int32_t d1, int32_t a1) {
        InstCal& cal = G_InstCal[inst];
        cal.nNumPts = 2;
        cal.point[0] = {d0, a0};
        cal.point[1] = {d1, a1};
        CalcInstCalSlopes(inst);
    }
    uint32_t Conv(int input) { return board().airAdc().Conversions(input); }
};

TEST_F(AirdataTest, DensityAltitudeAndTasOnComputedVectors) {
    struct Case { const char* name; int32_t pa, oat, da; };
    const Case da[] = {
        {"standard day at sea level", 0, 590, 0},
        {"PA 5000 at 80.0 F", 5000, 800, 7559},
    };
    for (const Case& c : da) {
        SCOPED_TRACE(c.name);
        G_AirData.nPressAlt = c.pa;
        G_AirData.nOat = c.oat;
        CalcDensityAlt();
        EXPECT_EQ(G_AirData.nDensityAlt, c.da);
    }
    struct Tas { const char* name; int32_t ias, da, tas; };
    const Tas tas[] = {
        {"sea level: TAS is IAS", 1000, 0, 1000},
        {"100.0 kt at DA 5000", 1000, 5000, 1077},
        {"above 145,442 ft the factor is NaN: no TAS", 1000, 200000, 0},
        {"a negative IAS gives no negative TAS", -50, 0, 0},
        {"a tiny factor saturates instead of overflowing", 2000000000, 145442, INT32_MAX},
    };
    for (const Tas& c : tas) {
        SCOPED_TRACE(c.name);
        G_AirData.nIas = c.ias;
        G_AirData.nDensityAlt = c.da;
        CalcTas();
        EXPECT_EQ(G_AirData.nTas, c.tas);
    }
}

TEST_F(AirdataTest, ClimbOf500FtIn3SecondsClampsAndTheAverageFollows) {
    const uint32_t t0 = 1000;
    constexpr uint32_t kStep = 3686400 * 3 / 60;   // 60 entries over 3 s
    AvgCircInit(&G_AirData.history, 60, 0, t0);
    AvgInit(&G_AirData.vsAvg, 0, 60);
    int32_t last = 0;
    for (int i = 1; i <= 60; ++i) {
        AvgCircAdd(&G_AirData.history, 500 * i / 60, t0 + kStep * static_cast<uint32_t>(i));
        CalcVsi();
        EXPECT_EQ(G_AirData.nVs, 3850) << "10,000 ft/min clamped, entry " << i;
        EXPECT_GT(G_AirData.nVsAvg, last);
        last = G_AirData.nVsAvg;
        if (i == 1) {
            EXPECT_EQ(G_AirData.nVsAvg, 64) << "3850 / 60";
        }
    }
    EXPECT_EQ(G_AirData.nVsAvg, 3850) << "60 values of 3850";
    // Level flight at 500 ft: the rate and then the average come back to 0.
    for (int i = 61; i <= 180; ++i) {
        AvgCircAdd(&G_AirData.history, 500, t0 + kStep * static_cast<uint32_t>(i));
        CalcVsi();
    }
    EXPECT_EQ(G_AirData.nVs, 0);
    EXPECT_EQ(G_AirData.nVsAvg, 0);
}

TEST_F(AirdataTest, CycleConvertsEachChannelAtItsRateAndABadStateRestarts) {
    PrimeAirdata();
    AirdataCycleState() = 0;
    const uint32_t alt = Conv(0), wing = Conv(1), temp = Conv(4), ias = Conv(5), oat = Conv(7);
    for (int i = 0; i < 8; ++i) AirdataSampleStep();   // 200 ms
    // 50 conversions a read for the pressures, 15 for the temperatures.
    EXPECT_EQ(Conv(0) - alt, 4u * 50) << "altitude every 50 ms";
    EXPECT_EQ(Conv(5) - ias, 4u * 50) << "airspeed every 50 ms";
    EXPECT_EQ(Conv(1) - wing, 4u * 50) << "angle of attack every 50 ms";
    EXPECT_EQ(Conv(4) - temp, 15u) << "sensor temperature every 200 ms";
    EXPECT_EQ(Conv(7) - oat, 15u) << "OAT every 200 ms";
    EXPECT_EQ(G_AirData.nFresh, kAirFreshLoad);
    EXPECT_EQ(AirdataCycleState(), 0u);

    const uint32_t before = Conv(0) + Conv(1) + Conv(4) + Conv(5) + Conv(7);
    ConvertAirChannel(7);
    AirdataCycleState() = 9;
    AirdataSampleStep();
    EXPECT_EQ(Conv(0) + Conv(1) + Conv(4) + Conv(5) + Conv(7), before) << "channel 7 and state 9 convert nothing";
    EXPECT_EQ(AirdataCycleState(), 0u);
}

TEST_F(AirdataTest, ConversionRoundingsAndTheValidityWindow) {
    // Altitude: -1 ft a count through 0 at 10000 counts; a half-foot offset
    // in the curve shows each rounding.
    Curve(kInstAltitude, 10000, 0, -10000, 20000);   // PA = 10000 - ad
    G_InstAd[kInstAltitude].nAdLow = 500;
    board().airAdc().SetInput(0, 10500);
    for (int i = 0; i < 60; ++i) ReadAltitudeChannel();
    const int32_t raw = G_InstAd[kInstAltitude].nAdValue;
    EXPECT_EQ(G_AirData.nPressAlt, 10000 - raw);
    EXPECT_EQ(G_AirData.nBaroAlt, G_AirData.nPressAlt) << "baro offset 0";
    G_InstCfg[kInstAltitude].nShiftAdj = 25;
    ReadAltitudeChannel();
    EXPECT_EQ(G_AirData.nPressAlt, 10000 - raw + 25);
    G_AirData.nBaroAltOffset = 100;
    ReadAltitudeChannel();
    EXPECT_EQ(G_AirData.nBaroAlt, G_AirData.nPressAlt + 100);

    // Window ends are valid, one count outside is not.
    struct Case { int32_t low, high; uint8_t valid; };
    const Case window[] = {{raw, raw + 10, 1}, {raw - 10, raw, 1}, {raw + 1, raw + 10, 0}, {raw - 10, raw - 1, 0}};
    for (const Case& c : window) {
        G_InstAd[kInstAltitude].nAdLow = c.low;
        G_InstAd[kInstAltitude].nAdHigh = c.high;
        ReadAltitudeChannel();
        EXPECT_EQ(G_InstReading[kInstAltitude].bValid, c.valid) << c.low << ".." << c.high;
        EXPECT_EQ(G_AirData.nPressAlt, 10000 - raw + 25) << "the value is kept whether valid or not";
    }

    // Airspeed: half a knot-tenth added, truncated toward zero with no sign
    // test: -0.7 tenths gives 0 (-0.2 truncated), -1.7 gives -1.
    Curve(kInstAirspeed, 0, 0, 10, 10);
    board().airAdc().SetInput(5, 0);
    for (int i = 0; i < 60; ++i) ReadAirspeedChannel();
    EXPECT_EQ(G_AirData.nIas, G_InstAd[kInstAirspeed].nAdValue);

    // OAT: raw x m + b + 0.5 + SHIFT_ADJ, then truncated: -40.5 + 0.5 - 1 = -41.
    Curve(kInstOat, -405, 0, 595, 1000);   // 1 tenth a count from -40.5 F
    G_InstCfg[kInstOat].nShiftAdj = -1;
    board().airAdc().SetInput(7, 0);
    for (int i = 0; i < 80; ++i) ConvertAirChannel(kInstOat);
    const int32_t oatRaw = G_InstAd[kInstOat].nAdValue;
    EXPECT_EQ(G_AirData.nOat, static_cast<int32_t>(std::trunc(-405.0 + oatRaw + 0.5 - 1)));
    EXPECT_EQ(G_AirData.bOatValid, 0) << "0 counts is under the OAT window";
}

TEST_F(AirdataTest, BaroOffsetAndTheSettingFromAFieldAltitude) {
    struct Case { int32_t setting, offset; };
    const Case cases[] = {{29921, 0}, {29920, 0}, {30121, 184}, {29500, -391}};
    for (const Case& c : cases) EXPECT_EQ(BaroAltOffset(c.setting), c.offset) << c.setting;

    G_AirData.nPressAlt = 1000;
    EXPECT_EQ(BaroFromFieldAlt(1200), 30141);
    const std::string log = SysLogSectorText();
    EXPECT_NE(log.find("BARO: StdAlt=1000, FieldAlt=1200, Delta=200, Calc Baro=30.137"), std::string::npos) << log;
    EXPECT_NE(log.find("BARO: Options, 30121:"), std::string::npos) << log;
    // Equal to the pressure altitude: the standard setting's neighbours.
    G_AirData.nPressAlt = 500;
    EXPECT_EQ(BaroFromFieldAlt(500), 29921);
}

class BaroStartTest : public AirdataTest {
protected:
    void SetUp() override {
        AirdataTest::SetUp();
        I2cInit();
        Curve(kInstAltitude, 0, 0, 20000, 20000);   // a foot a count
        board().airAdc().SetInput(0, 1000);
        G_AirData.nBaroSetting = 29921;
        PrimeAirdata();
    }
    void SaveAlt(int32_t alt) {
        uint8_t b[2] = {static_cast<uint8_t>(alt), static_cast<uint8_t>(alt >> 8)};
        WriteClockMem(b, 35, 2);
    }
    int32_t Reg16(int32_t reg) {
        uint8_t b[2] = {};
        ReadClockMem(b, reg, 2);
        return static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
    }
};

TEST_F(BaroStartTest, SavedFieldAltitudeChoosesTheSettingOnceWithoutAVsSpike) {
    SaveAlt(1200);
    InitBaro();
    EXPECT_EQ(Reg16(35), 32767) << "consumed";
    const int32_t setting = G_AirData.nBaroSetting;
    EXPECT_EQ(static_cast<int16_t>(Reg16(23)), static_cast<int16_t>(setting));
    EXPECT_GT(setting, 30100);
    EXPECT_LT(setting, 30180);
    EXPECT_NEAR(G_AirData.nBaroAlt, 1200, 5);
    EXPECT_EQ(G_AirData.nVs, 0) << "the settling conversions stay out of the history";
    const std::string log = SysLogSectorText();
    char line[64];
    std::snprintf(line, sizeof line, "BARO: Field Adjusted, Alt=%d, Baro=%d", static_cast<int>(G_AirData.nBaroAlt),
                  static_cast<int>(setting));
    EXPECT_NE(log.find(line), std::string::npos) << log;
    // The next start has nothing saved.
    InitBaro();
    EXPECT_EQ(G_AirData.nBaroSetting, setting);
    EXPECT_NE(SysLogSectorText().find("BARO: Init No Alt Saved using Baro:30.1"), std::string::npos);
}

TEST_F(BaroStartTest, OutOfRangeAltitudeIsConsumedAndTheSettingKept) {
    G_AirData.nBaroSetting = 29050;
    SaveAlt(15001);
    InitBaro();
    EXPECT_EQ(Reg16(35), 32767);
    EXPECT_EQ(G_AirData.nBaroSetting, 29050);
    EXPECT_EQ(G_AirData.nBaroAltOffset, BaroAltOffset(29050));
    EXPECT_NE(SysLogSectorText().find("BARO: Init Last Alt:15001 Out-of-Range using Baro:29.050"), std::string::npos)
        << "thousandths printed whole";
}

// A decoder of the published encoder formats: the 14 body characters summed
// to 8 bits, as two upper-case hex digits, then CR.
bool DecodeChecked(const std::string& line, std::string& alt) {
    if (line.size() != 17 || line.back() != '\r') return false;
    unsigned sum = 0;
    for (int i = 0; i < 14; ++i) sum = (sum + static_cast<unsigned char>(line[i])) & 0xFF;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    if (line.compare(14, 2, hex) != 0) return false;
    alt = line.substr(4, 6);
    return true;
}

TEST_F(AirdataTest, EncoderSentencesByteForByte) {
    std::string alt;
    for (const char* published : {"#AL +00210T+25D4\r", "#AL -00045T+45DE\r", "#AL -09980T+12E9\r"})
        EXPECT_TRUE(DecodeChecked(published, alt)) << "the decoder takes the published example " << published;

    struct Case { uint32_t function; int32_t pa; const char* line; };
    const Case cases[] = {
        {3, 1234, "ALT 01230\r"},           {18, 5200, "ALT 05200\r"},          {18, -5, "ALT -0010\r"},
        {15, 1234, "RMS +01230T+2519\r"},   {15, 5200, "RMS +05200T+251A\r"},
        {16, 1234, "#AL +01230T+25D7\r"},   {16, 5200, "#AL +05200T+25D8\r"},
        {16, -5, "#AL -00010T+25D4\r"},     {16, -4, "#AL -00000T+25D3\r"},
        {17, 1234, "$MGL+01230T+250B\r"},   {17, 5200, "$MGL+05200T+250C\r"},
        {16, 150000, "#AL +99990T+25F5\r"},   // clamped: five digits keep the checksum body
    };
    for (const Case& c : cases) {
        char line[32];
        ASSERT_TRUE(FormatAltitudeSentence(c.function, c.pa, line, sizeof line));
        EXPECT_STREQ(line, c.line) << c.function << " " << c.pa;
        if (c.function != 3 && c.function != 18) {
            EXPECT_TRUE(DecodeChecked(line, alt)) << line;
        }
    }
    char line[32];
    EXPECT_FALSE(FormatAltitudeSentence(6, 1234, line, sizeof line));
}

TEST_F(AirdataTest, NothingIsSentWhileTheAltitudeIsInvalidOrStale) {
    G_Serial[3].nFunction = 16;
    G_AirData.nPressAlt = 1234;
    const int32_t start = G_SerialBuf[3].tx.nWr;
    struct Case { uint8_t valid, fresh; uint32_t demo; bool sent; };
    const Case cases[] = {{0, 40, 0, false}, {1, 0, 0, false}, {1, 40, kDemoAir, false}, {1, 40, 0, true}};
    for (const Case& c : cases) {
        G_InstReading[kInstAltitude].bValid = c.valid;
        G_AirData.nFresh = c.fresh;
        G_DemoFlags = c.demo;
        const int32_t before = G_SerialBuf[3].tx.nWr;
        SendAltitudeOutput(3);
        EXPECT_EQ(G_SerialBuf[3].tx.nWr != before, c.sent) << int(c.valid) << " " << int(c.fresh) << " " << c.demo;
    }
    EXPECT_EQ(G_SerialBuf[3].tx.nWr - start, 17);
}

}  // namespace
