// The network as the boot, the tick and the main loop reach it: the
// controller, the frame rings, IPv4 and ARP, and the display link's services.
#pragma once
#include <cstdint>

#include "net/cs8900.h"
#include "net/frames.h"
#include "net/ipv4.h"
#include "net/link.h"
#include "net/tcp.h"

extern uint32_t G_NetEnable;      // NET_ENABLE
extern uint32_t G_NetSerialShare; // NET_SERIAL_SHARE
// Set once display-link record 22 has been sent; the main loop sends it while 0.
extern uint32_t G_LinkRec22Done;
// NET_IP_ADR_LOCAL and NET_IP_ADR_OTHER: a whole address word (first octet in
// the top byte) or a host number 175..179.
extern uint32_t G_NetIpLocal;
extern uint32_t G_NetIpOther;
