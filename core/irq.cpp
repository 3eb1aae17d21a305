#include "core/irq.h"

#include "core/boot.h"
#include "core/discrete.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "engine/pulse.h"
#include "map/terrain.h"
#include "net/net.h"
#include "platform/cpu.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "storage/screendump.h"
#include "storage/sdcard.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/statusbar.h"

FlipCtl  G_FlipCtl = {};
uint32_t G_SecondTick = 0;
uint32_t G_UptimeSec = 0;
uint32_t G_SecondStamp = 0;

// Other hardware reached from the handlers.
constexpr uint32_t PSSR  = 0x40F00004;
constexpr uint32_t GPLR0 = 0x40E00000;
constexpr uint32_t GPLR2 = 0x40E00008;
constexpr uint32_t GEDR0 = 0x40E00048;
constexpr uint32_t GEDR2 = 0x40E00050;
constexpr uint32_t kGpio14 = 1u << 14;        // Ethernet chip, bank 0
constexpr uint32_t kGpio64 = 1u << 0;         // knob 0 phase B, bank 2
constexpr uint32_t kGpio65 = 1u << 1;         // knob 0 phase A
constexpr uint32_t kGpio71 = 1u << 7;         // fuel-flow pulses
constexpr uint32_t kGpio72 = 1u << 8;         // RPM pulses
constexpr uint32_t LCD_CONTROL    = 0x0C000014;
constexpr uint32_t LCD_STATUS     = 0x0C00003A;
constexpr uint32_t LCD_START_LOW  = 0x0C000042;
constexpr uint32_t LCD_START_HIGH = 0x0C000044;
constexpr uint16_t kLcdReadyToFlip = 0x80;
constexpr uint32_t kMatch1Period = 18430;
constexpr uint32_t kUartIrqBits = kIntStUart | kIntBtUart | kIntFfUart;

struct IrqState {
    uint32_t nInitialised;
    uint32_t nEnabled;
    uint32_t nMaskShadow;
    uint32_t nTickStamp;     // entry stamp, then the tick's duration
    uint32_t nTickPhase;
};
static IrqState s_irq = {};

// ---- exception handlers --------------------------------------------------------

static void FaultRestart(const char* line) {
    ++G_RebootCount;
    DebugPrintf(line, static_cast<int>(G_RebootCount));
    ExceptionRestart();
}

static void UndefinedHandler() { FaultRestart("REBOOT:%d Undefined Instruction \n"); }
static void PrefetchAbortHandler() { FaultRestart("REBOOT:%d Prefetch Abort\n"); }
static void DataAbortHandler() { FaultRestart("REBOOT:%d Data Abort \n"); }
static void SoftwareIntHandler() { RamLogPrintf("INFO: Software Interrupt\n"); }
static void FiqHandler() { RamLogPrintf("INFO: Fast IRQ \n"); }

void ExceptionRestart() {
    AppIntsOffRestore(0);   // the restart command never returns: no restore
    const char* text[] = {"0", "1", "2", "3"};
    mon_setenv("REBOOT", text[G_RebootCount < 3 ? G_RebootCount : 3]);
    mon_docommand("call $ENTRYPOINT", 1);
}

void InstallHandlers() {
    HwWrite32(ICMR, 0);
    mon_assignhandler(kMonUndefined, UndefinedHandler);
    mon_assignhandler(kMonSoftware, SoftwareIntHandler);
    mon_assignhandler(kMonPrefetchAbort, PrefetchAbortHandler);
    mon_assignhandler(kMonDataAbort, DataAbortHandler);
    mon_assignhandler(kMonIrq, IrqDispatch);
    mon_assignhandler(kMonFiq, FiqHandler);
    CpuWriteCpsr(CpuReadCpsr() & ~(kCpsrIrqDisable | kCpsrFiqDisable));
    HwWrite32(PSSR, 0x20);    // releases the GPIO read-disable hold
    HwWrite32(ICLR, 0);       // every source to IRQ
}

// ---- mask management -------------------------------------------------------------

void IrqStateInit() {
    HwWrite32(ICMR, 0);
    s_irq.nInitialised = 0;
    s_irq.nEnabled = 0;
    s_irq.nMaskShadow = 0;
    HwWrite32(GEDR2, kGpio71 | kGpio72);
    s_irq.nMaskShadow = HwRead32(ICMR);
    s_irq.nInitialised = 1;
    AppIntsOffRestore(1);
}

// While enabled the hardware mask changes and the shadow follows it, so that
// the pulse handlers' "edges enabled" check sees the real mask.
void IntEnable(uint32_t bits) {
    if (s_irq.nEnabled) {
        uint32_t mask = HwRead32(ICMR) | bits;
        s_irq.nMaskShadow = mask;
        HwWrite32(ICMR, mask);
    } else {
        s_irq.nMaskShadow |= bits;
    }
}

void IntDisable(uint32_t bits) {
    if (s_irq.nEnabled) {
        uint32_t mask = HwRead32(ICMR) & ~bits;
        s_irq.nMaskShadow = mask;
        HwWrite32(ICMR, mask);
    } else {
        s_irq.nMaskShadow &= ~bits;
    }
}

void AppIntsOffRestore(int32_t mode) {
    if (mode == -1) {
        HwWrite32(ICMR, 0);
        s_irq.nEnabled = 0;
        s_irq.nMaskShadow = 0;
        return;
    }
    if (!s_irq.nInitialised) return;
    if (mode == 1 && !s_irq.nEnabled) {
        if (s_irq.nMaskShadow & kIntOsTimer0) {
            // A tick still ahead (due within the next millisecond, not
            // passed during the hold) is kept: re-arming it 1 ms ahead on
            // every restore would starve the tick, keys and knob included,
            // while a loop calls the monitor more often than once a
            // millisecond (the administrator screen's function 61, every pass).
            const uint32_t now = ReadOsTimer();
            const bool ahead = !(HwRead32(OSSR) & 1) && static_cast<uint32_t>(HwRead32(OSMR0) - now) <= kTickTicks;
            if (!ahead) {
                HwWrite32(OSSR, 1);
                HwWrite32(OSMR0, now + kTickTicks);
            }
            HwWrite32(OIER, HwRead32(OIER) | 1);
        }
        MarkRpmPulseDisturbed();
        s_irq.nEnabled = 1;
        HwWrite32(ICMR, s_irq.nMaskShadow);
    } else if (mode == 0 && s_irq.nEnabled) {
        MarkRpmPulseDisturbed();
        s_irq.nEnabled = 0;
        s_irq.nMaskShadow = HwRead32(ICMR);
        HwWrite32(ICMR, 0);
    }
}

void EnableRtcTick() {
    HwWrite32(RTSR, HwRead32(RTSR) | kRtsrHze);
    IntEnable(kIntRtcHz);
}

// ---- the 1 ms tick ----------------------------------------------------------------

// The tick only notes that the page carrying the card mark is shown; the
// file itself is written outside interrupt context (ServeScreenDump). No
// dump starts while the terrain copy fills the map band.
static void ScreenDumpService() {
    if (G_ScreenDumpReq && G_SDCard.nActivity && !G_ScreenDumpBusy && !G_TerrainDmaBusy) G_ScreenDumpDue = 1;
}

void PageFlip() {
    if (!(HwRead16(LCD_STATUS) & kLcdReadyToFlip) || G_FlipCtl.nFlipHold) return;
    G_FlipCtl.nFlipReq = 0;
    if (G_FlipCtl.nPageShown == 1) {
        HwWrite16(LCD_CONTROL, 16);
        HwWrite16(LCD_START_LOW, 0);
        HwWrite16(LCD_START_HIGH, 0);
        HwWrite16(LCD_CONTROL, 17);
        G_FlipCtl.nPageShown = 0;
        G_FlipCtl.nDrawPageY = 480;
    } else {
        // The start is in 16-bit words: 0x25800 x 2 = 480 lines of 640 bytes.
        HwWrite16(LCD_CONTROL, 16);
        HwWrite16(LCD_START_LOW, 0x5800);
        HwWrite16(LCD_START_HIGH, 2);
        HwWrite16(LCD_CONTROL, 17);
        G_FlipCtl.nPageShown = 1;
        G_FlipCtl.nDrawPageY = 0;
    }
    ScreenDumpService();
}

static bool PortActive(uint32_t port) { return G_Serial[port].nFunction != 0; }

static bool TxRingEmpty(uint32_t port) {
    const SerialRing& tx = G_SerialBuf[port].tx;
    return tx.nRd == tx.nWr;
}

static void ServeDuart(uint32_t port, bool transmit) {
    if (!PortActive(port)) return;
    DuartRx(port);
    if (transmit && !TxRingEmpty(port)) DuartTx(port);
}

// Each external port is read every 4 ms and written every 8 ms.
static void DuartTickService(uint32_t phase) {
    switch (phase & 7) {
    case 0: ServeDuart(2, false); break;
    case 2: ServeDuart(4, true); break;
    case 4: ServeDuart(2, true); break;
    case 6: ServeDuart(4, false); break;
    default: break;
    }
}

static void TickWork() {
    HwWrite32(OSSR, 1);
    if (G_FlipCtl.nFlipReq == 1) {
        PageFlip();
    } else if (G_CalRestart == 0) {
        if (G_NetEnable != 0 && (CS_ReadPP(kPpLineStatus) & kLineStLinkOk)) {
            NET_RxPoll();
            NET_TxFlush();
        }
    } else {
        ScreenDumpService();
    }
    if (G_KeyEvent == 0) G_KeyEvent = ScanButtons();
    if (G_Knob0.nDelta == 0) G_Knob0.nDelta = ReadKnobDelta(0);
    if (G_Knob1.nDelta == 0) G_Knob1.nDelta = ReadKnobDelta(1);
    G_DiscreteIn.nState = ReadDiscreteInputs();
    DuartTickService(s_irq.nTickPhase);
    s_irq.nTickPhase += 1;
    uint32_t now = ReadOsTimer();
    s_irq.nTickStamp = now - s_irq.nTickStamp;
    // An overrun drops the missed tick instead of queueing it.
    if ((HwRead32(OSSR) & 1) || s_irq.nTickStamp > kTickTicks) HwWrite32(OSSR, 1);
    HwWrite32(OSMR0, now + kTickTicks);
}

static void TimerIsr(uint32_t pending) {
    s_irq.nTickStamp = ReadOsTimer();
    if (pending & kIntOsTimer0) {
        TickWork();
    } else if (pending & (kIntOsTimer0 << 1)) {
        HwWrite32(OSSR, 2);
        HwWrite32(OSMR1, ReadOsTimer() + kMatch1Period);
    } else if (pending & (kIntOsTimer0 << 2)) {
        HwWrite32(OSSR, 4);
    } else {
        HwWrite32(OSSR, 8);
    }
}

static void RtcIsr() {
    HwWrite32(RTSR, (HwRead32(RTSR) & kRtsrEnables) | kRtsrHz);   // write 1 clears only the 1 Hz status
    G_SecondTick = 1;
    G_SecondStamp = ReadOsTimer();
    G_UptimeSec += 1;
    if (G_NetStreamCfg[kStreamAhrs].NET != 2) G_Ahrs.nStatusAge += 1;
}

static bool PulsesEnabled() { return s_irq.nEnabled && (s_irq.nMaskShadow & kIntGpio); }

static void ServePulseEdges(uint32_t edges) {
    if (edges & kGpio72) {
        HwWrite32(GEDR2, kGpio72);
        if (PulsesEnabled()) RpmPulseIsr(ReadOsTimer());
    }
    if (edges & kGpio71) {
        HwWrite32(GEDR2, kGpio71);
        if (PulsesEnabled()) FuelFlowPulseIsr(ReadOsTimer());
    }
}

static void KnobEncoderEdge() {
    if (!(HwRead32(GPLR2) & kGpio65)) return;
    int32_t dir = (HwRead32(GPLR2) & kGpio64) ? -1 : 1;
    uint32_t now = ReadOsTimer();
    G_Knob0.nSteps += dir;
    G_Knob0.nLastDir = dir;
    G_Knob0.nStepInterval = now - G_Knob0.nLastStepTime;
    G_Knob0.nLastStepTime = now;
}

static void GpioIsr() {
    ServePulseEdges(HwRead32(GEDR2));
    if (HwRead32(GEDR0) & kGpio14) {
        HwWrite32(GEDR0, kGpio14);
        CS_WritePP(kPpBufCfg, CS_ReadPP(kPpBufCfg) & ~kBufCfgGpio14);
    }
    if (HwRead32(GEDR2) & kGpio65) {
        HwWrite32(GEDR2, kGpio65);
        KnobEncoderEdge();
    }
}

static void ServeUart(uint32_t port, uint32_t base) {
    UartPortService(port, base + kUartThr, base + kUartIer, base + kUartIir, base + kUartLsr);
}

static void UartIsr(uint32_t pending) {
    for (int round = 0; round < 4 && pending; ++round) {
        if (pending & kIntBtUart) ServeUart(0, kBtUartBase);
        if (pending & kIntFfUart) ServeUart(3, kFfUartBase);
        if (pending & kIntStUart) ServeUart(1, kStUartBase);
        pending = HwRead32(ICPR) & HwRead32(ICMR) & kUartIrqBits;
    }
    if (pending) RamLogPrintf("IRQ3 Overload\n");
}

void IrqDispatch() {
    uint32_t pending = HwRead32(ICPR) & HwRead32(ICMR) & ~kIntNeverDispatched;
    if (pending & (0xFu << 26)) TimerIsr(pending);
    if (pending & (3u << 30)) RtcIsr();
    if (pending & kIntGpio) GpioIsr();
    if (pending & kUartIrqBits) UartIsr(pending & kUartIrqBits);
    ServePulseEdges(HwRead32(GEDR2));
}
