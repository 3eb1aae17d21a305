// The twenty checklists of CHKLST.KVD: read at boot and after a file
// transfer, their text drawn once into the off-screen band when a page is
// opened or turned, and copied into every frame under the live gauges.
#include "setup/setup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/syslog.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "engine/bargauge.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "storage/config.h"
#include "storage/nvram.h"
#include "ui/pages.h"
#include "ui/style.h"

char G_Checklists[kChecklists][kChecklistLines][kChecklistTextBytes];

constexpr int32_t kCfgChecklist = 7;    // CHKLST.KVD

// "CHKLSTn.TITLE" for line 0, "CHKLSTn.LINEm" for the others.
static void ChecklistKey(int n, int m, char* out, size_t size) {
    if (m == 0) std::snprintf(out, size, "CHKLST%d.TITLE", n);
    else std::snprintf(out, size, "CHKLST%d.LINE%d", n, m);
}

// The first line of the file read with exactly this key; -1 when none.
static int32_t FindKey(const char* key) {
    const uint32_t count = G_CfgCount < kCfgPairs ? G_CfgCount : kCfgPairs;
    for (uint32_t i = 0; i < count; ++i)
        if (std::strcmp(G_CfgKey[i], key) == 0) return static_cast<int32_t>(i);
    return -1;
}

void ReadChecklistFile() {
    ReadConfigFile(kCfgChecklist, kExtKvd);
    std::memset(G_Checklists, 0, sizeof G_Checklists);
    uint32_t used = 0;
    for (int n = 0; n < kChecklists; ++n)
        for (int m = 0; m < kChecklistLines; ++m) {
            char key[24];
            ChecklistKey(n, m, key, sizeof key);
            const int32_t at = FindKey(key);
            if (at < 0) continue;
            std::snprintf(G_Checklists[n][m], kChecklistTextBytes, "%s", G_CfgValue[at]);
            ++used;
        }
    // A key in the wrong case or with a typing error shows nowhere: say so.
    if (G_CfgCount > used)
        DebugPrintf("WARNING: CHKLST.KVD: %d lines not used\n", static_cast<int>(G_CfgCount - used));
}

// ---- the page -------------------------------------------------------------------------------

static int32_t PageY() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

static void DrawChecklistText() {
    const PaneRecord& p = G_AuxPane;
    const char(&list)[kChecklistLines][kChecklistTextBytes] = G_Checklists[G_AuxPageIdx];
    const OffscreenBand band = BeginOffscreenBand();
    SetAuxPaneClip(kOffscreenBandY);
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(p.x0, p.y0 + kOffscreenBandY, p.x1, p.y1 + kOffscreenBandY);
    DrawTextF(14, 4, 5, p.x1 - 10, p.y0, "Page %d of %d", static_cast<int>(G_AuxPageIdx + 1), kChecklists);
    DrawTextF(14, 8, 3, p.x0, p.y0 + 13, "%s", list[0]);
    SetDrawColor(8);
    GUI_DrawHLine(p.y0 + 29 + kOffscreenBandY, p.x0, p.x1);
    for (int m = 1; m < kChecklistLines; ++m) DrawTextF(31, 6, 3, p.x0 + 5, p.y0 + 45 + 15 * (m - 1), "%s", list[m]);
    ClearAuxPaneClip();
    EndOffscreenBand(band);
}

DensityAltText DensityAltShown(int32_t densityAltFt, int32_t altitudeUnits) {
    if (altitudeUnits != 1 && altitudeUnits != 3) {
        // Tens of feet times 10 in 64 bits: the top of the i32 range has no rounded value.
        const int64_t ft = static_cast<int64_t>(RoundNearest(densityAltFt / 10.0)) * 10;
        return {static_cast<int32_t>(std::min<int64_t>(ft, 2147483640)), "FT"};
    }
    // Even metres: an odd last digit goes up.
    const int32_t m = static_cast<int32_t>(densityAltFt * 0.3048);
    return {(m / 10) * 10 + 2 * RoundNearest((m % 10) * 0.5), "M"};
}

static void DrawDensityAltBox() {
    const PaneRecord& p = G_AuxPane;
    const int32_t x = p.x1 - 150;
    const DensityAltText t = DensityAltShown(G_AirData.nDensityAlt, G_InstCfg[kInstAltitude].nUnits);
    DrawTextF(31, 2, 25, x, p.y1 - 18, "DENSITY ALTITUDE");
    const int32_t end = G_AirData.bOatValid ? DrawTextF(31, 9, 16, x, p.y1 - 16, "%04d", static_cast<int>(t.nValue))
                                            : DrawTextF(31, 4, 16, x, p.y1 - 16, "---");
    DrawTextF(31, 2, 15, end, p.y1 - 10, " %s", t.pszUnit);
}

void DrawChecklistPage(int32_t key) {
    const PaneRecord& p = G_AuxPane;
    if (p.pRect == nullptr || G_AuxPageIdx >= kAuxChecklists) return;
    if (key == 4 || key == 5 || key == kAuxPageOpen) DrawChecklistText();
    BltCopyRect(p.x0, p.y0 + kOffscreenBandY, p.x0, p.y0 + PageY(), p.nWidth, p.nHeight, kBltCopy);
    if (G_NetStreamCfg[kStreamEngine].INST != 0) {
        DrawFlapGauge();
        DrawTrimGauge();
    }
    if (NvGetU32(kNvDaltGaugeOn) != 0 && G_NetStreamCfg[kStreamAir].INST != 0) DrawDensityAltBox();
}
