// External display controller: 16-bit registers at 0x0C000000, the 2D
// engine's data port at 0x0C100000 and frame memory at 0x0C200000
// (640 x 1638 bytes, 8 bits per pixel, 640 bytes per line).
//
// Registers (offsets from 0x0C000000):
//   0x014 control: 16 then 17 latches the display start (page flip)
//   0x03A status: bit 7 set during each vertical blank (ready to flip)
//   0x042 / 0x044 display start low / high, in 16-bit words (line x 320).
//         Written while control is not 16 (no flip bracket open), the
//         high half takes effect at once.
//   0x100 engine control: write 0 then 0x80 to start; read bit 7 busy,
//         bit 6 data FIFO full (never: the FIFO is unbounded)
//   0x102 operation: 0x0C00 solid fill, 0x0605 XOR fill (255 - index),
//         0x0800 + n colour expansion, 0x0900 + n transparent expansion
//         (n = 7 - offset of the first pixel), 0x020C copy, 0x0500
//         transparent copy (source pixels equal to kTransparentKey skipped)
//   0x104 / 0x106 source pixel address, 0x108 / 0x10A destination
//   0x10C stride in words, 0x110 width - 1, 0x112 height - 1 (10 bits)
//   0x114 background index, 0x118 foreground index
//   0x1E2 palette index (resets the R, G, B sequence), 0x1E4 palette data
//   0x100000 engine data port: expansion words, low byte first, most
//         significant bit first; each row starts in a fresh word
#pragma once
#include "platform/device.h"

namespace platform {

class Board;

constexpr uint32_t kFrameWidth  = 640;
constexpr uint32_t kFrameHeight = 1638;
constexpr uint32_t kFrameBytes  = kFrameWidth * kFrameHeight;
constexpr uint32_t kShownLines  = 480;
constexpr uint32_t kDataPortOffset = 0x100000;

// The transparent copy skips source pixels of this index. It is a palette
// entry the boot leaves unset, so no normal artwork uses it; a background
// that wants parts of the page to show through is drawn with it there.
constexpr uint8_t kTransparentKey = 127;

// Engine operations.
constexpr uint16_t kOpFill        = 0x0C00;
constexpr uint16_t kOpXorFill     = 0x0605;
constexpr uint16_t kOpExpand      = 0x0800;
constexpr uint16_t kOpExpandTrans = 0x0900;
constexpr uint16_t kOpCopy        = 0x020C;
constexpr uint16_t kOpCopyTrans   = 0x0500;

class Display final : public Device {
public:
    explicit Display(Board& board) : board_(board) {}
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    // The end of a fill or copy is the one event of its own: the busy bit drops.
    uint64_t NextEvent(uint64_t now) const override;

    // 60 Hz refresh; ready to flip during the vertical blank of each frame.
    static constexpr uint32_t kFrameTicks = 61440;
    static constexpr uint32_t kBlankTicks = 5530;      // 1.5 ms
    // Engine speed: pixels per OS-timer tick (about 236 Mpixel/s for fills).
    static constexpr uint32_t kFillPixelsPerTick = 64;
    static constexpr uint32_t kCopyPixelsPerTick = 32;
    bool ReadyToFlip() const;
    bool Busy() const;
    uint32_t ShownStartBytes() const { return shownStart_ * 2; }
    uint32_t Flips() const { return flips_; }
    uint8_t* Memory() { return memory_; }
    const uint8_t* Memory() const { return memory_; }
    // The colour shown for an index: each 4-bit level times 17, as 0x00BBGGRR.
    uint32_t PaletteRgb(uint8_t index) const;
    // The 480 shown lines through the palette, as R, G, B bytes (640 x 480 x 3);
    // made only when a window or a screenshot asks.
    void ShownRgb(uint8_t* rgb) const;
    // Misuse of the controller (bad operation, address out of frame memory,
    // data without an expansion): counted, never a crash.
    uint32_t Errors() const { return errors_; }
    uint32_t Operations() const { return operations_; }

private:
    uint16_t Reg(uint32_t offset) const { return regs_[offset / 2]; }
    uint32_t Reg32(uint32_t low) const { return Reg(low) | (static_cast<uint32_t>(Reg(low + 2)) << 16); }
    void Error(const char* what);
    void Start();
    void Fill(bool xorFill);
    void Copy(bool transparent);
    void StartExpansion(uint16_t op, uint32_t w, uint32_t h);
    void ExpandWord(uint16_t word);
    void ExpandPixels(uint32_t col, uint64_t set, uint32_t n);
    void ExpandPixelsAtEnd(uint64_t a, uint64_t set, uint32_t n);
    void PaletteWrite(uint16_t value);
    uint32_t Pitch() const;

    Board& board_;
    uint16_t regs_[0x100]{};
    uint32_t shownStart_ = 0;    // latched display start, 16-bit words
    uint32_t flips_ = 0;
    uint64_t busyUntil_ = 0;
    // Colour expansion in progress: words still expected, the operation's
    // registers as it started, and the pen (row, bit of the row's data).
    uint32_t expandWords_ = 0;
    uint32_t expandSkip_ = 0, expandWidth_ = 0, expandBit_ = 0;
    uint64_t expandRowAt_ = 0, expandPitch_ = 0;
    uint64_t expandFg_ = 0, expandBg_ = 0;   // the index in each of 8 bytes
    bool     expandTransparent_ = false;
    uint8_t  palette_[256][3]{};  // 4-bit levels
    uint32_t paletteComponent_ = 0;
    uint32_t errors_ = 0;
    uint32_t operations_ = 0;
    alignas(8) uint8_t memory_[kFrameBytes]{};
};

}  // namespace platform
