#include "storage/sdfile.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/util.h"
#include "gui/gui.h"
#include "storage/sdcard.h"
#include "ui/popup.h"
#include "ui/statusbar.h"

constexpr uint32_t kWhite     = 31;
constexpr int32_t  kFont      = 8;
constexpr int32_t  kLineEndX  = 639;
constexpr int32_t  kLineRows  = 16;

void SdDatedName(char* name, const char* ext) {
    const DateTime& t = G_DateTime;
    std::snprintf(name, kSdNameBytes, "%u%02u%02u%02u%u.%.3s", static_cast<unsigned>(t.nYear % 10),
                  static_cast<unsigned>(t.nMonth % 100), static_cast<unsigned>(t.nDay % 100),
                  static_cast<unsigned>(t.nHours % 100), static_cast<unsigned>((t.nMinutes / 10) % 10), ext);
}

uint32_t SdCreateFile(const char* name, DFS_FileInfo* file) {
    // The open engine log is written through its own record: deleting it
    // under that writer would hand its clusters to a second file.
    if (G_SDCard.nLogging == 1 && std::strcmp(name, G_SDCard.log.szName) == 0) {
        DebugPrintf("%s is the open engine log\n", name);
        return DFS_ERRMISC;
    }
    DFS_DeleteFile(&G_SdVolInfo, name, G_SDCard.scratch);
    return DFS_OpenFile(&G_SdVolInfo, name, DFS_WRITE, G_SDCard.scratch, file);
}

void SdShowProgress(int32_t x, int32_t y, int32_t mode, const char* format, ...) {
    char text[96];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (mode == 1) {
        // The text is drawn into the page being drawn; the clear goes there too.
        const int32_t page = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
        GUI_ClearRect(x, y + page, kLineEndX, y + kLineRows + page);
        DrawTextF(kWhite, kFont, 0, x, y, "%s", text);
    } else {
        ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "%s", text);
    }
}

void SdActivity(uint32_t on) {
    G_SDCard.nActivity = on;
    G_RedrawReq = 1;
    DrawStatusBar();
}

uint32_t SdWritePieces(DFS_FileInfo* file, const uint8_t* data, uint32_t len, const char* name, int32_t x,
                       int32_t y, int32_t mode, int32_t kickSeconds) {
    const uint32_t piece = G_SdVolInfo.secperclus * SECTOR_SIZE;
    if (piece == 0) return DFS_ERRMISC;
    uint32_t done = 0;
    for (uint32_t n = 0; done < len; ++n) {
        SdShowProgress(x, y, mode, " %s %c", name, (n & 1) ? '\\' : '/');
        KickWatchdog(kickSeconds);
        const uint32_t want = len - done < piece ? len - done : piece;
        uint32_t count = 0;
        const uint32_t r = DFS_WriteFile(file, G_SDCard.scratch, data + done, &count, want);
        if (r != DFS_OK) return r;
        if (count != want) return DFS_ERRMISC;
        done += want;
    }
    return DFS_OK;
}
