// Small shared routines: text and numbers at page positions, running average,
// trend detector, ring distance, CRC-32, white-space trimming and the
// busy-wait idle hook.
#pragma once
#include <cstdint>

constexpr int32_t kAvgSlots     = 500;   // ring size of a running average
constexpr int32_t kTrendHistory = 120;   // most samples a trend detector keeps

// Boxcar average over the last nLen samples; embedded whole in larger
// records (tank table, fuel computer), so its layout is fixed.
struct RunningAvg {
    int32_t nMean;              // last result
    int32_t nSum;               // i32: wraps like the target's, never widened
    int32_t nSlot[kAvgSlots];
    int32_t nHead;              // next slot written
    int32_t nTail;              // oldest slot still in the sum
    int32_t nLen;               // window length 1..500; 0 passes samples through
};
static_assert(sizeof(RunningAvg) == 2020);

struct TrendDetector {
    int32_t nOutput;            // 1 rising, 0 flat, -1 falling
    int32_t nSpare;
    int32_t nHistLen;           // at least 2
    int32_t nHist[kTrendHistory];
    int32_t nThreshold;
};
static_assert(sizeof(TrendDetector) == 496);

// Clears the record and fills the first n slots with `initial`; n below 0
// counts as 0, above 500 as 500.
void    AvgInit(RunningAvg* avg, int32_t initial, int32_t n);
// Adds a sample and returns the new mean (single precision, half away from 0).
int32_t AvgAdd(RunningAvg* avg, int32_t sample);

// Appends a sample to the history and returns (and keeps) the trend output.
int32_t TrendStep(TrendDetector* trend, int32_t sample);

// Single steps (i + 1 modulo n) from `from` to `to`: 0 when equal, at most n.
uint32_t StepsBetween(uint32_t from, uint32_t to, uint32_t n);

// Cyclic step of an index in 0..count-1, for menus and pickers: a delta of
// up to count either way wraps; a larger negative one stays in range but is
// not a true modulus. A count of 0 or less gives 0.
int32_t WrapIndex(int32_t index, int32_t count, int32_t delta);

// A double to i32 that saturates and takes NaN as 0.
int32_t SaturateI32(double v);
// Half away from zero in double precision, saturated to the i32 range; 0 for NaN.
int32_t RoundNearest(double x);

// CRC-32 of IEEE 802.3 (reflected 0xEDB88320, preset and final complement).
uint32_t Crc32(const void* buf, uint32_t len);

void StrTrimLeft(char* s);
void StrTrimRight(char* s);

// Called on every round of a busy-wait.
void IdleHook();

// ---- text and numbers at page positions ----------------------------------------------------
// Each selects colour, font id and style code of the pages, adds the drawing
// offset to y, draws, restores the context's text mode, alignment, colour
// index and font, and returns the text cursor's x.

constexpr int32_t kDrawTextBufSize = 128;
extern char G_DrawTextBuf[kDrawTextBufSize];   // the text last formatted (boxed styles measure it)

int32_t DrawTextF(uint32_t colour, int32_t font, int32_t style, int32_t x, int32_t y, const char* format, ...)
    __attribute__((format(printf, 6, 7)));
int32_t DrawFixedF(uint32_t colour, int32_t font, int32_t style, int32_t x, int32_t y, double value,
                   int32_t decimals);
// Formats 10, 100, 1000: the integer in a field of 8 - digits (a minus sign
// counts as a digit); 1: one decimal; 0: two decimals; others draw nothing.
// A value held in tenths (decimals 1) or hundredths (2) as text: rounded
// already, so it is split into whole and fraction with the sign taken from
// the value ("-0.5" for -5). The sign and whole part are right-aligned in
// `width` characters, like "%3d". Returns the length written.
int32_t FormatScaled(char* out, int32_t size, int32_t value, int32_t decimals, int32_t width);
int32_t DrawNumber(uint32_t colour, int32_t font, int32_t style, int32_t x, int32_t y, int32_t value,
                   int32_t format);

// ---- the off-screen band -------------------------------------------------------------------
// Frame memory from line 960 lies below both display pages. Between Begin
// and End everything placed by the drawing offset (DrawTextF, DrawNumber and
// the primitives called with y + G_DrawPageY) lands at line 960 + y, whichever
// page is being drawn; the flip hold keeps the tick from flipping the pages,
// and so from changing the offset, meanwhile.
constexpr int32_t kOffscreenBandY = 960;
struct OffscreenBand {
    uint32_t nSavedPageY;
    uint32_t nSavedHold;
};
OffscreenBand BeginOffscreenBand();
void          EndOffscreenBand(const OffscreenBand& band);
