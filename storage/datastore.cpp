#include "storage/datastore.h"

#include <cmath>
#include <cstring>

#include "core/discrete.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "engine/instrument.h"
#include "nav/navsrc.h"
#include "storage/flash.h"
#include "storage/nvram.h"

uint32_t G_DataStoreInterval = 0;
DataStorePos G_DataStore = {0, 0, kDataStoreBase};

const LogChannel G_LogChannels[kLogChannels] = {
    {"DATE", -1},         {"TIME", -1},        {"ALTITUDE", 0},     {"SENSORTEMP", 1},   {"AOA", 2},
    {"AIRSPEED", 3},      {"BATVOLTS", 4},     {"VOLTS", 5},        {"OAT", 6},          {"BACKVOLTS", 7},
    {"VERTSPEED", 8},     {"FUEL_COMP", 9},    {"RPM", 10},         {"MANIFOLD", 11},    {"FUEL_PSI", 12},
    {"FUEL_FLOW", 13},    {"AMPS_SHUNT", 14},  {"AMPS_HALL", 15},   {"OIL_PSI", 16},     {"OIL_TEMP", 17},
    {"CARB_TEMP", 18},    {"TANK_1", 19},      {"TANK_2", 20},      {"TANK_3", 21},      {"TANK_4", 22},
    {"EGT_1", 26},        {"EGT_2", 27},       {"EGT_3", 28},       {"EGT_4", 29},       {"EGT_5", 30},
    {"EGT_6", 31},        {"TIT_1", 32},       {"TIT_2", 33},       {"CHT_1", 34},       {"CHT_2", 35},
    {"CHT_3", 36},        {"CHT_4", 37},       {"CHT_5", 38},       {"CHT_6", 39},       {"HP", 40},
    {"ELEV_TRIM", 23},    {"AIL_TRIM", 24},    {"FLAP_ANG", 25},    {"COOL_TEMP", 47},   {"FLIGHT_TIME", 46},
    {"TACH_TIME", 42},    {"HOBBS_TIME", 41},  {"TODAY_TIME", 43},  {"INPUTS_123", 48},  {"PITCH", 52},
    {"ROLL", 53},         {"HEADING", 54},     {"SLIP", 55},        {"G_METER", 56},     {"AHRS_STATUS", 57},
    {"LATITUDE", 58},     {"LAT_LWR", 59},     {"LONGITUDE", 60},   {"LON_LWR", 61},     {"GROUND_SPD", 62},
    {"TRACK_DTRUE", 63},  {"TRACK_DMAG", 64},  {"BARO", 65},        {"AOA_WING_PSF", 66}, {"SPARE", 67},
    {"SPARE", 67},
};

constexpr uint32_t kBlank       = 0xFFFFFFFF;
constexpr uint32_t kPauseTicks  = 368600;   // 0.1 s after a flash error
constexpr uint32_t kYearFirst   = 2000;
constexpr uint32_t kYearLast    = 2999;

// ---- channel values -------------------------------------------------------------

static int32_t Div10Round(int32_t v) {
    const double q = v / 10.0;
    return static_cast<int32_t>(q < 0 ? q - 0.5 : q + 0.5);
}

static int16_t Low16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

static int32_t InstValue(int32_t inst) { return G_InstReading[inst].nValue; }

static const NavSrcRec& MapSource() {
    const uint32_t slot = G_NavSrc.hdr.nMapSrcSlot;
    return G_NavSrc.rec[slot < static_cast<uint32_t>(kNavSlots) ? slot : 0];
}

// Degrees of the map source's position when it holds one, else the last stored.
static void Position(double* lat, double* lon) {
    const NavSrcRec& src = MapSource();
    if (NavHasPosition(src)) {
        *lat = src.fLat;
        *lon = src.fLon;
    } else {
        *lat = NvGetF32(kNvLastLatitude);
        *lon = NvGetF32(kNvLastLongitude);
    }
}

static int32_t Hundredths(double deg) { return static_cast<int32_t>(deg * 100.0); }
static int32_t LowerPart(double deg) {
    const double v = deg * 100000.0;
    return static_cast<int32_t>(v < 0 ? v - 0.5 : v + 0.5) - 1000 * Hundredths(deg);
}

static int32_t Inputs123() {
    const uint32_t s = G_DiscreteIn.nState;
    return 100 * static_cast<int32_t>(s & 1) + 10 * static_cast<int32_t>((s >> 1) & 1) +
           static_cast<int32_t>((s >> 2) & 1);
}

// Sources 48..67 and the instruments whose logged value is not the reading as it stands.
static int32_t SourceValue(int32_t code, double lat, double lon) {
    switch (code) {
    case 0:  return G_AirData.nBaroAlt / 10;
    case 2:  return 0;   // the angle-of-attack record is not kept yet
    case 3:  return G_AirData.nIas;
    case 6:  return G_AirData.nOat;
    case 8:  return G_AirData.nVs;
    case 10: case 41: case 42: case 43: case 46: return Div10Round(InstValue(code));
    case 48: return Inputs123();
    case 52: return G_Ahrs.nPitch;
    case 53: return G_Ahrs.nRoll;
    case 54: return G_Ahrs.nHeading;
    case 55: return Div10Round(G_Ahrs.nLatAccel);
    case 56: return Div10Round(G_Ahrs.nLoadFactor);
    case 57: return static_cast<int32_t>(G_Ahrs.nStatus);
    case 58: return Hundredths(lat);
    case 59: return LowerPart(lat);
    case 60: return Hundredths(lon);
    case 61: return LowerPart(lon);
    case 62: return MapSource().nGroundSpeed;
    case 63: return MapSource().nTrackTrue;
    case 64: return MapSource().nTrackMag;
    case 65: return G_AirData.nBaroSetting;
    case 66: return G_AirData.nWingPressure;
    default: break;
    }
    return code >= 0 && code < kInstruments ? InstValue(code) : 0;
}

void DataStoreBuild(DataStoreRec* rec) {
    std::memcpy(rec->nDateTime, &G_DateTime, sizeof rec->nDateTime);
    double lat = 0, lon = 0;
    Position(&lat, &lon);
    for (uint32_t c = 2; c < kLogChannels; ++c) rec->nChan[c - 2] = Low16(SourceValue(G_LogChannels[c].nCode, lat, lon));
}

// ---- flash ----------------------------------------------------------------------

static uint32_t SlotAddress(uint32_t sector, uint32_t rec) {
    return kDataStoreBase + sector * kFlashSectorBytes + rec * kDataStoreRecBytes;
}

static uint32_t FirstWord(uint32_t address) {
    uint32_t w;
    std::memcpy(&w, FlashPtr(address, 4), 4);
    return w;
}

static void SetPos(DataStorePos* p, uint32_t sector, uint32_t rec) {
    p->sector = sector;
    p->curRec = rec;
    p->address = SlotAddress(sector, rec);
}

static void FlashError() {
    DelayTicks(kPauseTicks);
    NvSetU32(kNvErrorCount, NvGetU32(kNvErrorCount) + 1);
}

static void EraseRing(uint32_t index, int32_t logNumber) {
    const int32_t r = FlashErase(kDataStoreSector0 + static_cast<int32_t>(index));
    if (r < 0) {
        DebugPrintf("ERROR:  flasherase(%d) returned %d\n", static_cast<int>(logNumber), static_cast<int>(r));
        FlashError();
    }
}

// Whole sector blank: a sector whose first slot is blank but later ones are
// not (an interrupted erase, a failed first write) is erased too.
static bool SectorBlank(uint32_t index) {
    const uint8_t* p = FlashPtr(SlotAddress(index, 0), kFlashSectorBytes);
    for (uint32_t i = 0; i < kFlashSectorBytes; ++i)
        if (p[i] != 0xFF) return false;
    return true;
}

void DataStoreInit() {
    for (uint32_t s = 0; s < kDataStoreSectors; ++s) {
        for (uint32_t r = 0; r < kDataStoreRecsPerSec; ++r) {
            if (FirstWord(SlotAddress(s, r)) == kBlank) {
                SetPos(&G_DataStore, s, r);
                return;
            }
        }
    }
    DebugPrintf("DataStore Sectors Full Resuming write at DataStore_Base\n");
    DelayTicks(kPauseTicks);
    SetPos(&G_DataStore, 0, 0);
    EraseRing(0, 0);
}

void DataStoreNextRec() {
    if (G_DataStore.curRec < kDataStoreRecsPerSec - 1) {
        G_DataStore.curRec += 1;
        G_DataStore.address += kDataStoreRecBytes;
        return;
    }
    if (G_DataStore.curRec == kDataStoreRecsPerSec - 1 && G_DataStore.sector < kDataStoreSectors) {
        const uint32_t next = (G_DataStore.sector + 1) % kDataStoreSectors;
        SetPos(&G_DataStore, next, 0);
        if (!SectorBlank(next)) EraseRing(next, static_cast<int32_t>(next));
        return;
    }
    DebugPrintf("ERROR:  G_DataStore.curRec:%d\n", static_cast<int>(G_DataStore.curRec));
    DebugPrintf("Resuming write at DataStore_Base\n");
    DelayTicks(kPauseTicks);
    SetPos(&G_DataStore, 0, 0);
    EraseRing(0, 0);
}

void DataStoreRecord() {
    DataStoreRec rec;
    DataStoreBuild(&rec);
    if (G_DataStore.sector >= kDataStoreSectors || G_DataStore.curRec >= kDataStoreRecsPerSec) {
        DataStoreNextRec();   // a corrupt position restarts the ring at its base
    }
    const int32_t r = FlashWrite(G_DataStore.address, &rec, sizeof rec);
    if (r >= 0) {
        DataStoreNextRec();
        return;
    }
    DebugPrintf("ERROR:  flashwrite(%d) returned %d\n", static_cast<int>(G_DataStore.sector), static_cast<int>(r));
    FlashError();
    // A slot left partly programmed can never take a record: move on.
    if (FirstWord(G_DataStore.address) != kBlank) DataStoreNextRec();
}

void DataStoreErase() {
    SetPos(&G_DataStore, 0, 0);
    for (uint32_t s = 0; s < kDataStoreSectors; ++s) EraseRing(s, kDataStoreSector0 + static_cast<int32_t>(s));
}

// ---- read cursors ---------------------------------------------------------------

const DataStoreRec* DataStoreAt(const DataStorePos* cursor) {
    return reinterpret_cast<const DataStoreRec*>(FlashPtr(cursor->address, kDataStoreRecBytes));
}

static bool Valid(const DataStorePos* cursor) {
    const uint32_t year = FirstWord(cursor->address);
    return year >= kYearFirst && year <= kYearLast;
}

static void StepForward(DataStorePos* c) {
    if (c->curRec + 1 < kDataStoreRecsPerSec) SetPos(c, c->sector, c->curRec + 1);
    else SetPos(c, (c->sector + 1) % kDataStoreSectors, 0);
}

static void StepBack(DataStorePos* c) {
    if (c->curRec > 0 && c->curRec < kDataStoreRecsPerSec) SetPos(c, c->sector, c->curRec - 1);
    else SetPos(c, (c->sector + kDataStoreSectors - 1) % kDataStoreSectors, kDataStoreRecsPerSec - 1);
}

int32_t GetNextRec(DataStorePos* cursor, int32_t /*first*/) {
    if (cursor->sector >= kDataStoreSectors) SetPos(cursor, 0, 0);
    for (uint32_t i = 0; i < kDataStoreRecs; ++i) {
        StepForward(cursor);
        if (cursor->sector == G_DataStore.sector && cursor->curRec == G_DataStore.curRec) {
            DebugPrintf("GetNextRec Back to beginning\n");
            return 0;
        }
        if (Valid(cursor)) return 1;
    }
    return 0;
}

int32_t RollBack(DataStorePos* cursor, int32_t n) {
    DebugPrintf("RollBack %d valid recs from Sec:%d, Rec:%d\n", static_cast<int>(n), static_cast<int>(cursor->sector),
                static_cast<int>(cursor->curRec));
    if (cursor->sector >= kDataStoreSectors) SetPos(cursor, 0, 0);
    uint32_t steps = 0;
    for (; steps < kDataStoreRecs - 1; ++steps) {
        StepBack(cursor);
        if (Valid(cursor)) --n;
        if (n < 0) {
            DebugPrintf("RollBack Rolled %d recs to Sec:%d, Rec:%d\n", static_cast<int>(steps),
                        static_cast<int>(cursor->sector), static_cast<int>(cursor->curRec));
            return 1;
        }
    }
    DebugPrintf("RollBack Rolled %d recs to Sec:%d, Rec:%d\n", static_cast<int>(steps),
                static_cast<int>(cursor->sector), static_cast<int>(cursor->curRec));
    return 0;
}
