// Interrupts, exceptions and the 1 ms tick. Handlers only acknowledge the
// hardware, stamp samples and fill mailboxes, rings and flags that the
// main loop consumes; they are never nested.
#pragma once
#include <cstdint>

// Interrupt controller.
constexpr uint32_t ICIP = 0x40D00000;
constexpr uint32_t ICMR = 0x40D00004;
constexpr uint32_t ICLR = 0x40D00008;
constexpr uint32_t ICPR = 0x40D00010;
// Source bits.
constexpr uint32_t kIntGpio     = 1u << 10;
constexpr uint32_t kIntStUart   = 1u << 20;
constexpr uint32_t kIntBtUart   = 1u << 21;
constexpr uint32_t kIntFfUart   = 1u << 22;
constexpr uint32_t kIntOsTimer0 = 1u << 26;
constexpr uint32_t kIntRtcHz    = 1u << 30;
// Never dispatched: bits 0..7, 15 and 16.
constexpr uint32_t kIntNeverDispatched = 0x180FF;

// Processor RTC.
constexpr uint32_t RCNR = 0x40900000;
constexpr uint32_t RTSR = 0x40900008;
constexpr uint32_t kRtsrHz  = 1u << 1;
constexpr uint32_t kRtsrHze = 1u << 3;
constexpr uint32_t kRtsrEnables = (1u << 2) | kRtsrHze;

constexpr uint32_t kTickTicks = 3686;    // 1 ms

struct FlipCtl {
    uint32_t nDrawPageY;     // y offset (0 or 480) of the page being drawn
    uint32_t nFlipReq;       // set by the main loop after a frame, cleared by PageFlip
    uint32_t nFlipHold;      // no flip while the status bar is drawn
    uint32_t nPageShown;     // 0 or 1
};
extern FlipCtl G_FlipCtl;

extern uint32_t G_SecondTick;     // 1: a second passed (cleared by the main loop)
extern uint32_t G_UptimeSec;
extern uint32_t G_SecondStamp;    // OS-timer count at the last second

void InstallHandlers();
void IrqStateInit();
void IntEnable(uint32_t bits);
void IntDisable(uint32_t bits);
// -1: mask all for good; 0: hold application interrupts off; 1: restore them.
void AppIntsOffRestore(int32_t mode);
void EnableRtcTick();
void IrqDispatch();
void PageFlip();
void ExceptionRestart();
