// Comma-separated data logs on the SD card: the live engine log, the export
// of the data-log flash ring, and the channel lists (LOGCFGSD.KVD) that pick
// the columns of both.
#pragma once
#include <cstdint>

constexpr uint32_t kLogChanEnd      = 999;   // ends both lists
constexpr uint32_t kLogChanSDWords  = 110;
constexpr uint32_t kLogChanFlashWords = 66;
constexpr int32_t  kCfgLogCfgSD     = 19;    // LOGCFGSD.KVD

extern uint32_t G_LogChanSD[kLogChanSDWords];        // instrument indices of the live log
extern uint32_t G_LogChanFlash[kLogChanFlashWords];  // channel numbers of the export

int32_t LoadLogChannels();     // negative when LOGCFGSD.KVD is missing
void    WriteLogCfgSD();
void    OpenEngineLog();
void    WriteEngineLogRec(int32_t flush);
// Exports the last `minutes` of the ring; interactive 1 shows progress at
// (x, y) and takes soft key 4 for cancelling, otherwise pop-ups.
void    DataStoreToSD(int32_t x, int32_t y, int32_t minutes, int32_t interactive);
