// The ARINC 429 adapter link: word images read back by the test peer's
// decoder, the frame and commands on a port, and the adapter's messages
// taken over into the navigation slot.
#include "nav/arinc.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/framers.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "nav/autopilot.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"
#include "peers/arinc_peer.h"
#include "platform/hw.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"

namespace {

using arinc_peer::BnrLine;
using arinc_peer::LineToImage;

constexpr uint32_t kPort = 3;   // an on-chip port

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string RamLog() {
    std::string all;
    for (uint32_t i = 0; i < G_RamLog.nCount; ++i) all += G_RamLog.szLine[i];
    return all;
}

std::string Hex(const std::string& bytes) {
    std::string s;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02x ", c);
        s += b;
    }
    return s;
}

class ArincTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        InstallHandlers();
        IrqStateInit();
        SysLogOpen();
        InitRamLog(0);
        InitNavSrc();
        std::memset(&G_Autopilot, 0, sizeof G_Autopilot);
        std::memset(G_ArincAdapter, 0, sizeof G_ArincAdapter);
        std::memset(&G_Ahrs, 0, sizeof G_Ahrs);
        std::memset(G_NVRam, 0, sizeof G_NVRam);
        G_ArincVersionSeen = 0;
        NvSetU32(kNvDimPercent, 100);
        HwWrite32(OSMR0, ReadOsTimer() + kTickTicks);
        HwWrite32(OIER, HwRead32(OIER) | 1);
        IntEnable(kIntOsTimer0);
        G_Serial[kPort].nFunction = 5;
        G_Serial[kPort].fpFrame = ArincResync;
        G_Serial[kPort].fpMsgParse = ParseArincMsg;
        SetSerialBaud(kPort, 1);
        G_NavSrc.hdr.nPort[0] = kPort;
        G_NavSrc.rec[0].nPort = kPort;
        G_NavSrc.hdr.nCrsSlot = 4;
    }
    // Runs the port's serial work until what was queued has left.
    void Drain(uint32_t bytes = 64) {
        const uint64_t end = board().Now() + (bytes + 10) * SerialTicksPerChar(1);
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
    std::string Sent() {
        const std::string all = SerialOut(kPort);
        std::string fresh = all.substr(seen_);
        seen_ = all.size();
        return fresh;
    }
    void Receive(const std::string& bytes) {
        ASSERT_TRUE(board().SerialInput(kPort, bytes.data(), static_cast<int>(bytes.size())));
        Drain(static_cast<uint32_t>(bytes.size()));
    }
    static void Take(std::string m) {
        ParseArincMsg(reinterpret_cast<uint8_t*>(m.data()), static_cast<int32_t>(m.size()), kPort);
    }
    size_t seen_ = 0;
};

TEST_F(ArincTest, WordImagesReadBackByTheLabelDefinitions) {
    NavSrcRec& gps = G_NavSrc.rec[0];
    gps.nType = 1;
    G_NavSrc.hdr.nCrsSlot = 0;
    struct Course { int16_t course; uint32_t image; double degrees; };
    for (const Course& c : {Course{0, 0x00004640, 0.0}, Course{90, 0x40004640, 90.0}, Course{180, 0x80004640, -180.0},
                            Course{270, 0xC0004640, -90.0}, Course{1, 0x00B84640, 1.011}, Course{359, 0xFF484640, -1.011},
                            Course{-90, 0xC0004640, -90.0}}) {
        SCOPED_TRACE(c.course);
        gps.nCourse = c.course;
        uint32_t w = 1;
        ArincSelCourseWord(&w, 0);
        EXPECT_EQ(w, c.image);
        const arinc_peer::Decoded d = arinc_peer::Course100(w);
        EXPECT_EQ(d.label, 100u);
        EXPECT_EQ(d.ssm, 3u);
        EXPECT_NEAR(d.value, c.degrees, 0.001);
        EXPECT_TRUE(arinc_peer::ImageToLine(w) & 0x800u) << "line bit 12: course from the GPS";
    }
    uint32_t w = 1;
    ArincSelCourseWord(&w, 1);
    EXPECT_EQ(w, 0u) << "not the steering slot: not even the label";

    // Roll commands in hundredths of a degree through the steering output.
    G_Autopilot.bOutput = 1;
    G_NVRam[kNvApSteerEnable] = 1;
    G_ApLateral.bEngaged = 1;
    struct Roll { int32_t cmd; uint32_t image; double degrees; };
    for (const Roll& r : {Roll{2500, 0x11C20651, 24.97}, Roll{-2500, 0xEE3E0651, -24.97}, Roll{-450, 0xFCCE0651, -4.49},
                          Roll{3000, 0x154E0651, 29.96}}) {
        SCOPED_TRACE(r.cmd);
        G_ApLateral.nRollCmd = r.cmd;
        ArincRollSteerWord(&w);
        EXPECT_EQ(w, r.image);
        EXPECT_NEAR(arinc_peer::Roll121(w).value, r.degrees, 0.006);
        EXPECT_EQ(arinc_peer::Roll121(w).label, 121u);
        EXPECT_EQ(G_Autopilot.nLastRollWord, w);
    }

    struct Vs { float fpm; uint32_t image; double decoded; };
    for (const Vs& v : {Vs{500, 0x03E80644, 500}, Vs{-500, 0xFC180644, -500}, Vs{-0.5f, 0xFFFE0644, -1},
                        Vs{-1500, 0xF4480644, -1500}, Vs{2000, 0x0FA00644, 2000}, Vs{-637, 0xFB060644, -637}}) {
        SCOPED_TRACE(v.fpm);
        EXPECT_EQ(ArincVsImage(v.fpm), v.image);
        EXPECT_EQ(arinc_peer::Vs104(v.image).value, v.decoded);
    }

    struct Heading { int32_t tenths; uint32_t image; double degrees; };
    for (const Heading& h : {Heading{0, 0x000006D0, 0}, Heading{900, 0x400006D0, 90}, Heading{1800, 0x800006D0, -180},
                             Heading{1799, 0x7FEE06D0, 179.9}, Heading{3599, 0xFFEE06D0, -0.1},
                             Heading{2700, 0xC00006D0, -90}, Heading{653, 0x2E6F06D0, 65.3}, Heading{-1, 0xFFEE06D0, -0.1}}) {
        SCOPED_TRACE(h.tenths);
        ArincHeadingWord(&w, h.tenths);
        EXPECT_EQ(w, h.image);
        EXPECT_NEAR(arinc_peer::Heading320(w).value, h.degrees, 0.006);
    }

    // Bare labels.
    G_Autopilot.bOutput = 0;
    ArincRollSteerWord(&w);
    EXPECT_EQ(w, 0x51u);
    ArincSelVsWord(&w);
    EXPECT_EQ(w, 0x44u);
    ArincGpsPassWord(&w);
    EXPECT_EQ(w, 0x4Fu);
    ArincLabel122Word(&w);
    EXPECT_EQ(w, 0x52u);
    ArincLabel324Word(&w);
    EXPECT_EQ(w, 0xD4u);
}

TEST_F(ArincTest, VerticalWordFollowsTheAxis) {
    G_Autopilot.bOutput = 1;
    G_NVRam[kNvApSteerEnable] = 1;
    G_NavSrc.hdr.nFlags0 = kNavHdrAltSteer;
    G_ApVertical.bEngaged = 1;
    G_ApVertical.nVertCmd = -637;
    uint32_t w = 0;
    ArincSelVsWord(&w);
    EXPECT_EQ(w, 0xFB060644u);
    G_ApVertical.bEngaged = 0;
    G_ApVertical.bHold = 1;
    ArincSelVsWord(&w);
    EXPECT_EQ(w, 0x44u) << "held while not engaged";
    G_ApVertical.bHold = 0;
    G_NavSrc.hdr.nFlags0 = 0;
    ArincSelVsWord(&w);
    EXPECT_EQ(w, 0x44u) << "ALT OFF";
}

TEST_F(ArincTest, IdleFrameByteForByte) {
    SendArincFrame(kPort);
    Drain();
    EXPECT_EQ(Hex(Sent()),
              "24 1c 00 00 00 00 4f 00 00 00 51 00 00 00 44 00 00 00 d0 06 00 00 d4 00 00 00 ff 00 00 00 2a 8d 0d 0a ");
    const uint8_t* image = G_ArincAdapter[kPort].abFrame;
    EXPECT_EQ(image[0], '$');
    EXPECT_EQ(image[8], 0x4F) << "word 2 at image byte 8";
    EXPECT_EQ(image[28], '*');
    EXPECT_EQ(image[29], 0x8D);

    struct Dim { uint32_t percent; uint8_t byte; };
    for (const Dim& d : {Dim{0, 0}, Dim{50, 127}, Dim{100, 255}, Dim{101, 255}}) {
        SCOPED_TRACE(d.percent);
        NvSetU32(kNvDimPercent, d.percent);
        G_NVRam[kNvLabel122] = 1;
        SendArincFrame(kPort);
        Drain();
        const arinc_peer::Frame f = arinc_peer::ReadFrame(Sent());
        ASSERT_TRUE(f.ok);
        EXPECT_EQ(f.dim, d.byte);
        EXPECT_EQ(f.word[3], 0x52u) << "label 122 chosen by the settings byte";
    }
}

TEST_F(ArincTest, CommandTable) {
    G_Ahrs.nHeading = 900;
    NvSetU32(kNvDimPercent, 100);
    G_NavSrc.hdr.nCrsSlot = 1;   // the port's slot 0 is not the steering slot
    struct Case { int32_t code; std::string bytes; };
    const Case cases[] = {
        {1, "69 "}, {2, "70 "}, {3, "6d "}, {4, "77 "}, {5, "6e "}, {6, "76 "},
        {7, "63 00 00 00 00 "}, {8, "68 40 00 06 d0 "}, {9, "62 "}, {10, "78 "}, {11, "52 "},
        {12, "72 00 00 00 51 "}, {13, "73 00 00 00 52 "}, {14, ""}, {15, "74 00 00 00 d4 "}, {16, ""},
        {17, "64 ff "}, {0, ""}, {18, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        SendArincCmd(kPort, c.code);
        Drain(8);
        EXPECT_EQ(Hex(Sent()), c.bytes);
    }
    EXPECT_EQ(SendArincCmd(kPort, 0), 0);
    uint32_t imaged = 0;
    std::memcpy(&imaged, G_ArincAdapter[kPort].abFrame + 4 + 4 * 4, 4);
    EXPECT_EQ(imaged, 0x400006D0u) << "the heading command's word kept in the frame image";
    G_NavSrc.hdr.nCrsSlot = 0;
    SendArincCmd(kPort, 7);
    Drain(8);
    EXPECT_EQ(Sent(), "") << "the port feeds the steering slot";
}

// Words as a GPS sends them: built from the published definitions.
std::vector<uint32_t> GpsWords(uint32_t integritySsm = 3) {
    return {
        LineToImage(BnrLine(310, 45.5, 180.0, 20, integritySsm)),
        LineToImage(BnrLine(311, -93.25, 180.0, 20, integritySsm)),
        LineToImage(BnrLine(313, 90.0, 180.0, 12)),    // true track
        LineToImage(BnrLine(147, -5.0, 180.0, 11)),    // 5 degrees west
        LineToImage(BnrLine(312, 120.0, 4096.0, 15)),  // kt
        LineToImage(BnrLine(114, 100.0, 180.0, 12)),   // desired track, true
        LineToImage(BnrLine(116, 0.25, 128.0, 15)),    // right of course
        LineToImage(BnrLine(251, 12.5, 4096.0, 15)),
        LineToImage(BnrLine(121, -10.0, 180.0, 14)),
        LineToImage(BnrLine(117, 40.0, 2048.0, 11)),
    };
}

TEST_F(ArincTest, GpsMessageIntoTheSlotThroughTheMerge) {
    const std::vector<uint32_t> words = GpsWords();
    std::vector<uint32_t> a(words.begin(), words.begin() + 5), b(words.begin() + 5, words.end());
    Receive(arinc_peer::Message('G', '1', arinc_peer::Words(a)));
    Receive(arinc_peer::Message('G', '2', arinc_peer::Words(b)));
    EXPECT_EQ(G_Serial[kPort].nRxCount, 1u) << "data received";
    const ArincAdapterRec& rec = G_ArincAdapter[0];
    EXPECT_EQ(rec.bValid, 1);
    EXPECT_EQ(rec.cType, 'G');
    EXPECT_EQ(rec.nDigit, 2);
    EXPECT_EQ(rec.nType, 1);
    EXPECT_EQ(rec.bFresh[1], 1);
    EXPECT_EQ(rec.bFresh[2], 1);
    UpdateNavSrc(kPort);
    const NavSrcRec& r = G_NavSrc.rec[0];
    EXPECT_EQ(r.nType, 1);
    EXPECT_TRUE(r.nGpsFlagsA & kNavGpsValid);
    EXPECT_TRUE(r.nGpsFlagsB & kNavGpsFix);
    EXPECT_NEAR(r.fLat, 45.5, 0.001);
    EXPECT_NEAR(r.fLon, -93.25, 0.001);
    EXPECT_EQ(r.nTrackTrue, 900);
    EXPECT_EQ(r.nMagVar, 50) << "west positive";
    EXPECT_EQ(r.nTrackMag, 950);
    EXPECT_EQ(r.nGroundSpeed, 1200);
    EXPECT_EQ(r.nDesiredTrack, 1050);
    EXPECT_EQ(r.nCourse, 105);
    EXPECT_EQ(r.nCrossTrack, -25) << "right of course: steer left";
    EXPECT_EQ(r.nDistance, 125);
    EXPECT_TRUE(r.nGpsFlagsA & kNavGpsVertical);
    EXPECT_EQ(NavGetU32(r.abVertGuide), words[9]);
    EXPECT_TRUE(NavRollSteerFlag(r));
    EXPECT_EQ(NavRollSteerValue(r), -1000);
    EXPECT_EQ(NavRollSteerWord(r), words[8]);
    EXPECT_EQ(G_Serial[kPort].nRxCount, 0u) << "consumed by the merge";

    // A GPS course slot and roll steering: the GPS's own words leave in the frame.
    G_NavSrc.hdr.nCrsSlot = 0;
    G_Autopilot.bOutput = 1;
    G_NVRam[kNvApSteerEnable] = 1;
    G_NVRam[kNvNavMode] = kApHnav;
    G_NavSrc.hdr.nFlags0 = kNavHdrHdgSteer;
    G_ApLateral.nStartStamp = ReadOsTimer() - kApStartTicks - 10;
    ApUpdateNav();
    ASSERT_EQ(G_ApLateral.bRollSteer, 1);
    DelayTicks(kApTickTicks + 10);
    ApLateralTick();
    SendArincFrame(kPort);
    Drain();
    const arinc_peer::Frame f = arinc_peer::ReadFrame(Sent());
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.word[2], words[8]) << "label 121 passed through";
    EXPECT_NEAR(arinc_peer::Roll121(f.word[2]).value, -10.0, 0.011);
    EXPECT_EQ(f.word[1], words[9]) << "label 117 passed through";
    EXPECT_NEAR(arinc_peer::Course100(f.word[0]).value, 105.0, 0.05);

    // Integrity lost: logged once, the fix cleared.
    std::vector<uint32_t> bad = GpsWords(0);
    bad.resize(2);
    for (int i = 0; i < 2; ++i) {
        Receive(arinc_peer::Message('G', '1', arinc_peer::Words(bad)));
        UpdateNavSrc(kPort);
    }
    EXPECT_FALSE(r.nGpsFlagsB & kNavGpsFix);
    EXPECT_EQ(Count(SysLogSectorText(), "GPS_INTEG_FAIL @"), 1);
}

TEST_F(ArincTest, RadioMessageIntoTheSlot) {
    const std::vector<uint32_t> words = {
        LineToImage(BnrLine(173, 0.0875, 0.4, 12)),   // localizer deviation, DDM
        LineToImage(BnrLine(174, -0.09, 0.8, 12)),    // glideslope deviation, DDM
        LineToImage(BnrLine(222, -90.0, 180.0, 12)),  // omnibearing
        LineToImage(BnrLine(100, 45.0, 180.0, 12)),
        LineToImage(arinc_peer::BcdLine(34, {{0, 27, 3}, {9, 23, 4}, {3, 19, 4}, {5, 15, 4}}, 3)),   // 109.35
    };
    Receive(arinc_peer::Message('V', '1', arinc_peer::Words(words)));
    UpdateNavSrc(kPort);
    const NavSrcRec& r = G_NavSrc.rec[0];
    EXPECT_EQ(r.nType, 2);
    EXPECT_TRUE(r.nRadioFlagsA & kNavRadioValid);
    EXPECT_TRUE(r.nRadioFlagsB & kNavRadioArinc);
    EXPECT_EQ(r.nCdi, 50) << "round(87.5 thousandths DDM x 0.5714)";
    EXPECT_EQ(r.nVertDev, -60) << "round(-90 thousandths DDM x 0.66667)";
    EXPECT_EQ(r.nRadial, 2700);
    EXPECT_EQ(r.nObs, 45);
    EXPECT_EQ(r.nActiveFreq, 10935);
    EXPECT_TRUE(r.nRadioFlagsA & kNavRadioLoc) << "109.35 is a localizer";
    EXPECT_STREQ(r.szStation, "****");
    EXPECT_TRUE(G_NavSrc.hdr.nFlags0 & kNavHdrCrsRadio) << "no course slot: the header follows the type";
}

TEST_F(ArincTest, FaultyMessagesAreNotTaken) {
    const std::string payload = arinc_peer::Words({LineToImage(BnrLine(313, 90.0, 180.0, 12)), 0x00000000});
    ArincAdapterRec& rec = G_ArincAdapter[0];

    Take(arinc_peer::Message('G', '1', payload, -1, 1));
    EXPECT_EQ(rec.bValid, 0);
    EXPECT_EQ(rec.label[kAl313].nStamp, 0u) << "not decoded";
    EXPECT_EQ(G_Serial[kPort].nRxCount, 0u);
    EXPECT_EQ(Count(RamLog(), "ARINC Bad CRC: G1, Sz:17 @"), 1);

    Take(arinc_peer::Message('Q', '1', payload));
    EXPECT_EQ(rec.cType, '0');
    EXPECT_EQ(Count(SysLogSectorText(), "ARINC UKNOWN MSG \x02$Q @"), 1);

    // L = 64: more than a record holds; a message shorter than its L.
    std::string big = arinc_peer::Message('G', '1', std::string(64, '\x01'));
    Take(big);
    EXPECT_EQ(rec.bValid, 0);
    EXPECT_EQ(rec.nLength, 0u);
    EXPECT_EQ(rec.abPayload[1], 0) << "nothing copied";
    std::string cut = arinc_peer::Message('G', '1', payload, 40);
    Take(cut);
    EXPECT_EQ(rec.bValid, 0);
    EXPECT_EQ(rec.nLength, 0u);

    // 8 bytes or fewer: cleared and ignored.
    Take(arinc_peer::Message('G', '1', payload));
    ASSERT_EQ(rec.bValid, 1);
    Take(std::string("\x02$G1\x00\x00\r\n", 8));
    EXPECT_EQ(rec.bValid, 0);
    EXPECT_EQ(rec.cType, '0');
    EXPECT_EQ(rec.label[kAl313].nValue, 900) << "decoded data stay";
}

TEST_F(ArincTest, VersionLoggedOnce) {
    struct Case { std::string text; int32_t number; };
    for (const Case& c : {Case{"V1.2a", 12}, Case{"V1.3", 13}, Case{"VX.Y1", -1}, Case{"V2", -1}}) {
        SCOPED_TRACE(c.text);
        Take(arinc_peer::Message('A', '0', c.text));
        const ArincAdapterRec& rec = G_ArincAdapter[0];
        EXPECT_EQ(rec.bVersionRx, 1);
        EXPECT_EQ(rec.nVersion, c.number);
        EXPECT_EQ(std::string(rec.szVersion), c.text.substr(0, 5)) << "at most L characters, NUL-filled";
    }
    const std::string log = SysLogSectorText();
    EXPECT_EQ(Count(log, "ARINC Version: "), 1);
    EXPECT_EQ(Count(log, "ARINC Version: V1.2a\n"), 1);
    EXPECT_EQ(Count(log, "Bad Arinc Version:VX.Y1\n"), 1);
}

}  // namespace
