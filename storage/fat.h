// The FAT layer's records and calls.
#pragma once
#include <cstdint>

struct DFS_VolInfo {
    uint32_t nSectorsPerCluster;
    uint32_t nFat1;
    uint32_t nRootDir;
    uint32_t nDataArea;
};

struct DFS_FileInfo {
    DFS_VolInfo* volinfo;
    uint32_t nCluster;
    uint32_t nFirstCluster;
    uint32_t filelen;      // file size
    uint32_t pointer;      // current position
};

constexpr uint32_t DFS_OK    = 0;
constexpr uint32_t DFS_READ  = 1;
constexpr uint32_t DFS_ERRMISC = 0xFFFFFFFF;

extern DFS_VolInfo G_SdVolInfo;

uint32_t DFS_OpenFile(DFS_VolInfo* volinfo, const char* path, uint8_t mode, uint8_t* scratch, DFS_FileInfo* fileinfo);
