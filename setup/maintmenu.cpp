// The system maintenance menu: the flash file listing with the memory
// figures, the card listing, defragmentation of the flash file system and
// the ARINC adapter's firmware upgrade.
#include <cstring>

#include "core/adc.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "gui/gui.h"
#include "platform/monitor.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "storage/sdcard.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

namespace {

constexpr int32_t kRowTop = 41, kPitch = 13, kFont = 6;
constexpr int32_t kLabelX = 210, kSelectX = 619, kMarkX = 200, kOutputY = 131;
constexpr int32_t kLineY = 129, kBottom = 459, kCentreX = 414;
constexpr uint32_t kWhite = 31, kYellow = 14, kRuleColour = 0xFF0000;
constexpr int32_t kDefragWatchdogSeconds = 180;
constexpr int32_t kRowListFlash = 1, kRowListCard = 2, kRowDefrag = 3, kRowArinc = 4;

const char kRowText[kMaintMenuRows + 1][32] = {
    "", "1. List Internal Files", "2. List SD Files", "3. Defrag Memory", "4. Upgrade ARINC software",
};

struct MaintMenu {
    int32_t  nRow;
    uint32_t nSampleStamp;
};
MaintMenu s_menu;

int32_t PageY(int32_t y) { return y + static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
int32_t RowY(int32_t row) { return kRowTop + kPitch * (row - 1); }

void SetPageAndKeys() {
    G_CurPage = kPageSetupInputs;
    UpdateSoftKeys();
    SetSoftKeyLabel(1, "RETURN");
    SetSoftKeyLabel(2, "NEXT");
    SetSoftKeyLabel(3, "PREV");
    SetSoftKeyLabel(4, "SELECT");
    SetSoftKeyLabel(5, "");
    SetSoftKeyLabel(6, "");
    DrawStatusBar();
}

void DrawRows() {
    for (int32_t row = 1; row <= kMaintMenuRows; ++row) {
        const int32_t y = RowY(row);
        GUI_ClearRect(kMarkX - 10, PageY(y), kSelectX, PageY(y + kPitch - 1));
        DrawSetupLabelAt(kLabelX, y, 1, kRowText[row]);
        if (row == s_menu.nRow) DrawTextF(kYellow, kFont, 14, kSelectX, y, " Press Select ");
        DrawSetupCursorAt(kMarkX, y, row == s_menu.nRow);
    }
}

void ClearOutput() { GUI_ClearRect(kLabelX, PageY(kOutputY), 639, PageY(kBottom)); }

long TfsCtrl(int request) {
    AppIntsOffRestore(0);
    const long r = mon_tfsctrl(request, 0, 0);
    AppIntsOffRestore(1);
    return r;
}

void Defragment() {
    DebugPrintf("User requested defrag\n");
    ClearOutput();
    DrawTextF(kWhite, kFont, 1, kCentreX, 147, "Flash Defrag In Progress... Please Wait 2 Min.");
    DrawTextF(kWhite, kFont, 1, kCentreX, 163, "WARNING: Power loss during Defrag");
    DrawTextF(kWhite, kFont, 1, kCentreX, 179, "may require Factory Service");
    // The monitor holds the processor until it is done: the watchdog must outlast it.
    KickWatchdog(kDefragWatchdogSeconds);
    const long r = TfsCtrl(kTfsCtrlDefragRequest);
    if (r == 0) {
        DrawTextF(kWhite, kFont, 1, kCentreX, 211, "Defrag Complete.");
        return;
    }
    DebugPrintf("ERROR: defrag failed: %d\n", static_cast<int>(r));
    DrawTextF(kWhite, kFont, 1, kCentreX, 211, "Defrag Failed.");
}

void RunRow(int32_t row) {
    switch (row) {
    case kRowListFlash: ShowMemoryUsage(kOutputY); break;
    case kRowListCard: ListSDCard(kOutputY); break;
    case kRowDefrag: Defragment(); break;
    case kRowArinc: ArincUpgradeScreen(kOutputY); break;
    default: break;
    }
}

void SampleEvery50ms() {
    if (!TicksElapsed(ReadOsTimer(), s_menu.nSampleStamp, kSetupTicks50ms)) return;
    s_menu.nSampleStamp = ReadOsTimer();
    SampleAdcStep();
}

// ---- the flash listing ------------------------------------------------------------------------

using TfsName = char[sizeof(TfsStat::name)];

int32_t CollectFiles(TfsName* names) {
    int32_t n = 0;
    TfsStat st{};
    AppIntsOffRestore(0);
    while (n < kMaintListCap && mon_tfslist(n, &st) == 0) {
        std::memcpy(names[n], st.name, sizeof st.name);
        names[n][sizeof st.name - 1] = 0;
        ++n;
    }
    AppIntsOffRestore(1);
    return n;
}

void ExchangeSort(TfsName* names, int32_t n) {
    for (int32_t i = 0; i + 1 < n; ++i)
        for (int32_t j = i + 1; j < n; ++j)
            if (std::strcmp(names[i], names[j]) > 0) {
                TfsName t;
                std::memcpy(t, names[i], sizeof t);
                std::memcpy(names[i], names[j], sizeof t);
                std::memcpy(names[j], t, sizeof t);
            }
}

int32_t ColumnOf(const char* name) {
    if (std::strstr(name, ".KVD") != nullptr) return 0;
    if (std::strstr(name, ".KVC") != nullptr) return 1;
    if (std::strstr(name, ".KVW") != nullptr) return 2;
    return 3;
}

}  // namespace

void ShowMemoryUsage(int32_t y) {
    GUI_ClearRect(kLabelX, PageY(y), 639, PageY(kBottom));
    const long used = TfsCtrl(kTfsCtrlUsedRequest);
    const long avail = TfsCtrl(kTfsCtrlAvailRequest);
    const long dead = TfsCtrl(kTfsCtrlDeadRequest);
    DrawTextF(kWhite, kFont, 3, kLabelX, y + 13, "Memory: %d (Used)   %d (Avail)   %d (Dead)", static_cast<int>(used),
              static_cast<int>(avail), static_cast<int>(dead));
    DrawTextF(kWhite, kFont, 3, kLabelX, y + 26, "Memory: if avail below 1,000,000, Defrag is recommended.");
    TfsName names[kMaintListCap];
    const int32_t n = CollectFiles(names);
    ExchangeSort(names, n);
    static constexpr int32_t kColumnX[4] = {210, 310, 410, 510};
    int32_t line[4] = {y + 39, y + 39, y + 39, y + 39};
    for (int32_t i = 0; i < n; ++i) {
        const int32_t c = ColumnOf(names[i]);
        // A full column stops above the status bar; the names left over are not shown.
        if (line[c] + kPitch - 1 > kBottom) continue;
        DrawTextF(kWhite, kFont, 3, kColumnX[c], line[c], "%s", names[i]);
        line[c] += kPitch;
    }
}

void MaintenanceMenuOpen() {
    s_menu = {};
    s_menu.nRow = 1;
    s_menu.nSampleStamp = ReadOsTimer();
    G_SettingsScreen = {};   // not editable: the knob is not used here
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    SetPageAndKeys();
    DrawRows();
    SetDrawColor(kRuleColour);
    GUI_DrawHLine(PageY(kLineY), kLabelX, kSelectX);
    ClearOutput();
}

int32_t MaintenanceMenuInput(int32_t key, int32_t delta) {
    (void)delta;
    switch (SettingsKey(key)) {
    case 1:
        // The mark and the output run past the area the loop clears on leaving.
        DrawSetupCursorAt(kMarkX, RowY(s_menu.nRow), 0);
        GUI_ClearRect(kLabelX, PageY(kLineY), 639, PageY(kBottom));
        GUI_ClearRect(kLabelX, PageY(kRowTop), 639, PageY(RowY(kMaintMenuRows) + kPitch - 1));
        return 1;
    case 2:
        if (s_menu.nRow < kMaintMenuRows) ++s_menu.nRow;
        DrawRows();
        break;
    case 3:
        if (s_menu.nRow > 1) --s_menu.nRow;
        DrawRows();
        break;
    case 4: RunRow(s_menu.nRow); break;
    default: return 0;
    }
    SetPageAndKeys();
    return 0;
}

int32_t MaintenanceMenuRow() { return s_menu.nRow; }

void MaintenanceMenu() {
    const SettingsScreen opener = G_SettingsScreen;   // the administrator list's own
    MaintenanceMenuOpen();
    RunSettingsScreen(MaintenanceMenuInput, SampleEvery50ms);
    G_SettingsScreen = opener;
}
