// SYSTEM.KVD through the key table, NVRAM.KVD, the configuration repair and
// the version upgrade of stored settings.
#include "storage/settings.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/discrete.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "nav/navsrc.h"
#include "net/net.h"
#include "platform/monitor.h"
#include "storage/clockmem.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/flash.h"
#include "storage/nvram.h"
#include "storage/upgrade.h"
#include "support/board_fixture.h"

namespace {

class SettingsTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        GUI_Init();
        SysLogOpen();
        I2cInit();
    }
    static std::string Log() { return SysLogSectorText(); }
    // The value of a key in a written file, or "<none>".
    static std::string Value(const std::string& file, const std::string& key) {
        size_t at = file.find(key + ", ");
        while (at != std::string::npos && at != 0 && file[at - 1] != '\n') at = file.find(key + ", ", at + 1);
        if (at == std::string::npos) return "<none>";
        size_t from = at + key.size() + 2;
        return file.substr(from, file.find('\n', from) - from);
    }
    static int Lines(const std::string& file) {
        int n = 0;
        for (char c : file) n += c == '\n';
        return n;
    }
    static void ApplySystem(const std::string& text) {
        Put("SYSTEM.KVD", text);
        ASSERT_EQ(ReadConfigFile(kCfgSystem, kExtKvd), 0);
        ApplySettingKeys(3);
    }
    static std::string WrittenSystem() {
        EXPECT_EQ(writedatabyline(WriteSettingKeys(3), kCfgSystem, kExtKvd), 0);
        return Contents("SYSTEM.KVD");
    }
};

// ---- SYSTEM.KVD ---------------------------------------------------------------------

TEST_F(SettingsTest, EveryWrittenKeyRoundTrips) {
    struct Case { const char* key; const char* value; };
    const Case cases[] = {
        {"EFIS_INSTALLED", "2"},  {"AHRS_TYPE", "3"},        {"NET_AHRS_MODE", "2"},   {"ENGINE_INSTALLED", "1"},
        {"NET_ENG_MODE", "1"},    {"AIR_INSTALLED", "1"},    {"NET_AIR_MODE", "1"},    {"NET_WX_MODE", "2"},
        {"NET_ENABLE", "1"},      {"NET_IP_ADR_LOCAL", "-1062731510"},                  {"NET_IP_ADR_OTHER", "167772161"},
        {"NET_SERIAL_SHARE", "1"}, {"SERIAL1_FUNC", "2"},    {"SERIAL1_BAUD", "6"},    {"SERIAL2_FUNC", "3"},
        {"SERIAL2_BAUD", "5"},    {"SERIAL3_FUNC", "5"},     {"SERIAL3_BAUD", "9"},    {"SERIAL4_FUNC", "6"},
        {"SERIAL4_BAUD", "4"},    {"GPSNAV1_PORT", "1"},     {"GPSNAV2_PORT", "2"},    {"GPSNAV3_PORT", "5"},
        {"MAP_LATLON_PORT", "3"}, {"LOG_ENABLE", "7"},       {"INPUT_USAGE_1", "2"},   {"INPUT_USAGE_2", "4"},
        {"INPUT_USAGE_3", "1"},   {"INPUT_LABEL_1", "FUEL PUMP"}, {"INPUT_LABEL_2", "DOOR"}, {"INPUT_LABEL_3", "GEAR UP"},
        {"INPUT_LOGIC_1", "1"},   {"INPUT_LOGIC_2", "0"},    {"INPUT_LOGIC_3", "1"},   {"INPUT_TIMEOUT_1", "120"},
        {"INPUT_TIMEOUT_2", "30"}, {"INPUT_TIMEOUT_3", "5"}, {"INPUT_AUDIO_1", "1"},   {"INPUT_AUDIO_2", "2"},
        {"INPUT_AUDIO_3", "0"},   {"DEMO_FLAGS", "124"},     {"MAP_INSTALLED", "1"},
    };
    static_assert(sizeof cases / sizeof cases[0] == 42);
    std::string file;
    for (const Case& c : cases) file += std::string(c.key) + ", " + c.value + "\n";
    ApplySystem(file);
    EXPECT_EQ(G_NetIpLocal, 0xC0A8010Au) << "192.168.1.10 read back through the wrapping conversion";
    const std::string out = WrittenSystem();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(Value(out, c.key), c.value);
    }
    // In table order, the table keys first, then the non-zero range keys.
    EXPECT_EQ(out.find("EFIS_INSTALLED, "), 0u);
    EXPECT_LT(out.find("INPUT_AUDIO_3, "), out.find("DEMO_FLAGS, "));
    EXPECT_LT(out.find("DEMO_FLAGS, "), out.find("MAP_INSTALLED, "));
    EXPECT_EQ(G_NetStreamCfg[kStreamMap].INST, 1u) << "the key installs the moving map";
    for (const char* never : {"NET_IP_ADR,", "AHRS_AIDING", "BARO_UNITS", "INPUT_1,", "INPUT_2,", "INPUT_3,"})
        EXPECT_EQ(out.find(never), std::string::npos) << never;
    EXPECT_EQ(Lines(out), 42) << "no range field set";
}

TEST_F(SettingsTest, RangeKeysAreExactAndZeroFieldsAreLeftOut) {
    G_InstCfg[kInstMainVolts].nMin = 100;   // a default the file does not name
    ApplySystem("batvolts.MAX, 77\nBATVOLTS.RED_HIGH, 150\nVOLTS.GREEN_HIGH, 140\nVOLTS.GREEN_LOW, 120\n"
                "BACKVOLTS.MAX, 160\nBACKVOLTS.MAX, 999\nnet_enable, 1\n");
    EXPECT_EQ(G_InstCfg[kInstBattVolts].nMax, 0) << "range keys are exact";
    EXPECT_EQ(G_InstCfg[kInstBattVolts].nRedHigh, 150);
    EXPECT_EQ(G_InstCfg[kInstMainVolts].nYellowHigh, 140);
    EXPECT_EQ(G_InstCfg[kInstMainVolts].nYellowLow, 120);
    EXPECT_EQ(G_InstCfg[kInstMainVolts].nMin, 100);
    EXPECT_EQ(G_InstCfg[kInstAuxVolts].nMax, 160) << "the first pair of a range key wins";
    EXPECT_EQ(G_NetEnable, 1u) << "table keys ignore letter case";
    const std::string out = WrittenSystem();
    EXPECT_EQ(Lines(out), 42 + 5);
    EXPECT_EQ(Value(out, "BATVOLTS.RED_HIGH"), "150");
    EXPECT_EQ(Value(out, "VOLTS.YELLOW_HIGH"), "140");
    EXPECT_EQ(Value(out, "BATVOLTS.MAX"), "<none>");
    EXPECT_LT(out.find("BATVOLTS."), out.find("VOLTS.YELLOW"));
    EXPECT_LT(out.find("VOLTS.MIN"), out.find("BACKVOLTS.MAX"));
}

TEST_F(SettingsTest, OlderLayoutKeysAreRead) {
    G_InstCfg[kInstAltitude].nUnits = 4;
    ApplySystem("INPUT_2, 12345678901\nINPUT_3,   FLAPS  \nNET_IP_ADR, 3232235786\nAHRS_AIDING, 1\n"
                "BARO_UNITS, MB\n");
    EXPECT_EQ(G_DiscreteIn.input[1].nMode, 1u);
    EXPECT_STREQ(G_DiscreteIn.input[1].szLabel, "1234567890") << "the copied blank took a character";
    EXPECT_STREQ(G_DiscreteIn.input[2].szLabel, "FLAPS  ") << "leading blanks go, trailing ones stay";
    EXPECT_EQ(G_NetIpLocal, 0xC0A8010Au) << "an unsigned spelling wraps to the same word";
    EXPECT_EQ(G_AhrsState.nAiding, 1u);
    EXPECT_EQ(G_InstCfg[kInstAltitude].nUnits, 6) << "millibar bit added";
    ApplySystem("BARO_UNITS, IN\n");
    EXPECT_EQ(G_InstCfg[kInstAltitude].nUnits, 6) << "never cleared";
}

TEST_F(SettingsTest, DamagedSystemFileLoadsWithoutHarm) {
    RunApp([] {
        std::string file = "NET_ENABLE, 1\r\n# comment\r\nUNKNOWN_KEY, 5\r\nLOG_ENABLE, abc\r\nSERIAL2_FUNC, 12x\r\n"
                           "INPUT_LABEL_1, " + std::string(200, 'Z') + "\r\nNET_IP_ADR_OTHER, 99999999999999999999\r\n"
                           "AIR_INSTALLED\r\n,\r\n";
        Put("SYSTEM.KVD", file);
        FixConfig();
    });
    EXPECT_EQ(G_NetEnable, 1u) << "CR LF line ends";
    EXPECT_EQ(G_DataStoreInterval, 5u) << "a bad number reads 0, which the repair makes 5";
    EXPECT_EQ(G_Serial[2].nFunction, 12u);
    EXPECT_EQ(std::strlen(G_DiscreteIn.input[0].szLabel), 11u);
    EXPECT_EQ(G_NetStreamCfg[kStreamAir].INST, 0u) << "a key without a value reads 0";
    EXPECT_EQ(G_NetStreamCfg[kStreamAhrs].INST, 0u) << "missing keys keep their zero";
}

// ---- repair -----------------------------------------------------------------------------

TEST_F(SettingsTest, FixConfigNormalisesStreamsPortsAndInputs) {
    struct Case {
        const char* name;
        std::string file;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"local air data from the network", "AIR_INSTALLED, 1\nNET_AIR_MODE, 2\n",
         [] {
             EXPECT_EQ(G_NetStreamCfg[kStreamAir].INST, 2u);
             EXPECT_EQ(G_NetStreamCfg[kStreamAir].DSRC, 2u);
         }},
        {"not installed", "ENGINE_INSTALLED, 0\nNET_ENG_MODE, 1\n",
         [] {
             EXPECT_EQ(G_NetStreamCfg[kStreamEngine].NET, 0u);
             EXPECT_EQ(G_NetStreamCfg[kStreamEngine].DSRC, 0xFFFFFFFFu);
         }},
        {"network-installed FADEC", "ENGINE_INSTALLED, 2\nNET_ENG_MODE, 1\n",
         [] { EXPECT_EQ(G_NetStreamCfg[kStreamEngine].DSRC, 1u); }},
        {"unknown installed value", "EFIS_INSTALLED, 7\n",
         [] {
             EXPECT_EQ(G_NetStreamCfg[kStreamAhrs].INST, 1u);
             EXPECT_EQ(G_NetStreamCfg[kStreamAhrs].FileOk, 1u);
             EXPECT_EQ(G_Serial[0].nFunction, 1u) << "own AHRS gets its port back";
         }},
        {"log interval and sharing", "LOG_ENABLE, 0\nNET_SERIAL_SHARE, 0\n",
         [] {
             EXPECT_EQ(G_DataStoreInterval, 5u);
             EXPECT_EQ(G_NetSerialShare, 1u);
         }},
        {"input usages", "INPUT_USAGE_1, 2\nINPUT_USAGE_2, 8\nINPUT_USAGE_3, 9\nINPUT_LABEL_1, OLD\n",
         [] {
             EXPECT_STREQ(G_DiscreteIn.input[0].szLabel, "TANK3 XFR");
             EXPECT_EQ(G_DiscreteIn.input[1].nMode, 0u);
             EXPECT_EQ(G_DiscreteIn.input[2].nMode, 0u);
         }},
        {"port 1 at 57600", "SERIAL1_FUNC, 19\nSERIAL1_BAUD, 6\n", [] { EXPECT_EQ(G_Serial[1].nFunction, 2u); }},
        {"port 1 at 38400", "SERIAL1_FUNC, 2\nSERIAL1_BAUD, 5\n", [] { EXPECT_EQ(G_Serial[1].nFunction, 19u); }},
        {"battery limits fixed", "BATVOLTS.MAX, 150\nBATVOLTS.UNITS, 3\n",
         [] {
             const InstCfg& c = G_InstCfg[kInstBattVolts];
             EXPECT_EQ(c.nMax, 90);
             EXPECT_EQ(c.nUnits, 0);
             EXPECT_EQ(c.nYellowHigh, 78);
             EXPECT_EQ(c.nMin, 67);
             EXPECT_EQ(c.nAudio, 1);
         }},
        // An address word outside the unit's numbers falls back to .175; a host number stands.
        {"network address word", "NET_IP_ADR_LOCAL, -1062731510\n",
         [] { EXPECT_EQ(std::vector<uint8_t>(G_OwnIp, G_OwnIp + 4), (std::vector<uint8_t>{192, 168, 0, 175})); }},
        {"network host number", "NET_IP_ADR_LOCAL, 177\n",
         [] { EXPECT_EQ(std::vector<uint8_t>(G_OwnIp, G_OwnIp + 4), (std::vector<uint8_t>{192, 168, 0, 177})); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memcpy(G_NetStreamCfg, G_NetStreamCfg, 0);
        std::memset(&G_DiscreteIn, 0, sizeof G_DiscreteIn);
        std::memset(G_Serial, 0, sizeof G_Serial);
        G_DataStoreInterval = 0;
        RunApp([&] {
            Put("SYSTEM.KVD", c.file);
            FixConfig();
        });
        c.check();
    }
}

TEST_F(SettingsTest, DemoBitsSetTheDataSourcesAfterTheRepair) {
    RunApp([] {
        Put("SYSTEM.KVD", "AIR_INSTALLED, 1\nEFIS_INSTALLED, 1\nENGINE_INSTALLED, 1\nDEMO_FLAGS, 252\n");
        FixConfig();
    });
    for (int s : {kStreamAir, kStreamAhrs, kStreamAoa, kStreamEngine, kStreamNav1, kStreamNav1 + 1, kStreamNav1 + 2,
                  kStreamTraffic})
        EXPECT_EQ(G_NetStreamCfg[s].DSRC, 3u) << "stream " << s;
    EXPECT_EQ(G_NetStreamCfg[kStreamWx].DSRC, 0u);
    EXPECT_EQ(G_Serial[0].nFunction, 0u) << "a demo AHRS needs no port";

    std::memset(G_NetStreamCfg, 0, sizeof G_NetStreamCfg);
    RunApp([] {
        Put("SYSTEM.KVD", "AIR_INSTALLED, 1\nENGINE_INSTALLED, 1\nDEMO_FLAGS, 16\n");
        FixConfig();
    });
    EXPECT_EQ(G_NetStreamCfg[kStreamEngine].DSRC, 3u);
    EXPECT_EQ(G_NetStreamCfg[kStreamAir].DSRC, 0u) << "without its bit the repair's rule stands";
}

TEST_F(SettingsTest, AhrsTypeSurvivesARepairRoundTrip) {
    RunApp([] {
        Put("SYSTEM.KVD", "EFIS_INSTALLED, 1\nAHRS_TYPE, 3\n");
        FixConfig();
        EXPECT_EQ(G_NetStreamCfg[kStreamAhrs].DSRC, 0u) << "the repair derives the input kind";
        EXPECT_EQ(G_Ahrs.nType, 3u);
        WriteSystemKvd();
    });
    EXPECT_EQ(Value(Contents("SYSTEM.KVD"), "AHRS_TYPE"), "3");
}

TEST_F(SettingsTest, SystemKvcIsRecreatedWhenMissingOrEmpty) {
    for (const char* state : {"missing", "empty"}) {
        SCOPED_TRACE(state);
        mon_tfsunlink("SYSTEM.KVC");
        if (std::string(state) == "empty") Put("SYSTEM.KVC", "\n");
        RunApp([] { RepairSystemKvc(); });
        EXPECT_NE(Contents("SYSTEM.KVC").find("BATVOLTS.NUM_CAL_PTS, "), std::string::npos);
    }
    EXPECT_NE(Log().find("SYSTEM.KVC not present...Creating\n"), std::string::npos);
    G_InstCal[kInstMainVolts].nNumPts = 0;
    Put("SYSTEM.KVC", "VOLTS.NUM_CAL_PTS, 2\nVOLTS.DISPLAY_VALUE_1, 0\nVOLTS.AD_VALUE_1, 0\n"
                      "VOLTS.DISPLAY_VALUE_2, 300\nVOLTS.AD_VALUE_2, 4000\n");
    RunApp([] { RepairSystemKvc(); });
    EXPECT_EQ(G_InstCal[kInstMainVolts].nNumPts, 2) << "a readable file is parsed";
}

// ---- NVRAM.KVD -----------------------------------------------------------------------

TEST_F(SettingsTest, NvramFileFormatsAndReadsBack) {
    RunApp([] {
        ReadNVRam();
        NvSetU32(kNvMajorRel, 7);
        NvSetU32(kNvMinorRel, 5);
        NvSetF32(kNvLastLatitude, 45.05f);
        NvSetF32(kNvLastLongitude, -0.5f);
        NvSetF32(kNvHobbsTime, 1234.56f);
        NvSetF64(kNvGalsUsed, 123.5);
        NvSetF64(kNvGalsRem, -2.5);
        NvSetU32(kNvCylGaugeType, 1);
        NvSetU32(kNvPitchAdj, static_cast<uint32_t>(-25));
        G_NVRam[kNvApMinSpd] = 70;
        NvSetU16(kNvApGains, 11);        // lateral range
        NvSetU16(kNvApGains + 2, 22);    // lateral P
        WriteNVRamFile();
    });
    const std::string f = Contents("NVRAM.KVD");
    EXPECT_EQ(Lines(f), 62);
    EXPECT_EQ(f.find("MAJOR_REL, 7\n"), 0u);
    EXPECT_EQ(f.substr(f.rfind("\nAP_PITCH_IRANGE")), "\nAP_PITCH_IRANGE, 0\n");
    const std::pair<const char*, const char*> written[] = {
        {"LAST_LATITUDE", "45.0500"}, {"LAST_LONGITUDE", "-0.5000"}, {"HOBBS_TIME", "12346"},
        {"GALS_USED", "124"},          {"GALS_REM", "-3"},            {"CYL_GAUGE_TYPE", "ENG"},
        {"PITCH_ADJ", "-25"},          {"AP_MIN_SPD", "70"},          {"AP_LAT_PGAIN", "22"},
        {"AP_LAT_IRANGE", "11"},
    };
    for (const auto& [key, value] : written) EXPECT_EQ(Value(f, key), value) << key;

    std::memset(G_NVRam, 0, sizeof G_NVRam);
    RunApp([] {
        Put("NVRAM.KVD", "LAST_LATITUDE, 45.0500\nHOBBS_TIME, 12346\nCYL_GAUGE_TYPE, BAR\nAP_MIN_SPD, 300\n"
                         "admin_user, 1\nGALS_REM, 55\nAP_LAT_PGAIN, 70000\nMAJOR_REL, 9\nADMIN_USER, 2\n");
        ReadNVRamFile();
    });
    EXPECT_FLOAT_EQ(NvGetF32(kNvLastLatitude), 45.05f);
    EXPECT_FLOAT_EQ(NvGetF32(kNvHobbsTime), 1234.6f);
    EXPECT_EQ(NvGetU32(kNvCylGaugeType), 0u);
    EXPECT_EQ(G_NVRam[kNvApMinSpd], 44) << "low 8 bits";
    EXPECT_EQ(NvGetU32(kNvAdminUser), 2u) << "letter case ignored; the last value wins";
    EXPECT_DOUBLE_EQ(NvGetF64(kNvGalsRem), 55.0) << "tenths, as the image keeps them";
    EXPECT_EQ(NvGetU16(kNvApGains + 2), 70000 & 0xFFFF);
    EXPECT_EQ(NvGetU32(kNvMajorRel), 0u) << "the administrator's read leaves the version";
}

// Values no position, fuel total or timer can take are set to the nearer end
// of their range with a log line, so nothing computed from them overflows.
TEST_F(SettingsTest, OutOfRangeValuesAreClampedAndLogged) {
    RunApp([] {
        SysLogOpen();
        Put("NVRAM.KVD", "LAST_LATITUDE, -1e30\nLAST_LONGITUDE, 32767\nGALS_REM, -2147483648\n"
                         "GALS_USED, 99999999999\nHOBBS_TIME, 2147483647\nTACH_TIME, -5\nTODAY_TIME, nan\n"
                         "LAST_FLIGHT, 17\n");
        ReadNVRamFile();
    });
    EXPECT_FLOAT_EQ(NvGetF32(kNvLastLatitude), -90.0f);
    EXPECT_FLOAT_EQ(NvGetF32(kNvLastLongitude), 180.0f);
    EXPECT_DOUBLE_EQ(NvGetF64(kNvGalsRem), -9999999.0);
    EXPECT_DOUBLE_EQ(NvGetF64(kNvGalsUsed), 9999999.0);
    EXPECT_FLOAT_EQ(NvGetF32(kNvHobbsTime), 999999.9f);
    EXPECT_FLOAT_EQ(NvGetF32(kNvTachTime), 0.0f);
    EXPECT_FLOAT_EQ(NvGetF32(kNvLastFlight), 1.7f) << "in range: kept";
    const std::string log = SysLogSectorText();
    for (const char* line : {"NVRAM.KVD: LAST_LONGITUDE 32767 set to 180\n", "NVRAM.KVD: LAST_LATITUDE -1e30 set to -90\n",
                             "NVRAM.KVD: GALS_REM -2147483648 set to -9999999\n", "NVRAM.KVD: TACH_TIME -5 set to 0\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << log;
    EXPECT_EQ(log.find("LAST_FLIGHT"), std::string::npos) << log;
}

TEST_F(SettingsTest, DegreesRoundAsAWhole) {
    const std::pair<float, const char*> cases[] = {
        {45.99996f, "46.0000"}, {-45.99996f, "-46.0000"}, {-0.00001f, "0.0000"}, {-122.67686f, "-122.6769"}};
    for (const auto& [deg, text] : cases) {
        RunApp([deg = deg] {
            NvSetF32(kNvLastLatitude, deg);
            WriteNVRamFile();
        });
        EXPECT_EQ(Value(Contents("NVRAM.KVD"), "LAST_LATITUDE"), text) << deg;
    }
}

TEST_F(SettingsTest, VersionLineAloneChangesNothing) {
    RunApp([] {
        ReadNVRam();
        NvSetU32(kNvScreenConfig, 4);
        const std::vector<uint8_t> before(G_NVRam, G_NVRam + kNvWriteCount);
        Put("NVRAM.KVD", "MAJOR_REL, 3\n");
        ReadNVRamFile();
        EXPECT_EQ(std::vector<uint8_t>(G_NVRam, G_NVRam + kNvWriteCount), before);
    });
}

// Both flash copies lost: the file brings back the user's settings, its
// version (so no upgrade resets them) and leaves the registers the image
// does not own as the chip held them.
TEST_F(SettingsTest, RestoreAfterTwoBadCopiesKeepsSettingsAndClockRecords) {
    board().rtcChip().SetReg(31, 90, board().Now());    // heading bug 90
    board().rtcChip().SetReg(51, 0x23, board().Now());  // knob functions
    RunApp([] {
        Put("NVRAM.KVD", "MAJOR_REL, 7\nMINOR_REL, 5\nBUG_FIX, 0\nSCREEN_CONFIG, 5\nROLL_ADJ, -7\nOAT_UNITS, 1\n");
        ReadNVRam();   // both sectors blank
    });
    EXPECT_EQ(NvGetU32(kNvMajorRel), 7u);
    EXPECT_EQ(board().rtcChip().Reg(17, board().Now()), 5);
    EXPECT_EQ(board().rtcChip().Reg(29, board().Now()), static_cast<uint8_t>(-7));
    EXPECT_EQ(board().rtcChip().Reg(31, board().Now()), 90) << "bug kept";
    EXPECT_EQ(board().rtcChip().Reg(51, board().Now()), 0x23) << "knob functions kept";

    RunApp([] {
        UpgradeNvram();
        ReadNVClock();
    });
    EXPECT_EQ(Log().find("Upgrading Version"), std::string::npos);
    EXPECT_EQ(NvGetU32(kNvScreenConfig), 5u);
    EXPECT_EQ(NvGetU32(kNvRollAdj), static_cast<uint32_t>(-7));
    EXPECT_EQ(NvGetU32(kNvOatUnits), 1u);
}

// ---- upgrade ----------------------------------------------------------------------------

TEST_F(SettingsTest, LostImageTakesTheDefaults) {
    Put("OLD.ALX", "x");
    Put("SS103001.KVB", "x");
    Put("SCREEN1.KVB", "x");
    Put("KEEP.KVD", "x");
    board().rtcChip().SetReg(17, 6, board().Now());
    RunApp([] {
        ReadNVRam();
        std::memset(G_NVRam, 0, kNvWriteCount);
        UpgradeNvram();
    });
    const std::string log = Log();
    EXPECT_NE(log.find("NVRAM Version: V0.00.00\n"), std::string::npos);
    EXPECT_NE(log.find("Upgrading Version from 0.00.00 to 7.05.00\n"), std::string::npos);
    EXPECT_EQ(log.find("VERSION "), std::string::npos) << "no version step";
    EXPECT_EQ(NvGetU32(kNvMajorRel), 7u);
    EXPECT_EQ(NvGetU32(kNvMinorRel), 5u);
    EXPECT_EQ(board().rtcChip().Reg(17, board().Now()), 3) << "clock-memory defaults";
    EXPECT_EQ(Value(Contents("NVRAM.KVD"), "MAJOR_REL"), "7");
    EXPECT_EQ(Value(Contents("NVRAM.KVD"), "MASTER_VOLUME"), "75") << "a new unit is heard";
    for (const char* gone : {"OLD.ALX", "SS103001.KVB", "SCREEN1.KVB"}) EXPECT_EQ(Contents(gone), "<missing>") << gone;
    EXPECT_EQ(Contents("KEEP.KVD"), "x");
    TfsStat st{};
    EXPECT_NE(mon_tfsstat("AALOADFX", &st), 0);
}

TEST_F(SettingsTest, CurrentVersionRunsOnlyTheLoaderCheck) {
    Put("AALOADFX", "echo\n");
    RunApp([] {
        ReadNVRam();
        NvSetU32(kNvMajorRel, 7);
        NvSetU32(kNvMinorRel, 5);
        UpgradeNvram();
    });
    EXPECT_EQ(Log().find("Upgrading"), std::string::npos);
    EXPECT_EQ(Contents("NVRAM.KVD"), "<missing>");
    EXPECT_EQ(Contents("AALOADFX"), "<missing>") << "the patch script is removed after it ran";
}

TEST_F(SettingsTest, LoaderAwaitingItsPatchSchedulesTheScriptAndResets) {
    ASSERT_EQ(mon_tfsadd("KVLOADER.KVE", nullptr, "eu", reinterpret_cast<const uint8_t*>("L"), 1), 0);
    const platform::StopReason r = RunApp([] {
        InitWatchdog();
        ReadNVRam();
        NvSetU32(kNvMajorRel, 7);
        NvSetU32(kNvMinorRel, 5);
        UpgradeNvram();
    });
    EXPECT_EQ(r, platform::StopReason::WatchdogReset);
    EXPECT_EQ(Contents("AALOADFX"), "echo Running Upgrade Patch\n-tfs -feb cp KVLOADER.KVE KVLOADER.KVE\n");
    TfsStat st{};
    ASSERT_EQ(mon_tfsstat("AALOADFX", &st), 0);
    EXPECT_EQ(st.flags, kTfsFlagExec | kTfsFlagBootRun);
    // What the monitor runs at boot takes the loader's update flag away.
    EXPECT_EQ(mon_docommand("-tfs -feb cp KVLOADER.KVE KVLOADER.KVE", 0), 0);
    ASSERT_EQ(mon_tfsstat("KVLOADER.KVE", &st), 0);
    EXPECT_EQ(st.flags & kTfsFlagUpdate, 0u);
}

TEST_F(SettingsTest, SixPointOneImageRunsTheLaterStepsInOrder) {
    board().rtcChip().SetReg(47, 2, board().Now());
    RunApp([] {
        ReadNVRam();
        NvSetU32(kNvMajorRel, 6);
        NvSetU32(kNvMinorRel, 2);
        NvSetU32(kNvBugFix, 41);
        G_NVRam[kNvLabel122] = 1;
        UpgradeNvram();
    });
    const std::string log = Log();
    std::vector<size_t> at;
    for (const char* v : {"6.2.45", "6.2.60", "7.1.3", "7.1.4", "7.3.5"}) {
        at.push_back(log.find(std::string("VERSION ") + v + " upgrades\n"));
        EXPECT_NE(at.back(), std::string::npos) << v;
    }
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
    EXPECT_EQ(log.find("VERSION 6.2.40 "), std::string::npos) << "older than the stored version";
    EXPECT_NE(log.find("Upgrade Complete... Thank You\n"), std::string::npos);
    EXPECT_EQ(NvGetU32(kNvMajorRel), 7u);
    EXPECT_EQ(NvGetU32(kNvMinorRel), 5u);
    EXPECT_EQ(NvGetU32(52), 18000u);
    EXPECT_EQ(NvGetU16(kNvApGains + 8 * 4 + 6), 500) << "AP_PITCH_DGAIN";
    EXPECT_EQ(G_NVRam[kNvLabel122], 0);
    EXPECT_EQ(board().rtcChip().Reg(47, board().Now()), 0);
    EXPECT_EQ(board().rtcChip().Reg(11, board().Now()) & 8, 8) << "knob push-select for a 6.x image";
    EXPECT_EQ(Value(Contents("NVRAM.KVD"), "AP_PITCH_DGAIN"), "500");
}

TEST_F(SettingsTest, MonitorRemovesByWildcard) {
    for (const char* n : {"A.ALX", "B.ALH", "C.ALD", "SS0101.KVB", "SCREENX.KVB", "SSX.KVD"}) Put(n, "x");
    EXPECT_EQ(mon_docommand("tfs rm *.ALX *.ALH", 0), 0);
    EXPECT_EQ(mon_docommand("tfs rm SS*.KVB", 0), 0);
    EXPECT_EQ(mon_docommand("tfs rm NOTHING*", 0), 0) << "no match is no error";
    EXPECT_NE(mon_docommand("tfs frobnicate", 0), 0);
    std::string left;
    TfsStat st{};
    for (int i = 0; mon_tfslist(i, &st) == 0; ++i) left += std::string(st.name) + " ";
    EXPECT_EQ(left, "C.ALD SCREENX.KVB SSX.KVD ");
}

}  // namespace
