// MMC/SD card driver: single commands, card identification, single-block
// reads and writes on one data line (polled), and a 1 MB direct-mapped
// write-through sector cache in front of the card.
#pragma once
#include <cstdint>

#include "core/clkmgr.h"

// Controller registers.
constexpr uint32_t MMC_STRPCL = 0x41100000;
constexpr uint32_t MMC_STAT   = 0x41100004;
constexpr uint32_t MMC_CLKRT  = 0x41100008;
constexpr uint32_t MMC_SPI    = 0x4110000C;
constexpr uint32_t MMC_CMDAT  = 0x41100010;
constexpr uint32_t MMC_RESTO  = 0x41100014;
constexpr uint32_t MMC_RDTO   = 0x41100018;
constexpr uint32_t MMC_BLKLEN = 0x4110001C;
constexpr uint32_t MMC_NOB    = 0x41100020;
constexpr uint32_t MMC_PRTBUF = 0x41100024;
constexpr uint32_t MMC_I_MASK = 0x41100028;
constexpr uint32_t MMC_I_REG  = 0x4110002C;
constexpr uint32_t MMC_CMD    = 0x41100030;
constexpr uint32_t MMC_ARGH   = 0x41100034;
constexpr uint32_t MMC_ARGL   = 0x41100038;
constexpr uint32_t MMC_RES    = 0x4110003C;
constexpr uint32_t MMC_RXFIFO = 0x41100040;
constexpr uint32_t MMC_TXFIFO = 0x41100044;
constexpr uint32_t OSCC       = 0x41300008;   // clocks manager: read for the trace's clock figure

constexpr uint32_t kCkenMmc = 0x1000;

constexpr uint32_t kSdCacheSlots = 2048;
constexpr uint32_t kSdSectorBytes = 512;
constexpr uint32_t kSdCacheEmpty = 0xFFFFFFFF;
// Sector numbers from here on would wrap the 32-bit byte address.
constexpr uint32_t kSdSectorLimit = 0x800000;

struct SdCache {
    uint32_t tag[kSdCacheSlots];                    // sector held, or kSdCacheEmpty
    uint8_t  data[kSdCacheSlots][kSdSectorBytes];
};

extern uint8_t  G_MmcResp[18];
extern uint8_t  G_CardCid[20];
extern uint8_t  G_CardCsd[16];
extern uint32_t G_CardCsdValid;
extern uint32_t G_MmcDebug;
extern SdCache  G_SdCache;

// One command; G_MmcResp when a response came, nullptr on a time-out, a
// response time-out, or a command that asks for no response.
uint8_t* mmc_cmd(uint32_t cmd, uint32_t argHigh, uint32_t argLow, uint32_t cmdat, uint32_t blockLen);
// Identifies, addresses and selects the card; 0 or -1. verbose turns the trace on.
int32_t InitMMC(int32_t verbose);
// One block at a byte address; 0 or -1; len 0 does nothing.
int32_t mmc_block_rd(uint8_t* dst, uint32_t byteAddr, uint32_t len);
int32_t mmc_block_wr(uint32_t byteAddr, const uint8_t* src, uint32_t len);
// Bytes the card's CSD declares; 0 when no CSD was read.
uint64_t CardCapacityBytes();
// True when the card's CSD read at identification marks it write-protected
// (PERM_WRITE_PROTECT or TMP_WRITE_PROTECT).
bool     CardWriteProtected();
// Every slot empty, its data zeroed.
void SdCacheClear();

// The FAT layer's sector hooks: one 512-byte sector each, unit and count ignored; 0 or -1.
uint32_t DFS_SectorRead(uint8_t unit, uint8_t* buffer, uint32_t sector, uint32_t count);
uint32_t DFS_SectorWrite(uint8_t unit, const uint8_t* buffer, uint32_t sector, uint32_t count);
