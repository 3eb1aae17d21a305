#include "storage/fat.h"

#include <cstdio>
#include <cstring>

#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "storage/mmc.h"

constexpr uint32_t kMaxPartitionStart = 0x200000;
constexpr uint32_t kFileTimeLimit     = 30 * kTicksPerSecond;
constexpr uint32_t kDirEntriesMax     = 65536;   // the most a FAT directory may hold
constexpr uint32_t kEntriesPerSector  = SECTOR_SIZE / 32;
constexpr uint8_t  kDeleted           = 0xE5;

// ---- little helpers ------------------------------------------------------------

static uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
static uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
static void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
static void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

static uint32_t ClusterBytes(const DFS_VolInfo* vol) { return static_cast<uint32_t>(vol->secperclus) * SECTOR_SIZE; }
static uint32_t ClusterSector(const DFS_VolInfo* vol, uint32_t cluster) {
    return vol->dataarea + (cluster - 2) * vol->secperclus;
}
// A cluster number that names a data cluster of this volume.
static bool ValidCluster(const DFS_VolInfo* vol, uint32_t cluster) {
    return cluster >= 2 && cluster - 2 < vol->numclusters;
}
static bool IsEndOfChain(const DFS_VolInfo* vol, uint32_t v) {
    switch (vol->filesystem) {
    case FAT12: return v >= 0xFF8 && v <= 0xFFF;
    case FAT16: return v >= 0xFFF8 && v <= 0xFFFF;
    default:    return v >= 0x0FFFFFF8 && v <= 0x0FFFFFFF;
    }
}
static uint32_t EndOfChain(const DFS_VolInfo* vol) {
    return vol->filesystem == FAT12 ? 0xFF8 : vol->filesystem == FAT16 ? 0xFFF8 : 0x0FFFFFF8;
}

// Sector access limited to the volume: whatever a damaged FAT or entry says,
// nothing outside it is read or written.
static bool InVolume(const DFS_VolInfo* vol, uint32_t sector) {
    return sector >= vol->startsector && sector - vol->startsector < vol->numsecs;
}
static uint32_t ReadSector(const DFS_VolInfo* vol, uint8_t* buf, uint32_t sector) {
    if (!InVolume(vol, sector)) return DFS_ERRMISC;
    return DFS_SectorRead(vol->unit, buf, sector, 1) ? DFS_ERRMISC : DFS_OK;
}
static uint32_t WriteSector(const DFS_VolInfo* vol, const uint8_t* buf, uint32_t sector) {
    if (!InVolume(vol, sector)) return DFS_ERRMISC;
    return DFS_SectorWrite(vol->unit, buf, sector, 1) ? DFS_ERRMISC : DFS_OK;
}

static bool TookTooLong(uint32_t start) { return TicksElapsed(ReadOsTimer(), start, kFileTimeLimit); }

// Date and time of an entry: the clock's when it holds a valid date,
// else a fixed valid one.
static void StampNow(uint16_t* time, uint16_t* date) {
    const DateTime& t = G_DateTime;
    bool valid = t.nYear >= 1980 && t.nYear <= 2107 && t.nMonth >= 1 && t.nMonth <= 12 && t.nDay >= 1 &&
                 t.nDay <= 31 && t.nHours < 24 && t.nMinutes < 60 && t.nSeconds < 60;
    if (!valid) {
        *date = static_cast<uint16_t>((2006 - 1980) << 9 | 1 << 5 | 17);
        *time = static_cast<uint16_t>(1 << 11 | 1 << 5);
        return;
    }
    *date = static_cast<uint16_t>((t.nYear - 1980) << 9 | t.nMonth << 5 | t.nDay);
    *time = static_cast<uint16_t>(t.nHours << 11 | t.nMinutes << 5 | t.nSeconds / 2);
}

// ---- partition and volume ------------------------------------------------------

uint32_t DFS_PartitionStart(uint8_t unit, uint8_t* scratch, uint8_t partition, uint8_t* active, uint8_t* type,
                            uint32_t* size) {
    if (partition > 3) return DFS_ERRMISC;
    if (DFS_SectorRead(unit, scratch, 0, 1)) return DFS_ERRMISC;
    if (scratch[510] != 0x55 || scratch[511] != 0xAA) return DFS_ERRMISC;
    if (scratch[3] == 'M' && scratch[4] == 'S') return 0;   // a boot sector: not partitioned
    if (scratch[446] != 0x00 && scratch[446] != 0x80) return 0;
    const uint8_t* entry = scratch + 446 + 16 * partition;
    uint32_t start = Le32(entry + 8);
    if (start > kMaxPartitionStart) return DFS_ERRMISC;
    if (active) *active = entry[0];
    if (type) *type = entry[4];
    if (size) *size = Le32(entry + 12);
    return start;
}

static bool PowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }

// Bytes the FAT needs for all clusters of the volume.
static uint64_t FatBytesNeeded(uint8_t fs, uint32_t numclusters) {
    uint64_t entries = uint64_t{numclusters} + 2;
    return fs == FAT12 ? (entries * 3 + 1) / 2 : fs == FAT16 ? entries * 2 : entries * 4;
}

uint32_t DFS_ReadVolumeInfo(uint8_t unit, uint8_t* scratch, uint32_t startsector, DFS_VolInfo* volinfo) {
    std::memset(volinfo, 0, sizeof *volinfo);
    volinfo->unit = unit;
    volinfo->startsector = startsector;
    if (DFS_SectorRead(unit, scratch, startsector, 1)) return DFS_ERRMISC;

    uint32_t bytesPerSector = Le16(scratch + 11);
    uint32_t secperclus = scratch[13];
    uint32_t reserved = Le16(scratch + 14);
    uint32_t fats = scratch[16];
    uint32_t rootentries = Le16(scratch + 17);
    uint32_t numsecs = Le16(scratch + 19);
    if (numsecs == 0) numsecs = Le32(scratch + 32);
    bool fat32Form = Le16(scratch + 22) == 0;
    uint32_t secperfat = fat32Form ? Le32(scratch + 36) : Le16(scratch + 22);
    std::memcpy(volinfo->label, scratch + (fat32Form ? 71 : 43), 11);
    volinfo->label[11] = 0;

    // A damaged boot sector, or an MBR read as one, is refused here rather
    // than divided by or trusted with a geometry.
    if (bytesPerSector != SECTOR_SIZE || !PowerOfTwo(secperclus) || secperclus > 128 || reserved < 1 || fats != 2 ||
        secperfat == 0 || numsecs == 0)
        return DFS_ERRMISC;
    if (fat32Form != (rootentries == 0)) return DFS_ERRMISC;
    if (uint64_t{startsector} + numsecs > kSdSectorLimit) return DFS_ERRMISC;   // beyond 32-bit byte addresses

    uint64_t fat1 = uint64_t{startsector} + reserved;
    uint64_t rootdir = 0, dataarea = 0;
    if (!fat32Form) {
        rootdir = fat1 + 2 * uint64_t{secperfat};
        dataarea = rootdir + (32 * rootentries + 511) / 512;
    } else {
        dataarea = fat1 + 2 * uint64_t{secperfat};
        rootdir = Le32(scratch + 44);
    }
    if (dataarea - startsector >= numsecs) return DFS_ERRMISC;
    uint32_t numclusters = static_cast<uint32_t>((numsecs - (dataarea - startsector)) / secperclus);
    uint8_t fs = numclusters < 4085 ? FAT12 : numclusters < 65525 ? FAT16 : FAT32;
    if ((fs == FAT32) != fat32Form) return DFS_ERRMISC;
    if (FatBytesNeeded(fs, numclusters) > uint64_t{secperfat} * SECTOR_SIZE) return DFS_ERRMISC;

    volinfo->filesystem = fs;
    volinfo->secperclus = static_cast<uint8_t>(secperclus);
    volinfo->reservedsecs = static_cast<uint16_t>(reserved);
    volinfo->numsecs = numsecs;
    volinfo->secperfat = secperfat;
    volinfo->rootentries = static_cast<uint16_t>(rootentries);
    volinfo->numclusters = numclusters;
    volinfo->fat1 = static_cast<uint32_t>(fat1);
    volinfo->rootdir = static_cast<uint32_t>(rootdir);
    volinfo->dataarea = static_cast<uint32_t>(dataarea);
    if (fs == FAT32) {
        if (!ValidCluster(volinfo, volinfo->rootdir)) return DFS_ERRMISC;
        uint32_t fsinfo = Le16(scratch + 48);
        if (fsinfo >= 1 && fsinfo < reserved) volinfo->fsinfo = startsector + fsinfo;
    }
    return DFS_OK;
}

// ---- FAT entries -------------------------------------------------------------------

// Where a cluster's entry lies; false when outside the first FAT.
static bool FatPosition(const DFS_VolInfo* vol, uint32_t cluster, uint32_t* sector, uint32_t* pos) {
    uint64_t offset = vol->filesystem == FAT12   ? uint64_t{cluster} + cluster / 2
                      : vol->filesystem == FAT16 ? uint64_t{cluster} * 2
                                                 : uint64_t{cluster} * 4;
    uint64_t s = offset / SECTOR_SIZE;
    uint32_t bytes = vol->filesystem == FAT12 ? 2 : vol->filesystem == FAT16 ? 2 : 4;
    if ((offset + bytes - 1) / SECTOR_SIZE >= vol->secperfat) return false;
    *sector = vol->fat1 + static_cast<uint32_t>(s);
    *pos = static_cast<uint32_t>(offset % SECTOR_SIZE);
    return true;
}

static uint32_t LoadFatSector(const DFS_VolInfo* vol, uint8_t* scratch, uint32_t* cachedSector, uint32_t sector) {
    if (*cachedSector == sector && sector != 0) return DFS_OK;
    if (ReadSector(vol, scratch, sector) != DFS_OK) {
        *cachedSector = 0;
        return DFS_ERRMISC;
    }
    *cachedSector = sector;
    return DFS_OK;
}

uint32_t DFS_ReadFatEntry(DFS_VolInfo* volinfo, uint8_t* scratch, uint32_t* cachedSector, uint32_t cluster) {
    uint32_t sector = 0, pos = 0;
    if (!FatPosition(volinfo, cluster, &sector, &pos)) {
        *cachedSector = 0;
        return DFS_BAD_CLUS;
    }
    if (LoadFatSector(volinfo, scratch, cachedSector, sector) != DFS_OK) return DFS_BAD_CLUS;
    switch (volinfo->filesystem) {
    case FAT12: {
        uint32_t lo = scratch[pos], hi = 0;
        if (pos == SECTOR_SIZE - 1) {   // the entry straddles two sectors
            if (LoadFatSector(volinfo, scratch, cachedSector, sector + 1) != DFS_OK) return DFS_BAD_CLUS;
            hi = scratch[0];
        } else {
            hi = scratch[pos + 1];
        }
        uint32_t v = lo | hi << 8;
        return (cluster & 1) ? v >> 4 : v & 0xFFF;
    }
    case FAT16: return Le16(scratch + pos);
    default:    return Le32(scratch + pos) & 0x0FFFFFFF;
    }
}

// FAT32: the FSInfo free count goes stale with our changes, so it is marked
// unknown (which the FAT standard allows) once per mount, before the first.
static uint8_t s_fsinfo[SECTOR_SIZE];

static void ForgetFreeCount(DFS_VolInfo* vol) {
    if (vol->filesystem != FAT32 || vol->fsinfo == 0) return;
    uint32_t sector = vol->fsinfo;
    vol->fsinfo = 0;
    if (ReadSector(vol, s_fsinfo, sector) != DFS_OK) return;
    if (Le32(s_fsinfo) != 0x41615252 || Le32(s_fsinfo + 484) != 0x61417272 || Le32(s_fsinfo + 508) != 0xAA550000)
        return;
    if (Le32(s_fsinfo + 488) == 0xFFFFFFFF && Le32(s_fsinfo + 492) == 0xFFFFFFFF) return;
    Put32(s_fsinfo + 488, 0xFFFFFFFF);
    Put32(s_fsinfo + 492, 0xFFFFFFFF);
    WriteSector(vol, s_fsinfo, sector);
}

static uint32_t WriteBothFats(const DFS_VolInfo* vol, const uint8_t* scratch, uint32_t sector) {
    uint32_t r = WriteSector(vol, scratch, sector);
    if (r == DFS_OK) r = WriteSector(vol, scratch, sector + vol->secperfat);
    return r;
}

uint32_t DFS_WriteFatEntry(DFS_VolInfo* volinfo, uint8_t* scratch, uint32_t* cachedSector, uint32_t cluster,
                           uint32_t value) {
    uint32_t sector = 0, pos = 0;
    if (!FatPosition(volinfo, cluster, &sector, &pos)) return DFS_ERRMISC;
    ForgetFreeCount(volinfo);
    if (LoadFatSector(volinfo, scratch, cachedSector, sector) != DFS_OK) return DFS_ERRMISC;
    switch (volinfo->filesystem) {
    case FAT12: {
        value &= 0xFFF;
        uint8_t first = (cluster & 1) ? static_cast<uint8_t>((scratch[pos] & 0x0F) | (value & 0x0F) << 4)
                                      : static_cast<uint8_t>(value & 0xFF);
        scratch[pos] = first;
        if (pos == SECTOR_SIZE - 1) {
            uint32_t r = WriteBothFats(volinfo, scratch, sector);
            if (r != DFS_OK) return r;
            if (LoadFatSector(volinfo, scratch, cachedSector, sector + 1) != DFS_OK) return DFS_ERRMISC;
            sector += 1;
            pos = 0;
        } else {
            pos += 1;
        }
        scratch[pos] = (cluster & 1) ? static_cast<uint8_t>(value >> 4)
                                     : static_cast<uint8_t>((scratch[pos] & 0xF0) | (value >> 8));
        break;
    }
    case FAT16: Put16(scratch + pos, value & 0xFFFF); break;
    default:    Put32(scratch + pos, (Le32(scratch + pos) & 0xF0000000) | (value & 0x0FFFFFFF)); break;
    }
    return WriteBothFats(volinfo, scratch, sector);
}

uint32_t DFS_FindFreeCluster(DFS_VolInfo* volinfo, uint8_t* scratch) {
    uint32_t cached = 0;
    if (volinfo->numclusters < 3) return DFS_BAD_CLUS;
    for (uint32_t c = 2; c < volinfo->numclusters; ++c)
        if (DFS_ReadFatEntry(volinfo, scratch, &cached, c) == 0) return c;
    return DFS_BAD_CLUS;
}

// The next cluster of a chain: a data cluster, end of chain, or (anything
// else: free, reserved, bad, out of range, unreadable) an error.
enum class Link : uint8_t { Next, End, Broken };

static Link NextCluster(DFS_VolInfo* vol, uint8_t* scratch, uint32_t cluster, uint32_t* next) {
    uint32_t cached = 0;
    uint32_t v = DFS_ReadFatEntry(vol, scratch, &cached, cluster);
    if (IsEndOfChain(vol, v)) return Link::End;
    if (!ValidCluster(vol, v)) return Link::Broken;
    *next = v;
    return Link::Next;
}

// A free cluster marked end of chain, then linked after `last` (0: none).
static uint32_t AllocateCluster(DFS_VolInfo* vol, uint8_t* scratch, uint32_t last) {
    uint32_t c = DFS_FindFreeCluster(vol, scratch);
    if (c == DFS_BAD_CLUS) return DFS_BAD_CLUS;
    uint32_t cached = 0;
    if (DFS_WriteFatEntry(vol, scratch, &cached, c, EndOfChain(vol)) != DFS_OK) return DFS_BAD_CLUS;
    if (last && DFS_WriteFatEntry(vol, scratch, &cached, last, c) != DFS_OK) {
        DFS_WriteFatEntry(vol, scratch, &cached, c, 0);   // not left taken by no file
        return DFS_BAD_CLUS;
    }
    return c;
}

// Frees the chain from `cluster` (0: none) on; bounded, so a looping chain
// ends too. The rest of a broken chain is left alone and is an error.
static uint32_t FreeChain(DFS_VolInfo* vol, uint8_t* scratch, uint32_t cluster) {
    for (uint32_t n = 0; ValidCluster(vol, cluster) && n < vol->numclusters; ++n) {
        uint32_t next = 0;
        const Link link = NextCluster(vol, scratch, cluster, &next);
        uint32_t cached = 0;
        if (DFS_WriteFatEntry(vol, scratch, &cached, cluster, 0) != DFS_OK) return DFS_ERRMISC;
        if (link == Link::End) return DFS_OK;
        if (link == Link::Broken) return DFS_ERRMISC;
        cluster = next;
    }
    return cluster == 0 ? DFS_OK : DFS_ERRMISC;
}

// ---- names ---------------------------------------------------------------------------

char* DFS_PathTo83Name(char* dest, const char* path) {
    std::memset(dest, ' ', 11);
    dest[11] = 0;
    if (!path || !*path || *path == '/') return dest;
    uint32_t i = 0;
    for (const char* p = path; *p && *p != '/' && i < 11; ++p) {
        char c = *p;
        if (c == '.') {
            i = 8;
            continue;
        }
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        dest[i++] = c;
    }
    return dest;
}

// A name other systems accept as a short name: no control or reserved
// characters, no blank inside the base name or the extension.
static bool ValidShortName(const char* name) {
    static const char kBad[] = "\"*+,./:;<=>?[\\]|";
    if (name[0] == ' ' || static_cast<uint8_t>(name[0]) == kDeleted) return false;
    for (int i = 0; i < 11; ++i) {
        uint8_t c = static_cast<uint8_t>(name[i]);
        if (c < 0x20 || c == 0x7F || std::strchr(kBad, c)) return false;
    }
    for (int part = 0; part < 2; ++part) {
        int from = part ? 8 : 0, to = part ? 11 : 8;
        bool blank = false;
        for (int i = from; i < to; ++i) {
            if (name[i] == ' ') blank = true;
            else if (blank) return false;
        }
    }
    return true;
}

// ---- directories ------------------------------------------------------------------------

static uint32_t DirSector(const DFS_VolInfo* vol, const DFS_DirInfo* di) {
    return di->currentcluster == 0 ? vol->rootdir + di->currentsector
                                   : ClusterSector(vol, di->currentcluster) + di->currentsector;
}

static uint32_t OpenRoot(DFS_VolInfo* vol, DFS_DirInfo* di) {
    di->currentcluster = vol->filesystem == FAT32 ? vol->rootdir : 0;
    di->currentsector = 0;
    di->currententry = 0;
    di->walked = 0;
    return ReadSector(vol, di->scratch, DirSector(vol, di));
}

uint32_t DFS_OpenDir(DFS_VolInfo* volinfo, const char* path, DFS_DirInfo* dirinfo) {
    if (!volinfo) {
        DebugPrintf("Bad Volume Info int DFS_OpenDir\n");
        return DFS_ERRMISC;
    }
    dirinfo->flags = 0;
    uint32_t r = OpenRoot(volinfo, dirinfo);
    if (r != DFS_OK || !path[0] || (path[0] == '/' && !path[1])) return r;
    const char* p = path;
    while (*p) {
        while (*p == '/') ++p;
        if (!*p) break;
        char name[12];
        DFS_PathTo83Name(name, p);
        while (*p && *p != '/') ++p;
        DFS_DirEnt de;
        uint32_t walked = 0;
        for (;;) {
            r = DFS_NextDirEntry(volinfo, dirinfo, &de);
            if (r != DFS_OK) return r == DFS_EOF ? DFS_NOTFOUND : DFS_ERRMISC;
            if (++walked > kDirEntriesMax) return DFS_ERRMISC;
            if (!std::memcmp(de.name, name, 11) && !(de.attr & ATTR_VOLUME_ID)) break;
        }
        if (!(de.attr & ATTR_DIRECTORY)) return DFS_NOTFOUND;
        uint32_t cluster = static_cast<uint32_t>(de.startclus_l_l | de.startclus_l_h << 8);
        if (volinfo->filesystem == FAT32) cluster |= static_cast<uint32_t>(de.startclus_h_l | de.startclus_h_h << 8) << 16;
        if (cluster == 0) {   // ".." of a directory in the root
            r = OpenRoot(volinfo, dirinfo);
        } else {
            if (!ValidCluster(volinfo, cluster)) return DFS_ERRMISC;
            dirinfo->currentcluster = cluster;
            dirinfo->currentsector = 0;
            dirinfo->currententry = 0;
            dirinfo->walked = 0;
            r = ReadSector(volinfo, dirinfo->scratch, ClusterSector(volinfo, cluster));
        }
        if (r != DFS_OK) return DFS_ERRMISC;
    }
    return dirinfo->currentcluster == 0 ? DFS_NOTFOUND : DFS_OK;
}

uint32_t DFS_NextDirEntry(DFS_VolInfo* volinfo, DFS_DirInfo* dirinfo, DFS_DirEnt* dirent) {
    // No directory holds more entries: past them the chain loops back on itself.
    if (dirinfo->walked >= kDirEntriesMax) return DFS_ERRMISC;
    if (dirinfo->currententry >= kEntriesPerSector) {
        dirinfo->currententry = 0;
        dirinfo->currentsector++;
        if (dirinfo->currentcluster == 0) {
            if (uint32_t{dirinfo->currentsector} * kEntriesPerSector >= volinfo->rootentries) {
                dirinfo->currentsector--;
                dirinfo->currententry = kEntriesPerSector;
                return DFS_EOF;
            }
        } else if (dirinfo->currentsector >= volinfo->secperclus) {
            uint32_t next = 0;
            Link link = NextCluster(volinfo, dirinfo->scratch, dirinfo->currentcluster, &next);
            if (link != Link::Next) {
                // Stays on the chain's last cluster, so the search can grow it.
                dirinfo->currentsector = static_cast<uint16_t>(volinfo->secperclus - 1);
                dirinfo->currententry = kEntriesPerSector;
                if (link == Link::Broken) return DFS_ERRMISC;
                return (dirinfo->flags & DFS_DI_BLANKENT) ? DFS_ALLOCNEW : DFS_EOF;
            }
            dirinfo->currentcluster = next;
            dirinfo->currentsector = 0;
        }
        if (ReadSector(volinfo, dirinfo->scratch, DirSector(volinfo, dirinfo)) != DFS_OK) return DFS_ERRMISC;
    }
    std::memcpy(dirent, dirinfo->scratch + dirinfo->currententry * 32, sizeof *dirent);
    uint8_t first = dirent->name[0];
    if (first == 0 && !(dirinfo->flags & DFS_DI_BLANKENT)) return DFS_EOF;
    if (first == kDeleted || (dirent->attr & ATTR_LONG_NAME) == ATTR_LONG_NAME) dirent->name[0] = 0;
    else if (first == 0x05) dirent->name[0] = kDeleted;
    dirinfo->currententry++;
    dirinfo->walked++;
    return DFS_OK;
}

// A new cluster of zeroed entries after the directory's last cluster.
static uint32_t GrowDirectory(DFS_VolInfo* vol, DFS_DirInfo* di) {
    uint32_t c = DFS_FindFreeCluster(vol, di->scratch);
    if (c == DFS_BAD_CLUS) return DFS_ERRMISC;
    std::memset(di->scratch, 0, SECTOR_SIZE);
    for (uint32_t s = 0; s < vol->secperclus; ++s)
        if (WriteSector(vol, di->scratch, ClusterSector(vol, c) + s) != DFS_OK) return DFS_ERRMISC;
    uint32_t cached = 0;
    if (DFS_WriteFatEntry(vol, di->scratch, &cached, c, EndOfChain(vol)) != DFS_OK ||
        DFS_WriteFatEntry(vol, di->scratch, &cached, di->currentcluster, c) != DFS_OK)
        return DFS_ERRMISC;
    std::memset(di->scratch, 0, SECTOR_SIZE);   // again the directory sector, not a FAT sector
    di->currentcluster = c;
    di->currentsector = 0;
    di->currententry = 1;
    return DFS_OK;
}

uint32_t DFS_FindFreeDirEntry(DFS_VolInfo* volinfo, const char* path, DFS_DirInfo* dirinfo, DFS_DirEnt* dirent) {
    if (DFS_OpenDir(volinfo, path, dirinfo) != DFS_OK) return DFS_NOTFOUND;
    dirinfo->flags |= DFS_DI_BLANKENT;
    for (uint32_t walked = 0; walked <= kDirEntriesMax; ++walked) {
        uint32_t r = DFS_NextDirEntry(volinfo, dirinfo, dirent);
        if (r == DFS_OK) {
            // Free only when never used or deleted; long-name slots look blank but belong to a file.
            uint8_t raw = dirinfo->scratch[(dirinfo->currententry - 1) * 32];
            if (raw == 0 || raw == kDeleted) return DFS_OK;
            continue;
        }
        if (r == DFS_ALLOCNEW) return GrowDirectory(volinfo, dirinfo);
        return DFS_ERRMISC;   // a full fixed root directory, or a read failure
    }
    return DFS_ERRMISC;
}

// ---- files --------------------------------------------------------------------------

static uint32_t EntryCluster(const DFS_VolInfo* vol, const DFS_DirEnt& de) {
    uint32_t c = static_cast<uint32_t>(de.startclus_l_l | de.startclus_l_h << 8);
    if (vol->filesystem == FAT32) c |= static_cast<uint32_t>(de.startclus_h_l | de.startclus_h_h << 8) << 16;
    return c;
}

uint32_t DFS_OpenFile(DFS_VolInfo* volinfo, const char* path, uint8_t mode, uint8_t* scratch,
                      DFS_FileInfo* fileinfo) {
    std::memset(fileinfo, 0, sizeof *fileinfo);
    fileinfo->mode = mode;
    fileinfo->volinfo = volinfo;
    if (!volinfo) return DFS_ERRMISC;
    if (std::strlen(path) > DFS_MAXPATH - 1) return DFS_PATHLEN;
    char tmp[DFS_MAXPATH];
    std::strcpy(tmp, path);
    char* p = tmp;
    while (*p == '/') ++p;
    char* slash = std::strrchr(p, '/');
    const char* file = p;
    const char* dir = "";
    if (slash) {
        *slash = 0;
        file = slash + 1;
        dir = p;
    }
    char name[12];
    DFS_PathTo83Name(name, file);
    if (!*file || name[0] == ' ') return DFS_ERRMISC;   // no name ("CHARTS/")

    DFS_DirInfo di;
    di.scratch = scratch;
    uint32_t r = DFS_OpenDir(volinfo, dir, &di);
    if (r != DFS_OK) return DFS_NOTFOUND;
    DFS_DirEnt de;
    uint32_t walked = 0;
    while ((r = DFS_NextDirEntry(volinfo, &di, &de)) == DFS_OK) {
        if (++walked > kDirEntriesMax) return DFS_ERRMISC;
        if (std::memcmp(de.name, name, 11) || (de.attr & ATTR_VOLUME_ID)) continue;
        if (de.attr & ATTR_DIRECTORY) return DFS_NOTFOUND;
        fileinfo->dirsector = DirSector(volinfo, &di);
        fileinfo->diroffset = static_cast<uint8_t>(di.currententry - 1);
        fileinfo->firstcluster = EntryCluster(volinfo, de);
        fileinfo->cluster = fileinfo->firstcluster;
        fileinfo->filelen = static_cast<uint32_t>(de.filesize_0 | de.filesize_1 << 8 | de.filesize_2 << 16) |
                            static_cast<uint32_t>(de.filesize_3) << 24;
        return DFS_OK;
    }
    if (r != DFS_EOF) return DFS_ERRMISC;   // an unreadable directory: never create a twin
    if (!(mode & DFS_WRITE)) return DFS_NOTFOUND;
    if (!ValidShortName(name)) return DFS_ERRMISC;

    // A new file owns no cluster until its first byte is written.
    if (DFS_FindFreeDirEntry(volinfo, dir, &di, &de) != DFS_OK) return DFS_ERRMISC;
    std::memset(&de, 0, sizeof de);
    std::memcpy(de.name, name, 11);
    uint16_t time = 0, date = 0;
    StampNow(&time, &date);
    de.crttime_l = de.wrttime_l = static_cast<uint8_t>(time);
    de.crttime_h = de.wrttime_h = static_cast<uint8_t>(time >> 8);
    de.crtdate_l = de.lstaccdate_l = de.wrtdate_l = static_cast<uint8_t>(date);
    de.crtdate_h = de.lstaccdate_h = de.wrtdate_h = static_cast<uint8_t>(date >> 8);
    fileinfo->dirsector = DirSector(volinfo, &di);
    fileinfo->diroffset = static_cast<uint8_t>(di.currententry - 1);
    if (ReadSector(volinfo, scratch, fileinfo->dirsector) != DFS_OK) return DFS_ERRMISC;
    std::memcpy(scratch + fileinfo->diroffset * 32, &de, sizeof de);
    if (WriteSector(volinfo, scratch, fileinfo->dirsector) != DFS_OK) return DFS_ERRMISC;
    return DFS_OK;
}

uint32_t DFS_ReadFile(DFS_FileInfo* fileinfo, uint8_t* scratch, uint8_t* buffer, uint32_t* count, uint32_t len) {
    *count = 0;
    DFS_VolInfo* vol = fileinfo->volinfo;
    if (!vol) return DFS_ERRMISC;
    if (fileinfo->pointer >= fileinfo->filelen) return DFS_OK;
    if (len > fileinfo->filelen - fileinfo->pointer) len = fileinfo->filelen - fileinfo->pointer;
    uint32_t cb = ClusterBytes(vol);
    uint32_t start = ReadOsTimer();
    while (len) {
        if (TookTooLong(start)) {
            DebugPrintf("ERROR: DFS_ReadFile too long FAIL\n");
            return DFS_ERRMISC;
        }
        if (fileinfo->pointer % cb == 0 && fileinfo->pointer > 0) {
            uint32_t next = 0;
            Link link = NextCluster(vol, scratch, fileinfo->cluster, &next);
            if (link == Link::End) return DFS_EOF;   // the chain is shorter than the length says
            if (link == Link::Broken) return DFS_ERRMISC;
            fileinfo->cluster = next;
        }
        if (!ValidCluster(vol, fileinfo->cluster)) return DFS_ERRMISC;
        uint32_t sector = ClusterSector(vol, fileinfo->cluster) + (fileinfo->pointer % cb) / SECTOR_SIZE;
        uint32_t pos = fileinfo->pointer % SECTOR_SIZE;
        uint32_t n = 0;
        if (pos != 0 || len < SECTOR_SIZE) {
            if (ReadSector(vol, scratch, sector) != DFS_OK) return DFS_ERRMISC;
            n = SECTOR_SIZE - pos < len ? SECTOR_SIZE - pos : len;
            std::memcpy(buffer, scratch + pos, n);
        } else {
            if (ReadSector(vol, buffer, sector) != DFS_OK) return DFS_ERRMISC;
            n = SECTOR_SIZE;
        }
        fileinfo->pointer += n;
        *count += n;
        buffer += n;
        len -= n;
    }
    return DFS_OK;
}

// The entry's size, first cluster and write stamp after a write.
static uint32_t UpdateEntry(DFS_FileInfo* fi, uint8_t* scratch) {
    DFS_VolInfo* vol = fi->volinfo;
    if (ReadSector(vol, scratch, fi->dirsector) != DFS_OK) return DFS_ERRMISC;
    uint8_t* e = scratch + fi->diroffset * 32;
    uint16_t time = 0, date = 0;
    StampNow(&time, &date);
    Put16(e + 18, date);   // last access
    Put16(e + 20, vol->filesystem == FAT32 ? fi->firstcluster >> 16 : 0);
    Put16(e + 22, time);
    Put16(e + 24, date);
    Put16(e + 26, fi->firstcluster & 0xFFFF);
    Put32(e + 28, fi->filelen);
    return WriteSector(vol, scratch, fi->dirsector);
}

// Moves onto the cluster that holds `pointer`, allocating it when the chain ends there.
static uint32_t ClusterForWrite(DFS_FileInfo* fi, uint8_t* scratch, bool* grew) {
    DFS_VolInfo* vol = fi->volinfo;
    if (fi->firstcluster == 0) {
        if (fi->pointer != 0 || fi->filelen != 0) return DFS_ERRMISC;   // a length with no chain
        uint32_t c = AllocateCluster(vol, scratch, 0);
        if (c == DFS_BAD_CLUS) return DFS_ERRMISC;
        fi->firstcluster = fi->cluster = c;
        *grew = true;
        return DFS_OK;
    }
    if (fi->pointer == 0 || fi->pointer % ClusterBytes(vol) != 0) return DFS_OK;
    uint32_t next = 0;
    Link link = NextCluster(vol, scratch, fi->cluster, &next);
    if (link == Link::Broken) return DFS_ERRMISC;
    if (link == Link::End) {
        next = AllocateCluster(vol, scratch, fi->cluster);
        if (next == DFS_BAD_CLUS) return DFS_ERRMISC;
        *grew = true;
    }
    fi->cluster = next;
    return DFS_OK;
}

// After a write that failed part-way: the clusters it allocated beyond the
// length it reached are freed, so the entry's size and chain agree again.
static void TrimAfterFailedWrite(DFS_FileInfo* fi, uint8_t* scratch) {
    DFS_VolInfo* vol = fi->volinfo;
    const uint32_t cb = ClusterBytes(vol);
    const uint32_t keep = fi->filelen / cb + (fi->filelen % cb != 0);
    if (keep == 0) {
        (void)FreeChain(vol, scratch, fi->firstcluster);
        fi->firstcluster = fi->cluster = 0;
        fi->pointer = 0;
        return;
    }
    uint32_t last = fi->firstcluster;
    for (uint32_t i = 1; i < keep; ++i) {
        uint32_t next = 0;
        if (NextCluster(vol, scratch, last, &next) != Link::Next) return;
        last = next;
    }
    uint32_t tail = 0;
    if (NextCluster(vol, scratch, last, &tail) != Link::Next) return;
    uint32_t cached = 0;
    if (DFS_WriteFatEntry(vol, scratch, &cached, last, EndOfChain(vol)) != DFS_OK) return;
    (void)FreeChain(vol, scratch, tail);
    // Back onto the chain that is left.
    const uint32_t pointer = fi->pointer;
    fi->pointer = 0;
    fi->cluster = fi->firstcluster;
    DFS_Seek(fi, pointer, scratch);
}

uint32_t DFS_WriteFile(DFS_FileInfo* fileinfo, uint8_t* scratch, const uint8_t* buffer, uint32_t* count,
                       uint32_t len) {
    *count = 0;
    DFS_VolInfo* vol = fileinfo->volinfo;
    if (!(fileinfo->mode & DFS_WRITE) || !vol) return DFS_ERRMISC;
    if (len > 0xFFFFFFFF - fileinfo->pointer) len = 0xFFFFFFFF - fileinfo->pointer;   // the 4 GB file limit
    if (len == 0) return DFS_OK;
    uint32_t cb = ClusterBytes(vol);
    uint32_t start = ReadOsTimer();
    uint32_t result = DFS_OK;
    bool grew = false;   // clusters were allocated by this write
    while (len) {
        if (TookTooLong(start)) {
            DebugPrintf("ERROR: DFS_WriteFile too long FAIL\n");
            result = DFS_ERRMISC;
            break;
        }
        result = ClusterForWrite(fileinfo, scratch, &grew);
        if (result != DFS_OK) break;
        if (!ValidCluster(vol, fileinfo->cluster)) {
            result = DFS_ERRMISC;
            break;
        }
        uint32_t sector = ClusterSector(vol, fileinfo->cluster) + (fileinfo->pointer % cb) / SECTOR_SIZE;
        uint32_t pos = fileinfo->pointer % SECTOR_SIZE;
        uint32_t n = 0;
        if (pos != 0 || len < SECTOR_SIZE) {
            n = SECTOR_SIZE - pos < len ? SECTOR_SIZE - pos : len;
            // Keep the bytes of the sector that this write does not cover.
            if (pos != 0 || fileinfo->pointer < fileinfo->filelen) {
                result = ReadSector(vol, scratch, sector);
                if (result != DFS_OK) break;
            } else {
                std::memset(scratch, 0, SECTOR_SIZE);
            }
            std::memcpy(scratch + pos, buffer, n);
            result = WriteSector(vol, scratch, sector);
        } else {
            n = SECTOR_SIZE;
            result = WriteSector(vol, buffer, sector);
        }
        if (result != DFS_OK) break;
        fileinfo->pointer += n;
        *count += n;
        buffer += n;
        len -= n;
        if (fileinfo->pointer > fileinfo->filelen) fileinfo->filelen = fileinfo->pointer;
    }
    if (result != DFS_OK && grew) TrimAfterFailedWrite(fileinfo, scratch);
    if (UpdateEntry(fileinfo, scratch) != DFS_OK) return DFS_ERRMISC;
    return result;
}

void DFS_Seek(DFS_FileInfo* fileinfo, uint32_t offset, uint8_t* scratch) {
    DFS_VolInfo* vol = fileinfo->volinfo;
    if (!vol || offset == fileinfo->pointer) return;
    if (offset > fileinfo->filelen) offset = fileinfo->filelen;
    uint32_t cb = ClusterBytes(vol);
    // The cluster index of a position: the one holding the byte before it.
    auto index = [cb](uint32_t pos) { return pos == 0 ? 0 : (pos - 1) / cb; };
    uint32_t want = index(offset), at = index(fileinfo->pointer);
    if (want < at || fileinfo->pointer == 0) {
        fileinfo->cluster = fileinfo->firstcluster;
        at = 0;
    }
    while (at < want) {
        uint32_t next = 0;
        Link link = NextCluster(vol, scratch, fileinfo->cluster, &next);
        if (link == Link::End) {   // the chain ends early: stop at its end
            fileinfo->pointer = (at + 1) * cb;
            return;
        }
        if (link == Link::Broken) {
            fileinfo->cluster = fileinfo->firstcluster;
            fileinfo->pointer = 0;
            return;
        }
        fileinfo->cluster = next;
        ++at;
    }
    fileinfo->pointer = offset;
}

static uint8_t ShortNameSum(const uint8_t* name) {
    uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name[i]);
    return sum;
}

// Marks the long-name slots just before a deleted entry as deleted too, in
// its sector and the one before it in the same cluster (or root), so no
// orphaned long name is left behind.
static uint32_t DeleteLongName(DFS_VolInfo* vol, uint8_t* scratch, uint32_t sector, int offset, uint8_t sum) {
    for (int pass = 0; pass < 2; ++pass) {
        if (ReadSector(vol, scratch, sector) != DFS_OK) return DFS_ERRMISC;
        bool changed = false;
        int i = offset - 1;
        for (; i >= 0; --i) {
            uint8_t* e = scratch + i * 32;
            if ((e[11] & ATTR_LONG_NAME) != ATTR_LONG_NAME || e[0] == kDeleted || e[13] != sum) break;
            bool last = e[0] & 0x40;   // the first slot on disk holds the name's end
            e[0] = kDeleted;
            changed = true;
            if (last) {
                i = -2;
                break;
            }
        }
        if (changed && WriteSector(vol, scratch, sector) != DFS_OK) return DFS_ERRMISC;
        if (i != -1) return DFS_OK;   // the run ended in this sector
        bool firstOfArea = sector <= vol->rootdir ||
                           (sector >= vol->dataarea && (sector - vol->dataarea) % vol->secperclus == 0);
        if (firstOfArea) return DFS_OK;
        sector -= 1;
        offset = kEntriesPerSector;
    }
    return DFS_OK;
}

uint32_t DFS_DeleteFile(DFS_VolInfo* volinfo, const char* path, uint8_t* scratch) {
    DFS_FileInfo fi;
    if (DFS_OpenFile(volinfo, path, DFS_READ, scratch, &fi) != DFS_OK) return DFS_NOTFOUND;
    if (ReadSector(volinfo, scratch, fi.dirsector) != DFS_OK) return DFS_ERRMISC;
    uint8_t* e = scratch + fi.diroffset * 32;
    uint8_t sum = ShortNameSum(e);
    e[0] = kDeleted;
    if (WriteSector(volinfo, scratch, fi.dirsector) != DFS_OK) return DFS_ERRMISC;
    if (DeleteLongName(volinfo, scratch, fi.dirsector, fi.diroffset, sum) != DFS_OK) return DFS_ERRMISC;

    return FreeChain(volinfo, scratch, fi.firstcluster);
}

// ---- debug printers -------------------------------------------------------------------------

void DFS_DumpSector(const uint8_t* buffer) {
    for (int row = 0; row < 32; ++row) {
        char line[96];
        int n = std::snprintf(line, sizeof line, "%03X: ", row * 16);
        for (int i = 0; i < 16; ++i) n += std::snprintf(line + n, sizeof line - n, "%02X ", buffer[row * 16 + i]);
        n += std::snprintf(line + n, sizeof line - n, "    ");
        for (int i = 0; i < 16; ++i) {
            uint8_t c = buffer[row * 16 + i];
            line[n++] = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
        }
        line[n] = 0;
        DebugPrintf("%s\n", line);
    }
}

void DFS_PrintVolInfo(const DFS_FileInfo* fileinfo) {
    const DFS_VolInfo* v = fileinfo->volinfo;
    DebugPrintf("FAT File Info:\n");
    if (v) {
        DebugPrintf("volInfo.unit:%d\n", v->unit);
        DebugPrintf("volInfo.filesystem:%d\n", v->filesystem);
        DebugPrintf("volInfo.label:%s\n", v->label);
        DebugPrintf("volInfo.startsector:%d\n", static_cast<int>(v->startsector));
        DebugPrintf("volInfo.secperclus:%d\n", v->secperclus);
        DebugPrintf("volInfo.reservedsecs:%d\n", v->reservedsecs);
        DebugPrintf("volInfo.numsecs:%d\n", static_cast<int>(v->numsecs));
        DebugPrintf("volInfo.secperfat:%d\n", static_cast<int>(v->secperfat));
        DebugPrintf("volInfo.rootentries:%d\n", v->rootentries);
        DebugPrintf("volInfo.numclusters:%d\n", static_cast<int>(v->numclusters));
        DebugPrintf("volInfo.fat1:%d\n", static_cast<int>(v->fat1));
        DebugPrintf("volInfo.rootdir:%d\n", static_cast<int>(v->rootdir));
        DebugPrintf("volInfo.dataarea:%d\n", static_cast<int>(v->dataarea));
    }
    DebugPrintf("dirsector:%d\n", static_cast<int>(fileinfo->dirsector));
    DebugPrintf("diroffset:%d\n", fileinfo->diroffset);
    DebugPrintf("mode:%d\n", fileinfo->mode);
    DebugPrintf("firstcluster:%d\n", static_cast<int>(fileinfo->firstcluster));
    DebugPrintf("filelen:%d\n", static_cast<int>(fileinfo->filelen));
    DebugPrintf("cluster:%d\n", static_cast<int>(fileinfo->cluster));
    DebugPrintf("pointer:%d\n", static_cast<int>(fileinfo->pointer));
    DebugPrintf("Running MMC Stat Error Maker\n");
}
