#include "ui/splash.h"

#include <cstdint>

#include "core/boot.h"
#include "core/irq.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/map.h"

constexpr uint32_t kWhite = 31, kRed = 2, kYellow = 14;
constexpr int32_t kCentre = 320;
constexpr int32_t kCentred = 1;

static const char* const kWarningLines[] = {
    "It is possible for any instrument to fail and display inaccurate readings.",
    "Therefore, you must be able to recognize an instrument failure and you",
    "must be proficient in operating this aircraft safely in spite of an",
    "instrument failure. If you do not have this knowledge, contact the FAA or a ",
    "local flight instructor for training.  The pilot must understand the operation",
    "of this product before flying the aircraft.  Do not allow anyone to operate",
    "this aircraft that does not know the operation of this instrument.",
};

static void Centred(uint32_t colour, int32_t font, int32_t y, const char* text) {
    DrawTextF(colour, font, kCentred, kCentre, y, "%s", text);
}

// Header texts come from a file: printed no further than their fields.
static void MapLines() {
    if (G_NetStreamCfg[kStreamMap].INST == 0 || G_MapFile[kMapFileMap].nStatus != 0) return;
    const MapFileHeader& h = G_MapHeader;
    const int v = static_cast<int>(h.nVersion);
    if (h.nVersion != kMapVersionRequired) {
        DrawTextF(kRed, 4, kCentred, kCentre, 175, "Map Data File Version: %d, is INCOMPATIBLE with Current Software!", v);
        DrawTextF(kWhite, 4, kCentred, kCentre, 188, "Version: %d Required for Operation",
                  static_cast<int>(kMapVersionRequired));
        return;
    }
    DrawTextF(kWhite, 4, kCentred, kCentre, 175, "Map Data File Version: %d (%.*s)", v,
              static_cast<int>(sizeof h.szDescription), h.szDescription);
    DrawTextF(kWhite, 4, kCentred, kCentre, 188, "Effective: %.*s", static_cast<int>(sizeof h.szEffective),
              h.szEffective);
    DrawTextF(kWhite, 4, kCentred, kCentre, 201, "Expires: %.*s", static_cast<int>(sizeof h.szExpires),
              h.szExpires);
}

static void WarningBox(int32_t page) {
    GUI_SetColorIndex(kWhite);
    GUI_DrawRect(100, 251 + page, 540, 421 + page);
    Centred(kRed, 9, 256, "WARNING");
    int32_t y = 276;
    for (const char* line : kWarningLines) {
        Centred(kWhite, 8, y, line);
        y += 20;
    }
    Centred(kYellow, 9, 426, "DO NOT SOLELY RELY ON THIS INSTRUMENT FOR AIRCRAFT FUEL LEVELS");
}

void SplashScreen() {
    const int32_t page = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    GUI_ClearRect(0, 409 + page, 50, 459 + page);
    GUI_ClearRect(100, 240 + page, 540, 438 + page);
    Centred(kWhite, 9, 140, "KV-5100 Series Flight Instrument");
    DrawTextF(kWhite, 4, kCentred, kCentre, 160, "Software Version: %d.%d.%d-MV%d %s", 7, 5, 0, 15, "");
    MapLines();
    if (G_DemoFlags & kDemoAll) {
        Centred(kYellow, 11, 216, "WARNING: DEMO MODE ENABLED!");
        Centred(kYellow, 9, 236, "DO NOT OPERATE AIRCRAFT IN DEMO MODE!");
    }
    WarningBox(page);
}
