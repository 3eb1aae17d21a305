#include "storage/nvram.h"

#include <cstring>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "storage/flash.h"

uint8_t  G_NVRam[kNVRamSize] = {};
uint32_t G_NVRamSector = kNvSectorA;

constexpr uint32_t kNvCrcBytes = 984;
constexpr uint32_t kErasedWord = 0xFFFFFFFF;

// ---- field access ----------------------------------------------------------

uint32_t NvGetU32(uint32_t offset) {
    if (offset > kNVRamSize - 4) return 0;
    return uint32_t{G_NVRam[offset]} | uint32_t{G_NVRam[offset + 1]} << 8 |
           uint32_t{G_NVRam[offset + 2]} << 16 | uint32_t{G_NVRam[offset + 3]} << 24;
}

void NvSetU32(uint32_t offset, uint32_t value) {
    if (offset > kNVRamSize - 4) return;
    for (uint32_t i = 0; i < 4; ++i) G_NVRam[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t NvGetU16(uint32_t offset) {
    if (offset > kNVRamSize - 2) return 0;
    return static_cast<uint16_t>(G_NVRam[offset] | G_NVRam[offset + 1] << 8);
}

void NvSetU16(uint32_t offset, uint16_t value) {
    if (offset > kNVRamSize - 2) return;
    G_NVRam[offset] = static_cast<uint8_t>(value);
    G_NVRam[offset + 1] = static_cast<uint8_t>(value >> 8);
}

float NvGetF32(uint32_t offset) {
    uint32_t bits = NvGetU32(offset);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void NvSetF32(uint32_t offset, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    NvSetU32(offset, bits);
}

TargetDouble ToTargetDouble(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return {static_cast<uint32_t>(bits >> 32), static_cast<uint32_t>(bits)};
}

double FromTargetDouble(TargetDouble value) {
    uint64_t bits = uint64_t{value.nHigh} << 32 | value.nLow;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

double NvGetF64(uint32_t offset) {
    if (offset > kNVRamSize - 8) return 0;
    return FromTargetDouble({NvGetU32(offset), NvGetU32(offset + 4)});
}

void NvSetF64(uint32_t offset, double value) {
    if (offset > kNVRamSize - 8) return;
    TargetDouble t = ToTargetDouble(value);
    NvSetU32(offset, t.nHigh);
    NvSetU32(offset + 4, t.nLow);
}

static void NvCount(uint32_t offset) { NvSetU32(offset, NvGetU32(offset) + 1); }

// ---- sectors and slots ---------------------------------------------------------

static uint32_t SectorBase(int32_t sector) { return static_cast<uint32_t>(sector) * kFlashSectorBytes; }

// Slot addresses are computed, never taken from the stored header words: a
// damaged word must not send a read or a write elsewhere.
static uint32_t SlotAddress(int32_t sector, int32_t slot) {
    return SectorBase(sector) + kNvSlotFirst + static_cast<uint32_t>(slot) * kNvSlotBytes;
}

static uint32_t FlashWord(uint32_t address) {
    const uint8_t* p = FlashPtr(address, 4);
    if (!p) return kErasedWord;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The current slot (next 0) or the next one (next 1) of a slot bitmap; -1
// for a bitmap that is not a run of cleared low bits, or a full sector.
static int32_t NvSlotFind(uint32_t bitmap, int32_t next) {
    uint32_t cleared = ~bitmap;
    if (bitmap == 0 || (cleared & (cleared + 1)) != 0) return -1;
    int32_t k = __builtin_popcount(cleared);
    if (next == 0) return k;
    return k == 31 ? -1 : k + 1;
}

// The bitmap with bits 0..index-1 cleared (mode 0) or 0..index (mode 1).
static uint32_t NvSlotBitmap(int32_t index, int32_t mode) {
    if (index < 0 || index > 31) return 0;
    int32_t bits = mode == 0 ? index : index + 1;
    if (bits >= 32) return 0;
    return ~((1u << bits) - 1);
}

static void NvSectorPrepare(int32_t sector) {
    uint32_t base = SectorBase(sector);
    if (FlashWord(base + 4) == base + kNvSlotFirst) return;
    int32_t r = FlashErase(sector);
    if (r < 0) DebugPrintf("ERROR:  flasherase(%d) returned %d\n", static_cast<int>(sector), static_cast<int>(r));
    uint32_t header[kNvHeaderBytes / 4];
    header[0] = kErasedWord;
    for (uint32_t i = 0; i < kNvSlots; ++i) header[1 + i] = base + kNvSlotFirst + i * kNvSlotBytes;
    r = FlashWrite(base, header, sizeof header);
    if (r < 0) DebugPrintf("ERROR:  flashwrite(%d) returned %d\n", static_cast<int>(sector), static_cast<int>(r));
}

static void NvSectorReset(int32_t sector) {
    NvCount(kNvEraseCount);
    int32_t r = FlashErase(sector);
    if (r < 0) {
        DebugPrintf("ERROR:  flasherase(%d) returned %d\n", static_cast<int>(sector), static_cast<int>(r));
        NvCount(kNvErrorCount);
    }
    NvSectorPrepare(sector);
}

static bool CopyGood(const uint8_t* copy) {
    uint32_t stored = uint32_t{copy[kNvCrc]} | uint32_t{copy[kNvCrc + 1]} << 8 | uint32_t{copy[kNvCrc + 2]} << 16 |
                      uint32_t{copy[kNvCrc + 3]} << 24;
    return Crc32(copy, kNvCrcBytes) == stored;
}

static uint32_t CopyWord(const uint8_t* copy, uint32_t offset) {
    return uint32_t{copy[offset]} | uint32_t{copy[offset + 1]} << 8 | uint32_t{copy[offset + 2]} << 16 |
           uint32_t{copy[offset + 3]} << 24;
}

// Reads one sector's current copy; false when its bitmap was bad (the sector is then reset).
static bool LoadSector(int32_t sector, uint8_t* copy) {
    NvSectorPrepare(sector);
    int32_t slot = NvSlotFind(FlashWord(SectorBase(sector)), 0);
    bool ok = slot >= 0;
    if (!ok) {
        NvCount(kNvErrorCount);
        NvSectorReset(sector);
        DebugPrintf("ERROR: ReadNVRam S%d Bad Index: 0x%08X\n", static_cast<int>(sector), static_cast<unsigned>(slot));
        slot = 0;
    }
    const uint8_t* p = FlashPtr(SlotAddress(sector, slot), kNVRamSize);
    if (p) std::memcpy(copy, p, kNVRamSize);
    return ok;
}

// Whole gallons, rounded half away from zero, of a total in the image.
static int RoundedGallons(uint32_t offset) {
    float f = static_cast<float>(NvGetF64(offset));
    return static_cast<int>(f >= 0 ? f + 0.5f : f - 0.5f);
}

void ReadNVRam() {
    static uint8_t a[kNVRamSize], b[kNVRamSize];
    std::memset(G_NVRam, 0, sizeof G_NVRam);
    std::memset(a, 0, sizeof a);
    std::memset(b, 0, sizeof b);
    bool error = !LoadSector(kNvSectorA, a);
    error = !LoadSector(kNvSectorB, b) || error;
    bool goodA = CopyGood(a), goodB = CopyGood(b);
    if (goodA && goodB) {
        bool takeA = CopyWord(a, kNvWriteCount) > CopyWord(b, kNvWriteCount);
        std::memcpy(G_NVRam, takeA ? a : b, kNVRamSize);
        G_NVRamSector = takeA ? kNvSectorA : kNvSectorB;
    } else if (goodA || goodB) {
        std::memcpy(G_NVRam, goodA ? a : b, kNVRamSize);
        G_NVRamSector = goodA ? kNvSectorA : kNvSectorB;
    } else {
        DebugPrintf("ERROR: ReadNVRam() Bad CRCs, Restoring from file\n");
        // The restore writes both sectors, starting with the other of 63.
        G_NVRamSector = kNvSectorB;
        RestoreNVRamFile();
        G_NVRamSector = kNvSectorB;
    }
    DebugPrintf("Reading NVRAM_%d writes:%d, errors:%d\n", static_cast<int>(G_NVRamSector),
                static_cast<int>(NvGetU32(kNvWriteCount)), static_cast<int>(NvGetU32(kNvErrorCount)));
    if (error) NvCount(kNvErrorCount);
    DebugPrintf("Init Fuel Comp: galsRem:%d, galsUsed:%d\n", RoundedGallons(kNvGalsRem), RoundedGallons(kNvGalsUsed));
    if (NvGetU32(kNvAdminUser) == 0) NvSetU32(kNvSerialDebugOn, 0);
    if (G_NVRam[kNvLabel122] > 1) G_NVRam[kNvLabel122] = 0;
}

static void StoreCrc() { NvSetU32(kNvCrc, Crc32(G_NVRam, kNvCrcBytes)); }

static bool Unchanged(int32_t cur) {
    if (cur != kNvSectorA && cur != kNvSectorB) return false;
    int32_t slot = NvSlotFind(FlashWord(SectorBase(cur)), 0);
    if (slot < 0) return false;   // a bad bitmap: no copy to compare with
    return FlashWord(SlotAddress(cur, slot) + kNvCrc) == NvGetU32(kNvCrc);
}

static void LogWriteError(int32_t sector, int32_t r) {
    DebugPrintf("ERROR:  flashwrite(%d) returned %d\n", static_cast<int>(sector), static_cast<int>(r));
    NvCount(kNvErrorCount);
}

int32_t WriteNVRam(int32_t force) {
    int32_t cur = static_cast<int32_t>(G_NVRamSector);
    int32_t other = cur == kNvSectorA ? kNvSectorB : kNvSectorA;
    StoreCrc();
    if (force != 1 && Unchanged(cur)) return 0;
    int32_t n = NvSlotFind(FlashWord(SectorBase(other)), 1);
    bool erased = n >= 0 && FlashWord(SlotAddress(other, n)) == kErasedWord;
    if (n >= 0 && !erased) {
        NvCount(kNvErrorCount);
        DebugPrintf("ERROR: WriteNVRam S%d Bad Index:0x%08X !=0xFFFFFFFF\n", static_cast<int>(other),
                    static_cast<unsigned>(n));
    }
    if (!erased) {
        NvSectorReset(other);
        n = 0;
    }
    NvSetU32(kNvWriteStamp, ReadOsTimer());
    NvCount(kNvWriteCount);
    StoreCrc();
    int32_t r = FlashWrite(SlotAddress(other, n), G_NVRam, kNVRamSize);
    if (r < 0) {
        LogWriteError(other, r);
        NvSectorReset(other);
        n = 0;
        StoreCrc();   // the counters changed: the retried copy must still be good
        r = FlashWrite(SlotAddress(other, n), G_NVRam, kNVRamSize);
        if (r < 0) LogWriteError(other, r);
    }
    G_NVRamSector = static_cast<uint32_t>(other);
    uint32_t bitmap = NvSlotBitmap(n, 0);
    r = FlashWrite(SectorBase(other), &bitmap, 4);
    if (r < 0) LogWriteError(other, r);
    return r;
}
