// The alarm manager: limits, delays, the raise order and spacing, repeats,
// acknowledgement and the alarm output line, in board time.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/alarm.h"
#include "core/audio.h"
#include "core/battery.h"
#include "core/boot.h"
#include "core/discrete.h"
#include "core/ostimer.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/instrument.h"
#include "engine/engine.h"
#include "engine/pulse.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

namespace {

constexpr uint32_t GPDR0 = 0x40E0000C;
constexpr int kOilPsi = 16, kOilTemp = 17, kTank1 = 19;

class AlarmTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        RunApp([] {
            InitOsTimer();
            HwWrite32(GPDR0, HwRead32(GPDR0) | 1u << 5);
        });
        Limits(kOilPsi, 100, 80, 20, 10);
        Limits(kOilTemp, 250, 230, 100, 0);
        Limits(kTank1, 1000, 1000, 100, 50);
        G_EngineRunCount = 5;   // engine running
        Set(kOilPsi, 50);
        Set(kOilTemp, 150);
        Set(kTank1, 500);
    }
    static void Limits(int inst, int redHigh, int yellowHigh, int yellowLow, int redLow) {
        InstCfg& c = G_InstCfg[inst];
        c.nEnable = 1;
        c.nAudio = 1;
        c.nMax = 1000;
        c.nMin = 0;
        c.nRedHigh = redHigh;
        c.nYellowHigh = yellowHigh;
        c.nYellowLow = yellowLow;
        c.nRedLow = redLow;
    }
    static void Set(int inst, int32_t value) { G_InstReading[inst].nValue = value; }
    bool Output() { return board().gpio().Level(5); }
    // Runs the task every 0.5 s for `seconds`; returns the slots raised, in order.
    std::vector<int32_t> Tasks(double seconds) {
        std::vector<int32_t> raised;
        RunApp([&] {
            const int n = static_cast<int>(seconds * 2 + 0.5);
            for (int i = 0; i < n; ++i) {
                DelayTicks(kTicksPerSecond / 2);
                const int32_t before = G_AlarmCur;
                uint32_t stamp = before >= 0 ? G_AlarmTable[before].nRaiseStamp : 0;
                AlarmTask();
                if (G_AlarmCur >= 0 && (G_AlarmCur != before || G_AlarmTable[G_AlarmCur].nRaiseStamp != stamp))
                    raised.push_back(G_AlarmCur);
            }
        });
        return raised;
    }
};

TEST_F(AlarmTest, InitTakesModesAndSoundsFromTheConfiguration) {
    Limits(11, 50, 40, 10, 0);                 // manifold: no alarm sound of its own
    Limits(kInstCht1, 500, 450, 100, 0);
    G_InstCfg[kInstCht1].nAudio = 2;
    Limits(kInstEgt1, 1600, 1500, 100, 0);
    G_InstCfg[kInstEgt1].nEnable = 0;
    G_DiscreteIn.input[0] = {3, 0, 0, 0, 1, "DOOR"};
    G_DiscreteIn.input[1] = {0, 0, 0, 0, 1, "NONE"};
    G_DiscreteIn.input[2] = {4, 0, 0, 0, 2, "GEAR"};
    RunApp([] { AlarmInit(); });
    struct Case { int slot; uint32_t mode, sound; };
    const Case cases[] = {{kOilPsi, 1, 10}, {kOilTemp, 1, 11}, {kTank1, 1, 8}, {11, 0, 0},
                          {kInstCht1, 2, 4}, {kInstEgt1, 0, 0}, {48, 1, 3}, {49, 0, 0}, {50, 2, 14}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slot);
        EXPECT_EQ(G_AlarmTable[c.slot].nMode, c.mode);
        EXPECT_EQ(G_AlarmTable[c.slot].nSound, c.sound);
    }
    EXPECT_EQ(G_AlarmSoundsUsed, 1u << 3 | 1u << 4 | 1u << 8 | 1u << 10 | 1u << 11 | 0xFu << 14);
    EXPECT_EQ(G_AlarmCur, -1);
    EXPECT_FALSE(Output());
}

TEST_F(AlarmTest, GenericLimitsRaiseClearOrHold) {
    RunApp([] { AlarmInit(); });
    struct Case { const char* name; bool before; int32_t value; bool after; };
    const Case cases[] = {
        {"at red high", false, 100, true},
        {"at yellow high: no change from quiet", false, 80, false},
        {"at yellow high: no change from active", true, 80, true},
        {"at yellow low: no change", true, 20, true},
        {"inside the green band clears", true, 50, false},
        {"at red low: not yet", false, 10, false},
        {"below red low", false, 9, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_AlarmTable[kOilPsi].nActive = c.before;
        Set(kOilPsi, c.value);
        RunApp([] { AlarmCheck(); });
        EXPECT_EQ(G_AlarmTable[kOilPsi].nActive != 0, c.after);
    }
    // A red low equal to MIN means "no low alarm".
    Set(kOilTemp, -5);
    RunApp([] { AlarmCheck(); });
    EXPECT_EQ(G_AlarmTable[kOilTemp].nActive, 0u);
}

TEST_F(AlarmTest, RaiseShowsSoundsAndDrivesTheOutputUntilAcknowledged) {
    Set(kOilPsi, 50);
    RunApp([] { AlarmInit(); });
    G_RpmPulse.nEdges = 100000;  // turned before, but shut down since
    G_EngineRunCount = 0;
    Set(kOilPsi, 5);
    EXPECT_TRUE(Tasks(3).empty());
    G_EngineRunCount = 4;   // just started: no low-pressure alarm yet
    EXPECT_TRUE(Tasks(3).empty());
    G_EngineRunCount = 5;
    EXPECT_EQ(Tasks(1), std::vector<int32_t>{kOilPsi});
    EXPECT_EQ(G_AlarmCur, kOilPsi);
    EXPECT_EQ(G_RedrawReq, 1u);
    EXPECT_TRUE(Output());
    RunApp([] { AlarmAck(2); });    // the key: silenced while the condition stays
    EXPECT_EQ(G_AlarmCur, -1);
    EXPECT_FALSE(Output());
    EXPECT_TRUE(Tasks(40).empty());
    Set(kOilPsi, 50);               // back to normal restores the mode
    Tasks(1);
    Set(kOilPsi, 5);
    EXPECT_EQ(Tasks(3), std::vector<int32_t>{kOilPsi});
    // Back to normal while shown: acknowledged, output off.
    Set(kOilPsi, 50);
    Tasks(1);
    EXPECT_EQ(G_AlarmCur, -1);
    EXPECT_FALSE(Output());
    EXPECT_EQ(G_AlarmTable[kOilPsi].nMode, 1u);
}

// 16-bit stereo PCM at 44100 Hz holding the given samples, left first.
std::string StereoWav(const std::vector<int16_t>& samples) {
    auto put = [](std::string& s, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
    };
    std::string f = "RIFF";
    put(f, 36 + static_cast<uint32_t>(samples.size() * 2), 4);
    f += "WAVEfmt ";
    put(f, 16, 4);
    put(f, 1, 2);
    put(f, 2, 2);
    put(f, 44100, 4);
    put(f, 44100 * 4, 4);
    put(f, 4, 2);
    put(f, 16, 2);
    f += "data";
    put(f, static_cast<uint32_t>(samples.size() * 2), 4);
    for (int16_t v : samples) put(f, static_cast<uint16_t>(v), 2);
    return f;
}

// The sounds the configuration uses are loaded at start, and a raise plays
// its slot's sound through the codec, whole, followed by the chain's silence.
TEST_F(AlarmTest, RaisePlaysItsSoundLoadedAtStart) {
    constexpr int kOilPsiSound = 10, kAmpsSound = 1;
    std::vector<int16_t> samples;
    for (int i = 0; i < 6000; ++i) samples.push_back(static_cast<int16_t>(i * 7 - 21000));
    const std::string wav = StereoWav(samples);
    for (int id : {kOilPsiSound, kAmpsSound})   // no enabled slot uses AMPS
        ASSERT_EQ(mon_tfsadd(SoundFileNames[id], nullptr, nullptr, reinterpret_cast<const uint8_t*>(wav.data()),
                             static_cast<int>(wav.size())), 0);
    NvSetU32(kNvMasterVolume, 100);
    RunApp([] {
        InitAudio();
        AlarmInit();
    });
    EXPECT_EQ(G_Sound[kOilPsiSound].bValid, 1);
    EXPECT_EQ(G_Sound[kAmpsSound].nId, 0) << "an unused sound was loaded";
    EXPECT_EQ(G_Sound[kSoundBeep].nId, kSoundBeep) << "the always-loaded sounds were not tried";

    char out[] = "/tmp/kvalarmXXXXXX";
    const int fd = mkstemp(out);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(board().ac97().sink().Open(out));
    Set(kOilPsi, 5);
    EXPECT_EQ(Tasks(0.5), std::vector<int32_t>{kOilPsi});
    Tasks(1);   // the sound lasts 0.14 s
    ASSERT_TRUE(board().ac97().sink().Close());
    std::ifstream in(out, std::ios::binary);
    const std::string played{std::istreambuf_iterator<char>(in), {}};
    std::remove(out);
    ASSERT_GE(played.size(), 44u);
    std::vector<int16_t> want = samples;
    want.resize(samples.size() + 16);   // 32 bytes of silence after the data
    std::vector<int16_t> got((played.size() - 44) / 2);
    std::memcpy(got.data(), played.data() + 44, got.size() * 2);
    EXPECT_EQ(got, want);
}

TEST_F(AlarmTest, SimultaneousAlarmsTwoSecondsApartAndRepeatsAfterThirtySeconds) {
    RunApp([] { AlarmInit(); });
    Set(kOilPsi, 5);
    Set(kOilTemp, 300);
    const auto raised = Tasks(29);
    ASSERT_EQ(raised, (std::vector<int32_t>{kOilPsi, kOilTemp}));
    const uint32_t gap = G_AlarmTable[kOilTemp].nRaiseStamp - G_AlarmTable[kOilPsi].nRaiseStamp;
    EXPECT_GT(gap, 2 * kTicksPerSecond);
    EXPECT_LT(gap, 3 * kTicksPerSecond);
    // Not acknowledged: each is raised again once 30 s have passed since its raise.
    EXPECT_EQ(Tasks(6), (std::vector<int32_t>{kOilPsi, kOilTemp}));
}

TEST_F(AlarmTest, LowTankRaisesOnlyAfterThirtySeconds) {
    Set(kTank1, 500);
    RunApp([] { AlarmInit(); });
    Set(kTank1, 50);   // at red low
    EXPECT_TRUE(Tasks(29.5).empty());
    EXPECT_NE(G_AlarmTable[kTank1].nDelayStamp, 0u);
    EXPECT_EQ(Tasks(1.5), std::vector<int32_t>{kTank1});
    // Refilled above yellow low: cleared, the delay starts over.
    Set(kTank1, 500);
    Tasks(0.5);
    EXPECT_EQ(G_AlarmTable[kTank1].nDelayStamp, 0u);
    EXPECT_EQ(G_AlarmCur, -1);
}

TEST_F(AlarmTest, StallAlarmRepeatsEverySecondExceptInTheCalibrationMenu) {
    Limits(kAlarmAoa, 0, 0, 0, 0);
    NvSetU32(kNvAoaGaugeOn, 1);
    G_AirData.nStallArmIas = 10;
    G_AirData.nStallIas = 20;
    G_Aoa.nAoa = 24;
    RunApp([] { AlarmInit(); });
    const auto raised = Tasks(10);
    EXPECT_GE(raised.size(), 3u);
    for (int32_t s : raised) EXPECT_EQ(s, kAlarmAoa);
    // A page numbered like the calibration menu does not silence it; the menu does.
    G_CurPage = 4253;
    EXPECT_FALSE(Tasks(3).empty());
    G_MenuState = kAoaCalMenu;
    EXPECT_TRUE(Tasks(5).empty());
    // The stall condition gone: cleared.
    G_MenuState = 0;
    G_Aoa.nAoa = 10;
    Tasks(3);
    EXPECT_EQ(G_AlarmTable[kAlarmAoa].nActive, 0u);
}

TEST_F(AlarmTest, AcknowledgeWithNothingShownTouchesNoSlot) {
    Set(kOilPsi, 5);
    RunApp([] { AlarmInit(); });
    Tasks(1);
    RunApp([] { AlarmAck(1); });
    EXPECT_EQ(G_AlarmCur, -1);
    AlarmSlot before[kAlarmSlots];
    std::memcpy(before, G_AlarmTable, sizeof before);
    for (int mode : {1, 2}) {
        RunApp([&] { AlarmAck(mode); });
        EXPECT_EQ(std::memcmp(before, G_AlarmTable, sizeof before), 0) << "mode " << mode;
        EXPECT_EQ(G_AlarmCur, -1);
        EXPECT_FALSE(Output());
    }
}

TEST_F(AlarmTest, AcknowledgedInputStaysSilentUntilReleased) {
    G_DiscreteIn.input[0] = {1, 0, 0, 0, 1, "DOOR"};
    RunApp([] { AlarmInit(); });
    G_DiscreteIn.nState = 1;
    EXPECT_EQ(Tasks(1), std::vector<int32_t>{48});
    RunApp([] { AlarmAck(1); });
    EXPECT_EQ(G_AlarmTable[48].nMode, 0u);
    EXPECT_TRUE(Tasks(40).empty());
    G_DiscreteIn.nState = 0;
    Tasks(1);
    G_DiscreteIn.nState = 1;
    EXPECT_EQ(Tasks(3), std::vector<int32_t>{48});
}

TEST_F(AlarmTest, FuelDisagreementBeyondToleranceRaisesAfterThirtySeconds) {
    Limits(kInstFuelComp, 1000, 1000, 0, 0);
    G_InstCfg[kInstFuelComp].nShiftAdj = 20;
    Set(kTank1, 400);
    G_InstReading[kInstFuelComp].nValue2 = 410;   // within 20
    RunApp([] { AlarmInit(); });
    Tasks(31);
    EXPECT_EQ(G_AlarmTable[kAlarmFuelCheck].nActive, 0u);
    G_InstReading[kInstFuelComp].nValue2 = 500;
    EXPECT_TRUE(Tasks(29.5).empty());
    EXPECT_EQ(Tasks(1.5), std::vector<int32_t>{kAlarmFuelCheck});
    EXPECT_EQ(G_AlarmTable[kAlarmFuelCheck].nSound, 6u);
}

}  // namespace
