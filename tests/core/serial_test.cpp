#include "core/serial.h"

#include <string>
#include <vector>

#include "core/boot.h"
#include "core/framers.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "engine/instad.h"
#include "platform/hw.h"
#include "sim/serialhost.h"
#include "support/board_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

std::vector<std::string> g_framed;
void Record(uint8_t* msg, int32_t length, uint32_t) { g_framed.emplace_back(reinterpret_cast<char*>(msg), length); }

class SerialTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        g_framed.clear();
        InitOsTimer();
        InstallHandlers();
        IrqStateInit();
        InitRamLog(0);
        InitSsp();
        HwWrite32(OSMR0, ReadOsTimer() + kTickTicks);
        HwWrite32(OIER, HwRead32(OIER) | 1);
        IntEnable(kIntOsTimer0);
    }
    // A port with a function, a framer and the recording parser, programmed at a rate.
    void OpenPort(uint32_t port, uint32_t function, uint32_t baud, SerialFrameFn framer) {
        G_Serial[port].nFunction = function;
        G_Serial[port].fpFrame = framer;
        G_Serial[port].fpMsgParse = Record;
        SetSerialBaud(port, baud);
    }
    // The main loop's serial work, for `ticks` of board time.
    void Pump(uint64_t ticks) {
        const uint64_t end = board().Now() + ticks;
        while (board().Now() < end) {
            for (uint32_t p = 0; p < kSerialPorts; ++p) {
                if (G_Serial[p].nFunction == 0) continue;
                if (G_Serial[p].bRxPending) {
                    G_Serial[p].bRxPending = 0;
                    if (G_Serial[p].fpFrame) G_Serial[p].fpFrame(p);
                }
                if (G_Serial[p].bTxReady) {
                    G_Serial[p].bTxReady = 0;
                    SerialTxService(p);
                }
            }
            HwIdle();
        }
    }
    void Send(int port, const std::string& s, uint8_t errors = 0) {
        ASSERT_TRUE(board().SerialInput(port, s.data(), static_cast<int>(s.size()), errors));
    }
    std::string Sent(int port) {
        static char buf[65536];
        return std::string(buf, static_cast<size_t>(board().serialLine(port).CopySent(buf, sizeof buf)));
    }
    std::vector<std::string> RamLog() {
        std::vector<std::string> lines;
        for (uint32_t i = 0; i < G_RamLog.nCount; ++i) lines.emplace_back(G_RamLog.szLine[i]);
        return lines;
    }
};

const std::string kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

TEST_F(SerialTest, TransmitRateFollowsTheBaudRate) {
    // The external ports are fed at most 64 bytes per 8 ms slot, so 115,200 bps gives under 8,000 bytes/s,
    // and a slot's partial character times make 9,600 bps run a little under the line rate.
    struct Case { int port; uint32_t baud; double perSecond; double tolerance; };
    for (const Case& c : {Case{3, 0, 11520, 0.01}, Case{3, 5, 960, 0.02}, Case{2, 0, 7700, 0.05}, Case{4, 5, 930, 0.04}}) {
        SCOPED_TRACE(c.port * 100 + c.baud);
        OpenPort(c.port, 4, c.baud, nullptr);
        std::string text;
        for (int i = 0; text.size() < 8000; ++i) text += "line " + std::to_string(i) + "\n";
        text.resize(8000);
        const uint32_t before = board().serialLine(c.port).SentTotal();
        SerialWrite(c.port, text.data(), static_cast<int32_t>(text.size()));
        Pump(kTicksPerSecond / 4);
        const double sent = board().serialLine(c.port).SentTotal() - before;
        EXPECT_NEAR(sent, c.perSecond / 4, c.perSecond / 4 * c.tolerance);
        const std::string wire = Sent(c.port);
        EXPECT_EQ(wire.substr(wire.size() - static_cast<size_t>(sent)), text.substr(0, static_cast<size_t>(sent)));
        if (c.port == 2 || c.port == 4) {
            EXPECT_EQ(board().duart().TxOverflows(c.port == 4), 0u);
        }
    }
}

TEST_F(SerialTest, ReceivedSentencesReachTheParserOnChipAndExternal) {
    for (int port : {0, 2, 4}) {
        SCOPED_TRACE(port);
        g_framed.clear();
        OpenPort(port, 2, 0, NmeaResync);
        Send(port, kGga + kGga + "$GPXX,1*00\r\n");   // the short last one comes by the time-out
        Pump(kTicksPerSecond / 20);
        EXPECT_EQ(g_framed, (std::vector<std::string>{kGga, kGga, "$GPXX,1*00\r\n"}));
    }
}

// Input that comes while the unit boots (the port at the rate the monitor left,
// its receiver not serviced) is lost, and must not stop the port once it is
// set up: neither a FIFO that overran nor a sentence cut by the set-up.
TEST_F(SerialTest, InputBeforeThePortIsSetUpIsLostAndReceivingWorksAfter) {
    std::string lead;
    for (int i = 0; i < 1500; ++i) lead += "\r\n";
    struct Case { const char* name; std::string before, after; };
    const Case cases[] = {
        {"a cut sentence waits in the FIFO", lead + kGga.substr(0, 20), kGga},
        {"the rest of a cut sentence comes after", lead + kGga.substr(0, 20), kGga.substr(20) + kGga},
    };
    for (int port : {3, 4}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(port) + ": " + c.name);
            // The port as the monitor leaves it: 115,200 bps, its interrupt off.
            if (port == 4) board().duart().Reset();
            else board().uart(port).Reset();
            G_Serial[port].nFunction = 0;
            Send(port, c.before);
            Pump(kTicksPerSecond / 2);   // 3,020 bytes at 115,200 bps: all of it has come
            ASSERT_FALSE(board().serialLine(port).Pending());
            if (port == 3) {
                EXPECT_GT(board().uart(3).Overruns(), 0u) << "the receive FIFO overran meanwhile";
            }
            g_framed.clear();
            OpenPort(port, 2, 6, NmeaResync);
            Send(port, c.after);
            Pump(kTicksPerSecond / 2);   // 138 bytes at 4,800 bps
            EXPECT_EQ(g_framed, std::vector<std::string>{kGga});
        }
    }
}

TEST_F(SerialTest, BytesWithLineErrorsAreDropped) {
    OpenPort(0, 7, 0, SerialRawFrame);
    Send(0, "ab");
    Send(0, "X", 0x08);   // framing error
    Send(0, "cd");
    Pump(kTicksPerSecond / 50);
    std::string all;
    for (auto& m : g_framed) all += m;
    EXPECT_EQ(all, "abcd");   // and no stale byte after any raw message
}

TEST_F(SerialTest, FullReceiveRingDropsAndLogsOverflow) {
    OpenPort(0, 7, 0, nullptr);
    Send(0, std::string(kSerialRingSize - 1, 'a') + "b");
    Pump(kTicksPerSecond * 3 / 4);
    const SerialRing& rx = G_SerialBuf[0].rx;
    EXPECT_EQ(rx.nWr, kSerialRingSize - 1);
    EXPECT_EQ(rx.abRing[kSerialRingSize - 2], 'a');
    bool logged = false;
    for (auto& l : RamLog()) logged |= l == "UART:0 IRQ Overflow: read:0 write:8191\n";
    EXPECT_TRUE(logged);
}

// A port whose ring stays full logs the overflow once, and its end once
// with the bytes lost, not a line per interrupt that would wipe the log.
TEST_F(SerialTest, OverflowIsLoggedOncePerEpisodeWithTheBytesLost) {
    OpenPort(0, 7, 0, nullptr);
    Send(0, std::string(kSerialRingSize - 1, 'a') + std::string(500, 'b'));
    Pump(kTicksPerSecond);
    size_t overflow = 0, ended = 0;
    for (auto& l : RamLog()) overflow += l.rfind("UART:0 IRQ Overflow", 0) == 0;
    EXPECT_EQ(overflow, 1u);
    G_SerialBuf[0].rx.nRd = G_SerialBuf[0].rx.nWr;   // a consumer drains the ring
    Send(0, "c");
    Pump(kTicksPerSecond / 10);
    for (auto& l : RamLog()) ended += l == "UART:0 Overflow ended, 500 bytes lost\n";
    EXPECT_EQ(ended, 1u);
}

TEST_F(SerialTest, DisabledPortReceivesAndSendsNothing) {
    OpenPort(0, 0, 0, SerialRawFrame);
    Send(0, std::string(9000, 'z'));
    Pump(kTicksPerSecond);
    EXPECT_EQ(G_SerialBuf[0].rx.nWr, 0);
    EXPECT_EQ(G_RamLog.nCount, 0u);
    SerialPrintf(0, "hello %d\n", 1);
    Pump(kTicksPerSecond / 100);
    EXPECT_EQ(board().serialLine(0).SentTotal(), 0u);
}

TEST_F(SerialTest, WriteThatDoesNotFitIsDroppedWhole) {
    OpenPort(3, 4, 9, nullptr);   // 600 bps: nothing drains meanwhile to speak of
    const std::string first(8000, 'x');
    SerialWrite(3, first.data(), 8000);
    SerialPrintf(3, "%s", std::string(300, 'y').c_str());
    EXPECT_EQ(G_SerialTxDropped[3], 300u);
    SerialPrintf(3, "%s", std::string(100, 'z').c_str());
    EXPECT_EQ(G_SerialTxDropped[3], 300u);
    const SerialRing& tx = G_SerialBuf[3].tx;
    for (int32_t i = tx.nRd; i != 8000; i = (i + 1) % kSerialRingSize) ASSERT_EQ(tx.abRing[i], 'x') << i;
}

TEST_F(SerialTest, InitSerialPortsFromFunctionCodes) {
    struct Case { uint32_t function; uint32_t dsrcEngine; uint32_t baudAfter; SerialFrameFn frame; uint32_t functionAfter; };
    const SerialFrameFn kUntouched = SerialRawFrame;
    const Case cases[] = {
        {2, 0, 6, NmeaResync, 2},   {3, 0, 5, SerialDleResync, 3}, {5, 0, 1, ArincResync, 5},
        {6, 0, 5, AvtnResync, 6},   {7, 0, 9, kUntouched, 7},      {9, 0, 9, kUntouched, 9},
        {12, 0, 5, nullptr, 0},     {13, 0, 3, nullptr, 13},       {16, 0, 8, nullptr, 16},
        {18, 0, 7, nullptr, 18},    {23, 0, 5, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        G_Serial[3].nFunction = c.function;
        G_Serial[3].nBaudIdx = 9;
        G_Serial[3].fpFrame = kUntouched;
        G_NetStreamCfg[kStreamEngine].DSRC = c.dsrcEngine;
        InitSerialPorts();
        EXPECT_EQ(G_Serial[3].nBaudIdx, c.baudAfter);
        EXPECT_EQ(G_Serial[3].fpFrame, c.frame);
        EXPECT_EQ(G_Serial[3].nFunction, c.functionAfter);
    }
    G_Serial[3].nFunction = 16;
    InitSerialPorts();
    EXPECT_EQ(G_AltOutPort, 3u);

    G_NetStreamCfg[kStreamAhrs].DSRC = 2;   // neither Dynon nor a known Crossbow type
    G_Serial[0].nFunction = 1;
    InitSerialPorts();
    EXPECT_EQ(G_NetStreamCfg[kStreamAhrs].DSRC, 0u);
    EXPECT_EQ(G_Serial[0].nBaudIdx, 5u);
    EXPECT_EQ(G_AhrsPort, 0u);
}

TEST_F(SerialTest, DualUartIsPolledFromTheTickPhases) {
    G_Serial[2].nFunction = 3;
    G_Serial[4].nFunction = 3;
    SetSerialBaud(2, 0);
    SetSerialBaud(4, 0);
    const uint32_t framesBefore = board().ssp().Frames();
    Pump(80 * kTicksPerMs);
    uint16_t words[256];
    uint8_t dev[256];
    const int n = board().ssp().CopyLog(words, dev, static_cast<int>(board().ssp().Frames() - framesBefore));
    int levelReads[2] = {0, 0};
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(dev[i], 1) << "only the dual UART is on the bus";
        if ((words[i] & 0xF800) == (0x8000 | 9 << 11)) ++levelReads[(words[i] >> 9) & 1];
    }
    EXPECT_NEAR(levelReads[0], 20, 1);   // every 4 ms each
    EXPECT_NEAR(levelReads[1], 20, 1);
    EXPECT_EQ(board().ssp().Collisions(), 0u);
}

TEST_F(SerialTest, DualUartSetUpWordsCarryTheChannel) {
    G_Serial[4].nFunction = 5;
    SetDuartBaud(4, 3);
    uint16_t words[16];
    uint8_t dev[16];
    const int n = board().ssp().CopyLog(words, dev, 6);
    ASSERT_EQ(n, 6);
    const uint16_t expected[6] = {0x1A80, 0x0206, 0x0A00, 0x1A03, 0x1206, 0x1201};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(words[i], expected[i]) << i;
    EXPECT_EQ(board().duart().Divisor(1), 6u);
    EXPECT_EQ(board().duart().Lcr(1), 3u);
}

TEST_F(SerialTest, AdReadsWhileTheTickPollsNeverShareTheBus) {
    OpenPort(2, 3, 0, SerialDleResync);
    Send(2, std::string(2000, 'q'));
    for (int i = 0; i < 200; ++i) {
        ReadAdc(i % 48);
        Pump(kTicksPerMs);
    }
    EXPECT_EQ(board().ssp().Collisions(), 0u);
    EXPECT_EQ(board().ssp().Unselected(), 0u);
    EXPECT_GT(G_SerialBuf[2].rx.nWr, 0);
}

// A replayed file is taken at the rate the port has: 115,200 bps until the
// unit sets the port (those bytes are lost), then the port's own rate, so a
// lead of filler longer than the boot delays the data by its rest at that rate.
TEST_F(SerialTest, AReplayedFileFollowsThePortsRateAcrossItsSetUp) {
    char path[] = "/tmp/kvleadXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string file;
    for (int i = 0; i < 5760; ++i) file += "\r\n";   // 1 s at 115,200 bps
    file += kGga;
    ASSERT_EQ(write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
    close(fd);
    SerialBinding binding;
    std::string error;
    ASSERT_TRUE(ParseSerialOption(std::string("3=file:") + path, binding, error)) << error;
    ASSERT_TRUE(BindSerialPort(board(), binding, error)) << error;
    G_Serial[3].nFunction = 0;
    Pump(kTicksPerSecond / 2);   // half the lead goes in during the boot
    OpenPort(3, 2, 5, NmeaResync);
    Pump(kTicksPerSecond * 55 / 10);   // the other 5,760 bytes take 6 s at 9,600 bps
    EXPECT_TRUE(g_framed.empty());
    Pump(kTicksPerSecond);
    EXPECT_EQ(g_framed, std::vector<std::string>{kGga});
    unlink(path);
}

// A real peer outside the project: socat writes NMEA sentences into the
// pseudo-terminal that the kv5100 binding code gives port 0.
TEST_F(SerialTest, SentencesFromSocatThroughAPtyAreFramed) {
    if (std::system("command -v socat >/dev/null 2>&1") != 0) GTEST_SKIP() << "socat is not installed";
    SerialBinding binding;
    std::string error;
    ASSERT_TRUE(ParseSerialOption("0=pty", binding, error)) << error;
    ASSERT_TRUE(BindSerialPort(board(), binding, error)) << error;
    ASSERT_FALSE(binding.ptyName.empty());
    OpenPort(0, 2, 0, NmeaResync);

    char path[] = "/tmp/kvnmeaXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    const std::string stream = "noise" + kGga + rmc + "$GPGS" + kGga;
    ASSERT_EQ(write(fd, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
    close(fd);
    const std::string cmd = std::string("socat -u FILE:") + path + " " + binding.ptyName + ",raw,echo=0";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    unlink(path);

    for (int i = 0; i < 100 && g_framed.size() < 3; ++i) Pump(kTicksPerMs * 10);
    EXPECT_EQ(g_framed, (std::vector<std::string>{kGga, rmc, kGga}));
}

}  // namespace
