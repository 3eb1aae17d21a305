#include "platform/display.h"

#include <cstdio>
#include <cstring>
#include "platform/board.h"

namespace platform {

constexpr uint32_t kControl = 0x14, kStatus = 0x3A, kStartLow = 0x42, kStartHigh = 0x44;
constexpr uint32_t kEngineCtl = 0x100, kEngineOp = 0x102, kSrcLow = 0x104, kDstLow = 0x108;
constexpr uint32_t kStride = 0x10C, kWidth = 0x110, kHeight = 0x112, kBgIndex = 0x114, kFgIndex = 0x118;
constexpr uint32_t kPalIndex = 0x1E2, kPalData = 0x1E4;
constexpr uint32_t kBusyBit = 0x80;
constexpr uint64_t kSetupTicks = 8;     // register decode before the first pixel

bool Display::ReadyToFlip() const { return (board_.Now() % kFrameTicks) < kBlankTicks; }

bool Display::Busy() const { return expandWords_ > 0 || board_.Now() < busyUntil_; }

void Display::Error(const char* what) {
    // The first few are worth seeing; after that only the count grows.
    if (errors_ < 8) std::fprintf(stderr, "display: %s\n", what);
    ++errors_;
}

uint32_t Display::Read(uint32_t offset, int) {
    if (offset == kDataPortOffset) return 0;      // the driver's closing read
    if (offset / 2 >= 0x100) return 0;
    if (offset == kStatus) return (Reg(kStatus) & ~0x80u) | (ReadyToFlip() ? 0x80u : 0u);
    if (offset == kEngineCtl) return (Reg(kEngineCtl) & ~0xC0u) | (Busy() ? kBusyBit : 0u);
    return Reg(offset);
}

void Display::Write(uint32_t offset, uint32_t value, int) {
    if (offset == kDataPortOffset) {
        if (expandWords_ == 0) return Error("data port written with no colour expansion running");
        ExpandWord(static_cast<uint16_t>(value));
        return;
    }
    if (offset / 2 >= 0x100) return;
    uint16_t before = Reg(offset);
    regs_[offset / 2] = static_cast<uint16_t>(value);
    if (offset == kControl && before == 16 && value == 17) {
        shownStart_ = Reg32(kStartLow);
        ++flips_;
    } else if (offset == kStartHigh && Reg(kControl) != 16) {
        shownStart_ = Reg32(kStartLow);
    } else if (offset == kEngineCtl && before == 0 && value == 0x80) {
        Start();
    } else if (offset == kPalIndex) {
        paletteComponent_ = 0;
    } else if (offset == kPalData) {
        PaletteWrite(static_cast<uint16_t>(value));
    }
}

void Display::PaletteWrite(uint16_t value) {
    uint8_t index = static_cast<uint8_t>(Reg(kPalIndex));
    palette_[index][paletteComponent_] = static_cast<uint8_t>((value >> 4) & 15);
    // After blue the controller moves to the next entry, as its counter wraps.
    if (++paletteComponent_ == 3) {
        paletteComponent_ = 0;
        regs_[kPalIndex / 2] = static_cast<uint16_t>((index + 1) & 255);
    }
}

uint32_t Display::PaletteRgb(uint8_t index) const {
    const uint8_t* p = palette_[index];
    return (p[0] * 17u) | (p[1] * 17u << 8) | (p[2] * 17u << 16);
}

void Display::ShownRgb(uint8_t* rgb) const {
    uint32_t start = ShownStartBytes();
    for (uint32_t i = 0; i < kFrameWidth * kShownLines; ++i) {
        uint32_t a = start + i;
        uint8_t index = a < kFrameBytes ? memory_[a] : 0;
        const uint8_t* p = palette_[index];
        rgb[3 * i + 0] = static_cast<uint8_t>(p[0] * 17);
        rgb[3 * i + 1] = static_cast<uint8_t>(p[1] * 17);
        rgb[3 * i + 2] = static_cast<uint8_t>(p[2] * 17);
    }
}

uint32_t Display::Pitch() const {
    uint32_t words = Reg(kStride);
    return words ? words * 2 : kFrameWidth;
}

void Display::Start() {
    ++operations_;
    if (Busy()) Error("operation started while the engine is busy");
    uint16_t op = Reg(kEngineOp);
    uint32_t w = (Reg(kWidth) & 1023u) + 1, h = (Reg(kHeight) & 1023u) + 1;
    uint64_t pixels = static_cast<uint64_t>(w) * h;
    expandWords_ = 0;
    if (op == kOpFill || op == kOpXorFill) {
        Fill(op == kOpXorFill);
        busyUntil_ = board_.Now() + kSetupTicks + pixels / kFillPixelsPerTick;
    } else if (op == kOpCopy || op == kOpCopyTrans) {
        Copy(op == kOpCopyTrans);
        busyUntil_ = board_.Now() + kSetupTicks + pixels / kCopyPixelsPerTick;
    } else if ((op & 0xFFF8) == kOpExpand || (op & 0xFFF8) == kOpExpandTrans) {
        // Busy from now until the last expected word has arrived.
        expandSkip_ = 7 - (op & 7);
        expandRow_ = expandCol_ = expandBit_ = 0;
        expandWords_ = h * ((expandSkip_ + w + 15) / 16);
        busyUntil_ = board_.Now();
    } else {
        Error("unknown engine operation");
    }
}

void Display::Fill(bool xorFill) {
    uint32_t dst = Reg32(kDstLow), pitch = Pitch();
    uint32_t w = (Reg(kWidth) & 1023u) + 1, h = (Reg(kHeight) & 1023u) + 1;
    uint8_t fg = static_cast<uint8_t>(Reg(kFgIndex));
    bool clipped = false;
    for (uint32_t r = 0; r < h; ++r) {
        uint64_t a = dst + static_cast<uint64_t>(r) * pitch;
        if (a >= kFrameBytes) { clipped = true; break; }
        uint32_t n = w;
        if (a + n > kFrameBytes) { n = static_cast<uint32_t>(kFrameBytes - a); clipped = true; }
        uint8_t* p = memory_ + a;
        if (!xorFill) std::memset(p, fg, n);
        else for (uint32_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(255 - p[i]);
    }
    if (clipped) Error("fill reaches past frame memory");
}

void Display::Copy(bool transparent) {
    uint32_t src = Reg32(kSrcLow), dst = Reg32(kDstLow), pitch = Pitch();
    uint32_t w = (Reg(kWidth) & 1023u) + 1, h = (Reg(kHeight) & 1023u) + 1;
    // Rows in the order that keeps an overlapping copy correct (memmove).
    bool up = dst > src;
    bool clipped = false;
    for (uint32_t k = 0; k < h; ++k) {
        uint32_t r = up ? h - 1 - k : k;
        uint64_t s = src + static_cast<uint64_t>(r) * pitch, d = dst + static_cast<uint64_t>(r) * pitch;
        if (s >= kFrameBytes || d >= kFrameBytes) { clipped = true; continue; }
        uint64_t n = w;
        if (s + n > kFrameBytes) { n = kFrameBytes - s; clipped = true; }
        if (d + n > kFrameBytes) { n = kFrameBytes - d; clipped = true; }
        if (!transparent) {
            std::memmove(memory_ + d, memory_ + s, n);
        } else if (d > s) {
            for (uint64_t i = n; i-- > 0;)
                if (memory_[s + i] != kTransparentKey) memory_[d + i] = memory_[s + i];
        } else {
            for (uint64_t i = 0; i < n; ++i)
                if (memory_[s + i] != kTransparentKey) memory_[d + i] = memory_[s + i];
        }
    }
    if (clipped) Error("copy reaches past frame memory");
}

void Display::ExpandPixel(bool set) {
    uint32_t w = (Reg(kWidth) & 1023u) + 1;
    bool transparent = (Reg(kEngineOp) & 0xFF00) == kOpExpandTrans;
    if (expandCol_ < w && (set || !transparent)) {
        uint64_t a = Reg32(kDstLow) + static_cast<uint64_t>(expandRow_) * Pitch() + expandCol_;
        if (a < kFrameBytes) memory_[a] = static_cast<uint8_t>(Reg(set ? kFgIndex : kBgIndex));
        else Error("colour expansion reaches past frame memory");
    }
    ++expandCol_;
}

void Display::ExpandWord(uint16_t word) {
    // Low byte first (the words are little-endian reads of byte rows), most
    // significant bit first within each byte; padding past the row is dropped.
    for (int byte = 0; byte < 2; ++byte) {
        uint8_t b = static_cast<uint8_t>(word >> (8 * byte));
        for (int bit = 7; bit >= 0; --bit, ++expandBit_) {
            if (expandBit_ < expandSkip_) continue;
            ExpandPixel((b >> bit) & 1);
        }
    }
    uint32_t w = (Reg(kWidth) & 1023u) + 1;
    if (expandBit_ >= expandSkip_ + w) {     // each row starts in a fresh word
        ++expandRow_;
        expandCol_ = expandBit_ = 0;
    }
    --expandWords_;
}

void Display::Reset() {
    for (uint16_t& r : regs_) r = 0;
    shownStart_ = 0;
    flips_ = 0;
    busyUntil_ = 0;
    expandWords_ = 0;
    paletteComponent_ = 0;
    errors_ = operations_ = 0;
    // Frame memory and palette keep what the monitor left in them.
}

}  // namespace platform
