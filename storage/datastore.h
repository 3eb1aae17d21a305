// The data-log flash ring.
#pragma once
#include <cstdint>

extern uint32_t G_DataStoreInterval;   // seconds between data-log records; 0 = off

void DataStoreInit();
void DataStoreRecord();
