#include "storage/mmc.h"

#include <cstring>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "platform/hw.h"
#include "platform/rammap.h"

// Status bits.
constexpr uint32_t kStatRespTimeout = 0x02;
constexpr uint32_t kStatErrors      = 0x3F;
constexpr uint32_t kStatXmitEmpty   = 0x40;
constexpr uint32_t kStatRecvFull    = 0x80;
// Interrupt register bits.
constexpr uint32_t kIntDataDone = 0x01;
constexpr uint32_t kIntPrgDone  = 0x02;
constexpr uint32_t kIntEndCmd   = 0x04;
constexpr uint32_t kIntClockOff = 0x10;
constexpr uint32_t kIntRxReq    = 0x20;
constexpr uint32_t kIntTxReq    = 0x40;

constexpr uint32_t kFifoBytes       = 32;
constexpr uint32_t kCmdAttempts     = 101;
constexpr uint32_t kAcmd41Rounds    = 10;
constexpr uint32_t kAcmd41Arg       = 0x0020;       // high half of 0x00200000: 3.3 V window
constexpr uint32_t kCmd0SettleTicks = 18432;        // 5 ms
// The target's 3,350,000-count busy loop between ACMD41 rounds, about 16 ms.
constexpr uint32_t kAcmd41RoundTicks = 16 * kTicksPerMs;

uint8_t  G_MmcResp[18];
uint8_t  G_CardCid[20];
uint8_t  G_CardCsd[16];
uint32_t G_CardCsdValid;
uint32_t G_MmcDebug;

// Tags start empty: a zero tag would claim sector 0 is cached.
static constexpr SdCache EmptyCache() {
    SdCache c{};
    for (uint32_t& t : c.tag) t = kSdCacheEmpty;
    return c;
}
SdCache G_SdCache = EmptyCache();

// Unmasks only `bit` and polls for it; false after `ticks`.
static bool WaitIreg(uint32_t bit, uint32_t ticks) {
    HwWrite32(MMC_I_MASK, ~bit);
    uint32_t start = ReadOsTimer();
    while (!(HwRead32(MMC_I_REG) & bit)) {
        if (TicksElapsed(ReadOsTimer(), start, ticks)) return false;
    }
    return true;
}

uint8_t* mmc_cmd(uint32_t cmd, uint32_t argHigh, uint32_t argLow, uint32_t cmdat, uint32_t blockLen) {
    if (G_MmcDebug) {
        KickWatchdog(10);
        DebugPrintf("mmc_cmd: %2d %x %x %x\n", static_cast<int>(cmd & 0xFFFF), argHigh & 0xFFFF, argLow & 0xFFFF,
                    cmdat & 0xFFFF);
    }
    HwWrite32(MMC_STRPCL, 1);
    if (!WaitIreg(kIntClockOff, kTicksPerMs)) {
        DebugPrintf("MMC Cmd Timeout1\n");
        return nullptr;
    }
    HwWrite32(MMC_CMD, cmd);
    HwWrite32(MMC_ARGH, argHigh & 0xFFFF);
    HwWrite32(MMC_ARGL, argLow & 0xFFFF);
    HwWrite32(MMC_CMDAT, cmdat);
    if (cmd == 17) {
        HwWrite32(MMC_RDTO, 0xFFFF);
        HwWrite32(MMC_NOB, 1);
        HwWrite32(MMC_BLKLEN, blockLen);
    } else if (cmd == 24) {
        HwWrite32(MMC_NOB, 1);
        HwWrite32(MMC_BLKLEN, blockLen);
    } else if (cmd == 0) {
        HwWrite32(MMC_CLKRT, 0);
        HwWrite32(MMC_RESTO, 127);
        HwWrite32(MMC_SPI, 0);
    }
    HwWrite32(MMC_STRPCL, 2);
    if (!WaitIreg(kIntEndCmd, kTicksPerMs)) {
        DebugPrintf("MMC Cmd Timeout2\n");
        return nullptr;
    }
    if (cmd == 0) DelayTicks(kCmd0SettleTicks);
    uint32_t status = HwRead32(MMC_STAT);
    if (G_MmcDebug) DebugPrintf("    status:   0x%08x   (good=2140 or 3940)\n", status);
    if (status & kStatRespTimeout) return nullptr;
    uint32_t format = cmdat & 3;
    if (format == 0) return nullptr;
    int words = format == 2 ? 9 : 3;
    for (int i = 0; i < words; ++i) {
        uint32_t w = HwRead32(MMC_RES) & 0xFFFF;
        G_MmcResp[2 * i] = static_cast<uint8_t>(w >> 8);
        G_MmcResp[2 * i + 1] = static_cast<uint8_t>(w);
        if (G_MmcDebug) DebugPrintf("    resp[%d] = 0x%04x\n", i, w);
    }
    return G_MmcResp;
}

static void TraceCid() {
    const uint8_t* c = G_CardCid;
    DebugPrintf("Card desciption:\n");
    DebugPrintf("  Manufacturer ID = %02x\n", c[1]);
    DebugPrintf("  OEM/App ID      = %c%c\n", c[2], c[3]);
    DebugPrintf("  Product Name    = %c%c%c%c%c\n", c[4], c[5], c[6], c[7], c[8]);
    DebugPrintf("  Product Revision= %x.%x\n", c[9] >> 4, c[9] & 15);
    DebugPrintf("  Serial Number   = %02x%02x%02x%02x\n", c[10], c[11], c[12], c[13]);
    DebugPrintf("  Month           = %d\n", c[15] & 15);
    int year = (c[14] & 15) << 4 | c[15] >> 4;   // years since 2000
    DebugPrintf("  Year            = 20%1d%1d\n", year / 10 % 10, year % 10);
}

// The clock figure of the trace; only the divisor bits count, so a register
// with other bits set cannot divide by zero.
static int ClockMhz() {
    uint32_t div = HwRead32(OSCC) & 7;
    return div ? static_cast<int>(20 / (2 * div)) : 1;
}

int32_t InitMMC(int32_t verbose) {
    G_CardCsdValid = 0;
    if (verbose) G_MmcDebug = 1;
    if (G_MmcDebug) DebugPrintf("Initializing MMC/SD card %dMHz...\n", ClockMhz());
    HwWrite32(CKEN, HwRead32(CKEN) | kCkenMmc);
    DelayTicks(kTicksPerMs);

    mmc_cmd(0, 0, 0, 0, 0);
    mmc_cmd(55, 0, 0, 1, 0);
    if (!mmc_cmd(41, kAcmd41Arg, 0, 0x63, 0)) return -1;
    // Ready is an OCR top byte of exactly 0x80; whatever the rounds end with, identification goes on.
    for (uint32_t round = 0; G_MmcResp[1] != 0x80 && round < kAcmd41Rounds; ++round) {
        mmc_cmd(55, 0, 0, 1, 0);
        if (!mmc_cmd(41, kAcmd41Arg, 0, 0x23, 0)) break;
        DelayTicks(kAcmd41RoundTicks);
    }

    if (mmc_cmd(2, 0, 0, 2, 0)) {
        // The response holds 18 bytes; the record's last two stay zero.
        std::memset(G_CardCid, 0, sizeof G_CardCid);
        std::memcpy(G_CardCid, G_MmcResp, sizeof G_MmcResp);
        if (G_MmcDebug) TraceCid();
    }
    if (!mmc_cmd(3, 0, 0, 1, 0)) return -1;
    uint32_t rca = static_cast<uint32_t>(G_MmcResp[1]) << 8 | G_MmcResp[2];

    if (!mmc_cmd(9, rca, 0, 2, 0)) {
        G_CardCsdValid = 0;
        return -1;
    }
    std::memcpy(G_CardCsd, G_MmcResp + 1, sizeof G_CardCsd);   // the register, bit 127 first
    G_CardCsdValid = 1;
    if (G_MmcDebug) {
        const uint8_t* c = G_CardCsd;
        int cSize = (c[6] & 3) << 10 | c[7] << 2 | c[8] >> 6;
        int cSizeMult = (c[9] & 3) << 1 | c[10] >> 7;
        DebugPrintf("    c_size = %d\n", cSize);
        DebugPrintf("    c_size_mult = %d\n", cSizeMult);
    }
    mmc_cmd(7, rca, 0, 1, 0);
    return 0;
}

uint64_t CardCapacityBytes() {
    if (!G_CardCsdValid) return 0;
    const uint8_t* c = G_CardCsd;
    if (c[0] >> 6 == 1) {   // version 2.0: C_SIZE counts 512 KB units
        const uint64_t cSize = uint64_t{c[7] & 0x3Fu} << 16 | uint64_t{c[8]} << 8 | c[9];
        return (cSize + 1) << 19;
    }
    const uint32_t readBlLen = c[5] & 0x0F;
    const uint32_t cSize = (c[6] & 3u) << 10 | uint32_t{c[7]} << 2 | c[8] >> 6;
    const uint32_t cSizeMult = (c[9] & 3u) << 1 | c[10] >> 7;
    return uint64_t{cSize + 1} << (cSizeMult + 2 + readBlLen);
}

bool CardWriteProtected() {
    constexpr uint8_t kPermWp = 0x20, kTmpWp = 0x10;   // CSD bits 13 and 12, in byte 14
    return G_CardCsdValid != 0 && (G_CardCsd[14] & (kPermWp | kTmpWp)) != 0;
}

static bool SendWithRetries(uint32_t cmd, uint32_t byteAddr, uint32_t cmdat, uint32_t len) {
    for (uint32_t i = 0; i < kCmdAttempts; ++i)
        if (mmc_cmd(cmd, byteAddr >> 16, byteAddr & 0xFFFF, cmdat, len)) return true;
    return false;
}

int32_t mmc_block_rd(uint8_t* dst, uint32_t byteAddr, uint32_t len) {
    if (len == 0) return 0;
    if (G_MmcDebug) {
        KickWatchdog(10);
        DebugPrintf("mmc_block_rd- dst:%lx  sector:%d len %d\n", static_cast<unsigned long>(HwRamAddress(dst)),
                    static_cast<int>(byteAddr / 512), static_cast<int>(len));
    }
    if (!SendWithRetries(17, byteAddr, 5, len)) return -1;
    HwWrite32(MMC_I_MASK, ~kIntRxReq);
    // Bounded: a card that stops sending without raising an error must not hang the unit.
    uint32_t start = ReadOsTimer();
    uint32_t left = len;
    while (left) {
        if (HwRead32(MMC_I_REG) & kIntRxReq) {
            uint32_t n = (HwRead32(MMC_STAT) & kStatRecvFull) ? kFifoBytes : 1;
            for (; n && left; --n, --left) *dst++ = HwRead8(MMC_RXFIFO);
        }
        uint32_t status = HwRead32(MMC_STAT);
        if (status & kStatErrors) {
            DebugPrintf("MMC_RB Status1:%lx\n", static_cast<unsigned long>(status));
            return -1;
        }
        if (left && TicksElapsed(ReadOsTimer(), start, kTicksPerSecond)) {
            DebugPrintf("MMC_RB DATA Timeout\n");
            return -1;
        }
    }
    if (!WaitIreg(kIntDataDone, kTicksPerSecond)) {
        DebugPrintf("MMC_RB TRAN_DONE Timeout\n");
        return -1;
    }
    uint32_t status = HwRead32(MMC_STAT);
    if (status & kStatErrors) {
        DebugPrintf("MMC_RB Status2:%lx\n", static_cast<unsigned long>(status));
        return -1;
    }
    return 0;
}

int32_t mmc_block_wr(uint32_t byteAddr, const uint8_t* src, uint32_t len) {
    if (len == 0) return 0;
    if (G_MmcDebug)
        DebugPrintf("mmc_block_wr- dst:%lx  src:%lx len %d\n", static_cast<unsigned long>(byteAddr),
                    static_cast<unsigned long>(HwRamAddress(src)), static_cast<int>(len));
    if (!SendWithRetries(24, byteAddr, 13, len)) return -1;
    HwWrite32(MMC_I_MASK, ~kIntTxReq);
    uint32_t start = ReadOsTimer();
    uint32_t left = len;
    while (left) {
        if (HwRead32(MMC_I_REG) & kIntTxReq) {
            uint32_t n = (HwRead32(MMC_STAT) & kStatXmitEmpty) ? (left < kFifoBytes ? left : kFifoBytes) : 1;
            for (uint32_t i = 0; i < n; ++i) HwWrite8(MMC_TXFIFO, *src++);
            left -= n;
            if (n < kFifoBytes) HwWrite32(MMC_PRTBUF, 1);
        }
        uint32_t status = HwRead32(MMC_STAT);
        if (status & kStatErrors) {
            DebugPrintf("MMC_WB Status1:%lx\n", static_cast<unsigned long>(status));
            return -1;
        }
        if (left && TicksElapsed(ReadOsTimer(), start, kTicksPerSecond)) {
            DebugPrintf("MMC_WB DATA Timeout\n");
            return -1;
        }
    }
    if (!WaitIreg(kIntDataDone, kTicksPerSecond)) {
        DebugPrintf("MMC_WB TRAN_DONE Timeout\n");
        return -1;
    }
    if (!WaitIreg(kIntPrgDone, kTicksPerSecond)) {
        DebugPrintf("MMC_WB PRG_DONE Timeout\n");
        return -1;
    }
    uint32_t status = HwRead32(MMC_STAT);
    if (status & kStatErrors) {
        DebugPrintf("MMC_WB Status2:%lx\n", static_cast<unsigned long>(status));
        return -1;
    }
    return 0;
}

void SdCacheClear() {
    for (uint32_t i = 0; i < kSdCacheSlots; ++i) G_SdCache.tag[i] = kSdCacheEmpty;
    std::memset(G_SdCache.data, 0, sizeof G_SdCache.data);
}

uint32_t DFS_SectorRead(uint8_t, uint8_t* buffer, uint32_t sector, uint32_t) {
    if (sector >= kSdSectorLimit) return 0xFFFFFFFF;   // the byte address would wrap
    uint32_t slot = sector & (kSdCacheSlots - 1);
    if (G_SdCache.tag[slot] != sector) {
        if (mmc_block_rd(G_SdCache.data[slot], sector * kSdSectorBytes, kSdSectorBytes) != 0) {
            G_SdCache.tag[slot] = kSdCacheEmpty;
            return 0xFFFFFFFF;
        }
        G_SdCache.tag[slot] = sector;
    }
    std::memcpy(buffer, G_SdCache.data[slot], kSdSectorBytes);
    return 0;
}

uint32_t DFS_SectorWrite(uint8_t, const uint8_t* buffer, uint32_t sector, uint32_t) {
    if (sector >= kSdSectorLimit) return 0xFFFFFFFF;
    uint32_t slot = sector & (kSdCacheSlots - 1);
    bool cached = G_SdCache.tag[slot] == sector;
    if (cached) std::memcpy(G_SdCache.data[slot], buffer, kSdSectorBytes);
    if (mmc_block_wr(sector * kSdSectorBytes, buffer, kSdSectorBytes) != 0) {
        // The card may not hold what the slot now says.
        if (cached) G_SdCache.tag[slot] = kSdCacheEmpty;
        return 0xFFFFFFFF;
    }
    return 0;
}
