// NMEA 0183 GPS input: one parse record per GPS source, filled by the port's
// parse callback (ParseNmeaMsg, declared with the source table) and read by
// the navigation-source merge.
#pragma once
#include <cstdint>

constexpr int32_t kNmeaRecords     = 3;    // one per GPS source, by the source port's position
constexpr int32_t kNmeaRouteMax    = 31;   // route entries a GPS may send
constexpr int32_t kNmeaRmhInts     = 7;

struct NmeaApb {
    char     szName[8];
    uint8_t  nStatus1, nStatus2;
    float    fXte;
    uint8_t  cSteer, cXteUnits, cArrival, cPerpendicular;
    float    fBrgOrigDest;
    uint8_t  cBrgOrigDestRef;      // 'M' or 'T'
    char     szDest[8];
    float    fBrgPresDest;
    uint8_t  cBrgPresDestRef;
    float    fHeadingToSteer;
    uint8_t  cHeadingRef;
    uint32_t bReceived, nStamp;
};

struct NmeaBod {
    char     szName[8];
    float    fBrgTrue;
    uint8_t  cTrue;
    float    fBrgMag;
    uint8_t  cMag;
    char     szDest[8];
    char     szOrigin[8];
    uint8_t  bHasMag;              // the magnetic bearing field was not empty
    uint32_t bReceived, nStamp;
};

struct NmeaGga {
    char     szName[8];
    char     szUtc[16];
    float    fLat;
    uint8_t  cNs;
    float    fLon;
    uint8_t  cEw;
    int32_t  nQuality;
    int32_t  nSatellites;
    float    fHdop;
    float    fAltitude;
    uint8_t  cAltUnit;
    float    fGeoid;
    uint8_t  cGeoidUnit;
    float    fDiffAge;
    char     szDiffStation[8];
    uint32_t bReceived, nStamp;
};

struct NmeaRmb {
    char     szName[8];
    uint8_t  cStatus;
    float    fXte;
    uint8_t  cSteer;
    char     szOrigin[8];
    char     szDest[8];
    float    fDestLat;
    uint8_t  cNs;
    float    fDestLon;
    uint8_t  cEw;
    float    fRange;
    float    fBearing;
    float    fClosing;
    uint8_t  cArrival;
    uint32_t bReceived, nStamp;
};

struct NmeaRmc {
    char     szName[8];
    char     szUtc[16];
    uint8_t  cStatus;
    float    fLat;
    uint8_t  cNs;
    float    fLon;
    uint8_t  cEw;
    float    fSpeed;
    float    fTrack;
    char     szDate[16];
    float    fVariation;
    uint8_t  cVarEw;
    uint8_t  cMode;
    uint32_t bReceived, nStamp;
};

struct NmeaRmh {                   // $PGRMH, vertical navigation
    char     szName[8];
    uint8_t  cStatus;
    int32_t  anField[kNmeaRmhInts];   // fields 2..8 as received
    uint32_t bReceived, nStamp;
};

struct NmeaRouteEntry {
    char     szIdent[8];
    float    fLat;
    uint8_t  cNs;
    float    fLon;
    uint8_t  cEw;
    uint32_t bFilled;              // the position came from a WPL
};

struct NmeaRoute {
    char     szName[8];
    uint8_t  nSentences;           // RTE sentences in the group
    uint8_t  nSentence;            // this one's number
    uint8_t  cMode;
    char     szRouteId[16];
    NmeaRouteEntry entry[kNmeaRouteMax];
    uint32_t nCount;               // identifiers listed
    uint32_t nFilled;              // of them with a position
    uint32_t bIdChanged;
    uint32_t bComplete;
    uint32_t bReceived, nStamp;    // RTE
    NmeaRouteEntry staging;        // the last WPL
    uint32_t bStagingIdent;
    int32_t  nLastMatch;
    uint32_t nWplStamp;
};

struct NmeaGpsRec {
    NmeaApb   apb;
    NmeaBod   bod;
    NmeaGga   gga;
    NmeaRmb   rmb;
    NmeaRmc   rmc;
    NmeaRmh   rmh;
    NmeaRoute route;
};

extern NmeaGpsRec G_NmeaGps[kNmeaRecords];
extern uint32_t   G_NmeaCrcErrors;   // checksum failures, all sentence types

// The GPS record of a source port, or nullptr when the port is none of them.
NmeaGpsRec* NmeaRecOfPort(uint32_t port);
// 1 when the checksum "*hh" follows within the length and matches; no length
// limit of its own (the framer's buffer bounds the line).
int32_t NmeaChecksumHolds(const char* sentence, int32_t length);
