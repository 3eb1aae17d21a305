// The weather products' codec: model, sub-allocator and range coder.
//
// The model lives in one static arena: a text area grows up from its start,
// 12-byte units are cut from a units area at its end. Records in the arena
// refer to each other by 32-bit offsets from the arena's start. The three
// record kinds share their first bytes (a one-symbol context keeps its only
// state inside itself), so this file is built without strict aliasing.
#include "wx/ppmd.h"

#include <cstring>

namespace {

constexpr uint32_t kUnitBytes  = 12;
constexpr uint32_t kIndexes    = 38;      // unit-size classes
constexpr uint32_t kMaxFreq    = 124;
constexpr uint32_t kIntBits    = 7;
constexpr uint32_t kPeriodBits = 7;
constexpr uint32_t kBinScale   = 1u << (kIntBits + kPeriodBits);   // one-symbol probability scale
constexpr uint32_t kEmptyNode  = 0xFFFFFFFF;
constexpr uint32_t kTop        = 1u << 24;
constexpr uint32_t kBot        = 1u << 15;

constexpr uint8_t kFlagRescaled = 1 << 2;
constexpr uint8_t kFlagPrevHigh = 1 << 4;

constexpr uint8_t  kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};

constexpr int kSymEnd   = -1;
constexpr int kSymError = -2;

#pragma pack(push, 1)
struct State {                 // one symbol of a context
    uint8_t nSymbol;
    uint8_t nFreq;
    uint8_t abSuccessor[4];    // u32 LE: a context, a text position or 0
};
static_assert(sizeof(State) == 6);

struct Context {               // one unit
    uint8_t  nNumStats;        // symbols - 1; 0 = the one state is embedded at byte 2
    uint8_t  nFlags;
    uint16_t nSummFreq;        // or the embedded state's symbol and frequency
    uint32_t nStats;           // offset of the states, or the embedded state's successor
    uint32_t nSuffix;          // offset of the next lower order, 0 at order -1
};
static_assert(sizeof(Context) == kUnitBytes);

struct Node {                  // a free block on its class list
    uint32_t nStamp;           // kEmptyNode while free
    uint32_t nNext;
    uint32_t nNu;              // units in the block
};
static_assert(sizeof(Node) == kUnitBytes);

struct See {                   // secondary escape estimation cell
    uint16_t nSumm;
    uint8_t  nShift;
    uint8_t  nCount;
};
#pragma pack(pop)

struct Model {
    Context* pMinContext;
    Context* pMaxContext;
    State*   pFoundState;
    uint32_t nOrderFall, nInitEsc, nPrevSuccess, nMaxOrder, nRestoreMethod;
    int32_t  nRunLength, nInitRL;
    uint32_t nSize, nGlueCount;
    uint8_t* pbText;
    uint8_t* pbUnitsStart;
    uint8_t* pbLoUnit;
    uint8_t* pbHiUnit;
    uint8_t  abIndx2Units[kIndexes];
    uint8_t  abUnits2Indx[128];
    uint32_t anFreeList[kIndexes];
    uint32_t anStamps[kIndexes];
    uint8_t  abNs2BsIndx[256];
    uint8_t  abNs2Indx[260];
    See      dummySee;
    See      see[24][32];
    uint16_t anBinSumm[25][64];
};

struct RangeCoder {
    uint32_t nRange, nCode, nLow;
};

struct InBuffer {
    const uint8_t* pb;
    uint32_t nPos, nSize;
    uint8_t  bEnded;           // a read past the end
};

struct OutBuffer {
    uint8_t* pb;
    uint32_t nPos, nSize;
    uint8_t  bOverflow;        // a write past the capacity
};

uint8_t    s_arena[kPpmdArenaBytes];
uint32_t   s_arenaSize;        // size the arena is prepared for; 0 released
Model      s_m;
RangeCoder s_rc;
InBuffer   s_in;
OutBuffer  s_out;
bool       s_decoding;         // a stream is in work
uint8_t    s_charMask[256];    // a symbol is masked while its entry equals s_escCount
uint8_t    s_escCount;

// ---- buffers ---------------------------------------------------------------------------------

uint32_t ReadByte() {
    if (s_in.nPos >= s_in.nSize) {
        s_in.bEnded = 1;
        return 0xFF;
    }
    return s_in.pb[s_in.nPos++];
}

void WriteByte(uint8_t b) {
    if (s_out.nPos >= s_out.nSize) {
        s_out.bOverflow = 1;
        return;
    }
    s_out.pb[s_out.nPos++] = b;
}

// ---- arena references ------------------------------------------------------------------------

uint32_t Ref(const void* p) { return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - s_arena); }
uint8_t* Ptr(uint32_t ref) { return s_arena + ref; }
Context* Ctx(uint32_t ref) { return reinterpret_cast<Context*>(s_arena + ref); }
Node*    NodeAt(uint32_t ref) { return reinterpret_cast<Node*>(s_arena + ref); }
Node*    NodeAt(void* p) { return static_cast<Node*>(p); }
State*   Stats(const Context* c) { return reinterpret_cast<State*>(s_arena + c->nStats); }
Context* Suffix(const Context* c) { return Ctx(c->nSuffix); }
State*   OneState(Context* c) { return reinterpret_cast<State*>(reinterpret_cast<uint8_t*>(c) + 2); }

uint32_t Successor(const State* s) {
    return static_cast<uint32_t>(s->abSuccessor[0]) | static_cast<uint32_t>(s->abSuccessor[1]) << 8 |
           static_cast<uint32_t>(s->abSuccessor[2]) << 16 | static_cast<uint32_t>(s->abSuccessor[3]) << 24;
}

void SetSuccessor(State* s, uint32_t v) {
    s->abSuccessor[0] = static_cast<uint8_t>(v);
    s->abSuccessor[1] = static_cast<uint8_t>(v >> 8);
    s->abSuccessor[2] = static_cast<uint8_t>(v >> 16);
    s->abSuccessor[3] = static_cast<uint8_t>(v >> 24);
}

void SwapStates(State* a, State* b) {
    const State t = *a;
    *a = *b;
    *b = t;
}

uint32_t U2B(uint32_t nu) { return nu * kUnitBytes; }
uint32_t U2I(uint32_t nu) { return s_m.abUnits2Indx[nu - 1]; }
uint32_t I2U(uint32_t indx) { return s_m.abIndx2Units[indx]; }

// A symbol's high bits, folded into a context's flags (bit 3 or bit 4).
uint32_t HiBitsPrepare(uint32_t sym) { return sym + 0xC0; }
uint32_t HiBitsConvert3(uint32_t flags) { return (flags >> (8 - 3)) & (1 << 3); }
uint32_t HiBitsConvert4(uint32_t flags) { return (flags >> (8 - 4)) & (1 << 4); }
uint32_t HiBitsFlag3(uint32_t sym) { return HiBitsConvert3(HiBitsPrepare(sym)); }
uint32_t HiBitsFlag4(uint32_t sym) { return HiBitsConvert4(HiBitsPrepare(sym)); }

void Copy12(void* dest, const void* src, uint32_t nu) { std::memmove(dest, src, U2B(nu)); }

// ---- sub-allocator ---------------------------------------------------------------------------

void InsertNode(void* p, uint32_t indx) {
    Node* node = NodeAt(p);
    node->nStamp = kEmptyNode;
    node->nNext = s_m.anFreeList[indx];
    node->nNu = I2U(indx);
    s_m.anFreeList[indx] = Ref(p);
    s_m.anStamps[indx]++;
}

void* RemoveNode(uint32_t indx) {
    Node* node = NodeAt(s_m.anFreeList[indx]);
    s_m.anFreeList[indx] = node->nNext;
    s_m.anStamps[indx]--;
    return node;
}

void SplitBlock(void* p, uint32_t oldIndx, uint32_t newIndx) {
    const uint32_t nu = I2U(oldIndx) - I2U(newIndx);
    uint8_t* ptr = static_cast<uint8_t*>(p) + U2B(I2U(newIndx));
    uint32_t i = U2I(nu);
    if (I2U(i) != nu) {
        const uint32_t k = I2U(--i);
        InsertNode(ptr + U2B(k), nu - k - 1);
    }
    InsertNode(ptr, i);
}

// Merges neighbouring free blocks and files them again by size.
void GlueFreeBlocks() {
    uint32_t head = 0;
    s_m.nGlueCount = 1 << 13;
    std::memset(s_m.anStamps, 0, sizeof s_m.anStamps);
    if (s_m.pbLoUnit != s_m.pbHiUnit) NodeAt(s_m.pbLoUnit)->nStamp = 0;   // guard

    uint32_t* prev = &head;
    for (uint32_t i = 0; i < kIndexes; i++) {
        uint32_t next = s_m.anFreeList[i];
        s_m.anFreeList[i] = 0;
        while (next != 0) {
            Node* node = NodeAt(next);
            uint32_t nu = node->nNu;
            *prev = next;
            next = node->nNext;
            if (nu != 0) {
                prev = &node->nNext;
                Node* node2;
                while ((node2 = node + nu)->nStamp == kEmptyNode) {
                    nu += node2->nNu;
                    node2->nNu = 0;
                    node->nNu = nu;
                }
            }
        }
    }
    *prev = 0;

    while (head != 0) {
        Node* node = NodeAt(head);
        uint32_t nu = node->nNu;
        head = node->nNext;
        if (nu == 0) continue;
        for (; nu > 128; nu -= 128, node += 128) InsertNode(node, kIndexes - 1);
        uint32_t i = U2I(nu);
        if (I2U(i) != nu) {
            const uint32_t k = I2U(--i);
            InsertNode(node + k, nu - k - 1);
        }
        InsertNode(node, i);
    }
}

void* AllocUnitsRare(uint32_t indx) {
    if (s_m.nGlueCount == 0) {
        GlueFreeBlocks();
        if (s_m.anFreeList[indx] != 0) return RemoveNode(indx);
    }
    uint32_t i = indx;
    do {
        if (++i == kIndexes) {
            const uint32_t numBytes = U2B(I2U(indx));
            uint8_t* us = s_m.pbUnitsStart;
            s_m.nGlueCount--;
            if (static_cast<uint32_t>(us - s_m.pbText) > numBytes) {
                s_m.pbUnitsStart = us - numBytes;
                return s_m.pbUnitsStart;
            }
            return nullptr;
        }
    } while (s_m.anFreeList[i] == 0);
    void* block = RemoveNode(i);
    SplitBlock(block, i, indx);
    return block;
}

void* AllocUnits(uint32_t indx) {
    if (s_m.anFreeList[indx] != 0) return RemoveNode(indx);
    const uint32_t numBytes = U2B(I2U(indx));
    uint8_t* lo = s_m.pbLoUnit;
    if (static_cast<uint32_t>(s_m.pbHiUnit - lo) >= numBytes) {
        s_m.pbLoUnit = lo + numBytes;
        return lo;
    }
    return AllocUnitsRare(indx);
}

void* ShrinkUnits(void* oldPtr, uint32_t oldNu, uint32_t newNu) {
    const uint32_t i0 = U2I(oldNu);
    const uint32_t i1 = U2I(newNu);
    if (i0 == i1) return oldPtr;
    if (s_m.anFreeList[i1] != 0) {
        void* ptr = RemoveNode(i1);
        Copy12(ptr, oldPtr, newNu);
        InsertNode(oldPtr, i0);
        return ptr;
    }
    SplitBlock(oldPtr, i0, i1);
    return oldPtr;
}

void FreeUnits(void* p, uint32_t nu) { InsertNode(p, U2I(nu)); }

void SpecialFreeUnit(void* p) {
    if (static_cast<uint8_t*>(p) != s_m.pbUnitsStart) {
        InsertNode(p, 0);
    } else {
        NodeAt(p)->nStamp = kEmptyNode;   // read as flags 0xFF when freezing
        s_m.pbUnitsStart += kUnitBytes;
    }
}

// Gives free blocks at the bottom of the units area back to the text.
void ExpandTextArea() {
    uint32_t count[kIndexes] = {};
    if (s_m.pbLoUnit != s_m.pbHiUnit) NodeAt(s_m.pbLoUnit)->nStamp = 0;
    Node* node = NodeAt(s_m.pbUnitsStart);
    while (node->nStamp == kEmptyNode) {
        const uint32_t nu = node->nNu;
        node->nStamp = 0;
        count[U2I(nu)]++;
        node += nu;
    }
    s_m.pbUnitsStart = reinterpret_cast<uint8_t*>(node);

    for (uint32_t i = 0; i < kIndexes; i++) {
        uint32_t cnt = count[i];
        if (cnt == 0) continue;
        uint32_t* prev = &s_m.anFreeList[i];
        uint32_t n = *prev;
        s_m.anStamps[i] -= cnt;
        for (;;) {
            Node* nd = NodeAt(n);
            n = nd->nNext;
            if (nd->nStamp != 0) {
                prev = &nd->nNext;
                continue;
            }
            *prev = n;
            if (--cnt == 0) break;
        }
    }
}

// ---- model -----------------------------------------------------------------------------------

void BuildTables() {
    for (uint32_t i = 0, k = 0; i < kIndexes; i++) {
        uint32_t step = i >= 12 ? 4 : (i >> 2) + 1;
        do { s_m.abUnits2Indx[k++] = static_cast<uint8_t>(i); } while (--step);
        s_m.abIndx2Units[i] = static_cast<uint8_t>(k);
    }
    s_m.abNs2BsIndx[0] = 0 << 1;
    s_m.abNs2BsIndx[1] = 1 << 1;
    std::memset(s_m.abNs2BsIndx + 2, 2 << 1, 9);
    std::memset(s_m.abNs2BsIndx + 11, 3 << 1, 256 - 11);
    uint32_t i = 0;
    for (; i < 5; i++) s_m.abNs2Indx[i] = static_cast<uint8_t>(i);
    for (uint32_t m = i, k = 1; i < 260; i++) {
        s_m.abNs2Indx[i] = static_cast<uint8_t>(m);
        if (--k == 0) k = (++m) - 4;
    }
}

void RestartModel() {
    std::memset(s_m.anFreeList, 0, sizeof s_m.anFreeList);
    std::memset(s_m.anStamps, 0, sizeof s_m.anStamps);
    s_m.pbText = s_arena;
    s_m.pbHiUnit = s_m.pbText + s_m.nSize;
    s_m.pbLoUnit = s_m.pbUnitsStart = s_m.pbHiUnit - s_m.nSize / 8 / kUnitBytes * 7 * kUnitBytes;
    s_m.nGlueCount = 0;

    s_m.nOrderFall = s_m.nMaxOrder;
    s_m.nRunLength = s_m.nInitRL = -static_cast<int32_t>(s_m.nMaxOrder < 12 ? s_m.nMaxOrder : 12) - 1;
    s_m.nPrevSuccess = 0;

    s_m.pbHiUnit -= kUnitBytes;
    Context* mc = reinterpret_cast<Context*>(s_m.pbHiUnit);
    State* s = reinterpret_cast<State*>(s_m.pbLoUnit);
    s_m.pbLoUnit += U2B(256 / 2);
    s_m.pMaxContext = s_m.pMinContext = mc;
    s_m.pFoundState = s;
    mc->nFlags = 0;
    mc->nNumStats = 256 - 1;
    mc->nSummFreq = 256 + 1;
    mc->nStats = Ref(s);
    mc->nSuffix = 0;
    for (uint32_t i = 0; i < 256; i++, s++) {
        s->nSymbol = static_cast<uint8_t>(i);
        s->nFreq = 1;
        SetSuccessor(s, 0);
    }

    for (uint32_t i = 0, m = 0; m < 25; m++) {
        while (s_m.abNs2Indx[i] == m) i++;
        for (uint32_t k = 0; k < 8; k++) {
            const uint16_t val = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 1));
            for (uint32_t r = 0; r < 64; r += 8) s_m.anBinSumm[m][k + r] = val;
        }
    }
    for (uint32_t i = 0, m = 0; m < 24; m++) {
        while (s_m.abNs2Indx[i + 3] == m + 3) i++;
        const uint32_t summ = (2 * i + 5) << (kPeriodBits - 4);
        for (uint32_t k = 0; k < 32; k++) {
            See& see = s_m.see[m][k];
            see.nSumm = static_cast<uint16_t>(summ);
            see.nShift = kPeriodBits - 4;
            see.nCount = 7;
        }
    }
    // The cell of 256-symbol contexts: its shift is past the period, so it never adapts.
    s_m.dummySee.nSumm = 0;
    s_m.dummySee.nShift = kPeriodBits;
    s_m.dummySee.nCount = 64;
}

void StartModel(uint32_t maxOrder, uint32_t method) {
    BuildTables();
    s_m.nMaxOrder = maxOrder;
    s_m.nRestoreMethod = method;
    s_m.nSize = s_arenaSize;
    RestartModel();
    s_escCount = 0;
    std::memset(s_charMask, 0, sizeof s_charMask);
}

// Rescales a context whose symbols were removed; the removed frequencies go to the escape.
void Refresh(Context* ctx, uint32_t oldNu, uint32_t scale) {
    uint32_t i = ctx->nNumStats;
    State* s = static_cast<State*>(ShrinkUnits(Stats(ctx), oldNu, (i + 2) >> 1));
    ctx->nStats = Ref(s);
    scale |= (ctx->nSummFreq >= (1u << 15)) ? 1 : 0;
    uint32_t flags = HiBitsPrepare(s->nSymbol);
    uint32_t freq = s->nFreq;
    uint32_t escFreq = ctx->nSummFreq - freq;
    freq = (freq + scale) >> scale;
    uint32_t sumFreq = freq;
    s->nFreq = static_cast<uint8_t>(freq);
    do {
        freq = (++s)->nFreq;
        escFreq -= freq;
        freq = (freq + scale) >> scale;
        sumFreq += freq;
        s->nFreq = static_cast<uint8_t>(freq);
        flags |= HiBitsPrepare(s->nSymbol);
    } while (--i);
    ctx->nSummFreq = static_cast<uint16_t>(sumFreq + ((escFreq + scale) >> scale));
    ctx->nFlags = static_cast<uint8_t>((ctx->nFlags & (kFlagPrevHigh + kFlagRescaled * scale)) + HiBitsConvert3(flags));
}

// Turns a context left with one symbol into a one-symbol context.
void MakeOneState(Context* c, const State* s) {
    c->nFlags = static_cast<uint8_t>((c->nFlags & kFlagPrevHigh) + HiBitsFlag3(s->nSymbol));
    State* one = OneState(c);
    one->nSymbol = s->nSymbol;
    one->nFreq = static_cast<uint8_t>((static_cast<uint32_t>(s->nFreq) + 11) >> 3);
    std::memcpy(one->abSuccessor, s->abSuccessor, 4);
}

// Cut-off restoration: drops the successors past the maximum order and text
// successors, and the contexts left without any.
uint32_t CutOff(Context* ctx, uint32_t order) {
    int32_t ns = ctx->nNumStats;
    if (ns == 0) {
        State* s = OneState(ctx);
        uint32_t successor = Successor(s);
        if (Ptr(successor) >= s_m.pbUnitsStart) {
            successor = order < s_m.nMaxOrder ? CutOff(Ctx(successor), order + 1) : 0;
            SetSuccessor(s, successor);
            if (successor || order <= 9) return Ref(ctx);
        }
        SpecialFreeUnit(ctx);
        return 0;
    }
    const uint32_t nu = (static_cast<uint32_t>(ns) + 2) >> 1;
    const uint32_t indx = U2I(nu);
    State* stats = Stats(ctx);
    // States near the bottom of the units area move up, so the text can grow.
    if (static_cast<uint32_t>(reinterpret_cast<uint8_t*>(stats) - s_m.pbUnitsStart) <= (1 << 14) &&
        ctx->nStats <= s_m.anFreeList[indx]) {
        void* ptr = RemoveNode(indx);
        ctx->nStats = Ref(ptr);
        Copy12(ptr, stats, nu);
        if (reinterpret_cast<uint8_t*>(stats) != s_m.pbUnitsStart) InsertNode(stats, indx);
        else s_m.pbUnitsStart += U2B(I2U(indx));
        stats = static_cast<State*>(ptr);
    }
    State* s = stats + ns;
    do {
        const uint32_t successor = Successor(s);
        if (Ptr(successor) < s_m.pbUnitsStart) {
            State* s2 = stats + (ns--);
            if (order) {
                if (s != s2) *s = *s2;
            } else {
                SwapStates(s, s2);
                SetSuccessor(s2, 0);
            }
        } else if (order < s_m.nMaxOrder) {
            SetSuccessor(s, CutOff(Ctx(successor), order + 1));
        } else {
            SetSuccessor(s, 0);
        }
    } while (--s >= stats);

    if (ns != ctx->nNumStats && order) {
        if (ns < 0) {
            FreeUnits(stats, nu);
            SpecialFreeUnit(ctx);
            return 0;
        }
        ctx->nNumStats = static_cast<uint8_t>(ns);
        if (ns == 0) {
            MakeOneState(ctx, stats);
            FreeUnits(stats, nu);
        } else {
            Refresh(ctx, nu, ctx->nSummFreq > 16 * static_cast<uint32_t>(ns) ? 1 : 0);
        }
    }
    return Ref(ctx);
}

// Freeze restoration: removes the one-symbol contexts without successors
// whose suffix is a one-symbol context too.
uint32_t RemoveBinContexts(Context* ctx, uint32_t order) {
    if (!ctx->nNumStats) {
        State* s = OneState(ctx);
        uint32_t successor = Successor(s);
        if (Ptr(successor) >= s_m.pbUnitsStart && order < s_m.nMaxOrder)
            successor = RemoveBinContexts(Ctx(successor), order + 1);
        else
            successor = 0;
        SetSuccessor(s, successor);
        // The suffix may be freed already (stamp read as flags 0xFF).
        if (!successor && (!Suffix(ctx)->nNumStats || Suffix(ctx)->nFlags == 0xFF)) {
            FreeUnits(ctx, 1);
            return 0;
        }
    } else {
        State* s = Stats(ctx) + ctx->nNumStats;
        do {
            const uint32_t successor = Successor(s);
            if (Ptr(successor) >= s_m.pbUnitsStart && order < s_m.nMaxOrder)
                SetSuccessor(s, RemoveBinContexts(Ctx(successor), order + 1));
            else
                SetSuccessor(s, 0);
        } while (--s >= Stats(ctx));
    }
    return Ref(ctx);
}

uint32_t UsedMemory() {
    uint32_t v = 0;
    for (uint32_t i = 0; i < kIndexes; i++) v += s_m.anStamps[i] * I2U(i);
    return s_m.nSize - static_cast<uint32_t>(s_m.pbHiUnit - s_m.pbLoUnit) -
           static_cast<uint32_t>(s_m.pbUnitsStart - s_m.pbText) - U2B(v);
}

// The arena is full: undo the symbols added before the failed allocation,
// then restore by the stream's method.
void RestoreModel(Context* ctxError, Context* fSuccessor) {
    s_m.pbText = s_arena;
    Context* c = s_m.pMaxContext;
    for (; c != ctxError; c = Suffix(c)) {
        if (--(c->nNumStats) == 0) {
            State* s = Stats(c);
            MakeOneState(c, s);
            SpecialFreeUnit(s);
        } else {
            Refresh(c, (static_cast<uint32_t>(c->nNumStats) + 3) >> 1, 0);
        }
    }
    for (; c != s_m.pMinContext; c = Suffix(c)) {
        if (c->nNumStats == 0) {
            State* one = OneState(c);
            one->nFreq = static_cast<uint8_t>((static_cast<uint32_t>(one->nFreq) + 1) >> 1);
        } else if ((c->nSummFreq = static_cast<uint16_t>(c->nSummFreq + 4)) > 128 + 4 * c->nNumStats) {
            Refresh(c, (static_cast<uint32_t>(c->nNumStats) + 2) >> 1, 1);
        }
    }

    if (s_m.nRestoreMethod > kPpmdFreeze) {
        s_m.pMaxContext = fSuccessor;
        s_m.nGlueCount += !(s_m.anStamps[1] & 1);
    } else if (s_m.nRestoreMethod == kPpmdFreeze) {
        while (s_m.pMaxContext->nSuffix) s_m.pMaxContext = Suffix(s_m.pMaxContext);
        RemoveBinContexts(s_m.pMaxContext, 0);
        s_m.nRestoreMethod = kPpmdFreeze + 1;
        s_m.nGlueCount = 0;
        s_m.nOrderFall = s_m.nMaxOrder;
    } else if (s_m.nRestoreMethod == kPpmdRestart || UsedMemory() < (s_m.nSize >> 1)) {
        RestartModel();
    } else {
        while (s_m.pMaxContext->nSuffix) s_m.pMaxContext = Suffix(s_m.pMaxContext);
        do {
            CutOff(s_m.pMaxContext, 0);
            ExpandTextArea();
        } while (UsedMemory() > 3 * (s_m.nSize >> 2));
        s_m.nGlueCount = 0;
        s_m.nOrderFall = s_m.nMaxOrder;
    }
    s_m.pMinContext = s_m.pMaxContext;
}

Context* CreateSuccessors(bool skip, State* s1, Context* c) {
    const uint32_t upBranch = Successor(s_m.pFoundState);
    uint32_t numPs = 0;
    State* ps[kPpmdMaxOrder + 1];
    if (!skip) ps[numPs++] = s_m.pFoundState;
    while (c->nSuffix) {
        State* s;
        c = Suffix(c);
        if (s1) {
            s = s1;
            s1 = nullptr;
        } else if (c->nNumStats != 0) {
            const uint8_t sym = s_m.pFoundState->nSymbol;
            for (s = Stats(c); s->nSymbol != sym; s++) {}
            if (s->nFreq < kMaxFreq - 9) {
                s->nFreq++;
                c->nSummFreq++;
            }
        } else {
            s = OneState(c);
            s->nFreq = static_cast<uint8_t>(s->nFreq + ((!Suffix(c)->nNumStats) & (s->nFreq < 24)));
        }
        const uint32_t successor = Successor(s);
        if (successor != upBranch) {
            c = Ctx(successor);
            if (numPs == 0) return c;
            break;
        }
        if (numPs > kPpmdMaxOrder) return nullptr;   // never with a sound model
        ps[numPs++] = s;
    }

    const uint8_t newSym = *Ptr(upBranch);
    const uint32_t upNext = upBranch + 1;
    const uint8_t flags = static_cast<uint8_t>(HiBitsFlag4(s_m.pFoundState->nSymbol) + HiBitsFlag3(newSym));
    uint8_t newFreq;
    if (c->nNumStats == 0) {
        newFreq = OneState(c)->nFreq;
    } else {
        State* s;
        for (s = Stats(c); s->nSymbol != newSym; s++) {}
        const uint32_t cf = static_cast<uint32_t>(s->nFreq) - 1;
        const uint32_t s0 = static_cast<uint32_t>(c->nSummFreq) - c->nNumStats - cf;
        newFreq = static_cast<uint8_t>(1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((cf + 2 * s0 - 3) / s0)));
    }

    do {
        Context* c1;
        if (s_m.pbHiUnit != s_m.pbLoUnit) {
            s_m.pbHiUnit -= kUnitBytes;
            c1 = reinterpret_cast<Context*>(s_m.pbHiUnit);
        } else if (s_m.anFreeList[0] != 0) {
            c1 = static_cast<Context*>(RemoveNode(0));
        } else {
            c1 = static_cast<Context*>(AllocUnitsRare(0));
            if (!c1) return nullptr;
        }
        c1->nFlags = flags;
        c1->nNumStats = 0;
        State* one = OneState(c1);
        one->nSymbol = newSym;
        one->nFreq = newFreq;
        SetSuccessor(one, upNext);
        c1->nSuffix = Ref(c);
        SetSuccessor(ps[--numPs], Ref(c1));
        c = c1;
    } while (numPs != 0);
    return c;
}

Context* ReduceOrder(State* s1, Context* c) {
    State* s = nullptr;
    Context* c1 = c;
    const uint32_t upBranch = Ref(s_m.pbText);
    State* ps[kPpmdMaxOrder + 1];
    uint32_t numPs = 0;
    ps[numPs++] = s_m.pFoundState;
    SetSuccessor(s_m.pFoundState, upBranch);
    s_m.nOrderFall++;
    for (;;) {
        if (s1) {
            c = Suffix(c);
            s = s1;
            s1 = nullptr;
        } else {
            if (!c->nSuffix) {
                if (s_m.nRestoreMethod > kPpmdFreeze) {
                    do { SetSuccessor(ps[--numPs], Ref(c)); } while (numPs);
                    s_m.pbText = s_arena + 1;
                    s_m.nOrderFall = 1;
                }
                return c;
            }
            c = Suffix(c);
            if (c->nNumStats) {
                s = Stats(c);
                if (s->nSymbol != s_m.pFoundState->nSymbol) {
                    do { s++; } while (s->nSymbol != s_m.pFoundState->nSymbol);
                }
                if (s->nFreq < kMaxFreq - 9) {
                    s->nFreq = static_cast<uint8_t>(s->nFreq + 2);
                    c->nSummFreq = static_cast<uint16_t>(c->nSummFreq + 2);
                }
            } else {
                s = OneState(c);
                s->nFreq = static_cast<uint8_t>(s->nFreq + (s->nFreq < 32));
            }
        }
        if (Successor(s)) break;
        if (numPs <= kPpmdMaxOrder) ps[numPs++] = s;
        SetSuccessor(s, upBranch);
        s_m.nOrderFall++;
    }

    if (s_m.nRestoreMethod > kPpmdFreeze) {
        c = Ctx(Successor(s));
        do { SetSuccessor(ps[--numPs], Ref(c)); } while (numPs);
        s_m.pbText = s_arena + 1;
        s_m.nOrderFall = 1;
        return c;
    }
    if (Successor(s) <= upBranch) {
        State* s2 = s_m.pFoundState;
        s_m.pFoundState = s;
        Context* successor = CreateSuccessors(false, nullptr, c);
        SetSuccessor(s, successor ? Ref(successor) : 0);
        s_m.pFoundState = s2;
    }
    const uint32_t successor = Successor(s);
    if (s_m.nOrderFall == 1 && c1 == s_m.pMaxContext) {
        SetSuccessor(s_m.pFoundState, successor);
        s_m.pbText--;
    }
    return successor == 0 ? nullptr : Ctx(successor);
}

void UpdateModel() {
    uint32_t minSuccessor = Successor(s_m.pFoundState);
    const uint32_t fFreq = s_m.pFoundState->nFreq;
    const uint8_t fSymbol = s_m.pFoundState->nSymbol;
    uint32_t maxSuccessor;
    Context* c;
    {
        State* s = nullptr;
        if (s_m.pFoundState->nFreq < kMaxFreq / 4 && s_m.pMinContext->nSuffix != 0) {
            // The symbol counts in the next lower order too.
            c = Suffix(s_m.pMinContext);
            if (c->nNumStats == 0) {
                s = OneState(c);
                if (s->nFreq < 32) s->nFreq++;
            } else {
                const uint8_t sym = s_m.pFoundState->nSymbol;
                s = Stats(c);
                if (s->nSymbol != sym) {
                    do { s++; } while (s->nSymbol != sym);
                    if (s[0].nFreq >= s[-1].nFreq) {
                        SwapStates(&s[0], &s[-1]);
                        s--;
                    }
                }
                if (s->nFreq < kMaxFreq - 9) {
                    s->nFreq = static_cast<uint8_t>(s->nFreq + 2);
                    c->nSummFreq = static_cast<uint16_t>(c->nSummFreq + 2);
                }
            }
        }

        c = s_m.pMaxContext;
        if (s_m.nOrderFall == 0 && minSuccessor) {
            Context* cs = CreateSuccessors(true, s, s_m.pMinContext);
            if (!cs) {
                SetSuccessor(s_m.pFoundState, 0);
                RestoreModel(c, Ctx(minSuccessor));
                return;
            }
            SetSuccessor(s_m.pFoundState, Ref(cs));
            s_m.pMinContext = s_m.pMaxContext = cs;
            return;
        }

        *s_m.pbText++ = s_m.pFoundState->nSymbol;
        if (s_m.pbText >= s_m.pbUnitsStart) {
            RestoreModel(c, Ctx(minSuccessor));
            return;
        }
        maxSuccessor = Ref(s_m.pbText);

        if (!minSuccessor) {
            Context* cs = ReduceOrder(s, s_m.pMinContext);
            if (!cs) {
                RestoreModel(c, nullptr);
                return;
            }
            minSuccessor = Ref(cs);
        } else if (Ptr(minSuccessor) < s_m.pbUnitsStart) {
            Context* cs = CreateSuccessors(false, s, s_m.pMinContext);
            if (!cs) {
                RestoreModel(c, nullptr);
                return;
            }
            minSuccessor = Ref(cs);
        }

        if (--s_m.nOrderFall == 0) {
            maxSuccessor = minSuccessor;
            s_m.pbText -= (s_m.pMaxContext != s_m.pMinContext);
        } else if (s_m.nRestoreMethod > kPpmdFreeze) {
            maxSuccessor = minSuccessor;
            s_m.pbText = s_arena;
            s_m.nOrderFall = 0;
        }
    }

    const uint8_t flag = static_cast<uint8_t>(HiBitsFlag3(fSymbol));
    const uint32_t ns = s_m.pMinContext->nNumStats;
    const uint32_t s0 = s_m.pMinContext->nSummFreq - ns - fFreq;
    for (; c != s_m.pMinContext; c = Suffix(c)) {
        const uint32_t ns1 = c->nNumStats;
        uint32_t sum;
        if (ns1 != 0) {
            if ((ns1 & 1) != 0) {
                // The states grow by one unit.
                const uint32_t oldNu = (ns1 + 1) >> 1;
                const uint32_t i = U2I(oldNu);
                if (i != U2I(oldNu + 1)) {
                    void* ptr = AllocUnits(i + 1);
                    if (!ptr) {
                        RestoreModel(c, Ctx(minSuccessor));
                        return;
                    }
                    void* oldPtr = Stats(c);
                    Copy12(ptr, oldPtr, oldNu);
                    InsertNode(oldPtr, i);
                    c->nStats = Ref(ptr);
                }
            }
            sum = c->nSummFreq;
            sum += (3 * ns1 + 1 < ns) ? 1 : 0;
        } else {
            State* s = static_cast<State*>(AllocUnits(0));
            if (!s) {
                RestoreModel(c, Ctx(minSuccessor));
                return;
            }
            const State one = *OneState(c);
            uint32_t freq = one.nFreq;
            s->nSymbol = one.nSymbol;
            std::memcpy(s->abSuccessor, one.abSuccessor, 4);
            c->nStats = Ref(s);
            freq = freq < kMaxFreq / 4 - 1 ? freq << 1 : kMaxFreq - 4;
            s->nFreq = static_cast<uint8_t>(freq);
            sum = freq + s_m.nInitEsc + (ns > 2 ? 1 : 0);
        }

        State* s = Stats(c) + ns1 + 1;
        uint32_t cf = 2 * (sum + 6) * fFreq;
        const uint32_t sf = s0 + sum;
        s->nSymbol = fSymbol;
        c->nNumStats = static_cast<uint8_t>(ns1 + 1);
        SetSuccessor(s, maxSuccessor);
        c->nFlags |= flag;
        if (cf < 6 * sf) {
            cf = 1 + (cf > sf ? 1 : 0) + (cf >= 4 * sf ? 1 : 0);
            sum += 4;
        } else {
            cf = 4 + (cf > 9 * sf ? 1 : 0) + (cf > 12 * sf ? 1 : 0) + (cf > 15 * sf ? 1 : 0);
            sum += cf;
        }
        c->nSummFreq = static_cast<uint16_t>(sum);
        s->nFreq = static_cast<uint8_t>(cf);
    }
    s_m.pMaxContext = s_m.pMinContext = Ctx(minSuccessor);
}

void Rescale() {
    State* stats = Stats(s_m.pMinContext);
    State* s = s_m.pFoundState;
    if (s != stats) {   // the found state moves to the front
        const State tmp = *s;
        do { s[0] = s[-1]; } while (--s != stats);
        *s = tmp;
    }
    uint32_t sumFreq = s->nFreq;
    uint32_t escFreq = s_m.pMinContext->nSummFreq - sumFreq;
    uint32_t adder = s_m.nOrderFall != 0 ? 1 : 0;
    adder |= s_m.nRestoreMethod > kPpmdFreeze ? 1 : 0;
    sumFreq = (sumFreq + 4 + adder) >> 1;
    uint32_t i = s_m.pMinContext->nNumStats;
    s->nFreq = static_cast<uint8_t>(sumFreq);
    do {
        uint32_t freq = (++s)->nFreq;
        escFreq -= freq;
        freq = (freq + adder) >> 1;
        sumFreq += freq;
        s->nFreq = static_cast<uint8_t>(freq);
        if (freq > s[-1].nFreq) {
            const State tmp = *s;
            State* s1 = s;
            do { s1[0] = s1[-1]; } while (--s1 != stats && freq > s1[-1].nFreq);
            *s1 = tmp;
        }
    } while (--i);

    if (s->nFreq == 0) {   // drop the symbols whose frequency fell to 0
        i = 0;
        do { i++; } while ((--s)->nFreq == 0);
        escFreq += i;
        Context* mc = s_m.pMinContext;
        const uint32_t numStats = mc->nNumStats;
        const uint32_t numStatsNew = numStats - i;
        mc->nNumStats = static_cast<uint8_t>(numStatsNew);
        const uint32_t n0 = (numStats + 2) >> 1;
        if (numStatsNew == 0) {
            uint32_t freq = (2 * static_cast<uint32_t>(stats->nFreq) + escFreq - 1) / escFreq;
            if (freq > kMaxFreq / 3) freq = kMaxFreq / 3;
            mc->nFlags = static_cast<uint8_t>((mc->nFlags & kFlagPrevHigh) + HiBitsFlag3(stats->nSymbol));
            s = OneState(mc);
            *s = *stats;
            s->nFreq = static_cast<uint8_t>(freq);
            s_m.pFoundState = s;
            InsertNode(stats, U2I(n0));
            return;
        }
        const uint32_t n1 = (numStatsNew + 2) >> 1;
        if (n0 != n1) mc->nStats = Ref(ShrinkUnits(stats, n0, n1));
    }
    Context* mc = s_m.pMinContext;
    mc->nSummFreq = static_cast<uint16_t>(sumFreq + escFreq - (escFreq >> 1));
    mc->nFlags |= kFlagRescaled;
    s_m.pFoundState = Stats(mc);
}

See* MakeEscFreq(uint32_t numMasked, uint32_t* escFreq) {
    const Context* mc = s_m.pMinContext;
    const uint32_t numStats = mc->nNumStats;
    if (numStats == 0xFF) {
        *escFreq = 1;
        return &s_m.dummySee;
    }
    See* see = s_m.see[s_m.abNs2Indx[numStats + 2] - 3] + (mc->nSummFreq > 11 * (numStats + 1) ? 1 : 0) +
               2 * (2 * numStats < static_cast<uint32_t>(Suffix(mc)->nNumStats) + numMasked ? 1 : 0) + mc->nFlags;
    const uint32_t summ = see->nSumm;
    const uint32_t r = summ >> see->nShift;
    see->nSumm = static_cast<uint16_t>(summ - r);
    *escFreq = r + (r == 0 ? 1 : 0);
    return see;
}

void SeeUpdate(See* see) {
    if (see->nShift < kPeriodBits && --see->nCount == 0) {
        see->nSumm = static_cast<uint16_t>(see->nSumm << 1);
        see->nCount = static_cast<uint8_t>(3 << see->nShift++);
    }
}

void NextContext() {
    Context* c = Ctx(Successor(s_m.pFoundState));
    if (s_m.nOrderFall == 0 && reinterpret_cast<uint8_t*>(c) >= s_m.pbUnitsStart)
        s_m.pMaxContext = s_m.pMinContext = c;
    else
        UpdateModel();
}

void Update1() {
    State* s = s_m.pFoundState;
    const uint32_t freq = s->nFreq + 4u;
    s_m.pMinContext->nSummFreq = static_cast<uint16_t>(s_m.pMinContext->nSummFreq + 4);
    s->nFreq = static_cast<uint8_t>(freq);
    if (freq > s[-1].nFreq) {
        SwapStates(s, &s[-1]);
        s_m.pFoundState = --s;
        if (freq > kMaxFreq) Rescale();
    }
    NextContext();
}

void Update1First() {
    State* s = s_m.pFoundState;
    Context* mc = s_m.pMinContext;
    const uint32_t freq = s->nFreq + 4u;
    const uint32_t summFreq = mc->nSummFreq;
    s_m.nPrevSuccess = (2 * s->nFreq >= summFreq) ? 1 : 0;
    s_m.nRunLength += static_cast<int32_t>(s_m.nPrevSuccess);
    mc->nSummFreq = static_cast<uint16_t>(summFreq + 4);
    s->nFreq = static_cast<uint8_t>(freq);
    if (freq > kMaxFreq) Rescale();
    NextContext();
}

void Update2() {
    State* s = s_m.pFoundState;
    const uint32_t freq = s->nFreq + 4u;
    s_m.nRunLength = s_m.nInitRL;
    s_m.pMinContext->nSummFreq = static_cast<uint16_t>(s_m.pMinContext->nSummFreq + 4);
    s->nFreq = static_cast<uint8_t>(freq);
    if (freq > kMaxFreq) Rescale();
    UpdateModel();
}

void UpdateBin(State* s) {
    const uint32_t freq = s->nFreq;
    s_m.pFoundState = s;
    s_m.nPrevSuccess = 1;
    s_m.nRunLength++;
    s->nFreq = static_cast<uint8_t>(freq + (freq < 196 ? 1 : 0));
    NextContext();
}

uint16_t* BinSumm() {
    Context* mc = s_m.pMinContext;
    return &s_m.anBinSumm[s_m.abNs2Indx[static_cast<uint32_t>(OneState(mc)->nFreq) - 1]]
                         [s_m.nPrevSuccess + ((static_cast<uint32_t>(s_m.nRunLength) >> 26) & 0x20) +
                          s_m.abNs2BsIndx[Suffix(mc)->nNumStats] + mc->nFlags];
}

uint32_t GetMean(uint32_t prob) { return (prob + (1u << (kPeriodBits - 2))) >> kPeriodBits; }

// ---- symbol masks ----------------------------------------------------------------------------

// A new generation of masks for the symbol being coded; the marks are wiped
// only when the 8-bit counter wraps.
void NewMaskGeneration() {
    if (++s_escCount == 0) {
        std::memset(s_charMask, 0, sizeof s_charMask);
        s_escCount = 1;
    }
}
void Mask(uint32_t sym) { s_charMask[sym] = s_escCount; }
uint32_t Unmasked(uint32_t sym) { return s_charMask[sym] == s_escCount ? 0 : 0xFF; }

// ---- range decoder ---------------------------------------------------------------------------

// Shifts in bytes while the top bytes of low and low + range agree, or the
// range is short (then cut to the next 2^15 boundary).
void DecNormalize() {
    while ((s_rc.nLow ^ (s_rc.nLow + s_rc.nRange)) < kTop ||
           (s_rc.nRange < kBot && ((s_rc.nRange = (0 - s_rc.nLow) & (kBot - 1)), true))) {
        s_rc.nCode = (s_rc.nCode << 8) | ReadByte();
        s_rc.nRange <<= 8;
        s_rc.nLow <<= 8;
    }
}

void DecInit() {
    s_rc.nCode = 0;
    s_rc.nRange = 0xFFFFFFFF;
    s_rc.nLow = 0;
    for (int i = 0; i < 4; i++) s_rc.nCode = (s_rc.nCode << 8) | ReadByte();
}

void DecDecode(uint32_t start, uint32_t size) {
    start *= s_rc.nRange;
    s_rc.nLow += start;
    s_rc.nCode -= start;
    s_rc.nRange *= size;
}

// The count in [0, total) the next symbol falls in; beyond it the data are corrupt.
uint32_t DecThreshold(uint32_t total) { return s_rc.nCode / (s_rc.nRange /= total); }

uint32_t CorrectSum(uint32_t sum) { return sum > s_rc.nRange ? s_rc.nRange : sum; }

int DecodeInMasked() {
    for (;;) {
        DecNormalize();
        Context* mc = s_m.pMinContext;
        const uint32_t numMasked = mc->nNumStats;
        do {
            s_m.nOrderFall++;
            if (!mc->nSuffix) return kSymEnd;
            mc = Suffix(mc);
        } while (mc->nNumStats == numMasked);
        s_m.pMinContext = mc;

        State* s = Stats(mc);
        const uint32_t num = static_cast<uint32_t>(mc->nNumStats) + 1;
        uint32_t hiCnt = 0;
        for (uint32_t i = 0; i < num; i++) hiCnt += s[i].nFreq & Unmasked(s[i].nSymbol);
        uint32_t freqSum;
        See* see = MakeEscFreq(numMasked, &freqSum);
        freqSum += hiCnt;
        const uint32_t total = CorrectSum(freqSum);
        uint32_t count = DecThreshold(total);
        if (count < hiCnt) {
            const uint32_t target = count;
            uint32_t low = 0;
            for (;; s++) {
                const uint32_t f = s->nFreq & Unmasked(s->nSymbol);
                if (target < low + f) break;
                low += f;
            }
            DecDecode(low, s->nFreq);
            DecNormalize();
            SeeUpdate(see);
            s_m.pFoundState = s;
            const int sym = s->nSymbol;
            Update2();
            return sym;
        }
        if (count >= total) return kSymError;
        DecDecode(hiCnt, total - hiCnt);
        see->nSumm = static_cast<uint16_t>(see->nSumm + freqSum);
        for (uint32_t i = 0; i < num; i++) Mask(s[i].nSymbol);
    }
}

int DecodeSymbol() {
    Context* mc = s_m.pMinContext;
    if (mc->nNumStats != 0) {
        State* s = Stats(mc);
        const uint32_t summFreq = CorrectSum(mc->nSummFreq);
        const uint32_t count = DecThreshold(summFreq);
        if (count >= summFreq) return kSymError;
        if (count < s->nFreq) {
            DecDecode(0, s->nFreq);
            DecNormalize();
            s_m.pFoundState = s;
            const int sym = s->nSymbol;
            Update1First();
            return sym;
        }
        s_m.nPrevSuccess = 0;
        uint32_t low = s->nFreq;
        for (uint32_t i = mc->nNumStats; i != 0; i--) {
            ++s;
            if (count < low + s->nFreq) {
                DecDecode(low, s->nFreq);
                DecNormalize();
                s_m.pFoundState = s;
                const int sym = s->nSymbol;
                Update1();
                return sym;
            }
            low += s->nFreq;
        }
        DecDecode(low, summFreq - low);
        NewMaskGeneration();
        State* stats = Stats(mc);
        for (uint32_t i = 0; i <= mc->nNumStats; i++) Mask(stats[i].nSymbol);
    } else {
        State* s = OneState(mc);
        uint16_t* prob = BinSumm();
        uint32_t pr = *prob;
        const uint32_t size0 = (s_rc.nRange >> 14) * pr;
        pr = pr - GetMean(pr);
        if (s_rc.nCode < size0) {
            *prob = static_cast<uint16_t>(pr + (1 << kIntBits));
            s_rc.nRange = size0;
            DecNormalize();
            const int sym = s->nSymbol;
            UpdateBin(s);
            return sym;
        }
        *prob = static_cast<uint16_t>(pr);
        s_m.nInitEsc = kExpEscape[pr >> 10];
        s_rc.nLow += size0;
        s_rc.nCode -= size0;
        s_rc.nRange = (s_rc.nRange & ~(kBinScale - 1)) - size0;
        NewMaskGeneration();
        Mask(s->nSymbol);
        s_m.nPrevSuccess = 0;
    }
    return DecodeInMasked();
}

// ---- range encoder ---------------------------------------------------------------------------

void EncNormalize() {
    while ((s_rc.nLow ^ (s_rc.nLow + s_rc.nRange)) < kTop ||
           (s_rc.nRange < kBot && ((s_rc.nRange = (0 - s_rc.nLow) & (kBot - 1)), true))) {
        WriteByte(static_cast<uint8_t>(s_rc.nLow >> 24));
        s_rc.nRange <<= 8;
        s_rc.nLow <<= 8;
    }
}

void EncEncode(uint32_t start, uint32_t size, uint32_t total) {
    s_rc.nLow += start * (s_rc.nRange /= total);
    s_rc.nRange *= size;
}

void EncFlush() {
    for (int i = 0; i < 4; i++, s_rc.nLow <<= 8) WriteByte(static_cast<uint8_t>(s_rc.nLow >> 24));
}

// symbol -1 codes the end marker: escapes down past order -1.
void EncodeInMasked(int symbol) {
    for (;;) {
        EncNormalize();
        Context* mc = s_m.pMinContext;
        const uint32_t numMasked = mc->nNumStats;
        do {
            s_m.nOrderFall++;
            if (!mc->nSuffix) return;
            mc = Suffix(mc);
        } while (mc->nNumStats == numMasked);
        s_m.pMinContext = mc;

        uint32_t escFreq;
        See* see = MakeEscFreq(numMasked, &escFreq);
        State* s = Stats(mc);
        const uint32_t num = static_cast<uint32_t>(mc->nNumStats) + 1;
        uint32_t sum = 0;
        State* found = nullptr;
        uint32_t low = 0;
        for (uint32_t i = 0; i < num; i++) {
            if (static_cast<int>(s[i].nSymbol) == symbol) {
                found = &s[i];
                low = sum;
            }
            sum += s[i].nFreq & Unmasked(s[i].nSymbol);
        }
        if (found) {
            SeeUpdate(see);
            s_m.pFoundState = found;
            const uint32_t total = CorrectSum(sum + escFreq);
            EncEncode(low, found->nFreq, total);
            EncNormalize();
            Update2();
            return;
        }
        uint32_t total = sum + escFreq;
        see->nSumm = static_cast<uint16_t>(see->nSumm + total);
        total = CorrectSum(total);
        EncEncode(sum, total - sum, total);
        for (uint32_t i = 0; i < num; i++) Mask(s[i].nSymbol);
    }
}

void EncodeSymbol(int symbol) {
    Context* mc = s_m.pMinContext;
    if (mc->nNumStats != 0) {
        State* s = Stats(mc);
        const uint32_t summFreq = CorrectSum(mc->nSummFreq);
        if (s->nSymbol == symbol) {
            EncEncode(0, s->nFreq, summFreq);
            EncNormalize();
            s_m.pFoundState = s;
            Update1First();
            return;
        }
        s_m.nPrevSuccess = 0;
        uint32_t sum = s->nFreq;
        for (uint32_t i = mc->nNumStats; i != 0; i--) {
            if ((++s)->nSymbol == symbol) {
                EncEncode(sum, s->nFreq, summFreq);
                EncNormalize();
                s_m.pFoundState = s;
                Update1();
                return;
            }
            sum += s->nFreq;
        }
        EncEncode(sum, summFreq - sum, summFreq);
        NewMaskGeneration();
        State* stats = Stats(mc);
        for (uint32_t i = 0; i <= mc->nNumStats; i++) Mask(stats[i].nSymbol);
    } else {
        uint16_t* prob = BinSumm();
        State* s = OneState(mc);
        uint32_t pr = *prob;
        const uint32_t bound = (s_rc.nRange >> 14) * pr;
        pr = pr - GetMean(pr);
        if (s->nSymbol == symbol) {
            *prob = static_cast<uint16_t>(pr + (1 << kIntBits));
            s_rc.nRange = bound;
            EncNormalize();
            UpdateBin(s);
            return;
        }
        *prob = static_cast<uint16_t>(pr);
        s_m.nInitEsc = kExpEscape[pr >> 10];
        s_rc.nLow += bound;
        s_rc.nRange = (s_rc.nRange & ~(kBinScale - 1)) - bound;
        NewMaskGeneration();
        Mask(s->nSymbol);
        s_m.nPrevSuccess = 0;
    }
    EncodeInMasked(symbol);
}

// ---- arena and streams -----------------------------------------------------------------------

void PrepareArena(uint32_t size) {
    if (size == s_arenaSize) return;
    std::memset(s_arena, 0, sizeof s_arena);
    s_arenaSize = size;
}

void ReleaseArena() {
    std::memset(s_arena, 0, sizeof s_arena);
    s_arenaSize = 0;
}

int32_t FinishDecoding(bool dataError) {
    int32_t result;
    if (s_out.bOverflow) result = kPpmdOutputFull;
    else if (s_in.bEnded) result = kPpmdInputShort;
    else if (dataError) result = kPpmdDataError;
    else if (s_in.nPos != s_in.nSize) result = kPpmdInputLeft;
    else if (s_out.nPos == s_out.nSize) result = kPpmdDone;
    else result = kPpmdDataError;
    ReleaseArena();
    s_decoding = false;
    return result;
}

// Decodes until the end marker, corrupt data, a flag, or the slice is used up.
int32_t DecodeSlice() {
    for (int32_t n = 0; n < kPpmdSliceSymbols; n++) {
        const int sym = DecodeSymbol();
        if (sym < 0) return FinishDecoding(sym == kSymError);
        WriteByte(static_cast<uint8_t>(sym));
        if (s_out.bOverflow || s_in.bEnded) return FinishDecoding(false);
    }
    return kPpmdMore;
}

int32_t CheckHeader(uint32_t signature, uint32_t memoryField, int32_t order, int32_t method) {
    if (order < 1) return kPpmdOrderLow;
    if (order > kPpmdMaxOrder) return kPpmdOrderHigh;
    if (method < 0) return kPpmdMethodLow;
    if (method > kPpmdFreeze) return kPpmdMethodHigh;
    if (signature != kPpmdSignature) return kPpmdBadSignature;
    if (memoryField != 0) return kPpmdMemoryHigh;   // only the 1 MB model fits the arena
    if (order < 2) return kPpmdOrderLow;            // would continue a model not in memory
    return kPpmdMore;
}

}  // namespace

int32_t PpmdDecompress(uint8_t* out, const uint32_t* pCapacity, const uint8_t* in, uint32_t inLen, int32_t start) {
    if (!start) return s_decoding ? DecodeSlice() : kPpmdDataError;
    s_decoding = false;
    s_in = InBuffer{in, 0, in ? inLen : 0, 0};
    s_out = OutBuffer{out, 0, (out && pCapacity) ? *pCapacity : 0, 0};
    const uint32_t signature = ReadByte();
    const uint32_t memoryField = ReadByte();
    const uint32_t orderMethod = ReadByte();
    if (s_in.bEnded) return kPpmdHeaderShort;
    const int32_t order = static_cast<int32_t>(orderMethod & 0x0F) + 1;
    const int32_t method = static_cast<int32_t>(orderMethod >> 4);
    const int32_t refused = CheckHeader(signature, memoryField, order, method);
    if (refused != kPpmdMore) return refused;

    PrepareArena(kPpmdArenaBytes);
    StartModel(static_cast<uint32_t>(order), static_cast<uint32_t>(method));
    DecInit();
    s_decoding = true;
    return DecodeSlice();
}

int32_t PpmdCompress(uint8_t* out, uint32_t* pCapacity, const uint8_t* in, uint32_t inLen, int32_t order,
                     int32_t memoryMb, int32_t method) {
    if (memoryMb < 1) return kPpmdMemoryLow;
    if (memoryMb > 256) return kPpmdMemoryHigh;
    if (order < 1) return kPpmdOrderLow;
    if (order > kPpmdMaxOrder) return kPpmdOrderHigh;
    if (method < 0) return kPpmdMethodLow;
    if (method > kPpmdFreeze) return kPpmdMethodHigh;
    if (memoryMb > 1) return kPpmdMemoryHigh;   // the arena holds the 1 MB model only
    if (order < 2) return kPpmdOrderLow;
    if (!pCapacity) return kPpmdOutputFull;

    s_decoding = false;   // the arena is taken over
    s_out = OutBuffer{out, 0, out ? *pCapacity : 0, 0};
    s_in = InBuffer{in, 0, in ? inLen : 0, 0};
    WriteByte(kPpmdSignature);
    WriteByte(static_cast<uint8_t>(memoryMb - 1));
    WriteByte(static_cast<uint8_t>(method * 16 + order - 1));
    PrepareArena(kPpmdArenaBytes);
    StartModel(static_cast<uint32_t>(order), static_cast<uint32_t>(method));
    s_rc.nLow = 0;
    s_rc.nRange = 0xFFFFFFFF;
    for (uint32_t i = 0; i < s_in.nSize; i++) EncodeSymbol(s_in.pb[i]);
    s_in.nPos = s_in.nSize;
    EncodeSymbol(-1);
    EncFlush();
    ReleaseArena();
    if (s_out.bOverflow) return kPpmdOutputFull;
    *pCapacity = s_out.nPos;
    return kPpmdOk;
}
