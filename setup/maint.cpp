// The maintenance log page: up to twelve recurring items of MAINT.KVD with
// when each was last done and when it is due, the item update that rewrites
// the file, the log copies to the SD card and the calibration restart.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/util.h"
#include "gui/gui.h"
#include "storage/config.h"
#include "storage/enginelog.h"
#include "storage/datastore.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "storage/tfs.h"
#include "setup/setup.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/popup.h"
#include "ui/statusbar.h"
#include "ui/style.h"

MaintLog G_MaintItems;
uint32_t G_MaintSel = 0;
uint32_t G_LogMinutes = 0;

constexpr int32_t kCfgMaint = 8;                 // MAINT.KVD
constexpr int32_t kMaintLinesPerItem = 6;
constexpr uint32_t kPopupTicks = kTicksPerSecond;
constexpr uint32_t kColourWhite = 0xFFFFFF, kColourYellow = 0xFFFF;

// ---- the file -------------------------------------------------------------------------------

static bool SameNoCase(const char* a, const char* b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        const char ca = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
        const char cb = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
        if (ca != cb) return false;
    }
    return *a == *b;
}

// Copies a value into a field of `size` bytes, cut to fit.
static void CopyText(char* field, size_t size, const char* value) { std::snprintf(field, size, "%s", value); }

static float TachValue(const char* text) {
    const float v = std::strtof(text, nullptr);
    return (v > -1e7f && v < 1e7f) ? v : 0.0f;   // a value past the hundredths' range is not a tach time
}

static int32_t IntervalValue(const char* text) {
    const long v = std::strtol(text, nullptr, 10);
    return v > 999999 ? 999999 : (v < -999999 ? -999999 : static_cast<int32_t>(v));
}

// One line of the file into record r; true for a DESC.
static bool TakeMaintLine(MaintItem& it, const char* key, const char* value) {
    if (SameNoCase(key, "DESC")) {
        CopyText(it.DESC, sizeof it.DESC, value);
        StrTrimLeft(it.DESC);
        StrTrimRight(it.DESC);
        return true;
    }
    if (SameNoCase(key, "LASTDATE")) {
        CopyText(it.LASTDATE, sizeof it.LASTDATE, value);
        StrTrimLeft(it.LASTDATE);
        StrTrimRight(it.LASTDATE);
    } else if (SameNoCase(key, "LASTTACH")) {
        it.LASTTACH = TachValue(value);
    } else if (SameNoCase(key, "INTERVAL")) {
        it.INTERVAL = IntervalValue(value);
    } else if (SameNoCase(key, "UNITS")) {
        CopyText(it.UNITS, sizeof it.UNITS, value);
        StrTrimLeft(it.UNITS);
    }
    return false;
}

void ReadMaintFile() {
    ReadConfigFile(kCfgMaint, kExtKvd);
    // A file restored without a key must not leave the old one behind.
    std::memset(&G_MaintItems, 0, sizeof G_MaintItems);
    uint32_t r = 0, count = 0, dropped = 0;
    const uint32_t lines = G_CfgCount < kCfgPairs ? G_CfgCount : kCfgPairs;
    for (uint32_t i = 0; i < lines; ++i) {
        if (SameNoCase(G_CfgKey[i], "NEXTLINE")) {
            ++r;
        } else if (r >= kMaintItems) {
            ++dropped;
        } else if (TakeMaintLine(G_MaintItems.item[r], G_CfgKey[i], G_CfgValue[i])) {
            count = r + 1;   // two DESC lines in one record still make one item
        }
    }
    if (dropped != 0) DebugPrintf("WARNING: MAINT.KVD: %d lines past item %d ignored\n", static_cast<int>(dropped), kMaintItems);
    G_MaintItems.nCount = count;
    for (uint32_t i = 0; i < count; ++i) {
        MaintItem& it = G_MaintItems.item[i];
        if (SameNoCase(it.UNITS, "HOURS")) CopyText(it.UNITS, sizeof it.UNITS, "tach hours");
        ParseMaintDate(it.LASTDATE);
    }
}

// Hundredths of an hour, as every time on this page is shown and written.
static int32_t Hundredths(float hours) { return RoundNearest(static_cast<double>(hours) * 100.0); }

static void FormatHours(char* out, int32_t size, float hours, int32_t width) {
    FormatScaled(out, size, Hundredths(hours), 2, width);
}

int32_t WriteMaintFile() {
    TFS_Defrag(0);
    ShowPopupMsg(kColourWhite, 320, 240, kPopupTicks, "Writing MAINT.KVD");
    const uint32_t count = G_MaintItems.nCount < kMaintItems ? G_MaintItems.nCount : kMaintItems;
    int32_t n = 0;
    auto line = [&n](const char* key, const char* format, auto value) {
        CopyText(G_CfgKey[n], kCfgFieldBytes, key);
        std::snprintf(G_CfgValue[n], kCfgFieldBytes, format, value);
        ++n;
    };
    for (uint32_t i = 0; i < count; ++i) {
        const MaintItem& it = G_MaintItems.item[i];
        char tach[24];
        FormatHours(tach, sizeof tach, it.LASTTACH, 1);
        line("DESC", "%s", it.DESC);
        line("LASTDATE", "%s", it.LASTDATE);
        line("LASTTACH", "%s", tach);
        line("INTERVAL", "%d", static_cast<int>(it.INTERVAL));
        line("UNITS", "%s", it.UNITS);
        line("NEXTLINE", "%d", 0);
    }
    const int32_t rc = writedatabyline(kMaintLinesPerItem * static_cast<int32_t>(count), kCfgMaint, kExtKvd);
    ShowPopupMsg(kColourWhite, 320, 240, kPopupTicks, rc != 0 ? "Writing MAINT.KVD ... ERROR" : "Writing MAINT.KVD ... DONE");
    DelayTicks(kPopupTicks);
    ClearPopup();
    return rc != 0 ? -1 : 0;
}

// ---- dates ----------------------------------------------------------------------------------

// A decimal number after optional blanks and sign, at most 9 digits.
static bool ScanNumber(const char*& p, int32_t& value) {
    while (*p == ' ' || *p == '\t') ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int32_t v = 0, digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (digits == 9) return false;
        v = v * 10 + (*p - '0');
    }
    value = negative ? -v : v;
    return digits > 0;
}

static bool ScanSeparators(const char*& p) {
    const char* start = p;
    while (*p == '/' || *p == '-' || *p == '.') ++p;
    return p != start;
}

int32_t ParseMaintDate(char* text) {
    const char* p = text;
    int32_t month = 0, day = 0, year = 0;
    if (!ScanNumber(p, month) || !ScanSeparators(p) || !ScanNumber(p, day) || !ScanSeparators(p) ||
        !ScanNumber(p, year))
        return 0;
    char out[40];
    const int n = std::snprintf(out, sizeof out, "%02d/%02d/%4d", static_cast<int>(month), static_cast<int>(day),
                                static_cast<int>(year));
    if (n > 0 && n < static_cast<int>(sizeof MaintItem::LASTDATE)) std::memcpy(text, out, static_cast<size_t>(n) + 1);
    return 0;
}

// The number in text[from .. from + len): blanks, then digits only.
static bool FieldNumber(const char* text, int from, int len, int32_t& value) {
    value = 0;
    int i = 0, digits = 0;
    while (i < len && text[from + i] == ' ') ++i;
    for (; i < len; ++i, ++digits) {
        const char c = text[from + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return digits > 0;
}

// Month characters 0-1, day 3-4, year 6-9 of "mm/dd/yyyy".
static bool DateFields(const char* text, int32_t& year, int32_t& month, int32_t& day) {
    if (text == nullptr || std::strlen(text) < 10) return false;
    return FieldNumber(text, 0, 2, month) && FieldNumber(text, 3, 2, day) && FieldNumber(text, 6, 4, year);
}

// Days since 1970-01-01 of a proleptic Gregorian date; month 1..12.
static int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

static void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2);
}

int32_t AddDaysToDate(char* text, int32_t days) {
    int32_t year = 0, month = 0, day = 0;
    if (!DateFields(text, year, month, day)) return -1;
    // Month 0 and 13, day 0 and 32 roll into the neighbouring months, as a
    // calendar normalises them.
    const int64_t m0 = month - 1;
    const int64_t y = year + (m0 >= 0 ? m0 / 12 : (m0 - 11) / 12);
    const int64_t m = m0 - (y - year) * 12 + 1;
    int64_t ny = 0, nm = 0, nd = 0;
    CivilFromDays(DaysFromCivil(y, m, 1) + (day - 1) + days, ny, nm, nd);
    if (ny < 0 || ny > 9999) return -1;
    std::snprintf(text, 32, "%02d/%02d/%04d", static_cast<int>(nm), static_cast<int>(nd), static_cast<int>(ny));
    return 0;
}

int32_t CompareDateToday(const char* text) {
    int32_t year = 0, month = 0, day = 0;
    if (!DateFields(text, year, month, day)) return 1;   // an unreadable date is not known to be past
    const DateTime& t = G_DateTime;
    const int64_t date = static_cast<int64_t>(year) * 10000 + month * 100 + day;
    const int64_t today = static_cast<int64_t>(t.nYear) * 10000 + t.nMonth * 100 + t.nDay;
    return date < today ? -1 : 1;
}

// ---- keys -----------------------------------------------------------------------------------

int32_t MaxLogMinutes() {
    const float hours = static_cast<float>(G_DataStoreInterval * 2.55);
    const int32_t m = RoundNearest(static_cast<double>(hours) * 60.0);
    return m < 0 ? -m : m;
}

static uint32_t ItemCount() { return G_MaintItems.nCount < kMaintItems ? G_MaintItems.nCount : kMaintItems; }

// The selection held within the items (a new file may hold fewer).
static uint32_t Selected() {
    const uint32_t count = ItemCount();
    if (G_MaintSel >= count) G_MaintSel = count == 0 ? 0 : count - 1;
    return G_MaintSel;
}

static void ToState(uint32_t state) {
    G_MenuState = state;
    RedrawScreen();
}

static void StepLogMinutes() {
    int64_t m = static_cast<int64_t>(G_LogMinutes) + (G_Knob0.nDelta > 0 ? 10 : -10);
    const int64_t max = MaxLogMinutes();
    G_LogMinutes = static_cast<uint32_t>(m < 0 ? 0 : (m > max ? max : m));
    RedrawScreen();
}

static void UpdateSelectedItem() {
    ClearPopup();
    if (ItemCount() != 0) {
        MaintItem& it = G_MaintItems.item[Selected()];
        std::snprintf(it.LASTDATE, sizeof it.LASTDATE, "%02d/%02d/%04d", static_cast<int>(G_DateTime.nMonth % 100),
                      static_cast<int>(G_DateTime.nDay % 100), static_cast<int>(G_DateTime.nYear % 10000));
        it.LASTTACH = NvGetF32(kNvTachTime);
    }
    ToState(kMenuMaint);
    WriteMaintFile();
}

static void CopyLogs() {
    const PaneRecord& p = G_AuxPane;
    if (G_SDCard.nState != kSdMounted) {
        ShowPopupMsg(kColourYellow, p.nCenterX, p.nCenterY, kPopupTicks, " NO SD CARD ");
        DelayTicks(2 * kTicksPerSecond);
        ClearPopup();
        ToState(kMenuMaintLogs);
        return;
    }
    KickWatchdog(30);
    if (G_MenuState == kMenuDataLog) {
        if (G_SDCard.nLogging) WriteEngineLogRec(1);
        DataStoreToSD(0, 0, static_cast<int32_t>(G_LogMinutes), 0);
    } else {
        WriteEngineLogRec(1);
        if (G_RamLog.nCount != 0) CopyRamLogSD(0, 0, 0);
        CopySysLogSD(0, 0, 0);
    }
    ToState(kMenuMaintLogs);
}

// Key 4 held: the unit restarts into calibration mode, on the ground only.
static void CalibrationRequest() {
    G_MenuState = kMenuMaintLogs;
    if (AuxInFlight()) return;
    const int y = static_cast<int>(G_FlipCtl.nDrawPageY);
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(0, y, 640, y + 1638);   // the GUI clips it to frame memory
    G_CalRestart = 1;
    DebugPrintf("Going to Calibration\n");
}

// Handles one key; false when the page is not to be drawn now.
static bool MaintKey(int32_t key) {
    const uint32_t state = G_MenuState;
    switch (key) {
    case -1: case 1:
        if (state == kMenuDataLog) StepLogMinutes();
        G_Knob0.nDelta = 0;
        break;
    case 2:
        if (state == kMenuMaintLogs && !AuxInFlight()) ToState(kMenuDataLog);
        break;
    case 3:
        if (state == kMenuMaintLogs) ToState(kMenuSysLog);
        else if (state == kMenuMaint) ToState(kMenuMaintLogs);
        else if (state == kMenuUpdate) UpdateSelectedItem();
        break;
    case 4:
        if (state == kMenuDataLog || state == kMenuSysLog) CopyLogs();
        else if (state == kMenuUpdate) { ClearPopup(); ToState(kMenuMaintLogs); }
        else if (state == kMenuMaint) G_MaintSel = static_cast<uint32_t>(WrapIndex(static_cast<int32_t>(Selected()), static_cast<int32_t>(ItemCount()), -1));
        break;
    case 5:
        if (state == kMenuMaintLogs) {
            ShowPopupMsg(kColourWhite, G_AuxPane.nCenterX, G_AuxPane.nCenterY, kPopupTicks, " ARE YOU SURE? ");
            ToState(kMenuUpdate);
        } else if (state == kMenuDataLog || state == kMenuSysLog) {
            ToState(kMenuMaintLogs);
        } else if (state == kMenuMaint) {
            G_MaintSel = static_cast<uint32_t>(WrapIndex(static_cast<int32_t>(Selected()), static_cast<int32_t>(ItemCount()), 1));
        }
        break;
    case 6:
        if (state == kMenuMaint) {
            G_AuxPageIdx = kAuxAbout;
            RedrawScreen();
            AboutScreen(0);
            return false;
        }
        break;
    case 20:
        CalibrationRequest();
        return false;
    default:
        break;
    }
    return true;
}

// ---- the page -------------------------------------------------------------------------------

static int32_t PageY() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

static void DrawTimes(const PaneRecord& p, int32_t q) {
    struct Time { const char* label; uint32_t offset; int32_t x; };
    const Time times[] = {
        {"Tach Time", kNvTachTime, p.x0 + 3},
        {"Hobbs Time", kNvHobbsTime, p.x0 + 3 + q},
        {"Today Time", kNvTodayTime, p.nCenterX},
        {"Last Flight", kNvLastFlight, p.nCenterX + q},
    };
    for (const Time& t : times) {
        char value[24];
        FormatHours(value, sizeof value, NvGetF32(t.offset), 5);
        DrawTextF(14, 8, 3, t.x, p.y0 + 40, "%s: %s", t.label, value);
    }
}

enum class DueBy { kNone, kTach, kDays };

static DueBy DueKind(const MaintItem& it) {
    if (it.UNITS[0] == 'T' || it.UNITS[0] == 't') return DueBy::kTach;
    if (it.UNITS[0] == 'D' || it.UNITS[0] == 'd') return DueBy::kDays;
    return DueBy::kNone;
}

// The columns lie at fixed x on the full-width panes; a narrow pane shows
// the left of them.
static void DrawItem(const PaneRecord& p, const MaintItem& it, int32_t y, bool selected) {
    const DueBy due = DueKind(it);
    const float dueTach = static_cast<float>(it.INTERVAL) + it.LASTTACH;
    char dueDate[32];
    CopyText(dueDate, sizeof dueDate, it.LASTDATE);
    uint32_t colour = 31;
    if (due == DueBy::kTach && dueTach < NvGetF32(kNvTachTime)) colour = 2;
    if (due == DueBy::kDays && AddDaysToDate(dueDate, it.INTERVAL) == 0 && CompareDateToday(dueDate) == -1) colour = 2;
    const int32_t x = p.x0;
    DrawTextF(colour, 4, selected ? 12 : 3, x + 3, y, "%s", it.DESC);
    DrawTextF(colour, 4, 3, x + 200, y, "%s", it.LASTDATE);
    DrawNumber(colour, 4, 3, x + 270, y, Hundredths(it.LASTTACH), 0);
    const int32_t end = DrawTextF(colour, 4, 3, x + 350, y, "%d", static_cast<int>(it.INTERVAL));
    DrawTextF(colour, 4, 3, end + 10, y, "%s", it.UNITS);
    if (due == DueBy::kTach) DrawNumber(colour, 4, 3, x + 500, y, Hundredths(dueTach), 0);
    else if (due == DueBy::kDays) DrawTextF(colour, 4, 3, x + 500, y, "%s", dueDate);
}

static void DrawMaintItems(const PaneRecord& p) {
    const int32_t q = (p.x1 - (p.x0 + 3)) / 4;
    DrawTextF(14, 10, 4, p.nCenterX, p.y0 + 5, "Aircraft Maintenance");
    DrawTimes(p, q);
    static const struct { const char* text; int32_t dx; } kHeadings[] = {
        {"Description", 3}, {"Date", 200}, {"Tach", 270}, {"Interval", 350}, {"Next", 500}};
    for (const auto& h : kHeadings) DrawTextF(14, 8, 3, p.x0 + h.dx, p.y0 + 83, "%s", h.text);
    SetDrawColor(8);
    GUI_DrawHLine(p.y0 + 100 + PageY(), p.x0 + 3, p.x1);
    const uint32_t count = ItemCount(), sel = Selected();
    for (uint32_t i = 0; i < count; ++i) DrawItem(p, G_MaintItems.item[i], p.y0 + 105 + 20 * static_cast<int32_t>(i), i == sel);
}

void DrawMaintPage(int32_t key) {
    if (G_CurPage != 11 && G_CurPage != 12 && G_CurPage != 13) return;
    if (!MaintKey(key)) return;
    const PaneRecord& p = G_AuxPane;
    if (p.pRect == nullptr) return;
    const uint32_t hold = G_FlipCtl.nFlipHold;
    G_FlipCtl.nFlipHold = 1;
    SetAuxPaneClip(PageY());
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(p.x0, p.y0 + PageY(), p.x1, p.y1 + PageY());
    DrawMaintItems(p);
    ClearAuxPaneClip();
    if (G_MenuState == kMenuUpdate) ShowPopupMsg(kColourWhite, p.nCenterX, p.nCenterY, kPopupTicks, " ARE YOU SURE? ");
    G_FlipCtl.nFlipHold = hold;
}
