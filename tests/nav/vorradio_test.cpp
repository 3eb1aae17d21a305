// The navigation radio: its sentences through the port's parse callback into
// the radio record, the merge into a radio slot (deviation, course, radial,
// frequencies, station), the ageing and clear rule, and the course sent back.
// Sentence data are written by hand from the radio's message layouts; the
// peer adds the checksum.
#include "nav/vorradio.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"
#include "peers/nmea_peer.h"
#include "support/board_fixture.h"
#include "ui/knob.h"

namespace {

using nmea_peer::RadioSentence;

constexpr uint32_t kPort = 2;

class VorRadioTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        SysLogOpen();
        InitRamLog(0);
        InitNavSrc();
        ClearVorRadio();
        G_NavSrc.hdr.nPort[0] = kPort;
        G_Serial[kPort].nFunction = 4;
        SetNavSrcKinds();
        s_txStart = G_SerialBuf[kPort].tx.nWr;
    }
    static void Feed(const std::string& s, uint32_t port = kPort) {
        std::vector<uint8_t> exact(s.begin(), s.end());   // nothing beyond the length to read
        ParseVorMsg(exact.data(), static_cast<int32_t>(exact.size()), port);
    }
    static inline int32_t s_txStart = 0;   // what earlier cases in this process sent
    static NavSrcRec& Slot() { return G_NavSrc.rec[0]; }
    static void Merge() { UpdateNavSrc(kPort); }
    static void Wait(double seconds) { DelayTicks(static_cast<uint32_t>(seconds * kTicksPerSecond)); }
    static std::string Sent() {
        const SerialRing& tx = G_SerialBuf[kPort].tx;
        return std::string(reinterpret_cast<const char*>(tx.abRing) + s_txStart, static_cast<size_t>(tx.nWr - s_txStart));
    }
    static std::string RamLog() { return RamLogText(); }
    static int Count(const std::string& text, const std::string& what) { return static_cast<int>(CountOf(text, what)); }
};

// A VOR 110.30 ABQ, course 090, bearing to the station 270.0 (radial 090),
// needle half right, TO.
const std::string kNav = RadioSentence("21" "09" "+064" "+000");
const std::string kCrs = RadioSentence("22" "090" "2700");
const std::string kSecond = RadioSentence("23" "0450");
const std::string kFreq2 = RadioSentence("24" "11260" "11340");
const std::string kStation = RadioSentence("25" "ABQ  ");
const std::string kFreq = RadioSentence("28" "11030" "11390");

void FeedAll(const std::vector<std::string>& sentences) {
    for (const std::string& s : sentences) {
        std::vector<uint8_t> exact(s.begin(), s.end());
        ParseVorMsg(exact.data(), static_cast<int32_t>(exact.size()), kPort);
    }
}

TEST_F(VorRadioTest, SentencesIntoTheRadioSlot) {
    struct Case {
        const char* name;
        std::vector<std::string> sentences;
        int cdi, vertDev, obs, radial, active, standby, radial2, active2;
        const char* station;
        uint8_t flagsA, flagsB;
    };
    const Case cases[] = {
        {"all six messages", {kNav, kCrs, kSecond, kFreq2, kStation, kFreq}, 64, 0, 90, 900, 11030, 11390, 2250, 11260,
         "ABQ", kNavRadioValid | 1u << 3, kNavRadioCdiValid | kNavRadioRadialValid | 1u << 3 | kNavRadioStationValid},
        {"21 and 22 only: no frequencies, no station", {kNav, kCrs}, 64, 0, 90, 900, 0, 0, 0, 0, "",
         kNavRadioValid | 1u << 3, kNavRadioCdiValid | kNavRadioRadialValid},
        {"FROM, needle left, bearing 018.0 -> radial 198.0",
         {RadioSentence("21" "11" "-127" "+000"), RadioSentence("22" "200" "0180")}, -127, 0, 200, 1980, 0, 0, 0, 0, "",
         kNavRadioValid | 1u << 4, kNavRadioCdiValid | kNavRadioRadialValid},
        {"bearing 180.0 -> radial 0", {kNav, RadioSentence("22" "000" "1800")}, 64, 0, 0, 0, 0, 0, 0, 0, "",
         kNavRadioValid | 1u << 3, kNavRadioCdiValid | kNavRadioRadialValid},
        {"flagged: deviation not valid", {RadioSentence("21" "00" "+000" "+000"), kCrs}, 0, 0, 90, 900, 0, 0, 0, 0, "",
         kNavRadioValid, kNavRadioRadialValid},
        {"localizer with glideslope: the OBS stays", {RadioSentence("21" "65" "+010" "-040"), kCrs}, 10, -40, 0, 900, 0, 0,
         0, 0, "", kNavRadioValid | kNavRadioLoc | kNavRadioGsPresent | kNavRadioGsValid,
         kNavRadioCdiValid | kNavRadioRadialValid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InitNavSrc();
        G_NavSrc.hdr.nPort[0] = kPort;
        ClearVorRadio();
        FeedAll(c.sentences);
        Merge();
        const NavSrcRec& s = Slot();
        EXPECT_EQ(s.nType, 2);
        EXPECT_EQ(int{s.nCdi}, c.cdi);
        EXPECT_EQ(int{s.nVertDev}, c.vertDev);
        EXPECT_EQ(int{s.nObs}, c.obs);
        EXPECT_EQ(int{s.nRadial}, c.radial);
        EXPECT_EQ(int{s.nActiveFreq}, c.active);
        EXPECT_EQ(int{s.nStandbyFreq}, c.standby);
        EXPECT_EQ(int{s.nRadial2}, c.radial2);
        EXPECT_EQ(int{s.nActiveFreq2}, c.active2);
        EXPECT_STREQ(s.szStation, c.station);
        EXPECT_EQ(s.nRadioFlagsA, c.flagsA);
        EXPECT_EQ(s.nRadioFlagsB, c.flagsB);
        EXPECT_EQ(G_Serial[kPort].nRxCount, 0u) << "the merge took the new message";
    }
}

TEST_F(VorRadioTest, BrokenSentencesAreRefusedAndCounted) {
    std::string flipped = kCrs;
    flipped[9] = flipped[9] == '1' ? '2' : '1';
    // A good sentence padded to 65 bytes before its CR LF: refused on its length alone.
    std::string longLine = RadioSentence("22" "090" "2700" + std::string(kVorMaxSentence - 18, '0'));
    const struct { const char* name; std::string line; uint32_t port; uint32_t VorRadioRec::*counter; } cases[] = {
        {"checksum of another sentence", flipped, kPort, &VorRadioRec::nBadCrc},
        {"lower-case checksum digits are fine, a wrong sum is not", "$PMRRV220902700ff\r\n", kPort, &VorRadioRec::nBadCrc},
        {"no checksum", "$PMRRV22\r\n", kPort, &VorRadioRec::nBadFrame},
        {"a comm sentence", "$PMRRC" + RadioSentence("22" "0902700").substr(6), kPort, &VorRadioRec::nBadFrame},
        {"over-long", longLine, kPort, &VorRadioRec::nTooLong},
        {"a message this unit does not read", RadioSentence("30" "1234"), kPort, &VorRadioRec::nUnknownId},
        {"one character short", RadioSentence("22" "090270"), kPort, &VorRadioRec::nBadLength},
        {"course 360", RadioSentence("22" "360" "2700"), kPort, &VorRadioRec::nBadField},
        {"bearing with a blank", RadioSentence("22" "090" " 270"), kPort, &VorRadioRec::nBadField},
        {"deviation without its sign", RadioSentence("21" "09" "0064" "+000"), kPort, &VorRadioRec::nBadField},
        {"deviation beyond full scale", RadioSentence("21" "09" "+128" "+000"), kPort, &VorRadioRec::nBadField},
        {"frequency off the band", RadioSentence("28" "10795" "11390"), kPort, &VorRadioRec::nBadField},
        {"station with a control character", RadioSentence("25" "AB\tQ "), kPort, &VorRadioRec::nBadField},
        {"a port that is no radio source", kCrs, 3, &VorRadioRec::nOtherPort},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const VorRadioRec before = G_VorRadio;
        Feed(c.line, c.port);
        EXPECT_EQ(G_VorRadio.*c.counter, before.*c.counter + 1);
        EXPECT_EQ(std::memcmp(G_VorRadio.msg, before.msg, sizeof before.msg), 0) << "no message taken";
        EXPECT_EQ(G_VorRadio.nObs, 0);
        EXPECT_EQ(G_Serial[kPort].nRxCount, 0u);
    }
    Feed(kCrs);
    EXPECT_EQ(G_VorRadio.nObs, 90) << "a good one after them";
    EXPECT_EQ(G_VorRadio.nBearing, 2700);
}

TEST_F(VorRadioTest, SilentRadioTimesOutThenClearsInsideItsSlot) {
    G_NavSrc.rec[1].reserved0 = 0xA5;   // the next slot's first byte, right after the radio part
    auto run = [](double seconds, bool feed) {
        for (double t = 0; t < seconds; t += 0.3) {
            if (feed) FeedAll({kNav, kCrs, kSecond, kFreq2, kStation, kFreq});
            Merge();
            Wait(0.3);
        }
    };
    run(3, true);
    ASSERT_TRUE(Slot().nRadioFlagsA & kNavRadioValid);
    ASSERT_STREQ(Slot().szStation, "ABQ");
    run(10.5, false);
    const std::string log = SysLogSectorText();
    for (const char* id : {"V21", "V22", "V23", "V24", "V25", "V28"})
        EXPECT_EQ(Count(log, std::string("SL30, ") + id + ": Message Timeout @"), 1) << id;
    EXPECT_FALSE(Slot().nRadioFlagsA & kNavRadioValid);
    EXPECT_EQ(Count(RamLog(), "SL-30: MemSet @"), 0) << "not before 10 s of invalid data";
    EXPECT_EQ(int{Slot().nObs}, 90) << "kept until the clear";
    run(10.5, false);
    EXPECT_EQ(Count(RamLog(), "SL-30: MemSet @"), 1);
    EXPECT_EQ(Slot().szStation[0], 0);
    EXPECT_EQ(int{Slot().nObs}, 0);
    EXPECT_EQ(G_NavSrc.rec[1].reserved0, 0xA5) << "the clear stops at the slot's end";
    EXPECT_EQ(Slot().nType, 2);
    run(12, false);
    EXPECT_EQ(Count(RamLog(), "SL-30: MemSet @"), 1) << "never valid since: not cleared again";
    EXPECT_EQ(Count(SysLogSectorText(), "Message Timeout @"), 6) << "one line per silence";

    // Only the missing message ages while the others keep coming.
    run(3, true);
    for (double t = 0; t < 11; t += 0.3) {
        FeedAll({kNav, kCrs});
        Merge();
        Wait(0.3);
    }
    EXPECT_TRUE(Slot().nRadioFlagsA & kNavRadioValid);
    EXPECT_FALSE(Slot().nRadioFlagsB & kNavRadioStationValid) << "V25 aged";
    EXPECT_EQ(+Slot().nActiveFreq, 0) << "V28 aged";
    EXPECT_EQ(Count(SysLogSectorText(), "SL30, V21: Message Timeout @"), 1);
    EXPECT_EQ(Count(SysLogSectorText(), "SL30, V25: Message Timeout @"), 2);
}

// The knob's course on the radio slot goes out at once; while the radio still
// reports its old course the merge sends it again, at most every 0.1 s; once
// the radio has it, nothing more goes out.
TEST_F(VorRadioTest, CourseSentToTheRadioAtMostEveryTenthOfASecond) {
    FeedAll({kNav, kCrs});
    Merge();
    G_NavSrc.hdr.nCrsSlot = 0;
    AdjustNavCourse(5, 0);
    const std::string obs095 = RadioSentence("34" "095");
    ASSERT_EQ(Sent(), obs095);
    EXPECT_EQ(Slot().nCrsOverride, 2);
    for (double t = 0; t < 1.0; t += 0.02) {   // the radio keeps saying 090
        Feed(kCrs);
        Merge();
        Wait(0.02);
    }
    const std::string sent = Sent();
    const int sends = Count(sent, obs095);
    EXPECT_EQ(sent.size(), obs095.size() * static_cast<size_t>(sends)) << "only the course message";
    EXPECT_GE(sends, 9);
    EXPECT_LE(sends, 11) << "1 s at most every 0.1 s, and the knob's own";
    EXPECT_EQ(int{Slot().nObs}, 95) << "the user's course, not the radio's";

    const size_t before = Sent().size();
    for (double t = 0; t < 0.5; t += 0.02) {
        Feed(RadioSentence("22" "095" "2700"));
        Merge();
        Wait(0.02);
    }
    EXPECT_EQ(Sent().size(), before) << "the radio reports 095: nothing more to send";

    Wait(3);
    Feed(RadioSentence("22" "100" "2700"));   // the radio's own knob
    Merge();
    EXPECT_EQ(Slot().nCrsOverride, 0) << "3 s after the change";
    EXPECT_EQ(int{Slot().nObs}, 100);
    EXPECT_EQ(Sent().size(), before);
}

}  // namespace
