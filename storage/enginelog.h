// SD engine data logs and the log-channel lists.
#pragma once
#include <cstdint>

int32_t LoadLogChannels();     // negative when LOGCFGSD.KVD is missing
void    WriteLogCfgSD();
void    WriteEngineLogRec(int32_t flush);
