// The AHRS record; its 66 bytes are also the display-link datagram type 2.
#pragma once
#include <cstdint>

#pragma pack(push, 1)
struct AhrsRecord {
    uint32_t nType;
    int32_t  nRoll;          // 0.1 degree
    int32_t  nPitch;         // 0.01 degree
    int32_t  nHeading;       // 0.1 degree
    int32_t  nReserved;
    int32_t  nRollRate;
    int32_t  nPitchRate;
    int32_t  nYawRate;
    int32_t  nAccelX;
    int32_t  nAccelY;
    int32_t  nAccelZ;
    uint32_t nModel;
    uint32_t nStatus;
    int32_t  nLatAccel;
    int32_t  nLoadFactor;    // 0.01 g
    int32_t  nFresh;
    uint16_t nStatusAge;     // seconds, counted by the clock interrupt
};
#pragma pack(pop)
static_assert(sizeof(AhrsRecord) == 66);

extern AhrsRecord G_Ahrs;
extern AhrsRecord G_RemoteAhrs;      // the other display's, for the cross-check
extern uint32_t   G_RemoteAhrsSeen;  // 1 once G_RemoteAhrs was filled

// Adds the pilot's adjustments of a block laid out as G_NVClock to a record.
void ApplyAttitudeAdjust(AhrsRecord* ahrs, const uint8_t* clockSettings);

struct AhrsState {
    uint32_t nAiding;            // AHRS_AIDING: the aiding message is sent while not 1
};
extern AhrsState G_AhrsState;

// Framing and parse callbacks of an external AHRS port.
void SyncDynonMsg(uint32_t port);
void ParseDynonMsg(uint8_t* msg, int32_t length, uint32_t port);
void SyncXbowMsg(uint32_t port);
void ParseXbow500Msg(uint8_t* msg, int32_t length, uint32_t port);

void CheckAhrsStatus();
void DemoAhrsStep();
void SendAhrsAiding();
