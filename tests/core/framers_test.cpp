#include "core/framers.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/serial.h"
#include "core/syslog.h"
#include "support/board_fixture.h"

namespace {

constexpr uint32_t kPort = 3;
std::vector<std::string> g_framed;

void Record(uint8_t* msg, int32_t length, uint32_t) { g_framed.emplace_back(reinterpret_cast<char*>(msg), length); }

// Puts the stream into the port's receive ring `chunk` bytes at a time, as
// the receive interrupt would, running the framer after each chunk.
std::vector<std::string> Frame(SerialFrameFn framer, const std::string& bytes, size_t chunk = 0,
                               int32_t startIndex = 0) {
    g_framed.clear();
    SerialBufReset(kPort, 0);
    SerialRing& rx = G_SerialBuf[kPort].rx;
    rx.nWr = rx.nRd = rx.nMsgStart = rx.nMsgEnd = startIndex;
    G_Serial[kPort].fpMsgParse = Record;
    if (chunk == 0) chunk = bytes.size();
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        for (size_t i = at; i < at + chunk && i < bytes.size(); ++i) {
            rx.abRing[rx.nWr] = static_cast<uint8_t>(bytes[i]);
            rx.nWr = (rx.nWr + 1) % kSerialRingSize;
        }
        framer(kPort);
    }
    return g_framed;
}

std::vector<std::string> RamLogLines() {
    std::vector<std::string> lines;
    for (uint32_t i = 0; i < G_RamLog.nCount; ++i) lines.emplace_back(G_RamLog.szLine[i]);
    return lines;
}

struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> framed;
};

void RunCases(SerialFrameFn framer, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (size_t chunk : {size_t{0}, size_t{1}, size_t{7}}) {
            SCOPED_TRACE(chunk);
            EXPECT_EQ(Frame(framer, c.bytes, chunk), c.framed);
        }
    }
}

class Framers : public BoardTest {};

const std::string kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
const std::string kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

TEST_F(Framers, NmeaSentences) {
    RunCases(NmeaResync, {
        {"one sentence", kRmc, {kRmc}},
        {"two sentences back to back", kRmc + kGga, {kRmc, kGga}},
        {"noise before the start", "xy" + kRmc, {kRmc}},
        {"truncated sentence then a good one", "$GPRMC,1235" + kGga, {kGga}},
        {"CR alone does not end", "$GPXXX,1\r$GPXXX,2\r\n", {"$GPXXX,2\r\n"}},
        {"no end yet", "$GPRMC,123", {}},
    });
}

TEST_F(Framers, NmeaLogsTossedBytesAndCrossesTheRingEnd) {
    InitRamLog(0);
    EXPECT_EQ(Frame(NmeaResync, "\x01\x02" + kRmc, 3, kSerialRingSize - 20), std::vector<std::string>{kRmc});
    ASSERT_EQ(RamLogLines().size(), 1u);
    EXPECT_EQ(RamLogLines()[0].rfind("NMEA:3, 2 tossed for resync RD:8174,", 0), 0u) << RamLogLines()[0];
}

TEST_F(Framers, AviationBlocks) {
    RunCases(AvtnResync, {
        {"STX letter .. CR ETX", "\x02" "A123\r\x03", {"\x02" "A123\r\x03"}},
        {"LF ETX ends it too", "\x02zabc\n\x03", {"\x02zabc\n\x03"}},
        {"STX digit is no start", "\x02" "1abc\r\x03", {}},
        {"ETX without CR or LF continues", "\x02" "Ab\x03" "c\r\x03", {"\x02" "Ab\x03" "c\r\x03"}},
        {"two blocks with noise", "zz\x02" "Aa\r\x03q\x02" "Bb\n\x03", {"\x02" "Aa\r\x03", "\x02" "Bb\n\x03"}},
    });
}

std::string Arinc(char type, const std::string& payload) {
    std::string f = "\x02$";
    f += type;
    f += 'h';
    f += static_cast<char>(payload.size());
    f += payload;
    f += '\x55';   // checksum: the parser's business
    f += "\r\n\x03";
    return f;
}

TEST_F(Framers, ArincFrames) {
    const std::string a = Arinc('A', "12345");
    const std::string v = Arinc('V', "\r\n\x03xy");   // the end pattern inside the payload
    std::string shortSum = "\x02$Gh\x02\r\n";        // payload ends CR LF, checksum 0x03
    shortSum += "\x03\r\n\x03";
    RunCases(ArincResync, {
        {"one frame", a, {a}},
        {"end pattern inside the payload is not an end", v, {v}},
        {"checksum 0x03 after a CR LF payload is not an end", shortSum, {shortSum}},
        {"two frames", a + v, {a, v}},
        {"unknown type is hunted past", "\x02$Xh\x01z\x55\r\n\x03" + a, {a}},
    });
}

TEST_F(Framers, ArincLogsOnlyRealGarbage) {
    InitRamLog(0);
    const std::string a = Arinc('A', "1");
    Frame(ArincResync, a + a);
    EXPECT_TRUE(RamLogLines().empty());   // the 4 header bytes of a clean stream are not garbage
    Frame(ArincResync, "garbage" + a);
    ASSERT_EQ(RamLogLines().size(), 1u);
    EXPECT_EQ(RamLogLines()[0].rfind("ARINC:3, 11 tossed for resync", 0), 0u) << RamLogLines()[0];
}

TEST_F(Framers, DleMessages) {
    const std::string m1 = "\x10\x8C" "ab\x10\x03";
    const std::string m2 = "\x10K" "cd\x10\x03";
    const std::string stuffed = std::string("\x10\x8C" "a\x10\x10\x03\x10\x10" "b\x10\x03", 11);
    RunCases(SerialDleResync, {
        {"held back until the next DLE", m1, {}},
        {"handed over when the next message starts", m1 + m2, {m1}},
        {"burst: the last one waits", m1 + m2 + m1 + "\x10", {m1, m2, m1}},
        {"stuffed DLE before ETX does not end it", stuffed + m1, {stuffed}},
        {"unknown id is tossed", std::string("\x10\x41" "zz\x10\x03", 6) + m1 + "\x10", {m1}},
    });
}

TEST_F(Framers, DleLogsMoreThanTheStartDle) {
    InitRamLog(0);
    const std::string m = "\x10\x35" "x\x10\x03";
    Frame(SerialDleResync, m + m + m);
    EXPECT_TRUE(RamLogLines().empty());
    Frame(SerialDleResync, "!!!" + m + m);
    ASSERT_EQ(RamLogLines().size(), 1u);
    EXPECT_NE(RamLogLines()[0].find("tossed for resync readPtr:4, bomPtr:0 @"), std::string::npos) << RamLogLines()[0];
}

TEST_F(Framers, LongMessageIsCutAndNoCallbackDropsSilently) {
    const std::string longSentence = "$" + std::string(600, 'A') + "\r\n";
    auto framed = Frame(NmeaResync, longSentence);
    ASSERT_EQ(framed.size(), 1u);
    EXPECT_EQ(framed[0], longSentence.substr(0, 512));

    g_framed.clear();
    SerialBufReset(kPort, 0);
    G_Serial[kPort].fpMsgParse = nullptr;
    SerialRing& rx = G_SerialBuf[kPort].rx;
    for (char c : kRmc) rx.abRing[rx.nWr++] = static_cast<uint8_t>(c);
    NmeaResync(kPort);
    EXPECT_TRUE(g_framed.empty());
    EXPECT_EQ(rx.nRd, rx.nWr);
}

}  // namespace
