// Screen dumps: a long press of the fifth button saves the page that is
// shown as an 8-bit BMP file, on the card when one is mounted, else in the
// flash file system. The tick only notes that the page carrying the card
// mark is now shown; the file is written from the main loop (or a page's
// own loop) before the next frame is drawn, so no card, flash, clock or log
// code is entered from an interrupt.
#pragma once
#include <cstdint>

extern uint32_t G_ScreenDumpReq;    // set by the button scan, cleared once served
extern uint32_t G_ScreenDumpBusy;   // 1 while a dump is being written
extern uint32_t G_ScreenDumpDue;    // set by the tick: the page to save is shown

constexpr uint32_t kScreenDumpBytes = 54 + 1024 + 640 * 480;   // 308,278
constexpr int kScreenDumpNameBytes = 13;

// The name the next dump gets is formed from clock-memory registers 25/26.
extern char ScreenDumpBmp[kScreenDumpNameBytes];

// Writes the shown page now (normally called through ServeScreenDump).
void    ScreenDump();
// Serves a due dump: writes it, then clears the request, the due flag and
// the card mark and asks for a status-bar redraw.
void    ServeScreenDump();
// Removes the dumps kept in the flash file system; the second command's result.
int32_t DeleteScreenDumps();
