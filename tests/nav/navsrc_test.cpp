// The navigation-source table: its start state and the routines that choose
// course, bearing and GPS slots.
#include "nav/navsrc.h"

#include <string>

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "platform/rtcchip.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"
#include "ui/knob.h"

namespace {

class NavSrcTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        SysLogOpen();
        I2cInit();
        InitNavSrc();
    }
    uint8_t ChipReg(int reg) { return board().rtcChip().Reg(reg, board().Now()); }
    // Slot s in use with a kind and, for SelectGpsSlot, valid data and a fix.
    static void Slot(int s, uint8_t kind, bool inUse = true, bool fix = false) {
        NavSrcRec& r = G_NavSrc.rec[s];
        r.nKind = kind;
        r.bInUse = inUse ? 1 : 0;
        r.nGpsFlagsA = fix ? kNavGpsValid : 0;
        r.nGpsFlagsB = fix ? kNavGpsFix : 0;
    }
};

TEST_F(NavSrcTest, StartState) {
    const NavSrcHeader& h = G_NavSrc.hdr;
    EXPECT_EQ(h.nPort[0], 5);
    EXPECT_EQ(h.nPort[2], 5);
    EXPECT_EQ(h.MAP_LATLON_PORT, 5);
    for (int s = 0; s < kNavSlots; ++s) {
        SCOPED_TRACE(s);
        EXPECT_EQ(G_NavSrc.rec[s].nKind, s == 3 ? kNavKindMap : kNavKindNone);
        EXPECT_EQ(G_NavSrc.rec[s].nPort, 5);
        EXPECT_STREQ(NavSrcKindNames[G_NavSrc.rec[s].nKind], s == 3 ? "MAP" : "NONE");
    }
}

TEST_F(NavSrcTest, GpsSlotChoices) {
    // Slot 0 GPS2 in use, 1 NAV1 in use, 2 GNAV3 not in use, 3 the map in use.
    Slot(0, 4);
    Slot(1, 2);
    Slot(2, 6, false);
    Slot(3, kNavKindMap);
    struct Case { const char* name; int32_t slot, withMap, next; };
    const Case next[] = {
        {"from the map to slot 0", 3, 0, 0},
        {"only itself qualifies", 0, 0, 0},
        {"the map with the flag", 0, 1, 3},
        {"a radio slot moves on", 1, 0, 0},
        {"not in use is skipped", 2, 1, 3},
    };
    for (const Case& c : next) EXPECT_EQ(NextGpsSlot(c.slot, c.withMap), c.next) << c.name;
    Slot(0, 2);
    EXPECT_EQ(NextGpsSlot(1, 0), 1) << "none qualifies, the argument itself is returned";
    EXPECT_EQ(NextGpsSlot(4, 0), 4) << "slot 4 only when passed in";

    const uint8_t kinds[] = {0, 1, 3, 4, 6, 7, 2, 9, 13};
    const int32_t numbers[] = {1, 1, 2, 2, 3, 3, 0, 0, 0};
    for (int i = 0; i < 9; ++i) {
        Slot(0, kinds[i]);
        EXPECT_EQ(NavSlotGpsNo(0), numbers[i]) << "kind " << int{kinds[i]};
    }
    EXPECT_EQ(NavSlotGpsNo(3), 0) << "MAP";
    EXPECT_EQ(NavSlotGpsNo(7), 0);

    Slot(0, 1, true, false);
    Slot(1, 4, true, true);
    Slot(2, 7, true, false);
    EXPECT_EQ(SelectGpsSlot(2), 1) << "round robin past slot 2";
    EXPECT_EQ(SelectGpsSlot(9), 1) << "above 2 starts at 0";
    G_NavSrc.rec[1].nGpsFlagsB = 0;
    EXPECT_EQ(SelectGpsSlot(2), 2) << "none with a fix: the start";
}

TEST_F(NavSrcTest, CourseAndBearingChoicesReachClockMemoryAndTheKnob) {
    NvSetU32(kNvKnobListLeft, 0xFFFFFFFFu);
    G_NavSrc.rec[1].nType = 2;   // a navigation radio
    G_NavSrc.rec[0].nType = 1;   // a GPS
    G_NavSrc.hdr.nCrsSlot = 1;
    G_Knob0.nFunction = G_Knob0.nMainFunction = kKnobDim;
    SelectCrsSource();
    EXPECT_EQ(G_NavSrc.hdr.nFlags0 & 3, kNavHdrCrsRadio);
    EXPECT_EQ(G_Knob0.nFunction, kKnobCrs) << "a radio course moves the knob to the course";
    EXPECT_EQ((ChipReg(14) >> 1) & 7, 1);
    EXPECT_EQ(ChipReg(12) & 3, 2);

    G_NavSrc.hdr.nCrsSlot = 0;
    SelectCrsSource();
    EXPECT_EQ(G_NavSrc.hdr.nFlags0 & 3, kNavHdrCrsGps);
    EXPECT_NE(G_Knob0.nFunction, kKnobCrs) << "a GPS course moves it off";

    G_NavSrc.hdr.nFlags0 |= kNavHdrAltSteer;
    G_NavSrc.hdr.nCrsSlot = 7;
    SelectCrsSource();
    EXPECT_EQ(G_NavSrc.hdr.nCrsSlot, 4);
    EXPECT_EQ(G_NavSrc.hdr.nFlags0, kNavHdrAltSteer) << "both course-type bits clear, the rest kept";
    EXPECT_EQ((ChipReg(14) >> 1) & 7, 4);
    EXPECT_EQ(ChipReg(12) & 3, 0);

    G_NavSrc.hdr.nBrgSlot = 2;
    SelectBrgSource();
    EXPECT_EQ((ChipReg(14) >> 4) & 7, 2);
    G_NavSrc.hdr.nBrgSlot = 5;
    SelectBrgSource();
    EXPECT_EQ((ChipReg(14) >> 4) & 7, 4);
    EXPECT_EQ((ChipReg(14) >> 1) & 7, 4) << "the course bits are kept";

    const std::string log = SysLogSectorText();
    for (const char* line : {"NAV: crsSel:1", "NAV: crsSel:0", "NAV: No CRS Selected", "NAV: brgSel:2", "NAV: No BRG Selected"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

}  // namespace

namespace {

// The sources from the port settings, and the course and bearing choices
// kept in the clock chip coming back at the next start when still usable.
TEST_F(NavSrcTest, AssignmentAndChoicesAcrossAPowerCycle) {
    G_Serial[1].nFunction = 0;    // the console
    G_Serial[2].nFunction = 4;    // a navigation radio
    G_Serial[3].nFunction = 19;   // a GPS at 9,600
    G_Serial[4].nFunction = 5;    // the ARINC adapter: GPS and radio
    FindNavSources();
    const NavSrcHeader& h = G_NavSrc.hdr;
    EXPECT_EQ(h.nPort[0], 2);
    EXPECT_EQ(h.nPort[1], 3);
    EXPECT_EQ(h.nPort[2], 4);
    struct Kind { int slot; const char* name; int type; };
    const Kind kinds[] = {{0, "NAV1", 2}, {1, "GPS2", 1}, {2, "GNAV3", 1}};
    for (const Kind& k : kinds) {
        EXPECT_STREQ(NavSrcKindNames[G_NavSrc.rec[k.slot].nKind], k.name);
        EXPECT_EQ(G_NavSrc.rec[k.slot].nType, k.type) << k.name;
        EXPECT_EQ(G_NavSrc.rec[k.slot].nPort, h.nPort[k.slot]) << k.name;
    }
    EXPECT_EQ(h.nCrsSlot, 0) << "a new chip's register names slot 0, which has a source";
    EXPECT_EQ(h.nBrgSlot, 0);

    G_NavSrc.hdr.nCrsSlot = 7;   // none, then the pilot picks the radio for the course
    SelectCrsSource();
    InitNavSrc();
    G_NavSrc.hdr.nPort[1] = 3;
    SetNavSrcKinds();
    EXPECT_EQ(G_NavSrc.hdr.nCrsSlot, 1) << "no choice stored: the first GPS";
    G_NavSrc.hdr.nCrsSlot = 0;
    SelectCrsSource();
    G_NavSrc.hdr.nBrgSlot = 2;
    SelectBrgSource();

    // Power cycle: fresh records, the chip keeps its registers.
    InitNavSrc();
    G_NavSrc.hdr.nPort[0] = 2;
    G_NavSrc.hdr.nPort[1] = 3;
    G_NavSrc.hdr.nPort[2] = 4;
    SetNavSrcKinds();
    EXPECT_EQ(G_NavSrc.hdr.nCrsSlot, 0);
    EXPECT_EQ(G_NavSrc.hdr.nBrgSlot, 2);

    // The GPS of the bearing choice is gone at the next start: the first GPS.
    InitNavSrc();
    G_NavSrc.hdr.nPort[0] = 2;
    G_NavSrc.hdr.nPort[1] = 3;
    SetNavSrcKinds();
    EXPECT_EQ(G_NavSrc.hdr.nCrsSlot, 0);
    EXPECT_EQ(G_NavSrc.hdr.nBrgSlot, 1);
    EXPECT_EQ((ChipReg(14) >> 4) & 7, 1) << "and stored";
}

// The demonstration GPS is Src1's GPS while the navigation streams run on
// it: its slot is named and chosen like any GPS, the others stay unused.
TEST_F(NavSrcTest, DemoGpsIsTheFirstGps) {
    for (const bool demo : {false, true}) {
        SCOPED_TRACE(demo);
        InitNavSrc();
        G_DemoFlags = demo ? kDemoNav : 0;
        for (int s = kStreamNav1; s < kStreamNav1 + 3; ++s) G_NetStreamCfg[s].DSRC = demo ? 3 : 2;
        SetNavSrcKinds();
        EXPECT_STREQ(NavSrcKindNames[G_NavSrc.rec[0].nKind], demo ? "GPS1" : "NONE");
        EXPECT_EQ(G_NavSrc.rec[0].nType, demo ? 1 : 0);
        EXPECT_EQ(G_NavSrc.rec[0].nPort, kNavNoPort);
        EXPECT_STREQ(NavSrcKindNames[G_NavSrc.rec[1].nKind], "NONE");
        EXPECT_EQ(G_NavSrc.hdr.nCrsSlot, demo ? 0 : kNavNoneSlot);
        G_NavSrc.rec[0].bInUse = 1;   // as each step of the source marks it
        EXPECT_EQ(NextGpsSlot(kNavMapSlot, 0), demo ? 0 : kNavMapSlot) << "the map's source step finds it";
    }
}

}  // namespace
