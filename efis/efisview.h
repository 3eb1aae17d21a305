// Where the flight instruments stand: one view fixed per frame from the
// pane being drawn (the EFIS pane, or the strips beside a narrowed map),
// read by every instrument family. Coordinates are pane coordinates; the
// instruments add the drawing offset of the page.
#pragma once
#include <cstdint>

#include "gui/gui.h"

// Palette indices of the instruments.
constexpr uint32_t kEfBlack = 0, kEfBlue = 8, kEfGreen = 5, kEfRed = 2, kEfYellow = 14, kEfWhite = 31;
constexpr uint32_t kEfCyan = 11, kEfMagenta = 17, kEfGrey = 20, kEfDarkGrey = 21, kEfOrange = 22;
constexpr uint32_t kEfSky = 33, kEfGround = 23, kEfTape = 48, kEfAmber = 14;

struct EfisView {
    int32_t x0, y0, x1, y1;       // the pane, inclusive
    int32_t cx, cy;               // attitude reference (aircraft symbol)
    int32_t ppd;                  // pitch ladder pixels per degree
    // Airspeed tape (left) and altitude tape (right), with the vertical
    // speed scale right of the altitude tape.
    int32_t asiX0, asiX1, altX0, altX1, vsiX0, vsiX1;
    int32_t tapeY0, tapeY1;
    // Compass rose centre and radius (radius 0: no HSI in this view).
    int32_t hsiCx, hsiCy, hsiR;
    int32_t adiClipY1;            // the pitch ladder stays above this row
    // Boxes: wind (centre of its arrow), the information box of the
    // bearing source, the angle-of-attack indicator's area.
    int32_t windX, windY;
    int32_t infoX0, infoY0, infoX1, infoY1;
    int32_t aoaX, aoaY;
    int32_t apX0, apX1, apY0;     // the autopilot mode box on the top row
    int32_t adX0, adX1;           // the air-data pane's readout column
    bool    bNarrow;              // a pane of 384 columns
    bool    bAirPane;             // the air-data pane: readouts, no attitude
    bool    bSplit;               // beside a narrowed map
    int32_t stripY0;              // split: the strips' first row
};

extern EfisView G_EfisView;

// The view for an EFIS pane (inclusive rectangle).
EfisView EfisViewForPane(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// The view of the strips beside a map pane narrowed by 90 pixels each side;
// the strips begin under the map's data boxes, which keep `boxRows` rows.
EfisView EfisViewForSplitMap(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t boxRows);
// The screen configurations that show the air-data pane.
bool EfisAirPanePage(int32_t page);
// Sets G_EfisView to the strips beside the map pane (G_MapPane).
void EfisUseSplitMap();
// Sets G_EfisView from G_EfisLayout and the current page.
void EfisUseLayout();

// Geometry shared by the instruments: angles in tenths of a degree.
int32_t EfisWrap3600(int32_t angle);
// A coordinate rounded and held to the drawing library's 16-bit range.
int16_t EfisPx(double v);
// The point `along` from (cx, cy) toward screen angle `angle` (clockwise
// from up) and `across` to that direction's right.
GUI_Point EfisRotated(double cx, double cy, int32_t angle, double along, double across);

// The drawing offset of the page being drawn.
int32_t EfisPageY();
// Clips drawing to the view's pane at frame row `rowBase` (the page being
// drawn, or the static background) and returns the clip it replaced, which
// EfisClipRestore sets again.
GUI_Rect EfisClipPane(int32_t rowBase);
void EfisClipRestore(const GUI_Rect& saved);
