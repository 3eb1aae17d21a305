// A diagnostic run of the FAT layer on the mounted card: volume parameters,
// listings, small files written, read back and deleted, two larger files.
// Every line it adds to the system log begins with "#". It leaves
// WRTEST0.TXT, WRTEST2.TXT, WRTEST3.TXT and WRTEST4.TXT in the root.
#pragma once
#include <cstdint>

// 0 when every step ran, 0xFFFFFFFF at the first failing step.
uint32_t SdSelfTest();
