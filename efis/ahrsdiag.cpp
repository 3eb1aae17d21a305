// The AHRS diagnostic page's text, decided from the records so that the page
// only places it: one line per built-in-test bit, and the ASCII AHRS's
// status digits.
#include <cstdio>

#include "core/ostimer.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/efis.h"
#include "efis/efisview.h"
#include "gui/gui.h"

void FormatAhrsBitLine(int32_t bit, char* out, int32_t size) {
    if (out == nullptr || size <= 0) return;
    if (bit < 0 || bit >= kAhrsBits) {
        out[0] = 0;
        return;
    }
    const AhrsBitLog& b = G_AhrsBits[bit];
    if (b.nActive == 0) {
        std::snprintf(out, static_cast<size_t>(size), "%2d %-26s -", static_cast<int>(bit), kAhrsBitNames[bit]);
        return;
    }
    const uint32_t seconds = (ReadOsTimer() - b.nFirstSeen) / kTicksPerSecond;   // wrap-aware difference
    std::snprintf(out, static_cast<size_t>(size), "%2d %-26s ACTIVE %4us", static_cast<int>(bit), kAhrsBitNames[bit],
                  static_cast<unsigned>(seconds));
}

void FormatDynonStatus(char* out, int32_t size) {
    if (out == nullptr || size <= 0) return;
    const uint32_t s = G_Ahrs.nStatus;
    std::snprintf(out, static_cast<size_t>(size), "%X%X%X", static_cast<unsigned>(s >> 16 & 0xF),
                  static_cast<unsigned>(s >> 8 & 0xF), static_cast<unsigned>(s & 0xF));
}

// The page over the EFIS pane: the Crossbow unit's sixteen BIT lines, or the
// ASCII unit's three status digits.
void DrawAhrsDiagPage() {
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    constexpr int32_t kLine = 11, kFont = 23;
    const int32_t x0 = v.cx - 140, x1 = v.cx + 140, y0 = v.y0 + 30;
    const int32_t y1 = y0 + 24 + kAhrsBits * kLine;
    GUI_SetColorIndex(kEfBlack);
    GUI_FillRect(x0, y0 + py, x1, y1 + py);
    GUI_SetColorIndex(kEfWhite);
    GUI_DrawRect(x0, y0 + py, x1, y1 + py);
    char line[64];
    if (G_Ahrs.nType != 0) {
        FormatDynonStatus(line, sizeof line);
        DrawTextF(kEfWhite, 5, 15, x0 + 6, y0 + 4, "AHRS STATUS %s", line);
        return;
    }
    DrawTextF(kEfWhite, 5, 15, x0 + 6, y0 + 4, "AHRS BIT 0x%04X", static_cast<unsigned>(G_Ahrs.nStatus & 0xFFFF));
    for (int32_t bit = 0; bit < kAhrsBits; ++bit) {
        FormatAhrsBitLine(bit, line, sizeof line);
        DrawTextF(G_AhrsBits[bit].nActive ? kEfYellow : kEfGrey, kFont, 15, x0 + 6, y0 + 22 + bit * kLine, "%s", line);
    }
}
