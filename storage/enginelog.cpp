#include "storage/enginelog.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "engine/instrument.h"
#include "platform/monitor.h"
#include "setup/setup.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/sdcard.h"
#include "storage/sdfile.h"
#include "ui/buttons.h"
#include "ui/popup.h"
#include "ui/statusbar.h"

uint32_t G_LogChanSD[kLogChanSDWords] = {kLogChanEnd};
uint32_t G_LogChanFlash[kLogChanFlashWords] = {kLogChanEnd};

constexpr uint32_t kPauseTicks     = 368640;    // 0.1 s
constexpr uint32_t kLivePendingMax = 256;       // the live log writes once more is pending
constexpr uint32_t kLiveBufBytes   = 512;
constexpr uint32_t kExportPending  = 0x31000;   // the export writes once more is pending
constexpr uint32_t kLineMax        = 1024;      // longest export line, with room to spare
constexpr int32_t  kSoftKeyCancel  = 4;

// The live log's pending text: its own buffer, so other users of FlashBuf
// cannot overwrite it between records.
static char s_liveText[kLiveBufBytes];

// ---- the channel lists ----------------------------------------------------------

int32_t LoadLogChannels() {
    const int32_t r = ReadConfigFile(kCfgLogCfgSD, kExtKvd);
    if (r < 0) return r;
    uint32_t nSd = 0, nFlash = 0;
    for (uint32_t line = 0; line < G_CfgCount && line < static_cast<uint32_t>(kCfgPairs); ++line) {
        if (std::atoi(G_CfgValue[line]) != 1) continue;
        for (uint32_t c = 2; c < kLogChannels; ++c) {
            // Repeated keys are taken until a list is full, never past it.
            if (strcasecmp(G_CfgKey[line], G_LogChannels[c].szName) == 0 && nFlash < kLogChanFlashWords - 1)
                G_LogChanFlash[nFlash++] = c;
            if (c - 2 < static_cast<uint32_t>(kInstruments) && strcasecmp(G_CfgKey[line], InstrumentNames[c - 2]) == 0 &&
                nSd < kLogChanSDWords - 1)
                G_LogChanSD[nSd++] = c - 2;
        }
    }
    G_LogChanSD[nSd] = kLogChanEnd;
    G_LogChanFlash[nFlash] = kLogChanEnd;
    return 0;
}

static bool NameIs(uint32_t c, const char* name) { return std::strcmp(G_LogChannels[c].szName, name) == 0; }

static int32_t DefaultChoice(uint32_t c) {
    const LogChannel& ch = G_LogChannels[c];
    if (NameIs(c, "SENSORTEMP") || NameIs(c, "TIT_1") || NameIs(c, "TIT_2")) return 0;
    if (NameIs(c, "AOA") || NameIs(c, "AOA_WING_PSF")) return G_NetStreamCfg[kStreamAoa].INST != 0;
    if (NameIs(c, "TANK_3") || NameIs(c, "TANK_4")) return G_InstCfg[ch.nCode].nEnable == 1;
    if (NameIs(c, "EGT_5") || NameIs(c, "EGT_6") || NameIs(c, "CHT_5") || NameIs(c, "CHT_6"))
        return G_EngInfo.nEgtCount == 6;
    if (NameIs(c, "COOL_TEMP")) return G_EngInfo.nEngineType == kEngRotax912 || G_EngInfo.nEngineType == kEngRotax914;
    return 1;
}

void WriteLogCfgSD() {
    DebugPrintf("LOGCFGSD.KVD missing or broken, rewiting\n");
    int32_t n = 0;
    for (uint32_t c = 2; c < kLogChannels; ++c) {
        if (NameIs(c, "LAT_LWR") || NameIs(c, "LON_LWR") || NameIs(c, "SPARE")) continue;
        std::snprintf(G_CfgKey[n], kCfgFieldBytes, "%s", G_LogChannels[c].szName);
        std::snprintf(G_CfgValue[n], kCfgFieldBytes, "%d", static_cast<int>(DefaultChoice(c)));
        ++n;
    }
    const int32_t r = writedatabyline(n, kCfgLogCfgSD, kExtKvd);
    if (r < 0) DebugPrintf("ERROR: Write LOGCFGSD.KVD returned %d\n", static_cast<int>(r));
}

// ---- text fields ----------------------------------------------------------------

// Appends to a bounded line; false when it would not fit.
struct Line {
    char*    buf;
    uint32_t room;
    uint32_t len;
};

static bool Add(Line* l, const char* format, ...) __attribute__((format(printf, 2, 3)));
static bool Add(Line* l, const char* format, ...) {
    if (l->len >= l->room) return false;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(l->buf + l->len, l->room - l->len, format, args);
    va_end(args);
    if (n < 0 || static_cast<uint32_t>(n) >= l->room - l->len) {
        l->buf[l->len] = '\0';
        return false;
    }
    l->len += static_cast<uint32_t>(n);
    return true;
}

// Fixed point: value in units of 1/scale, with the minus sign kept when the
// integer part is 0.
static bool AddFixed(Line* l, const char* sep, int32_t value, int32_t scale, int digits) {
    const int32_t whole = value / scale;
    const int32_t frac = std::abs(value % scale);
    const char* sign = value < 0 && whole == 0 ? "-" : "";
    return Add(l, "%s%s%d.%0*d", sep, sign, static_cast<int>(whole), digits, static_cast<int>(frac));
}

static int32_t Round10(int32_t v) {
    const double q = v / 10.0;
    return static_cast<int32_t>(q < 0 ? q - 0.5 : q + 0.5);
}

static bool InSet(uint32_t c, const uint8_t* set, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (set[i] == c) return true;
    return false;
}

static const uint8_t kTenths[] = {6, 7, 9, 11, 13, 15, 21, 22, 23, 24, 45, 46, 47, 50, 51, 63};

// One export field for channel c of a record.
static bool AddChannel(Line* l, const DataStoreRec& rec, uint32_t c) {
    if (c < 2 || c >= kLogChannels) return true;
    const int32_t v = rec.nChan[c - 2];
    const int32_t code = G_LogChannels[c].nCode;
    switch (c) {
    case 2:  return Add(l, ", %d", static_cast<int>(ToDisplayUnits(0, 10 * v)));
    case 3: case 4: case 12: return Add(l, ", %d", static_cast<int>(v));
    case 10: return Add(l, ", %d", static_cast<int>(10 * Round10(ToDisplayUnits(8, v))));
    case 44: case 49: case 52: return AddFixed(l, ", ", v, 100, 2);
    case 48: return Add(l, ", %03d", static_cast<int>(v));
    case 53: return AddFixed(l, ", ", v, 10, 1);
    case 54: return Add(l, ", 0x%04X", static_cast<unsigned>(static_cast<uint16_t>(v)));
    case 55: case 57: {
        // Whole and fraction from one integer in 1e-5 degrees, so they agree.
        const int32_t total = v * 1000 + rec.nChan[c - 1];
        return AddFixed(l, ", ", total, 100000, 5);
    }
    case 62: {
        // Thousandths of inHg rounded to hundredths first: 29,996 is 30.00.
        const int32_t h = (static_cast<uint16_t>(v) + 5) / 10;
        return Add(l, ", %d.%02d", static_cast<int>(h / 100), static_cast<int>(h % 100));
    }
    default: break;
    }
    if (InSet(c, kTenths, sizeof kTenths)) return AddFixed(l, ", ", ToDisplayUnits(code, v), 10, 1);
    return Add(l, ", %d", static_cast<int>(Round10(ToDisplayUnits(code, v))));
}

static bool AddRecordLine(Line* l, const DataStoreRec& rec) {
    const uint32_t* t = rec.nDateTime;   // year, month, weekday, day, hour, minute, second
    bool ok = Add(l, "%02u/%02u/%02u,%02u:%02u:%02u", t[1] % 100, t[3] % 100, t[0] % 100, t[4] % 100, t[5] % 100,
                  t[6] % 100);
    for (uint32_t i = 0; ok && i < kLogChanFlashWords && G_LogChanFlash[i] != kLogChanEnd; ++i)
        ok = AddChannel(l, rec, G_LogChanFlash[i]);
    return ok && Add(l, "\n");
}

// ---- the live engine log --------------------------------------------------------

static uint32_t WriteLive(const char* text, uint32_t len) {
    uint32_t count = 0;
    return DFS_WriteFile(&G_SDCard.log.file, G_SDCard.log.scratch, reinterpret_cast<const uint8_t*>(text), &count, len);
}

void OpenEngineLog() {
    if (G_SDCard.nState != kSdMounted) return;
    DebugPrintf("Opening Engine Data Log...");
    G_SDCard.nLogging = 0;
    std::memset(&G_SDCard.log, 0, sizeof G_SDCard.log);
    SdDatedName(G_SDCard.log.szName, "ALD");
    uint32_t r = SdCreateFile(G_SDCard.log.szName, &G_SDCard.log.file);
    if (r != DFS_OK) {
        DebugPrintf("error opening file, %d\n", static_cast<int>(r));
        return;
    }
    DebugPrintf("%s...", G_SDCard.log.szName);
    // The header goes out in pieces, so no channel list can overrun its buffer.
    char part[kLiveBufBytes];
    Line l{part, sizeof part, 0};
    Add(&l, "DATE,TIME");
    for (uint32_t i = 0; r == DFS_OK && i < kLogChanSDWords && G_LogChanSD[i] != kLogChanEnd; ++i) {
        const uint32_t inst = G_LogChanSD[i];
        if (inst >= static_cast<uint32_t>(kInstruments)) continue;
        if (l.len + 20 > sizeof part) {
            r = WriteLive(part, l.len);
            l.len = 0;
        }
        Add(&l, ",%.16s", InstrumentNames[inst]);
    }
    Add(&l, "\r\n");
    if (r == DFS_OK) r = WriteLive(part, l.len);
    if (r != DFS_OK) {
        DebugPrintf("error writing file, %d\n", static_cast<int>(r));
        return;
    }
    G_SDCard.nLogging = 1;
    UpdateSoftKeys();
    G_RedrawReq = 1;
    DebugPrintf("OK.\n");
}

static void FlushLiveText() {
    EngineLogBlock& log = G_SDCard.log;
    if (log.nCount == 0) return;
    const uint32_t r = WriteLive(s_liveText, log.nCount);
    if (r != DFS_OK) DebugPrintf("error writing file, %d\n", static_cast<int>(r));
    log.nCount = 0;
}

void WriteEngineLogRec(int32_t flush) {
    if (G_SDCard.nLogging != 1) return;
    EngineLogBlock& log = G_SDCard.log;
    if (flush != 1) {
        // A whole line or none: a line that does not fit waits for the write below.
        char line[kLiveBufBytes];
        Line l{line, sizeof line, 0};
        const DateTime& t = G_DateTime;
        bool ok = Add(&l, "%02u/%02u/%02u,%02u:%02u:%02u", t.nMonth % 100, t.nDay % 100, t.nYear % 100,
                      t.nHours % 100, t.nMinutes % 100, t.nSeconds % 100);
        for (uint32_t i = 0; ok && i < kLogChanSDWords && G_LogChanSD[i] != kLogChanEnd; ++i) {
            const uint32_t inst = G_LogChanSD[i];
            if (inst < static_cast<uint32_t>(kInstruments)) ok = AddFixed(&l, ",", G_InstReading[inst].nValue, 10, 1);
        }
        ok = ok && Add(&l, "\r\n");
        // The text pending goes out first when the line would not fit behind it.
        if (ok && log.nCount + l.len > sizeof s_liveText) FlushLiveText();
        if (ok && log.nCount + l.len <= sizeof s_liveText) {
            std::memcpy(s_liveText + log.nCount, line, l.len);
            log.nCount += l.len;
        } else {
            DebugPrintf("Engine log line dropped, %d bytes\n", static_cast<int>(l.len));
        }
    }
    if (log.nCount > kLivePendingMax || flush == 1) FlushLiveText();
}

// ---- export of the flash ring ---------------------------------------------------

static uint32_t RecordsFor(int32_t minutes) {
    const double s = G_DataStoreInterval == 0 ? 1.0 : static_cast<double>(G_DataStoreInterval);
    auto count = [s](double m) {
        const double q = 60.0 * m / s;
        return std::fabs(static_cast<double>(static_cast<int64_t>(q < 0 ? q - 0.5 : q + 0.5)));
    };
    if (count(static_cast<double>(minutes) + 1) > kDataStoreRecs) return kDataStoreRecs;
    return static_cast<uint32_t>(count(minutes));
}

struct Export {
    DFS_FileInfo file;
    char         szName[kSdNameBytes];
    int32_t      x, y, mode;
    uint32_t     nPending;
    uint32_t     nBytes;
    uint32_t     nLoadStart;   // OS-timer count when the pending text began
};

static bool FlushExport(Export* e) {
    const uint32_t start = ReadOsTimer();
    const uint32_t r = SdWritePieces(&e->file, FlashBuf, e->nPending, e->szName, e->x, e->y, e->mode, 10);
    if (r != DFS_OK) {
        DebugPrintf("error writing file, %d\n", static_cast<int>(r));
        SdActivity(0);
        DebugPrintf("ERROR: writing %s to SD\n", e->szName);
        return false;
    }
    DebugPrintf("Wrote %d bytes to %s in %d ms\n", static_cast<int>(e->nPending), e->szName,
                static_cast<int>((ReadOsTimer() - start) / kTicksPerMs));
    e->nBytes += e->nPending;
    e->nPending = 0;
    e->nLoadStart = ReadOsTimer();
    return true;
}

static bool AppendExport(Export* e, const DataStoreRec& rec) {
    Line l{reinterpret_cast<char*>(FlashBuf) + e->nPending, kLineMax, 0};
    if (!AddRecordLine(&l, rec)) return true;   // a line too long for its room is left out
    e->nPending += l.len;
    if (e->nPending <= kExportPending) return true;
    DebugPrintf("Loaded %d bytes in FlashBuf in %d ms\n", static_cast<int>(e->nPending),
                static_cast<int>((ReadOsTimer() - e->nLoadStart) / kTicksPerMs));
    return FlushExport(e);
}

static bool WriteExportHeader(Export* e) {
    Line l{reinterpret_cast<char*>(FlashBuf), kLineMax, 0};
    const char* sn = mon_getenv("SERIALNUM");
    Add(&l, "KV-5100 Software Version:%d.%d.%d-MV%d %s   uMon:%s   SN: %s \n", 7, 5, 0, 15, "", mon_version(),
        sn ? sn : "");
    Add(&l, "DATE, TIME");
    for (uint32_t i = 0; i < kLogChanFlashWords && G_LogChanFlash[i] != kLogChanEnd; ++i)
        if (G_LogChanFlash[i] < kLogChannels) Add(&l, ", %s", G_LogChannels[G_LogChanFlash[i]].szName);
    Add(&l, "\n");
    uint32_t count = 0;
    const uint32_t r = DFS_WriteFile(&e->file, G_SDCard.scratch, FlashBuf, &count, l.len);
    if (r != DFS_OK) {
        DebugPrintf("error writing file, %d\n", static_cast<int>(r));
        return false;
    }
    e->nBytes = l.len;
    return true;
}

// Writes the records; false when the export ended early (error or cancel).
static bool ExportRecords(Export* e, uint32_t n, uint32_t* written) {
    DataStorePos cursor = G_DataStore;
    KickWatchdog(10);
    RollBack(&cursor, static_cast<int32_t>(n));
    DebugPrintf("Writing %d recs, starting at curSec:%d, curRec:%d\n", static_cast<int>(n),
                static_cast<int>(cursor.sector), static_cast<int>(cursor.curRec));
    std::memset(FlashBuf, 0, kExportPending);
    e->nLoadStart = ReadOsTimer();
    if (n == 0 || !GetNextRec(&cursor, 1)) return true;
    for (;;) {
        KickWatchdog(10);
        if (!AppendExport(e, *DataStoreAt(&cursor))) return false;
        if (++*written >= n) return true;
        if (!GetNextRec(&cursor, 0)) {
            DebugPrintf("GetNext failed at %d recs, Sec:%d, Rec:%d\n", static_cast<int>(*written),
                        static_cast<int>(cursor.sector), static_cast<int>(cursor.curRec));
            return true;
        }
        if (G_KeyEvent != 0) {
            if (e->mode == 1) SetSoftKeyLabel(kSoftKeyCancel, "");
            SdActivity(0);
            DebugPrintf("Log Write Canceled By user\n");
            return false;
        }
    }
}

void DataStoreToSD(int32_t x, int32_t y, int32_t minutes, int32_t interactive) {
    if (G_SDCard.nState != kSdMounted) return;
    static Export e;
    std::memset(&e, 0, sizeof e);
    e.x = x, e.y = y, e.mode = interactive == 1 ? 1 : 0;
    G_KeyEvent = 0;
    if (e.mode == 1) SetSoftKeyLabel(kSoftKeyCancel, "CANCEL");
    SdActivity(1);
    SdDatedName(e.szName, "ALD");
    DebugPrintf("DATASTORE-> SD: %s... requested %d min\n", e.szName, static_cast<int>(minutes));
    DelayTicks(kPauseTicks);
    SdShowProgress(x, y, e.mode, " %s -", e.szName);
    const uint32_t start = ReadOsTimer();
    const uint32_t r = SdCreateFile(e.szName, &e.file);
    if (r != DFS_OK) {
        DebugPrintf("error opening file, %d\n", static_cast<int>(r));
        DelayTicks(kPauseTicks);
    } else if (!WriteExportHeader(&e)) {
        DelayTicks(kPauseTicks);
    } else {
        uint32_t written = 0;
        if (!ExportRecords(&e, RecordsFor(minutes), &written)) return;
        if (!FlushExport(&e)) return;
        const uint32_t ms = (ReadOsTimer() - start) / kTicksPerMs;
        DebugPrintf("\n %d records (%d bytes) written in %d sec\n", static_cast<int>(written),
                    static_cast<int>(e.nBytes), static_cast<int>((ms + 500) / 1000));
        SdShowProgress(x, y, e.mode, " %s DONE", e.szName);
        if (e.mode == 1) {
            DelayTicks(3682314);
            SetSoftKeyLabel(kSoftKeyCancel, "SELECT");
        } else {
            DelayTicks(kTicksPerSecond);
            ClearPopup();
        }
    }
    SdActivity(0);
}
