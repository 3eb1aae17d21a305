// The administrator settings screen on the emulated board: the cursor and
// the list in both modes, SAVE on every item, administrator mode, the copy
// items, the interval, the erase and switch items, the application exit,
// the serial and navigation items, and the module and network items.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/adc.h"
#include "engine/instad.h"
#include "core/boot.h"
#include "core/serial.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "gui/gui.h"
#include "nav/navsrc.h"
#include "net/net.h"
#include "platform/monitor.h"
#include "setup/admin.h"
#include "setup/setup.h"
#include "storage/clockmem.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "storage/tfs.h"
#include "ui/pages.h"
#include "ui/ui_fixture.h"

using platform::StopReason;

namespace {

class AdminTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RunApp([] {
            InitSsp();
            InitAdcTable();
            InitPalette();
            ReadNVRam();
            G_DataStoreInterval = 5;
        });
        Restart();
    }
    void Open() { RunApp([] { AdminSettingsOpen(); }); }
    // One key event and knob delta; how the board stopped (None when it did not).
    StopReason Input(int32_t key, int32_t delta = 0) {
        left_ = 0;
        return RunApp([&] { left_ = AdminSettingsInput(key, delta); });
    }
    void To(int32_t item) {
        while (AdminCursor() < item) {
            const int32_t before = AdminCursor();
            Input(2);
            ASSERT_NE(AdminCursor(), before) << "the cursor stopped at " << before;
        }
        while (AdminCursor() > item) Input(3);
    }
    void AdminOn() {
        NvSetU32(kNvAdminUser, 1);
        Open();
    }
    static uint32_t Writes() { return NvGetU32(kNvWriteCount); }
    static bool InTfs(const char* name) {
        TfsStat st{};
        return mon_tfsstat(name, &st) == 0;
    }
    static std::string Trail() { return AdminValueTrail(); }
    static bool RowLit(int32_t item) {
        const int32_t y = AdminItemY(item);
        for (int yy = y; yy < y + 12; ++yy)
            for (int x = 210; x <= 550; ++x)
                if (GUI_GetPixelIndex(x, yy) != 0) return true;
        return false;
    }
    int32_t left_ = 0;
};

// ---- the frame ------------------------------------------------------------------------------

TEST_F(AdminTest, CursorStopsAtTheLastItemOfEachModeAndTheListFollowsTheMode) {
    Open();
    EXPECT_EQ(AdminCursor(), 1);
    Input(3);
    EXPECT_EQ(AdminCursor(), 1) << "key 3 on item 1";
    for (int i = 0; i < 30; ++i) Input(2);
    EXPECT_EQ(AdminCursor(), 23);
    EXPECT_EQ(AdminLastItem(), 23);
    EXPECT_FALSE(RowLit(24));

    AdminOn();
    EXPECT_EQ(AdminLastItem(), 30);
    EXPECT_TRUE(RowLit(30));
    for (int i = 0; i < 40; ++i) Input(18);   // the held key acts alike
    EXPECT_EQ(AdminCursor(), 30);
    for (int i = 0; i < 7; ++i) Input(3);
    ASSERT_EQ(AdminCursor(), 23);
    Input(0, 1);   // the knob switches the mode off at once ...
    EXPECT_EQ(NvGetU32(kNvAdminUser), 0u);
    Input(2);      // ... and the next drawing drops items 24..30
    EXPECT_EQ(AdminCursor(), 23);
    EXPECT_EQ(AdminLastItem(), 23);
    EXPECT_FALSE(RowLit(24));
    EXPECT_FALSE(RowLit(30));
}

TEST_F(AdminTest, Key5SavesOnlyOnTheSaveSetAndLeaves) {
    const bool saves[31] = {false,
        false, false, false, true, true, true, true, true, true, true,        // 1..10
        true, true, true, false, true, true, true, true, true, true,          // 11..20
        false, false, false, false, false, false, true, false, false, false}; // 21..30
    for (int32_t item = 1; item <= 30; ++item) {
        SCOPED_TRACE(item);
        RunApp([] { mon_tfsunlink("SYSTEM.KVD"); });
        G_NetSerialShare = 0;   // the repair sets it again: FixConfig ran
        AdminOn();
        To(item);
        EXPECT_EQ(Input(5), StopReason::None);
        EXPECT_EQ(left_, saves[item] ? 1 : 0) << "leaves after saving, stays otherwise";
        EXPECT_EQ(InTfs("SYSTEM.KVD"), saves[item]);
        EXPECT_EQ(G_NetSerialShare, saves[item] ? 1u : 0u);
    }
}

TEST_F(AdminTest, LeavingRestartsOnlyAfterTheOwnNumberChanged) {
    G_UnitIpByte = 176;
    G_PartnerIpByte = 177;
    struct Case { const char* name; int32_t item; int32_t deltas[2]; int32_t key; StopReason stop; };
    const Case cases[] = {
        {"own number changed and set back", kItemUnitIp, {1, -1}, 1, StopReason::None},
        {"other number changed", kItemPartnerIp, {1, 0}, 1, StopReason::None},
        {"own number saved", kItemUnitIp, {2, 0}, 5, StopReason::None},
        {"own number changed", kItemUnitIp, {1, 0}, 1, StopReason::WatchdogReset},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        To(c.item);
        for (int32_t d : c.deltas)
            if (d != 0) Input(0, d);
        if (c.stop == StopReason::WatchdogReset) RunApp([] { InitWatchdog(); });
        EXPECT_EQ(Input(c.key), c.stop);
        if (c.stop == StopReason::None) {
            EXPECT_EQ(left_, 1);
        }
        G_UnitIpByte = 176;
        G_PartnerIpByte = 177;
    }
}

// ---- administrator mode and the switches ---------------------------------------------------

TEST_F(AdminTest, AdministratorModeIsDialledAndWrittenOnlyWhenItChanges) {
    Open();
    To(kItemAdminMode);
    uint32_t w = Writes();
    for (int i = 0; i < kAdminAccessNumber - kAdminDialStart; ++i) Input(0, 1);
    EXPECT_EQ(Writes(), w) << "dialling with the mode off writes nothing";
    Input(4);
    EXPECT_EQ(NvGetU32(kNvAdminUser), 1u);
    EXPECT_EQ(Writes(), w + 2);
    EXPECT_EQ(AdminLastItem(), 30);
    EXPECT_NE(Trail().find(" ENABLED |"), std::string::npos) << Trail();
    Input(4);
    EXPECT_EQ(Writes(), w + 2) << "the same number again changes nothing";

    // It survives a restart: the image in flash has it.
    std::memset(G_NVRam, 0, kNVRamSize);
    RunApp([] { ReadNVRam(); });
    EXPECT_EQ(NvGetU32(kNvAdminUser), 1u);

    Open();
    To(kItemAdminMode);
    w = Writes();
    Input(0, 1);
    EXPECT_EQ(NvGetU32(kNvAdminUser), 0u) << "any knob turn switches it off";
    EXPECT_EQ(Writes(), w + 2);
    Input(0, -2);
    Input(0, 19);
    EXPECT_EQ(Writes(), w + 2) << "only the change is written";
    EXPECT_NE(Trail().find(" 1018 |"), std::string::npos) << Trail();
    Input(4);   // 1018 is not the number
    EXPECT_EQ(NvGetU32(kNvAdminUser), 0u);
    EXPECT_EQ(Writes(), w + 2);
    EXPECT_NE(Trail().find(" DISABLED |"), std::string::npos);
}

TEST_F(AdminTest, SwitchesToggleOnOddStepsAndPersistAtOnce) {
    struct Case { int32_t item; uint32_t (*read)(); };
    const Case cases[] = {
        {kItemDebugPort, [] { return NvGetU32(kNvSerialDebugOn); }},
        {kItemApOutput, [] { return static_cast<uint32_t>(G_NVRam[kNvApSteerEnable]); }},
        {kItemVertMode, [] { return static_cast<uint32_t>(G_NVRam[kNvLabel122]); }},
    };
    G_NVRam[kNvApSteerEnable] = 0xFE;   // the drawing keeps bit 0 only
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        AdminOn();
        EXPECT_EQ(c.read(), 0u);
        To(c.item);
        const uint32_t w = Writes();
        Input(0, 1);
        EXPECT_EQ(c.read(), 1u);
        Input(0, -3);
        EXPECT_EQ(c.read(), 0u);
        Input(0, 2);
        EXPECT_EQ(c.read(), 0u) << "an even step keeps it";
        Input(0, 9);
        EXPECT_EQ(c.read(), 1u);
        EXPECT_EQ(Writes(), w + 8) << "twice at every step";
        EXPECT_EQ(Input(5), StopReason::None);
        EXPECT_EQ(left_, c.item == kItemVertMode ? 1 : 0) << "key 5 saves on item 9 only";
    }
    EXPECT_STREQ(AdminItemValue(kItemVertMode), " DISABLE ");
    G_NVRam[kNvLabel122] = 0;
    EXPECT_STREQ(AdminItemValue(kItemVertMode), " VSPEED ");
}

TEST_F(AdminTest, EraseAndClockItems) {
    uint8_t* flash = board().flash().Data();
    const uint32_t dataLog = kDataStoreSector0 * 0x20000u, sysLog = kSysLogSectorB * 0x20000u;
    AdminOn();
    RunApp([&] {
        const uint8_t junk[4] = {1, 2, 3, 4};
        mon_flashwrite(dataLog + 100, junk, 4);
        mon_flashwrite(sysLog + 100, junk, 4);
        G_ClockMem[23] = 0;
        G_ClockMem[24] = 0;
    });
    To(kItemEraseData);
    Input(4);
    EXPECT_EQ(flash[dataLog + 100], 0xFF) << "data-log sectors erased";
    Input(2);
    Input(4);
    EXPECT_EQ(flash[sysLog + 100], 0xFF) << "system-log sectors erased";
    Input(2);
    Input(4);
    EXPECT_EQ(G_ClockMem[23] | G_ClockMem[24] << 8, 29921) << "the standard baro setting";
    EXPECT_NE(Trail().find(" ERASING | ERASING |"), std::string::npos) << Trail();
    EXPECT_NE(Trail().find(" SETTING |"), std::string::npos) << Trail();
}

// ---- the application exit ---------------------------------------------------------------

TEST_F(AdminTest, ExitStoresBootStopAndResetsTheBoard) {
    AdminOn();
    To(kItemExit);
    Input(0, kExitAccessNumber - kAdminDialStart);
    RunApp([] { InitWatchdog(); });
    const uint64_t t0 = board().Now();
    EXPECT_EQ(Input(4), StopReason::WatchdogReset);
    EXPECT_GE(board().Now() - t0, 5 * kTicksPerSecond) << "5 s of EXITING... first";
    board().Reset();
    EXPECT_EQ(Contents("BOOTSTOP"), "YES");
    EXPECT_NE(Trail().find(" EXITING... |"), std::string::npos);

    // A later visit: any knob turn removes it.
    AdminOn();
    EXPECT_STREQ(AdminItemValue(kItemExit), " ENABLED ");
    To(kItemExit);
    Input(0, -1);
    EXPECT_FALSE(InTfs("BOOTSTOP"));
}

TEST_F(AdminTest, ExitThatCannotStoreShowsErrorAndStays) {
    AdminOn();
    To(kItemExit);
    Input(0, kExitAccessNumber - kAdminDialStart);
    board().flash().FailNext(1000);
    EXPECT_EQ(Input(4), StopReason::None);
    board().flash().FailNext(0);
    EXPECT_NE(Trail().find(" ERROR |"), std::string::npos) << Trail();
    EXPECT_FALSE(InTfs("BOOTSTOP"));
    Input(0, 1);
    EXPECT_NE(Trail().find(" 1001 |"), std::string::npos) << "the dial starts again at 1000: " << Trail();
    Input(0, kExitAccessNumber - 1001);
    Put("BOOTSTOP", "YES");
    Input(0, 1);
    Input(4);   // a wrong number removes it too
    EXPECT_FALSE(InTfs("BOOTSTOP"));
}

// ---- the copy items and the interval ---------------------------------------------------

TEST_F(AdminTest, CopySpanFollowsTheLastFlightAndTheInterval) {
    NvSetF32(kNvLastFlight, 1.5f);
    Open();
    EXPECT_EQ(AdminCopySpan(), 96) << "1.5 h, plus 6 minutes";
    EXPECT_STREQ(AdminItemValue(kItemDataLogs), " 1 Hrs, 36 Min ");
    To(kItemDataLogs);
    struct Step { int32_t delta; int32_t span; const char* text; };
    // Interval 5: H = round(12.75) = 13 hours, 780 minutes.
    const Step steps[] = {
        {-9, 6, " 0 Hrs, 6 Min "},
        {-1, 0, " DISABLED "},
        {-5, 0, " DISABLED "},
        {78, 780, " 13 Hrs, 0 Min "},
        {1, 781, " ALL "},
        {40, 781, " ALL "},
        {-1, 771, " 12 Hrs, 51 Min "},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.text);
        Input(0, s.delta);
        EXPECT_EQ(AdminCopySpan(), s.span);
        EXPECT_STREQ(AdminItemValue(kItemDataLogs), s.text);
    }
    EXPECT_EQ(AdminCopyWatchdogSeconds(59), 30);
    EXPECT_EQ(AdminCopyWatchdogSeconds(0), 30);
    EXPECT_EQ(AdminCopyWatchdogSeconds(60), 180);
    EXPECT_EQ(AdminCopyWatchdogSeconds(781), 13 * 180);
}

TEST_F(AdminTest, IntervalWrapsAtBothEnds) {
    struct Case { uint32_t from; int32_t delta; uint32_t to; const char* text; };
    const Case cases[] = {
        {60, 1, 1, "  1 sec "}, {1, -1, 5, "  5 sec "}, {30, 9, 39, "  39 sec "}, {55, 19, 1, "  1 sec "},
        {0, 0, 0, " DISABLE "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        G_DataStoreInterval = c.from;
        Open();
        To(kItemInterval);
        if (c.delta != 0) Input(0, c.delta);
        EXPECT_EQ(G_DataStoreInterval, c.to);
        EXPECT_STREQ(AdminItemValue(kItemInterval), c.text);
    }
}

TEST_F(AdminTest, DebugLogCopyNeedsACardAndASmallFlashFileSystem) {
    Open();
    To(kItemDebugLogs);
    Input(4);
    EXPECT_NE(Trail().find(" COPYING TO SD | NO SD CARD |"), std::string::npos) << Trail();

    G_SDCard.nState = kSdMounted;   // the copy is refused before the card is touched
    G_TfsSize = 0x700000;
    Open();
    To(kItemDebugLogs);
    const uint64_t t0 = board().Now();
    Input(4);
    EXPECT_NE(Trail().find(" COPYING TO SD | INCOMPATIBLE FIRMWARE | DONE |"), std::string::npos) << Trail();
    EXPECT_GE(board().Now() - t0, 5 * kTicksPerSecond) << "1 s, 3 s of the refusal, 1 s";
    EXPECT_EQ(SysLog().find("SYSLOGS-> SD"), std::string::npos) << "nothing copied";
    Input(2);
    Input(4);
    EXPECT_NE(Trail().find(" INCOMPATIBLE FIRMWARE | DONE |"), std::string::npos) << "the data-log copy too";
}

// ---- serial ports and navigation sources --------------------------------------------------

TEST_F(AdminTest, SerialFunctionStepsAndTheirBaudRates) {
    struct Case { uint32_t from; int32_t delta; uint32_t to; uint32_t baud; };
    const Case cases[] = {
        {22, 1, 0, 5},      // past the last to " DISABLED "
        {0, -1, 22, 5},     // below 0, whatever the step, to " AVTN/AVTN "
        {0, -19, 22, 5},
        {3, -9, 22, 5},
        {6, 1, 8, 5},       // over " TEST "
        {8, -1, 6, 5},
        {5, 2, 7, 5},       // an even step rests on it
        {20, 1, 22, 5},     // over " REMOTE NAV "
        {10, 1, 13, 3},     // never " ARINC DWNLD " or " NRV CAL "
        {13, -1, 10, 5},
        {1, 1, 2, 6},       // " NMEA@4800 "
        {4, 1, 5, 3},       // " ARINC "
        {19, 1, 20, 1},     // " TRAFFIC "
        {0xFFFFFFFFu, 1, 0, 5},    // a stored code is a signed word: -1 + 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " + " + std::to_string(c.delta));
        SerialPort p{};
        p.nFunction = c.from;
        StepSerialFunction(&p, c.delta);
        EXPECT_EQ(p.nFunction, c.to);
        EXPECT_EQ(p.nBaudIdx, c.baud);
    }
}

TEST_F(AdminTest, NavigationPortsStepOverPortZero) {
    struct Case { uint8_t from; int32_t delta; uint8_t to; };
    const Case cases[] = {
        {8, 1, 1}, {1, -1, 8}, {5, 1, 6}, {5, -9, 4}, {3, 2, 3}, {3, -18, 3}, {0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " + " + std::to_string(c.delta));
        EXPECT_EQ(StepNavPort(c.from, c.delta), c.to);
    }
    G_NavSrc.hdr.nPort[1] = 8;
    G_NavSrc.hdr.MAP_LATLON_PORT = 5;
    Open();
    EXPECT_STREQ(AdminItemValue(11), " Remote NAV ");
    EXPECT_STREQ(AdminItemValue(kItemLatLon), " NONE ");
    To(11);
    Input(0, 1);
    EXPECT_EQ(G_NavSrc.hdr.nPort[1], 1);
    EXPECT_STREQ(AdminItemValue(11), " Serial Port #1 ");
}

TEST_F(AdminTest, SavedPortFunctionRunsAtItsRateAfterTheRestart) {
    G_Serial[3].nFunction = 0;
    Open();
    To(7);
    Input(0, 2);   // " DISABLED " + 2: " NMEA@4800 "
    EXPECT_STREQ(AdminItemValue(7), " NMEA@4800 ");
    Input(5);
    ASSERT_EQ(left_, 1);
    // The next start: the settings file read again, the ports set up from it.
    G_Serial[3] = {};
    RunApp([] {
        FixConfig();
        InitSerialPorts();
    });
    EXPECT_EQ(G_Serial[3].nFunction, 2u);
    EXPECT_EQ(board().uart(3).TicksPerChar(), 3686400u * 10 / 4800);
}

// ---- modules and network numbers ----------------------------------------------------------

TEST_F(AdminTest, ModuleStatesFromStoredRecords) {
    struct Case { uint32_t inst, src; int32_t state; uint32_t srcAfter; };
    const Case cases[] = {
        {0, 1, 0, 1}, {1, 0, 3, 0}, {2, 7, 5, 0}, {1, 1, 2, 1}, {2, 1, 4, 1}, {2, 2, 1, 2}, {1, 2, 1, 2}, {1, 9, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.inst) + "/" + std::to_string(c.src));
        G_NetStreamCfg[kStreamEngine].INST = c.inst;
        G_NetStreamCfg[kStreamEngine].NET = c.src;
        Open();
        EXPECT_EQ(AdminModuleState(kItemEngineModule), c.state);
        EXPECT_STREQ(AdminItemValue(kItemEngineModule), ModuleStateNames[c.state]);
        EXPECT_EQ(G_NetStreamCfg[kStreamEngine].NET, c.srcAfter);
    }
    EXPECT_STREQ(ModuleStateNames[3], " HW:INT, NET:OFF ");
    EXPECT_STREQ(ModuleStateNames[5], " HW:EXT, NET:OFF ");
}

TEST_F(AdminTest, ModuleKnobWritesTheRecordAndTheNetworkSwitch) {
    struct Case { int32_t item; int32_t stream; int32_t states; };
    const Case cases[] = {{kItemEngineModule, kStreamEngine, 6}, {kItemAirModule, kStreamAir, 4},
                          {kItemAhrsModule, kStreamAhrs, 6}, {kItemWxModule, kStreamWx, 3}};
    const uint32_t words[6][2] = {{0, 0}, {2, 2}, {1, 1}, {1, 0}, {2, 1}, {2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        G_NetStreamCfg[c.stream].INST = 0;
        G_NetStreamCfg[c.stream].NET = 0;
        Open();
        To(c.item);
        for (int32_t state = 1; state <= c.states; ++state) {
            G_NetEnable = 0;
            Input(0, 1);
            const int32_t s = state % c.states;
            EXPECT_EQ(AdminModuleState(c.item), s);
            const NetStreamCfg& r = G_NetStreamCfg[c.stream];
            if (c.item == kItemWxModule) {
                EXPECT_EQ(r.INST, static_cast<uint32_t>(s));
                EXPECT_EQ(r.NET, static_cast<uint32_t>(s));
                EXPECT_EQ(G_NetEnable, 0u);
            } else {
                EXPECT_EQ(r.INST, words[s][0]);
                EXPECT_EQ(r.NET, words[s][1]);
                EXPECT_EQ(G_NetEnable, (s == 1 || s == 2 || s == 4) ? 1u : 0u) << s;
            }
        }
    }
    // The air module shows the external states when stored and leaves them at the next step.
    G_NetStreamCfg[kStreamAir].INST = 2;
    G_NetStreamCfg[kStreamAir].NET = 0;
    Open();
    To(kItemAirModule);
    EXPECT_EQ(AdminModuleState(kItemAirModule), 5);
    Input(0, 1);
    EXPECT_EQ(AdminModuleState(kItemAirModule), 2);
}

TEST_F(AdminTest, ExternalEngineGivesTheFadecPortAFadecFunction) {
    struct Case { uint32_t fadecPort; uint32_t before; uint32_t after; };
    const Case cases[] = {{2, 0, 9}, {2, 10, 10}, {2, 9, 9}, {5, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.fadecPort) + ":" + std::to_string(c.before));
        G_FadecPort = c.fadecPort;
        for (SerialPort& p : G_Serial) p.nFunction = c.before;
        G_NetStreamCfg[kStreamEngine].INST = 1;
        G_NetStreamCfg[kStreamEngine].NET = 1;   // state 2
        Open();
        To(kItemEngineModule);
        Input(0, 2);   // state 4: HW:EXT, NET:TXD
        EXPECT_EQ(G_Serial[2].nFunction, c.after);
        EXPECT_EQ(G_Serial[1].nFunction, c.before) << "no other port";
    }
}

TEST_F(AdminTest, NetworkNumbersStayWithin175To179) {
    struct Case { uint32_t from; int32_t delta; uint32_t to; };
    const Case cases[] = {{179, 1, 175}, {175, -1, 175}, {176, 2, 178}, {0, 0, 175}, {250, 1, 176}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " + " + std::to_string(c.delta));
        G_PartnerIpByte = c.from;
        Open();
        To(kItemPartnerIp);
        if (c.delta != 0) Input(0, c.delta);
        EXPECT_EQ(G_PartnerIpByte, c.to);
        EXPECT_EQ(G_NetIpOther & 0xFF, c.delta != 0 ? c.to : G_NetIpOther & 0xFF);
    }
}

TEST_F(AdminTest, RemoteFilesWithTheNetworkOffOnlySayDone) {
    G_NetEnable = 0;
    G_NetStreamCfg[kStreamEngine].NET = 2;
    Open();
    To(kItemRemoteFiles);
    Input(4);
    EXPECT_EQ(Trail(), " DONE |");
    EXPECT_EQ(SysLog().find("tftp"), std::string::npos);
}

}  // namespace
