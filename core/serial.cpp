#include "core/serial.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/framers.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "efis/ahrs.h"
#include "engine/engine.h"
#include "nav/navsrc.h"
#include "storage/config.h"
#include "storage/settings.h"
#include "wx/wx.h"
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
uint32_t G_AhrsPort;
uint32_t G_AltOutPort = kNoPort;
uint32_t G_EngFramePort = kNoPort;
uint32_t G_EngCsvPort = kNoPort;
uint32_t G_FadecPort = kNoPort;
uint32_t G_NavRadioPort = kNoPort;
uint32_t G_AhrsAidPort = kNoPort;
uint32_t G_SerialTxDropped[kSerialPorts];

const char G_SerialBaudText[kBaudCount + 2][16] = {
    " 115200 bps ", " 57600 bps ", " 38400 bps ", " 19200 bps ", " 14400 bps ", " 9600 bps ",
    " 4800 bps ",   " 2400 bps ",  " 1200 bps ",  " 600 bps ",   " OFF",        " ON",
};

const char G_SerialFuncName[kFunctionCount][20] = {
    " DISABLED ",    " EXT. AHRS ",   " NMEA@4800 ",       " TRFC/ICARUS ",   " SL-30 ",     " ARINC ",
    " AVTN/CHELTON ", " TEST ",       " AVTN/ARNAV ",      " FADEC SBC-100 ", " FADEC SBC-250 ",
    " ARINC DWNLD ", " NRV CAL ",     " OP TECH ",         " NMEA/AVTN ",     " TRFC/SHADIN ALT ",
    " GARMIN AT ",   " MAGELLAN ",    " NORTHSTAR ",       " NRV GPS ",       " TRAFFIC ",   " REMOTE NAV ",
    " AVTN/AVTN ",
};

struct BaudRow {
    uint32_t nOnChipDiv;
    uint32_t nExtDiv;
    uint32_t nTicksPerChar;   // 3,686,400 x 10 / rate
};
static constexpr BaudRow kBaud[kBaudCount] = {
    {8, 1, 320},     {16, 2, 640},     {24, 3, 960},     {48, 6, 1920},     {64, 8, 2560},
    {96, 12, 3840},  {192, 24, 7680},  {384, 48, 15360}, {768, 96, 30720},  {1536, 192, 61440},
};
constexpr uint32_t kDefaultBaud = 5;

static const BaudRow& Baud(uint32_t idx) { return kBaud[idx < kBaudCount ? idx : kDefaultBaud]; }
uint32_t SerialTicksPerChar(uint32_t baudIdx) { return Baud(baudIdx).nTicksPerChar; }

constexpr uint32_t kLsrDr = 0x01, kLsrErrors = 0x1C, kLsrTxRoom = 0x20, kLsrTemt = 0x40, kLsrFifoErr = 0x80;
constexpr uint32_t kIerTie = 0x02, kIerService = 0x13, kIerKeep = 0x53, kIerRxOn = 0x51, kIerUnit = 0x40;
constexpr uint32_t kBurstGapTicks = 184320;   // 50 ms
constexpr uint32_t kPort1SettleTicks = 368600;
constexpr int32_t  kFifoBytes = 64;
// Long enough for a full transmit FIFO to drain at the slowest rate (64 x 600 bps).
constexpr uint32_t kPutcTimeoutTicks = 64 * 61440;

// Dual-UART registers.
constexpr uint32_t kDuRhr = 0, kDuDlh = 1, kDuFcr = 2, kDuLcr = 3, kDuTxFree = 8, kDuRxLevel = 9;
constexpr uint32_t kFunctionArinc = 5;

static int32_t Wrap(int32_t i) { return i & (kSerialRingSize - 1); }

static uint32_t OnChipBase(uint32_t port) {
    switch (port) {
    case 0: return kBtUartBase;
    case 1: return kStUartBase;
    case 3: return kFfUartBase;
    default: return 0;
    }
}

static uint32_t OnChipIrq(uint32_t port) {
    return port == 0 ? kIntBtUart : (port == 3 ? kIntFfUart : kIntStUart);
}

// ---- polled output ----------------------------------------------------------

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

// ---- set-up -------------------------------------------------------------------

// A full receive ring is logged once when it fills and once when it drains
// again with the bytes it lost, never once per interrupt.
struct OverflowEpisode {
    uint32_t bOn;
    uint32_t nLost;
};
static OverflowEpisode s_overflow[kSerialPorts];

void SerialBufReset(uint32_t port, uint32_t uartBase) {
    if (port >= kSerialPorts) return;
    std::memset(&G_SerialBuf[port], 0, sizeof G_SerialBuf[port]);
    s_overflow[port] = {};
    G_SerialBuf[port].pUart = uartBase;
    ResetSerialFramers(port);
}

struct UartPins { uint32_t rxPin, rxFn, txPin, txFn; };

static UartPins PinsOf(uint32_t port) {
    switch (port) {
    case 0: return {42, 1, 43, 2};
    case 1: return {46, 2, 47, 1};
    default: return {34, 1, 39, 2};
    }
}

static void ProgramOnChip(uint32_t port, uint32_t baudIdx) {
    const uint32_t base = OnChipBase(port);
    SerialBufReset(port, base);
    IntDisable(OnChipIrq(port));
    HwWrite32(base + kUartIer, 0);
    const UartPins pins = PinsOf(port);
    SetPinMode(pins.rxPin, false, pins.rxFn);
    SetPinMode(pins.txPin, true, pins.txFn);
    const uint32_t div = Baud(baudIdx).nOnChipDiv;
    HwWrite32(base + kUartLcr, 0x80);
    HwWrite32(base + kUartDlh, div >> 8);
    HwWrite32(base + kUartDll, div & 0xFF);
    HwWrite32(base + kUartLcr, 3);
    HwWrite32(base + kUartMcr, 8);
    // A disabled port keeps its receiver quiet: a talking device must not flood the RAM log.
    const uint32_t rx = G_Serial[port].nFunction == 0 ? kIerUnit : kIerRxOn;
    HwWrite32(base + kUartIer, HwRead32(base + kUartIer) | rx);
    HwWrite32(base + kUartFcr, 7);
    HwWrite32(base + kUartFcr, 0xC7);
    HwWrite32(base + kUartSpr, 0);
    IntEnable(OnChipIrq(port));
}

static uint16_t DuartWord(uint32_t port, uint32_t reg, bool read, uint32_t data) {
    return static_cast<uint16_t>((read ? 0x8000 : 0) | (reg & 0xF) << 11 | (port == 4 ? 1u : 0u) << 9 | (data & 0xFF));
}

static void DuartWrite(uint32_t port, uint32_t reg, uint32_t value) {
    uint16_t w = DuartWord(port, reg, false, value);
    SpiTransfer(kSpiDuart, &w);
}

static uint32_t DuartRead(uint32_t port, uint32_t reg) {
    uint16_t w = DuartWord(port, reg, true, 0);
    SpiTransfer(kSpiDuart, &w);
    return w & 0xFF;
}

void SetDuartBaud(uint32_t port, uint32_t baudIdx) {
    if (port != 2 && port != 4) return;
    G_Serial[port].nBaudIdx = baudIdx;
    DuartWrite(port, kDuLcr, 0x80);
    DuartWrite(port, kDuRhr, Baud(baudIdx).nExtDiv);
    DuartWrite(port, kDuDlh, 0);
    DuartWrite(port, kDuLcr, 3);
    DuartWrite(port, kDuFcr, 6);
    DuartWrite(port, kDuFcr, 1);
    SerialBufReset(port, kStUartBase);
}

void SetSerialBaud(uint32_t port, uint32_t baudIdx) {
    if (port == 2 || port == 4) {
        SetDuartBaud(port, baudIdx);
    } else if (OnChipBase(port)) {
        G_Serial[port].nBaudIdx = baudIdx;
        ProgramOnChip(port, baudIdx);
    }
}

static const char* BaudText(uint32_t idx) { return G_SerialBaudText[idx < kBaudCount ? idx : kDefaultBaud]; }

static void LogPort(uint32_t port, uint32_t nameCode) {
    DebugPrintf("Serial Port:%d,%s%s\n", static_cast<int>(port), BaudText(G_Serial[port].nBaudIdx),
                G_SerialFuncName[nameCode]);
}

static void Install(SerialPort& p, SerialFrameFn frame, SerialParseFn parse, uint32_t baud) {
    p.fpFrame = frame;
    p.fpMsgParse = parse;
    p.nBaudIdx = baud;
}

static void SetUpAhrs(uint32_t port) {
    SerialPort& p = G_Serial[port];
    uint32_t& type = G_NetStreamCfg[kStreamAhrs].DSRC;
    G_AhrsPort = port;
    // The settings repair derives input kind 0 for every local AHRS; the
    // configured AHRS type still says which protocol it speaks.
    if (type == 0 && G_AhrsTypeCfg == 1) type = 1;
    if (type == 1) {
        Install(p, SyncDynonMsg, ParseDynonMsg, 0);
        DebugPrintf("Serial Port:%d,%s DYNON AHRS\n", static_cast<int>(port), BaudText(0));
        return;
    }
    if (type != 3) type = 0;
    G_AhrsAidPort = port;   // the binary-frame AHRS takes the aiding message
    Install(p, SyncXbowMsg, ParseXbow500Msg, 5);
    DebugPrintf("Serial Port:%d,%s XBOW AHRS\n", static_cast<int>(port), BaudText(5));
}

// Installs the function's callbacks and forces its rate; false when the port
// is to be left unprogrammed.
static bool SetUpFunction(uint32_t port) {
    SerialPort& p = G_Serial[port];
    if (p.nFunction >= kFunctionCount) p.nFunction = 0;   // an unknown code disables the port for good
    uint32_t nameCode = p.nFunction;
    bool program = true;
    switch (p.nFunction) {
    case 1: SetUpAhrs(port); return true;
    case 2: Install(p, NmeaResync, ParseNmeaMsg, 6); ClearNmeaGpsSlot(); break;
    case 3: case 15: Install(p, SerialDleResync, TrafficRxMsg, 5); G_AltOutPort = port; break;
    case 4: Install(p, NmeaResync, ParseVorMsg, 5); ClearVorRadio(); break;
    case 5: Install(p, ArincResync, ParseArincMsg, 1); break;
    case 6:
        Install(p, AvtnResync, ParseAvaiationMsg, 5);
        G_EngFramePort = port;
        InitEngineDataMsg();
        ClearAvtnGps();
        break;
    case 7: program = false; break;   // TEST: the setup page's own callbacks and rate stay
    case 8: case 22: Install(p, AvtnResync, ParseAvaiationMsg, 5); ClearAvtnGps(); break;
    case 9: case 10:
        if (G_NetStreamCfg[kStreamEngine].DSRC == 1) {
            Install(p, FadecMsgFrame, ParseFadecMsg, 5);
            G_FadecPort = port;
            SetFadecPresent(p.nFunction);
        } else {
            nameCode = 0;
            program = false;
        }
        break;
    case 13: Install(p, nullptr, nullptr, 3); G_EngCsvPort = port; break;
    case 14: case 19: Install(p, NmeaResync, ParseNmeaMsg, 5); ClearNmeaGpsSlot(); break;
    case 16: case 17: Install(p, nullptr, nullptr, 8); G_AltOutPort = port; break;
    case 18: Install(p, nullptr, nullptr, 7); G_AltOutPort = port; break;
    case 20: Install(p, SerialDleResync, TrafficRxMsg, 5); break;
    case 11: case 12: case 21:
        p.nFunction = 0;
        nameCode = 0;
        Install(p, nullptr, nullptr, 5);
        break;
    default: Install(p, nullptr, nullptr, 5); break;
    }
    LogPort(port, nameCode);
    return program;
}

void InitSerialPorts() {
    static constexpr uint32_t kOrder[kSerialPorts] = {0, 2, 3, 4, 1};
    for (uint32_t port : kOrder) {
        if (!SetUpFunction(port)) continue;
        if (port == 1) DelayTicks(kPort1SettleTicks);   // pending log output drains first
        SetSerialBaud(port, G_Serial[port].nBaudIdx);
        // After the programming, which empties the rings, so that the header is sent.
        if (G_Serial[port].nFunction == 13) SendEngineCsvHeader();
    }
}

// ---- receive --------------------------------------------------------------------

static bool RingFull(const SerialRing& r) { return Wrap(r.nWr + 1) == r.nRd; }

// Stores one received byte unless it carries a line error or the ring is full.
static void StoreRx(uint32_t port, uint8_t byte, uint32_t errors) {
    SerialRing& rx = G_SerialBuf[port].rx;
    if (errors) return;
    if (RingFull(rx)) {
        ++s_overflow[port].nLost;
        return;
    }
    const int32_t at = Wrap(rx.nWr);
    rx.abRing[at] = byte;
    const uint32_t now = ReadOsTimer();
    if (TicksElapsed(now, rx.nLastRxTime, kBurstGapTicks)) rx.nBurstStart = at;
    rx.nWr = Wrap(at + 1);
    rx.nLastRxTime = now;
    G_Serial[port].bRxPending = 1;
}

static void LogOverflow(uint32_t port) {
    const SerialRing& rx = G_SerialBuf[port].rx;
    OverflowEpisode& o = s_overflow[port];
    if (RingFull(rx) && G_Serial[port].nFunction != 0) {
        if (o.bOn) return;
        o.bOn = 1;
        RamLogPrintf("UART:%d IRQ Overflow: read:%d write:%d\n", static_cast<int>(port), static_cast<int>(rx.nRd),
                     static_cast<int>(rx.nWr));
    } else if (o.bOn && !RingFull(rx)) {
        RamLogPrintf("UART:%d Overflow ended, %d bytes lost\n", static_cast<int>(port), static_cast<int>(o.nLost));
        o = {};
    }
}

void UartPortService(uint32_t port, uint32_t dataReg, uint32_t ierReg, uint32_t iirReg, uint32_t lsrReg) {
    if (port >= kSerialPorts) return;
    uint32_t lsr = HwRead32(lsrReg) & 0xFF;
    const uint32_t iir = HwRead32(iirReg) & 0xF;
    uint32_t ier = HwRead32(ierReg) & kIerKeep;
    if (iir == 1) return;
    HwWrite32(ierReg, ier & ~kIerService);
    if (iir & 4) {
        if (lsr & kLsrFifoErr)
            RamLogPrintf("FIFO ERROR: UART:%d, IIR:%08x LSR:%08x \n", static_cast<int>(port), static_cast<unsigned>(iir),
                         static_cast<unsigned>(lsr));
        for (int i = 0; i < kFifoBytes; ++i) {
            if (i > 0) lsr = HwRead32(lsrReg) & 0xFF;   // the error bits belong to the byte at the head
            if (!(lsr & kLsrDr)) break;
            const uint8_t byte = static_cast<uint8_t>(HwRead32(dataReg));
            // A disabled port discards what a device sends it.
            if (G_Serial[port].nFunction != 0) StoreRx(port, byte, lsr & kLsrErrors);
        }
        LogOverflow(port);
    } else if (iir & 2) {
        G_Serial[port].bTxReady = 1;
        ier &= ~kIerTie;
    }
    HwWrite32(ierReg, ier);
}

void DuartRx(uint32_t port) {
    if ((port != 2 && port != 4) || G_SpiBusy || !SpiReady()) return;
    uint32_t n = DuartRead(port, kDuRxLevel);
    if (n == 0) return;
    if (n > static_cast<uint32_t>(kFifoBytes)) n = kFifoBytes;
    for (uint32_t i = 0; i < n; ++i) StoreRx(port, static_cast<uint8_t>(DuartRead(port, kDuRhr)), 0);
    LogOverflow(port);
}

// ---- transmit -------------------------------------------------------------------

void DuartTx(uint32_t port) {
    if ((port != 2 && port != 4) || G_SpiBusy || !SpiReady()) return;
    SerialRing& tx = G_SerialBuf[port].tx;
    uint32_t room;
    if (G_Serial[port].nFunction == kFunctionArinc) {
        room = DuartRead(port, kDuTxFree);
    } else {
        // Characters the line has sent since the last byte went in.
        room = (ReadOsTimer() - tx.nLastTxTime) / SerialTicksPerChar(G_Serial[port].nBaudIdx);
    }
    if (room > static_cast<uint32_t>(kFifoBytes)) room = kFifoBytes;
    for (uint32_t i = 0; i < room && tx.nRd != tx.nWr; ++i) {
        DuartWrite(port, kDuRhr, tx.abRing[Wrap(tx.nRd)]);
        tx.nLastTxTime = ReadOsTimer();
        tx.nRd = Wrap(tx.nRd + 1);
    }
}

void UartTxFill(uint32_t port) {
    const uint32_t base = OnChipBase(port);
    if (!base) return;
    SerialRing& tx = G_SerialBuf[port].tx;
    const uint32_t ier = HwRead32(base + kUartIer);
    HwWrite32(base + kUartIer, ier & ~kIerTie);
    const uint32_t lsr = HwRead32(base + kUartLsr);
    const int32_t room = (lsr & kLsrTemt) ? kFifoBytes : ((lsr & kLsrTxRoom) ? kFifoBytes / 2 : 0);
    int32_t moved = 0;
    while (moved < room && tx.nRd != tx.nWr) {
        HwWrite32(base + kUartThr, tx.abRing[Wrap(tx.nRd)]);
        tx.nLastTxTime = ReadOsTimer();
        tx.nRd = Wrap(tx.nRd + 1);
        ++moved;
    }
    // An empty ring with room left needs no interrupt until the next write.
    if (moved > 0 || room == 0) HwWrite32(base + kUartIer, HwRead32(base + kUartIer) | kIerTie);
}

void SerialTxService(uint32_t port) {
    if (OnChipBase(port)) UartTxFill(port);
}

void SerialWrite(uint32_t port, const void* bytes, int32_t count) {
    if (port >= kSerialPorts || G_Serial[port].nFunction == 0 || count <= 0 || !bytes) return;
    SerialRing& tx = G_SerialBuf[port].tx;
    const int32_t free = Wrap(tx.nRd - tx.nWr - 1);
    if (count > free) {
        // Never overtake unsent bytes, and never send a peer a cut message.
        G_SerialTxDropped[port] += static_cast<uint32_t>(count);
        RamLogPrintf("UART:%d TX Overflow: dropped:%d read:%d write:%d\n", static_cast<int>(port),
                     static_cast<int>(count), static_cast<int>(tx.nRd), static_cast<int>(tx.nWr));
        return;
    }
    const uint8_t* src = static_cast<const uint8_t*>(bytes);
    int32_t wr = Wrap(tx.nWr);
    for (int32_t i = 0; i < count; ++i) {
        tx.abRing[wr] = src[i];
        wr = Wrap(wr + 1);
    }
    tx.nWr = wr;   // published after the bytes: the tick may be draining this ring
    SerialTxService(port);
}

void SerialPrintf(uint32_t port, const char* format, ...) {
    if (port >= kSerialPorts || G_Serial[port].nFunction == 0) return;
    SerialRing& tx = G_SerialBuf[port].tx;
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(reinterpret_cast<char*>(tx.abMsg), kSerialMsgSize, format, ap);
    va_end(ap);
    if (n < 0) return;
    if (n > kSerialMsgSize - 1) n = kSerialMsgSize - 1;
    SerialWrite(port, tx.abMsg, n);
}

// ---- messages -------------------------------------------------------------------

int32_t CopySerialMsg(SerialRing* ring) {
    int32_t n = 0;
    ring->nMsgStart = Wrap(ring->nMsgStart);
    const int32_t end = Wrap(ring->nMsgEnd);
    while (ring->nMsgStart != end) {
        if (n == kSerialMsgSize) return n;
        ring->abMsg[n++] = ring->abRing[ring->nMsgStart];
        ring->nMsgStart = Wrap(ring->nMsgStart + 1);
    }
    if (n == kSerialMsgSize) return n;
    ring->abMsg[n++] = ring->abRing[end];
    return n;
}

void SerialRawFrame(uint32_t port) {
    if (port >= kSerialPorts) return;
    SerialRing& rx = G_SerialBuf[port].rx;
    const int32_t stop = Wrap(rx.nWr);
    if (Wrap(rx.nRd) == stop) return;
    rx.nMsgStart = Wrap(rx.nRd);
    rx.nMsgEnd = Wrap(stop - 1);   // the last byte received, not the next free slot
    const int32_t n = CopySerialMsg(&rx);
    if (SerialParseFn parse = G_Serial[port].fpMsgParse) parse(rx.abMsg, n, port);
    rx.nRd = stop;
}

void ParseTestSerial(uint8_t* msg, int32_t length, uint32_t port) {
    if (length <= 1 || port >= kSerialPorts) return;
    if (length > kSerialMsgSize) length = kSerialMsgSize;
    std::memset(FlashBuf, 0, sizeof FlashBuf);
    std::memcpy(FlashBuf, msg, static_cast<size_t>(length));
    RamLogPrintf("ParseTestSerial Recvd:%s\n", reinterpret_cast<const char*>(FlashBuf));
    G_Serial[port].nRxCount = static_cast<uint32_t>(length);
}

char NibbleToHexChar(uint32_t value) {
    if (value <= 9) return static_cast<char>('0' + value);
    if (value <= 15) return static_cast<char>('A' + value - 10);
    return static_cast<char>(value);
}

int32_t HexCharToNibble(char c) {
    if (c >= 'a' && c <= 'z') return c - 87;
    if (c >= 'A' && c <= 'Z') return c - 55;
    return c - 48;
}
