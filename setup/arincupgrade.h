// The ARINC adapter firmware upgrade (ArincUpgradeScreen in setup.h): the
// check ARINC.HEX passes before anything is sent.
#pragma once
#include <cstdint>

// 0 when the bytes are Intel HEX records (each line ":" and hex pairs of a
// bounded length with its byte count, a known type and a zero checksum
// sum) ending with the end-of-file record, blank lines allowed; otherwise
// the 1-based number of the first bad line. No bytes at all pass.
int32_t CheckIntelHex(const uint8_t* data, uint32_t size);

// The boot loader's version as last found ("B7"), empty when none answered.
const char* ArincLoaderVersion();
