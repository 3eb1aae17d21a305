// The data-log flash ring: twelve flash sectors of fixed 156-byte records,
// one every G_DataStoreInterval seconds, found again at boot by the first
// blank slot; read cursors walk it for the export and the map's track.
#pragma once
#include <cstdint>

extern uint32_t G_DataStoreInterval;   // seconds between data-log records; 0 = off

constexpr uint32_t kDataStoreBase       = 0x5C0000;
constexpr int32_t  kDataStoreSector0    = 46;       // flash sector of ring index 0
constexpr uint32_t kDataStoreSectors    = 12;
constexpr uint32_t kDataStoreRecsPerSec = 840;
constexpr uint32_t kDataStoreRecBytes   = 156;
constexpr uint32_t kDataStoreRecs       = kDataStoreSectors * kDataStoreRecsPerSec;   // 10,080
constexpr uint32_t kLogChannels         = 66;       // 0 DATE, 1 TIME, 2..65 recorded
constexpr uint32_t kLogChannelsRecorded = 64;

#pragma pack(push, 1)
struct DataStoreRec {
    uint32_t nDateTime[7];                  // year, month, weekday, day, hour, minute, second
    int16_t  nChan[kLogChannelsRecorded];   // channel c at index c - 2
};
#pragma pack(pop)
static_assert(sizeof(DataStoreRec) == kDataStoreRecBytes);

// The write position, and the same form as a read cursor.
struct DataStorePos {
    uint32_t sector;    // ring index 0..11
    uint32_t curRec;    // slot 0..839
    uint32_t address;   // flash address of that slot
};
static_assert(sizeof(DataStorePos) == 12);
extern DataStorePos G_DataStore;

struct LogChannel {
    char    szName[16];
    int32_t nCode;      // instrument index 0..47, another source 48..67, -1 for DATE and TIME
};
extern const LogChannel G_LogChannels[kLogChannels];

void DataStoreInit();
void DataStoreRecord();
void DataStoreNextRec();
void DataStoreErase();
// Forward to the next valid record: 1 found, 0 none (back at the write position).
int32_t GetNextRec(DataStorePos* cursor, int32_t first);
// Back past n valid records: 1 done, 0 the lap ran out.
int32_t RollBack(DataStorePos* cursor, int32_t n);
// The record under a cursor, read in place from flash.
const DataStoreRec* DataStoreAt(const DataStorePos* cursor);
// One record's channel values from the current readings (channel c at c - 2).
void DataStoreBuild(DataStoreRec* rec);
