// The two external AHRS protocols through serial port 0, and the pilot's
// attitude adjustments. Fixtures are the published example sentence, frames
// built from the published packet table, and the output of tools/ahrs-peer.py;
// expected values are worked by hand from the layouts.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "platform/hw.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"

namespace {

constexpr uint32_t kPort = 0;

std::vector<std::string> g_framed;   // what the framer handed over
bool g_alsoParse = true;

const std::string kExample = "00082119+058-00541301200+9141+011-01+15003EA0C701A4\r\n";

std::string Hex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// Frames from the published packet table (and tools/ahrs-peer.py frame ...).
const std::string kX1 = Hex("aa551555fc72c0000000000002220000feb8088901f4000005f8");
const std::string kPowerFail = Hex("aa55aaab071cc00000000000000000000000088901f4000803c6");
const std::string kFullZ = Hex("aa55000000000000000000000000000000007fff01f400000273");
const std::string kMagError = Hex("aa557feec012ffee00000000000000000000088901f480000632");

class AhrsTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        InstallHandlers();
        IrqStateInit();
        SysLogOpen();
        InitRamLog(0);
        HwWrite32(OSMR0, ReadOsTimer() + kTickTicks);
        HwWrite32(OIER, HwRead32(OIER) | 1);
        IntEnable(kIntOsTimer0);
        g_framed.clear();
        g_alsoParse = true;
    }
    void UseDynon() { Use(SyncDynonMsg, CaptureDynon, 0); }
    void UseXbow() { Use(SyncXbowMsg, CaptureXbow, 5); }
    static void CaptureDynon(uint8_t* m, int32_t n, uint32_t p) {
        g_framed.emplace_back(reinterpret_cast<char*>(m), static_cast<size_t>(n));
        if (g_alsoParse) ParseDynonMsg(m, n, p);
    }
    static void CaptureXbow(uint8_t* m, int32_t n, uint32_t p) {
        g_framed.emplace_back(reinterpret_cast<char*>(m), static_cast<size_t>(n));
        if (g_alsoParse) ParseXbow500Msg(m, n, p);
    }
    // Sends bytes on port 0's line and runs the main loop's framing until
    // they have passed.
    void Feed(const std::string& bytes) {
        ASSERT_TRUE(board().SerialInput(kPort, bytes.data(), static_cast<int>(bytes.size())));
        const uint64_t end = board().Now() + (bytes.size() + 20) * SerialTicksPerChar(G_Serial[kPort].nBaudIdx);
        while (board().Now() < end) {
            SerialPort& p = G_Serial[kPort];
            if (p.bRxPending) {
                p.bRxPending = 0;
                p.fpFrame(kPort);
            }
            HwIdle();
        }
    }
    static void Parse(const std::string& msg, bool dynon) {
        std::string copy = msg;
        uint8_t* m = reinterpret_cast<uint8_t*>(copy.data());
        if (dynon) ParseDynonMsg(m, static_cast<int32_t>(copy.size()), kPort);
        else ParseXbow500Msg(m, static_cast<int32_t>(copy.size()), kPort);
    }
    static std::string RamLog() {
        std::string all;
        for (uint32_t i = 0; i < G_RamLog.nCount; ++i) all += G_RamLog.szLine[i];
        return all;
    }
    static int Count(const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    static void SetAdjust(int32_t pitch, int32_t roll, int32_t heading) {
        NvSetU32(kNvPitchAdj, static_cast<uint32_t>(pitch));
        NvSetU32(kNvRollAdj, static_cast<uint32_t>(roll));
        NvSetU32(kNvHeadingAdj, static_cast<uint32_t>(heading));
    }

private:
    static void Use(SerialFrameFn frame, SerialParseFn parse, uint32_t baud) {
        SerialPort& p = G_Serial[kPort];
        p.nFunction = 1;
        p.fpFrame = frame;
        p.fpMsgParse = parse;
        SetSerialBaud(kPort, baud);
    }
};

// ---- the ASCII sentence ----------------------------------------------------------------

TEST_F(AhrsTest, DynonSentencesGiveTheValuesTheyCarry) {
    struct Case {
        const char* name;
        std::string sentence;
        int32_t pitch, roll, heading, yaw, accelY, accelZ;
        uint32_t status;
        int32_t lat, load;
        uint16_t age;   // the age was 7 before the sentence
    };
    const Case cases[] = {
        // The example line of the published layout: status bit 0 set, so its
        // rate column is vertical speed and the yaw rate keeps its 77.
        {"published example", kExample, 580, -54, 1300, 77, 10, 15, 0x030E0A, 100, 150, 7},
        // tools/ahrs-peer.py sentence 25 -2.5 123 4.2 0 1.1 000000
        {"generated, banked right", "00000000-025+02501230000+0000+042+00+11000000000131\r\n", -250, 250, 1230, 42, 0,
         11, 0, 0, 110, 0},
        // ... sentence -179 5 359 -3 0.05 1.5 000001: status bit 0 keeps the yaw rate
        {"generated, inverted left", "00000000+050-17903590000+0000-030-05+1500000001014F\r\n", 500, -1790, 3590, 77,
         50, 15, 0, 500, 150, 0},
        // ... sentence 0 0 0 0 0 1 123000: digits 1 2 3, no fault bit
        {"status digits 1 2 3", "00000000+000+00000000000+0000+000+00+1000123000011A\r\n", 0, 0, 0, 0, 0, 10,
         0x010203, 0, 100, 0},
        // ... sentence 0 0 0 0 0 1 040000: digits 0 4 0 are bit 10
        {"status digits 0 4 0", "00000000+000+00000000000+0000+000+00+10000400000118\r\n", 0, 0, 0, 0, 0, 10, 0x400,
         0, 100, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_Ahrs = {};
        G_Ahrs.nYawRate = 77;
        G_Ahrs.nStatusAge = 7;
        G_Serial[kPort].nRxCount = 0;
        Parse(c.sentence, true);
        EXPECT_EQ(G_Ahrs.nPitch, c.pitch);
        EXPECT_EQ(G_Ahrs.nRoll, c.roll);
        EXPECT_EQ(G_Ahrs.nHeading, c.heading);
        EXPECT_EQ(G_Ahrs.nYawRate, c.yaw);
        EXPECT_EQ(G_Ahrs.nAccelY, c.accelY);
        EXPECT_EQ(G_Ahrs.nAccelZ, c.accelZ);
        EXPECT_EQ(G_Ahrs.nStatus, c.status);
        EXPECT_EQ(G_Ahrs.nLatAccel, c.lat);
        EXPECT_EQ(G_Ahrs.nLoadFactor, c.load);
        EXPECT_EQ(G_Ahrs.nStatusAge, c.age);
        EXPECT_EQ(G_Ahrs.nFresh, 40);
        EXPECT_EQ(G_Serial[kPort].nRxCount, 1u);
    }
    EXPECT_EQ(static_cast<int32_t>(NvGetU32(kNvGMeterMax)), 150) << "a Dynon sentence always keeps the extremes";
}

TEST_F(AhrsTest, DynonRefusesWrongLengthsAndBadChecksums) {
    std::string badSum = kExample;
    badSum[50] = '5';   // A5 for A4
    struct Case { const char* name; std::string msg; const char* line; };
    const Case cases[] = {
        {"52 bytes", kExample.substr(1), "ParseDynonMsg() numChars:52, @"},
        {"54 bytes", "0" + kExample, "ParseDynonMsg() numChars:54, @"},
        {"53 bytes without CR LF", kExample.substr(0, 51) + "  ", "ParseDynonMsg() numChars:53, @"},
        {"bad checksum", badSum, "ERROR: Bad Dynon CRC @"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_Ahrs = {};
        G_Ahrs.nHeading = 1234;
        InitRamLog(0);
        Parse(c.msg, true);
        EXPECT_EQ(G_Ahrs.nHeading, 1234) << "a refused message changes nothing";
        EXPECT_EQ(G_Ahrs.nFresh, 0);
        EXPECT_EQ(Count(RamLog(), c.line), 1) << RamLog();
    }
}

TEST_F(AhrsTest, DynonFramerHandsOverEachSentenceWithItsOwnCrLf) {
    UseDynon();
    // A sentence cut off at power-up, then two whole ones back to back.
    Feed("+15003EA0C701A4\r\n" + kExample + "00000000-025+02501230000+0000+042+00+11000000000131\r\n");
    ASSERT_EQ(g_framed.size(), 3u);
    EXPECT_EQ(g_framed[0].size(), 17u) << "the fragment is refused by its length";
    EXPECT_EQ(g_framed[1], kExample) << "exactly its 53 bytes, first character at position 0";
    EXPECT_EQ(g_framed[2].size(), 53u);
    EXPECT_EQ(G_Ahrs.nHeading, 1230);
    EXPECT_EQ(Count(RamLog(), "numChars:17"), 1);
    EXPECT_EQ(Count(RamLog(), "Bad Dynon CRC"), 0) << RamLog();
}

// ---- the binary frame -------------------------------------------------------------------

TEST_F(AhrsTest, XbowFramesScaleAsThePacketTableSays) {
    struct Case {
        const char* name;
        std::string frame;
        int32_t roll, pitch, heading, yaw, accelY, accelZ;
        uint32_t bits;
    };
    const Case cases[] = {
        // 5461 x 1800 / 2^15 = 299.98; -910 x 18000 / 2^15 = -499.9 -> -500
        // (toward minus infinity); yaw -16384 -> -900 -> 2700; 546 x 12000 /
        // 2^15 = 199.9; Y -328 -> -150.1 -> -151, negated 151; Z 2185 -> 1000.
        {"X1", kX1, 299, -500, 2700, 199, 151, 1000, 0},
        // -21845 -> -1199.99 -> -1200; 1820 x 18000 / 2^15 = 999.8 -> 999.
        {"power fail", kPowerFail, -1200, 999, 2700, 0, 0, 1000, 8},
        // 32750 -> 1799.0; -16366 -> -8990.1 -> -8991; yaw -18 -> -0.99 -> -1 -> 3599.
        {"remote mag error", kMagError, 1799, -8991, 3599, 0, 0, 1000, 0x8000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_Ahrs = {};
        G_Ahrs.nType = 1;
        G_Ahrs.nStatusAge = 9;
        Parse(c.frame, false);
        EXPECT_EQ(G_Ahrs.nRoll, c.roll);
        EXPECT_EQ(G_Ahrs.nPitch, c.pitch);
        EXPECT_EQ(G_Ahrs.nHeading, c.heading);
        EXPECT_EQ(G_Ahrs.nYawRate, c.yaw);
        EXPECT_EQ(G_Ahrs.nAccelY, c.accelY);
        EXPECT_EQ(G_Ahrs.nAccelZ, c.accelZ);
        EXPECT_EQ(G_Ahrs.nModel, 500u);
        EXPECT_EQ(G_Ahrs.nStatus, c.bits);
        EXPECT_EQ(G_Ahrs.nType, 0u) << "a frame ends the Dynon status rules";
        EXPECT_EQ(G_Ahrs.nStatusAge, 0) << "bit 10 clear";
        EXPECT_EQ(G_Ahrs.nFresh, 40);
    }
    EXPECT_EQ(Count(SysLogSectorText(), "AHRS Model Number: 500\n"), 1) << "printed once";
    EXPECT_EQ(G_AhrsBits[15].nActive, 1u);
    EXPECT_EQ(G_AhrsBits[3].nActive, 0u) << "bit 3 cleared with the last frame";
}

TEST_F(AhrsTest, XbowFiltersSettleAndBitThreeKeepsTheExtremes) {
    // Z 2185 (1000 mg): N closes a quarter of the gap each frame and stops 3
    // short of 256000, so 255997 >> 8 = 999 -> 99.9 -> 100. Y 151 mg: L stops
    // 15 short of 38656, 38641 >> 8 = 150.
    for (int i = 0; i < 100; ++i) Parse(kX1, false);
    EXPECT_EQ(G_Ahrs.nLoadFactor, 100);
    EXPECT_EQ(G_Ahrs.nLatAccel, 150);
    EXPECT_EQ(static_cast<int32_t>(NvGetU32(kNvGMeterMax)), 100);
    // Z 14999 settles at 1500 and is held at 999, but a POWER FAIL frame
    // keeps the extremes out of it.
    for (int i = 0; i < 100; ++i) Parse(kFullZ, false);
    EXPECT_EQ(G_Ahrs.nLoadFactor, 999);
    EXPECT_EQ(static_cast<int32_t>(NvGetU32(kNvGMeterMax)), 999);
    NvSetU32(kNvGMeterMax, 100);
    Parse(kPowerFail, false);
    EXPECT_EQ(static_cast<int32_t>(NvGetU32(kNvGMeterMax)), 100) << "bit 3 set: extremes untouched";
    // The first frame with a new low bit says so.
    EXPECT_NE(SysLogSectorText().find("AHRS: Lower bit(s) set, was:0x0000, now:0x0008 @"), std::string::npos);
}

TEST_F(AhrsTest, XbowRefusesBadChecksumsAndWrongLengths) {
    std::string bad = kX1;
    bad[25] = static_cast<char>(0xF9);
    Parse(bad, false);
    Parse(kX1.substr(0, 25), false);
    EXPECT_EQ(G_Ahrs.nFresh, 0);
    EXPECT_EQ(Count(RamLog(), "ERROR: XBOW CRC, Msg:aa55, calc:05f8!=05f9 @"), 1) << RamLog();
    EXPECT_EQ(Count(RamLog(), "ParseXbow500Msg() numChars:25, @"), 1) << RamLog();
}

TEST_F(AhrsTest, XbowFramerResyncsOnItsOwnSyncPair) {
    UseXbow();
    struct Case { const char* name; std::string before; int lines; const char* line; };
    const Case cases[] = {
        {"three garbage bytes", std::string("\x00\x11\xaa", 3), 1, "Port:0, 4 tossed for resync eom:"},
        {"one garbage byte", std::string("\x01", 1), 1, "Port:0, 2 tossed for resync eom:"},
        {"back to back", "", 0, "tossed for resync"},
    };
    Feed(kX1);   // in step
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InitRamLog(0);
        g_framed.clear();
        Feed(c.before + kX1);
        ASSERT_EQ(g_framed.size(), 1u);
        EXPECT_EQ(g_framed[0], kX1);
        EXPECT_EQ(Count(RamLog(), "tossed for resync"), c.lines) << RamLog();
        EXPECT_EQ(Count(RamLog(), c.line), c.lines) << RamLog();
    }
}

TEST_F(AhrsTest, XbowInputIsDiscardedWithTheDemoAhrs) {
    UseXbow();
    G_NetStreamCfg[kStreamAhrs].DSRC = 3;
    Feed(kX1 + kX1);
    EXPECT_TRUE(g_framed.empty());
    EXPECT_EQ(G_SerialBuf[kPort].rx.nRd, G_SerialBuf[kPort].rx.nWr);
}

TEST_F(AhrsTest, DiagnosticLinesNameEachBitAndItsAge) {
    Parse(kMagError, false);   // BIT 0x8000
    Parse(kExample, true);     // status digits 3 E A
    DelayTicks(5 * kTicksPerSecond + 1000);
    char line[64];
    FormatAhrsBitLine(15, line, sizeof line);
    EXPECT_STREQ(line, "15 REMOTE MAG ERROR           ACTIVE    5s");
    FormatAhrsBitLine(0, line, sizeof line);
    EXPECT_STREQ(line, " 0 HARD FAILURE               -");
    FormatAhrsBitLine(16, line, sizeof line);
    EXPECT_STREQ(line, "");
    FormatAhrsBitLine(14, line, 8);
    EXPECT_STREQ(line, "14 MAG ") << "cut to the buffer";
    FormatDynonStatus(line, sizeof line);
    EXPECT_STREQ(line, "3EA");
}

// ---- the pilot's adjustments ------------------------------------------------------------

TEST_F(AhrsTest, AdjustmentsWrapRollAndHeadingAndHoldPitch) {
    struct Case {
        const char* name;
        int32_t roll, pitch, heading, rollAdj, pitchAdj, hdgAdj;
        int32_t outRoll, outPitch, outHeading;
    };
    const Case cases[] = {
        {"none", 100, 500, 900, 0, 0, 0, 100, 500, 900},
        {"roll across +180", 1790, 0, 0, 20, 0, 0, -1790, 0, 0},
        {"roll at +180", 1780, 0, 0, 20, 0, 0, 1800, 0, 0},
        {"roll across -180", -1790, 0, 0, -20, 0, 0, 1790, 0, 0},
        {"heading across north", 0, 0, 3590, 0, 0, 20, 0, 0, 10},
        {"heading back across north", 0, 0, 5, 0, 0, -20, 0, 0, 3585},
        {"heading far below", 0, 0, 5, 0, 0, -7300, 0, 0, 3505},
        {"pitch 89 + 2 holds at 90", 0, 8900, 0, 0, 20, 0, 0, 9000, 0},
        {"pitch -89 - 2 holds at -90", 0, -8900, 0, 0, -20, 0, 0, -9000, 0},
        {"pitch within", 0, 100, 0, 0, -15, 0, 0, -50, 0},
        {"damaged settings", 0, 0, 0, INT32_MAX, INT32_MIN, INT32_MIN, 847, -9000, 2752},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AhrsRecord a = {};
        a.nRoll = c.roll;
        a.nPitch = c.pitch;
        a.nHeading = c.heading;
        SetAdjust(c.pitchAdj, c.rollAdj, c.hdgAdj);
        ApplyAttitudeAdjust(&a, AhrsClockSettings());
        EXPECT_EQ(a.nRoll, c.outRoll);
        EXPECT_EQ(a.nPitch, c.outPitch);
        EXPECT_EQ(a.nHeading, c.outHeading);
    }
}

}  // namespace
