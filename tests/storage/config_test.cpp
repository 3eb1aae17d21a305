// Configuration files: KEY, VALUE lines read into and written from the shared tables.
#include "storage/config.h"

#include <cstring>
#include <string>

#include "core/syslog.h"
#include "platform/monitor.h"
#include "storage/flash.h"
#include "gui/gui.h"
#include "support/board_fixture.h"
#include "ui/popup.h"

namespace {

class ConfigTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        GUI_Init();   // the defragmentation draws its messages, as after the boot screen
        SysLogOpen();
    }
    // The system log written since the start of the test.
    static std::string Log() { return SysLogSectorText(); }
    static void SetPair(int i, const char* key, const char* value) {
        std::snprintf(G_CfgKey[i], kCfgFieldBytes, "%s", key);
        std::snprintf(G_CfgValue[i], kCfgFieldBytes, "%s", value);
    }
};

TEST_F(ConfigTest, ReaderSplitsKeysAndValues) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::pair<std::string, std::string>> pairs;
    };
    const Case cases[] = {
        {"skipped lines and a key alone", "A, 1\n# note\n starts blank\nC\n", {{"A", " 1"}, {"C", ""}}},
        {"a value cut at its comma", "X, 1,5\n", {{"X", " 1"}}},
        {"an empty field between commas", "K,,X\n", {{"K", ""}}},
        {"CR LF line ends", "NAME, LEFT TANK\r\nC\r\n", {{"NAME", " LEFT TANK"}, {"C", ""}}},
        {"no final line feed", "LAST, 9", {{"LAST", " 9"}}},
        {"digit first", "1ST, a\n_X, b\n", {{"1ST", " a"}}},
        {"fields cut to 95", std::string(120, 'K') + ", " + std::string(120, 'V') + "\n",
         {{std::string(95, 'K'), " " + std::string(94, 'V')}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put("SYSTEM.KVD", c.file);
        ASSERT_EQ(ReadConfigFile(kCfgSystem, kExtKvd), 0);
        ASSERT_EQ(G_CfgCount, c.pairs.size());
        for (size_t i = 0; i < c.pairs.size(); ++i) {
            EXPECT_EQ(G_CfgKey[i], c.pairs[i].first);
            EXPECT_EQ(G_CfgValue[i], c.pairs[i].second);
        }
    }
}

TEST_F(ConfigTest, LongLinesAndManyLines) {
    // Only the first 255 characters of a long line count; its rest is not a line.
    Put("ENGINE.KVD", "K, " + std::string(297, 'v') + "\nNEXT, 2\n");
    ASSERT_EQ(ReadConfigFile(kCfgEngine, kExtKvd), 0);
    ASSERT_EQ(G_CfgCount, 2u);
    EXPECT_EQ(std::strlen(G_CfgValue[0]), 95u);
    EXPECT_STREQ(G_CfgKey[1], "NEXT");

    std::string many;
    for (int i = 0; i < 1100; ++i) many += "KEY" + std::to_string(i) + ", " + std::to_string(i) + "\n";
    Put("ENGINE.KVD", many);
    ASSERT_EQ(ReadConfigFile(kCfgEngine, kExtKvd), 0);
    EXPECT_EQ(G_CfgCount, 1024u);
    EXPECT_STREQ(G_CfgKey[1023], "KEY1023");
    EXPECT_NE(Log().find("Reading ENGINE.KVD... Done, 1024 recs\n"), std::string::npos);
}

// A damaged or hostile file is read as far as it goes, and one log line
// names what was skipped or cut; a sound file adds none.
TEST_F(ConfigTest, WhatIsSkippedOrCutIsLoggedOncePerFile) {
    std::string many;
    for (int i = 0; i < 1030; ++i) many += "K" + std::to_string(i) + ", 1\n";
    struct Case { const char* name; std::string file; const char* line; };
    const Case cases[] = {
        {"sound, with blank lines", "A, 1\n\n  \nB, 2\n", nullptr},
        {"binary garbage", std::string("A, 1\n\x01\xff\x80zz\n\x7f\n", 13), "WARN: SYSTEM.KVD: 2 skipped, 0 no comma, 0 long\n"},
        {"lines without a comma", "A\nB 2\nC, 3\n", "WARN: SYSTEM.KVD: 0 skipped, 2 no comma, 0 long\n"},
        {"a line of 1.5 MB", "A, " + std::string(1500000, '9') + "\nB, 1\n", "WARN: SYSTEM.KVD: 0 skipped, 0 no comma, 1 long\n"},
        {"more than 1024 lines", many, "WARN: SYSTEM.KVD: 0 skipped, 0 no comma, 0 long, cut at 1024\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t mark = Log().size();
        Put("SYSTEM.KVD", c.file);
        ASSERT_EQ(ReadConfigFile(kCfgSystem, kExtKvd), 0);
        const std::string added = Log().substr(mark);
        if (c.line) EXPECT_NE(added.find(c.line), std::string::npos) << added;
        else EXPECT_EQ(added.find("WARN:"), std::string::npos) << added;
    }
}

TEST_F(ConfigTest, MissingFile) {
    G_CfgCount = 7;
    EXPECT_EQ(ReadConfigFile(kCfgAirdata, kExtKvc), -1);
    EXPECT_EQ(G_CfgCount, 0u);
    EXPECT_NE(Log().find("Reading AIRDATA.KVC... TFS ERROR: AIRDATA.KVC: file not found\n"), std::string::npos);
    EXPECT_EQ(ReadConfigFile(kCfgFileIds, 0), -1);   // no such id
}

TEST_F(ConfigTest, WriterIsByteExactAndReplaces) {
    SetPair(0, "ENABLE", "1");
    SetPair(1, "RPM_1", "2700");
    ASSERT_EQ(writedatabyline(2, kCfgEngine, kExtKvd), 0);
    EXPECT_EQ(Contents("ENGINE.KVD"), "ENABLE, 1\nRPM_1, 2700\n");
    EXPECT_EQ(Contents("ENGINE.KVD").size(), 22u);

    SetPair(0, "ENABLE", "0");
    ASSERT_EQ(writedatabyline(1, kCfgEngine, kExtKvd), 0);
    EXPECT_EQ(Contents("ENGINE.KVD"), "ENABLE, 0\n");
    // The written file reads back with the blank the writer put in.
    ASSERT_EQ(ReadConfigFile(kCfgEngine, kExtKvd), 0);
    EXPECT_STREQ(G_CfgValue[0], " 0");

    ASSERT_EQ(mon_tfsunlink("ENGINE.KVD"), 0);
    EXPECT_EQ(ReadConfigFile(kCfgEngine, kExtKvd), -1);

    // The sound files have no settings extension but the ids still name them.
    SetPair(0, "A", "B");
    ASSERT_EQ(writedatabyline(1, 37, kCfgNoExt), 0);
    EXPECT_EQ(Contents("TIMER"), "A, B\n");
}

TEST_F(ConfigTest, WriterRefusesBadCounts) {
    SetPair(0, "ENABLE", "1");
    ASSERT_EQ(writedatabyline(1, kCfgEngine, kExtKvd), 0);
    for (int n : {0, -1, 1025, 200000}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(writedatabyline(n, kCfgEngine, kExtKvd), -1);
        EXPECT_EQ(Contents("ENGINE.KVD"), "ENABLE, 1\n");
        EXPECT_NE(Log().find("ERROR: writedatabyline too many lines:" + std::to_string(n) + "\n"), std::string::npos);
    }
    // The full tables make an image well inside the limit.
    for (int i = 0; i < kCfgPairs; ++i) {
        std::memset(G_CfgKey[i], 'K', kCfgFieldBytes);
        std::memset(G_CfgValue[i], 'V', kCfgFieldBytes);
    }
    EXPECT_EQ(writedatabyline(kCfgPairs, kCfgEngine, kExtKvd), 0);
    EXPECT_EQ(Contents("ENGINE.KVD").size(), 1024u * (95 + 95 + 3));

    EXPECT_EQ(FlashWriteTFS("X", nullptr, 0), -1);
    EXPECT_EQ(FlashWriteTFS("X", nullptr, 0x31000), -1);
    EXPECT_NE(Log().find("ERROR: FlashWriteTFS(X,200704) file too big or ZERO\n"), std::string::npos);
}

TEST_F(ConfigTest, DefragRunsOnlyWhenSpaceIsShort) {
    // Fill the file system to about 600 KB free, with some dead space.
    std::string big(200000, 'x');
    int i = 0;
    while (mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0) > 600 * 1024 + 220000) Put(("F" + std::to_string(i++)).c_str(), big);
    long rest = mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0) - 600 * 1024 - 64;
    Put("FILL", std::string(static_cast<size_t>(rest), 'f'));
    Put("F0", "small\n");
    long dead = mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0);
    ASSERT_GT(dead, 0);
    ASSERT_GT(mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0), 524288);
    TFS_Defrag(0);
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), dead);
    EXPECT_EQ(G_TfsSize, static_cast<uint32_t>(mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0) + mon_tfsctrl(kTfsCtrlUsedRequest, 0, 0)));
    EXPECT_NE(Log().find("TFS: Size:"), std::string::npos);

    // Below 512 KB with dead space: defragmented, the dead space is gone.
    Put("G", big);
    ASSERT_LT(mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0), 524288);
    TFS_Defrag(0);
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 0);
    EXPECT_NE(Log().find("DEBUG: TFS_DEFRAG Started \n"), std::string::npos);
    EXPECT_EQ(Contents("F0"), "small\n");

    // Below 512 KB, no dead space: nothing to gain.
    Put("H", big);
    ASSERT_LT(mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0), 524288);
    uint32_t gen = board().tfs().Generation();
    TFS_Defrag(0);
    EXPECT_EQ(board().tfs().Generation(), gen);
    TFS_Defrag(1);   // forced
    EXPECT_EQ(board().tfs().Generation(), gen + 1);
    EXPECT_EQ(Log().find("TFS: Size:", Log().find("TFS: Size:") + 1), std::string::npos);   // first call only
}

// The pilot sees what the defragmentation does: the unforced one ends on its
// result pop-up, the forced one leaves nothing in its box.
TEST_F(ConfigTest, DefragShowsItsResultAndClearsItsBox) {
    auto lit = [](int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += GUI_GetPixelIndex(x, y) != 0;
        return n;
    };
    TFS_Defrag(1);
    EXPECT_NE(Log().find("DEBUG: TFS_DEFRAG Complete"), std::string::npos);
    EXPECT_EQ(lit(176, 240, 464, 304), 0) << "the forced texts are cleared again";

    // Unforced, with little space and some dead space.
    std::string big(200000, 'x');
    for (int i = 0; mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0) > 500 * 1024; ++i) Put(("F" + std::to_string(i)).c_str(), big);
    Put("F0", "small\n");
    ASSERT_GT(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 0);
    TFS_Defrag(0);
    ASSERT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 0);
    EXPECT_EQ(G_Popup.bActive, 1u);
    EXPECT_STREQ(G_Popup.szText, "Flash Defrag COMPLETE ... Thank You");
    EXPECT_EQ(G_Popup.nColour, 5u);
    EXPECT_GT(lit(G_Popup.x0, G_Popup.y0, G_Popup.x1, G_Popup.y1), 50);
}

}  // namespace
