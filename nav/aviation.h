// The aviation data format of panel GPS navigators: STX, item records of one
// designator letter and fixed fields each ended by CR, ETX. Input from a
// navigator (functions 6, 8, 22) and the once-a-second output (14, 22).
#pragma once
#include <cstdint>

struct AvtnGpsRec {
    uint32_t bReceived;
    uint32_t nStamp;           // OS timer at the last message
    uint8_t  cStatus;          // 'A' navigation valid, 'V' flagged invalid
    uint8_t  bHasPos, bHasWpt, bHasXtk, bHasDtk, bHasBrg;
    float    fLat, fLon;       // degrees, north and east positive
    int32_t  nTrack;           // magnetic, whole degrees
    int32_t  nSpeed;           // knots
    int32_t  nDistance;        // to the waypoint, tenths of a nautical mile
    int32_t  nXtk;             // hundredths of a nautical mile, negative: steer left
    int32_t  nDtk;             // desired track, tenths of a degree
    int32_t  nBearing;         // to the waypoint, tenths of a degree
    int32_t  nVariation;       // tenths of a degree, west positive
    char     szWaypoint[8];
};

extern AvtnGpsRec G_AvtnGps[3];   // by source slot

// Reads one framed message into the record of the port's source slot;
// false when the port is no source or the message is not STX .. ETX.
bool AvtnParse(const uint8_t* msg, int32_t length, uint32_t port);
// Writes the output message of a slot into buf (at least 128 bytes); its length.
int32_t AvtnBuildOutput(int32_t slot, uint8_t* buf, int32_t size);
