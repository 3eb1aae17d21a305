#include "ui/buttons.h"

#include "core/battery.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "engine/instrument.h"
#include "platform/hw.h"
#include "storage/screendump.h"
#include "ui/keys.h"
#include "ui/statusbar.h"

int32_t    G_KeyEvent = 0;
ButtonCell G_ButtonCell[kButtonCells] = {};
uint16_t   G_KeyEnableMask = 0xFFFF;

constexpr uint32_t GPLR1 = 0x40E00004;
constexpr uint32_t GEDR1 = 0x40E0004C;
constexpr uint32_t kButtonLines = 0xFCu << 24;    // GPIO58..63 in bank 1
constexpr uint32_t kRingSize = 10;
constexpr int32_t  kLowVolts = 1500;

struct ButtonScan {
    uint32_t nRing[kRingSize];
    uint32_t nRingIndex;
    uint32_t nDebounced;
    uint32_t nHeld;
    uint32_t nPressTime;
    uint32_t nReleaseTime;
    uint32_t nLongDone;
    uint16_t nLastStuck;
};
static ButtonScan s_scan = {};

// Stuck-button lines waiting for the main loop (the tick must not write flash).
struct StuckLog {
    uint32_t nWrite;        // advanced by the tick
    uint32_t nRead;         // advanced by the main loop
    uint16_t nBits[4];
    uint8_t  bDisable[4];
};
static StuckLog s_stuckLog = {};

static const char kStuckLine[] = "ERROR: Stuck Button 0x%04x\n";
static const char kDisableLine[] = "Disabling Stuck Buttons 0x%04x\n";

void InitButtons() {
    s_scan = {};        // no button held nor half-debounced from before
    s_stuckLog = {};
    for (ButtonCell& c : G_ButtonCell) c.nEnabled = 1;
    for (uint32_t i = 0; i < kButtonCount; ++i) SetPinMode(kButtonFirstPin + i, false, 0);
    HwWrite32(GEDR1, kButtonLines);
    IntEnable(kIntGpio);
}

static uint32_t SampleLines() {
    const uint32_t levels = HwRead32(GPLR1);
    uint32_t sample = 0;
    for (uint32_t i = 0; i < kButtonCount; ++i)
        if (!(levels & (1u << (kButtonFirstPin - 32 + i)))) sample |= 2u << i;
    return sample & G_KeyEnableMask;
}

static uint32_t Debounce(uint32_t sample) {
    s_scan.nRing[s_scan.nRingIndex] = sample;
    s_scan.nRingIndex = (s_scan.nRingIndex + 1) % kRingSize;
    uint32_t all = 0xFFFF;
    for (uint32_t s : s_scan.nRing) all &= s;
    return all;
}

static bool SingleButton(uint32_t bits) { return bits != 0 && (bits & (bits - 1)) == 0; }

static void QueueStuckLine(uint16_t bits, bool disable) {
    RamLogPrintf(disable ? kDisableLine : kStuckLine, bits);
    if (s_stuckLog.nWrite - s_stuckLog.nRead >= 4) return;
    const uint32_t i = s_stuckLog.nWrite % 4;
    s_stuckLog.nBits[i] = bits;
    s_stuckLog.bDisable[i] = disable ? 1 : 0;
    s_stuckLog.nWrite += 1;
}

void LogStuckButtons() {
    while (s_stuckLog.nRead != s_stuckLog.nWrite) {
        const uint32_t i = s_stuckLog.nRead % 4;
        DebugPrintf(s_stuckLog.bDisable[i] ? kDisableLine : kStuckLine, s_stuckLog.nBits[i]);
        s_stuckLog.nRead += 1;
    }
}

// While still pressed: long press, dump request, battery switch-off gesture.
static uint32_t WhileHeld(uint32_t now) {
    const uint32_t d = now - s_scan.nPressTime;
    uint32_t event = 0;
    if (d > kLongPressHeld && !s_scan.nLongDone && SingleButton(s_scan.nHeld)) {
        if (s_scan.nHeld != kButtonDump) {
            event = s_scan.nHeld << 16;
        } else if (G_ScreenDumpReq == 0) {
            G_ScreenDumpReq = 1;
            G_RedrawReq = 1;
        } else {
            event = kButtonDump << 16;
        }
        s_scan.nLongDone = 1;
    }
    if (d > kSwitchOffHold && G_InstAd[kInstMainVolts].nAdValue < kLowVolts &&
        G_InstAd[kInstAuxVolts].nAdValue < kLowVolts)
        G_BatState = 2;
    return event;
}

// True when the press was reset as stuck.
static bool CheckStuck(uint32_t now) {
    if (s_scan.nHeld == 0 || now - s_scan.nPressTime <= kStuckHold) return false;
    const uint16_t bits = static_cast<uint16_t>(s_scan.nHeld);
    QueueStuckLine(bits, false);
    if (s_scan.nLastStuck == bits) {
        QueueStuckLine(bits, true);
        G_KeyEnableMask = static_cast<uint16_t>(G_KeyEnableMask & ~bits);
        s_scan.nLastStuck = 0;
    } else {
        s_scan.nLastStuck = bits;
    }
    s_scan.nPressTime = now;
    s_scan.nLongDone = 1;
    s_scan.nHeld = 0;
    s_scan.nDebounced = 0;
    return true;
}

// Bit value 0x02 is key 1: the code is the index of the lowest set bit.
static int32_t LowestBit(uint32_t event) {
    for (int32_t i = 1; i < 32; ++i)
        if (event & (1u << i)) return i;
    return 0;
}

int32_t ScanButtons() {
    const uint32_t now = ReadOsTimer();
    s_scan.nDebounced = Debounce(SampleLines());
    uint32_t event = 0;
    bool stuckCheck = false;
    if (s_scan.nHeld == 0 && s_scan.nDebounced != 0) {
        s_scan.nPressTime = now;
    } else if (s_scan.nHeld != 0 && s_scan.nDebounced == 0) {
        s_scan.nReleaseTime = now;
        if (s_scan.nLongDone) s_scan.nLongDone = 0;
        else event = (s_scan.nReleaseTime - s_scan.nPressTime > kLongPressRelease) ? s_scan.nHeld << 16 : s_scan.nHeld;
    } else if (s_scan.nHeld != 0) {
        event = WhileHeld(now);
        stuckCheck = true;
    }
    if (event != 0 && G_BatState == 1) {
        G_BatState = 3;
        event = 0;
    }
    // Measured while held: a release never counts as stuck.
    if (stuckCheck && CheckStuck(now)) event = 0;
    s_scan.nHeld = s_scan.nDebounced;
    if (G_AlarmAckHold == 1 && now - G_AlarmAckTime > kAlarmAckHoldTicks) G_AlarmAckHold = 0;
    const int32_t code = LowestBit(event);
    const int32_t cell = code & 15;
    if (cell < kButtonCells) G_ButtonCell[cell].nTime = now;
    return code;
}
