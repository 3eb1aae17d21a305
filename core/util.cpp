#include "core/util.h"

#include <cctype>
#include <cstring>

#include "platform/hw.h"

// Out-of-range indices (a record written by someone else) restart at slot 0
// rather than reach outside the ring.
static int32_t CheckedSlot(int32_t i) {
    return (i >= 0 && i < kAvgSlots) ? i : 0;
}

static int32_t NextSlot(int32_t i) {
    return (i + 1 < kAvgSlots) ? i + 1 : 0;
}

// i32 arithmetic that wraps as on the target instead of overflowing.
static int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

static int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Exact half-away-from-zero rounding of a float; out-of-range results saturate
// as the target's float-to-integer conversion does.
static int32_t RoundHalfAway(float q) {
    if (q >= 2147483648.0f) return INT32_MAX;
    if (q < -2147483648.0f) return INT32_MIN;
    const int32_t whole = static_cast<int32_t>(q);
    const float   frac  = q - static_cast<float>(whole);   // exact: a float's own fraction bits
    if (frac >= 0.5f) return whole + 1;
    if (frac <= -0.5f) return whole - 1;
    return whole;
}

void AvgInit(RunningAvg* avg, int32_t initial, int32_t n) {
    if (n < 0) n = 0;
    if (n > kAvgSlots) n = kAvgSlots;
    std::memset(avg, 0, sizeof(*avg));
    avg->nMean = initial;
    for (int32_t i = 0; i < n; ++i) avg->nSlot[i] = initial;
    avg->nHead = (n < kAvgSlots) ? n : 0;   // a full window starts over at slot 0
    avg->nTail = 0;
    avg->nSum  = WrapMul(n, initial);
    avg->nLen  = n;
}

int32_t AvgAdd(RunningAvg* avg, int32_t sample) {
    const int32_t head = CheckedSlot(avg->nHead);
    const int32_t tail = CheckedSlot(avg->nTail);
    // The oldest sample leaves the sum before the new one is stored: with a
    // 500-sample window head and tail are the same slot.
    const int32_t oldest = avg->nSlot[tail];
    avg->nSlot[head] = sample;
    avg->nSum  = WrapAdd(avg->nSum, static_cast<int32_t>(static_cast<uint32_t>(sample) -
                                                         static_cast<uint32_t>(oldest)));
    avg->nHead = NextSlot(head);
    avg->nTail = NextSlot(tail);
    if (avg->nLen <= 0 || avg->nLen > kAvgSlots) {
        avg->nMean = sample;
    } else {
        // Single precision on purpose: stored means depend on its rounding.
        const float q = static_cast<float>(avg->nSum) / static_cast<float>(avg->nLen);
        avg->nMean = RoundHalfAway(q);
    }
    return avg->nMean;
}

static int32_t TrendOutput(int64_t rise, int64_t threshold) {
    if (rise > 0 && rise > threshold) return 1;
    if (rise >= 0 || rise >= -threshold) return 0;
    return -1;
}

int32_t TrendStep(TrendDetector* trend, int32_t sample) {
    if (trend->nHistLen < 2) trend->nHistLen = 2;
    if (trend->nHistLen > kTrendHistory) trend->nHistLen = kTrendHistory;
    const int32_t len = trend->nHistLen;
    for (int32_t i = 0; i + 1 < len; ++i) trend->nHist[i] = trend->nHist[i + 1];
    trend->nHist[len - 1] = sample;
    // The consecutive differences add up to last minus first; 64 bits keep
    // its sign right for any pair of samples.
    const int64_t rise = static_cast<int64_t>(trend->nHist[len - 1]) - trend->nHist[0];
    trend->nOutput = TrendOutput(rise, trend->nThreshold);
    return trend->nOutput;
}

uint32_t StepsBetween(uint32_t from, uint32_t to, uint32_t n) {
    if (from == to) return 0;
    if (from >= n || to >= n) return n;   // never reached: the count stops at n
    return (to > from) ? to - from : n - from + to;
}

static constexpr uint32_t kCrcPoly = 0xEDB88320u;

static constexpr uint32_t CrcTableEntry(uint32_t i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ kCrcPoly : c >> 1;
    return c;
}

struct CrcTable {
    uint32_t entry[256];
};

static constexpr CrcTable MakeCrcTable() {
    CrcTable t{};
    for (uint32_t i = 0; i < 256; ++i) t.entry[i] = CrcTableEntry(i);
    return t;
}

static constexpr CrcTable kCrcTable = MakeCrcTable();
static_assert(kCrcTable.entry[1] == 0x77073096u && kCrcTable.entry[255] == 0x2D02EF8Du);

uint32_t Crc32(const void* buf, uint32_t len) {
    if (buf == nullptr) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(buf);
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < len; ++i) crc = kCrcTable.entry[(crc ^ p[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

// isspace of a plain char is undefined for bytes above 127.
static bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

void StrTrimLeft(char* s) {
    if (s == nullptr) return;
    size_t skip = 0;
    while (IsSpace(s[skip])) ++skip;
    if (skip == 0) return;
    // Source and destination overlap.
    std::memmove(s, s + skip, std::strlen(s + skip) + 1);
}

void StrTrimRight(char* s) {
    if (s == nullptr) return;
    size_t len = std::strlen(s);
    while (len > 0 && IsSpace(s[len - 1])) s[--len] = '\0';
}

// Nothing to do on the target; on the host board time passes here.
void IdleHook() {
    HwIdle();
}
