// The ARINC adapter firmware upgrade of the maintenance menu: the adapter's
// boot loader found on its port, ARINC.HEX checked and loaded from the card,
// and sent byte by byte under the loader's XON/XOFF.
#include <cstdio>

#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/util.h"
#include "gui/gui.h"
#include "setup/arincupgrade.h"
#include "setup/porttake.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "storage/config.h"
#include "storage/fat.h"
#include "storage/sdcard.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

namespace {

constexpr uint32_t kFuncLoader = 11;
constexpr uint32_t kBaud19200 = 3;
constexpr uint8_t kProbe = 'x', kStart = '^', kXon = 0x11, kXoff = 0x13, kDone = '!';
constexpr uint32_t kProbeWindowTicks = 36864000;   // 10 s
constexpr uint32_t kProbeStepTicks = 368640;       // 100 ms
constexpr uint32_t kByteGapTicks = 18432;          // 5 ms
constexpr int32_t kLineStep = 18, kFont = 8, kX = 210, kLoadingX = 424;
constexpr uint32_t kWhite = 31;
constexpr int32_t kHexLineMax = 1 + 2 * (1 + 2 + 1 + 255 + 1);   // ":" and a record of 255 data bytes

struct UpgradeState {
    uint32_t nPort;
    int32_t  nNextY;          // the next text line
    int32_t  nLoadingY;
    char     szVersion[3];
    uint8_t  abLast[4];       // the last four bytes of the probe's answers
    uint32_t nProbeBytes;
    uint32_t nSize;
    uint32_t nSent;
    int32_t  bFound, bLoaded, bStarted, bFlow, bDone;
    uint32_t nLastByte;
};
UpgradeState s_up;

int32_t HexDigit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The last bytes leave the line before the port is programmed again, which
// empties its transmitter.
void DrainTx() {
    const SerialRing& tx = G_SerialBuf[s_up.nPort].tx;
    const uint32_t start = ReadOsTimer();
    while (tx.nRd != tx.nWr && !TicksElapsed(ReadOsTimer(), start, kProbeStepTicks)) IdleHook();
    DelayTicks(kByteGapTicks);
}

void Say(const char* text) {
    DrawTextF(kWhite, kFont, 0, kX, s_up.nNextY, "%s", text);
    s_up.nNextY += kLineStep;
}

int32_t TakeKey() {
    const int32_t key = G_KeyEvent;
    G_KeyEvent = 0;
    return key;
}

void SetKeys(const char* key4) {
    SetSoftKeyLabel(1, "RETURN");
    for (int32_t key = 2; key <= 6; ++key) SetSoftKeyLabel(key, key == 4 ? key4 : "");
    DrawStatusBar();
}

void SendByte(uint8_t byte) { SerialWrite(s_up.nPort, &byte, 1); }

// Takes what arrived while probing; true once the answer reads "B<digit>"
// followed by two more bytes.
bool ProbeAnswered() {
    SerialRing& rx = G_SerialBuf[s_up.nPort].rx;
    while (rx.nRd != rx.nWr) {
        for (int32_t i = 0; i < 3; ++i) s_up.abLast[i] = s_up.abLast[i + 1];
        s_up.abLast[3] = rx.abRing[rx.nRd & (kSerialRingSize - 1)];
        rx.nRd = (rx.nRd + 1) & (kSerialRingSize - 1);
        ++s_up.nProbeBytes;
    }
    G_Serial[s_up.nPort].bRxPending = 0;
    if (s_up.nProbeBytes <= 3) return false;
    G_Serial[s_up.nPort].nRxCount = 0;
    const uint8_t* b = s_up.abLast;
    if (b[0] == 'B' && b[1] >= '0' && b[1] <= '9') {
        s_up.szVersion[0] = 'B';
        s_up.szVersion[1] = static_cast<char>(b[1]);
        return true;
    }
    DebugPrintf("Message recieved from ARINC is not bootloader - %x%x%x%x\n", b[0], b[1], b[2], b[3]);
    return false;
}

bool Probe() {
    const int32_t blankY = s_up.nNextY;
    DiscardSerialRx(s_up.nPort);
    const uint32_t start = ReadOsTimer();
    while (!TicksElapsed(ReadOsTimer(), start, kProbeWindowTicks)) {
        KickWatchdog(15);
        DiscardSerialRx(s_up.nPort);
        SendByte(kProbe);
        DelayTicks(kProbeStepTicks);
        const int32_t key = TakeKey();
        if (key == 1 || key == 4) GUI_ClearRect(kX, SetupPageY(blankY), 639, SetupPageY(blankY + kLineStep - 1));
        if (G_Serial[s_up.nPort].bRxPending && ProbeAnswered()) return true;
    }
    return false;
}

void LoadFile() {
    PollSDCard();
    if (G_SDCard.nState != kSdMounted) {
        DebugPrintf("No SD Card in slot\n");
        Say("No SD card in slot.");
        return;
    }
    KickWatchdog(30);
    DFS_FileInfo file = {};
    if (DFS_OpenFile(&G_SdVolInfo, "ARINC.HEX", DFS_READ, G_SDCard.scratch, &file) != DFS_OK) {
        DebugPrintf("ARINC.HEX file not found on SD Card\n");
        Say("No ARINC.HEX file found on SD card.");
        return;
    }
    uint32_t count = 0;
    // The file and its terminating zero must fit the buffer.
    const bool fits = file.filelen < kFlashBufBytes;
    const uint32_t read = fits ? DFS_ReadFile(&file, G_SDCard.scratch, FlashBuf, &count, file.filelen) : 2;
    int32_t badLine = 0;
    if (read <= 1 && count == file.filelen) badLine = CheckIntelHex(FlashBuf, count);
    if (read > 1 || count != file.filelen || badLine != 0) {
        if (!fits) DebugPrintf("ARINC.HEX is %u bytes, more than the buffer holds\n", static_cast<unsigned>(file.filelen));
        if (badLine > 0) DebugPrintf("ARINC.HEX line %d is not an Intel HEX record\n", static_cast<int>(badLine));
        DebugPrintf("ARINC.HEX file found on SD Card but is unreadable\n");
        Say("ARINC.HEX file found, but unreadable.");
        return;
    }
    DebugPrintf("ARINC.HEX file, %d bytes loaded.\n", static_cast<int>(count));
    char text[48];
    std::snprintf(text, sizeof text, "ARINC.HEX  file %d chars.", static_cast<int>(count));
    Say(text);
    FlashBuf[count] = 0;
    s_up.nSize = count;
    s_up.bLoaded = 1;
}

void ShowLoading(const char* text) {
    GUI_ClearRect(kLoadingX, SetupPageY(s_up.nLoadingY), 639, SetupPageY(s_up.nLoadingY + 15));
    DrawTextF(kWhite, kFont, 0, kLoadingX, s_up.nLoadingY, "%s", text);
}

void ShowSent() {
    char text[32];
    std::snprintf(text, sizeof text, "Loading... %d", static_cast<int>(s_up.nSent));
    ShowLoading(text);
}

void Finish() {
    s_up.bDone = 1;
    DebugPrintf("Done, %d bytes sent\n", static_cast<int>(s_up.nSent));
    ShowLoading("Done.");
}

void TransferStep() {
    SerialRing& rx = G_SerialBuf[s_up.nPort].rx;
    if (G_Serial[s_up.nPort].bRxPending) {
        G_Serial[s_up.nPort].bRxPending = 0;
        while (rx.nRd != rx.nWr && !s_up.bDone) {
            const uint8_t b = rx.abRing[rx.nRd & (kSerialRingSize - 1)];
            rx.nRd = (rx.nRd + 1) & (kSerialRingSize - 1);
            if (b == kXoff) s_up.bFlow = 0;
            else if (b == kXon) s_up.bFlow = 1;
            else if (b == kDone) {
                // The loader ended early: what was really sent is reported.
                s_up.bFlow = 0;
                Finish();
            }
        }
    }
    if (s_up.bDone) return;
    if (s_up.bFlow && s_up.nSent < s_up.nSize && TicksElapsed(ReadOsTimer(), s_up.nLastByte, kByteGapTicks)) {
        SendByte(FlashBuf[s_up.nSent++]);
        s_up.nLastByte = ReadOsTimer();
        ShowSent();
    }
    if (s_up.nSent == s_up.nSize) Finish();
}

void TransferLoop() {
    while (!s_up.bDone) {
        if (G_RedrawReq) DrawStatusBar();
        KickWatchdog(15);
        const int32_t key = TakeKey();
        if (key == 1 || key == 17) break;
        if ((key == 4 || key == 20) && s_up.bFound && s_up.bLoaded && !s_up.bStarted) {
            s_up.bStarted = 1;
            DebugPrintf("Starting Transfer\n");
            SendByte(kStart);
            s_up.nLastByte = ReadOsTimer();
            ShowLoading("Loading... ");
        }
        if (s_up.bStarted && s_up.bFound && s_up.bLoaded) TransferStep();
        IdleHook();
    }
}

}  // namespace

const char* ArincLoaderVersion() { return s_up.szVersion; }

int32_t CheckIntelHex(const uint8_t* data, uint32_t size) {
    int32_t line = 0;
    bool ended = false;
    uint32_t at = 0;
    while (at < size) {
        uint32_t end = at;
        while (end < size && data[end] != '\n') ++end;
        uint32_t len = end - at;
        if (len > 0 && data[at + len - 1] == '\r') --len;
        ++line;
        const uint8_t* rec = data + at;
        at = end + 1;
        if (len == 0) continue;   // blank lines, the last one above all
        if (ended || len > static_cast<uint32_t>(kHexLineMax) || len < 11 || rec[0] != ':' || (len - 1) % 2 != 0)
            return line;
        uint32_t sum = 0, bytes[4] = {};
        for (uint32_t i = 0; i < (len - 1) / 2; ++i) {
            const int32_t hi = HexDigit(rec[1 + 2 * i]), lo = HexDigit(rec[2 + 2 * i]);
            if (hi < 0 || lo < 0) return line;
            const uint32_t b = static_cast<uint32_t>(hi * 16 + lo);
            if (i < 4) bytes[i] = b;
            sum += b;
        }
        if (bytes[0] + 5 != (len - 1) / 2 || (sum & 0xFF) != 0 || bytes[3] > 5) return line;
        ended = bytes[3] == 1;
    }
    if (size > 0 && !ended) return line + 1;   // no end-of-file record
    return 0;
}

void ArincUpgradeScreen(int32_t y) {
    DebugPrintf("Entering ARINC upgrade software.\n");
    SetKeys("");
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    GUI_ClearRect(kX, SetupPageY(y), 639, SetupPageY(459));
    s_up = {};
    s_up.nNextY = y + kLineStep;
    s_up.nLoadingY = s_up.nNextY + 16;
    const uint32_t port = FindArincPort();
    if (port == 0) {
        DebugPrintf("ERROR: No Arinc Port Assigned\n");
        Say("No Arinc Port Assigned.");
        Say("Check items 10,11,12 in Admin Settings menu.");
        return;
    }
    s_up.nPort = port;
    const PortTakeover saved = TakeOverPort(port, kFuncLoader, kBaud19200, nullptr, nullptr);
    DebugPrintf("Init Port:%d, func:%d\n", static_cast<int>(port), static_cast<int>(kFuncLoader));
    Say("Looking for ARINC adapter...");
    s_up.nNextY += kLineStep;   // the line a key blanks while probing
    if (!Probe()) {
        Say("ARINC adapter not found.");
        Say("If ARINC adapter is installed, cycle power to");
        Say("adapter and press SELECT again. ");
        RestorePort(saved);
        return;
    }
    s_up.bFound = 1;
    Say("ARINC adapter is alive.");
    char text[32];
    std::snprintf(text, sizeof text, "Bootloader version: %s", s_up.szVersion);
    Say(text);
    LoadFile();
    if (s_up.bLoaded) {
        Say("Press START to load.");
        SetKeys("START");
    }
    TransferLoop();
    DrainTx();
    RestorePort(saved);
    G_CurPage = kPageSetupInputs;
    const char* keys[7] = {"", "RETURN", "NEXT", "PREV", "SELECT", "", ""};
    for (int32_t key = 1; key <= 6; ++key) SetSoftKeyLabel(key, keys[key]);
    DrawStatusBar();
}
