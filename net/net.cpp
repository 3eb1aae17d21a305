#include "net/net.h"

RemoteUserDat G_RemoteUserDat = {};
uint32_t G_NetEnable = 0;
uint32_t G_NetSerialShare = 0;
uint32_t G_LinkRec22Done = 0;
uint32_t G_NetIpLocal = 0;
uint32_t G_NetIpOther = 0;
