#include "engine/fuelcomp.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "engine/pulse.h"
#include "nav/navsrc.h"
#include "setup/setup.h"
#include "storage/nvram.h"
#include "ui/knob.h"
#include "ui/style.h"

uint8_t     FuelDataMsg[32] = {};
FuelNavSnap G_FuelNavSnap = {};

namespace {
constexpr int32_t kMaxEndurance = 359999;   // 99:59:59
}

static int32_t RoundHalfAway(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v >= 0 ? v + 0.5 : v - 0.5);
}

int32_t FuelEndurance(double remaining, int32_t flow) {
    if (flow == 0) return 0;
    // The quotient in single precision, the product in double.
    const double s = static_cast<double>(static_cast<float>(remaining) / static_cast<float>(flow)) * 3600.0 + 0.5;
    if (!std::isfinite(s) || s <= 0) return 0;
    return s >= kMaxEndurance ? kMaxEndurance : static_cast<int32_t>(s);
}

void CalcFuelComputer() {
    if (G_NetStreamCfg[kStreamEngine].NET == 2) {
        NvSetF64(kNvGalsUsed, G_InstReading[kInstFuelComp].nValue);
        NvSetF64(kNvGalsRem, G_InstReading[kInstFuelComp].nValue2);
    } else {
        FoldFuelTotals();
    }
    const int32_t endurance = FuelEndurance(FuelRemaining(), G_InstReading[kInstFuelFlow].nValue);
    NvSetU32(164, static_cast<uint32_t>(endurance));
    char text[16] = {};   // all 16 bytes are stored: no stack garbage in the image
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>((endurance / 3600) % 3600),
                  static_cast<int>((endurance / 60) % 60));
    for (uint32_t i = 0; i < sizeof text; ++i) G_NVRam[172 + i] = static_cast<uint8_t>(text[i]);
    BuildFuelDataMsg();
}

static void Tenths(char* out, int32_t v) {
    const int32_t frac = v % 10 < 0 ? -(v % 10) : v % 10;
    if (v < 0 && v > -10) std::snprintf(out, 16, "-0.%d", static_cast<int>(frac));
    else std::snprintf(out, 16, "%d.%d", static_cast<int>(v / 10), static_cast<int>(frac));
}

static void SetFuelTotals(const char* what, double used, double remaining) {
    NvSetF64(kNvGalsUsed, used);
    NvSetF64(kNvGalsRem, remaining);
    InstReading& r = G_InstReading[kInstFuelComp];
    r.nValue = RoundHalfAway(used);
    r.nValue2 = RoundHalfAway(remaining);
    char remText[16], usedText[16];
    Tenths(remText, ToDisplayUnits(kInstFuelFlow, r.nValue2));
    Tenths(usedText, ToDisplayUnits(kInstFuelFlow, r.nValue));
    DebugPrintf("FUEL COMP: %s (%s) Rem:%s Used:%s\n", what,
                G_InstCfg[kInstFuelFlow].nUnits == 1 ? "LTR USED" : "GAL USED", remText, usedText);
    SendRemoteUserEvent(4, static_cast<uint32_t>(r.nValue), static_cast<uint32_t>(r.nValue2));
    CalcFuelComputer();
    WriteNVRam(0);
}

void FuelCompFill(int32_t tanks) {
    FoldFuelTotals();   // fuel counted before the fill belongs to the old totals
    double full = 0.0;
    for (int32_t t = 0; t < tanks && t < 4; ++t) full += G_InstCfg[kInstTank1 + t].nMax;
    SetFuelTotals(tanks == 2 ? "Fill Mains" : "Fill All", 0.0, full);
}

void FuelCompAdjust() {
    FoldFuelTotals();
    int32_t amount = static_cast<int32_t>(NvGetU32(kNvFuelAdjust));
    if (G_InstCfg[kInstFuelFlow].nUnits == 1) amount = RoundHalfAway(amount * 0.264256);
    NvSetU32(kNvFuelAdjust, 0);
    SetFuelTotals("Adjust", NvGetF64(kNvGalsUsed) - amount, NvGetF64(kNvGalsRem) + amount);
}

// Four digits, last first, and their check digit; the field holds 0..9999.
static void PutField(uint8_t* at, int32_t value) {
    value = value < 0 ? 0 : (value > 9999 ? 9999 : value);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", static_cast<int>(value));
    int32_t sum = 0;
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(digits[3 - i]);
        sum += digits[3 - i] - '0';
    }
    at[4] = static_cast<uint8_t>('0' + sum % 10);
}

// Tenths of a gallon, or whole litres.
static int32_t MsgUnits(int32_t inst, int32_t value, bool litres) {
    const int32_t shown = ToDisplayUnits(inst, value);
    return litres ? RoundHalfAway(shown / 10.0) : shown;
}

void BuildFuelDataMsg() {
    std::memset(FuelDataMsg, 0, sizeof FuelDataMsg);
    const bool litres = G_InstCfg[kInstFuelFlow].nUnits == 1;
    FuelDataMsg[0] = 0x02;
    FuelDataMsg[1] = litres ? 'L' : 'G';
    PutField(&FuelDataMsg[2], MsgUnits(kInstFuelComp, G_InstReading[kInstFuelComp].nValue2, litres));
    PutField(&FuelDataMsg[7], MsgUnits(kInstFuelFlow, G_InstReading[kInstFuelFlow].nValue, litres));
    FuelDataMsg[12] = 0x03;
}

// ---- navigation snapshot ------------------------------------------------------------

static const NavSrcRec* SnapshotSource() {
    const uint32_t slot = G_NavSrc.hdr.nCrsSlot == kNavMapSlot ? kNavMapSlot : G_NavSrc.hdr.nMapSrcSlot;
    return slot < static_cast<uint32_t>(kNavSlots) ? &G_NavSrc.rec[slot] : nullptr;
}

// Ground speed resolved along the bearing to the waypoint; nothing once the
// two directions are 90 degrees or more apart.
static float AlongTrack(float groundSpeed, int32_t track, int32_t bearing) {
    const int32_t angle = ((track - bearing) % 3600 + 3600) % 3600;   // tenths of a degree
    if (angle >= 900 && angle <= 2700) return 0.0f;
    const double radians = angle / 10.0 * (3.14159265358979323846 / 180.0);
    return groundSpeed * std::cos(static_cast<float>(radians));
}

void SnapshotFuelState() {
    const NavSrcRec* src = SnapshotSource();
    FuelNavSnap& snap = G_FuelNavSnap;
    std::memset(&snap, 0, sizeof snap);
    if (!src || !NavHasPosition(*src)) return;
    snap.nTime = ReadOsTimer();
    snap.bValid = 1;
    snap.fGroundSpeed = static_cast<float>(src->nGroundSpeed) / 10.0f;
    snap.fDistance = static_cast<float>(src->nDistance) / 10.0f;
    snap.fAlongTrack = AlongTrack(snap.fGroundSpeed, src->nTrackMag, src->nBearing);
    if ((src->nGpsFlagsA & kNavGpsWptValid) && src->szWaypoint[0] != 0)
        std::memcpy(snap.szWaypoint, src->szWaypoint, sizeof snap.szWaypoint);
    else
        std::memcpy(snap.szWaypoint, "---", 4);
}

// ---- the box --------------------------------------------------------------------------

namespace {
constexpr uint32_t kNoGpsColour = 14;
}


// Tenths of fuel, litres to the nearest half litre.
static void FuelTenths(char* out, double tenths, bool litres) {
    Tenths(out, litres ? RoundTo5(static_cast<float>(tenths)) : RoundHalfAway(tenths));
}

static bool SnapshotFresh() {
    if (G_FuelNavSnap.bValid && TicksElapsed(ReadOsTimer(), G_FuelNavSnap.nTime, kFuelSnapMaxAge))
        G_FuelNavSnap.bValid = 0;
    return G_FuelNavSnap.bValid != 0;
}

// Modes 3..6: economy and the fuel to and at the waypoint from the snapshot.
static void GpsValue(FuelBox* box, uint32_t mode, double remaining, int32_t flow, bool litres) {
    if (!SnapshotFresh()) {
        std::snprintf(box->szValue, sizeof box->szValue, "NOGPS");
        box->nValueColour = kNoGpsColour;
        return;
    }
    const double gs = G_FuelNavSnap.fGroundSpeed;
    const double economy = flow != 0 ? gs / (flow / 10.0) : 0.0;
    if (mode <= 4) {
        if (flow == 0) std::snprintf(box->szValue, sizeof box->szValue, "---");
        else if (mode == 3) Tenths(box->szValue, RoundHalfAway(economy * 10.0));
        else Tenths(box->szValue, RoundHalfAway(gs * (litres ? 1.852 : 1.1507795) / (flow / 10.0) * 10.0));
        return;
    }
    std::snprintf(box->szWaypoint, sizeof box->szWaypoint, "%.8s", G_FuelNavSnap.szWaypoint);
    if (RoundHalfAway(economy * 8388608.0) == 0) {
        std::snprintf(box->szValue, sizeof box->szValue, "---");
        return;
    }
    const double required = G_FuelNavSnap.fDistance / economy * 10.0;
    FuelTenths(box->szValue, mode == 5 ? remaining - required : required, litres);
}

static uint32_t LabelColour() {
    const InstCfg& c = G_InstCfg[kInstFuelComp];
    int64_t tanks = 0, allow = c.nShiftAdj;
    bool any = false;
    for (int32_t t = kInstTank1; t <= kInstTank4; ++t) {
        if (G_InstCfg[t].nEnable == 0) continue;
        any = true;
        tanks += G_InstReading[t].nValue;
        if (G_InstReading[t].nValue2 == 1) allow += G_InstCfg[t].nMax / 3;
    }
    const int64_t diff = tanks - G_InstReading[kInstFuelComp].nValue2;
    return any && (diff > allow || -diff > allow) ? kColourYellow : kColourWhite;
}

bool FuelComputerBox(FuelBox* box) {
    *box = {};
    const InstCfg& c = G_InstCfg[kInstFuelComp];
    if (c.nEnable == 0) return false;
    const InstReading& r = G_InstReading[kInstFuelComp];
    const bool litres = c.nUnits == 1;
    const int32_t used = ToDisplayUnits(kInstFuelComp, r.nValue), rem = ToDisplayUnits(kInstFuelComp, r.nValue2);
    const int32_t flow = ToDisplayUnits(kInstFuelFlow, G_InstReading[kInstFuelFlow].nValue);
    box->nValueColour = kColourWhite;
    if (rem < ToDisplayUnits(kInstFuelComp, c.nRedLow)) box->nValueColour = kColourRed;
    else if (rem < ToDisplayUnits(kInstFuelComp, c.nYellowLow)) box->nValueColour = kColourYellow;
    box->nLabelColour = LabelColour();
    const uint32_t mode = NvGetU32(kNvFuelCompMode);
    switch (mode) {
    case 0:
        box->pLabel = litres ? "LTR USED" : "GAL USED";
        FuelTenths(box->szValue, used, litres);
        break;
    case 2:
        box->pLabel = "HRS REM";
        if (r.nValue == 0) std::snprintf(box->szValue, sizeof box->szValue, "---");
        else std::snprintf(box->szValue, sizeof box->szValue, "%.5s", reinterpret_cast<const char*>(&G_NVRam[172]));
        break;
    case 3: box->pLabel = litres ? "NM/LTR" : "NM/GAL"; break;
    case 4: box->pLabel = litres ? "KM/LTR" : "SM/GAL"; break;
    case 5: box->pLabel = litres ? "LREM AT" : "GREM AT"; break;
    case 6: box->pLabel = litres ? "LREQ TO" : "GREQ TO"; break;
    default:
        box->pLabel = litres ? "LTR REM" : "GAL REM";
        FuelTenths(box->szValue, rem, litres);
        break;
    }
    if (mode >= 3 && mode <= 6) GpsValue(box, mode, rem, flow, litres);
    return true;
}

void DrawFuelComputer() {
    FuelBox box;
    if (!FuelComputerBox(&box)) return;
    const bool large = G_EngLayoutIdx != 0;
    const int32_t x = GaugeWord(kInstFuelComp, 0), y = GaugeWord(kInstFuelComp, 1);
    const int32_t line = large ? 26 : 15;
    DrawTextF(box.nLabelColour, large ? 11 : 4, 15, x, y, "%s", box.pLabel);
    int32_t valueY = y + line;
    if (box.szWaypoint[0] != 0) {
        DrawTextF(box.nValueColour, large ? 8 : 3, 15, x, y + line, "%s", box.szWaypoint);
        valueY = y + 2 * line;
    }
    DrawTextF(box.nValueColour, large ? 10 : 7, 15, x, valueY, "%s", box.szValue);
}

// ---- colour rule ------------------------------------------------------------------

static uint32_t ColourOf(int32_t inst, int32_t v) {
    const InstCfg& c = G_InstCfg[inst];
    if (inst == kInstFuelComp || (inst >= kInstTank1 && inst <= kInstTank4)) {
        if (v <= c.nRedLow) return kColourRed;
        if (v > c.nYellowLow) return kColourGreen;
        return kColourYellow;
    }
    if (inst == kInstRpm) {
        if (v == 0) return kColourWhite;
        if (v >= c.nRedHigh) return kColourRed;
        if (v >= c.nYellowHigh) return kColourYellow;
        if (v > c.nYellowLow || v < c.nRedLow) return kColourWhite;   // outside the mid band
        return kColourYellow;
    }
    if (v >= c.nRedHigh) return kColourRed;
    if (v >= c.nYellowHigh) return kColourYellow;
    if (v > c.nYellowLow) return kColourGreen;
    if (v > c.nRedLow) return kColourYellow;
    return c.nRedLow == c.nMin ? kColourGreen : kColourRed;
}

uint32_t SetInstColor(int32_t inst) {
    if (inst < 0 || inst >= kInstruments) return kColourWhite;
    InstReading& r = G_InstReading[inst];
    const uint32_t colour = ColourOf(inst, r.nValue);
    r.nColour = colour;
    r.reserved[0] = 0;
    return colour;
}
