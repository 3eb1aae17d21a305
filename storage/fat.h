// FAT12/FAT16/FAT32 file layer on whole 512-byte sectors: 8.3 names,
// directories walked by path, files opened, created, read, written,
// positioned and deleted. It keeps no state of its own: the caller passes the
// volume, directory and file records and a 512-byte scratch sector.
#pragma once
#include <cstdint>

// Result codes.
constexpr uint32_t DFS_OK        = 0;
constexpr uint32_t DFS_EOF       = 1;
constexpr uint32_t DFS_NOTFOUND  = 3;
constexpr uint32_t DFS_PATHLEN   = 4;
constexpr uint32_t DFS_ALLOCNEW  = 5;
constexpr uint32_t DFS_ERRMISC   = 0xFFFFFFFF;
constexpr uint32_t DFS_BAD_CLUS  = 0x0FFFFFF7;   // a bad or missing cluster

constexpr uint8_t FAT12 = 0;
constexpr uint8_t FAT16 = 1;
constexpr uint8_t FAT32 = 2;

constexpr uint8_t DFS_READ  = 1;
constexpr uint8_t DFS_WRITE = 2;

constexpr uint8_t ATTR_READ_ONLY = 0x01;
constexpr uint8_t ATTR_VOLUME_ID = 0x08;
constexpr uint8_t ATTR_DIRECTORY = 0x10;
constexpr uint8_t ATTR_LONG_NAME = 0x0F;

constexpr uint32_t DFS_MAXPATH = 64;   // with the terminator
constexpr uint32_t SECTOR_SIZE = 512;

struct DFS_VolInfo {
    uint8_t  unit;
    uint8_t  filesystem;     // FAT12, FAT16, FAT32
    char     label[12];
    uint32_t startsector;
    uint8_t  secperclus;
    uint16_t reservedsecs;
    uint32_t numsecs;
    uint32_t secperfat;
    uint16_t rootentries;
    uint32_t numclusters;
    uint32_t fat1;
    uint32_t rootdir;        // sector (FAT12/16) or first cluster (FAT32)
    uint32_t dataarea;
    // FAT32: the FSInfo sector whose free count is still to be marked
    // unknown before the first change of this mount; 0 when nothing is due.
    uint32_t fsinfo;
};

#pragma pack(push, 1)
struct DFS_DirInfo {
    uint32_t currentcluster;   // 0: the fixed FAT12/16 root directory
    uint16_t currentsector;    // wide enough for a fixed root of 65,535 entries
    uint8_t  currententry;
    uint8_t* scratch;          // the caller's sector, holding the current directory sector
    uint8_t  flags;            // DFS_DI_BLANKENT: blank entries are wanted
    uint32_t walked;           // entries returned since the open; bounds a looping chain
};

struct DFS_FileInfo {
    DFS_VolInfo* volinfo;
    uint32_t dirsector;
    uint8_t  diroffset;
    uint8_t  mode;
    uint32_t firstcluster;
    uint32_t filelen;
    uint32_t cluster;          // holds the byte before `pointer` when that is on a cluster boundary
    uint32_t pointer;
};

struct DFS_DirEnt {
    uint8_t name[11];
    uint8_t attr;
    uint8_t reserved;
    uint8_t crttimetenth;
    uint8_t crttime_l, crttime_h;
    uint8_t crtdate_l, crtdate_h;
    uint8_t lstaccdate_l, lstaccdate_h;
    uint8_t startclus_h_l, startclus_h_h;
    uint8_t wrttime_l, wrttime_h;
    uint8_t wrtdate_l, wrtdate_h;
    uint8_t startclus_l_l, startclus_l_h;
    uint8_t filesize_0, filesize_1, filesize_2, filesize_3;
};
#pragma pack(pop)
static_assert(sizeof(DFS_DirEnt) == 32);

constexpr uint8_t DFS_DI_BLANKENT = 0x01;

uint32_t DFS_PartitionStart(uint8_t unit, uint8_t* scratch, uint8_t partition, uint8_t* active, uint8_t* type,
                            uint32_t* size);
uint32_t DFS_ReadVolumeInfo(uint8_t unit, uint8_t* scratch, uint32_t startsector, DFS_VolInfo* volinfo);
uint32_t DFS_ReadFatEntry(DFS_VolInfo* volinfo, uint8_t* scratch, uint32_t* cachedSector, uint32_t cluster);
uint32_t DFS_WriteFatEntry(DFS_VolInfo* volinfo, uint8_t* scratch, uint32_t* cachedSector, uint32_t cluster,
                           uint32_t value);
char*    DFS_PathTo83Name(char* dest, const char* path);   // dest: 12 bytes
uint32_t DFS_FindFreeCluster(DFS_VolInfo* volinfo, uint8_t* scratch);
uint32_t DFS_OpenDir(DFS_VolInfo* volinfo, const char* path, DFS_DirInfo* dirinfo);
uint32_t DFS_NextDirEntry(DFS_VolInfo* volinfo, DFS_DirInfo* dirinfo, DFS_DirEnt* dirent);
uint32_t DFS_FindFreeDirEntry(DFS_VolInfo* volinfo, const char* path, DFS_DirInfo* dirinfo, DFS_DirEnt* dirent);
uint32_t DFS_OpenFile(DFS_VolInfo* volinfo, const char* path, uint8_t mode, uint8_t* scratch, DFS_FileInfo* fileinfo);
uint32_t DFS_ReadFile(DFS_FileInfo* fileinfo, uint8_t* scratch, uint8_t* buffer, uint32_t* count, uint32_t len);
uint32_t DFS_WriteFile(DFS_FileInfo* fileinfo, uint8_t* scratch, const uint8_t* buffer, uint32_t* count, uint32_t len);
// Sets the position, clipped to the file's length; a chain that ends early
// leaves the position at its end, a broken one at 0.
void     DFS_Seek(DFS_FileInfo* fileinfo, uint32_t offset, uint8_t* scratch);
uint32_t DFS_DeleteFile(DFS_VolInfo* volinfo, const char* path, uint8_t* scratch);

void DFS_DumpSector(const uint8_t* buffer);
void DFS_PrintVolInfo(const DFS_FileInfo* fileinfo);
