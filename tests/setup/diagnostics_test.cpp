// The diagnostics menu on the emulated board, driven through the buttons
// and the knob: the loop-back test with and without the plug on on-chip and
// dual-UART ports, the alarm output, the auto-calibration sentences, the
// analog read mode and the colour chart.
#include <gtest/gtest.h>

#include <string>

#include "core/serial.h"
#include "core/spi.h"
#include "engine/engine.h"
#include "engine/instad.h"
#include "setup/setup.h"
#include "storage/config.h"
#include "storage/nvram.h"
#include "ui/style.h"
#include "ui/ui_fixture.h"

namespace {

class DiagTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RunApp([] {
            InitSsp();
            InitPalette();
            ReadNVRam();
            HwWrite32(0x40E0000C, HwRead32(0x40E0000C) | 1u << 5);   // GPIO5 an output, as the boot sets it
        });
    }
    // Ports set to these functions and programmed as at start.
    void Ports(uint32_t f1, uint32_t f2, uint32_t f3, uint32_t f4) {
        RunApp([&] {
            const uint32_t f[5] = {0, f1, f2, f3, f4};
            for (uint32_t p = 1; p <= 4; ++p) G_Serial[p].nFunction = f[p];
            InitSerialPorts();
        });
    }
    // Presses button `b` at `t` ms after the last Restart; returns the time after it.
    double Key(int b, double t) {
        Press(b, t, 60);
        return t + 200;
    }
    // Runs the menu with the events scheduled; true when it returned.
    bool RunMenu() {
        board().SetRunEnd(board().Now() + 200 * kTicksPerSecond);   // a menu that never leaves fails, not hangs
        const bool left = RunApp([] { DiagnosticsMenu(); }) == platform::StopReason::None;
        board().SetRunEnd(0);
        return left;
    }
    std::string Out(int port) { return SerialOut(port); }
};

TEST_F(DiagTest, LoopbackCountsTheEchoOnlyWithThePlug) {
    struct Case { const char* name; int port; bool plug; uint32_t function; };
    const Case cases[] = {
        {"on-chip port 3 with the plug", 3, true, 2},
        {"dual UART port 2 with the plug", 2, true, 4},
        {"dual UART port 4 disabled, with the plug", 4, true, 0},
        {"on-chip port 3 without the plug", 3, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.plug) board().serialLine(c.port).peer().SetLoop();
        else board().serialLine(c.port).peer().Clear();
        Ports(0, c.port == 2 ? c.function : 0, c.port == 3 ? c.function : 0, c.port == 4 ? c.function : 0);
        const uint32_t baud = G_Serial[c.port].nBaudIdx;
        Restart();
        double t = 50;
        for (int i = 1; i < c.port; ++i) t = Key(2, t);
        t = Key(4, t);          // START
        t = Key(4, t + 1500);   // STOP after six windows
        Key(1, t);
        ASSERT_TRUE(RunMenu());
        if (c.plug) {
            EXPECT_GT(LoopbackTotal(), 40u);
            // Blanks, "#" and the CR as stars (not letters or digits).
            const std::string line = "UART**" + std::to_string(c.port) + "*Testing*6*";
            EXPECT_EQ(std::string(LoopbackShownText()).find(line), 0u) << LoopbackShownText();
        } else {
            EXPECT_EQ(LoopbackTotal(), 0u);
            EXPECT_NE(Out(c.port).find("UART #3 Testing 5\r\n"), std::string::npos) << "sent all along";
        }
        EXPECT_EQ(G_Serial[c.port].nFunction, c.function) << "function restored";
        EXPECT_EQ(G_Serial[c.port].nBaudIdx, baud) << "rate restored";
    }
}

TEST_F(DiagTest, LoopbackTotalWrapsAt10000) {
    board().serialLine(3).peer().SetLoop();
    Ports(0, 0, 2, 0);
    const uint32_t before = board().serialLine(3).SentTotal();
    Restart();
    double t = Key(2, 50);
    t = Key(2, t);
    t = Key(4, t);
    t = Key(4, t + 125000);   // about 500 windows of 21 bytes
    Key(1, t);
    ASSERT_TRUE(RunMenu());
    const uint32_t sent = board().serialLine(3).SentTotal() - before;
    ASSERT_GT(sent, 10000u);
    // Everything sent came back except at most the line in flight at STOP.
    EXPECT_LE((sent - LoopbackTotal()) % 10000, 21u) << sent << " sent, total " << LoopbackTotal();
    EXPECT_LT(LoopbackTotal(), sent - 10000 + 1);
}

TEST_F(DiagTest, DisabledPortRunsAt9600AndStaysDisabled) {
    board().serialLine(3).peer().SetLoop();
    Ports(0, 0, 0, 0);
    const uint32_t before = board().uart(3).TicksPerChar();
    Restart();
    double t = Key(2, 50);
    t = Key(2, t);
    t = Key(4, t);
    Key(4, t + 600);
    Key(1, t + 900);
    ASSERT_TRUE(RunMenu());
    EXPECT_GT(LoopbackTotal(), 0u);
    EXPECT_EQ(G_Serial[3].nFunction, 0u);
    EXPECT_EQ(board().uart(3).TicksPerChar(), before);
    EXPECT_NE(Out(3).find("UART #3 Testing 0\r\n"), std::string::npos);
    // Stopped in the middle of the test: the port runs at 9,600 bit/s,
    // 3,840 ticks a character.
    board().SetRunEnd(board().Now() + kTicksPerSecond / 2);
    EXPECT_EQ(RunApp([] { SerialLoopbackTest(3, 210, 191); }), platform::StopReason::RunEnd);
    EXPECT_EQ(board().uart(3).TicksPerChar(), 3840u);
    EXPECT_EQ(G_Serial[3].nFunction, 7u);
}

// Detents 100 ms apart: the first after a rest is dropped, each other one
// reaches the menu as a delta of 1.
TEST_F(DiagTest, KnobOnRows5And7FlipsTheAlarmOutputAndTheAnalogMode) {
    struct Case { int row, detents; int32_t state; };
    const Case cases[] = {{5, 2, 1}, {5, 3, 0}, {7, 2, 1}, {7, 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(c.row) + ", " + std::to_string(c.detents) + " detents");
        RunApp([] { G_AnalogReadMode = 0; });
        Restart();
        double t = 50;
        for (int i = 1; i < c.row; ++i) t = Key(2, t);
        Turn(c.detents, t + 2500, 100);
        Key(1, t + 2500 + 100.0 * c.detents + 300);
        ASSERT_TRUE(RunMenu());
        ASSERT_EQ(DiagMenuRow(), c.row);
        if (c.row == 5) {
            EXPECT_EQ(DiagAlarmOutput(), c.state);
            EXPECT_TRUE(board().gpio().IsOutput(5));
            EXPECT_EQ(board().gpio().Level(5), c.state == 1) << "GPIO5 follows the row";
        } else {
            EXPECT_EQ(G_AnalogReadMode, static_cast<uint32_t>(c.state));
        }
    }
    // In the mode the calibration readouts take the raw path: the
    // instrument's multiplexer group is selected.
    RunApp([] {
        G_AnalogReadMode = 1;
        G_InstAd[3].nMuxGroup = 3;
        ReadInstrumentRaw(3);
    });
    EXPECT_EQ(G_EngScanStep, 3u);
}

TEST_F(DiagTest, AutoCalibrationSentencesNeedAdministratorMode) {
    const std::string sentence = "$NRVCAL,NOSUCHKEY,GET,0*00\r\n";
    for (uint32_t admin : {0u, 1u}) {
        SCOPED_TRACE(admin);
        RunApp([&] { NvSetU32(kNvAdminUser, admin); });
        Ports(13, 0, 0, 0);
        Restart();
        double t = 50;
        for (int i = 0; i < 5; ++i) t = Key(2, t);   // row 6
        t = Key(4, t);
        board().serialLine(1).Push(reinterpret_cast<const uint8_t*>(sentence.data()), static_cast<int>(sentence.size()));
        Key(4, t + 500);   // STOP
        Key(1, t + 800);
        G_Serial[1].nRxCount = 0;
        ASSERT_TRUE(RunMenu());
        // The calibration parser marks every sentence it is handed.
        EXPECT_EQ(G_Serial[1].nRxCount, admin) << "parsed only in administrator mode";
        EXPECT_EQ(G_Serial[1].nFunction, 13u);
        EXPECT_EQ(G_SerialBuf[1].rx.nRd, G_SerialBuf[1].rx.nWr) << "nothing left for the port's own parser";
    }
}

TEST_F(DiagTest, ColourChartLogsTheNamedColoursAndOutlinesThem) {
    Restart();
    double t = 50;
    for (int i = 0; i < 9; ++i) t = Key(2, t);   // row 10
    t = Key(4, t);
    Key(2, t + 300);   // ends the chart and stays in the mailbox: NEXT on row 10 does nothing
    Key(1, t + 600);
    const size_t logBefore = SysLog().size();
    ASSERT_TRUE(RunMenu());
    const std::string log = SysLog().substr(logBefore);
    ASSERT_NE(log.find("Color Indexes"), std::string::npos) << log;
    for (const NamedColour& c : DiagNamedColours) {
        uint32_t index = 0;
        RunApp([&] {
            SetDrawColor(c.nRgb);
            index = GUI_GetColorIndex();
        });
        EXPECT_NE(log.find(std::string(c.szName) + ":" + std::to_string(index) + "\n"), std::string::npos) << c.szName;
    }
    EXPECT_EQ(DiagMenuRow(), 10);
    // Cell 0 holds palette index 0 at (215, 41), 22 x 26 pixels; the
    // chart stays until the menu is redrawn over the list area only.
}

}  // namespace
