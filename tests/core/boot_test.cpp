// Boot passes on the emulated board: cold start, warm restart through
// calibration, repeated processor faults and the exit buttons.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "core/mainloop.h"
#include "core/ostimer.h"
#include "core/start.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "engine/lean.h"
#include "engine/pulse.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "ui/buttons.h"
#include "ui/statusbar.h"
#include "gui/gui.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"
#include "ui/pages.h"

using platform::StopReason;

namespace {

constexpr uint64_t kSec = kTicksPerSecond;

size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

class BootTest : public BoardTest {
protected:
    // Runs `fn` for at most `seconds` more of board time.
    StopReason RunFor(double seconds, const std::function<void()>& fn) {
        board().SetRunEnd(board().Now() + static_cast<uint64_t>(seconds * kSec));
        StopReason r = RunApp(fn);
        board().SetRunEnd(0);
        return r;
    }
    // The first boot on the new flash also rebuilds the lost settings image
    // and its files, which takes some seconds of its own.
    StopReason Boot(double seconds) {
        if (!booted_) seconds += 10;
        booted_ = true;
        return RunFor(seconds, [] { AppMain(0, nullptr); });
    }
    bool booted_ = false;
    // Key 1 pressed twice through its button line, `seconds` from now: the
    // first press arms leaving calibration mode, the second leaves.
    void LeaveCalibrationAfter(double seconds) {
        board().hostEvents().SetHandler([](platform::Board& b, const platform::HostEvent& e) {
            b.gpio().SetInput(e.arg[0], e.arg[1] != 0);
        });
        const uint64_t at = board().Now() + static_cast<uint64_t>(seconds * kSec);
        for (uint64_t press : {at, at + kSec / 2}) {
            ASSERT_TRUE(board().hostEvents().Add(platform::HostEvent{press, 1, {58, 0, 0}}));
            ASSERT_TRUE(board().hostEvents().Add(platform::HostEvent{press + kSec / 10, 1, {58, 1, 0}}));
        }
    }
    // Flash copies of a settings image of the running version: the boot
    // keeps the clock memory instead of taking a lost image's defaults.
    void StoreCurrentImage() {
        RunApp([] {
            ReadNVRam();   // prepares the sectors, as every start does
            NvSetU32(kNvMajorRel, 7);
            NvSetU32(kNvMinorRel, 5);
            WriteNVRam(1);
            WriteNVRam(1);
        });
    }
    // The system log as kept in flash, oldest first (a fresh flash fills sector 60 first).
    std::string SysLog() {
        std::string text;
        const uint8_t* flash = board().flash().Data();
        for (uint32_t sector : {60u, 61u}) {
            for (uint32_t r = 0; r < 2048; ++r) {
                const char* rec = reinterpret_cast<const char*>(flash + sector * 0x20000 + r * 64);
                if (std::memchr(rec, 0, 64)) text += rec;
            }
        }
        return text;
    }
    std::string Env(const char* name) {
        const char* v = mon_getenv(name);
        return v ? v : "(unset)";
    }
    // True when the frame shows `text` as a centred exit line at page row y:
    // the rows of that line must match the same text drawn again over them,
    // and hold some white ink.
    bool Shows(const char* text, int32_t y) {
        constexpr int kRows = 24;   // the exit lines' font
        const int top = y + static_cast<int>(G_FlipCtl.nDrawPageY);
        std::vector<uint8_t> shown(640 * kRows), again(640 * kRows);
        uint8_t* frame = board().display().Memory() + top * 640;
        std::memcpy(shown.data(), frame, shown.size());
        GUI_ClearRect(0, top, 639, top + kRows - 1);
        DrawTextF(31, 10, 1, 320, y, "%s", text);
        std::memcpy(again.data(), frame, again.size());
        std::memcpy(frame, shown.data(), shown.size());
        return shown == again && std::count(shown.begin(), shown.end(), 31) > 0;
    }
};

TEST_F(BootTest, ColdBootLogsOnceShowsTheSplashAndStartsTheTick) {
    // The monitor's picture: its white (15) and green (4) become ours.
    uint8_t* frame = HwMemory(kFrameMemory, kSplashSaveBytes);
    ASSERT_NE(frame, nullptr);
    frame[0] = 15;
    frame[1] = 4;
    frame[2] = 7;

    EXPECT_EQ(Boot(5), StopReason::RunEnd);

    std::string log = SysLog();
    EXPECT_EQ(Count(log, "**** SYSTEM BOOT "), 1u) << log;
    EXPECT_EQ(Count(log, "Unit Serial#: 51000001\n"), 1u);
    EXPECT_EQ(Count(log, "Software Version  7.5.0-MV15  - built on Oct 30 2015\n"), 1u);
    const char* streams[] = {
        "MOD_AIR: INST:1, NET:0, DSRC:0, FileOk:1, Port:50000\n",
        "MOD_AHRS: INST:1, NET:0, DSRC:0, FileOk:1, Port:50001\n",
        "MOD_AOA: INST:0, NET:0, DSRC:0, FileOk:0, Port:50002\n",
        "MOD_ENG: INST:1, NET:0, DSRC:0, FileOk:1, Port:50003\n",
        "MOD_NAVSRC1: INST:1, NET:2, DSRC:2, FileOk:0, Port:50004\n",
        "MOD_NAVSRC2: INST:1, NET:2, DSRC:2, FileOk:0, Port:50005\n",
        "MOD_NAVSRC3: INST:1, NET:2, DSRC:2, FileOk:0, Port:50006\n",
        "MOD_MAP: INST:0, NET:0, DSRC:0, FileOk:0, Port:50007\n",
        "MOD_TRAFFIC: INST:1, NET:2, DSRC:2, FileOk:1, Port:50008\n",
        "MOD_SYSTEM: INST:1, NET:0, DSRC:0, FileOk:0, Port:50009\n",
        "MOD_WX: INST:0, NET:0, DSRC:2, FileOk:0, Port:50010\n",
    };
    for (const char* line : streams) EXPECT_EQ(Count(log, line), 1u) << line;
    EXPECT_EQ(Count(log, "System Booted in "), 1u);
    EXPECT_LT(log.find("MOD_WX"), log.find("System Booted in "));

    EXPECT_EQ(G_CurPage, kPageSplash);
    EXPECT_EQ(G_LastPage, 3) << "a blank clock memory's screen configuration repaired to 3";
    EXPECT_EQ(Env("REBOOT"), "(unset)");
    EXPECT_TRUE(HwRead32(ICMR) & kIntOsTimer0) << "1 ms tick enabled";
    EXPECT_TRUE(HwRead32(ICMR) & kIntRtcHz);
    EXPECT_GE(G_UptimeSec, 3u) << "the clock interrupt counts seconds";
    EXPECT_FALSE(board().gpio().Level(5)) << "alarm output released after the liability screen";
    EXPECT_FALSE(board().gpio().Level(19)) << "power stays on";
    EXPECT_TRUE(board().gpio().IsOutput(19));
    EXPECT_EQ(G_SplashSave[0], 255);
    EXPECT_EQ(G_SplashSave[1], 26);
    EXPECT_EQ(G_SplashSave[2], 7);
    EXPECT_EQ(frame[0], 255) << "the recoloured picture is shown again";
    EXPECT_EQ(HwMemory(kFramePage2, 1)[0], 255) << "on both pages";
}

TEST_F(BootTest, WarmRestartRunsBootScreenAgainWithoutASecondBanner) {
    StoreCurrentImage();
    board().rtcChip().SetReg(17, 2, board().Now());   // the screen configuration in clock memory
    ASSERT_EQ(Boot(3), StopReason::RunEnd);
    ASSERT_EQ(G_CurPage, kPageSplash);

    // The maintenance page asks for calibration: the loop shuts down and returns.
    G_CalRestart = 1;
    EXPECT_EQ(RunFor(3, [] { MainLoop(); }), StopReason::None);
    EXPECT_EQ(HwRead32(ICMR), 0u) << "every interrupt masked on the way out";

    LeaveCalibrationAfter(5);
    EXPECT_EQ(RunFor(9, [] { BootPasses(); }), StopReason::RunEnd);
    EXPECT_EQ(G_CalRestart, 0u);
    EXPECT_EQ(Env("REBOOT"), "1") << "left calibration mode";
    EXPECT_EQ(G_RebootCount, 1u) << "BootScreen read REBOOT again";
    EXPECT_EQ(G_CurPage, 2) << "warm pass: the last page, not the splash";
    std::string log = SysLog();
    EXPECT_EQ(Count(log, "**** SYSTEM BOOT "), 1u);
    EXPECT_EQ(Count(log, "System Booted in "), 2u);
    EXPECT_EQ(Count(log, "MOD_AIR: "), 2u);
    EXPECT_EQ(Count(log, "LEAVING CALIBRATION\nWARMBOOT:1\n"), 1u) << log;
}

TEST_F(BootTest, ThreeFaultsCountUpAndTheNextBootResetsTheFlag) {
    StoreCurrentImage();
    board().rtcChip().SetReg(17, 2, board().Now());   // the screen configuration in clock memory
    for (int fault = 1; fault <= 3; ++fault) {
        SCOPED_TRACE(fault);
        ASSERT_EQ(Boot(3), StopReason::RunEnd);
        EXPECT_EQ(G_CurPage, fault == 1 ? kPageSplash : 2);
        EXPECT_EQ(RunFor(1, [this] { board().RaiseException(kMonDataAbort); }), StopReason::AppRestart);
        EXPECT_EQ(Env("REBOOT"), std::to_string(fault));
    }
    ASSERT_EQ(Boot(3), StopReason::RunEnd);
    std::string log = SysLog();
    EXPECT_EQ(Count(log, "ERROR: Reboot Flag(3) > 2 Rebooting!\n"), 1u) << log;
    EXPECT_EQ(Count(log, "REBOOT:3 Data Abort \n"), 1u);
    EXPECT_EQ(Env("REBOOT"), "0");
    EXPECT_EQ(G_RebootCount, 3u);
    EXPECT_EQ(G_CurPage, 2) << "the last page is restored instead of the splash";
    // The error line reaches the log after it opens, before the boot goes on.
    EXPECT_LT(log.rfind("ERROR: Reboot Flag"), log.rfind("System Booted in "));
}

// Every record a pass starts from is cleared, so nothing of the last pass
// (lean assist, a FADEC port removed meanwhile) survives a warm restart.
TEST_F(BootTest, ClearGlobalsClearsEveryRecordOfThePass) {
    struct Rec {
        const char* name;
        void* at;
        size_t size;
    };
    const Rec recs[] = {
        {"G_SoftKeyLabel", G_SoftKeyLabel, sizeof G_SoftKeyLabel},
        {"G_ButtonCell", G_ButtonCell, sizeof G_ButtonCell},
        {"G_CfgKey", G_CfgKey, sizeof G_CfgKey},
        {"G_CfgValue", G_CfgValue, sizeof G_CfgValue},
        {"G_LogChanSD", G_LogChanSD, sizeof G_LogChanSD},
        {"G_LogChanFlash", G_LogChanFlash, sizeof G_LogChanFlash},
        {"G_InstCal", G_InstCal, sizeof G_InstCal},
        {"G_DataStore", &G_DataStore, sizeof G_DataStore},
        {"FlashBuf", FlashBuf, sizeof FlashBuf},
        {"G_Aoa", &G_Aoa, sizeof G_Aoa},
        {"G_EfisLayout", &G_EfisLayout, sizeof G_EfisLayout},
        {"G_Fadec", &G_Fadec, sizeof G_Fadec},
        {"G_GaugeLayout", G_GaugeLayout, sizeof G_GaugeLayout},
        {"G_FuelFlowPulse", &G_FuelFlowPulse, sizeof G_FuelFlowPulse},
        {"G_MapPane", &G_MapPane, sizeof G_MapPane},
        {"G_MapFrame", &G_MapFrame, sizeof G_MapFrame},
        {"G_Nearest", &G_Nearest, sizeof G_Nearest},
        {"G_LeanMode", &G_LeanMode, sizeof G_LeanMode},
    };
    for (const Rec& r : recs) std::memset(r.at, 0xA5, r.size);
    RunApp([] { ClearGlobals(); });
    for (const Rec& r : recs) {
        const auto* b = static_cast<const uint8_t*>(r.at);
        EXPECT_EQ(std::count(b, b + r.size, 0), static_cast<std::ptrdiff_t>(r.size)) << r.name;
    }
}

TEST_F(BootTest, ExitButtonsReturnToTheMonitorAndTheWatchdogRestartsTheUnit) {
    board().gpio().HoldAtPowerOn(61);
    board().gpio().HoldAtPowerOn(63);
    board().PowerOn();
    int result = -1;
    EXPECT_EQ(RunFor(30, [&] { result = AppMain(0, nullptr); }), StopReason::None);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(Shows("Application Exiting", 240));
    EXPECT_TRUE(Shows("System Will Auto-Reboot In 5 Minutes", 270));
    EXPECT_FALSE(Shows("Application Exited", 240));
    const uint32_t left = HwRead32(OSMR3) - HwRead32(OSCR);
    EXPECT_NEAR(static_cast<double>(left) / kSec, 300.0, 0.01);

    const uint64_t exited = board().Now();
    EXPECT_EQ(RunFor(400, [this] { board().IdleInMonitor(); }), StopReason::WatchdogReset);
    EXPECT_NEAR(static_cast<double>(board().Now() - exited) / kSec, 300.0, 0.01);

    board().Reset();
    EXPECT_EQ(Boot(3), StopReason::RunEnd) << "the application starts again";
    EXPECT_EQ(G_CurPage, kPageSplash);
}

TEST_F(BootTest, CalibrationButtonEntersCalibrationUntilLeft) {
    board().gpio().HoldAtPowerOn(62);
    board().PowerOn();
    EXPECT_EQ(Boot(3), StopReason::RunEnd);
    EXPECT_EQ(G_CurPage, kPageCalibration);
    EXPECT_EQ(Count(SysLog(), "\nENTERING CALIBRATION\n"), 1u);

    // Released, the button no longer decides: the next pass resumes calibration
    // mode until key 1 leaves it twice, then a normal pass follows.
    board().gpio().SetInput(62, true);
    LeaveCalibrationAfter(5);
    EXPECT_EQ(RunFor(9, [] { BootPasses(); }), StopReason::RunEnd);
    EXPECT_EQ(G_CurPage, 3) << "REBOOT is 1 after calibration: the last page, as repaired in clock memory";
    EXPECT_EQ(Count(SysLog(), "LEAVING CALIBRATION\n"), 1u);
    EXPECT_EQ(Count(SysLog(), "System Booted in "), 1u) << "by the normal pass only";
}

}  // namespace
