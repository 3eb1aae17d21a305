// NMEA GPS input and its merge into a source slot, driven through the parse
// callback with sentences from published examples (checksums recomputed by
// the peer) and by the main loop's merge calls in virtual time.
#include "nav/nmea.h"

#include <cstring>
#include <string>

#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"
#include "peers/nmea_peer.h"
#include "ui/knob.h"
#include "support/board_fixture.h"

namespace {

using nmea_peer::Sentence;

constexpr uint32_t kPort = 3;

class NmeaTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        SysLogOpen();
        InitRamLog(0);
        InitNavSrc();
        // Fresh records also when every case runs in one process.
        std::memset(G_NmeaGps, 0, sizeof G_NmeaGps);
        std::memset(G_NavInvalidCount, 0, sizeof G_NavInvalidCount);
        std::memset(G_NavValidCount, 0, sizeof G_NavValidCount);
        G_NavSrc.hdr.nPort[0] = kPort;
        G_Serial[kPort].nFunction = 2;
    }
    static void Feed(const std::string& s) {
        std::string copy = s;
        ParseNmeaMsg(reinterpret_cast<uint8_t*>(copy.data()), static_cast<int32_t>(copy.size()), kPort);
    }
    static const NmeaGpsRec& Rec() { return G_NmeaGps[0]; }
    static NavSrcRec& Slot() { return G_NavSrc.rec[0]; }
    static void Merge() { UpdateNavSrc(kPort); }
    static void Wait(double seconds) { DelayTicks(static_cast<uint32_t>(seconds * kTicksPerSecond)); }
    static std::string RamLog() { return RamLogText(); }
    static int Count(const std::string& text, const std::string& what) { return static_cast<int>(CountOf(text, what)); }
};

const std::string kRmc = Sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
const std::string kGga = Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kRmb = Sentence("GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,V");
const std::string kApb = Sentence("GPAPB,A,A,0.10,R,N,V,V,011,M,DEST,011,M,011,M");
const std::string kBod = Sentence("GPBOD,099.3,T,105.6,M,POINTB,");

TEST_F(NmeaTest, ChecksumsAndTalkers) {
    struct Case { const char* name; std::string line; uint32_t NmeaRmc::*got; bool accepted; };
    std::string flipped = kRmc;
    flipped[20] = flipped[20] == '1' ? '2' : '1';
    std::string noSum = kRmc.substr(0, kRmc.find('*')) + "\r\n";
    std::string oneDigit = kRmc.substr(0, kRmc.find('*') + 2);   // "*6" and nothing after it
    const std::string hemisphere =   // 84 bytes with CR LF: eight decimals of minutes
        Sentence("GPRMC,195959.00,A,1541.31258893,N,05130.51204125,W,0.26,147.44,140120,16.9,W,D");
    const struct { const char* name; std::string line; bool accepted; } cases[] = {
        {"the classic RMC", kRmc, true},
        {"a flipped character", flipped, false},
        {"no checksum", noSum, false},
        {"one checksum digit at the end of the line", oneDigit, false},
        {"GN talker", Sentence("GNRMC,171926.00,A,4404.14063,N,12118.85478,W,0.117,,180315,,,A"), true},
        {"84 bytes", hemisphere, true},
        {"lower-case talker is no talker", Sentence("gpRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"), false},
    };
    ASSERT_EQ(hemisphere.size(), 84u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(&G_NmeaGps[0], 0, sizeof G_NmeaGps[0]);
        G_Serial[kPort].nRxCount = 0;
        Feed(c.line);
        EXPECT_EQ(Rec().rmc.bReceived, c.accepted ? 1u : 0u);
        EXPECT_EQ(G_Serial[kPort].nRxCount, c.accepted ? 1u : 0u) << "data seen only after a parser ran";
    }
    Feed(hemisphere);
    EXPECT_NEAR(Rec().rmc.fLat, 15.688543, 1e-5);
    EXPECT_NEAR(Rec().rmc.fLon, 51.508534, 1e-5);
    EXPECT_EQ(Rec().rmc.cMode, 'D');
}

TEST_F(NmeaTest, FieldsOfThePublishedExamples) {
    for (const std::string& s : {kRmc, kGga, kRmb, kApb, kBod}) Feed(s);
    const NmeaGpsRec& r = Rec();
    EXPECT_NEAR(r.rmc.fLat, 48.1173, 1e-5);
    EXPECT_NEAR(r.rmc.fLon, 11.516667, 1e-5);
    EXPECT_FLOAT_EQ(r.rmc.fSpeed, 22.4f);
    EXPECT_EQ(r.rmc.cVarEw, 'W');
    EXPECT_EQ(r.rmc.cMode, 'A') << "no mode field, status A";
    EXPECT_EQ(r.gga.nQuality, 1);
    EXPECT_EQ(r.gga.cAltUnit, 'M');
    EXPECT_STREQ(r.rmb.szDest, "004");
    EXPECT_NEAR(r.rmb.fDestLat, 49.287333, 1e-5);
    EXPECT_NEAR(r.rmb.fDestLon, 123.1595, 1e-4);
    EXPECT_EQ(r.rmb.cNs, 'N');
    EXPECT_EQ(r.rmb.cEw, 'W');
    EXPECT_STREQ(r.apb.szDest, "DEST");
    EXPECT_FLOAT_EQ(r.apb.fBrgOrigDest, 11.0f);
    EXPECT_STREQ(r.bod.szDest, "POINTB");
    EXPECT_STREQ(r.bod.szOrigin, "---") << "an empty text field";
    // The published BOD with its wrong checksum is refused.
    std::memset(&G_NmeaGps[0].bod, 0, sizeof G_NmeaGps[0].bod);
    Feed("$GPBOD,099.3,T,105.6,M,POINTB,*01\r\n");
    EXPECT_EQ(Rec().bod.bReceived, 0u);
}

TEST_F(NmeaTest, ModesReadByTheirField) {
    struct Case { const char* name; std::string line; bool rmc; bool stored; uint8_t mode; };
    const Case cases[] = {
        {"RMC 2.3 mode N", Sentence("GPRMC,123519,V,4807.038,N,01131.000,E,,,230394,,,N"), true, false, 0},
        {"RMC 4.1 mode N, status V after it", Sentence("GNRMC,,V,,,,,,,,,,N,V"), true, false, 0},
        {"RMC 4.1 mode A, status V", Sentence("GNRMC,,A,4404.1,N,12118.8,W,0.1,,180315,,,A,V"), true, true, 'A'},
        {"RMC without a mode field, status V", Sentence("GPRMC,123519,V,4807.038,N,01131.000,E,,,230394,003.1,W"), true, true, 'N'},
        {"RMB mode N", Sentence("GPRMB,,,,,,,,,,,,,,N"), false, false, 0},
        {"RMB mode D", Sentence("GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,V,D"), false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(&G_NmeaGps[0], 0, sizeof G_NmeaGps[0]);
        Feed(c.line);
        if (c.rmc) {
            EXPECT_EQ(Rec().rmc.bReceived, c.stored ? 1u : 0u);
            EXPECT_EQ(Rec().rmc.cMode, c.mode);
        } else {
            EXPECT_EQ(Rec().rmb.bReceived, c.stored ? 1u : 0u);
        }
    }
}

TEST_F(NmeaTest, ChecksumErrorsReportedOnceASecond) {
    std::string bad = kRmb;
    bad[bad.find('*') + 1] = bad[bad.find('*') + 1] == '0' ? '1' : '0';
    Wait(1.1);
    const uint32_t before = G_NmeaCrcErrors;
    auto line = [before](uint32_t n) { return "MSG_ERR:" + std::to_string(before + n) + " NMEA RMB CRC @"; };
    Feed(bad);
    Feed(bad);
    EXPECT_EQ(G_NmeaCrcErrors, before + 2);
    EXPECT_EQ(Count(SysLogSectorText(), line(1)), 1);
    EXPECT_EQ(Count(SysLogSectorText(), "MSG_ERR:" + std::to_string(before + 2)), 0)
        << "the second within the second is not reported";
    Wait(1.1);
    Feed(bad);
    EXPECT_EQ(Count(SysLogSectorText(), line(3)), 1);
}

TEST_F(NmeaTest, RouteFromTwoRteSentencesAndWpl) {
    Feed(Sentence("GPRTE,2,1,c,0,PBRCPK,PBRTO,PTELGR"));
    Feed(Sentence("GPRTE,2,2,c,0,PPLAND,LONGNAME9"));
    EXPECT_EQ(Rec().route.nCount, 5u);
    EXPECT_STREQ(Rec().route.entry[4].szIdent, "LONGNAM") << "seven characters at most";
    const char* wpl[] = {"GPWPL,4917.16,N,12310.64,W,PBRCPK", "GPWPL,4918.00,N,12311.00,W,PBRTO",
                         "GPWPL,4919.00,N,12312.00,W,003", "GPWPL,4920.00,N,12313.00,W,PTELGR",
                         "GPWPL,4921.00,N,12314.00,W,PPLAND"};
    for (const char* w : wpl) Feed(Sentence(w));
    EXPECT_EQ(Rec().route.nFilled, 4u) << "003 is not in the route";
    EXPECT_EQ(Rec().route.bComplete, 0u);
    Feed(Sentence("GPWPL,4922.00,N,12315.00,W,LONGNAM"));
    EXPECT_EQ(Rec().route.bComplete, 1u);

    // A route of 31 identifiers in one sentence: the slot keeps 15.
    std::string body = "GPRTE,1,1,c,R2";
    for (int i = 0; i < 33; ++i) body += ",W" + std::to_string(i);
    Feed(Sentence(body));
    EXPECT_EQ(Rec().route.nCount, 31u);
    EXPECT_EQ(Rec().route.bIdChanged, 1u);
    Feed(kRmc);
    Merge();
    EXPECT_EQ(Slot().nRouteCount, 15);
    EXPECT_STREQ(Slot().route[14].szIdent, "W14");
}

TEST_F(NmeaTest, RadioSentencesPassedToRadioPortsOnly) {
    G_Serial[2].nFunction = 4;   // a navigation radio
    G_Serial[4].nFunction = 2;   // another GPS
    const std::string good = nmea_peer::RadioSentence("21" "ABC");
    std::string bad = good;
    bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';
    Feed(bad);
    Feed(good);
    auto queued = [](uint32_t p) {
        const SerialRing& tx = G_SerialBuf[p].tx;
        return std::string(reinterpret_cast<const char*>(tx.abRing), static_cast<size_t>(tx.nWr));
    };
    EXPECT_EQ(queued(2), good) << "only the good sentence, once";
    EXPECT_EQ(queued(4), "");
}

// ---- the merge --------------------------------------------------------------

TEST_F(NmeaTest, MergeOfThePublishedExample) {
    Feed(kRmc);
    Feed(kGga);
    Merge();
    const NavSrcRec& s = Slot();
    EXPECT_EQ(s.bInUse, 1);
    EXPECT_EQ(s.nType, 1);
    EXPECT_NEAR(s.fLat, 48.1173, 1e-5);
    EXPECT_NEAR(s.fLon, 11.51667, 1e-5);
    EXPECT_EQ(int{s.nTrackTrue}, 844);
    EXPECT_EQ(int{s.nTrackMag}, 875);
    EXPECT_EQ(int{s.nMagVar}, 31);
    EXPECT_EQ(int{s.nGroundSpeed}, 224);
    EXPECT_EQ(int{s.nGpsAltitude}, 1789);
    EXPECT_TRUE(s.nGpsFlagsA & kNavGpsValid);
    EXPECT_TRUE(s.nGpsFlagsB & kNavGpsFix);
    EXPECT_TRUE(s.nGpsFlagsB & kNavGpsOwnPos);
    EXPECT_EQ(int{s.nTimeToWpt}, -1) << "no waypoint position";
    EXPECT_EQ(G_Serial[kPort].nRxCount, 0u) << "the merge consumed the new message";

    // With the waypoint: the RMB of the same example.
    Feed(kRmb);
    Feed(kRmc);
    Merge();
    EXPECT_EQ(int{Slot().nCrossTrack}, -66);
    EXPECT_EQ(int{Slot().nDistance}, 13);
    EXPECT_EQ(int{Slot().nDistanceCopy}, 13);
    EXPECT_EQ(int{Slot().nBearing}, 556) << "52.5 + 3.1 variation";
    EXPECT_NEAR(Slot().fWptLon, -123.1595, 1e-4);
    EXPECT_STREQ(Slot().szWaypoint, "004");
    // 4,502.3 NM (great circle, computed outside) at 22.4 kt.
    EXPECT_NEAR(Slot().nTimeToWpt, 4502.33 * 3600 / 22.4, 2);
}

TEST_F(NmeaTest, FixFromGgaQualityOrRmcMode) {
    struct Case { const char* name; const char* gga; const char* rmcMode; bool fix; int altitude; };
    const Case cases[] = {
        {"GGA 1", "1", "A", true, 1789}, {"GGA 2", "2", "A", true, 1789}, {"GGA 6 estimated", "6", "A", false, 0x7FFF},
        {"GGA 8", "8", "A", true, 1789}, {"GGA 0", "0", "A", false, 0x7FFF},
        {"RMC A", nullptr, "A", true, 0x7FFF}, {"RMC D", nullptr, "D", true, 0x7FFF},
        {"RMC E", nullptr, "E", true, 0x7FFF}, {"RMC F", nullptr, "F", true, 0x7FFF},
        {"RMC M", nullptr, "M", false, 0x7FFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(&G_NmeaGps[0], 0, sizeof G_NmeaGps[0]);
        Feed(Sentence(std::string("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,") + c.rmcMode));
        if (c.gga)
            Feed(Sentence(std::string("GPGGA,123519,4807.038,N,01131.000,E,") + c.gga + ",08,0.9,545.4,M,46.9,M,,"));
        Merge();
        EXPECT_EQ((Slot().nGpsFlagsB & kNavGpsFix) != 0, c.fix);
        EXPECT_EQ(int{Slot().nGpsAltitude}, c.altitude);
    }
    Feed(kRmc);
    Feed(Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,12000.0,M,46.9,M,,"));
    Merge();
    EXPECT_EQ(int{Slot().nGpsAltitude}, 0x7FFE) << "39,370 ft clamped below the 'none' value";
}

TEST_F(NmeaTest, StoppedRmcTimesOutThenClearsOnce) {
    G_NavSrc.hdr.nFlags0 = static_cast<uint8_t>(1u << kNavHdrPhaseShift);   // terminal: CDI 1.00 NM
    auto run = [](double seconds, bool feed) {
        for (double t = 0; t < seconds; t += 0.3) {
            if (feed) Feed(kRmc);
            Merge();
            Wait(0.3);
        }
    };
    run(3, true);
    ASSERT_TRUE(Slot().nGpsFlagsA & kNavGpsValid);
    run(10.5, false);
    const std::string log = SysLogSectorText();
    EXPECT_EQ(Count(log, "GPS NMEA: RMC Message Timeout @"), 1);
    EXPECT_EQ(Count(log, "GPS NMEA: dataValid:0, RMC:0 @"), 1);
    EXPECT_FALSE(Slot().nGpsFlagsA & kNavGpsValid);
    EXPECT_EQ(Count(RamLog(), "GPS NMEA: MemSet @"), 0) << "not before 10 s of invalid data";
    run(10.5, false);
    EXPECT_EQ(Count(RamLog(), "GPS NMEA: MemSet @"), 1);
    EXPECT_EQ(Slot().nCdiFullScale, 100) << "a cleared slot keeps its CDI scale";
    EXPECT_EQ(Slot().nGroundSpeed, 0);
    run(15, false);
    EXPECT_EQ(Count(RamLog(), "GPS NMEA: MemSet @"), 1) << "never valid since: not cleared again";

    // A second loss after a valid spell also waits its 10 s.
    run(30, true);
    run(9.5, false);
    EXPECT_EQ(Count(RamLog(), "GPS NMEA: MemSet @"), 1) << "the old invalid run does not count";
    run(11, false);
    EXPECT_EQ(Count(RamLog(), "GPS NMEA: MemSet @"), 2);
}

TEST_F(NmeaTest, DesiredTrackSourcesAndCourseOverride) {
    // BOD's identifier "-----" falls through to RMB; DTK wraps into 0..3599.
    Feed(kRmc);
    Feed(kRmb);
    Feed(Sentence("GPBOD,358.0,T,,M,-----,"));
    Merge();
    EXPECT_STREQ(Slot().szWaypoint, "004");
    EXPECT_EQ(int{Slot().nDesiredTrack}, 11) << "358.0 true + 3.1 west, wrapped";
    EXPECT_EQ(int{Slot().nCourse}, 1);
    EXPECT_TRUE(Slot().nGpsFlagsA & kNavGpsDtkValid);

    Feed(Sentence("GPBOD,,T,,M,-----,"));
    Feed(Sentence("GPRMB,A,0.66,L,003,-----,4917.24,N,12309.57,W,001.3,052.5,000.5,V"));
    Feed(kApb);
    Feed(kRmc);
    Merge();
    EXPECT_STREQ(Slot().szWaypoint, "DEST") << "BOD and RMB dashed: APB";

    // The user's course holds for 3 s, then the GPS's again.
    Slot().nCourse = 200;
    Slot().nCrsOverride = 1;
    Slot().nCrsStamp = ReadOsTimer();
    Feed(kRmc);
    Merge();
    EXPECT_EQ(int{Slot().nDesiredTrack}, 2000);
    Wait(3.2);
    Feed(kRmc);
    Merge();
    EXPECT_EQ(Slot().nCrsOverride, 0);
    EXPECT_NE(int{Slot().nDesiredTrack}, 2000);
}

// $PGRMH comes before BOD for the desired track (whole degrees, the RMC's
// 3.1 degrees west added in tenths, wrapped) and, with status A, gives the
// two vertical-guidance bytes followed by "d".
TEST_F(NmeaTest, VerticalNavigationSentence) {
    struct Case { const char* name; const char* rmh; int dtk, course; uint8_t vert[4]; };
    const Case cases[] = {
        {"status A", "PGRMH,A,123,45,-2,0,0,0,0", 1261, 126, {45, 0xFE, 'd', 0}},
        {"status V: no vertical guidance", "PGRMH,V,123,45,-2,0,0,0,0", 1261, 126, {0, 0, 0, 0}},
        {"359 + 3.1 wraps", "PGRMH,A,359,10,20,0,0,0,0", 21, 2, {10, 20, 'd', 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(&G_NmeaGps[0], 0, sizeof G_NmeaGps[0]);
        ClearNavPart(0, kNavGpsPartAt, kNavGpsPartBytes);
        for (const std::string& s : {kRmc, kRmb, kBod, Sentence(c.rmh)}) Feed(s);
        EXPECT_EQ(Rec().rmh.bReceived, 1u);
        Merge();
        EXPECT_EQ(int{Slot().nDesiredTrack}, c.dtk) << "not BOD's 105.6";
        EXPECT_EQ(int{Slot().nCourse}, c.course);
        EXPECT_TRUE(Slot().nGpsFlagsA & kNavGpsDtkValid);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(Slot().abVertGuide[i], c.vert[i]) << i;
    }
}

TEST_F(NmeaTest, RadioPartClearStaysInsideItsSlot) {
    G_NavSrc.rec[1].reserved0 = 0xA5;
    G_NavSrc.reserved = 0x5A;
    std::memset(&G_NavSrc.rec[0].nRadioFlagsA, 0x11, kNavRadioPartBytes);
    ClearNavPart(0, kNavRadioPartAt, kNavRadioPartBytes);
    ClearNavPart(4, kNavRadioPartAt, kNavRadioPartBytes);
    EXPECT_EQ(G_NavSrc.rec[0].szStation[8], 0);
    EXPECT_EQ(G_NavSrc.rec[1].reserved0, 0xA5) << "the next slot's first byte";
    EXPECT_EQ(G_NavSrc.reserved, 0x5A) << "the table's last byte";
}

}  // namespace

namespace {

// The knob's course on a GPS slot steers its desired track; on a radio slot
// it is the OBS, sent to the radio.
TEST_F(NmeaTest, KnobCourseOnGpsAndRadioSlots) {
    Feed(kRmc);
    Feed(kBod);
    Merge();
    G_NavSrc.hdr.nCrsSlot = 0;
    const int course = Slot().nCourse;
    AdjustNavCourse(-15, 0);
    EXPECT_EQ(Slot().nCrsOverride, 1);
    EXPECT_EQ(int{Slot().nCourse}, (course + 345) % 360);
    Feed(kRmc);   // the merge takes it with the GPS's next sentence
    FollowCourse();
    EXPECT_EQ(int{Slot().nDesiredTrack}, (course + 345) % 360 * 10);
    AdjustNavCourse(370, 1);
    EXPECT_EQ(int{Slot().nCourse}, 10) << "wrapped";

    G_NavSrc.hdr.nPort[1] = 2;
    G_Serial[2].nFunction = 4;
    G_NavSrc.rec[1].nType = 2;
    G_NavSrc.rec[1].nObs = 355;
    G_NavSrc.hdr.nCrsSlot = 1;
    const SerialRing& tx = G_SerialBuf[2].tx;
    const int32_t before = tx.nWr;
    AdjustNavCourse(7, 0);
    EXPECT_EQ(int{G_NavSrc.rec[1].nObs}, 2);
    EXPECT_EQ(G_NavSrc.rec[1].nCrsOverride, 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tx.abRing) + before, static_cast<size_t>(tx.nWr - before)),
              nmea_peer::RadioSentence("34002"));
}

}  // namespace
