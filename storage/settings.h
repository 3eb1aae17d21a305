// SYSTEM.KVD through the settings key table: one routine applies a file's
// pairs to the variables the table names, one writes them back as lines.
// The alarm ranges of the three voltage instruments travel as dotted keys.
#pragma once
#include <cstdint>

constexpr int kSystemKeys = 48;

// Entry types.
constexpr uint32_t kKeyI32     = 1;
constexpr uint32_t kKeyI16     = 2;
constexpr uint32_t kKeyI8      = 3;
constexpr uint32_t kKeyString  = 4;
constexpr uint32_t kKeySpecial = 5;
// Access: bit 2 written to the file; 1 read only.
constexpr uint32_t kKeyWritten  = 4;
constexpr uint32_t kKeyReadOnly = 1;

struct SystemKey {
    uint32_t marker;    // 3 in a used entry, 0 in an empty one
    char     name[96];
    uint32_t type;
    uint32_t access;
    void*    var;
};
extern const SystemKey SystemKeyTable[kSystemKeys];

// The AHRS type the file configured, kept apart from the stream's input kind
// that the repair rewrites, so that writing the file gives back what was read.
extern uint32_t G_AhrsTypeCfg;

// Kind 3: SYSTEM.KVD's table and range keys; 2 the air-data parser; 0 the
// engine parser; other kinds nothing. The pairs are those just read.
void    ApplySettingKeys(int32_t kind);
// Kind 3: fills the key tables with SYSTEM.KVD's lines and returns their count.
int32_t WriteSettingKeys(int32_t kind);
