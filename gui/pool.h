// The graphics library's handle memory pool: a fixed 64 KB block whose
// objects are reached through 16-bit handles, which stay valid when the
// pool is compacted (pointers taken with GUI_PoolLock do not).
#pragma once
#include <cstdint>

constexpr uint32_t kPoolBytes   = 0x10000;
constexpr int      kPoolEntries = 2050;      // handle 0 is the list head
// Blocks hold records with host pointers (surface headers, masks): they are
// sized and aligned for the pointer of the machine the code runs on.
constexpr uint32_t kPoolAlign   = alignof(void*) > 4 ? alignof(void*) : 4;

struct GUI_PoolBlock {
    uint32_t nOffset;
    uint32_t nSize;      // multiple of kPoolAlign; 0 = entry free
    uint16_t hNext;
    uint16_t hPrev;
};

struct GUI_PoolStats {
    uint32_t nUsedBlocks;
    uint32_t nFreeEntries;
    uint32_t nFreeEntriesMin;
    uint32_t nUsedBytes;
    uint32_t nFreeBytes;
    uint32_t nFreeBytesMin;
};

extern GUI_PoolBlock GUI_PoolBlocks[kPoolEntries];
extern GUI_PoolStats GUI_PoolStat;

int16_t  GUI_PoolAlloc(uint32_t size);
int16_t  GUI_PoolAllocNz(uint32_t size);
void*    GUI_PoolLock(int16_t handle);
uint32_t GUI_PoolGetSize(int16_t handle);
void     GUI_PoolFree(int16_t handle);
void     GUI_PoolFreePtr(int16_t* handle);
void     GUI_PoolFreeArray(int16_t* handles, int n);
uint32_t GUI_PoolLargestGap();
