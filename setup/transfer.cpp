// The configuration file transfer screen: one row per settings,
// calibration, checklist, aircraft, sound or NVRAM file (or group of them),
// each copied between the flash file system and the SD card, and read again
// after a restore so that it acts at once.
#include <cstdio>

#include "core/adc.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/engine.h"
#include "engine/enginecfg.h"
#include "engine/tanks.h"
#include "gui/gui.h"
#include "setup/balance.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "storage/config.h"
#include "storage/enginelog.h"
#include "storage/fat.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "storage/upgrade.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

const XferRow XferRowText[kXferRows + 1] = {
    {"", ""},
    {" All User Level Range and Data Files", ""},
    {"   ->Checklist File", "(CHKLST.KVD)"},
    {"   ->Maintenance File", "(MAINT.KVD)"},
    {"   ->Weight & Balance File", "(AIRCRAFT.KVD)"},
    {"   ->Airplane Bitmap File", "(AIRCRAFT.KVB)"},
    {"   ->Input Configuration File", "(INPUT.KVD)"},
    {"   ->Log Configuration File", "(LOGCFGSD.KVD)"},
    {"   ->Airdata Range File", "(AIRDATA.KVD)"},
    {"   ->Engine Range File", "(ENGINE.KVD)"},
    {"   ->Horsepower File", "(HORSEPWR.KVD)"},
    {"   ->Fuel Tank Calibration File", "(TANKS.KVC)"},
    {"   ->AOA Config & Cal File", "(AOA.KVC)"},
    {" Non-Volatile RAM File", "(NVRAM.KVD)"},
    {" All Sound Files", "(*.KVW)"},
    {" All Calibration and System Files", ""},
    {"   ->Airdata Calibration", "(AIRDATA.KVC)"},
    {"   ->Engine Calibration", "(ENGINE.KVC)"},
    {"   ->EGT/CHT Calbration", "(EGTCHT.KVC)"},
    {"   ->System Configuration", "(SYSTEM.KVD)"},
    {"   ->System Calibration", "(SYSTEM.KVC)"},
    {"   ->Serial Numbers File", "(MONRC)"},
};

// " ERROR " ends a row one of whose files failed, so a failure never reads
// as " DONE "; the knob counts it as " DONE ".
const char XferStateNames[5][16] = {" --- ", " BACKUP ", " RESTORE ", " DONE ", " ERROR "};

namespace {

constexpr int32_t kRowTop = 41, kPitch = 15, kFont = 6;
constexpr int32_t kNumberX = 230, kLabelX = 495, kStateX = 630, kMarkX = 200, kClearX = 500;
constexpr int32_t kRowsUser = 14, kRowInput = 6, kRowAll = 1, kRowNvram = 13, kRowSounds = 14,
                  kRowCalAll = 15, kRowMonrc = 21;
constexpr uint32_t kWhite = 31, kYellow = 14, kGrey = 0x404040;
constexpr uint32_t kShowCopyTicks = 1843000;   // 0.5 s
constexpr int32_t  kGroupKickSeconds = 20, kCalGroupKickSeconds = 10;
// A picture on the card that the loader would refuse: it is not copied.
constexpr int32_t  kPictureRefused = -2;

// Knob values of the states; " ERROR " counts as " DONE ".
enum XferState : int32_t { kNone = 0, kBackup = 1, kRestore = 2, kDone = 4, kError = 5 };

constexpr int8_t kNoFile = -1;
constexpr int32_t kFileMonrc = 20, kExtKvb = 4, kFirstSound = 21, kSounds = 17;

struct XferFile {
    int8_t nFile;   // file id, extension id
    int8_t nExt;
    int8_t nRow;    // the file's own row
};
// Rows 2..13 and 16..21: the row's file.
constexpr XferFile kRowFile[kXferRows + 1] = {
    {kNoFile, 0, 0},  {kNoFile, 0, 1},  {7, kExtKvd, 2},  {8, kExtKvd, 3},   {9, kExtKvd, 4},   {9, kExtKvb, 5},
    {kNoFile, 0, 6},  {19, kExtKvd, 7}, {2, kExtKvd, 8},  {0, kExtKvd, 9},   {4, kExtKvd, 10},  {6, kExtKvc, 11},
    {16, kExtKvc, 12}, {15, kExtKvd, 13}, {kNoFile, 0, 14}, {kNoFile, 0, 15}, {2, kExtKvc, 16}, {0, kExtKvc, 17},
    {5, kExtKvc, 18}, {3, kExtKvd, 19}, {3, kExtKvc, 20}, {kFileMonrc, kCfgNoExt, 21},
};
constexpr int32_t kUserFileSet[] = {2, 3, 4, 5, 7, 8, 9, 10, 11, 12};
constexpr int32_t kCalFileSet[] = {16, 17, 18, 19, 20, 21};

void ReloadLogChannels() { LoadLogChannels(); }
void ReloadNVRam() {
    ReadNVRamFile();
    WriteNVRam(1);
    WriteNVRam(1);
}
// What reads a row's file again after a successful restore.
void (*const kReload[kXferRows + 1])() = {
    nullptr,          nullptr,         ReadChecklistFile, ReadMaintFile,  ReadAircraftFile,  LoadAircraftBitmap,
    nullptr,          ReloadLogChannels, RepairSystemKvd, LoadEngineSettings, LoadHorsepowerTable, LoadTanksCal,
    ReadAoaFile,      ReloadNVRam,     nullptr,           nullptr,        LoadAirdataCal,    LoadEngineCal,
    LoadEgtChtCal,    FixConfig,       RepairSystemKvc,   nullptr,
};

struct XferScreen {
    int32_t nRow;                       // cursor row
    int32_t nShown;                     // 21 or 14
    int32_t aState[kXferRows + 1];
};
XferScreen s_xfer;

int32_t PageY(int32_t y) { return y + static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
int32_t RowY(int32_t row) { return kRowTop + kPitch * (row - 1); }

const char* StateName(int32_t state) {
    switch (state) {
    case kBackup: return XferStateNames[1];
    case kRestore: return XferStateNames[2];
    case kDone: return XferStateNames[3];
    case kError: return XferStateNames[4];
    default: return XferStateNames[0];
    }
}

bool Startable(int32_t state) { return state == kBackup || state == kRestore; }

void DrawRowText(int32_t row) {
    const int32_t y = RowY(row);
    const uint32_t colour = row == kRowInput ? kGrey : kWhite;
    GUI_ClearRect(kMarkX + 1, PageY(y), kStateX, PageY(y + kPitch - 1));
    DrawTextF(colour, kFont, 2, kNumberX, y, "%d.", static_cast<int>(row));
    DrawTextF(colour, kFont, 3, kNumberX, y, "%s", XferRowText[row].szDesc);
    DrawTextF(colour, kFont, 2, kLabelX, y, "%s", XferRowText[row].szLabel);
}

void DrawRowState(int32_t row) {
    const int32_t y = RowY(row);
    GUI_ClearRect(kLabelX + 1, PageY(y), kStateX, PageY(y + kPitch - 1));
    const uint32_t colour = row == kRowInput ? kGrey : kYellow;
    DrawTextF(colour, kFont, row == s_xfer.nRow ? 14 : 2, kStateX, y, "%s", StateName(s_xfer.aState[row]));
}

void DrawRow(int32_t row) {
    DrawRowText(row);
    DrawRowState(row);
}

void LabelStart() { SetSoftKeyLabel(4, Startable(s_xfer.aState[s_xfer.nRow]) ? "START" : ""); }

void FullDrawing() {
    if (NvGetU32(kNvAdminUser) == 1) {
        s_xfer.nShown = kXferRows;
    } else {
        s_xfer.nShown = kRowsUser;
        GUI_ClearRect(210, PageY(223), kStateX, PageY(459));
    }
    for (int32_t row = 1; row <= s_xfer.nShown; ++row) DrawRow(row);
    DrawSetupCursorAt(kMarkX, RowY(s_xfer.nRow), 1);
    LabelStart();
    G_RedrawReq = 1;
}

void MoveCursor(int32_t to) {
    if (to < 1 || to > s_xfer.nShown) return;
    int32_t& left = s_xfer.aState[s_xfer.nRow];
    if (Startable(left)) left = kNone;
    DrawSetupCursorAt(kMarkX, RowY(s_xfer.nRow), 0);
    s_xfer.nRow = to;
    DrawStatusBar();
    FullDrawing();
}

void TurnKnob(int32_t delta) {
    const int32_t row = s_xfer.nRow;
    if (row == kRowInput) return;
    const int32_t from = s_xfer.aState[row] == kError ? kDone : s_xfer.aState[row];
    const int64_t to = static_cast<int64_t>(from) + delta;
    s_xfer.aState[row] = to < 0 ? kRestore : (to > kRestore ? kNone : static_cast<int32_t>(to));
    DrawRowState(row);
    LabelStart();
    DrawStatusBar();
}

// A picture on the card is checked as the loader checks it before it may
// replace the stored one; anything else the copy reports itself.
bool CardPictureRefused() {
    if (G_SDCard.nState != kSdMounted) return false;
    DFS_FileInfo in;
    if (DFS_OpenFile(&G_SdVolInfo, "AIRCRAFT.KVB", DFS_READ, G_SDCard.scratch, &in) != DFS_OK) return false;
    if (in.filelen == 0 || in.filelen > kCfgFileMax) return false;
    uint32_t count = 0;
    const uint32_t r = DFS_ReadFile(&in, G_SDCard.scratch, FlashBuf, &count, in.filelen);
    if (r > DFS_EOF || count != in.filelen) return false;
    const char* refused = CheckAircraftBitmap(FlashBuf, count);
    if (refused == nullptr) return false;
    DebugPrintf("AIRCRAFT.KVB on the SD card not restored: %s", refused);
    return true;
}

const char* OutcomeText(int32_t result) {
    switch (result) {
    case 0: return " DONE ";
    case kCopyWriteProtect: return " SD CARD WRITE PROTECT ";
    case kCopyNoCard: return " NO SD CARD ";
    case -1: case 3: return " FILE NOT FOUND ";
    default: return " ERROR ";
    }
}

// One file of the cursor row; true when it was copied, then read again
// after a restore and, in a group, its own row marked.
bool TransferInRow(int32_t row, const XferFile& f, int32_t dir, bool markOwn) {
    DrawRowText(row);
    const int32_t r = TransferFileAction(f.nFile, f.nExt, dir, kClearX, kStateX, RowY(row));
    if (r != 0) return false;
    if (dir == kCopyRestore && kReload[f.nRow] != nullptr) kReload[f.nRow]();
    if (markOwn) s_xfer.aState[f.nRow] = kDone;
    return true;
}

bool TransferSet(int32_t row, const int32_t* rows, int32_t n, int32_t dir, int32_t kick) {
    bool ok = true;
    for (int32_t i = 0; i < n; ++i) {
        KickWatchdog(kick);
        ok = TransferInRow(row, kRowFile[rows[i]], dir, true) && ok;
    }
    return ok;
}

bool TransferSounds(int32_t row, int32_t dir) {
    bool ok = true;
    for (int32_t i = 0; i < kSounds; ++i) {
        KickWatchdog(kGroupKickSeconds);
        const XferFile f = {static_cast<int8_t>(kFirstSound + i), kExtKvw, 0};
        ok = TransferInRow(row, f, dir, false) && ok;
    }
    return ok;
}

bool TransferAll(int32_t row, int32_t dir) {
    bool ok = TransferSet(row, kUserFileSet, 10, dir, kGroupKickSeconds);
    if (dir != kCopyBackup) return ok;
    ok = TransferSet(row, kCalFileSet, 6, dir, kGroupKickSeconds) && ok;
    KickWatchdog(kGroupKickSeconds);
    WriteNVRamFile();
    ok = TransferInRow(row, kRowFile[kRowNvram], dir, true) && ok;
    KickWatchdog(kGroupKickSeconds);
    return TransferInRow(row, kRowFile[kRowMonrc], dir, true) && ok;
}

bool TransferRow(int32_t row, int32_t dir) {
    switch (row) {
    case kRowAll: return TransferAll(row, dir);
    case kRowSounds: return TransferSounds(row, dir);
    case kRowCalAll: return TransferSet(row, kCalFileSet, 6, dir, kCalGroupKickSeconds);
    case kRowNvram:
        if (dir == kCopyBackup) WriteNVRamFile();
        return TransferInRow(row, kRowFile[row], dir, false);
    default: return TransferInRow(row, kRowFile[row], dir, false);
    }
}

void Start() {
    const int32_t row = s_xfer.nRow;
    const int32_t state = s_xfer.aState[row];
    if (!Startable(state)) return;
    const bool ok = TransferRow(row, state == kBackup ? kCopyBackup : kCopyRestore);
    s_xfer.aState[row] = ok ? kDone : kError;
    SetSoftKeyLabel(4, "");
    DrawStatusBar();
    FullDrawing();
}

}  // namespace

int32_t TransferFileAction(int32_t file, int32_t ext, int32_t dir, int32_t clearX, int32_t x, int32_t y) {
    if (dir != kCopyBackup && dir != kCopyRestore) return -1;
    const bool monrc = file == kFileMonrc;
    GUI_ClearRect(clearX, PageY(y), kStateX, PageY(y + kPitch - 1));
    const char* base = file >= 0 && file < kCfgFileIds ? CfgFileNames[file] : "";
    const char* extText = monrc || ext < 0 || ext >= kCfgExtIds ? " " : CfgFileExts[ext];
    DrawTextF(kYellow, kFont, 14, x, y, " COPY %s%c%s ", base, monrc ? ' ' : '.', extText);
    const char* flags = monrc ? "e" : "";
    const bool refused = dir == kCopyRestore && file == 9 && ext == kExtKvb && CardPictureRefused();
    const int32_t result = refused ? kPictureRefused : CopyFileSD(file, ext, dir, flags);
    DelayTicks(kShowCopyTicks);
    GUI_ClearRect(clearX, PageY(y), kStateX, PageY(y + kPitch - 1));
    DrawTextF(kYellow, kFont, 14, x, y, "%s", OutcomeText(result));
    DelayTicks(kTicksPerSecond);
    GUI_ClearRect(clearX, PageY(y), kStateX, PageY(y + kPitch - 1));
    return result;
}

void FileTransferOpen() {
    s_xfer = {};
    s_xfer.nRow = 1;
    G_SettingsScreen = {};
    G_SettingsScreen.bEditable = 1;   // the knob turns the row's direction
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
    SetSoftKeyLabel(4, "");
    SetSoftKeyLabel(6, "DIRECTION");
    DrawStatusBar();
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    FullDrawing();
}

int32_t FileTransferInput(int32_t key, int32_t delta) {
    switch (SettingsKey(key)) {
    case 1:
        DrawSetupCursorAt(kMarkX, RowY(s_xfer.nRow), 0);
        GUI_ClearRect(kMarkX, PageY(25), kStateX, PageY(459));
        return 1;
    case 2: MoveCursor(s_xfer.nRow + 1); break;
    case 3: MoveCursor(s_xfer.nRow - 1); break;
    case 4: Start(); break;
    case 6: TurnKnob(1); break;
    default: break;
    }
    if (delta != 0) TurnKnob(delta);
    return 0;
}

int32_t FileTransferRow() { return s_xfer.nRow; }
int32_t FileTransferRowsShown() { return s_xfer.nShown; }
const char* FileTransferState(int32_t row) {
    return row >= 1 && row <= kXferRows ? StateName(s_xfer.aState[row]) : "";
}

static uint32_t s_sampleStamp;
static void SampleEvery50ms() {
    if (!TicksElapsed(ReadOsTimer(), s_sampleStamp, kSetupTicks50ms)) return;
    s_sampleStamp = ReadOsTimer();
    SampleAdcStep();
}

void FileTransferScreen() {
    const SettingsScreen opener = G_SettingsScreen;   // the administrator list's own
    FileTransferOpen();
    s_sampleStamp = ReadOsTimer();
    RunSettingsScreen(FileTransferInput, SampleEvery50ms);
    G_SettingsScreen = opener;
}
