#include "net/net.h"

NetRing G_NetRing = {};
RemoteUserDat G_RemoteUserDat = {};
uint8_t  G_OwnIp[4] = {};
uint32_t G_NetEnable = 0;
uint32_t G_NetSerialShare = 0;
uint32_t G_LinkRec22Done = 0;
uint32_t G_NetIpLocal = 0;
uint32_t G_NetIpOther = 0;
