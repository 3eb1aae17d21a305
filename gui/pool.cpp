#include "gui/pool.h"

#include <cstring>

GUI_PoolBlock GUI_PoolBlocks[kPoolEntries];
GUI_PoolStats GUI_PoolStat;

alignas(16) static uint8_t s_pool[kPoolBytes];
static int  s_hint = 0;           // lowest handle that may be free
static bool s_initialised = false;

static void PoolInit() {
    GUI_PoolStat = {0, kPoolEntries - 1, kPoolEntries - 1, 0, kPoolBytes, kPoolBytes};
    GUI_PoolBlocks[0] = {0, kPoolAlign, 0, 0};
    s_initialised = true;
}

static uint32_t End(int h) { return GUI_PoolBlocks[h].nOffset + GUI_PoolBlocks[h].nSize; }

static bool Valid(int16_t h) { return h > 0 && h < kPoolEntries && GUI_PoolBlocks[h].nSize != 0; }

static int FindFreeEntry() {
    for (int h = s_hint; h < kPoolEntries; ++h) {
        if (GUI_PoolBlocks[h].nSize == 0) {
            s_hint = h;
            return h;
        }
    }
    return 0;
}

// The block after which a gap of `size` bytes lies, or -1.
static int FindGap(uint32_t size) {
    int b = 0;
    for (;;) {
        int n = GUI_PoolBlocks[b].hNext;
        if (n == 0) return kPoolBytes - End(b) >= size ? b : -1;
        if (GUI_PoolBlocks[n].nOffset - End(b) >= size) return b;
        b = n;
    }
}

// Slides blocks down until a gap of `size` opens; -1 when even the space
// after the last block is too small.
static int Compact(uint32_t size) {
    int b = 0;
    for (int n = GUI_PoolBlocks[0].hNext; n; b = n, n = GUI_PoolBlocks[n].hNext) {
        if (GUI_PoolBlocks[n].nOffset - End(b) >= size) return b;
        std::memmove(s_pool + End(b), s_pool + GUI_PoolBlocks[n].nOffset, GUI_PoolBlocks[n].nSize);
        GUI_PoolBlocks[n].nOffset = End(b);
    }
    return kPoolBytes - End(b) >= size ? b : -1;
}

int16_t GUI_PoolAlloc(uint32_t size) {
    if (!s_initialised) PoolInit();
    if (size > kPoolBytes) return 0;
    size = (size + kPoolAlign - 1) & ~(kPoolAlign - 1);
    if (GUI_PoolStat.nFreeBytes < size) return 0;
    int h = FindFreeEntry();
    if (h == 0) return 0;
    int b = FindGap(size);
    if (b < 0) b = Compact(size);
    if (b < 0) return 0;
    int next = GUI_PoolBlocks[b].hNext;
    GUI_PoolBlocks[h] = {End(b), size, static_cast<uint16_t>(next), static_cast<uint16_t>(b)};
    if (next) GUI_PoolBlocks[next].hPrev = static_cast<uint16_t>(h);
    GUI_PoolBlocks[b].hNext = static_cast<uint16_t>(h);
    GUI_PoolStats& s = GUI_PoolStat;
    ++s.nUsedBlocks;
    if (--s.nFreeEntries < s.nFreeEntriesMin) s.nFreeEntriesMin = s.nFreeEntries;
    s.nUsedBytes += size;
    s.nFreeBytes -= size;
    if (s.nFreeBytes < s.nFreeBytesMin) s.nFreeBytesMin = s.nFreeBytes;
    return static_cast<int16_t>(h);
}

int16_t GUI_PoolAllocNz(uint32_t size) { return size == 0 ? 0 : GUI_PoolAlloc(size); }

void* GUI_PoolLock(int16_t handle) { return Valid(handle) ? s_pool + GUI_PoolBlocks[handle].nOffset : nullptr; }

uint32_t GUI_PoolGetSize(int16_t handle) { return Valid(handle) ? GUI_PoolBlocks[handle].nSize : 0; }

void GUI_PoolFree(int16_t handle) {
    if (!Valid(handle)) return;
    GUI_PoolBlock& e = GUI_PoolBlocks[handle];
    GUI_PoolStat.nFreeBytes += e.nSize;
    GUI_PoolStat.nUsedBytes -= e.nSize;
    e.nSize = 0;
    if (handle < s_hint) s_hint = handle;
    GUI_PoolBlocks[e.hPrev].hNext = e.hNext;
    if (e.hNext) GUI_PoolBlocks[e.hNext].hPrev = e.hPrev;
    ++GUI_PoolStat.nFreeEntries;
    --GUI_PoolStat.nUsedBlocks;
}

void GUI_PoolFreePtr(int16_t* handle) {
    if (!handle) return;
    GUI_PoolFree(*handle);
    *handle = 0;
}

void GUI_PoolFreeArray(int16_t* handles, int n) {
    for (int i = 0; i < n; ++i) GUI_PoolFreePtr(&handles[i]);
}

uint32_t GUI_PoolLargestGap() {
    if (!s_initialised) PoolInit();
    uint32_t largest = 0;
    int b = 0;
    for (int n = GUI_PoolBlocks[0].hNext; n; b = n, n = GUI_PoolBlocks[n].hNext) {
        uint32_t gap = GUI_PoolBlocks[n].nOffset - End(b);
        if (gap > largest) largest = gap;
    }
    uint32_t tail = kPoolBytes - End(b);
    return tail > largest ? tail : largest;
}
