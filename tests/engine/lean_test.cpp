// Lean assist: peaks found while the engine view is drawn during a leaning
// sequence, the peaking order with re-heats, the P/R/L letters, the "SEQ:"
// label, the texts, the engine types without lean assist, and the hottest
// and coldest EGT searches.
#include <string>
#include <vector>

#include "engine/cylinder.h"
#include "engine/lean.h"
#include "page_fixture.h"
#include "ui/keys.h"
#include "ui/statusbar.h"

namespace {

class LeanTest : public EnginePageTest {
protected:
    void SetUp() override {
        EnginePageTest::SetUp();
        Engine(kEngStd4);
        NvSetU32(kNvCylGaugeType, 1);
        Page(3);
        ASSERT_EQ(SetLeanMode(1), 1u);
        Set(kInstFuelFlow, 85);
        for (int i = 0; i < 4; ++i) Set(kInstEgt1 + i, 12000);
    }
    // One frame of the engine pane with EGT_n (1-based) at `degrees`.
    static void Frame(int cyl, double degrees) {
        Set(kInstEgt1 + cyl - 1, static_cast<int32_t>(degrees * 10));
        DrawCylinderGauges();
    }
    static std::string Drop(int cyl) {
        char t[8];
        FormatDropText(kInstEgt1 + cyl - 1, t, sizeof t);
        return t;
    }
    static std::string Order() {
        std::string s;
        for (int i = 0; i < G_EgtPeakSeq.count; ++i) s += static_cast<char>('1' + G_EgtPeakSeq.order[i]);
        return s;
    }
};

TEST_F(LeanTest, PeaksAfterTenDegreesDropWithOneLogLine) {
    Frame(1, 1400);
    Frame(1, 1395);
    EXPECT_EQ(G_EgtPeak[0].peak, 1400);
    EXPECT_EQ(G_EgtPeak[0].drop, 5);
    EXPECT_EQ(G_EgtPeak[0].peaked, 0);
    EXPECT_EQ(Drop(1), "    ");
    EXPECT_EQ(Log().find("Peaked"), std::string::npos);

    Frame(1, 1390);
    EXPECT_EQ(G_EgtPeak[0].peaked, 1);
    EXPECT_EQ(G_EgtPeakSeq.count, 1);
    EXPECT_EQ(Order(), "1");
    EXPECT_EQ(Drop(1), " 10P");
    EXPECT_NE(Log().find(" - EGT:1 Peaked: NumPeaked:1, SEQ:111111\n"), std::string::npos) << Log();
    // Staying peaked logs nothing more.
    Frame(1, 1380);
    EXPECT_EQ(G_EgtPeakSeq.count, 1);
    const std::string log = Log();
    EXPECT_EQ(log.find("EGT:1 Peaked:"), log.rfind("EGT:1 Peaked:"));
}

TEST_F(LeanTest, EachCylinderPeaksInTurnAndAReheatLosesItsPlace) {
    // Cylinders peak at 1400 one after another in the order 3, 1, 4, 2.
    for (int cyl : {1, 2, 3, 4}) Frame(cyl, 1400);
    for (int cyl : {3, 1, 4, 2}) Frame(cyl, 1385);
    EXPECT_EQ(G_EgtPeakSeq.count, 4);
    EXPECT_EQ(Order(), "3142");

    // Cylinder 1 re-heats past its peak: out of the order, the rest move down.
    Frame(1, 1401);
    EXPECT_EQ(G_EgtPeak[0].peaked, 0);
    EXPECT_EQ(G_EgtPeak[0].peak, 1401);
    EXPECT_EQ(G_EgtPeakSeq.count, 3);
    EXPECT_EQ(Order(), "342");
    EXPECT_NE(Log().find(" - EGT:1 Unpeaked, NumPeaked:3, SEQ:342211\n"), std::string::npos) << Log();
    // Falling ten degrees again appends it at the end.
    Frame(1, 1391);
    EXPECT_EQ(Order(), "3421");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(G_EgtPeak[i].peaked, 1) << i;
}

TEST_F(LeanTest, LetterFollowsFuelFlowAgainstThePeakFlow) {
    Frame(1, 1400);   // flow 8.5 at the peak
    struct Case {
        int32_t flow;
        const char* drop;
    };
    const Case cases[] = {{80, " 12L"}, {90, " 12R"}, {85, " 12P"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flow);
        Set(kInstFuelFlow, c.flow);
        Frame(1, 1388);
        EXPECT_EQ(Drop(1), c.drop);
    }
    EXPECT_EQ(G_EgtPeak[0].peakFuelFlow, 85);
}

TEST_F(LeanTest, SequenceLabelOnlyInTheEgtChtMenu) {
    G_MenuState = 3;
    for (int cyl : {2, 4}) Frame(cyl, 1400);
    for (int cyl : {4, 2}) Frame(cyl, 1380);
    EXPECT_EQ(std::string(G_SoftKeyLabel[4]), "");

    G_MenuState = 33;
    DrawCylinderGauges();
    EXPECT_EQ(std::string(G_SoftKeyLabel[4]), "SEQ:42");
    ResetLeanPeaks();
    DrawCylinderGauges();
    EXPECT_EQ(std::string(G_SoftKeyLabel[4]), "SEQ:");
}

TEST_F(LeanTest, PeakTextInCelsiusDropInStoredDegrees) {
    G_InstCfg[kInstEgt1].nUnits = 1;
    Frame(1, 1400);
    Frame(1, 1385);
    char peak[8];
    FormatPeakText(kInstEgt1, peak, sizeof peak);
    EXPECT_STREQ(peak, "760");
    EXPECT_EQ(Drop(1), " 15P");

    // An invalid reading shows blanks and leaves its record as it was.
    Set(kInstEgt1, 0, false);
    DrawCylinderGauges();
    FormatPeakText(kInstEgt1, peak, sizeof peak);
    EXPECT_STREQ(peak, "   ");
    EXPECT_EQ(Drop(1), "    ");
    EXPECT_EQ(G_EgtPeak[0].peak, 1400);
    EXPECT_EQ(G_EgtPeak[0].drop, 15);
}

TEST_F(LeanTest, RoundedEgtHalvesAwayFromZero) {
    EXPECT_EQ(RoundedEgt(13994), 1399);
    EXPECT_EQ(RoundedEgt(13995), 1400);
    EXPECT_EQ(RoundedEgt(-15), -2);
}

TEST_F(LeanTest, SwitchingOnClearsOffKeepsAndSomeEnginesHaveNone) {
    Frame(1, 1400);
    Frame(1, 1380);
    EXPECT_EQ(SetLeanMode(0), 0u);
    EXPECT_EQ(G_EgtPeakSeq.count, 1);   // kept while off
    EXPECT_EQ(SetLeanMode(2), 1u);      // any non-zero mode is on, and on clears
    EXPECT_EQ(G_EgtPeakSeq.count, 0);
    EXPECT_EQ(G_EgtPeak[0].peak, 0);

    for (int32_t type : {kEngRotax912, kEngRotax914, kEngM14}) {
        SCOPED_TRACE(type);
        G_EngInfo.nEngineType = type;
        EXPECT_EQ(SetLeanMode(1), 0u);
        EXPECT_EQ(G_LeanMode, 0u);
    }
}

TEST_F(LeanTest, HottestAndColdestEgt) {
    struct Case {
        const char* name;
        int32_t type;
        std::vector<std::pair<int32_t, int32_t>> values;   // instrument, tenths
        int32_t hot, cold;
    };
    const Case cases[] = {
        {"four cylinders", kEngStd4, {{26, 1300}, {27, 1450}, {28, 1200}, {29, 1400}}, 27, 28},
        {"tie keeps the lower", kEngStd4, {{26, 1300}, {27, 1450}, {28, 1450}, {29, 1300}}, 27, 26},
        {"all equal: the next channel", kEngStd4, {{26, 1300}, {27, 1300}, {28, 1300}, {29, 1300}}, 26, 27},
        {"all equal at the last: back to 26", kEngStd4, {{26, 1300}, {27, 1300}, {28, 1300}, {29, 1300}}, 29, 26},
        {"six: channels 30, 31 count", kEngStd6, {{26, 1300}, {27, 1300}, {28, 1300}, {29, 1300}, {30, 1500}, {31, 900}},
         30, 31},
        {"four: channels 30, 31 do not", kEngStd4, {{26, 1300}, {27, 1350}, {28, 1300}, {29, 1300}, {30, 1500}, {31, 900}},
         27, 26},
        {"radial: TITs and CHT_6 are EGTs 7..9", kEngM14,
         {{26, 1300}, {27, 1300}, {28, 1300}, {29, 1300}, {30, 1300}, {31, 1300}, {32, 1250}, {33, 1300}, {39, 1600}},
         39, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = kInstEgt1; i <= kInstCht6; ++i) Set(i, 0);
        Engine(c.type);
        for (auto [inst, value] : c.values) Set(inst, value);
        G_EngInfo.nHotEgt = FindHottestEgt();
        // The "last channel" case starts the coldest search from a given hottest.
        if (std::string(c.name).find("at the last") != std::string::npos) G_EngInfo.nHotEgt = 29;
        else EXPECT_EQ(G_EngInfo.nHotEgt, c.hot);
        EXPECT_EQ(FindColdestEgt(), c.cold);
    }
}

}  // namespace
