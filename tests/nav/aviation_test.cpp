// Aviation-format GPS input into its slot, and the unit's aviation output
// read back by an independent decoder.
#include "nav/aviation.h"

#include <cstring>
#include <string>

#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"
#include "peers/aviation_peer.h"
#include "support/board_fixture.h"

namespace {

constexpr uint32_t kPort = 2;

class AviationTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        SysLogOpen();
        InitRamLog(0);
        InitNavSrc();
        std::memset(G_AvtnGps, 0, sizeof G_AvtnGps);
        std::memset(G_NavValidCount, 0, sizeof G_NavValidCount);
        std::memset(G_NavInvalidCount, 0, sizeof G_NavInvalidCount);
        G_NavSrc.hdr.nPort[1] = kPort;
        G_Serial[kPort].nFunction = 22;
    }
    static void Feed(const std::string& m) {
        std::string copy = m;
        ParseAvaiationMsg(reinterpret_cast<uint8_t*>(copy.data()), static_cast<int32_t>(copy.size()), kPort);
    }
    static NavSrcRec& Slot() { return G_NavSrc.rec[1]; }
};

const std::string kMessage = aviation_peer::Message(
    {"z01500", "A N 45 1830", "B W 093 1200", "C275", "D142", "E00235", "GL0045", "I2710", "KKMSP ", "L2695",
     "QE020", "S-----"});

TEST_F(AviationTest, RecordIntoTheSlot) {
    Feed(kMessage);
    EXPECT_EQ(G_Serial[kPort].nRxCount, 1u);
    UpdateNavSrc(kPort);
    const NavSrcRec& s = Slot();
    EXPECT_TRUE(s.nGpsFlagsA & kNavGpsValid);
    EXPECT_TRUE(s.nGpsFlagsB & kNavGpsFix);
    EXPECT_TRUE(s.nGpsFlagsB & kNavGpsOwnPos);
    EXPECT_NEAR(s.fLat, 45.305, 1e-5);     // 45 degrees 18.30 minutes
    EXPECT_NEAR(s.fLon, -93.2, 1e-5);
    EXPECT_EQ(int{s.nTrackMag}, 2750);
    EXPECT_EQ(int{s.nMagVar}, -20) << "east is negative";
    EXPECT_EQ(int{s.nTrackTrue}, 2770);
    EXPECT_EQ(int{s.nGroundSpeed}, 1420);
    EXPECT_EQ(int{s.nDistance}, 235);
    EXPECT_EQ(int{s.nCrossTrack}, -45) << "steer left";
    EXPECT_EQ(int{s.nDesiredTrack}, 2710);
    EXPECT_EQ(int{s.nCourse}, 271);
    EXPECT_EQ(int{s.nBearing}, 2695);
    EXPECT_STREQ(s.szWaypoint, "KMSP");
    EXPECT_EQ(int{s.nTimeToWpt}, 596) << "23.5 NM at 142 kt";

    // A navigator flagging its data: no fix. Silence: invalid after 10 s,
    // cleared after six invalid passes.
    Feed(aviation_peer::Message({"A N 45 1830", "B W 093 1200", "S----N"}));
    UpdateNavSrc(kPort);
    EXPECT_FALSE(Slot().nGpsFlagsB & kNavGpsFix);
    DelayTicks(kNavTimeoutTicks + kTicksPerSecond);
    for (int i = 0; i < 5; ++i) UpdateNavSrc(kPort);
    EXPECT_FALSE(Slot().nGpsFlagsA & kNavGpsValid);
    EXPECT_NE(Slot().nGroundSpeed, 0) << "five invalid passes keep the data";
    UpdateNavSrc(kPort);
    EXPECT_EQ(Slot().nGroundSpeed, 0) << "the sixth clears it";
    const std::string log = SysLogSectorText();
    EXPECT_NE(log.find("GPS AVIATION: Message Timeout @"), std::string::npos);
    EXPECT_NE(log.find("GPS AVIATION: Data Invalid @"), std::string::npos);
    bool memset = false;
    for (uint32_t i = 0; i < G_RamLog.nCount; ++i) memset = memset || std::strstr(G_RamLog.szLine[i], "GPS AVAIATION: MemSet @");
    EXPECT_TRUE(memset);
}

TEST_F(AviationTest, OutputDecodesToTheSlot) {
    Feed(kMessage);
    UpdateNavSrc(kPort);
    uint8_t buf[160];
    const int32_t n = AvtnBuildOutput(1, buf, sizeof buf);
    const auto items = aviation_peer::Decode(std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(n)));
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.at('A'), " N 45 1830");
    EXPECT_EQ(items.at('B'), " W 093 1200");
    EXPECT_EQ(items.at('C'), "275");
    EXPECT_EQ(items.at('D'), "142");
    EXPECT_EQ(items.at('E'), "00235");
    EXPECT_EQ(items.at('G'), "L0045");
    EXPECT_EQ(items.at('I'), "2710");
    EXPECT_EQ(items.at('K'), "KMSP ");
    EXPECT_EQ(items.at('L'), "2695");
    EXPECT_EQ(items.at('Q'), "E020");

    // Function 14 and 22 ports send it from the main loop's second.
    G_NavSrc.hdr.nCrsSlot = 1;
    SendAviationOutput(3);
    const SerialRing& tx = G_SerialBuf[3].tx;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tx.abRing), static_cast<size_t>(tx.nWr)),
              std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(n)));
}

}  // namespace
