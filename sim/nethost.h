// The Ethernet wire of kv5100: each frame one datagram between two ports of
// 127.0.0.1 (two units, or a unit and a script), or an existing TAP device.
#pragma once
#include <string>
#include "platform/board.h"

// SPEC: udp:LOCAL_PORT:PEER_PORT or tap:IFNAME. The descriptor is inherited by
// every application start, so the link outlives restarts and resets.
bool ValidNetSpec(const std::string& spec, std::string& error);
bool BindNetwork(platform::Board& board, const std::string& spec, std::string& error);
