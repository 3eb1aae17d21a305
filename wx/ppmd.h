// Codec of the weather products: context modelling of orders 2..16 with
// secondary escape estimation and a carry-less range coder, over one static
// arena. The decoder resumes: a product of millions of symbols is decoded a
// slice at a time from the main loop.
//
// Stream: 'I', memory in MB - 1 (0 here: the 393,216-byte arena),
// method << 4 | (order - 1), then the coded symbols, the end marker and the
// coder's four flush bytes.
#pragma once
#include <cstdint>

constexpr uint32_t kPpmdArenaBytes   = 393216;   // the model's whole memory
constexpr int32_t  kPpmdSliceSymbols = 5000;     // at most per decoding call
constexpr uint8_t  kPpmdSignature    = 'I';
constexpr uint32_t kPpmdHeaderBytes  = 3;

constexpr int32_t kPpmdMaxOrder = 16;

// Restoration when the arena is full.
constexpr int32_t kPpmdRestart = 0;   // start the model again
constexpr int32_t kPpmdCutOff  = 1;   // drop the high orders
constexpr int32_t kPpmdFreeze  = 2;   // stop growing (kept internally as 3)

// Results. A start or continue call gives kPpmdMore while slices remain; the
// call that reaches the end gives one of the others.
constexpr int32_t kPpmdMore        = 0;
constexpr int32_t kPpmdOk          = 0;    // PpmdCompress: the whole input coded
constexpr int32_t kPpmdDone        = 1;    // end marker, output filled exactly, input used up
constexpr int32_t kPpmdMemoryLow   = 1;    // PpmdCompress: memory below 1 MB
constexpr int32_t kPpmdMemoryHigh  = 2;    // more memory than the arena holds
constexpr int32_t kPpmdOrderLow    = 3;    // order below 2 (order 1 would need a model already in memory)
constexpr int32_t kPpmdOrderHigh   = 4;
constexpr int32_t kPpmdMethodLow   = 5;
constexpr int32_t kPpmdMethodHigh  = 6;
constexpr int32_t kPpmdOutputFull  = 7;    // output longer than the capacity
constexpr int32_t kPpmdInputShort  = 8;    // the input ran out
constexpr int32_t kPpmdHeaderShort = 9;
constexpr int32_t kPpmdBadSignature = 10;
constexpr int32_t kPpmdInputLeft   = 11;   // bytes after the end of the stream
constexpr int32_t kPpmdDataError   = 12;   // corrupt data, or output shorter than the capacity

// start != 0: checks the header, starts the model and decodes the first
// slice; the capacity is read from *pCapacity. start == 0: decodes the next
// slice of the stream in work (the other arguments are not used). The call
// that reaches the end releases the arena and gives the final result.
int32_t PpmdDecompress(uint8_t* out, const uint32_t* pCapacity, const uint8_t* in, uint32_t inLen,
                       int32_t start);

// One shot: header, the whole input, the end marker and the flush. On
// kPpmdOk *pCapacity is set to the bytes written.
int32_t PpmdCompress(uint8_t* out, uint32_t* pCapacity, const uint8_t* in, uint32_t inLen, int32_t order,
                     int32_t memoryMb, int32_t method);
