// An engine board with the graphics library up, an engine type and limits
// set, and the engine page laid out for a screen configuration.
#pragma once
#include <cstdlib>
#include <string>

#include "core/boot.h"
#include "core/irq.h"
#include "engine/engine.h"
#include "engine/fuelcomp.h"
#include "engine/layout.h"
#include "engine_fixture.h"
#include "gui/gui.h"
#include "sim/screenshot.h"
#include "storage/nvram.h"
#include "ui/pages.h"
#include "ui/style.h"

class EnginePageTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        GUI_Init();
        InitPalette();
        G_NetStreamCfg[kStreamEngine].INST = 1;
        G_EngFresh = 40;
        for (int i = 0; i < kInstruments; ++i) Limits(i, 0, 1000, 900, 800, 200, 100);
        Limits(kInstRpm, 0, 30000, 27000, 25000, 20000, 18000);
        for (int i = kInstEgt1; i <= kInstTit2; ++i) Limits(i, 1000 * 10, 1700 * 10, 1650 * 10, 1550 * 10, 0, 0);
        for (int i = kInstCht1; i <= kInstCht6; ++i) Limits(i, 0, 5000, 4600, 4300, 0, 0);
        for (int i = kInstTank1; i <= kInstTank4; ++i) Limits(i, 0, 250, 0, 0, 60, 30);
        Limits(kInstFuelComp, 0, 500, 0, 0, 100, 50);
        G_InstCfg[kInstTit1].nEnable = G_InstCfg[kInstTit2].nEnable = 0;
        G_InstCfg[kInstAuxVolts].nEnable = 0;
        G_InstCfg[kInstAmpsHall].nEnable = 0;
        // A straight calibration: A/D counts equal display tenths.
        for (int i = 0; i < kInstruments; ++i) SetCurve(i, {{0, 0}, {40000, 40000}});
        G_InstAd[kInstMainVolts].nAdValue = 2000;
    }
    static void Limits(int inst, int32_t min, int32_t max, int32_t redHigh, int32_t yellowHigh, int32_t yellowLow,
                       int32_t redLow) {
        InstCfg& c = G_InstCfg[inst];
        c.nMin = min, c.nMax = max, c.nRedHigh = redHigh, c.nYellowHigh = yellowHigh;
        c.nYellowLow = yellowLow, c.nRedLow = redLow;
    }
    static void Engine(int32_t type) {
        G_EngInfo.nEngineType = type;
        LogEngineInfo();
    }
    static void Page(int32_t page) {
        G_CurPage = page;
        InitScreenConfig();
    }
    static void Set(int inst, int32_t value, bool valid = true) {
        G_InstReading[inst].nValue = value;
        G_InstReading[inst].bValid = valid ? 1 : 0;
    }
    uint8_t Px(int x, int y) { return board().display().Memory()[(y + G_FlipCtl.nDrawPageY) * 640 + x]; }
    // The palette index the pages draw a colour value with.
    static uint8_t Index(uint32_t rgb) {
        SetDrawColor(rgb);
        return static_cast<uint8_t>(GUI_GetColorIndex());
    }
};
