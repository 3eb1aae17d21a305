// The administrator settings screen: its frame (drawing, cursor, keys, knob
// dispatch, saving, leaving and restart) and items 1..4 and 21..30. Items
// 5..13 live in adminports.cpp, items 14..20 in adminnet.cpp.
#include "setup/admin.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/adc.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "engine/calscreens.h"
#include "gui/gui.h"
#include "platform/monitor.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "storage/clockmem.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "storage/tfs.h"
#include "storage/upgrade.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/popup.h"
#include "ui/statusbar.h"

const char AdminItemText[kAdminItems + 1][36] = {
    "",
    "1.  Transfer Files TO/FROM SD Card",
    "2.  Copy Debug Logs To SD Card",
    "3.  Copy Data Logs To SD Card",
    "4.  Data Logging Interval (sec)",
    "5.  Serial Port #1 Function",
    "6.  Serial Port #2 Function",
    "7.  Serial Port #3 Function",
    "8.  Serial Port #4 Function",
    "9.  Autopilot Vertical Mode",
    "10. GPS/NAV 1 Data Source",
    "11. GPS/NAV 2 Data Source",
    "12. GPS/NAV 3 Data Source",
    "13. LAT/LON Data Source",
    "14. Request Remote Files",
    "15. Engine Module Config",
    "16. Air Module Config",
    "17. AHRS Module Config",
    "18. WX Module Config",
    "19. Network IP Number This Display",
    "20. Network IP Number Other Display",
    "21. System Maintenance",
    "22. Diagnostics",
    "23. Administrator Mode",
    "24. Set Tach and Hobbs Time",
    "25. Erase Data Logs",
    "26. Erase System Logs",
    "27. Set Clock NVRAM Defaults",
    "28. Debug Port Enable",
    "29. Autopilot Output Enable",
    "30. Exit Application",
};

const char OnOffNames[2][16] = {" DISABLED ", " ENABLED "};

namespace {

constexpr uint32_t kSecond = kTicksPerSecond;
constexpr uint32_t kTfsCopyLimit = 0x700000;   // a TFS this large cannot copy logs
constexpr int32_t  kLabelFont = 6, kHeadingFont = 8;
constexpr uint32_t kYellow = 14, kRed = 2, kGreen = 5, kWhite = 31;
constexpr const char kBootStop[] = "BOOTSTOP";

enum class Value : uint8_t { kNone, kPressSelect, kOwn };

// What the item table fixes for each item: its labels and whether key 5 saves on it.
struct ItemRow {
    const char* key4;
    const char* key5;
    const char* knob;
    bool        saves;
};
const ItemRow kRowsOf[kAdminItems + 1] = {
    {"", "", "", false},
    {"SELECT", "", "", false},          // 1
    {"SELECT", "", "", false},          // 2
    {"START", "", "ADJUST", false},     // 3
    {"", "SAVE", "ADJUST", true},       // 4
    {"", "SAVE", "ADJUST", true},       // 5
    {"", "SAVE", "ADJUST", true},
    {"", "SAVE", "ADJUST", true},
    {"", "SAVE", "ADJUST", true},       // 8
    {"", "SAVE", "ADJUST", true},       // 9
    {"", "SAVE", "ADJUST", true},       // 10
    {"", "SAVE", "ADJUST", true},
    {"", "SAVE", "ADJUST", true},
    {"", "SAVE", "ADJUST", true},       // 13
    {"SELECT", "", "", false},          // 14
    {"", "SAVE", "ADJUST", true},       // 15
    {"", "SAVE", "ADJUST", true},
    {"", "SAVE", "ADJUST", true},
    {"", "SAVE", "ADJUST", true},       // 18
    {"", "SAVE", "ADJUST", true},       // 19
    {"", "SAVE", "ADJUST", true},       // 20
    {"SELECT", "", "", false},          // 21
    {"SELECT", "", "", false},          // 22
    {"SELECT", "", "ADJUST", false},    // 23
    {"SELECT", "", "", false},          // 24
    {"SELECT", "", "", false},          // 25
    {"SELECT", "", "", false},          // 26
    {"SELECT", "", "", true},           // 27
    {"", "SAVE", "ADJUST", false},      // 28
    {"", "SAVE", "ADJUST", false},      // 29
    {"", "SAVE", "ADJUST", false},      // 30
};

struct AdminScreen {
    int32_t  nCursor;         // 1..30
    int32_t  nLast;           // 23 or 30
    int32_t  nDialAdmin;      // item 23's dial
    int32_t  nDialExit;       // item 30's dial
    int32_t  nSpan;           // data-log copy span, minutes
    uint32_t nServiceStamp;   // last 50 ms service
    uint32_t nCursor14Stamp;  // last full drawing with the cursor on item 14
};
AdminScreen s_admin;
char s_value[64];
char s_trail[256];   // the value texts shown since the screen opened, newest last

int32_t PageY(int32_t y) { return y + static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

int32_t AbsRem2(int32_t v) { return StepOffOn(v, 0); }

bool AdminMode() { return NvGetU32(kNvAdminUser) == 1; }

bool BootStopStored() {
    TfsStat st{};
    return mon_tfsstat(kBootStop, &st) == 0;
}

void RemoveBootStop() {
    if (!BootStopStored()) return;
    AppIntsOffRestore(0);
    mon_tfsunlink(kBootStop);
    AppIntsOffRestore(1);
}

int32_t SpanHours() {
    return std::abs(RoundNearest(static_cast<double>(G_DataStoreInterval) * 2.55));
}

// The span rule also pins the span: 0 below one minute, one past the limit above it.
const char* SpanText() {
    const int32_t limit = SpanHours() * 60;
    if (s_admin.nSpan < 1) {
        s_admin.nSpan = 0;
        return " DISABLED ";
    }
    if (s_admin.nSpan > limit) {
        s_admin.nSpan = limit + 1;
        return " ALL ";
    }
    std::snprintf(s_value, sizeof s_value, " %d Hrs, %d Min ", static_cast<int>(s_admin.nSpan / 60),
                  static_cast<int>(s_admin.nSpan % 60));
    return s_value;
}

const char* IntervalText() {
    if (G_DataStoreInterval == 0) return " DISABLE ";
    std::snprintf(s_value, sizeof s_value, "  %u sec ", static_cast<unsigned>(G_DataStoreInterval));
    return s_value;
}

const char* DialText(int32_t dial) {
    std::snprintf(s_value, sizeof s_value, " %d ", static_cast<int>(dial));
    return s_value;
}

bool PressSelectItem(int32_t item) {
    switch (item) {
    case kItemTransfer: case kItemDebugLogs: case kItemRemoteFiles: case kItemMaintenance:
    case kItemDiagnostics: case kItemTimers: case kItemEraseData: case kItemEraseSys: case kItemClockDefaults:
        return true;
    default:
        return false;
    }
}

// Items 23, 28 and 29 keep only their low bit, as the drawing has always left them.
void NormaliseSwitches() {
    NvSetU32(kNvAdminUser, static_cast<uint32_t>(AbsRem2(static_cast<int32_t>(NvGetU32(kNvAdminUser)))));
    NvSetU32(kNvSerialDebugOn, static_cast<uint32_t>(AbsRem2(static_cast<int32_t>(NvGetU32(kNvSerialDebugOn)))));
    G_NVRam[kNvApSteerEnable] &= 1;
}

// The item's label with its line cleared, then a value at the value column.
void KeepInTrail(const char* text) {
    const size_t have = std::strlen(s_trail), add = std::strlen(text) + 1;
    if (add >= sizeof s_trail) return;
    if (have + add >= sizeof s_trail) {   // the oldest texts go
        const size_t drop = have + add - sizeof s_trail + 1;
        std::memmove(s_trail, s_trail + drop, have - drop + 1);
    }
    std::strcat(s_trail, text);
    std::strcat(s_trail, "|");
}

void DrawValueIn(int32_t item, uint32_t colour, const char* text) {
    const int32_t y = AdminItemY(item);
    DrawSettingsLabel(y, AdminItemText[item]);
    if (text[0] != 0)
        DrawTextF(colour, kLabelFont, item == s_admin.nCursor ? 14 : 2, kAdminValueX, y, "%s", text);
}

// What an action or a knob step shows in the item's row (kept in the trail).
void ShowValueIn(int32_t item, uint32_t colour, const char* text) {
    if (text[0] != 0) KeepInTrail(text);
    DrawValueIn(item, colour, text);
}
void ShowValue(int32_t item, const char* text) { ShowValueIn(item, kYellow, text); }

void DrawItem(int32_t item) { DrawValueIn(item, kYellow, AdminItemValue(item)); }

void DrawCursorMark(bool shown) { DrawSettingsCursor(AdminItemY(s_admin.nCursor), shown ? 1 : 0); }

void ClearScreenArea() { GUI_ClearRect(200, PageY(25), kAdminValueX, PageY(459)); }

void FullDrawing() {
    NormaliseSwitches();
    for (int32_t item = 1; item <= kAdminItemsUser; ++item) {
        if (item >= kItemEngineModule && item <= kItemPartnerIp) AdminNetDrawn(item);
        DrawItem(item);
    }
    if (AdminMode()) {
        for (int32_t item = kAdminItemsUser + 1; item <= kAdminItems; ++item) DrawItem(item);
        s_admin.nLast = kAdminItems;
    } else {
        s_admin.nLast = kAdminItemsUser;
        GUI_ClearRect(210, PageY(AdminItemY(kAdminItemsUser + 1)), kAdminValueX, PageY(459));
    }
    if (s_admin.nCursor > s_admin.nLast) s_admin.nCursor = s_admin.nLast;
    DrawCursorMark(true);
    const ItemRow& row = kRowsOf[s_admin.nCursor];
    SetSoftKeyLabel(4, row.key4);
    SetSoftKeyLabel(5, row.key5);
    SetSoftKeyLabel(6, row.knob);
    G_RedrawReq = 1;
    if (s_admin.nCursor == kItemRemoteFiles) s_admin.nCursor14Stamp = ReadOsTimer();
}

void MoveCursor(int32_t step) {
    DrawCursorMark(false);
    const int32_t to = s_admin.nCursor + step;
    if (to >= 1 && to <= s_admin.nLast) s_admin.nCursor = to;
    FullDrawing();
}

// ---- key 4 ------------------------------------------------------------------------------

void CopyDebugLogs(int32_t item, bool dataLogs) {
    const int32_t y = AdminItemY(item);
    ShowValue(item, " COPYING TO SD ");
    DelayTicks(kSecond);
    if (G_SDCard.nState == kSdMounted) {
        if (G_TfsSize < kTfsCopyLimit) {
            ShowValue(item, "");
            if (dataLogs) {
                KickWatchdog(AdminCopyWatchdogSeconds(s_admin.nSpan));
                DataStoreToSD(kAdminValueX, y, s_admin.nSpan, 1);
            } else {
                KickWatchdog(30);
                CopySysLogSD(kAdminValueX, y, 1);
                if (G_RamLog.nMode != 0) CopyRamLogSD(kAdminValueX, y, 1);
            }
        } else {
            ShowValueIn(item, kRed, " INCOMPATIBLE FIRMWARE ");
            if (!dataLogs) DelayTicks(3 * kSecond);
        }
        ShowValue(item, " DONE ");
    } else {
        ShowValue(item, " NO SD CARD ");
    }
    DelayTicks(kSecond);
    ShowValue(item, "");
}

void SetAdminMode(uint32_t on) {
    if (NvGetU32(kNvAdminUser) == on) return;   // the image is written only when the mode changes
    NvSetU32(kNvAdminUser, on);
    AdminWriteImage();
}

void CompareAdminDial() {
    const bool match = s_admin.nDialAdmin == kAdminAccessNumber;
    ShowValue(kItemAdminMode, OnOffNames[match ? 1 : 0]);
    SetAdminMode(match ? 1 : 0);
}

void CompareExitDial() {
    ShowValue(kItemExit, "");
    if (s_admin.nDialExit != kExitAccessNumber) {
        RemoveBootStop();
        return;
    }
    std::memcpy(FlashBuf, "YES", 3);
    if (FlashWriteTFS(kBootStop, "", 3) < 0) {
        ShowValue(kItemExit, " ERROR ");
        DelayTicks(2 * kSecond);
        s_admin.nDialExit = kAdminDialStart;
        return;
    }
    ShowValue(kItemExit, " EXITING... ");
    DelayTicks(5 * kSecond);
    KickWatchdog(0);
}

void ShowHeading(const char* heading) {
    ClearScreenArea();
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
    DrawStatusBar();
    DrawTextF(kGreen, kHeadingFont, 3, 210, 25, "%s", heading);
}

// A screen of its own runs in the list's place; the list comes back in full.
void RunInPlace(void (*screen)()) {
    GUI_ClearRect(210, PageY(kAdminFirstY), kAdminValueX, PageY(459));
    DrawCursorMark(false);
    screen();
}

void RunLogService(int32_t item, const char* text, void (*service)()) {
    ShowValue(item, text);
    service();
    DelayTicks(kSecond);
}

void ShowRemoteStep(const char* text) { ShowValue(kItemRemoteFiles, text); }

void Select(int32_t item) {
    switch (item) {
    case kItemTransfer: ShowHeading("Transfer Files"); FileTransferScreen(); break;
    case kItemDebugLogs: CopyDebugLogs(item, false); break;
    case kItemDataLogs: CopyDebugLogs(item, true); break;
    case kItemRemoteFiles: RequestRemoteFiles(ShowRemoteStep); break;
    case kItemMaintenance: RunInPlace(MaintenanceMenu); break;
    case kItemDiagnostics: ShowHeading("Perform Diagnostics Tests"); DiagnosticsMenu(); break;
    case kItemAdminMode: CompareAdminDial(); break;
    case kItemTimers: RunInPlace(EngineTimersMenu); break;
    case kItemEraseData: RunLogService(item, " ERASING ", DataStoreErase); break;
    case kItemEraseSys: RunLogService(item, " ERASING ", EraseSysLogs); break;
    case kItemClockDefaults: RunLogService(item, " SETTING ", SetDefaultClockMem); break;
    case kItemExit: CompareExitDial(); break;
    default: return;
    }
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
    FullDrawing();
}

// ---- the knob -----------------------------------------------------------------------------

void Knob(int32_t item, int32_t delta) {
    switch (item) {
    case kItemDataLogs:
        s_admin.nSpan += 10 * delta;
        ShowValue(item, SpanText());
        break;
    case kItemInterval: {
        const int32_t v = static_cast<int32_t>(G_DataStoreInterval) + delta;
        G_DataStoreInterval = static_cast<uint32_t>(v < 1 ? 5 : (v > 60 ? 1 : v));
        ShowValue(item, IntervalText());
        break;
    }
    case kItemAdminMode:
        s_admin.nDialAdmin += delta;
        SetAdminMode(0);
        ShowValue(item, DialText(s_admin.nDialAdmin));
        break;
    case kItemDebugPort: {
        NvSetU32(kNvSerialDebugOn, static_cast<uint32_t>(StepOffOn(static_cast<int32_t>(NvGetU32(kNvSerialDebugOn)), delta)));
        AdminWriteImage();
        DrawItem(item);
        break;
    }
    case kItemApOutput:
        G_NVRam[kNvApSteerEnable] = static_cast<uint8_t>(StepOffOn(G_NVRam[kNvApSteerEnable] & 1, delta));
        AdminWriteImage();
        DrawItem(item);
        break;
    case kItemExit:
        s_admin.nDialExit += delta;
        ShowValue(item, DialText(s_admin.nDialExit));
        RemoveBootStop();
        break;
    default:
        if (item >= kItemSerial1 && item <= kItemLatLon) {
            AdminPortKnob(item, delta);
            DrawItem(item);
        } else if (item >= kItemEngineModule && item <= kItemPartnerIp) {
            AdminNetKnob(item, delta);
            DrawItem(item);
        }
        break;
    }
}

// ---- saving and leaving -------------------------------------------------------------------

void Save() {
    ClearScreenArea();
    ShowPopupMsg(kWhite, 320, 240, kSecond, "Writing to NVRAM");
    DelayTicks(kSetupTicks250ms);
    AdminWriteImage();
    WriteSystemKvd();
    FixConfig();
    ShowPopupMsg(kWhite, 320, 240, kSecond, "Writing to NVRAM ... DONE");
    DelayTicks(kSecond);
    ClearPopup();
}

[[noreturn]] void RestartForNetwork() {
    ClearScreenArea();
    DrawTextF(kGreen, kHeadingFont, 3, 210, 57, "Reset Required Please Stand By...");
    DelayTicks(5 * kSecond);
    KickWatchdog(0);
    for (;;) IdleHook();
}

int32_t Leave() {
    ClearScreenArea();
    return 1;
}

}  // namespace

void AdminWriteImage() {
    WriteNVRam(1);
    WriteNVRam(1);
}

int32_t AdminItemY(int32_t item) { return kAdminFirstY + kAdminPitch * (item - 1); }
int32_t AdminCursor() { return s_admin.nCursor; }
int32_t AdminLastItem() { return s_admin.nLast; }
int32_t AdminCopySpan() { return s_admin.nSpan; }
const char* AdminValueTrail() { return s_trail; }

int32_t AdminCopyWatchdogSeconds(int32_t spanMinutes) {
    const int32_t hours = spanMinutes / 60;
    return hours > 0 ? 180 * hours : 30;
}

const char* AdminItemValue(int32_t item) {
    s_value[0] = 0;
    if (item < 1 || item > kAdminItems) return s_value;
    if (PressSelectItem(item)) return item == s_admin.nCursor ? " Press Select " : "";
    switch (item) {
    case kItemDataLogs: return SpanText();
    case kItemInterval: return IntervalText();
    case kItemAdminMode: return OnOffNames[NvGetU32(kNvAdminUser) == 1 ? 1 : 0];
    case kItemDebugPort: return OnOffNames[NvGetU32(kNvSerialDebugOn) == 1 ? 1 : 0];
    case kItemApOutput: return OnOffNames[G_NVRam[kNvApSteerEnable] & 1];
    case kItemExit: return OnOffNames[BootStopStored() ? 1 : 0];
    default: break;
    }
    if (item >= kItemSerial1 && item <= kItemLatLon) return AdminPortValue(item);
    if (item >= kItemEngineModule && item <= kItemPartnerIp) return AdminNetValue(item);
    return s_value;
}

void AdminSettingsOpen() {
    s_admin = {};
    s_trail[0] = 0;
    s_admin.nCursor = 1;
    s_admin.nLast = kAdminItemsUser;
    s_admin.nDialAdmin = kAdminDialStart;
    s_admin.nDialExit = kAdminDialStart;
    s_admin.nSpan = SaturateI32(std::trunc(NvGetF32(kNvLastFlight) * 60.0f)) + 6;
    s_admin.nServiceStamp = ReadOsTimer();
    AdminNetOpen();
    G_SettingsScreen = {};
    G_SettingsScreen.bEditable = 1;   // labels in white, the knob taken
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
    DrawStatusBar();
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    FullDrawing();
}

int32_t AdminSettingsInput(int32_t key, int32_t delta) {
    switch (SettingsKey(key)) {
    case 1:
        if (AdminResetRequired()) RestartForNetwork();
        return Leave();
    case 2: MoveCursor(+1); break;
    case 3: MoveCursor(-1); break;
    case 4: Select(s_admin.nCursor); break;
    case 5:
        if (!kRowsOf[s_admin.nCursor].saves) break;
        Save();
        return Leave();
    default: break;
    }
    if (delta != 0) Knob(s_admin.nCursor, delta);
    return 0;
}

void AdminSettingsPoll() {
    RemoteFilesService(s_admin.nCursor, s_admin.nCursor14Stamp);
    if (TicksElapsed(ReadOsTimer(), s_admin.nServiceStamp, kSetupTicks50ms)) {
        s_admin.nServiceStamp = ReadOsTimer();
        SampleAdcStep();
    }
}

void AdminSettingsScreen() {
    AdminSettingsOpen();
    RunSettingsScreen(AdminSettingsInput, AdminSettingsPoll);
}
