#include "nav/navsrc.h"

#include <cstring>

#include "core/boot.h"
#include "core/rtc.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "storage/clockmem.h"
#include "ui/knob.h"

NavSrcTable G_NavSrc = {};

const char NavSrcKindNames[kNavKinds][16] = {"GNAV1", "GPS1", "NAV1", "GNAV2", "GPS2", "NAV2", "GNAV3",
                                             "GPS3",  "NAV3", "MAP",  "MAP1", "MAP2", "MAP3", "NONE"};

namespace {
constexpr int32_t kRegCourseType = 12;   // bits 0..1: header bits 0..1
constexpr int32_t kRegSlots = 14;        // bits 1..3 course slot, 4..6 bearing slot
}

void InitNavSrc() {
    std::memset(&G_NavSrc, 0, sizeof G_NavSrc);
    for (uint8_t& port : G_NavSrc.hdr.nPort) port = kNavNoPort;
    G_NavSrc.hdr.MAP_LATLON_PORT = kNavNoPort;
    for (int32_t s = 0; s < kNavSlots; ++s) {
        NavSrcRec& r = G_NavSrc.rec[s];
        r.nKind = s == kNavMapSlot ? kNavKindMap : kNavKindNone;
        r.nPort = kNavNoPort;
        r.nStartByte = 0;
    }
}

void ClearNavPart(int32_t slot, uint32_t at, uint32_t bytes) {
    if (slot < 0 || slot >= kNavSlots || at >= sizeof(NavSrcRec)) return;
    if (bytes > sizeof(NavSrcRec) - at) bytes = sizeof(NavSrcRec) - at;
    std::memset(reinterpret_cast<uint8_t*>(&G_NavSrc.rec[slot]) + at, 0, bytes);
}

bool NavHasPosition(const NavSrcRec& rec) { return (rec.nGpsFlagsB & kNavGpsOwnPos) != 0; }

static void StoreSlotBits(uint32_t shift, uint32_t slot) {
    const uint8_t mask = static_cast<uint8_t>(7u << shift);
    StoreClockReg(kRegSlots, static_cast<uint8_t>((G_ClockMem[kRegSlots] & ~mask) | ((slot & 7u) << shift)));
}

void SelectCrsSource() {
    NavSrcHeader& h = G_NavSrc.hdr;
    uint8_t flags = h.nFlags0 & static_cast<uint8_t>(~(kNavHdrCrsGps | kNavHdrCrsRadio));
    if (h.nCrsSlot < 5) {
        DebugPrintf("NAV: crsSel:%d", static_cast<int>(h.nCrsSlot));
        StoreSlotBits(1, h.nCrsSlot);
        const uint8_t type = G_NavSrc.rec[h.nCrsSlot].nType;
        if (type == 1) flags |= kNavHdrCrsGps;
        else if (type == 2) flags |= kNavHdrCrsRadio;
    } else {
        DebugPrintf("NAV: No CRS Selected");
        h.nCrsSlot = kNavNoneSlot;
        StoreSlotBits(1, kNavNoneSlot);
    }
    h.nFlags0 = flags;
    StoreClockReg(kRegCourseType, static_cast<uint8_t>((G_ClockMem[kRegCourseType] & ~3u) | (flags & 3u)));
    ResetKnobAllow();
    const bool radio = (flags & kNavHdrCrsRadio) != 0;
    if (!radio && G_Knob0.nFunction == kKnobCrs) NextKnobFunc(0);
    else if (radio && G_Knob0.nFunction != kKnobCrs) SetKnobFunc(&G_Knob0, kKnobCrs);
}

void SelectBrgSource() {
    NavSrcHeader& h = G_NavSrc.hdr;
    if (h.nBrgSlot < 5) {
        DebugPrintf("NAV: brgSel:%d", static_cast<int>(h.nBrgSlot));
        StoreSlotBits(4, h.nBrgSlot);
    } else {
        DebugPrintf("NAV: No BRG Selected");
        StoreSlotBits(4, kNavNoneSlot);
    }
}

static bool IsGpsKind(uint8_t kind) {
    switch (kind) {
    case 0: case 1: case 3: case 4: case 6: case 7: return true;
    default: return false;
    }
}

int32_t NextGpsSlot(int32_t slot, int32_t withMap) {
    for (int32_t step = 1; step <= 3; ++step) {
        const int32_t s = ((slot % 4 + 4) % 4 + step) % 4;
        const NavSrcRec& r = G_NavSrc.rec[s];
        if (r.bInUse != 0 && (IsGpsKind(r.nKind) || (withMap != 0 && r.nKind == kNavKindMap))) return s;
    }
    return slot;
}

int32_t NavSlotGpsNo(int32_t slot) {
    if (slot < 0 || slot >= kNavSlots) return 0;
    const uint8_t kind = G_NavSrc.rec[slot].nKind;
    return IsGpsKind(kind) ? kind / 3 + 1 : 0;
}

int32_t SelectGpsSlot(int32_t slot) {
    const int32_t start = (slot < 0 || slot > 2) ? 0 : slot;
    for (int32_t i = 0; i < 3; ++i) {
        const NavSrcRec& r = G_NavSrc.rec[(start + i) % 3];
        if ((r.nGpsFlagsA & kNavGpsValid) && (r.nGpsFlagsB & kNavGpsFix)) return (start + i) % 3;
    }
    return start;
}

// ---- assignment of the sources ---------------------------------------------

namespace {
constexpr uint8_t kKindGnav = 0, kKindGps = 1, kKindNav = 2;   // + 3 x source index

// The kind offset (GNAV, GPS, NAV) and slot type of a port function; false
// for a function that is no navigation source.
bool KindOfFunction(uint32_t function, uint8_t* kind, uint8_t* type) {
    switch (function) {
    case 2: case 14: case 19: case 6: case 8: case 22: *kind = kKindGps; *type = 1; return true;
    case 4: *kind = kKindNav; *type = 2; return true;
    case 5: *kind = kKindGnav; *type = 1; return true;   // the adapter carries both
    default: return false;
    }
}

bool UsableSlot(uint32_t slot) {
    if (slot == static_cast<uint32_t>(kNavMapSlot)) return true;
    return slot < static_cast<uint32_t>(kNavMapSlot) && G_NavSrc.rec[slot].nKind != kNavKindNone;
}

// While the navigation streams run on the demonstration step, its GPS flies
// in Src1: a GPS there like any other, unless Src1's port names a source.
bool DemoGpsInSlot(int32_t slot) {
    return slot == 0 && (G_DemoFlags & kDemoNav) != 0 && G_NetStreamCfg[kStreamNav1].DSRC == 3;
}

uint32_t FirstGpsSlot() {
    for (uint32_t s = 0; s < 3; ++s)
        if (IsGpsKind(G_NavSrc.rec[s].nKind)) return s;
    return kNavNoneSlot;
}
}  // namespace

void SetNavSrcKinds() {
    for (int32_t s = 0; s < 3; ++s) {
        NavSrcRec& r = G_NavSrc.rec[s];
        const uint8_t port = G_NavSrc.hdr.nPort[s];
        uint8_t kind = 0, type = 0;
        if (port < kSerialPorts && KindOfFunction(G_Serial[port].nFunction, &kind, &type)) {
            r.nKind = static_cast<uint8_t>(kind + 3 * s);
            r.nType = type;
            r.nPort = port;
        } else if (DemoGpsInSlot(s)) {
            r.nKind = kKindGps;
            r.nType = 1;
            r.nPort = port < kSerialPorts ? port : kNavNoPort;
        } else {
            r.nKind = kNavKindNone;
            r.nType = 0;
            r.nPort = port < kSerialPorts ? port : kNavNoPort;
        }
    }
    // The choices kept in the clock memory come back at its reading when they
    // name a usable slot; otherwise the first GPS is stored for them.
    uint8_t reg = 0;
    if (ReadClockMem(&reg, kRegSlots, 1) != 0) return;
    const uint32_t crs = (reg >> 1) & 7u, brg = (reg >> 4) & 7u;
    const uint32_t gps = FirstGpsSlot();
    G_NavSrc.hdr.nCrsSlot = static_cast<uint8_t>(UsableSlot(crs) ? crs : gps);
    G_NavSrc.hdr.nBrgSlot = static_cast<uint8_t>(UsableSlot(brg) ? brg : gps);
    G_ClockMem[kRegSlots] = reg;
    StoreSlotBits(1, G_NavSrc.hdr.nCrsSlot);
    StoreSlotBits(4, G_NavSrc.hdr.nBrgSlot);
}

void FindNavSources() {
    int32_t n = 0;
    for (uint8_t& port : G_NavSrc.hdr.nPort) port = kNavNoPort;
    for (uint32_t p = 1; p <= 4 && n < 3; ++p) {
        uint8_t kind = 0, type = 0;
        if (KindOfFunction(G_Serial[p].nFunction, &kind, &type)) G_NavSrc.hdr.nPort[n++] = static_cast<uint8_t>(p);
    }
    SetNavSrcKinds();
}
