#include "storage/sdtest.h"

#include <cstdio>
#include <cstring>

#include "core/syslog.h"
#include "storage/fat.h"
#include "storage/sdcard.h"

struct SelfTestWork {
    uint8_t      scratch[SECTOR_SIZE];
    DFS_VolInfo  vol;
    DFS_DirInfo  dir;
    DFS_DirEnt   de;
    DFS_FileInfo fi;
    uint8_t      text[512];
};
static SelfTestWork s_test;

constexpr uint32_t kFail = DFS_ERRMISC;
constexpr uint32_t kSmallBytes = 48;

// The stored 8.3 name has no terminator of its own.
static void ListRoot() {
    s_test.dir.scratch = s_test.scratch;
    s_test.dir.flags = 0;
    if (DFS_OpenDir(&s_test.vol, "", &s_test.dir) != DFS_OK) {
        DebugPrintf("Error opening root directory\n");
        return;
    }
    while (DFS_NextDirEntry(&s_test.vol, &s_test.dir, &s_test.de) == DFS_OK) {
        const DFS_DirEnt& e = s_test.de;
        if (e.name[0] == 0 || e.attr == ATTR_VOLUME_ID || e.attr == ATTR_DIRECTORY || e.attr == 0x40) continue;
        char name[12];
        std::memcpy(name, e.name, 11);
        name[11] = 0;
        const uint32_t size = uint32_t{e.filesize_0} | uint32_t{e.filesize_1} << 8 | uint32_t{e.filesize_2} << 16 |
                              uint32_t{e.filesize_3} << 24;
        DebugPrintf("#  file: '%s', %02x, %d\n", name, e.attr, static_cast<int>(size));
    }
}

static bool OpenRootListing() {
    s_test.dir.scratch = s_test.scratch;
    s_test.dir.flags = 0;
    return DFS_OpenDir(&s_test.vol, "", &s_test.dir) == DFS_OK;
}

static bool VolumeReport() {
    DebugPrintf("\n#Reading MBR...\n");
    uint8_t active = 0, type = 0;
    uint32_t size = 0;
    const uint32_t start = DFS_PartitionStart(0, s_test.scratch, 0, &active, &type, &size);
    if (start == DFS_ERRMISC) {
        DebugPrintf("Cannot find first partition\n");
        return false;
    }
    DebugPrintf("#  Partition 0 - start sector:0x%08X active:%02X type:%02X size:%08X\n", static_cast<unsigned>(start),
                active, type, static_cast<unsigned>(size));
    DebugPrintf("\n#Reading Volume info...\n");
    DFS_VolInfo& v = s_test.vol;
    if (DFS_ReadVolumeInfo(0, s_test.scratch, start, &v) != DFS_OK) {
        DebugPrintf("Error getting volume information\n");
        return false;
    }
    char label[sizeof v.label + 1] = {};
    std::memcpy(label, v.label, sizeof v.label);
    DebugPrintf("#  Volume label '%s'\n", label);
    DebugPrintf("#  0x%X sector/s per cluster, 0x%X reserved sector/s, volume total 0x%X sectors.\n", v.secperclus,
                v.reservedsecs, static_cast<unsigned>(v.numsecs));
    DebugPrintf("#  0x%X sectors per FAT, first FAT at sector #%d (0x%08x).\n", static_cast<unsigned>(v.secperfat),
                static_cast<int>(v.fat1), static_cast<unsigned>(v.fat1));
    DebugPrintf("#  Root dir at #%d,  %d root dir entries.\n", static_cast<int>(v.rootdir), v.rootentries);
    DebugPrintf("#  (For FAT32, the root dir is a CLUSTER number, FAT12/16 it is a SECTOR number)\n");
    DebugPrintf("#  (For FAT32, the root dir entries is always 0)\n");
    DebugPrintf("#  Data area commences at sector #%d (0x%X), 0x%X clusters (%d bytes).\n",
                static_cast<int>(v.dataarea), static_cast<unsigned>(v.dataarea), static_cast<unsigned>(v.numclusters),
                static_cast<int>(v.numclusters * v.secperclus * SECTOR_SIZE));
    static const char* const kNames[] = {"FAT12.\n", "FAT16.\n", "FAT32.\n"};
    DebugPrintf("#  Filesystem IDd as %s", v.filesystem <= FAT32 ? kNames[v.filesystem] : "[unknown]\n");
    return true;
}

// Sixteen characters "0".."?" each on its line, then the end line: 48 bytes.
static void SmallText() {
    DebugPrintf("# test data: ");
    for (int i = 0; i < 16; ++i) {
        s_test.text[2 * i] = static_cast<uint8_t>('0' + i);
        s_test.text[2 * i + 1] = '\n';
        DebugPrintf("%d ", i);
    }
    std::memcpy(s_test.text + 32, "End  of  file. \n", 16);
}

static bool WriteSmall(const char* path, const char* done) {
    if (DFS_OpenFile(&s_test.vol, path, DFS_WRITE, s_test.scratch, &s_test.fi) != DFS_OK) {
        DebugPrintf("error opening file\n");
        return false;
    }
    SmallText();
    uint32_t n = 0;
    const uint32_t r = DFS_WriteFile(&s_test.fi, s_test.scratch, s_test.text, &n, kSmallBytes);
    if (r != DFS_OK) {
        DebugPrintf("error writing file, %d\n", static_cast<int>(r));
        return false;
    }
    DebugPrintf(done, static_cast<int>(n));
    return true;
}

static bool ReadBack() {
    DebugPrintf("\n#Reading WRTEST1.TXT from SD ...\n");
    const uint32_t r = DFS_OpenFile(&s_test.vol, "/WRTEST1.TXT", DFS_READ, s_test.scratch, &s_test.fi);
    if (r != DFS_OK) {
        DebugPrintf("error opening file, %d\n", static_cast<int>(r));
        return false;
    }
    const uint32_t len = s_test.fi.filelen < sizeof s_test.text ? s_test.fi.filelen : sizeof s_test.text;
    uint32_t n = 0;
    std::memset(s_test.text, 0, sizeof s_test.text);
    DFS_ReadFile(&s_test.fi, s_test.scratch, s_test.text, &n, len);
    DebugPrintf("#  read complete: %d bytes (expected %d) pointer %d\n", static_cast<int>(n),
                static_cast<int>(s_test.fi.filelen), static_cast<int>(s_test.fi.pointer));
    DebugPrintf("#  file contents: (filelen: %d)\n", static_cast<int>(s_test.fi.filelen));
    for (uint32_t i = 0; i < n; ++i) DebugPrintf("%c", s_test.text[i]);
    return true;
}

static void DeleteWrTest1() {
    DebugPrintf("\n#Deleting /WRTEST1.TXT\n");
    DebugPrintf("#  Dir before:\n");
    ListRoot();
    if (DFS_DeleteFile(&s_test.vol, "/WRTEST1.TXT", s_test.scratch) != DFS_OK) DebugPrintf("error unlinking file\n");
    DebugPrintf("#  Dir after:\n");
    ListRoot();
}

// `count` writes of one line or block each, a "." logged for every write.
template <typename Fill>
static bool WriteLarge(const char* path, int count, Fill fill) {
    if (DFS_OpenFile(&s_test.vol, path, DFS_WRITE, s_test.scratch, &s_test.fi) != DFS_OK) {
        DebugPrintf("error opening file\n");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const uint32_t len = fill(i);
        uint32_t n = 0;
        const uint32_t r = DFS_WriteFile(&s_test.fi, s_test.scratch, s_test.text, &n, len);
        if (r != DFS_OK) {
            DebugPrintf("error writing file, %d\n", static_cast<int>(r));
            return false;
        }
        DebugPrintf(".");
    }
    DebugPrintf("\n#  write complete:  len %d - pointer %d\n", static_cast<int>(s_test.fi.filelen),
                static_cast<int>(s_test.fi.pointer));
    return true;
}

uint32_t SdSelfTest() {
    std::memset(&s_test, 0, sizeof s_test);
    if (G_SDCard.nState != kSdMounted) {
        DebugPrintf("Card is not inserted\n");
        return kFail;
    }
    if (!VolumeReport()) return kFail;
    DebugPrintf("\n#Reading Dir list...\n");
    if (!OpenRootListing()) {
        DebugPrintf("Error opening root directory\n");
        return kFail;
    }
    ListRoot();
    DebugPrintf("\n#Writing WRTEST0.TXT small file to SD...\n");
    if (!WriteSmall("/WRTEST0.TXT", "\n#  small write complete: %d bytes.\n")) return kFail;
    DebugPrintf("\n#Writing WRTEST1.TXT small file to SD...\n");
    if (!WriteSmall("/WRTEST1.TXT", "\n#  small write complete: %d bytes.\n")) return kFail;
    DebugPrintf("\n#Reading Dir list...\n");
    ListRoot();
    DebugPrintf("\n#Writing WRTEST2.TXT small file to SD...\n");
    if (!WriteSmall("/WRTEST2.TXT", "\n#  small write2 complete: %d bytes.\n")) return kFail;
    if (!ReadBack()) return kFail;
    DeleteWrTest1();
    DebugPrintf("\n#Writing WRTEST3.TXT large file to SD...\n");
    const bool lines = WriteLarge("WRTEST3.TXT", 500, [](int i) {
        return static_cast<uint32_t>(std::snprintf(reinterpret_cast<char*>(s_test.text), sizeof s_test.text,
                                                   "%04d This is a test\n", i));
    });
    if (!lines) return kFail;
    DebugPrintf("\n#Writing WRTEST4.TXT large file to SD...\n");
    const bool blocks = WriteLarge("WRTEST4.TXT", 20, [](int) {
        std::memset(s_test.text, '0', 512);
        return uint32_t{512};
    });
    return blocks ? 0 : kFail;
}
