// Calibration sentences fed through a serial port: answers, stored points,
// saved files and rejected sentences.
#include "core/calsentence.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/adc.h"
#include "core/framers.h"
#include "core/irq.h"
#include "core/serial.h"
#include "efis/airdata.h"
#include "engine/enginecfg.h"
#include "engine/engine_fixture.h"
#include "nav/navsrc.h"
#include "platform/hw.h"
#include "storage/config.h"

namespace {

constexpr uint32_t kPort = 3;
constexpr int kInManifold = 4;   // engine converter input of the manifold sender

// "$body*HH\r\n" with the XOR sum worked out here, apart from the firmware's.
std::string Sentence(const std::string& body) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

class CalSentenceTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        InstallHandlers();
        IrqStateInit();
        InitRamLog(0);
        HwWrite32(OSMR0, ReadOsTimer() + kTickTicks);
        HwWrite32(OIER, HwRead32(OIER) | 1);
        IntEnable(kIntOsTimer0);
        // As the air-data calibration page sets the port up.
        G_Serial[kPort].nFunction = 7;
        G_Serial[kPort].fpFrame = NmeaResync;
        G_Serial[kPort].fpMsgParse = ParseCalSentence;
        SetSerialBaud(kPort, 5);
    }
    // Sends the bytes on the port's line and runs the main loop's serial work
    // until they and any answer have passed at 9,600 bit/s.
    void Feed(const std::string& bytes) {
        G_Serial[kPort].nRxCount = 0;
        ASSERT_TRUE(board().SerialInput(kPort, bytes.data(), static_cast<int>(bytes.size())));
        const uint64_t end = board().Now() + (bytes.size() + 100) * SerialTicksPerChar(5);
        while (board().Now() < end) {
            SerialPort& p = G_Serial[kPort];
            if (p.bRxPending) {
                p.bRxPending = 0;
                p.fpFrame(kPort);
            }
            if (p.bTxReady) {
                p.bTxReady = 0;
                SerialTxService(kPort);
            }
            HwIdle();
        }
    }
    std::string Answers() { return SerialOut(kPort); }
    static bool Logged(const std::string& line) { return Log().find(line) != std::string::npos; }
    // Settles the manifold input's filter on an A/D value.
    void SetManifoldAd(uint16_t ad) {
        board().engineAdc().SetInput(kInManifold, -1, ad);
        SetAdcChannelMode(kInstManifold);
        UpdateInstReading(kInstManifold);
        G_InstAd[kInstManifold].nFiltAcc = ad << G_InstAd[kInstManifold].nFiltScale;
        UpdateInstReading(kInstManifold);
    }
};

TEST_F(CalSentenceTest, GetAnswersWithTheValueAndItsChecksum) {
    std::vector<std::pair<int32_t, int32_t>> points;
    for (int i = 1; i <= kCalPoints; ++i) points.emplace_back(i * 100, i * 10);
    SetCurve(kInstAltitude, points);
    InstCal& cal = G_InstCal[kInstAltitude];
    cal.nTempCalAd = 1234;
    cal.nHiTempSlope = 7;
    cal.nLowTempSlope = -3;
    G_InstReading[kInstAltitude].nValue = 4500;
    G_InstAd[kInstAltitude].nAdValue = 900;
    G_InstAd[kInstAltitude].nTempCorr = 40;

    struct Case {
        const char* key;
        int value;
    };
    const Case cases[] = {
        {"ALTITUDE.NUM_CAL_PTS", 24},
        {"ALTITUDE.DISPLAY_VALUE", 4500},      // the live reading
        {"ALTITUDE.DISPLAY_VALUE_3", 300},
        {"ALTITUDE.DISPLAY_VALUE_0", 100},     // below 1 reads point 1
        {"ALTITUDE.DISPLAY_VALUE_99", 2400},   // above 24 reads point 24
        {"ALTITUDE.AD_VALUE_2", 20},
        {"ALTITUDE.AD_VAL_RAW", 860},
        {"ALTITUDE.AD_VAL_TC", 900},
        {"ALTITUDE.TEMP_CAL_AD_VALUE", 1234},
        {"ALTITUDE.HI_TEMP_SLOPE", 7},
        {"ALTITUDE.LOW_TEMP_SLOPE", -3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const size_t before = Answers().size();
        Feed(Sentence(std::string("NRVCAL,") + c.key + ",GET,"));
        const std::string answer = Sentence(std::string("NRVCAL,") + c.key + ",VAL," + std::to_string(c.value));
        EXPECT_EQ(Answers().substr(before), answer);
        EXPECT_EQ(G_Serial[kPort].nRxCount, 1u);
    }
    EXPECT_TRUE(Logged("NRVCAL Sending:" + Sentence("NRVCAL,ALTITUDE.NUM_CAL_PTS,VAL,24"))) << Log();
}

TEST_F(CalSentenceTest, SetStoresCalibrationKeysOfEveryFile) {
    SetCurve(kInstManifold, {{0, 100}, {50, 200}, {100, 300}});
    SetCurve(kInstAltitude, {{-1000, 10}, {0, 20}});
    SetCurve(kInstBattVolts, {{0, 0}, {160, 4000}});
    G_InstCal[kInstAltitude].nTempCalAd = 55;
    struct Case {
        const char* sentence;
        int32_t inst;
        const int32_t* field;
        int32_t value;
    };
    const Case cases[] = {
        {"NRVCAL,ALTITUDE.NUM_CAL_PTS,SET,23", kInstAltitude, &G_InstCal[kInstAltitude].nNumPts, 23},
        {"NRVCAL,ALTITUDE.DISPLAY_VALUE_1,SET,-1000", kInstAltitude, &G_InstCal[kInstAltitude].point[0].nDisplay, -1000},
        {"NRVCAL,MANIFOLD.AD_VALUE_3,SET,333", kInstManifold, &G_InstCal[kInstManifold].point[2].nAd, 333},
        {"NRVCAL,BATVOLTS.DISPLAY_VALUE_2,SET,150", kInstBattVolts, &G_InstCal[kInstBattVolts].point[1].nDisplay, 150},
        {"NRVCAL,ALTITUDE.TEMP_CAL_AD_VALUE,SET,", kInstAltitude, &G_InstCal[kInstAltitude].nTempCalAd, 0},  // "0000"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence);
        Feed(Sentence(c.sentence));
        EXPECT_EQ(*c.field, c.value);
        EXPECT_EQ(G_Serial[kPort].nRxCount, 1u);
    }
    EXPECT_EQ(std::string(G_CfgValue[0]), "0000");
    // The segments follow the new point.
    EXPECT_FLOAT_EQ(G_InstCal[kInstManifold].segment[1].fSlope, 50.0f / 133.0f);
    EXPECT_EQ(Answers(), "") << "SET answers nothing";
}

TEST_F(CalSentenceTest, RecStoresTheLiveAdValueOnlyForAdFields) {
    SetCurve(kInstManifold, {{0, 100}, {50, 200}, {100, 300}});
    SetManifoldAd(2500);
    G_InstAd[kInstManifold].nTempCorr = 20;
    G_InstAd[kInstSensorTemp].nAdValue = 777;
    const int32_t live = G_InstAd[kInstManifold].nAdValue - 20;
    ASSERT_GT(live, 1000);

    Feed(Sentence("NRVCAL,MANIFOLD.AD_VALUE_2,REC,"));
    EXPECT_EQ(G_InstCal[kInstManifold].point[1].nAd, live);
    Feed(Sentence("NRVCAL,MANIFOLD.TEMP_CAL_AD_VALUE,REC,"));
    EXPECT_EQ(G_InstCal[kInstManifold].nTempCalAd, 777) << "the sensor temperature is the reference";

    // A value left in the shared table by an earlier SET is not re-applied.
    Feed(Sentence("NRVCAL,MANIFOLD.DISPLAY_VALUE_3,SET,99"));
    const InstCal before = G_InstCal[kInstManifold];
    for (const char* key : {"MANIFOLD.NUM_CAL_PTS", "MANIFOLD.DISPLAY_VALUE_3", "MANIFOLD.AD_VAL_RAW"}) {
        SCOPED_TRACE(key);
        Feed(Sentence(std::string("NRVCAL,") + key + ",REC,"));
        EXPECT_EQ(std::memcmp(&before, &G_InstCal[kInstManifold], sizeof before), 0);
    }
    EXPECT_EQ(G_InstCal[kInstManifold].nNumPts, 3);
    EXPECT_TRUE(Logged("NRVCAL: Invalid Rec option\n"));
}

TEST_F(CalSentenceTest, SaveWritesTheNamedFiles) {
    Feed(Sentence("NRVCAL,MANIFOLD.NUM_CAL_PTS,SET,2"));
    Feed(Sentence("NRVCAL,MANIFOLD.AD_VALUE_2,SET,4321"));
    Feed(Sentence("NRVCAL,ENGINE,SAVE,"));
    EXPECT_NE(Contents("ENGINE.KVC").find("MANIFOLD.AD_VALUE_2, 4321\n"), std::string::npos) << Contents("ENGINE.KVC");
    EXPECT_NE(Contents("ENGINE.KVD"), "<missing>");
    // The new file reads back into the calibration.
    G_InstCal[kInstManifold] = {};
    LoadEngineCal();
    EXPECT_EQ(G_InstCal[kInstManifold].point[1].nAd, 4321);

    for (const char* file : {"EGTCHT", "TANKS"}) {
        SCOPED_TRACE(file);
        mon_tfsunlink("ENGINE.KVD");
        mon_tfsunlink("ENGINE.KVC");
        Feed(Sentence(std::string("NRVCAL,") + file + ",SAVE,"));
        EXPECT_NE(Contents("ENGINE.KVD"), "<missing>") << "the engine settings go with it";
        EXPECT_EQ(Contents("ENGINE.KVC"), "<missing>");
    }

    Feed(Sentence("NRVCAL,CHKLST,SAVE,"));
    EXPECT_TRUE(Logged("NRVCAL: Unknown File: CHKLST"));
    const std::string log = Log();
    Feed(Sentence("NRVCAL,NOSUCHFILE,SAVE,"));
    EXPECT_EQ(Log(), log) << "a name outside the list is ignored";
    EXPECT_EQ(G_Serial[kPort].nRxCount, 1u);
}

// A SET changes the calibration in memory only; SAVE "AIRDATA" writes both
// air-data files, which read back into the curve and the airspeed limits.
TEST_F(CalSentenceTest, SetStoresNothingAndSaveAirdataWritesItsFiles) {
    Feed(Sentence("NRVCAL,VOLTS.NUM_CAL_PTS,SET,3"));
    EXPECT_EQ(G_InstCal[kInstMainVolts].nNumPts, 3);
    for (const char* file : {"SYSTEM.KVC", "AIRDATA.KVC"}) EXPECT_EQ(Contents(file), "<missing>") << file;
    EXPECT_FALSE(Logged("Rewriting AIRDATA.KVC"));

    Feed(Sentence("NRVCAL,ALTITUDE.NUM_CAL_PTS,SET,2"));
    Feed(Sentence("NRVCAL,ALTITUDE.DISPLAY_VALUE_2,SET,12000"));
    Feed(Sentence("NRVCAL,ALTITUDE.AD_VALUE_2,SET,3456"));
    G_AirspeedCfg.nVne = 171;
    EXPECT_EQ(Contents("AIRDATA.KVC"), "<missing>");
    Feed(Sentence("NRVCAL,AIRDATA,SAVE,"));
    const std::string kvc = Contents("AIRDATA.KVC");
    EXPECT_NE(kvc.find("ALTITUDE.DISPLAY_VALUE_2, 12000\n"), std::string::npos) << kvc;
    EXPECT_NE(kvc.find("ALTITUDE.AD_VALUE_2, 3456\n"), std::string::npos) << kvc;
    EXPECT_EQ(kvc.find("VOLTS."), std::string::npos) << "the voltages live in SYSTEM.KVC";
    EXPECT_NE(Contents("AIRDATA.KVD").find("AIRSPEED.VNE, 171\n"), std::string::npos) << Contents("AIRDATA.KVD");
    G_InstCal[kInstAltitude] = {};
    LoadAirdataCal();
    EXPECT_EQ(G_InstCal[kInstAltitude].point[1].nDisplay, 12000);
    EXPECT_EQ(G_InstCal[kInstAltitude].point[1].nAd, 3456);
}

TEST_F(CalSentenceTest, RejectedSentencesAreLoggedAndChangeNothing) {
    SetCurve(kInstAltitude, {{-1000, 10}, {0, 20}});
    std::string wrongSum = Sentence("NRVCAL,ALTITUDE.NUM_CAL_PTS,SET,5");
    wrongSum[wrongSum.size() - 3] ^= 1;
    const std::string noSum = "$NRVCAL,ALTITUDE.NUM_CAL_PTS,SET,5\r\n";
    const std::string tooLong = Sentence("NRVCAL,ALTITUDE.NUM_CAL_PTS,SET,5," + std::string(43, '1'));
    ASSERT_EQ(tooLong.size(), 83u);
    auto Invalid = [](const std::string& bytes) {
        return "NRVCAL INVALID MSG:" + bytes.substr(0, 8) + ", " + std::to_string(bytes.size()) + " chars\n";
    };
    const std::string longKey = "ALTITUDE.DISPLAY_VALUE_1" + std::string(8, '0') + "2";   // 33 characters
    struct Case {
        const char* name;
        std::string bytes;
        std::string log;
    };
    const Case cases[] = {
        {"other sentence", Sentence("GPGGA,1,2"), "NRVCAL UNKNOWN MSG:$GPGGA,\n"},
        {"wrong checksum", wrongSum, Invalid(wrongSum)},
        {"no checksum", noSum, Invalid(noSum)},
        {"over 82 characters", tooLong, Invalid(tooLong)},
        {"empty key", Sentence("NRVCAL,,SET,5"), "NRVCAL: NULL CAL_FIELD\n"},
        {"unknown action", Sentence("NRVCAL,ALTITUDE.NUM_CAL_PTS,PUT,5"), "NRVCAL: UKNOWN ACTION PUT\n"},
        {"missing action", Sentence("NRVCAL,ALTITUDE.NUM_CAL_PTS"), "NRVCAL: UKNOWN ACTION \n"},
        {"key longer than 31", Sentence("NRVCAL," + longKey + ",SET,5"), "NRVCAL: KEY TOO LONG ALTITUDE.DISPLAY_VALUE_1000000"},
        {"unknown instrument", Sentence("NRVCAL,ALTITUDEX.NUM_CAL_PTS,GET,"), "NRVCAL: No InstId:-1 Str:ALTITUDEX\n"},
        {"no instrument", Sentence("NRVCAL,.AD_VALUE_1,REC,"), "NRVCAL: strtok failed\n"},
        {"no field", Sentence("NRVCAL,ALTITUDE,GET,"), "NRVCAL: Invalid Rec option\n"},
        {"unknown field", Sentence("NRVCAL,ALTITUDE.COLOUR,GET,"), "NRVCAL: Unknown Field COLOUR\n"},
    };
    const InstCal before = G_InstCal[kInstAltitude];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Feed(c.bytes);
        EXPECT_TRUE(Logged(c.log)) << Log();
        EXPECT_EQ(std::memcmp(&before, &G_InstCal[kInstAltitude], sizeof before), 0);
        EXPECT_EQ(G_Serial[kPort].nRxCount, 1u);
    }
    EXPECT_EQ(Answers(), "") << "no error answers";
    // A VAL (an answer coming back) is taken and does nothing.
    Feed(Sentence("NRVCAL,ALTITUDE.NUM_CAL_PTS,VAL,9"));
    EXPECT_EQ(G_InstCal[kInstAltitude].nNumPts, 2);
    EXPECT_EQ(G_Serial[kPort].nRxCount, 1u);
}

TEST(NmeaChecksum, CheckAndSet) {
    struct Case {
        const char* name;
        std::string text;
        int32_t ok;
    };
    const std::string full = Sentence("GPXXX," + std::string(82 - 12, 'A'));   // exactly 82 characters
    ASSERT_EQ(full.size(), 82u);
    const Case cases[] = {
        {"good", Sentence("GPGGA,1"), 1},
        {"lower-case digits", "$GPGGA,1*" + std::string(Sentence("GPGGA,1")).substr(9, 2) + "\r\n", 1},
        {"82 characters", full, 1},
        {"83 characters", Sentence("GPXXX," + std::string(82 - 11, 'A')), 0},
        {"no dollar", Sentence("GPGGA,1").substr(1), 0},
        {"one digit", "$A*4", 0},
        {"not hexadecimal", "$A*4G\r\n", 0},
        {"sum ends at the star", "$A*41,B\r\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NmeaCheckCrc(c.text.data(), static_cast<int32_t>(c.text.size())), c.ok);
    }
    std::string lower = Sentence("GPGGA,1");
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(NmeaCheckCrc(lower.data(), static_cast<int32_t>(lower.size())), 0) << "the body counts as sent";

    char out[] = "$NRVCAL,X,VAL,1*hh\r\n";
    const std::string want = Sentence("NRVCAL,X,VAL,1");
    EXPECT_EQ(NmeaSetCrc(out, static_cast<int32_t>(sizeof out - 1)), std::stoi(want.substr(want.size() - 4, 2), nullptr, 16));
    EXPECT_EQ(std::string(out), want);
    char noRoom[] = "$A*h";
    EXPECT_EQ(NmeaSetCrc(noRoom, 4), 0);
    EXPECT_STREQ(noRoom, "$A*h");
    char noDollar[] = "A*hh";
    EXPECT_EQ(NmeaSetCrc(noDollar, 4), 0);
    EXPECT_STREQ(noDollar, "A*hh");
}

}  // namespace
