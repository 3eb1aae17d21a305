#include "platform/rammap.h"

#include <cstddef>

#include "platform/board.h"
#include "platform/dma.h"

// The linker's marks of the program image: its first byte and the end of
// its zeroed records.
extern "C" const char __executable_start[];
extern "C" const char _end[];

// The offset of `p` from `base` when it lies in the `bytes` that follow.
static bool Within(const void* p, const uint8_t* base, uint32_t bytes, uint32_t* offset) {
    if (base == nullptr) return false;
    const uintptr_t at = reinterpret_cast<uintptr_t>(p);
    const uintptr_t from = reinterpret_cast<uintptr_t>(base);
    if (at < from || at - from >= bytes) return false;
    *offset = static_cast<uint32_t>(at - from);
    return true;
}

uint32_t HwRamAddress(const void* p) {
    uint32_t offset = 0;
    const auto* image = reinterpret_cast<const uint8_t*>(__executable_start);
    const uintptr_t imageBytes = reinterpret_cast<uintptr_t>(_end) - reinterpret_cast<uintptr_t>(image);
    // A sanitizer build's image outgrows the board's RAM; its addresses fold
    // into the window, still the same at every run.
    if (imageBytes <= UINT32_MAX && Within(p, image, static_cast<uint32_t>(imageBytes), &offset))
        return kAppImageBase + offset % kAppImageBytes;
    platform::Board* board = platform::Board::Current();
    if (board == nullptr) return 0;
    // The board's memories, each at its bus address.
    constexpr uint32_t kFrameBase = 0x0C200000;
    const struct { uint32_t base, bytes; } memories[] = {
        {platform::kDmaRamBase, platform::kDmaRamBytes},
        {kFrameBase, platform::kFrameBytes},
        {0, platform::kFlashBytes},
    };
    for (const auto& m : memories)
        if (Within(p, board->Memory(m.base, m.bytes), m.bytes, &offset)) return m.base + offset;
    return 0;
}
