#include "net/net.h"

uint32_t G_NetEnable = 0;
uint32_t G_NetSerialShare = 0;
uint32_t G_LinkRec22Done = 0;
uint32_t G_NetIpLocal = 0;
uint32_t G_NetIpOther = 0;
