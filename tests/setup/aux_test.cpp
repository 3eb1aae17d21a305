// The auxiliary pages driven through the front panel: opening by the RPM,
// turning checklist pages, key 1 with an alarm, the soft-key labels, the
// checklist and maintenance files, the dates and the calibration request.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/alarm.h"
#include "core/boot.h"
#include "core/rtc.h"
#include "efis/airdata.h"
#include "engine/instrument.h"
#include "map/mapfile.h"
#include "nav/arinc.h"
#include "setup/auxpages.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/nvram.h"
#include "support/shell.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/ui_fixture.h"
#include "wx/wx.h"

namespace {

class AuxTest : public MainPagesTest {
protected:
    void Drive(double ms) {
        const uint64_t end = At(ms);
        board().Reschedule();
        RunApp([&] {
            while (board().Now() < end) {
                if (G_KeyEvent != 0 || G_Knob0.nDelta != 0 || G_Knob1.nDelta != 0) MainKeyHandler();
                HwIdle();
            }
        });
    }
    void Push(int button, double ms = 80) {
        Restart();
        Press(button, 10, ms);
        Drive(ms + 200);
    }
    void Labels(const char* k2, const char* k3, const char* k4, const char* k5, const char* knob) {
        EXPECT_STREQ(G_SoftKeyLabel[2], k2);
        EXPECT_STREQ(G_SoftKeyLabel[3], k3);
        EXPECT_STREQ(G_SoftKeyLabel[4], k4);
        EXPECT_STREQ(G_SoftKeyLabel[5], k5);
        EXPECT_STREQ(G_SoftKeyLabel[6], knob);
    }
    void Checklists(const std::string& text) {
        Put("CHKLST.KVD", text);
        RunApp([] { ReadChecklistFile(); });
    }
    void Maint(const std::string& text) {
        Put("MAINT.KVD", text);
        RunApp([] { ReadMaintFile(); });
    }
};

TEST_F(AuxTest, OpeningShowsTheChecklistOfTheEngineState) {
    struct Case { int32_t rpm; uint32_t idx; };
    for (const Case& c : {Case{0, 0}, Case{12000, 2}, Case{24000, 5}}) {
        SCOPED_TRACE(c.rpm);
        G_InstReading[kInstRpm].nValue = c.rpm;
        Push(5);
        EXPECT_EQ(G_CurPage, 10);
        EXPECT_EQ(G_AuxPageIdx, c.idx);
        Push(1);
        EXPECT_EQ(G_CurPage, 3);
    }
}

TEST_F(AuxTest, PageKeysSkipUntitledChecklists) {
    Checklists("CHKLST0.TITLE, Preflight\nCHKLST5.TITLE, Cruise\n");
    G_InstReading[kInstRpm].nValue = 24000;
    Push(5);
    ASSERT_EQ(G_AuxPageIdx, 5u);
    Push(5);
    EXPECT_EQ(G_AuxPageIdx, 0u);
    Push(4);
    EXPECT_EQ(G_AuxPageIdx, 5u);
    Push(4);
    EXPECT_EQ(G_AuxPageIdx, 0u);
    Checklists("");   // none titled: the index stays a checklist
    Push(5);
    EXPECT_LT(G_AuxPageIdx, 20u);
    Push(4);
    EXPECT_LT(G_AuxPageIdx, 20u);
}

TEST_F(AuxTest, KeyOneAcknowledgesAnAlarmFirstThenLeaves) {
    Push(5);
    ASSERT_EQ(G_CurPage, 10);
    RunApp([] { G_AlarmCur = 5; });
    Push(1);
    EXPECT_EQ(G_CurPage, 10) << "the alarm is acknowledged only";
    RunApp([] { G_AlarmCur = -1; });
    Drive(700);
    Push(1);
    EXPECT_EQ(G_CurPage, 3);
}

TEST_F(AuxTest, PageIndexOutsideThePagesDrawsNothingAndTakesNoKey) {
    Push(5);
    RunApp([] {
        G_AuxPageIdx = 24;
        const uint32_t state = G_MenuState;
        AuxPageKeys(2);
        AuxPageKeys(5);
        EXPECT_EQ(G_CurPage, 10);
        EXPECT_EQ(G_MenuState, state);
        GUI_SetBkColorIndex(0);
        GUI_ClearRect(383, 0, 639, 339);
        DrawAuxPage();
    });
    bool lit = false;
    for (int y = 0; y < 339 && !lit; ++y)
        for (int x = 383; x < 639 && !lit; ++x) lit = GUI_GetPixelIndex(x, y) != 0;
    EXPECT_FALSE(lit);
}

TEST_F(AuxTest, SoftKeyLabelsByPageStateAndFlight) {
    struct Case { uint32_t idx, state; int32_t ias; uint32_t demo; const char* k[5]; };
    const Case cases[] = {
        {3, 0, 0, 0, {"MAINT.", "BALANCE", "PREV PG", "NEXT PG", "DIM: 0"}},   // the knob label of its function
        {20, kMenuMaint, 0, 0, {"", "ADMIN", "PREV", "NEXT", "(ABOUT)"}},
        {20, kMenuMaintLogs, 0, 0, {"DATA LOGS", "SYS LOGS", "CALIBRATION", "UPDATE", ""}},
        {20, kMenuMaintLogs, 900, 0, {"", "SYS LOGS", "", "UPDATE", ""}},
        {20, kMenuMaintLogs, 900, kDemoAir, {"DATA LOGS", "SYS LOGS", "CALIBRATION", "UPDATE", ""}},
        {20, kMenuDataLog, 0, 0, {"", "", "START", "CANCEL", "12:45"}},
        {20, kMenuSysLog, 0, 0, {"", "", "START", "CANCEL", ""}},
        {20, kMenuUpdate, 0, 0, {"", "YES", "CANCEL", "", ""}},
        {21, kMenuBalance, 0, 0, {"PREV", "NEXT", "STATIONS", "SAVE", "<-(NEXT)->"}},
        {22, kMenuBalance, 0, 0, {"PREV", "NEXT", "BALANCE", "SAVE", "<-(NEXT)->"}},
        {23, kMenuMaint, 0, 0, {"", "", "", "", ""}},
    };
    Push(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.idx * 100000 + c.state);
        RunApp([&c] {
            G_AuxPageIdx = c.idx;
            G_MenuState = c.state;
            G_AirData.nIas = c.ias;
            G_DemoFlags = c.demo;
            G_LogMinutes = 765;
            UpdateSoftKeys();
        });
        Labels(c.k[0], c.k[1], c.k[2], c.k[3], c.k[4]);
        EXPECT_STREQ(G_SoftKeyLabel[1], "RETURN");
    }
}

TEST_F(AuxTest, ChecklistFileRules) {
    Checklists("# comment line\n"
               "CHKLST3.TITLE, Engine Start\r\n"
               "CHKLST3.LINE1, Master ON\n"
               "CHKLST3.LINE2, Mixture, RICH\r\n"
               "CHKLST3.LINE1, Second copy\n"
               "chklst3.line3, lower case\n"
               "CHKLST19.LINE12, Last\n");
    EXPECT_STREQ(G_Checklists[3][0], " Engine Start");
    EXPECT_STREQ(G_Checklists[3][1], " Master ON");
    EXPECT_STREQ(G_Checklists[3][2], " Mixture");
    EXPECT_STREQ(G_Checklists[3][3], "");
    EXPECT_STREQ(G_Checklists[19][12], " Last");
    EXPECT_STREQ(G_Checklists[0][0], "");
    EXPECT_NE(SysLog().find("WARNING: CHKLST.KVD: 2 lines not used"), std::string::npos);
    RunApp([] { mon_tfsunlink("CHKLST.KVD"); ReadChecklistFile(); });
    EXPECT_STREQ(G_Checklists[3][0], "") << "no file: every checklist empty";
}

TEST_F(AuxTest, DensityAltitudeShown) {
    struct Case { int32_t ft, units, value; const char* unit; };
    const Case cases[] = {{5434, 0, 5430, "FT"}, {-26, 0, -30, "FT"}, {5437, 1, 1658, "M"}, {5437, 3, 1658, "M"}};
    for (const Case& c : cases) {
        const DensityAltText t = DensityAltShown(c.ft, c.units);
        EXPECT_EQ(t.nValue, c.value) << c.ft;
        EXPECT_STREQ(t.pszUnit, c.unit);
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04d", DensityAltShown(-26, 0).nValue);
    EXPECT_STREQ(text, "-030");
}

TEST_F(AuxTest, MaintReaderBoundsItsInput) {
    std::string thirteen;
    for (int i = 0; i < 13; ++i) thirteen += "DESC, Item " + std::to_string(i) + "\nNEXTLINE, 0\n";
    Maint(thirteen);
    EXPECT_EQ(G_MaintItems.nCount, 12u);
    Maint("DESC, First\r\ndesc,   Second  \r\nLASTDATE, 3-5-2024\r\nUnits, HOURS\r\nLASTTACH, 412.5\r\nINTERVAL, 50\r\n");
    ASSERT_EQ(G_MaintItems.nCount, 1u) << "two DESC lines in one record are one item";
    const MaintItem& it = G_MaintItems.item[0];
    EXPECT_STREQ(it.DESC, "Second");
    EXPECT_STREQ(it.LASTDATE, "03/05/2024");
    EXPECT_STREQ(it.UNITS, "tach hours");
    EXPECT_FLOAT_EQ(it.LASTTACH, 412.5f);
    EXPECT_EQ(it.INTERVAL, 50);
    Maint("DESC, " + std::string(200, 'x') + "\nLASTDATE, 01/02/2024 and more\nUNITS, " + std::string(60, 'u') + "\n");
    EXPECT_EQ(std::strlen(G_MaintItems.item[0].DESC), 94u) << "95 read with the blank, then trimmed";
    EXPECT_LE(std::strlen(G_MaintItems.item[0].LASTDATE), 15u);
    EXPECT_EQ(std::strlen(G_MaintItems.item[0].UNITS), 30u);
    EXPECT_EQ(G_MaintItems.item[0].INTERVAL, 0) << "records cleared before the read";
}

TEST_F(AuxTest, ParseMaintDateCases) {
    struct Case { const char* in; const char* out; };
    const Case cases[] = {{"3-5-2024", "03/05/2024"}, {"3/5/24", "03/05/  24"}, {"12.31.1999", "12/31/1999"},
                          {"1//2--2020", "01/02/2020"}, {"99999999/1/1", "99999999/1/1"}, {"Jan 5", "Jan 5"},
                          {"3/5", "3/5"}};
    for (const Case& c : cases) {
        char text[16];
        std::snprintf(text, sizeof text, "%s", c.in);
        ParseMaintDate(text);
        EXPECT_STREQ(text, c.out) << c.in;
    }
}

// Due dates against Python's calendar, with a zone that has summer time.
TEST_F(AuxTest, DueDatesMatchPythonAcrossMonthEndsAndLeapYears) {
    struct Case { const char* date; int32_t days; };
    const Case cases[] = {{"01/31/2024", 30}, {"02/28/2023", 1}, {"02/28/2024", 1}, {"12/31/2024", 1},
                          {"03/30/2024", 1}, {"10/26/2024", 2}, {"03/01/2024", -1}, {"01/01/2000", 36524},
                          {"02/29/2024", 365}, {"11/03/2024", -400}};
    setenv("TZ", "Europe/Berlin", 1);
    std::string script = "import datetime as t\n";
    for (const Case& c : cases) {
        int m = 0, d = 0, y = 0;
        std::sscanf(c.date, "%d/%d/%d", &m, &d, &y);
        script += "print((t.date(" + std::to_string(y) + "," + std::to_string(m) + "," + std::to_string(d) +
                  ")+t.timedelta(days=" + std::to_string(c.days) + ")).strftime('%m/%d/%Y'))\n";
    }
    const CommandResult r = RunCommand("TZ=Europe/Berlin python3 -c \"" + script + "\"");
    ASSERT_EQ(r.status, 0);
    std::string ours;
    for (const Case& c : cases) {
        char text[32];
        std::snprintf(text, sizeof text, "%s", c.date);
        EXPECT_EQ(AddDaysToDate(text, c.days), 0) << c.date;
        ours += std::string(text) + "\n";
    }
    EXPECT_EQ(ours, r.out);
    char bad[32] = "3/5/2024";
    EXPECT_EQ(AddDaysToDate(bad, 1), -1);
    EXPECT_STREQ(bad, "3/5/2024");
}

TEST_F(AuxTest, DueByDaysAndByTachTurnRed) {
    Maint("DESC, Annual\nLASTDATE, 01/31/2024\nINTERVAL, 30\nUNITS, Days\nNEXTLINE, 0\n"
          "DESC, Oil\nLASTTACH, 100.0\nINTERVAL, 50\nUNITS, HOURS\nNEXTLINE, 0\n");
    Push(5);
    auto rowColour = [&](int row) {
        int red = 0;
        RunApp([&] {
            G_CurPage = 11;
            InitScreenConfig();
            G_AuxPageIdx = kAuxMaint;
            G_MenuState = kMenuMaint;
            G_MaintSel = 5;   // past the items: held within them
            DrawMaintPage(0);
            const int y = 105 + 20 * row + static_cast<int>(G_FlipCtl.nDrawPageY) + 6;
            for (int x = 3; x < 60; ++x) red += GUI_GetPixelIndex(x, y) == 2;
        });
        return red > 0;
    };
    G_DateTime = {2024, 3, 5, 1, 12, 0, 0};
    G_DateTime.nDay = 1;
    NvSetF32(kNvTachTime, 150.0f);
    EXPECT_FALSE(rowColour(0)) << "due 03/01/2024: white on the day";
    EXPECT_FALSE(rowColour(1)) << "due 150.00: white at 150.00";
    G_DateTime.nDay = 2;
    NvSetF32(kNvTachTime, 150.01f);
    EXPECT_TRUE(rowColour(0));
    EXPECT_TRUE(rowColour(1));
    EXPECT_EQ(G_MaintSel, 1u);
}

TEST_F(AuxTest, MinutesKnobHeldWithinTheLimit) {
    Push(5);
    RunApp([] {
        G_DataStoreInterval = 5;
        G_CurPage = 12;
        InitScreenConfig();
        G_AuxPageIdx = kAuxMaint;
        G_MenuState = kMenuDataLog;
        G_LogMinutes = 760;
        G_Knob0.nDelta = 1;
        AuxPageKeys(1);
        EXPECT_EQ(G_LogMinutes, 765u);
        G_Knob0.nDelta = 1;
        AuxPageKeys(1);
        EXPECT_EQ(G_LogMinutes, 765u);
        G_LogMinutes = 5;
        G_Knob0.nDelta = -1;
        AuxPageKeys(-1);
        EXPECT_EQ(G_LogMinutes, 0u);
        EXPECT_EQ(MaxLogMinutes(), 765);
    });
}

TEST_F(AuxTest, UpdateWritesTheFileAndNoItemsWritesNothing) {
    Maint("DESC, Oil change\nLASTDATE, 03/15/2024\nLASTTACH, 412.5\nINTERVAL, 50\nUNITS, tach hours\nNEXTLINE, 0\n");
    G_DateTime = {2024, 6, 1, 1, 12, 0, 0};
    G_DateTime.nDay = 7;
    NvSetF32(kNvTachTime, 0.29f);
    Push(5);
    Push(2);
    ASSERT_EQ(G_MenuState, kMenuMaint);
    Push(3);
    Push(5);
    ASSERT_EQ(G_MenuState, kMenuUpdate);
    Push(3);
    EXPECT_EQ(G_MenuState, kMenuMaint);
    EXPECT_EQ(Contents("MAINT.KVD"),
              "DESC, Oil change\nLASTDATE, 06/07/2024\nLASTTACH, 0.29\nINTERVAL, 50\nUNITS, tach hours\nNEXTLINE, 0\n");
    Maint("");
    RunApp([] {
        G_MenuState = kMenuUpdate;
        AuxPageKeys(3);
    });
    EXPECT_NE(SysLog().find("ERROR: writedatabyline too many lines:0"), std::string::npos);
}

TEST_F(AuxTest, CalibrationRequestOnTheGroundOnly) {
    Push(5);
    Push(2);
    ASSERT_EQ(G_MenuState, kMenuMaint);
    RunApp([] { G_AirData.nIas = 900; });
    Push(4, 1200);
    EXPECT_EQ(G_CalRestart, 0u);
    EXPECT_EQ(G_MenuState, kMenuMaintLogs);
    RunApp([] {
        G_AirData.nIas = 0;
        G_FlipCtl.nDrawPageY = 480;   // the clear of 1638 lines stays in frame memory
    });
    Push(4, 1200);
    EXPECT_EQ(G_CalRestart, 1u);
    EXPECT_NE(SysLog().find("Going to Calibration"), std::string::npos);
}

// The unit information lines after the AHRS model: none without the map
// stream; with it, the files that are loaded and the weather receiver.
TEST_F(AuxTest, AboutLinesFollowTheMapFilesAndTheReceiver) {
    struct Case {
        const char* name;
        uint32_t stream, map, vector, terrain;
        uint8_t wxStep;
        std::vector<std::string> tail;
    };
    const Case cases[] = {
        {"no map stream", 0, kMapOk, kMapOk, kMapOk, 100, {}},
        {"map, no terrain, link idle", 1, kMapOk, kMapOk, kMapNoMap, 0,
         {"Map File Version: 15 (KV TEST REGION WHOSE DESCRIPTION FILLS ALL OF ITS SIXTY BYTE), Loaded",
          "    Map Data Effective: 2015-10-15", "    Map Data Expires: 2015-11-12", "Map Vector File Version: 3, Loaded",
          "WX Reciever: UNAVAILABLE"}},
        {"no card, link up", 1, kMapNoCard, kMapNoCard, kMapNoCard, 100,
         {"WX Reciever: CONNECTED", "WX Reciever ID: 123456789"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AboutLine lines[kAboutLinesMax];
        int32_t n = 0;
        RunApp([&] {
            G_NetStreamCfg[kStreamMap].INST = c.stream;
            G_MapFile[kMapFileMap].nStatus = c.map;
            G_MapFile[kMapFileVector].nStatus = c.vector;
            G_MapFile[kMapFileTerrain].nStatus = c.terrain;
            G_MapHeader.nVersion = 15;
            // Card texts with no terminator are read within their fields.
            std::memcpy(G_MapHeader.szDescription, "KV TEST REGION WHOSE DESCRIPTION FILLS ALL OF ITS SIXTY BYTE",
                        sizeof G_MapHeader.szDescription);
            std::strcpy(G_MapHeader.szEffective, "2015-10-15");
            std::strcpy(G_MapHeader.szExpires, "2015-11-12");
            G_VecHeader.nVersion = 3;
            G_Wx.nStep = c.wxStep;
            std::memcpy(G_Wx.szRecvId, "123456789", sizeof G_Wx.szRecvId);
            n = AboutLines(lines, kAboutLinesMax);
        });
        ASSERT_EQ(n, 11 + static_cast<int32_t>(c.tail.size()));
        EXPECT_EQ(std::string(lines[10]).rfind("AHRS Model Number: ", 0), 0u) << lines[10];
        for (size_t i = 0; i < c.tail.size(); ++i) EXPECT_EQ(lines[11 + i], c.tail[i]);
    }
}

TEST_F(AuxTest, AboutShowsTheFirstAdapterVersionAndStopsAtTheLineLimit) {
    AboutLine lines[kAboutLinesMax];
    RunApp([&] { AboutLines(lines, kAboutLinesMax); });
    EXPECT_STREQ(lines[2], "ARINC Software Version: NOT AVAILABLE");
    RunApp([&] {
        G_ArincAdapter[2].bVersionRx = 1;
        std::memcpy(G_ArincAdapter[2].szVersion, "V1.23", 6);
        G_ArincAdapter[3].bVersionRx = 1;
        std::memcpy(G_ArincAdapter[3].szVersion, "V9.99", 6);
    });
    int32_t n = 0;
    RunApp([&] { n = AboutLines(lines, 3); });
    EXPECT_EQ(n, 3);
    EXPECT_STREQ(lines[2], "ARINC Software Version: V1.23");
}

}  // namespace
