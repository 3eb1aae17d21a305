// A board with the SPI bus, the A/D table and the display up, and helpers to read the log
// and to put files into the flash file system.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "core/ostimer.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "platform/monitor.h"
#include "storage/flash.h"
#include "support/board_fixture.h"

class EngineTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        InitSsp();
        InitAdcTable();
        SysLogOpen();
        GUI_Init();   // saving shows its pop-ups
        for (auto& c : G_InstCfg) c.nEnable = 1;
    }
    static std::string Log() { return SysLogSectorText(); }
    static void SetCurve(int32_t inst, std::vector<std::pair<int32_t, int32_t>> points) {
        InstCal& cal = G_InstCal[inst];
        cal.nNumPts = static_cast<int32_t>(points.size());
        for (size_t i = 0; i < points.size() && i < kCalPoints; ++i) cal.point[i] = {points[i].first, points[i].second};
        CalcInstCalSlopes(inst);
    }
};
