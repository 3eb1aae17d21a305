// Calibration sentences on a serial port: "$NRVCAL,key,action,value*hh" reads
// and writes instrument calibration points and settings keys, records live
// A/D values as points and saves the configuration files.
#pragma once
#include <cstdint>

constexpr int32_t kCalFieldChars = 31;   // longest key or value taken from a sentence

// Parse callback (installed with NmeaResync by the air-data calibration page);
// every call, rejected or not, leaves the port's nRxCount at 1.
void ParseCalSentence(uint8_t* msg, int32_t length, uint32_t port);
