// Fuel computer: endurance from the totals and the flow, the fuel data
// message for serial ports of function 8, and the colour rule the engine
// gauges share.
#pragma once
#include <cstdint>

constexpr int32_t kFuelDataMsgBytes = 13;
extern uint8_t FuelDataMsg[32];

// The GPS values the box uses, taken when navigation data change.
#pragma pack(push, 1)
struct FuelNavSnap {
    uint32_t nTime;           // OS timer
    uint32_t bValid;          // the source had a valid position
    float    fGroundSpeed;    // kt
    float    fDistance;       // NM to the active waypoint
    float    fAlongTrack;     // kt towards the waypoint's bearing
    char     szWaypoint[8];   // "---" without a waypoint
};
#pragma pack(pop)
static_assert(sizeof(FuelNavSnap) == 28);
extern FuelNavSnap G_FuelNavSnap;

constexpr uint32_t kFuelSnapMaxAge = 36864000;   // 10 s

void CalcFuelComputer();
// The pilot's entries of the fuel menu: filled to the MAX of the first
// `tanks` tanks (2 mains, 4 all), or the pending knob adjustment applied.
// Each logs, tells the other display, recomputes and writes the NVRAM image.
void FuelCompFill(int32_t tanks);
void FuelCompAdjust();
void SnapshotFuelState();

// What the fuel computer box shows: label, the waypoint line (modes 5, 6)
// and the value, with their colours.
struct FuelBox {
    const char* pLabel;
    uint32_t    nLabelColour;
    char        szWaypoint[9];   // empty: no waypoint line
    char        szValue[16];
    uint32_t    nValueColour;
};
// Fills the box for the current mode; false when the box is switched off.
bool FuelComputerBox(FuelBox* box);
void DrawFuelComputer();
// Endurance in seconds of remaining fuel at a flow (both tenths), clamped.
int32_t FuelEndurance(double remaining, int32_t flow);
void    BuildFuelDataMsg();

// Colour of a reading from its value and limits (0x00BBGGRR), stored whole in
// the reading; the reading's flag byte is cleared.
constexpr uint32_t kColourRed = 0x0000FF, kColourYellow = 0x00FFFF, kColourGreen = 0x00FF00,
                   kColourWhite = 0xFFFFFF;
uint32_t SetInstColor(int32_t inst);
