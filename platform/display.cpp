#include "platform/display.h"

#include <array>
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

uint64_t Display::NextEvent(uint64_t now) const { return busyUntil_ > now ? busyUntil_ : UINT64_MAX; }

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
    // The palette expanded once, then one lookup a pixel.
    uint8_t shown[256][3];
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c) shown[i][c] = static_cast<uint8_t>(palette_[i][c] * 17);
    const uint32_t start = ShownStartBytes();
    for (uint32_t i = 0; i < kFrameWidth * kShownLines; ++i) {
        const uint32_t a = start + i;
        std::memcpy(rgb + 3 * i, shown[a < kFrameBytes ? memory_[a] : 0], 3);
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
        board_.Schedule(busyUntil_);
    } else if (op == kOpCopy || op == kOpCopyTrans) {
        Copy(op == kOpCopyTrans);
        busyUntil_ = board_.Now() + kSetupTicks + pixels / kCopyPixelsPerTick;
        board_.Schedule(busyUntil_);
    } else if ((op & 0xFFF8) == kOpExpand || (op & 0xFFF8) == kOpExpandTrans) {
        StartExpansion(op, w, h);
    } else {
        Error("unknown engine operation");
    }
}

// Busy from now until the last expected word has arrived. The engine takes
// its destination, pitch and colours as the operation starts.
void Display::StartExpansion(uint16_t op, uint32_t w, uint32_t h) {
    expandSkip_ = 7 - (op & 7u);
    expandWidth_ = w;
    expandBit_ = 0;
    expandWords_ = h * ((expandSkip_ + w + 15) / 16);
    expandRowAt_ = Reg32(kDstLow);
    expandPitch_ = Pitch();
    expandFg_ = 0x0101010101010101ull * static_cast<uint8_t>(Reg(kFgIndex));
    expandBg_ = 0x0101010101010101ull * static_cast<uint8_t>(Reg(kBgIndex));
    expandTransparent_ = (op & 0xFF00) == kOpExpandTrans;
    busyUntil_ = board_.Now();
}

// Rows lie back to back when the pitch is the width: then a block is one run.
void Display::Fill(bool xorFill) {
    const uint32_t dst = Reg32(kDstLow), pitch = Pitch();
    const uint32_t w = (Reg(kWidth) & 1023u) + 1, h = (Reg(kHeight) & 1023u) + 1;
    const uint8_t fg = static_cast<uint8_t>(Reg(kFgIndex));
    const uint32_t runs = (pitch == w) ? 1 : h;
    const uint64_t run = (pitch == w) ? uint64_t{w} * h : w;
    bool clipped = false;
    for (uint32_t r = 0; r < runs; ++r) {
        const uint64_t a = dst + uint64_t{r} * pitch;
        if (a >= kFrameBytes) { clipped = true; break; }
        uint64_t n = run;
        if (a + n > kFrameBytes) { n = kFrameBytes - a; clipped = true; }
        uint8_t* p = memory_ + a;
        if (!xorFill) std::memset(p, fg, n);
        else for (uint64_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(~p[i]);   // 255 - index
    }
    if (clipped) Error("fill reaches past frame memory");
}

// Copies n bytes between areas apart, leaving the destination where the
// source holds the key: eight at a time, a byte mask marking the key bytes.
static void CopySkippingKey(const uint8_t* from, uint8_t* to, uint64_t n) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kOnes = 0x0101010101010101ull;
    constexpr uint64_t kKeys = kOnes * kTransparentKey;
    uint64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t a, b;
        std::memcpy(&a, from + i, 8);
        std::memcpy(&b, to + i, 8);
        const uint64_t y = a ^ kKeys;                        // zero bytes: key
        const uint64_t nonzero = ((y & kLow7) + kLow7) | y;   // high bit set in non-zero bytes
        const uint64_t key = ((~nonzero & ~kLow7) >> 7) * 0xFF;
        const uint64_t r = (b & key) | (a & ~key);
        std::memcpy(to + i, &r, 8);
    }
    for (; i < n; ++i)
        if (from[i] != kTransparentKey) to[i] = from[i];
}

void Display::Copy(bool transparent) {
    const uint32_t src = Reg32(kSrcLow), dst = Reg32(kDstLow), pitch = Pitch();
    const uint32_t w = (Reg(kWidth) & 1023u) + 1, h = (Reg(kHeight) & 1023u) + 1;
    const uint32_t runs = (pitch == w) ? 1 : h;
    const uint64_t run = (pitch == w) ? uint64_t{w} * h : w;
    // Runs in the order that keeps an overlapping copy correct (memmove).
    const bool up = dst > src;
    bool clipped = false;
    for (uint32_t k = 0; k < runs; ++k) {
        const uint32_t r = up ? runs - 1 - k : k;
        const uint64_t s = src + uint64_t{r} * pitch, d = dst + uint64_t{r} * pitch;
        if (s >= kFrameBytes || d >= kFrameBytes) { clipped = true; continue; }
        uint64_t n = run;
        if (s + n > kFrameBytes) { n = kFrameBytes - s; clipped = true; }
        if (d + n > kFrameBytes) { n = kFrameBytes - d; clipped = true; }
        if (!transparent) {
            std::memmove(memory_ + d, memory_ + s, n);
        } else if (d >= s + n || s >= d + n) {
            CopySkippingKey(memory_ + s, memory_ + d, n);
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

// Each data byte as eight pixel masks: byte i of the mask is 0xFF when bit
// 7 - i is set (the most significant bit is the first pixel).
static constexpr std::array<uint64_t, 256> ByteMasks() {
    std::array<uint64_t, 256> t{};
    for (uint32_t b = 0; b < 256; ++b)
        for (uint32_t i = 0; i < 8; ++i)
            if ((b >> (7 - i)) & 1) t[b] |= uint64_t{0xFF} << (8 * i);
    return t;
}
static constexpr std::array<uint64_t, 256> kByteMasks = ByteMasks();

// n (1..8) pixels of the current row from column `col`; byte i of `set`
// says whether pixel i takes the foreground.
inline void Display::ExpandPixels(uint32_t col, uint64_t set, uint32_t n) {
    const uint64_t a = expandRowAt_ + col;
    if (a + 8 > kFrameBytes) [[unlikely]] return ExpandPixelsAtEnd(a, set, n);
    // Eight bytes at a time; those past the n pixels are written back unchanged.
    const uint64_t span = n >= 8 ? ~0ull : (1ull << (8 * n)) - 1;
    const uint64_t paint = expandTransparent_ ? (set & span) : span;
    const uint64_t colour = (expandFg_ & set) | (expandBg_ & ~set);
    uint64_t pixels;
    std::memcpy(&pixels, memory_ + a, 8);
    pixels = (pixels & ~paint) | (colour & paint);
    std::memcpy(memory_ + a, &pixels, 8);   // little-endian: byte i is pixel i
}

// Near the end of frame memory: the pixels that fit, one by one.
void Display::ExpandPixelsAtEnd(uint64_t a, uint64_t set, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i, set >>= 8) {
        if (expandTransparent_ && !(set & 0xFF)) continue;
        if (a + i < kFrameBytes) memory_[a + i] = static_cast<uint8_t>((set & 0xFF) ? expandFg_ : expandBg_);
        else Error("colour expansion reaches past frame memory");
    }
}

void Display::ExpandWord(uint16_t word) {
    // Low byte first (the words are little-endian reads of byte rows), most
    // significant bit first within each byte; bits before the first pixel
    // and padding past the row are dropped.
    const uint32_t first = expandSkip_, end = expandSkip_ + expandWidth_;
    for (uint32_t byte = 0; byte < 2; ++byte, expandBit_ += 8) {
        const uint32_t lo = expandBit_ < first ? first - expandBit_ : 0;
        const uint32_t hi = expandBit_ + 8 > end ? expandBit_ + 8 - end : 0;
        if (lo + hi >= 8) continue;
        const uint64_t set = kByteMasks[(word >> (8 * byte)) & 0xFF] >> (8 * lo);
        ExpandPixels(expandBit_ + lo - first, set, 8 - lo - hi);
    }
    if (expandBit_ >= end) {     // each row starts in a fresh word
        expandRowAt_ += expandPitch_;
        expandBit_ = 0;
    }
    --expandWords_;
}

void Display::Reset() {
    for (uint16_t& r : regs_) r = 0;
    shownStart_ = 0;
    flips_ = 0;
    busyUntil_ = 0;
    expandWords_ = 0;
    expandBit_ = 0;
    paletteComponent_ = 0;
    errors_ = operations_ = 0;
    // Frame memory and palette keep what the monitor left in them.
}

}  // namespace platform
