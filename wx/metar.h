// METAR reports: the index of a decoded METAR set by airport, the flight
// category marks on the loaded airports, and the decoding of one report.
#pragma once
#include <cstdint>

constexpr uint32_t kWxMetarIndexSize = 80000;
constexpr uint32_t kWxMetarCopyBytes = 300000;
constexpr uint32_t kWxMetarMaxText   = 299999;

constexpr uint32_t kMetarVfr = 0x20000, kMetarMvfr = 0x40000, kMetarIfr = 0x80000, kMetarLifr = 0x100000;
constexpr uint32_t kMetarBoth = 0x200000;          // ceiling and visibility both known
constexpr uint32_t kMetarBits = 0x3E0000;
constexpr uint32_t kMetarUnknown = 99999;          // visibility or ceiling not given
constexpr uint32_t kMetarUnlimited = 100000;

#pragma pack(push, 1)
struct WxMetarReport {
    char     type[4];
    char     icao[8];
    char     time[12];
    char     wind[30];
    char     visi[20];
    char     rvr[42];
    uint32_t bvis;        // hundredths of a statute mile
    char     wthr[40];
    char     clds[40];
    char     vvis[12];
    uint32_t clng;        // feet
    char     temp[12];
    int32_t  btmp;
    int32_t  dpnt;
    char     baro[8];
    int32_t  bbro;
    char     rmrk[152];
    uint32_t flags;
};
#pragma pack(pop)
static_assert(sizeof(WxMetarReport) == 404);

// Offset + 1 of each station's report in the copy, by waypoint index; 0 none.
extern uint32_t G_WxMetarIndex[kWxMetarIndexSize];
extern char     G_WxMetarText[kWxMetarCopyBytes];

void WxMetarIndex(const char* text, uint32_t length);
void WxMetarDecode(const char* report, WxMetarReport* out);
void WxMetarDump(const WxMetarReport* r);
// The report of a waypoint index, null when the set holds none.
const char* WxMetarFor(int32_t waypointIndex);
