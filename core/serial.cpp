#include "core/serial.h"

#include "core/ostimer.h"
#include "platform/hw.h"

SerialPort G_Serial[kSerialPorts] = {
    {0, 1, 5, 0, 0, 0, nullptr, nullptr, 0},
    {1, 2, 6, 0, 0, 0, nullptr, nullptr, 0},
    {2, 3, 5, 0, 0, 0, nullptr, nullptr, 0},
    {3, 4, 5, 0, 0, 0, nullptr, nullptr, 0},
    {4, 5, 3, 0, 0, 0, nullptr, nullptr, 0},
};
SerialBuf G_SerialBuf[kSerialPorts];
uint32_t G_DebugPort = 1;

constexpr uint32_t kLsrTxRoom = 0x20;
// Long enough for a full transmit FIFO to drain at the slowest rate (64 x 600 bps).
constexpr uint32_t kPutcTimeoutTicks = 64 * 61440;

static uint32_t OnChipBase(uint32_t port) {
    switch (port) {
    case 0: return kBtUartBase;
    case 1: return kStUartBase;
    case 3: return kFfUartBase;
    default: return 0;
    }
}

// Waits for room in the transmit FIFO; false when none came in time.
static bool WaitTxRoom(uint32_t base) {
    uint32_t start = ReadOsTimer();
    while (!(HwRead32(base + kUartLsr) & kLsrTxRoom)) {
        if (TicksElapsed(ReadOsTimer(), start, kPutcTimeoutTicks)) return false;
    }
    return true;
}

void UartPutcPolled(uint32_t port, char c) {
    uint32_t base = OnChipBase(port);
    if (!base || !WaitTxRoom(base)) return;
    HwWrite32(base + kUartThr, static_cast<uint8_t>(c));
    if (c == '\n' && WaitTxRoom(base)) HwWrite32(base + kUartThr, '\r');
}
uint32_t G_AltOutPort = kNoPort;
uint32_t G_EngFramePort = kNoPort;
uint32_t G_EngCsvPort = kNoPort;
uint32_t G_NavRadioPort = kNoPort;
uint32_t G_AhrsAidPort = kNoPort;
